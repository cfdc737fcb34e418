#include "folders/FolExpandUnit.h"

#include "foundation/LogForm.h"
#include "platform/SysUtils.h"
#include "query/ReadingDlgUnit.h"
#include "store/KvRecord.h"

std::atomic<const AnsiString*> ExpandMessage{nullptr};

// ---- The worker --------------------------------------------------------------------------------

TFolExpandTh::TFolExpandTh(TFolExpandRoutine routine, void* argument)
    : TThread(true), routine_(std::move(routine)), argument_(argument) {
  FreeOnTerminate = true;
}

void TFolExpandTh::Execute() {
  if (routine_) routine_(argument_);
}

// ---- The dialog --------------------------------------------------------------------------------

TFolExpandDlg::TFolExpandDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("実行中…"));
  SetBorderStyle(bsDialog);
  Font()->SetName(SJ("ＭＳ Ｐゴシック"));
  Font()->SetPixelSize(12);
  Font()->SetCharset(SHIFTJIS_CHARSET);
  SetClientWidth(178);
  SetClientHeight(95);

  Bevel1 = new TBevel(this);
  Bevel1->SetParent(this);
  Bevel1->SetShape(bsFrame);
  Bevel1->SetBounds(8, 8, 162, 41);
  Label1 = new TLabel(this);
  Label1->SetParent(this);
  Label1->SetCaption(SJ("実行中・・・"));
  Label1->SetBounds((178 - Label1->Width()) / 2, 8 + (41 - Label1->Height()) / 2, Label1->Width(), Label1->Height());
  AbortBtn = new TButton(this);
  AbortBtn->SetParent(this);
  AbortBtn->SetCaption(SJ("中止"));
  AbortBtn->Default = true;
  AbortBtn->SetBounds(51, 60, 75, 25);

  AbortBtn->OnClick = [this](TObject* s) { AbortBtnClick(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
  OnCloseQuery = [this](TObject* s, bool& can) { FormCloseQuery(s, can); };
}

TFolExpandDlg::~TFolExpandDlg() {
  // The worker's end handler reaches this dialog; it must have run before the dialog goes.
  if (worker_) {
    ExpandAbort = 1;
    worker_->Terminate();
  }
  while (worker_) {
    CheckSynchronize();
    Sleep(1);
  }
  RestoreErrorQuiet();
}

void TFolExpandDlg::RestoreErrorQuiet() {
  if (!quietHeld_) return;
  quietHeld_ = false;
  ErrorQuiet = savedErrorQuiet_;
}

void TFolExpandDlg::AbortBtnClick(TObject*) {
  if (!worker_) return;
  Label1->SetCaption(SJ("中止中・・・"));
  Label1->SetLeft((ClientWidth() - Label1->Width()) / 2);
  Application->ProcessMessages();
  // The worker may have ended while the label was drawn; a stop request would then outlive it.
  if (!worker_) return;
  ExpandAbort = 1;
  worker_->Terminate();
}

void TFolExpandDlg::FormShow(TObject*) {
  if (!worker_) {
    Close();
    return;
  }
  // The button comes up under the pointer; placed here, the dialog is not centred again.
  SetPosition(poDesigned);
  int x = 0, y = 0;
  GetCursorPos(x, y);
  SetBounds(x - AbortBtn->Left() - AbortBtn->Width() / 2, y - AbortBtn->Top() - AbortBtn->Height() / 2, Width(),
            Height());
}

void TFolExpandDlg::FormPaint(TObject*) {
  if (!worker_) Close();
}

void TFolExpandDlg::FormCloseQuery(TObject* sender, bool& canClose) {
  if (worker_) AbortBtnClick(sender);
  // Processing messages in the abort may have run the end handler: then the dialog may go.
  canClose = worker_ == nullptr;
  if (canClose) RestoreErrorQuiet();
}

void TFolExpandDlg::ThreadDone(TObject*) {
  ExpandAbort = 0;
  worker_ = nullptr;
  Close();
  NudgeMouse(5);
}

// ---- Starting ----------------------------------------------------------------------------------

void StartFolderExpansion(TFolExpandDlg* dialog, void* argument, TFolExpandRoutine routine) {
  auto* worker = new TFolExpandTh(std::move(routine), argument);
  worker->OnTerminate = [dialog](TObject* s) { dialog->ThreadDone(s); };
  dialog->worker_ = worker;
  ExpandAbort = 0;
  ExpandMessage = nullptr;
  if (!dialog->quietHeld_) {
    dialog->savedErrorQuiet_ = ErrorQuiet.exchange(true);
    dialog->quietHeld_ = true;
  } else {
    ErrorQuiet = true;
  }
  worker->Start();
}
