#include "views/CvDesignBox.h"

#include <algorithm>
#include <cstdlib>

#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/Grids.h"
#include "platform/Image.h"
#include "platform/Memo.h"
#include "views/CvBcLabel.h"

// ---- Rectangles ----

void SizingHandleRect(TRect& out, const TRect& r, int handle, int size) {
  switch (handle) {
    case 0: case 1: case 4: out.Left = std::min(r.Left, r.Right - size); break;
    case 5: case 7: out.Left = (r.Left + r.Right - size) / 2; break;
    default: out.Left = std::max(r.Right - size, r.Left); break;
  }
  switch (handle) {
    case 0: case 3: case 7: out.Top = std::min(r.Top, r.Bottom - size); break;
    case 4: case 6: out.Top = (r.Top + r.Bottom - size) / 2; break;
    default: out.Top = std::max(r.Bottom - size, r.Top); break;
  }
  out.Right = out.Left + size;
  out.Bottom = out.Top + size;
}

void NormalizeRect(const TRect& in, TRect& out) {
  out = Rect(std::min(in.Left, in.Right), std::min(in.Top, in.Bottom), std::max(in.Left, in.Right),
             std::max(in.Top, in.Bottom));
}

TRect MovedRect(const TRect& r, int dx, int dy) { return Rect(r.Left + dx, r.Top + dy, r.Right + dx, r.Bottom + dy); }

bool RectsOverlap(const TRect& a, const TRect& b) {
  return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom;
}

TRect SnapToGrid(const TRect& in, int g) {
  TRect r = in;
  const int remX = r.Left % g;
  r = MovedRect(r, remX > g / 2 ? g - remX : -remX, 0);
  const int remY = r.Top % g;
  r = MovedRect(r, 0, remY > g / 2 ? g - remY : -remY);
  return MovedRect(r, r.Left < 0 ? -r.Left : 0, r.Top < 0 ? -r.Top : 0);
}

TCursor SizingHandleCursor(int handle) {
  switch (handle) {
    case 4: case 6: return crSizeWE;
    case 5: case 7: return crSizeNS;
    default: return crSizeAll;
  }
}

void DrawSelectionMark(TCanvas* c, const TRect& r, int handleSize) {
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clBlack);
  c->FrameRect(r);
  c->FrameRect(Rect(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1));
  for (int h = 0; h < 8; ++h) {
    TRect hr;
    SizingHandleRect(hr, r, h, handleSize);
    c->FillRect(hr);
  }
}

void DrawGridDots(TCanvas* c, int width, int height, int g) {
  c->Brush()->SetStyle(bsSolid);
  c->Brush()->SetColor(clGray);
  for (int y = g; y < height; y += g)
    for (int x = g; x < width; x += g) c->FillRect(Rect(x, y, x + 1, y + 1));
}

// ---- TCvDesignItems ----

TCvDesignItem* TCvDesignItems::Add(TControl* control, const TRect& rect, bool visible) {
  auto item = std::make_unique<TCvDesignItem>();
  item->Control = control;
  item->Rect = rect;
  item->Visible = visible;
  items_.push_back(std::move(item));
  return items_.back().get();
}

void TCvDesignItems::Remove(TCvDesignItem* item) {
  items_.erase(std::remove_if(items_.begin(), items_.end(), [item](const auto& p) { return p.get() == item; }),
               items_.end());
}

// ---- TCvDesignBox ----

TCvDesignBox::TCvDesignBox(TComponent* owner) : TPaintBox(owner) { TPaintBox::SetVisible(false); }

TCvDesignBox::~TCvDesignBox() = default;

void TCvDesignBox::SetParent(TWinControl* parent) {
  TPaintBox::SetParent(parent);
  target_ = parent;
  SetAlign(alNone);
}

void TCvDesignBox::SetVisible(bool v) {
  if (!target_) return;
  TPaintBox::SetVisible(v);
  if (v && !active_)
    Start();
  else if (!v && active_)
    Stop();
  active_ = v;
}

