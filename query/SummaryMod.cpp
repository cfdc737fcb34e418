#include "query/SummaryMod.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <cstdlib>
#include <sys/mman.h>
#include <new>
#include <stdexcept>

#include "foundation/CellFormat.h"
#include "query/SumColUnit.h"

namespace {

const AnsiString kEmpty;

const AnsiString& Cell(const TStrings* row, int i) {
  return row && i >= 0 && i < row->Count() ? row->Strings(i) : kEmpty;
}

void SetCell(TStrings* row, int i, const AnsiString& text) {
  if (i >= 0 && i < row->Count() && row->Strings(i) != text) row->SetString(i, text);
}

// The method of a column, frozen codes brought back into 0..5.
int MethodOf(const CCapInfo* c) { return c->Aggregate < 0 ? c->Aggregate + 10000 : c->Aggregate; }
bool IsNumericType(const CCapInfo* c) { return c->Type == 1 || c->Type == 2; }
bool IsLive(const CCapInfo* c) { return !c->GroupKey && c->Aggregate >= 0; }

const AnsiString& MethodName(int method) {
  static const AnsiString* const names[] = {&SJ("件数"), &SJ("最小"), &SJ("最大"),
                                            &SJ("範囲"), &SJ("合計"), &SJ("平均")};
  return *names[method];
}

// The parts of a two-line heading around its first CR LF; without one, both are the whole text.
AnsiString FirstLine(const AnsiString& heading) {
  const size_t p = heading.find("\r\n");
  return p == AnsiString::npos ? heading : heading.substr(0, p);
}
AnsiString SecondLine(const AnsiString& heading) {
  const size_t p = heading.find("\r\n");
  return p == AnsiString::npos ? heading : heading.substr(p + 2);
}

// A group's aggregate as its block stores it: the records filed into the group, never anything
// else (a calculation keeps the totals of its runs apart). The count first, then what its kind
// keeps.
struct AggHead {
  int32_t count;
};
// Packed to four bytes, so that a block needs no padding.
struct __attribute__((packed, aligned(4))) NumberAgg {
  AggHead head;
  int32_t numCount;  // records whose text read as a number
  double min, max, sum;
};
// A number aggregate whose smallest and largest numbers nobody reads.
struct __attribute__((packed, aligned(4))) SumAgg {
  AggHead head;
  int32_t numCount;
  double sum;
};
struct TextAgg {
  AggHead head;
  uint32_t text;  // its smallest and largest texts in texts_
};
static_assert(sizeof(AggHead) == 4 && sizeof(NumberAgg) == 32 && sizeof(SumAgg) == 16 && sizeof(TextAgg) == 8 &&
              alignof(NumberAgg) == 4 && alignof(SumAgg) == 4);

template <typename A>
double Average(const A& v) {
  return v.number && v.NumCount > 0 ? v.Sum / v.NumCount : 0;
}

// The number an aggregate stands for under a method (range: its minimum).
template <typename A>
double MethodValue(const A& v, int method) {
  switch (method) {
    case 0: return v.Count;
    case 1:
    case 3: return v.number ? v.Min : 0;
    case 2: return v.number ? v.Max : 0;
    case 4: return v.number ? v.Sum : 0;
    case 5: return Average(v);
    default: return 0;
  }
}

// The hash of key texts: each text's bytes, eight at a time, and its length.
constexpr uint64_t kHashSeed = 0x9e3779b97f4a7c15ULL;
uint64_t MixText(uint64_t h, const char* p, size_t size) {
  size_t left = size;
  for (; left >= 8; p += 8, left -= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 29;
  }
  uint64_t w = 0;
  std::memcpy(&w, p, left);
  h = (h ^ w ^ (static_cast<uint64_t>(size) << 56)) * 0x94d049bb133111ebULL;
  h ^= h >> 31;
  return h;
}

// ScanLeadingReal's value, bit for bit. A plain decimal (sign, at most 19 digits with one period,
// no exponent) whose digits make an integer of at most 2^53 and that has at most 22 decimal places
// is that integer divided by an exact power of ten: one correctly rounded division. Anything else
// goes to the full reader.
bool ReadNumber(const AnsiString& text, double& value) {
  static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                      1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const char* p = text.data();
  const char* const end = p + text.size();
  bool negative = false;
  if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
  uint64_t m = 0;
  int digits = 0, places = 0;
  bool point = false;
  for (; p < end; ++p) {
    const char ch = *p;
    if (ch >= '0' && ch <= '9') {
      if (++digits > 19) return ScanLeadingReal(text, value);
      m = m * 10 + static_cast<uint64_t>(ch - '0');
      places += point;
    } else if (ch == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0 || (p < end && (*p == 'e' || *p == 'E')) || m > (uint64_t{1} << 53) || places > 22)
    return ScanLeadingReal(text, value);
  double v = static_cast<double>(m);
  if (places > 0) v /= kPow10[places];
  value = negative ? -v : v;
  return true;
}

// FloatToStr's text (15 significant digits, trailing zeros dropped, an exponent outside
// 1E-5 .. 1E15) without its temporary strings: this runs for most cells of a calculation.
AnsiString NumberText(double v) {
  if (!std::isfinite(v) || v == 0) return FloatToStr(v);
  char buf[64];
  char* p = buf;
  if (v < 0) {
    *p++ = '-';
    v = -v;
  }
  if (v < 1e15 && v == std::floor(v)) {  // an integer of at most 15 digits is its own text
    p = std::to_chars(p, buf + sizeof buf, static_cast<long long>(v)).ptr;
    return AnsiString(buf, p);
  }
  char sci[40];
  char* const sciEnd = std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific, 14).ptr;
  char digits[16];
  int n = 0;
  const char* q = sci;
  for (; q < sciEnd && *q != 'e'; ++q)
    if (*q != '.') digits[n++] = *q;
  int exp = 0;
  std::from_chars(q + 1 + (q[1] == '+'), sciEnd, exp);
  while (n > 1 && digits[n - 1] == '0') --n;
  if (exp >= -5 && exp < 15) {
    if (exp < 0) {
      *p++ = '0';
      *p++ = '.';
      for (int i = 0; i < -exp - 1; ++i) *p++ = '0';
      for (int i = 0; i < n; ++i) *p++ = digits[i];
    } else if (n <= exp + 1) {
      for (int i = 0; i < n; ++i) *p++ = digits[i];
      for (int i = n; i < exp + 1; ++i) *p++ = '0';
    } else {
      for (int i = 0; i <= exp; ++i) *p++ = digits[i];
      *p++ = '.';
      for (int i = exp + 1; i < n; ++i) *p++ = digits[i];
    }
  } else {
    *p++ = digits[0];
    if (n > 1) {
      *p++ = '.';
      for (int i = 1; i < n; ++i) *p++ = digits[i];
    }
    *p++ = 'E';
    p = std::to_chars(p, buf + sizeof buf, exp).ptr;
  }
  return AnsiString(buf, p);
}

// Ratio text of current against base: the mark (with CI_MARKS) and the ratio in its picture.
AnsiString RatioText(const CCapInfo* c, double current, double base) {
  AnsiString mark;
  if (c->Flags & CI_MARKS) {
    if (base < current) mark = c->IncreaseMark;
    else if (base > current) mark = c->DecreaseMark;
  }
  const double ratio = current / base;
  if (c->Flags & CI_PERCENT) return mark + FormatFloat("#0.#", ratio * 100);
  return mark + FormatFloat("#0.###", ratio);
}

}  // namespace

// ---- the group store ----

void CSummaryMod::PageFree::operator()(unsigned char* p) const { std::free(p); }

