#include <gtest/gtest.h>

#include <string>

#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/Menus.h"
#include "tests/support/TestSupport.h"

namespace {

struct OnForm : ::testing::Test {
  TForm form{Application};
  template <class T>
  T* Make(int left, int top, int width, int height) {
    auto* c = new T(&form);
    c->SetParent(&form);
    c->SetBounds(left, top, width, height);
    return c;
  }
};

}  // namespace

TEST_F(OnForm, PressAndReleaseClickDoubleClickAndRightClickOpensThePopup) {
  auto* box = Make<TPaintBox>(10, 10, 100, 50);
  std::string log;
  box->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState s, int x, int y) {
    log += "down" + std::to_string(b) + (s & ssDouble ? "d" : "") + "@" + std::to_string(x) + "," + std::to_string(y) + " ";
  };
  box->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { log += "up "; };
  box->OnClick = [&](TObject*) { log += "click "; };
  box->OnDblClick = [&](TObject*) { log += "dbl "; };

  box->PressMouse(mbLeft, ssLeft, 5, 6);
  box->ReleaseMouse(mbLeft, 0, 5, 6);
  box->PressMouse(mbLeft, ssLeft, 5, 6, true);
  box->ReleaseMouse(mbLeft, 0, 5, 6);
  EXPECT_EQ(log, "down0@5,6 up click dbl down0d@5,6 up ");

  log.clear();
  box->PressMouse(mbLeft, ssLeft, 5, 6);
  box->ReleaseMouse(mbLeft, 0, 500, 6);  // released outside: no click
  EXPECT_EQ(log, "down0@5,6 up ");

  // A right click opens the popup menu of the control, or of the nearest parent that has one.
  TPopupMenu menu(&form);
  auto* item = new TMenuItem(&form);
  item->SetCaption(SJ("削除"));
  menu.Items()->Add(item);
  int popups = 0, chosen = 0;
  menu.OnPopup = [&](TObject*) { ++popups; };
  item->OnClick = [&](TObject*) { ++chosen; };
  form.SetPopupMenu(&menu);
  box->PressMouse(mbRight, ssRight, 1, 1);
  box->ReleaseMouse(mbRight, 0, 1, 1);
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(menu.PopupComponent, box);
  EXPECT_EQ(menu.PopupPoint().x, box->ClientToScreen({1, 1}).x);
  menu.Items()->Items(0)->Click();
  EXPECT_EQ(chosen, 1);
  item->Enabled = false;
  item->Click();
  EXPECT_EQ(chosen, 1);
}

TEST_F(OnForm, KeyPreviewLetsTheFormSwallowKeys) {
  auto* box = Make<TPaintBox>(0, 0, 10, 10);
  std::string log;
  box->OnKeyDown = [&](TObject*, uint16_t& k, TShiftState s) { log += "box" + std::to_string(k) + (s & ssCtrl ? "c " : " "); };
  box->OnKeyPress = [&](TObject*, char& k) { log += std::string("press") + k + " "; };
  form.OnKeyDown = [&](TObject*, uint16_t& k, TShiftState) {
    log += "form ";
    if (k == VK_ESCAPE) k = 0;
  };
  box->PressKey('A', ssCtrl);
  box->TypeChar('a');
  EXPECT_EQ(log, "box65c press" + std::string("a "));
  log.clear();
  form.KeyPreview = true;
  box->PressKey(VK_ESCAPE, 0);
  box->PressKey(VK_RETURN, 0);
  EXPECT_EQ(log, "form form box13 ");
}

TEST_F(OnForm, DragStartsPastTheThresholdAndDropsOnAnAcceptingTarget) {
  auto* source = Make<TPaintBox>(0, 0, 50, 50);
  auto* target = Make<TPaintBox>(100, 0, 50, 50);
  auto* refusing = Make<TPaintBox>(200, 0, 50, 50);
  std::string log;
  source->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { source->BeginDrag(false, 5); };
  source->OnStartDrag = [&](TObject*) { log += "start "; };
  source->OnEndDrag = [&](TObject*, TObject* t, int x, int y) {
    log += std::string("end:") + (t == target ? "target" : t ? "other" : "none") + "@" + std::to_string(x) + " ";
  };
  target->OnDragOver = [&](TObject*, TObject* src, int, int, TDragState, bool& accept) { accept = src == source; };
  target->OnDragDrop = [&](TObject*, TObject* src, int x, int) { log += "drop@" + std::to_string(x) + " "; };
  refusing->OnDragOver = [&](TObject*, TObject*, int, int, TDragState, bool& accept) { accept = false; };
  int clicks = 0;
  source->OnClick = [&](TObject*) { ++clicks; };

  source->PressMouse(mbLeft, ssLeft, 10, 10);
  source->MoveMouse(ssLeft, 12, 11);  // not far enough yet
  EXPECT_FALSE(source->Dragging());
  source->MoveMouse(ssLeft, 120, 10);
  EXPECT_TRUE(source->Dragging());
  source->ReleaseMouse(mbLeft, 0, 130, 10);
  EXPECT_EQ(log, "start drop@30 end:target@30 ");
  EXPECT_EQ(clicks, 0);
  EXPECT_FALSE(source->Dragging());

  log.clear();
  source->PressMouse(mbLeft, ssLeft, 10, 10);
  source->MoveMouse(ssLeft, 220, 10);
  source->ReleaseMouse(mbLeft, 0, 220, 10);
  EXPECT_EQ(log, "start end:none@0 ");

  log.clear();  // released before the threshold: an ordinary click
  source->PressMouse(mbLeft, ssLeft, 10, 10);
  source->ReleaseMouse(mbLeft, 0, 11, 10);
  EXPECT_EQ(log, "");
  EXPECT_EQ(clicks, 1);
}

