// The dialog that adds a column to the summary or edits one: target item, heading, kind (key or
// aggregate), method, alignment, and the settings for comparing the searches of a multiple
// summary.
#pragma once

#include "foundation/CapInfo.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"

// Method code of a SumMethodRg index (the radio order 件数 合計 平均 範囲 最小 最大), and back; a
// value outside the table gives 0.
int SumMethodCode(int radioIndex);
int SumMethodRadio(int methodCode);

class TSumColDlg : public TForm {
 public:
  explicit TSumColDlg(TComponent* owner);

  // Fills the item list from the source columns (object: the source descriptor) and, with a
  // column, every control from it.
  void SetCapInfo(CCapInfoList* sourceColumns, CCapInfo* column);
  // Writes the dialog's state into out: the selected source descriptor's fields first, then what
  // the dialog shows.
  void GetCapInfo(CCapInfo* out);

  void ChangeItem(TObject* sender);
  void FormShow(TObject* sender);

  TLabel* Label1;
  TComboBox* DbNameCBox;
  TLabel* Label2;
  TEdit* NameEdit;
  TRadioGroup* SumKindRg;
  TRadioGroup* SumMethodRg;
  TButton* OKBtn;
  TButton* CancelBtn;
  TRadioGroup* AlignRg;
  TGroupBox* GroupBox1;
  TCheckBox* RatioCheck;
  TCheckBox* PercentCheck;
  TCheckBox* UpdownCheck;
  TLabel* Label3;
  TEdit* UpEdit;
  TLabel* Label4;
  TEdit* DownEdit;
  TLabel* Label5;
  TComboBox* RatioCombo;

  bool Updating = false;  // while SetCapInfo fills the controls, ChangeItem does nothing
  bool EditMode = true;   // false: adding a column
};
