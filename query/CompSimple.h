// Comparison nodes: the steps of one alternative of a select. A list of nodes (CCompSimpleList)
// runs as a nested loop over the tables the alternative names; each node makes records of its
// table current, tests records already current, or joins through the current value of another
// table.
//
//   class             kind    role
//   CCompSimple       "base"  holder of nested alternatives (an OR inside an AND list)
//   CCompSimpleRtv    "rtv"   retrieval: records of Table where Column Op Value, plus the extra
//                             comparisons, read through the table's index conditions
//   CCompSimpleCmp    "cmp"   test of Table's current record against Column Op Value
//   CCompSimpleRtv2   "rtv2"  join retrieval: records of Table where Column Op (the current value
//                             of OtherTable.OtherColumn)
//   CCompSimpleCmp2   "cmp2"  join test of the two tables' current records
//   CCompSimpleCmp3   "cmp3"  test whose answer was fixed when it was made (two constants)
//
// Code tells the classes apart by GetKind. Stepping answers -1 end, 0 call again, 1 one more
// result; one step does at most one bounded table read. A node reaches its table information
// through its owner (the alternative) and the alternative's select.
//
// A run of a retrieval that ends with 1 to 320 results goes to the table's result cache
// (query/CashData.h), and a later run of the same comparisons in the same select is served from
// it. The key, every text in it escaped ("\" -> "\\", "$" -> "\$") so that keys of different
// comparisons never coincide:
//
//   Table $ Column $ [~]Op $ Value [$ EnumCol $ Cut] {$ Column $ [~]Op $ Value}   (extras)
//   "~": the pattern is the column's (below); Op and Cut in decimal; e.g. T$c$6$abc
//
// A join retrieval's results are thus cached per joined value.
//
// LIKE and UNLIKE keep the right operand of the written comparison as the pattern, whichever side a
// node retrieves by. A node whose own column holds the pattern (PatternOwnSide: a value LIKE a
// column, or a join whose sides were swapped) cannot use the pattern as an index condition: it
// walks its table and keeps the records whose pattern the value matches.
#pragma once

#include "platform/Classes.h"
#include "query/CashData.h"
#include "query/TableInfo.h"
#include "store/CondOp.h"
#include "store/Kvrvalue.h"

class CSearchCond;
class CSearchCondList;
class CCompSimpleList;

// Order key of nodes that only test records already current; above every selectivity.
constexpr int kCompTestOrder = 7654321;

// Base of the family, and the node that holds nested alternatives: one of them must hold. Owns
// its nested alternatives; steps them in order and passes over a combination that an earlier one
// holds for, so that each is delivered once.
class CCompSimple {
 public:
  explicit CCompSimple(CSearchCond* owner);
  CCompSimple(const CCompSimple&) = delete;
  CCompSimple& operator=(const CCompSimple&) = delete;
  virtual ~CCompSimple();

  virtual void Reset();
  virtual int NextNB();
  virtual bool Test();
  // Whether the current records satisfy the node.
  virtual bool IsHit();
  virtual AnsiString GetKind() const;
  bool IsKind(const AnsiString& kind) const { return GetKind() == kind; }
  // Offers "table.column" and a cut length; true when this node will enumerate that column (a
  // base node passes both to its nested alternatives and accepts any column). An offer of another
  // table (or of "") clears the node's enumeration column.
  virtual bool SetEnumColumn(const AnsiString& column, int cut);
  // Blocking enumeration step: true with one more current record.
  virtual bool NextEnum();
  // Non-blocking enumeration step; the enumerated texts of a result go to stepValues.
  virtual int NextEnumStep(TStrings& stepValues);
  // The texts of a finished combination were taken: the table and its cache offer them no more.
  virtual void AcceptEnum(const TStrings& values);
  // Appends the distinct values of `column` ("table.column") among the records that this node's
  // own comparisons select, when the node works on that table; others do nothing.
  virtual void StartEnum(const AnsiString& column, TStrings& list);
  virtual void SwapSides();
  virtual int GetSelectivity(bool withOp) const;
  virtual void ResolveTable();
  virtual bool Dump(const AnsiString& label) const;

  // Planning key (same rule for all kinds): kCompTestOrder for a node whose records are current
  // when it runs (tables in `bound`, exact names), else its selectivity. Bound may be null.
  int GetOrder(const TStrings* bound) const;

  int Cursor = -1;  // nested alternative being stepped
  AnsiString Table;
  CSearchCond* Owner;
  CSearchCondList* Alternatives;  // filled only in base nodes

 protected:
  // The table information of a table of the owner's select, or null.
  CTableInfo* LookupInfo(const AnsiString& table) const;
};

class CCompSimpleRtv : public CCompSimple {
 public:
  explicit CCompSimpleRtv(CSearchCond* owner);
  CCompSimpleRtv(CSearchCond* owner, const AnsiString& table, const AnsiString& column, int op,
                 const AnsiString& value);
  ~CCompSimpleRtv() override;

  void Reset() override;
  int NextNB() override;
  bool Test() override;
  bool IsHit() override;
  AnsiString GetKind() const override;
  bool SetEnumColumn(const AnsiString& column, int cut) override;
  bool NextEnum() override;
  int NextEnumStep(TStrings& stepValues) override;
  void AcceptEnum(const TStrings& values) override;
  void StartEnum(const AnsiString& column, TStrings& list) override;
  int GetSelectivity(bool withOp) const override;
  bool Dump(const AnsiString& label) const override;
  // One step on the extended-items table: computes the items once per run and tests them.
  virtual int EvalExtended();

