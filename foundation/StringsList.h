// The rows of a listing: each item is a record row (a TStrings with one text per column of
// ColumnList, in column order). The list owns its rows.
//
// Whoever keeps pointers into the rows (the summary's groups name their member rows) registers a
// release handler; it runs before DeleteAll deletes any row and when the list is destroyed, so
// that no pointer outlives its row. User-interface thread only.
#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "platform/Classes.h"

class CCapInfoList;

class CStringsList : public TList {
 public:
  CStringsList() = default;
  ~CStringsList() override;
  CStringsList(const CStringsList&) = delete;
  CStringsList& operator=(const CStringsList&) = delete;

  TStrings* Row(int i) const { return static_cast<TStrings*>(Items(i)); }
  // Runs the release handlers, deletes every row and empties the list. The plain Clear() only
  // empties it: a list that borrows its rows uses that.
  void DeleteAll();

  // gone is true when the list itself is being destroyed; the handler is dropped after that call.
  using ReleaseHandler = std::function<void(bool gone)>;
  // One handler per key; an empty handler removes the key's.
  void SetReleaseHandler(const void* key, ReleaseHandler handler);

  CCapInfoList* ColumnList = nullptr;  // not owned

 private:
  void Release(bool gone);
  std::vector<std::pair<const void*, ReleaseHandler>> handlers_;
};
