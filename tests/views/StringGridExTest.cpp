#include <gtest/gtest.h>

#include <set>

#include "platform/Forms.h"
#include "tests/support/ImageCompare.h"
#include "tests/support/RecordingCanvas.h"
#include "tests/support/TestSupport.h"
#include "views/StringGridEx.h"

namespace {

struct Grid : ::testing::Test {
  TForm form{Application};
  TStringGridEx* grid = nullptr;

  Grid() {
    grid = new TStringGridEx(&form);
    grid->SetParent(&form);
    grid->SetBorderStyle(bsNone);
    grid->SetBounds(0, 0, 400, 300);
    grid->SetColCount(5);
    grid->SetRowCount(10);
    for (int r = 0; r < 10; ++r)
      for (int c = 0; c < 5; ++c) grid->SetCells(c, r, Format("%c%d", 'a' + c, r));
  }
  void RowSelect() { grid->SetOptions(grid->Options() | goRowSelect); }
  TPoint Centre(int col, int row) const {
    const TRect r = grid->CellRect(col, row);
    return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
  }
  void Click(int row, TShiftState shift = 0) {
    const TPoint p = Centre(2, row);
    grid->PressMouse(mbLeft, shift | ssLeft, p.x, p.y);
    grid->ReleaseMouse(mbLeft, shift, p.x, p.y);
  }
  std::set<int> Marks() const {
    std::set<int> out;
    for (int r = -1; r <= grid->RowCount(); ++r)
      if (grid->GetRowSelects(r)) out.insert(r);
    return out;
  }
  // What the grid draws into a cell's rectangle, on a recording canvas.
  std::vector<AnsiString> Drawn(int col, int row) {
    TRecordingCanvas c;
    grid->PaintOn(&c);
    const TRect cell = grid->CellRect(col, row);
    std::vector<AnsiString> texts;
    for (const auto& op : c.Ops)
      if (op.kind == TRecordingCanvas::opText && cell.Contains(op.rect.Left, op.rect.Top)) texts.push_back(op.text);
    return texts;
  }
  // The colour the grid fills a cell with first.
  TColor Fill(int col, int row) {
    TRecordingCanvas c;
    grid->PaintOn(&c);
    const TRect cell = grid->CellRect(col, row);
    TColor last = -1;
    for (const auto& op : c.Ops)
      if (op.kind == TRecordingCanvas::opFill && op.rect == cell) last = op.color;
    return last;
  }
};

using Rows = std::set<int>;

}  // namespace

TEST_F(Grid, MarksFollowClicksWithShiftAndCtrl) {
  RowSelect();
  Click(2);
  EXPECT_EQ(Marks(), Rows({2}));
  Click(4, ssCtrl);
  EXPECT_EQ(Marks(), Rows({2, 4}));
  Click(6, ssShift);  // the selection reaches from the anchor, and the marks are made equal to it
  EXPECT_EQ(Marks(), Rows({4, 5, 6}));
  Click(8, ssCtrl | ssShift);
  EXPECT_EQ(Marks(), Rows({4, 5, 6, 7, 8}));
  Click(5, ssCtrl);  // a marked row leaves; the first marked row becomes current
  EXPECT_EQ(Marks(), Rows({4, 6, 7, 8}));
  EXPECT_EQ(grid->Row(), 4);
  Click(7);  // a click on a marked row leaves only that row marked
  EXPECT_EQ(Marks(), Rows({7}));
  EXPECT_EQ(grid->Row(), 7);
  Click(7, ssCtrl);  // the last marked row stays marked as the current one
  EXPECT_EQ(Marks(), Rows({7}));

  // Painting marks the rows it paints selected; it keeps the others.
  Click(3, ssCtrl);
  grid->PaintToImage();
  EXPECT_EQ(Marks(), Rows({3, 7}));

  // The keyboard: Up, and Down without Ctrl, make the marks the selection's rows.
  grid->PressKey(VK_DOWN, 0);
  EXPECT_EQ(Marks(), Rows({4}));
  grid->PressKey(VK_DOWN, ssShift);
  EXPECT_EQ(Marks(), Rows({4, 5}));
  grid->PressKey(VK_DOWN, ssCtrl);
  EXPECT_EQ(Marks(), Rows({4, 5}));
  grid->PressKey(VK_UP, 0);
  EXPECT_EQ(Marks(), Rows({5}));
}

