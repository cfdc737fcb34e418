// The heading-folder dialog: a folder that only gathers sub-folders; its condition stays empty.
#pragma once

#include "folders/RuleFolForm.h"

class TFolCreate1 : public TFolForm {
 public:
  explicit TFolCreate1(TComponent* owner);
};
