// Search conditions: the alternatives of a select (CSearchCondList, an OR list) and each
// alternative (CSearchCond, an AND list of comparison nodes), made from the parser's alternatives,
// optimised before the first run and dumped to the log as the plan.
//
// Optimising, in order: duplicate comparisons inside an alternative are removed; a table that an
// alternative constrains only by comparisons with a leading wildcard is scanned once for the whole
// OR list, which moves under a "base" node; a comparison that several alternatives share is
// evaluated once, in front of a "base" node holding what remains of them; then every alternative
// is planned. Factoring nests base nodes at most kMaxFactorDepth deep; deeper alternatives are
// left as they are (still correct, only not shared).
//
// A combination that several alternatives deliver counts once: the select skips what an earlier
// alternative holds for, and a base node skips what an earlier nested alternative holds for.
#pragma once

#include "platform/Classes.h"
#include "query/CompList.h"
#include "query/Condtree.h"
#include "query/TableInfo.h"

class CCompSimple;

// What the search conditions and their nodes need of the select that owns them; the select
// implements it.
class CRecSelectBase {
 public:
  virtual ~CRecSelectBase() = default;
  // The select's tables in their order (never null).
  virtual CTableInfoList* GetTableList() = 0;
  // Rewrites a column name as "table.column" of the select's table that has it; false (name
  // unchanged) when none has.
  virtual bool QualifyName(AnsiString& name) = 0;
  // The text of that column's current value; false when the table or column is not in the select.
  virtual bool GetValue(const AnsiString& table, const AnsiString& column, AnsiString& text) = 0;
  // Computes the extended items for the current records; the number of items.
  virtual int EvalExtendedItems() = 0;
};

// One alternative. Owns its node list; every node added gets this alternative as its owner.
class CSearchCond {
 public:
  explicit CSearchCond(CRecSelectBase* owner);
  CSearchCond(const CSearchCond&) = delete;
  CSearchCond& operator=(const CSearchCond&) = delete;
  ~CSearchCond();

  // Nodes for the parsed comparisons of one alternative.
  void SetCond(const TCondAndList& comparisons);
  // Every record of every select table that has a column.
  void SetMatchAll();
  void Prepare();

  void Reset();
  // 1 a combination is current, 0 call again, -1 end.
  int NextNB();
  // -1 end, otherwise the number of enumerated texts newly appended to `out`.
  int NextEnumNB(TStrings& out);
  // Whether every node holds for the current records.
  bool IsHit();

  CRecSelectBase* Owner;
  CCompSimpleList* Nodes;
};

// The alternatives of a select, or of a base node; owns them.
class CSearchCondList : public TList {
 public:
  static constexpr int kMaxFactorDepth = 32;

  CSearchCondList() = default;
  CSearchCondList(const CSearchCondList&) = delete;
  CSearchCondList& operator=(const CSearchCondList&) = delete;
  ~CSearchCondList() override;
  void Clear() override;  // destroys every alternative

  CSearchCond* Get(int i) const { return static_cast<CSearchCond*>(Items(i)); }

  void Optimize();
  // Each alternative k (from 1) under the label title + k.
  void Dump(const AnsiString& title) const;
  // The enumerated alternative becomes 0; true when every alternative accepted the column.
  bool SetEnumColumn(const AnsiString& column, int cut);

  void RemoveDuplicates();
  void GroupFullScans();
  void FactorCommonNodes(const TStrings* bound, int depth = 0);

  int EnumIndex = -1;  // the alternative being enumerated
};

// 0 when the two nodes are equal (same kind among rtv, rtv2, cmp, cmp2, and the same comparison),
// non-zero otherwise; other kinds are never equal.
int CompareNodes(const CCompSimple* a, const CCompSimple* b);

// Weight by which a parsed comparison is placed within its alternative, highest first.
int ComparisonWeight(const CCondTreeNodeComp& comparison);
