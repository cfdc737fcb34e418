#include "views/CvcmEditUnit.h"

#include <algorithm>

#include "views/HandleDrag.h"

namespace {

// The smallest width and height a memo keeps, and how much of it stays on the card.
constexpr int kMinExtent = 4;
// How far from the screen's right and bottom edges the dialog may start.
constexpr int kScreenMargin = 20;

}  // namespace

TCvcmEditDlg::TCvcmEditDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("文字枠の設定"));
  SetBorderStyle(bsDialog);
  SetPosition(poDefault);
  SetClientWidth(352);
  SetClientHeight(359);

  auto button = [&](const char* caption, int left) {
    auto* b = new TButton(this);
    b->SetParent(this);
    b->SetCaption(Utf8ToSjis(caption));
    b->SetBounds(left, 8, left == 8 ? 80 : 100, 25);
    return b;
  };
  Button2 = button("色", 8);
  Button1 = button("フォント", 94);

  auto group = [&](const char* caption, std::initializer_list<const char*> items, int left, int top, int width, int height) {
    auto* g = new TRadioGroup(this);
    g->SetParent(this);
    g->SetCaption(Utf8ToSjis(caption));
    for (const char* item : items) g->Items()->Add(Utf8ToSjis(item));
    g->SetBounds(left, top, width, height);
    g->OnClick = [this](TObject* s) { RadioGroup1Click(s); };
    return g;
  };
  RadioGroup1 = group("見出し", {"表示", "隠す"}, 8, 42, 80, 68);
  RadioGroup2 = group("外枠", {"表示", "隠す"}, 94, 42, 100, 68);
  RadioGroup3 = group("位置揃え", {"左揃え", "中央揃え", "右揃え"}, 8, 116, 80, 90);
  RadioGroup4 = group("表示モード", {"文字列", "バーコード", "イメージ"}, 94, 116, 100, 90);

  // Two framed rows: a drag handle, an up-down for the vertical and one for the horizontal.
  auto frame = [&](int top) {
    auto* b = new TBevel(this);
    b->SetParent(this);
    b->SetBounds(202, top, 142, 56);
    return b;
  };
  auto handle = [&](const char* caption, int top) {
    auto* l = new TLabel(this);
    l->SetParent(this);
    l->SetCaption(Utf8ToSjis(caption));
    l->SetBounds(212, top, l->Width(), l->Height());
    l->SetCursor(crSizeAll);
    return l;
  };
  auto upDown = [&](TUDOrientation orientation, int left, int top, int width, int height) {
    auto* u = new TUpDown(this);
    u->SetParent(this);
    u->SetOrientation(orientation);
    u->SetMin(-999);
    u->SetMax(999);
    u->SetPosition(0);
    u->SetBounds(left, top, width, height);
    u->OnButtonClick = [this](TObject* s, TUDBtnType b) { UpDown1Click(s, b); };
    return u;
  };
  Bevel1 = frame(42);
  PosiLabel = handle("位置", 62);
  UpDown1 = upDown(udVertical, 264, 48, 17, 44);
  UpDown2 = upDown(udHorizontal, 294, 60, 40, 20);
  Bevel2 = frame(106);
  SizeLabel = handle("大きさ", 126);
  UpDown3 = upDown(udVertical, 264, 112, 17, 44);
  UpDown4 = upDown(udHorizontal, 294, 124, 40, 20);

  Label3 = new TLabel(this);
  Label3->SetParent(this);
  Label3->SetAutoSize(false);
  Label3->SetAlignment(taRightJustify);
  Label3->SetBounds(202, 176, 142, 16);

  Memo1 = new TMemo(this);
  Memo1->SetParent(this);
  Memo1->SetScrollBars(ssVertical);
  Memo1->SetBounds(8, 214, 336, 104);

  SaveLb = new TLabel(this);
  SaveLb->SetParent(this);
  SaveLb->SetAutoSize(false);
  SaveLb->SetVisible(false);

  OKBtn = new TButton(this);
  OKBtn->SetParent(this);
  OKBtn->SetCaption("OK");
  OKBtn->ModalResult = mrOk;
  OKBtn->Default = true;
  OKBtn->SetBounds(188, 326, 75, 25);
  CancelBtn = new TButton(this);
  CancelBtn->SetParent(this);
  CancelBtn->SetCaption(SJ("キャンセル"));
  CancelBtn->ModalResult = mrCancel;
  CancelBtn->Cancel = true;
  CancelBtn->SetBounds(269, 326, 75, 25);

  FontDialog1 = new TFontDialog(this);
  ColorDialog1 = new TColorDialog(this);
  ColorDialog1->Options = cdFullOpen;

  Button2->OnClick = [this](TObject* s) { Button2Click(s); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  const auto active = [this] { return memo_ != nullptr; };
  FollowHandleDrags(
      PosiLabel, this, active, [this](int dx, int dy) { MoveMemo(dx, dy, 0, 0); }, [this] { PosiReleased(); });
  FollowHandleDrags(
      SizeLabel, this, active, [this](int dx, int dy) { MoveMemo(0, 0, dx, dy); }, [this] { SizeReleased(); });
  OnShow = [this](TObject* s) { FormShow(s); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
}

TCvcmEditDlg::~TCvcmEditDlg() { Destroying(); }

void TCvcmEditDlg::AttachCardMemo(TCvCardMemo* memo) {
  memo_ = memo;
  if (!memo) return;
  SaveLb->Font()->Assign(*memo->Font());
  SaveLb->SetColor(memo->Color());
  SaveLb->SetBounds(memo->Left(), memo->Top(), memo->Width(), memo->Height());
  SaveLb->SetAlignment(memo->Alignment());
  if (TCvCardLabel* heading = memo->CaptionLabel()) {
    savedHeadingVisible_ = heading->Visible();
    savedHeadingFont_.Assign(*heading->Font());
  }
  savedBorder_ = memo->BorderStyle();
  savedMode_ = memo->GetDisplayMode();
}

void TCvcmEditDlg::ShowBounds() {
  Label3->SetCaption(memo_ ? Format("X=%d Y=%d W=%d H=%d", memo_->GetMemoLeft(), memo_->GetMemoTop(),
                                    memo_->GetMemoWidth(), memo_->GetMemoHeight())
                           : AnsiString());
}

void TCvcmEditDlg::FormShow(TObject*) {
  for (TUpDown* u : {UpDown1, UpDown2, UpDown3, UpDown4}) u->Tag = u->Position();
  if (!memo_) return;
  showing_ = true;
  TCvCardLabel* heading = memo_->CaptionLabel();
  RadioGroup1->SetEnabled(heading != nullptr);
  if (heading) RadioGroup1->SetItemIndex(heading->Visible() ? 0 : 1);
  RadioGroup2->SetItemIndex(memo_->BorderStyle() == bsSingle ? 0 : 1);
  const TAlignment a = memo_->Alignment();
  RadioGroup3->SetItemIndex(a == taCenter ? 1 : a == taRightJustify ? 2 : 0);
  const uint8_t mode = memo_->GetDisplayMode();
  RadioGroup4->SetItemIndex(mode <= 2 ? mode : 0);
  Memo1->SetText(memo_->GetMemoText());
  ShowBounds();
  showing_ = false;

  // Just below the memo, kept on the screen.
  TPoint at{memo_->GetMemoLeft() + 16, memo_->GetMemoTop() + memo_->GetMemoHeight() + 16};
  if (TWinControl* parent = memo_->GetMemoParent()) at = parent->ClientToScreen(at);
  const int maxLeft = Screen->Width() - kScreenMargin, maxTop = Screen->Height() - kScreenMargin;
  at.x = std::clamp(at.x, 0, std::max(0, maxLeft));
  at.y = std::clamp(at.y, 0, std::max(0, maxTop));
  SetBounds(at.x, at.y, Width(), Height());
}

void TCvcmEditDlg::FormClose(TObject*, TCloseAction& action) {
  action = caHide;
  if (!memo_) return;
  if (ModalResult() == mrCancel) {
    const int dx = memo_->GetMemoLeft() - SaveLb->Left(), dy = memo_->GetMemoTop() - SaveLb->Top();
    if (TCvCardLabel* heading = memo_->CaptionLabel()) {
      heading->SetVisible(savedHeadingVisible_);
      SetHeadingFont(savedHeadingFont_);
      heading->SetBounds(heading->Left() - dx, heading->Top() - dy, heading->Width(), heading->Height());
    }
    memo_->Font()->Assign(*SaveLb->Font());
    memo_->SetColor(SaveLb->Color());
    memo_->SetMemoLeft(SaveLb->Left());
    memo_->SetMemoTop(SaveLb->Top());
    memo_->SetMemoWidth(SaveLb->Width());
    memo_->SetMemoHeight(SaveLb->Height());
    memo_->SetAlignment(SaveLb->Alignment());
    memo_->SetBorderStyle(savedBorder_);
    memo_->SetDisplayMode(savedMode_);
  } else {
    memo_->SetMemoText(Memo1->Text());
  }
}

// ---- Look ----

void TCvcmEditDlg::Button2Click(TObject*) {
  if (!memo_) return;
  ColorDialog1->Color = memo_->Color();
  if (ColorDialog1->Execute()) memo_->SetColor(ColorDialog1->Color);
}

void TCvcmEditDlg::SetHeadingFont(const TFont& font) {
  TCvCardLabel* heading = memo_->CaptionLabel();
  if (!heading) return;
  const int right = heading->Left() + heading->Width();
  heading->Font()->Assign(font);
  heading->SetBounds(right - heading->Width(), heading->Top(), heading->Width(), heading->Height());
}

void TCvcmEditDlg::Button1Click(TObject*) {
  if (!memo_) return;
  FontDialog1->Font()->Assign(*memo_->Font());
  if (!FontDialog1->Execute()) return;
  memo_->Font()->Assign(*FontDialog1->Font());
  SetHeadingFont(*FontDialog1->Font());
}

void TCvcmEditDlg::RadioGroup1Click(TObject* sender) {
  if (!memo_ || showing_) return;
  if (sender == RadioGroup1) {
    if (TCvCardLabel* heading = memo_->CaptionLabel()) heading->SetVisible(RadioGroup1->ItemIndex() == 0);
  } else if (sender == RadioGroup2) {
    memo_->SetBorderStyle(RadioGroup2->ItemIndex() == 0 ? bsSingle : bsNone);
  } else if (sender == RadioGroup3) {
    const int i = RadioGroup3->ItemIndex();
    memo_->SetAlignment(i == 1 ? taCenter : i == 2 ? taRightJustify : taLeftJustify);
  } else if (sender == RadioGroup4) {
    const int i = RadioGroup4->ItemIndex();
    memo_->SetDisplayMode(i == 1 || i == 2 ? static_cast<uint8_t>(i) : 0);
  }
}

// ---- Position and size ----

void TCvcmEditDlg::MoveMemo(int dx, int dy, int dw, int dh) {
  if (dx != 0 || dy != 0) {
    memo_->SetMemoLeft(memo_->GetMemoLeft() + dx);
    memo_->SetMemoTop(memo_->GetMemoTop() + dy);
    if (TCvCardLabel* heading = memo_->CaptionLabel())
      heading->SetBounds(heading->Left() + dx, heading->Top() + dy, heading->Width(), heading->Height());
  }
  if (dw != 0) memo_->SetMemoWidth(memo_->GetMemoWidth() + dw);
  if (dh != 0) memo_->SetMemoHeight(memo_->GetMemoHeight() + dh);
  ShowBounds();
}

void TCvcmEditDlg::UpDown1Click(TObject* sender, TUDBtnType) {
  auto* u = dynamic_cast<TUpDown*>(sender);
  if (!memo_ || !u) return;
  const int d = u->Position() - static_cast<int>(u->Tag);
  if (d == 0) return;
  // The up arrows move the memo up and make it shorter. A memo is never made smaller than it
  // can be grabbed again.
  if (u == UpDown1)
    MoveMemo(0, -d, 0, 0);
  else if (u == UpDown2)
    MoveMemo(d, 0, 0, 0);
  else if (u == UpDown3)
    MoveMemo(0, 0, 0, std::max(kMinExtent, memo_->GetMemoHeight() - d) - memo_->GetMemoHeight());
  else if (u == UpDown4)
    MoveMemo(0, 0, std::max(kMinExtent, memo_->GetMemoWidth() + d) - memo_->GetMemoWidth(), 0);
  u->Tag = u->Position();
}

void TCvcmEditDlg::PosiReleased() {
  // The memo stays where it can be reached again.
  if (memo_->GetMemoLeft() + memo_->GetMemoWidth() < kMinExtent) memo_->SetMemoLeft(0);
  if (memo_->GetMemoTop() + memo_->GetMemoHeight() < kMinExtent) memo_->SetMemoTop(0);
  ShowBounds();
}

void TCvcmEditDlg::SizeReleased() {
  memo_->SetMemoWidth(std::max(kMinExtent, memo_->GetMemoWidth()));
  memo_->SetMemoHeight(std::max(kMinExtent, memo_->GetMemoHeight()));
  ShowBounds();
}