CSummaryMod::Page CSummaryMod::NewPage(size_t bytes, bool huge) {
  if (!huge) {
    void* p = std::malloc(bytes);
    if (!p) throw std::bad_alloc();
    return Page(static_cast<unsigned char*>(p));
  }
  const size_t size = (bytes + kPageBytes - 1) / kPageBytes * kPageBytes;
  void* p = std::aligned_alloc(kPageBytes, size);
  if (!p) throw std::bad_alloc();
  madvise(p, size, MADV_HUGEPAGE);  // only advice: without huge pages the memory works the same
  return Page(static_cast<unsigned char*>(p));
}

CSummaryMod::Agg CSummaryMod::Read(const CSumValList* group, int slot) const {
  const Slot& s = slots_[static_cast<size_t>(slot)];
  const unsigned char* at = reinterpret_cast<const unsigned char*>(group) + s.offset;
  Agg a;
  a.Count = reinterpret_cast<const AggHead*>(at)->count;
  if (s.kind == SlotKind::Number) {
    const auto* n = reinterpret_cast<const NumberAgg*>(at);
    a.NumCount = n->numCount;
    a.Min = n->min;
    a.Max = n->max;
    a.Sum = n->sum;
  } else if (s.kind == SlotKind::Sum) {
    const auto* n = reinterpret_cast<const SumAgg*>(at);
    a.NumCount = n->numCount;
    a.Sum = n->sum;
  } else if (s.kind == SlotKind::Text) {
    a.number = false;
    a.text = &texts_[reinterpret_cast<const TextAgg*>(at)->text];
  }
  return a;
}

// What a calculation counts for column in group's row: the total of the row's run at the column's
// level, or, for a run of that one row (or before any calculation), the group's own aggregate.
CSummaryMod::Agg CSummaryMod::Total(CSumValList* group, int column) const {
  const int s = SlotOf(column);
  const size_t level = static_cast<size_t>(LevelOf(column) + 1);
  if (level < levels_.size() && !levels_[level].runOf.empty()) {
    const LevelRuns& runs = levels_[level];
    const uint32_t g = Head(group)->index;
    const int ordinal = runs.ordinal[static_cast<size_t>(s)];
    if (g < runs.runOf.size() && runs.runOf[g] != kSingle && ordinal >= 0)
      return runTotals_[runs.runOf[g] + static_cast<size_t>(ordinal)];
  }
  return Read(group, s);
}

void CSummaryMod::InitSlot(unsigned char* block, const Slot& slot) {
  unsigned char* at = block + slot.offset;
  switch (slot.kind) {
    case SlotKind::Count: new (at) AggHead{0}; break;
    case SlotKind::Number: new (at) NumberAgg{{0}, 0, 0, 0, 0}; break;
    case SlotKind::Sum: new (at) SumAgg{{0}, 0, 0}; break;
    case SlotKind::Text:
      new (at) TextAgg{{0}, static_cast<uint32_t>(texts_.size())};
      texts_.emplace_back();
      break;
  }
}

// Adds a group's aggregate to a run's total, as if the group's records had been filed there.
void CSummaryMod::AddToTotal(Agg& total, Texts* texts, const Agg& own) {
  if (own.Count <= 0) return;
  if (total.number && own.number && own.NumCount > 0) {
    if (total.NumCount == 0) {
      total.Min = own.Min;
      total.Max = own.Max;
      total.Sum = own.Sum;
      total.NumCount = own.NumCount;
    } else {
      total.Min = std::min(total.Min, own.Min);
      total.Max = std::max(total.Max, own.Max);
      total.Sum += own.Sum;
      total.NumCount += own.NumCount;
    }
  }
  if (texts && own.text) {
    Texts& t = *texts;
    if (total.Count == 0) {
      t = *own.text;
    } else {
      if (own.text->Min < t.Min) t.Min = own.text->Min;
      if (own.text->Max > t.Max) t.Max = own.text->Max;
    }
  }
  total.Count += own.Count;
}

// ---- life and binding ----

CSummaryMod::CSummaryMod() = default;

CSummaryMod::~CSummaryMod() {
  if (rows_) rows_->SetReleaseHandler(this, nullptr);
  if (records_) records_->SetReleaseHandler(this, nullptr);
  delete own_;
}

CCapInfo* CSummaryMod::Column(int i) const {
  return columns_ && i >= 0 && i < columns_->Count() ? columns_->GetItem(i) : nullptr;
}

bool CSummaryMod::IsKey(int i) const {
  const CCapInfo* c = Column(i);
  return c && c->GroupKey;
}

CSumValList* CSummaryMod::GroupOf(const TStrings* row) const {
  if (!row || row->Count() <= columnCount_) return nullptr;
  return static_cast<CSumValList*>(row->Objects(columnCount_));
}

void CSummaryMod::SetSummaryColumns(CStringsList* rows, CCapInfoList* columns, CCapInfoList* sourceColumns) {
  columns_ = columns;
  source_ = sourceColumns;
  if (columns && columns->Count() == 0 && sourceColumns && sourceColumns->Count() > 0) {
    const CCapInfo* first = sourceColumns->GetItem(0);
    auto* count = new CCapInfo;
    count->Caption = SJ("件数");
    count->Name = first->Name;
    count->Type = first->Type;
    count->Shown = true;
    count->Alignment = 2;
    count->GroupKey = false;
    count->Aggregate = 0;
    columns->Add(count);
  }
  BindColumns();
  ResetSummary(rows, columns);
}

void CSummaryMod::BindColumns() {
  if (!columns_ || !source_) return;
  feedValid_ = false;
  for (int i = 0; i < columns_->Count(); ++i) {
    CCapInfo* c = columns_->GetItem(i);
    if (!c) continue;
    c->SummaryPosition = i;
    const int j = source_->IndexOfName(c->Name);
    if (j < 0) {
      c->SourceIndex = 0;
      c->Aggregate = 0;
      continue;
    }
    const CCapInfo* s = source_->GetItem(j);
    c->SourceIndex = j;
    if (!c->GroupKey) c->Type = MethodOf(c) != 0 ? s->Type : 1;
    if (IsNumericType(s)) {
      c->Flags = (c->Flags & ~CI_THOUSANDS) | (s->Flags & CI_THOUSANDS);
      c->NumberFormat = s->NumberFormat;
    }
  }
}

void CSummaryMod::ResetSummary(CStringsList* rows, CCapInfoList* columns) {
  // Rows left over from before would carry aggregates that are about to be freed.
  if (rows && rows->Count() > 0) rows->DeleteAll();
  DropGroups();
  WatchRows(rows);
  columns_ = columns;
  if (own_ && own_ != columns) {
    delete own_;
    own_ = nullptr;
  }
  RebuildKeys();
}

void CSummaryMod::SetRecordRows(CStringsList* records) {
  if (records_ == records) return;
  if (records_) records_->SetReleaseHandler(this, nullptr);
  records_ = records;
  if (!records) return;
  records->SetReleaseHandler(this, [this](bool gone) {
    Restart();
    if (gone) records_ = nullptr;
  });
}

void CSummaryMod::WatchRows(CStringsList* rows) {
  if (rows_ == rows) return;
  if (rows_) rows_->SetReleaseHandler(this, nullptr);
  rows_ = rows;
  if (!rows) return;
  rows->SetReleaseHandler(this, [this](bool gone) {
    DropGroups();
    if (gone) rows_ = nullptr;
  });
}

