#include "platform/Controls.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

#include "platform/Forms.h"
#include "platform/Menus.h"
#include "platform/QtBridge.h"

// The one drag in progress: begun on a control, started once the pointer has moved far enough,
// ended by the release of the button.
struct DragSession {
  TControl* source = nullptr;
  bool started = false;
  TPoint origin;  // screen point where the drag was begun
  int threshold = 5;
  TControl* target = nullptr;
  bool accepted = false;
  TPoint last;  // screen point of the pointer's latest move
  bool cursorShown = false;

  static DragSession& Current() {
    static DragSession session;
    return session;
  }
  void Start() {
    started = true;
    source->DoStartDrag();
  }
  // The pointer follows the target's answer: the source's drag cursor or "no drop".
  void ShowCursor() {
    if (!started || !source) return;
    SetDragCursor(&cursorShown, accepted ? source->DragCursor : crNoDrop);
  }
  void HideCursor() { SetDragCursor(&cursorShown, crDefault); }
  // The control under a screen point on the source's form, and whether it takes the source.
  void Follow(TPoint screen) {
    last = screen;
    TControl* over = nullptr;
    TPoint local;
    if (TForm* form = source->ParentForm()) {
      const TPoint p = form->ScreenToClient(screen);
      over = form->ControlAtPos(p.x, p.y);
      if (over) local = over->ScreenToClient(screen);
    }
    if (target && target != over) {
      bool ignored = false;
      target->DragOver(source, 0, 0, dsDragLeave, ignored);
    }
    const TDragState state = over == target ? dsDragMove : dsDragEnter;
    target = over;
    accepted = false;
    if (target) target->DragOver(source, local.x, local.y, state, accepted);
    ShowCursor();
  }
};

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
  DragSession& drag = DragSession::Current();
  if (drag.source == this) {
    drag.HideCursor();
    drag = DragSession();
  }
  if (drag.target == this) drag.target = nullptr;
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
    if (parentColor_ && color_ != parent_->Color()) {
      color_ = parent_->Color();
      ColorChanged();
    }
  }
  if (widget_) {
    widget_->setParent(parent_ ? parent_->ClientWidget() : nullptr);
    SyncWidget();
  } else {
    EnsureWidget();
  }
  if (parent_) parent_->Realign();
}

void TControl::SetBounds(int left, int top, int width, int height) {
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  const bool resized = std::max(0, width) != width_ || std::max(0, height) != height_;
  left_ = left;
  top_ = top;
  width_ = std::max(0, width);
  height_ = std::max(0, height);
  UpdateWidget();
  if (parent_ && align_ != alNone) parent_->Realign();
  if (parent_) parent_->ControlBoundsChanged(this);
  if (resized) Resize();
}

void TControl::Resize() {
  if (OnResize) OnResize(this);
}

void TControl::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  UpdateWidget();
  if (parent_) parent_->Realign();
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
  parentColor_ = false;
  if (c == color_) return;
  color_ = c;
  ColorChanged();
}

void TControl::SetParentColor(bool v) {
  parentColor_ = v;
  if (v && parent_ && color_ != parent_->Color()) {
    color_ = parent_->Color();
    ColorChanged();
  }
}

void TControl::SetCursor(TCursor c) {
  if (c == cursor_) return;
  cursor_ = c;
  UpdateWidget();
}

void TControl::FontChanged() { UpdateWidget(); }

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::BringToFront() {
  if (parent_) {
    auto& v = parent_->controls_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    v.push_back(this);
  }
  if (widget_) widget_->raise();
}

void TControl::SendToBack() {
  if (parent_) {
    auto& v = parent_->controls_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    v.insert(v.begin(), this);
  }
  if (widget_) widget_->lower();
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
  if (cursor_ != crDefault)
    widget_->setCursor(ToQCursor(cursor_));
  else
    widget_->unsetCursor();
  // A control shows only while it and its parent do; a form decides for itself.
  if (parent_) widget_->setVisible(visible_);
}