TEST_F(Grid, DraggingAcrossRowsMarksThemAndMarkedRowsCanBeDragged) {
  RowSelect();
  const TPoint a = Centre(2, 2), b = Centre(2, 5);
  grid->PressMouse(mbLeft, ssLeft, a.x, a.y);
  EXPECT_EQ(grid->GetGridState(), TGridState::Selecting);
  grid->MoveMouse(ssLeft, b.x, b.y);
  grid->ReleaseMouse(mbLeft, 0, b.x, b.y);
  EXPECT_EQ(Marks(), Rows({2, 3, 4, 5}));
  EXPECT_EQ(grid->GetGridState(), TGridState::Normal);

  // A press on a marked row goes to OnMouseDown only, which starts a drag of all marked rows.
  int downs = 0, ends = 0;
  grid->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) {
    ++downs;
    grid->BeginDrag(false, 5);
  };
  grid->OnEndDrag = [&](TObject*, TObject*, int, int) { ++ends; };
  const TPoint c = Centre(2, 3);
  grid->PressMouse(mbLeft, ssLeft, c.x, c.y);
  grid->MoveMouse(ssLeft, c.x, c.y + 60);
  EXPECT_TRUE(grid->Dragging());
  grid->ReleaseMouse(mbLeft, 0, c.x, c.y + 60);
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(Marks(), Rows({2, 3, 4, 5}));
  EXPECT_EQ(grid->Row(), 5);
}

TEST_F(Grid, MarkEdgesAndTheirLife) {
  EXPECT_FALSE(grid->GetRowSelects(0));
  grid->SetRowSelects(0, true);  // a fixed row
  grid->SetRowSelects(10, true);  // past the end
  grid->SetRowSelects(3, true);
  EXPECT_EQ(Marks(), Rows({3}));
  grid->SetSelection(TGridRect{1, 0, 4, 12});  // marks the data rows it covers, never unmarks
  EXPECT_EQ(Marks(), Rows({1, 2, 3, 4, 5, 6, 7, 8, 9}));
  grid->SetRowSelects(5, false);
  EXPECT_FALSE(grid->GetRowSelects(5));
  grid->SetRowCount(11);
  EXPECT_TRUE(Marks().empty());
  grid->SetRowSelects(2, true);
  grid->SetColCount(6);
  EXPECT_TRUE(Marks().empty());

  // Outside row-select mode every painted row loses its mark.
  grid->SetRowSelects(2, true);
  grid->PaintToImage();
  EXPECT_FALSE(grid->GetRowSelects(2));
}

TEST_F(Grid, StripesIgnoreColumnColours) {
  grid->SetGridStyle(gsStriped);
  grid->SetStripeColor(clYellow);
  grid->SetColor(clWhite);
  grid->GridColumns()->Items(2)->SetColor(clAqua);
  for (int col : {1, 2}) {
    EXPECT_EQ(Fill(col, 2), clYellow);
    EXPECT_EQ(Fill(col, 1), clWhite);
    EXPECT_EQ(Fill(col, 3), clWhite);
  }
  grid->SetGridStyle(gsNormal);  // each column its own colour, taken from the grid when it was made
  EXPECT_EQ(Fill(2, 2), clAqua);
  EXPECT_EQ(Fill(1, 2), clWindow);
  grid->SetRowSelects(3, true);
  RowSelect();
  EXPECT_EQ(Fill(1, 3), clHighlight);
  EXPECT_EQ(Fill(1, 0), grid->FixedColor());
}

