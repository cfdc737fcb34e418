// CCondMod: the evaluator of one condition group of a record table (an AND of comparisons), and
// the sub-conditions (an OR of AND lists) tested on each record the group finds.
//
// How a group is answered from the indexes:
//   - each condition column gets a CStringId (a set column one per condition, so that each can
//     be met by another element), whose cursor walks the column's index inside the conditions'
//     ranges and yields its distinct key values: column number and stored value for number
//     columns, string-value ids for string and set columns;
//   - a plan made on the first walk prefetches up to 50 values of every column and keeps only
//     the walks that narrow the group cheaply; the first walk always stays;
//   - the enabled walks turn like the wheels of a counter (the last fastest); for each
//     combination of current values one CRecId per walk steps through the record ids holding
//     that value (index entries, or the string references) and the cursors meet on the ids
//     present in all of them.
// Every id found is read and tested against every condition of the group (TestAll), disabled
// walks and the conditions on "__REC__ID__" included: a walk that is left out, or a range wider
// than its comparisons, costs time but never lets a wrong record through. The group's walk never
// hands out one id twice (a set column meets a condition through several elements).
//
// The evaluator owns its walks and cursors; it reads the table's file but does not own it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Classes.h"
#include "store/KvrCondControl.h"
#include "store/Kvrcolinfo.h"

class CKorva;
class CKvrColInfo;

// The walk over one column's values inside its conditions' ranges.
class CStringId {
 public:
  CStringId(int colNo, const CKvrColInfo& col) : col_(col), colNo_(colNo) {}
  CStringId(const CStringId&) = delete;
  CStringId& operator=(const CStringId&) = delete;

  void AddCond(int op, const AnsiString& text);
  bool OnlyAll() const;   // every condition is ALL
  void DropAll();         // removes the ALL conditions
  int Conditions() const { return ops_.Count(); }
  // Hands the conditions to the cursor.
  void Setup(int version);
  // Takes up to limit values ahead; the walk then hands them out before going on.
  void Prefetch(CKorva& file, int limit);
  // Marks the walk as having no value (the group cannot match).
  void SetNoValues(int limit);
  // The next value into Current(); false when the walk is done.
  bool NextValue(CKorva& file);
  void Rewind();  // hands the values out again from the first

  const CKvrBuffer& Current() const { return current_; }
  bool IsText() const;
  bool Complete() const { return NumPrefetch < requested_; }

  const CKvrColInfo* Column() const { return &col_; }
  int ColumnNumber() const { return colNo_; }
  CKvrCondControl& Cursor() { return cursor_; }
  const CKvrCondControl& Cursor() const { return cursor_; }
  bool FromCursor() const { return fromCursor_; }
  // Whether the current value stands for one text only (see CKvrCondControl::CurrentWhole).
  bool CurrentWhole() const { return currentWhole_; }

  bool Enabled = true;
  int NumPrefetch = 0;
  uint32_t NumRecid = 0;  // use counts of the prefetched string values summed
  uint32_t Width = 0;

 private:
  CKvrBuffer prefetch_{64};
  std::vector<bool> prefetchWhole_;
  int read_ = 0;
  int valueSize_ = 0;
  int requested_ = 0;
  CKvrColInfo col_;  // a copy: the group outlives a reopening of its table
  int colNo_;
  CKvrCondControl cursor_;
  CKvrBuffer current_{16};
  bool fromCursor_ = false;
  bool currentWhole_ = true;
  TList ops_;
  TStringList texts_;
};

// The walks of a group in walk order; owns them.
class CStringIdList : public TList {
 public:
  explicit CStringIdList(int version) : version_(version) {}
  CStringIdList(const CStringIdList&) = delete;
  CStringIdList& operator=(const CStringIdList&) = delete;
  ~CStringIdList() override { Clear(); }
  void Clear() override;

  CStringId* GetAt(int i) const { return static_cast<CStringId*>(Items(i)); }
  void Add(int colNo, const CKvrColInfo* col, int op, const AnsiString& text);
  // Drops ALL conditions beside others and sets the walks up; false when there is no walk.
  bool Prepare();
  void Plan(CKorva& file);
  // The next combination of values of the enabled walks; false when all are done.
  bool NextGroup(CKorva& file);
  // The next combination starts by moving walk i on.
  void SetCurrent(int i) { current_ = i; }

 private:
  int current_ = -1;
  int version_;
};

// Steps through the record ids holding one walk's current value. First reads a run of the
// following entries at once, so that reading the records in between does not cost a descent of
// the entries' key per record.
class CRecId {
 public:
  void Reset(const CStringId& walk);
  bool First(CKorva& file);  // the id after the current one
  bool SeekAtLeast(CKorva& file, uint32_t id);
  uint32_t Id() const { return id_; }
  // The ids read ahead by the last First that went to the file, once; null when there are none
  // new since the last call.
  const std::vector<uint32_t>* TakeAhead();

 private:
  bool Take(CKorva& file, bool found);
  void SetId(uint32_t id);

