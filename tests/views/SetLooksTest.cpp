#include <gtest/gtest.h>

#include <functional>

#include "platform/ComCtrls.h"
#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "tests/support/TestSupport.h"
#include "views/SetLooksUnit.h"

namespace {

// A panel of the program's own class: the appearance functions pass it over.
struct OwnPanel : TPanel {
  using TPanel::TPanel;
};

template <class T>
T* Put(TComponent* owner, TWinControl* parent) {
  auto* c = new T(owner);
  c->SetParent(parent);
  return c;
}

// Answers the colour and font dialogs opened from the dialog under test: with a colour or a
// font, or with Cancel when the answer is empty.
struct Answers {
  std::vector<TColor> colors;
  std::vector<int> fontSizes;  // 0: confirm the font as it was offered
  int colorAsked = 0, fontAsked = 0;
  TColor offeredColor = 0;
  bool Answer(TForm* f) {
    if (auto* c = dynamic_cast<TColorDialogForm*>(f)) {
      offeredColor = c->SelectedColor();
      const size_t k = colorAsked++;
      if (k < colors.size() && colors[k] >= 0) {
        c->SetSelectedColor(colors[k]);
        PressButton(f, "OK");
      } else {
        PressButton(f, SJ("キャンセル"));
      }
      return true;
    }
    if (auto* d = dynamic_cast<TFontDialogForm*>(f)) {
      const size_t k = fontAsked++;
      if (k < fontSizes.size()) {
        if (fontSizes[k] > 0) d->SelectedFont()->SetSize(fontSizes[k]);
        PressButton(f, "OK");
      } else {
        PressButton(f, SJ("キャンセル"));
      }
      return true;
    }
    return false;
  }
};

struct Looks : ::testing::Test {
  TForm main{Application};
  OwnPanel* tree = Put<OwnPanel>(&main, &main);
  TStringGridEx* grid = Put<TStringGridEx>(&main, &main);
  TScrollBox* diagram = Put<TScrollBox>(&main, &main);
  TPanel* bar = Put<TPanel>(&main, &main);

  Looks() {
    grid->SetColor(clWhite);
    grid->SetStripeColor(clSilver);
    grid->SetFixedColor(clBtnFace);
    main.SetColor(clBtnFace);
    bar->SetColor(clBtnFace);
  }
  // Shows the dialog; play acts on it while it is open, then the dialog ends with result.
  int Run(Answers& answers, const std::function<void(TSetLooksDlg*)>& play, const AnsiString& button, int* count) {
    TSetLooksDlg dlg(&main);
    dlg.MainForm = &main;
    dlg.FolderTree = tree;
    dlg.ListGrid = grid;
    dlg.FlowBox = diagram;
    int result = -1;
    {
      ModalHandlerScope scope([&](TForm* f) {
        if (answers.Answer(f)) return;
        play(static_cast<TSetLooksDlg*>(f));
        if (button.empty())
          f->Close();
        else
          PressButton(f, button);
      });
      result = dlg.ShowModal();
    }
    *count = dlg.GetLooksChangeCount();
    return result;
  }
};

}  // namespace

TEST(Appearance, ColoursAndFontsReachOnlyTheNamedKindsOfChildren) {
  TForm form(Application);
  auto* panel = Put<TPanel>(&form, &form);
  auto* inner = Put<TPanel>(&form, panel);
  auto* box = Put<TScrollBox>(&form, &form);
  auto* tabs = Put<TTabControl>(&form, &form);
  auto* tabbed = Put<TPanel>(&form, tabs);
  auto* own = Put<OwnPanel>(&form, &form);
  auto* button = Put<TButton>(&form, &form);
  for (TControl* c : std::initializer_list<TControl*>{panel, inner, box, tabs, tabbed, own, button}) c->SetColor(clGray);

  SetColorToChildren(&form, clRed);
  EXPECT_EQ(panel->Color(), clRed);
  EXPECT_EQ(box->Color(), clRed);
  EXPECT_EQ(tabbed->Color(), clRed);  // through the tab control
  EXPECT_EQ(tabs->Color(), clGray);
  EXPECT_EQ(inner->Color(), clGray);  // not inside panels
  EXPECT_EQ(own->Color(), clGray);    // not a subclass
  EXPECT_EQ(button->Color(), clGray);

  TFont font;
  font.SetSize(14);
  inner->Font()->SetSize(10);
  SetFontToChildren(&form, &font);
  EXPECT_EQ(panel->Font()->Size(), 14);
  EXPECT_EQ(tabbed->Font()->Size(), 14);
  EXPECT_EQ(inner->Font()->Size(), 10);
}

TEST(Appearance, GridFontSetsTheRowHeightFromThePointSize) {
  TForm form(Application);
  auto* grid = Put<TStringGridEx>(&form, &form);
  for (auto [points, height] : {std::pair{8, 15}, {9, 17}, {10, 18}, {12, 22}, {18, 34}}) {
    TFont font;
    font.SetName(SJ("ＭＳ ゴシック"));
    font.SetSize(points);
    SetGridFont(grid, &font);
    EXPECT_EQ(grid->DefaultRowHeight(), height) << points;
    EXPECT_EQ(grid->RowHeights(3), height);
  }
  EXPECT_EQ(grid->Font()->Name(), SJ("ＭＳ ゴシック"));
  for (int c = 0; c < grid->ColCount(); ++c) {
    EXPECT_EQ(grid->GridColumns()->Items(c)->Font()->Size(), 18);
    EXPECT_EQ(grid->GridColumns()->Items(c)->FixCellFont()->Size(), 18);
  }
}

