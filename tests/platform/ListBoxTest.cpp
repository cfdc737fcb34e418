#include <gtest/gtest.h>

#include <string>

#include "platform/ListBox.h"
#include "platform/Memo.h"
#include "tests/support/TestSupport.h"

namespace {

struct Lists : ::testing::Test {
  TForm form{Application};
  std::string log;
  void SetUp() override { form.SetBounds(0, 0, 300, 300); }
  template <class T>
  T* Make() {
    auto* c = new T(&form);
    c->SetParent(&form);
    c->SetBounds(0, 0, 150, 200);
    for (const char* s : {"名前", "住所", "電話", "メール", "備考"}) c->Items()->Add(Utf8ToSjis(s));
    return c;
  }
  template <class T>
  TPoint At(T* list, int i) {
    const TRect r = list->ItemRect(i);
    return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
  }
  template <class T>
  void Press(T* list, int i, TShiftState shift = 0) {
    const TPoint p = At(list, i);
    list->PressMouse(mbLeft, shift | ssLeft, p.x, p.y);
    list->ReleaseMouse(mbLeft, shift, p.x, p.y);
  }
};

}  // namespace

TEST_F(Lists, APressSelectsAndRunsOnClickOnceKeysMoveTheSelection) {
  auto* list = Make<TListBox>();
  list->OnClick = [&](TObject*) { log += "click" + std::to_string(list->ItemIndex()) + " "; };
  EXPECT_EQ(list->ItemIndex(), -1);
  list->SetItemIndex(1);  // from the program: no OnClick
  Press(list, 3);
  EXPECT_EQ(list->ItemIndex(), 3);
  EXPECT_TRUE(list->Selected(3));
  EXPECT_FALSE(list->Selected(1));
  list->PressKey(VK_DOWN, 0);
  list->PressKey(VK_DOWN, 0);  // stops at the last
  list->PressKey(VK_HOME, 0);
  EXPECT_EQ(log, "click3 click4 click4 click0 ");
  EXPECT_EQ(list->ItemAtPos(At(list, 2), true), 2);
  EXPECT_EQ(list->ItemAtPos({10, 190}, true), -1);
  EXPECT_EQ(list->ItemAtPos({10, 190}, false), 5);
}

TEST_F(Lists, MultiSelectAddsWithCtrlAndRunsWithShift) {
  auto* list = Make<TListBox>();
  list->SetMultiSelect(true);
  Press(list, 1);
  Press(list, 3, ssCtrl);
  EXPECT_EQ(list->SelCount(), 2);
  Press(list, 1, ssCtrl);  // taken away again
  EXPECT_EQ(list->SelCount(), 1);
  Press(list, 0);
  Press(list, 2, ssShift);
  EXPECT_EQ(list->SelCount(), 3);
  EXPECT_TRUE(list->Selected(1));
  EXPECT_FALSE(list->Selected(3));
  list->SetSelected(4, true);
  EXPECT_EQ(list->SelCount(), 4);
}

TEST_F(Lists, SelectionAndCheckMarksFollowTheirItemsWhenTheyMoveOrAreRenamed) {
  auto* list = Make<TCheckListBox>();
  list->SetChecked(0, true);
  list->SetChecked(3, true);
  list->SetItemIndex(3);
  list->Items()->Move(3, 1);  // a drop of the fourth entry on the second
  EXPECT_EQ(list->Items()->Strings(1), SJ("メール"));
  EXPECT_TRUE(list->Checked(0));
  EXPECT_TRUE(list->Checked(1));
  EXPECT_FALSE(list->Checked(4));
  EXPECT_EQ(list->ItemIndex(), 1);
  list->Items()->SetString(1, SJ("電子メール"));  // renamed in place
  EXPECT_TRUE(list->Checked(1));
  EXPECT_EQ(list->ItemIndex(), 1);
  list->Items()->Delete(0);
  EXPECT_TRUE(list->Checked(0));
  EXPECT_EQ(list->ItemIndex(), 0);
  list->Items()->Delete(0);
  EXPECT_EQ(list->ItemIndex(), -1);
}

