#include <gtest/gtest.h>

#include <string>

#include "platform/ActnList.h"
#include "platform/ComCtrls.h"
#include "platform/Menus.h"
#include "platform/StdCtrls.h"
#include "tests/support/TestSupport.h"

namespace {

struct CommonControls : ::testing::Test {
  TForm form{Application};
  std::string log;
  void SetUp() override { form.SetBounds(0, 0, 400, 300); }
  template <class T>
  T* Make(TWinControl* parent = nullptr) {
    auto* c = new T(&form);
    c->SetParent(parent ? parent : &form);
    return c;
  }
  // Pixels of the image inside r that are not white nor the face colour: drawn text or lines.
  static int Ink(const TBitmap& image, const TRect& r) {
    int n = 0;
    for (int x = r.Left; x < r.Right; ++x)
      for (int y = r.Top; y < r.Bottom; ++y) {
        const uint32_t p = image.Pixel(x, y);
        n += p != 0xFFFFFFu && p != ColorToRGB(clBtnFace);
      }
    return n;
  }
};

}  // namespace

TEST_F(CommonControls, TabControlShowsItsChildrenBelowTheTabsAndReportsTheUsersChoiceOnly) {
  auto* tabs = Make<TTabControl>();
  tabs->SetBounds(0, 0, 300, 200);
  for (const char* t : {"検索表示", "集計表示", "比率表示", "グラフ表示"}) tabs->Tabs()->Add(Utf8ToSjis(t));
  EXPECT_EQ(tabs->TabIndex(), 0);
  auto* inside = Make<TEdit>(tabs);
  inside->SetAlign(alClient);
  EXPECT_EQ(inside->Width(), tabs->ClientWidth());
  EXPECT_EQ(inside->Height(), tabs->ClientHeight());
  EXPECT_LT(tabs->ClientHeight(), 200 - 15);

  tabs->OnChange = [&](TObject*) { log += "change" + std::to_string(tabs->TabIndex()) + " "; };
  tabs->SetTabIndex(3);
  tabs->UserSelect(1);
  tabs->UserSelect(1);  // the same tab again: nothing
  EXPECT_EQ(log, "change1 ");
  // Cutting the tabs back leaves the index on a tab that is there.
  tabs->SetTabIndex(3);
  while (tabs->Tabs()->Count() > 3) tabs->Tabs()->Delete(3);
  EXPECT_EQ(tabs->TabIndex(), 2);
  tabs->UserSelect(3);
  EXPECT_EQ(tabs->TabIndex(), 2);
}

TEST_F(CommonControls, PageControlShowsTheActivePageAndTellsPagesWhenTheyComeAndGo) {
  auto* pages = Make<TPageControl>();
  pages->SetBounds(10, 10, 300, 200);
  TTabSheet* sheets[3];
  for (int i = 0; i < 3; ++i) {
    sheets[i] = new TTabSheet(&form);
    sheets[i]->SetPageControl(pages);
    sheets[i]->SetCaption(i == 0 ? SJ("一般") : i == 1 ? SJ("処理") : SJ("値指定"));
    sheets[i]->OnShow = [&, i](TObject*) { log += "show" + std::to_string(i) + " "; };
    sheets[i]->OnHide = [&, i](TObject*) { log += "hide" + std::to_string(i) + " "; };
  }
  EXPECT_EQ(pages->PageCount(), 3);
  EXPECT_EQ(pages->ActivePage(), sheets[0]);
  EXPECT_TRUE(sheets[0]->Visible());
  EXPECT_FALSE(sheets[1]->Visible());
  EXPECT_EQ(sheets[1]->Width(), pages->ClientWidth());
  EXPECT_EQ(sheets[2]->PageIndex(), 2);

  pages->OnChange = [&](TObject*) { log += "change "; };
  pages->SetActivePageIndex(2);
  pages->UserSelect(1);
  EXPECT_EQ(log, "hide0 show2 hide2 show1 change ");
  EXPECT_TRUE(sheets[1]->Visible());
  EXPECT_FALSE(sheets[2]->Visible());

  // Freeing the active page makes the next one active.
  log.clear();
  delete sheets[1];
  EXPECT_EQ(pages->PageCount(), 2);
  EXPECT_EQ(pages->ActivePage(), sheets[2]);
  EXPECT_TRUE(sheets[2]->Visible());
  delete pages;  // the pages go with it, and know it
}

