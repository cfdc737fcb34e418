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
  if ((used_ + 1) * 2 > runs_.size()) Grow();
  Run& run = Find((n >> 6) + 1);
  const uint64_t bit = uint64_t(1) << (n & 63);
  if (run.bits & bit) return false;
  if (!run.bits) ++used_;
  run.bits |= bit;
  ++size_;
  return true;
}

// The run's slot: the one holding it, else the free one where it goes (which the caller fills).
CListViewRecids::NumberSet::Run& CListViewRecids::NumberSet::Find(uint64_t key) {
  const size_t mask = runs_.size() - 1;
  // Fibonacci hashing spreads neighbouring runs, and runs at a stride, over the table.
  for (size_t i = size_t((key * 0x9E3779B97F4A7C15ull) >> 24) & mask;; i = (i + 1) & mask) {
    Run& run = runs_[i];
    if (run.key == key) return run;
    if (run.key == 0) {
      run.key = key;
      return run;
    }
  }
}

void CListViewRecids::NumberSet::Grow() {
  std::vector<Run> old;
  old.swap(runs_);
  runs_.resize(std::max<size_t>(256, old.size() * 2));
  for (const Run& run : old)
    if (run.key) Find(run.key).bits = run.bits;
}

void CListViewRecids::NumberSet::Clear() {
  std::vector<Run>().swap(runs_);
  used_ = size_ = 0;
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
