// The speed button: a flat button that can stay pressed. Buttons of one parent that share a
// non-zero GroupIndex act as one group: pressing one lets the others up. User-interface thread
// only.
#pragma once

#include "platform/Controls.h"

class TSpeedButton : public TWinControl {
 public:
  explicit TSpeedButton(TComponent* owner);
  int GroupIndex = 0;
  // In a group, a second click on the pressed button lets it up.
  bool AllowAllUp = false;
  bool Down() const { return down_; }
  // Pressing or letting up from the program runs no OnClick.
  void SetDown(bool v);
  // A click by the user: a grouped button stays pressed; then OnClick.
  void Click() override;

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;

 private:
  bool down_ = false;
};