void TCvDesignBox::SetGrid(bool v) {
  grid_ = v;
  Repaint();
}

TRect TCvDesignBox::ToTarget(const TRect& r) const {
  const TPoint p = target_->ScreenToClient(ClientToScreen({r.Left, r.Top}));
  return MovedRect(r, p.x - r.Left, p.y - r.Top);
}

TPoint TCvDesignBox::FromTarget(TPoint p) const { return ScreenToClient(target_->ClientToScreen(p)); }

void TCvDesignBox::Start() {
  if (!target_) return;
  auto* box = dynamic_cast<TScrollBox*>(target_);
  const int horz = box ? box->HorzScrollBar()->Position() : 0;
  const int vert = box ? box->VertScrollBar()->Position() : 0;
  if (box) {
    box->HorzScrollBar()->SetPosition(0);
    box->VertScrollBar()->SetPosition(0);
  }
  SetBounds(0, 0, Width(), Height());
  BringToFront();
  items_.Clear();
  for (int i = 0; i < target_->ControlCount(); ++i) {
    TControl* c = target_->Controls(i);
    if (c == this) continue;
    const bool label = dynamic_cast<TLabel*>(c) != nullptr;
    if (!c->Visible() && !label) continue;
    if (label || dynamic_cast<TEdit*>(c) || dynamic_cast<TStringGrid*>(c) || dynamic_cast<TImage*>(c) ||
        dynamic_cast<TMemo*>(c)) {
      TCvDesignItem* item = items_.Add(c, TRect{}, c->Visible());
      SetBRect(item);
      c->Hide();
    }
  }
  CheckSize();
  if (box) {
    box->HorzScrollBar()->SetPosition(horz);
    box->VertScrollBar()->SetPosition(vert);
  }
  Repaint();
}

void TCvDesignBox::Stop() {
  ResetTabOrder();
  for (int i = items_.Count() - 1; i >= 0; --i) {
    TCvDesignItem* item = items_.Items(i);
    item->Control->SetVisible(item->Visible);
  }
  items_.Clear();
}

bool TCvDesignBox::IsSelected(TControl* control) {
  TCvDesignItem* item = ItemOf(control);
  return item && item->Selected;
}

TCvDesignItem* TCvDesignBox::ItemOf(TControl* control) {
  if (!control) return nullptr;
  for (int i = 0; i < items_.Count(); ++i)
    if (items_.Items(i)->Control == control) return items_.Items(i);
  return nullptr;
}

int TCvDesignBox::CheckResizePos(TCvDesignItem* item, int x, int y) {
  for (int h = 0; h < 8; ++h) {
    TRect r;
    SizingHandleRect(r, item->Rect, h, kHandleSize);
    if (r.Contains(x, y)) return h;
  }
  return -1;
}

TCvDesignItem* TCvDesignBox::ItemAt(int x, int y) {
  for (int i = items_.Count() - 1; i >= 0; --i)
    if (items_.Items(i)->Rect.Contains(x, y)) return items_.Items(i);
  for (int i = items_.Count() - 1; i >= 0; --i)
    if (CheckResizePos(items_.Items(i), x, y) >= 0) return items_.Items(i);
  return nullptr;
}

void TCvDesignBox::SetSelect(TCvDesignItem* item, bool selected) {
  if (!item || item->Selected == selected) return;
  item->Selected = selected;
  Repaint();
}

void TCvDesignBox::SetSelectAll(bool selected) {
  bool changed = false;
  for (int i = 0; i < items_.Count(); ++i) {
    TCvDesignItem* item = items_.Items(i);
    if (item->Selected != selected) {
      item->Selected = selected;
      changed = true;
    }
  }
  if (changed) Repaint();
}

