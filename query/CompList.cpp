#include "query/CompList.h"

#include "query/CompSimple.h"
#include "query/SearchCond.h"

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
void CCompSimpleList::Restart() { Cursor = 0; }
int CCompSimpleList::NextNB() { return -1; }
bool CCompSimpleList::SetEnumColumn(const AnsiString&, int) { return false; }
bool CCompSimpleList::NextEnum() { return false; }
int CCompSimpleList::NextEnumNB(TStrings&) { return -1; }
void CCompSimpleList::Plan(TStrings&) {}
void CCompSimpleList::SetOwner(CSearchCond* owner) { Owner = owner; }
void CCompSimpleList::SortByOrder(const TStrings*, int) {}
int CCompSimpleList::CountSameTable(int) const { return 0; }
int CCompSimpleList::CountKinds(const AnsiString&, int& plain, int& wildcard, int& joins) const {
  plain = wildcard = joins = 0;
  return Count();
}
int CCompSimpleList::CollectJoinedTables(const AnsiString&, TStrings& out) const {
  out.Clear();
  return 0;
}
bool CCompSimpleList::Dump(const AnsiString&) const { return true; }
int CCompSimpleList::PickStart(const TStrings&, int) const { return -1; }
void CCompSimpleList::ConvertBoundNodes(const TStrings&, int) {}
int CCompSimpleList::GatherTable(const TStrings&, const AnsiString&, int) { return 0; }
void CCompSimpleList::RemoveEmptyPlaces() {}
void CCompSimpleList::Fold() {}
