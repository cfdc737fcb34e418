#include "query/SummaryMod.h"

#include <cmath>
#include <cstdint>

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

// An empty aggregate of the kind the column needs.
CSumVal* NewSumVal(const CCapInfo* c) {
  auto* v = new CSumVal;
  if (IsNumericType(c)) v->Num = std::make_unique<CSumVal::Numbers>();
  else v->Text = std::make_unique<CSumVal::Texts>();
  return v;
}

CSumVal* Effective(CSumVal* v) { return v->MergedInto ? v->MergedInto : v; }

double Average(const CSumVal* v) { return v->Num && v->Num->Count > 0 ? v->Num->Sum / v->Num->Count : 0; }

// The number an aggregate stands for under a method (range: its minimum).
double MethodValue(const CSumVal* v, int method) {
  switch (method) {
    case 0: return v->Count;
    case 1:
    case 3: return v->Num ? v->Num->Min : 0;
    case 2: return v->Num ? v->Num->Max : 0;
    case 4: return v->Num ? v->Num->Sum : 0;
    case 5: return Average(v);
    default: return 0;
  }
}

void Fold(CSumVal* into, CSumVal* from) {
  if (into->Num && from->Num && from->Num->Count > 0) {
    CSumVal::Numbers& a = *into->Num;
    const CSumVal::Numbers& b = *from->Num;
    if (a.Count == 0) {
      a = b;
    } else {
      a.Min = std::min(a.Min, b.Min);
      a.Max = std::max(a.Max, b.Max);
      a.Sum += b.Sum;
      a.Count += b.Count;
    }
  }
  if (into->Text && from->Text) {
    if (into->Count == 0) {
      *into->Text = *from->Text;
    } else {
      if (from->Text->Min < into->Text->Min) into->Text->Min = from->Text->Min;
      if (from->Text->Max > into->Text->Max) into->Text->Max = from->Text->Max;
    }
  }
  into->Count += from->Count;
  from->Count = 0;
  if (from->Num) from->Num->Count = 0;
  from->MergedInto = into;
}

int Sign(double d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); }

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

// ---- CSumValList, CSumValListList ----

CSumValList::~CSumValList() { CSumValList::Clear(); }

void CSumValList::Clear() {
  for (void* v : items_) delete static_cast<CSumVal*>(v);
  TList::Clear();
  Members.Clear();
}

CSumValListList::~CSumValListList() { CSumValListList::Clear(); }

void CSumValListList::Clear() {
  for (void* l : items_) delete static_cast<CSumValList*>(l);
  TList::Clear();
}

// ---- life and binding ----

CSummaryMod::CSummaryMod() : store_(std::make_unique<CSumValListList>()) {}

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

CSumVal* CSummaryMod::ValOf(const TStrings* row, int column) const {
  const CSumValList* group = GroupOf(row);
  return group ? group->Val(column) : nullptr;
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
  groups_.clear();
  store_ = std::make_unique<CSumValListList>();
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
  runsValid_ = false;
}

// ---- filing records ----

TStrings* CSummaryMod::NewSummaryRow() {
  auto* row = new TStringList;
  for (int i = 0; i < columnCount_; ++i) row->Add("");
  rows_->Add(row);
  return row;
}

void CSummaryMod::AddSummaryRecord(TStrings* record) {
  if (!record || !rows_ || !columns_) return;
  if (calculated_) WalkRuns(0, 0, rows_->Count() - 1, &CSummaryMod::UndoColumn);
  calculated_ = false;
  runsValid_ = false;

  TStrings* row = nullptr;
  if (keys_.empty()) {
    row = rows_->Count() > 0 ? SumRow(0) : NewSummaryRow();
  } else {
    std::string path;
    for (int k : keys_) {
      const AnsiString& text = Cell(record, Column(k)->SourceIndex);
      const uint32_t n = static_cast<uint32_t>(text.size());
      path.append(reinterpret_cast<const char*>(&n), sizeof n);
      path += text;
    }
    auto [it, added] = groups_.try_emplace(std::move(path), nullptr);
    if (added) it->second = NewSummaryRow();
    row = it->second;
  }
  Receive(row, record);
}

