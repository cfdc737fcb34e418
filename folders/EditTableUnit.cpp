#include "folders/EditTableUnit.h"

#include <filesystem>
#include <system_error>

#include "folders/FolderDialogParts.h"
#include "folders/ReadCsvUnit.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "foundation/CvMessageUnit.h"
#include "foundation/Lexer.h"
#include "foundation/LogForm.h"
#include "platform/SysUtils.h"
#include "query/DbHandle.h"
#include "store/Kvrcolinfo.h"
#include "store/Kvrvalue.h"

namespace {

// The type names in the order of RadioGroup1 and TypeCB.
const char* const kTypeNames[] = {"string", "keyword", "int", "real"};
const char* const kTypeCaptions[] = {"文字列", "キーワード", "整数", "実数"};

int TypeIndexOf(const AnsiString& type) {
  for (int i = 0; i < 4; ++i)
    if (type == kTypeNames[i]) return i;
  return 0;
}

// Items of DefvalCB: the automatic value is the item index times 2 in bits 0xE.
enum { kNoValue = 0, kIdNumber = 1, kDate = 2, kDateTime = 3, kFixed = 4 };
constexpr uint32_t kShownFlags = 0x7F;

AnsiString CurrentDirectory() {
  std::error_code error;
  const std::filesystem::path dir = std::filesystem::current_path(error);
  return error ? AnsiString() : AnsiString(dir.string());
}

// A name must be one word of the condition language (which takes "table.column" as one word, so
// a dot is refused too): "" and other tokens are refused with a message; of several words the
// first becomes the name when the user agrees. what is "項目名" or "表名".
bool SettleWord(TForm* owner, AnsiString& name, const char* what) {
  const AnsiString kind = Utf8ToSjis(what);
  if (name.empty()) {
    ReportError("%s%s", kind.c_str(), SJ("がありません。").c_str());
    return false;
  }
  CLexer lexer(name.c_str());
  lexer.NextToken();
  if (lexer.Kind != LEX_NAME || lexer.Token.find('.') != AnsiString::npos) {
    ReportError((kind + SJ("に %s は使えません。")).c_str(), name.c_str());
    return false;
  }
  if (lexer.Token != name) {
    const AnsiString question = kind + Format(SJ("は %s になります。よろしいですか？").c_str(), lexer.Token.c_str());
    if (CvMessageBox(question, SJ("確認"), 4, owner) != mrYes) return false;
    name = lexer.Token;
  }
  return true;
}

TLabel* MakeLabel(TComponent* owner, TWinControl* parent, const char* caption, int left, int top) {
  auto* label = new TLabel(owner);
  label->SetParent(parent);
  label->SetCaption(Utf8ToSjis(caption));
  label->SetLeft(left);
  label->SetTop(top);
  return label;
}

TEdit* MakeEdit(TComponent* owner, TWinControl* parent, int left, int top, int width) {
  auto* edit = new TEdit(owner);
  edit->SetParent(parent);
  edit->SetBounds(left, top, width, 22);
  return edit;
}

TComboBox* MakeCombo(TComponent* owner, TWinControl* parent, int left, int top, int width,
                     std::initializer_list<const char*> items) {
  auto* combo = new TComboBox(owner);
  combo->SetParent(parent);
  combo->SetBounds(left, top, width, 22);
  if (items.size() > 0) {
    combo->Style = csDropDownList;
    for (const char* item : items) combo->Items()->Add(Utf8ToSjis(item));
    combo->SetItemIndex(0);
  }
  return combo;
}

TListBox* MakeList(TComponent* owner, TWinControl* parent, int left, int top, int width, int height) {
  auto* list = new TListBox(owner);
  list->SetParent(parent);
  list->SetBounds(left, top, width, height);
  return list;
}

TButton* MakeButton(TComponent* owner, TWinControl* parent, const char* caption, int left, int top, int width = 75) {
  auto* button = new TButton(owner);
  button->SetParent(parent);
  button->SetCaption(Utf8ToSjis(caption));
  button->SetBounds(left, top, width, 25);
  return button;
}

}  // namespace