void TControl::EnsureWidget() {
  if (widget_ || !HaveGuiApplication()) return;
  if (parent_ && !parent_->Widget()) return;  // created with the parent's widget
  widget_ = CreateWidget(parent_ ? parent_->ClientWidget() : nullptr);
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

QCursor ToQCursor(int cursor) {
  switch (cursor) {
    case crCross: return Qt::CrossCursor;
    case crIBeam: return Qt::IBeamCursor;
    case crSizeNESW: return Qt::SizeBDiagCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case crUpArrow: return Qt::UpArrowCursor;
    case crHourGlass: return Qt::WaitCursor;
    case crDrag:
    case crMultiDrag: return Qt::DragMoveCursor;
    case crNoDrop:
    case crNo: return Qt::ForbiddenCursor;
    case crHSplit: return Qt::SplitHCursor;
    case crVSplit: return Qt::SplitVCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    case crSizeAll: return Qt::SizeAllCursor;
    default:
      if (const QCursor* own = RegisteredCursor(cursor)) return *own;
      return Qt::ArrowCursor;
  }
}

// ---- Mouse input ----

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}

void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

bool TControl::DoMouseWheel(TShiftState shift, int delta, TPoint mousePos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, shift, delta, mousePos, handled);
  if (handled) return true;
  return delta < 0 ? DoMouseWheelDown(shift, mousePos) : DoMouseWheelUp(shift, mousePos);
}

namespace {
TPoint g_lastPress;  // screen point of the latest mouse press, where a drag begins
}

void TControl::PressMouse(TMouseButton button, TShiftState shift, int x, int y, bool doubleClick) {
  if (!enabled_) return;
  NoteButton(button, true);
  const EventShiftScope held(shift);
  g_lastPress = ClientToScreen({x, y});
  if (doubleClick) {
    DblClick();
    shift |= ssDouble;
  } else {
    clicked_ = button == mbLeft;
  }
  if (button == mbLeft && !doubleClick && DragMode == dmAutomatic) BeginDrag(false);
  MouseDown(button, shift, x, y);
}

void TControl::MoveMouse(TShiftState shift, int x, int y) {
  const EventShiftScope held(shift);
  DragSession& drag = DragSession::Current();
  if (drag.source == this) {
    const TPoint screen = ClientToScreen({x, y});
    if (!drag.started &&
        std::max(std::abs(screen.x - drag.origin.x), std::abs(screen.y - drag.origin.y)) >= drag.threshold)
      drag.Start();
    if (drag.started) {
      drag.Follow(screen);
      return;
    }
  }
  MouseMove(shift, x, y);
}

void TControl::ReleaseMouse(TMouseButton button, TShiftState shift, int x, int y) {
  NoteButton(button, false);
  const EventShiftScope held(shift);
  DragSession& drag = DragSession::Current();
  if (drag.source == this) {
    if (drag.started) {
      drag.Follow(ClientToScreen({x, y}));
      EndDrag(true);
      clicked_ = false;
      return;
    }
    drag = DragSession();  // released before it moved far enough: an ordinary click
  }
  const bool click = clicked_ && button == mbLeft && x >= 0 && y >= 0 && x < width_ && y < height_;
  clicked_ = false;
  MouseUp(button, shift, x, y);
  if (click) Click();
  if (button == mbRight) {
    bool handled = false;
    if (OnContextPopup) OnContextPopup(this, TPoint{x, y}, handled);
    if (handled) return;
    for (TControl* c = this; c; c = c->parent_) {
      TPopupMenu* menu = c->popupMenu_;
      if (!menu) continue;
      if (menu->AutoPopup) {
        menu->PopupComponent = this;
        const TPoint p = ClientToScreen({x, y});
        menu->Popup(p.x, p.y);
      }
      break;
    }
  }
}

void TControl::TurnWheel(TShiftState shift, int delta, int x, int y) {
  const EventShiftScope held(shift);
  if (enabled_) DoMouseWheel(shift, delta, ClientToScreen({x, y}));
}

// ---- Drag and drop ----

