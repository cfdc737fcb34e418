// The card window, made once at start-up.
#pragma once

#include "platform/Forms.h"

class TCardDlg : public TForm {
 public:
  explicit TCardDlg(TComponent* owner) : TForm(owner) { Name = "CardDlg"; }
};

inline TCardDlg* CardDlg = nullptr;
