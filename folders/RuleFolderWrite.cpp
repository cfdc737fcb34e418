// Single-record writes on behalf of the listed rows: an edited row written back to its record,
// and a new record of the folder's table.
#include "folders/FolderScript.h"
#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "query/CondText.h"
#include "query/DbHandle.h"

bool CRuleFolder::UpdateRecord(CCapInfoList* columns, const TStrings& values) {
  CDbHandle* handle = GetDbHandle();
  const int k = IndexOfRecIdColumn(columns, GetTableName());
  // Record ids are decimal numbers; any other text must not reach the condition, where it could
  // name other records than the one edited.
  if (!handle || k < 0 || k >= values.Count() || !IsRecordIdText(values[k])) return false;
  const AnsiString table = GetTablePart(columns->GetItem(k)->Name);
  AnsiString names;
  TStringList written;
  for (int i = 0; i < columns->Count() && i < values.Count(); ++i) {
    const AnsiString& name = columns->GetItem(i)->Name;
    if (GetTablePart(name) != table) continue;
    if (!names.empty()) names += ",";
    names += name;
    written.Add(values[i]);
  }
  const AnsiString condition = Format("%s.%s = %s", table.c_str(), REC_ID_COLUMN, values[k].c_str());
  return handle->UpdateRecords(names, table, written, condition);
}

bool CRuleFolder::InsertRecord(CCapInfoList* columns, const TStrings& values) {
  CDbHandle* handle = GetDbHandle();
  if (!handle || !columns) return false;
  AnsiString names;
  for (int i = 0; i < columns->Count(); ++i) {
    if (i) names += ",";
    names += columns->GetItem(i)->Name;
  }
  return handle->InsertRecord(names, GetTableName(), values);
}
