#include "query/SearchCond.h"

#include <algorithm>
#include <vector>

#include "foundation/Lexer.h"
#include "foundation/LogForm.h"
#include "query/CompSimple.h"

namespace {

bool IsPatternOp(int op) { return op == COND_LIKE || op == COND_NOT_LIKE; }

// Two constants under an operator. Numbers compare as numbers when one side was written as a
// number and both read as one; everything else compares as text (LIKE with the right side as the
// pattern).
bool MatchConstants(const CCondTreeNodeVar& left, int op, const CCondTreeNodeVar& right) {
  double a = 0, b = 0;
  if (!IsPatternOp(op) && (left.Kind == LEX_NUMBER || right.Kind == LEX_NUMBER) && TryStrToFloat(left.Text, a) &&
      TryStrToFloat(right.Text, b)) {
    switch (op) {
      case COND_LES: return a < b;
      case COND_LES_EQL: return a <= b;
      case COND_EQL: return a == b;
      case COND_GRT_EQL: return a >= b;
      case COND_GRT: return a > b;
      case COND_NOT_EQL: return a != b;
      case COND_ALL: return true;
      default: return false;
    }
  }
  const CKvrValue x(left.Text.data(), int(left.Text.size()));
  const CKvrValue y(right.Text.data(), int(right.Text.size()));
  return MatchValueOp(&x, op, &y, false);
}

// The parts of a parsed comparison that the nodes are made from.
struct TComparison {
  CCondTreeNodeVar left, right;
  int op;
  int weight;
};

void SplitName(const AnsiString& name, AnsiString& table, AnsiString& column) {
  CCondTreeNodeVar var;
  var.Text = name;
  table = var.GetTablePart();
  column = var.GetColumnPart();
}

}  // namespace

int ComparisonWeight(const CCondTreeNodeComp& comparison) {
  const CCondTreeNodeVar& l = comparison.Left;
  const CCondTreeNodeVar& r = comparison.Right;
  const AnsiString& extended = ExtendedItemsTableName();
  if ((l.IsName() && l.GetTablePart() == extended) || (r.IsName() && r.GetTablePart() == extended)) return 0;
  if (!(l.IsName() && r.IsValue()) && !(l.IsValue() && r.IsName())) return 0;
  switch (comparison.Op) {
    case COND_EQL: return 1000;
    case COND_LIKE: return 100;
    case COND_LES:
    case COND_LES_EQL:
    case COND_GRT_EQL:
    case COND_GRT:
    case COND_NOT_EQL: return 10;
    default: return 0;
  }
}

// ---- One alternative ------------------------------------------------------------------------------

CSearchCond::CSearchCond(CRecSelectBase* owner) : Owner(owner), Nodes(new CCompSimpleList(this)) {}

CSearchCond::~CSearchCond() { delete Nodes; }

void CSearchCond::SetCond(const TCondAndList& comparisons) {
  std::vector<TComparison> list;
  for (const CCondTreeNodeComp* c : comparisons) {
    if (!c) continue;
    TComparison item;
    item.left.Assign(c->Left);
    item.right.Assign(c->Right);
    item.op = c->Op;
    item.weight = ComparisonWeight(*c);
    list.push_back(item);
  }
  std::stable_sort(list.begin(), list.end(), [](const TComparison& a, const TComparison& b) { return a.weight > b.weight; });
  int number = 0;
  for (TComparison& c : list) {
    WriteLog("SetCond():[%d] nd=%s %s %s", ++number, c.left.Text.c_str(), CondOpName(c.op), c.right.Text.c_str());
    bool patternOwnSide = false;
    if (c.left.IsValue() && c.right.IsName()) {
      std::swap(c.left, c.right);
      c.op = MirrorCondOp(c.op);
      // The written right side stays the pattern: now it is the column.
      patternOwnSide = IsPatternOp(c.op);
    }
    if (c.left.IsName()) {
      AnsiString name = c.left.Text;
      if (Owner) Owner->QualifyName(name);
      AnsiString table, column;
      SplitName(name, table, column);
      if (c.right.IsValue()) {
        auto* node = new CCompSimpleRtv(this, table, column, c.op, c.right.Text);
        node->PatternOwnSide = patternOwnSide;
        Nodes->Add(node);
      } else {
        AnsiString other = c.right.Text;
        if (Owner) Owner->QualifyName(other);
        AnsiString otherTable, otherColumn;
        SplitName(other, otherTable, otherColumn);
        Nodes->Add(new CCompSimpleRtv2(this, table, column, c.op, otherTable, otherColumn));
      }
    } else {
      Nodes->Add(new CCompSimpleCmp3(this, MatchConstants(c.left, c.op, c.right)));
    }
  }
}