TEditTableDlg::TEditTableDlg(TComponent* owner) : TForm(owner) {
  ReadCsvHeader = [this](TStrings& cells) {
    TReadCsvDlg dialog(this);
    dialog.ItemCreation = true;
    if (dialog.ShowModal() != mrOk) return false;
    for (int c = 0; c < dialog.StringGrid1->ColCount(); ++c) cells.Add(dialog.StringGrid1->Cells(c, 0));
    return true;
  };
  SetCaption(SJ("表の編集"));
  SetBorderStyle(bsDialog);
  SetPosition(poOwnerFormCenter);
  SetClientWidth(521);
  SetClientHeight(302);

  PageControl1 = new TPageControl(this);
  PageControl1->SetParent(this);
  PageControl1->SetBounds(4, 4, 513, 262);
  const auto page = [this](const char* caption) {
    auto* sheet = new TTabSheet(this);
    sheet->SetPageControl(PageControl1);
    sheet->SetCaption(Utf8ToSjis(caption));
    return sheet;
  };
  TabSheet1 = page("全般");
  TabSheet2 = page("項目");
  TabSheet4 = page("値指定");
  TabSheet3 = page("関連付け");

  // 全般
  TWinControl* p = TabSheet1;
  Label3 = MakeLabel(this, p, "フォルダ名", 8, 12);
  Edit3 = MakeEdit(this, p, 76, 8, 190);
  Label1 = MakeLabel(this, p, "表名", 8, 42);
  Edit1 = MakeEdit(this, p, 76, 38, 190);
  Edit1->SetReadOnly(true);
  Label2 = MakeLabel(this, p, "ファイル名", 8, 72);
  Edit2 = MakeEdit(this, p, 76, 68, 162);
  Button1 = MakeButton(this, p, "...", 242, 67, 24);
  Label4 = MakeLabel(this, p, "アイコン 閉", 8, 102);
  Image0CB = MakeCombo(this, p, 76, 98, 72, {});
  SetupIconCombo(Image0CB);
  Label5 = MakeLabel(this, p, "開", 158, 102);
  Image1CB = MakeCombo(this, p, 176, 98, 72, {});
  SetupIconCombo(Image1CB);
  Label6 = MakeLabel(this, p, "項目", 280, 8);
  ListBox2 = MakeList(this, p, 280, 24, 100, 196);
  Label7 = MakeLabel(this, p, "下位フォルダの順序", 390, 8);
  ListBox1 = MakeList(this, p, 390, 24, 107, 196);

  // 項目
  p = TabSheet2;
  Label8 = MakeLabel(this, p, "項目名", 8, 12);
  ColNameEdit = MakeEdit(this, p, 76, 8, 190);
  RadioGroup1 = new TRadioGroup(this);
  RadioGroup1->SetParent(p);
  RadioGroup1->SetCaption(SJ("型"));
  RadioGroup1->SetBounds(8, 40, 258, 68);
  RadioGroup1->SetColumns(2);
  for (const char* caption : kTypeCaptions) RadioGroup1->Items()->Add(Utf8ToSjis(caption));
  RadioGroup1->SetItemIndex(0);
  ColAddBtn = MakeButton(this, p, "追加", 8, 120);
  CsvBtn = MakeButton(this, p, "CSV", 91, 120);
  Label9 = MakeLabel(this, p, "項目", 280, 8);
  ListBox3 = MakeList(this, p, 280, 24, 217, 196);
  TypeCB = MakeCombo(this, p, 8, 160, 100, {"文字列", "キーワード", "整数", "実数"});
  TypeCB->SetVisible(false);

  // 値指定
  p = TabSheet4;
  Label10 = MakeLabel(this, p, "項目名", 8, 12);
  ColNameEdit2 = MakeEdit(this, p, 76, 8, 190);
  ColNameEdit2->SetReadOnly(true);
  Label11 = MakeLabel(this, p, "内容重複", 8, 41);
  DupCB = MakeCombo(this, p, 76, 37, 190, {"可能", "不可"});
  Label12 = MakeLabel(this, p, "入力指定", 8, 70);
  DefvalCB = MakeCombo(this, p, 76, 66, 190,
                       {"なし", "ＩＤ番号（自動加算）", "その時の日付", "その時の日付と時刻", "固定内容"});
  Label13 = MakeLabel(this, p, "固定内容", 8, 99);
  FixStrEdit = MakeEdit(this, p, 76, 95, 190);
  Label14 = MakeLabel(this, p, "実行時期", 8, 128);
  ChgAlwaysCB = MakeCombo(this, p, 76, 124, 190, {"新規作成時", "新規と更新時"});
  Label15 = MakeLabel(this, p, "実行条件", 8, 157);
  NullOnlyCB = MakeCombo(this, p, 76, 153, 190, {"内容が空の時", "常時"});
  Label16 = MakeLabel(this, p, "挿入方法", 8, 186);
  AppendCB = MakeCombo(this, p, 76, 182, 190, {"上書", "追加"});
  Label17 = MakeLabel(this, p, "項目", 280, 8);
  ListBox4 = MakeList(this, p, 280, 24, 217, 196);

  // 関連付け
  p = TabSheet3;
  StringGrid1 = new TStringGrid(this);
  StringGrid1->SetParent(p);
  StringGrid1->SetBounds(8, 8, 489, 128);
  StringGrid1->SetColCount(3);
  StringGrid1->SetRowCount(2);
  StringGrid1->SetFixedCols(0);
  StringGrid1->SetFixedRows(1);
  StringGrid1->SetDefaultRowHeight(20);
  StringGrid1->SetOptions(StringGrid1->Options() | goRowSelect);
  StringGrid1->SetScrollBars(ssVertical);
  StringGrid1->SetLeftCol(0);
  StringGrid1->SetCol(0);
  for (int c = 0; c < 3; ++c) StringGrid1->SetColWidths(c, c < 2 ? 158 : 160);
  StringGrid1->SetCells(0, 0, SJ("　　　　　　項目"));
  StringGrid1->SetCells(1, 0, SJ("　　　　関連付ける表"));
  StringGrid1->SetCells(2, 0, SJ("　　　　関連付ける項目"));
  Label18 = MakeLabel(this, p, "項目", 8, 144);
  ComboBox3 = MakeCombo(this, p, 8, 160, 158, {});
  Label19 = MakeLabel(this, p, "関連付ける表", 172, 144);
  ComboBox1 = MakeCombo(this, p, 172, 160, 158, {});
  Label20 = MakeLabel(this, p, "関連付ける項目", 336, 144);
  ComboBox2 = MakeCombo(this, p, 336, 160, 161, {});
  Button2 = MakeButton(this, p, "決定", 341, 194);
  Button4 = MakeButton(this, p, "削除", 422, 194);

  OKBtn = MakeButton(this, this, "OK", 356, 272);
  CancelBtn = MakeButton(this, this, "キャンセル", 438, 272);
  CancelBtn->ModalResult = mrCancel;
  CancelBtn->Cancel = true;

  OpenDialog1 = new TOpenDialog(this);
  OpenDialog1->Title = SJ("表のデータファイル名の指定");
  OpenDialog1->Filter = SJ("KelmDB データファイル (*.kvr)|*.kvr");
  OpenDialog1->DefaultExt = "kvr";
  startDir_ = CurrentDirectory();

  OnShow = [this](TObject* s) { FormShow(s); };
  TabSheet1->OnShow = [this](TObject* s) { TabSheet1Show(s); };
  TabSheet2->OnShow = [this](TObject* s) { TabSheet2Show(s); };
  TabSheet4->OnShow = [this](TObject* s) { TabSheet4Show(s); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  ColAddBtn->OnClick = [this](TObject* s) { ColAddBtnClick(s); };
  CsvBtn->OnClick = [this](TObject* s) { CsvBtnClick(s); };
  for (TListBox* list : {ListBox2, ListBox3, ListBox4})
    list->OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { ListBox2KeyDown(s, k, sh); };
  for (TListBox* list : {ListBox3, ListBox4}) list->OnClick = [this](TObject* s) { ListBox3Click(s); };
  RadioGroup1->OnClick = [this](TObject* s) { RadioGroup1Click(s); };
  for (TComboBox* combo : {TypeCB, DupCB, DefvalCB, ChgAlwaysCB, NullOnlyCB, AppendCB})
    combo->OnChange = [this](TObject* s) { TypeCBChange(s); };
  ComboBox1->OnChange = [this](TObject* s) { ComboBox1Change(s); };
  StringGrid1->OnClick = [this](TObject* s) { StringGrid1Click(s); };
  Button2->OnClick = [this](TObject* s) { Button2Click(s); };
  Button4->OnClick = [this](TObject* s) { Button4Click(s); };
  for (TComboBox* combo : {Image0CB, Image1CB})
    combo->OnDrawItem = [this](TWinControl* c, int i, TRect r, TOwnerDrawState st) { ImageCBDrawItem(c, i, r, st); };
  ListBox1->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    ListBox1MouseDown(s, b, sh, x, y);
  };
  const TDragOverEvent over = [this](TObject* s, TObject* src, int x, int y, TDragState st, bool& a) {
    ListBox1DragOver(s, src, x, y, st, a);
  };
  for (TControl* target : std::initializer_list<TControl*>{ListBox1, this, TabSheet1, PageControl1, Label7})
    target->OnDragOver = over;
  ListBox1->OnDragDrop = [this](TObject* s, TObject* src, int x, int y) { ListBox1DragDrop(s, src, x, y); };
  OKBtn->OnClick = [this](TObject* s) { OKBtnClick(s); };
}

