// The timer: OnTimer every Interval milliseconds while it is enabled.
#pragma once

#include <memory>

#include "platform/Controls.h"

class QTimer;

// Runs OnTimer on the user-interface thread every Interval milliseconds while Enabled, from the
// event loop (or ProcessMessages). Changing the interval or enabling it starts the count anew.
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  int Interval() const { return interval_; }
  void SetInterval(int ms);
  TNotifyEvent OnTimer;

 private:
  void Restart();
  bool enabled_ = true;
  int interval_ = 1000;
  QTimer* timer_ = nullptr;
};
