#include <gtest/gtest.h>

#include <vector>

#include "platform/Grids.h"
#include "tests/support/TestSupport.h"

namespace {

struct Big : ::testing::Test {
  TForm form{Application};
  TStringGrid* grid = nullptr;
  Big() {
    grid = new TStringGrid(&form);
    grid->SetParent(&form);
    grid->SetBorderStyle(bsNone);
    grid->SetBounds(0, 0, 300, 200);
    grid->SetDefaultRowHeight(20);
    grid->SetColCount(10);
    grid->SetRowCount(1000000);
  }
};

}  // namespace

TEST_F(Big, PaintsOnlyTheCellsInView) {
  int cells = 0, lastRow = 0;
  grid->OnDrawCell = [&](TObject*, int, int row, TRect, TGridDrawState) {
    ++cells;
    lastRow = std::max(lastRow, row);
  };
  grid->PaintToImage();
  const int rowsInView = 200 / 21 + 1, colsInView = 300 / 65 + 1;
  EXPECT_LE(cells, rowsInView * colsInView);
  EXPECT_LT(lastRow, rowsInView);

  cells = 0;
  grid->SetTopRow(500000);
  grid->PaintToImage();
  EXPECT_LE(cells, rowsInView * colsInView);
  grid->PressKey(VK_END, ssCtrl);
  EXPECT_EQ(grid->Row(), 999999);
  EXPECT_EQ(grid->Col(), 9);
  EXPECT_EQ(grid->TopRow() + grid->VisibleRowCount(), 1000000);
  const TRect last = grid->CellRect(9, 999999);
  EXPECT_FALSE(last.Empty());
  EXPECT_LE(last.Bottom, grid->ClientHeight());
  EXPECT_TRUE(grid->CellRect(9, 10).Empty());
}

TEST_F(Big, KeysMoveTheCurrentCellAndTheViewFollows) {
  grid->SetRowCount(100);
  grid->PressKey(VK_DOWN, 0);
  grid->PressKey(VK_RIGHT, 0);
  EXPECT_EQ(grid->Row(), 2);
  EXPECT_EQ(grid->Col(), 2);
  grid->PressKey(VK_DOWN, ssShift);
  grid->PressKey(VK_RIGHT, ssShift);
  EXPECT_EQ(grid->Selection(), (TGridRect{2, 2, 3, 3}));
  grid->PressKey(VK_NEXT, 0);
  EXPECT_EQ(grid->Selection().Top, grid->Selection().Bottom);
  EXPECT_GT(grid->TopRow(), 1);
  grid->PressKey(VK_HOME, ssCtrl);
  EXPECT_EQ(grid->Row(), 1);
  EXPECT_EQ(grid->TopRow(), 1);
  EXPECT_EQ(grid->LeftCol(), 1);
  grid->PressKey(VK_UP, 0);  // stays on the first data row
  EXPECT_EQ(grid->Row(), 1);

  bool refuse = true;
  grid->OnSelectCell = [&](TObject*, int, int row, bool& can) { can = !(refuse && row == 2); };
  grid->PressKey(VK_DOWN, 0);
  EXPECT_EQ(grid->Row(), 1);
  refuse = false;
  grid->PressKey(VK_DOWN, 0);
  EXPECT_EQ(grid->Row(), 2);
}

TEST_F(Big, MousePicksCellsAndSizesColumns) {
  grid->SetOptions(grid->Options() | goColSizing);
  const TRect r = grid->CellRect(3, 4);
  EXPECT_EQ(grid->MouseCoord(r.Left + 1, r.Top + 1), (TGridCoord{3, 4}));
  grid->PressMouse(mbLeft, ssLeft, r.Left + 1, r.Top + 1);
  grid->ReleaseMouse(mbLeft, 0, r.Left + 1, r.Top + 1);
  EXPECT_EQ(grid->Col(), 3);
  EXPECT_EQ(grid->Row(), 4);

  // The release handler still sees the sizing it ends, so that it can keep the width.
  std::vector<TGridState> seenOnRelease;
  grid->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { seenOnRelease.push_back(grid->GridState()); };
  const TRect head = grid->CellRect(2, 0);
  grid->PressMouse(mbLeft, ssLeft, head.Right, 5);
  EXPECT_EQ(grid->GridState(), TGridState::ColSizing);
  grid->MoveMouse(ssLeft, head.Right + 30, 5);
  grid->ReleaseMouse(mbLeft, 0, head.Right + 30, 5);
  EXPECT_EQ(grid->ColWidths(2), 64 + 30);
  EXPECT_EQ(grid->GridState(), TGridState::Normal);
  EXPECT_EQ(seenOnRelease, std::vector<TGridState>{TGridState::ColSizing});
}

TEST_F(Big, EditorStoresOnEnterAndEscapeBringsTheTextBack) {
  grid->SetOptions(grid->Options() | goEditing);
  grid->SetCells(1, 1, SJ("表示"));
  grid->PressKey(VK_F2, 0);
  ASSERT_TRUE(grid->EditorMode());
  TInplaceEdit* editor = grid->InplaceEditor();
  EXPECT_EQ(editor->Text(), SJ("表示"));
  editor->SetSelStart(static_cast<int>(editor->Text().size()));
  editor->TypeChar('\x83');  // "ソ", whose second byte is a backslash, in two parts
  editor->TypeChar('\x5C');
  editor->TypeChar('\b');
  editor->TypeChar('!');
  EXPECT_EQ(editor->Text(), SJ("表示!"));
  editor->TypeChar('\r');
  EXPECT_FALSE(grid->EditorMode());
  EXPECT_EQ(grid->Cells(1, 1), SJ("表示!"));

  grid->TypeChar('x');  // typing opens the editor with the key in place of the text
  EXPECT_EQ(editor->Text(), "x");
  editor->TypeChar(27);
  EXPECT_FALSE(grid->EditorMode());
  EXPECT_EQ(grid->Cells(1, 1), SJ("表示!"));

  std::vector<AnsiString> stored;
  grid->OnSetEditText = [&](TObject*, int, int, const AnsiString& v) { stored.push_back(v); };
  grid->TypeChar('y');
  editor->PressKey(VK_RIGHT, 0);  // at the end of the text: on to the next cell, storing it
  EXPECT_EQ(grid->Col(), 2);
  EXPECT_EQ(stored, std::vector<AnsiString>{"y"});
}
