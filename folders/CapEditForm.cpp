#include "folders/CapEditForm.h"

#include <algorithm>
#include <string>

#include "folders/RuleFolForm.h"
#include "folders/RuleFolder.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "foundation/CvMessageUnit.h"
#include "query/CondText.h"
#include "query/TableInfo.h"

namespace {

TLabel* MakeLabel(TComponent* owner, TWinControl* parent, const char* caption, int left, int top) {
  auto* label = NewLabel(owner, parent, caption);
  label->SetBounds(left, top, label->Width(), label->Height());
  return label;
}

TRadioGroup* MakeRadioGroup(TComponent* owner, TWinControl* parent, const char* caption,
                            std::initializer_list<const char*> items, const TRect& r) {
  auto* group = NewControl<TRadioGroup>(owner, parent);
  group->SetCaption(Utf8ToSjis(caption));
  for (const char* item : items) group->Items()->Add(Utf8ToSjis(item));
  group->SetColumns(static_cast<int>(items.size()));
  group->SetBounds(r.Left, r.Top, r.Width(), r.Height());
  return group;
}

TButton* MakeButton(TComponent* owner, TWinControl* parent, const char* caption, int left, int top, int width) {
  auto* button = NewControl<TButton>(owner, parent);
  button->SetCaption(Utf8ToSjis(caption));
  button->SetBounds(left, top, width, 25);
  return button;
}

TUpDown* MakeUpDown(TComponent* owner, TWinControl* parent, TEdit* edit, int min, int max, int position) {
  auto* upDown = NewUpDown(owner, parent, edit, min, max, position);
  upDown->SetBounds(edit->Left() + edit->Width(), edit->Top(), 17, edit->Height());
  return upDown;
}

// The decimals a number format shows: -1 for none, else the zeros right after its first ".".
int DecimalsOf(const AnsiString& format) {
  if (format.empty()) return -1;
  const size_t dot = format.find('.');
  if (dot == AnsiString::npos) return 0;
  int n = 0;
  for (size_t i = dot + 1; i < format.size() && format[i] == '0'; ++i) ++n;
  return n;
}

AnsiString FormatOfDecimals(int decimals) {
  if (decimals < 0) return AnsiString();
  if (decimals == 0) return "0";
  return "0." + AnsiString(static_cast<size_t>(decimals), '0');
}

// The sort kinds of the combo's items 1 to 3.
constexpr unsigned kSortKinds[] = {0, 0x1000, 0x2000, 0x3000};

}  // namespace

