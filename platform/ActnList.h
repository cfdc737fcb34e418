// Actions: commands with a caption and a state, shown by the menu items and tool buttons bound
// to them, and the lists that hold them.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Controls.h"

// A key with its modifiers, as menus show it: the virtual key code with scShift, scCtrl, scAlt.
using TShortCut = uint16_t;
constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000;
TShortCut ShortCut(uint16_t key, TShiftState shift);
// "Ctrl+Z", "Del", "F2"; the empty text for 0.
AnsiString ShortCutToText(TShortCut shortCut);

class TAction;
class TActionList;
class TImageList;

// What shows an action (a menu item, a tool button): told when the action's state changes and
// when the action goes.
class TActionClient {
 public:
  virtual ~TActionClient() = default;
  virtual void ActionChanged() = 0;
  virtual void ActionFreed() = 0;
};

// A command. Its caption, enabled, checked and visible states and short cut are those of every
// item and button bound to it; choosing any of them runs OnExecute, unless the action is disabled.
class TAction : public TComponent {
 public:
  explicit TAction(TComponent* owner);
  ~TAction() override;

  const AnsiString& Caption() const { return caption_; }
  void SetCaption(const AnsiString& c);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  bool Checked() const { return checked_; }
  void SetChecked(bool v);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut s);
  AnsiString Hint;

  TActionList* ActionList() const { return list_; }
  void SetActionList(TActionList* list);

  TNotifyEvent OnExecute;
  // Runs OnExecute when the action is enabled and has one; false when nothing ran.
  bool Execute();

  // Platform internals: the items and buttons that show the action.
  void AddClient(TActionClient* c);
  void RemoveClient(TActionClient* c);

 private:
  void Changed();
  AnsiString caption_;
  bool enabled_ = true, checked_ = false, visible_ = true;
  TShortCut shortCut_ = 0;
  TActionList* list_ = nullptr;
  std::vector<TActionClient*> clients_;
};

// The actions of a form, in the order they joined it.
class TActionList : public TComponent {
 public:
  explicit TActionList(TComponent* owner);
  ~TActionList() override;
  int ActionCount() const { return static_cast<int>(actions_.size()); }
  TAction* Actions(int i) const { return actions_.at(i); }
  TImageList* Images = nullptr;

 private:
  friend class TAction;
  std::vector<TAction*> actions_;
};
