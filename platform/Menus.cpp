#include "platform/Menus.h"

#include <QAction>
#include <QMenu>

#include <algorithm>

#include "platform/Forms.h"
#include "platform/QtBridge.h"

// ---- TMenuItem ----

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem() {
  SetAction(nullptr);
  if (parent_) parent_->Remove(this);
  Clear();
}

void TMenuItem::SetAction(TAction* a) {
  if (a == action_) return;
  if (action_) action_->RemoveClient(this);
  action_ = a;
  if (action_) {
    action_->AddClient(this);
    ActionChanged();
  }
}

void TMenuItem::ActionChanged() {
  if (!action_) return;
  caption_ = action_->Caption();
  Enabled = action_->Enabled();
  Checked = action_->Checked();
  Visible = action_->Visible();
  ShortCut = action_->ShortCut();
}

void TMenuItem::ActionFreed() { SetAction(nullptr); }

int TMenuItem::MenuIndex() const { return parent_ ? parent_->IndexOf(this) : -1; }

int TMenuItem::IndexOf(const TMenuItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (!item || item == this) return;
  if (item->parent_) item->parent_->Remove(item);
  items_.insert(items_.begin() + std::clamp(index, 0, Count()), item);
  item->parent_ = this;
}

void TMenuItem::Remove(TMenuItem* item) {
  const int i = IndexOf(item);
  if (i >= 0) Delete(i);
}

void TMenuItem::Delete(int index) {
  TMenuItem* item = items_.at(index);
  items_.erase(items_.begin() + index);
  item->parent_ = nullptr;
}

void TMenuItem::Clear() {
  while (!items_.empty()) delete items_.back();  // each leaves the list as it goes
}

void TMenuItem::Click() {
  if (!Enabled) return;
  if (RadioItem) {
    if (parent_)
      for (TMenuItem* sibling : parent_->items_)
        if (sibling->RadioItem && sibling->GroupIndex == GroupIndex) sibling->Checked = false;
    Checked = true;
  }
  if (OnClick)
    OnClick(this);
  else if (action_)
    action_->Execute();
}

// ---- TPopupMenu ----

TPopupMenu::TPopupMenu(TComponent* owner) : TComponent(owner), items_(nullptr) {}

namespace {

// The Qt menu of an item's submenu. The chosen item is reported, not run, so that it runs after
// the menu has closed.
void FillMenu(QMenu* menu, TMenuItem* parent, TMenuItem*& chosen) {
  for (int i = 0; i < parent->Count(); ++i) {
    TMenuItem* item = parent->Items(i);
    if (!item->Visible) continue;
    if (item->IsLine()) {
      menu->addSeparator();
      continue;
    }
    QString caption = ToQ(item->Caption());
    if (item->ShortCut && item->Count() == 0) caption += QLatin1Char('\t') + ToQ(ShortCutToText(item->ShortCut));
    if (item->Count() > 0) {
      QMenu* sub = menu->addMenu(caption);
      sub->setEnabled(item->Enabled);
      FillMenu(sub, item, chosen);
      continue;
    }
    QAction* a = menu->addAction(caption);
    a->setEnabled(item->Enabled);
    a->setCheckable(item->Checked || item->RadioItem);
    a->setChecked(item->Checked);
    if (item->Default) {
      QFont bold = a->font();
      bold.setBold(true);
      a->setFont(bold);
    }
    QObject::connect(a, &QAction::triggered, [item, &chosen] { chosen = item; });
  }
}

}  // namespace

void TPopupMenu::Popup(int x, int y) {
  popupPoint_ = {x, y};
  if (OnPopup) OnPopup(this);
  PopupSubmenu(&items_, x, y);
}

void PopupSubmenu(TMenuItem* parent, int x, int y) {
  if (!HaveGuiApplication() || (Application && Application->TestMode)) return;
  QMenu menu;
  TMenuItem* chosen = nullptr;
  FillMenu(&menu, parent, chosen);
  if (menu.isEmpty()) return;
  menu.exec(QPoint(x, y));
  if (chosen) chosen->Click();
}

// ---- TMainMenu ----

TMainMenu::TMainMenu(TComponent* owner) : TComponent(owner), items_(nullptr) {}
