#include <gtest/gtest.h>

#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/Grids.h"
#include "platform/Memo.h"
#include "tests/support/RecordingCanvas.h"
#include "tests/support/TestSupport.h"
#include "tests/views/DesignMouse.h"
#include "views/CvDesignBox.h"

namespace {

TEST(DesignRects, HandlesStandAtTheEdgesAndCentres) {
  const TRect r = Rect(10, 20, 51, 40);
  const TRect expected[8] = {
      Rect(10, 20, 16, 26), Rect(10, 34, 16, 40), Rect(45, 34, 51, 40), Rect(45, 20, 51, 26),
      Rect(10, 27, 16, 33), Rect(27, 34, 33, 40), Rect(45, 27, 51, 33), Rect(27, 20, 33, 26),
  };
  for (int h = 0; h < 8; ++h) {
    TRect out;
    SizingHandleRect(out, r, h, 6);
    EXPECT_EQ(out, expected[h]) << h;
  }
  // A rectangle smaller than a handle: the edges' squares overhang it on the far side.
  TRect out;
  SizingHandleRect(out, Rect(10, 10, 14, 14), 0, 6);
  EXPECT_EQ(out, Rect(8, 8, 14, 14));
  SizingHandleRect(out, Rect(10, 10, 14, 14), 2, 6);
  EXPECT_EQ(out, Rect(10, 10, 16, 16));
  SizingHandleRect(out, Rect(-7, -7, -2, -2), 7, 6);
  EXPECT_EQ(out, Rect(-7, -8, -1, -2)) << "centred by truncating toward zero";
}

TEST(DesignRects, NormalizeMoveOverlap) {
  TRect out;
  NormalizeRect(Rect(30, 40, 10, 5), out);
  EXPECT_EQ(out, Rect(10, 5, 30, 40));
  EXPECT_EQ(MovedRect(Rect(1, 2, 3, 4), -5, 7), Rect(-4, 9, -2, 11));
  const TRect a = Rect(0, 0, 10, 10);
  EXPECT_TRUE(RectsOverlap(a, Rect(9, 9, 20, 20)));
  EXPECT_TRUE(RectsOverlap(a, Rect(2, 2, 3, 3)));
  EXPECT_FALSE(RectsOverlap(a, Rect(10, 0, 20, 10))) << "touching on the right";
  EXPECT_FALSE(RectsOverlap(a, Rect(0, 10, 10, 20))) << "touching below";
}

// A panel with a label, a memo, an edit box, a hidden label, a hidden memo and a button, designed
// by a surface laid over it.
struct Design : ::testing::Test {
  TForm form{Application};
  TPanel* panel = nullptr;
  TLabel* label = nullptr;
  TMemo* memo = nullptr;
  TEdit* edit = nullptr;
  TLabel* hiddenLabel = nullptr;
  TMemo* hiddenMemo = nullptr;
  TButton* button = nullptr;
  TCvDesignBox* box = nullptr;