TEST_F(Grid, FrozenColumnsShowTheirSourceAndScrollingStartsAfterIt) {
  grid->SetBounds(0, 0, 150, 300);
  grid->SetColCount(10);
  for (int c = 0; c < 10; ++c) {
    grid->SetColWidths(c, 20 + c);
    for (int r = 0; r < 10; ++r) grid->SetCells(c, r, Format("%c%d", 'a' + c, r));
  }
  grid->SetFixedColsEx(1, 2, 5);
  EXPECT_EQ(grid->FixedCols(), 3);
  EXPECT_EQ(grid->FrozenColCount(), 2);
  EXPECT_EQ(grid->ColWidths(1), 25);
  EXPECT_EQ(grid->ColWidths(2), 26);
  EXPECT_EQ(grid->LeftCol(), 7);
  EXPECT_EQ(grid->GetFirstMoveCol(), 7);
  EXPECT_EQ(Drawn(1, 3), std::vector<AnsiString>{"f3"});
  EXPECT_EQ(Drawn(2, 0), std::vector<AnsiString>{"g0"});
  EXPECT_EQ(Drawn(7, 3), std::vector<AnsiString>{"h3"});
  EXPECT_EQ(Fill(1, 3), grid->Color());  // frozen cells look like data cells below the fixed rows
  EXPECT_EQ(Fill(1, 0), grid->FixedColor());
  grid->SetLeftCol(4);
  EXPECT_EQ(grid->LeftCol(), 7);

  grid->SetFixedCols(1);  // the slots get their widths back
  EXPECT_EQ(grid->ColWidths(1), 21);
  EXPECT_EQ(grid->ColWidths(2), 22);
  EXPECT_EQ(grid->FrozenColCount(), 0);
  EXPECT_EQ(grid->GetFirstMoveCol(), 1);

  grid->SetFixedColsEx(1, 2, 0);  // from is raised to the base
  EXPECT_EQ(grid->FrozenColFrom(), 1);
  EXPECT_EQ(grid->GetFirstMoveCol(), 3);
  EXPECT_EQ(Drawn(2, 4), std::vector<AnsiString>{"c4"});

  grid->SetFixedColsEx(1, 5, 8);  // would pass the last column: cut to the two that exist
  EXPECT_EQ(grid->FrozenColCount(), 2);
  EXPECT_EQ(grid->FixedCols(), 3);
  EXPECT_EQ(Drawn(2, 4), std::vector<AnsiString>{"j4"});
  grid->SetFixedColsEx(1, 3, 40);
  EXPECT_EQ(grid->FrozenColCount(), 0);
  EXPECT_EQ(grid->FixedCols(), 1);
}

TEST_F(Grid, FrozenRowsStartFromTheFixedRowsAndAreClamped) {
  grid->SetBounds(0, 0, 400, 100);
  grid->SetColCount(3);
  grid->SetFixedCols(2);  // a base taken from the column count would put the band at row 2
  grid->SetFixedRowsEx(1, 1, 6);
  EXPECT_EQ(grid->FixedRows(), 2);
  EXPECT_EQ(grid->TopRow(), 7);
  EXPECT_EQ(grid->FrozenRowFrom(), 6);
  EXPECT_EQ(Drawn(2, 1), std::vector<AnsiString>{"c6"});
  grid->SetTopRow(3);
  EXPECT_EQ(grid->TopRow(), 7);
  grid->SetFixedRowsEx(1, 4, 8);
  EXPECT_EQ(grid->FrozenRowCount(), 2);
  EXPECT_EQ(Drawn(2, 2), std::vector<AnsiString>{"c9"});
  grid->SetFixedRows(1);
  EXPECT_EQ(grid->FrozenRowCount(), 0);
  EXPECT_EQ(grid->GetFirstMoveRow(), 1);
}

TEST_F(Grid, IntegerColumnsNormaliseWhatIsTyped) {
  grid->SetOptions(grid->Options() | goEditing);
  grid->GridColumns()->Items(1)->DataType = dtInteger;
  grid->SetCells(1, 1, "");
  grid->SetCol(1);
  grid->SetRow(1);
  grid->TypeChar('x');  // refused: no editor opens
  EXPECT_FALSE(grid->EditorMode());
  grid->TypeChar('-');
  ASSERT_TRUE(grid->EditorMode());
  TInplaceEdit* editor = grid->InplaceEditor();
  EXPECT_EQ(editor->Text(), "-");
  editor->TypeChar('a');
  EXPECT_EQ(editor->Text(), "-");
  grid->HideEditor();
  EXPECT_EQ(grid->Cells(1, 1), "-0");

  struct Case {
    const char* typed;
    const char* stored;
  };
  for (const Case& c : {Case{"+5", "5"}, Case{"007", "7"}, Case{"-12", "-12"}, Case{"", ""}, Case{"1x2", "12"}}) {
    grid->ShowEditor();
    editor->SelectAll();
    editor->PressKey(VK_DELETE, 0);
    for (const char* k = c.typed; *k; ++k) editor->TypeChar(*k);
    grid->HideEditor();
    EXPECT_EQ(grid->Cells(1, 1), c.stored) << c.typed;
  }

  grid->SetCells(1, 1, "7");
  grid->ShowEditor();
  editor->SelectAll();
  editor->SetSelText("12a");  // pasted: not a number, so leaving brings the old text back
  EXPECT_EQ(editor->SelStart(), 3);
  grid->HideEditor();
  EXPECT_EQ(grid->Cells(1, 1), "7");
  EXPECT_EQ(editor->Text(), "7");
  EXPECT_EQ(editor->SelStart(), 1);

  grid->ShowEditor();  // moving to another cell (Ctrl+arrow in a multi-line column) stores the text too
  editor->TypeChar('9');
  editor->PressKey(VK_DOWN, ssCtrl);
  EXPECT_EQ(grid->Cells(1, 1), "9");
  EXPECT_EQ(grid->Row(), 2);

  grid->GridColumns()->Items(2)->CanEdit = false;
  grid->HideEditor();
  grid->SetCol(2);
  grid->TypeChar('9');
  EXPECT_FALSE(grid->EditorMode());
  EXPECT_EQ(grid->Cells(2, 2), "c2");
}

