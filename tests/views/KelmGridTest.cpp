#include <gtest/gtest.h>

#include <climits>

#include "platform/Clipbrd.h"
#include "platform/Menus.h"
#include "tests/support/RecordingCanvas.h"
#include "tests/support/TestSupport.h"
#include "views/KelmGrid.h"

namespace {

struct Sheet : ::testing::Test {
  TForm form{Application};
  TKelmGrid* g = nullptr;

  Sheet() {
    form.SetBounds(0, 0, 700, 400);
    g = new TKelmGrid(&form);
    g->SetParent(&form);
    g->SetBounds(0, 0, 700, 400);
    g->TabStop = true;
    g->SetColCount(5);
    for (int c = 1; c < 5; ++c) g->SetColWidths(c, 80);
    Refill();
  }
  // Five rows of "a1".."d5", no history.
  void Refill() {
    g->SetRowCount(6);
    for (int c = 1; c < 5; ++c)
      for (int r = 1; r < 6; ++r) g->SetCells(c, r, Format("%c%d", 'a' + c - 1, r));
    g->ClearUndo();
  }
  void Click(int col, int row, TShiftState shift = 0) {
    const TRect r = g->CellRect(col, row);
    const int x = (r.Left + r.Right) / 2, y = (r.Top + r.Bottom) / 2;
    g->PressMouse(mbLeft, shift | ssLeft, x, y);
    g->ReleaseMouse(mbLeft, shift, x, y);
  }
  // Selects a block by pressing on one corner and releasing on the other.
  void Drag(int c0, int r0, int c1, int r1) {
    const TRect a = g->CellRect(c0, r0), b = g->CellRect(c1, r1);
    g->PressMouse(mbLeft, ssLeft, a.Left + 3, a.Top + 3);
    g->MoveMouse(ssLeft, b.Left + 3, b.Top + 3);
    g->ReleaseMouse(mbLeft, 0, b.Left + 3, b.Top + 3);
  }
  AnsiString Row(int r) const {
    AnsiString s;
    for (int c = 1; c < g->ColCount(); ++c) s += (c > 1 ? "|" : "") + g->Cells(c, r);
    return s;
  }
};

}  // namespace

TEST_F(Sheet, RangesReachMaxintFromTheRowNumbersAndHeadings) {
  struct Case {
    std::vector<std::tuple<int, int, TShiftState>> clicks;
    TSelRange active;
    int ranges;
  };
  const Case cases[] = {
      {{{0, 5, 0}}, {0, 5, INT_MAX, 5}, 1},                 // a row number: the whole row
      {{{3, 0, 0}}, {3, 0, 3, INT_MAX}, 1},                 // a heading: the whole column
      {{{0, 0, 0}}, {0, 0, INT_MAX, INT_MAX}, 1},           // the corner: everything
      {{{2, 2, 0}, {3, 4, ssShift}}, {2, 2, 3, 4}, 1},      // Shift keeps the anchor
      {{{2, 2, 0}, {4, 1, ssCtrl}}, {4, 1, 4, 1}, 2},       // Ctrl adds a range
      {{{2, 2, 0}, {4, 1, ssCtrl}, {1, 1, 0}}, {1, 1, 1, 1}, 1},  // a plain click starts over
  };
  for (const Case& c : cases) {
    for (auto [col, row, shift] : c.clicks) Click(col, row, shift);
    EXPECT_EQ(g->Range(0), c.active) << std::get<0>(c.clicks.back()) << "," << std::get<1>(c.clicks.back());
    EXPECT_EQ(g->RangeCount(), c.ranges);
  }
  // A whole column copies every row the grid has, and nothing beyond.
  Click(2, 0);
  EXPECT_EQ(g->SelectionText(), "b1\r\nb2\r\nb3\r\nb4\r\nb5\r\n");
  Click(2, 2);
  Click(4, 1, ssCtrl);
  EXPECT_TRUE(g->IsSelected(2, 2));
  EXPECT_TRUE(g->IsSelected(4, 1));
  EXPECT_FALSE(g->IsSelected(3, 2));
  // A selection that is not a block is flattened row by row.
  EXPECT_EQ(g->SelectionText(), "d1\r\nb2\r\n");
}

