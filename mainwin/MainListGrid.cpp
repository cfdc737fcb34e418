// The record list grid: display rows with ditto marks, rows filled as they show, separator lines,
// sorting by headings, the mouse, Ctrl+A and Ctrl+C, the record actions' states, the empty grid
// and the folder icons.
//
// Break column: every record row but the first carries, as the object of its first text, the grid
// column of the first ditto-marked column whose value differs from the row above (kNoBreak when
// the ditto columns all repeat it, -1 when no shown column uses ditto marks). MakeDisplayRow writes
// it; the separator lines and the list printer read it.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include "folders/DbFolder.h"
#include "foundation/CapInfo.h"
#include "foundation/StringsList.h"
#include "mainwin/MainForm.h"
#include "platform/Clipbrd.h"
#include "platform/SysUtils.h"
#include "query/CsvFile.h"
#include "query/SummaryMod.h"

namespace {

void* const kUnfilledRow = reinterpret_cast<void*>(intptr_t(-1));
constexpr int kNoBreak = 32000;
constexpr int kNoDragPoint = -9999;
// A press and a move further than this (|dx| + |dy|) start a record drag.
constexpr int kDragDistance = 7;

CDbFolder* NodeFolder(TTreeNode* node) { return node ? static_cast<CDbFolder*>(node->Data) : nullptr; }

int BreakColumnOf(const TStrings* row) {
  return row && row->Count() > 0 ? static_cast<int>(reinterpret_cast<intptr_t>(row->Objects(0))) : -1;
}

// The grid row a frozen slot shows; any other row shows itself.
int SourceRow(const TStringGridEx* grid, int row) {
  const int base = grid->FixedRows() - grid->FrozenRowCount();
  if (grid->FrozenRowCount() > 0 && row >= base && row < grid->FixedRows()) return row - base + grid->FrozenRowFrom();
  return row;
}

int SourceCol(const TStringGridEx* grid, int col) {
  const int base = grid->FixedCols() - grid->FrozenColCount();
  if (grid->FrozenColCount() > 0 && col >= base && col < grid->FixedCols()) return col - base + grid->FrozenColFrom();
  return col;
}

bool IsFrozenColSlot(const TStringGridEx* grid, int col) { return SourceCol(grid, col) != col; }

// The heading-row descriptor of a grid column, when it is one of the shown columns.
CCapInfo* ShownColumn(TStringGridEx* grid, CCapInfoList* columns, int col) {
  if (col < 0 || col >= grid->ColCount()) return nullptr;
  auto* info = static_cast<CCapInfo*>(grid->Objects(col, 0));
  return info && columns->IndexOf(info) >= 0 ? info : nullptr;
}

// Rows in the order of the comparison; rows that compare equal keep their order, and a comparison
// that is not a strict order cannot send the sort outside the list.
template <typename Compare>
void SortRows(CStringsList* rows, Compare compare) {
  std::vector<TStrings*> sorted(rows->Count());
  for (int i = 0; i < rows->Count(); ++i) sorted[i] = rows->Row(i);
  std::stable_sort(sorted.begin(), sorted.end(), [&](TStrings* a, TStrings* b) { return compare(a, b) < 0; });
  for (int i = 0; i < rows->Count(); ++i) rows->SetItem(i, sorted[i]);
}

}  // namespace

bool GetGridRows(TStringGridEx* grid, CCapInfoList*& columns, CStringsList*& rows) {
  columns = grid ? reinterpret_cast<CCapInfoList*>(grid->Tag) : nullptr;
  rows = columns ? columns->Rows : nullptr;
  return columns && rows;
}

// Empties the grid to cols columns (fixedCols of them fixed) and two rows, the first fixed, with
// its top-left handler off meanwhile; then fill sets the cells.
static void ReshapeGrid(TStringGridEx* grid, int cols, int fixedCols, const std::function<void()>& fill) {
  const TNotifyEvent topLeft = grid->OnTopLeftChanged;
  grid->OnTopLeftChanged = nullptr;
  grid->Tag = 0;
  grid->SetColCount(cols);
  grid->SetRowCount(2);
  grid->SetFixedRows(1);
  grid->SetFixedCols(fixedCols);
  fill();
  grid->OnTopLeftChanged = topLeft;
}

