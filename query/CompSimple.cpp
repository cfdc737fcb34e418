#include "query/CompSimple.h"

#include "foundation/LogForm.h"
#include "query/CompList.h"
#include "query/Condtree.h"
#include "query/SearchCond.h"

namespace {

// "table.column" split at its first '.', as the condition operands split.
void SplitColumnText(const AnsiString& text, AnsiString& table, AnsiString& column) {
  CCondTreeNodeVar var;
  var.Text = text;
  table = var.GetTablePart();
  column = var.GetColumnPart();
}

// One text of a cache key: "\" and "$" escaped, so that the "$" between texts is unambiguous.
AnsiString KeyText(const AnsiString& text) {
  AnsiString out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\\' || c == '$') out += '\\';
    out += c;
  }
  return out;
}

// Planning weight of an operator on a value. A LIKE pattern that begins with '%', or is empty
// (as a join's pattern is before it is fetched), gives no index range to walk.
int OperatorWeight(int op, const AnsiString& value) {
  switch (op) {
    case COND_EQL:
      return 1000;
    case COND_LES:
    case COND_LES_EQL:
    case COND_GRT_EQL:
    case COND_GRT:
    case COND_NOT_EQL:
      return 10;
    case COND_LIKE:
      return value.empty() || value[0] == '%' ? 5 : 100;
    default:
      return 0;
  }
}

bool IsPatternOp(int op) { return op == COND_LIKE || op == COND_NOT_LIKE; }

bool IsTextType(char type) { return type == kvrString || type == kvrSet; }

// a op b, or b op a when the pattern of a LIKE stands on a's side.
bool MatchOnTable(const CTableInfo& info, const CKvrValue* a, int op, const CKvrValue* b, bool patternOnA) {
  if (patternOnA && IsPatternOp(op)) std::swap(a, b);
  return info.Table ? info.Table->MatchOp(a, op, b) : MatchValueOp(a, op, b, false);
}

}  // namespace

// ---- Base node: nested alternatives -----------------------------------------------------------

CCompSimple::CCompSimple(CSearchCond* owner) : Owner(owner), Alternatives(new CSearchCondList) {}

CCompSimple::~CCompSimple() { delete Alternatives; }

CTableInfo* CCompSimple::LookupInfo(const AnsiString& table) const {
  if (!Owner || !Owner->Owner) return nullptr;
  CTableInfoList* tables = Owner->Owner->GetTableList();
  return tables ? tables->Find(table) : nullptr;
}

void CCompSimple::Reset() {
  Cursor = 0;
  if (Alternatives->Count() > 0) Alternatives->Get(0)->Reset();
}

int CCompSimple::NextNB() {
  if (Cursor < 0 || Cursor >= Alternatives->Count()) return -1;
  const int r = Alternatives->Get(Cursor)->NextNB();
  if (r < 0) {
    if (++Cursor < Alternatives->Count()) Alternatives->Get(Cursor)->Reset();
    return 0;
  }
  // A combination that an earlier alternative holds for was delivered by that one already.
  if (r == 1)
    for (int j = 0; j < Cursor; ++j)
      if (Alternatives->Get(j)->IsHit()) return 0;
  return r;
}

bool CCompSimple::Test() { return false; }

bool CCompSimple::IsHit() {
  for (int i = 0; i < Alternatives->Count(); ++i)
    if (Alternatives->Get(i)->IsHit()) return true;
  return false;
}

AnsiString CCompSimple::GetKind() const { return "base"; }

bool CCompSimple::SetEnumColumn(const AnsiString& column, int cut) {
  for (int i = 0; i < Alternatives->Count(); ++i) Alternatives->Get(i)->Nodes->SetEnumColumn(column, cut);
  // The empty text only clears: a node that took it would enumerate nothing, and its list would
  // never see a combination through it.
  return !column.empty();
}

bool CCompSimple::NextEnum() {
  while (Cursor >= 0 && Cursor < Alternatives->Count()) {
    if (Alternatives->Get(Cursor)->Nodes->NextEnum()) return true;
    if (++Cursor < Alternatives->Count()) Alternatives->Get(Cursor)->Reset();
  }
  return false;
}