  // Sends the node's comparison and its extra comparisons to the table, and for an enumeration
  // its column; false without table information. The extended-items table takes nothing and
  // answers true.
  bool StartRetrieval(const AnsiString& enumCol = AnsiString());
  // The cache key of the node's comparisons, with the enumeration part when asked.
  AnsiString MakeCashKey(bool withEnum) const;
  // 1 a stored run is now served from Cached, -1 a miss.
  int CacheLookup(bool withEnum);
  // Gathers a table answer for the cache; stepValues null when the run does not enumerate.
  void CacheCollect(int answer, const TStrings* stepValues);
  // Serves the next cached result into the current values.
  int CacheNext(TStrings* stepValues);

  int RecCount = 0;  // results since the reset; -1 once exhausted
  bool Opened = false;
  AnsiString EnumCol;
  int Cut = -1;
  TCashDataItemList* Collecting = nullptr;
  TCashDataItemList* Cached = nullptr;
  AnsiString CashKey;
  CTableInfo* Info = nullptr;
  AnsiString Column;
  int ColIndex = -1;
  int Op = COND_NULL;
  AnsiString Value;
  CKvrValue Const;          // Value in the column's type, made at the first test
  bool ConstReady = false;
  CCompSimpleList* Extra;   // further comparisons on Table, sent and tested with this one
  // The pattern of a LIKE or UNLIKE is this node's column, not its value (or other column).
  bool PatternOwnSide = false;

  // A LIKE or UNLIKE whose pattern is the node's own column: retrieved by a walk, then tested.
  bool PatternRetrieval() const;

 protected:
  bool IsExtended() const;
  CTableInfo* EnsureInfo();
  // Sends one comparison and the extra comparisons to the table object.
  bool SendConds(int op, const AnsiString& value, const AnsiString& enumCol);
  // The step of a test node: one answer per run.
  int TestStep();
  // Takes over another node's comparison (table, column, operator, value, what was looked up
  // for it, its record count): a retrieval becoming a test.
  void CopyComparison(const CCompSimpleRtv& other);
  // Opens the run: the cache with or without the enumeration part, else the table. False when
  // the run cannot start.
  bool OpenRun(bool withEnum);
  // The comparison of the current record with the constant, without the extra comparisons.
  bool TestOwn();
  bool TestExtra();
  // Whether a record the table delivered belongs to the result (pattern retrievals filter).
  virtual bool AcceptRecord();
  // Called when the run opens (join retrievals fetch their value here).
  virtual void BeforeOpen() {}
  void DropLists();
};

class CCompSimpleCmp : public CCompSimpleRtv {
 public:
  explicit CCompSimpleCmp(CSearchCond* owner);
  // A retrieval whose table is already current becomes a test of the same comparison.
  explicit CCompSimpleCmp(const CCompSimpleRtv& rtv);

  int NextNB() override;
  AnsiString GetKind() const override;
  bool SetEnumColumn(const AnsiString& column, int cut) override;
  bool NextEnum() override;
  int NextEnumStep(TStrings& stepValues) override;
  void AcceptEnum(const TStrings& values) override;
};

class CCompSimpleRtv2 : public CCompSimpleRtv {
 public:
  explicit CCompSimpleRtv2(CSearchCond* owner);
  CCompSimpleRtv2(CSearchCond* owner, const AnsiString& table, const AnsiString& column, int op,
                  const AnsiString& otherTable, const AnsiString& otherColumn);

  bool Test() override;
  AnsiString GetKind() const override;
  bool SetEnumColumn(const AnsiString& column, int cut) override;
  void StartEnum(const AnsiString& column, TStrings& list) override;
  void SwapSides() override;
  int GetSelectivity(bool withOp) const override;
  bool Dump(const AnsiString& label) const override;

  AnsiString OtherTable;
  CTableInfo* OtherInfo = nullptr;
  AnsiString OtherColumn;
  int OtherColIndex = -1;

 protected:
  // The two current values under the operator, the pattern side kept; false when either table,
  // column or value is missing.
  bool JoinMatch();
  bool AcceptRecord() override;
  void BeforeOpen() override;
};

class CCompSimpleCmp2 : public CCompSimpleRtv2 {
 public:
  explicit CCompSimpleCmp2(CSearchCond* owner);
  explicit CCompSimpleCmp2(const CCompSimpleRtv2& rtv2);

  int NextNB() override;
  AnsiString GetKind() const override;
  bool SetEnumColumn(const AnsiString& column, int cut) override;
  bool NextEnum() override;
  int NextEnumStep(TStrings& stepValues) override;
  void AcceptEnum(const TStrings& values) override;
};

class CCompSimpleCmp3 : public CCompSimpleCmp {
 public:
  CCompSimpleCmp3(CSearchCond* owner, bool hit);

  bool Test() override;
  bool IsHit() override;
  AnsiString GetKind() const override;

  bool Hit;
};

// A retrieval of every record of the node's table, on its column, enumerating what it enumerates.
CCompSimpleRtv* MakeAllRetrieval(const CCompSimpleRtv& node);
