// The menu tool bar: a flat tool bar that shows the top-level items of a main menu as buttons,
// each dropping down its item's submenu. It stands in a cool bar in place of a menu bar.
#pragma once

#include "platform/ComCtrls.h"
#include "platform/Menus.h"

class TMenuBar : public TToolBar {
 public:
  explicit TMenuBar(TComponent* owner);

  // The menu shown (not owned; null: none). Setting another menu replaces every button; setting
  // the same one changes nothing.
  TMainMenu* Menu() const { return menu_; }
  void SetMenu(TMainMenu* menu);

 private:
  TMainMenu* menu_ = nullptr;
};
