#include "folders/RuleFolderTbl.h"

#include <memory>

#include "folders/DataChkUnit.h"
#include "folders/EditTableUnit.h"
#include "folders/FolderText.h"
#include "foundation/CapInfo.h"
#include "foundation/CvMessageUnit.h"
#include "platform/SysUtils.h"
#include "query/CondText.h"
#include "query/DbHandle.h"
#include "query/TableInfo.h"

namespace {

// Index of an entry equal to text ignoring letter case, -1 when none.
int IndexOfText(const TStrings& list, const AnsiString& text) {
  for (int i = 0; i < list.Count(); ++i)
    if (SameText(list[i], text)) return i;
  return -1;
}

AnsiString JoinAnd(const TStrings& list) {
  AnsiString text;
  for (int i = 0; i < list.Count(); ++i) text += (i ? " AND " : "") + list[i];
  return text;
}

}  // namespace

CRuleFolderTbl::CRuleFolderTbl(CRuleFolder* parent) : CRuleFolder(parent) {
  Kind = FOLDER_HEADING;
  Flags = FOLDER_FLAGS_TABLE;
  DbHandle = new CDbHandle;
  DbHandle->SetTableResolver([this](const AnsiString& table) { return ResolveTableFile(table); });
}

CRuleFolderTbl::~CRuleFolderTbl() {
  if (DbHandle) DbHandle->RemoveTable(TableName);
  delete ChunkCursor;
  // A sibling whose candidates this folder served must not keep pointing here.
  for (int i = 0; Parent && i < Parent->Children.Count(); ++i)
    if (auto* sibling = dynamic_cast<CRuleFolderTbl*>(Parent->Children.Get(i)); sibling && sibling->ChunkFolder == this)
      sibling->ChunkFolder = nullptr;
}

AnsiString CRuleFolderTbl::GetTypeName() { return "table"; }
AnsiString CRuleFolderTbl::GetTableName() { return TableName; }

CRuleFolderTbl* CRuleFolderTbl::FindTableFolder(const AnsiString& table, bool skipSelf) {
  if (!Parent) return !skipSelf && TableName == table ? this : nullptr;
  for (int i = 0; i < Parent->Children.Count(); ++i) {
    auto* folder = dynamic_cast<CRuleFolderTbl*>(Parent->Children.Get(i));
    if (folder && !(skipSelf && folder == this) && folder->TableName == table) return folder;
  }
  return nullptr;
}

AnsiString CRuleFolderTbl::QualifiedLeft(const AnsiString& left) {
  return left.find('.') == AnsiString::npos ? TableName + "." + left : left;
}

// ---- Binding -----------------------------------------------------------------------------------

bool CRuleFolderTbl::ResetTables() {
  CDbHandle* handle = GetDbHandle();
  if (!handle) return false;
  handle->SetTableResolver([this](const AnsiString& table) { return ResolveTableFile(table); });
  handle->ClearTables();
  return handle->AddTable(DataFile, TableName);
}

AnsiString CRuleFolderTbl::ResolveTableFile(const AnsiString& table) {
  if (table == TableName) return DataFile;
  const CRuleFolderTbl* folder = FindTableFolder(table);
  return folder ? folder->DataFile : AnsiString();
}

void CRuleFolderTbl::AddReferencedTables(const TStrings& conditions, const AnsiString& columns) {
  CDbHandle* handle = GetDbHandle();
  if (!handle) return;
  TStringList tables;
  auto note = [&](const AnsiString& name, int) {
    const AnsiString table = GetTablePart(name);
    if (!table.empty() && tables.IndexOf(table) < 0) tables.Add(table);
  };
  for (int i = 0; i < conditions.Count(); ++i) ForEachName(conditions[i], note);
  ForEachName(columns, note);
  if (!Parent) return;
  for (int i = 0; i < Parent->Children.Count(); ++i) {
    auto* folder = dynamic_cast<CRuleFolderTbl*>(Parent->Children.Get(i));
    if (folder && tables.IndexOf(folder->TableName) >= 0) handle->AddTable(folder->DataFile, folder->TableName);
  }
}

// ---- Relations ---------------------------------------------------------------------------------

AnsiString CRuleFolderTbl::MakeRelationCondition(CRuleFolderTbl* folder, const AnsiString& table) {
  const TStrings& r = folder->Relations;
  for (int i = 0; i + 1 < r.Count(); i += 2)
    if (GetTablePart(r[i + 1]) == table) return folder->QualifiedLeft(r[i]) + " = " + r[i + 1];
  return AnsiString();
}

