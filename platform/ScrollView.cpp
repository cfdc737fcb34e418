#include "platform/ScrollView.h"

#include <QScrollBar>
#include <QTimer>
#include <QWidget>

#include <algorithm>

#include "platform/QtBridge.h"

TCustomScrollView::TCustomScrollView(TComponent* owner) : TCustomControl(owner) {
  SetColor(clWindow);
  TabStop = true;
}

TCustomScrollView::~TCustomScrollView() { *alive_ = false; }

void TCustomScrollView::SetBorderStyle(TBorderStyle b) {
  borderStyle_ = b;
  ContentChanged();
}

void TCustomScrollView::SetLineHeight(int h) {
  h = std::max(1, h);
  if (h == lineHeight_) return;
  lineHeight_ = h;
  ContentChanged();
}

TCustomScrollView::Layout TCustomScrollView::ComputeLayout() {
  Layout l;
  const int border = borderStyle_ == bsNone ? 0 : 2;
  TRect inner = Rect(border, border, std::max(border, Width() - border), std::max(border, Height() - border));
  const int bar = ScrollBarExtent();
  const int tall = ContentLines() * lineHeight_;
  const int wide = ContentWidth();
  l.vertical = tall > inner.Height();
  l.horizontal = wide > inner.Width() - (l.vertical ? bar : 0);
  if (l.horizontal && !l.vertical) l.vertical = tall > inner.Height() - bar;
  if (l.vertical) inner.Right = std::max(inner.Left, inner.Right - bar);
  if (l.horizontal) inner.Bottom = std::max(inner.Top, inner.Bottom - bar);
  l.view = inner;
  return l;
}

TRect TCustomScrollView::ViewRect() { return ComputeLayout().view; }

int TCustomScrollView::VisibleLines() { return std::max(1, ViewRect().Height() / lineHeight_); }

void TCustomScrollView::ClampScroll() {
  const Layout l = ComputeLayout();
  const int maxTop = std::max(0, ContentLines() - std::max(1, l.view.Height() / lineHeight_));
  topLine_ = std::clamp(topLine_, 0, maxTop);
  scrollLeft_ = std::clamp(scrollLeft_, 0, std::max(0, ContentWidth() - l.view.Width()));
}

void TCustomScrollView::SetTopLine(int line) {
  const int old = topLine_;
  topLine_ = line;
  ClampScroll();
  if (topLine_ != old) ContentChanged();
}

void TCustomScrollView::SetScrollLeft(int x) {
  const int old = scrollLeft_;
  scrollLeft_ = x;
  ClampScroll();
  if (scrollLeft_ != old) ContentChanged();
}

void TCustomScrollView::ScrollIntoView(int line) {
  if (line < topLine_)
    SetTopLine(line);
  else if (line >= topLine_ + VisibleLines())
    SetTopLine(line - VisibleLines() + 1);
}

void TCustomScrollView::ContentChanged() {
  Invalidate();
  if (!vbar_ || syncPosted_) return;
  syncPosted_ = true;
  std::weak_ptr<bool> alive = alive_;
  QTimer::singleShot(0, [this, alive] {
    if (auto a = alive.lock(); a && *a) {
      syncPosted_ = false;
      SyncBars();
    }
  });
}

void TCustomScrollView::Resize() {
  ClampScroll();
  ContentChanged();
  TCustomControl::Resize();
}

bool TCustomScrollView::DoMouseWheelDown(TShiftState, TPoint) {
  SetTopLine(topLine_ + 3);
  return true;
}

bool TCustomScrollView::DoMouseWheelUp(TShiftState, TPoint) {
  SetTopLine(topLine_ - 3);
  return true;
}

void TCustomScrollView::Paint() {
  TCanvas* c = Canvas();
  const Layout l = ComputeLayout();
  c->SetClipRect(l.view);
  PaintView(c, l.view);
  c->ResetClip();
  if (borderStyle_ != bsNone) {
    TRect r = Rect(0, 0, Width(), Height());
    c->DrawEdge(r, EDGE_SUNKEN, BF_RECT);
  }
  if (l.vertical && l.horizontal) {
    c->Brush()->SetColor(clBtnFace);
    c->FillRect(Rect(l.view.Right, l.view.Bottom, l.view.Right + ScrollBarExtent(), l.view.Bottom + ScrollBarExtent()));
  }
}

QWidget* TCustomScrollView::CreateWidget(QWidget* parent) {
  QWidget* w = TCustomControl::CreateWidget(parent);
  vbar_ = new QScrollBar(Qt::Vertical, w);
  hbar_ = new QScrollBar(Qt::Horizontal, w);
  vbar_->setFocusPolicy(Qt::NoFocus);
  hbar_->setFocusPolicy(Qt::NoFocus);
  QObject::connect(vbar_, &QScrollBar::valueChanged, [this](int v) {
    if (!syncing_) SetTopLine(v);
  });
  QObject::connect(hbar_, &QScrollBar::valueChanged, [this](int v) {
    if (!syncing_) SetScrollLeft(v);
  });
  return w;
}

void TCustomScrollView::SyncWidget() {
  TCustomControl::SyncWidget();
  SyncBars();
}

void TCustomScrollView::SyncBars() {
  if (!vbar_) return;
  ClampScroll();
  const Layout l = ComputeLayout();
  const int bar = ScrollBarExtent();
  syncing_ = true;
  vbar_->setVisible(l.vertical);
  if (l.vertical) {
    const int page = std::max(1, l.view.Height() / lineHeight_);
    vbar_->setGeometry(l.view.Right, l.view.Top, bar, l.view.Height());
    vbar_->setRange(0, std::max(0, ContentLines() - page));
    vbar_->setPageStep(page);
    vbar_->setSingleStep(1);
    vbar_->setValue(topLine_);
  }
  hbar_->setVisible(l.horizontal);
  if (l.horizontal) {
    hbar_->setGeometry(l.view.Left, l.view.Bottom, l.view.Width(), bar);
    hbar_->setRange(0, std::max(0, ContentWidth() - l.view.Width()));
    hbar_->setPageStep(std::max(1, l.view.Width()));
    hbar_->setSingleStep(std::max(1, lineHeight_));
    hbar_->setValue(scrollLeft_);
  }
  syncing_ = false;
}
