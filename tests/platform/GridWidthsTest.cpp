#include <gtest/gtest.h>

#include "platform/Grids.h"
#include "tests/support/TestSupport.h"

namespace {

struct CountingGrid : TStringGrid {
  using TStringGrid::TStringGrid;
  int changes = 0;
  void ColWidthsChanged() override { ++changes; }
};

}  // namespace

// A descendant hears of every width that really changed, by the program or by the user's drag.
TEST(GridWidths, ADescendantHearsOfEachChangedWidth) {
  TForm form(Application);
  auto* grid = new CountingGrid(&form);
  grid->SetParent(&form);
  grid->SetBounds(0, 0, 300, 200);
  grid->SetOptions(grid->Options() | goColSizing);
  grid->SetColWidths(1, 80);
  EXPECT_EQ(grid->changes, 1);
  grid->SetColWidths(1, 80);  // the same width
  grid->SetColWidths(99, 10);  // no such column
  EXPECT_EQ(grid->changes, 1);

  const TRect head = grid->CellRect(2, 0);
  grid->PressMouse(mbLeft, ssLeft, head.Right, 5);
  grid->MoveMouse(ssLeft, head.Right + 20, 5);
  grid->ReleaseMouse(mbLeft, 0, head.Right + 20, 5);
  EXPECT_EQ(grid->ColWidths(2), 64 + 20);
  EXPECT_EQ(grid->changes, 2);
}
