// Expanding a node of the folder tree on a worker thread, and the small modal dialog the
// user-interface thread waits behind when the work takes long.
//
// StartFolderExpansion clears ExpandAbort and ExpandMessage, makes the error box quiet and starts
// a TFolExpandTh that runs the routine once. The caller processes messages for a while and shows
// the dialog modally only if the worker still runs (Running). The worker's end handler
// (ThreadDone, on the user-interface thread) clears ExpandAbort and closes the dialog; closing it
// once no worker runs gives the error box back its earlier state.
//
// Stopping never waits: the abort button (and closing the window) raises ExpandAbort, which the
// enumeration and the record store poll, and the dialog stays open until the end handler runs
// from the event loop. So a worker that is itself waiting for the user-interface thread can
// always finish, and nothing touches the worker after its end handler (it frees itself then).
#pragma once

#include <atomic>
#include <functional>

#include "platform/Forms.h"
#include "platform/StdCtrls.h"
#include "platform/Thread.h"

// The message to show once the running expansion has ended, or none. Cleared when an expansion
// starts; an enumeration stopped at its limit leaves "フォルダの列挙を１万で中止しました。".
extern std::atomic<const AnsiString*> ExpandMessage;

// The work of one expansion: called once on the worker with the argument given at the start.
using TFolExpandRoutine = std::function<void(void* argument)>;

// Runs the routine once. Made suspended; frees itself when it ends.
class TFolExpandTh : public TThread {
 public:
  TFolExpandTh(TFolExpandRoutine routine, void* argument);

 protected:
  void Execute() override;

 private:
  TFolExpandRoutine routine_;
  void* argument_;
};

class TFolExpandDlg : public TForm {
 public:
  explicit TFolExpandDlg(TComponent* owner);
  // A worker still running is asked to stop, and its end handler is run before the dialog goes.
  ~TFolExpandDlg() override;

  TBevel* Bevel1;
  TLabel* Label1;
  TButton* AbortBtn;

  // Whether the worker of this dialog has not yet ended.
  bool Running() const { return worker_ != nullptr; }

  void AbortBtnClick(TObject* sender);
  void FormShow(TObject* sender);
  void FormPaint(TObject* sender);
  void FormCloseQuery(TObject* sender, bool& canClose);
  void ThreadDone(TObject* sender);

 private:
  friend void StartFolderExpansion(TFolExpandDlg* dialog, void* argument, TFolExpandRoutine routine);
  void RestoreErrorQuiet();

  TFolExpandTh* worker_ = nullptr;
  bool savedErrorQuiet_ = false;
  bool quietHeld_ = false;  // ErrorQuiet is ours to put back
};

// Starts routine(argument) on a new worker whose end the dialog handles.
void StartFolderExpansion(TFolExpandDlg* dialog, void* argument, TFolExpandRoutine routine);