void CSearchCond::SetMatchAll() {
  CTableInfoList* tables = Owner ? Owner->GetTableList() : nullptr;
  for (int i = 0; tables && i < tables->Count(); ++i) {
    const CTableInfo* info = tables->Get(i);
    if (info->ColNames->Count() > 0) Nodes->Add(new CCompSimpleRtv(this, info->Name, (*info->ColNames)[0], COND_ALL, ""));
  }
}

void CSearchCond::Prepare() {
  Nodes->SetOwner(this);
  TStringList bound;
  Nodes->Plan(bound);
  Nodes->Restart();
}

void CSearchCond::Reset() { Nodes->Restart(); }

int CSearchCond::NextNB() { return Nodes->NextNB(); }

int CSearchCond::NextEnumNB(TStrings& out) { return Nodes->NextEnumNB(out); }

bool CSearchCond::IsHit() {
  for (int i = 0; i < Nodes->Count(); ++i)
    if (!Nodes->Get(i)->IsHit()) return false;
  return true;
}

// ---- The alternatives -------------------------------------------------------------------------------

CSearchCondList::~CSearchCondList() { Clear(); }

void CSearchCondList::Clear() {
  for (int i = Count() - 1; i >= 0; --i) delete Get(i);
  TList::Clear();
}

void CSearchCondList::Dump(const AnsiString& title) const {
  for (int k = 0; k < Count(); ++k) Get(k)->Nodes->Dump(title + IntToStr(k + 1));
}

bool CSearchCondList::SetEnumColumn(const AnsiString& column, int cut) {
  EnumIndex = 0;
  bool all = true;
  for (int k = 0; k < Count(); ++k)
    if (!Get(k)->Nodes->SetEnumColumn(column, cut)) all = false;
  return all;
}

void CSearchCondList::Optimize() {
  RemoveDuplicates();
  GroupFullScans();
  FactorCommonNodes(nullptr);
  for (int k = 0; k < Count(); ++k) Get(k)->Prepare();
}

void CSearchCondList::RemoveDuplicates() {
  for (int k = 0; k < Count(); ++k) {
    CCompSimpleList* nodes = Get(k)->Nodes;
    for (int i = 0; i < nodes->Count(); ++i)
      for (int j = nodes->Count() - 1; j > i; --j)
        if (CompareNodes(nodes->Get(i), nodes->Get(j)) == 0) delete nodes->Extract(j);
  }
}

void CSearchCondList::GroupFullScans() {
  if (Count() == 0) return;
  CRecSelectBase* select = Get(0)->Owner;
  CTableInfoList* tables = select ? select->GetTableList() : nullptr;
  if (!tables) return;
  const CTableInfo* scanned = nullptr;
  TStringList joined;
  for (int k = 0; k < Count() && !scanned; ++k) {
    const CCompSimpleList* nodes = Get(k)->Nodes;
    for (int t = 0; t < tables->Count() && !scanned; ++t) {
      const AnsiString& name = tables->Get(t)->Name;
      if (name == ExtendedItemsTableName()) continue;  // computed per combination: nothing to walk
      int plain, wildcard, joins;
      nodes->CountKinds(name, plain, wildcard, joins);
      if (plain > 0 || wildcard == 0) continue;
      bool otherRetrievable = false;
      if (joins > 0 && nodes->CollectJoinedTables(name, joined) > 0)
        for (int j = 0; j < joined.Count() && !otherRetrievable; ++j) {
          int otherPlain, otherWildcard, otherJoins;
          nodes->CountKinds(joined[j], otherPlain, otherWildcard, otherJoins);
          otherRetrievable = otherPlain > 0;
        }
      if (!otherRetrievable) scanned = tables->Get(t);
    }
  }
  if (!scanned) return;
  auto* grouped = new CSearchCond(select);
  grouped->Nodes->Add(new CCompSimpleRtv(grouped, scanned->Name, kvrRecIdName, COND_ALL, ""));
  auto* base = new CCompSimple(grouped);
  for (int k = Count() - 1; k >= 0; --k) {
    base->Alternatives->Add(Get(k));
    Delete(k);
  }
  grouped->Nodes->Add(base);
  Add(grouped);
}