int CCompSimple::NextEnumStep(TStrings& stepValues) {
  if (Cursor < 0 || Cursor >= Alternatives->Count()) return -1;
  const int r = Alternatives->Get(Cursor)->NextEnumNB(stepValues);
  if (r < 0) {
    if (++Cursor < Alternatives->Count()) Alternatives->Get(Cursor)->Reset();
    return 0;
  }
  return r > 0 ? 1 : 0;
}

void CCompSimple::AcceptEnum(const TStrings&) {}

void CCompSimple::StartEnum(const AnsiString&, TStrings&) {}

void CCompSimple::SwapSides() {}

int CCompSimple::GetSelectivity(bool) const { return 0; }

void CCompSimple::ResolveTable() {
  if (!IsKind("base")) return;  // the other kinds keep the table they were made with
  Table.clear();
  AnsiString found;
  bool differ = false;
  for (int a = Alternatives->Count() - 1; a >= 0; --a) {
    CCompSimpleList* nodes = Alternatives->Get(a)->Nodes;
    for (int i = nodes->Count() - 1; i >= 0; --i) {
      CCompSimple* node = nodes->Get(i);
      node->ResolveTable();
      if (node->Table.empty()) continue;
      if (found.empty())
        found = node->Table;
      else if (node->Table != found)
        differ = true;
    }
  }
  if (!differ) Table = found;
}

bool CCompSimple::Dump(const AnsiString& label) const {
  WriteLog("(%s) %s Next->Count=%d", label.c_str(), "base", Alternatives->Count());
  const AnsiString nested = label + ":";
  for (int i = 0; i < Alternatives->Count(); ++i) Alternatives->Get(i)->Nodes->Dump(nested + IntToStr(i + 1));
  return true;
}

int CCompSimple::GetOrder(const TStrings* bound) const {
  auto isBound = [bound](const AnsiString& table) { return bound && bound->IndexOf(table) >= 0; };
  const AnsiString kind = GetKind();
  if (kind == "cmp" || kind == "cmp2") return kCompTestOrder;
  if (kind == "rtv2") {
    const auto* join = static_cast<const CCompSimpleRtv2*>(this);
    const int n = int(isBound(join->Table)) + int(isBound(join->OtherTable));
    if (n == 2) return kCompTestOrder;
    return GetSelectivity(n == 1);
  }
  return isBound(Table) ? kCompTestOrder : GetSelectivity(true);
}

// ---- Retrieval ---------------------------------------------------------------------------------

CCompSimpleRtv::CCompSimpleRtv(CSearchCond* owner) : CCompSimple(owner), Extra(new CCompSimpleList(owner)) {}

CCompSimpleRtv::CCompSimpleRtv(CSearchCond* owner, const AnsiString& table, const AnsiString& column, int op,
                               const AnsiString& value)
    : CCompSimpleRtv(owner) {
  Table = table;
  Column = column;
  Op = op;
  Value = value;
}

CCompSimpleRtv::~CCompSimpleRtv() {
  DropLists();
  delete Extra;
}

void CCompSimpleRtv::DropLists() {
  delete Collecting;
  Collecting = nullptr;
  delete Cached;
  Cached = nullptr;
}

bool CCompSimpleRtv::IsExtended() const { return Table == ExtendedItemsTableName(); }

bool CCompSimpleRtv::PatternRetrieval() const { return PatternOwnSide && IsPatternOp(Op); }

CTableInfo* CCompSimpleRtv::EnsureInfo() {
  if (!Info) Info = LookupInfo(Table);
  return Info;
}

void CCompSimpleRtv::Reset() {
  RecCount = 0;
  Opened = false;
  Cursor = -1;
  DropLists();
}

