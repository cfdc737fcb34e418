// The listing worker: one chunk of an open listing read on its own thread while the window waits
// in the modal progress dialog (GetListDlg), which starts it and closes when it ends.
//
// The worker appends to a row list of its own (Rows), never to the list the grid and the summary
// read: a repaint during the chunk then never meets a list being appended to. The caller moves
// the rows over once the dialog has closed. Folder and Ids belong to the user-interface thread,
// which does not touch them while the dialog is up. Made suspended; frees itself when it ends.
//
// Within the chunk a reader thread of the worker's own reads the folder's rows into a short queue
// while the worker keys and appends those already read. The reader reads no row the chunk would
// not have read (at most the rows the chunk may still accept) and is joined, its rows listed,
// before the worker ends, so that outside a chunk the folder has one thread again.
#pragma once

#include <atomic>

#include "platform/StdCtrls.h"
#include "platform/Thread.h"

class CDbFolder;
class CListViewRecids;
class CStringsList;

class TGetListTh : public TThread {
 public:
  explicit TGetListTh(bool createSuspended);
  ~TGetListTh() override;

  // Rows listed so far, those of earlier chunks included; the dialog shows it.
  std::atomic<int> Count{0};
  // The chunk ends once Count reaches it; at least one row is read whatever its value.
  int Limit = 10000;
  CDbFolder* Folder = nullptr;
  CStringsList* Rows = nullptr;  // the chunk's own rows
  TEdit* Progress = nullptr;     // written through the synchronised call only
  CListViewRecids* Ids = nullptr;
  int Width = 0;  // texts per row, made room for in each new row

 protected:
  void Execute() override;

 private:
  void ReadAlone(int target);
};
