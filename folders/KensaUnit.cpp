#include "folders/KensaUnit.h"

#include <algorithm>
#include <cstdint>

#include "folders/DbFolder.h"
#include "folders/FolderDialogParts.h"
#include "folders/KensaTh.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "foundation/CvMessageUnit.h"
#include "foundation/LogForm.h"
#include "foundation/StringsList.h"
#include "platform/SysUtils.h"
#include "query/CondText.h"
#include "query/DbHandle.h"
#include "views/EditForm.h"

namespace {

constexpr int kClientWidth = 512;
constexpr int kMargin = 15;

TButton* MakeButton(TKensaDlg* form, const char* caption, int left, int top) {
  auto* button = new TButton(form);
  button->SetParent(form);
  button->SetCaption(Utf8ToSjis(caption));
  button->SetBounds(left, top, 75, 25);
  return button;
}

TAlignment AlignmentOf(const CCapInfo* column) {
  return column->Alignment == 1 ? taCenter : column->Alignment == 2 ? taRightJustify : taLeftJustify;
}

void ShrinkSheet(TKelmGrid* sheet) {
  sheet->SetColCount(2);
  sheet->SetRowCount(2);
}

}  // namespace

TKensaDlg::TKensaDlg(TComponent* owner)
    : TForm(owner), rows_(std::make_unique<CStringsList>()), columns_(std::make_unique<CCapInfoList>()) {
  SetCaption(SJ("関連付けの検査"));
  SetBorderStyle(bsDialog);
  SetPosition(poOwnerFormCenter);
  SetClientWidth(kClientWidth);
  SetClientHeight(240);

  StringGrid1 = new TStringGrid(this);
  StringGrid1->SetParent(this);
  StringGrid1->SetColCount(3);
  StringGrid1->SetRowCount(8);
  StringGrid1->SetFixedCols(0);
  StringGrid1->SetFixedRows(1);
  StringGrid1->SetDefaultColWidth(158);
  StringGrid1->SetDefaultRowHeight(20);
  StringGrid1->SetOptions(StringGrid1->Options() | goRowSelect);
  StringGrid1->SetScrollBars(ssNone);
  StringGrid1->SetBounds(kMargin, 8, kClientWidth - 2 * kMargin, 150);
  StringGrid1->TabStop = true;
  StringGrid1->SetCells(0, 0, SJ("　　　　　　項目"));
  StringGrid1->SetCells(1, 0, SJ("　　　　関連付ける表"));
  StringGrid1->SetCells(2, 0, SJ("　　　　関連付ける項目"));

  const auto count = [this](const char* caption, int left, TLabel*& label, TEdit*& edit) {
    label = new TLabel(this);
    label->SetParent(this);
    label->SetCaption(Utf8ToSjis(caption));
    label->SetLeft(left);
    label->SetTop(172);
    edit = new TEdit(this);
    edit->SetParent(this);
    edit->SetBounds(left + label->Width() + 6, 168, 90, 22);
    edit->SetReadOnly(true);
    edit->TabStop = true;
    return edit->Left() + edit->Width();
  };
  const int right = count("検査済", kMargin, Label1, Edit1);
  count("関連付け無し", right + 24, Label2, Edit2);

  const int top = 203, step = 81, last = kClientWidth - kMargin - 75;
  StartBtn = MakeButton(this, "開始", last - 3 * step, top);
  StartBtn->Default = true;
  StopBtn = MakeButton(this, "中止", last - 2 * step, top);
  StopBtn->SetEnabled(false);
  EditBtn = MakeButton(this, "編集", last - step, top);
  EditBtn->SetEnabled(false);
  CloseBtn = MakeButton(this, "閉じる", last, top);
  CloseBtn->Cancel = true;
  CloseBtn->ModalResult = mrCancel;

  OnShow = [this](TObject* s) { FormShow(s); };
  OnCloseQuery = [this](TObject* s, bool& can) { FormCloseQuery(s, can); };
  StringGrid1->OnClick = [this](TObject* s) { StringGrid1Click(s); };
  StartBtn->OnClick = [this](TObject* s) { StartBtnClick(s); };
  StopBtn->OnClick = [this](TObject* s) { StopBtnClick(s); };
  EditBtn->OnClick = [this](TObject* s) { EditBtnClick(s); };
}

TKensaDlg::~TKensaDlg() {
  Destroying();
  // The worker appends to the lists and writes into the boxes of this dialog until its end.
  if (worker_) worker_->Terminate();
  while (worker_) {
    CheckSynchronize();
    Sleep(1);
  }
}

// ---- Binding -------------------------------------------------------------------------------------