bool CCompSimpleRtv::SendConds(int op, const AnsiString& value, const AnsiString& enumCol) {
  if (!EnsureInfo() || !Info->Table) return false;
  CKvRecord* table = Info->Table;
  table->ClearCond();
  table->AddCond(Column, op, value);
  for (int i = 0; i < Extra->Count(); ++i) {
    const auto* extra = static_cast<const CCompSimpleRtv*>(Extra->Get(i));
    // A pattern held by the column narrows nothing through the index; it is tested.
    if (!extra->PatternRetrieval()) table->AddCond(extra->Column, extra->Op, extra->Value);
  }
  // The table enumerates through a condition on the column (conditions on the record id alone
  // would be walked without one).
  if (!enumCol.empty()) table->AddEnumCol(enumCol);
  table->AddCondEnd();
  return true;
}

bool CCompSimpleRtv::StartRetrieval(const AnsiString& enumCol) {
  if (IsExtended()) return true;
  return SendConds(PatternRetrieval() ? COND_ALL : Op, Value, enumCol);
}

AnsiString CCompSimpleRtv::MakeCashKey(bool withEnum) const {
  // A pattern retrieval keeps other records than a plain one with the same texts.
  AnsiString key = KeyText(Table) + "$" + KeyText(Column) + "$" + (PatternRetrieval() ? "~" : "") + IntToStr(Op) +
                   "$" + KeyText(Value);
  if (withEnum) key += "$" + KeyText(EnumCol) + "$" + IntToStr(Cut);
  for (int i = 0; i < Extra->Count(); ++i) {
    const auto* extra = static_cast<const CCompSimpleRtv*>(Extra->Get(i));
    key += "$" + KeyText(extra->Column) + "$" + (extra->PatternRetrieval() ? "~" : "") + IntToStr(extra->Op) + "$" +
           KeyText(extra->Value);
  }
  return key;
}

int CCompSimpleRtv::CacheLookup(bool withEnum) {
  delete Cached;
  Cached = nullptr;
  if (!Info) return -1;
  Cached = Info->Cash->Get(MakeCashKey(withEnum));
  return Cached ? 1 : -1;
}

void CCompSimpleRtv::CacheCollect(int answer, const TStrings* stepValues) {
  if (!Info || answer == 0) return;
  if (answer > 0) {
    if (RecCount < 0) return;
    if (RecCount == 0) {
      CashKey = MakeCashKey(stepValues != nullptr);
      delete Collecting;
      Collecting = new TCashDataItemList;
    }
    if (!Collecting) return;
    if (Collecting->Count() >= TCashData::kMaxRunItems) {
      delete Collecting;
      Collecting = nullptr;
      return;
    }
    auto* item = new TCashDataItem;
    item->Values = Info->Values->Clone();
    if (stepValues) {
      item->EnumValues = new TStringList;
      item->EnumValues->Assign(*stepValues);
    }
    Collecting->Add(item);
    return;
  }
  if (Collecting && Info->Cash->Put(CashKey, Collecting) < 0) delete Collecting;
  Collecting = nullptr;
}

int CCompSimpleRtv::CacheNext(TStrings* stepValues) {
  if (!Cached || RecCount < 0) return -1;
  if (RecCount >= Cached->Count()) {
    RecCount = -1;
    return -1;
  }
  const TCashDataItem* item = Cached->Get(RecCount);
  if (stepValues) {
    // Results whose texts were all taken since the run was stored offer nothing, as the table
    // passes over such records; the results after them still count.
    while (!item->EnumValues || item->EnumValues->Count() == 0) {
      if (++RecCount >= Cached->Count()) {
        RecCount = -1;
        return -1;
      }
      item = Cached->Get(RecCount);
    }
    stepValues->AddStrings(*item->EnumValues);
  }
  Info->Values->ClearValues();
  for (int i = 0; i < item->Values->Count(); ++i) Info->Values->Add(item->Values->GetAt(i)->Clone());
  ++RecCount;
  return 1;
}

bool CCompSimpleRtv::OpenRun(bool withEnum) {
  Opened = true;
  BeforeOpen();
  if (!EnsureInfo()) return false;
  if (CacheLookup(withEnum) == 1) return true;
  if (!StartRetrieval(withEnum ? EnumCol : AnsiString())) return false;
  if (withEnum) Info->Table->SetEnumCol(EnumCol, Cut);
  return true;
}

bool CCompSimpleRtv::AcceptRecord() { return !PatternRetrieval() || TestOwn(); }

