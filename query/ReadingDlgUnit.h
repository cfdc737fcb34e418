// TReadingDlg: the modal progress dialog of an import. Its constructor makes the import thread
// (suspended); the first showing starts it; the dialog shows the running count, asks the thread
// to stop when "中止" is pressed or the window is closed, and closes itself when the thread has
// ended, keeping the thread's success and error counts.
//
// The dialog owns the thread until it has started; a started thread frees itself when it ends
// (Thread is null from then on). User-interface thread only.
#pragma once

#include "platform/Forms.h"
#include "platform/StdCtrls.h"
#include "query/ReadingTh.h"

class TReadingDlg : public TForm {
 public:
  explicit TReadingDlg(TComponent* owner);
  // A thread still running is asked to stop and waited for first.
  ~TReadingDlg() override;

  TBevel* Bevel1;
  TLabel* Label1;
  TEdit* CountEdit;  // the thread's count display
  TButton* OKBtn;

  int SuccessCount = 0;  // taken from the thread when it ends
  int ErrorCount = 0;
  TReadingTh* Thread = nullptr;

  void FormShow(TObject* sender);
  void OKBtnClick(TObject* sender);
  void FormCloseQuery(TObject* sender, bool& canClose);
  void ThreadDone(TObject* sender);

 private:
  bool started_ = false;
};

// The dialog of the import under way (set by CDbHandle::ImportRecords), else null.
extern TReadingDlg* ReadingDlg;

// Moves the mouse pointer n pixels right and down and straight back.
void NudgeMouse(int n);