TEST_F(Grid, MultiLineCellsGrowTheirRowAndEnterMovesOnInOthers) {
  TBitmap probe(10, 10);
  probe.Canvas()->Font()->Assign(*grid->Font());
  const int line = probe.Canvas()->TextHeight("A") + 1;

  grid->SetCells(2, 3, "a\r\nb\nc");
  grid->AdjustRowHeight(3);
  EXPECT_EQ(grid->RowHeights(3), 20 + 2 * line);
  grid->SetCells(2, 3, "\r\r");
  grid->SetCells(3, 3, "x\n\n\ny");
  grid->AdjustRowHeight(3);
  EXPECT_EQ(grid->RowHeights(3), 20 + 3 * line);

  grid->SetOptions(grid->Options() | goEditing);
  grid->SetCol(1);
  grid->SetRow(1);
  grid->TypeChar('\r');  // Enter opens the editor of a multi-line column, caret at the end
  ASSERT_TRUE(grid->EditorMode());
  TInplaceEdit* editor = grid->InplaceEditor();
  EXPECT_EQ(editor->SelStart(), 2);
  EXPECT_EQ(editor->SelLength(), 0);
  editor->TypeChar('\r');
  editor->TypeChar('z');
  EXPECT_EQ(editor->Text(), "b1\r\nz");
  editor->PressKey(VK_UP, 0);  // stays in the text
  EXPECT_EQ(editor->SelStart(), 1);
  EXPECT_EQ(grid->Row(), 1);
  editor->PressKey(VK_RETURN, ssCtrl);
  EXPECT_FALSE(grid->EditorMode());
  EXPECT_EQ(grid->Cells(1, 1), "b1\r\nz");
  EXPECT_EQ(grid->RowHeights(1), 20 + line);

  grid->GridColumns()->Items(1)->MultiLine = false;
  grid->ShowEditor();
  editor->PressKey(VK_RETURN, 0);  // as Right: the whole text is selected, so on to the next cell
  EXPECT_EQ(grid->Col(), 2);
  EXPECT_EQ(grid->Cells(1, 1), "b1\r\nz");
}

TEST_F(Grid, NumbersInMaskedColumnsOnlyWhenTheyAreNumbers) {
  TGridColumn* column = grid->GridColumns()->Items(1);
  column->DisplayMask = "0.00";
  const char* cells[] = {"3.14159", "--", "2024-01-05", "1.2.3", "-", "+.", "12"};
  const char* shown[] = {"3.14", "--", "2024-01-05", "1.2.3", "-", "+.", "12.00"};
  for (int i = 0; i < 7; ++i) grid->SetCells(1, i + 1, cells[i]);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(Drawn(1, i + 1), std::vector<AnsiString>{shown[i]}) << cells[i];
  grid->GridColumns()->Items(2)->DisplayMask = ">LL-00;0;_";  // texts go through the edit mask
  grid->SetCells(2, 1, "ab1");
  EXPECT_EQ(Drawn(2, 1), std::vector<AnsiString>{"AB-1_"});
}

TEST_F(Grid, ColumnsFollowTheColumnCountAndTheOtherWayRound) {
  EXPECT_EQ(grid->GridColumns()->Count(), 5);
  grid->GridColumns()->Add();
  EXPECT_EQ(grid->ColCount(), 6);
  delete grid->GridColumns()->Items(0);
  EXPECT_EQ(grid->ColCount(), 5);
  grid->SetColCount(2);
  EXPECT_EQ(grid->GridColumns()->Count(), 2);

  TGridColumn* c = grid->GridColumns()->Items(1);
  c->SetCaption("");
  EXPECT_EQ(c->Caption(), " ");
  c->SetCaption(SJ("件名"));
  grid->SetCells(1, 0, "");
  EXPECT_EQ(Drawn(1, 0), std::vector<AnsiString>{SJ("件名")});
  c->SetAlignment(taRightJustify);
  c->DataType = dtInteger;
  c->Font()->SetPixelSize(20);
  grid->GridColumns()->SetItems(0, c);
  const TGridColumn* copy = grid->GridColumns()->Items(0);
  EXPECT_EQ(copy->Caption(), SJ("件名"));
  EXPECT_EQ(copy->Alignment(), taRightJustify);
  EXPECT_EQ(copy->DataType, dtInteger);
  EXPECT_EQ(const_cast<TGridColumn*>(copy)->Font()->PixelSize(), 20);
}

