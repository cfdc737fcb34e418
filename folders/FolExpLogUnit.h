// The enumeration-folder dialog.
#pragma once

#include "folders/FolLogiUnit.h"

class TFolExpLogDlg : public TFolLogiDlg {
 public:
  explicit TFolExpLogDlg(TComponent* owner) : TFolLogiDlg(owner) { SetCaption(SJ("列挙フォルダ")); }
};
