#include "folders/RuleFolForm.h"

#include <algorithm>
#include <vector>

#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "platform/ImgList.h"
#include "query/CondText.h"

// ---- Folder icons ----------------------------------------------------------------------------

void InitFolderIconCombo(TComboBox* combo) {
  combo->Style = csOwnerDrawFixed;
  combo->ItemHeight = 16;
  combo->DropDownCount = 12;
  FillFolderIconCombo(combo, nullptr);
}

void FillFolderIconCombo(TComboBox* combo, const TImageList* images) {
  TStrings* items = combo->Items();
  items->Clear();
  items->Add(SJ("省略値"));
  for (int i = 0; images && i < images->Count(); ++i) items->Add(AnsiString());
}

void DrawFolderIconItem(TComboBox* combo, const TImageList* images, int index, const TRect& rect) {
  if (index < 0) return;
  TCanvas* canvas = combo->Canvas();
  if (index == 0) {
    canvas->TextOut(rect.Left, rect.Top + 2, (*combo->Items())[0]);
    return;
  }
  if (!images || index > images->Count()) return;
  canvas->FillRect(rect);
  images->Draw(canvas, rect.Left + 16, rect.Top, index - 1, true);
}

void ShowFolderIcon(TComboBox* combo, int icon) {
  const int item = icon < 0 ? 0 : icon + 1;
  combo->SetItemIndex(item < combo->Items()->Count() ? item : -1);
}

int ChosenFolderIcon(const TComboBox* combo, int keep) {
  return combo->ItemIndex() < 0 ? keep : combo->ItemIndex() - 1;
}

// ---- Dragging in a list ------------------------------------------------------------------------

void AutoScrollDraggedList(TListBox* list, int y, int& lastY) {
  if (lastY == 0) {
    lastY = y;
  } else if (lastY < 0) {
    // Above the list: moving further up scrolls up.
    if (y > lastY) {
      lastY = y;
    } else if (lastY - y >= 3) {
      lastY = y;
      if (list->TopIndex() > 0) list->SetTopIndex(list->TopIndex() - 1);
    }
  } else {
    if (y < lastY) {
      lastY = y;
    } else if (y - lastY >= 3) {
      lastY = y;
      const int visible = list->ItemHeight() > 0 ? list->ClientHeight() / list->ItemHeight() : 1;
      if (list->TopIndex() + visible < list->Items()->Count()) list->SetTopIndex(list->TopIndex() + 1);
    }
  }
}

TPoint DragPointIn(TListBox* list, TObject* sender, int x, int y) {
  auto* control = dynamic_cast<TControl*>(sender);
  if (!control || control == list) return {x, y};
  return list->ScreenToClient(control->ClientToScreen({x, y}));
}

bool DropDraggedEntry(TListBox* list, int from, int x, int y) {
  const int to = list->ItemAtPos({x, y}, true);
  if (to < 0 || from < 0 || from >= list->Items()->Count() || to == from) return false;
  list->Items()->Move(from, to);
  list->SetItemIndex(to);
  return true;
}

// ---- The form ----------------------------------------------------------------------------------

TLabel* NewLabel(TComponent* owner, TWinControl* parent, const char* caption) {
  auto* label = NewControl<TLabel>(owner, parent);
  label->SetCaption(Utf8ToSjis(caption));
  return label;
}

TUpDown* NewUpDown(TComponent* owner, TWinControl* parent, TEdit* edit, int min, int max, int position) {
  auto* upDown = NewControl<TUpDown>(owner, parent);
  upDown->SetMin(min);
  upDown->SetMax(max);
  upDown->SetAssociate(edit);
  upDown->SetPosition(position);
  return upDown;
}

namespace {

void PlaceUpDown(TEdit* edit, TUpDown* upDown, int left, int top) {
  edit->SetBounds(left, top, 48, 21);
  upDown->SetBounds(left + 48, top, 17, 21);
}

}  // namespace

