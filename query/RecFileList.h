// CRecFileList: the tables of one database handle by name, and every table operation on them.
//
// A table name maps to its data file either by registration (AddTable) or, for a name not yet
// known, by asking the resolver the folder tree installs; a name the resolver answers is then
// registered. The first mapped table is the default table of several operations.
//
// Tables are not kept open between operations: each operation opens the table it needs and closes
// it before it returns. Only the two cursors (a listing and an enumeration, each a compiled
// CRecSelect) keep their tables open, for their own lifetime.
//
// Results: the counting operations answer -1 when the table cannot be opened, otherwise the number
// of records or columns that succeeded; the stepping operations 1 (a row), 0 (call again), -1 (the
// end, the cursor is then gone). Messages go through ReportError. One thread at a time.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/Classes.h"

class CKvRecord;
class CRecSelect;

// The data file of a table name, "" when the name is no table the folder tree knows.
using TableResolver = std::function<AnsiString(const AnsiString& table)>;

// Progress callbacks, as the record tables take them.
using RecEnumProgress = int (*)(int count);
using RecProgress = int (*)(void* context, int count);

class CRecFileInfo {
 public:
  AnsiString FileName;
  AnsiString TableName;
};

class CRecFileList {
 public:
  CRecFileList();
  ~CRecFileList();
  CRecFileList(const CRecFileList&) = delete;
  CRecFileList& operator=(const CRecFileList&) = delete;

  // ---- Tables by name ----
  bool AddTable(const AnsiString& file, const AnsiString& table);  // false: name known already
  bool RemoveTable(const AnsiString& table);                        // false: name unknown
  // Deletes the table's file and forgets the name; the store's answer.
  bool DeleteTable(const AnsiString& table);
  bool TableExists(const AnsiString& table);
  // "" gives the first mapped table's file; an unknown name is asked of the resolver.
  AnsiString GetFileName(const AnsiString& table);
  // A new, open table object (the caller owns it; the file is created when missing), or null
  // after a message.
  CKvRecord* OpenTable(const AnsiString& table);
  void ClearTables();  // forgets every name; cursors and resolver stay
  void SetTableResolver(TableResolver resolver) { resolver_ = std::move(resolver); }
  int Count() const { return names_.Count(); }
  const CRecFileInfo* Get(int i) const { return static_cast<const CRecFileInfo*>(names_.Objects(i)); }

  // ---- The list cursor ----
  // An empty table text takes the first mapped table. False (and no cursor) when it does not compile.
  // Where the select allows its files to be held (CRecSelect::CanHoldFiles), one step reads up to
  // kReadAheadRows rows, or for kReadAheadMs, under one hold of the files, and hands them out one
  // per step. The first read of a listing takes kReadAheadFirst rows, each later one twice as many
  // as the one before, up to kReadAheadRows.
  static constexpr int kReadAheadFirst = 16;
  static constexpr int kReadAheadRows = 1024;
  static constexpr int kReadAheadMs = 5;
  bool ListStart(const AnsiString& columns, const AnsiString& tables, const AnsiString& condition);
  bool ListNext(TStrings& row);
  int ListNextNB(TStrings& row);
  void ListEnd();

  // ---- Writing ----
  // One record from values paired with the columns, matched to the tables as CRecInserter does
  // (an import keeps its tables open through one CRecInserter instead); true when every table
  // took its part.
  bool InsertRecord(const AnsiString& columns, const AnsiString& tables, const TStrings& values);
  bool UpdateRecords(const AnsiString& columns, const AnsiString& table, const TStrings& values,
                     const AnsiString& condition);
  int DeleteRecords(const AnsiString& table, const TStrings& ids);
  int SetValue(const AnsiString& table, const TStrings& ids, const AnsiString& column, const AnsiString& value);

  // ---- Columns ----
  // 1 added, 0 already there, -1 failure.
  int AddColumn(const AnsiString& table, const AnsiString& column, const AnsiString& type, int length);
  void GetColumnTypes(const AnsiString& table, TStrings& names, TStrings* types);
  void GetAllColumns(TStrings& names, TStrings& types);
  void GetColumnInfo(const AnsiString& table, TStrings& names, TStrings* types, TStrings* options);
  // The number of columns rewritten; -1 when the table cannot be opened or written.
  int SetColumnInfo(const AnsiString& table, const TStrings& names, const TStrings& options);
  int ReIndexTable(const AnsiString& table, RecProgress progress, void* context);

  // ---- Distinct values ----
  // Fills out at once with the values of column ("table.column"), cut to cut bytes when above 0
  // (a cut value has the object 1). Without a condition the column's index is walked; with one
  // the result is sorted.
  bool EnumStart(const AnsiString& condition, const AnsiString& column, int cut, TStrings& out,
                 RecEnumProgress progress);
  void EnumStartCond(const AnsiString& condition, const AnsiString& column, int cut);
  bool EnumNext(TStrings& list);
  int EnumNextNB(TStrings& list);
  void EnumEnd();

  // Registers a computed column with the list cursor, else with the enumeration cursor.
  void GetExtendedValue(const AnsiString& name, int type, const AnsiString& expression);

  // The word, quoted-string and number tokens of text, in order (the caller owns the list).
  static TStringList* SplitNames(const AnsiString& text);

 private:
  int IndexOfName(const AnsiString& table) const { return names_.IndexOf(table); }
  void ReadAhead();


  int enumCut_ = 0;
  TStringList names_;  // table name -> owned CRecFileInfo
  std::unique_ptr<CRecSelect> list_;
  std::vector<AnsiString> aheadTexts_;  // texts of the rows read ahead from the list cursor, in order
  std::vector<size_t> aheadEnds_;       // per row read ahead: the end of its texts
  size_t aheadRow_ = 0;                 // the next row read ahead to hand out
  bool listEnded_ = false;              // the list cursor has given its last row
  int aheadRun_ = 0;                    // rows the last read ahead aimed at
  std::unique_ptr<CRecSelect> enum_;
  TableResolver resolver_;
};

// The text cut after the character that starts at byte n (counted from 1): a double-byte
// character whose lead byte is byte n stays whole. A text of at most n bytes is unchanged.
AnsiString TruncateTextBytes(const AnsiString& text, int n);
