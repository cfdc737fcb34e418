#include "folders/DataChkUnit.h"

#include "folders/RuleFolderTbl.h"

TDataChkDlg::TDataChkDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("データの検査、修復"));
  SetBorderStyle(bsDialog);
}

bool TDataChkDlg::SetFolder(CRuleFolder* folder) {
  for (CRuleFolder* f = folder; f; f = f->Parent) {
    if (f->GetTypeName() != "table") continue;
    auto* table = static_cast<CRuleFolderTbl*>(f);
    DataFile = table->DataFile;
    TableName = table->TableName;
    return true;
  }
  return false;
}
