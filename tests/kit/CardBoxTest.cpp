#include "kit/CardBox.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/Forms.h"
#include "tests/views/DesignMouse.h"
#include "views/CvCardMemo.h"

namespace {

int FontTextWidth(const TFont* font, const AnsiString& text) {
  TCanvas canvas;
  canvas.Font()->Assign(*font);
  return canvas.TextWidth(text);
}

// An item of a layout case: empty caption (label 4 wide, so label and gap span 8 pixels), a memo
// of the given size.
struct Item {
  bool newLine;
  int width;
  int height;
  bool enabled = true;
};

struct Place {
  int left, top;
};

struct LayoutCase {
  const char* name;
  int leftMargin, topMargin, horzGap, vertGap;
  std::vector<Item> items;
  std::vector<Place> expected;
};

TEST(CardBoxLayout, ItemsFlowIntoRowsOnTheItemGrid) {
  const LayoutCase cases[] = {
      {"defaults: two side by side, the third below the second",
       10, 10, 6, 2,
       {{false, 100, 40}, {false, 100, 40}, {true, 100, 40}},
       {{16, 16}, {136, 16}, {16, 64}}},
      {"a new row starts below the previous item, not the row's tallest",
       10, 10, 6, 2,
       {{true, 100, 80}, {false, 100, 24}, {true, 100, 24}},
       {{16, 16}, {136, 16}, {16, 48}}},
      {"margins and gaps on the grid move nothing",
       0, 0, 0, 0,
       {{true, 96, 40}, {false, 96, 40}, {true, 96, 40}},
       {{0, 0}, {104, 0}, {0, 40}}},
      {"wide gaps and margins",
       24, 4, 20, 10,
       {{true, 100, 40}, {false, 100, 40}, {true, 100, 40}},
       {{24, 8}, {152, 8}, {24, 64}}},
      {"negative margins round up to the grid",
       -5, -3, 6, 2,
       {{true, 100, 40}, {true, 100, 40}},
       {{0, 0}, {0, 48}}},
      {"a disabled item keeps its place",
       10, 10, 6, 2,
       {{false, 100, 40}, {false, 100, 40, false}, {true, 100, 40}},
       {{16, 16}, {136, 16}, {16, 64}}},
      {"every item on a row of its own",
       10, 10, 6, 2,
       {{true, 50, 30}, {true, 50, 30}, {true, 50, 30}},
       {{16, 16}, {16, 48}, {16, 80}}},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    TCardBox box(nullptr);
    box.SetLeftMargin(c.leftMargin);
    box.SetTopMargin(c.topMargin);
    box.SetHorzGap(c.horzGap);
    box.SetVertGap(c.vertGap);
    for (const Item& it : c.items) {
      TCardColumn* col = box.AddItem("", nullptr, it.newLine);
      col->SetAutoSize(false);
      col->Memo()->SetHeight(it.height);
      col->SetTextWidth(it.width);
      col->SetEnabled(it.enabled);
    }
    box.DoArrangeItem(nullptr);
    ASSERT_EQ(box.Columns()->Count(), static_cast<int>(c.expected.size()));
    for (size_t i = 0; i < c.expected.size(); ++i) {
      SCOPED_TRACE(i);
      TCardColumn* col = box.Columns()->Items(static_cast<int>(i));
      EXPECT_EQ(col->Left(), c.expected[i].left);
      EXPECT_EQ(col->Top(), c.expected[i].top);
      EXPECT_EQ(col->Label()->Left(), col->Left());
      EXPECT_EQ(col->Memo()->Left(), col->Left() + col->Label()->Width() + col->Gap());
      EXPECT_EQ(col->Memo()->Top(), col->Top());
      EXPECT_EQ(col->Memo()->Left() % 8, 0);
    }
  }
}

TEST(CardBoxLayout, CaptionSizesTheLabelSoTheMemoStaysOnTheGrid) {
  TCardBox box(nullptr);
  for (const char* caption : {"氏名", "電話番号", "ご住所（自宅）", "x"}) {
    SCOPED_TRACE(caption);
    TCardColumn* col = box.AddItem(Utf8ToSjis(caption), nullptr, true);
    const int text = FontTextWidth(col->Label()->Font(), col->Caption());
    const int span = col->Label()->Width() + col->Gap();
    EXPECT_EQ(span % 8, 0);
    EXPECT_GE(span, text + col->Gap());
    EXPECT_LT(span, text + col->Gap() + 8);
    EXPECT_EQ(col->Label()->Alignment(), taRightJustify);
    EXPECT_EQ(col->Memo()->Left(), col->Left() + span);
    EXPECT_EQ(col->Width(), span + col->TextWidth());
  }
}

TEST(CardBoxLayout, AutoSizeFollowsTheLineCount) {
  TCardBox box(nullptr);
  TStringList lines;
  lines.Add("one");
  TCardColumn* col = box.AddItem("a", &lines, true);
  const int oneLine = col->Memo()->Height();
  EXPECT_EQ(oneLine, TWinCanvas::GetMemoHeight(col->Memo()));
  col->SetText("one\r\ntwo\r\nthree");
  EXPECT_GT(col->Memo()->Height(), oneLine);
  EXPECT_EQ(col->Memo()->Height(), TWinCanvas::GetMemoHeight(col->Memo()));
  EXPECT_EQ(col->Height(), col->Memo()->Height());

  col->SetAutoSize(false);
  const int fixed = col->Memo()->Height();
  col->SetText("one");
  EXPECT_EQ(col->Memo()->Height(), fixed);
  col->SetAutoSize(true);
  EXPECT_EQ(col->Memo()->Height(), oneLine);
}

// A taller item pushes the row below it down only while AutoArrange is on; AddItem lays the new
// item out either way.
TEST(CardBoxLayout, ResizingAnItemRearrangesOnlyWithAutoArrange) {
  for (bool autoArrange : {false, true}) {
    SCOPED_TRACE(autoArrange);
    TCardBox box(nullptr);
    box.SetAutoArrange(autoArrange);
    TStringList one;
    one.Add("1");
    TCardColumn* first = box.AddItem("a", &one, true);
    TCardColumn* beside = box.AddItem("b", &one, false);
    TCardColumn* below = box.AddItem("c", &one, true);
    const int belowTop = below->Top();
    EXPECT_EQ(below->Left(), first->Left());
    EXPECT_GE(belowTop, beside->Top() + beside->Height() + box.VertGap());

    beside->SetText("1\r\n2\r\n3\r\n4\r\n5");
    if (autoArrange)
      EXPECT_GE(below->Top(), beside->Top() + beside->Height() + box.VertGap());
    else
      EXPECT_EQ(below->Top(), belowTop);

    const int besideLeft = beside->Left();
    first->SetGap(first->Gap() + 16);
    EXPECT_EQ(beside->Left() > besideLeft, autoArrange);

    // The memo's width alone never re-lays out.
    const int left = beside->Left();
    first->SetTextWidth(first->TextWidth() + 80);
    EXPECT_EQ(beside->Left(), left);

    TCardColumn* added = box.AddItem("d", &one, false);
    EXPECT_EQ(added->Top(), below->Top());
    EXPECT_GT(added->Left(), below->Left() + below->Width());
  }
}

TEST(CardBoxLayout, ItemGapMovesNothing) {
  TCardBox box(nullptr);
  box.SetAutoArrange(true);
  box.AddItem("a", nullptr, true);
  TCardColumn* second = box.AddItem("b", nullptr, false);
  const int left = second->Left(), top = second->Top();
  box.SetItemGap(40);
  box.DoArrangeItem(nullptr);
  EXPECT_EQ(box.ItemGap(), 40);
  EXPECT_EQ(second->Left(), left);
  EXPECT_EQ(second->Top(), top);
}

TEST(CardBox, MemoChangesReachOnChangeWithTheMemoAsSender) {
  TCardBox box(nullptr);
  std::vector<TObject*> senders;
  box.SetOnChange([&](TObject* s) { senders.push_back(s); });
  TCardColumn* col = box.AddItem("a", nullptr, true);
  senders.clear();
  col->Memo()->UserEdit("typed");
  ASSERT_FALSE(senders.empty());
  EXPECT_EQ(senders.back(), col->Memo());
  EXPECT_EQ(col->Text(), "typed");
}

TEST(CardBox, ItemSettersReachTheirControls) {
  TCardBox box(nullptr);
  TCardColumn* col = box.AddItem("a", nullptr, true);
  EXPECT_EQ(col->Memo()->Label(), col->Label());
  EXPECT_EQ(col->Label()->Memo(), col->Memo());
  EXPECT_EQ(col->Memo()->Parent(), &box);
  EXPECT_EQ(col->Label()->Parent(), &box);
  col->SetCanEdit(false);
  EXPECT_TRUE(col->Memo()->ReadOnly());
  EXPECT_FALSE(col->Memo()->TabStop);
  col->SetCanEdit(true);
  EXPECT_TRUE(col->CanEdit());
  EXPECT_TRUE(col->Memo()->TabStop);
  col->SetEnabled(false);
  EXPECT_FALSE(col->Label()->Enabled());
  EXPECT_FALSE(col->Memo()->Enabled());
  col->SetWordWrap(false);
  EXPECT_FALSE(col->Memo()->WordWrap());
  col->SetAlignment(taCenter);
  EXPECT_EQ(col->Memo()->Alignment(), taCenter);
}

TEST(CardBox, ResetTabOrderFollowsTopThenLeft) {
  TCardBox box(nullptr);
  TCardColumn* a = box.AddItem("a", nullptr, true);
  TCardColumn* b = box.AddItem("b", nullptr, true);
  TCardColumn* c = box.AddItem("c", nullptr, true);
  a->SetPosition(200, 80);
  b->SetPosition(16, 80);
  c->SetPosition(300, 16);
  box.ResetTabOrder();
  EXPECT_EQ(c->Memo()->TabOrder(), 0);
  EXPECT_EQ(b->Memo()->TabOrder(), 1);
  EXPECT_EQ(a->Memo()->TabOrder(), 2);
}

TEST(CardBox, TakesOverAScrollBox) {
  TForm form(nullptr);
  auto* holder = new TScrollBox(&form);
  holder->Name = "ScrollBox1";
  holder->SetParent(&form);
  holder->SetBounds(8, 12, 300, 200);
  holder->SetColor(clWindow);
  holder->SetAlign(alClient);
  bool clicked = false;
  holder->OnClick = [&](TObject*) { clicked = true; };

  TCardBox box(nullptr);
  TLabel notABox(nullptr);
  box.Assign(&notABox);
  EXPECT_EQ(box.Parent(), nullptr);
  box.Assign(holder);
  EXPECT_EQ(box.Name, "ScrollBox1CB");
  EXPECT_EQ(box.Parent(), &form);
  EXPECT_EQ(box.Align(), alClient);
  EXPECT_EQ(box.Color(), clWindow);
  box.Click();
  EXPECT_TRUE(clicked);
  box.SetParent(nullptr);
}

// The box frees its items, and each item its controls, exactly once, also when an item goes
// before the box.
TEST(CardBox, ItemsAndTheirControlsGoWithTheBox) {
  auto* box = new TCardBox(nullptr);
  box->AddItem("a", nullptr, true);
  box->AddItem("b", nullptr, false);
  EXPECT_EQ(box->ControlCount(), 4);
  box->Columns()->Delete(0);
  EXPECT_EQ(box->ControlCount(), 2);
  EXPECT_EQ(box->Columns()->Count(), 1);
  delete box;
}

// A card box on a form with two items side by side, empty captions (label 4 wide, memo 100 wide):
// first item's label at (16, 16), its memo at (24, 16); the second item at (136, 16).
struct CardEditing : ::testing::Test {
  TForm form{nullptr};
  TCardBox* box = nullptr;
  TCardColumn* first = nullptr;
  TCardColumn* second = nullptr;

