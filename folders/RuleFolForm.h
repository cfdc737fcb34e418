// The base of the folder dialogs (heading, condition and enumeration folders). The folder logic
// opens them with EditMode 0 (make a sub-folder of Folder) or 1 (edit Folder) and reads back how
// many folders the dialog stored.
#pragma once

#include "platform/Forms.h"

class CRuleFolder;

class TFolForm : public TForm {
 public:
  explicit TFolForm(TComponent* owner);
  virtual void SetFolder(CRuleFolder* folder);

  int EditMode = 0;
  int UpdateCount = 0;
  CRuleFolder* Folder = nullptr;  // not owned
};
