#include "mainwin/ListViewRecids.h"

#include <algorithm>
#include <cstdint>

#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"

namespace {

// The number a text writes in plain decimal (digits only, no sign, no leading zero unless it is
// "0"), so that every such text and its number name each other. Up to 18 digits.
bool PlainNumber(const AnsiString& text, uint64_t& n) {
  const size_t length = text.size();
  if (length == 0 || length > 18 || (length > 1 && text[0] == '0')) return false;
  n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + uint64_t(c - '0');
  }
  return true;
}

int ColumnAt(const TList& columns, int i) { return static_cast<int>(reinterpret_cast<intptr_t>(columns.Items(i))); }

}  // namespace

bool CListViewRecids::NumberSet::Insert(uint64_t n) {
  if ((size_ + 1) * 2 > slots_.size()) Grow();
  const size_t mask = slots_.size() - 1;
  // Runs of 64 consecutive ids keep their order next to each other, so a table's ids, which
  // mostly come in runs, fill neighbouring slots; the runs themselves are spread (Fibonacci
  // hashing), so ids far apart or at a stride do not crowd one place.
  const uint64_t run = ((n >> 6) * 0x9E3779B97F4A7C15ull) >> 16;
  for (size_t i = size_t((run << 6) | (n & 63)) & mask;; i = (i + 1) & mask) {
    if (slots_[i] == n + 1) return false;
    if (slots_[i] == 0) {
      slots_[i] = n + 1;
      ++size_;
      return true;
    }
  }
}

void CListViewRecids::NumberSet::Grow() {
  std::vector<uint64_t> old;
  old.swap(slots_);
  slots_.assign(std::max<size_t>(1024, old.size() * 2), 0);
  size_ = 0;
  for (uint64_t slot : old)
    if (slot) Insert(slot - 1);
}

void CListViewRecids::NumberSet::Clear() {
  std::vector<uint64_t>().swap(slots_);
  size_ = 0;
}

CListViewRecids::~CListViewRecids() { delete Columns; }

void CListViewRecids::Clear() {
  Columns->Clear();
  numbers_.Clear();
  std::unordered_set<std::string>().swap(texts_);
  TStringList::Clear();
  synced_ = true;
}

void CListViewRecids::SetColumns(CCapInfoList* columns) {
  Columns->Clear();
  if (!columns) return;
  for (int i = 0; i < columns->Count(); ++i)
    if (GetFieldPart(columns->GetItem(i)->Name) == REC_ID_COLUMN) Columns->Add(reinterpret_cast<void*>(intptr_t(i)));
}

bool CListViewRecids::Insert(const TStrings& row, std::string& text, bool& asNumber) {
  const int count = Columns->Count();
  asNumber = false;
  if (count == 1) {
    const int column = ColumnAt(*Columns, 0);
    uint64_t n;
    if (column < row.Count() && PlainNumber(row[column], n)) {
      asNumber = true;
      if (!numbers_.Insert(n)) return false;
      synced_ = false;
      return true;
    }
  }
  text.clear();
  for (int i = 0; i < count; ++i) {
    const int column = ColumnAt(*Columns, i);
    if (i) text += ':';
    if (column < row.Count()) text += row[column];
  }
  if (!texts_.insert(text).second) return false;
  synced_ = false;
  return true;
}

int CListViewRecids::AddRecord(TStrings* row) {
  if (!row) return -1;
  const bool ordered = synced_;
  std::string text;
  bool asNumber;
  if (!Insert(*row, text, asNumber)) return -1;
  if (asNumber) text = row->Strings(ColumnAt(*Columns, 0));
  // The ordered items are kept up to date while they are, else made afresh.
  if (ordered) {
    auto at = std::lower_bound(items_.begin(), items_.end(), text,
                               [](const Item& item, const std::string& key) { return item.text < key; });
    at = items_.insert(at, {text, nullptr});
    synced_ = true;
    return static_cast<int>(at - items_.begin());
  }
  Sync();
  const auto at = std::lower_bound(items_.begin(), items_.end(), text,
                                   [](const Item& item, const std::string& key) { return item.text < key; });
  return static_cast<int>(at - items_.begin());
}

bool CListViewRecids::AddKey(TStrings* row) {
  if (!row) return false;
  std::string text;
  bool asNumber;
  return Insert(*row, text, asNumber);
}

void CListViewRecids::Sync() const {
  if (synced_) return;
  // The items are a sorted copy of the sets, made when they are read.
  auto* self = const_cast<CListViewRecids*>(this);
  self->items_.clear();
  self->items_.reserve(numbers_.Size() + texts_.size());
  numbers_.ForEach([self](uint64_t n) { self->items_.push_back({std::to_string(n), nullptr}); });
  for (const std::string& key : texts_) self->items_.push_back({key, nullptr});
  std::sort(self->items_.begin(), self->items_.end(), [](const Item& a, const Item& b) { return a.text < b.text; });
  synced_ = true;
}

int CListViewRecids::Count() const {
  Sync();
  return TStringList::Count();
}

AnsiString CListViewRecids::CommaText() const {
  Sync();
  return TStringList::CommaText();
}
