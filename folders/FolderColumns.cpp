// Display columns of a folder: the listed columns, the alignment with the table's columns and the
// display-format dialog.
#include "folders/CapEditForm.h"
#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "query/DbHandle.h"
#include "query/TableInfo.h"
#include "store/Kvrcolinfo.h"

namespace {

// The tables whose record ids a display list needs, in the order given: the table parts of the
// columns, a column without one standing for the folder's own table.
void NoteTable(TStrings& tables, const AnsiString& name, const AnsiString& ownTable) {
  AnsiString table = GetTablePart(name);
  if (table.empty()) table = ownTable;
  if (table.empty() || table == ExtendedItemsTableName() || tables.IndexOf(table) >= 0) return;
  tables.Add(table);
}

CCapInfo* NewRecIdColumn(const AnsiString& table) {
  auto* info = new CCapInfo;
  info->Caption = REC_ID_COLUMN;
  info->Name = table + "." + REC_ID_COLUMN;
  info->Shown = false;
  return info;
}

int DisplayTypeOf(const AnsiString& typeName) { return typeName == "int" ? 1 : typeName == "real" ? 2 : 0; }

void LoadOptions(CCapInfo* info, const AnsiString& line) {
  uint32_t flags = 0;
  TextToColOpt(line, flags, info->OptionText1, info->OptionText2);
  info->ColumnOptions = flags;
}

}  // namespace

CCapInfoList* CRuleFolder::MakeDefaultCapInfoList() {
  CRuleFolder* owner = FormatOwner();
  if (!owner) return nullptr;
  CCapInfoList* own = owner->CapInfoList;
  if (!owner->ListedColumns) {
    owner->ListedColumns = new CCapInfoList;
    owner->ListedColumns->OwnsItems = false;
  } else {
    owner->ListedColumns->TList::Clear();
  }
  CCapInfoList* listed = owner->ListedColumns;
  TStringList tables;
  const AnsiString ownTable = owner->GetTableName();
  for (int i = 0; i < own->Count(); ++i) {
    CCapInfo* info = own->GetItem(i);
    NoteTable(tables, info->Name, ownTable);
    if (info->Shown) listed->Add(info);
  }
  for (int t = 0; t < tables.Count(); ++t) {
    const int k = own->IndexOfName(tables[t] + "." + REC_ID_COLUMN);
    if (k < 0) {
      CCapInfo* info = NewRecIdColumn(tables[t]);
      own->Add(info);
      listed->Add(info);
    } else if (!own->GetItem(k)->Shown) {
      listed->Add(own->GetItem(k));
    }
  }
  return listed;
}

void CRuleFolder::RefreshCapInfoList(CDbHandle* handle, const TStrings& names, const TStrings& types,
                                     const TStrings& options) {
  if (!CapInfoList) return;
  CCapInfoList* own = CapInfoList;
  ForgetListedColumns();

  TStringList tables;
  const AnsiString ownTable = GetTableName();
  for (int i = own->Count() - 1; i >= 0; --i) NoteTable(tables, own->GetItem(i)->Name, ownTable);
  for (int t = 0; t < tables.Count(); ++t)
    if (own->IndexOfName(tables[t] + "." + REC_ID_COLUMN) < 0) own->Add(NewRecIdColumn(tables[t]));

  TStringList others;
  GetTableList(others);
  for (int i = others.Count() - 1; i >= 0; --i)
    if (others[i] == ownTable) others.Delete(i);

  std::vector<bool> seen(static_cast<size_t>(names.Count()), false);
  int shown = 0;
  for (int i = own->Count() - 1; i >= 0; --i) {
    CCapInfo* info = own->GetItem(i);
    bool repeated = false;
    for (int j = 0; j < i && !repeated; ++j) repeated = own->GetItem(j)->Name == info->Name;
    if (repeated) {
      own->Delete(i);
      continue;
    }
    if (info->Shown) ++shown;
    if (info->Flags & CI_EXTENDED) continue;
    const int k = names.IndexOf(info->Name);
    if (k >= 0) {
      // The table's definition of the column: it cannot be stale in the display format.
      seen[static_cast<size_t>(k)] = true;
      const AnsiString type = k < types.Count() ? types[k] : AnsiString();
      info->Type = DisplayTypeOf(type);
      info->DeclaredType = FieldTypeFromName(type);
      if (handle) info->Editable = handle->IsDataColumn(info->Name);
      LoadOptions(info, k < options.Count() ? options[k] : AnsiString());
      continue;
    }
    const int o = others.IndexOf(GetTablePart(info->Name));
    CCapInfoList* theirs = o >= 0 ? static_cast<CRuleFolder*>(others.Objects(o))->GetCapInfoList() : nullptr;
    if (!theirs || theirs->IndexOfName(info->Name) < 0) own->Delete(i);
  }

  for (int k = 0; k < names.Count(); ++k) {
    if (seen[static_cast<size_t>(k)]) continue;
    const AnsiString type = k < types.Count() ? types[k] : AnsiString();
    auto* info = new CCapInfo;
    info->Name = names[k];
    info->Caption = GetFieldPart(names[k]);
    info->Shown = false;
    info->Type = DisplayTypeOf(type);
    info->DeclaredType = FieldTypeFromName(type);
    info->Editable = handle ? handle->IsDataColumn(names[k]) : true;
    LoadOptions(info, k < options.Count() ? options[k] : AnsiString());
    own->Add(info);
  }

  for (int i = 0; handle && i < own->Count(); ++i)
    if (!handle->IsDataColumn(own->GetItem(i)->Name)) own->GetItem(i)->Editable = false;

  if (shown == 0 && own->Count() > 0)
    for (int i = 0; i < own->Count(); ++i)
      if (GetFieldPart(own->GetItem(i)->Name) != REC_ID_COLUMN) own->GetItem(i)->Shown = true;
}

void CRuleFolder::RefreshCapInfoListTree(CDbHandle* handle, const TStrings& names, const TStrings& types,
                                         const TStrings& options) {
  RefreshCapInfoList(handle, names, types, options);
  for (int i = Children.Count() - 1; i >= 0; --i) Children.Get(i)->RefreshCapInfoListTree(handle, names, types, options);
}

void CRuleFolder::SyncCapInfoList() {
  CDbHandle* handle = GetDbHandle();
  if (!CapInfoList || !handle) return;
  const AnsiString table = GetTableName();
  TStringList names, types, options;
  handle->GetColumnInfo(table, names, &types, &options);
  for (int i = 0; i < names.Count(); ++i) names.SetString(i, table + "." + names[i]);
  RefreshCapInfoList(handle, names, types, options);
}

int CRuleFolder::EditCapInfo() {
  CRuleFolder* owner = FormatOwner();
  if (!owner) return -1;
  owner->SyncCapInfoList();
  auto* dialog = new TFormCapEdit(Application);
  dialog->Folder = this;
  dialog->SetCaption(Format(SJ("表示書式設定 - %s").c_str(), GetFolderPath(this).c_str()));
  dialog->UpdateCount = 0;
  dialog->SetCapInfoList(owner->CapInfoList);
  dialog->ShowModal();
  const int count = dialog->UpdateCount;
  delete dialog;
  return count;
}
