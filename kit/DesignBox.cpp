#include "kit/DesignBox.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/Memo.h"
#include "views/CvDesignBox.h"

// ---- TDesignItems ----

TDesignItems::~TDesignItems() { Clear(); }

void TDesignItems::Clear() {
  for (int i = Count() - 1; i >= 0; --i) delete Items(i);
  TList::Clear();
}

// ---- TDesignBox ----

TDesignBox::TDesignBox(TComponent* owner) : TPaintBox(owner) { TPaintBox::SetVisible(false); }

TDesignBox::~TDesignBox() = default;

void TDesignBox::SetParent(TWinControl* parent) {
  TPaintBox::SetParent(parent);
  target_ = parent;
  SetAlign(alNone);
}

void TDesignBox::SetVisible(bool v) {
  if (!target_) return;
  TPaintBox::SetVisible(v);
  if (v && !running_)
    Start();
  else if (!v && running_)
    Stop();
}

void TDesignBox::SetGrid(bool v) {
  grid_ = v;
  Repaint();
}

TRect TDesignBox::TransRect(const TRect& r) const {
  const TPoint p = target_->ScreenToClient(ClientToScreen({r.Left, r.Top}));
  return MovedRect(r, p.x - r.Left, p.y - r.Top);
}

TRect TDesignBox::GetSizingRect(const TRect& r, int handle) {
  TRect out;
  SizingHandleRect(out, r, handle, kHandleSize);
  return out;
}

void TDesignBox::Start() {
  if (!target_) return;
  auto* box = dynamic_cast<TScrollBox*>(target_);
  const int horz = box ? box->HorzScrollBar()->Position() : 0;
  const int vert = box ? box->VertScrollBar()->Position() : 0;
  if (box) {
    box->HorzScrollBar()->SetPosition(0);
    box->VertScrollBar()->SetPosition(0);
  }
  running_ = true;
  SetBounds(0, 0, Width(), Height());
  BringToFront();
  items_.Clear();
  for (int i = 0; i < target_->ControlCount(); ++i) {
    TControl* c = target_->Controls(i);
    if (!dynamic_cast<TLabel*>(c) && !dynamic_cast<TEdit*>(c) && !dynamic_cast<TMemo*>(c)) continue;
    auto* item = new TDesignItem;
    item->Control = c;
    item->Rect = Rect(c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height());
    item->Visible = c->Visible();
    items_.Add(item);
    c->Hide();
  }
  CheckSize();
  if (box) {
    box->HorzScrollBar()->SetPosition(horz);
    box->VertScrollBar()->SetPosition(vert);
  }
  Repaint();
}

void TDesignBox::Stop() {
  ResetTabOrder();
  for (int i = items_.Count() - 1; i >= 0; --i) {
    TDesignItem* item = items_.Items(i);
    item->Control->SetVisible(item->Visible);
  }
  items_.Clear();
  running_ = false;
}

bool TDesignBox::IsSelected(TControl* control) {
  TDesignItem* item = ItemOf(control);
  return item && item->Selected;
}

TDesignItem* TDesignBox::ItemOf(TControl* control) {
  if (!control) return nullptr;
  for (int i = 0; i < items_.Count(); ++i)
    if (items_.Items(i)->Control == control) return items_.Items(i);
  return nullptr;
}

int TDesignBox::CheckResizePos(TDesignItem* item, int x, int y) {
  for (int h = 0; h < 8; ++h)
    if (GetSizingRect(item->Rect, h).Contains(x, y)) return h;
  return -1;
}

TDesignItem* TDesignBox::ItemAt(int x, int y) {
  for (int i = items_.Count() - 1; i >= 0; --i)
    if (items_.Items(i)->Rect.Contains(x, y)) return items_.Items(i);
  for (int i = items_.Count() - 1; i >= 0; --i)
    if (CheckResizePos(items_.Items(i), x, y) >= 0) return items_.Items(i);
  return nullptr;
}

void TDesignBox::SetSelect(TDesignItem* item, bool selected) {
  if (!item || item->Selected == selected) return;
  item->Selected = selected;
  Repaint();
}

void TDesignBox::SetSelectAll(bool selected) {
  bool changed = false;
  for (int i = 0; i < items_.Count(); ++i) {
    TDesignItem* item = items_.Items(i);
    changed = changed || item->Selected != selected;
    item->Selected = selected;
  }
  if (changed) Repaint();
}