void TFormMain::ClearGrid(TStringGridEx* grid) {
  ReshapeGrid(grid, 1, 0, [&] {
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
  });
}

void TFormMain::ResetEditGrid(TStringGridEx* grid) {
  ReshapeGrid(grid, 2, 1, [&] {
    for (int row = 0; row < 2; ++row) {
      grid->SetCells(1, row, AnsiString());
      grid->SetObjects(1, row, nullptr);
    }
    grid->SetSelection(TGridRect{1, 1, 1, 1});
    if (grid == StringGridEx1) {
      LastTopRow = grid->TopRow();
      LastFrozenRow = grid->FrozenRowFrom();
    }
  });
}

int TFormMain::MakeDisplayRow(TStrings& out, CCapInfoList* columns, CStringsList* rows, int index) {
  if (!columns || !rows || index < 0 || index >= rows->Count() || !rows->Row(index)) return -1;
  TStrings* row = rows->Row(index);
  const int n = std::min(row->Count(), columns->Count());
  while (out.Count() < n) out.Add(AnsiString());
  if (index == 0) {
    for (int i = 0; i < n; ++i)
      if (columns->GetItem(i)->Shown) out.SetString(i, row->Strings(i));
    return out.Count();
  }
  const TStrings* prev = rows->Row(index - 1);
  const bool summaryView = ViewTab == 1;
  int breakColumn = -1, shown = 0;
  bool differs = false;
  for (int i = 0; i < n; ++i) {
    const CCapInfo* info = columns->GetItem(i);
    if (!info->Shown) continue;
    ++shown;
    const bool ditto = info->Ditto || summaryView;
    if (ditto && !differs) {
      breakColumn = kNoBreak;
      // A row above that is missing or shorter differs from every value.
      if (!prev || i >= prev->Count() || row->Strings(i) != prev->Strings(i)) {
        differs = true;
        breakColumn = shown - 1;
      }
    }
    if (!ditto || differs)
      out.SetString(i, row->Strings(i));
    else
      out.SetString(i, summaryView ? AnsiString() : info->DittoMark);
  }
  if (row->Count() > 0) row->SetObject(0, reinterpret_cast<void*>(intptr_t(breakColumn)));
  return out.Count();
}

void TFormMain::ClearStatusColumns() {
  StatusBar1->Panels()->Items(2)->SetText(AnsiString());
  SortColumns->TList::Clear();
}

void TFormMain::UpdateActions() {
  CDbFolder* selected = NodeFolder(TreeView1->Selected());
  OpeCsvGet->SetEnabled(selected && !(TopFolder && selected == TopFolder->RootNode));

  CCapInfoList* columns = reinterpret_cast<CCapInfoList*>(StringGridEx1->Tag);
  CDbFolder* listed = NodeFolder(ListedNode);
  const int bottom = StringGridEx1->Selection().Bottom;
  if (!columns || !listed || bottom < 0 || bottom >= StringGridEx1->RowCount()) {
    for (TAction* action : {OpeEdit, OpeCard, OpeDelete, OpeCsv, OpeAdd}) action->SetEnabled(false);
  } else {
    CStringsList* rows = nullptr;
    const bool listView = ViewTab == 0;
    const bool hasRows = GetGridRows(StringGridEx1, columns, rows) && (listView || ViewTab == 1) && rows->Count() > 0;
    OpeEdit->SetEnabled(hasRows && listView);
    OpeCard->SetEnabled(hasRows);
    OpeDelete->SetEnabled(listView);
    OpeCsv->SetEnabled(true);
    OpeAdd->SetEnabled(listView);
  }
  FileSaveFol->SetEnabled(TopFolder && TopFolder->GetModified() > 0);

  const CRuleFolder* folder = listed ? listed->Folder : nullptr;
  if (OpeEdit->Enabled() && folder && (folder->Flags & FOLDER_COMMAND_IN_MENU) && !folder->CommandName.empty() &&
      !folder->Script.empty()) {
    FolDoCmd->SetEnabled(true);
    FolDoCmd->SetCaption(Format(SJ("処理「%s」の実行").c_str(), folder->CommandName.c_str()));
  } else {
    FolDoCmd->SetEnabled(false);
    FolDoCmd->SetCaption(SJ("処理の実行"));
  }
}

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

