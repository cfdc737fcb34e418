#include "foundation/CvMessageUnit.h"

#include <vector>

TCvMessageDlg::TCvMessageDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("ダイアログ"));
  SetBorderStyle(bsDialog);
  SetPosition(poOwnerFormCenter);
  Font()->SetName(SJ("ＭＳ Ｐゴシック"));
  Font()->SetPixelSize(12);
  Font()->SetCharset(SHIFTJIS_CHARSET);
  SetBounds(Left(), Top(), 313, 95);

  Bevel1 = new TBevel(this);
  Bevel1->SetParent(this);
  Bevel1->SetShape(bsFrame);
  Bevel1->SetBounds(8, 8, 297, 41);

  Label1 = new TLabel(this);
  Label1->SetParent(this);
  Label1->SetBounds(32, 24, Label1->Width(), Label1->Height());

  OnShow = [this](TObject* s) { FormShow(s); };
  OnDestroy = [this](TObject* s) { FormDestroy(s); };
  OnKeyPress = [this](TObject* s, char& k) { FormKeyPress(s, k); };
}

TCvMessageDlg::~TCvMessageDlg() { Destroying(); }

void TCvMessageDlg::AddButton(const AnsiString& caption, int modalResult) {
  auto* b = new TButton(this);
  b->SetParent(this);
  b->SetCaption(caption);
  b->ModalResult = modalResult;
  ButtonList->AddObject(caption, b);
}

void TCvMessageDlg::FormShow(TObject*) {
  if (ButtonList) return;  // laid out on the first showing
  ButtonList = new TStringList;
  struct ButtonDef {
    AnsiString caption;
    int result;
  };
  std::vector<ButtonDef> set;
  switch (ButtonSet) {
    case 0: set = {{SJ("ＯＫ"), mrOk}}; break;
    case 1: set = {{SJ("ＯＫ"), mrOk}, {SJ("キャンセル"), mrCancel}}; break;
    case 2: set = {{SJ("中止"), mrAbort}, {SJ("再試行"), mrRetry}, {SJ("無視"), mrIgnore}}; break;
    case 3: set = {{SJ("はい(&Y)"), mrYes}, {SJ("いいえ(&N)"), mrNo}, {SJ("キャンセル(&C)"), mrCancel}}; break;
    case 4: set = {{SJ("はい(&Y)"), mrYes}, {SJ("いいえ(&N)"), mrNo}}; break;
    case 5: set = {{SJ("再試行"), mrRetry}, {SJ("キャンセル"), mrCancel}}; break;
    default: break;
  }
  for (const ButtonDef& s : set) AddButton(s.caption, s.result);
  if (ButtonList->Count() == 0) return;

  if (ClientWidth() < Label1->Left() + Label1->Width() + 40) {
    SetClientWidth(Label1->Left() + Label1->Width() + 48);
    Bevel1->SetWidth(ClientWidth() - 2 * Bevel1->Left());
  }
  Label1->SetLeft((ClientWidth() - Label1->Width()) / 2);

  int total = 0;
  for (int i = 0; i < ButtonList->Count(); ++i) total += static_cast<TButton*>(ButtonList->Objects(i))->Width();
  int left = (ClientWidth() - total - 16 * (ButtonList->Count() - 1)) / 2;
  for (int i = 0; i < ButtonList->Count(); ++i) {
    auto* b = static_cast<TButton*>(ButtonList->Objects(i));
    b->SetBounds(left, ClientHeight() - 10 - b->Height(), b->Width(), b->Height());
    left += b->Width() + 16;
  }
}

void TCvMessageDlg::FormDestroy(TObject*) {
  delete ButtonList;
  ButtonList = nullptr;
}

void TCvMessageDlg::FormKeyPress(TObject*, char&) {}

int CvMessageBox(const AnsiString& text, const AnsiString& caption, int buttonSet, TComponent* owner) {
  auto* dlg = new TCvMessageDlg(owner ? owner : Application);
  dlg->SetCaption(caption);
  dlg->Label1->SetCaption(text);
  dlg->ButtonSet = buttonSet;
  const int result = dlg->ShowModal();
  delete dlg;
  return result;
}
