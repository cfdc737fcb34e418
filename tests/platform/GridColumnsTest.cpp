// Columns of the string grid: moving one, by the program and by dragging a heading; no fixed ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Grids.h"
#include "tests/support/TestSupport.h"

namespace {

struct Grid {
  TForm form{Application};
  TStringGrid* grid = new TStringGrid(&form);
  std::vector<std::pair<int, int>> moves;
  Grid() {
    grid->SetParent(&form);
    grid->SetBorderStyle(bsNone);
    grid->SetBounds(0, 0, 400, 200);
    grid->SetColCount(5);
    grid->SetRowCount(300);  // rows on more than one page of cells
    grid->SetFixedCols(1);
    for (int c = 0; c < 5; ++c) {
      grid->SetColWidths(c, 50 + c);
      grid->SetCells(c, 0, Format("h%d", c));
      grid->SetObjects(c, 0, reinterpret_cast<void*>(intptr_t(c + 1)));
      grid->SetCells(c, 299, Format("z%d", c));
    }
    grid->SetCells(1, 5, "only");  // a row whose cells end before the moved column
    grid->OnColumnMoved = [this](TObject*, int from, int to) { moves.push_back({from, to}); };
  }
  std::string Row(int row) const {
    std::string out;
    for (int c = 0; c < grid->ColCount(); ++c) out += (c ? "|" : "") + grid->Cells(c, row);
    return out;
  }
};

}  // namespace

TEST(GridColumnMove, CellsObjectsAndWidthsMoveWithTheColumn) {
  Grid g;
  g.grid->MoveColumn(1, 3);
  EXPECT_EQ(g.Row(0), "h0|h2|h3|h1|h4");
  EXPECT_EQ(g.Row(299), "z0|z2|z3|z1|z4");
  EXPECT_EQ(g.Row(5), "|||only|");
  EXPECT_EQ(g.grid->Objects(3, 0), reinterpret_cast<void*>(intptr_t(2)));
  EXPECT_EQ(g.grid->ColWidths(3), 51);
  g.grid->MoveColumn(3, 1);
  EXPECT_EQ(g.Row(0), "h0|h1|h2|h3|h4");
  EXPECT_EQ(g.Row(5), "|only|||");
  EXPECT_EQ(g.grid->ColWidths(1), 51);
  g.grid->MoveColumn(2, 2);
  g.grid->MoveColumn(1, 9);
  EXPECT_EQ(g.moves, (std::vector<std::pair<int, int>>{{1, 3}, {3, 1}}));
}

// Only with goColMoving does a dragged heading move its column; a drag on data cells selects.
TEST(GridColumnMove, DraggingAHeading) {
  for (bool moving : {false, true}) {
    Grid g;
    if (moving) g.grid->SetOptions(g.grid->Options() | goColMoving);
    const TRect from = g.grid->CellRect(4, 0), to = g.grid->CellRect(2, 0);
    g.grid->PressMouse(mbLeft, 0, from.Left + 5, from.Top + 5);
    g.grid->MoveMouse(ssLeft, to.Left + 5, to.Top + 5);
    EXPECT_EQ(g.grid->GridState(), moving ? TGridState::ColMoving : TGridState::Normal);
    g.grid->PaintToImage();
    g.grid->ReleaseMouse(mbLeft, 0, to.Left + 5, to.Top + 5);
    EXPECT_EQ(g.Row(0), moving ? "h0|h1|h4|h2|h3" : "h0|h1|h2|h3|h4") << moving;
    EXPECT_EQ(g.moves.size(), moving ? 1u : 0u);
    EXPECT_EQ(g.grid->GridState(), TGridState::Normal);

    // Fixed columns stay where they are.
    const TRect fixed = g.grid->CellRect(0, 0);
    g.grid->PressMouse(mbLeft, 0, fixed.Left + 5, fixed.Top + 5);
    g.grid->ReleaseMouse(mbLeft, 0, to.Left + 5, to.Top + 5);
    EXPECT_EQ(g.grid->Cells(0, 0), "h0");

    const TRect cell = g.grid->CellRect(2, 3), other = g.grid->CellRect(3, 4);
    g.grid->PressMouse(mbLeft, 0, cell.Left + 5, cell.Top + 5);
    g.grid->MoveMouse(ssLeft, other.Left + 5, other.Top + 5);
    g.grid->ReleaseMouse(mbLeft, 0, other.Left + 5, other.Top + 5);
    EXPECT_EQ(g.grid->Selection(), (TGridRect{2, 3, 3, 4}));
  }
}