// ---- Filling rows as they show ----

namespace {

enum class Fill { Marked, Full };

// Grid row index + 1 from the display row of rows[index] (ditto marks) or from the record row
// itself (every value in full).
void FillRow(TFormMain* form, CCapInfoList* columns, CStringsList* rows, int index, Fill fill) {
  if (index < 0 || index >= rows->Count()) return;
  if (fill == Fill::Full) {
    if (TStrings* row = rows->Row(index)) form->FillGridRow(row, index);
    return;
  }
  TStringList display;
  if (form->MakeDisplayRow(display, columns, rows, index) > 0) form->FillGridRow(&display, index);
}

}  // namespace

void TFormMain::StringGridEx1TopLeftChanged(TObject* sender) {
  TStringGridEx* grid = StringGridEx1;
  CCapInfoList* columns;
  CStringsList* rows;
  if (!GetGridRows(grid, columns, rows)) return;
  const int top = grid->TopRow();
  const int last = std::min(top + grid->VisibleRowCount(), grid->RowCount() - 1);
  for (int r = std::max(1, top); r <= last; ++r)
    if (grid->Objects(0, r) == kUnfilledRow) FillRow(this, columns, rows, r - 1, Fill::Marked);
  if (top != LastTopRow) {
    const int frozenFrom = grid->FrozenRowFrom();
    // The row that leaves the top shows its marks again; the new top row shows every value.
    if (LastTopRow - 1 > 0 && LastTopRow != frozenFrom) FillRow(this, columns, rows, LastTopRow - 1, Fill::Marked);
    if (top - 1 > 0) FillRow(this, columns, rows, top - 1, Fill::Full);
    if (frozenFrom != LastFrozenRow) {
      if (frozenFrom - 1 > 0 && frozenFrom != LastTopRow) FillRow(this, columns, rows, frozenFrom - 1, Fill::Full);
      if (LastFrozenRow - 1 > 0) FillRow(this, columns, rows, LastFrozenRow - 1, Fill::Marked);
    }
  }
  LastTopRow = grid->TopRow();
  LastFrozenRow = grid->FrozenRowFrom();
}

// ---- Drawing ----

void TFormMain::StringGridEx1DrawCell(TObject* sender, int col, int row, TRect rect, TGridDrawState state) {
  TStringGridEx* grid = StringGridEx1;
  if (row < 1 || col < 0 || col >= grid->ColCount()) return;
  CCapInfoList* columns;
  CStringsList* rows;
  const bool linked = GetGridRows(grid, columns, rows);
  if (linked && grid->Objects(col, 0) && grid->Objects(0, row) == kUnfilledRow)
    FillRow(this, columns, rows, row - 1, Fill::Marked);

  // The line under the cell: below the frozen rows and the last row always; elsewhere where a
  // value of this column, or of a ditto column to its left, changes in the next row.
  const int srcRow = SourceRow(grid, row), srcCol = SourceCol(grid, col);
  const bool underFrozen = grid->FrozenRowCount() > 0 && row == grid->FixedRows() - 1;
  bool line = underFrozen || row == grid->RowCount() - 1;
  if (!line && linked) {
    if (const auto* info = static_cast<const CCapInfo*>(grid->Objects(srcCol, 0)); info && (info->Borders || ViewTab != 0)) {
      if (!info->Ditto) {
        line = true;
      } else {
        const TStrings* next = srcRow < rows->Count() ? rows->Row(srcRow) : nullptr;
        line = BreakColumnOf(next) <= srcCol;
      }
    }
  }
  if (line) {
    TCanvas* canvas = grid->Canvas();
    TPen saved;
    saved.Assign(*canvas->Pen());
    canvas->Pen()->SetColor(clWindowText);
    canvas->Pen()->SetStyle(psSolid);
    canvas->Pen()->SetMode(pmCopy);
    canvas->Pen()->SetWidth(underFrozen ? 2 : 1);
    canvas->MoveTo(rect.Left, rect.Bottom - 1);
    canvas->LineTo(rect.Right, rect.Bottom - 1);
    canvas->Pen()->Assign(saved);
  }
  // The line under the row above depends on this row's break column, which may just have been made.
  if (row == grid->TopRow() + grid->VisibleRowCount() - 1 && row - 1 >= grid->TopRow())
    StringGridEx1DrawCell(sender, col, row - 1, grid->CellRect(col, row - 1), state);
}