// Forgets every group; the summary rows that named them are being deleted or were never made.
void CSummaryMod::DropGroups() {
  table_.reset();
  tableSize_ = 0;
  tableUsed_ = 0;
  pages_.clear();
  groupCount_ = 0;
  std::vector<char>().swap(keyBytes_);
  texts_.clear();
  memberPages_.clear();
  memberCount_ = 0;
  lists_.clear();
  DropTotals();
  calculated_ = false;
  runsValid_ = false;
}

// Empties the summary and keeps the bound columns.
void CSummaryMod::Restart() {
  if (rows_ && rows_->Count() > 0) rows_->DeleteAll();
  DropGroups();
  RebuildKeys();
}

void CSummaryMod::RebuildKeys() {
  keys_.clear();
  columnCount_ = columns_ ? columns_->Count() : 0;
  for (int i = 0; i < columnCount_; ++i) {
    CCapInfo* c = columns_->GetItem(i);
    if (!c) continue;
    c->SummaryPosition = i;
    if (c->GroupKey) keys_.push_back(i);
  }
  if (groupCount_ == 0) RebuildSlots();
  feedValid_ = false;
  runsValid_ = false;
}

// Slots for every value column; groups made from now on have them.
void CSummaryMod::RebuildSlots() {
  slots_.clear();
  stride_ = sizeof(GroupHead);
  valSlots_.assign(static_cast<size_t>(columnCount_), -1);
  std::vector<int> all(static_cast<size_t>(columnCount_));
  for (int i = 0; i < columnCount_; ++i) all[static_cast<size_t>(i)] = i;
  AssignSlots(all);
  feedValid_ = false;
}

// The position of the key a column is computed under, -1 before the first key.
int CSummaryMod::LevelOf(int column) const {
  for (int i = column - 1; i >= 0; --i)
    if (IsKey(i)) return i;
  return -1;
}

// A count whose chain of passes only counts: a comparison reads a column's aggregate with the
// method of another column of its chain, so only then is the count all that is ever read.
bool CSummaryMod::CountOnly(int column) const { return ChainReads(column, {0}); }

// Whether every column of column's chain of passes has one of the methods: a comparison reads a
// column's aggregate with the method of another column of its chain.
bool CSummaryMod::ChainReads(int column, std::initializer_list<int> methods) const {
  if (!Column(column)) return false;
  int first = column;
  while (first > 0 && Column(first - 1) && !IsKey(first - 1) &&
         Column(first - 1)->PassNumber + 1 == Column(first)->PassNumber)
    --first;
  const int last = ChainEnd(column);
  for (int i = first; i <= last; ++i)
    if (std::find(methods.begin(), methods.end(), MethodOf(Column(i))) == methods.end()) return false;
  return true;
}

// Gives the value columns among positions their slots, appended after the slots there are:
// columns of one pass that read the same thing share one (see Slot). A number slot keeps its
// smallest and largest numbers only when some column could read them.
void CSummaryMod::AssignSlots(const std::vector<int>& positions) {
  struct Made {
    bool live;
    SlotKind kind;
    int source;
    bool range;
  };
  std::vector<Made> made;
  const int base = static_cast<int>(slots_.size());
  auto slotFor = [&made, base](bool live, SlotKind kind, int source, bool any) {
    for (size_t m = 0; m < made.size(); ++m)
      if (made[m].live == live && (any || (made[m].kind == kind && made[m].source == source)))
        return base + static_cast<int>(m);
    made.push_back({live, kind, source, false});
    return base + static_cast<int>(made.size()) - 1;
  };
  for (int i : positions) {
    const CCapInfo* c = Column(i);
    if (!c || c->GroupKey || CountOnly(i)) continue;
    const SlotKind kind = IsNumericType(c) ? SlotKind::Number : SlotKind::Text;
    const int slot = slotFor(c->Aggregate >= 0, kind, c->SourceIndex, false);
    valSlots_[static_cast<size_t>(i)] = slot;
    if (!ChainReads(i, {0, 4, 5})) made[static_cast<size_t>(slot - base)].range = true;
  }
  for (int i : positions) {
    const CCapInfo* c = Column(i);
    if (!c || c->GroupKey || !CountOnly(i)) continue;
    valSlots_[static_cast<size_t>(i)] = slotFor(c->Aggregate >= 0, SlotKind::Count, -1, true);
  }
  for (const Made& m : made) {
    const SlotKind kind = m.kind == SlotKind::Number && !m.range ? SlotKind::Sum : m.kind;
    slots_.push_back({kind, static_cast<uint32_t>(stride_)});
    stride_ += kind == SlotKind::Count    ? sizeof(AggHead)
               : kind == SlotKind::Number ? sizeof(NumberAgg)
               : kind == SlotKind::Sum    ? sizeof(SumAgg)
                                          : sizeof(TextAgg);
  }
}

// After slots were added: every block copied to the longer stride with its new slots empty, and
// the summary rows pointed at the new blocks.
void CSummaryMod::Relayout(size_t oldStride, size_t oldSlots) {
  const uint32_t oldPageGroups = pageGroups_;
  pageGroups_ = static_cast<uint32_t>(std::max<size_t>(1, kPageBytes / stride_));
  std::vector<Page> pages;
  for (uint32_t g = 0; g < groupCount_; ++g) {
    if (g % pageGroups_ == 0) pages.push_back(NewPage(size_t(pageGroups_) * stride_, !pages.empty()));
    unsigned char* to = pages.back().get() + size_t(g % pageGroups_) * stride_;
    std::memcpy(to, pages_[g / oldPageGroups].get() + size_t(g % oldPageGroups) * oldStride, oldStride);
    for (size_t s = oldSlots; s < slots_.size(); ++s) InitSlot(to, slots_[s]);
  }
  std::vector<std::pair<TStrings*, uint32_t>> moved;
  for (int r = 0; rows_ && r < rows_->Count(); ++r) {
    TStrings* row = SumRow(r);
    if (CSumValList* group = GroupOf(row)) moved.emplace_back(row, Head(group)->index);
  }
  pages_ = std::move(pages);
  for (const auto& [row, g] : moved) row->SetObject(columnCount_, Block(g));
}

// Which slots a record feeds: each live slot once, and the source columns read as numbers.
void CSummaryMod::BuildFeed() {
  feed_.clear();
  feedSources_.clear();
  std::vector<char> seen(slots_.size());
  // A count shares the slot of any other column and reads no value: the slot's source is taken
  // from the columns that read one, so the counts come last.
  for (const bool counts : {false, true}) {
    for (int i = 0; i < ColumnCount(); ++i) {
      const CCapInfo* c = Column(i);
      const int s = SlotOf(i);
      if (!c || c->GroupKey || c->Aggregate < 0 || s < 0 || seen[static_cast<size_t>(s)] || CountOnly(i) != counts)
        continue;
      seen[static_cast<size_t>(s)] = 1;
      Feed f{slots_[s].offset, slots_[s].kind, c->SourceIndex, -1};
      if (f.kind == SlotKind::Number || f.kind == SlotKind::Sum) {
        const auto at = std::find(feedSources_.begin(), feedSources_.end(), c->SourceIndex);
        f.parsed = static_cast<int>(at - feedSources_.begin());
        if (at == feedSources_.end()) feedSources_.push_back(c->SourceIndex);
      }
      feed_.push_back(f);
    }
  }
  parsed_.assign(feedSources_.size(), 0);
  parsedOk_.assign(feedSources_.size(), 0);
  feedValid_ = true;
}

// ---- filing records ----

