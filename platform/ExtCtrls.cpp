#include "platform/ExtCtrls.h"

#include <QApplication>
#include <QFrame>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>

#include "platform/QtBridge.h"

int ScrollBarExtent() {
  if (!HaveGuiApplication()) return 16;
  return QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent);
}

// ---- TPanel ----

namespace {

class PanelWidget : public QFrame {
 public:
  PanelWidget(TPanel* panel, QWidget* parent) : QFrame(parent), panel_(panel) {}

 protected:
  void paintEvent(QPaintEvent* e) override {
    QFrame::paintEvent(e);
    const QString text = StripAccelerators(ToQ(panel_->Caption()));
    if (text.isEmpty()) return;
    QPainter p(this);
    p.setPen(ToQColor(panel_->Font()->Color()));
    Qt::Alignment h = panel_->Alignment() == taLeftJustify    ? Qt::AlignLeft
                      : panel_->Alignment() == taRightJustify ? Qt::AlignRight
                                                              : Qt::AlignHCenter;
    p.drawText(contentsRect().adjusted(2, 0, -2, 0), h | Qt::AlignVCenter, text);
  }

 private:
  TPanel* panel_;
};

}  // namespace

TPanel::TPanel(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 185, 41); }

void TPanel::SetBevelOuter(TBevelCut b) {
  bevelOuter_ = b;
  UpdateWidget();
  Realign();
}

void TPanel::SetBevelInner(TBevelCut b) {
  bevelInner_ = b;
  UpdateWidget();
  Realign();
}

void TPanel::SetAlignment(TAlignment a) {
  alignment_ = a;
  UpdateWidget();
}

int TPanel::BorderWidth() const { return (bevelOuter_ != bvNone ? 1 : 0) + (bevelInner_ != bvNone ? 1 : 0); }

int TPanel::ClientWidth() const { return std::max(0, Width() - 2 * BorderWidth()); }

int TPanel::ClientHeight() const { return std::max(0, Height() - 2 * BorderWidth()); }

QWidget* TPanel::CreateWidget(QWidget* parent) { return new PanelWidget(this, parent); }

void TPanel::SyncWidget() {
  TWinControl::SyncWidget();
  auto* f = static_cast<QFrame*>(widget_);
  const TBevelCut outer = bevelOuter_ != bvNone ? bevelOuter_ : bevelInner_;
  if (outer == bvNone || outer == bvSpace) {
    f->setFrameStyle(QFrame::NoFrame);
  } else {
    f->setFrameStyle(QFrame::Panel | (outer == bvLowered ? QFrame::Sunken : QFrame::Raised));
    f->setLineWidth(1);
  }
  QPalette pal = f->palette();
  pal.setColor(QPalette::Window, ToQColor(Color()));
  f->setPalette(pal);
  f->setAutoFillBackground(true);
  f->update();
}

// ---- TControlScrollBar ----

void TControlScrollBar::SetPosition(int p) {
  p = std::clamp(p, 0, MaxPosition());
  if (p == position_) return;
  position_ = p;
  box_->ScrollChanged();
}

void TControlScrollBar::SetRange(int r) {
  r = std::max(0, r);
  if (r == range_) return;
  range_ = r;
  position_ = std::clamp(position_, 0, MaxPosition());
  box_->ScrollChanged();
}

void TControlScrollBar::SetTracking(bool t) {
  tracking_ = t;
  box_->ScrollChanged();
}

void TControlScrollBar::SetVisible(bool v) {
  visible_ = v;
  position_ = std::clamp(position_, 0, MaxPosition());
  box_->ScrollChanged();
}

bool TControlScrollBar::IsScrollBarVisible() const {
  if (!visible_) return false;
  return horizontal_ ? range_ > box_->ClientWidth() : range_ > box_->ClientHeight();
}

int TControlScrollBar::MaxPosition() const {
  if (!visible_) return 0;
  return std::max(0, range_ - (horizontal_ ? box_->ClientWidth() : box_->ClientHeight()));
}

// ---- TScrollBox ----

namespace {

class ScrollBoxWidget : public QScrollArea {
 public:
  ScrollBoxWidget(TScrollBox* box, QWidget* parent) : QScrollArea(parent), box_(box) {}

 protected:
  bool viewportEvent(QEvent* e) override {
    switch (e->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseMove:
      case QEvent::Wheel: return ForwardInput(box_, e, QPoint());
      default: return QScrollArea::viewportEvent(e);
    }
  }

 private:
  TScrollBox* box_;
};

}  // namespace