TEditTableDlg::~TEditTableDlg() { Destroying(); }

void TEditTableDlg::SetImageList(TImageList* list) {
  if (!list) return;
  ImageList = list;
  FillIconCombo(Image0CB, list);
  FillIconCombo(Image1CB, list);
  Image0CB->SetItemIndex(0);
  Image1CB->SetItemIndex(0);
}

// ---- Filling ------------------------------------------------------------------------------------

void TEditTableDlg::SetTableFolder(CRuleFolderTbl* folder, CCapInfoList* columns) {
  Edit1->SetText(folder->TableName);
  Edit2->SetText(folder->DataFile);
  Edit3->SetText(folder->Name);
  shownClosed_ = folder->ClosedImage;
  shownOpen_ = folder->OpenImage;
  ShowIconIndex(Image0CB, shownClosed_);
  ShowIconIndex(Image1CB, shownOpen_);
  FillOrderList(ListBox1, folder);

  ColumnNames.Clear();
  ColumnTypes.Clear();
  ColumnOptions.Clear();
  ListBox2->Clear();
  OldColumnCount = 0;
  if (CDbHandle* handle = folder->GetDbHandle())
    handle->GetColumnInfo(folder->TableName, ColumnNames, &ColumnTypes, &ColumnOptions);
  while (ColumnTypes.Count() < ColumnNames.Count()) ColumnTypes.Add(AnsiString());
  while (ColumnOptions.Count() < ColumnNames.Count()) ColumnOptions.Add(AnsiString());
  for (int i = 0; i < ColumnNames.Count(); ++i)
    if (ColumnNames[i] != REC_ID_COLUMN) ListBox2->Items()->AddObject(ColumnNames[i], reinterpret_cast<void*>(intptr_t{i}));
  OldColumnCount = ColumnNames.Count();

  for (int i = 0; columns && i < columns->Count(); ++i) {
    const CCapInfo* info = columns->GetItem(i);
    const AnsiString column = GetFieldPart(info->Name);
    if (GetTablePart(info->Name) != folder->TableName || column == REC_ID_COLUMN || ColumnNames.IndexOf(column) >= 0)
      continue;
    AddColumn(column, FieldTypeName(info->DeclaredType),
              ColOptToText(info->ColumnOptions, info->OptionText1, info->OptionText2));
  }
  RefillColumnLists();
  startDir_ = CurrentDirectory();

  ComboBox1->Items()->Clear();
  if (CRuleFolder* parent = folder->Parent)
    for (int i = 0; i < parent->Children.Count(); ++i) {
      CRuleFolder* sibling = parent->Children.Get(i);
      if (sibling != folder && sibling->GetTypeName() == "table")
        ComboBox1->Items()->AddObject(sibling->GetTableName(), sibling);
    }

  const int pairs = folder->Relations.Count() / 2;
  StringGrid1->SetRowCount(std::max(2, pairs + 1));
  for (int c = 0; c < 3; ++c) StringGrid1->SetCells(c, 1, AnsiString());
  for (int i = 0; i < pairs; ++i) {
    const AnsiString& target = folder->Relations[2 * i + 1];
    StringGrid1->SetCells(0, i + 1, folder->Relations[2 * i]);
    StringGrid1->SetCells(1, i + 1, GetTablePart(target));
    StringGrid1->SetCells(2, i + 1, GetFieldPart(target));
  }
  if (pairs > 0) {
    StringGrid1->SetRow(1);
    StringGrid1Click(StringGrid1);
  }
}