// An empty row with its extra cell, copied from a blank one in a single allocation of the cells.
TStrings* CSummaryMod::NewSummaryRow() {
  if (blankRow_.Count() != columnCount_ + 1) {
    blankRow_.Clear();
    for (int i = 0; i <= columnCount_; ++i) blankRow_.Add("");
  }
  auto* row = new TStringList;
  row->Assign(blankRow_);
  rows_->Add(row);
  return row;
}

void CSummaryMod::AddSummaryRecord(TStrings* record) {
  if (!record || !rows_ || !columns_) return;
  if (calculated_) WalkRuns(0, 0, rows_->Count() - 1, &CSummaryMod::UndoColumn);
  calculated_ = false;
  runsValid_ = false;
  if (!levels_.empty()) DropTotals();

  CSumValList* group = nullptr;
  if (keys_.empty()) {
    TStrings* row = rows_->Count() > 0 ? SumRow(0) : NewSummaryRow();
    group = GroupOf(row);
    if (!group) group = NewGroup(row, record);
  } else {
    group = FindGroup(record);
  }
  AddMember(group, record);
  Receive(group, record);
}

uint64_t CSummaryMod::KeyHash(const TStrings* record) const {
  uint64_t h = kHashSeed;
  for (int k : keys_) {
    const AnsiString& text = Cell(record, Column(k)->SourceIndex);
    h = MixText(h, text.data(), text.size());
  }
  return h;
}

// A group's key texts and whether their lengths take 32 bits (else one byte).
const unsigned char* CSummaryMod::StoredKeys(uint32_t g, bool& wide) const {
  const GroupHead* head = Head(Block(g));
  wide = head->key[0] == kLongKeys;
  if (!wide) return head->key;
  uint64_t at;
  std::memcpy(&at, head->key + 8, sizeof at);
  return reinterpret_cast<const unsigned char*>(keyBytes_.data()) + at;
}

namespace {
size_t NextKeySize(const unsigned char*& p, bool wide) {
  if (!wide) return *p++;
  uint32_t size;
  std::memcpy(&size, p, sizeof size);
  p += sizeof size;
  return size;
}
}  // namespace

bool CSummaryMod::SameKeys(uint32_t g, const TStrings* record) const {
  bool wide;
  const unsigned char* p = StoredKeys(g, wide);
  for (int k : keys_) {
    const AnsiString& text = Cell(record, Column(k)->SourceIndex);
    const size_t size = NextKeySize(p, wide);
    if (size != text.size() || std::memcmp(p, text.data(), size) != 0) return false;
    p += size;
  }
  return true;
}

// The record's group, made (with its summary row appended to the rows) when it is new.
CSumValList* CSummaryMod::FindGroup(const TStrings* record) {
  if (!table_ && groupCount_ > 0) RebuildTable();
  if ((tableUsed_ + 1) * 2 > tableSize_) GrowTable();
  const auto tag = static_cast<uint32_t>(KeyHash(record) >> 32);
  Place* const table = reinterpret_cast<Place*>(table_.get());
  const size_t mask = tableSize_ - 1;
  size_t i = tag & mask;
  for (; table[i].group; i = (i + 1) & mask) {
    if (table[i].tag != tag) continue;
    // The aggregates are read next: their lines load while the keys are compared.
    const auto* block = reinterpret_cast<const char*>(Block(table[i].group - 1));
    for (size_t at = 64; at < stride_; at += 64) __builtin_prefetch(block + at);
    __builtin_prefetch(block + stride_ - 1);
    if (SameKeys(table[i].group - 1, record)) return Block(table[i].group - 1);
  }
  CSumValList* group = NewGroup(NewSummaryRow(), record);
  table[i] = {tag, Head(group)->index + 1};
  ++tableUsed_;
  return group;
}

// The table again after a calculation let it go: every group by the hash of its key texts.
void CSummaryMod::RebuildTable() {
  tableSize_ = 64;
  while (tableSize_ < (size_t(groupCount_) + 1) * 2) tableSize_ *= 2;
  table_ = NewPage(tableSize_ * sizeof(Place), tableSize_ * sizeof(Place) >= kPageBytes);
  auto* table = reinterpret_cast<Place*>(table_.get());
  std::fill_n(table, tableSize_, Place{0, 0});
  const size_t mask = tableSize_ - 1;
  for (uint32_t g = 0; g < groupCount_; ++g) {
    bool wide;
    const unsigned char* p = StoredKeys(g, wide);
    uint64_t h = kHashSeed;
    for (size_t k = 0; k < keys_.size(); ++k) {
      const size_t size = NextKeySize(p, wide);
      h = MixText(h, reinterpret_cast<const char*>(p), size);
      p += size;
    }
    const auto tag = static_cast<uint32_t>(h >> 32);
    size_t i = tag & mask;
    while (table[i].group) i = (i + 1) & mask;
    table[i] = {tag, g + 1};
  }
  tableUsed_ = groupCount_;
}

// The table never needs more than 2^32 places (a group number takes 32 bits), so a place's tag
// alone gives its position in a grown table.
void CSummaryMod::GrowTable() {
  const Page old = std::move(table_);
  const size_t oldSize = tableSize_;
  tableSize_ = std::max<size_t>(64, oldSize * 2);
  table_ = NewPage(tableSize_ * sizeof(Place), tableSize_ * sizeof(Place) >= kPageBytes);
  auto* table = reinterpret_cast<Place*>(table_.get());
  std::fill_n(table, tableSize_, Place{0, 0});
  const size_t mask = tableSize_ - 1;
  for (const Place* p = reinterpret_cast<const Place*>(old.get()); p != reinterpret_cast<const Place*>(old.get()) + oldSize; ++p) {
    if (!p->group) continue;
    size_t i = p->tag & mask;
    while (table[i].group) i = (i + 1) & mask;
    table[i] = *p;
  }
}

// A new group for the record, its block empty, its key texts kept and written into its row.
CSumValList* CSummaryMod::NewGroup(TStrings* row, const TStrings* record) {
  if (groupCount_ == UINT32_MAX - 1) throw std::length_error("summary: too many groups");
  const uint32_t g = groupCount_;
  if (g == 0) pageGroups_ = static_cast<uint32_t>(std::max<size_t>(1, kPageBytes / stride_));
  if (g / pageGroups_ == pages_.size()) pages_.push_back(NewPage(size_t(pageGroups_) * stride_, !pages_.empty()));
  auto* block = reinterpret_cast<unsigned char*>(Block(g));
  auto* head = new (block) GroupHead{g, 0, {}};
  for (const Slot& slot : slots_) InitSlot(block, slot);
  ++groupCount_;

  size_t inlineSize = 0;
  for (int k : keys_) {
    const size_t size = Cell(record, Column(k)->SourceIndex).size();
    inlineSize += size < kLongKeys ? 1 + size : kKeyBytes + 1;
  }
  if (inlineSize <= kKeyBytes) {
    unsigned char* p = head->key;
    for (int k : keys_) {
      const AnsiString& text = Cell(record, Column(k)->SourceIndex);
      *p++ = static_cast<unsigned char>(text.size());
      p = std::copy(text.begin(), text.end(), p);
    }
  } else {
    head->key[0] = kLongKeys;
    const uint64_t at = keyBytes_.size();
    std::memcpy(head->key + 8, &at, sizeof at);
    for (int k : keys_) {
      const AnsiString& text = Cell(record, Column(k)->SourceIndex);
      const auto size = static_cast<uint32_t>(text.size());
      const char* bytes = reinterpret_cast<const char*>(&size);
      keyBytes_.insert(keyBytes_.end(), bytes, bytes + sizeof size);
      keyBytes_.insert(keyBytes_.end(), text.begin(), text.end());
    }
  }

  while (row->Count() <= columnCount_) row->Add("");
  for (int k : keys_) {
    const AnsiString& text = Cell(record, Column(k)->SourceIndex);
    if (!text.empty() && row->Strings(k).empty()) row->SetString(k, text);
  }
  auto* group = reinterpret_cast<CSumValList*>(block);
  row->SetObject(columnCount_, group);
  return group;
}