TFolForm::TFolForm(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("フォルダ"));
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);

  PageControl1 = NewControl<TPageControl>(this, this);
  TabSheet1 = new TTabSheet(this);
  TabSheet1->SetPageControl(PageControl1);
  TabSheet1->SetCaption(SJ("一般"));
  TabSheet2 = new TTabSheet(this);
  TabSheet2->SetPageControl(PageControl1);
  TabSheet2->SetCaption(SJ("処理"));

  // Page "一般", in the order the keyboard goes through it.
  Label1 = NewLabel(this, TabSheet1, "フォルダ名");
  Edit1 = NewControl<TEdit>(this, TabSheet1);
  Edit1->SetText(SJ("名前無し"));
  Label3 = NewLabel(this, TabSheet1, "列挙項目");
  ComboBox1 = NewControl<TComboBox>(this, TabSheet1);
  ComboBox1->DropDownCount = 16;
  Label5 = NewLabel(this, TabSheet1, "文字長");
  Edit3 = NewControl<TEdit>(this, TabSheet1);
  UpDown1 = NewUpDown(this, TabSheet1, Edit3, -1, 9999, 0);
  Label6 = NewLabel(this, TabSheet1, "最大列挙数");
  Edit4 = NewControl<TEdit>(this, TabSheet1);
  UpDown2 = NewUpDown(this, TabSheet1, Edit4, -1, 9999, 0);
  Label7 = NewLabel(this, TabSheet1, "最大検索数");
  Edit5 = NewControl<TEdit>(this, TabSheet1);
  UpDown3 = NewUpDown(this, TabSheet1, Edit5, -1, 9999, -1);
  Label10 = NewLabel(this, TabSheet1, "アイコン 閉");
  Image0CB = NewControl<TComboBox>(this, TabSheet1);
  Label11 = NewLabel(this, TabSheet1, "開");
  Image1CB = NewControl<TComboBox>(this, TabSheet1);
  for (TComboBox* combo : {Image0CB, Image1CB}) {
    InitFolderIconCombo(combo);
    combo->OnDrawItem = [this](TWinControl* c, int i, TRect r, TOwnerDrawState s) { ImageCBDrawItem(c, i, r, s); };
  }
  Label8 = NewLabel(this, TabSheet1, "下位フォルダの順序");
  ListBox1 = NewControl<TListBox>(this, TabSheet1);

  // Kept from the form's design but never shown: they play no part in what is stored.
  RadioGroup1 = NewControl<TRadioGroup>(this, TabSheet1);
  RadioGroup1->SetCaption(SJ("型"));
  RadioGroup1->Items()->Add(SJ("検索型"));
  RadioGroup1->Items()->Add(SJ("展開型"));
  Label2 = NewLabel(this, TabSheet1, "検索条件");
  Edit2 = NewControl<TEdit>(this, TabSheet1);
  RadioGroup2 = NewControl<TRadioGroup>(this, TabSheet1);
  RadioGroup2->SetCaption(SJ("比較方法"));
  for (const char* item : {"で始まる", "と等しい", "を含む"}) RadioGroup2->Items()->Add(Utf8ToSjis(item));
  Label4 = NewLabel(this, TabSheet1, "型");
  Label9 = NewLabel(this, TabSheet1, "グループ");
  ComboBox2 = NewControl<TComboBox>(this, TabSheet1);
  for (TControl* c : std::initializer_list<TControl*>{RadioGroup1, Label2, Edit2, RadioGroup2, Label4, Label9, ComboBox2})
    c->SetVisible(false);

  // Page "処理".
  Label12 = NewLabel(this, TabSheet2, "処理名");
  Edit6 = NewControl<TEdit>(this, TabSheet2);
  Label13 = NewLabel(this, TabSheet2, "説明");
  Memo1 = NewControl<TMemo>(this, TabSheet2);
  Memo1->SetScrollBars(ssVertical);
  Label14 = NewLabel(this, TabSheet2, "指示");
  Memo2 = NewControl<TMemo>(this, TabSheet2);
  Memo2->Font()->SetName(SJ("ＭＳ ゴシック"));
  Memo2->Font()->SetPitch(fpFixed);
  Memo2->SetScrollBars(ssVertical);
  GroupBox1 = NewControl<TGroupBox>(this, TabSheet2);
  GroupBox1->SetCaption(SJ("実行場面"));
  CheckBox1 = NewControl<TCheckBox>(this, GroupBox1);
  CheckBox1->SetCaption(SJ("検索時"));
  CheckBox2 = NewControl<TCheckBox>(this, GroupBox1);
  CheckBox2->SetCaption(SJ("メニュー"));
  CheckBox3 = NewControl<TCheckBox>(this, GroupBox1);
  CheckBox3->SetCaption(SJ("ドロップ"));
  RadioGroup3 = NewControl<TRadioGroup>(this, TabSheet2);
  RadioGroup3->SetCaption(SJ("処理対象"));
  for (const char* item : {"全部", "選択", "非選択"}) RadioGroup3->Items()->Add(Utf8ToSjis(item));
  RadioGroup3->SetColumns(3);
  RadioGroup3->SetItemIndex(0);

  Button1 = NewControl<TButton>(this, this);
  Button1->SetCaption(SJ("作成"));
  Button2 = NewControl<TButton>(this, this);
  Button2->SetCaption(SJ("閉じる"));
  Button2->Cancel = true;

  RadioGroup1->SetItemIndex(-1);
  Arrange(544, 327, 0);

  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2->OnClick = [this](TObject* s) { Button2Click(s); };
  ListBox1->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    ListBox1MouseDown(s, b, sh, x, y);
  };
  // The order list scrolls while an entry is dragged above or below it. The page stands where
  // the form's surface would be around the list.
  for (TControl* c : std::initializer_list<TControl*>{ListBox1, this, Label8, TabSheet1})
    c->OnDragOver = [this](TObject* s, TObject* src, int x, int y, TDragState st, bool& a) {
      ListBox1DragOver(s, src, x, y, st, a);
    };
  ListBox1->OnDragDrop = [this](TObject* s, TObject* src, int x, int y) { ListBox1DragDrop(s, src, x, y); };
  OnShow = [this](TObject* s) { FormShow(s); };
}

