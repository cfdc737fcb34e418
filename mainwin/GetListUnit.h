// The listing's progress dialog, made once at start-up.
#pragma once

#include "platform/Forms.h"

class TGetListDlg : public TForm {
 public:
  explicit TGetListDlg(TComponent* owner);
};

extern TGetListDlg* GetListDlg;
