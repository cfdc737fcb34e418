#include "platform/Controls.h"

#include <QWidget>

#include <algorithm>

#include "platform/Forms.h"
#include "platform/QtBridge.h"

// ---- TComponent ----

TComponent::TComponent(TComponent* owner) : owner_(owner) {
  if (owner_) owner_->components_.push_back(this);
}

TComponent::~TComponent() {
  DestroyComponents();
  if (owner_) {
    auto& v = owner_->components_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) delete components_.back();  // each removes itself from the list
}

// ---- TControl ----

TControl::TControl(TComponent* owner) : TComponent(owner) {
  font_.OnChange = [this] {
    if (!followingParent_) parentFont_ = false;
    FontChanged();
  };
}

TControl::~TControl() {
  font_.OnChange = nullptr;
  if (parent_) parent_->RemoveControl(this);
  DestroyWidget();
}

void TControl::DestroyWidget() {
  delete widget_;
  widget_ = nullptr;
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent_) parent_->RemoveControl(this);
  parent_ = parent;
  if (parent_) {
    parent_->InsertControl(this);
    if (parentFont_) {
      followingParent_ = true;
      font_.Assign(*parent_->Font());
      followingParent_ = false;
    }
  }
  if (widget_) {
    widget_->setParent(parent_ ? parent_->Widget() : nullptr);
    SyncWidget();
  } else {
    EnsureWidget();
  }
  if (parent_) parent_->Realign();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left;
  top_ = top;
  width_ = std::max(0, width);
  height_ = std::max(0, height);
  UpdateWidget();
  if (parent_ && align_ != alNone) parent_->Realign();
}

void TControl::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  UpdateWidget();
  if (parent_ && align_ != alNone) parent_->Realign();
}

void TControl::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  UpdateWidget();
}

void TControl::SetCaption(const AnsiString& text) {
  if (text == caption_) return;
  caption_ = text;
  CaptionChanged();
  UpdateWidget();
}

void TControl::SetAlign(TAlign a) {
  if (a == align_) return;
  align_ = a;
  if (parent_) parent_->Realign();
}

void TControl::SetParentFont(bool v) {
  parentFont_ = v;
  if (v && parent_) {
    followingParent_ = true;
    font_.Assign(*parent_->Font());
    followingParent_ = false;
  }
}

void TControl::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  UpdateWidget();
}

void TControl::FontChanged() { UpdateWidget(); }

void TControl::Click() {
  if (OnClick) OnClick(this);
}

TForm* TControl::ParentForm() {
  TControl* c = this;
  while (c->parent_) c = c->parent_;
  return dynamic_cast<TForm*>(c);
}

QWidget* TControl::CreateWidget(QWidget* parent) { return new QWidget(parent); }

void TControl::SyncWidget() {
  widget_->setGeometry(left_, top_, width_, height_);
  widget_->setEnabled(enabled_);
  widget_->setFont(ToQFont(font_));
  // A control shows only while it and its parent do; a form decides for itself.
  if (parent_) widget_->setVisible(visible_);
}

void TControl::EnsureWidget() {
  if (widget_ || !HaveGuiApplication()) return;
  if (parent_ && !parent_->Widget()) return;  // created with the parent's widget
  widget_ = CreateWidget(parent_ ? parent_->Widget() : nullptr);
  SyncWidget();
}

TBitmap TControl::GrabImage() {
  TBitmap bmp;
  EnsureWidget();
  if (!widget_) return bmp;
  SyncWidget();
  widget_->ensurePolished();
  bmp.impl()->image = widget_->grab().toImage().convertToFormat(QImage::Format_RGB32);
  return bmp;
}

// ---- TWinControl ----

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  // Children go first, while this control and its widget are still whole.
  while (!controls_.empty()) delete controls_.back();
}

void TWinControl::InsertControl(TControl* c) { controls_.push_back(c); }

void TWinControl::RemoveControl(TControl* c) { controls_.erase(std::remove(controls_.begin(), controls_.end(), c), controls_.end()); }

void TWinControl::EnsureWidget() {
  TControl::EnsureWidget();
  if (!widget_) return;
  for (TControl* c : controls_) c->EnsureWidget();
}

void TWinControl::FontChanged() {
  TControl::FontChanged();
  for (TControl* c : controls_) {
    if (!c->parentFont_) continue;
    c->followingParent_ = true;
    c->font_.Assign(*Font());
    c->followingParent_ = false;
  }
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  const bool resized = width != Width() || height != Height();
  TControl::SetBounds(left, top, width, height);
  if (resized) Realign();
}

void TWinControl::Realign() {
  if (realigning_) return;
  realigning_ = true;
  int l = 0, t = 0, r = ClientWidth(), b = ClientHeight();
  for (TControl* c : controls_) {
    if (!c->visible_) continue;
    switch (c->align_) {
      case alTop:
        c->SetBounds(l, t, r - l, c->height_);
        t += c->height_;
        break;
      case alBottom:
        c->SetBounds(l, b - c->height_, r - l, c->height_);
        b -= c->height_;
        break;
      case alLeft:
        c->SetBounds(l, t, c->width_, b - t);
        l += c->width_;
        break;
      case alRight:
        c->SetBounds(r - c->width_, t, c->width_, b - t);
        r -= c->width_;
        break;
      default: break;
    }
  }
  for (TControl* c : controls_)
    if (c->visible_ && c->align_ == alClient) c->SetBounds(l, t, r - l, b - t);
  realigning_ = false;
}
