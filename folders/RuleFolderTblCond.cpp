// The table folder's answers for its subtree: the first row of a query with its joins, the
// columns an edit fills and the input candidates, and the extended items of the subtree.
#include <memory>

#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "foundation/CvMessageUnit.h"
#include "query/CondText.h"
#include "query/DbHandle.h"

bool CRuleFolderTbl::MakeSubCondition(const AnsiString& condition, const AnsiString& columns, TStrings& row) {
  CDbHandle* handle = GetDbHandle();
  if (!handle) return false;
  AnsiString full = condition;
  const AnsiString joins = MakeColumnCondition(condition, columns);
  if (!joins.empty()) full = full.empty() ? joins : "(" + full + ") AND " + joins;
  TStringList conditions;
  if (!full.empty()) conditions.Add(full);
  handle->ListStart(conditions, columns);
  int r;
  while ((r = handle->ListNextNB(row)) == 0) {
  }
  handle->ListEnd();
  return r == 1;
}

bool CRuleFolderTbl::CheckEditColumns(CCapInfoList& shown, CCapInfo* target, CCapInfoList& result) {
  result.Clear();
  if (!target) return false;
  // A linking column is edited through the column it refers to.
  std::unique_ptr<CCapInfo> referred;
  for (int i = 0; i + 1 < Relations.Count(); i += 2) {
    if (QualifiedLeft(Relations[i]) != target->Name) continue;
    referred.reset(CCapInfo::Clone(target));
    referred->Name = Relations[i + 1];
    target = referred.get();
    break;
  }
  const AnsiString table = GetTablePart(target->Name);
  AnsiString message;
  bool ok = false;
  if (table == TableName) {
    int k = shown.Count() - 1;
    while (k >= 0 && shown.GetItem(k)->Name != target->Name) --k;
    if (k >= 0 && shown.GetItem(k)->Shown) {
      CCapInfo* copy = CCapInfo::Clone(target);
      copy->Position = k;
      result.Add(copy);
      ok = true;
    } else {
      message = Format(SJ("編集項目に 「%s」 がありません。").c_str(), target->Name.c_str());
    }
  } else {
    int pair = 0;
    while (pair + 1 < Relations.Count() && GetTablePart(Relations[pair + 1]) != table) pair += 2;
    if (pair + 1 < Relations.Count()) {
      const AnsiString left = QualifiedLeft(Relations[pair]);
      const AnsiString& right = Relations[pair + 1];
      int kL = -1, kR = -1;
      for (int i = 0; i < shown.Count(); ++i) {
        if (!shown.GetItem(i)->Shown) continue;
        if (shown.GetItem(i)->Name == left) kL = i;
        if (shown.GetItem(i)->Name == right) kR = i;
      }
      if (kL < 0) {
        message = Format(SJ("編集項目に 「%s」 がありません。").c_str(), left.c_str());
      } else {
        for (int i = 0; i < shown.Count(); ++i) {
          const CCapInfo* column = shown.GetItem(i);
          if (!column->Shown) continue;
          if (i == kL) {
            if (kR >= 0) continue;
            CCapInfo* copy = CCapInfo::Clone(column);
            copy->Name = right;
            copy->Position = kL;
            result.Add(copy);
          } else if (GetTablePart(column->Name) == table) {
            CCapInfo* copy = CCapInfo::Clone(column);
            copy->Position = i == kR ? kL : -1;
            result.Add(copy);
          }
        }
        ok = true;
      }
    }
  }
  if (!ok && !message.empty()) CvMessageBox(message, SJ("確認"), 0, nullptr);
  return ok;
}

bool CRuleFolderTbl::MakeNextChunkCondition(CCapInfoList& columns, CCapInfo* key, const AnsiString& value) {
  ChunkFolder = nullptr;
  if (columns.Count() == 0 || !key) return false;
  const AnsiString table = GetTablePart(key->Name);
  ChunkFolder = table.empty() || table == TableName ? this : FindTableFolder(table);
  if (!ChunkFolder) return false;
  return StartChunkCursor(ChunkFolder, columns, key, value);
}

bool CRuleFolderTbl::StartChunkCursor(CRuleFolderTbl* folder, CCapInfoList& columns, CCapInfo* key,
                                      const AnsiString& value) {
  const AnsiString name = QualifyColumnName(folder->TableName, key->Name);
  delete folder->ChunkCursor;
  folder->ChunkCursor = nullptr;
  AnsiString condition;
  if (key->DeclaredType == 1) {
    int n;
    if (TryStrToInt(value, n)) condition = Format("%s >= %d", name.c_str(), n);
  } else if (key->DeclaredType == 2) {
    double d;
    if (TryStrToFloat(value, d)) condition = Format("%s >= %lf", name.c_str(), d);
  } else {
    condition = Format("%s >= '%s'", name.c_str(), EscapeQuotes(value).c_str());
  }
  AnsiString list;
  for (int i = 0; i < columns.Count(); ++i)
    list += (i ? "," : "") + QualifyColumnName(folder->TableName, columns.GetItem(i)->Name);
  folder->ChunkEnum = columns.Count() == 1;
  // Without a comparison there are no candidates: an empty condition would list every record.
  CDbHandle* handle = folder->GetDbHandle();
  if (condition.empty() || !handle) return true;
  folder->ChunkCursor = handle->Clone();
  if (folder->ChunkEnum) folder->ChunkCursor->EnumStartCond(condition, list, -1);
  else folder->ChunkCursor->ListStartCond(condition, list);
  return true;
}

int CRuleFolderTbl::NextChunkRow(TStrings& row) { return ChunkFolder ? ChunkCursorStep(ChunkFolder, row) : -1; }

int CRuleFolderTbl::ChunkCursorStep(CRuleFolderTbl* folder, TStrings& row) {
  if (!folder->ChunkCursor) return -1;
  return folder->ChunkEnum ? folder->ChunkCursor->EnumNextNB(row) : folder->ChunkCursor->ListNextNB(row);
}

int CRuleFolderTbl::GetExtendedItemDefs(CCapInfoList& list) { return CollectExtendedCapInfos(list); }

// Not up the parent chain: down into the subtree.
CCapInfo* CRuleFolderTbl::GetExtendedItemValue(const AnsiString& name) { return GetExtendedItemValue_a(name); }