void CSummaryMod::Receive(TStrings* row, TStrings* record) {
  while (row->Count() <= columnCount_) row->Add("");
  auto* group = static_cast<CSumValList*>(row->Objects(columnCount_));
  if (!group) {
    group = new CSumValList;
    store_->Add(group);
    for (int i = 0; i < columnCount_; ++i) {
      const CCapInfo* c = Column(i);
      group->Add(c && !c->GroupKey ? NewSumVal(c) : nullptr);
    }
    row->SetObject(columnCount_, group);
  }
  group->Members.Add(record);
  for (int i = 0; i < ColumnCount(); ++i) {
    const CCapInfo* c = Column(i);
    if (!c) continue;
    const AnsiString& text = Cell(record, c->SourceIndex);
    if (c->GroupKey) {
      if (row->Strings(i).empty()) row->SetString(i, text);
    } else if (c->Aggregate >= 0) {
      if (CSumVal* v = group->Val(i)) Accumulate(v, text);
    }
  }
}

void CSummaryMod::Accumulate(CSumVal* v, const AnsiString& text) {
  const bool first = v->Count == 0;
  ++v->Count;
  if (v->Num) {
    double d;
    // A text without a leading number, or one out of a double's range, is only counted.
    if (!ScanLeadingReal(text, d) || !std::isfinite(d)) return;
    CSumVal::Numbers& n = *v->Num;
    if (n.Count == 0) {
      n.Min = n.Max = n.Sum = d;
    } else {
      n.Sum += d;
      if (d < n.Min) n.Min = d;
      else if (d > n.Max) n.Max = d;
    }
    ++n.Count;
  } else if (v->Text) {
    if (first) {
      v->Text->Min = v->Text->Max = text;
    } else if (text < v->Text->Min) {
      v->Text->Min = text;
    } else if (text > v->Text->Max) {
      v->Text->Max = text;
    }
  }
}

// ---- calculation ----

