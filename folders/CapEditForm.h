// The display-format dialog: edits a copy of a folder's display columns and counts the changes
// it stores.
#pragma once

#include "platform/Forms.h"

class CCapInfoList;
class CRuleFolder;

class TFormCapEdit : public TForm {
 public:
  explicit TFormCapEdit(TComponent* owner) : TForm(owner) { SetBorderStyle(bsDialog); }
  // The display columns to edit (not owned).
  void SetCapInfoList(CCapInfoList* list) { CapInfoList = list; }

  CRuleFolder* Folder = nullptr;  // the folder the command was given for, not owned
  CCapInfoList* CapInfoList = nullptr;
  int UpdateCount = 0;
};