void TControl::BeginDrag(bool immediate, int threshold) {
  DragSession& drag = DragSession::Current();
  if (drag.source) return;
  drag = DragSession();
  drag.source = this;
  drag.threshold = threshold < 0 ? 5 : threshold;
  drag.origin = drag.last = g_lastPress;
  if (immediate) drag.Start();
}

bool TControl::Dragging() const {
  const DragSession& drag = DragSession::Current();
  return drag.source == this && drag.started;
}

void TControl::EndDrag(bool drop) {
  DragSession& drag = DragSession::Current();
  if (drag.source != this) return;
  drag.HideCursor();
  const DragSession ended = drag;
  drag = DragSession();
  if (!ended.started) return;
  TControl* target = drop && ended.accepted ? ended.target : nullptr;
  if (ended.target && !target) {
    bool ignored = false;
    ended.target->DragOver(this, 0, 0, dsDragLeave, ignored);
  }
  TPoint at;
  if (target) {
    at = target->ScreenToClient(ended.last);
    target->DragDrop(this, at.x, at.y);
  }
  DoEndDrag(target, at.x, at.y);
}

void TControl::DragOver(TObject* source, int x, int y, TDragState state, bool& accept) {
  accept = false;
  if (OnDragOver) {
    accept = true;
    OnDragOver(this, source, x, y, state, accept);
  }
}

void TControl::DragDrop(TObject* source, int x, int y) {
  if (OnDragDrop) OnDragDrop(this, source, x, y);
}

void TControl::DoStartDrag() {
  if (OnStartDrag) OnStartDrag(this);
}

void TControl::DoEndDrag(TObject* target, int x, int y) {
  if (OnEndDrag) OnEndDrag(this, target, x, y);
}

TPoint TControl::ClientToScreen(TPoint p) const {
  for (const TControl* c = this; c; c = c->parent_) {
    p.x += c->left_;
    p.y += c->top_;
  }
  return p;
}

TPoint TControl::ScreenToClient(TPoint p) const {
  const TPoint origin = ClientToScreen({0, 0});
  return {p.x - origin.x, p.y - origin.y};
}

// ---- TWinControl ----

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  if (TForm* form = ParentForm(); form && form != this && form->ActiveControl() == this) form->activeControl_ = nullptr;
  // Children go first, while this control and its widget are still whole.
  destroying_ = true;
  while (!controls_.empty()) delete controls_.back();
}

TControl* TWinControl::ControlAtPos(int x, int y) {
  for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
    TControl* c = *it;
    if (!c->visible_ || x < c->left_ || y < c->top_ || x >= c->left_ + c->width_ || y >= c->top_ + c->height_) continue;
    if (auto* w = dynamic_cast<TWinControl*>(c)) return w->ControlAtPos(x - c->left_, y - c->top_);
    return c;
  }
  return this;
}

void TWinControl::SetImeMode(TImeMode m) {
  if (m == imeMode_) return;
  imeMode_ = m;
  UpdateWidget();
}

void TWinControl::SyncWidget() {
  TControl::SyncWidget();
  if (imeMode_ == imDontCare) return;
  widget_->setAttribute(Qt::WA_InputMethodEnabled, imeMode_ != imDisable);
  const bool latin = imeMode_ == imClose || imeMode_ == imAlpha || imeMode_ == imSAlpha;
  widget_->setInputMethodHints(latin ? Qt::ImhPreferLatin : Qt::ImhNone);
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c; c = c->parent_)
    if (!c->visible_ || !c->enabled_) return false;
  return true;
}

void TWinControl::SetFocus() {
  if (TForm* form = ParentForm(); form && form != this) form->SetActiveControl(this);
}

bool TWinControl::Focused() const {
  const TForm* form = const_cast<TWinControl*>(this)->ParentForm();
  return form && form->ActiveControl() == this;
}

void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}

void TWinControl::KeyDown(uint16_t& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}

void TWinControl::KeyUp(uint16_t& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}

void TWinControl::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}

namespace {

TWinControl* PreviewForm(TWinControl* c) {
  TForm* form = c->ParentForm();
  return form && form != c && form->KeyPreview ? form : nullptr;
}

}  // namespace

