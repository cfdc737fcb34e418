#include "mainwin/GetListUnit.h"

#include "platform/SysUtils.h"
#include "query/ReadingDlgUnit.h"

TGetListDlg* GetListDlg = nullptr;

TGetListDlg::TGetListDlg(TComponent* owner) : TForm(owner) {
  Name = "GetListDlg";
  SetCaption(SJ("検索中・・・"));
  SetBorderStyle(bsDialog);
  SetPosition(poMainFormCenter);
  Font()->SetName(SJ("ＭＳ Ｐゴシック"));
  Font()->SetPixelSize(12);
  Font()->SetCharset(SHIFTJIS_CHARSET);
  SetClientWidth(257);
  SetClientHeight(97);

  Bevel1 = new TBevel(this);
  Bevel1->SetParent(this);
  Bevel1->SetShape(bsFrame);
  Bevel1->SetBounds(8, 8, 241, 41);
  Label1 = new TLabel(this);
  Label1->SetParent(this);
  Label1->SetCaption(SJ("検索した件数は"));
  Label1->SetBounds(18, 8 + (41 - Label1->Height()) / 2, Label1->Width(), Label1->Height());
  Edit1 = new TEdit(this);
  Edit1->SetParent(this);
  Edit1->ReadOnly = true;
  Edit1->SetBounds(144, 18, 97, 21);
  OKBtn = new TButton(this);
  OKBtn->SetParent(this);
  OKBtn->SetCaption(SJ("中止"));
  OKBtn->Default = true;
  OKBtn->SetBounds(91, 62, 75, 25);

  OKBtn->OnClick = [this](TObject* s) { OKBtnClick(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
  OnPaint = [this](TObject* s) { FormPaint(s); };
  OnCloseQuery = [this](TObject* s, bool& can) { FormCloseQuery(s, can); };
}

TGetListDlg::~TGetListDlg() {
  // A worker never started is the dialog's to free; a started one reaches this dialog from its
  // end handler, which must have run before the dialog goes.
  if (Thread && Thread != started_) {
    delete Thread;
    Thread = nullptr;
  }
  if (Thread) Thread->Terminate();
  while (Thread) {
    CheckSynchronize();
    Sleep(1);
  }
}

void TGetListDlg::FormShow(TObject*) {
  OKBtn->SetCaption(SJ("中止"));
  Aborted = false;
  if (!Thread) {
    Close();
    return;
  }
  // The button comes up under the pointer; placed here, the dialog is not centred again.
  SetPosition(poDesigned);
  int x = 0, y = 0;
  GetCursorPos(x, y);
  SetBounds(x - OKBtn->Left() - OKBtn->Width() / 2, y - OKBtn->Top() - OKBtn->Height() / 2, Width(), Height());
  Edit1->SetText(IntToStr(Thread->Count));
  OKBtn->SetEnabled(true);
  Thread->OnTerminate = [this](TObject* s) { ThreadDone(s); };
  started_ = Thread;
  Thread->Start();
}

void TGetListDlg::FormPaint(TObject*) {
  if (!Thread) Close();
}

void TGetListDlg::OKBtnClick(TObject*) {
  if (Thread) {
    Thread->Terminate();
    Aborted = true;
  } else {
    Close();
  }
  OKBtn->SetEnabled(false);
}

void TGetListDlg::FormCloseQuery(TObject*, bool& canClose) {
  if (!Thread) return;
  canClose = false;
  Thread->Terminate();
}

void TGetListDlg::ThreadDone(TObject*) {
  Thread = started_ = nullptr;
  OKBtn->SetCaption(SJ("閉じる"));
  Close();
  NudgeMouse(5);
}
