#include "mainwin/MenuBar.h"

TMenuBar::TMenuBar(TComponent* owner) : TToolBar(owner) {
  SetFlat(true);
  SetShowCaptions(true);
}

void TMenuBar::SetMenu(TMainMenu* menu) {
  if (menu == menu_) return;
  if (menu_)
    for (int i = ButtonCount() - 1; i >= 0; --i) delete Buttons(i);
  menu_ = menu;
  if (!menu_) return;
  TMenuItem* items = menu_->Items();
  for (int i = ButtonCount(); i < items->Count(); ++i) {
    auto* button = new TToolButton(this);
    button->AutoSize = true;
    button->Grouped = true;
    button->SetParent(this);
  }
  for (int i = 0; i < ButtonCount() && i < items->Count(); ++i) Buttons(i)->SetMenuItem(items->Items(i));
}
