// The folder side of a listing, the update lock, deleting listed records, and the joins a listing
// needs for the columns and extended items it names.
#include "folders/ExtendedItems.h"
#include "folders/FolderText.h"
#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "query/CondText.h"
#include "query/DbHandle.h"
#include "query/TableInfo.h"

void CRuleFolder::ListStart(const TStrings& conditions, const AnsiString& columns) {
  ListHandle = GetDbHandle();
  if (!ListHandle) return;
  AddReferencedTables(conditions, columns);
  FetchedCount = 0;
  ListHandle->ListStart(conditions, columns);

  std::vector<AnsiString> registered;
  for (int i = 0; i < conditions.Count(); ++i) {
    TCvStrMacro_b registrar;
    registrar.Registered = &registered;
    registrar.Evaluate(conditions[i], this, ListHandle);
  }
  ForEachName(columns, [&](const AnsiString& name, int next) {
    if (next == '(' || GetTablePart(name) != ExtendedItemsTableName()) return;
    if (CCapInfo* item = GetExtendedItemValue(name)) RegisterExtendedItem(ListHandle, item, registered);
  });
}

bool CRuleFolder::ListNext(TStrings& row) {
  if (!ListHandle || (MaxSearchCount >= 0 && FetchedCount >= MaxSearchCount)) return false;
  if (!ListHandle->ListNext(row)) return false;
  ++FetchedCount;
  return true;
}

int CRuleFolder::ListNextNB(TStrings& row) {
  if (!ListHandle || (MaxSearchCount >= 0 && FetchedCount >= MaxSearchCount)) return -1;
  const int r = ListHandle->ListNextNB(row);
  if (r == 1) ++FetchedCount;
  return r;
}

void CRuleFolder::ListEnd() {
  if (!ListHandle) return;
  ListHandle->ListEnd();
  ListHandle = nullptr;
}

bool CRuleFolder::Lock() {
  CDbHandle* handle = GetDbHandle();
  return handle ? handle->Lock() : true;
}

bool CRuleFolder::Unlock() {
  CDbHandle* handle = GetDbHandle();
  return handle ? handle->Unlock() : true;
}

int CRuleFolder::DeleteRecords(CCapInfoList* columns, const std::vector<int>& indexes, const TList& rows) {
  CDbHandle* handle = GetDbHandle();
  if (!handle) return 0;
  const int k = IndexOfRecIdColumn(columns, GetTableName());
  if (k < 0) return 0;
  const AnsiString table = GetTablePart(columns->GetItem(k)->Name);
  TStringList ids;
  for (const int r : indexes) {
    if (r < 0 || r >= rows.Count()) continue;
    const auto* row = static_cast<const TStrings*>(rows.Items(r));
    if (row && k < row->Count()) ids.Add((*row)[k]);
  }
  return handle->DeleteRecords(table, ids) ? 1 : 0;
}

// ---- Joins for columns and extended items ------------------------------------------------------

AnsiString CRuleFolder::ResolveExtendedItems(const AnsiString& condition, CCapInfoList& columns) {
  const int n = columns.Count();
  for (int i = n - 1; i >= 0; --i) {
    const CCapInfo* column = columns.GetItem(i);
    if (GetTablePart(column->Name) != ExtendedItemsTableName()) continue;
    if (const CCapInfo* item = GetExtendedItemValue(column->Name))
      CollectExpressionColumns(this, AnsiString(item->Expression), columns);
  }
  CollectExpressionColumns(this, condition, columns);
  const AnsiString joins = ResolveExtendedCondition(condition, &columns);
  while (columns.Count() > n) columns.Delete(columns.Count() - 1);
  return joins;
}

AnsiString CRuleFolder::MakeColumnCondition(const AnsiString& condition, const AnsiString& columns) {
  TStringList names;
  names.SetCommaText(columns);
  CCapInfoList list;
  for (int i = names.Count() - 1; i >= 0; --i) {
    auto* info = new CCapInfo;
    info->Caption = names[i];
    info->Name = names[i];
    list.Add(info);
  }
  return ResolveExtendedItems(condition, list);
}

void CRuleFolder::AddReferencedTables(const TStrings&, const AnsiString&) {}