void TDesignBox::SetBRect(TDesignItem* item) {
  const TControl* c = item->Control;
  const TPoint p = target_ ? ScreenToClient(target_->ClientToScreen({c->Left(), c->Top()}))
                           : TPoint{c->Left(), c->Top()};
  item->Rect = Rect(p.x, p.y, p.x + c->Width(), p.y + c->Height());
}

void TDesignBox::CheckSize() {
  if (!target_) return;
  int w = target_->ClientWidth(), h = target_->ClientHeight();
  for (int i = 0; i < items_.Count(); ++i) {
    w = std::max(w, items_.Items(i)->Rect.Right);
    h = std::max(h, items_.Items(i)->Rect.Bottom);
  }
  SetBounds(Left(), Top(), w, h);
}

void TDesignBox::ResetTabOrder() {
  std::vector<TDesignItem*> order;
  for (int i = 0; i < items_.Count(); ++i)
    if (dynamic_cast<TWinControl*>(items_.Items(i)->Control)) order.push_back(items_.Items(i));
  std::stable_sort(order.begin(), order.end(), [](const TDesignItem* a, const TDesignItem* b) {
    return a->Rect.Top != b->Rect.Top ? a->Rect.Top < b->Rect.Top : a->Rect.Left < b->Rect.Left;
  });
  for (size_t i = 0; i < order.size(); ++i)
    static_cast<TWinControl*>(order[i]->Control)->SetTabOrder(static_cast<int>(i));
}

void TDesignBox::MoveControl(TControl* control, const TRect& r) {
  control->SetBounds(r.Left, r.Top, control->Width(), control->Height());
}

void TDesignBox::ResizeControl(TControl* control, const TRect& r) {
  control->SetBounds(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

// ---- Dragging ----

namespace {

// v rounded to the nearest multiple of g, halves up (also below zero).
int RoundToGrid(int v, int g) {
  const int n = v + g / 2;
  return (n >= 0 ? n / g : -((-n + g - 1) / g)) * g;
}

}  // namespace

TRect TDesignBox::AdjustMoveRect(const TRect& r) const { return SnapToGrid(r, gridSize_); }

TRect TDesignBox::GetResizeRect(TDesignItem* item, int dx, int dy, int handle) const {
  const int rdx = RoundToGrid(dx, gridSize_), rdy = RoundToGrid(dy, gridSize_);
  TRect r = item->Rect;
  if (handle == 0 || handle == 1 || handle == 4) r.Left += rdx;
  if (handle == 0 || handle == 3 || handle == 7) r.Top += rdy;
  if (handle == 2 || handle == 3 || handle == 6) r.Right += dx;
  if (handle == 1 || handle == 2 || handle == 5) r.Bottom += dy;
  // An edge dragged past the opposite one turns the rectangle over instead of handing the
  // control a negative size.
  TRect out;
  NormalizeRect(r, out);
  return out;
}

void TDesignBox::MoveControls(int dx, int dy) {
  for (int i = 0; i < items_.Count(); ++i) {
    TDesignItem* item = items_.Items(i);
    if (!item->Selected) continue;
    TRect r = MovedRect(item->Rect, dx, dy);
    if (grid_) r = AdjustMoveRect(r);
    MoveControl(item->Control, TransRect(r));
    SetBRect(item);
  }
}

void TDesignBox::ResizeControls(int dx, int dy, int handle) {
  for (int i = 0; i < items_.Count(); ++i) {
    TDesignItem* item = items_.Items(i);
    if (!item->Selected) continue;
    ResizeControl(item->Control, TransRect(GetResizeRect(item, dx, dy, handle)));
    SetBRect(item);
  }
}

// The outline of the drag now; drawn a second time, it goes away.
void TDesignBox::DrawDragFigure() {
  TCanvas* c = Canvas();
  c->Pen()->SetColor(clWindowFrame);
  c->Pen()->SetMode(pmNotXor);
  c->Pen()->SetStyle(psSolid);
  c->Brush()->SetStyle(bsClear);
  const int dx = current_.x - start_.x, dy = current_.y - start_.y;
  if (dragMode_ == dmBand) {
    TRect r;
    NormalizeRect(Rect(start_.x, start_.y, current_.x, current_.y), r);
    c->Rectangle(r);
    return;
  }
  for (int i = 0; i < items_.Count(); ++i) {
    TDesignItem* item = items_.Items(i);
    if (!item->Selected) continue;
    TRect r;
    if (dragMode_ == dmMove) {
      r = MovedRect(item->Rect, dx, dy);
      if (grid_) r = AdjustMoveRect(r);
    } else {
      r = GetResizeRect(item, dx, dy, handle_);
    }
    c->Rectangle(r);
  }
}

void TDesignBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  const uint8_t was = dragMode_;
  dragMode_ = dmNone;
  dragging_ = false;
  if (was != dmNone) {
    Repaint();
    return;
  }
  TDesignItem* item = ItemAt(x, y);
  if (shift & ssCtrl) {
    if (item)
      SetSelect(item, !item->Selected);
    else
      dragMode_ = dmBand;
  } else if (!item) {
    SetSelectAll(false);
    dragMode_ = dmBand;
  } else if (item->Selected) {
    handle_ = CheckResizePos(item, x, y);
    dragMode_ = handle_ < 0 ? dmMove : dmResize;
  } else {
    SetSelectAll(false);
    SetSelect(item, true);
    dragMode_ = dmMove;
  }
  if (dragMode_ != dmNone) {
    start_ = current_ = {x, y};
    if (dragMode_ == dmMove)
      Screen->SetCursor(crHandPoint);
    else if (dragMode_ == dmResize)
      Screen->SetCursor(SizingHandleCursor(handle_));
  }
  TPaintBox::MouseDown(button, shift, x, y);
}

void TDesignBox::MouseMove(TShiftState shift, int x, int y) {
  if (dragMode_ != dmNone && (dragging_ || std::abs(x - start_.x) >= 2 || std::abs(y - start_.y) >= 2)) {
    if (dragging_) DrawDragFigure();
    current_ = {x, y};
    DrawDragFigure();
    dragging_ = true;
  }
  TPaintBox::MouseMove(shift, x, y);
}

void TDesignBox::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (dragMode_ != dmNone && dragging_) {
    const int dx = x - start_.x, dy = y - start_.y;
    if (dragMode_ == dmBand) {
      TRect band;
      NormalizeRect(Rect(start_.x, start_.y, x, y), band);
      for (int i = items_.Count() - 1; i >= 0; --i) {
        TDesignItem* item = items_.Items(i);
        if (RectsOverlap(item->Rect, band)) item->Selected = !item->Selected;
      }
    } else {
      if (dragMode_ == dmMove)
        MoveControls(dx, dy);
      else
        ResizeControls(dx, dy, handle_);
      CheckSize();
    }
    Repaint();
  }
  dragMode_ = dmNone;
  dragging_ = false;
  Screen->SetCursor(crDefault);
  TPaintBox::MouseUp(button, shift, x, y);
}