TEST_F(CommonControls, StatusBarPanelsHaveTheirWidthsAndTheLastReachesTheEdge) {
  auto* bar = Make<TStatusBar>();
  EXPECT_EQ(bar->Align(), alBottom);
  EXPECT_EQ(bar->Top() + bar->Height(), form.ClientHeight());
  for (int w : {160, 240, 100}) bar->Panels()->Add()->SetWidth(w);
  EXPECT_EQ(bar->PanelRect(0).Left, 0);
  EXPECT_EQ(bar->PanelRect(1).Left, 160);
  EXPECT_EQ(bar->PanelRect(2).Left, 400);
  EXPECT_EQ(bar->PanelRect(2).Right, 400);  // the form is 400 wide: the last panel reaches its edge
  bar->Panels()->Items(1)->SetText(SJ("件数:120  検索:15(ミリ秒)"));
  const TBitmap image = bar->PaintToImage();
  EXPECT_GT(Ink(image, Rect(163, 4, 390, bar->Height() - 2)), 40);
  EXPECT_EQ(Ink(image, Rect(3, 4, 150, bar->Height() - 2)), 0);
}

TEST_F(CommonControls, ActionsGiveTheirStateToMenuItemsAndToolButtonsAndRunFromThem) {
  TActionList actions(&form);
  auto* run = new TAction(&form);
  run->SetActionList(&actions);
  run->SetCaption(SJ("処理の実行"));
  run->SetShortCut(ShortCut('R', ssCtrl));
  int runs = 0;
  run->OnExecute = [&](TObject*) { ++runs; };
  EXPECT_EQ(actions.ActionCount(), 1);

  TPopupMenu menu(&form);
  auto* item = new TMenuItem(&form);
  menu.Items()->Add(item);
  item->SetAction(run);
  auto* bar = Make<TToolBar>();
  bar->SetShowCaptions(true);
  auto* button = Make<TToolButton>(bar);
  button->AutoSize = true;
  button->SetAction(run);
  EXPECT_EQ(item->Caption(), run->Caption());
  EXPECT_EQ(item->ShortCut, ShortCut('R', ssCtrl));
  EXPECT_EQ(button->Caption(), run->Caption());

  item->Click();
  button->Click();
  EXPECT_EQ(runs, 2);
  run->SetCaption(SJ("処理「集計」の実行"));
  run->SetEnabled(false);
  EXPECT_EQ(item->Caption(), SJ("処理「集計」の実行"));
  EXPECT_FALSE(item->Enabled);
  EXPECT_FALSE(button->Enabled());
  item->Click();
  EXPECT_FALSE(run->Execute());
  EXPECT_EQ(runs, 2);

  // An item's own OnClick goes before the action's.
  run->SetEnabled(true);
  item->OnClick = [&](TObject*) { runs += 10; };
  item->Click();
  EXPECT_EQ(runs, 12);
  run->SetVisible(false);
  EXPECT_FALSE(item->Visible);
  EXPECT_FALSE(button->Visible());
  delete run;  // the item and the button let go of it
  EXPECT_EQ(item->Action(), nullptr);
  EXPECT_EQ(button->Action(), nullptr);
  EXPECT_EQ(actions.ActionCount(), 0);

  struct Case {
    TShortCut s;
    const char* text;
  };
  for (const Case& c : {Case{ShortCut('Z', ssCtrl), "Ctrl+Z"}, Case{ShortCut(VK_DELETE, 0), "Del"},
                        Case{ShortCut(VK_F2, ssShift), "Shift+F2"}, Case{0, ""}})
    EXPECT_EQ(ShortCutToText(c.s), c.text);
}