// Chains the record behind the group's newest member.
void CSummaryMod::AddMember(CSumValList* group, TStrings* record) {
  const uint32_t m = memberCount_;
  if (m == UINT32_MAX) throw std::length_error("summary: too many records");
  if (m % kPageMembers == 0) memberPages_.push_back(NewPage(kPageBytes, !memberPages_.empty()));
  GroupHead* head = Head(group);
  MemberRow(m) = record;
  MemberPrev(m) = head->lastMember;
  head->lastMember = m + 1;
  ++memberCount_;
  if (!lists_.empty()) {
    const auto handed = lists_.find(head->index);
    if (handed != lists_.end()) handed->second->Add(record);
  }
}

// Adds the record to every live aggregate of its group; each source column is read as a number
// at most once.
void CSummaryMod::Receive(CSumValList* group, TStrings* record) {
  if (!feedValid_) BuildFeed();
  for (size_t s = 0; s < feedSources_.size(); ++s) {
    double d = 0;
    // A text without a leading number, or one out of a double's range, is only counted.
    parsedOk_[s] = ReadNumber(Cell(record, feedSources_[s]), d) && std::isfinite(d);
    parsed_[s] = d;
  }
  auto* block = reinterpret_cast<unsigned char*>(group);
  for (const Feed& f : feed_) {
    unsigned char* at = block + f.offset;
    auto* head = reinterpret_cast<AggHead*>(at);
    const bool first = head->count == 0;
    ++head->count;
    if (f.kind == SlotKind::Number) {
      if (!parsedOk_[static_cast<size_t>(f.parsed)]) continue;
      const double d = parsed_[static_cast<size_t>(f.parsed)];
      auto* v = reinterpret_cast<NumberAgg*>(at);
      if (v->numCount == 0) {
        v->min = v->max = v->sum = d;
      } else {
        v->sum += d;
        if (d < v->min) v->min = d;
        else if (d > v->max) v->max = d;
      }
      ++v->numCount;
    } else if (f.kind == SlotKind::Sum) {
      if (!parsedOk_[static_cast<size_t>(f.parsed)]) continue;
      const double d = parsed_[static_cast<size_t>(f.parsed)];
      auto* v = reinterpret_cast<SumAgg*>(at);
      if (v->numCount == 0) v->sum = d;
      else v->sum += d;
      ++v->numCount;
    } else if (f.kind == SlotKind::Text) {
      const AnsiString& text = Cell(record, f.source);
      Texts& t = texts_[reinterpret_cast<TextAgg*>(at)->text];
      if (first) {
        t.Min = t.Max = text;
      } else if (text < t.Min) {
        t.Min = text;
      } else if (text > t.Max) {
        t.Max = text;
      }
    }
  }
}

// ---- calculation ----

void CSummaryMod::Calculate() {
  if (!columns_ || !rows_ || calculated_) return;
  // The table is not needed to calculate; without it the sort's keys find room. The next record
  // builds it again.
  table_.reset();
  tableSize_ = 0;
  tableUsed_ = 0;
  SortRows();
  Recompute();
  calculated_ = true;
}

void CSummaryMod::SetRatioMode(bool on) {
  if (on == ratioMode_) return;
  ratioMode_ = on;
  // Before the first calculation the rows are not sorted yet; Calculate will use the new mode.
  if (calculated_ && columns_ && rows_) Recompute();
}

namespace {
constexpr int kNewSlot = -2;  // a column of the new pass, waiting for its slot
}  // namespace

void CSummaryMod::Recompute() {
  const int last = rows_->Count() - 1;
  DropTotals();
  levels_.resize(static_cast<size_t>(ColumnCount()) + 1);
  for (size_t level = 0; level < levels_.size(); ++level) {
    // The slots of the level's columns, numbered in the order of the columns.
    LevelRuns& runs = levels_[level];
    runs.ordinal.assign(slots_.size(), -1);
    for (int i = static_cast<int>(level); i < ColumnCount() && !IsKey(i); ++i) {
      const int s = SlotOf(i);
      if (s >= 0 && runs.ordinal[static_cast<size_t>(s)] < 0) runs.ordinal[static_cast<size_t>(s)] = runs.width++;
    }
  }
  WalkRuns(0, 0, last, &CSummaryMod::TotalAndText);
}

// A run's totals are made at the first column of its level, before any text of the level: a
// comparison reads another column of the same level.
void CSummaryMod::TotalAndText(int column, int r0, int r1) {
  TotalRun(column, r0, r1);
  TextColumn(column, r0, r1);
}

// Orders the rows by the keys: integer keys by value (a text that is no integer as 0), real keys
// by value (a text that is no number as 0), others in byte order; equal values by their raw text,
// key by key, so that rows with one key text stay together. Stable.
void CSummaryMod::SortRows() {
  const size_t n = static_cast<size_t>(rows_->Count());
  const size_t width = keys_.size();
  std::vector<char> numeric(width), ascending(width);
  bool anyNumeric = false;
  size_t longest = 0;
  for (size_t k = 0; k < width; ++k) {
    numeric[k] = IsNumericType(Column(keys_[k]));
    ascending[k] = Column(keys_[k])->Ascending;
    anyNumeric = anyNumeric || numeric[k];
  }
  for (size_t r = 0; r < n; ++r)
    for (size_t k = 0; k < width; ++k) longest = std::max(longest, Cell(SumRow(static_cast<int>(r)), keys_[k]).size());
  std::vector<uint32_t> order(n);
  for (size_t r = 0; r < n; ++r) order[r] = static_cast<uint32_t>(r);

  // Each row's keys are read once: the text's first 8 * Words bytes as big-endian integers and its
  // length, which decide every byte-order comparison where one of the texts is that short, and
  // for integer and real keys the number. Only ties of longer texts go back to the rows.
  auto sortBy = [&]<size_t Words>() {
    constexpr size_t kBytes = 8 * Words;
    struct __attribute__((packed)) Key {
      uint64_t prefix[Words];
      uint8_t size;  // at most kBytes + 1 (longer texts are all alike here)
    };
    std::vector<Key> keys(n * width);
    std::vector<double> numbers(anyNumeric ? n * width : 0);
    for (size_t r = 0; r < n; ++r) {
      const TStrings* row = SumRow(static_cast<int>(r));
      for (size_t k = 0; k < width; ++k) {
        const CCapInfo* c = Column(keys_[k]);
        const AnsiString& text = Cell(row, keys_[k]);
        Key& key = keys[r * width + k];
        if (c->Type == 1) {
          numbers[r * width + k] = StrToIntDef(text, 0);
        } else if (c->Type == 2) {
          double d;
          numbers[r * width + k] = TryStrToFloat(text, d) && std::isfinite(d) ? d : 0;
        }
        unsigned char bytes[kBytes] = {};
        std::memcpy(bytes, text.data(), std::min(kBytes, text.size()));
        for (size_t w = 0; w < Words; ++w) {
          uint64_t word = 0;
          for (size_t i = 0; i < 8; ++i) word = word << 8 | bytes[8 * w + i];
          key.prefix[w] = word;
        }
        key.size = static_cast<uint8_t>(std::min(text.size(), kBytes + 1));
      }
    }
    // Ties on every key keep the rows' order: the sort is stable.
    std::sort(order.begin(), order.end(), [&](uint32_t x, uint32_t y) {
      const Key* a = &keys[x * width];
      const Key* b = &keys[y * width];
      for (size_t k = 0; k < width; ++k) {
        int d = 0;
        if (numeric[k]) {
          const double na = numbers[x * width + k], nb = numbers[y * width + k];
          d = na < nb ? -1 : (na > nb ? 1 : 0);
        }
        for (size_t w = 0; d == 0 && w < Words; ++w) {
          const uint64_t pa = a[k].prefix[w], pb = b[k].prefix[w];
          if (pa != pb) d = pa < pb ? -1 : 1;
        }
        if (d == 0 && (a[k].size <= kBytes || b[k].size <= kBytes)) {
          // Equal first bytes and one text no longer than them: it is the other's beginning.
          d = a[k].size < b[k].size ? -1 : (a[k].size > b[k].size ? 1 : 0);
        }
        if (d == 0 && a[k].size > kBytes)
          d = Cell(SumRow(static_cast<int>(x)), keys_[k]).compare(Cell(SumRow(static_cast<int>(y)), keys_[k]));
        if (d != 0) return ascending[k] ? d < 0 : d > 0;
      }
      return x < y;
    });
  };
  if (longest <= 8) sortBy.template operator()<1>();
  else sortBy.template operator()<2>();

  // Each row to its place, cycle by cycle; a done place has its top bit set.
  constexpr uint32_t kDone = 0x80000000u;
  for (size_t start = 0; start < n; ++start) {
    if (order[start] & kDone) continue;
    TStrings* const first = SumRow(static_cast<int>(start));
    for (size_t r = start;;) {
      const size_t from = order[r];
      order[r] |= kDone;
      if (from == start) {
        rows_->SetItem(static_cast<int>(r), first);
        break;
      }
      rows_->SetItem(static_cast<int>(r), SumRow(static_cast<int>(from)));
      r = from;
    }
  }
  runsValid_ = false;
}