void TEditTableDlg::FormShow(TObject*) {
  if (NewTable) {
    SetCaption(SJ("表の作成"));
    TabSheet2->SetCaption(SJ("項目の追加"));
    Edit1->SetReadOnly(false);
    ListBox1->SetVisible(false);
    Label7->SetVisible(false);
    CsvBtn->SetVisible(true);
    // The relations of a new table can name any table of the tree.
    if (ComboBox1->Items()->Count() == 0 && ExistingTables)
      for (int i = 0; i < ExistingTables->Count(); ++i)
        ComboBox1->Items()->AddObject((*ExistingTables)[i], ExistingTables->Objects(i));
  } else {
    CsvBtn->SetVisible(false);
  }
  CurrentColumn = -1;
  if (ListBox3->Items()->Count() > 0) {
    ListBox3->SetItemIndex(0);
    ListBox3Click(ListBox3);
    CurrentColumn = ListBox3->ItemIndex();
  }
  TabSheet1Show(TabSheet1);
}

void TEditTableDlg::TabSheet1Show(TObject*) {
  Edit3->SetFocus();
  ColAddBtn->Default = false;
}

void TEditTableDlg::TabSheet2Show(TObject*) {
  ColNameEdit->SetFocus();
  ColAddBtn->Default = true;
}