// ---- Painting ----

void TDesignBox::TextFrameRect(TCanvas* canvas, TRect r, const AnsiString& text, const TFont* font,
                               const TBrush* brush, TAlignment alignment, bool wordWrap, bool singleLine,
                               bool frame) {
  TCvDesignBox::TextFrameRect(canvas, r, text, font, brush, alignment, wordWrap, singleLine, frame);
}

void TDesignBox::PaintControl(TDesignItem* item) {
  TCanvas* c = Canvas();
  TControl* control = item->Control;
  const TRect& r = item->Rect;
  TBrush brush;
  brush.SetColor(control->Color());
  if (auto* memo = dynamic_cast<TMemo*>(control))
    TextFrameRect(c, r, memo->Text(), memo->Font(), &brush, memo->Alignment(), memo->WordWrap(), false, true);
  else if (auto* label = dynamic_cast<TLabel*>(control))
    TextFrameRect(c, r, label->Caption(), label->Font(), &brush, label->Alignment(), false, true, false);
  else if (auto* edit = dynamic_cast<TEdit*>(control))
    TextFrameRect(c, r, edit->Text(), edit->Font(), &brush, taLeftJustify, false, false, true);
}

void TDesignBox::Paint() {
  TCanvas* c = Canvas();
  c->Pen()->SetMode(pmCopy);
  if (grid_) DrawGridDots(c, ClientWidth(), ClientHeight(), gridSize_);
  for (int i = 0; i < items_.Count(); ++i) {
    TDesignItem* item = items_.Items(i);
    PaintControl(item);
    if (item->Selected) DrawSelectionMark(c, item->Rect, kHandleSize);
  }
}
