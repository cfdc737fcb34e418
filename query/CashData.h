// The per-table result cache of a select: complete result runs of retrievals, kept under a key
// that names the retrieval's comparisons, so that a repeated retrieval (the inner side of a join
// for a value seen before) is served from memory instead of the table.
//
//   row   string                          object
//   0..   cache key (built by the node)   TCashDataItemList*, owned by the cache
//
// At most kMaxRows rows. A hit moves its row to the front (exchanged with row 0); a new key is
// appended at the end, and a full cache drops rows from the end first, so the row stored last is
// the first to go. A retrieval offers a run to the cache only when it ended with at least one and
// at most kMaxRunItems results. The stored lists are never handed out: Get answers a deep copy.
#pragma once

#include "platform/Classes.h"
#include "store/Kvrvalue.h"

// One cached result: the table's values when the result was delivered and, for an enumerating
// run, the texts the enumeration offered with it. Owns both.
class TCashDataItem {
 public:
  TCashDataItem() = default;
  TCashDataItem(const TCashDataItem&) = delete;
  TCashDataItem& operator=(const TCashDataItem&) = delete;
  ~TCashDataItem();
  TCashDataItem* Copy() const;  // deep; the caller owns it

  CKvrValueList* Values = nullptr;
  TStringList* EnumValues = nullptr;  // null unless the run enumerated
};

// The results of one run, in delivery order; owns its items.
class TCashDataItemList : public TList {
 public:
  TCashDataItemList() = default;
  TCashDataItemList(const TCashDataItemList&) = delete;
  TCashDataItemList& operator=(const TCashDataItemList&) = delete;
  ~TCashDataItemList() override;
  void Clear() override;  // deletes every item
  TCashDataItem* Get(int i) const { return static_cast<TCashDataItem*>(Items(i)); }
  TCashDataItemList* Copy() const;  // deep; the caller owns it
};

class TCashData {
 public:
  static constexpr int kMaxRows = 160;
  static constexpr int kMaxRunItems = 320;

  TCashData() = default;
  TCashData(const TCashData&) = delete;
  TCashData& operator=(const TCashData&) = delete;
  ~TCashData();

  // Takes the list under the key (a list already there is deleted). The row index, or -1 when
  // the key is empty or the list null or empty: then the caller keeps the list.
  int Put(const AnsiString& key, TCashDataItemList* list);
  // A copy of the list stored under the key (the caller owns it), or null.
  TCashDataItemList* Get(const AnsiString& key);
  // Removes every text of `texts` from the enumeration values of every stored item.
  void RemoveTexts(const TStrings& texts);
  void Clear();

  int Count() const { return rows_.Count(); }
  const AnsiString& Key(int row) const { return rows_[row]; }

 private:
  void DeleteRow(int row);
  TStringList rows_;
};