int CCompSimpleRtv::NextNB() {
  if (RecCount < 0) return -1;
  if (IsExtended()) return EvalExtended();
  if (!Opened && !OpenRun(false)) {
    RecCount = -1;
    return -1;
  }
  if (Cached) return CacheNext(nullptr);
  Info->Values->ClearValues();
  int r = Info->Table->GetRecNB(*Info->Values);
  if (r == 1 && !AcceptRecord()) r = 0;
  CacheCollect(r, nullptr);
  if (r == 1) ++RecCount;
  if (r < 0) RecCount = -1;
  return r;
}

int CCompSimpleRtv::NextEnumStep(TStrings& stepValues) {
  if (RecCount < 0) return -1;
  if (EnumCol.empty() || IsExtended()) return NextNB();
  if (!Opened && !OpenRun(true)) {
    RecCount = -1;
    return -1;
  }
  if (Cached) return CacheNext(&stepValues);
  Info->Values->ClearValues();
  const int before = stepValues.Count();
  int r = Info->Table->GetEnumNB_a(*Info->Values, stepValues);
  if (r == 1 && !AcceptRecord()) {
    while (stepValues.Count() > before) stepValues.Delete(stepValues.Count() - 1);
    r = 0;
  }
  CacheCollect(r, &stepValues);
  if (r == 1) ++RecCount;
  if (r < 0) RecCount = -1;
  return r;
}

bool CCompSimpleRtv::NextEnum() {
  if (RecCount < 0) return false;
  if (IsExtended()) return EvalExtended() == 1;
  if (!Opened) {
    Opened = true;
    BeforeOpen();
    if (!StartRetrieval(EnumCol)) {
      RecCount = -1;
      return false;
    }
    if (!EnumCol.empty()) Info->Table->SetEnumCol(EnumCol, Cut);
  }
  for (;;) {
    Info->Values->ClearValues();
    if (!Info->Table->GetRec(*Info->Values)) {
      RecCount = -1;
      return false;
    }
    if (!AcceptRecord()) continue;
    ++RecCount;
    return true;
  }
}

void CCompSimpleRtv::AcceptEnum(const TStrings& values) {
  if (!EnsureInfo()) return;
  if (!Cached && Info->Table) Info->Table->AcceptEnum_a(values);
  Info->Cash->RemoveTexts(values);
}

void CCompSimpleRtv::StartEnum(const AnsiString& column, TStrings& list) {
  AnsiString table, name;
  SplitColumnText(column, table, name);
  if (table != Table || IsExtended() || !StartRetrieval(name)) return;
  Info->Table->GetEnum(name, list);
}

int CCompSimpleRtv::EvalExtended() {
  if (!EnsureInfo() || RecCount != 0) return -1;
  RecCount = 1;
  if (!Owner || !Owner->Owner || Owner->Owner->EvalExtendedItems() < 1) return -1;
  return Test() ? 1 : -1;
}

bool CCompSimpleRtv::TestOwn() {
  if (!EnsureInfo()) return false;
  if (ColIndex < 0) ColIndex = Info->ColNames->IndexOf(Column);
  const CKvrValue* current = Info->Values->GetAt(ColIndex);
  if (!current) return false;
  if (!ConstReady) {
    Const.SetTypeText(current->Type(), Value.c_str());
    ConstReady = true;
  }
  return MatchOnTable(*Info, current, Op, &Const, PatternOwnSide);
}

bool CCompSimpleRtv::TestExtra() {
  for (int i = 0; i < Extra->Count(); ++i)
    if (!Extra->Get(i)->IsHit()) return false;
  return true;
}

bool CCompSimpleRtv::Test() { return TestOwn() && TestExtra(); }

bool CCompSimpleRtv::IsHit() { return Test(); }

AnsiString CCompSimpleRtv::GetKind() const { return "rtv"; }

bool CCompSimpleRtv::SetEnumColumn(const AnsiString& column, int cut) {
  AnsiString table, name;
  SplitColumnText(column, table, name);
  if (table != Table) {
    EnumCol.clear();
    return false;
  }
  if (Op == COND_ALL && Column != name) {
    Column = name;
    ColIndex = -1;
    ConstReady = false;
  }
  EnumCol = name;
  Cut = cut;
  return true;
}

