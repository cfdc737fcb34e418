#include "platform/ActnList.h"

#include <algorithm>

TShortCut ShortCut(uint16_t key, TShiftState shift) {
  TShortCut s = key & 0xFF;
  if (shift & ssShift) s |= scShift;
  if (shift & ssCtrl) s |= scCtrl;
  if (shift & ssAlt) s |= scAlt;
  return s;
}

AnsiString ShortCutToText(TShortCut shortCut) {
  const uint16_t key = shortCut & 0xFF;
  if (key == 0) return AnsiString();
  AnsiString name;
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) {
    name = AnsiString(1, static_cast<char>(key));
  } else if (key >= VK_F1 && key < VK_F1 + 24) {
    name = "F" + IntToStr(key - VK_F1 + 1);
  } else {
    switch (key) {
      case VK_BACK: name = "BkSp"; break;
      case VK_TAB: name = "Tab"; break;
      case VK_RETURN: name = "Enter"; break;
      case VK_ESCAPE: name = "Esc"; break;
      case VK_SPACE: name = "Space"; break;
      case VK_PRIOR: name = "PgUp"; break;
      case VK_NEXT: name = "PgDn"; break;
      case VK_END: name = "End"; break;
      case VK_HOME: name = "Home"; break;
      case VK_LEFT: name = "Left"; break;
      case VK_UP: name = "Up"; break;
      case VK_RIGHT: name = "Right"; break;
      case VK_DOWN: name = "Down"; break;
      case VK_INSERT: name = "Ins"; break;
      case VK_DELETE: name = "Del"; break;
      default: return AnsiString();
    }
  }
  AnsiString out;
  if (shortCut & scShift) out += "Shift+";
  if (shortCut & scCtrl) out += "Ctrl+";
  if (shortCut & scAlt) out += "Alt+";
  return out + name;
}

// ---- TAction ----

TAction::TAction(TComponent* owner) : TComponent(owner) {}

TAction::~TAction() {
  SetActionList(nullptr);
  // Each client lets go of the action, which takes it out of the list.
  while (!clients_.empty()) clients_.back()->ActionFreed();
}

void TAction::Changed() {
  const std::vector<TActionClient*> clients = clients_;
  for (TActionClient* c : clients) c->ActionChanged();
}

void TAction::SetCaption(const AnsiString& c) {
  if (c == caption_) return;
  caption_ = c;
  Changed();
}

void TAction::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  Changed();
}

void TAction::SetChecked(bool v) {
  if (v == checked_) return;
  checked_ = v;
  Changed();
}

void TAction::SetVisible(bool v) {
  if (v == visible_) return;
  visible_ = v;
  Changed();
}

void TAction::SetShortCut(TShortCut s) {
  if (s == shortCut_) return;
  shortCut_ = s;
  Changed();
}

void TAction::SetActionList(TActionList* list) {
  if (list == list_) return;
  if (list_) {
    auto& v = list_->actions_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  list_ = list;
  if (list_) list_->actions_.push_back(this);
}

bool TAction::Execute() {
  if (!enabled_ || !OnExecute) return false;
  OnExecute(this);
  return true;
}

void TAction::AddClient(TActionClient* c) {
  if (std::find(clients_.begin(), clients_.end(), c) == clients_.end()) clients_.push_back(c);
}

void TAction::RemoveClient(TActionClient* c) { clients_.erase(std::remove(clients_.begin(), clients_.end(), c), clients_.end()); }

// ---- TActionList ----

TActionList::TActionList(TComponent* owner) : TComponent(owner) {}

TActionList::~TActionList() {
  while (!actions_.empty()) actions_.back()->SetActionList(nullptr);
}