void TEditTableDlg::TabSheet4Show(TObject*) { ListBox4->SetFocus(); }

void TEditTableDlg::Button1Click(TObject*) {
  OpenDialog1->InitialDir = startDir_;
  if (OpenDialog1->Execute()) Edit2->SetText(OpenDialog1->FileName);
}

// ---- Columns ------------------------------------------------------------------------------------

int TEditTableDlg::AddColumn(const AnsiString& name, const AnsiString& type, const AnsiString& options) {
  while (ColumnTypes.Count() < ColumnNames.Count()) ColumnTypes.Add(AnsiString());
  while (ColumnOptions.Count() < ColumnNames.Count()) ColumnOptions.Add(AnsiString());
  const int index = ColumnNames.Add(name);
  ColumnTypes.Add(type);
  ColumnOptions.Add(options);
  ListBox2->Items()->AddObject(name, reinterpret_cast<void*>(intptr_t{index}));
  return index;
}

void TEditTableDlg::RefillColumnLists() {
  for (TStrings* items : {ListBox3->Items(), ListBox4->Items(), ComboBox3->Items()}) items->Assign(*ListBox2->Items());
}

int TEditTableDlg::ListIndexOf(int index) {
  if (index < 0 || index >= ListBox2->Items()->Count()) return -1;
  const auto i = static_cast<int>(reinterpret_cast<intptr_t>(ListBox2->Items()->Objects(index)));
  return i >= 0 && i < ColumnNames.Count() ? i : -1;
}

void TEditTableDlg::ShowColumnSettings(int index) {
  typeChanging_ = true;
  ColNameEdit->SetText(AnsiString());
  ColNameEdit2->SetText(AnsiString());
  TypeCB->SetItemIndex(0);
  RadioGroup1->SetItemIndex(0);
  for (TComboBox* combo : {DupCB, DefvalCB, ChgAlwaysCB, NullOnlyCB, AppendCB}) combo->SetItemIndex(0);
  FixStrEdit->SetText(AnsiString());
  const int i = ListIndexOf(index);
  if (i >= 0) {
    ColNameEdit->SetText(ColumnNames[i]);
    ColNameEdit2->SetText(ColumnNames[i]);
    const int type = TypeIndexOf(i < ColumnTypes.Count() ? ColumnTypes[i] : AnsiString());
    TypeCB->SetItemIndex(type);
    RadioGroup1->SetItemIndex(type);
    uint32_t flags = 0;
    AnsiString fixed, second;
    TextToColOpt(i < ColumnOptions.Count() ? ColumnOptions[i] : AnsiString(), flags, fixed, second);
    DupCB->SetItemIndex(flags & 0x1 ? 1 : 0);
    const int value = static_cast<int>((flags & 0xE) >> 1);
    DefvalCB->SetItemIndex(value <= kFixed ? value : kNoValue);
    ChgAlwaysCB->SetItemIndex(flags & 0x10 ? 1 : 0);
    NullOnlyCB->SetItemIndex(flags & 0x20 ? 0 : 1);
    AppendCB->SetItemIndex(flags & 0x40 ? 1 : 0);
    FixStrEdit->SetText(fixed);
  }
  typeChanging_ = false;
}

