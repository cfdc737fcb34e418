// Index entries, shared string values and record bodies of the record tables.
#include "store/KvRecord.h"

bool CKvRecord::WriteIndexEntry(const CKvrColInfo&, const CKvrValue*, uint32_t, int) { return false; }
bool CKvRecord::RemoveIndexEntry(const CKvrColInfo&, const CKvrValue&, uint32_t, int) { return false; }
bool CKvRecord::HasIndexEntry(const CKvrColInfo&, const CKvrValue&, uint32_t, int) { return false; }
int CKvRecord::AddChangedEntries(const CKvrColInfo&, const CKvrValue&, const CKvrValue&, uint32_t, int) { return -1; }
bool CKvRecord::RemoveChangedEntries(const CKvrColInfo&, const CKvrValue&, const CKvrValue&, uint32_t, int) {
  return false;
}
bool CKvRecord::KeyImagesDiffer(const CKvrColInfo&, const CKvrValue&, const CKvrValue&) { return true; }
bool CKvRecord::AddStringRef(const CKvrColInfo&, const CKvrValue&, uint32_t, int) { return false; }
bool CKvRecord::RemoveStringRef(const CKvrColInfo&, const CKvrValue&, uint32_t, int) { return false; }
bool CKvRecord::HasStringRef(const CKvrColInfo&, const CKvrValue&, uint32_t, int) { return false; }
bool CKvRecord::FindStringValue(CKvrBuffer&, const CKvrColInfo&, const CKvrValue&, int) { return false; }
void CKvRecord::MakeStringValueRecord(CKvrBuffer&, const CKvrColInfo&, int, const CKvrValue&, uint32_t, uint32_t) {}
void CKvRecord::MakeRecordBody(CKvrBuffer&, uint32_t, const CKvrValueList&) {}
bool CKvRecord::WriteRecordBody(const CKvrValueList&, uint32_t) { return false; }
bool CKvRecord::WriteBodyImage(const CKvrBuffer&) { return false; }
bool CKvRecord::ReadRecordBody(uint32_t, CKvrBuffer&) { return false; }
bool CKvRecord::ReadBodyChunks(CKvrBuffer&) { return false; }
bool CKvRecord::DeleteRecordBody(uint32_t) { return false; }
void CKvRecord::DecodeRecord(CKvrValueList&, const CKvrBuffer&, const CKvrColInfoList&) {}
