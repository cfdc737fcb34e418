// Menu items and popup menus. The items keep their state in plain members; a Qt menu is built
// from them each time the menu opens. User-interface thread only.
#pragma once

#include <vector>

#include "platform/ActnList.h"
#include "platform/Controls.h"

// One entry of a menu, with the entries of its submenu. A caption of "-" is a separator line.
// An item owns the items added to it (as well as being owned by its owner component). Bound to
// an action, it shows the action's caption, states and short cut, and choosing it runs the
// action unless the item has an OnClick of its own.
class TMenuItem : public TComponent, public TActionClient {
 public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;

  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& c) { caption_ = c; }
  bool Checked = false;
  bool Enabled = true;
  bool Visible = true;
  // Checking one radio item of a group unchecks the others of its GroupIndex.
  bool RadioItem = false;
  int GroupIndex = 0;
  // Shown in bold: what a double click on the menu's owner does.
  bool Default = false;
  int HelpContext = 0;
  // Shown beside the caption; the control that owns the menu handles the key itself.
  TShortCut ShortCut = 0;
  TAction* Action() const { return action_; }
  void SetAction(TAction* a);
  void ActionChanged() override;
  void ActionFreed() override;
  bool IsLine() const { return caption_ == "-"; }

  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int i) const { return items_.at(i); }
  TMenuItem* Parent() const { return parent_; }
  int MenuIndex() const;
  int IndexOf(const TMenuItem* item) const;
  void Add(TMenuItem* item);
  void Insert(int index, TMenuItem* item);
  void Remove(TMenuItem* item);  // leaves the submenu, not freed
  void Delete(int index);        // leaves the submenu, not freed
  void Clear();                  // frees every item of the submenu

  TNotifyEvent OnClick;
  // What choosing the item does: a radio item is checked, then OnClick runs.
  virtual void Click();

 private:
  AnsiString caption_;
  TAction* action_ = nullptr;
  TMenuItem* parent_ = nullptr;
  std::vector<TMenuItem*> items_;
};

// A menu that opens at a point, usually on a right click over the control that names it as its
// PopupMenu. Under tests (Application->TestMode) Popup runs OnPopup and shows nothing; the test
// then clicks the items it wants.
class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* owner);
  TMenuItem* Items() { return &items_; }
  bool AutoPopup = true;
  // The control whose right click opened the menu last.
  TComponent* PopupComponent = nullptr;
  TPoint PopupPoint() const { return popupPoint_; }
  TNotifyEvent OnPopup;
  // Opens the menu at a screen point and returns when it closes (a chosen item has run).
  virtual void Popup(int x, int y);

 private:
  TMenuItem items_;
  TPoint popupPoint_{};
};

// The menu of a window, whose top-level items a menu tool bar shows as buttons.
class TMainMenu : public TComponent {
 public:
  explicit TMainMenu(TComponent* owner);
  TMenuItem* Items() { return &items_; }

 private:
  TMenuItem items_;
};

// Platform internals: opens the submenu of an item at a screen point and returns when it closes;
// the chosen item has then run.
void PopupSubmenu(TMenuItem* parent, int x, int y);