TFolForm::~TFolForm() { Destroying(); }

int TFolForm::Arrange(int width, int height, int topHeight) {
  SetClientWidth(width);
  SetClientHeight(height);
  PageControl1->SetBounds(0, 0, width, height - 33);
  PageControl1->SetAnchors(akLeft | akTop | akRight | akBottom);
  Button1->SetBounds(8, height - 29, 75, 25);
  Button2->SetBounds(91, height - 29, 75, 25);
  for (TButton* b : {Button1, Button2}) b->SetAnchors(akLeft | akBottom);

  // Page "一般": the rows on the left, the order list on the right.
  const int pageWidth = PageControl1->ClientWidth();
  const int pageHeight = PageControl1->ClientHeight();
  int y = 8;
  auto row = [&](TLabel* label, int height) {
    label->SetBounds(8, y + 4, label->Width(), label->Height());
    const int top = y;
    y += height + 6;
    return top;
  };
  Edit1->SetBounds(84, row(Label1, 21), 200, 21);
  if (ComboBox1->Visible()) ComboBox1->SetBounds(84, row(Label3, 21), 200, 21);
  if (Edit3->Visible()) {
    const int top = row(Label5, 21);
    PlaceUpDown(Edit3, UpDown1, 84, top);
    Label6->SetBounds(160, top + 4, Label6->Width(), Label6->Height());
    PlaceUpDown(Edit4, UpDown2, Label6->Left() + Label6->Width() + 8, top);
  }
  PlaceUpDown(Edit5, UpDown3, 84, row(Label7, 21));
  const int iconTop = row(Label10, 22);
  Image0CB->SetBounds(84, iconTop, 72, 22);
  Label11->SetBounds(164, iconTop + 4, Label11->Width(), Label11->Height());
  Image1CB->SetBounds(180, iconTop, 72, 22);
  const int rowsBottom = y - 6;

  const int listLeft = 300;
  const int listBottom = topHeight > 0 ? std::max(rowsBottom, topHeight) : pageHeight - 8;
  Label8->SetBounds(listLeft, 8, Label8->Width(), Label8->Height());
  ListBox1->SetBounds(listLeft, 24, pageWidth - 8 - listLeft, listBottom - 24);
  ListBox1->SetAnchors(akLeft | akTop | akRight);

  // Page "処理": the script takes what the other controls leave.
  const int fieldWidth = pageWidth - 68;
  Label12->SetBounds(8, 12, Label12->Width(), Label12->Height());
  Edit6->SetBounds(60, 8, fieldWidth, 21);
  Label13->SetBounds(8, 38, Label13->Width(), Label13->Height());
  Memo1->SetBounds(60, 34, fieldWidth, 40);
  Label14->SetBounds(8, 84, Label14->Width(), Label14->Height());
  const int groupTop = pageHeight - 50;
  Memo2->SetBounds(60, 80, fieldWidth, groupTop - 8 - 80);
  GroupBox1->SetBounds(60, groupTop, 220, 42);
  CheckBox1->SetBounds(10, 17, 62, 17);
  CheckBox2->SetBounds(76, 17, 72, 17);
  CheckBox3->SetBounds(150, 17, 64, 17);
  RadioGroup3->SetBounds(288, groupTop, pageWidth - 8 - 288, 42);
  for (TControl* c : std::initializer_list<TControl*>{Edit6, Memo1}) c->SetAnchors(akLeft | akTop | akRight);
  Memo2->SetAnchors(akLeft | akTop | akRight | akBottom);
  GroupBox1->SetAnchors(akLeft | akBottom);
  RadioGroup3->SetAnchors(akLeft | akRight | akBottom);

  return std::max(rowsBottom, listBottom) + 8;
}