void CSummaryMod::Calculate() {
  if (!columns_ || !rows_ || calculated_) return;
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

// Every aggregate is folded before any text is made, so that a comparison with a column to the
// right sees that column's totals too.
void CSummaryMod::Recompute() {
  const int last = rows_->Count() - 1;
  WalkRuns(0, 0, last, &CSummaryMod::FoldColumn);
  WalkRuns(0, 0, last, &CSummaryMod::TextColumn);
}

// Orders the rows by the keys: integer keys by value (a text that is no integer as 0), real keys
// by value (a text that is no number as 0), others in byte order; equal values by their raw text,
// key by key, so that rows with one key text stay together. Stable.
void CSummaryMod::SortRows() {
  struct Key {
    double number = 0;
    const AnsiString* text = nullptr;
  };
  struct Item {
    TStrings* row;
    std::vector<Key> keys;
  };
  const int n = rows_->Count();
  std::vector<Item> items(n);
  for (int r = 0; r < n; ++r) {
    items[r].row = SumRow(r);
    for (int k : keys_) {
      const CCapInfo* c = Column(k);
      Key key;
      key.text = &Cell(items[r].row, k);
      if (c->Type == 1) {
        key.number = StrToIntDef(*key.text, 0);
      } else if (c->Type == 2) {
        double d;
        key.number = TryStrToFloat(*key.text, d) && std::isfinite(d) ? d : 0;
      }
      items[r].keys.push_back(key);
    }
  }
  auto compare = [this](const Item& a, const Item& b) {
    for (size_t k = 0; k < keys_.size(); ++k) {
      const CCapInfo* c = Column(keys_[k]);
      int d = IsNumericType(c) ? Sign(a.keys[k].number - b.keys[k].number) : 0;
      if (d == 0) d = a.keys[k].text->compare(*b.keys[k].text);
      if (d != 0) return c->Ascending ? d < 0 : d > 0;
    }
    return false;
  };
  std::stable_sort(items.begin(), items.end(), compare);
  for (int r = 0; r < n; ++r) rows_->SetItem(r, items[r].row);
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

void CSummaryMod::FoldColumn(int column, int r0, int r1) {
  CSumVal* into = ValOf(SumRow(r0), column);
  if (!into) return;
  for (int r = r0 + 1; r <= r1; ++r) {
    CSumVal* v = ValOf(SumRow(r), column);
    if (!v || v == into) continue;
    if (v->Count > 0) Fold(into, v);
    else v->MergedInto = into;  // folded before, maybe into a row that is folded now
  }
  into->MergedInto = nullptr;
}

void CSummaryMod::TextColumn(int column, int r0, int r1) {
  const CCapInfo* c = Column(column);
  TStrings* first = SumRow(r0);
  CSumVal* own = ValOf(first, column);
  if (!c || !own) return;
  const CSumVal* v = Effective(own);
  const int method = MethodOf(c);
  const bool numeric = IsNumericType(c);
  const AnsiString& current = Cell(first, column);
  const CSumVal::Numbers zero;
  const CSumVal::Numbers& num = v->Num ? *v->Num : zero;
  const CSumVal::Texts noTexts;
  const CSumVal::Texts& txt = v->Text ? *v->Text : noTexts;
  auto minText = [&] { return numeric ? FloatToStr(num.Min) : txt.Min; };
  auto maxText = [&] { return numeric ? FloatToStr(num.Max) : txt.Max; };

  AnsiString text;
  switch (method) {
    case 0: text = v->Count < 1 ? current : IntToStr(v->Count); break;
    case 1: text = v->Count < 1 ? current : minText(); break;
    case 2: text = v->Count < 1 ? current : maxText(); break;
    case 3:
      if (v->Count < 1) text = current;
      else if (v->Count == 1) text = minText();
      else text = minText() + " " + SJ("～") + " " + maxText();
      break;
    case 4:
      if (!numeric) text = SJ("計算不能");
      else text = v->Count < 1 ? current : FloatToStr(num.Sum);
      break;
    case 5:
      if (!numeric) {
        text = SJ("計算不能");
      } else if (num.Count >= 1) {
        text = FloatToStr(num.Sum / num.Count);
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
  if (!GroupOf(first)) return text;
  CSumVal* cv = ValOf(first, column);
  CSumVal* bv = ValOf(first, b);
  if (!cv || !bv) return text;
  cv = Effective(cv);
  bv = Effective(bv);
  const int method = MethodOf(c);
  if (cv->Count == 0 || bv->Count == 0 || method < 0 || method > 5) return text;
  const double baseValue = MethodValue(bv, method);
  if (baseValue == 0) return text;
  AnsiString ratio = RatioText(c, MethodValue(cv, method), baseValue);
  if (method == 3) {
    const double baseMax = bv->Num ? bv->Num->Max : 0;
    if (baseMax != 0) ratio += " " + SJ("～") + " " + RatioText(c, cv->Num ? cv->Num->Max : 0, baseMax);
  }
  return text.empty() ? ratio : text + " (" + ratio + ")";
}

// ---- multiple summaries ----

void CSummaryMod::BuildOutputColumns(const AnsiString& title) {
  if (!columns_ || !rows_) return;
  Calculate();
  calculated_ = false;
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
    auto* group = static_cast<CSumValList*>(row->Objects(oldCount));
    row->SetObject(oldCount, nullptr);
    row->SetObject(newCount, group);
    while (group && group->Count() < newCount) group->Add(nullptr);
  }
  for (int k = 0; k < n; ++k) columns_->Add(nullptr);
  columnCount_ = newCount;

  for (int i = oldCount - 1; i >= 0; --i) {
    CCapInfo* c = columns_->GetItem(i);
    if (c && IsLive(c)) {
      CCapInfo* copy = CCapInfo::Clone(c);
      const size_t p = c->Caption.find("\r\n");
      copy->Caption = title + (p == AnsiString::npos ? AnsiString() : c->Caption.substr(p));
      copy->PassNumber = c->PassNumber + 1;
      const int at = n + i;
      columns_->SetItem(at, copy);
      for (int r = 0; r < rows_->Count(); ++r) {
        TStrings* row = SumRow(r);
        row->SetItem(at, "", nullptr);
        if (CSumValList* group = GroupOf(row)) {
          delete group->Val(at);
          group->SetItem(at, NewSumVal(copy));
        }
      }
      --n;
      c->Aggregate -= 10000;
    }
    if (n > 0) {
      const int to = n + i;
      columns_->Exchange(i, to);
      for (int r = 0; r < rows_->Count(); ++r) {
        TStrings* row = SumRow(r);
        row->Exchange(i, to);
        if (CSumValList* group = GroupOf(row)) group->Exchange(i, to);
      }
    }
  }
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
  return group ? &group->Members : nullptr;
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
  CSumVal* v = ValOf(SumRow(row), column);
  if (!v) return 0;
  v = Effective(v);
  if (v->Count <= 0) return 0;
  const int method = MethodOf(Column(column));
  return method == 3 ? 0 : MethodValue(v, method);
}
