// The record commands of the list: editing and adding records, the card window's write-backs,
// importing into the selected folder, deleting the marked records and freezing list columns or
// rows. Every write goes through the listed folder's node while its update lock is held.
#include <algorithm>
#include <cstdint>

#include "folders/DbFolder.h"
#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "foundation/CvMessageUnit.h"
#include "foundation/LogForm.h"
#include "foundation/StringsList.h"
#include "mainwin/MainForm.h"
#include "platform/SysUtils.h"
#include "query/CondText.h"
#include "views/EditForm.h"

namespace {

CDbFolder* FolderOf(TTreeNode* node) { return node ? static_cast<CDbFolder*>(node->Data) : nullptr; }

AnsiString TableOf(CDbFolder* folder) { return folder && folder->Folder ? folder->Folder->GetTableName() : AnsiString(); }

// The lock of a folder for the life of the scope.
class FolderLock {
 public:
  explicit FolderLock(CDbFolder* folder) : folder_(folder), held_(folder->Lock()) {}
  ~FolderLock() {
    if (held_) folder_->Unlock();
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  bool Held() const { return held_; }

 private:
  CDbFolder* folder_;
  bool held_;
};

}  // namespace

// ---- Texts and rows ------------------------------------------------------------------------------

void SelectedRowIndexes(TStringGridEx* grid, TList* out) {
  for (int r = 1; r < grid->RowCount(); ++r)
    if (grid->GetRowSelects(r)) out->Add(reinterpret_cast<void*>(intptr_t(r - 1)));
}

AnsiString LfToCrLf(const AnsiString& text) {
  AnsiString out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

AnsiString CrLfToLf(const AnsiString& text) {
  AnsiString out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] == '\n')) continue;
    out += text[i];
  }
  return out;
}

// ---- Writing one row -----------------------------------------------------------------------------

void CollectChanges(const std::vector<EditedCell>& cells, const TStrings* base, const AnsiString& table,
                    bool anyColumn, CCapInfoList& columns, TStringList& values) {
  for (const EditedCell& cell : cells) {
    CCapInfo* column = cell.column;
    if (!column || (!anyColumn && !column->Editable)) continue;
    if (GetTablePart(column->Name) != table || GetFieldPart(column->Name) == REC_ID_COLUMN) continue;
    const int at = column->Position;
    const AnsiString& old = base && at >= 0 && at < base->Count() ? (*base)[at] : AnsiString();
    const AnsiString text = CrLfToLf(cell.text);
    if (text == old) continue;
    columns.Add(column);
    values.Add(text);
  }
}

int WriteEditedRow(CDbFolder* folder, CCapInfoList* listColumns, const TStrings* base,
                   const std::vector<EditedCell>& cells) {
  const AnsiString table = TableOf(folder);
  CCapInfoList changed;
  changed.OwnsItems = false;
  TStringList values;
  CollectChanges(cells, base, table, base == nullptr, changed, values);
  int result = 1;
  if (changed.Count() == 0) {
    result = 0;
  } else if (!base) {
    result = folder->InsertRecord(&changed, values) ? 1 : -1;
  } else {
    const int k = IndexOfRecIdColumn(listColumns, table);
    if (k < 0 || k >= base->Count()) {
      result = -1;
    } else {
      changed.Add(listColumns->GetItem(k));
      values.Add((*base)[k]);
      result = folder->UpdateRecord(&changed, values) ? 1 : -1;
    }
  }
  changed.TList::Clear();
  return result;
}

void WriteSheetRows(TStringGrid* sheet, CDbFolder* folder, CCapInfoList* columns, CStringsList* rows, bool adding,
                    std::vector<int>& failed) {
  for (int r = 1; r < sheet->RowCount(); ++r) {
    const auto index = reinterpret_cast<intptr_t>(sheet->Objects(0, r)) - 1;
    if (index < -1 || index >= rows->Count() || (index < 0 && !adding)) continue;
    std::vector<EditedCell> cells;
    for (int c = 1; c < sheet->ColCount(); ++c) {
      const auto at = reinterpret_cast<intptr_t>(sheet->Objects(c, 0));
      if (at >= 0 && at < columns->Count()) cells.push_back({columns->GetItem(int(at)), sheet->Cells(c, r)});
    }
    if (WriteEditedRow(folder, columns, index < 0 ? nullptr : rows->Row(int(index)), cells) < 0) failed.push_back(r);
  }
}