AnsiString CRuleFolderTbl::MakeJoinPath(CRuleFolderTbl* folder, const AnsiString& table, TList* visited) {
  std::unique_ptr<TList> own;
  if (!visited) visited = (own = std::make_unique<TList>()).get();
  if (visited->IndexOf(folder) >= 0) return AnsiString();
  visited->Add(folder);
  if (folder->TableName == table) return AnsiString();
  const AnsiString direct = MakeRelationCondition(folder, table);
  if (!direct.empty()) return direct;
  const TStrings& r = folder->Relations;
  for (int i = 0; i + 1 < r.Count(); i += 2) {
    CRuleFolderTbl* next = folder->FindTableFolder(GetTablePart(r[i + 1]), true);
    if (!next) continue;
    const AnsiString path = MakeJoinPath(next, table, visited);
    if (!path.empty()) return folder->QualifiedLeft(r[i]) + " = " + r[i + 1] + " AND " + path;
  }
  return AnsiString();
}

bool CRuleFolderTbl::CollectJoinConditions(CRuleFolderTbl* folder, TStrings& list, const AnsiString& table,
                                           TList* visited) {
  if (table == ExtendedItemsTableName()) return false;
  std::unique_ptr<TList> own;
  if (!visited) visited = (own = std::make_unique<TList>()).get();
  if (visited->IndexOf(folder) >= 0) return false;
  visited->Add(folder);
  if (folder->TableName == table) return true;
  const AnsiString direct = MakeRelationCondition(folder, table);
  if (!direct.empty()) {
    if (IndexOfText(list, direct) < 0) list.Add(direct);
    return true;
  }
  const TStrings& r = folder->Relations;
  for (int i = 0; i + 1 < r.Count(); i += 2) {
    CRuleFolderTbl* next = folder->FindTableFolder(GetTablePart(r[i + 1]), true);
    if (!next || !CollectJoinConditions(next, list, table, visited)) continue;
    const AnsiString join = folder->QualifiedLeft(r[i]) + " = " + r[i + 1];
    if (IndexOfText(list, join) < 0) list.Add(join);
    return true;
  }
  return false;
}

AnsiString CRuleFolderTbl::MakeTableJoinConditions(CRuleFolderTbl* folder, const AnsiString& text1,
                                                   CCapInfoList* columns, const AnsiString& text2) {
  TStringList tables;
  auto add = [&](const AnsiString& table) {
    if (!table.empty() && table != folder->TableName && tables.IndexOf(table) < 0) tables.Add(table);
  };
  auto note = [&](const AnsiString& name, int next) {
    if (next != '(') add(GetTablePart(name));
  };
  ForEachName(text1, note);
  ForEachName(text2, note);
  for (int i = columns ? columns->Count() - 1 : -1; i >= 0; --i) {
    const CCapInfo* column = columns->GetItem(i);
    const AnsiString table = GetTablePart(column->Name);
    if (table.empty() || table == folder->TableName) continue;
    if (table == ExtendedItemsTableName()) ForEachName(column->Expression, note);
    else add(table);
  }
  TStringList joins;
  for (int i = 0; i < tables.Count(); ++i) CollectJoinConditions(folder, joins, tables[i], nullptr);
  return JoinAnd(joins);
}

AnsiString CRuleFolderTbl::MakeJoinCondition(const AnsiString& tableA, const AnsiString& tableB) {
  CRuleFolderTbl* folder = FindTableFolder(tableA);
  return folder ? MakeRelationCondition(folder, tableB) : AnsiString();
}

AnsiString CRuleFolderTbl::MakeJoinCondition_a(const AnsiString& tableA, const AnsiString& tableB) {
  CRuleFolderTbl* folder = FindTableFolder(tableA);
  return folder ? MakeJoinPath(folder, tableB, nullptr) : AnsiString();
}

AnsiString CRuleFolderTbl::ResolveExtendedCondition(const AnsiString& condition, CCapInfoList* columns) {
  return MakeTableJoinConditions(this, condition, columns, AnsiString());
}

AnsiString CRuleFolderTbl::ResolveExtendedCondition_a(const AnsiString& text1, const AnsiString& text2) {
  return MakeTableJoinConditions(this, text1, nullptr, text2);
}