TEST_F(Lists, CheckBoxClickAndSpaceTurnTheMarkOver) {
  auto* list = Make<TCheckListBox>();
  list->OnClickCheck = [&](TObject*) { log += "check "; };
  list->OnClick = [&](TObject*) { log += "click "; };
  const TRect r = list->ItemRect(2);
  list->PressMouse(mbLeft, ssLeft, r.Left + 8, (r.Top + r.Bottom) / 2);  // on the box
  list->ReleaseMouse(mbLeft, 0, r.Left + 8, (r.Top + r.Bottom) / 2);
  EXPECT_TRUE(list->Checked(2));
  Press(list, 2);  // on the text: only a choice
  EXPECT_TRUE(list->Checked(2));
  // OnKeyDown sees Space first; then the list turns the chosen item's mark over.
  list->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState) {
    if (key == VK_SPACE) log += list->Checked(2) ? "on " : "off ";
  };
  list->PressKey(VK_SPACE, 0);
  EXPECT_FALSE(list->Checked(2));
  EXPECT_EQ(log, "click check click on check ");

  const TBitmap image = list->PaintToImage();
  list->SetChecked(0, true);
  const TBitmap marked = list->PaintToImage();
  const TRect box = list->ItemRect(0);
  int changed = 0;
  for (int x = box.Left; x < box.Left + 19; ++x)
    for (int y = box.Top; y < box.Bottom; ++y) changed += image.Pixel(x, y) != marked.Pixel(x, y);
  EXPECT_GT(changed, 10);  // the tick
}

TEST_F(Lists, EntriesAreReorderedByDraggingOneOntoAnother) {
  // As the folder dialogs do it: the press starts a drag, the list accepts over an item, and a
  // drop moves the dragged item there and selects it.
  auto* list = Make<TListBox>();
  int from = -1;
  list->OnMouseDown = [&](TObject*, TMouseButton b, TShiftState, int x, int y) {
    from = list->ItemAtPos({x, y}, true);
    if (b == mbLeft && from >= 0) list->BeginDrag(false);
  };
  list->OnDragOver = [&](TObject*, TObject* source, int x, int y, TDragState, bool& accept) {
    accept = source == list && list->ItemAtPos({x, y}, true) >= 0;
  };
  list->OnDragDrop = [&](TObject*, TObject*, int x, int y) {
    const int to = list->ItemAtPos({x, y}, true);
    if (to < 0 || to == from) return;
    list->Items()->Move(from, to);
    list->SetItemIndex(to);
  };
  const TPoint p = At(list, 4), q = At(list, 0);
  list->PressMouse(mbLeft, ssLeft, p.x, p.y);
  list->MoveMouse(ssLeft, q.x, q.y);
  list->ReleaseMouse(mbLeft, 0, q.x, q.y);
  EXPECT_EQ(list->Items()->Strings(0), SJ("備考"));
  EXPECT_EQ(list->Items()->Strings(1), SJ("名前"));
  EXPECT_EQ(list->ItemIndex(), 0);
}

TEST_F(Lists, MemoHoldsLinesInsertsAtTheCaretAndKeepsTheBytesTheUserDidNotEdit) {
  auto* memo = new TMemo(&form);
  memo->SetParent(&form);
  int changes = 0;
  memo->OnChange = [&](TObject*) { ++changes; };
  memo->Lines()->Add("a = b");
  memo->Lines()->Add(SJ("表示"));
  EXPECT_EQ(memo->Text(), "a = b\r\n" + SJ("表示"));
  EXPECT_EQ(changes, 2);
  memo->SetSelStart(4);
  memo->SetSelText("c + ");
  EXPECT_EQ(memo->Text(), "a = c + b\r\n" + SJ("表示"));
  EXPECT_EQ(memo->SelStart(), 8);
  memo->SetSelStart(4);
  memo->SetSelLength(5);
  memo->SetSelText("x");
  EXPECT_EQ(memo->Lines()->Strings(0), "a = x");

  // A character whose bytes do not come back from Unicode the same (ED 40 returns as FA 5C) keeps
  // them while the user edits another part of the text.
  const AnsiString odd = "\xED\x40";
  ASSERT_NE(Utf8ToSjis(SjisToUtf8(odd)), odd);
  memo->SetText(odd + "1\r\n" + SJ("表示"));
  memo->UserEdit(SjisToUtf8(odd) + "12\n" + SjisToUtf8(SJ("表示")) + "!");
  EXPECT_EQ(memo->Text(), odd + "12\r\n" + SJ("表示") + "!");
  memo->UserEdit("new\nlines");
  EXPECT_EQ(memo->Lines()->Count(), 2);
  EXPECT_EQ(memo->Text(), "new\r\nlines");
}
