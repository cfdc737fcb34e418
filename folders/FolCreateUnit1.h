// The heading-folder dialog.
#pragma once

#include "folders/RuleFolForm.h"

class TFolCreate1 : public TFolForm {
 public:
  explicit TFolCreate1(TComponent* owner) : TFolForm(owner) { SetCaption(SJ("見出しフォルダ")); }
};
