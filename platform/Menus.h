// Menu items and popup menus. The items keep their state in plain members; a Qt menu is built
// from them each time the menu opens. User-interface thread only.
#pragma once

#include <vector>

#include "platform/Controls.h"

// One entry of a menu, with the entries of its submenu. A caption of "-" is a separator line.
// An item owns the items added to it (as well as being owned by its owner component).
class TMenuItem : public TComponent {
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
