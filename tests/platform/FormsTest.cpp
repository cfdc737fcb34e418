#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "platform/Forms.h"
#include "platform/StdCtrls.h"
#include "platform/Thread.h"
#include "tests/support/TestSupport.h"

TEST(Environment, JapaneseFontIsInstalled) {
  ASSERT_TRUE(JapaneseFontInstalled()) << "install fonts-ipafont-gothic: without it kana and kanji show as boxes";
  TFont f;
  f.SetName(SJ("ＭＳ Ｐゴシック"));
  EXPECT_EQ(f.DisplayFamily(), "IPAPGothic");
  EXPECT_TRUE(FontShowsText(f, SJ("はい(&Y)キャンセル再試行無視中止ＯＫエラー")));
  f.SetName(SJ("ＭＳ ゴシック"));
  EXPECT_EQ(f.DisplayFamily(), "IPAGothic");
}

TEST(Fonts, PointsAndPixels) {
  TFont f;
  f.SetSize(9);
  EXPECT_EQ(f.PixelSize(), 12);
  f.SetPixelSize(16);
  EXPECT_EQ(f.Size(), 12);
}

namespace {

struct Dialog : TForm {
  explicit Dialog(TComponent* owner) : TForm(owner) {
    SetCaption("dialog");
    Ok = new TButton(this);
    Ok->SetParent(this);
    Ok->SetCaption("OK");
    Ok->ModalResult = mrOk;
    Plain = new TButton(this);
    Plain->SetParent(this);
    Plain->SetCaption("plain");
  }
  TButton* Ok;
  TButton* Plain;
};

}  // namespace

TEST(Modal, HandlerPlaysTheUser) {
  Dialog d(Application);
  int shown = 0, clicked = 0;
  d.OnShow = [&](TObject*) { ++shown; };
  d.Plain->OnClick = [&](TObject*) { ++clicked; };
  ModalHandlerScope scope([&](TForm* f) {
    EXPECT_EQ(f, &d);
    EXPECT_TRUE(f->Visible());
    EXPECT_TRUE(PressButton(f, "plain"));  // a button without a result leaves the form open
    EXPECT_EQ(f->ModalResult(), mrNone);
    EXPECT_TRUE(PressButton(f, "OK"));
  });
  EXPECT_EQ(d.ShowModal(), mrOk);
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(clicked, 1);
  EXPECT_FALSE(d.Visible());
}

TEST(Modal, TitleBarCloseGivesCancel) {
  Dialog d(Application);
  ModalHandlerScope scope([](TForm* f) { f->Close(); });
  EXPECT_EQ(d.ShowModal(), mrCancel);
}

TEST(Modal, RefusedCloseKeepsTheFormOpen) {
  Dialog d(Application);
  int asked = 0, rounds = 0;
  d.OnCloseQuery = [&](TObject*, bool& can) { can = ++asked > 1; };
  ModalHandlerScope scope([&](TForm* f) {
    ++rounds;
    PressButton(f, "OK");
  });
  EXPECT_EQ(d.ShowModal(), mrOk);
  EXPECT_EQ(rounds, 2);
}

TEST(Modal, RunWithoutHandlerFailsInsteadOfHanging) {
  Dialog d(Application);
  int result = -1;
  EXPECT_NONFATAL_FAILURE(result = d.ShowModal(), "left to the user");
  EXPECT_EQ(result, mrCancel);
}

TEST(Modal, HandlerThatLeavesTheFormOpenFails) {
  Dialog d(Application);
  ModalHandlerScope scope([](TForm*) {});
  EXPECT_NONFATAL_FAILURE(d.ShowModal(), "left to the user");
}

