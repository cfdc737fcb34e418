#include "mainwin/MenuClone.h"

#include "platform/Menus.h"

void CopyMenuItemProps(TMenuItem* target, const TMenuItem* source) {
  target->Default = source->Default;
  target->Checked = source->Checked;
  target->Tag = source->Tag;
  target->SetAction(source->Action());
  // A handler of its own, with or without an action, is what choosing the item runs.
  target->OnClick = source->OnClick;
  if (source->Action()) return;
  target->HelpContext = source->HelpContext;
  target->ShortCut = source->ShortCut;
  target->SetCaption(source->Caption());
  target->Enabled = source->Enabled;
  target->Visible = source->Visible;
}

TMenuItem* CloneMenuItem(const TMenuItem* source) {
  auto* item = new TMenuItem(source->Owner());
  CopyMenuItemProps(item, source);
  for (int i = 0; i < source->Count(); ++i) item->Add(CloneMenuItem(source->Items(i)));
  return item;
}
