// The record edit dialog, made once at start-up.
#pragma once

#include "platform/Forms.h"

class TEditDlg : public TForm {
 public:
  explicit TEditDlg(TComponent* owner) : TForm(owner) { Name = "EditDlg"; }
};

inline TEditDlg* EditDlg = nullptr;