// ---- Mouse ----

void TFormMain::StringGridEx1MouseDown(TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
  ++GridClickCount;
  SavedSelection = TGridRect{-1, -1, -1, -1};
  MouseDownX = x;
  MouseDownY = y;
  DragStartX = DragStartY = kNoDragPoint;
  if (button == mbLeft && NodeFolder(ListedNode)) {
    int col = -1, row = -1;
    StringGridEx1->MouseToCell(x, y, col, row);
    DragFromSelectedRow = ViewTab == 0 && StringGridEx1->GetRowSelects(row);
    DragStartX = x;
    DragStartY = y;
  }
}

void TFormMain::StringGridEx1MouseMove(TObject* sender, TShiftState shift, int x, int y) {
  if (!(shift & ssLeft) || DragStartX == kNoDragPoint) return;
  if (std::abs(x - DragStartX) + std::abs(y - DragStartY) <= kDragDistance) return;
  DragStartX = DragStartY = kNoDragPoint;
  if (DragFromSelectedRow) StringGridEx1->BeginDrag(true);
  DragFromSelectedRow = false;
}

void TFormMain::StringGridEx1MouseUp(TObject* sender, TMouseButton button, TShiftState shift, int x, int y) {
  TStringGridEx* grid = StringGridEx1;
  if (SavedSelection.Left != -1) {
    grid->SetSelection(SavedSelection);
    SavedSelection = TGridRect{-1, -1, -1, -1};
  }
  const bool pressed = DragStartX != kNoDragPoint;
  DragStartX = DragStartY = kNoDragPoint;
  CCapInfoList* columns;
  CStringsList* rows;
  if (!GetGridRows(grid, columns, rows)) return;
  int col = -1, row = -1;
  grid->MouseToCell(x, y, col, row);
  CCapInfo* clicked = ShownColumn(grid, columns, col);
  if (!clicked) return;

  if (grid->GetGridState() == TGridState::ColSizing) {
    // A frozen slot has its source column's width and another column's descriptor: skipped.
    int written = 0;
    for (int c = 0; c < grid->ColCount(); ++c)
      if (CCapInfo* info = ShownColumn(grid, columns, c); info && !IsFrozenColSlot(grid, c)) {
        info->Width = grid->ColWidths(c);
        ++written;
      }
    CDbFolder* listed = NodeFolder(ListedNode);
    if (listed && listed->Folder && written > 0) {
      listed->Folder->AddModified(written);
      FileSaveFol->SetEnabled(TopFolder && TopFolder->GetModified() > 0);
    }
    return;
  }
  if (!pressed || row != 0) return;

  const CChangeCursor hourglass;
  if (SortColumns->IndexOf(clicked) >= 0) {
    clicked->Flags ^= CI_SORT_FLIPPED;
  } else {
    if (!(shift & ssCtrl)) SortColumns->TList::Clear();
    clicked->Flags &= ~CI_SORT_FLIPPED;
    SortColumns->Add(clicked);
  }
  // The summary view sorts by the clicked keys and its group keys; the clicked keys alone stay.
  CCapInfoList keys;
  keys.OwnsItems = false;
  for (int i = 0; i < SortColumns->Count(); ++i) keys.Add(SortColumns->Items(i));
  if (ViewTab == 1 && Summary) Summary->GetGroupColumns(&keys);
  {
    struct Restore {
      CCapInfoList*& member;
      CCapInfoList* kept;
      ~Restore() { member = kept; }
    } restore{SortColumns, SortColumns};
    SortColumns = &keys;
    SortRows(rows, [this](TStrings* a, TStrings* b) { return CompareRowsBySortColumns(a, b); });
    StatusBar1->Panels()->Items(2)->SetText(SortOrderText());
  }
  ShowViewData();
}

