// A window put together from the common controls as the main window is: a cool bar holding a
// menu tool bar and a tool bar, the folder tree beside the view tabs, a splitter between them and
// the status bar below. With CW_SCREENSHOT_DIR set the picture is written there as demo.png.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/ActnList.h"
#include "platform/ComCtrls.h"
#include "platform/ImgList.h"
#include "platform/ListBox.h"
#include "platform/Menus.h"
#include "platform/Splitter.h"
#include "tests/support/TestSupport.h"

namespace {

// A folder picture: a tab and a body in the colour, on a see-through ground.
TBitmap Folder(TColor color) {
  TBitmap b(16, 16);
  TCanvas* c = b.Canvas();
  c->Brush()->SetColor(clFuchsia);
  c->FillRect(Rect(0, 0, 16, 16));
  c->Brush()->SetColor(color);
  c->FillRect(Rect(1, 3, 7, 5));
  c->FillRect(Rect(1, 5, 15, 14));
  c->Brush()->SetColor(clGray);
  c->FrameRect(Rect(1, 5, 15, 14));
  return b;
}

}  // namespace

TEST(DemoForm, TreeTabsStatusBarAndToolBarsShareTheWindow) {
  ASSERT_TRUE(JapaneseFontInstalled());
  TForm form(Application);
  form.SetCaption("Cinderwatch");
  form.SetBounds(0, 0, 640, 400);

  TMainMenu menu(&form);
  for (const char* caption : {"ファイル", "データ操作", "ヘルプ"}) {
    auto* item = new TMenuItem(&form);
    item->SetCaption(Utf8ToSjis(caption));
    menu.Items()->Add(item);
  }
  TAction run(&form);
  run.SetCaption(SJ("処理の実行"));
  run.SetEnabled(false);

  auto* cool = new TCoolBar(&form);
  cool->SetParent(&form);
  auto* menuBar = new TToolBar(&form);
  menuBar->SetParent(cool);
  menuBar->SetFlat(true);
  menuBar->SetShowCaptions(true);
  menuBar->SetButtonHeight(20);
  menuBar->SetAutoSize(true);
  for (int i = 0; i < menu.Items()->Count(); ++i) {
    auto* b = new TToolButton(&form);
    b->SetParent(menuBar);
    b->AutoSize = true;
    b->SetMenuItem(menu.Items()->Items(i));
  }
  auto* tools = new TToolBar(&form);
  tools->SetParent(cool);
  tools->SetFlat(true);
  tools->SetShowCaptions(true);
  tools->SetButtonHeight(20);
  tools->SetAutoSize(true);
  auto* runButton = new TToolButton(&form);
  runButton->SetParent(tools);
  runButton->AutoSize = true;
  runButton->SetAction(&run);
  TCoolBand* band = cool->Bands()->Add();
  band->SetControl(menuBar);
  band->SetWidth(260);
  band = cool->Bands()->Add();
  band->SetControl(tools);
  band->SetBreak(false);

  auto* status = new TStatusBar(&form);
  status->SetParent(&form);
  for (int w : {160, 240, 100}) status->Panels()->Add()->SetWidth(w);
  status->Panels()->Items(0)->SetText("work.fld");
  status->Panels()->Items(1)->SetText(SJ("件数:1234  検索:15(ミリ秒)  表示:3(ミリ秒)"));
  status->Panels()->Items(2)->SetText(SJ("ソート: 日付△  件名▽"));

  TImageList images(&form);
  images.AddMasked(Folder(clYellow), clFuchsia);
  images.AddMasked(Folder(clAqua), clFuchsia);
  auto* tree = new TTreeView(&form);
  tree->SetParent(&form);
  tree->SetWidth(200);
  tree->SetAlign(alLeft);
  tree->SetImages(&images);
  tree->SetShowRoot(false);
  TTreeNode* root = tree->Items()->Add(nullptr, "Cindervault");
  const char* tables[] = {"アクセスログ", "メールログ", "顧客台帳"};
  const char* values[] = {"200 正常", "304 変更なし", "404 見つかりません", "500 サーバー内部エラー"};
  for (const char* t : tables) {
    TTreeNode* table = tree->Items()->AddChild(root, Utf8ToSjis(t));
    if (table->Index() == 0) {
      TTreeNode* byStatus = tree->Items()->AddChild(table, SJ("ステータス別"));
      for (const char* v : values) tree->Items()->AddChild(byStatus, Utf8ToSjis(v));
      tree->Items()->AddChild(table, SJ("今月の件数"));
    }
  }
  // Every node shows the closed folder, and the open one while it is selected.
  for (TTreeNode* n = root; n;) {
    n->SetImageIndex(0);
    n->SetSelectedIndex(1);
    if (n->GetFirstChild()) {
      n = n->GetFirstChild();
      continue;
    }
    while (n && !n->GetNextSibling()) n = n->Parent();
    if (n) n = n->GetNextSibling();
  }
  root->Expand(true);
  tree->SetSelected(root->Item(0)->Item(0)->Item(1));

  auto* splitter = new TSplitter(&form);
  splitter->SetParent(&form);
  splitter->SetBounds(200, 0, 4, 100);

  auto* tabs = new TTabControl(&form);
  tabs->SetParent(&form);
  tabs->SetAlign(alClient);
  for (const char* t : {"検索表示", "集計表示", "比率表示", "グラフ表示"}) tabs->Tabs()->Add(Utf8ToSjis(t));
  auto* list = new TCheckListBox(&form);
  list->SetParent(tabs);
  list->SetAlign(alClient);
  for (const char* s : {"日付", "ホスト", "要求", "ステータス", "バイト数"}) list->Items()->Add(Utf8ToSjis(s));
  for (int i : {0, 2, 3}) list->SetChecked(i, true);
  list->SetItemIndex(3);

  // The window's parts meet without gaps or overlaps.
  EXPECT_EQ(cool->Top(), 0);
  EXPECT_EQ(tree->Top(), cool->Height());
  EXPECT_EQ(splitter->Left(), tree->Width());
  EXPECT_EQ(tabs->Left(), splitter->Left() + splitter->Width());
  EXPECT_EQ(tabs->Left() + tabs->Width(), 640);
  EXPECT_EQ(tree->Top() + tree->Height(), status->Top());
  EXPECT_EQ(status->Top() + status->Height(), 400);
  EXPECT_EQ(runButton->Caption(), SJ("処理の実行"));

  form.Show();
  Application->ProcessMessages();
  const TBitmap shot = form.GrabImage();
  EXPECT_EQ(shot.Width(), 640);
  if (const char* dir = getenv("CW_SCREENSHOT_DIR")) shot.SaveToFile(std::string(dir) + "/demo.png");
  form.Hide();
}
