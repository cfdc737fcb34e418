#include "query/ReadingDlgUnit.h"

#include "platform/SysUtils.h"

TReadingDlg* ReadingDlg = nullptr;

TReadingDlg::TReadingDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("読み込み中・・・"));
  SetBorderStyle(bsDialog);
  SetPosition(poOwnerFormCenter);
  Font()->SetName(SJ("ＭＳ Ｐゴシック"));
  Font()->SetPixelSize(12);
  Font()->SetCharset(SHIFTJIS_CHARSET);
  SetBounds(Left(), Top(), 257, 97);

  Bevel1 = new TBevel(this);
  Bevel1->SetParent(this);
  Bevel1->SetShape(bsFrame);
  Bevel1->SetBounds(8, 8, 241, 41);
  Label1 = new TLabel(this);
  Label1->SetParent(this);
  Label1->SetCaption(SJ("読み込んだレコード数"));
  Label1->SetBounds(18, 22, Label1->Width(), Label1->Height());
  CountEdit = new TEdit(this);
  CountEdit->SetParent(this);
  CountEdit->ReadOnly = true;
  CountEdit->SetBounds(144, 18, 97, 21);
  OKBtn = new TButton(this);
  OKBtn->SetParent(this);
  OKBtn->SetCaption(SJ("中止"));
  OKBtn->Default = true;
  OKBtn->SetBounds(91, 62, 75, 25);

  OKBtn->OnClick = [this](TObject* s) { OKBtnClick(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
  OnCloseQuery = [this](TObject* s, bool& can) { FormCloseQuery(s, can); };

  Thread = new TReadingTh(true);
  Thread->CountDisplay = CountEdit;
  Thread->OnTerminate = [this](TObject* s) { ThreadDone(s); };
  Thread->FreeOnTerminate = true;
}

TReadingDlg::~TReadingDlg() {
  if (Thread && !started_) {
    delete Thread;
    Thread = nullptr;
  }
  // A running thread reaches this dialog until its end handler has run; that handler runs here.
  if (Thread) Thread->Terminate();
  while (Thread) {
    CheckSynchronize();
    Sleep(1);
  }
}

void TReadingDlg::FormShow(TObject*) {
  OKBtn->SetCaption(SJ("中止"));
  // The button comes up under the pointer. The dialog is placed here, so the framework does not
  // centre it again after this handler.
  SetPosition(poDesigned);
  int x = 0, y = 0;
  GetCursorPos(x, y);
  SetBounds(x - OKBtn->Left() - OKBtn->Width() / 2, y - OKBtn->Top() - OKBtn->Height() / 2, Width(), Height());
  CountEdit->SetText("0");
  if (Thread && !started_) {
    started_ = true;
    Thread->Start();
  }
}

void TReadingDlg::OKBtnClick(TObject*) {
  if (Thread)
    Thread->Terminate();
  else
    Close();
}

void TReadingDlg::FormCloseQuery(TObject*, bool& canClose) {
  if (!Thread) return;
  canClose = false;
  Thread->Terminate();
}

void TReadingDlg::ThreadDone(TObject*) {
  SuccessCount = Thread->SuccessCount;
  ErrorCount = Thread->ErrorCount;
  Thread = nullptr;
  OKBtn->SetCaption(SJ("閉じる"));
  Close();
  NudgeMouse(5);
}

void NudgeMouse(int n) {
  int x = 0, y = 0;
  GetCursorPos(x, y);
  SetCursorPos(x + n, y + n);
  SetCursorPos(x, y);
}