  Design() {
    form.SetBounds(0, 0, 400, 300);
    panel = new TPanel(&form);
    panel->SetParent(&form);
    panel->SetBevelOuter(bvNone);
    panel->SetBounds(0, 0, 400, 300);
    edit = new TEdit(&form);
    edit->SetParent(panel);
    edit->SetBounds(120, 48, 80, 24);
    memo = new TMemo(&form);
    memo->SetParent(panel);
    memo->SetBounds(16, 48, 80, 40);
    label = new TLabel(&form);
    label->SetParent(panel);
    label->SetAutoSize(false);
    label->SetBounds(16, 16, 40, 16);
    label->SetCaption("Label");
    hiddenLabel = new TLabel(&form);
    hiddenLabel->SetParent(panel);
    hiddenLabel->SetAutoSize(false);
    hiddenLabel->SetBounds(200, 120, 40, 16);
    hiddenLabel->Hide();
    hiddenMemo = new TMemo(&form);
    hiddenMemo->SetParent(panel);
    hiddenMemo->Hide();
    button = new TButton(&form);
    button->SetParent(panel);
    button->SetBounds(300, 250, 75, 25);
    box = new TCvDesignBox(&form);
    box->SetParent(panel);
    box->SetVisible(true);
  }
  void Drag(int x, int y, int dx, int dy, TShiftState shift = 0) { DragOn(box, x, y, dx, dy, shift); }
  void Click(int x, int y, TShiftState shift = 0) { DragOn(box, x, y, 0, 0, shift); }
  static TRect Bounds(TControl* c) { return Rect(c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height()); }
};

TEST_F(Design, StartTakesLabelsAndShownEditorsAndHidesThem) {
  ASSERT_TRUE(box->Active());
  EXPECT_EQ(box->Items()->Count(), 4) << "edit, memo, label, hidden label";
  EXPECT_EQ(box->ItemOf(hiddenMemo), nullptr);
  EXPECT_EQ(box->ItemOf(button), nullptr);
  ASSERT_NE(box->ItemOf(hiddenLabel), nullptr);
  EXPECT_FALSE(box->ItemOf(hiddenLabel)->Visible);
  EXPECT_EQ(box->ItemOf(memo)->Rect, Rect(16, 48, 96, 88));
  EXPECT_FALSE(memo->Visible());
  EXPECT_FALSE(label->Visible());
  EXPECT_TRUE(button->Visible());
  EXPECT_EQ(box->Left(), 0);
  EXPECT_EQ(box->Width(), panel->ClientWidth());

  box->SetVisible(false);
  EXPECT_FALSE(box->Active());
  EXPECT_TRUE(memo->Visible());
  EXPECT_TRUE(label->Visible());
  EXPECT_FALSE(hiddenLabel->Visible());
  EXPECT_EQ(box->Items()->Count(), 0);
}

TEST_F(Design, AClickSelectsAndASmallMoveMovesNothing) {
  Drag(30, 60, 1, 1);
  EXPECT_EQ(Bounds(memo), Rect(16, 48, 96, 88));
  EXPECT_TRUE(box->IsSelected(memo));
  Click(130, 55);
  EXPECT_TRUE(box->IsSelected(edit));
  EXPECT_FALSE(box->IsSelected(memo)) << "a plain click selects one";
  Click(30, 60, ssCtrl);
  EXPECT_TRUE(box->IsSelected(memo));
  EXPECT_TRUE(box->IsSelected(edit));
  Click(30, 60, ssCtrl);
  EXPECT_FALSE(box->IsSelected(memo)) << "Ctrl+click toggles";
  Click(350, 200);
  EXPECT_FALSE(box->IsSelected(edit)) << "a click on empty space deselects";
}

TEST_F(Design, MovesSnapToTheNearestGridLineAndStopAtZero) {
  struct Case {
    int dx, dy;
    int left, top;  // the memo's, from (16, 48)
  } cases[] = {
      {13, 0, 32, 48},    // 29 -> 32
      {12, 3, 24, 48},    // 28 is halfway: back to 24; 51 -> 48
      {-5, 5, 8, 56},     // 11 -> 8; 53 -> 56
      {-40, -70, 0, 0},   // past the edges
      {2, 2, 16, 48},     // moved, but snaps back
  };
  for (const Case& c : cases) {
    memo->SetBounds(16, 48, 80, 40);
    box->SetBRect(box->ItemOf(memo));
    Drag(40, 60, c.dx, c.dy);
    EXPECT_EQ(memo->Left(), c.left) << c.dx << "," << c.dy;
    EXPECT_EQ(memo->Top(), c.top) << c.dx << "," << c.dy;
    EXPECT_EQ(memo->Width(), 80);
    EXPECT_EQ(box->ItemOf(memo)->Rect, Bounds(memo));
  }
  box->SetGrid(false);
  memo->SetBounds(16, 48, 80, 40);
  box->SetBRect(box->ItemOf(memo));
  Drag(40, 60, 13, 3);
  EXPECT_EQ(Bounds(memo), Rect(29, 51, 109, 91)) << "no grid: where it was dropped";
}

TEST_F(Design, HandlesResizeLeftAndTopOnTheGridRightAndBottomFreely) {
  Click(30, 60);  // select the memo (16, 48, 96, 88)
  struct Case {
    int x, y;  // a point on the handle
    int dx, dy;
    TRect after;
  } cases[] = {
      {18, 67, 5, 0, Rect(24, 48, 96, 88)},    // left middle by 5: the left edge by 8
      {93, 67, 5, 0, Rect(16, 48, 101, 88)},   // right middle by 5: by 5
      {56, 85, 0, -7, Rect(16, 48, 96, 81)},   // bottom middle
      {18, 50, -13, -3, Rect(8, 48, 96, 88)},  // top-left: -13 -> -8, -3 -> 0 (truncated toward zero)
      {93, 85, 30, 30, Rect(16, 48, 126, 118)},
  };
  for (const Case& c : cases) {
    memo->SetBounds(16, 48, 80, 40);
    box->SetBRect(box->ItemOf(memo));
    Drag(c.x, c.y, c.dx, c.dy);
    EXPECT_EQ(Bounds(memo), c.after) << c.x << "," << c.y;
    EXPECT_TRUE(box->IsSelected(memo));
  }
  memo->SetBounds(16, 48, 80, 40);
  box->SetBRect(box->ItemOf(memo));
  Drag(18, 67, 100, 0);  // the left edge past the right one
  EXPECT_EQ(Bounds(memo), Rect(96, 48, 120, 88)) << "turned over, not left without a width";
}

TEST_F(Design, ARubberBandTogglesWhatItOverlaps) {
  Click(30, 60);  // the memo selected
  Drag(100, 10, -90, 40, ssCtrl);  // with Ctrl the selection stays: over the label and the memo
  EXPECT_FALSE(box->IsSelected(memo));
  EXPECT_TRUE(box->IsSelected(label));
  EXPECT_FALSE(box->IsSelected(edit));
  Drag(100, 100, 20, -28, ssCtrl);  // touches the edit box's left edge (120) and bottom (72) only
  EXPECT_FALSE(box->IsSelected(edit));
  EXPECT_TRUE(box->IsSelected(label));
  Drag(250, 20, -60, 40);  // without Ctrl: the selection goes, the band selects the edit box
  EXPECT_FALSE(box->IsSelected(label));
  EXPECT_TRUE(box->IsSelected(edit));
}

TEST_F(Design, AHiddenLabelIsNotDrawnButCanBeSelectedAndMoved) {
  Click(30, 60);
  Click(210, 125, ssCtrl);
  EXPECT_TRUE(box->IsSelected(hiddenLabel));
  Drag(30, 60, 16, 8);
  EXPECT_EQ(memo->Left(), 32);
  EXPECT_EQ(hiddenLabel->Left(), 216);
  EXPECT_EQ(hiddenLabel->Top(), 128);
  const TBitmap shot = box->PaintToImage();
  EXPECT_EQ(shot.Pixel(217, 129), 0xD4D0C8u) << "no frame, no handles";
  EXPECT_EQ(shot.Pixel(254, 142), 0xD4D0C8u);
  EXPECT_EQ(shot.Pixel(32, 56), 0x000000u) << "the memo's frame";
  box->SetVisible(false);
  EXPECT_FALSE(hiddenLabel->Visible());
}

TEST_F(Design, StopOrdersTabsByPlace) {
  Click(130, 55);
  Drag(130, 55, -104, 100);  // the edit box below the memo: (16, 152)
  auto* second = new TEdit(&form);
  second->SetParent(panel);
  box->SetVisible(false);
  second->SetBounds(200, 48, 40, 20);  // same top as the memo, right of it
  box->SetVisible(true);
  box->SetVisible(false);
  EXPECT_EQ(memo->TabOrder(), 0);
  EXPECT_EQ(second->TabOrder(), 1);
  EXPECT_EQ(edit->TabOrder(), 2);
}

TEST_F(Design, PaintsGridControlsAndSelection) {
  Click(30, 60);
  const TBitmap shot = box->PaintToImage();
  // The memo (selected): two black frames and black handles.
  EXPECT_EQ(shot.Pixel(16, 48), 0x000000u);
  EXPECT_EQ(shot.Pixel(17, 70), 0x000000u);
  EXPECT_EQ(shot.Pixel(93, 85), 0x000000u);
  // The edit box: a sunken edge, shadow and frame outside, highlight and face inside out.
  EXPECT_EQ(shot.Pixel(150, 48), 0x808080u);
  EXPECT_EQ(shot.Pixel(150, 49), 0x000000u);
  EXPECT_EQ(shot.Pixel(150, 71), 0xFFFFFFu);
  EXPECT_EQ(shot.Pixel(150, 70), 0xD4D0C8u);
  // Grid dots every 8 pixels on empty space.
  EXPECT_NE(shot.Pixel(304, 200), shot.Pixel(305, 200));
  EXPECT_EQ(shot.Pixel(305, 200), shot.Pixel(306, 201));
  box->SetGrid(false);
  EXPECT_EQ(box->PaintToImage().Pixel(304, 200), shot.Pixel(305, 200));
}

}  // namespace