void TFolForm::SetFolder(CRuleFolder* folder) {
  Folder = folder;
  SetImageList(FolderImageList);
  SetFolderLists(folder);
  UpdateCount = 0;
  if (!folder) return;

  const int kind = RadioGroup1->ItemIndex();
  const AnsiString kindName = kind == 0 ? SJ("条件フォルダ") : kind == 1 ? SJ("列挙フォルダ") : SJ("見出しフォルダ");
  const AnsiString path = GetFolderPath(folder);
  if (EditMode == 0) {
    SetCaption(Format(SJ("%sの作成 - %s").c_str(), kindName.c_str(), path.c_str()));
  } else {
    SetCaption(Format("%s - %s", kindName.c_str(), path.c_str()));
    SetLockMask(folder->LockMask);
    Edit1->SetText(folder->Name);
    ComboBox1->SetText(UnqualifyColumnName(folder->GetTableName(), folder->EnumItem));
    UpDown1->SetPosition(folder->StrLength);
    UpDown2->SetPosition(folder->MaxEnumCount);
    UpDown3->SetPosition(folder->MaxSearchCount);
    ComboBox2->SetText(folder->Group);
  }

  // A new sub-folder starts with its parent's icons and command.
  shownClosed_ = folder->ClosedImage;
  shownOpen_ = folder->OpenImage;
  ShowFolderIcon(Image0CB, shownClosed_);
  ShowFolderIcon(Image1CB, shownOpen_);
  Edit6->SetText(folder->CommandName);
  Memo1->SetText(folder->Description);
  Memo2->SetText(folder->Script);
  CheckBox1->SetChecked(folder->Flags & 0x100);
  CheckBox2->SetChecked(folder->Flags & 0x200);
  CheckBox3->SetChecked(folder->Flags & 0x400);
  RadioGroup3->SetItemIndex(folder->Target);
}

void TFolForm::SetImageList(TImageList* list) {
  if (!list) return;
  ImageList = list;
  FillFolderIconCombo(Image0CB, list);
  FillFolderIconCombo(Image1CB, list);
}

void TFolForm::SetFolderLists(CRuleFolder* folder) {
  Folder = folder;
  ComboBox1->Items()->Clear();
  ComboBox2->Items()->Clear();
  ListBox1->Items()->Clear();
  ComboBox2->Items()->Add(AnsiString());
  if (!folder) return;

  const AnsiString table = folder->GetTableName();
  if (CCapInfoList* columns = folder->GetCapInfoList())
    for (int i = 0; i < columns->Count(); ++i)
      ComboBox1->Items()->Add(UnqualifyColumnName(table, columns->GetItem(i)->Name));
  ComboBox1->SetText(ComboBox1->Items()->Count() > 0 ? (*ComboBox1->Items())[0] : AnsiString());

  if (CRuleFolder* parent = folder->Parent)
    for (int i = 0; i < parent->Children.Count(); ++i) {
      const AnsiString& group = parent->Children.Get(i)->Group;
      if (!group.empty() && ComboBox2->Items()->IndexOf(group) < 0) ComboBox2->Items()->Add(group);
    }

  for (int i = 0; i < folder->Children.Count(); ++i) {
    CRuleFolder* child = folder->Children.Get(i);
    ListBox1->Items()->AddObject(child->Name, child);
  }
}

void TFolForm::SetLockMask(int mask) {
  const struct {
    int bit;
    std::vector<TControl*> controls;
  } locks[] = {
      {0x1, {Edit1}},           {0x2, {RadioGroup1}},     {0x4, {Edit2}},
      {0x8, {ComboBox1}},       {0x10, {UpDown1, Edit3}}, {0x20, {UpDown2, Edit4}},
      {0x40, {UpDown3, Edit5}}, {0x80, {ComboBox2}},      {0x100, {ListBox1}},
  };
  for (const auto& lock : locks)
    for (TControl* c : lock.controls) c->SetEnabled(!(mask & lock.bit));
}