TEST_F(OnForm, PaintBoxDrawsOnPaintAndKeepsDrawingDoneOutsidePaint) {
  auto* box = Make<TPaintBox>(0, 0, 40, 30);
  int paints = 0;
  box->OnPaint = [&](TObject*) {
    ++paints;
    box->Canvas()->Brush()->SetColor(clRed);
    box->Canvas()->FillRect(Rect(0, 0, 20, 30));
  };
  form.SetColor(clWhite);
  TBitmap img = box->PaintToImage();
  ASSERT_EQ(img.Width(), 40);
  EXPECT_EQ(img.Pixel(5, 5), 0xFF0000u);
  EXPECT_EQ(img.Pixel(30, 5), 0xFFFFFFu);  // the parent's colour
  EXPECT_EQ(paints, 1);

  // A rubber band drawn between paints stays in the control's image until it is drawn again.
  TCanvas* c = box->Canvas();
  c->Pen()->SetMode(pmNotXor);
  c->MoveTo(25, 10);
  c->LineTo(35, 10);
  TBitmap grabbed = box->GrabImage();
  EXPECT_EQ(grabbed.Pixel(30, 10), 0u);
  EXPECT_EQ(paints, 1);
  box->Invalidate();
  EXPECT_EQ(box->GrabImage().Pixel(30, 10), 0xFFFFFFu);
  EXPECT_EQ(paints, 2);
}

TEST_F(OnForm, ScrollBoxRangesFollowItsContent) {
  auto* box = Make<TScrollBox>(0, 0, 200, 100);
  box->SetBorderStyle(bsNone);
  auto* inner = new TPaintBox(&form);
  inner->SetParent(box);
  inner->SetBounds(0, 0, 150, 80);
  EXPECT_EQ(box->VertScrollBar()->Range(), 80);
  EXPECT_FALSE(box->VertScrollBar()->IsScrollBarVisible());
  EXPECT_EQ(box->ClientWidth(), 200);
  inner->SetBounds(0, 0, 500, 400);
  EXPECT_TRUE(box->VertScrollBar()->IsScrollBarVisible());
  EXPECT_TRUE(box->HorzScrollBar()->IsScrollBarVisible());
  EXPECT_LT(box->ClientWidth(), 200);
  box->VertScrollBar()->SetPosition(100000);
  EXPECT_EQ(box->VertScrollBar()->Position(), 400 - box->ClientHeight());
  box->VertScrollBar()->SetPosition(0);
  box->TurnWheel(0, -120, 5, 5);
  EXPECT_EQ(box->VertScrollBar()->Position(), 24);
  bool wheeled = false;
  box->OnMouseWheel = [&](TObject*, TShiftState, int, TPoint, bool& handled) { handled = wheeled = true; };
  box->TurnWheel(0, -120, 5, 5);
  EXPECT_TRUE(wheeled);
  EXPECT_EQ(box->VertScrollBar()->Position(), 24);
  inner->SetBounds(0, 0, 10, 10);
  EXPECT_EQ(box->VertScrollBar()->Position(), 0);
}

TEST(Framework, ClassNamesAndCollections) {
  TPanel panel(nullptr);
  TScrollBox box(nullptr);
  EXPECT_EQ(panel.ClassName(), "TPanel");
  EXPECT_EQ(box.ClassName(), "TScrollBox");

  struct Item : TCollectionItem {
    using TCollectionItem::TCollectionItem;
  };
  struct ItemList : TCollection {
    int updates = 0;
    TCollectionItem* NewItem() override { return new Item(this); }
    void Update(TCollectionItem*) override { ++updates; }
  };
  ItemList items;
  items.Add();
  TCollectionItem* second = items.Add();
  EXPECT_EQ(items.Count(), 2);
  EXPECT_EQ(second->Index(), 1);
  EXPECT_EQ(items.updates, 2);
  delete items.Items(0);
  EXPECT_EQ(second->Index(), 0);
  EXPECT_EQ(items.updates, 3);
  items.BeginUpdate();
  items.Add();
  items.Add();
  items.EndUpdate();
  EXPECT_EQ(items.updates, 4);
}

TEST(Framework, RadioMenuItemsCheckOneOfTheirGroup) {
  TPopupMenu menu(nullptr);
  TMenuItem* items[3];
  for (auto*& it : items) {
    it = new TMenuItem(&menu);
    it->RadioItem = true;
    menu.Items()->Add(it);
  }
  items[2]->GroupIndex = 1;
  items[2]->Checked = true;
  items[0]->Click();
  items[1]->Click();
  EXPECT_FALSE(items[0]->Checked);
  EXPECT_TRUE(items[1]->Checked);
  EXPECT_TRUE(items[2]->Checked);
  EXPECT_EQ(items[1]->MenuIndex(), 1);
  menu.Items()->Clear();  // frees them, each leaving its owner
  EXPECT_EQ(menu.ComponentCount(), 0);
}