// A grid that loses its fixed column shows its first column and starts there.
TEST(GridFixedColumns, NoneLeftShowsTheFirstColumn) {
  TForm form(Application);
  auto* grid = new TStringGrid(&form);
  grid->SetParent(&form);
  grid->SetBounds(0, 0, 400, 200);
  grid->SetFixedCols(0);
  grid->SetFixedRows(0);
  EXPECT_EQ(grid->LeftCol(), 0);
  EXPECT_EQ(grid->TopRow(), 0);
  EXPECT_EQ(grid->Col(), 0);
  EXPECT_EQ(grid->Row(), 0);
  EXPECT_EQ(grid->CellRect(0, 0).Left, 0);
  EXPECT_EQ(grid->MouseCoord(5, 5), (TGridCoord{0, 0}));
}

// Objects given to every data row at once read as if set row by row: a cell made later keeps
// it, a row's own object wins, rows added later have none, and it moves with its column.
TEST(GridDataRowObjects, ReadAsIfSetRowByRow) {
  Grid g;
  void* const mark = reinterpret_cast<void*>(intptr_t(-1));
  g.grid->SetFixedRows(1);
  g.grid->SetObjects(1, 7, reinterpret_cast<void*>(intptr_t(70)));
  g.grid->SetDataRowObjects(1, mark);
  EXPECT_EQ(g.grid->Objects(1, 0), reinterpret_cast<void*>(intptr_t(2)));  // heading untouched
  EXPECT_EQ(g.grid->Objects(1, 7), mark);
  EXPECT_EQ(g.grid->Objects(1, 5), mark);    // a row that had a cell of its own
  EXPECT_EQ(g.grid->Objects(1, 299), mark);
  EXPECT_EQ(g.grid->Objects(2, 10), nullptr);
  g.grid->SetCells(3, 20, "x");  // the row's cells are made now
  EXPECT_EQ(g.grid->Objects(1, 20), mark);
  g.grid->SetObjects(1, 21, nullptr);
  g.grid->SetObjects(1, 22, reinterpret_cast<void*>(intptr_t(22)));
  EXPECT_EQ(g.grid->Objects(1, 21), nullptr);
  EXPECT_EQ(g.grid->Objects(1, 22), reinterpret_cast<void*>(intptr_t(22)));
  g.grid->SetRowCount(100);
  g.grid->SetRowCount(400);
  EXPECT_EQ(g.grid->Objects(1, 99), mark);
  EXPECT_EQ(g.grid->Objects(1, 150), nullptr);
  g.grid->MoveColumn(1, 3);
  EXPECT_EQ(g.grid->Objects(3, 50), mark);
  EXPECT_EQ(g.grid->Objects(3, 21), nullptr);
  EXPECT_EQ(g.grid->Objects(1, 50), nullptr);
  g.grid->SetColCount(2);
  g.grid->SetColCount(5);
  EXPECT_EQ(g.grid->Objects(3, 50), nullptr);
}

// A second fill of the column gives every data row its object, rows with cells or objects of
// their own included; rows that became fixed in between keep the first fill's object.
TEST(GridDataRowObjects, ASecondFillReplacesTheFirst) {
  Grid g;
  void* const first = reinterpret_cast<void*>(intptr_t(-1));
  void* const second = reinterpret_cast<void*>(intptr_t(-2));
  g.grid->SetFixedRows(1);
  g.grid->SetRowCount(10);
  g.grid->SetDataRowObjects(0, first);
  g.grid->SetCells(0, 3, "x");
  g.grid->SetObjects(0, 4, reinterpret_cast<void*>(intptr_t(4)));
  g.grid->SetRowCount(20);
  g.grid->SetDataRowObjects(0, second);
  for (int row = 1; row < 20; ++row) EXPECT_EQ(g.grid->Objects(0, row), second) << row;
  EXPECT_EQ(g.grid->Cells(0, 3), "x");

  g.grid->SetFixedRows(3);
  g.grid->SetDataRowObjects(0, first);
  EXPECT_EQ(g.grid->Objects(0, 1), second);
  EXPECT_EQ(g.grid->Objects(0, 2), second);
  for (int row = 3; row < 20; ++row) EXPECT_EQ(g.grid->Objects(0, row), first) << row;
}
