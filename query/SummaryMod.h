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
#include <initializer_list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/CapInfo.h"
#include "foundation/StringsList.h"

// A group: one block of its engine's group store (its number, the chain of its member rows, its key
// texts and its aggregates). Opaque outside the engine; a summary row's extra cell points at it.
class CSumValList;

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

  // The member rows of a summary row's group, in arrival order; null for a null row or a row
  // without a group. The list is the engine's: it takes the group's later records too, and stays
  // valid until the summary is emptied.
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

  void WatchRows(CStringsList* rows);
  void DropGroups();
  void Restart();
  void RebuildKeys();
  TStrings* NewSummaryRow();

  void SortRows();
  void Recompute();
  void WalkRuns(int column, int r0, int r1, RunVisitor visit);
  void TotalRun(int column, int r0, int r1);
  void TotalAndText(int column, int r0, int r1);
  void DropTotals();
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

  // ---- the group store ----
  // Each group is one block of bytes: a GroupHead, then its aggregates at the offsets of their
  // slots. Blocks stand side by side in pages (see Page), found by group number; adding slots
  // lays every block out anew with the longer stride (summary rows are pointed at the new blocks).
  // The key texts, each as a byte of length and its bytes, when they fit into key; otherwise key
  // starts with kLongKeys and holds, from byte 8, where they start in keyBytes_.
  static constexpr size_t kKeyBytes = 24;
  static constexpr unsigned char kLongKeys = 0xFF;
  struct GroupHead {
    uint32_t index;       // group number
    uint32_t lastMember;  // the group's newest entry in the member chain + 1
    unsigned char key[kKeyBytes];
  };
  enum class SlotKind : uint8_t { Count, Number, Sum, Text };
  struct Slot {
    SlotKind kind;
    uint32_t offset;  // in the block
  };
  // Columns of one pass that read the same thing share a slot, whatever their level: a count
  // shares any slot (every aggregate counts each record), an aggregate of a source column shares
  // one of the same source and kind. A number slot whose columns (and their chains of passes)
  // only count, sum and average keeps no smallest and largest number (Sum).
  struct Texts {
    AnsiString Min, Max;
  };
  // An aggregate's figures as a calculation reads them.
  struct Agg {
    int Count = 0;
    int NumCount = 0;
    double Min = 0, Max = 0, Sum = 0;
    bool number = true;  // false: a text aggregate, whose texts are text
    const Texts* text = nullptr;
  };
  // Memory in pages of 2 MiB, each after the first of its kind on a huge page of its own: touching
  // fresh memory page by page costs more than the work that fills it.
  struct PageFree {
    void operator()(unsigned char* p) const;
  };
  using Page = std::unique_ptr<unsigned char[], PageFree>;
  static constexpr size_t kPageBytes = size_t{2} << 20;
  static Page NewPage(size_t bytes, bool huge);
  // A member page holds kPageMembers rows, then as many chain links.
  static constexpr uint32_t kPageMembers = kPageBytes / (sizeof(TStrings*) + sizeof(uint32_t));
  TStrings*& MemberRow(uint32_t m) const {
    return reinterpret_cast<TStrings**>(memberPages_[m / kPageMembers].get())[m % kPageMembers];
  }
  uint32_t& MemberPrev(uint32_t m) const {
    return reinterpret_cast<uint32_t*>(memberPages_[m / kPageMembers].get() + kPageMembers * sizeof(TStrings*))[m % kPageMembers];
  }
  // The slot plan of a record: each live slot once, with the parsed source it reads (-1: none).
  struct Feed {
    uint32_t offset;
    SlotKind kind;
    int source;  // source column of a text slot
    int parsed;  // index into the record's parsed numbers, number slots
  };

  CSumValList* Block(uint32_t g) const {
    return reinterpret_cast<CSumValList*>(pages_[g / pageGroups_].get() + size_t(g % pageGroups_) * stride_);
  }
  static GroupHead* Head(CSumValList* group) { return reinterpret_cast<GroupHead*>(group); }
  static const GroupHead* Head(const CSumValList* group) { return reinterpret_cast<const GroupHead*>(group); }
  int SlotOf(int column) const {
    return column >= 0 && column < static_cast<int>(valSlots_.size()) ? valSlots_[column] : -1;
  }
  Agg Read(const CSumValList* group, int slot) const;
  Agg Total(CSumValList* group, int column) const;
  void InitSlot(unsigned char* block, const Slot& slot);
  void AddToTotal(Agg& total, Texts* texts, const Agg& own);
  int LevelOf(int column) const;
  bool CountOnly(int column) const;
  bool ChainReads(int column, std::initializer_list<int> methods) const;
  void AssignSlots(const std::vector<int>& columns);
  void Relayout(size_t oldStride, size_t oldSlots);
  void BuildFeed();

  uint64_t KeyHash(const TStrings* record) const;
  const unsigned char* StoredKeys(uint32_t g, bool& wide) const;
  bool SameKeys(uint32_t g, const TStrings* record) const;
  CSumValList* FindGroup(const TStrings* record);
  CSumValList* NewGroup(TStrings* row, const TStrings* record);
  void GrowTable();
  void RebuildTable();
  void RebuildSlots();
  void AddMember(CSumValList* group, TStrings* record);
  void Receive(CSumValList* group, TStrings* record);

  TStringList blankRow_;  // column count + 1 empty cells, the pattern of a new summary row
  // The groups by their key texts: open addressing, at most half full; a place holds the high half
  // of the key hash (its low bits pick the place) and the group number + 1 (0: empty). The key
  // texts decide every match.
  struct Place {
    uint32_t tag;
    uint32_t group;
  };
  Page table_;
  size_t tableSize_ = 0;  // places, a power of two
  size_t tableUsed_ = 0;
  std::vector<Page> pages_;
  uint32_t pageGroups_ = 1;  // blocks in a page
  uint32_t groupCount_ = 0;
  size_t stride_ = sizeof(GroupHead);
  std::vector<char> keyBytes_;  // long key texts, each as a 32-bit length and its bytes
  std::deque<Texts> texts_;     // text aggregates' smallest and largest texts
  // Member rows in arrival order, with the previous member of the same group (+ 1; 0: none).
  std::vector<Page> memberPages_;
  uint32_t memberCount_ = 0;
  // Member lists handed out by GetRecordGroup, kept up to date until the summary is emptied.
  mutable std::unordered_map<uint32_t, std::unique_ptr<TList>> lists_;

  std::vector<int> valSlots_;  // column position -> slot of its aggregate in every group, -1: none
  std::vector<Slot> slots_;
  std::vector<Feed> feed_;
  std::vector<int> feedSources_;  // source columns parsed once per record
  std::vector<double> parsed_;
  std::vector<char> parsedOk_;
  bool feedValid_ = false;

  // The totals of the last calculation for runs longer than one row, by level (the position of
  // the level's key + 1; 0: before the first key): for each group the first of its run's totals,
  // one for each slot of the level in the order of ordinal.
  static constexpr uint32_t kSingle = UINT32_MAX;
  struct LevelRuns {
    std::vector<int> ordinal;  // slot -> its place among the level's totals, -1: none
    int width = 0;
    std::vector<uint32_t> runOf;  // group -> first total, kSingle: a run of one row
  };
  std::vector<LevelRuns> levels_;
  std::deque<Agg> runTotals_;
  std::deque<Texts> runTexts_;
  bool calculated_ = false;
  CCapInfoList* own_ = nullptr;  // multiple-summary mode's column list
  AnsiString title_;
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
