#include "platform/Buttons.h"

#include <QToolButton>

#include "platform/QtBridge.h"

TSpeedButton::TSpeedButton(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 23, 22); }

void TSpeedButton::SetDown(bool v) {
  if (GroupIndex == 0) v = false;
  if (v == down_) return;
  down_ = v;
  if (v && Parent()) {
    for (int i = 0; i < Parent()->ControlCount(); ++i) {
      auto* other = dynamic_cast<TSpeedButton*>(Parent()->Controls(i));
      if (other && other != this && other->GroupIndex == GroupIndex) other->SetDown(false);
    }
  }
  UpdateWidget();
}

void TSpeedButton::Click() {
  if (!Enabled()) return;
  if (GroupIndex != 0) SetDown(!down_ || !AllowAllUp);
  UpdateWidget();
  TControl::Click();
}

QWidget* TSpeedButton::CreateWidget(QWidget* parent) {
  auto* b = new QToolButton(parent);
  b->setCheckable(true);
  b->setFocusPolicy(Qt::NoFocus);
  QObject::connect(b, &QToolButton::clicked, [this] { Click(); });
  return b;
}

void TSpeedButton::SyncWidget() {
  TWinControl::SyncWidget();
  auto* b = static_cast<QToolButton*>(widget_);
  b->setText(StripAccelerators(ToQ(Caption())));
  b->setChecked(down_);
}
