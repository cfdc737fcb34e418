// The condition-folder dialog.
#pragma once

#include "folders/RuleFolForm.h"

class TFolLogiDlg : public TFolForm {
 public:
  explicit TFolLogiDlg(TComponent* owner) : TFolForm(owner) { SetCaption(SJ("条件フォルダ")); }
};
