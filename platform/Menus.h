// Menus: a popup menu and its items. The menu keeps its state (items, captions, tags, enabled
// flags, click handlers) in plain members; showing it on the screen comes with its first window.
// User-interface thread only.
#pragma once

#include <vector>

#include "platform/Controls.h"

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner) : TComponent(owner) {}

  AnsiString Caption;  // "-" makes the item a separator
  bool Enabled = true;
  TNotifyEvent OnClick;

  // Runs OnClick as a click on the item would: nothing while the item is disabled.
  void Click();
};

class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* owner) : TComponent(owner) {}

  // Appends a new item owned by the menu and answers it.
  TMenuItem* Add(const AnsiString& caption, int tag, bool enabled);
  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int i) const { return items_.at(static_cast<size_t>(i)); }

  bool AutoPopup = true;

 private:
  std::vector<TMenuItem*> items_;
};