TEST_F(Sheet, ShiftArrowExtendsAndTypingStartsEditing) {
  Click(1, 1);
  g->PressKey(VK_SHIFT, ssShift);
  EXPECT_FALSE(g->GetCellEdit());  // Shift alone must not start editing
  g->PressKey(VK_RIGHT, ssShift);
  g->PressKey(VK_DOWN, ssShift);
  EXPECT_EQ(g->Range(0), (TSelRange{1, 1, 2, 2}));
  g->PressKey(VK_DELETE, 0);
  EXPECT_EQ(Row(1), "||c1|d1");
  EXPECT_EQ(Row(2), "||c2|d2");
  EXPECT_EQ(g->UndoStepCount(), 1);

  Click(3, 3);
  g->PressKey('X', 0);
  g->TypeChar('x');
  EXPECT_TRUE(g->GetCellEdit());
  g->InplaceEditor()->PressKey('Y', 0);
  g->InplaceEditor()->TypeChar('y');
  EXPECT_EQ(g->Cells(3, 3), "xy");  // the key that opened the editor replaced the text
  EXPECT_EQ(g->UndoStepCount(), 2);  // every keystroke of one cell is one step
  g->Undo();
  EXPECT_EQ(g->Cells(3, 3), "c3");

  // The command keys of the selection mode.
  Click(1, 5);
  g->PressKey('C', ssCtrl);
  EXPECT_EQ(Clipboard()->AsText(), "a5\r\n");
  Click(2, 5);
  g->PressKey('V', ssCtrl);
  EXPECT_EQ(g->Cells(2, 5), "a5");
  g->PressKey('Z', ssCtrl);
  EXPECT_EQ(g->Cells(2, 5), "b5");
  g->PressKey('Y', ssCtrl);
  EXPECT_EQ(g->Cells(2, 5), "a5");
  g->PressKey('X', ssCtrl);
  EXPECT_EQ(g->Cells(2, 5), "");
  EXPECT_FALSE(g->GetCellEdit());

  // A double click on a row number edits the row's first data cell.
  Click(0, 4);
  const TRect number = g->CellRect(0, 4);
  g->PressMouse(mbLeft, ssLeft, number.Left + 3, number.Top + 3, true);
  EXPECT_TRUE(g->EditorMode());
  EXPECT_EQ(g->Col(), 1);
  EXPECT_EQ(g->Row(), 4);
  EXPECT_EQ(g->Range(0), (TSelRange{1, 4, 1, 4}));
}

TEST_F(Sheet, UndoMergesEditsOfOneCellAndDropsTheRedoTail) {
  // The history after each operation: (steps, index, cell (1,1), cell (2,1)).
  struct Step {
    std::function<void()> op;
    int steps, index;
    const char* a1;
    const char* b1;
  };
  const Step script[] = {
      {[&] { g->SetCells(1, 1, "x"), g->UndoAddEditText(1, 1, "a1", "x"); }, 1, 0, "x", "b1"},
      {[&] { g->SetCells(1, 1, "xy"), g->UndoAddEditText(1, 1, "x", "xy"); }, 1, 0, "xy", "b1"},  // merged
      {[&] { g->SetCells(2, 1, "z"), g->UndoAddEditText(2, 1, "b1", "z"); }, 2, 1, "xy", "z"},    // other cell
      {[&] { g->Undo(); }, 2, 0, "xy", "b1"},
      {[&] { g->Undo(); }, 2, -1, "a1", "b1"},  // back to the text before the first keystroke
      {[&] { g->Undo(); }, 2, -1, "a1", "b1"},  // nothing left
      {[&] { g->Redo(); }, 2, 0, "xy", "b1"},
      // A new edit after an undo drops the undone step, and redo has nothing to do.
      {[&] { g->SetCells(1, 1, "q"), g->UndoAddEditText(1, 1, "xy", "q"); }, 1, 0, "q", "b1"},
      {[&] { g->Redo(); }, 1, 0, "q", "b1"},
      {[&] { g->Undo(); }, 1, -1, "a1", "b1"},
      {[&] { g->SetCells(2, 1, "w"), g->UndoAdd(kcText, 2, 1, "b1", "w"); }, 1, 0, "a1", "w"},
  };
  int i = 0;
  for (const Step& s : script) {
    s.op();
    EXPECT_EQ(g->UndoStepCount(), s.steps) << "step " << i;
    EXPECT_EQ(g->UndoStepIndex(), s.index) << "step " << i;
    EXPECT_EQ(g->Cells(1, 1), s.a1) << "step " << i;
    EXPECT_EQ(g->Cells(2, 1), s.b1) << "step " << i;
    EXPECT_EQ(g->CanRedo(), s.index + 1 < s.steps) << "step " << i;
    ++i;
  }
  // The popup menu follows the history and the clipboard.
  Clipboard()->Clear();
  g->DoGridPopup(5, 5);
  TMenuItem* items = g->GridPopup()->Items();
  EXPECT_TRUE(items->Items(0)->Enabled);
  EXPECT_FALSE(items->Items(1)->Enabled);
  EXPECT_FALSE(items->Items(5)->Enabled);
  EXPECT_EQ(items->Items(6)->Caption(), SJ("クリア"));
}