void TCvDesignBox::SetBRect(TCvDesignItem* item) {
  const TControl* c = item->Control;
  const TPoint p = target_ ? FromTarget({c->Left(), c->Top()}) : TPoint{c->Left(), c->Top()};
  item->Rect = Rect(p.x, p.y, p.x + c->Width(), p.y + c->Height());
}

void TCvDesignBox::CheckSize() {
  if (!target_) return;
  int w = target_->ClientWidth(), h = target_->ClientHeight();
  for (int i = 0; i < items_.Count(); ++i) {
    w = std::max(w, items_.Items(i)->Rect.Right);
    h = std::max(h, items_.Items(i)->Rect.Bottom);
  }
  SetBounds(Left(), Top(), w, h);
}

void TCvDesignBox::ResetTabOrder() {
  std::vector<TCvDesignItem*> order;
  for (int i = 0; i < items_.Count(); ++i)
    if (dynamic_cast<TWinControl*>(items_.Items(i)->Control)) order.push_back(items_.Items(i));
  std::stable_sort(order.begin(), order.end(), [](const TCvDesignItem* a, const TCvDesignItem* b) {
    return a->Rect.Top != b->Rect.Top ? a->Rect.Top < b->Rect.Top : a->Rect.Left < b->Rect.Left;
  });
  for (size_t i = 0; i < order.size(); ++i)
    static_cast<TWinControl*>(order[i]->Control)->SetTabOrder(static_cast<int>(i));
}

void TCvDesignBox::MoveControl(TControl* control, const TRect& r) {
  control->SetBounds(r.Left, r.Top, control->Width(), control->Height());
}

void TCvDesignBox::ResizeControl(TControl* control, const TRect& r) {
  control->SetBounds(r.Left, r.Top, r.Right - r.Left, r.Bottom - r.Top);
}

// ---- Dragging ----

TRect TCvDesignBox::GetResizeRect(TCvDesignItem* item, int dx, int dy, int handle) const {
  const int g = gridSize_, h = gridSize_ / 2;
  const int sdx = ((dx + h) / g) * g, sdy = ((dy + h) / g) * g;
  TRect r = item->Rect;
  if (handle == 0 || handle == 1 || handle == 4) r.Left += sdx;
  if (handle == 0 || handle == 3 || handle == 7) r.Top += sdy;
  if (handle == 2 || handle == 3 || handle == 6) r.Right += dx;
  if (handle == 1 || handle == 2 || handle == 5) r.Bottom += dy;
  return r;
}

void TCvDesignBox::MoveControls(int dx, int dy) {
  for (int i = 0; i < items_.Count(); ++i) {
    TCvDesignItem* item = items_.Items(i);
    if (!item->Selected) continue;
    TRect r = MovedRect(item->Rect, dx, dy);
    if (grid_) r = SnapMove(r);
    MoveControl(item->Control, ToTarget(r));
    SetBRect(item);
  }
}

void TCvDesignBox::ResizeControls(int dx, int dy, int handle) {
  for (int i = 0; i < items_.Count(); ++i) {
    TCvDesignItem* item = items_.Items(i);
    if (!item->Selected) continue;
    // An edge dragged past the opposite one turns the control over instead of leaving it no size.
    TRect r;
    NormalizeRect(GetResizeRect(item, dx, dy, handle), r);
    ResizeControl(item->Control, ToTarget(r));
    SetBRect(item);
  }
}

void TCvDesignBox::DrawDragFigure() {
  TCanvas* c = Canvas();
  c->Pen()->SetColor(clWindowFrame);
  c->Pen()->SetMode(pmNotXor);
  c->Pen()->SetStyle(psSolid);
  c->Brush()->SetStyle(bsClear);
  const int dx = dragPoint_.x - dragStart_.x, dy = dragPoint_.y - dragStart_.y;
  if (dragMode_ == dmBand) {
    TRect r;
    NormalizeRect(Rect(dragStart_.x, dragStart_.y, dragPoint_.x, dragPoint_.y), r);
    c->Rectangle(r);
    return;
  }
  for (int i = 0; i < items_.Count(); ++i) {
    TCvDesignItem* item = items_.Items(i);
    if (!item->Selected) continue;
    TRect r;
    if (dragMode_ == dmMove) {
      r = MovedRect(item->Rect, dx, dy);
      if (grid_) r = SnapMove(r);
    } else {
      NormalizeRect(GetResizeRect(item, dx, dy, handle_), r);
    }
    c->Rectangle(r);
  }
}