  CardEditing() {
    form.SetBounds(0, 0, 400, 300);
    box = new TCardBox(&form);
    box->SetParent(&form);
    box->SetBounds(0, 0, 400, 300);
    box->SetAutoArrange(true);
    first = box->AddItem("", nullptr, true);
    second = box->AddItem("", nullptr, false);
    for (TCardColumn* c : {first, second}) c->SetTextWidth(100);
    box->DoArrangeItem(nullptr);
  }
  TCardDesignBox* Surface() const {
    TCardDesignBox* found = nullptr;
    for (int i = 0; i < box->ControlCount(); ++i)
      if (auto* d = dynamic_cast<TCardDesignBox*>(box->Controls(i))) {
        EXPECT_EQ(found, nullptr) << "one design surface only";
        found = d;
      }
    return found;
  }
  static TPoint At(const TControl* c) { return {c->Left(), c->Top()}; }
};

TEST_F(CardEditing, SwitchingOnHidesTheControlsUnderASurfaceAndOffBringsThemBack) {
  ASSERT_EQ(At(first->Memo()), (TPoint{24, 16}));
  EXPECT_FALSE(box->GetEditting());
  box->SetEditting(true);
  box->SetEditting(true);
  EXPECT_TRUE(box->GetEditting());
  TCardDesignBox* surface = Surface();
  ASSERT_NE(surface, nullptr);
  EXPECT_TRUE(surface->Running());
  EXPECT_EQ(surface->Items()->Count(), 4) << "both labels and both memos";
  EXPECT_FALSE(first->Label()->Visible());
  EXPECT_FALSE(second->Memo()->Visible());

  box->SetEditting(false);
  EXPECT_FALSE(box->GetEditting());
  EXPECT_EQ(Surface(), nullptr);
  EXPECT_TRUE(first->Label()->Visible());
  EXPECT_TRUE(second->Memo()->Visible());
  EXPECT_EQ(At(first->Label()), (TPoint{16, 16})) << "nothing moved, nothing changes";
  EXPECT_EQ(At(second->Label()), (TPoint{136, 16}));
  box->SetEditting(false);
  EXPECT_EQ(Surface(), nullptr);
}

// Dragging the first memo by (13, 21) snaps it to (40, 40): its label comes along by (16, 24)
// whether it is left unselected (moved as the partner) or selected too (moved by itself), and
// never twice. Leaving editing mode takes each item's place from its memo and re-lays nothing out.
TEST_F(CardEditing, AMovedMemoTakesItsLabelAlongAndGivesTheItemItsPlace) {
  for (bool labelSelected : {false, true}) {
    SCOPED_TRACE(labelSelected ? "label selected too" : "memo alone");
    first->SetPosition(16, 16);
    box->SetEditting(true);
    TCardDesignBox* surface = Surface();
    ASSERT_NE(surface, nullptr);
    DragOn(surface, 40, 20, 0, 0);  // select the memo
    if (labelSelected) DragOn(surface, 17, 20, 0, 0, ssCtrl);
    EXPECT_EQ(surface->IsSelected(first->Label()), labelSelected);
    DragOn(surface, 40, 20, 13, 21);
    EXPECT_EQ(At(first->Memo()), (TPoint{40, 40}));
    EXPECT_EQ(At(first->Label()), (TPoint{32, 40}));
    EXPECT_EQ(surface->ItemOf(first->Label())->Rect.Left, 32) << "the label's image follows";
    EXPECT_EQ(At(second->Memo()), (TPoint{144, 16})) << "the other item stays";

    box->SetEditting(false);
    EXPECT_EQ(first->Left(), 32);
    EXPECT_EQ(first->Top(), 40);
    EXPECT_EQ(At(first->Label()), (TPoint{32, 40}));
    EXPECT_EQ(second->Left(), 136) << "no re-arrangement, AutoArrange or not";
    EXPECT_EQ(second->Top(), 16);
  }
}

// Resizing a label moves it and its memo, the label keeping its size; resizing a memo from its
// left edge moves the label by the memo's step.
TEST_F(CardEditing, ResizingMovesThePartnerAndLabelsKeepTheirSize) {
  box->SetEditting(true);
  TCardDesignBox* surface = Surface();
  ASSERT_NE(surface, nullptr);
  const int labelWidth = first->Label()->Width(), labelHeight = first->Label()->Height();
  DragOn(surface, 17, 20, 0, 0);     // select the label
  DragOn(surface, 17, 18, -13, -5);  // its top-left handle: 16 left, 8 up
  EXPECT_EQ(At(first->Label()), (TPoint{0, 8}));
  EXPECT_EQ(first->Label()->Width(), labelWidth);
  EXPECT_EQ(first->Label()->Height(), labelHeight);
  EXPECT_EQ(At(first->Memo()), (TPoint{8, 8}));
  EXPECT_EQ(first->Memo()->Width(), 100);

  const TRect memo = surface->ItemOf(first->Memo())->Rect;
  const int middle = (memo.Top + memo.Bottom) / 2;
  DragOn(surface, 50, middle, 0, 0);      // select the memo alone
  DragOn(surface, 10, middle, 13, 0);     // its left handle, 16 right
  EXPECT_EQ(At(first->Memo()), (TPoint{24, 8}));
  EXPECT_EQ(first->Memo()->Width(), 84);
  EXPECT_EQ(At(first->Label()), (TPoint{16, 8}));
  EXPECT_EQ(first->Label()->Width(), labelWidth);

  box->SetEditting(false);
  EXPECT_EQ(first->Left(), 16);
  EXPECT_EQ(first->Top(), 8);
}

// The box goes while still in editing mode: the surface and the items are freed once each.
TEST(CardBox, GoesWhileEditing) {
  auto* box = new TCardBox(nullptr);
  box->AddItem("a", nullptr, true);
  box->SetEditting(true);
  EXPECT_EQ(box->ControlCount(), 3);
  delete box;
}

}  // namespace