  std::vector<unsigned char> key_;  // the value, then a record id
  std::vector<unsigned char> buf_;
  std::vector<uint32_t> ahead_;     // ids read ahead, handed out from aheadAt_
  size_t aheadAt_ = 0;
  bool fresh_ = false;  // ahead_ was filled since the last TakeAhead
  int idAt_ = 0;
  int keyNumber_ = 0;
  uint32_t id_ = 0;
};

// Record ids handed out by a walk: words of 64 ids each, found by open addressing, so that a
// walk over a few scattered ids stays small and a long one is a bitmap with its word numbers.
class CKvrIdSet {
 public:
  // Adds id; false when it was there already.
  bool Insert(uint32_t id);

 private:
  struct Word {
    uint32_t key;  // id / 64 + 1; 0 for a free slot
    uint64_t bits;
  };
  void Grow();

  std::vector<Word> words_;
  size_t used_ = 0;
};

class CCondMod {
 public:
  explicit CCondMod(int version);
  CCondMod(const CCondMod&) = delete;
  CCondMod& operator=(const CCondMod&) = delete;
  ~CCondMod();

  // Adds a comparison on column colNo; those on the record id are only tested.
  void AddCond(int colNo, const CKvrColInfo* col, int op, const AnsiString& text);
  // Closes the group and sets its walks up; false when it has no walk (only record-id
  // conditions), so the table walks the record ids itself.
  bool End();
  bool IsEnded() const { return ended_; }

  // Next: the next record id of the group; false at the end.
  bool Next(CKorva& file, uint32_t& id);
  // At most 100 passes: 1 an id, 0 call again, -1 the end.
  int NextNB(CKorva& file, uint32_t& id);
  // Next without the plan, for a look at the group's first matching record.
  bool NextUnplanned(CKorva& file, uint32_t& id);
  // The enumeration walks: 1 an id, 2 a value (below), 0 call again (NextEnumNB only), -1 the
  // end; NextEnum ends when ExpandAbort is set. Ids may repeat, since SkipValue moves the walk by
  // values. With `values`, a group that only lists the values of the enumeration column answers
  // 2 for each value that holds its text whole (CurrentEnumText): in the current layout a string
  // value exists only while a record holds it, so no record needs to be read for it.
  int NextEnum(CKorva& file, uint32_t& id, bool values);
  int NextEnumNB(CKorva& file, uint32_t& id, bool values);
  AnsiString CurrentEnumText() const;
  // The ids that Next will hand out after the one it gave last (some may be passed over), when
  // the group walks a single index and has just read them ahead; null otherwise. Each batch is
  // given once, so that the table can read their records' blocks together.
  const std::vector<uint32_t>* ReadAhead();
  // Whether the record meets every condition of the group.
  bool TestAll(const CKvrValueList& record) const;

  // The walk of the column named `name` that an enumeration moves by values (the last enabled
  // one); looked up again after the plan.
  void SetEnumColumn(const AnsiString& name);
  // Moves the enumeration walk to its next value (past every text sharing the current value's
  // cut beginning when cut is 1 to 13); without one, nothing.
  void SkipValue(int cut);

 private:
  enum : int { kPlan = 1, kOnce = 2, kAbortable = 4, kValues = 8 };
  int Walk(CKorva& file, uint32_t& id, int passes, int mode);
  void FindEnumEntry();

  bool ongoing_ = false;
  bool needsPlan_ = false;
  bool advance_ = false;  // the first cursor moves on before the next meeting
  uint32_t candidate_ = 0;
  CStringIdList ids_;
  std::vector<std::unique_ptr<CRecId>> recIds_;
  std::vector<int> enabled_;  // indexes of the enabled walks
  CKvrIdSet delivered_;
  bool ended_ = false;
  int enum_ = -1;
  AnsiString enumName_;
  bool valuesOnly_ = false;  // the group is one walk over all values of the enumeration column
  int version_;
  // The conditions on "__REC__ID__".
  TList recIdOps_;
  TStringList recIdTexts_;
  CKvrColInfo recIdCol_;
  bool recIdConds_ = false;
  CKvrCondControl recIdTest_;
};

// One sub-condition: a column's value compared with a value of the column's type.
class CSubCond {
 public:
  CSubCond(int colNo, int op, char type, const AnsiString& text);
  bool Test(const CKvrValueList& record) const;

 private:
  int colNo_;
  int op_;
  CKvrValue value_;
};

// An AND of sub-conditions (the empty list passes); owns them.
class CSubCondList : public TList {
 public:
  CSubCondList() = default;
  CSubCondList(const CSubCondList&) = delete;
  CSubCondList& operator=(const CSubCondList&) = delete;
  ~CSubCondList() override { Clear(); }
  void Clear() override;
  bool TestAll(const CKvrValueList& record) const;
};

// An OR of AND lists (the empty list fails); owns them.
class CSubCondListList : public TList {
 public:
  CSubCondListList() = default;
  CSubCondListList(const CSubCondListList&) = delete;
  CSubCondListList& operator=(const CSubCondListList&) = delete;
  ~CSubCondListList() override { Clear(); }
  void Clear() override;
  bool TestAny(const CKvrValueList& record) const;
};

// The beginning of text made of the characters that start within its first n bytes (a pair
// stays whole, so at most n + 1 bytes); the whole text when it has at most n bytes.
AnsiString CutToChars(const AnsiString& text, int n);