void TCvDesignBox::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  const uint8_t was = dragMode_;
  dragMode_ = dmNone;
  moved_ = false;
  if (was != dmNone) {
    Repaint();
    return;
  }
  TCvDesignItem* item = ItemAt(x, y);
  if (shift & ssCtrl) {
    if (item)
      SetSelect(item, !item->Selected);
    else
      dragMode_ = dmBand;
  } else if (!item) {
    SetSelectAll(false);
    dragMode_ = dmBand;
  } else if (item->Selected) {
    const int h = CheckResizePos(item, x, y);
    if (h < 0) {
      dragMode_ = dmMove;
    } else {
      dragMode_ = dmResize;
      handle_ = h;
    }
  } else {
    SetSelectAll(false);
    SetSelect(item, true);
    dragMode_ = dmMove;
  }
  if (dragMode_ != dmNone) {
    dragStart_ = dragPoint_ = {x, y};
    if (dragMode_ == dmMove)
      Screen->SetCursor(crHandPoint);
    else if (dragMode_ == dmResize)
      Screen->SetCursor(SizingHandleCursor(handle_));
  }
  TPaintBox::MouseDown(button, shift, x, y);
}

void TCvDesignBox::MouseMove(TShiftState shift, int x, int y) {
  if (dragMode_ == dmNone) {
    TCursor cursor = crDefault;
    TCvDesignItem* item = ItemAt(x, y);
    if (item && item->Selected) {
      const int h = CheckResizePos(item, x, y);
      cursor = h < 0 ? crHandPoint : SizingHandleCursor(h);
    }
    SetCursor(cursor);
  } else if (moved_ || std::abs(x - dragStart_.x) >= 2 || std::abs(y - dragStart_.y) >= 2) {
    if (moved_) DrawDragFigure();  // drawn again, it goes away
    dragPoint_ = {x, y};
    DrawDragFigure();
    moved_ = true;
  }
  TPaintBox::MouseMove(shift, x, y);
}

void TCvDesignBox::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (dragMode_ != dmNone && moved_) {
    const int dx = x - dragStart_.x, dy = y - dragStart_.y;
    if (dragMode_ == dmMove) {
      MoveControls(dx, dy);
      CheckSize();
    } else if (dragMode_ == dmResize) {
      ResizeControls(dx, dy, handle_);
      CheckSize();
    } else {
      TRect band;
      NormalizeRect(Rect(dragStart_.x, dragStart_.y, x, y), band);
      for (int i = 0; i < items_.Count(); ++i)
        if (RectsOverlap(items_.Items(i)->Rect, band)) items_.Items(i)->Selected = !items_.Items(i)->Selected;
    }
    Repaint();
  }
  dragMode_ = dmNone;
  moved_ = false;
  Screen->SetCursor(crDefault);
  TPaintBox::MouseUp(button, shift, x, y);
}

// ---- Painting ----

