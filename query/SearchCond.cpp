#include "query/SearchCond.h"

#include "query/CompSimple.h"

CSearchCond::CSearchCond(CRecSelectBase* owner) : Owner(owner), Nodes(new CCompSimpleList(this)) {}
CSearchCond::~CSearchCond() { delete Nodes; }
void CSearchCond::SetCond(const TCondAndList&) {}
void CSearchCond::SetMatchAll() {}
void CSearchCond::Prepare() {}
void CSearchCond::Reset() { Nodes->Restart(); }
int CSearchCond::NextNB() { return Nodes->NextNB(); }
int CSearchCond::NextEnumNB(TStrings& out) { return Nodes->NextEnumNB(out); }
bool CSearchCond::IsHit() { return false; }

CSearchCondList::~CSearchCondList() { Clear(); }
void CSearchCondList::Clear() {
  for (int i = Count() - 1; i >= 0; --i) delete Get(i);
  TList::Clear();
}
void CSearchCondList::Optimize() {}
void CSearchCondList::Dump(const AnsiString&) const {}
bool CSearchCondList::SetEnumColumn(const AnsiString&, int) { return false; }
void CSearchCondList::RemoveDuplicates() {}
void CSearchCondList::GroupFullScans() {}
void CSearchCondList::FactorCommonNodes(const TStrings*, int) {}

int CompareNodes(const CCompSimple*, const CCompSimple*) { return 1; }
int ComparisonWeight(const CCondTreeNodeComp&) { return 0; }