namespace {

constexpr int kNewRecordRows = 50;

TAlignment AlignmentOf(const CCapInfo* column) {
  return column->Alignment == 1 ? taCenter : column->Alignment == 2 ? taRightJustify : taLeftJustify;
}

void SetSheetColumn(TStringGridEx* sheet, int c, const AnsiString& heading, const CCapInfo* column, bool canEdit) {
  sheet->SetCells(c, 0, heading);
  sheet->SetObjects(c, 0, reinterpret_cast<void*>(intptr_t(column->Position)));
  sheet->SetColWidths(c, column->Width);
  TGridColumn* look = sheet->GridColumns()->Items(c);
  look->SetAlignment(AlignmentOf(column));
  look->CanEdit = canEdit;
  look->MultiLine = true;
}

}  // namespace

void FillEditSheet(TStringGridEx* sheet, TStringGridEx* list, CCapInfoList* columns, CStringsList* rows, bool adding) {
  std::vector<const CCapInfo*> shown;
  if (adding) {
    for (int i = 0; i < columns->Count(); ++i)
      if (columns->GetItem(i)->Shown) shown.push_back(columns->GetItem(i));
  } else {
    for (int c = 0; c < list->ColCount(); ++c) shown.push_back(static_cast<const CCapInfo*>(list->Objects(c, 0)));
  }
  sheet->SetColCount(int(shown.size()) + 1);
  sheet->SetRowCount(2);
  sheet->SetFixedCols(1);
  sheet->SetFixedRows(1);
  for (int c = 0; c < sheet->ColCount(); ++c) {
    sheet->SetCells(c, 1, AnsiString());
    sheet->SetObjects(c, 1, nullptr);  // a row that names no record
  }
  for (size_t k = 0; k < shown.size(); ++k) {
    const int c = int(k) + 1;
    if (!shown[k]) {
      sheet->SetObjects(c, 0, reinterpret_cast<void*>(intptr_t(-1)));
      continue;
    }
    SetSheetColumn(sheet, c, adding ? shown[k]->Caption : list->Cells(c - 1, 0), shown[k], adding || shown[k]->Editable);
  }
  int r = 1;
  for (int g = 1; g < list->RowCount(); ++g) {
    if (!list->GetRowSelects(g)) continue;
    const int index = GridRowIndex(list, g);
    if (index < 0 || index >= rows->Count()) continue;
    const TStrings* row = rows->Row(index);
    sheet->SetRowCount(r + 1);
    sheet->SetObjects(0, r, reinterpret_cast<void*>(intptr_t(index + 1)));
    for (int c = 1; c < sheet->ColCount(); ++c) {
      const auto at = reinterpret_cast<intptr_t>(sheet->Objects(c, 0));
      sheet->SetCells(c, r, at >= 0 && at < row->Count() ? LfToCrLf((*row)[int(at)]) : AnsiString());
    }
    sheet->AdjustRowHeight(r++);
  }
  if (!adding) return;
  sheet->SetRowCount(r + kNewRecordRows);
  for (; r < sheet->RowCount(); ++r) {
    sheet->SetObjects(0, r, nullptr);
    for (int c = 1; c < sheet->ColCount(); ++c) sheet->SetCells(c, r, AnsiString());
  }
}

void KeepSheetRows(TStringGrid* sheet, const std::vector<int>& kept) {
  int to = 1;
  for (const int from : kept) {
    if (from < 1 || from >= sheet->RowCount()) continue;
    if (from != to) {
      for (int c = 0; c < sheet->ColCount(); ++c) {
        sheet->SetCells(c, to, sheet->Cells(c, from));
        sheet->SetObjects(c, to, sheet->Objects(c, from));
      }
      sheet->SetRowHeights(to, sheet->RowHeights(from));
    }
    ++to;
  }
  sheet->SetRowCount(std::max(to, 2));
  if (to == 1)
    for (int c = 0; c < sheet->ColCount(); ++c) {
      sheet->SetCells(c, 1, AnsiString());
      sheet->SetObjects(c, 1, nullptr);
    }
}