int CCompSimpleRtv::GetSelectivity(bool) const {
  if (IsExtended()) return 0;
  return (EnumCol.empty() ? 1 : 2) + (PatternRetrieval() ? 0 : OperatorWeight(Op, Value));
}

bool CCompSimpleRtv::Dump(const AnsiString& label) const {
  WriteLog("(%s) %s %s.%s %s '%s'", label.c_str(), GetKind().c_str(), Table.c_str(), Column.c_str(), CondOpName(Op),
           Value.c_str());
  if (!EnumCol.empty()) WriteLog("        EnumCol=%s", EnumCol.c_str());
  return true;
}

void CCompSimpleRtv::CopyComparison(const CCompSimpleRtv& other) {
  Table = other.Table;
  Info = other.Info;
  Column = other.Column;
  ColIndex = other.ColIndex;
  Op = other.Op;
  Value = other.Value;
  Const = other.Const;
  ConstReady = other.ConstReady;
  RecCount = other.RecCount;
  PatternOwnSide = other.PatternOwnSide;
}

int CCompSimpleRtv::TestStep() {
  if (RecCount != 0) return -1;
  RecCount = 1;
  return Test() ? 1 : -1;
}

// ---- Test --------------------------------------------------------------------------------------

CCompSimpleCmp::CCompSimpleCmp(CSearchCond* owner) : CCompSimpleRtv(owner) {}

CCompSimpleCmp::CCompSimpleCmp(const CCompSimpleRtv& rtv) : CCompSimpleRtv(rtv.Owner) { CopyComparison(rtv); }

int CCompSimpleCmp::NextNB() { return TestStep(); }

AnsiString CCompSimpleCmp::GetKind() const { return "cmp"; }

bool CCompSimpleCmp::SetEnumColumn(const AnsiString&, int) { return false; }

// A test never reads its table: the record is current already.
bool CCompSimpleCmp::NextEnum() { return TestStep() == 1; }

int CCompSimpleCmp::NextEnumStep(TStrings&) { return TestStep(); }

void CCompSimpleCmp::AcceptEnum(const TStrings&) {}

// ---- Join retrieval ----------------------------------------------------------------------------

CCompSimpleRtv2::CCompSimpleRtv2(CSearchCond* owner) : CCompSimpleRtv(owner) {}

CCompSimpleRtv2::CCompSimpleRtv2(CSearchCond* owner, const AnsiString& table, const AnsiString& column, int op,
                                 const AnsiString& otherTable, const AnsiString& otherColumn)
    : CCompSimpleRtv(owner, table, column, op, AnsiString()) {
  OtherTable = otherTable;
  OtherColumn = otherColumn;
}

void CCompSimpleRtv2::BeforeOpen() {
  if (Op == COND_ALL) return;
  AnsiString text;
  if (Owner && Owner->Owner && Owner->Owner->GetValue(OtherTable, OtherColumn, text))
    Value = text;
  else
    Op = COND_ALL;
}

bool CCompSimpleRtv2::JoinMatch() {
  if (Op == COND_ALL) return true;
  if (!EnsureInfo()) return false;
  if (!OtherInfo) OtherInfo = LookupInfo(OtherTable);
  if (!OtherInfo) return false;
  if (ColIndex < 0) ColIndex = Info->ColNames->IndexOf(Column);
  if (OtherColIndex < 0) OtherColIndex = OtherInfo->ColNames->IndexOf(OtherColumn);
  const CKvrValue* own = Info->Values->GetAt(ColIndex);
  const CKvrValue* other = OtherInfo->Values->GetAt(OtherColIndex);
  if (!own || !other) return false;
  // The retrieval hands the other value to the table as text, which the table reads in its
  // column's type; the test reads it the same way, so both agree (a signed column against a
  // record id, for one).
  if (own->Type() != other->Type() && !(IsTextType(own->Type()) && IsTextType(other->Type()))) {
    Const.SetTypeText(own->Type(), other->GetText().c_str());
    other = &Const;
  }
  return MatchOnTable(*Info, own, Op, other, PatternOwnSide);
}