// Visits the value columns level by level: the columns from column up to the next key over the
// whole range, then, for each run of equal texts in that key, the deeper levels and the columns
// between that key and the next one over the run.
void CSummaryMod::WalkRuns(int column, int r0, int r1, RunVisitor visit) {
  const int count = ColumnCount();
  if (r0 > r1 || column >= count) return;
  int k1 = column;
  while (k1 < count && !IsKey(k1)) ++k1;
  for (int c = column; c < k1; ++c) (this->*visit)(c, r0, r1);
  if (k1 >= count) return;
  int k2 = k1 + 1;
  while (k2 < count && !IsKey(k2)) ++k2;
  for (int s = r0; s <= r1;) {
    const AnsiString& text = Cell(SumRow(s), k1);
    int e = s;
    while (e < r1 && Cell(SumRow(e + 1), k1) == text) ++e;
    WalkRuns(k2, s, e, visit);
    for (int c = k1 + 1; c < k2; ++c) (this->*visit)(c, s, e);
    s = e + 1;
  }
}

// Once per run of a level (at its first column): the totals of the run's groups, for each slot of
// the level, kept for each group of a run longer than one row (a level without such runs keeps
// nothing, and its rows read their groups' own aggregates).
void CSummaryMod::TotalRun(int column, int r0, int r1) {
  if (column > 0 && !IsKey(column - 1)) return;  // not the level's first column
  LevelRuns& runs = levels_[static_cast<size_t>(column)];
  CSumValList* first = GroupOf(SumRow(r0));
  if (r1 == r0 || !first || runs.width == 0) return;
  if (runs.runOf.empty()) runs.runOf.assign(groupCount_, kSingle);
  const auto at = static_cast<uint32_t>(runTotals_.size());
  runTotals_.resize(runTotals_.size() + static_cast<size_t>(runs.width));
  for (size_t s = 0; s < slots_.size(); ++s) {
    if (runs.ordinal[s] < 0) continue;
    Agg& total = runTotals_[at + static_cast<size_t>(runs.ordinal[s])];
    total = Read(first, static_cast<int>(s));
    Texts* texts = nullptr;
    if (total.text) {
      texts = &runTexts_.emplace_back(*total.text);
      total.text = texts;
    }
    for (int r = r0 + 1; r <= r1; ++r) {
      CSumValList* group = GroupOf(SumRow(r));
      if (group && group != first) AddToTotal(total, texts, Read(group, static_cast<int>(s)));
    }
  }
  for (int r = r0; r <= r1; ++r)
    if (CSumValList* group = GroupOf(SumRow(r))) runs.runOf[Head(group)->index] = at;
}

// Forgets the totals of the last calculation: the rows or their groups have changed.
void CSummaryMod::DropTotals() {
  levels_.clear();
  runTotals_.clear();
  runTexts_.clear();
}

void CSummaryMod::TextColumn(int column, int r0, int r1) {
  const CCapInfo* c = Column(column);
  TStrings* first = SumRow(r0);
  CSumValList* group = GroupOf(first);
  if (!c || !group || SlotOf(column) < 0) return;
  const Agg a = Total(group, column);
  const Agg* v = &a;
  const int method = MethodOf(c);
  const bool numeric = IsNumericType(c);
  const AnsiString& current = Cell(first, column);
  const bool number = v->number;
  const Texts noTexts;
  const Texts& txt = v->text ? *v->text : noTexts;
  auto minText = [&] { return numeric ? NumberText(number ? v->Min : 0) : txt.Min; };
  auto maxText = [&] { return numeric ? NumberText(number ? v->Max : 0) : txt.Max; };

  AnsiString text;
  switch (method) {
    case 0: text = v->Count < 1 ? current : std::to_string(v->Count); break;
    case 1: text = v->Count < 1 ? current : minText(); break;
    case 2: text = v->Count < 1 ? current : maxText(); break;
    case 3:
      if (v->Count < 1) text = current;
      else if (v->Count == 1) text = minText();
      else text = minText() + " " + SJ("～") + " " + maxText();
      break;
    case 4:
      if (!numeric) text = SJ("計算不能");
      else text = v->Count < 1 ? current : NumberText(number ? v->Sum : 0);
      break;
    case 5:
      if (!numeric) {
        text = SJ("計算不能");
      } else if (number && v->NumCount >= 1) {
        text = NumberText(v->Sum / v->NumCount);
        if (c->Type == 1) text = text.substr(0, text.find('.'));
      }
      break;
    default:
      for (int r = r0; r <= r1 && text.empty(); ++r) text = Cell(SumRow(r), column);
      break;
  }
  if (ratioMode_ && (method <= 3 || (numeric && method <= 5)) && method >= 0) text.clear();
  if (numeric) text = Compare(column, first, text);
  for (int r = r0; r <= r1; ++r) SetCell(SumRow(r), column, text);
}

// Before more records come in, takes back what a calculation wrote where a later one reads the
// cell itself: counts are emptied, and sums show 0 below the first row of their run.
void CSummaryMod::UndoColumn(int column, int r0, int r1) {
  const CCapInfo* c = Column(column);
  if (!c || c->GroupKey) return;
  if (c->Aggregate == 0) {
    for (int r = r0; r <= r1; ++r) SetCell(SumRow(r), column, Cell(SumRow(r), columnCount_));
  } else if (c->Aggregate == 4 && IsNumericType(c)) {
    for (int r = r0 + 1; r <= r1; ++r) SetCell(SumRow(r), column, "0");
  }
}

// The last position of the chain of passes that starts at column (pass numbers rising by one).
int CSummaryMod::ChainEnd(int column) const {
  int end = column;
  while (Column(end + 1) && !IsKey(end + 1) && Column(end + 1)->PassNumber == Column(end)->PassNumber + 1) ++end;
  return end;
}

