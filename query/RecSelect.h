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

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Classes.h"
#include "query/SearchCond.h"
#include "query/TableInfo.h"

class CKorva;
class CRecFileList;
class TCvStrMacro;

// "T.c" -> "T" and "c"; "a.b.c" -> "a" and "b.c"; "c" -> "" and "c"; ".c" -> "" and "c".
void SplitColumnName(const AnsiString& name, AnsiString& table, AnsiString& column);

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

class CRecSelect;

// Holds the files of a select's tables while it lives, when the select allows it, so that the
// steps taken meanwhile lock and check each file once instead of once per record. Breathe lets
// other processes in between once the files have been held for kBreatheMs.
class CRecSelectHold {
 public:
  static constexpr int kBreatheMs = 50;
  explicit CRecSelectHold(CRecSelect& select);
  ~CRecSelectHold();
  CRecSelectHold(const CRecSelectHold&) = delete;
  CRecSelectHold& operator=(const CRecSelectHold&) = delete;
  void Breathe();
  bool Held() const { return !files_.empty(); }

 private:
  void Take();
  void Drop();
  std::vector<CKorva*> held_;
  std::vector<CKorva*> files_;
  uint64_t since_ = 0;
};

class CRecSelect : public CRecSelectBase {
 public:
  explicit CRecSelect(CRecFileList* owner);
  ~CRecSelect() override;
  CRecSelect(const CRecSelect&) = delete;
  CRecSelect& operator=(const CRecSelect&) = delete;

  // ---- Compilation ----
  // -1 after an error (reported when ReportErrors; the select is then reset), otherwise the number
  // of alternatives (0 for an empty or all-blank condition).
  int Compile(const AnsiString& columns, const AnsiString& tables, const AnsiString& condition);
  void Reset();
  // Rewrites a column name as "table.column" by the select's tables; false (unchanged) when no
  // table has it.
  bool QualifyName(AnsiString& name) override;
  // The text of a column's current value; false when the table or the column is not in the select.
  bool GetValue(const AnsiString& table, const AnsiString& column, AnsiString& text) override;

  // ---- Extended items ----
  // Adds or replaces an item of the pseudo table; type is a value type (1 to 5).
  void SetExtendedItem(const AnsiString& name, int type, const AnsiString& expression);
  // Computes every item for the current records; the number of items. An item whose expression
  // names other items computes them first; one that needs its own value reads it as empty.
  int EvalExtendedItems() override;
  TCvStrMacro* GetMacro() const { return macro_.get(); }

  // ---- Running ----
  // Compiles for listing; true when there is at least one alternative. An empty condition lists
  // every combination of the tables' records.
  bool ListStart(const AnsiString& columns, const AnsiString& tables, const AnsiString& condition);
  int NextNB(TStrings& row);
  // NextNB with the row's texts appended to a plain vector (the listing cursor reads ahead so).
  int NextNB(std::vector<AnsiString>& texts);
  bool Next(TStrings& row);  // blocking; true when a row was appended
  void GetRow(TStrings& row) const;

  // Compiles for the distinct values of column ("table.column"), cut to cut bytes when above 0.
  bool EnumStart(const AnsiString& column, int cut, const AnsiString& tables, const AnsiString& condition);
  bool EnumNext(AnsiString& value);
  // The number of new values appended to list, 0 none yet, -1 the end.
  int EnumNextNB(TStrings& list);
  // After EnumStart: every remaining value of the enumerated column, each once, appended to list.
  void EnumAll(TStrings& list);

  // Writes values[j] into select column j of every selected record of table. True only when at
  // least one record was selected, something was written and every write succeeded.
  bool UpdateRecords(const AnsiString& columns, const AnsiString& table, const TStrings& values,
                     const AnsiString& condition);

  // ---- Evaluator hooks ----
  AnsiString GetVariable(const AnsiString& name);
  AnsiString CallFunction(const AnsiString& name, const TStrings* args);
  // Compiles the nested select over condition and columns and steps it to its first row.
  bool RunLookup(const AnsiString& condition, const AnsiString& columns, TStrings& row);

  // ---- Parts ----
  CSearchCondList* Alternatives() const { return alternatives_.get(); }
  CTableInfoList* Tables() const { return tables_.get(); }
  CTableInfoList* GetTableList() override { return tables_.get(); }
  CColmInfoList* Columns() const { return columns_.get(); }

  // Whether the files of all tables may stay held across a run of steps: each table has a file of
  // its own, and no evaluator runs while stepping (its lookups would open the same files again,
  // and a file held through one handle stays locked against every other).
  bool CanHoldFiles() const { return holdable_; }

  // False for nested selects: compile errors are then not shown.
  bool ReportErrors = true;

 private:
  void CollectColumns(const AnsiString& text);
  // Appends the tables the words of text name: the words themselves, or their table parts.
  void CollectTables(const AnsiString& text, bool tablePart);
  bool OpenTables();      // false after a message (when reporting errors)
  bool ResolveColumns();  // likewise
  // Gives every alternative a walk over each table it does not retrieve.
  void AddTableScans();
  CTableInfo* ExtendedTable();
  void CheckHoldable();
  // Compile, with one alternative over every combination of records when there is no condition.
  bool CompileAll(const AnsiString& columns, const AnsiString& tables, const AnsiString& condition);
  CRecSelect& Nested();
  // The text of select column i in the current records; "" when unresolved or missing.
  AnsiString ColumnText(int i) const;
  // One step of the alternatives: 1 a combination no earlier alternative holds for is current.
  int Step();
  // Steps every alternative to its end and collects the record ids of table that the
  // combinations hold, each once.
  bool GatherRecordIds(int table, std::vector<uint32_t>& ids);

  CRecFileList* owner_;
  std::unique_ptr<CSearchCondList> alternatives_;
  int current_ = 0;  // the alternative being stepped
  std::unique_ptr<TStringList> expressions_;  // row j: the expression of extended item j
  // Extended item j for the current records, unless it is computed or being computed already.
  void EvalExtendedItem(int j);
  static constexpr int kExtendedDepth = 64;  // items computed inside one another at most
  std::vector<char> extendedState_;  // per item: 0 to compute, 1 being computed, 2 computed
  int extendedDepth_ = 0;
  std::unique_ptr<TCvStrMacro> macro_;
  std::unique_ptr<CRecSelect> nested_;
  int extendedIndex_ = -1;  // the pseudo table among the tables, -1 until looked up
  std::unique_ptr<CTableInfoList> tables_;
  std::unique_ptr<CColmInfoList> columns_;
  bool holdable_ = false;
  // Per select column, the current values of its table and the column's index there (null when
  // unresolved): looked up once per compilation, not once per row.
  std::vector<std::pair<const CKvrValueList*, int>> rowSources_;
};
