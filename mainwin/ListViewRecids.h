// The record keys of the listed rows: a row's key is its texts at the record-id columns
// ("__REC__ID__" of each table), joined with ":". Every listed row has a key no other listed row
// has, so a record reached twice (through two selected folders) is listed once. The keys are kept
// in ordinal byte order. One thread at a time (the listing worker while the window waits).
#pragma once

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
  // The key's new position (0 or more), or -1 when the key is listed already or row is null.
  int AddRecord(TStrings* row);

  TList* Columns = new TList;  // column indexes, owned
};
