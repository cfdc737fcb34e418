#include "platform/Menus.h"

void TMenuItem::Click() {
  if (Enabled && OnClick) OnClick(this);
}

TMenuItem* TPopupMenu::Add(const AnsiString& caption, int tag, bool enabled) {
  auto* item = new TMenuItem(this);
  item->Caption = caption;
  item->Tag = tag;
  item->Enabled = enabled;
  items_.push_back(item);
  return item;
}
