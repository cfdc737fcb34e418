#include <gtest/gtest.h>

#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "tests/support/TestSupport.h"
#include "tests/views/DesignMouse.h"
#include "views/CvCardDesignBox.h"

namespace {

// Two card fields (heading + memo) and a free text frame on a panel, designed by a card design
// box. The fields' columns are only compared, so stand-ins serve.
struct CardDesign : ::testing::Test {
  TForm form{Application};
  TPanel* panel = nullptr;
  TCvCardLabel* h1 = nullptr;
  TCvCardMemo* m1 = nullptr;
  TCvCardLabel* h2 = nullptr;
  TCvCardMemo* m2 = nullptr;
  TCvCardMemo* frame = nullptr;
  TCvCardDesignBox* box = nullptr;
  alignas(8) char columns[2] = {};

  CardDesign() {
    form.SetBounds(0, 0, 400, 300);
    panel = new TPanel(&form);
    panel->SetParent(&form);
    panel->SetBevelOuter(bvNone);
    panel->SetBounds(0, 0, 400, 300);
    AddField(&h1, &m1, 16, reinterpret_cast<TCvCardColumn*>(&columns[0]));
    AddField(&h2, &m2, 56, reinterpret_cast<TCvCardColumn*>(&columns[1]));
    m2->SetMemoText("123");
    m2->SetDisplayMode(1);  // shown as a barcode: the memo itself is not designed
    frame = new TCvCardMemo(panel);
    frame->SetParent(panel);
    frame->SetBounds(240, 160, 100, 20);
    frame->Tag = -1;
    box = new TCvCardDesignBox(panel);
    box->SetParent(panel);
    box->SetVisible(true);
  }
  void AddField(TCvCardLabel** h, TCvCardMemo** m, int top, TCvCardColumn* column) {
    *h = new TCvCardLabel(panel);
    (*h)->SetParent(panel);
    (*h)->SetAutoSize(false);
    (*h)->SetBounds(16, top + 3, 48, 16);
    *m = new TCvCardMemo(panel);
    (*m)->SetParent(panel);
    (*m)->SetBounds(80, top, 120, 24);
    (*m)->SetColumn(column);
    (*m)->SetCaptionLabel(*h);
    (*h)->SetColumn(column);
    (*h)->SetMemo(*m);
  }
  void Drag(int x, int y, int dx, int dy, TShiftState shift = 0) { DragOn(box, x, y, dx, dy, shift); }
  void Click(int x, int y, TShiftState shift = 0) { DragOn(box, x, y, 0, 0, shift); }
  void RightClick(int x, int y) {
    box->PressMouse(mbRight, ssRight, x, y);
    box->ReleaseMouse(mbRight, 0, x, y);
  }
  TMenuItem* Menu(int i) { return box->PopupMenu()->Items()->Items(i); }
};

TEST_F(CardDesign, MenuItemsInOrder) {
  const char* captions[] = {"フォント", "見出しを表示", "見出しを隠す", "-", "文字枠を追加",
                            "文字枠を削除", "-", "外枠を表示", "外枠を隠す"};
  ASSERT_EQ(box->PopupMenu()->Items()->Count(), 9);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(Menu(i)->Caption(), Utf8ToSjis(captions[i])) << i;
}

TEST_F(CardDesign, AFieldsHeadingMovesWithItsMemoOnce) {
  Drag(100, 20, 16, 8);
  EXPECT_EQ(m1->Left(), 96);
  EXPECT_EQ(m1->Top(), 24);
  EXPECT_EQ(h1->Left(), 32);
  EXPECT_EQ(h1->Top(), 27);
  EXPECT_EQ(box->ItemOf(h1)->Rect.Left, 32);
  EXPECT_EQ(h2->Left(), 16) << "the other field stays";

  Click(40, 30, ssCtrl);  // both pieces selected: each moves by its own turn
  ASSERT_TRUE(box->IsSelected(h1));
  ASSERT_TRUE(box->IsSelected(m1));
  Drag(150, 36, 16, 0);
  EXPECT_EQ(m1->Left(), 112);
  EXPECT_EQ(h1->Left(), 48);
  EXPECT_EQ(h1->Top(), 24) << "on its own turn the heading snaps to the grid";
}

TEST_F(CardDesign, TheBarcodeOfAFieldMovesItsMemoAndHeading) {
  TCvBcCardLabel* bc = m2->BcLabel();
  ASSERT_NE(bc, nullptr);
  ASSERT_NE(box->ItemOf(bc), nullptr);
  EXPECT_EQ(box->ItemOf(m2), nullptr);
  Drag(85, 60, 0, 24);
  EXPECT_EQ(bc->Top(), 80);
  EXPECT_EQ(m2->Top(), 80);
  EXPECT_EQ(h2->Top(), 83);
}

TEST_F(CardDesign, AHeadingIsMovedByItsHandlesNeverSized) {
  Click(30, 25);  // the heading (16, 19, 64, 35)
  Drag(62, 26, 20, 0);  // the right-middle handle
  EXPECT_EQ(h1->Width(), 48);
  EXPECT_EQ(h1->Left(), 16);
  Drag(17, 20, -20, -12);  // the top-left handle: by -16 and -8 on the grid, and the memo along
  EXPECT_EQ(h1->Left(), 0);
  EXPECT_EQ(h1->Top(), 11);
  EXPECT_EQ(h1->Width(), 48);
  EXPECT_EQ(m1->Left(), 64);
  EXPECT_EQ(m1->Top(), 8);
  EXPECT_EQ(m1->Width(), 120);
}

TEST_F(CardDesign, RightClickSelectsAndOffersWhatApplies) {
  RightClick(100, 20);
  EXPECT_TRUE(box->IsSelected(m1));
  EXPECT_TRUE(Menu(0)->Enabled);
  EXPECT_TRUE(Menu(2)->Enabled);
  EXPECT_EQ(box->RightClickPoint(), (TPoint{100, 20}));
  RightClick(300, 250);
  EXPECT_FALSE(box->IsSelected(m1));
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(Menu(i)->Enabled) << i;
}

TEST_F(CardDesign, AFontGoesToHeadingAndMemoEvenBehindABarcode) {
  h2->SetCaption(SJ("見出し"));
  h2->SetAutoSize(true);
  box->SetBRect(box->ItemOf(h2));
  const int right = h2->Left() + h2->Width();
  Click(h2->Left() + 2, h2->Top() + 2);  // the heading of the barcode field
  ModalHandlerScope modal([](TForm* f) {
    auto* d = dynamic_cast<TFontDialogForm*>(f);
    ASSERT_NE(d, nullptr);
    d->SelectedFont()->SetPixelSize(20);
    PressButton(f, "OK");
  });
  Menu(0)->Click();
  EXPECT_EQ(h2->Font()->PixelSize(), 20);
  EXPECT_EQ(m2->Font()->PixelSize(), 20);
  EXPECT_EQ(h2->Left() + h2->Width(), right) << "the heading keeps its right edge";
  EXPECT_NE(m1->Font()->PixelSize(), 20);
}

TEST_F(CardDesign, HeadingsHideAndShowWhenDesigningEnds) {
  Click(100, 20);
  Menu(2)->Click();
  EXPECT_FALSE(box->ItemOf(h1)->Visible);
  EXPECT_TRUE(box->ItemOf(m1)->Visible);
  box->SetVisible(false);
  EXPECT_FALSE(h1->Visible());
  EXPECT_TRUE(m1->Visible());
}

TEST_F(CardDesign, TextFramesAreAddedAtTheClickAndOnlyTheyAreDeleted) {
  const int before = panel->ControlCount();
  RightClick(200, 120);
  Menu(4)->Click();
  ASSERT_EQ(panel->ControlCount(), before + 1);
  TCvDesignItem* added = box->Items()->Items(box->Items()->Count() - 1);
  auto* memo = dynamic_cast<TCvCardMemo*>(added->Control);
  ASSERT_NE(memo, nullptr);
  EXPECT_EQ(memo->Tag, -1);
  EXPECT_EQ(memo->GetMemoText(), SJ("文字枠"));
  EXPECT_EQ(memo->BorderStyle(), bsNone);
  EXPECT_EQ(added->Rect, Rect(200, 120, 328, 140));
  EXPECT_TRUE(added->Selected);
  EXPECT_TRUE(added->Visible);
  EXPECT_FALSE(memo->Visible()) << "shown when designing ends";

  Click(100, 20);  // a field memo
  Click(30, 25, ssCtrl);
  Menu(5)->Click();
  EXPECT_EQ(panel->ControlCount(), before + 1) << "field memos are never deleted";

  Click(250, 165);               // the old text frame
  Click(210, 125, ssCtrl);       // and the new one
  Menu(5)->Click();
  EXPECT_EQ(panel->ControlCount(), before - 1);
  EXPECT_EQ(box->ItemOf(frame), nullptr);
  EXPECT_EQ(box->Items()->Count(), 4) << "two headings, a memo and a barcode left";
  box->SetVisible(false);
  EXPECT_TRUE(m1->Visible());
}

TEST_F(CardDesign, BordersOfSelectedMemos) {
  Click(100, 20);
  Click(250, 165, ssCtrl);
  Menu(8)->Click();
  EXPECT_EQ(m1->BorderStyle(), bsNone);
  EXPECT_EQ(frame->BorderStyle(), bsNone);
  Menu(7)->Click();
  EXPECT_EQ(m1->BorderStyle(), bsSingle);
  EXPECT_EQ(m2->BorderStyle(), bsSingle);
}

}  // namespace
