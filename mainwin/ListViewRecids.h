// The record keys of the listed rows: a row's key is its texts at the record-id columns
// ("__REC__ID__" of each table), joined with ":". Every listed row has a key no other listed row
// has, so a record reached twice (through two selected folders) is listed once. The keys are kept
// in ordinal byte order. One thread at a time (the listing worker while the window waits).
//
// The keys live in an order-statistic tree, so that adding one costs a logarithm of the count
// however the keys arrive (record ids come in numeric order, which is not their byte order); the
// string list's own items are brought up to date when they are read through this class.
#pragma once

#include <ext/pb_ds/assoc_container.hpp>
#include <ext/pb_ds/tree_policy.hpp>
#include <string>

#include "platform/Classes.h"

class CCapInfoList;

class CListViewRecids : public TStringList {
 public:
  CListViewRecids() = default;
  ~CListViewRecids() override;

  // Empties the keys and the recorded columns.
  void Clear();
  // Records the index of every column whose field part is "__REC__ID__" (none for a null list).
  void SetColumns(CCapInfoList* columns);
  // The key's position in byte order (0 or more), or -1 when the key is listed already or row is
  // null.
  int AddRecord(TStrings* row);
  // The same without the position, which costs a second walk of the tree: true when the key was
  // new and is now listed.
  bool AddKey(TStrings* row);

  // The keys as a string list, in byte order.
  int Count() const;
  AnsiString CommaText() const;

  TList* Columns = new TList;  // column indexes, owned

 private:
  using KeyTree = __gnu_pbds::tree<std::string, __gnu_pbds::null_type, std::less<std::string>, __gnu_pbds::rb_tree_tag,
                                   __gnu_pbds::tree_order_statistics_node_update>;
  std::string KeyOf(const TStrings& row) const;
  void Sync() const;
  KeyTree keys_;
  mutable bool synced_ = true;
};