void TFolForm::UpdateFolder(CRuleFolder* target) {
  const AnsiString table = Folder ? Folder->GetTableName() : AnsiString();
  if (Folder) Folder->AddModified(1);
  ++UpdateCount;

  target->Name = Edit1->Text();
  target->Kind = RadioGroup1->ItemIndex();
  target->Condition.clear();
  if (target->Kind == FOLDER_ENUMERATION) {
    target->EnumItem = QualifyColumnName(table, ComboBox1->Text());
    target->StrLength = UpDown1->Position();
    target->MaxEnumCount = UpDown2->Position();
  } else {
    target->EnumItem.clear();
    target->StrLength = -1;
    target->MaxEnumCount = -1;
  }
  target->Group = ComboBox2->Text();
  target->MaxSearchCount = UpDown3->Position();
  target->ClosedImage = ChosenFolderIcon(Image0CB, shownClosed_);
  target->OpenImage = ChosenFolderIcon(Image1CB, shownOpen_);
  target->CommandName = Edit6->Text();
  target->Description = Memo1->Text();
  target->Script = Memo2->Text();
  target->Flags &= ~0x700;
  if (CheckBox1->Checked()) target->Flags |= 0x100;
  if (CheckBox2->Checked()) target->Flags |= 0x200;
  if (CheckBox3->Checked()) target->Flags |= 0x400;
  // A target the radio group cannot show (none chosen) keeps its value.
  if (RadioGroup3->ItemIndex() >= 0) target->Target = RadioGroup3->ItemIndex();

  // The list holds exactly the target's children in edit mode and nothing in create mode, which
  // the model refuses without touching the order.
  target->ReorderChildren(*ListBox1->Items());
}

CRuleFolder* TFolForm::StoreFolder() {
  // A second press while the dialog closes must not write again.
  if (!Folder || ModalResult() != mrNone) return nullptr;
  CRuleFolder* target = EditMode == 0 ? Folder->AddNewChild() : Folder;
  if (target) UpdateFolder(target);
  return target;
}

void TFolForm::FormShow(TObject*) {
  if (!Folder) {
    SetModalResult(mrCancel);
    return;
  }
  if (EditMode == 1) {
    Button1->SetCaption(SJ("更新"));
    Button1->Default = Folder->Kind == FOLDER_CONDITION;
    Button2->Default = !Button1->Default;
  } else {
    Button1->SetCaption(SJ("作成"));
    Button1->Default = false;
    Button2->Default = true;
    for (TControl* c : std::initializer_list<TControl*>{ListBox1, Label8}) {
      c->SetVisible(false);
      c->SetLeft(0);
    }
    ListBox1->Items()->Clear();
  }
  ComboBox1->SetText(UnqualifyColumnName(Folder->GetTableName(), ComboBox1->Text()));
}

void TFolForm::Button1Click(TObject*) {
  if (ModalResult() != mrNone) return;
  StoreFolder();
  SetModalResult(mrOk);
}

void TFolForm::Button2Click(TObject*) { SetModalResult(mrCancel); }

void TFolForm::ImageCBDrawItem(TWinControl* control, int index, TRect rect, TOwnerDrawState) {
  if (auto* combo = dynamic_cast<TComboBox*>(control)) DrawFolderIconItem(combo, ImageList, index, rect);
}

void TFolForm::ListBox1MouseDown(TObject*, TMouseButton button, TShiftState, int x, int y) {
  if (button != mbLeft) return;
  const int index = ListBox1->ItemAtPos({x, y}, true);
  if (index < 0) return;
  ListBox1->Tag = index;
  ListBox1->BeginDrag(false);
}

void TFolForm::ListBox1DragOver(TObject* sender, TObject* source, int x, int y, TDragState, bool& accept) {
  if (sender == ListBox1) {
    accept = source == ListBox1 && ListBox1->ItemAtPos({x, y}, true) >= 0;
    LastDragY = 0;
    return;
  }
  accept = false;
  if (source != ListBox1) return;
  AutoScrollDraggedList(ListBox1, DragPointIn(ListBox1, sender, x, y).y, LastDragY);
}

void TFolForm::ListBox1DragDrop(TObject*, TObject* source, int x, int y) {
  if (source == ListBox1) DropDraggedEntry(ListBox1, ListBox1->Tag, x, y);
}