TEST_F(Grid, WheelScrollsWithoutMovingTheCurrentRow) {
  grid->SetRowCount(100);
  const int row = grid->Row();
  grid->TurnWheel(0, -120, 10, 10);
  grid->TurnWheel(0, -120, 10, 10);
  EXPECT_EQ(grid->TopRow(), 3);
  EXPECT_EQ(grid->Row(), row);
  for (int i = 0; i < 200; ++i) grid->TurnWheel(0, -120, 10, 10);
  EXPECT_EQ(grid->TopRow() + grid->VisibleRowCount(), 100);
  for (int i = 0; i < 200; ++i) grid->TurnWheel(0, 120, 10, 10);
  EXPECT_EQ(grid->TopRow(), 1);
}

TEST_F(Grid, TakesOverADesignedGrid) {
  TStringGrid designed(&form);
  designed.SetColCount(7);
  designed.SetRowCount(3);
  designed.SetFixedCols(2);
  designed.SetOptions(goRowSelect | goFixedVertLine);
  designed.SetBounds(5, 6, 70, 80);
  designed.Tag = 42;
  int clicks = 0;
  designed.OnClick = [&](TObject*) { ++clicks; };
  grid->SetFixedColsEx(1, 1, 3);
  grid->Assign(&designed);
  EXPECT_EQ(grid->ColCount(), 7);
  EXPECT_EQ(grid->GridColumns()->Count(), 7);
  EXPECT_EQ(grid->RowCount(), 3);
  EXPECT_EQ(grid->FixedCols(), 2);
  EXPECT_EQ(grid->FrozenColCount(), 0);
  EXPECT_EQ(grid->Options(), goRowSelect | goFixedVertLine);
  EXPECT_EQ(grid->Width(), 70);
  EXPECT_EQ(grid->Tag, 42);
  grid->Click();
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(grid->Cells(0, 0), "a0");  // cells are not copied
}

TEST_F(Grid, LooksLikeItsReferencePictures) {
  ASSERT_TRUE(JapaneseFontInstalled());
  grid->SetBounds(0, 0, 260, 150);
  grid->SetColCount(5);
  grid->SetRowCount(7);
  for (int c = 0; c < 5; ++c) grid->SetColWidths(c, c == 0 ? 24 : 56);
  const char* heads[] = {"", "名前", "数量", "メモ", "ｶﾅ"};
  for (int c = 0; c < 5; ++c) grid->SetCells(c, 0, Utf8ToSjis(heads[c]));
  for (int r = 1; r < 7; ++r) {
    grid->SetCells(0, r, IntToStr(r));
    grid->SetCells(1, r, Utf8ToSjis(r % 2 ? "東京" : "大阪"));
    grid->SetCells(2, r, IntToStr(r * 125));
    grid->SetCells(3, r, Format("note %d", r));
    grid->SetCells(4, r, Utf8ToSjis("ｱｲｳ"));
  }
  grid->GridColumns()->Items(2)->SetAlignment(taRightJustify);
  grid->SetColor(clWhite);
  grid->SetGridStyle(gsStriped);
  grid->SetStripeColor(0xE0FFFF);
  EXPECT_TRUE(MatchesReference(grid->PaintToImage(), "grid_striped"));

  RowSelect();
  grid->SetRowSelects(2, true);
  grid->SetRowSelects(3, true);
  grid->SetSelection(TGridRect{1, 3, 4, 3});
  EXPECT_TRUE(MatchesReference(grid->PaintToImage(), "grid_marked"));

  grid->SetWidth(200);
  grid->SetFixedColsEx(1, 1, 2);  // the amounts stay while the rest scrolls
  EXPECT_EQ(grid->LeftCol(), 3);
  EXPECT_TRUE(MatchesReference(grid->PaintToImage(), "grid_frozen"));
}