bool TWinControl::PressKey(uint16_t key, TShiftState shift) {
  NoteKey(key, true);
  const EventShiftScope held(shift);
  if (TWinControl* form = PreviewForm(this)) {
    static_cast<TWinControl*>(form)->KeyDown(key, shift);
    if (key == 0) return false;
  }
  KeyDown(key, shift);
  return key != 0;
}

bool TWinControl::ReleaseKey(uint16_t key, TShiftState shift) {
  NoteKey(key, false);
  const EventShiftScope held(shift);
  if (TWinControl* form = PreviewForm(this)) {
    static_cast<TWinControl*>(form)->KeyUp(key, shift);
    if (key == 0) return false;
  }
  KeyUp(key, shift);
  return key != 0;
}

bool TWinControl::TypeChar(char key) {
  if (TWinControl* form = PreviewForm(this)) {
    static_cast<TWinControl*>(form)->KeyPress(key);
    if (key == 0) return false;
  }
  KeyPress(key);
  return key != 0;
}

void TWinControl::ColorChanged() {
  TControl::ColorChanged();
  for (TControl* c : controls_) {
    if (!c->parentColor_ || c->color_ == Color()) continue;
    c->color_ = Color();
    c->ColorChanged();
  }
}

void TWinControl::InsertControl(TControl* c) {
  controls_.push_back(c);
  if (auto* w = dynamic_cast<TWinControl*>(c)) tabList_.push_back(w);
}

void TWinControl::RemoveControl(TControl* c) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), c), controls_.end());
  tabList_.erase(std::remove(tabList_.begin(), tabList_.end(), c), tabList_.end());
  if (!destroying_) Realign();
}

int TWinControl::TabOrder() const {
  if (!Parent()) return -1;
  const auto& list = Parent()->tabList_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int order) {
  TWinControl* p = Parent();
  if (!p) return;
  auto& list = p->tabList_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
  list.insert(list.begin() + std::clamp(order, 0, static_cast<int>(list.size())), this);
  p->ApplyTabOrder();
}

void TWinControl::ApplyTabOrder() {
  QWidget* prev = nullptr;
  for (TWinControl* w : tabList_) {
    if (!w->widget_) continue;
    if (prev) QWidget::setTabOrder(prev, w->widget_);
    prev = w->widget_;
  }
}

void TWinControl::EnsureWidget() {
  const bool had = widget_ != nullptr;
  TControl::EnsureWidget();
  if (!widget_) return;
  for (TControl* c : controls_) c->EnsureWidget();
  if (!had) ApplyTabOrder();
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
  const int oldW = ClientWidth(), oldH = ClientHeight();
  TControl::SetBounds(left, top, width, height);
  if (!resized) return;
  AnchorChildren(ClientWidth() - oldW, ClientHeight() - oldH);
  Realign();
}

void TWinControl::AnchorChildren(int dw, int dh) {
  if (dw == 0 && dh == 0) return;
  for (TControl* c : controls_) {
    const TAnchors a = c->anchors_;
    if (c->align_ != alNone || a == (akLeft | akTop)) continue;
    int l = c->left_, t = c->top_, w = c->width_, h = c->height_;
    if ((a & akLeft) && (a & akRight)) w += dw;
    else if (a & akRight) l += dw;
    else if (!(a & akLeft)) l += dw / 2;
    if ((a & akTop) && (a & akBottom)) h += dh;
    else if (a & akBottom) t += dh;
    else if (!(a & akTop)) t += dh / 2;
    c->SetBounds(l, t, w, h);
  }
}

void TWinControl::Realign() {
  if (realigning_) return;
  realigning_ = true;
  AlignControls();
  realigning_ = false;
}

