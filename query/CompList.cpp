#include "query/CompList.h"

#include <unordered_map>
#include <vector>

#include "foundation/Listfunc.h"
#include "query/CompSimple.h"
#include "query/SearchCond.h"

namespace {

bool IsBound(const TStrings& bound, const AnsiString& table) { return bound.IndexOf(table) >= 0; }

CCompSimpleRtv* AsRtv(CCompSimple* node) { return static_cast<CCompSimpleRtv*>(node); }
CCompSimpleRtv2* AsRtv2(CCompSimple* node) { return static_cast<CCompSimpleRtv2*>(node); }

}  // namespace

CCompSimpleList::CCompSimpleList(CSearchCond* owner) : Owner(owner) {}

CCompSimpleList::~CCompSimpleList() {
  Clear();
  delete StepValues;
}

void CCompSimpleList::Clear() {
  for (int i = Count() - 1; i >= 0; --i) delete Get(i);
  TList::Clear();
}

int CCompSimpleList::Add(CCompSimple* node) {
  if (!node) return -1;
  node->Owner = Owner;
  return TList::Add(node);
}

CCompSimple* CCompSimpleList::Extract(int i) {
  CCompSimple* node = Get(i);
  Delete(i);
  return node;
}

void CCompSimpleList::RemoveEmptyPlaces() {
  for (int i = Count() - 1; i >= 0; --i)
    if (!Get(i)) Delete(i);
}

// ---- Running ------------------------------------------------------------------------------------

void CCompSimpleList::Restart() {
  Cursor = 0;
  if (Count() > 0) Get(0)->Reset();
}

int CCompSimpleList::NextNB() {
  for (int budget = kStepBudget;; --budget) {
    if (Cursor >= Count()) {
      Cursor = Count() - 1;
      return 1;
    }
    if (Cursor < 0) return -1;
    if (budget <= 0) return 0;
    const int r = Get(Cursor)->NextNB();
    if (r == 0) return 0;
    if (r > 0) {
      if (++Cursor < Count()) Get(Cursor)->Reset();
    } else {
      --Cursor;
    }
  }
}

bool CCompSimpleList::SetEnumColumn(const AnsiString& column, int cut) {
  EnumIndex = -1;
  Restart();
  for (int i = 0; i < Count(); ++i)
    if (Get(i)->SetEnumColumn(EnumIndex < 0 ? column : AnsiString(), cut) && EnumIndex < 0) EnumIndex = i;
  return EnumIndex >= 0;
}

int CCompSimpleList::NextEnumNB(TStrings& out) {
  if (EnumIndex < 0) return NextNB();
  if (!StepValues) StepValues = new TStringList;
  for (int budget = kStepBudget; Cursor >= 0 && Cursor < Count(); --budget) {
    if (budget <= 0) return 0;
    if (Cursor == EnumIndex) StepValues->Clear();
    const int r = Get(Cursor)->NextEnumStep(*StepValues);
    if (r == 0) return 0;
    if (r > 0) {
      if (++Cursor < Count()) Get(Cursor)->Reset();
    } else {
      --Cursor;
    }
  }
  if (Cursor < 0) {
    delete StepValues;
    StepValues = nullptr;
    return -1;
  }
  Cursor = EnumIndex;
  Get(EnumIndex)->AcceptEnum(*StepValues);
  int added = 0;
  for (int i = StepValues->Count() - 1; i >= 0; --i) {
    if (FindString(&out, (*StepValues)[i], false) >= 0) continue;
    out.AddObject((*StepValues)[i], StepValues->Objects(i));
    ++added;
  }
  StepValues->Clear();
  return added;
}

bool CCompSimpleList::NextEnum() {
  while (Cursor >= 0 && Cursor < Count()) {
    if (Get(Cursor)->NextEnum()) {
      if (++Cursor < Count()) Get(Cursor)->Reset();
    } else {
      --Cursor;
    }
  }
  if (Cursor < 0) return false;
  Cursor = EnumIndex;
  return true;
}

// ---- Planning -----------------------------------------------------------------------------------

void CCompSimpleList::SetOwner(CSearchCond* owner) {
  Owner = owner;
  for (int i = Count() - 1; i >= 0; --i) {
    CCompSimple* node = Get(i);
    if (!node) continue;
    node->Owner = owner;
    for (int a = 0; a < node->Alternatives->Count(); ++a) node->Alternatives->Get(a)->Nodes->SetOwner(owner);
    const AnsiString kind = node->GetKind();
    if (kind != "base") AsRtv(node)->Extra->SetOwner(owner);
  }
}