TEST(Controls, OwnersFreeWhatTheyOwn) {
  auto* f = new TForm(Application);
  auto* b = new TButton(f);
  b->SetParent(f);
  auto* orphanLabel = new TLabel(f);  // owned, not parented
  (void)orphanLabel;
  EXPECT_EQ(f->ComponentCount(), 2);
  EXPECT_EQ(f->ControlCount(), 1);
  delete b;
  EXPECT_EQ(f->ComponentCount(), 1);
  EXPECT_EQ(f->ControlCount(), 0);
  delete f;  // frees the label; ASan reports anything left or freed twice
}

TEST(Controls, ChildrenFollowTheFormFontUntilGivenTheirOwn) {
  TForm f(Application);
  auto* l = new TLabel(&f);
  l->SetParent(&f);
  f.Font()->SetPixelSize(20);
  EXPECT_EQ(l->Font()->PixelSize(), 20);
  l->Font()->SetPixelSize(10);
  EXPECT_FALSE(l->ParentFont());
  f.Font()->SetPixelSize(24);
  EXPECT_EQ(l->Font()->PixelSize(), 10);
}

TEST(Controls, AutoSizeLabelMeasuresItsText) {
  TForm f(Application);
  auto* l = new TLabel(&f);
  l->SetParent(&f);
  l->SetCaption("x");
  const int one = l->Width();
  const int lineHeight = l->Height();
  l->SetCaption("xxxxxxxxxx");
  EXPECT_GT(l->Width(), 5 * one);
  l->SetCaption("a\nb");
  EXPECT_EQ(l->Height(), 2 * lineHeight);
  l->SetCaption("&&");  // shows one ampersand
  const int amp = l->Width();
  l->SetCaption("&");
  EXPECT_LE(l->Width(), amp);
}

TEST(Controls, AlignedChildrenFillTheClientArea) {
  TForm f(Application);
  f.SetBounds(0, 0, 200, 100);
  auto* top = new TLabel(&f);
  top->SetAutoSize(false);
  top->SetParent(&f);
  top->SetHeight(20);
  top->SetAlign(alTop);
  auto* rest = new TBevel(&f);
  rest->SetParent(&f);
  rest->SetAlign(alClient);
  EXPECT_EQ(top->Width(), 200);
  EXPECT_EQ(rest->Top(), 20);
  EXPECT_EQ(rest->Height(), 80);
  f.SetBounds(0, 0, 300, 150);
  EXPECT_EQ(rest->Width(), 300);
  EXPECT_EQ(rest->Height(), 130);
}

TEST(Controls, FormRendersIntoAnImage) {
  TForm f(Application);
  f.SetBounds(0, 0, 120, 60);
  f.SetColor(clWhite);
  auto* b = new TButton(&f);
  b->SetParent(&f);
  b->SetCaption(SJ("ＯＫ"));
  b->SetBounds(10, 10, 75, 25);
  TBitmap img = f.GrabImage();
  ASSERT_EQ(img.Width(), 120);
  ASSERT_EQ(img.Height(), 60);
  EXPECT_EQ(img.Pixel(110, 50), 0xFFFFFFu);
  bool inked = false;  // the button's caption and frame are not all white
  for (int x = 10; x < 85 && !inked; ++x)
    for (int y = 10; y < 35; ++y)
      if (img.Pixel(x, y) != 0xFFFFFFu) inked = true;
  EXPECT_TRUE(inked);
}

TEST(ApplicationLoop, ClosingTheMainFormEndsTheLoop) {
  TApplication* const shared = Application;
  {
    TApplication app;
    Application = &app;
    TForm* main = nullptr;
    TForm* other = nullptr;
    app.CreateForm(main);
    app.CreateForm(other);
    EXPECT_EQ(app.MainForm(), main);  // the first form made
    bool closedOther = false;
    QueueOnMainThread([&] {
      other->Show();
      other->Close();  // an ordinary form only hides
      closedOther = !other->Visible() && !app.Terminated();
      main->Close();
    });
    EXPECT_EQ(app.Run(), 0);
    EXPECT_TRUE(closedOther);
    EXPECT_TRUE(app.Terminated());
    EXPECT_FALSE(main->Visible());
  }
  Application = shared;
}