void TWinControl::AlignControls() {
  int l = 0, t = 0, r = ClientWidth(), b = ClientHeight();
  // Each kind in turn, its controls in the order of their places (the one nearest its side
  // first); controls at the same place keep the order they were placed in.
  auto ofKind = [this](TAlign kind) {
    std::vector<TControl*> list;
    for (TControl* c : controls_)
      if (c->visible_ && c->align_ == kind) list.push_back(c);
    std::stable_sort(list.begin(), list.end(), [kind](const TControl* a, const TControl* b) {
      switch (kind) {
        case alTop: return a->top_ < b->top_;
        case alBottom: return a->top_ + a->height_ > b->top_ + b->height_;
        case alLeft: return a->left_ < b->left_;
        case alRight: return a->left_ + a->width_ > b->left_ + b->width_;
        default: return false;
      }
    });
    return list;
  };
  for (TControl* c : ofKind(alTop)) {
    c->SetBounds(l, t, r - l, c->height_);
    t += c->height_;
  }
  for (TControl* c : ofKind(alBottom)) {
    c->SetBounds(l, b - c->height_, r - l, c->height_);
    b -= c->height_;
  }
  for (TControl* c : ofKind(alLeft)) {
    c->SetBounds(l, t, c->width_, b - t);
    l += c->width_;
  }
  for (TControl* c : ofKind(alRight)) {
    c->SetBounds(r - c->width_, t, c->width_, b - t);
    r -= c->width_;
  }
  for (TControl* c : ofKind(alClient)) c->SetBounds(l, t, r - l, b - t);
}

// ---- Input from the window system ----

TShiftState ShiftFromQt(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons) {
  TShiftState s = 0;
  if (mods & Qt::ShiftModifier) s |= ssShift;
  if (mods & Qt::ControlModifier) s |= ssCtrl;
  if (mods & Qt::AltModifier) s |= ssAlt;
  if (buttons & Qt::LeftButton) s |= ssLeft;
  if (buttons & Qt::RightButton) s |= ssRight;
  if (buttons & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

uint16_t KeyFromQt(int key) {
  if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) return static_cast<uint16_t>(key);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return static_cast<uint16_t>(VK_F1 + (key - Qt::Key_F1));
  switch (key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    default: return 0;
  }
}

namespace {

TMouseButton ButtonFromQt(Qt::MouseButton b) {
  if (b == Qt::RightButton) return mbRight;
  if (b == Qt::MiddleButton) return mbMiddle;
  return mbLeft;
}

void TypeText(TWinControl* c, const QString& text) {
  for (char ch : FromQ(text)) c->TypeChar(ch);
}

}  // namespace

bool ForwardInput(TWinControl* c, QEvent* e, QPoint offset) {
  switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      auto* m = static_cast<QMouseEvent*>(e);
      const QPoint p = m->position().toPoint() + offset;
      if (c->TabStop && c->CanFocus()) c->SetFocus();
      c->PressMouse(ButtonFromQt(m->button()), ShiftFromQt(m->modifiers(), m->buttons()), p.x(), p.y(),
                    e->type() == QEvent::MouseButtonDblClick);
      return true;
    }
    case QEvent::MouseMove: {
      auto* m = static_cast<QMouseEvent*>(e);
      const QPoint p = m->position().toPoint() + offset;
      c->MoveMouse(ShiftFromQt(m->modifiers(), m->buttons()), p.x(), p.y());
      return true;
    }
    case QEvent::MouseButtonRelease: {
      auto* m = static_cast<QMouseEvent*>(e);
      const QPoint p = m->position().toPoint() + offset;
      c->ReleaseMouse(ButtonFromQt(m->button()), ShiftFromQt(m->modifiers(), m->buttons()), p.x(), p.y());
      return true;
    }
    case QEvent::Wheel: {
      auto* w = static_cast<QWheelEvent*>(e);
      const QPoint p = w->position().toPoint() + offset;
      if (w->angleDelta().y() != 0)
        c->TurnWheel(ShiftFromQt(w->modifiers(), w->buttons()), w->angleDelta().y(), p.x(), p.y());
      return true;
    }
    case QEvent::KeyPress: {
      auto* k = static_cast<QKeyEvent*>(e);
      const uint16_t key = KeyFromQt(k->key());
      const bool typed = !key || c->PressKey(key, ShiftFromQt(k->modifiers(), Qt::NoButton));
      if (typed && !k->text().isEmpty()) TypeText(c, k->text());
      return true;
    }
    case QEvent::KeyRelease: {
      auto* k = static_cast<QKeyEvent*>(e);
      if (const uint16_t key = KeyFromQt(k->key())) c->ReleaseKey(key, ShiftFromQt(k->modifiers(), Qt::NoButton));
      return true;
    }
    case QEvent::InputMethod: {
      auto* im = static_cast<QInputMethodEvent*>(e);
      if (!im->commitString().isEmpty()) TypeText(c, im->commitString());
      return true;
    }
    case QEvent::FocusIn:
      if (!c->Focused()) c->SetFocus();
      return false;
    default: return false;
  }
}

