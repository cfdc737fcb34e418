#include "platform/ScrollBar.h"

#include <QScrollBar>
#include <algorithm>

#include "platform/QtBridge.h"

TScrollBar::TScrollBar(TComponent* owner) : TWinControl(owner) {
  TabStop = true;
  SetBounds(0, 0, 121, 17);
}

void TScrollBar::SetKind(TScrollBarKind k) {
  kind_ = k;
  UpdateWidget();
}

void TScrollBar::SetParams(int position, int min, int max) {
  if (max < min) max = min;
  const int old = position_;
  min_ = min;
  max_ = max;
  position_ = std::clamp(position, min_, max_);
  UpdateWidget();
  if (position_ != old && OnChange) OnChange(this);
}

QWidget* TScrollBar::CreateWidget(QWidget* parent) {
  auto* bar = new QScrollBar(parent);
  QObject::connect(bar, &QScrollBar::valueChanged, [this](int v) {
    if (!syncing_) SetPosition(v);
  });
  return bar;
}

void TScrollBar::SyncWidget() {
  TWinControl::SyncWidget();
  auto* bar = static_cast<QScrollBar*>(widget_);
  syncing_ = true;
  bar->setOrientation(kind_ == sbHorizontal ? Qt::Horizontal : Qt::Vertical);
  bar->setRange(min_, max_);
  bar->setSingleStep(std::max(1, SmallChange));
  bar->setPageStep(std::max(1, LargeChange));
  bar->setValue(position_);
  syncing_ = false;
}
