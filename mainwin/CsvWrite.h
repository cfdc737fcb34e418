// The export dialog "CSV出力": where the list goes (a CSV file or the clipboard), the file name and
// the clipboard's separator. Made for one use by its caller, which reads the choices after OK.
#pragma once

#include "platform/Dialogs.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"

class TCsvWriteDlg : public TForm {
 public:
  explicit TCsvWriteDlg(TComponent* owner);
  ~TCsvWriteDlg() override;

  // Tab selects "タブ", any other character "カンマ (",")".
  void SetSeparator(char separator);
  char GetSeparator() const;  // tab or ','
  bool ToFile() const { return RadioGroup1->ItemIndex() == 0; }

  TRadioGroup* RadioGroup1;  // "出力先"
  TLabel* Label2;
  TEdit* Edit1;              // the file name
  TButton* Button1;          // "参照"
  TRadioGroup* RadioGroup2;  // the clipboard's separator
  TButton* OKBtn;
  TButton* CancelBtn;
  TOpenDialog* OpenDialog1;

  void FormShow(TObject* sender);
  void RadioGroup1Click(TObject* sender);
  void Button1Click(TObject* sender);
  void OKBtnClick(TObject* sender);
};