bool TKensaDlg::SetFolder(CDbFolder* folder) {
  folder_ = folder;
  CRuleFolder* f = folder ? folder->Folder : nullptr;
  while (f && f->GetTypeName() != "table") f = f->Parent;
  if (!f) return false;
  auto* table = static_cast<CRuleFolderTbl*>(f);
  const TStrings& relations = table->Relations;
  if (relations.Count() < 2) {
    CvMessageBox(SJ("関連付けはありません"), Application->Title(), 0, this);
    return false;
  }
  table_ = table;
  const int pairs = relations.Count() / 2;
  StringGrid1->SetRowCount(pairs + 1);
  for (int p = 0; p < pairs; ++p) {
    const AnsiString& item = relations[2 * p + 1];
    StringGrid1->SetCells(0, p + 1, relations[2 * p]);
    StringGrid1->SetCells(1, p + 1, GetTablePart(item));
    StringGrid1->SetCells(2, p + 1, GetFieldPart(item));
  }
  StringGrid1->SetRow(1);
  StringGrid1->SetSelection(TGridRect{0, 1, 2, 1});
  return true;
}

// ---- The window ----------------------------------------------------------------------------------

void TKensaDlg::UpdateButtons() {
  const bool idle = worker_ == nullptr;
  CloseBtn->SetEnabled(idle);
  StartBtn->SetEnabled(idle);
  EditBtn->SetEnabled(idle && rows_->Count() > 0);
  StopBtn->SetEnabled(!idle);
}

void TKensaDlg::FormShow(TObject*) {
  Edit1->SetText(AnsiString());
  Edit2->SetText(AnsiString());
  UpdateButtons();
}

void TKensaDlg::FormCloseQuery(TObject*, bool& canClose) {
  canClose = worker_ == nullptr;
  if (canClose) return;
  // The window goes once the worker has stopped; its end handler closes it.
  closeWanted_ = true;
  worker_->Terminate();
}

// ---- The check -----------------------------------------------------------------------------------

bool TKensaDlg::MakeColumns() {
  columns_->Clear();
  CDbHandle* handle = table_->GetDbHandle();
  if (!handle) return false;
  const AnsiString& table = table_->TableName;
  const AnsiString checked = UnqualifyColumnName(table, table_->Relations[pairIndex_]);
  TStringList names, types;
  handle->GetColumnTypes(table, names, &types);
  for (int i = 0; i < names.Count(); ++i) {
    const AnsiString type = i < types.Count() ? types[i] : AnsiString();
    auto* info = new CCapInfo;
    info->Name = table + "." + names[i];
    info->Caption = names[i];
    info->Type = type == "int" ? 1 : type == "real" ? 2 : 0;
    info->DeclaredType = FieldTypeFromName(type);
    info->Editable = false;
    info->Shown = true;
    if (i > 0 && names[i] == checked) {
      info->Editable = true;
      columns_->Insert(0, info);
    } else {
      columns_->Add(info);
    }
  }
  return true;
}

void TKensaDlg::StartBtnClick(TObject*) {
  if (!table_ || worker_) return;
  pairIndex_ = 2 * StringGrid1->Row() - 2;
  if (pairIndex_ < 0 || pairIndex_ + 1 >= table_->Relations.Count()) return;
  if (!MakeColumns()) return;
  auto* worker = new TKensaTh(true);
  worker->FreeOnTerminate = true;
  worker->OnTerminate = [this](TObject* s) { ThreadEnded(s); };
  worker->Edit1 = Edit1;
  worker->Edit2 = Edit2;
  rows_->DeleteAll();
  rows_->ColumnList = columns_.get();
  worker->SetTarget(table_, rows_.get(), columns_.get(), pairIndex_);
  worker_ = worker;
  // The counts of an earlier check do not stand for this one.
  Edit1->SetText(AnsiString());
  Edit2->SetText(AnsiString());
  UpdateButtons();
  // Errors of the lookups arise on the worker: they must not open boxes one after another.
  savedErrorQuiet_ = ErrorQuiet.exchange(true);
  worker->Start();
}

void TKensaDlg::StopBtnClick(TObject*) {
  if (worker_) worker_->Terminate();
}

void TKensaDlg::ThreadEnded(TObject*) {
  worker_ = nullptr;
  ErrorQuiet = savedErrorQuiet_;
  UpdateButtons();
  if (closeWanted_) {
    closeWanted_ = false;
    Close();
  }
}

// ---- Editing the records found -------------------------------------------------------------------

