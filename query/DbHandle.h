// CDbHandle: the one door through which the folders reach their tables: registration of tables
// by name, listing and enumeration cursors, record writes, column definitions and imports. Every
// data operation is forwarded to the owned record-file list.
//
// Registered tables are pairs (data file, table name) in two parallel lists; a table name occurs
// at most once, a file may serve several names. The record-file list may know further tables
// through its resolver; only registered ones are in the lists. The first registered table (row 0)
// is the default of several operations.
//
// The table block in the folder file is two length-prefixed records (foundation/
// LengthPrefixedText.h), each a comma text followed by a line feed:
//
//   record  holds                            as written   as read
//   1       the data-file names, in order    empty list   every name, when any
//   2       the table names, in order        empty list   every name, when any
//
// So each record is written as "00000001" and the byte 0x0A. Reading also accepts records that
// carry names: row i of both becomes a registered table (rows with an empty name are skipped).
//
// Owns the record-file list (with its open cursors) and the two lists. One thread at a time: the
// user-interface thread, or a worker while that thread waits in the worker's modal dialog.
#pragma once

#include <memory>

#include "platform/Classes.h"
#include "query/RecFileList.h"

class CCapInfo;
class CCsvFile;
class TFileByteLock;

// Far past any data, so the update lock never meets the engine's locks.
constexpr int64_t DB_UPDATE_LOCK_BYTE = int64_t(1) << 62;

class CDbHandle {
 public:
  CDbHandle();
  virtual ~CDbHandle();
  CDbHandle(const CDbHandle&) = delete;
  CDbHandle& operator=(const CDbHandle&) = delete;

  // A new handle (the caller owns it) with every registered pair added again, in order; the
  // resolver is not copied.
  virtual CDbHandle* Clone();
  // False when the name is registered already or the record-file list knows it already.
  virtual bool AddTable(const AnsiString& file, const AnsiString& table);
  virtual bool RemoveTable(const AnsiString& table);  // false: not registered
  // Deletes the table's files and forgets it; the deletion's result.
  virtual bool DeleteTable(const AnsiString& table);
  virtual bool RemoveTableByFile(const AnsiString& file);  // false: no row has that file
  // True when at least one table is registered and every registered table exists.
  virtual bool MainTableExists();
  // Whether the column part of a name (a "table." part is ignored) is, or is not, the record id;
  // both false while no table is registered.
  virtual bool IsRecIdColumn(const AnsiString& column);
  virtual bool IsDataColumn(const AnsiString& column);

  // ---- Writing ----
  virtual bool UpdateRecords(const AnsiString& columns, const AnsiString& table, const TStrings& values,
                             const AnsiString& condition);
  virtual bool InsertRecord(const AnsiString& columns, const AnsiString& tables, const TStrings& values);

  // ---- The list cursor ----
  // Lists the records that meet any of the conditions ("(a) OR (b)"; none: every record) over the
  // first table the record-file list knows. False, with no cursor, when the query does not compile.
  virtual bool ListStart(const TStrings& conditions, const AnsiString& columns);
  virtual bool ListStartCond(const AnsiString& condition, const AnsiString& columns);
  virtual bool ListNext(TStrings& row);    // false at the end (the cursor is then gone)
  virtual int ListNextNB(TStrings& row);   // 1 a row, 0 call again, -1 the end
  virtual void ListEnd();

  // ---- Distinct values ----
  // A column without a table part is taken as one of the first registered table.
  virtual void EnumStart(const AnsiString& condition, const AnsiString& column, int cut, TStrings& out,
                         RecEnumProgress progress);
  virtual void EnumStartCond(const AnsiString& condition, const AnsiString& column, int cut);
  virtual bool EnumNext(TStrings& list);
  virtual int EnumNextNB(TStrings& list);  // values added, 0 none yet, -1 the end
  virtual void EnumEnd();

  // ---- Columns ----
  // Appends the first known table's columns as "table.column" with their type names; the names
  // list's count afterwards.
  virtual int GetAllColumns(TStrings& names, TStrings& types);
  virtual void GetColumnTypes(const AnsiString& table, TStrings& names, TStrings* types);
  // "int", "real", "keyword" or "string"; "string" for a column that is not found.
  virtual AnsiString GetColumnType(const AnsiString& column);

  // ---- Import ----
  // Opens the file with a reader of default settings and imports it; false when it does not open.
  virtual bool ImportFile(const AnsiString& file, int skip, int limit, const AnsiString& table, TStrings* map);
  // Runs the import thread under its modal dialog, then shows "読込成功 %d 件、エラー %d 件";
  // the number of records stored (0 when no table is known). The reader and the map stay the
  // caller's. The map: see query/ReadingTh.h.
  virtual int ImportRecords(CCsvFile* reader, int skip, int limit, const AnsiString& table, TStrings* map);

  // The update lock of the first registered table, taken by every program that changes records
  // on behalf of a user: a write lock on byte DB_UPDATE_LOCK_BYTE of the table's data file (the
  // engine's own per-operation lock is on byte 0). Nests; never waits. False only when another
  // holder has it; a file that cannot be opened for writing has nothing to guard, and its writes
  // fail on their own.
  virtual bool Lock();
  virtual bool Unlock();  // false when not locked

  // ---- Records by id (an empty table name: the first registered table) ----
  virtual bool DeleteRecords(const AnsiString& table, const TStrings& ids);  // true: all deleted
  virtual bool SetValue(const AnsiString& table, const TStrings& ids, const AnsiString& column,
                        const AnsiString& value);  // true: all changed
  // The record's columns into row; false when no record has that id (a text that is no record
  // id included).
  virtual bool GetRecordById(const AnsiString& id, const AnsiString& tables, const AnsiString& columns, TStrings& row);

  // ---- The table block (see the header comment) ----
  virtual bool SaveTables(TStream* stream);
  // Replaces the record-file list by an empty one without resolver, then reads; true when both
  // records were read.
  virtual bool LoadTables(TStream* stream);

  // ---- Not virtual ----
  bool AddColumn(const AnsiString& table, const AnsiString& column, const AnsiString& type, int length);
  bool TableExists(const AnsiString& table);
  // Registers the descriptor's expression as an extended item with the open list cursor, else
  // with the open enumeration cursor.
  void GetExtendedValue(const CCapInfo* column);
  void SetTableResolver(TableResolver resolver);
  void GetColumnInfo(const AnsiString& table, TStrings& names, TStrings* types, TStrings* options);
  int SetColumnInfo(const AnsiString& table, const TStrings& names, const TStrings& options);
  int ReIndexTable(const AnsiString& table, RecProgress progress, void* context);
  // Forgets every table; the record-file list and its resolver stay.
  void ClearTables();
  CRecFileList* GetRecFileList() { return files_.get(); }

  const TStrings& FileNames() const { return fileNames_; }
  const TStrings& TableNames() const { return tableNames_; }

 private:
  // The name itself, or the first registered table's for the empty name.
  AnsiString TableOrFirst(const AnsiString& table) const;
  // The column with the first registered table as its table part when it has none.
  AnsiString Qualified(const AnsiString& column) const;

  std::unique_ptr<CRecFileList> files_;
  std::unique_ptr<TFileByteLock> updateLock_;
  int lockDepth_ = 0;
  TStringList fileNames_;
  TStringList tableNames_;
};