AnsiString WriteErrorText(const std::vector<int>& failed) {
  AnsiString rows;
  for (const int r : failed) rows += (rows.empty() ? "" : ", ") + IntToStr(r);
  return SJ("データの更新時にエラーが発生しました。") + "\r\n" + SJ("書き込めなかった行: ") + rows;
}

// ---- Commands ------------------------------------------------------------------------------------

bool TFormMain::RunEditDialog(CDbFolder* folder, CCapInfoList* columns, CStringsList* rows, bool adding) {
  TKelmGrid* sheet = EditDlg->Sheet;
  ResetEditGrid(sheet);
  sheet->SetCellEdit(false);
  sheet->ClearUndo();
  sheet->SetCsvSeparator(ClipSeparator);
  FillEditSheet(sheet, StringGridEx1, columns, rows, adding);
  sheet->SetRowCount(sheet->RowCount());  // numbers the rows
  EditDlg->SetCaption(adding ? SJ("データの追加") : SJ("データの編集"));
  bool wrote = false;
  for (;;) {
    // The dialog lets go of its sources when it closes.
    EditDlg->Folder = folder;
    EditDlg->ListGrid = StringGridEx1;
    EditDlg->CapList = columns;
    if (EditDlg->ShowModal() != mrOk) break;
    FolderLock lock(folder);
    if (!lock.Held()) {
      ReportError("%s", SJ("他で処理中なので、更新ができません。").c_str());
      continue;
    }
    std::vector<int> failed;
    {
      CChangeCursor hourglass;
      WriteSheetRows(sheet, folder, columns, rows, adding, failed);
    }
    wrote = true;
    if (failed.empty()) break;
    // The rows written are done; the others stay with the user's texts for another try.
    ReportError("%s", WriteErrorText(failed).c_str());
    KeepSheetRows(sheet, failed);
    sheet->SetRowCount(sheet->RowCount());
    sheet->ClearUndo();
  }
  sheet->SetColCount(2);
  sheet->SetRowCount(2);
  return wrote;
}

void TFormMain::OpeEditExecute(TObject*) {
  CCapInfoList* columns;
  CStringsList* rows;
  CDbFolder* folder = FolderOf(ListedNode);
  if (!folder || !GetGridRows(StringGridEx1, columns, rows)) return;
  if (RunEditDialog(folder, columns, rows, false)) RefreshTreeAndList();
}

void TFormMain::OpeAddExecute(TObject*) {
  CCapInfoList* columns = nullptr;
  CStringsList* rows = nullptr;
  CStringsList none;
  CDbFolder* folder = FolderOf(ListedNode);
  if (!folder || !GetGridRows(StringGridEx1, columns, rows)) {
    folder = FolderOf(TreeView1->Selected());
    columns = folder ? folder->GetCapInfoList() : nullptr;
    rows = &none;
    for (int i = 0; columns && i < columns->Count(); ++i) columns->GetItem(i)->Position = i;
  }
  if (!folder || !columns) return;
  int shown = 0;
  for (int i = 0; i < columns->Count(); ++i) shown += columns->GetItem(i)->Shown;
  if (shown == 0) return;
  if (RunEditDialog(folder, columns, rows, true)) RefreshTreeAndList();
}

void TFormMain::OpeCardExecute(TObject*) {}

int TFormMain::CardUpdateRecord(int index, TStrings* values) {
  CCapInfoList* columns;
  CStringsList* rows;
  if (!GetGridRows(StringGridEx1, columns, rows) || index < 0 || index >= rows->Count() || !values) return 0;
  ++CardState;
  CDbFolder* folder = FolderOf(ListedNode);
  if (!folder) return 0;
  const TStrings* row = rows->Row(index);
  std::vector<EditedCell> cells;
  for (int i = 0; i < row->Count() && i < values->Count() && i < columns->Count(); ++i)
    cells.push_back({columns->GetItem(i), (*values)[i]});
  FolderLock lock(folder);
  if (!lock.Held()) return 0;
  return WriteEditedRow(folder, columns, row, cells) >= 0 ? 1 : 0;
}