int CCompSimpleList::CountSameTable(int p) const {
  const AnsiString& table = Get(p)->Table;
  if (table.empty()) return 0;
  int n = 0;
  for (int i = p; i < Count(); ++i)
    if (Get(i) && Get(i)->Table == table) ++n;
  return n;
}

void CCompSimpleList::SortByOrder(const TStrings* bound, int from) {
  std::vector<int> keys;
  for (int p = from; p < Count(); ++p) {
    // The keys of positions p.. as they stand now: one sweep from the end counts the nodes of
    // each table, so a pass costs a walk of the list.
    keys.assign(size_t(Count()), 0);
    std::unordered_map<AnsiString, int> sameTable;
    for (int q = Count() - 1; q >= p; --q) {
      const CCompSimple* node = Get(q);
      if (!node) continue;
      const int same = node->Table.empty() ? 0 : ++sameTable[node->Table];
      keys[size_t(q)] = node->GetOrder(bound) + same;
    }
    int best = -1;
    int bestKey = keys[size_t(p)];
    for (int q = p + 1; q < Count(); ++q)
      if (Get(q) && keys[size_t(q)] > bestKey) {
        best = q;
        bestKey = keys[size_t(q)];
      }
    if (best >= 0) Exchange(p, best);
  }
}

int CCompSimpleList::PickStart(const TStrings& bound, int pos) const {
  int best = -1;
  int bestWeight = 0;
  for (int i = pos; i < Count(); ++i) {
    CCompSimple* node = Get(i);
    if (!node || node->Table == ExtendedItemsTableName()) continue;
    const AnsiString kind = node->GetKind();
    if (kind == "cmp" || kind == "cmp2") return i;
    int weight;
    if (kind == "rtv")
      weight = node->GetSelectivity(true);
    else if (kind == "rtv2")
      weight = node->GetSelectivity(IsBound(bound, AsRtv2(node)->OtherTable));
    else
      continue;
    if (best < 0 || weight > bestWeight) {
      best = i;
      bestWeight = weight;
    }
  }
  return best;
}

void CCompSimpleList::ConvertBoundNodes(const TStrings& bound, int pos) {
  for (int i = pos; i < Count(); ++i) {
    CCompSimple* node = Get(i);
    if (!node) continue;
    for (int a = 0; a < node->Alternatives->Count(); ++a) node->Alternatives->Get(a)->Nodes->ConvertBoundNodes(bound, 0);
    const AnsiString kind = node->GetKind();
    if (!IsBound(bound, node->Table)) continue;
    if (kind == "rtv") {
      CCompSimpleRtv* rtv = AsRtv(node);
      SetItem(i, rtv->Op == COND_ALL ? nullptr : new CCompSimpleCmp(*rtv));
      delete rtv;
    } else if (kind == "rtv2") {
      CCompSimpleRtv2* join = AsRtv2(node);
      if (IsBound(bound, join->OtherTable)) {
        SetItem(i, new CCompSimpleCmp2(*join));
        delete join;
      } else {
        join->SwapSides();
      }
    }
  }
  RemoveEmptyPlaces();
}

int CCompSimpleList::GatherTable(const TStrings& bound, const AnsiString& table, int pos) {
  std::vector<CCompSimple*> moved, rest;
  for (int i = pos; i < Count(); ++i) {
    CCompSimple* node = Get(i);
    bool take = false;
    const AnsiString kind = node ? node->GetKind() : AnsiString();
    if (kind == "rtv") {
      take = node->Table == table;
    } else if (kind == "rtv2") {
      if (node->Table == table) {
        if (IsBound(bound, AsRtv2(node)->OtherTable))
          take = true;
        else
          node->SwapSides();
      }
    } else if (kind == "cmp") {
      take = true;
    } else if (kind == "cmp2") {
      take = node->Table == table;
    }
    if (!take) {
      rest.push_back(node);
    } else if ((kind == "rtv" || kind == "cmp") && AsRtv(node)->Op == COND_ALL) {
      delete node;
      moved.push_back(nullptr);
    } else {
      moved.push_back(node);
    }
  }
  int i = pos;
  for (CCompSimple* node : moved) SetItem(i++, node);
  for (CCompSimple* node : rest) SetItem(i++, node);
  return int(moved.size());
}