TFormCapEdit::TFormCapEdit(TComponent* owner) : TForm(owner) {
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  Font()->SetName(SJ("ＭＳ ゴシック"));
  Font()->SetPitch(fpFixed);
  SetClientWidth(537);
  SetClientHeight(445);

  Label1 = MakeLabel(this, this, "項目一覧", 8, 8);
  CheckListBox1 = NewControl<TCheckListBox>(this, this);
  CheckListBox1->SetBounds(8, 24, 168, 376);
  CheckListBox1->TabStop = true;

  PageControl1 = NewControl<TPageControl>(this, this);
  PageControl1->SetBounds(184, 8, 345, 392);
  TabSheet1 = new TTabSheet(this);
  TabSheet1->SetPageControl(PageControl1);
  TabSheet1->SetCaption(SJ("検索表示"));
  TabSheet2 = new TTabSheet(this);
  TabSheet2->SetPageControl(PageControl1);
  TabSheet2->SetCaption(SJ("他の表"));
  const int pw = PageControl1->ClientWidth();
  const int ph = PageControl1->ClientHeight();

  // Page "検索表示": names, then the settings in pairs of groups, the expression last.
  Label2 = MakeLabel(this, TabSheet1, "項目名", 8, 12);
  Edit1 = NewControl<TEdit>(this, TabSheet1);
  Edit1->SetBounds(72, 8, pw - 80, 21);
  Label3 = MakeLabel(this, TabSheet1, "見出し名", 8, 38);
  Edit2 = NewControl<TEdit>(this, TabSheet1);
  Edit2->SetBounds(72, 34, pw - 80, 21);
  const int half = (pw - 24) / 2, right = 16 + half;
  auto rowTop = [](int row) { return 62 + row * 40; };
  RadioGroup6 = MakeRadioGroup(this, TabSheet1, "編集", {"可", "不可"}, Rect(8, rowTop(0), 8 + half, rowTop(0) + 36));
  RadioGroup5 = MakeRadioGroup(this, TabSheet1, "罫線表示", {"する", "しない"},
                               Rect(right, rowTop(0), pw - 8, rowTop(0) + 36));
  RadioGroup7 = MakeRadioGroup(this, TabSheet1, "カンマ表示", {"する", "しない"},
                               Rect(8, rowTop(1), 8 + half, rowTop(1) + 36));
  Label4 = MakeLabel(this, TabSheet1, "表示幅", right, rowTop(1) + 17);
  Edit3 = NewControl<TEdit>(this, TabSheet1);
  Edit3->SetBounds(right + 44, rowTop(1) + 13, 48, 21);
  UpDown1 = MakeUpDown(this, TabSheet1, Edit3, 0, 9999, 64);
  RadioGroup2 = MakeRadioGroup(this, TabSheet1, "位置揃え", {"左揃え", "中央揃え", "右揃え"},
                               Rect(8, rowTop(2), pw - 8, rowTop(2) + 36));
  const int side = 214;  // where the text box beside a group begins
  RadioGroup1 = MakeRadioGroup(this, TabSheet1, "同上表示／記号", {"する", "しない"},
                               Rect(8, rowTop(3), side - 6, rowTop(3) + 36));
  Edit4 = NewControl<TEdit>(this, TabSheet1);
  Edit4->SetBounds(side, rowTop(3) + 13, pw - 8 - side, 21);
  RadioGroup3 = MakeRadioGroup(this, TabSheet1, "ソート順／種別", {"昇順", "降順"},
                               Rect(8, rowTop(4), side - 6, rowTop(4) + 36));
  ComboBox2 = NewControl<TComboBox>(this, TabSheet1);
  ComboBox2->Style = csDropDownList;
  for (const char* item : {"なし", "曜日", "IPアドレス", "ドメイン名"}) ComboBox2->Items()->Add(Utf8ToSjis(item));
  ComboBox2->SetBounds(side, rowTop(4) + 13, pw - 8 - side, 21);
  const int typeSide = 244;  // three types need more room
  RadioGroup4 = MakeRadioGroup(this, TabSheet1, "型／少数点以下", {"文字列", "整数", "実数"},
                               Rect(8, rowTop(5), typeSide - 6, rowTop(5) + 36));
  Edit6 = NewControl<TEdit>(this, TabSheet1);
  Edit6->SetBounds(typeSide, rowTop(5) + 13, 48, 21);
  UpDown2 = MakeUpDown(this, TabSheet1, Edit6, -1, 99, -1);
  const int exprTop = rowTop(6) + 2;
  Label6 = MakeLabel(this, TabSheet1, "式", 8, exprTop + 4);
  Memo5 = NewControl<TMemo>(this, TabSheet1);
  Memo5->SetBounds(32, exprTop, pw - 40, ph - exprTop - 6);
  Memo5->SetWordWrap(false);
  Memo5->SetScrollBars(ssBoth);
  Label6->SetVisible(false);
  Memo5->SetVisible(false);

  // Page "他の表".
  ComboBox1 = NewControl<TComboBox>(this, TabSheet2);
  ComboBox1->Style = csDropDownList;
  ComboBox1->SetBounds(8, 8, pw - 16, 21);
  ListBox1 = NewControl<TListBox>(this, TabSheet2);
  ListBox1->SetMultiSelect(true);
  ListBox1->SetBounds(8, 36, pw - 16, ph - 36 - 41);
  Button1 = MakeButton(this, TabSheet2, "<==", 8, ph - 33, 75);
  Button2 = MakeButton(this, TabSheet2, "==>", 91, ph - 33, 75);

  Button5 = MakeButton(this, this, "拡張項目", 8, 410, 90);
  Button3 = MakeButton(this, this, "更新", 368, 410, 75);
  Button4 = MakeButton(this, this, "閉じる", 454, 410, 75);
  Button4->Default = true;
  Button4->Cancel = true;

  CheckListBox1->OnClick = [this](TObject* s) { CheckListBox1Click(s); };
  CheckListBox1->OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { CheckListBox1KeyDown(s, k, sh); };
  CheckListBox1->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    CheckListBox1MouseDown(s, b, sh, x, y);
  };
  CheckListBox1->OnMouseUp = [this](TObject*, TMouseButton, TShiftState, int, int) { PressEnded(nullptr); };
  CheckListBox1->OnEndDrag = [this](TObject*, TObject* target, int, int) { PressEnded(target); };
  for (TControl* c : std::initializer_list<TControl*>{CheckListBox1, Memo5, Label1, this})
    c->OnDragOver = [this](TObject* s, TObject* src, int x, int y, TDragState st, bool& a) {
      CheckListBox1DragOver(s, src, x, y, st, a);
    };
  for (TControl* c : std::initializer_list<TControl*>{CheckListBox1, Memo5})
    c->OnDragDrop = [this](TObject* s, TObject* src, int x, int y) { CheckListBox1DragDrop(s, src, x, y); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2->OnClick = [this](TObject* s) { Button1Click(s); };
  Button3->OnClick = [this](TObject* s) { Button3Click(s); };
  Button4->OnClick = [this](TObject* s) { Button4Click(s); };
  Button5->OnClick = [this](TObject* s) { Button5Click(s); };
  ComboBox1->OnChange = [this](TObject* s) { ComboBox1Change(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
}

TFormCapEdit::~TFormCapEdit() {
  Destroying();
  for (int i = 0; i < CheckListBox1->Items()->Count(); ++i) delete EntryInfo(i);
  CheckListBox1->Items()->Clear();
  ClearCandidates();
}

CCapInfo* TFormCapEdit::EntryInfo(int index) const {
  return static_cast<CCapInfo*>(const_cast<TCheckListBox*>(CheckListBox1)->Items()->Objects(index));
}

CCapInfo* TFormCapEdit::CandidateInfo(int index) const {
  return static_cast<CCapInfo*>(const_cast<TListBox*>(ListBox1)->Items()->Objects(index));
}

bool TFormCapEdit::HasEntry(const AnsiString& name) const {
  const int n = const_cast<TCheckListBox*>(CheckListBox1)->Items()->Count();
  for (int i = 0; i < n; ++i)
    if (EntryInfo(i)->Name == name) return true;
  return false;
}

AnsiString TFormCapEdit::EntryText(const AnsiString& name) const {
  return UnqualifyColumnName(Folder ? Folder->GetTableName() : AnsiString(), name);
}

void TFormCapEdit::ClearCandidates() {
  for (int i = 0; i < ListBox1->Items()->Count(); ++i) delete CandidateInfo(i);
  ListBox1->Items()->Clear();
}

void TFormCapEdit::SetCapInfoList(CCapInfoList* list) {
  TargetList = list;
  Current = nullptr;
  for (int i = 0; i < CheckListBox1->Items()->Count(); ++i) delete EntryInfo(i);
  CheckListBox1->Items()->Clear();
  for (int i = 0; list && i < list->Count(); ++i) {
    const CCapInfo* info = list->GetItem(i);
    const int k = CheckListBox1->Items()->AddObject(EntryText(info->Name), CCapInfo::Clone(info));
    CheckListBox1->SetChecked(k, info->Shown);
  }
}

void TFormCapEdit::CapInfoToControls(const CCapInfo* info) {
  if (!info) return;
  const bool extended = info->Flags & CI_EXTENDED;
  Edit1->SetReadOnly(!extended);
  Edit1->SetText(info->Name);
  Edit2->SetText(info->Caption);
  RadioGroup6->SetItemIndex(info->Editable ? 0 : 1);
  UpDown1->SetPosition(info->Width);
  RadioGroup1->SetItemIndex(info->Ditto ? 0 : 1);
  Edit4->SetText(info->DittoMark);
  RadioGroup2->SetItemIndex(info->Alignment);
  RadioGroup3->SetItemIndex(info->Ascending ? 0 : 1);
  const unsigned sort = info->Flags & CI_SORT_KIND;
  int sortItem = 0;
  for (int k = 1; k < 4; ++k)
    if (sort == kSortKinds[k]) sortItem = k;
  ComboBox2->SetItemIndex(sortItem);
  RadioGroup4->SetItemIndex(info->Type);
  UpDown2->SetPosition(DecimalsOf(info->NumberFormat));
  RadioGroup5->SetItemIndex(info->Borders ? 0 : 1);
  RadioGroup7->SetItemIndex(info->Flags & CI_THOUSANDS ? 0 : 1);
  Memo5->SetText(extended ? info->Expression : AnsiString());
  Memo5->SetVisible(extended);
  Label6->SetVisible(extended);
}

void TFormCapEdit::ControlsToCapInfo(CCapInfo* info) {
  if (!info) return;
  if (info->Flags & CI_EXTENDED) {
    // The heading follows the name until the user gives it a text of its own.
    bool follows = info->Caption == GetFieldPart(info->Name);
    if (Edit2->Text() != info->Caption) {
      info->Caption = Edit2->Text();
      follows = false;
    }
    info->Expression = Memo5->Text();
    // A name typed empty keeps the old one: an item without a name cannot be referred to.
    const AnsiString column = GetFieldPart(Edit1->Text());
    const AnsiString name = column.empty() ? info->Name : ExtendedItemsTableName() + "." + column;
    if (name != info->Name) {
      info->Name = name;
      if (follows) {
        info->Caption = column;
        Edit2->SetText(column);
      }
      for (int i = CheckListBox1->Items()->Count() - 1; i >= 0; --i)
        if (EntryInfo(i) == info) {
          CheckListBox1->Items()->SetString(i, EntryText(name));
          break;
        }
    }
  } else {
    info->Caption = Edit2->Text();
    info->Expression.clear();
  }
  info->Editable = RadioGroup6->ItemIndex() == 0;
  info->Width = UpDown1->Position();
  info->Ditto = RadioGroup1->ItemIndex() == 0;
  info->DittoMark = Edit4->Text();
  // A value the radio groups could not show (none chosen) stays as it was.
  if (RadioGroup2->ItemIndex() >= 0) info->Alignment = RadioGroup2->ItemIndex();
  info->Ascending = RadioGroup3->ItemIndex() == 0;
  info->Flags &= ~CI_SORT_KIND;
  const int sortItem = ComboBox2->ItemIndex();
  if (sortItem >= 1 && sortItem <= 3) info->Flags |= kSortKinds[sortItem];
  if (RadioGroup4->ItemIndex() >= 0) info->Type = RadioGroup4->ItemIndex();
  info->NumberFormat = FormatOfDecimals(UpDown2->Position());
  info->Borders = RadioGroup5->ItemIndex() == 0;
  if (RadioGroup7->ItemIndex() == 0) info->Flags |= CI_THOUSANDS;
  else info->Flags &= ~CI_THOUSANDS;
}

// The target list becomes the item list: entry i's descriptor is written over the target's
// descriptor of that name (moved to slot i) or, when the target has none, a copy is put at slot i.
// Slots below i already hold entries 0 to i-1, so the target ends in the item list's order
// whatever the entries that are new and where they stand. Then what no entry names goes, and the
// record-id column of a table goes once no other column of that table is listed, unless shown.
void TFormCapEdit::UpdateCapInfoList(CCapInfoList* list) {
  ControlsToCapInfo(Current);
  if (!list) return;
  const int n = CheckListBox1->Items()->Count();
  TStringList tables;
  for (int i = 0; i < n; ++i) {
    const AnsiString& name = EntryInfo(i)->Name;
    if (GetFieldPart(name) != REC_ID_COLUMN && tables.IndexOf(GetTablePart(name)) < 0) tables.Add(GetTablePart(name));
  }

  // The folder's listed columns point into the list; they are made again at the next listing.
  for (CRuleFolder* f = Folder; f; f = f->Parent)
    if (f->CapInfoList == list) f->ForgetListedColumns();

  for (int i = 0; i < n; ++i) {
    CCapInfo* entry = EntryInfo(i);
    entry->Shown = CheckListBox1->Checked(i);
    int k = -1;
    for (int j = i; j < list->Count() && k < 0; ++j)
      if (list->GetItem(j)->Name == entry->Name) k = j;
    if (k < 0) {
      list->Insert(i, CCapInfo::Clone(entry));
      continue;
    }
    list->GetItem(k)->Assign(entry);
    if (k != i) list->Exchange(i, k);
  }
  for (int j = list->Count() - 1; j >= 0; --j) {
    const CCapInfo* info = list->GetItem(j);
    const bool orphanId = GetFieldPart(info->Name) == REC_ID_COLUMN && tables.IndexOf(GetTablePart(info->Name)) < 0 &&
                          !info->Shown;
    if (!HasEntry(info->Name) || orphanId) list->Delete(j);
  }
}

void TFormCapEdit::TakeOwnFormat() {
  CRuleFolder* owner = Folder->Parent;
  while (owner && !owner->CapInfoList) owner = owner->Parent;
  if (!owner) return;
  Folder->CsvFilterIndex = owner->CsvFilterIndex;
  Folder->CsvDir = owner->CsvDir;
  if (!Folder->SumCapInfoList) {
    auto* sums = new CCapInfoList;
    if (CCapInfoList* inherited = Folder->GetSumCapInfoList())
      for (int i = 0; i < inherited->Count(); ++i) sums->Add(CCapInfo::Clone(inherited->GetItem(i)));
    Folder->SumCapInfoList = sums;
  }
  // A layout without lines stays none.
  auto copyLayout = [](TStringList*& own, const TStringList* inherited) {
    delete own;
    own = nullptr;
    if (!inherited || inherited->Count() == 0) return;
    own = new TStringList;
    own->AddStrings(*inherited);
  };
  Folder->CardPrintSettings = owner->CardPrintSettings;
  copyLayout(Folder->CardLayout, owner->CardLayout);
  Folder->SumCardPrintSettings = owner->SumCardPrintSettings;
  copyLayout(Folder->SumCardLayout, owner->SumCardLayout);
  auto* own = new CCapInfoList;
  for (int i = 0; TargetList && i < TargetList->Count(); ++i) own->Add(CCapInfo::Clone(TargetList->GetItem(i)));
  Folder->CapInfoList = own;
  TargetList = own;
}

void TFormCapEdit::FormShow(TObject*) {
  ComboBox2->SetItemIndex(0);
  ComboBox1->Items()->Clear();
  if (CheckListBox1->Items()->Count() == 0) return;
  if (Folder) {
    TStringList related;
    Folder->CollectRelatedTables(related);
    for (int i = 0; i < related.Count(); ++i) {
      auto* folder = static_cast<CRuleFolderTbl*>(related.Objects(i));
      if (folder && folder != Folder) ComboBox1->Items()->AddObject(related[i], folder);
    }
    ComboBox1->Items()->Add(ExtendedItemsTableName());
    ComboBox1->SetItemIndex(0);
    ComboBox1Change(ComboBox1);
  }
  CheckListBox1->SetItemIndex(0);
  Current = EntryInfo(0);
  CapInfoToControls(Current);
}

void TFormCapEdit::ComboBox1Change(TObject*) {
  ClearCandidates();
  const int chosen = ComboBox1->ItemIndex();
  if (chosen < 0 || !Folder) return;
  if (!ComboBox1->Items()->Objects(chosen)) {
    // "__拡張項目__": the extended items in effect that the list does not hold yet.
    CCapInfoList defs;
    Folder->GetExtendedItemDefs(defs);
    for (int i = 0; i < defs.Count(); ++i) {
      const CCapInfo* info = defs.GetItem(i);
      if (!HasEntry(info->Name)) ListBox1->Items()->AddObject(info->Name, CCapInfo::Clone(info));
    }
    return;
  }
  auto* table = static_cast<CRuleFolderTbl*>(ComboBox1->Items()->Objects(chosen));
  const AnsiString tableName = table->GetTableName();
  CCapInfoList* columns = table->GetCapInfoList();
  for (int i = 0; columns && i < columns->Count(); ++i) {
    const CCapInfo* info = columns->GetItem(i);
    if (GetTablePart(info->Name) != tableName || GetFieldPart(info->Name) == REC_ID_COLUMN || HasEntry(info->Name))
      continue;
    ListBox1->Items()->AddObject(info->Name, CCapInfo::Clone(info));
  }
}

void TFormCapEdit::CheckListBox1Click(TObject*) {
  // A press of the button may start a drag into the expression, which must stay in view: the
  // entry pressed is chosen when the press ends.
  if (GetKeyState(VK_LBUTTON) < 0) {
    choosePending_ = true;
    return;
  }
  ChooseSelectedEntry();
}

void TFormCapEdit::ChooseSelectedEntry() {
  choosePending_ = false;
  ControlsToCapInfo(Current);
  const int i = CheckListBox1->ItemIndex();
  if (i < 0 || EntryInfo(i) == Current) return;
  Current = EntryInfo(i);
  CapInfoToControls(Current);
}

void TFormCapEdit::PressEnded(TObject* target) {
  if (!choosePending_) return;
  if (target != Memo5) {
    ChooseSelectedEntry();
    return;
  }
  // Dropped into the expression: the list shows again the entry whose expression it is.
  choosePending_ = false;
  for (int i = 0; i < CheckListBox1->Items()->Count(); ++i)
    if (EntryInfo(i) == Current) CheckListBox1->SetItemIndex(i);
}

void TFormCapEdit::Button3Click(TObject*) {
  if (Folder && !Folder->CapInfoList) {
    const int answer = CvMessageBox(SJ("現在のフォルダに表示書式を設定しますか？"), SJ("設定の確認"), 3, this);
    if (answer != mrYes && answer != mrNo) return;
    if (answer == mrYes) TakeOwnFormat();
  }
  UpdateCapInfoList(TargetList);
  if (Folder) Folder->AddModified(1);
  ++UpdateCount;
  if (Folder && Folder->OnListChanged) Folder->OnListChanged(Folder);
}

void TFormCapEdit::Button4Click(TObject*) { SetModalResult(mrCancel); }

void TFormCapEdit::Button5Click(TObject*) {
  const AnsiString prefix = ExtendedItemsTableName() + "." + SJ("名前なし");
  AnsiString name;
  for (int n = 1; n <= 999 && name.empty(); ++n)
    if (!HasEntry(prefix + std::to_string(n))) name = prefix + std::to_string(n);
  if (name.empty()) return;
  auto* info = new CCapInfo;
  info->Name = name;
  info->Caption = GetFieldPart(name);
  info->Shown = true;
  info->Editable = false;
  info->Flags |= CI_EXTENDED;
  const int k = CheckListBox1->Items()->AddObject(EntryText(name), info);
  CheckListBox1->SetChecked(k, true);
}

void TFormCapEdit::Button1Click(TObject* sender) {
  if (sender == Button1) {
    // Several candidates arrive in the reverse of their order in the candidate list.
    for (int i = ListBox1->Items()->Count() - 1; i >= 0; --i) {
      if (!ListBox1->Selected(i)) continue;
      CCapInfo* info = CandidateInfo(i);
      ListBox1->Items()->Delete(i);
      if (HasEntry(info->Name)) {
        delete info;
        continue;
      }
      info->Shown = true;
      info->Editable = true;
      const int k = CheckListBox1->Items()->AddObject(EntryText(info->Name), info);
      CheckListBox1->SetChecked(k, true);
    }
    return;
  }
  // The folder's own columns are only unchecked, never removed.
  const int i = CheckListBox1->ItemIndex();
  if (i < 0) return;
  if (Folder && GetTablePart(EntryInfo(i)->Name) == Folder->GetTableName()) return;
  RemoveEntry(i);
}

void TFormCapEdit::RemoveEntry(int index) {
  CCapInfo* info = EntryInfo(index);
  if (info == Current) Current = nullptr;
  else ControlsToCapInfo(Current);
  CheckListBox1->Items()->Delete(index);
  delete info;
  if (CheckListBox1->ItemIndex() < 0 && index < CheckListBox1->Items()->Count()) CheckListBox1->SetItemIndex(index);
  // The controls show the selected entry, so that what is typed next goes where the user sees it.
  const int selected = CheckListBox1->ItemIndex();
  if (selected >= 0 && EntryInfo(selected) != Current) {
    Current = EntryInfo(selected);
    CapInfoToControls(Current);
  }
}

void TFormCapEdit::CheckListBox1KeyDown(TObject*, uint16_t& key, TShiftState shift) {
  const int i = CheckListBox1->ItemIndex();
  if (i < 0) return;
  if (key == VK_DELETE) {
    if (!(EntryInfo(i)->Flags & CI_EXTENDED)) return;
    if (CvMessageBox(SJ("削除します。よろしいですか？"), SJ("削除の確認"), 4, this) == mrYes) RemoveEntry(i);
  } else if (key == VK_SPACE && (shift & ssShift)) {
    // The list's own Space then turns the selected entry's mark, so all end alike.
    const bool mark = !CheckListBox1->Checked(i);
    for (int j = 0; j < CheckListBox1->Items()->Count(); ++j)
      if (j != i) CheckListBox1->SetChecked(j, mark);
  }
}

void TFormCapEdit::CheckListBox1MouseDown(TObject*, TMouseButton button, TShiftState, int x, int y) {
  if (button != mbLeft) return;
  const int index = CheckListBox1->ItemAtPos({x, y}, true);
  if (index < 0) return;
  dragFrom_ = index;
  CheckListBox1->BeginDrag(false);
}

void TFormCapEdit::CheckListBox1DragOver(TObject* sender, TObject* source, int x, int y, TDragState, bool& accept) {
  accept = false;
  if (source != CheckListBox1) return;
  if (sender == CheckListBox1) {
    accept = CheckListBox1->ItemAtPos({x, y}, true) >= 0;
    LastDragY = 0;
  } else if (sender == Memo5) {
    accept = true;
  } else {
    AutoScrollDraggedList(CheckListBox1, DragPointIn(CheckListBox1, sender, x, y).y, LastDragY);
  }
}

void TFormCapEdit::CheckListBox1DragDrop(TObject* sender, TObject* source, int x, int y) {
  if (source != CheckListBox1) return;
  if (sender == CheckListBox1) {
    DropDraggedEntry(CheckListBox1, dragFrom_, x, y);
  } else if (sender == Memo5 && dragFrom_ >= 0 && dragFrom_ < CheckListBox1->Items()->Count()) {
    Memo5->SetSelLength(0);
    Memo5->SetSelText((*CheckListBox1->Items())[dragFrom_]);
  }
}
