// Whole-table operations of the record tables: column lookups, copy, append and re-index.
#include "store/KvRecord.h"

uint32_t CKvRecord::NextCounter(int) { return 0; }
bool CKvRecord::ExtremeText(int, bool, AnsiString&) { return false; }
bool CKvRecord::NextBody(uint32_t, bool, CKvrBuffer&) { return false; }
bool CKvRecord::GetHighest(const AnsiString&, AnsiString&) { return false; }
bool CKvRecord::GetLeast(const AnsiString&, AnsiString&) { return false; }
bool CKvRecord::GetIdByKey(const AnsiString&, const AnsiString&, unsigned&) { return false; }
int CKvRecord::CopyTo(const AnsiString&) { return -1; }
int CKvRecord::AppendTo(const AnsiString&) { return -1; }
int CKvRecord::ReIndex(KvrProgress, void*) { return -1; }
