// The listing's progress dialog, made once at start-up: "検索中・・・" with the count of rows
// listed and the button "中止". The caller puts a suspended listing worker into Thread and shows
// the dialog modally; the dialog starts the worker, shows its count, asks it to stop when "中止"
// is pressed or the window is closed, and closes when it has ended. Aborted tells the caller that
// the user stopped it. User-interface thread only.
#pragma once

#include "mainwin/GetListTh.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"

class TGetListDlg : public TForm {
 public:
  explicit TGetListDlg(TComponent* owner);
  // A worker still running is asked to stop, and its end handler runs before the dialog goes.
  ~TGetListDlg() override;

  TBevel* Bevel1;
  TLabel* Label1;  // "検索した件数は"
  TEdit* Edit1;    // the count
  TButton* OKBtn;  // "中止", "閉じる" once the worker has ended

  TGetListTh* Thread = nullptr;  // the running worker; null when none
  bool Aborted = false;

  void FormShow(TObject* sender);
  void FormPaint(TObject* sender);
  void OKBtnClick(TObject* sender);
  void FormCloseQuery(TObject* sender, bool& canClose);
  void ThreadDone(TObject* sender);

 private:
  TGetListTh* started_ = nullptr;  // the worker this dialog started last
};

extern TGetListDlg* GetListDlg;
