// The enumeration-folder dialog: the condition-folder dialog with the enumeration item, the cut
// length and the page size; its diagram restricts the values enumerated.
#pragma once

#include "folders/FolLogiUnit.h"

class TFolExpLogDlg : public TFolLogiDlg {
 public:
  explicit TFolExpLogDlg(TComponent* owner);
};
