// The program's message box: a text, a caption and one of six button sets.
#pragma once

#include "platform/Forms.h"
#include "platform/StdCtrls.h"

class TCvMessageDlg : public TForm {
 public:
  explicit TCvMessageDlg(TComponent* owner);
  ~TCvMessageDlg() override;

  TBevel* Bevel1;
  TLabel* Label1;
  // The buttons made by FormShow: caption as the string, the TButton as the object.
  TStringList* ButtonList = nullptr;
  // 0 OK, 1 OK/Cancel, 2 Abort/Retry/Ignore, 3 Yes/No/Cancel, 4 Yes/No, 5 Retry/Cancel.
  int ButtonSet = 0;

  void FormShow(TObject* sender);
  void FormDestroy(TObject* sender);
  void FormKeyPress(TObject* sender, char& key);
  void AddButton(const AnsiString& caption, int modalResult);
};

// Shows text in a modal TCvMessageDlg titled caption (owner null: the application); the modal
// result of the pressed button (1 OK, 2 Cancel, 3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No), 2 when
// the box is closed through its title bar.
int CvMessageBox(const AnsiString& text, const AnsiString& caption, int buttonSet, TComponent* owner);
