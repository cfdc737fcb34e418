#include <gtest/gtest.h>

#include "kit/DesignBox.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/Memo.h"
#include "tests/support/RecordingCanvas.h"
#include "tests/support/TestSupport.h"
#include "tests/views/DesignMouse.h"

namespace {

// A panel with a label, a memo, an edit box, a hidden edit box and a button, designed by a
// surface laid over it.
template <class Box>
struct DesignFixture : ::testing::Test {
  TForm form{Application};
  TPanel* panel = nullptr;
  TLabel* label = nullptr;
  TMemo* memo = nullptr;
  TEdit* edit = nullptr;
  TEdit* hiddenEdit = nullptr;
  TButton* button = nullptr;
  Box* box = nullptr;

  DesignFixture() {
    form.SetBounds(0, 0, 400, 300);
    panel = new TPanel(&form);
    panel->SetParent(&form);
    panel->SetBevelOuter(bvNone);
    panel->SetBounds(0, 0, 400, 300);
    label = new TLabel(&form);
    label->SetParent(panel);
    label->SetAutoSize(false);
    label->SetBounds(16, 16, 40, 16);
    label->SetCaption("Label");
    memo = new TMemo(&form);
    memo->SetParent(panel);
    memo->SetBounds(16, 48, 80, 40);
    memo->Lines()->Add("memo text");
    edit = new TEdit(&form);
    edit->SetParent(panel);
    edit->SetBounds(120, 48, 80, 24);
    edit->SetText("edit text");
    hiddenEdit = new TEdit(&form);
    hiddenEdit->SetParent(panel);
    hiddenEdit->SetBounds(200, 120, 60, 20);
    hiddenEdit->Hide();
    button = new TButton(&form);
    button->SetParent(panel);
    button->SetBounds(300, 250, 75, 25);
    box = new Box(&form);
    box->SetParent(panel);
    box->SetVisible(true);
  }
  void Drag(int x, int y, int dx, int dy, TShiftState shift = 0) { DragOn(box, x, y, dx, dy, shift); }
  void Click(int x, int y, TShiftState shift = 0) { DragOn(box, x, y, 0, 0, shift); }
  void PlaceMemo(int left, int top) {
    memo->SetBounds(left, top, 80, 40);
    box->SetBRect(box->ItemOf(memo));
  }
  static TRect Bounds(TControl* c) { return Rect(c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height()); }
};

using Designer = DesignFixture<TDesignBox>;

TEST_F(Designer, StartTakesLabelsEditsAndMemosAndStopGivesTheirVisibilityBack) {
  ASSERT_TRUE(box->Running());
  ASSERT_EQ(box->Items()->Count(), 4) << "label, memo, edit, hidden edit; not the button";
  EXPECT_EQ(box->Items()->Items(0)->Control, label) << "in the target's order";
  EXPECT_EQ(box->ItemOf(button), nullptr);
  EXPECT_EQ(box->ItemOf(memo)->Rect, Rect(16, 48, 96, 88));
  EXPECT_FALSE(box->ItemOf(memo)->Selected);
  EXPECT_FALSE(box->ItemOf(hiddenEdit)->Visible);
  EXPECT_TRUE(box->ItemOf(edit)->Visible);
  EXPECT_FALSE(label->Visible());
  EXPECT_FALSE(memo->Visible());
  EXPECT_TRUE(button->Visible());
  EXPECT_EQ(Bounds(box), Rect(0, 0, 400, 300));

  // An item beyond the container widens the surface.
  hiddenEdit->SetBounds(380, 290, 60, 20);
  box->SetBRect(box->ItemOf(hiddenEdit));
  box->CheckSize();
  EXPECT_EQ(Bounds(box), Rect(0, 0, 440, 310));

  box->SetVisible(false);
  EXPECT_FALSE(box->Running());
  EXPECT_EQ(box->Items()->Count(), 0);
  EXPECT_TRUE(label->Visible());
  EXPECT_TRUE(memo->Visible());
  EXPECT_TRUE(edit->Visible());
  EXPECT_FALSE(hiddenEdit->Visible()) << "hidden before, hidden after";

  // Started again, it takes the controls afresh.
  box->SetVisible(true);
  EXPECT_EQ(box->Items()->Count(), 4);
}

TEST(DesignerIdle, WithoutATargetNothingStarts) {
  TForm form(Application);
  TDesignBox box(&form);
  EXPECT_FALSE(box.Visible()) << "invisible when made";
  box.SetVisible(true);
  box.Start();
  EXPECT_FALSE(box.Visible());
  EXPECT_FALSE(box.Running());
  EXPECT_EQ(box.Items()->Count(), 0);
}

TEST_F(Designer, ClicksSelectAndASmallMoveMovesNothing) {
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
  EXPECT_FALSE(box->IsSelected(memo)) << "Ctrl+click on a selected item deselects it";
  Click(350, 200);
  EXPECT_FALSE(box->IsSelected(edit)) << "a click on empty space deselects";
}

TEST_F(Designer, OverlappingItemsAndHandlesOutsideAnItemAreHit) {
  box->SetVisible(false);
  edit->SetBounds(60, 60, 80, 24);   // over the memo, and later in the list
  label->SetBounds(200, 200, 4, 4);  // smaller than a handle
  box->SetVisible(true);
  EXPECT_EQ(box->ItemAt(70, 65), box->ItemOf(edit));
  EXPECT_EQ(box->ItemAt(30, 60), box->ItemOf(memo));
  EXPECT_EQ(box->ItemAt(205, 205), box->ItemOf(label)) << "the bottom-right handle overhangs it";
  EXPECT_EQ(box->ItemAt(300, 200), nullptr);
  Click(201, 201);
  Drag(205, 205, 10, 10);
  EXPECT_EQ(Bounds(label), Rect(200, 200, 214, 214)) << "resized by its overhanging handle";
}

TEST_F(Designer, MovesSnapToTheNearestGridLineAndStopAtZero) {
  struct Case {
    int fromLeft, fromTop, dx, dy;
    int left, top;
  } cases[] = {
      {8, 48, 13, 0, 24, 48},     // 21: remainder 5 rounds up
      {8, 48, 12, 0, 16, 48},     // 20: remainder 4, exactly half, rounds down
      {8, 48, 3, 5, 8, 56},       // 11 -> 8; 53 -> 56
      {8, 48, -20, -70, 0, 0},    // past the edges
  };
  for (const Case& c : cases) {
    PlaceMemo(c.fromLeft, c.fromTop);
    Drag(c.fromLeft + 20, c.fromTop + 10, c.dx, c.dy);
    EXPECT_EQ(memo->Left(), c.left) << c.dx << "," << c.dy;
    EXPECT_EQ(memo->Top(), c.top) << c.dx << "," << c.dy;
    EXPECT_EQ(memo->Width(), 80) << "its width is kept";
    EXPECT_EQ(box->ItemOf(memo)->Rect, Bounds(memo));
  }
  box->SetGrid(false);
  PlaceMemo(16, 48);
  Drag(40, 60, 13, 3);
  EXPECT_EQ(Bounds(memo), Rect(29, 51, 109, 91)) << "no grid: where it was dropped";
}

TEST_F(Designer, SelectedItemsMoveTogether) {
  Click(30, 60);
  Click(130, 55, ssCtrl);
  Drag(130, 55, 16, 32);
  EXPECT_EQ(Bounds(memo), Rect(32, 80, 112, 120));
  EXPECT_EQ(Bounds(edit), Rect(136, 80, 216, 104));
  EXPECT_EQ(Bounds(label), Rect(16, 16, 56, 32)) << "not selected";
}

TEST_F(Designer, HandlesResizeLeftAndTopByGridStepsRightAndBottomFreely) {
  Click(30, 60);  // the memo (16, 48, 96, 88)
  struct Case {
    int x, y;  // a point on the handle
    int dx, dy;
    TRect after;
  } cases[] = {
      {18, 50, 5, 5, Rect(24, 56, 96, 88)},      // top-left: by one grid step each
      {93, 85, 5, 5, Rect(16, 48, 101, 93)},     // bottom-right: by exactly 5
      {18, 50, -13, -3, Rect(0, 48, 96, 88)},    // -13 is nearer -16; -3 nearer 0
      {18, 50, -12, -4, Rect(8, 48, 96, 88)},    // halves round up: -12 -> -8, -4 -> 0
      {18, 67, 5, 0, Rect(24, 48, 96, 88)},      // left middle
      {93, 67, 5, 9, Rect(16, 48, 101, 88)},     // right middle: the width only
      {56, 85, 9, -7, Rect(16, 48, 96, 81)},     // bottom middle: the height only
      {56, 50, 0, 20, Rect(16, 72, 96, 88)},     // top middle: 20 -> 24
      {18, 85, 5, 5, Rect(24, 48, 96, 93)},      // bottom-left
      {93, 50, 5, 5, Rect(16, 56, 101, 88)},     // top-right
  };
  for (const Case& c : cases) {
    PlaceMemo(16, 48);
    Drag(c.x, c.y, c.dx, c.dy);
    EXPECT_EQ(Bounds(memo), c.after) << c.x << "," << c.y << " by " << c.dx << "," << c.dy;
    EXPECT_EQ(box->ItemOf(memo)->Rect, c.after);
    EXPECT_TRUE(box->IsSelected(memo));
  }
  PlaceMemo(16, 48);
  Drag(18, 67, 100, 0);  // the left edge past the right one: 16 + 104 = 120
  EXPECT_EQ(Bounds(memo), Rect(96, 48, 120, 88)) << "turned over, never a negative width";
}

TEST_F(Designer, ARubberBandTogglesWhatItOverlaps) {
  Click(30, 60);                   // the memo selected
  Drag(100, 10, -90, 40, ssCtrl);  // with Ctrl: over the label and the memo, their selection swaps
  EXPECT_FALSE(box->IsSelected(memo));
  EXPECT_TRUE(box->IsSelected(label));
  EXPECT_FALSE(box->IsSelected(edit));
  Drag(100, 100, 20, -28, ssCtrl);  // touches the edit box's left edge and bottom only
  EXPECT_FALSE(box->IsSelected(edit));
  EXPECT_TRUE(box->IsSelected(label));
  Drag(250, 20, -60, 40);  // without Ctrl: everything deselected first, then the edit box selected
  EXPECT_FALSE(box->IsSelected(label));
  EXPECT_TRUE(box->IsSelected(edit));
  EXPECT_EQ(Bounds(edit), Rect(120, 48, 200, 72)) << "a band moves nothing";
}

TEST_F(Designer, StopOrdersTabsByPlace) {
  Click(130, 55);
  Drag(130, 55, -104, 100);  // the edit box below the memo: (16, 152)
  hiddenEdit->SetBounds(200, 48, 40, 20);
  box->SetBRect(box->ItemOf(hiddenEdit));  // same top as the memo, right of it
  box->SetVisible(false);
  EXPECT_EQ(memo->TabOrder(), 0);
  EXPECT_EQ(hiddenEdit->TabOrder(), 1);
  EXPECT_EQ(edit->TabOrder(), 2);
}

TEST_F(Designer, PaintsGridImagesAndTheSelection) {
  Click(30, 60);
  TRecordingCanvas rec;
  box->PaintOn(&rec);
  for (const char* text : {"Label", "memo text", "edit text"}) EXPECT_NE(rec.FindText(text), nullptr) << text;

  const TBitmap shot = box->PaintToImage();
  // The memo (selected): two black frames and black handles.
  EXPECT_EQ(shot.Pixel(16, 48), 0x000000u);
  EXPECT_EQ(shot.Pixel(17, 70), 0x000000u);
  EXPECT_EQ(shot.Pixel(93, 85), 0x000000u);
  // The edit box: a sunken edge, shadow and frame outside.
  EXPECT_EQ(shot.Pixel(150, 48), 0x808080u);
  EXPECT_EQ(shot.Pixel(150, 49), 0x000000u);
  // Grid dots every 8 pixels on empty space.
  EXPECT_NE(shot.Pixel(304, 200), shot.Pixel(305, 200));
  EXPECT_EQ(shot.Pixel(305, 200), shot.Pixel(306, 201));
  box->SetGrid(false);
  EXPECT_EQ(box->PaintToImage().Pixel(304, 200), shot.Pixel(305, 200));
}

// The outline of a drag is drawn so that drawing it again takes it away: it follows the pointer
// without trails and is gone once the drag ends.
TEST_F(Designer, TheDragOutlineFollowsThePointerWithoutTrails) {
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

// A descendant that puts controls its own way: the surface asks it with rectangles in the
// container's coordinates and then takes each item's rectangle from where the control ended up.
class TOffsetDesignBox : public TDesignBox {
 public:
  using TDesignBox::TDesignBox;
  std::vector<TRect> Moves, Resizes;
  void MoveControl(TControl* control, const TRect& r) override {
    Moves.push_back(r);
    control->SetBounds(r.Left + 1, r.Top, control->Width(), control->Height());
  }
  void ResizeControl(TControl* control, const TRect& r) override {
    Resizes.push_back(r);
    TDesignBox::ResizeControl(control, r);
  }
};

using OffsetDesigner = DesignFixture<TOffsetDesignBox>;

TEST_F(OffsetDesigner, MovesAndResizesGoThroughTheVirtualOperations) {
  Drag(30, 60, 16, 0);
  ASSERT_EQ(box->Moves.size(), 1u);
  EXPECT_EQ(box->Moves[0], Rect(32, 48, 112, 88));
  EXPECT_EQ(box->ItemOf(memo)->Rect, Rect(33, 48, 113, 88)) << "taken from the control";
  Drag(110, 85, 7, 0);  // bottom-right handle
  ASSERT_EQ(box->Resizes.size(), 1u);
  EXPECT_EQ(box->Resizes[0], Rect(33, 48, 120, 88));
  EXPECT_TRUE(box->Moves.size() == 1u);
}

}  // namespace
