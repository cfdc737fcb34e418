#include "folders/FolCreateUnit1.h"

#include "folders/RuleFolder.h"

TFolCreate1::TFolCreate1(TComponent* owner) : TFolForm(owner) {
  SetCaption(SJ("見出しフォルダ"));
  RadioGroup1->SetItemIndex(FOLDER_HEADING);
  for (TControl* c : std::initializer_list<TControl*>{Label3, ComboBox1, Label5, Edit3, UpDown1, Label6, Edit4, UpDown2})
    c->SetVisible(false);
  Arrange(502, 265, 0);
}
