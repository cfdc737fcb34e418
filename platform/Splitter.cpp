#include "platform/Splitter.h"

#include <QWidget>

#include <algorithm>

#include "platform/QtBridge.h"

TSplitter::TSplitter(TComponent* owner) : TCustomControl(owner) {
  SetBounds(0, 0, 3, 100);
  SetAlign(alLeft);
  SetParentColor(true);
}

TControl* TSplitter::Neighbour() {
  TWinControl* p = Parent();
  if (!p) return nullptr;
  for (int i = 0; i < p->ControlCount(); ++i) {
    TControl* c = p->Controls(i);
    if (c == this || !c->Visible() || c->Align() != Align()) continue;
    switch (Align()) {
      case alLeft:
        if (c->Left() + c->Width() == Left()) return c;
        break;
      case alRight:
        if (c->Left() == Left() + Width()) return c;
        break;
      case alTop:
        if (c->Top() + c->Height() == Top()) return c;
        break;
      case alBottom:
        if (c->Top() == Top() + Height()) return c;
        break;
      default: break;
    }
  }
  return nullptr;
}

void TSplitter::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) {
    dragged_ = Neighbour();
    start_ = ClientToScreen({x, y});
    if (dragged_) startSize_ = Horizontal() ? dragged_->Height() : dragged_->Width();
  }
  TCustomControl::MouseDown(button, shift, x, y);
}

void TSplitter::MouseMove(TShiftState shift, int x, int y) {
  if (dragged_ && Parent()) {
    const TPoint p = ClientToScreen({x, y});
    // Moving towards the neighbour makes it smaller.
    int delta = Horizontal() ? p.y - start_.y : p.x - start_.x;
    if (Align() == alRight || Align() == alBottom) delta = -delta;
    // What the neighbour may take: all but MinSize of the space between the controls aligned
    // before it and the ones after the splitter.
    TWinControl* parent = Parent();
    int room = Horizontal() ? parent->ClientHeight() : parent->ClientWidth();
    for (int i = 0; i < parent->ControlCount(); ++i) {
      TControl* c = parent->Controls(i);
      if (c == dragged_ || !c->Visible()) continue;
      const bool across = Horizontal() ? (c->Align() == alTop || c->Align() == alBottom)
                                       : (c->Align() == alLeft || c->Align() == alRight);
      if (across) room -= Horizontal() ? c->Height() : c->Width();
    }
    const int most = std::max(MinSize, room + (Horizontal() ? dragged_->Height() : dragged_->Width()) - MinSize);
    const int size = std::clamp(startSize_ + delta, MinSize, most);
    if (Horizontal())
      dragged_->SetHeight(size);
    else
      dragged_->SetWidth(size);
  }
  TCustomControl::MouseMove(shift, x, y);
}

void TSplitter::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  const bool moved = dragged_ != nullptr;
  dragged_ = nullptr;
  TCustomControl::MouseUp(button, shift, x, y);
  if (moved && OnMoved) OnMoved(this);
}

void TSplitter::SyncWidget() {
  TCustomControl::SyncWidget();
  widget_->setCursor(ToQCursor(Horizontal() ? crVSplit : crHSplit));
}