// The column a value column is compared with, or -1. The base text is a pass: "-1" the previous
// one, "+1" the next, "1" the first (a text that is no integer: the previous). It is clamped to
// the column's chain of passes.
int CSummaryMod::BaseColumn(int column) const {
  const CCapInfo* c = Column(column);
  int n;
  if (!TryStrToInt(c->CompareBase, n)) n = -1;
  const bool relative = n < 0 || (!c->CompareBase.empty() && c->CompareBase[0] == '+');
  long long pass = relative ? static_cast<long long>(c->PassNumber) + n : static_cast<long long>(n) - 1;
  const int last = Column(ChainEnd(column))->PassNumber;
  pass = std::max(0LL, std::min<long long>(pass, last));
  const long long base = column + pass - c->PassNumber;
  if (base < 0 || base >= ColumnCount()) return -1;
  // Only a column of the same chain: every column between holds the pass before the next.
  const int b = static_cast<int>(base);
  for (int i = std::min(b, column); i < std::max(b, column); ++i) {
    if (!Column(i) || IsKey(i) || !Column(i + 1) || Column(i + 1)->PassNumber != Column(i)->PassNumber + 1)
      return -1;
  }
  return b;
}

AnsiString CSummaryMod::Compare(int column, const TStrings* first, const AnsiString& text) const {
  const CCapInfo* c = Column(column);
  const int b = BaseColumn(column);
  if (b < 0) return text;
  const CCapInfo* base = Column(b);
  if (b == column && !ratioMode_) return text;
  if (c->GroupKey || base->GroupKey) return text;
  if (!(c->Flags & CI_RATIO) && !ratioMode_) return text;
  CSumValList* group = GroupOf(first);
  if (!group || SlotOf(column) < 0 || SlotOf(b) < 0) return text;
  const Agg cv = Total(group, column);
  const Agg bv = Total(group, b);
  const int method = MethodOf(c);
  if (cv.Count == 0 || bv.Count == 0 || method < 0 || method > 5) return text;
  const double baseValue = MethodValue(bv, method);
  if (baseValue == 0) return text;
  AnsiString ratio = RatioText(c, MethodValue(cv, method), baseValue);
  if (method == 3) {
    const double baseMax = bv.number ? bv.Max : 0;
    if (baseMax != 0) ratio += " " + SJ("～") + " " + RatioText(c, cv.number ? cv.Max : 0, baseMax);
  }
  return text.empty() ? ratio : text + " (" + ratio + ")";
}

// ---- multiple summaries ----

void CSummaryMod::BuildOutputColumns(const AnsiString& title) {
  if (!columns_ || !rows_) return;
  Calculate();
  calculated_ = false;
  DropTotals();  // the columns move
  if (columns_ != own_) {
    auto* own = new CCapInfoList;
    for (int i = 0; i < ColumnCount(); ++i) {
      CCapInfo* copy = CCapInfo::Clone(Column(i));
      copy->Caption = copy->GroupKey ? "\r\n" + copy->Caption : title_ + "\r\n" + copy->Caption;
      own->Add(copy);
    }
    delete own_;
    own_ = own;
    columns_ = own;
  }
  const int oldCount = columnCount_;
  int n = 0;
  for (int i = 0; i < oldCount; ++i)
    if (Column(i) && IsLive(Column(i))) ++n;
  const int newCount = oldCount + n;
  for (int r = 0; r < rows_->Count(); ++r) {
    TStrings* row = SumRow(r);
    while (row->Count() <= newCount) row->Add("");
    void* group = row->Objects(oldCount);
    row->SetObject(oldCount, nullptr);
    row->SetObject(newCount, group);
  }
  for (int k = 0; k < n; ++k) columns_->Add(nullptr);
  columnCount_ = newCount;
  valSlots_.resize(static_cast<size_t>(newCount), -1);

  for (int i = oldCount - 1; i >= 0; --i) {
    CCapInfo* c = columns_->GetItem(i);
    if (c && IsLive(c)) {
      CCapInfo* copy = CCapInfo::Clone(c);
      const size_t p = c->Caption.find("\r\n");
      copy->Caption = title + (p == AnsiString::npos ? AnsiString() : c->Caption.substr(p));
      copy->PassNumber = c->PassNumber + 1;
      const int at = n + i;
      columns_->SetItem(at, copy);
      valSlots_[at] = kNewSlot;  // the new pass gets fresh slots below
      for (int r = 0; r < rows_->Count(); ++r) SumRow(r)->SetItem(at, "", nullptr);
      --n;
      c->Aggregate -= 10000;
    }
    if (n > 0) {
      const int to = n + i;
      columns_->Exchange(i, to);
      std::swap(valSlots_[i], valSlots_[to]);
      for (int r = 0; r < rows_->Count(); ++r) SumRow(r)->Exchange(i, to);
    }
  }
  // Fresh slots for the new pass in every group, after the ones there are.
  std::vector<int> fresh;
  for (int i = 0; i < newCount; ++i) {
    if (valSlots_[static_cast<size_t>(i)] != kNewSlot) continue;
    valSlots_[static_cast<size_t>(i)] = -1;
    fresh.push_back(i);
  }
  const size_t oldStride = stride_, oldSlots = slots_.size();
  AssignSlots(fresh);
  if (groupCount_ > 0 && stride_ != oldStride) Relayout(oldStride, oldSlots);
  RebuildKeys();
}

// ---- column editing ----

bool CSummaryMod::AddMethodColumn(int position, int method) {
  const CCapInfo* c = Column(position);
  if (!c || method < 0 || method > 5) return false;
  CCapInfo* copy = CCapInfo::Clone(c);
  copy->Caption = method == 0 ? SJ("件数") : GetFieldPart(c->Name) + SJ("の") + MethodName(method);
  copy->Width = 8 * static_cast<int>(copy->Caption.size());
  copy->Shown = true;
  copy->GroupKey = false;
  copy->Aggregate = method;
  if (method == 0 || method == 4 || method == 5) copy->Alignment = 2;
  if (method == 0) copy->Type = 1;
  if (position + 1 < columns_->Count()) columns_->Insert(position + 1, copy);
  else columns_->Add(copy);
  BindColumns();
  Restart();
  return true;
}

// Shows the column dialog, in edit mode on column or in add mode without one, where it was last
// left; the descriptor it makes on OK (the caller owns it), or null.
CCapInfo* CSummaryMod::RunColumnDialog(CCapInfo* column) {
  auto* dlg = new TSumColDlg(Application);
  if (dialogLeft_ >= 0) {
    dlg->SetPosition(poDesigned);
    dlg->SetBounds(dialogLeft_, dialogTop_, dlg->Width(), dlg->Height());
  }
  dlg->EditMode = column != nullptr;
  dlg->SetCapInfo(source_, column);
  CCapInfo* made = nullptr;
  if (dlg->ShowModal() == mrOk) {
    made = new CCapInfo;
    dlg->GetCapInfo(made);
  }
  dialogLeft_ = dlg->Left();
  dialogTop_ = dlg->Top();
  delete dlg;
  return made;
}

bool CSummaryMod::InsertColumn(int position) {
  if (!columns_) return false;
  CCapInfo* made = RunColumnDialog(nullptr);
  if (!made) return false;
  if (position >= 0 && position < columns_->Count()) columns_->Insert(position, made);
  else columns_->Add(made);
  BindColumns();
  Restart();
  return true;
}