namespace {

// The outline of a drag is combined with what the surface shows, so that drawing it again takes
// it away: it follows the mouse without leaving trails, and goes once the drag ends.
TEST_F(Design, TheDragOutlineFollowsTheMouseWithoutTrails) {
  const uint32_t face = box->PaintToImage().Pixel(17, 190);
  auto pixel = [&](int x, int y) { return box->GrabImage().Pixel(x, y); };
  box->PressMouse(mbLeft, ssLeft, 30, 60);  // the memo (16, 48, 96, 88)
  box->MoveMouse(ssLeft, 30, 180);
  EXPECT_NE(pixel(16, 190), face) << "outline at (16, 168)";
  EXPECT_EQ(pixel(17, 190), face) << "an outline, not a fill";
  box->MoveMouse(ssLeft, 30, 220);
  EXPECT_EQ(pixel(16, 190), face) << "the old outline is gone";
  EXPECT_NE(pixel(16, 230), face);
  box->ReleaseMouse(mbLeft, 0, 30, 220);
  EXPECT_EQ(memo->Top(), 208);
  EXPECT_EQ(pixel(16, 230), 0x000000u) << "the moved memo, selected";
  EXPECT_EQ(pixel(16, 190), face);
}

}  // namespace

namespace {

// A string grid's image: its colour, then the first row's cells framed from the left, clipped to
// the grid and ending with the cell that reaches its right edge.
TEST(DesignPaint, AGridShowsItsFirstRowUpToItsRightEdge) {
  TForm form(Application);
  TStringGrid grid(&form);
  grid.SetColCount(5);
  grid.SetRowCount(3);
  grid.SetDefaultRowHeight(20);
  grid.SetGridLineWidth(1);
  const char* heads[] = {"a", "b", "c", "d", "e"};
  for (int c = 0; c < 5; ++c) {
    grid.SetColWidths(c, 40);
    grid.SetCells(c, 0, heads[c]);
    grid.SetCells(c, 1, "body");
  }
  TRecordingCanvas rec;
  TCvDesignBox::PaintGrid(&rec, Rect(10, 10, 110, 60), &grid);
  EXPECT_EQ(rec.Texts(), (std::vector<AnsiString>{"a", "b", "c"}));
  const TRecordingCanvas::Op* c = rec.FindText("c");
  ASSERT_NE(c, nullptr);
  EXPECT_TRUE(c->clipped);
  EXPECT_EQ(c->clip.Right, 110) << "the last cell is cut at the grid's edge";
  EXPECT_FALSE(rec.Clipped()) << "the clip is given back";
  const TRecordingCanvas::Op* fill = &rec.Ops.front();
  EXPECT_EQ(fill->kind, TRecordingCanvas::opFill);
  EXPECT_EQ(fill->rect, Rect(10, 10, 110, 60));
}

}  // namespace