TEST_F(CommonControls, ToolBarLaysItsButtonsOutAndAMenuButtonClicksAnItemWithoutSubmenu) {
  TMainMenu menu(&form);
  for (const char* caption : {"ファイル", "データ操作", "ヘルプ"}) {
    auto* top = new TMenuItem(&form);
    top->SetCaption(Utf8ToSjis(caption));
    menu.Items()->Add(top);
  }
  auto* sub = new TMenuItem(&form);
  sub->SetCaption(SJ("終了"));
  menu.Items()->Items(0)->Add(sub);
  int helps = 0;
  menu.Items()->Items(2)->OnClick = [&](TObject*) { ++helps; };

  auto* bar = Make<TToolBar>();
  bar->SetShowCaptions(true);
  bar->SetFlat(true);
  bar->SetButtonHeight(20);
  bar->SetAutoSize(true);
  for (int i = 0; i < 3; ++i) {
    auto* b = Make<TToolButton>(bar);
    b->AutoSize = true;
    b->SetMenuItem(menu.Items()->Items(i));
  }
  EXPECT_EQ(bar->Height(), 20);
  ASSERT_EQ(bar->ButtonCount(), 3);
  EXPECT_EQ(bar->Buttons(0)->Left(), 0);
  EXPECT_EQ(bar->Buttons(1)->Left(), bar->Buttons(0)->Width());
  EXPECT_GT(bar->Buttons(1)->Width(), bar->Buttons(2)->Width());  // "データ操作" is wider than "ヘルプ"
  EXPECT_EQ(bar->Buttons(2)->Caption(), SJ("ヘルプ"));
  bar->Buttons(2)->Click();
  EXPECT_EQ(helps, 1);
  bar->Buttons(0)->Click();  // drops its submenu down (nothing shows under tests)
  bar->Buttons(1)->SetVisible(false);
  EXPECT_EQ(bar->Buttons(2)->Left(), bar->Buttons(0)->Width());
}

TEST_F(CommonControls, CoolBarPutsBandsInRowsAndFollowsTheirHeight) {
  auto* cool = Make<TCoolBar>();
  auto* menuBar = Make<TToolBar>(cool);
  menuBar->SetButtonHeight(20);
  menuBar->SetAutoSize(true);
  auto* tools = Make<TToolBar>(cool);
  tools->SetButtonHeight(22);
  tools->SetAutoSize(true);
  TCoolBand* first = cool->Bands()->Add();
  first->SetControl(menuBar);
  first->SetWidth(180);
  TCoolBand* second = cool->Bands()->Add();
  second->SetControl(tools);
  second->SetBreak(false);
  EXPECT_EQ(cool->Align(), alTop);
  EXPECT_EQ(cool->Width(), 400);
  EXPECT_EQ(cool->BandRect(0), Rect(0, 0, 180, 26));  // a row as high as its highest band
  EXPECT_EQ(cool->BandRect(1), Rect(180, 0, 400, 26));  // the last band reaches the edge
  EXPECT_EQ(cool->Height(), 26);
  EXPECT_GT(tools->Left(), 180);
  EXPECT_EQ(tools->Top(), 2);

  second->SetBreak(true);  // a row of its own
  EXPECT_EQ(cool->BandRect(1), Rect(0, 24, 400, 24 + 26));
  EXPECT_EQ(cool->Height(), 50);
  first->SetVisible(false);
  EXPECT_FALSE(menuBar->Visible());
  EXPECT_EQ(cool->BandRect(1).Top, 0);
  EXPECT_EQ(cool->Height(), 26);
  delete tools;  // the band forgets a control freed before the bar
  EXPECT_EQ(second->Control(), nullptr);
  EXPECT_EQ(cool->Height(), 22 + 4);
}
