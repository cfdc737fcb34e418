// CRecSelect: a query compiled from three texts (columns, tables, condition) over open tables, and
// run step by step.
//
// Compiling collects the select's columns (the words of the column text in order of first
// mention, then the words that only the condition names; a word followed by "(" is a function)
// and its tables (the table text's words, then the table parts of the column and condition
// words), opens every table through the record-file list, resolves each column to a table and a
// column index, parses the condition and makes one search condition per alternative. Every
// alternative names every table: a table it does not constrain is walked whole.
//
// The pseudo table "__拡張項目__" has no file: its columns are the extended items, whose values
// the select's evaluator computes from the current records of the other tables.
//
// A row is one text per select column, in the select's column order. Stepping answers 1 (a row
// was appended), 0 (nothing yet, call again) or -1 (no further rows); one step does a bounded
// amount of work. A combination of records is delivered once, however many alternatives hold for
// it.
//
// The select owns its tables (open for its lifetime), their current values and result caches,
// its alternatives, its evaluator and the nested select of the lookup functions. One thread at a
// time uses it.
#pragma once

#include <memory>

#include "platform/Classes.h"

class CKvRecord;
class CKvrValueList;
class CRecFileList;
class CSearchCondList;
class TCashData;
class TCvStrMacro;

// The name of the pseudo table of computed columns.
const AnsiString& ExtendedTableName();

// One table of a select: its table object, column names, the values of its current record and its
// result cache. Owns all four.
class CTableInfo {
 public:
  explicit CTableInfo(const AnsiString& name);
  ~CTableInfo();  // closes and frees the table object
  CTableInfo(const CTableInfo&) = delete;
  CTableInfo& operator=(const CTableInfo&) = delete;

  CKvRecord* Table = nullptr;  // null for the extended-items table
  AnsiString Name;
  TStringList* ColNames;   // the table's column order (the extended items for the pseudo table)
  CKvrValueList* Values;   // the current record, in column order; filled by the comparison nodes
  TCashData* Cash;         // results of earlier retrievals of this select
};

// Owns its tables. Names match exactly; the first match wins.
class CTableInfoList : public TList {
 public:
  CTableInfoList() = default;
  ~CTableInfoList() override;
  CTableInfo* Get(int i) const { return static_cast<CTableInfo*>(Items(i)); }
  int IndexOf(const AnsiString& name) const;
  CTableInfo* Find(const AnsiString& name) const;
  // The first table (in list order) with a column of that name; false when none.
  bool FindColumn(const AnsiString& column, int& table, int& col) const;
  void Clear() override;
};

// One column the select refers to. Table is "" when the column was named without one.
class CColmInfo {
 public:
  AnsiString Table;
  AnsiString Column;
  int TableIndex = -1;   // into the select's tables, -1 until resolved
  int ColumnIndex = -1;  // into that table's column names, -1 until resolved
};

class CColmInfoList : public TList {
 public:
  CColmInfoList() = default;
  ~CColmInfoList() override;
  CColmInfo* Get(int i) const { return static_cast<CColmInfo*>(Items(i)); }
  void Clear() override;
};

class CRecSelect {
 public:
  explicit CRecSelect(CRecFileList* owner);
  ~CRecSelect();
  CRecSelect(const CRecSelect&) = delete;
  CRecSelect& operator=(const CRecSelect&) = delete;

  // ---- Compilation ----
  // -1 after an error (reported when ReportErrors; the select is then reset), otherwise the number
  // of alternatives (0 for an empty or all-blank condition).
  int Compile(const AnsiString& columns, const AnsiString& tables, const AnsiString& condition);
  void Reset();
  // Rewrites a column name as "table.column" by the select's tables; false (unchanged) when no
  // table has it.
  bool QualifyName(AnsiString& name) const;
  // The text of a column's current value; false when the table or the column is not in the select.
  bool GetValue(const AnsiString& table, const AnsiString& column, AnsiString& text) const;

  // ---- Extended items ----
  // Adds or replaces an item of the pseudo table; type is a value type (1 to 5).
  void SetExtendedItem(const AnsiString& name, int type, const AnsiString& expression);
  // Computes every item for the current records; the number of items.
  int EvalExtendedItems();
  TCvStrMacro* GetMacro() const { return macro_.get(); }

  // ---- Running ----
  // Compiles for listing; true when there is at least one alternative. An empty condition lists
  // every combination of the tables' records.
  bool ListStart(const AnsiString& columns, const AnsiString& tables, const AnsiString& condition);
  int NextNB(TStrings& row);
  bool Next(TStrings& row);  // blocking; true when a row was appended
  void GetRow(TStrings& row) const;

  // Compiles for the distinct values of column ("table.column"), cut to cut bytes when above 0.
  bool EnumStart(const AnsiString& column, int cut, const AnsiString& tables, const AnsiString& condition);
  bool EnumNext(AnsiString& value);
  // The number of new values appended to list, 0 none yet, -1 the end.
  int EnumNextNB(TStrings& list);
  // Every value of column among the records each alternative retrieves, added to list (joins and
  // other tables' comparisons are not applied).
  void EnumAll(const AnsiString& column, TStrings& list);

  // Writes values[j] into select column j of every selected record of table. True only when at
  // least one record was selected, something was written and every write succeeded.
  bool UpdateRecords(const AnsiString& columns, const AnsiString& table, const TStrings& values,
                     const AnsiString& condition);

  // ---- Evaluator hooks ----
  AnsiString GetVariable(const AnsiString& name);
  AnsiString CallFunction(const AnsiString& name, const TStrings* args);
  // Compiles the nested select over condition and columns and steps it to its first row.
  bool RunLookup(const AnsiString& condition, const AnsiString& columns, TStrings& row);

  // ---- What the search conditions and comparison nodes read ----
  CRecFileList* Owner() const { return owner_; }
  CSearchCondList* Alternatives() const { return alternatives_.get(); }
  CTableInfoList* Tables() const { return tables_.get(); }
  CColmInfoList* Columns() const { return columns_.get(); }
  CTableInfo* FindTable(const AnsiString& name) const;

  // False for nested selects: compile errors are then not shown.
  bool ReportErrors = true;

 private:
  CRecFileList* owner_;
  std::unique_ptr<CSearchCondList> alternatives_;
  int current_ = 0;  // the alternative being stepped
  std::unique_ptr<TStringList> expressions_;  // row j: the expression of extended item j
  std::unique_ptr<TCvStrMacro> macro_;
  std::unique_ptr<CRecSelect> nested_;
  int extendedIndex_ = -1;  // the pseudo table among the tables, -1 until looked up
  std::unique_ptr<CTableInfoList> tables_;
  std::unique_ptr<CColmInfoList> columns_;
};