AnsiString TEditTableDlg::OptionLineFromControls(const AnsiString& keep) {
  uint32_t flags = 0;
  AnsiString fixed, second;
  TextToColOpt(keep, flags, fixed, second);
  flags &= ~kShownFlags;
  if (DupCB->ItemIndex() == 1) flags |= 0x1;
  if (DefvalCB->ItemIndex() > 0) flags |= static_cast<uint32_t>(DefvalCB->ItemIndex()) << 1;
  if (ChgAlwaysCB->ItemIndex() == 1) flags |= 0x10;
  if (NullOnlyCB->ItemIndex() == 0) flags |= 0x20;
  if (AppendCB->ItemIndex() == 1) flags |= 0x40;
  return ColOptToText(flags, FixStrEdit->Text(), AnsiString());
}

void TEditTableDlg::StoreSettingsInto(int i) {
  if (i < 0 || i >= ColumnNames.Count()) return;
  while (ColumnTypes.Count() <= i) ColumnTypes.Add(AnsiString());
  while (ColumnOptions.Count() <= i) ColumnOptions.Add(AnsiString());
  // A column the table has keeps its type, whatever the controls show.
  if (i >= OldColumnCount && TypeCB->ItemIndex() >= 0) ColumnTypes.SetString(i, kTypeNames[TypeCB->ItemIndex()]);
  ColumnOptions.SetString(i, OptionLineFromControls(ColumnOptions[i]));
}

void TEditTableDlg::StoreColumnSettings(int index) {
  if (index < 0 || index >= ListBox2->Items()->Count() || (*ListBox2->Items())[index] != ColNameEdit->Text()) return;
  StoreSettingsInto(ListIndexOf(index));
}

void TEditTableDlg::TypeCBChange(TObject* sender) {
  if (typeChanging_) return;
  typeChanging_ = true;
  if (sender == TypeCB) {
    const int i = ListIndexOf(CurrentColumn);
    if (i >= 0 && i < OldColumnCount && (*ListBox2->Items())[CurrentColumn] == ColNameEdit->Text())
      TypeCB->SetItemIndex(TypeIndexOf(i < ColumnTypes.Count() ? ColumnTypes[i] : AnsiString()));
  }
  RadioGroup1->SetItemIndex(TypeCB->ItemIndex());
  const int value = DefvalCB->ItemIndex();
  switch (TypeCB->ItemIndex()) {
    case 1:  // keyword
      if (value == kIdNumber) DefvalCB->SetItemIndex(kNoValue);
      break;
    case 2:  // int
      if (value == kDate || value == kDateTime) DefvalCB->SetItemIndex(kNoValue);
      break;
    case 3:  // real
      if (value == kIdNumber || value == kDate || value == kDateTime) DefvalCB->SetItemIndex(kNoValue);
      break;
    default:
      break;
  }
  if (DefvalCB->ItemIndex() == kIdNumber) {
    ChgAlwaysCB->SetItemIndex(0);
    NullOnlyCB->SetItemIndex(0);
    AppendCB->SetItemIndex(0);
  }
  typeChanging_ = false;
}

void TEditTableDlg::RadioGroup1Click(TObject*) {
  if (typeChanging_) return;
  TypeCB->SetItemIndex(RadioGroup1->ItemIndex());
  TypeCBChange(TypeCB);
}

void TEditTableDlg::ListBox3Click(TObject* sender) {
  TListBox* from = sender == ListBox4 ? ListBox4 : ListBox3;
  TListBox* other = from == ListBox3 ? ListBox4 : ListBox3;
  const int selected = from->ItemIndex();
  other->SetItemIndex(selected);
  if (selected != CurrentColumn) {
    TypeCBChange(sender);
    StoreColumnSettings(CurrentColumn);
    ShowColumnSettings(selected);
    CurrentColumn = selected;
    return;
  }
  const int i = ListIndexOf(selected);
  if (i < 0) return;
  typeChanging_ = true;
  ColNameEdit->SetText(ColumnNames[i]);
  ColNameEdit2->SetText(ColumnNames[i]);
  const int type = TypeIndexOf(i < ColumnTypes.Count() ? ColumnTypes[i] : AnsiString());
  TypeCB->SetItemIndex(type);
  RadioGroup1->SetItemIndex(type);
  typeChanging_ = false;
}