void TCvDesignBox::TextFrameRect(TCanvas* canvas, TRect r, const AnsiString& text, const TFont* font,
                                 const TBrush* brush, TAlignment alignment, bool wordWrap, bool singleLine,
                                 bool frame) {
  TBrush* b = canvas->Brush();
  if (frame) {
    b->SetStyle(bsSolid);
    b->SetColor(clBtnHighlight);
    canvas->FrameRect(r);
    b->SetColor(clBtnShadow);
    canvas->FrameRect(Rect(r.Left, r.Top, r.Right - 1, r.Bottom - 1));
    b->SetColor(clBtnFace);
    canvas->FrameRect(Rect(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1));
    b->SetColor(clWindowFrame);
    canvas->FrameRect(Rect(r.Left + 1, r.Top + 1, r.Right - 2, r.Bottom - 2));
    InflateRect(r, -2, -2);
  }
  canvas->Font()->Assign(*font);
  b->Assign(*brush);
  canvas->FillRect(r);
  if (frame) InflateRect(r, -1, -1);
  unsigned format = DT_NOPREFIX | DT_EDITCONTROL;
  if (alignment == taRightJustify)
    format |= DT_RIGHT;
  else if (alignment == taCenter)
    format |= DT_CENTER;
  if (wordWrap) format |= DT_WORDBREAK;
  if (singleLine) format |= DT_SINGLELINE | DT_BOTTOM;
  const TBrushStyle style = b->Style();
  b->SetStyle(bsClear);  // already filled
  canvas->DrawText(text, r, format);
  b->SetStyle(style);
}

void TCvDesignBox::PaintGrid(TCanvas* canvas, const TRect& r, TStringGrid* grid) {
  canvas->Brush()->SetColor(grid->Color());
  canvas->Brush()->SetStyle(bsSolid);
  canvas->FillRect(r);
  if (grid->RowCount() < 1) return;
  const bool wasClipped = canvas->Clipped();
  const TRect oldClip = canvas->ClipRect();
  canvas->SetClipRect(r);
  const int line = grid->GridLineWidth();
  TBrush cellBrush;
  cellBrush.SetColor(grid->FixedColor());
  int x = r.Left;
  for (int col = 0; col < grid->ColCount(); ++col) {
    const TRect cell = Rect(x, r.Top, x + grid->ColWidths(col) + line, r.Top + grid->DefaultRowHeight() + 2 * line);
    TextFrameRect(canvas, cell, grid->Cells(col, 0), grid->Font(), &cellBrush, taCenter, false, false, true);
    if (cell.Right >= r.Right) break;
    x = cell.Right;
  }
  if (wasClipped)
    canvas->SetClipRect(oldClip);
  else
    canvas->ResetClip();
}

void TCvDesignBox::PaintControl(TCvDesignItem* item) {
  if (!item->Visible) return;
  TCanvas* c = Canvas();
  TControl* control = item->Control;
  const TRect& r = item->Rect;
  TBrush brush;
  brush.SetColor(control->Color());
  if (auto* memo = dynamic_cast<TMemo*>(control)) {
    TextFrameRect(c, r, memo->Text(), memo->Font(), &brush, memo->Alignment(), memo->WordWrap(), false, true);
  } else if (auto* bc = dynamic_cast<TCvBcLabel*>(control)) {
    bc->PaintTo(c, r);
  } else if (auto* label = dynamic_cast<TLabel*>(control)) {
    TextFrameRect(c, r, label->Caption(), label->Font(), &brush, label->Alignment(), false, true, false);
  } else if (auto* grid = dynamic_cast<TStringGrid*>(control)) {
    PaintGrid(c, r, grid);
  } else if (auto* image = dynamic_cast<TImage*>(control)) {
    if (!image->Picture()->Empty()) c->StretchDraw(r, *image->Picture());
  } else if (auto* edit = dynamic_cast<TEdit*>(control)) {
    TextFrameRect(c, r, edit->Text(), edit->Font(), &brush, taLeftJustify, false, false, true);
  }
}

void TCvDesignBox::Paint() {
  TCanvas* c = Canvas();
  c->Pen()->SetMode(pmCopy);
  if (grid_) DrawGridDots(c, ClientWidth(), ClientHeight(), gridSize_);
  for (int i = 0; i < items_.Count(); ++i) {
    TCvDesignItem* item = items_.Items(i);
    PaintControl(item);
    if (item->Selected && item->Visible) DrawSelectionMark(c, item->Rect, kHandleSize);
  }
}
