#include "folders/RuleFolForm.h"

TFolForm::TFolForm(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("フォルダ"));
  SetBorderStyle(bsDialog);
}

void TFolForm::SetFolder(CRuleFolder* folder) { Folder = folder; }
