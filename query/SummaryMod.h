// The grouped summary: record rows filed into groups by the texts of the group-key columns, each
// other summary column aggregated over a group with one of six methods, subtotals for the columns
// of an outer key, several searches side by side, ratios between them, and what the chart draws.
//
// Summary columns are CCapInfo descriptors, in display order. Aggregate is the method:
//
//   code  method   numeric column (Type 1 or 2)          text column
//   0     件数     records counted                        same
//   1     最小     smallest number                        smallest text in byte order
//   2     最大     largest number                         largest text
//   3     範囲     minimum " ～ " maximum (one record: the minimum)
//   4     合計     sum of the numbers                     "計算不能"
//   5     平均     sum / numbers read (Type 1: cut at ".") "計算不能"
//
// A code below 0 marks a frozen column of an earlier search: its method is code + 10000, and it
// takes no new records. A value column is computed at the level of the nearest key column to its
// left (subtotals over every group with that key text); columns left of the first key show the
// grand total in every row.
//
// Summary row: a TStringList made here and appended to the caller's row list: cells 0 .. column
// count - 1 in column order, then an extra cell whose text stays empty and whose object is the
// group's CSumValList (its aggregates and its member rows).
//
// Invariants: one summary row per distinct combination of key texts; after Calculate the rows are
// sorted by the keys (numbers by value, other texts in byte order, ties by the raw text, so that
// equal key texts always stand together); the member rows named by a group are alive: the summary
// is emptied before the summary rows or the record rows named by SetRecordRows are deleted (both
// lists are watched through their release handlers).
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "foundation/CapInfo.h"
#include "foundation/StringsList.h"

class CSumValList;

// One aggregate of one value column over the records of a group (or, after folding, of a run of
// groups). A numeric column's aggregate reads its numbers (NumCount and the three values); any
// other column's aggregate owns Text.
struct CSumVal {
  struct Texts {
    AnsiString Min, Max;
  };
  int Count = 0;     // records counted
  int NumCount = 0;  // records whose text read as a number
  double Min = 0, Max = 0, Sum = 0;
  std::unique_ptr<Texts> Text;
  // The group whose aggregate of the same column a calculation folded this one into; a group
  // rather than an aggregate, so that growing a group's array keeps the link valid.
  CSumValList* MergedInto = nullptr;
};

// A group's aggregates, in one array: Val(i) is the aggregate of the value column at position i,
// found through the engine's column-to-slot map (null at key positions). Members lists the record
// rows filed into the group, in arrival order (not owned).
class CSumValList {
 public:
  // slots maps column positions to slots (-1: no aggregate); it belongs to the engine and outlives
  // the group. numeric[s] tells whether slot s aggregates numbers.
  CSumValList(const std::vector<int>* slots, const std::vector<bool>& numeric);
  CSumValList(const CSumValList&) = delete;
  CSumValList& operator=(const CSumValList&) = delete;
  CSumVal* Val(int i) const {
    const int s = i >= 0 && i < static_cast<int>(slots_->size()) ? (*slots_)[i] : -1;
    return s >= 0 && s < count_ ? &vals_[s] : nullptr;
  }
  // Appends a fresh slot (numeric or text); the others keep their contents.
  void AddSlot(bool numeric);
  TList Members;

 private:
  const std::vector<int>* slots_;
  std::unique_ptr<CSumVal[]> vals_;
  int count_ = 0;
};

// Owns the CSumValLists of one summary; they stay where they are until the store goes.
class CSumValListList {
 public:
  CSumValList* Add(const std::vector<int>* slots, const std::vector<bool>& numeric) {
    return &lists_.emplace_back(slots, numeric);
  }
  int Count() const { return static_cast<int>(lists_.size()); }
  CSumValList* Items(int i) { return &lists_[static_cast<size_t>(i)]; }

 private:
  std::deque<CSumValList> lists_;
};

// The summary engine. It owns its groups, its aggregates and, in multiple-summary mode, the copied
// column list; the summary rows belong to the caller's row list, the columns to the caller.
// User-interface thread only.
class CSummaryMod {
 public:
  CSummaryMod();
  ~CSummaryMod();
  CSummaryMod(const CSummaryMod&) = delete;
  CSummaryMod& operator=(const CSummaryMod&) = delete;

  // Binds the summary rows, the summary columns and the columns of the record rows. An empty
  // column list first gets a count of the first source column. Then BindColumns and ResetSummary.
  void SetSummaryColumns(CStringsList* rows, CCapInfoList* columns, CCapInfoList* sourceColumns);
  // Empties the summary (rows deleted, groups and aggregates dropped) and binds the two lists; the
  // copied column list of multiple-summary mode is freed unless it is the one bound.
  void ResetSummary(CStringsList* rows, CCapInfoList* columns);
  // The record rows whose members the groups name: when that list deletes its rows, the summary is
  // emptied first (its columns stay bound). Null stops watching.
  void SetRecordRows(CStringsList* records);
  // Files one record row into its group. Nothing while no columns or rows are bound.
  void AddSummaryRecord(TStrings* record);
  // Sorts the summary rows and computes every cell, unless already calculated.
  void Calculate();
  // Resolves each summary column against the source columns (source index, type, number format);
  // a column whose item is not among them becomes a count of source column 0.
  void BindColumns();