int TFormMain::CardAddRecord(TStrings* values) {
  CCapInfoList* columns;
  CStringsList* rows;
  if (!GetGridRows(StringGridEx1, columns, rows) || !values) return 0;
  ++CardState;
  CDbFolder* folder = FolderOf(ListedNode);
  if (!folder) return 0;
  std::vector<EditedCell> cells;
  for (int i = 0; i < values->Count() && i < columns->Count(); ++i) cells.push_back({columns->GetItem(i), (*values)[i]});
  FolderLock lock(folder);
  if (!lock.Held()) return 0;
  return WriteEditedRow(folder, columns, nullptr, cells) >= 0 ? 1 : 0;
}

void TFormMain::OpeCsvGetExecute(TObject*) { ImportIntoSelection(AnsiString()); }

void TFormMain::ImportIntoSelection(const AnsiString& file) {
  CDbFolder* folder = FolderOf(TreeView1->Selected());
  int count = 0;
  if (!folder || !folder->ImportFile(&count, file)) {
    ReportError("%s", SJ("選択中のフォルダには取りこめません。").c_str());
    return;
  }
  if (count > 0) RefreshTreeAndList();
}

void TFormMain::OpeDeleteExecute(TObject*) { DeleteSelectedRecords(); }

TFormMain::DeleteResult TFormMain::DeleteSelectedRecords() {
  CCapInfoList* columns;
  CStringsList* rows;
  CDbFolder* folder = FolderOf(ListedNode);
  if (!GetGridRows(StringGridEx1, columns, rows) || !folder) return DeleteResult::Nothing;
  TList marked;
  SelectedRowIndexes(StringGridEx1, &marked);
  if (marked.Count() == 0) return DeleteResult::Nothing;
  if (CvMessageBox(SJ("削除します。よろしいですか？"), SJ("削除の確認"), 1, this) != mrOk) return DeleteResult::Nothing;
  DeleteResult result = DeleteResult::Deleted;
  {
    FolderLock lock(folder);
    if (!lock.Held()) {
      ReportError("%s", SJ("他で処理中なので、削除ができません。").c_str());
      return DeleteResult::Locked;
    }
    CChangeCursor hourglass;
    std::vector<int> indexes;
    for (int i = 0; i < marked.Count(); ++i) indexes.push_back(int(reinterpret_cast<intptr_t>(marked.Items(i))));
    if (!folder->DeleteRecords(columns, indexes, *rows)) {
      ReportError("%s", SJ("削除でエラーが起きました。").c_str());
      result = DeleteResult::Failed;
    }
  }
  RefreshTreeAndList();
  return result;
}

void TFormMain::OpeFixColExecute(TObject*) {
  TStringGridEx* grid = StringGridEx1;
  if (grid->FrozenColCount() == 0) {
    int col = -1, row = -1;
    grid->MouseToCell(MouseDownX, MouseDownY, col, row);
    const int left = grid->LeftCol();
    if (col >= left && col < grid->ColCount()) grid->SetFixedColsEx(0, col - left + 1, left);
    return;
  }
  const int back = grid->LeftCol() - grid->FrozenColCount();
  grid->SetFixedColsEx(0, 0, 0);
  grid->SetLeftCol(std::max(back, 0));
}

void TFormMain::OpeFixRowExecute(TObject*) {
  TStringGridEx* grid = StringGridEx1;
  if (grid->FrozenRowCount() == 0) {
    int col = -1, row = -1;
    grid->MouseToCell(MouseDownX, MouseDownY, col, row);
    const int top = grid->TopRow();
    if (row >= top && row < grid->RowCount()) grid->SetFixedRowsEx(1, row - top + 1, top);
    return;
  }
  const int back = grid->TopRow() - grid->FrozenRowCount();
  grid->SetFixedRowsEx(1, 0, 0);
  grid->SetTopRow(std::max(back, 1));
}