bool TEditTableDlg::CheckColumnName(AnsiString& name) {
  if (!SettleWord(this, name, "項目名")) return false;
  if (ListBox2->Items()->IndexOf(name) >= 0 || name == REC_ID_COLUMN) {
    ReportError(SJ("項目 %s は、存在します。").c_str(), name.c_str());
    return false;
  }
  return true;
}

void TEditTableDlg::ColAddBtnClick(TObject*) {
  AnsiString name = ColNameEdit->Text();
  if (!CheckColumnName(name)) return;
  const int type = TypeCB->ItemIndex() >= 0 ? TypeCB->ItemIndex() : 0;
  const int i = AddColumn(name, kTypeNames[type], AnsiString());
  RefillColumnLists();
  StoreSettingsInto(i);
  CurrentColumn = -1;
}

void TEditTableDlg::CsvBtnClick(TObject*) {
  TStringList cells;
  if (!ReadCsvHeader || !ReadCsvHeader(cells)) return;
  for (int c = 0; c < cells.Count(); ++c) {
    AnsiString name = cells[c];
    if (!name.empty() && CheckColumnName(name)) AddColumn(name, "string", AnsiString());
  }
  RefillColumnLists();
}

void TEditTableDlg::ListBox2KeyDown(TObject* sender, uint16_t& key, TShiftState) {
  if (!CanDeleteColumns || (key != VK_DELETE && key != VK_BACK)) return;
  const int selected = static_cast<TListBox*>(sender)->ItemIndex();
  if (selected < 0 || selected >= ListBox2->Items()->Count()) return;
  ListBox2->Items()->Delete(selected);
  RefillColumnLists();
  CurrentColumn = ListBox2->ItemIndex();
  key = 0;
}

// ---- Relations ----------------------------------------------------------------------------------

int TEditTableDlg::RelationCount() const {
  const int rows = StringGrid1->RowCount() - 1;
  if (rows == 1 && StringGrid1->Cells(0, 1).empty() && StringGrid1->Cells(1, 1).empty() &&
      StringGrid1->Cells(2, 1).empty())
    return 0;
  return rows;
}

void TEditTableDlg::FillRelationColumns() {
  ComboBox2->Items()->Clear();
  const int i = ComboBox1->Items()->IndexOf(ComboBox1->Text());
  auto* folder = i >= 0 ? static_cast<CRuleFolder*>(ComboBox1->Items()->Objects(i)) : nullptr;
  CCapInfoList* columns = folder ? folder->GetCapInfoList() : nullptr;
  if (!columns) return;
  const AnsiString table = folder->GetTableName();
  for (int k = 0; k < columns->Count(); ++k) {
    const AnsiString& name = columns->GetItem(k)->Name;
    if (GetTablePart(name) == table && GetFieldPart(name) != REC_ID_COLUMN) ComboBox2->Items()->Add(GetFieldPart(name));
  }
}

void TEditTableDlg::ComboBox1Change(TObject*) { FillRelationColumns(); }

void TEditTableDlg::StringGrid1Click(TObject*) {
  const int row = StringGrid1->Row();
  if (row < 1 || row > RelationCount()) return;
  ComboBox3->SetItemIndex(ComboBox3->Items()->IndexOf(StringGrid1->Cells(0, row)));
  ComboBox3->SetText(StringGrid1->Cells(0, row));
  ComboBox1->SetItemIndex(ComboBox1->Items()->IndexOf(StringGrid1->Cells(1, row)));
  ComboBox1->SetText(StringGrid1->Cells(1, row));
  FillRelationColumns();
  ComboBox2->SetItemIndex(ComboBox2->Items()->IndexOf(StringGrid1->Cells(2, row)));
  ComboBox2->SetText(StringGrid1->Cells(2, row));
}

void TEditTableDlg::Button2Click(TObject*) {
  const AnsiString own = ComboBox3->Text(), table = ComboBox1->Text(), column = ComboBox2->Text();
  if (own.empty() || table.empty() || column.empty()) return;
  const int count = RelationCount();
  for (int r = 1; r <= count; ++r) {
    if (StringGrid1->Cells(0, r) == own && StringGrid1->Cells(1, r) == table) {
      StringGrid1->SetCells(2, r, column);
      StringGrid1->SetRow(r);
      return;
    }
  }
  const int row = count + 1;
  if (row >= StringGrid1->RowCount()) StringGrid1->SetRowCount(row + 1);
  StringGrid1->SetCells(0, row, own);
  StringGrid1->SetCells(1, row, table);
  StringGrid1->SetCells(2, row, column);
  StringGrid1->SetRow(row);
}

