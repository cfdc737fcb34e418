// The top-folder dialog: the root's name, icons and the order of its sub-folders.
#pragma once

#include "platform/Forms.h"

class CTopRuleFolder;
class TImageList;

class TEditTopFolderDlg : public TForm {
 public:
  explicit TEditTopFolderDlg(TComponent* owner);
  void SetImageList(TImageList* list) { ImageList = list; }
  // Shows the root's settings.
  void SetFolder(CTopRuleFolder* root);
  // Writes the shown settings back: name, icons, and the sub-folders in the order of Order.
  void UpdateFolder(CTopRuleFolder* root);

  TImageList* ImageList = nullptr;
  AnsiString FolderName;
  int ClosedImage = -1;
  int OpenImage = -1;
  TStringList Order;  // sub-folder names with the folders as objects
};
