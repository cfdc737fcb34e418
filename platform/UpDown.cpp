#include "platform/UpDown.h"

#include <QToolButton>
#include <algorithm>

#include "platform/QtBridge.h"

namespace {

// Two arrow buttons side by side (horizontal) or one above the other (vertical).
class UpDownWidget : public QWidget {
 public:
  UpDownWidget(TUpDown* control, QWidget* parent) : QWidget(parent) {
    for (int i = 0; i < 2; ++i) {
      buttons[i] = new QToolButton(this);
      buttons[i]->setAutoRepeat(true);
      buttons[i]->setFocusPolicy(Qt::NoFocus);
      QObject::connect(buttons[i], &QToolButton::clicked, [control, i] { control->Step(i == 0 ? btPrev : btNext); });
    }
  }
  void Place(bool horizontal) {
    buttons[0]->setArrowType(horizontal ? Qt::LeftArrow : Qt::DownArrow);
    buttons[1]->setArrowType(horizontal ? Qt::RightArrow : Qt::UpArrow);
    const int w = width(), h = height();
    if (horizontal) {
      buttons[0]->setGeometry(0, 0, w / 2, h);
      buttons[1]->setGeometry(w / 2, 0, w - w / 2, h);
    } else {
      buttons[1]->setGeometry(0, 0, w, h / 2);
      buttons[0]->setGeometry(0, h / 2, w, h - h / 2);
    }
  }
  QToolButton* buttons[2];
};

constexpr int kPositionLow = -32768, kPositionHigh = 32767;

}  // namespace

TUpDown::TUpDown(TComponent* owner) : TWinControl(owner) { SetBounds(0, 0, 17, 24); }

void TUpDown::SetMin(int v) {
  min_ = std::clamp(v, kPositionLow, kPositionHigh);
  if (max_ < min_) max_ = min_;
  SetPosition(position_);
}

void TUpDown::SetMax(int v) {
  max_ = std::clamp(v, kPositionLow, kPositionHigh);
  if (min_ > max_) min_ = max_;
  SetPosition(position_);
}

void TUpDown::SetPosition(int v) {
  position_ = std::clamp(v, min_, max_);
  ShowPosition();
}

void TUpDown::SetOrientation(TUDOrientation o) {
  orientation_ = o;
  UpdateWidget();
}

void TUpDown::SetAssociate(TEdit* e) {
  associate_ = e;
  ShowPosition();
}

TEdit* TUpDown::Edit() const {
  // Only compared, never followed, until it is found among the parent's controls.
  if (!associate_ || !Parent()) return nullptr;
  for (int i = 0; i < Parent()->ControlCount(); ++i)
    if (Parent()->Controls(i) == associate_) return associate_;
  return nullptr;
}

int TUpDown::Position() const {
  if (TEdit* edit = Edit()) {
    int v;
    if (TryStrToInt(Trim(edit->Text()), v) && v >= min_ && v <= max_) return v;
  }
  return position_;
}

void TUpDown::ShowPosition() {
  if (TEdit* edit = Edit()) edit->SetText(IntToStr(position_));
}

void TUpDown::Step(TUDBtnType button) {
  if (!Enabled()) return;
  position_ = Position();
  const long long wanted = static_cast<long long>(position_) + (button == btNext ? Increment : -Increment);
  const int value = static_cast<int>(std::clamp<long long>(wanted, min_, max_));
  if (value == position_) return;
  bool allow = true;
  if (OnChangingEx) OnChangingEx(this, allow, value, button == btNext ? updUp : updDown);
  if (!allow) return;
  position_ = value;
  ShowPosition();
  if (OnButtonClick) OnButtonClick(this, button);
}

QWidget* TUpDown::CreateWidget(QWidget* parent) { return new UpDownWidget(this, parent); }

void TUpDown::SyncWidget() {
  TWinControl::SyncWidget();
  static_cast<UpDownWidget*>(widget_)->Place(orientation_ == udHorizontal);
}
