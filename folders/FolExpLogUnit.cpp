#include "folders/FolExpLogUnit.h"

#include "folders/RuleFolder.h"

TFolExpLogDlg::TFolExpLogDlg(TComponent* owner) : TFolLogiDlg(owner) {
  SetCaption(SJ("列挙フォルダ"));
  RadioGroup1->SetItemIndex(FOLDER_ENUMERATION);
  for (TControl* c : std::initializer_list<TControl*>{Label3, ComboBox1, Label5, Edit3, UpDown1, Label6, Edit4, UpDown2})
    c->SetVisible(true);
  Label15->SetCaption(SJ("列挙時条件図"));
  ArrangeWithDiagram(543, 373);
}
