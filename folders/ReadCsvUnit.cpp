#include "folders/ReadCsvUnit.h"

#include <algorithm>
#include <memory>

#include "folders/FolderDialogParts.h"
#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "foundation/LogForm.h"
#include "query/CsvFile.h"

namespace {

template <class T>
T* Put(TForm* form, TWinControl* parent) {
  auto* c = new T(form);
  c->SetParent(parent);
  return c;
}

TLabel* PutLabel(TForm* form, TWinControl* parent, const AnsiString& caption, int left, int top) {
  auto* l = Put<TLabel>(form, parent);
  l->SetCaption(caption);
  l->SetLeft(left);
  l->SetTop(top);
  return l;
}

// A number typed into an edit, stepped by an up-down beside it.
TUpDown* PutNumber(TForm* form, TWinControl* parent, TEdit*& edit, int left, int top, int min, int max, int value) {
  edit = Put<TEdit>(form, parent);
  edit->SetBounds(left, top, 56, 21);
  auto* ud = Put<TUpDown>(form, parent);
  ud->SetBounds(left + 56, top, 17, 21);
  ud->SetMin(min);
  ud->SetMax(max);
  ud->SetPosition(value);
  ud->SetAssociate(edit);
  return ud;
}

// The directory part of a path: up to its last "/", which a trail byte never is.
AnsiString DirectoryPart(const AnsiString& path) {
  const size_t slash = path.rfind('/');
  if (slash == AnsiString::npos) return AnsiString();
  return path.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace

TReadCsvDlg::TReadCsvDlg(TComponent* owner) : TForm(owner), ColumnMap(new TStringList) {
  SetCaption(SJ("CSV 取込"));
  SetPosition(poOwnerFormCenter);
  Constraints.MinWidth = 620;
  Constraints.MinHeight = 300;
  SetClientWidth(620);
  SetClientHeight(300);

  Panel1 = Put<TPanel>(this, this);
  Panel1->SetAlign(alBottom);
  Panel1->SetBevelOuter(bvNone);
  Panel1->SetHeight(89);

  StringGrid1 = Put<TStringGrid>(this, this);
  StringGrid1->SetAlign(alClient);
  StringGrid1->SetColCount(2);
  StringGrid1->SetRowCount(2);
  StringGrid1->SetFixedCols(0);
  StringGrid1->SetFixedRows(1);
  StringGrid1->SetDefaultRowHeight(20);
  StringGrid1->SetOptions(goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect | goColSizing |
                          goColMoving);
  StringGrid1->TabStop = true;

  // Three rows: the file, the records to import with the buttons, and the filter, which is taken
  // off as a whole when no filter is offered.
  Label3 = PutLabel(this, Panel1, SJ("ファイル名"), 8, 12);
  Edit3 = Put<TEdit>(this, Panel1);
  Edit3->SetBounds(72, 8, 449, 21);
  Edit3->SetAnchors(akLeft | akTop | akRight);
  Button1 = Put<TButton>(this, Panel1);
  Button1->SetCaption(SJ("参照"));
  Button1->SetBounds(529, 6, 75, 25);
  Button1->SetAnchors(akTop | akRight);

  Label1 = PutLabel(this, Panel1, SJ("開始行"), 8, 40);
  UpDown1 = PutNumber(this, Panel1, Edit1, 72, 36, 1, 32767, 1);
  Label2 = PutLabel(this, Panel1, SJ("取込行数"), 168, 40);
  UpDown2 = PutNumber(this, Panel1, Edit2, 232, 36, -1, 32767, -1);
  OKBtn = Put<TButton>(this, Panel1);
  OKBtn->SetCaption(SJ("開始"));
  OKBtn->ModalResult = mrOk;
  OKBtn->SetBounds(448, 34, 75, 25);
  OKBtn->SetAnchors(akTop | akRight);
  CancelBtn = Put<TButton>(this, Panel1);
  CancelBtn->SetCaption(SJ("キャンセル"));
  CancelBtn->ModalResult = mrCancel;
  CancelBtn->Cancel = true;
  CancelBtn->SetBounds(529, 34, 75, 25);
  CancelBtn->SetAnchors(akTop | akRight);

  Label7 = PutLabel(this, Panel1, SJ("フィルタ"), 8, kFilterRowTop + 4);
  ComboBox2 = Put<TComboBox>(this, Panel1);
  ComboBox2->Style = csDropDownList;
  ComboBox2->SetBounds(72, kFilterRowTop, 177, 21);
  for (const AnsiString& item : {SJ("なし"), SJ("sendmail ログ"), SJ("apache アクセス・ログ")})
    ComboBox2->Items()->Add(item);
  ComboBox2->SetItemIndex(0);

  // The reader's other settings: never shown, so every import takes these values.
  Label4 = PutLabel(this, Panel1, SJ("区切り文字"), 264, kFilterRowTop + 4);
  ComboBox1 = Put<TComboBox>(this, Panel1);
  ComboBox1->Style = csDropDownList;
  ComboBox1->SetBounds(328, kFilterRowTop, 65, 21);
  for (const AnsiString& item : {SJ("カンマ"), SJ("タブ"), SJ("空白")}) ComboBox1->Items()->Add(item);
  ComboBox1->SetItemIndex(0);
  Label5 = PutLabel(this, Panel1, SJ("文字列指示文字組"), 400, kFilterRowTop + 4);
  Edit4 = Put<TEdit>(this, Panel1);
  Edit4->SetBounds(500, kFilterRowTop, 41, 21);
  Edit4->SetText(CCsvFile::kImportQuotePairs);
  Label6 = PutLabel(this, Panel1, SJ("単位行数"), 400, kFilterRowTop + 4);
  UpDown3 = PutNumber(this, Panel1, Edit5, 460, kFilterRowTop, 1, 100, 1);
  for (TControl* c : std::initializer_list<TControl*>{Label4, ComboBox1, Label5, Edit4, Label6, Edit5, UpDown3})
    c->SetVisible(false);

  OpenDialog1 = new TOpenDialog(this);
  OpenDialog1->Filter = SJ("CSVファイル (*.csv)|*.csv|すべてのファイル (*.*)|*.*");
  OpenDialog1->Options = ofHideReadOnly | ofNoChangeDir | ofFileMustExist | ofEnableSizing;

  ActionList1 = new TActionList(this);
  SkipCol = new TAction(this);
  SkipCol->SetCaption(SJ("読み飛ばし"));
  SkipCol->SetActionList(ActionList1);
  StartRow = new TAction(this);
  StartRow->SetCaption(SJ("開始行"));
  StartRow->SetActionList(ActionList1);
  PopupMenu1 = new TPopupMenu(this);
  for (TAction* action : {SkipCol, StartRow}) {
    auto* item = new TMenuItem(PopupMenu1);
    item->SetAction(action);
    PopupMenu1->Items()->Add(item);
  }
  StringGrid1->SetPopupMenu(PopupMenu1);

  // Tab order: the file first, then the numbers, the filter and the buttons.
  int order = 0;
  for (TWinControl* c : std::initializer_list<TWinControl*>{Edit3, Button1, Edit1, Edit2, ComboBox2, OKBtn, CancelBtn})
    c->SetTabOrder(order++);
  for (TWinControl* c : std::initializer_list<TWinControl*>{Edit3, Button1, Edit1, Edit2, ComboBox2, OKBtn, CancelBtn})
    c->TabStop = true;

  OnShow = [this](TObject* s) { FormShow(s); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Edit3->OnKeyPress = [this](TObject* s, char& key) { Edit3KeyPress(s, key); };
  ComboBox2->OnChange = [this](TObject* s) { ComboBox2Change(s); };
  StringGrid1->OnColumnMoved = [this](TObject* s, int from, int to) { StringGrid1ColumnMoved(s, from, to); };
  StringGrid1->OnContextPopup = [this](TObject* s, TPoint p, bool& handled) { StringGrid1ContextPopup(s, p, handled); };
  SkipCol->OnExecute = [this](TObject* s) { SkipColExecute(s); };
  StartRow->OnExecute = [this](TObject* s) { StartRowExecute(s); };
}

TReadCsvDlg::~TReadCsvDlg() {
  Destroying();
  delete ColumnMap;
}

// ---- Settings ----------------------------------------------------------------------------------

void TReadCsvDlg::SetFolder(CRuleFolder* folder) {
  SettingsFolder = folder;
  if (!folder) return;
  if (GetKeyState(VK_RSHIFT) < 0) folder->SetImportDir(AnsiString());
  TableName = folder->GetTableName();

  int n = 0;
  if (CCapInfoList* columns = folder->MakeDefaultCapInfoList()) {
    for (int i = 0; i < columns->Count(); ++i) {
      CCapInfo* column = columns->GetItem(i);
      if (GetTablePart(column->Name) != TableName || GetFieldPart(column->Name) == REC_ID_COLUMN) continue;
      StringGrid1->SetColCount(std::max(StringGrid1->ColCount(), n + 1));
      StringGrid1->SetCells(n, 0, column->Caption);
      StringGrid1->SetObjects(n, 0, column);
      StringGrid1->SetColWidths(n, column->Width);
      ++n;
    }
  }
  StringGrid1->SetColCount(n);

  OpenDialog1->InitialDir = folder->GetImportDir();  // empty: the current directory
  SetClientWidth(CancelBtn->Left() + CancelBtn->Width() + 16);
  SetClientHeight(CancelBtn->Top() + CancelBtn->Height() + 10);

  if (FiltersOffered) {
    const int filter = folder->GetImportFilter();
    ComboBox2->SetItemIndex(filter >= 0 && filter < ComboBox2->Items()->Count() ? filter : 0);
    if (ComboBox2->ItemIndex() != 0) OpenDialog1->FilterIndex = 2;
  }
  while (ComboBox2->Items()->Count() > 3) ComboBox2->Items()->Delete(ComboBox2->Items()->Count() - 1);
}

void TReadCsvDlg::StoreSettings(CRuleFolder* folder) {
  if (!folder) return;
  folder->SetImportFilter(ComboBox2->ItemIndex());
  folder->SetImportDir(GetKeyState(VK_RSHIFT) < 0 ? AnsiString() : DirectoryPart(Edit3->Text()));
}

int TReadCsvDlg::GetSkipCount() { return UpDown1->Position() - 1; }

int TReadCsvDlg::GetRowLimit() { return UpDown2->Position(); }

TStrings* TReadCsvDlg::GetColumnMap() {
  ColumnMap->Clear();
  for (int i = 0; i < StringGrid1->ColCount(); ++i)
    if (auto* column = static_cast<CCapInfo*>(StringGrid1->Objects(i, 0)))
      ColumnMap->AddObject(GetFieldPart(column->Name), reinterpret_cast<void*>(intptr_t(i)));
  return ColumnMap;
}

// ---- Handlers ----------------------------------------------------------------------------------

void TReadCsvDlg::FormShow(TObject*) {
  if (ItemCreation) SetCaption(SJ("CSV 項目作成"));
  if (!FiltersOffered) {
    const int lost = Panel1->Height() - kFilterRowTop;
    Panel1->SetHeight(Panel1->Height() - lost);
    SetClientHeight(Height() - lost);
  }
}

void TReadCsvDlg::Button1Click(TObject*) {
  if (!OpenDialog1->Execute()) return;
  Edit3->SetText(OpenDialog1->FileName);
  LoadCsvPreview(this);
}

void TReadCsvDlg::Edit3KeyPress(TObject*, char& key) {
  if (key != '\r') return;
  key = 0;
  LoadCsvPreview(this);
}

void TReadCsvDlg::ComboBox2Change(TObject*) {
  if (ComboBox2->ItemIndex() != 0) OpenDialog1->FilterIndex = 2;
}

void TReadCsvDlg::StringGrid1ColumnMoved(TObject*, int from, int to) {
  // The grid moved the whole column; the data go back, so only the heading has moved.
  const int step = from > to ? 1 : -1;
  for (int row = StringGrid1->RowCount() - 1; row >= 1; --row)
    for (int c = to; c != from; c += step) {
      const AnsiString text = StringGrid1->Cells(c, row);
      StringGrid1->SetCells(c, row, StringGrid1->Cells(c + step, row));
      StringGrid1->SetCells(c + step, row, text);
    }
}

void TReadCsvDlg::StringGrid1ContextPopup(TObject*, TPoint mousePos, bool&) {
  int col = -1, row = -1;
  StringGrid1->MouseToCell(mousePos.x, mousePos.y, col, row);
  SkipCol->SetEnabled(col >= 0 && row == 0);
  StartRow->SetEnabled(col >= 0 && row > 0);
  if (col < 0) return;
  if (row == 0)
    StringGrid1->SetSelection({col, 1, col, StringGrid1->RowCount() - 1});
  else
    StringGrid1->SetSelection({col, row, col, row});
}

void TReadCsvDlg::SkipColExecute(TObject*) {
  const int col = StringGrid1->Selection().Left;
  auto* column = static_cast<CCapInfo*>(StringGrid1->Objects(col, 0));
  const AnsiString heading = StringGrid1->Cells(col, 0);
  StringGrid1->SetCells(col, 0, AnsiString());
  StringGrid1->SetObjects(col, 0, nullptr);
  if (!column) return;
  const int last = StringGrid1->ColCount();
  StringGrid1->SetColCount(last + 1);
  StringGrid1->SetCells(last, 0, heading);
  StringGrid1->SetObjects(last, 0, column);
  StringGrid1->SetColWidths(last, column->Width);
}

void TReadCsvDlg::StartRowExecute(TObject*) { UpDown1->SetPosition(StringGrid1->Selection().Top); }

// ---- The reader and the preview ----------------------------------------------------------------

CCsvFile* CreateCsvReader(TReadCsvDlg* dialog) {
  auto reader = std::make_unique<CCsvFile>();
  if (!reader->Open(dialog->Edit3->Text(), "rb")) return nullptr;
  switch (dialog->ComboBox1->ItemIndex()) {
    case 0: reader->Separator = ','; break;
    case 1: reader->Separator = '\t'; break;
    default: reader->Separator = ' '; break;
  }
  if (!dialog->Edit4->Text().empty()) reader->QuotePairs = dialog->Edit4->Text();
  reader->RowsPerRecord = dialog->UpDown3->Position();
  if (dialog->FiltersOffered) reader->FileFormat = dialog->ComboBox2->ItemIndex();
  return reader.release();
}

void LoadCsvPreview(TReadCsvDlg* dialog) {
  std::unique_ptr<CCsvFile> reader(CreateCsvReader(dialog));
  if (!reader) {
    ReportError(SJ("ファイル %s がありません。").c_str(), dialog->Edit3->Text().c_str());
    return;
  }
  TStringGrid* grid = dialog->StringGrid1;
  const int last = dialog->ItemCreation ? TReadCsvDlg::kPreviewRecords + 1 : TReadCsvDlg::kPreviewRecords;
  const int first = dialog->ItemCreation ? 0 : 1;
  grid->SetRowCount(last + 1);
  // A file without records left the heading row alone, and with it no fixed row.
  grid->SetFixedRows(1);
  HourGlass wait;
  TStringList fields;
  for (int row = first; row <= last; ++row) {
    fields.Clear();
    if (!reader->ReadRecord(&fields)) {
      grid->SetRowCount(dialog->ItemCreation && row == 1 ? 2 : row);
      break;
    }
    if (fields.Count() > grid->ColCount()) grid->SetColCount(fields.Count());
    // What an earlier file left in the row goes, so no column shows another file's data.
    for (int c = 0; c < grid->ColCount(); ++c) {
      grid->SetCells(c, row, c < fields.Count() ? fields[c] : AnsiString());
      if (row == 0) grid->SetObjects(c, row, nullptr);
    }
  }
}