void TEditTableDlg::Button4Click(TObject*) {
  const int count = RelationCount();
  const int row = StringGrid1->Row();
  if (count == 0 || row < 1 || row > count) return;
  for (int r = row; r < count; ++r)
    for (int c = 0; c < 3; ++c) StringGrid1->SetCells(c, r, StringGrid1->Cells(c, r + 1));
  if (count == 1) {
    for (int c = 0; c < 3; ++c) StringGrid1->SetCells(c, 1, AnsiString());
  } else {
    StringGrid1->SetRowCount(count);
  }
}

// ---- Icons and the sub-folder order --------------------------------------------------------------

void TEditTableDlg::ImageCBDrawItem(TWinControl* control, int index, TRect rect, TOwnerDrawState) {
  DrawIconItem(static_cast<TComboBox*>(control), ImageList, index, rect);
}

void TEditTableDlg::ListBox1MouseDown(TObject*, TMouseButton button, TShiftState, int x, int y) {
  OrderListMouseDown(ListBox1, button, x, y);
}

void TEditTableDlg::ListBox1DragOver(TObject* sender, TObject* source, int x, int y, TDragState state, bool& accept) {
  OrderListDragOver(ListBox1, sender, source, x, y, state, LastDragY, accept);
}

void TEditTableDlg::ListBox1DragDrop(TObject* sender, TObject* source, int x, int y) {
  OrderListDragDrop(ListBox1, sender, source, x, y);
}

// ---- Confirming and reading back ----------------------------------------------------------------

void TEditTableDlg::OKBtnClick(TObject*) {
  // The name of an existing table cannot be edited here, so only a new one is checked.
  if (NewTable) {
    AnsiString table = Edit1->Text();
    if (!SettleWord(this, table, "表名")) return;
    Edit1->SetText(table);
    if (ExistingTables && ExistingTables->IndexOf(table) >= 0) {
      ReportError(SJ("表名 %s は、既に存在します。").c_str(), table.c_str());
      return;
    }
  }
  if (Edit2->Text().empty()) {
    ReportError("%s", SJ("ファイル名がありません。").c_str());
    return;
  }
  const AnsiString file = GetDataFileName();
  if (!IsRemoteName(file.c_str()) && !FileExists(file) && ListBox2->Items()->Count() == 0) {
    ReportError("%s", SJ("項目がありません。").c_str());
    return;
  }
  SetModalResult(mrOk);
}

AnsiString TEditTableDlg::GetDataFileName() const {
  const AnsiString file = Edit2->Text();
  const size_t slash = file.rfind('/');
  const size_t dot = file.rfind('.');
  if (dot == AnsiString::npos || (slash != AnsiString::npos && dot < slash)) return file + ".kvr";
  return file.substr(0, dot) + ".kvr";
}

void TEditTableDlg::GetColumns(CRuleFolderTbl* folder, TStrings& names, TStrings& types, TStrings& options) {
  StoreColumnSettings(CurrentColumn);
  folder->TableName = Edit1->Text();
  folder->DataFile = GetDataFileName();
  folder->Name = Edit3->Text();
  folder->ClosedImage = IconIndexOf(Image0CB, shownClosed_);
  folder->OpenImage = IconIndexOf(Image1CB, shownOpen_);
  folder->Relations.Clear();
  for (int r = 1; r <= RelationCount(); ++r) {
    if (StringGrid1->Cells(0, r).empty() || StringGrid1->Cells(1, r).empty() || StringGrid1->Cells(2, r).empty())
      continue;
    folder->Relations.Add(StringGrid1->Cells(0, r));
    folder->Relations.Add(StringGrid1->Cells(1, r) + "." + StringGrid1->Cells(2, r));
  }
  for (int k = 0; k < ListBox2->Items()->Count(); ++k) {
    const int i = ListIndexOf(k);
    if (i < 0) continue;
    const AnsiString type = i < ColumnTypes.Count() && !ColumnTypes[i].empty() ? ColumnTypes[i] : AnsiString("string");
    names.AddObject(ColumnNames[i], reinterpret_cast<void*>(static_cast<intptr_t>(FieldTypeFromName(type))));
    types.Add(type);
    options.Add(i < ColumnOptions.Count() ? ColumnOptions[i] : AnsiString());
  }
}
