// CCompSimpleList: the comparison nodes of one alternative, all of which must hold, and their plan.
//
// Planned once (Plan), the list runs as a nested loop with backtracking: the node at the cursor
// steps; a result moves the cursor on (the next node starts afresh), an end moves it back (the
// outer node gives its next result). A complete combination has every node's records current.
// An empty list yields one combination.
//
// The plan: nodes that test records already current run first, retrievals in decreasing
// selectivity, a join is driven from the table that is already current, nodes of the
// extended-items table run last. Tables already current are "bound"; callers pass the bound
// tables as a list of exact names.
//
// Non-blocking calls do at most kStepBudget node steps and then answer 0 (call again).
#pragma once

#include "platform/Classes.h"

class CCompSimple;
class CSearchCond;

class CCompSimpleList : public TList {
 public:
  static constexpr int kStepBudget = 100;

  explicit CCompSimpleList(CSearchCond* owner);
  CCompSimpleList(const CCompSimpleList&) = delete;
  CCompSimpleList& operator=(const CCompSimpleList&) = delete;
  ~CCompSimpleList() override;
  void Clear() override;  // deletes every node

  // Takes the node (its owner becomes the list's owner); -1 for a null node.
  int Add(CCompSimple* node);
  CCompSimple* Get(int i) const { return static_cast<CCompSimple*>(Items(i)); }
  // Takes node i out of the list without deleting it.
  CCompSimple* Extract(int i);

  void Restart();
  // -1 no further combination, 0 call again, 1 a combination is current.
  int NextNB();
  // The first node that accepts "table.column" enumerates it; false when none did.
  bool SetEnumColumn(const AnsiString& column, int cut);
  // Blocking: true with a combination current.
  bool NextEnum();
  // -1 end, otherwise the number of texts newly appended to `out` (0: call again).
  int NextEnumNB(TStrings& out);

  void Plan(TStrings& bound);
  void SetOwner(CSearchCond* owner);
  // Orders the nodes from position `from` on by their planning keys, highest first.
  void SortByOrder(const TStrings* bound, int from = 0);
  // Nodes from p to the end, p included, on node p's table (0 when it has none).
  int CountSameTable(int p) const;
  // Counts, for one table, plain comparisons, comparisons with a leading wildcard and joins;
  // answers the node count.
  int CountKinds(const AnsiString& table, int& plain, int& wildcard, int& joins) const;
  // The tables joined with `table` into `out` (emptied first); answers their count.
  int CollectJoinedTables(const AnsiString& table, TStrings& out) const;
  // Writes the plan to the log, node i under the label "label-i".
  bool Dump(const AnsiString& label) const;

  // Planning steps, public for the search conditions' regrouping.
  int PickStart(const TStrings& bound, int pos) const;
  void ConvertBoundNodes(const TStrings& bound, int pos);
  int GatherTable(const TStrings& bound, const AnsiString& table, int pos);

  CSearchCond* Owner;
  int EnumIndex = -1;  // node that enumerates
  int Cursor = 0;
  TStringList* StepValues = nullptr;

 private:
  void RemoveEmptyPlaces();
  void Fold();
};