bool CCompSimpleRtv2::AcceptRecord() { return !PatternRetrieval() || JoinMatch(); }

bool CCompSimpleRtv2::Test() { return JoinMatch() && TestExtra(); }

AnsiString CCompSimpleRtv2::GetKind() const { return "rtv2"; }

bool CCompSimpleRtv2::SetEnumColumn(const AnsiString& column, int cut) {
  AnsiString table, name;
  SplitColumnText(column, table, name);
  if (table == OtherTable) SwapSides();
  return CCompSimpleRtv::SetEnumColumn(column, cut);
}

// Joins are not applied when all values are listed at once: every value of the column counts.
void CCompSimpleRtv2::StartEnum(const AnsiString& column, TStrings& list) {
  AnsiString table, name;
  SplitColumnText(column, table, name);
  if (table != Table || IsExtended() || !SendConds(COND_ALL, AnsiString(), name)) return;
  Info->Table->GetEnum(name, list);
}

void CCompSimpleRtv2::SwapSides() {
  std::swap(Table, OtherTable);
  std::swap(Info, OtherInfo);
  std::swap(Column, OtherColumn);
  std::swap(ColIndex, OtherColIndex);
  EnumCol.clear();
  Cut = -1;
  Op = MirrorCondOp(Op);
  PatternOwnSide = !PatternOwnSide;
}

int CCompSimpleRtv2::GetSelectivity(bool withOp) const {
  return (EnumCol.empty() ? 1 : 2) + (withOp && !PatternRetrieval() ? OperatorWeight(Op, Value) : 0);
}

bool CCompSimpleRtv2::Dump(const AnsiString& label) const {
  WriteLog("(%s) %s %s.%s %s %s.%s", label.c_str(), GetKind().c_str(), Table.c_str(), Column.c_str(), CondOpName(Op),
           OtherTable.c_str(), OtherColumn.c_str());
  if (!EnumCol.empty()) WriteLog("        EnumCol=%s", EnumCol.c_str());
  return true;
}

// ---- Join test ---------------------------------------------------------------------------------

CCompSimpleCmp2::CCompSimpleCmp2(CSearchCond* owner) : CCompSimpleRtv2(owner) {}

CCompSimpleCmp2::CCompSimpleCmp2(const CCompSimpleRtv2& rtv2) : CCompSimpleRtv2(rtv2.Owner) {
  CopyComparison(rtv2);
  OtherTable = rtv2.OtherTable;
  OtherInfo = rtv2.OtherInfo;
  OtherColumn = rtv2.OtherColumn;
  OtherColIndex = rtv2.OtherColIndex;
}

int CCompSimpleCmp2::NextNB() { return TestStep(); }

AnsiString CCompSimpleCmp2::GetKind() const { return "cmp2"; }

bool CCompSimpleCmp2::SetEnumColumn(const AnsiString&, int) { return false; }

bool CCompSimpleCmp2::NextEnum() { return TestStep() == 1; }

int CCompSimpleCmp2::NextEnumStep(TStrings&) { return TestStep(); }

void CCompSimpleCmp2::AcceptEnum(const TStrings&) {}

// ---- Constant ----------------------------------------------------------------------------------

CCompSimpleCmp3::CCompSimpleCmp3(CSearchCond* owner, bool hit) : CCompSimpleCmp(owner), Hit(hit) {}

bool CCompSimpleCmp3::Test() { return Hit; }

bool CCompSimpleCmp3::IsHit() { return Hit; }

AnsiString CCompSimpleCmp3::GetKind() const { return "cmp3"; }

CCompSimpleRtv* MakeAllRetrieval(const CCompSimpleRtv& node) {
  auto* all = new CCompSimpleRtv(node.Owner, node.Table, node.Column, COND_ALL, AnsiString());
  if (!node.EnumCol.empty()) {
    // An ALL retrieval walks the column it enumerates.
    all->Column = node.EnumCol;
    all->EnumCol = node.EnumCol;
    all->Cut = node.Cut;
  }
  return all;
}
