// Walks and rewrites of a folder's subtree: renaming a table throughout it, keeping only the
// columns of given tables, and gathering its table folders.
#include "folders/FolderText.h"
#include "folders/RuleFolder.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "foundation/Listfunc.h"
#include "query/CondText.h"
#include "query/TableInfo.h"

namespace {

// name with its table part replaced when that part is oldName.
AnsiString RenameTable(const AnsiString& name, const AnsiString& oldName, const AnsiString& newName) {
  if (name.empty() || GetTablePart(name) != oldName) return name;
  return newName + "." + GetFieldPart(name);
}

void RenameColumns(CCapInfoList* list, const AnsiString& oldName, const AnsiString& newName) {
  for (int i = list ? list->Count() - 1 : -1; i >= 0; --i)
    list->GetItem(i)->Name = RenameTable(list->GetItem(i)->Name, oldName, newName);
}

}  // namespace

AnsiString LexTokenText(const CLexer& lexer) {
  if (lexer.Kind >= 0 && lexer.Kind < 256) return AnsiString(1, static_cast<char>(lexer.Kind));
  return lexer.Token;
}

void CRuleFolder::ReplaceTableName(const AnsiString& oldName, const AnsiString& newName) {
  ForgetListedColumns();
  RenameColumns(CapInfoList, oldName, newName);
  RenameColumns(SumCapInfoList, oldName, newName);
  EnumItem = RenameTable(EnumItem, oldName, newName);
  AnsiString rebuilt;
  CLexer lexer(Condition.c_str());
  for (lexer.NextToken(); lexer.Kind != LEX_END; lexer.NextToken()) {
    if (lexer.Kind == LEX_NAME) rebuilt += RenameTable(lexer.Token, oldName, newName) + " ";
    else if (lexer.Kind == LEX_STRING) rebuilt += "'" + EscapeQuotes(lexer.Token) + "' ";
    else rebuilt += LexTokenText(lexer) + " ";
  }
  Condition = rebuilt;
  for (int i = Children.Count() - 1; i >= 0; --i) Children.Get(i)->ReplaceTableName(oldName, newName);
}

int CRuleFolder::CollectTableFolders(TList& list) {
  for (int i = 0; i < Children.Count(); ++i) {
    CRuleFolder* child = Children.Get(i);
    if (child->GetTypeName() == "table") list.Add(child);
    else child->CollectTableFolders(list);
  }
  return list.Count();
}

void CRuleFolder::RemoveTableColumns(const AnsiString& table) {
  TStringList tables;
  tables.Add(table);
  RemoveTableColumns_a(tables);
}

void CRuleFolder::RemoveTableColumns_a(const TStrings& tables) {
  for (int i = CapInfoList ? CapInfoList->Count() - 1 : -1; i >= 0; --i) {
    const CCapInfo* info = CapInfoList->GetItem(i);
    if (!(info->Flags & CI_EXTENDED) && FindString(&tables, GetTablePart(info->Name), false) < 0) DeleteCapInfo(i);
  }
  for (int i = SumCapInfoList ? SumCapInfoList->Count() - 1 : -1; i >= 0; --i)
    if (FindString(&tables, GetTablePart(SumCapInfoList->GetItem(i)->Name), false) < 0) SumCapInfoList->Delete(i);
  for (int i = Children.Count() - 1; i >= 0; --i) Children.Get(i)->RemoveTableColumns_a(tables);
}

void KeepTableColumns(CRuleFolder* folder, const TStrings& tables) {
  CCapInfoList* own = folder->CapInfoList;
  for (int i = own ? own->Count() - 1 : -1; i >= 0; --i) {
    const AnsiString table = GetTablePart(own->GetItem(i)->Name);
    if (table.empty() || table == ExtendedItemsTableName()) continue;
    if (FindString(&tables, table, false) < 0) folder->DeleteCapInfo(i);
  }
}

void KeepTableColumnsTree(CRuleFolder* folder, const TStrings& tables) {
  KeepTableColumns(folder, tables);
  for (int i = folder->Children.Count() - 1; i >= 0; --i) KeepTableColumnsTree(folder->Children.Get(i), tables);
}
