#include "query/CompSimple.h"

#include "query/CompList.h"
#include "query/SearchCond.h"

CCompSimple::CCompSimple(CSearchCond* owner) : Owner(owner), Alternatives(new CSearchCondList) {}
CCompSimple::~CCompSimple() { delete Alternatives; }
void CCompSimple::Reset() {}
int CCompSimple::NextNB() { return -1; }
bool CCompSimple::Test() { return false; }
bool CCompSimple::IsHit() { return false; }
AnsiString CCompSimple::GetKind() const { return "base"; }
bool CCompSimple::SetEnumColumn(const AnsiString&, int) { return true; }
bool CCompSimple::NextEnum() { return false; }
int CCompSimple::NextEnumStep(TStrings&) { return -1; }
void CCompSimple::AcceptEnum(const TStrings&) {}
void CCompSimple::StartEnum(const AnsiString&, TStrings&) {}
void CCompSimple::SwapSides() {}
int CCompSimple::GetSelectivity(bool) const { return 0; }
void CCompSimple::ResolveTable() {}
bool CCompSimple::Dump(const AnsiString&) const { return true; }
int CCompSimple::GetOrder(const TStrings*) const { return 0; }
CTableInfo* CCompSimple::LookupInfo(const AnsiString&) const { return nullptr; }

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
void CCompSimpleRtv::Reset() {}
int CCompSimpleRtv::NextNB() { return -1; }
bool CCompSimpleRtv::Test() { return false; }
bool CCompSimpleRtv::IsHit() { return false; }
AnsiString CCompSimpleRtv::GetKind() const { return "rtv"; }
bool CCompSimpleRtv::SetEnumColumn(const AnsiString&, int) { return false; }
bool CCompSimpleRtv::NextEnum() { return false; }
int CCompSimpleRtv::NextEnumStep(TStrings&) { return -1; }
void CCompSimpleRtv::AcceptEnum(const TStrings&) {}
void CCompSimpleRtv::StartEnum(const AnsiString&, TStrings&) {}
int CCompSimpleRtv::GetSelectivity(bool) const { return 0; }
bool CCompSimpleRtv::Dump(const AnsiString&) const { return true; }
int CCompSimpleRtv::EvalExtended() { return -1; }
bool CCompSimpleRtv::StartRetrieval() { return false; }
AnsiString CCompSimpleRtv::MakeCashKey(bool) const { return AnsiString(); }
int CCompSimpleRtv::CacheLookup(bool) { return -1; }
void CCompSimpleRtv::CacheCollect(int, const TStrings*) {}
int CCompSimpleRtv::CacheNext(TStrings*) { return -1; }
bool CCompSimpleRtv::IsExtended() const { return false; }
CTableInfo* CCompSimpleRtv::EnsureInfo() { return nullptr; }
bool CCompSimpleRtv::OpenRun(bool) { return false; }
bool CCompSimpleRtv::TestOwn() { return false; }
bool CCompSimpleRtv::TestExtra() { return false; }
void CCompSimpleRtv::DropLists() {
  delete Collecting;
  Collecting = nullptr;
  delete Cached;
  Cached = nullptr;
}

CCompSimpleCmp::CCompSimpleCmp(CSearchCond* owner) : CCompSimpleRtv(owner) {}
CCompSimpleCmp::CCompSimpleCmp(const CCompSimpleRtv& rtv) : CCompSimpleRtv(rtv.Owner) {}
int CCompSimpleCmp::NextNB() { return -1; }
AnsiString CCompSimpleCmp::GetKind() const { return "cmp"; }
bool CCompSimpleCmp::SetEnumColumn(const AnsiString&, int) { return false; }
bool CCompSimpleCmp::NextEnum() { return false; }
int CCompSimpleCmp::NextEnumStep(TStrings&) { return -1; }
void CCompSimpleCmp::AcceptEnum(const TStrings&) {}

CCompSimpleRtv2::CCompSimpleRtv2(CSearchCond* owner) : CCompSimpleRtv(owner) {}
CCompSimpleRtv2::CCompSimpleRtv2(CSearchCond* owner, const AnsiString& table, const AnsiString& column, int op,
                                 const AnsiString& otherTable, const AnsiString& otherColumn)
    : CCompSimpleRtv(owner, table, column, op, AnsiString()) {
  OtherTable = otherTable;
  OtherColumn = otherColumn;
}
bool CCompSimpleRtv2::Test() { return false; }
AnsiString CCompSimpleRtv2::GetKind() const { return "rtv2"; }
bool CCompSimpleRtv2::SetEnumColumn(const AnsiString&, int) { return false; }
void CCompSimpleRtv2::StartEnum(const AnsiString&, TStrings&) {}
void CCompSimpleRtv2::SwapSides() {}
int CCompSimpleRtv2::GetSelectivity(bool) const { return 0; }
bool CCompSimpleRtv2::Dump(const AnsiString&) const { return true; }
bool CCompSimpleRtv2::PatternRetrieval() const { return false; }
bool CCompSimpleRtv2::JoinMatch() { return false; }
int CCompSimpleRtv2::RetrievalOp() const { return Op; }
bool CCompSimpleRtv2::AcceptRecord() { return true; }
void CCompSimpleRtv2::BeforeOpen() {}

CCompSimpleCmp2::CCompSimpleCmp2(CSearchCond* owner) : CCompSimpleRtv2(owner) {}
CCompSimpleCmp2::CCompSimpleCmp2(const CCompSimpleRtv2& rtv2) : CCompSimpleRtv2(rtv2.Owner) {}
int CCompSimpleCmp2::NextNB() { return -1; }
AnsiString CCompSimpleCmp2::GetKind() const { return "cmp2"; }
bool CCompSimpleCmp2::SetEnumColumn(const AnsiString&, int) { return false; }
bool CCompSimpleCmp2::NextEnum() { return false; }
int CCompSimpleCmp2::NextEnumStep(TStrings&) { return -1; }
void CCompSimpleCmp2::AcceptEnum(const TStrings&) {}

CCompSimpleCmp3::CCompSimpleCmp3(CSearchCond* owner, bool hit) : CCompSimpleCmp(owner), Hit(hit) {}
bool CCompSimpleCmp3::Test() { return Hit; }
bool CCompSimpleCmp3::IsHit() { return Hit; }
AnsiString CCompSimpleCmp3::GetKind() const { return "cmp3"; }

CCompSimpleRtv* MakeAllRetrieval(const CCompSimpleRtv& node) {
  return new CCompSimpleRtv(node.Owner, node.Table, node.Column, COND_ALL, AnsiString());
}
