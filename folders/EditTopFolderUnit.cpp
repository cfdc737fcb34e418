#include "folders/EditTopFolderUnit.h"

#include "folders/FolderDialogParts.h"
#include "folders/RuleFolder.h"

namespace {

TLabel* MakeLabel(TForm* form, const char* caption, int left, int top) {
  auto* label = new TLabel(form);
  label->SetParent(form);
  label->SetCaption(Utf8ToSjis(caption));
  label->SetLeft(left);
  label->SetTop(top);
  return label;
}

}  // namespace

TEditTopFolderDlg::TEditTopFolderDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("トップフォルダの編集"));
  SetBorderStyle(bsDialog);
  SetPosition(poOwnerFormCenter);
  SetClientWidth(239);
  SetClientHeight(373);

  Label1 = MakeLabel(this, "フォルダ名", 8, 8);
  NameEdit = new TEdit(this);
  NameEdit->SetParent(this);
  NameEdit->SetBounds(8, 24, 223, 22);

  Label2 = MakeLabel(this, "アイコン", 8, 56);
  Label3 = MakeLabel(this, "閉", 16, 79);
  Image0CB = new TComboBox(this);
  Image0CB->SetParent(this);
  SetupIconCombo(Image0CB);
  Image0CB->SetBounds(32, 74, 80, 22);
  Label4 = MakeLabel(this, "開", 128, 79);
  Image1CB = new TComboBox(this);
  Image1CB->SetParent(this);
  SetupIconCombo(Image1CB);
  Image1CB->SetBounds(144, 74, 80, 22);

  Label5 = MakeLabel(this, "下位フォルダの順序", 8, 108);
  ListBox1 = new TListBox(this);
  ListBox1->SetParent(this);
  ListBox1->SetBounds(8, 124, 223, 206);

  OKBtn = new TButton(this);
  OKBtn->SetParent(this);
  OKBtn->SetCaption("OK");
  OKBtn->ModalResult = mrOk;
  OKBtn->Default = true;
  OKBtn->SetBounds(70, 340, 75, 25);
  CancelBtn = new TButton(this);
  CancelBtn->SetParent(this);
  CancelBtn->SetCaption(SJ("キャンセル"));
  CancelBtn->ModalResult = mrCancel;
  CancelBtn->Cancel = true;
  CancelBtn->SetBounds(156, 340, 75, 25);

  for (TComboBox* combo : {Image0CB, Image1CB})
    combo->OnDrawItem = [this](TWinControl* c, int i, TRect r, TOwnerDrawState s) { Image0CBDrawItem(c, i, r, s); };
  ListBox1->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    ListBox1MouseDown(s, b, sh, x, y);
  };
  const TDragOverEvent over = [this](TObject* s, TObject* src, int x, int y, TDragState st, bool& a) {
    ListBox1DragOver(s, src, x, y, st, a);
  };
  ListBox1->OnDragOver = over;
  OnDragOver = over;
  Label5->OnDragOver = over;
  ListBox1->OnDragDrop = [this](TObject* s, TObject* src, int x, int y) { ListBox1DragDrop(s, src, x, y); };
}

TEditTopFolderDlg::~TEditTopFolderDlg() { Destroying(); }

void TEditTopFolderDlg::SetImageList(TImageList* list) {
  if (!list) return;
  ImageList = list;
  FillIconCombo(Image0CB, list);
  FillIconCombo(Image1CB, list);
  ShowIconIndex(Image0CB, shownClosed_);
  ShowIconIndex(Image1CB, shownOpen_);
}

void TEditTopFolderDlg::SetFolder(CTopRuleFolder* root) {
  NameEdit->SetText(root->Name);
  shownClosed_ = root->ClosedImage;
  shownOpen_ = root->OpenImage;
  ShowIconIndex(Image0CB, shownClosed_);
  ShowIconIndex(Image1CB, shownOpen_);
  FillOrderList(ListBox1, root);
}

void TEditTopFolderDlg::UpdateFolder(CTopRuleFolder* root) {
  root->Name = NameEdit->Text();
  root->ClosedImage = IconIndexOf(Image0CB, shownClosed_);
  root->OpenImage = IconIndexOf(Image1CB, shownOpen_);
  root->ReorderChildren(*ListBox1->Items());
}

void TEditTopFolderDlg::ListBox1MouseDown(TObject*, TMouseButton button, TShiftState, int x, int y) {
  OrderListMouseDown(ListBox1, button, x, y);
}

void TEditTopFolderDlg::ListBox1DragOver(TObject* sender, TObject* source, int x, int y, TDragState state,
                                         bool& accept) {
  OrderListDragOver(ListBox1, sender, source, x, y, state, LastDragY, accept);
}

void TEditTopFolderDlg::ListBox1DragDrop(TObject* sender, TObject* source, int x, int y) {
  OrderListDragDrop(ListBox1, sender, source, x, y);
}

void TEditTopFolderDlg::Image0CBDrawItem(TWinControl* control, int index, TRect rect, TOwnerDrawState) {
  DrawIconItem(static_cast<TComboBox*>(control), ImageList, index, rect);
}