void CSearchCondList::FactorCommonNodes(const TStrings* bound, int depth) {
  if (depth >= kMaxFactorDepth) return;
  TStringList working;
  if (bound) working.Assign(*bound);
  for (int k = 0; k + 1 < Count(); ++k) {
    CSearchCond* first = Get(k);
    CCompSimpleList* nodes = first->Nodes;
    if (nodes->Count() <= 1) continue;
    nodes->SortByOrder(&working);
    CCompSimple* common = nullptr;
    int highest = 0;
    for (int i = 0; i < nodes->Count() && !common; ++i) {
      CCompSimple* node = nodes->Get(i);
      const int order = node->GetOrder(&working);
      const bool exceeded = i > 0 && highest > order;
      if (i == 0 || order > highest) highest = order;
      // An extended item is computed from the records of the other tables: put in front of the
      // group, it would be tested before any of them is current.
      if (exceeded || node->Table == ExtendedItemsTableName()) continue;
      for (int m = Count() - 1; m > k && !common; --m) {
        const CCompSimpleList* other = Get(m)->Nodes;
        if (other->Count() <= 1) continue;
        for (int j = 0; j < other->Count() && !common; ++j)
          if (CompareNodes(node, other->Get(j)) == 0) common = node;
      }
    }
    if (!common) continue;
    auto* shared = new CSearchCond(first->Owner);
    auto* group = new CCompSimple(shared);
    common->Owner = shared;
    for (int m = Count() - 1; m >= k; --m) {
      CSearchCond* alternative = Get(m);
      CCompSimpleList* list = alternative->Nodes;
      if (list->Count() <= 1) continue;
      int at = -1;
      for (int j = 0; j < list->Count() && at < 0; ++j)
        if (m == k ? list->Get(j) == common : CompareNodes(common, list->Get(j)) == 0) at = j;
      if (at < 0) continue;
      CCompSimple* taken = list->Extract(at);
      if (m != k) {
        delete taken;
        Delete(m);
      }
      for (int j = 0; j < list->Count(); ++j) list->Get(j)->Owner = shared;
      group->Alternatives->Add(alternative);
    }
    shared->Nodes->Add(common);
    shared->Nodes->Add(group);
    SetItem(k, shared);
    if (!common->Table.empty()) working.Add(common->Table);
  }
  for (int k = 0; k < Count(); ++k) {
    CCompSimpleList* nodes = Get(k)->Nodes;
    for (int i = 0; i < nodes->Count(); ++i) {
      CCompSimple* node = nodes->Get(i);
      if (node->GetKind() != "base") {
        if (!node->Table.empty() && working.IndexOf(node->Table) < 0) working.Add(node->Table);
        continue;
      }
      CSearchCondList* nested = node->Alternatives;
      nested->FactorCommonNodes(&working, depth + 1);
      if (nested->Count() > 1) continue;
      if (nested->Count() == 1) {
        CCompSimpleList* only = nested->Get(0)->Nodes;
        while (only->Count() > 0) nodes->Add(only->Extract(0));
      }
      delete nodes->Extract(i--);
    }
  }
}

// ---- Node equality ------------------------------------------------------------------------------------

int CompareNodes(const CCompSimple* a, const CCompSimple* b) {
  static const char* const kinds[] = {"rtv", "rtv2", "cmp", "cmp2"};
  auto kindIndex = [](const CCompSimple* node) {
    const AnsiString kind = node->GetKind();
    for (int i = 0; i < 4; ++i)
      if (kind == kinds[i]) return i;
    return 4;
  };
  const int ka = kindIndex(a);
  if (ka != kindIndex(b)) return 1;
  if (ka == 4) return 1;
  const auto* x = static_cast<const CCompSimpleRtv*>(a);
  const auto* y = static_cast<const CCompSimpleRtv*>(b);
  // Which side holds a pattern is part of the comparison.
  if (x->Table != y->Table || x->Column != y->Column || x->Op != y->Op || x->PatternOwnSide != y->PatternOwnSide)
    return 1;
  if (ka == 0 || ka == 2) return x->Op == COND_ALL || x->Value == y->Value ? 0 : 1;
  const auto* p = static_cast<const CCompSimpleRtv2*>(a);
  const auto* q = static_cast<const CCompSimpleRtv2*>(b);
  return p->OtherTable == q->OtherTable && p->OtherColumn == q->OtherColumn ? 0 : 1;
}