TScrollBox::TScrollBox(TComponent* owner) : TWinControl(owner) {
  SetBounds(0, 0, 185, 41);
  TabStop = true;
}

TScrollBox::~TScrollBox() = default;

void TScrollBox::SetAutoScroll(bool v) {
  autoScroll_ = v;
  UpdateRange();
}

void TScrollBox::SetBorderStyle(TBorderStyle b) {
  borderStyle_ = b;
  ScrollChanged();
}

int TScrollBox::ClientWidth() const {
  const int inner = std::max(0, Width() - 2 * Border());
  const int innerH = std::max(0, Height() - 2 * Border());
  bool needV = vert_.visible_ && vert_.range_ > innerH;
  const bool needH = horz_.visible_ && horz_.range_ > inner - (needV ? ScrollBarExtent() : 0);
  if (needH && !needV) needV = vert_.visible_ && vert_.range_ > innerH - ScrollBarExtent();
  return std::max(0, inner - (needV ? ScrollBarExtent() : 0));
}

int TScrollBox::ClientHeight() const {
  const int inner = std::max(0, Width() - 2 * Border());
  const int innerH = std::max(0, Height() - 2 * Border());
  bool needH = horz_.visible_ && horz_.range_ > inner;
  const bool needV = vert_.visible_ && vert_.range_ > innerH - (needH ? ScrollBarExtent() : 0);
  if (needV && !needH) needH = horz_.visible_ && horz_.range_ > inner - ScrollBarExtent();
  return std::max(0, innerH - (needH ? ScrollBarExtent() : 0));
}

void TScrollBox::ControlBoundsChanged(TControl*) { UpdateRange(); }

void TScrollBox::UpdateRange() {
  if (!autoScroll_) return;
  int right = 0, bottom = 0;
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    if (!c->Visible() || c->Align() != alNone) continue;
    right = std::max(right, c->Left() + c->Width());
    bottom = std::max(bottom, c->Top() + c->Height());
  }
  horz_.range_ = right;
  vert_.range_ = bottom;
  horz_.position_ = std::clamp(horz_.position_, 0, horz_.MaxPosition());
  vert_.position_ = std::clamp(vert_.position_, 0, vert_.MaxPosition());
  ScrollChanged();
}

bool TScrollBox::DoMouseWheelDown(TShiftState, TPoint) {
  vert_.SetPosition(vert_.position_ + 3 * vert_.Increment);
  return true;
}

bool TScrollBox::DoMouseWheelUp(TShiftState, TPoint) {
  vert_.SetPosition(vert_.position_ - 3 * vert_.Increment);
  return true;
}

void TScrollBox::ScrollChanged() { UpdateWidget(); }

QWidget* TScrollBox::CreateWidget(QWidget* parent) {
  auto* area = new ScrollBoxWidget(this, parent);
  content_ = new QWidget;
  area->setWidget(content_);
  area->setWidgetResizable(false);
  auto follow = [this](TControlScrollBar* bar, int value) {
    if (!syncing_) bar->position_ = std::clamp(value, 0, bar->MaxPosition());
  };
  QObject::connect(area->horizontalScrollBar(), &QScrollBar::valueChanged, [this, follow](int v) { follow(&horz_, v); });
  QObject::connect(area->verticalScrollBar(), &QScrollBar::valueChanged, [this, follow](int v) { follow(&vert_, v); });
  return area;
}

void TScrollBox::SyncWidget() {
  TWinControl::SyncWidget();
  auto* area = static_cast<QScrollArea*>(widget_);
  syncing_ = true;
  area->setFrameStyle(borderStyle_ == bsNone ? QFrame::NoFrame : QFrame::StyledPanel | QFrame::Sunken);
  area->setHorizontalScrollBarPolicy(horz_.visible_ ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  area->setVerticalScrollBarPolicy(vert_.visible_ ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  area->horizontalScrollBar()->setTracking(horz_.tracking_);
  area->verticalScrollBar()->setTracking(vert_.tracking_);
  area->horizontalScrollBar()->setSingleStep(horz_.Increment);
  area->verticalScrollBar()->setSingleStep(vert_.Increment);
  QPalette pal = area->palette();
  pal.setColor(QPalette::Window, ToQColor(Color()));
  area->viewport()->setPalette(pal);
  area->viewport()->setAutoFillBackground(true);
  content_->setPalette(pal);
  content_->resize(std::max(horz_.range_, ClientWidth()), std::max(vert_.range_, ClientHeight()));
  area->horizontalScrollBar()->setValue(horz_.position_);
  area->verticalScrollBar()->setValue(vert_.position_);
  syncing_ = false;
}
