#include "folders/EditTopFolderUnit.h"

#include "folders/RuleFolder.h"

TEditTopFolderDlg::TEditTopFolderDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("トップフォルダの編集"));
  SetBorderStyle(bsDialog);
}

void TEditTopFolderDlg::SetFolder(CTopRuleFolder* root) {
  FolderName = root->Name;
  ClosedImage = root->ClosedImage;
  OpenImage = root->OpenImage;
  Order.Clear();
  for (int i = 0; i < root->Children.Count(); ++i) Order.AddObject(root->Children.Get(i)->Name, root->Children.Get(i));
}

void TEditTopFolderDlg::UpdateFolder(CTopRuleFolder* root) {
  root->Name = FolderName;
  root->ClosedImage = ClosedImage;
  root->OpenImage = OpenImage;
  root->ReorderChildren(Order);
}