void TKensaDlg::FillSheet() {
  TKelmGrid* sheet = EditDlg->Sheet;
  sheet->ClearUndo();
  sheet->SetRowCount(rows_->Count() + 1);
  int shown = 0;
  for (int i = 0; i < columns_->Count(); ++i) {
    columns_->GetItem(i)->Position = i;
    if (columns_->GetItem(i)->Shown) ++shown;
  }
  sheet->SetColCount(shown + 1);
  sheet->SetFixedCols(1);
  sheet->SetRowHeights(0, sheet->DefaultRowHeight());
  sheet->SetRowHeights(1, sheet->DefaultRowHeight());
  int c = 1;
  for (int i = 0; i < columns_->Count(); ++i) {
    const CCapInfo* info = columns_->GetItem(i);
    if (!info->Shown) continue;
    sheet->SetObjects(c, 0, reinterpret_cast<void*>(intptr_t(i)));
    sheet->SetCells(c, 0, info->Caption);
    TGridColumn* look = sheet->GridColumns()->Items(c);
    // A heading wider than the column (the record id's) widens it rather than being cut.
    TCanvas* canvas = sheet->Canvas();
    canvas->Font()->Assign(*look->FixCellFont());
    sheet->SetColWidths(c, std::max(info->Width, canvas->TextWidth(info->Caption) + 8));
    look->CanEdit = info->Editable;
    look->MultiLine = true;
    look->SetAlignment(AlignmentOf(info));
    ++c;
  }
  sheet->AdjustRowHeight(0);
  for (int r = 0; r < rows_->Count(); ++r) {
    const TStrings* row = rows_->Row(r);
    sheet->SetObjects(0, r + 1, reinterpret_cast<void*>(intptr_t(r)));
    for (int col = 1; col < sheet->ColCount(); ++col) {
      const auto at = reinterpret_cast<intptr_t>(sheet->Objects(col, 0));
      sheet->SetCells(col, r + 1, at >= 0 && at < row->Count() ? TCandForm::LfToCrLf((*row)[int(at)]) : AnsiString());
    }
    sheet->AdjustRowHeight(r + 1);
  }
}

int TKensaDlg::WriteSheet() {
  TKelmGrid* sheet = EditDlg->Sheet;
  const int id = IndexOfRecIdColumn(columns_.get(), table_->TableName);
  int failed = 0;
  for (int r = 1; r < sheet->RowCount(); ++r) {
    const auto index = reinterpret_cast<intptr_t>(sheet->Objects(0, r));
    if (index < 0 || index >= rows_->Count()) continue;
    TStrings* row = rows_->Row(int(index));
    // Only the changed texts go back, with the record id that names the record: a column the
    // user did not touch keeps whatever it holds now.
    CCapInfoList changed;
    changed.OwnsItems = false;
    TStringList values;
    for (int c = 1; c < sheet->ColCount(); ++c) {
      const auto at = reinterpret_cast<intptr_t>(sheet->Objects(c, 0));
      if (at < 0 || at >= row->Count() || at == id) continue;
      const AnsiString text = TCandForm::CrLfToLf(sheet->Cells(c, r));
      if (text == (*row)[int(at)]) continue;
      row->SetString(int(at), text);
      changed.Add(columns_->GetItem(int(at)));
      values.Add(text);
    }
    if (changed.Count() == 0) continue;
    bool written = false;
    if (id >= 0 && id < row->Count()) {
      changed.Add(columns_->GetItem(id));
      values.Add((*row)[id]);
      written = table_->UpdateRecord(&changed, values);
    }
    changed.TList::Clear();
    if (written)
      ++editCount_;
    else
      ++failed;
  }
  return failed;
}

void TKensaDlg::EditBtnClick(TObject*) {
  if (rows_->Count() == 0 || !EditDlg || !table_ || worker_) return;
  TKelmGrid* sheet = EditDlg->Sheet;
  FillSheet();
  EditDlg->SetCaption(SJ("データの編集"));
  for (;;) {
    // The edit dialog lets go of its sources when it closes.
    EditDlg->Folder = folder_;
    EditDlg->ListGrid = nullptr;
    EditDlg->CapList = columns_.get();
    if (EditDlg->ShowModal() != mrOk) {
      ShrinkSheet(sheet);
      return;
    }
    if (table_->Lock()) break;
    CvMessageBox(SJ("他で処理中なので、更新ができません。"), Application->Title(), 0, this);
  }
  int failed;
  {
    HourGlass wait;
    failed = WriteSheet();
    ShrinkSheet(sheet);
    table_->Unlock();
  }
  if (failed > 0) CvMessageBox(SJ("データの更新時にエラーが発生しました。"), Application->Title(), 0, this);
  rows_->DeleteAll();
  Edit1->SetText(AnsiString());
  Edit2->SetText(AnsiString());
  UpdateButtons();
}
