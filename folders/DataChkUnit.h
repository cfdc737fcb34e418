// The data check and repair dialog. In index mode it rebuilds the index entries of a table after
// columns were added to it.
#pragma once

#include "platform/Forms.h"

class CRuleFolder;

class TDataChkDlg : public TForm {
 public:
  explicit TDataChkDlg(TComponent* owner);
  // Binds the dialog to the nearest table folder at or above folder; false when there is none.
  bool SetFolder(CRuleFolder* folder);

  bool IndexMode = false;
  AnsiString DataFile;
  AnsiString TableName;
};
