#include "platform/Timer.h"

#include <QCoreApplication>
#include <QTimer>

TTimer::TTimer(TComponent* owner) : TComponent(owner) { Restart(); }

TTimer::~TTimer() { delete timer_; }

void TTimer::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Restart();
}

void TTimer::SetInterval(int ms) {
  interval_ = ms;
  Restart();
}

void TTimer::Restart() {
  if (!timer_ && QCoreApplication::instance()) {
    timer_ = new QTimer;
    QObject::connect(timer_, &QTimer::timeout, [this] {
      if (enabled_ && OnTimer) OnTimer(this);
    });
  }
  if (!timer_) return;
  timer_->stop();
  if (enabled_ && interval_ > 0) timer_->start(interval_);
}