// ---- TCustomControl ----

// The widget of a control that draws itself: it shows the control's image and hands the input to
// the control.
class CanvasWidget : public QWidget {
 public:
  CanvasWidget(TCustomControl* control, QWidget* parent) : QWidget(parent), control_(control) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled);
    setMouseTracking(true);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    ++control_->timesShown_;
    const QImage& image = control_->Surface().impl()->Image();
    QPainter p(this);
    p.drawImage(0, 0, image);
  }
  bool event(QEvent* e) override {
    if (ForwardInput(control_, e, QPoint())) return true;
    return QWidget::event(e);
  }

 private:
  TCustomControl* control_;
};

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner) {}

TCustomControl::~TCustomControl() = default;

TCanvas* TCustomControl::Canvas() {
  if (target_) return target_;
  const int w = ClientWidth(), h = ClientHeight();
  if (surface_.Width() != w || surface_.Height() != h) {
    surface_.SetSize(w, h);
    valid_ = false;
  }
  if (!painting_ && ClientWidget()) ClientWidget()->update();  // drawn outside Paint: show it
  return surface_.Canvas();
}

const TBitmap& TCustomControl::Surface() {
  // The surface is read to be shown: that asks for no further update, or every paint would
  // schedule the next one and the control would repaint for as long as it is visible.
  const bool wasPainting = painting_;
  painting_ = true;
  TCanvas* c = Canvas();
  painting_ = wasPainting;
  if (!valid_ && !painting_) {
    painting_ = true;
    valid_ = true;
    Erase(c);
    Paint();
    painting_ = false;
  }
  return surface_;
}

void TCustomControl::Erase(TCanvas* c) {
  c->ResetClip();
  TBrush saved;
  saved.Assign(*c->Brush());
  c->Brush()->SetColor(Color());
  c->Brush()->SetStyle(bsSolid);
  c->FillRect(Rect(0, 0, ClientWidth(), ClientHeight()));
  c->Brush()->Assign(saved);
}

void TCustomControl::PaintOn(TCanvas* canvas) {
  if (painting_) return;
  painting_ = true;
  target_ = canvas;
  Erase(canvas);
  Paint();
  target_ = nullptr;
  painting_ = false;
}

void TCustomControl::Invalidate() {
  valid_ = false;
  if (ClientWidget()) ClientWidget()->update();
}

void TCustomControl::Repaint() {
  valid_ = false;
  if (ClientWidget() && ClientWidget()->isVisible())
    ClientWidget()->repaint();
  else
    Surface();
}

TBitmap TCustomControl::PaintToImage() {
  valid_ = false;
  return Surface();
}

QWidget* TCustomControl::CreateWidget(QWidget* parent) { return new CanvasWidget(this, parent); }

void TCustomControl::SyncWidget() {
  TWinControl::SyncWidget();
  widget_->setFocusPolicy(TabStop ? Qt::StrongFocus : Qt::NoFocus);
  widget_->update();
}

void TCustomControl::ColorChanged() {
  TWinControl::ColorChanged();
  Invalidate();
}

void TCustomControl::FontChanged() {
  TWinControl::FontChanged();
  Invalidate();
}

// ---- TPaintBox ----

TPaintBox::TPaintBox(TComponent* owner) : TCustomControl(owner) {
  SetBounds(0, 0, 105, 105);
  SetParentColor(true);
}

void TPaintBox::Paint() {
  TCanvas* c = Canvas();
  c->Font()->Assign(*Font());
  c->Brush()->SetColor(Color());
  if (OnPaint) OnPaint(this);
}
