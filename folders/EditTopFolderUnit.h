// The top-folder dialog "トップフォルダの編集": the root's name, its closed and open icons and the
// order of its sub-folders. The opener fills it (SetImageList, SetFolder), runs it modally and,
// only after modal result 1, writes it back (UpdateFolder); nothing is written otherwise.
#pragma once

#include "platform/Forms.h"
#include "platform/ImgList.h"
#include "platform/ListBox.h"
#include "platform/StdCtrls.h"

class CTopRuleFolder;

class TEditTopFolderDlg : public TForm {
 public:
  explicit TEditTopFolderDlg(TComponent* owner);
  ~TEditTopFolderDlg() override;

  // Both icon combos get "省略値" and one item per icon; a missing list changes nothing.
  void SetImageList(TImageList* list);
  void SetFolder(CTopRuleFolder* root);
  // Name, icons, and the sub-folders in the order of the list.
  void UpdateFolder(CTopRuleFolder* root);

  TLabel* Label1;
  TEdit* NameEdit;
  TLabel* Label2;
  TLabel* Label3;
  TComboBox* Image0CB;
  TLabel* Label4;
  TComboBox* Image1CB;
  TLabel* Label5;
  TListBox* ListBox1;
  TButton* OKBtn;
  TButton* CancelBtn;

  void ListBox1MouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y);
  void ListBox1DragOver(TObject* sender, TObject* source, int x, int y, TDragState state, bool& accept);
  void ListBox1DragDrop(TObject* sender, TObject* source, int x, int y);
  void Image0CBDrawItem(TWinControl* control, int index, TRect rect, TOwnerDrawState state);

 private:
  TImageList* ImageList = nullptr;  // not owned
  int LastDragY = 0;
  // The icons the root had, kept where a combo cannot show them.
  int shownClosed_ = -1, shownOpen_ = -1;
};