bool CSummaryMod::EditColumn(int position) {
  CCapInfo* old = Column(position);
  if (!old) return false;
  CCapInfo* made = RunColumnDialog(old);
  if (!made) return false;
  made->Width = old->Width;
  columns_->SetItem(position, made);
  delete old;
  BindColumns();
  Restart();
  return true;
}

bool CSummaryMod::DeleteColumn(int position) {
  if (!Column(position)) return false;
  columns_->Delete(position);
  BindColumns();
  Restart();
  return true;
}

void CSummaryMod::GetGroupColumns(CCapInfoList* list) {
  if (!list || !columns_) return;
  std::vector<CCapInfo*> order;
  for (size_t k = 0; k < keys_.size(); ++k) {
    const int from = keys_[k];
    const int to = k + 1 < keys_.size() ? keys_[k + 1] : ColumnCount();
    for (int i = 0; i < list->Count(); ++i) {
      CCapInfo* c = list->GetItem(i);
      if (c && c->Position > from && c->Position < to) {
        order.push_back(c);
        break;
      }
    }
    order.push_back(Column(from));
  }
  if (list->OwnsItems) return;  // the entries are the engine's own: only a borrowing list takes them
  list->TList::Clear();
  for (CCapInfo* c : order) list->Add(c);
}

TList* CSummaryMod::GetRecordGroup(const TStrings* row) const {
  CSumValList* group = GroupOf(row);
  if (!group) return nullptr;
  std::unique_ptr<TList>& list = lists_[Head(group)->index];
  if (!list) {
    std::vector<TStrings*> members;
    for (uint32_t m = Head(group)->lastMember; m != 0; m = MemberPrev(m - 1)) members.push_back(MemberRow(m - 1));
    list = std::make_unique<TList>();
    for (auto p = members.rbegin(); p != members.rend(); ++p) list->Add(*p);
  }
  return list.get();
}

// ---- chart ----

namespace {
bool Chartable(const CCapInfo* c) {
  return !c->GroupKey && c->PassNumber == 0 &&
         (c->Aggregate == 0 || c->Aggregate == -10000 || c->Type == 1 || c->Type == 2);
}
}  // namespace

TStrings* CSummaryMod::GetKeyHeadings(TStrings* list) const {
  if (!list || !columns_) return nullptr;
  list->Clear();
  for (int k : keys_) list->Add(SecondLine(Column(k)->Caption));
  return list;
}

TStrings* CSummaryMod::GetValueHeadings(int keyIndex, TStrings* list) const {
  if (!list || !columns_) return nullptr;
  list->Clear();
  int i = keyIndex >= 0 && keyIndex < static_cast<int>(keys_.size()) ? keys_[keyIndex] + 1 : 0;
  for (; i < ColumnCount() && !IsKey(i); ++i)
    if (Column(i) && Chartable(Column(i))) list->Add(SecondLine(Column(i)->Caption));
  return list;
}

// Position of the index-th chartable column after the key at keyPosition (from the first column
// when -1), up to the next key; -1 when there is none.
int CSummaryMod::ChartableAfter(int keyPosition, int index) const {
  for (int i = keyPosition + 1; index >= 0 && i < ColumnCount() && !IsKey(i); ++i) {
    if (!Column(i) || !Chartable(Column(i))) continue;
    if (index-- == 0) return i;
  }
  return -1;
}

void CSummaryMod::SelectSeries(int keyIndex, int valueIndex) {
  chartKeyIndex_ = keyIndex;
  chartValueIndex_ = valueIndex;
  chartKeyPosition_ = keyIndex >= 0 && keyIndex < static_cast<int>(keys_.size()) ? keys_[keyIndex] : -1;
  chartValuePosition_ = columns_ ? ChartableAfter(chartKeyPosition_, valueIndex) : -1;
  runsValid_ = false;
}

AnsiString CSummaryMod::GetKeyHeading() const {
  const CCapInfo* c = Column(chartKeyPosition_);
  return c ? SecondLine(c->Caption) : AnsiString();
}

AnsiString CSummaryMod::GetValueHeading() const {
  const CCapInfo* c = Column(chartValuePosition_);
  return c ? SecondLine(c->Caption) : AnsiString();
}

const std::vector<int>& CSummaryMod::RunStarts() {
  if (runsValid_) return runStarts_;
  runStarts_.clear();
  const int n = rows_ && Column(chartKeyPosition_) ? rows_->Count() : 0;
  for (int r = 0; r < n; ++r)
    if (r == 0 || Cell(SumRow(r), chartKeyPosition_) != Cell(SumRow(r - 1), chartKeyPosition_))
      runStarts_.push_back(r);
  runsValid_ = true;
  return runStarts_;
}

// The row that stands for a run of the chart key (without a key: the row of that number); -1.
int CSummaryMod::RunRow(int run) {
  if (run < 0 || !rows_) return -1;
  if (chartKeyPosition_ < 0) return run < rows_->Count() ? run : -1;
  const std::vector<int>& starts = RunStarts();
  return run < static_cast<int>(starts.size()) ? starts[run] : -1;
}

// The point-th column, from the chart value column up to the next key, of the chain of columns
// with the value column's method; -1.
int CSummaryMod::SameMethodColumn(int point) const {
  const CCapInfo* first = Column(chartValuePosition_);
  if (!first || point < 0) return -1;
  const int method = MethodOf(first);
  for (int i = chartValuePosition_; i < ColumnCount() && !IsKey(i); ++i) {
    if (!Column(i) || MethodOf(Column(i)) != method) continue;
    if (point-- == 0) return i;
  }
  return -1;
}

int CSummaryMod::GetChartLabels(TStrings* list) {
  if (!list) return 0;
  list->Clear();
  if (!columns_ || !rows_) return 0;
  if (!transpose_) {
    if (chartKeyPosition_ < 0) {
      if (rows_->Count() > 0) list->Add("");
    } else {
      for (int r : RunStarts()) list->Add(Cell(SumRow(r), chartKeyPosition_));
    }
  } else {
    for (int i = 0, c; (c = SameMethodColumn(i)) >= 0; ++i) list->Add(Column(c)->Caption);
  }
  return list->Count();
}

int CSummaryMod::GetChartSeries(TStrings* list) {
  if (!list) return 0;
  list->Clear();
  if (!columns_ || !rows_) return 0;
  if (!transpose_) {
    if (chartValuePosition_ < 0) return 0;
    const int end = ChainEnd(chartValuePosition_);
    for (int i = chartValuePosition_; i <= end; ++i) list->Add(FirstLine(Column(i)->Caption));
  } else if (chartKeyPosition_ >= 0) {
    for (int r : RunStarts()) list->Add(Cell(SumRow(r), chartKeyPosition_));
  }
  return list->Count();
}

double CSummaryMod::GetChartValue(int series, int point) {
  if (!columns_ || !rows_ || chartValuePosition_ < 0 || series < 0 || point < 0) return 0;
  int row, column;
  if (!transpose_) {
    row = RunRow(point);
    if (series >= ColumnCount() - chartValuePosition_) return 0;
    column = chartValuePosition_ + series;
    for (int i = chartValuePosition_; i <= column; ++i)
      if (i >= ColumnCount() || IsKey(i)) return 0;
  } else {
    row = RunRow(series);
    column = SameMethodColumn(point);
  }
  if (row < 0 || column < 0) return 0;
  CSumValList* group = GroupOf(SumRow(row));
  if (!group || SlotOf(column) < 0) return 0;
  const Agg v = Total(group, column);
  if (v.Count <= 0) return 0;
  const int method = MethodOf(Column(column));
  return method == 3 ? 0 : MethodValue(v, method);
}