TEST(SheetText, EscapingRoundTrips) {
  struct Case {
    AnsiString field, escaped;
  };
  const Case cases[] = {
      {"abc", "abc"},
      {"", ""},
      {"a b", "\"a b\""},
      {"x,y", "\"x,y\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"q\"", "\"q\"\"\""},
      {"tab\there", "\"tab\there\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {SJ("ソ表"), SJ("ソ表")},       // trail bytes 0x5C stay as they are
      {SJ("ポ|"), SJ("ポ|")},
      {"\x81\"", "\x81\""},            // a quote after a lead byte is its second byte, not a quote
      {" lead", "\" lead\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeCsvField(c.field), c.escaped) << Show(c.field);
    AnsiString back;
    EXPECT_EQ(ReadCsvField(c.escaped, 0, back, ','), static_cast<int>(c.escaped.size())) << Show(c.field);
    if (c.field != " lead") {
      EXPECT_EQ(back, c.field) << Show(c.field);
    }
  }
  // Reading: blanks around unquoted fields go, blanks inside quotes stay, the terminator is left.
  struct Read {
    AnsiString text, field;
    int used;
  };
  const Read reads[] = {
      {"  p q  ,r", "p q", 7},
      {"\"p,q\" ,r", "p,q", 6},
      {"\" a \"", " a ", 5},
      {"a\tb", "a", 1},
      {"x\r\ny", "x", 1},
      {"\"a\r\nb\"", "a\r\nb", 6},
      {"ab\x88", "ab", 3},  // a lead byte at the end is dropped
  };
  for (const Read& r : reads) {
    AnsiString field;
    const char sep = r.text.find('\t') != AnsiString::npos ? '\t' : ',';
    EXPECT_EQ(ReadCsvField(r.text, 0, field, sep), r.used) << Show(r.text);
    EXPECT_EQ(field, r.field) << Show(r.text);
  }
}

TEST_F(Sheet, CopyPutsEscapedLinesOnTheClipboard) {
  g->SetCells(1, 2, "a b");
  g->SetCells(2, 2, "x");
  g->SetCells(3, 2, "");
  Drag(1, 2, 3, 2);
  g->SelCopy(false);
  EXPECT_EQ(Clipboard()->AsText(), "\"a b\",x,\r\n");
  g->SetCsvSeparator('\t');
  g->SetCells(3, 2, SJ("表\"示"));
  g->SelCopy(false);
  EXPECT_EQ(Clipboard()->AsText(), "\"a b\"\tx\t\"" + SJ("表\"\"示") + "\"\r\n");
  EXPECT_EQ(g->UndoStepCount(), 0);  // a copy changes nothing
}

TEST_F(Sheet, PasteLaysBlocksRepeatsShortTextsAndGrowsRows) {
  struct Case {
    const char* name;
    std::function<void()> select;
    AnsiString text;
    std::vector<AnsiString> rows;  // rows 1.. of columns 1..4 afterwards
    int rowCount;
  };
  const Case cases[] = {
      {"block from one cell", [&] { Click(2, 1); }, "  \"p,q\" , r \r\ns",
       {"a1|p,q|r|d1", "a2|s|c2|d2", "a3|b3|c3|d3", "a4|b4|c4|d4", "a5|b5|c5|d5"}, 6},
      {"lone LF ends a line, CR moves right", [&] { Click(1, 1); }, "1\n2\r3",
       {"1|b1|c1|d1", "2|3|c2|d2", "a3|b3|c3|d3", "a4|b4|c4|d4", "a5|b5|c5|d5"}, 6},
      {"columns past the last are dropped", [&] { Click(3, 2); }, "x,y,z,w",
       {"a1|b1|c1|d1", "a2|b2|x|y", "a3|b3|c3|d3", "a4|b4|c4|d4", "a5|b5|c5|d5"}, 6},
      {"repeated over a block", [&] { Drag(1, 1, 3, 2); }, "1",
       {"1|1|1|d1", "1|1|1|d2", "a3|b3|c3|d3", "a4|b4|c4|d4", "a5|b5|c5|d5"}, 6},
      {"reading order, line ends ignored", [&] { Drag(1, 3, 2, 4); }, "p,q\r\nr",
       {"a1|b1|c1|d1", "a2|b2|c2|d2", "p|q|c3|d3", "r|p|c4|d4", "a5|b5|c5|d5"}, 6},
      {"rows grow below the last", [&] { Click(4, 5); }, "m\r\nn\r\no\r\n",
       {"a1|b1|c1|d1", "a2|b2|c2|d2", "a3|b3|c3|d3", "a4|b4|c4|d4", "a5|b5|c5|m", "|||n", "|||o"}, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Refill();
    c.select();
    Clipboard()->SetAsText(c.text);
    g->SelPaste();
    ASSERT_EQ(g->RowCount(), c.rowCount);
    for (int r = 1; r < g->RowCount(); ++r) EXPECT_EQ(Row(r), c.rows[r - 1]) << "row " << r;
    for (int r = 0; r < g->RowCount(); ++r) EXPECT_EQ(g->Cells(0, r), IntToStr(r));
    EXPECT_EQ(g->UndoStepCount(), 1);
    g->Undo();
    for (int r = 1; r < 6; ++r) EXPECT_EQ(Row(r), Format("a%d|b%d|c%d|d%d", r, r, r, r));
  }
}

TEST_F(Sheet, PasteAndCutLeaveReadOnlyColumns) {
  g->GridColumns()->Items(2)->CanEdit = false;
  Drag(1, 1, 3, 2);
  g->SelCopy(true);
  EXPECT_EQ(Clipboard()->AsText(), "a1,b1,c1\r\na2,b2,c2\r\n");
  EXPECT_EQ(Row(1), "|b1||d1");
  EXPECT_EQ(Row(2), "|b2||d2");
  // The cut is one step, so it can be undone.
  EXPECT_EQ(g->UndoStepCount(), 1);
  g->Undo();
  EXPECT_EQ(Row(1), "a1|b1|c1|d1");
  EXPECT_EQ(Row(2), "a2|b2|c2|d2");
  Clipboard()->SetAsText("z");
  g->SelPaste();
  EXPECT_EQ(Row(1), "z|b1|z|d1");
  // Clearing cells that are empty already is still a step.
  Click(4, 5);
  g->SetCells(4, 5, "");
  const int before = g->UndoStepCount();
  g->SelClear();
  EXPECT_EQ(g->UndoStepCount(), before + 1);
}

TEST_F(Sheet, DrawsEverySelectedRangeHighlighted) {
  g->SetColor(clWhite);
  g->SetCells(3, 0, "");
  g->GridColumns()->Items(3)->SetCaption(SJ("金額"));
  g->GridColumns()->Items(3)->SetAlignment(taRightJustify);
  Click(1, 1);
  Click(2, 3, ssCtrl);
  TRecordingCanvas c;
  g->PaintOn(&c);
  auto fill = [&](int col, int row) {
    TColor last = -1;
    for (const auto& op : c.Ops)
      if (op.kind == TRecordingCanvas::opFill && op.rect == g->CellRect(col, row)) last = op.color;
    return last;
  };
  EXPECT_EQ(fill(1, 1), clHighlight);
  EXPECT_EQ(fill(2, 3), clHighlight);
  EXPECT_EQ(fill(2, 2), clWhite);
  const auto* a1 = c.FindText("a1");
  ASSERT_NE(a1, nullptr);
  EXPECT_EQ(a1->color, clHighlightText);
  // An empty heading shows the column's caption; a right-aligned column ends its text at the
  // cell's inset.
  ASSERT_NE(c.FindText(SJ("金額")), nullptr);
  const auto* c2 = c.FindText("c2");
  ASSERT_NE(c2, nullptr);
  EXPECT_EQ(c2->rect.Right, g->CellRect(3, 2).Right - 2);
}
