// Conditions, record reads and enumerations of the record tables: placeholders that answer "no
// result" until the query operations are written here.
#include "store/KvRecord.h"

void CKvRecord::DeleteQueryState() {
  delete FirstCondOps_;
  FirstCondOps_ = nullptr;
  delete FirstCondTexts_;
  FirstCondTexts_ = nullptr;
}

bool CKvRecord::GetRec(CKvrValueList&) { return false; }
bool CKvRecord::GetRecNoSub(CKvrValueList&) { return false; }
int CKvRecord::GetRecNBNoSub(CKvrValueList&) { return -1; }
int CKvRecord::GetRecNB(CKvrValueList&) { return -1; }
bool CKvRecord::EnumList2(TStrings&, const AnsiString&, int, KvrEnumProgress) { return false; }
void CKvRecord::ClearCond() {}
void CKvRecord::AddCond(const AnsiString&, int, const AnsiString&) {}
void CKvRecord::AddCondEnd() {}
void CKvRecord::AddEnumCol(const AnsiString&) {}
void CKvRecord::GetEnum(const AnsiString&, TStrings&) {}
bool CKvRecord::AddSubCond(const AnsiString&, int, const AnsiString&) { return false; }
bool CKvRecord::AddSubCondEnd() { return false; }
bool CKvRecord::GetColValue(const AnsiString&, AnsiString&) { return false; }
bool CKvRecord::SetEnumCol(const AnsiString&, int) { return false; }
int CKvRecord::GetEnumNB(TStrings&) { return -1; }
int CKvRecord::GetEnumNB_a(CKvrValueList&, TStrings&) { return -1; }
void CKvRecord::AcceptEnum_a(const TStrings&) {}
