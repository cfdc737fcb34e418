#include "views/CvCardMemo.h"

#include <algorithm>
#include <filesystem>
#include <memory>

#include "views/CvcmEditUnit.h"

// ---- TCvCardMemo ----

TCvCardMemo::TCvCardMemo(TComponent* owner) : TMemo(owner), wantVisible_(Visible()) {}

// The substitutes are owned, so they go with the memo.
TCvCardMemo::~TCvCardMemo() = default;

// A substitute may have been freed by its parent (a card box clearing its controls); it then no
// longer counts among the memo's components.
bool TCvCardMemo::Owns(const TComponent* c) const {
  if (!c) return false;
  for (int i = 0; i < ComponentCount(); ++i)
    if (Components(i) == c) return true;
  return false;
}

TCvBcCardLabel* TCvCardMemo::BcLabel() const { return Owns(bcLabel_) ? bcLabel_ : nullptr; }

TImage* TCvCardMemo::Picture() const { return Owns(picture_) ? picture_ : nullptr; }

void TCvCardMemo::FreeBcLabel() {
  delete BcLabel();
  bcLabel_ = nullptr;
}

void TCvCardMemo::FreePicture() {
  delete Picture();
  picture_ = nullptr;
}

void TCvCardMemo::HideSubstitutes() {
  if (TCvBcCardLabel* bc = BcLabel()) bc->Hide();
  if (TImage* pic = Picture()) pic->Hide();
}

void TCvCardMemo::SetDisplayMode(uint8_t mode) {
  if (mode == 1) {
    Hide();
    FreePicture();
    if (Parent()) {
      TCvBcCardLabel* bc = BcLabel();
      if (!bc) {
        bc = bcLabel_ = new TCvBcCardLabel(this);
        bc->SetAutoSize(true);
        bc->OnClick = [this](TObject* sender) { SubstituteClick(sender); };
        bc->SetColumn(column_);
        bc->SetPartnerLabel(captionLabel_);
      }
      bc->Hide();
      bc->SetParent(Parent());
      bc->SetBounds(Left(), Top(), bc->Width(), bc->Height());
      bc->SetCaption(Text());
      if (wantVisible_) bc->Show();
    }
  } else if (mode == 2) {
    Hide();
    FreeBcLabel();
    if (Parent()) {
      TImage* pic = Picture();
      if (!pic) {
        pic = picture_ = new TImage(this);
        pic->SetAutoSize(true);
        pic->OnClick = [this](TObject* sender) { SubstituteClick(sender); };
      }
      pic->Hide();
      pic->SetParent(Parent());
      pic->SetBounds(Left(), Top(), Width(), Height());
      // A file that is missing, or that the picture loader cannot read, shows the memo instead.
      std::error_code ec;
      const AnsiString path = Text();
      TBitmap image;
      const bool loaded = !path.empty() && std::filesystem::is_regular_file(path, ec) && image.LoadFromFile(path);
      if (loaded) {
        pic->SetPicture(image);
        if (wantVisible_) pic->Show();
      } else {
        SetVisible(wantVisible_);
      }
    }
  } else {
    FreeBcLabel();
    FreePicture();
    SetVisible(wantVisible_);
  }
  mode_ = mode;
}

void TCvCardMemo::SetMemoText(const AnsiString& text) {
  SetText(text);
  if (mode_ != 0) SetDisplayMode(mode_);
}

void TCvCardMemo::SetWantVisible(bool v) {
  wantVisible_ = v;
  SetDisplayMode(mode_);
}

void TCvCardMemo::SetMemoLeft(int v) {
  SetLeft(v);
  if (TCvBcCardLabel* bc = BcLabel()) bc->SetLeft(v);
  if (TImage* pic = Picture()) pic->SetLeft(v);
}

void TCvCardMemo::SetMemoTop(int v) {
  SetTop(v);
  if (TCvBcCardLabel* bc = BcLabel()) bc->SetTop(v);
  if (TImage* pic = Picture()) pic->SetTop(v);
}

void TCvCardMemo::SetParent(TWinControl* parent) {
  TMemo::SetParent(parent);
  if (parent && mode_ != 0) SetDisplayMode(mode_);
}

int TCvCardMemo::OpenFieldDialog() {
  auto dlg = std::make_unique<TCvcmEditDlg>(this);
  dlg->AttachCardMemo(this);
  return dlg->ShowModal();
}

void TCvCardMemo::ReleaseFocus() {
  if (Focused() && Parent()) Parent()->SetFocus();
}

void TCvCardMemo::RestoreAfterDesign() {
  if (Visible() && !wantVisible_) wantVisible_ = true;
  TControl* moved = nullptr;
  if (mode_ == 1)
    moved = BcLabel();
  else if (mode_ == 2)
    moved = Picture();
  if (moved) {
    SetBounds(moved->Left(), moved->Top(), Width(), Height());
  } else {
    if (TCvBcCardLabel* bc = BcLabel()) bc->SetBounds(Left(), Top(), bc->Width(), bc->Height());
    if (TImage* pic = Picture()) pic->SetBounds(Left(), Top(), pic->Width(), pic->Height());
  }
}

void TCvCardMemo::DoEnter() {
  HideSubstitutes();
  TMemo::DoEnter();
}

void TCvCardMemo::DoExit() {
  TMemo::DoExit();
  if (mode_ != 0) SetDisplayMode(mode_);
}

void TCvCardMemo::SubstituteClick(TObject*) {
  const uint8_t mode = mode_;
  mode_ = 0;
  Show();
  SetFocus();
  mode_ = mode;
}

// ---- TWinCanvas ----

int TWinCanvas::GetMemoHeight(TMemo* memo) {
  TCanvas canvas;
  canvas.Font()->Assign(*memo->Font());
  const int h = canvas.TextHeight("A");
  const int lines = std::max(1, memo->Lines()->Count());
  return h * lines + (2 * h) / 4;
}