  // Column editing. False, with nothing changed, for a position that names no column, a method
  // outside 0..5, or a cancelled dialog. After a change the summary is empty (its rows no longer
  // match the columns) and the caller adds the records again.
  bool AddMethodColumn(int position, int method);
  bool InsertColumn(int position);
  bool EditColumn(int position);
  bool DeleteColumn(int position);

  // Rebuilds the clicked sort columns of the summary view into an order that keeps each key's
  // runs together: per key, the first clicked column between it and the next key, then the key.
  // The list borrows its entries (OwnsItems off); an owning list is left as it is.
  void GetGroupColumns(CCapInfoList* list);
  CCapInfoList* GetColumns() const { return columns_; }
  void SetTitle(const AnsiString& title) { title_ = title; }
  // Starts or continues multiple-summary mode: every live value column is frozen with the totals
  // so far and followed by a new column for the next search, headed title.
  void BuildOutputColumns(const AnsiString& title);
  void SetRatioMode(bool on);
  void SetTranspose(bool on) { transpose_ = on; }

  // The member rows of a summary row's group; null for a null row or a row without a group.
  TList* GetRecordGroup(const TStrings* row) const;

  // Chart accessors; nothing (0, null, empty) while no columns are bound.
  TStrings* GetKeyHeadings(TStrings* list) const;
  TStrings* GetValueHeadings(int keyIndex, TStrings* list) const;
  void SelectSeries(int keyIndex, int valueIndex);
  AnsiString GetKeyHeading() const;
  AnsiString GetValueHeading() const;
  int GetChartLabels(TStrings* list);
  int GetChartSeries(TStrings* list);
  double GetChartValue(int series, int point);

 private:
  using RunVisitor = void (CSummaryMod::*)(int column, int r0, int r1);

  int ColumnCount() const { return columns_ ? std::min(columnCount_, columns_->Count()) : 0; }
  CCapInfo* Column(int i) const;
  bool IsKey(int i) const;
  TStrings* SumRow(int r) const { return rows_->Row(r); }
  CSumValList* GroupOf(const TStrings* row) const;
  CSumVal* ValOf(const TStrings* row, int column) const;

  void WatchRows(CStringsList* rows);
  void DropGroups();
  void Restart();
  void RebuildKeys();
  TStrings* NewSummaryRow();
  void Receive(TStrings* row, TStrings* record);
  void Accumulate(CSumVal* val, const AnsiString& text);

  void SortRows();
  void Recompute();
  void WalkRuns(int column, int r0, int r1, RunVisitor visit);
  void FoldColumn(int column, int r0, int r1);
  void TextColumn(int column, int r0, int r1);
  void UndoColumn(int column, int r0, int r1);
  AnsiString Compare(int column, const TStrings* first, const AnsiString& text) const;
  int BaseColumn(int column) const;

  CCapInfo* RunColumnDialog(CCapInfo* column);
  int ChainEnd(int column) const;
  int ChartableAfter(int keyPosition, int index) const;
  const std::vector<int>& RunStarts();
  int RunRow(int run);
  int SameMethodColumn(int point) const;

  // The groups by their key texts: an open-addressing table, at most half full, of the hash of a
  // group's key texts and its summary row (null: an empty place). The row's key cells are the texts.
  struct GroupPlace {
    uint64_t hash = 0;
    TStrings* row = nullptr;
  };
  uint64_t KeyHash(const TStrings* record) const;
  bool SameKeys(const TStrings* row, const TStrings* record) const;
  TStrings* FindGroupRow(const TStrings* record);
  void GrowTable();
  void RebuildSlots();

  TStringList blankRow_;  // column count + 1 empty cells, the pattern of a new summary row
  std::vector<GroupPlace> table_;
  size_t tableUsed_ = 0;
  std::vector<int> valSlots_;     // column position -> slot of its aggregate in every group, -1: none
  std::vector<bool> valNumeric_;  // slot -> numeric aggregate, as the columns are now
  bool calculated_ = false;
  CCapInfoList* own_ = nullptr;  // multiple-summary mode's column list
  AnsiString title_;
  std::unique_ptr<CSumValListList> store_;
  bool ratioMode_ = false;
  bool transpose_ = false;
  int dialogLeft_ = -1, dialogTop_ = -1;
  int chartKeyIndex_ = -1, chartValueIndex_ = -1;
  int chartKeyPosition_ = -1, chartValuePosition_ = -1;
  CStringsList* rows_ = nullptr;
  CCapInfoList* columns_ = nullptr;
  CCapInfoList* source_ = nullptr;
  CStringsList* records_ = nullptr;
  std::vector<int> keys_;  // positions of the key columns, left to right
  int columnCount_ = 0;
  std::vector<int> runStarts_;  // runs at the chart key position, while runsValid_
  bool runsValid_ = false;
};
