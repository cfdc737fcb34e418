// The table-definition dialog: a table folder's name, icons, table, data file, columns with their
// types and automatic values, sub-folder order and relations. Openers fill it, run it modally and,
// only after modal result 1, read the definition back.
#pragma once

#include "platform/Forms.h"

class CCapInfoList;
class CRuleFolderTbl;
class TImageList;

class TEditTableDlg : public TForm {
 public:
  explicit TEditTableDlg(TComponent* owner);
  void SetImageList(TImageList* list) { ImageList = list; }
  // Shows the table folder's definition and the columns of its table.
  void SetTableFolder(CRuleFolderTbl* folder, CCapInfoList* columns);

  // ---- Reading back after modal result 1 ----
  AnsiString GetTableName() const { return TableName; }
  // The data file with its extension replaced by ".kvr".
  AnsiString GetDataFileName() const;
  // Writes into folder its table name, data file, name, icons and relations, and gives the
  // columns in the dialog's order: names (the type code 0-3 as each entry's object), type names
  // and option lines.
  void GetColumns(CRuleFolderTbl* folder, TStrings& names, TStrings& types, TStrings& options);

  TImageList* ImageList = nullptr;
  bool NewTable = false;
  bool CanDeleteColumns = false;
  TStrings* ExistingTables = nullptr;  // not owned
  AnsiString FolderName;
  AnsiString TableName;
  AnsiString FileName;
  int ClosedImage = -1;
  int OpenImage = -1;
  TStringList Order;          // sub-folder names with the folders as objects
  TStringList ColumnNames;
  TStringList ColumnTypes;    // "string", "keyword", "int", "real"
  TStringList ColumnOptions;  // option lines
  TStringList Relations;      // own column, then "table.column", pair after pair
};