TEST_F(Looks, ChoicesShowAtOnceAndCancelPutsThemBack) {
  Answers answers{{clGreen, clYellow}, {}};
  int count = -1;
  const int result = Run(answers, [&](TSetLooksDlg* d) {
    EXPECT_EQ(d->Panel5->Color(), clWhite);
    d->ColorBtn5->Click();
    EXPECT_EQ(answers.offeredColor, clWhite);  // the dialog starts from the panel's colour
    EXPECT_EQ(grid->Color(), clGreen);
    d->ColorBtn2->Click();
    EXPECT_EQ(main.Color(), clYellow);
    EXPECT_EQ(bar->Color(), clYellow);
    EXPECT_EQ(tree->Color(), clBtnFace);  // not one of the kinds that follow the window
    EXPECT_EQ(d->GetLooksChangeCount(), 2);
  }, SJ("キャンセル"), &count);
  EXPECT_EQ(result, mrCancel);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(grid->Color(), clWhite);
  EXPECT_EQ(main.Color(), clBtnFace);
  EXPECT_EQ(bar->Color(), clBtnFace);
}

TEST_F(Looks, ClosingTheWindowActsAsCancel) {
  Answers answers{{clNavy}, {}};
  int count = -1;
  Run(answers, [&](TSetLooksDlg* d) {
    d->ColorBtn6->Click();
    EXPECT_EQ(grid->StripeColor(), clNavy);
  }, "", &count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(grid->StripeColor(), clSilver);
}

TEST_F(Looks, ConfirmedChoicesCountAndStayWithOk) {
  Answers answers{{-1, clTeal}, {0, 12}};
  int count = -1;
  const int result = Run(answers, [&](TSetLooksDlg* d) {
    d->ColorBtn1->Click();  // cancelled: nothing changes, nothing counts
    EXPECT_EQ(d->GetLooksChangeCount(), 0);
    d->FontBtn3->Click();  // the unchanged font confirmed still counts
    EXPECT_EQ(d->GetLooksChangeCount(), 1);
    d->ColorBtn4->Click();
    d->FontBtn4->Click();
    EXPECT_EQ(d->Memo4->Font()->Size(), 12);
  }, "OK", &count);
  EXPECT_EQ(result, mrOk);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(grid->FixedColor(), clTeal);
  EXPECT_EQ(grid->Font()->Size(), 12);
  EXPECT_EQ(grid->DefaultRowHeight(), 22);
  EXPECT_EQ(tree->Color(), clBtnFace);
}

TEST(Appearance, DialogLayout) {
  TSetLooksDlg dlg(Application);
  EXPECT_EQ(dlg.Caption(), SJ("外見の設定"));
  EXPECT_EQ(dlg.Width(), 297);
  EXPECT_EQ(dlg.Height(), 310);
  const char* pages[] = {"ツリー", "リスト", "検索条件図", "その他"};
  ASSERT_EQ(dlg.PageControl1->PageCount(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(dlg.PageControl1->Pages(i)->Caption(), Utf8ToSjis(pages[i]));
  EXPECT_EQ(dlg.ColorBtn5->Caption(), SJ("データの色１"));
  EXPECT_EQ(dlg.Memo1->Lines()->Strings(5), SJ("人間万事塞翁が馬"));

  // Every shown control lies inside its parent's client area and meets none of its siblings.
  std::function<void(TWinControl*)> check = [&](TWinControl* parent) {
    std::vector<TControl*> shown;
    for (int i = 0; i < parent->ControlCount(); ++i) {
      TControl* c = parent->Controls(i);
      if (dynamic_cast<TTabSheet*>(c) || !c->Visible()) continue;
      shown.push_back(c);
      EXPECT_GE(c->Left(), 0) << Show(c->Caption());
      EXPECT_GE(c->Top(), 0) << Show(c->Caption());
      EXPECT_LE(c->Left() + c->Width(), parent->ClientWidth()) << Show(c->Caption());
      EXPECT_LE(c->Top() + c->Height(), parent->ClientHeight()) << Show(c->Caption());
    }
    for (size_t a = 0; a < shown.size(); ++a)
      for (size_t b = a + 1; b < shown.size(); ++b) {
        const TControl* x = shown[a];
        const TControl* y = shown[b];
        const bool apart = x->Left() + x->Width() <= y->Left() || y->Left() + y->Width() <= x->Left() ||
                           x->Top() + x->Height() <= y->Top() || y->Top() + y->Height() <= x->Top();
        EXPECT_TRUE(apart) << Show(x->Caption()) << " / " << Show(y->Caption());
      }
  };
  check(&dlg);
  for (int i = 0; i < 4; ++i) {
    TTabSheet* sheet = dlg.PageControl1->Pages(i);
    EXPECT_EQ(sheet->Width(), dlg.PageControl1->ClientWidth());
    check(sheet);
  }
}