void CCompSimpleList::Plan(TStrings& bound) {
  for (int i = Count() - 1; i >= 0; --i) Get(i)->ResolveTable();
  SortByOrder(&bound, 0);
  for (int i = 0; i < Count();) {
    const int start = PickStart(bound, i);
    if (start > i) Insert(i, Extract(start));
    CCompSimple* handled = Get(i);
    const AnsiString kind = handled ? handled->GetKind() : AnsiString();
    if (!handled || kind == "cmp" || kind == "cmp2") {
      ++i;
      continue;
    }
    if (kind == "base") {
      const int arrival = bound.Count();
      for (int a = 0; a < handled->Alternatives->Count(); ++a) {
        while (bound.Count() > arrival) bound.Delete(bound.Count() - 1);
        handled->Alternatives->Get(a)->Nodes->Plan(bound);
      }
    } else if (kind == "rtv2" && !IsBound(bound, AsRtv2(handled)->OtherTable)) {
      // Neither side is current: walk this side, then retrieve the other through it.
      CCompSimpleRtv* all = MakeAllRetrieval(*AsRtv2(handled));
      handled->SwapSides();
      Insert(i, all);
      handled = all;
    }
    ++i;
    const AnsiString handledKind = handled->GetKind();
    const AnsiString table = handled->Table;
    if (handledKind == "rtv" || handledKind == "rtv2") bound.Add(table);
    ConvertBoundNodes(bound, i);
    GatherTable(bound, table, i);
  }
  RemoveEmptyPlaces();
  Fold();
}

void CCompSimpleList::Fold() {
  CCompSimpleRtv* retrieval = nullptr;
  for (int i = 0; i < Count(); ++i) {
    CCompSimple* node = Get(i);
    const AnsiString kind = node->GetKind();
    if (kind == "rtv") {
      retrieval = AsRtv(node);
    } else if (kind == "cmp" && retrieval && node->Table == retrieval->Table) {
      const CCompSimpleRtv* test = AsRtv(node);
      auto* extra = new CCompSimpleRtv(Owner, test->Table, test->Column, test->Op, test->Value);
      extra->PatternOwnSide = test->PatternOwnSide;
      retrieval->Extra->Add(extra);
      extra->Owner = Owner;
    } else {
      retrieval = nullptr;
    }
  }
}

// ---- Services of the regrouping -------------------------------------------------------------------

int CCompSimpleList::CountKinds(const AnsiString& table, int& plain, int& wildcard, int& joins) const {
  plain = wildcard = joins = 0;
  for (int i = Count() - 1; i >= 0; --i) {
    CCompSimple* node = Get(i);
    const AnsiString kind = node->GetKind();
    if (kind == "rtv2") {
      const CCompSimpleRtv2* join = AsRtv2(node);
      if (join->Table == table || join->OtherTable == table) ++joins;
    } else if (kind == "rtv" && node->Table == table) {
      const CCompSimpleRtv* rtv = AsRtv(node);
      // An empty pattern, and a pattern held by the column, give no index range either.
      const bool pattern = rtv->Op == COND_LIKE || rtv->Op == COND_NOT_LIKE;
      if (pattern && (rtv->Value.empty() || rtv->Value[0] == '%' || rtv->PatternOwnSide))
        ++wildcard;
      else
        ++plain;
    }
  }
  return Count();
}

int CCompSimpleList::CollectJoinedTables(const AnsiString& table, TStrings& out) const {
  out.Clear();
  for (int i = Count() - 1; i >= 0; --i) {
    CCompSimple* node = Get(i);
    if (node->GetKind() != "rtv2") continue;
    const CCompSimpleRtv2* join = AsRtv2(node);
    if (join->Table == table) out.Add(join->OtherTable);
    if (join->OtherTable == table) out.Add(join->Table);
  }
  return out.Count();
}

bool CCompSimpleList::Dump(const AnsiString& label) const {
  const AnsiString prefix = label.empty() ? label : label + "-";
  for (int i = 0; i < Count(); ++i)
    if (Get(i)) Get(i)->Dump(prefix + IntToStr(i + 1));
  return true;
}