bool CRuleFolderTbl::FindLinkedRecords(const AnsiString& table, AnsiString& column, AnsiString& value) {
  const AnsiString linked = GetTablePart(column);
  // A column named without its table is a column of the target table itself: nothing to follow.
  if (linked.empty()) {
    column = QualifyColumnName(table, column);
    return true;
  }
  CRuleFolderTbl* from = FindTableFolder(table);
  const AnsiString path = from ? MakeJoinPath(from, linked, nullptr) : AnsiString();
  if (path.empty()) return false;
  AnsiString a, b;
  ForEachName(path, [&](const AnsiString& name, int) {
    if (a.empty()) a = name;
    else if (b.empty()) b = name;
  });
  if (b.empty()) return false;
  CRuleFolderTbl* via = FindTableFolder(GetTablePart(b));
  const AnsiString rest = via ? MakeJoinPath(via, linked, nullptr) : AnsiString();
  AnsiString condition = column + " = '" + EscapeQuotes(value) + "'";
  if (!rest.empty()) condition += " AND " + rest;
  // The query runs over the linked tables alone: over the target table too, it would find nothing
  // while that table is empty, which is when records are first dropped into it.
  CDbHandle* handle = GetDbHandle();
  if (!handle) return false;
  CRecFileList* files = handle->GetRecFileList();
  TStringList row;
  int r = -1;
  if (files->ListStart(b, GetTablePart(b), condition))
    while ((r = files->ListNextNB(row)) == 0) {
    }
  files->ListEnd();
  if (r != 1 || row.Count() == 0) return false;
  column = a;
  value = row[0];
  return true;
}

int CRuleFolderTbl::AddRelatedTables(CRuleFolderTbl* folder, TStrings& list) {
  const TStrings& r = folder->Relations;
  for (int i = 0; i + 1 < r.Count(); i += 2) {
    const AnsiString table = GetTablePart(r[i + 1]);
    if (IndexOfText(list, table) >= 0) continue;
    CRuleFolderTbl* next = folder->FindTableFolder(table);
    if (!next) continue;
    list.AddObject(table, next);
    AddRelatedTables(next, list);
  }
  return list.Count();
}

int CRuleFolderTbl::CollectRelatedTables(TStrings& list) {
  AddRelatedTables(this, list);
  const int own = list.IndexOf(TableName);
  if (own >= 0) list.Delete(own);
  return list.Count();
}

// ---- Editing the table definition --------------------------------------------------------------

int CRuleFolderTbl::ReIndexProgress(void*, int done) { return done < 100 ? 0 : -1; }

void CRuleFolderTbl::AlignDisplayColumns(CDbHandle* handle) {
  TStringList names, types, options;
  handle->GetColumnInfo(TableName, names, &types, &options);
  for (int i = 0; i < names.Count(); ++i) names.SetString(i, TableName + "." + names[i]);
  TStringList related;
  CollectRelatedTables(related);
  if (related.IndexOf(TableName) < 0) related.AddObject(TableName, this);
  KeepTableColumnsTree(this, related);
  RefreshCapInfoListTree(handle, names, types, options);
}

int CRuleFolderTbl::EditFolder() {
  CDbHandle* handle = GetDbHandle();
  if (!handle) return -1;
  auto* dialog = new TEditTableDlg(Application);
  dialog->SetImageList(FolderImageList);
  dialog->SetTableFolder(this, CapInfoList);
  if (dialog->ShowModal() != mrOk) {
    delete dialog;
    return 0;
  }
  const AnsiString file = dialog->GetDataFileName();
  bool exists;
  {
    CDbHandle probe;
    probe.AddTable(file, dialog->GetTableName());
    exists = probe.TableExists(dialog->GetTableName());
  }
  if (!exists) {
    CvMessageBox(Format(SJ("ファイル %s がありません。").c_str(), file.c_str()), SJ("確認"), 0, nullptr);
    delete dialog;
    return 0;
  }
  DataFile = file;
  handle->RemoveTable(TableName);
  if (!ResetTables()) {
    delete dialog;
    return 0;
  }
  TStringList current, currentTypes, currentOptions;
  handle->GetColumnInfo(TableName, current, &currentTypes, &currentOptions);
  TStringList names, types, options;
  dialog->GetColumns(this, names, types, options);
  int added = 0;
  for (int i = 0; i < names.Count(); ++i) {
    if (current.IndexOf(names[i]) >= 0) continue;
    const int code = static_cast<int>(reinterpret_cast<intptr_t>(names.Objects(i)));
    if (!handle->AddColumn(TableName, names[i], FieldTypeName(code), 16)) break;
    ++added;
  }
  handle->SetColumnInfo(TableName, names, options);
  AlignDisplayColumns(handle);
  ReorderChildren(*dialog->ListBox1->Items());
  if (added > 0 && FileExists(DataFile) && handle->ReIndexTable(TableName, ReIndexProgress, this) < 0) {
    auto* check = new TDataChkDlg(Application);
    check->IndexMode = true;
    check->SetFolder(this);
    check->ShowModal();
    delete check;
  }
  AddModified(1);
  if (OnTreeChanged) OnTreeChanged(this);
  delete dialog;
  return 1;
}