void TFormMain::StringGridEx1StartDrag(TObject* sender) {}

void TFormMain::StringGridEx1DragOver(TObject* sender, TObject* source, int x, int y, TDragState state,
                                      bool& accept) {
  // Only a list view could be dropped here, and the window has none.
  accept = false;
}

void TFormMain::StringGridEx1DragDrop(TObject* sender, TObject* source, int x, int y) {}

void TFormMain::StringGridEx1ColumnMoved(TObject* sender, int fromIndex, int toIndex) {
  if (ViewTab == 0 || !SumColumns) return;
  if (fromIndex < 0 || toIndex < 0 || fromIndex >= SumColumns->Count() || toIndex >= SumColumns->Count()) return;
  void* moved = SumColumns->Items(fromIndex);
  SumColumns->TList::Delete(fromIndex);
  SumColumns->Insert(toIndex, moved);
  Summary->BindColumns();
  // The summary rows hold their cells in the old order: they are made again.
  RefreshSummary();
}

// ---- Keys ----

void TFormMain::StringGridEx1KeyDown(TObject* sender, uint16_t& key, TShiftState shift) {
  if (!(shift & ssCtrl)) return;
  TStringGridEx* grid = StringGridEx1;
  if (key == 'A') {
    grid->SetSelection(TGridRect{grid->FixedCols(), grid->FixedRows(), grid->ColCount() - 1, grid->RowCount() - 1});
    return;
  }
  if (key != 'C') return;
  CCapInfoList* columns;
  CStringsList* rows;
  if (!GetGridRows(grid, columns, rows)) return;
  TMemoryStream text;
  TStringList fields;
  for (int r = 1; r < grid->RowCount(); ++r) {
    if (!grid->GetRowSelects(r)) continue;
    intptr_t index = reinterpret_cast<intptr_t>(grid->Objects(0, r));
    if (index < 0) index = r - 1;
    if (index >= rows->Count() || !rows->Row(static_cast<int>(index))) continue;
    const TStrings* row = rows->Row(static_cast<int>(index));
    fields.Clear();
    for (int i = 0; i < columns->Count(); ++i)
      if (columns->GetItem(i)->Shown) fields.Add(i < row->Count() ? row->Strings(i) : AnsiString());
    const AnsiString line = JoinCsvFields(&fields, ClipSeparator) + "\r\n";
    text.Write(line.data(), static_cast<long>(line.size()));
  }
  text.Write("", 1);
  Clipboard()->SetTextBuf(text.Memory());
}

// ---- The list's popup menu ----

void TFormMain::PopupMenu1Popup(TObject* sender) {
  SavedSelection = TGridRect{-1, -1, -1, -1};
  int col = -1, row = -1;
  StringGridEx1->MouseToCell(MouseDownX, MouseDownY, col, row);
  if (StringGridEx1->FrozenColCount() > 0) {
    OpeFixCol->SetCaption(SJ("列固定解除"));
    OpeFixCol->SetEnabled(true);
  } else {
    OpeFixCol->SetCaption(SJ("列固定"));
    OpeFixCol->SetEnabled(col >= 0);
  }
  if (StringGridEx1->FrozenRowCount() > 0) {
    OpeFixRow->SetCaption(SJ("行固定解除"));
    OpeFixRow->SetEnabled(true);
  } else {
    OpeFixRow->SetCaption(SJ("行固定"));
    OpeFixRow->SetEnabled(row >= 1);
  }
}
