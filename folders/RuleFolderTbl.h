// Table folders: the folders bound to one record table each, always sub-folders of the root.
//
// A table folder keeps its table's name and data file, an own database handle on which that table
// is registered (other tables are found among the sibling table folders by name, the first in the
// root's child order winning), and the relations of its table as pairs of texts:
//
//   position      text                          meaning
//   0, 2, 4 ...   column, or table.column       a column L of this folder's table
//   1, 3, 5 ...   table.column                  the column R of another table that L refers to
//
// A join comparison is L' " = " R, L' being L qualified with this folder's table when it has no
// table part; a join path is a chain of them joined by " AND ", followed only from the referring
// table to the referred one. The folder answers for its whole subtree the requests that ordinary
// folders pass up: joins, linked records, related tables, extended items and input candidates.
#pragma once

#include "folders/RuleFolder.h"

class CRuleFolderTbl : public CRuleFolder {
 public:
  explicit CRuleFolderTbl(CRuleFolder* parent);
  ~CRuleFolderTbl() override;

  bool FindLinkedRecords(const AnsiString& table, AnsiString& column, AnsiString& value) override;
  AnsiString GetTypeName() override;
  AnsiString GetTableName() override;
  // Edits the table definition: -1 without a handle, 0 when nothing was applied, 1 when it was.
  int EditFolder() override;
  TPopupMenu* PopupFolderMenu() override { return nullptr; }
  bool Save(TStream* stream) override;
  bool Load(TStream* stream) override;
  AnsiString MakeJoinCondition(const AnsiString& tableA, const AnsiString& tableB) override;
  AnsiString MakeJoinCondition_a(const AnsiString& tableA, const AnsiString& tableB) override;
  AnsiString ResolveExtendedCondition(const AnsiString& condition, CCapInfoList* columns) override;
  AnsiString ResolveExtendedCondition_a(const AnsiString& text1, const AnsiString& text2) override;
  void AddReferencedTables(const TStrings& conditions, const AnsiString& columns) override;
  bool MakeSubCondition(const AnsiString& condition, const AnsiString& columns, TStrings& row) override;
  // Imports a file into the table through the CSV import dialog, with the import settings of
  // origin (this folder when none); file, when given, is filled in and previewed. True, count set
  // to the records stored (0 when cancelled or the file did not open).
  bool ImportFile(int* result, const AnsiString& file, CRuleFolder* origin) override;
  bool CheckEditColumns(CCapInfoList& shown, CCapInfo* target, CCapInfoList& result) override;
  bool MakeNextChunkCondition(CCapInfoList& columns, CCapInfo* key, const AnsiString& value) override;
  int NextChunkRow(TStrings& row) override;
  int CollectRelatedTables(TStrings& list) override;
  int GetExtendedItemDefs(CCapInfoList& list) override;
  CCapInfo* GetExtendedItemValue(const AnsiString& name) override;

  // Binds the table to the folder's own handle: resolver installed, every table forgotten, the
  // folder's own table registered. The registration's result; false without a handle.
  bool ResetTables();
  // The data file of a table name: the own table's, else the first sibling's of that name; "".
  AnsiString ResolveTableFile(const AnsiString& table);

  // The first sibling table folder (the root's sub-folders of type "table") with that table name,
  // this folder included unless skipSelf; none when there is none.
  CRuleFolderTbl* FindTableFolder(const AnsiString& table, bool skipSelf = false);
  // The qualified left text of a relation: L' above.
  AnsiString QualifiedLeft(const AnsiString& left);

  static AnsiString MakeRelationCondition(CRuleFolderTbl* folder, const AnsiString& table);
  static AnsiString MakeJoinPath(CRuleFolderTbl* folder, const AnsiString& table, TList* visited);
  static bool CollectJoinConditions(CRuleFolderTbl* folder, TStrings& list, const AnsiString& table, TList* visited);
  static AnsiString MakeTableJoinConditions(CRuleFolderTbl* folder, const AnsiString& text1, CCapInfoList* columns,
                                            const AnsiString& text2);
  static int AddRelatedTables(CRuleFolderTbl* folder, TStrings& list);
  static bool StartChunkCursor(CRuleFolderTbl* folder, CCapInfoList& columns, CCapInfo* key, const AnsiString& value);
  static int ChunkCursorStep(CRuleFolderTbl* folder, TStrings& row);
  // The progress callback of the re-index after a table edit: stops the pass at 100 records.
  static int ReIndexProgress(void* context, int done);
  // Keeps in the subtree only the columns of the tables the relations reach, then refreshes the
  // display columns from the table's current columns.
  void AlignDisplayColumns(CDbHandle* handle);

  CDbHandle* ChunkCursor = nullptr;  // owned copy of the handle holding the candidates cursor
  bool ChunkEnum = false;            // the cursor enumerates one column's distinct values
  CRuleFolderTbl* ChunkFolder = nullptr;  // the table folder whose cursor serves this one
  AnsiString TableName;
  AnsiString DataFile;
  TStringList Relations;
};

// Keeps in folder and below only the display columns of the listed tables, of "__拡張項目__" and
// those without a table part.
void KeepTableColumns(CRuleFolder* folder, const TStrings& tables);
void KeepTableColumnsTree(CRuleFolder* folder, const TStrings& tables);
