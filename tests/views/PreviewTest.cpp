#include <gtest/gtest.h>

#include "platform/Forms.h"
#include "tests/support/PdfText.h"
#include "tests/support/TestSupport.h"
#include "views/PreviewUnit.h"

namespace {

// The preview of a 200-row list on A4 paper at 600 dots per inch: four pages of one strip in
// portrait, six in landscape. The window is driven through the modal handler as a user would.
struct Preview : ::testing::Test {
  TempDir dir;
  TForm owner{Application};
  TStringGridEx* grid = nullptr;
  TPrinter printer;
  TKelmGridPr pr{&owner};
  std::function<void(TForm*)> answer;  // the dialogs the window opens

  Preview() {
    grid = new TStringGridEx(&owner);
    grid->SetParent(&owner);
    grid->SetColCount(6);
    grid->SetRowCount(200);
    for (int r = 0; r < 200; ++r)
      for (int c = 0; c < 6; ++c) grid->SetCells(c, r, r == 0 ? SJ("見出し") : Format("%d-%d", r, c));
    printer.SetFileName(dir.File("preview.pdf"));
    pr.SetPrinter(&printer);
    pr.SetTargetGrid(grid);
  }
  void Run(const std::function<void(TPreviewForm&)>& play, bool cards = false) {
    TPreviewForm form(&owner);
    form.GridPr = &pr;
    form.SetCardPanelVisible(cards);
    int shown = 0;
    ModalHandlerScope scope([&](TForm* f) {
      if (f != &form) {
        ASSERT_TRUE(answer) << "unexpected dialog " << Show(f->Caption());
        answer(f);
        return;
      }
      ++shown;
      EXPECT_EQ(form.Caption(), SJ("印刷プレビュー"));
      EXPECT_EQ(form.Panel1B->Visible(), cards);
      play(form);
      PressButton(f, SJ("閉じる"));
    });
    EXPECT_EQ(form.ShowModal(), mrCancel);
    EXPECT_EQ(shown, 1);
  }
  static int Line(TPreviewForm& f, int i) {
    const TKelmGridPr& p = *f.GridPr;
    const TBitmap& b = *f.PageBitmap();
    const int k = TPreviewForm::kBorder;
    switch (i) {
      case 0:
        return k + p.printerPixelsX(p.LeftMargin);
      case 1:
        return k + b.Width() - p.printerPixelsX(p.RightMargin);
      case 2:
        return k + p.printerPixelsY(p.TopMargin);
      default:
        return k + b.Height() - p.printerPixelsY(p.BottomMargin);
    }
  }
  // A drag of guide line i by (dx, dy) from a point on it.
  static void Drag(TPreviewForm& f, int i, int dx, int dy) {
    const int x = i < 2 ? Line(f, i) : 300, y = i < 2 ? 300 : Line(f, i);
    f.PaintBox1->MoveMouse(0, x, y);
    f.PaintBox1->PressMouse(mbLeft, ssLeft, x, y);
    f.PaintBox1->MoveMouse(ssLeft, x + dx / 2, y + dy / 2);
    f.PaintBox1->MoveMouse(ssLeft, x + dx, y + dy);
    f.PaintBox1->ReleaseMouse(mbLeft, 0, x + dx, y + dy);
  }
};

TEST_F(Preview, OpensOnPageOneAndPagesWithinTheCount) {
  pr.Scale = 85;  // not offered: the window keeps its 100 %
  Run([&](TPreviewForm& f) {
    EXPECT_EQ(pr.Scale, 100);
    EXPECT_EQ(f.ScaleBox->Text(), "100%");
    EXPECT_EQ(f.ScaleBox->Items()->Count(), 12);
    EXPECT_EQ(f.PagenumEdit->Text(), "1/4");
    EXPECT_TRUE(f.PortraitBtn->Down());
    EXPECT_EQ(f.PageBitmap()->Width(), static_cast<int>(printer.PageWidth() * 0.16));
    EXPECT_EQ(f.PaintBox1->Width(), f.PageBitmap()->Width() + 16);
    f.PagenumUD->Step(btPrev);
    EXPECT_EQ(f.PagenumEdit->Text(), "1/4");
    for (int i = 0; i < 5; ++i) f.PagenumUD->Step(btNext);
    EXPECT_EQ(f.PagenumEdit->Text(), "4/4");
    EXPECT_EQ(pr.CurrentPage(), 4);
    f.PagenumUD->Step(btPrev);
    EXPECT_EQ(f.PagenumEdit->Text(), "3/4");
    EXPECT_EQ(pr.CurrentPage(), 3);
  });
}

TEST_F(Preview, OrientationAndScaleRepaginate) {
  pr.Orientation = 1;
  Run([&](TPreviewForm& f) {
    EXPECT_TRUE(f.LandscapeBtn->Down());
    EXPECT_EQ(printer.Orientation(), poLandscape);
    EXPECT_GT(f.PageBitmap()->Width(), f.PageBitmap()->Height());
    EXPECT_EQ(f.PagenumEdit->Text(), "1/6");
    f.PortraitBtn->Click();
    EXPECT_EQ(printer.Orientation(), poPortrait);
    EXPECT_EQ(pr.Orientation, 0);
    EXPECT_LT(f.PageBitmap()->Width(), f.PageBitmap()->Height());
    EXPECT_EQ(f.PagenumEdit->Text(), "1/4");
    // Bigger prints take more pages, smaller fewer.
    f.ScaleBox->UserSelect(f.ScaleBox->Items()->IndexOf("200%"));
    EXPECT_EQ(pr.Scale, 200);
    EXPECT_GT(pr.GetPageCount(), 4);
    EXPECT_EQ(f.PagenumEdit->Text(), "1/" + IntToStr(pr.GetPageCount()));
    f.ScaleBox->UserSelect(0);
    EXPECT_EQ(pr.Scale, 30);
    EXPECT_LT(pr.GetPageCount(), 4);
    EXPECT_EQ(f.PagenumEdit->Text(), "1/" + IntToStr(pr.GetPageCount()));
    // With one page the page up-down does nothing.
    grid->SetRowCount(10);
    f.RefreshPreview();
    f.PagenumUD->Step(btNext);
    EXPECT_EQ(f.PagenumEdit->Text(), "1/1");
  });
  EXPECT_EQ(pr.Scale, 30) << "the printer keeps what was set";
}

TEST_F(Preview, GuideLinesDragWithinThePageAndClicksChangeNothing) {
  Run([&](TPreviewForm& f) {
    f.PaintBox1->MoveMouse(0, Line(f, 0), 300);
    EXPECT_EQ(f.PaintBox1->Cursor(), crSizeWE);
    f.PaintBox1->MoveMouse(0, 300, Line(f, 3) + 2);
    EXPECT_EQ(f.PaintBox1->Cursor(), crSizeNS);
    f.PaintBox1->MoveMouse(0, 300, 300);
    EXPECT_EQ(f.PaintBox1->Cursor(), crDefault);

    Drag(f, 0, 0, 0);  // a click on the line
    EXPECT_EQ(pr.LeftMargin, 10);
    EXPECT_EQ(Screen->Cursor(), crDefault);

    // The left line stops one pixel short of the right one.
    const int right = Line(f, 1);
    const int expected = pr.printerMmX(right - 1 - TPreviewForm::kBorder);
    Drag(f, 0, 5000, 0);
    EXPECT_EQ(pr.LeftMargin, expected);
    EXPECT_EQ(pr.RightMargin, 5);
    pr.LeftMargin = 10;
    f.RefreshPreview();

    // The top line moves down by 96 pixels: 1 inch.
    Drag(f, 2, 0, 96);
    EXPECT_NEAR(pr.TopMargin, 10 + 25.4, 1.5);
    // The bottom line cannot leave the paper.
    Drag(f, 3, 0, 5000);
    EXPECT_EQ(pr.BottomMargin, 0);

    // A second button during a drag cancels it.
    const int x = Line(f, 1);
    f.PaintBox1->PressMouse(mbLeft, ssLeft, x, 300);
    f.PaintBox1->MoveMouse(ssLeft, x - 100, 300);
    f.PaintBox1->PressMouse(mbRight, ssLeft | ssRight, x - 100, 300);
    f.PaintBox1->ReleaseMouse(mbLeft, 0, x - 100, 300);
    EXPECT_EQ(pr.RightMargin, 5);
  });
}

TEST_F(Preview, TheDraggedLineShowsInvertedAndGoesAway) {
  Run([&](TPreviewForm& f) {
    const int x = Line(f, 0), y = 20;  // in the top margin: white paper
    auto dark = [&](int px) { return (f.PaintBox1->GrabImage().Pixel(px, y) & 0xFF) < 0x80; };
    EXPECT_FALSE(dark(x + 40));
    f.PaintBox1->PressMouse(mbLeft, ssLeft, x, y);
    f.PaintBox1->MoveMouse(ssLeft, x + 40, y);
    EXPECT_TRUE(dark(x + 40));
    f.PaintBox1->MoveMouse(ssLeft, x + 60, y);
    EXPECT_FALSE(dark(x + 40));
    EXPECT_TRUE(dark(x + 60));
    f.PaintBox1->ReleaseMouse(mbLeft, 0, x + 60, y);
  });
}

TEST_F(Preview, CardSettingsStayInTheirRanges) {
  Run(
      [&](TPreviewForm& f) {
        EXPECT_EQ(f.SplitXEdit->Text(), "1");
        f.SplitXUD->Step(btNext);
        f.SplitYUD->Step(btNext);
        f.SplitYUD->Step(btNext);
        f.SkipUD->Step(btPrev);
        f.SkipUD->Step(btNext);
        f.RepeatUD->SetPosition(99);
        f.RepeatUD->Step(btNext);
        f.SplitXUD->Step(btPrev);
        f.SplitXUD->Step(btPrev);
      },
      true);
  EXPECT_EQ(pr.SplitX, 1);
  EXPECT_EQ(pr.SplitY, 3);
  EXPECT_EQ(pr.SkipNum, 1);
  EXPECT_EQ(pr.RepeatNum, 1) << "set by the program, not by a step";
}

TEST_F(Preview, SettingsTextRoundTrips) {
  TPreviewForm form(&owner);
  EXPECT_EQ(form.GetPrintSettings(), "");
  form.SetPrintSettings("1,2");  // no printer: nothing to set
  form.GridPr = &pr;
  EXPECT_EQ(form.GetPrintSettings(), "10,10,5,10,0,100,1,1,0,1");
  form.SetPrintSettings("15,10");
  EXPECT_EQ(form.GetPrintSettings(), "15,10,5,10,0,100,1,1,0,1");
  form.SetPrintSettings("x, 7,,-3");
  EXPECT_EQ(form.GetPrintSettings(), "10,7,10,-3,0,100,1,1,0,1");
  form.SetPrintSettings("");
  EXPECT_EQ(form.GetPrintSettings(), "10,7,10,-3,0,100,1,1,0,1");
  const AnsiString text = "12,13,14,15,1,150,2,3,4,5";
  form.SetPrintSettings(text + ",99");
  EXPECT_EQ(form.GetPrintSettings(), text);
  EXPECT_EQ(pr.Scale, 150);
  EXPECT_EQ(pr.RepeatNum, 5);
}

TEST_F(Preview, PrintsTheChosenPagesAndSetsUpThePrinter) {
  int dialogs = 0;
  answer = [&](TForm* f) {
    ++dialogs;
    if (auto* d = dynamic_cast<TPrintDialogForm*>(f)) {
      EXPECT_EQ(d->FileEdit->Text(), dir.File("preview.pdf"));
      EXPECT_EQ(d->RangeGroup->ItemIndex(), 0);
      if (dialogs == 1) {
        d->RangeGroup->SetItemIndex(1);
        d->FromEdit->SetText("2");
        d->ToEdit->SetText("3");
      }
    } else if (auto* s = dynamic_cast<TPrinterSetupDialogForm*>(f)) {
      s->OrientationGroup->SetItemIndex(1);
    }
    PressButton(f, "OK");
  };
  Run([&](TPreviewForm& f) {
    f.PrintBtn->Click();
    EXPECT_EQ(pr.FromPage(), 2);
    EXPECT_EQ(pr.ToPage(), 3);
    EXPECT_EQ(PdfPageCount(dir.File("preview.pdf")), 2);
    std::string text = PdfText(dir.File("preview.pdf"));
    std::erase(text, ' ');
    EXPECT_NE(text.find("－2－"), std::string::npos) << text;
    EXPECT_EQ(text.find("－1－"), std::string::npos);
    EXPECT_EQ(text.find("－4－"), std::string::npos);
    EXPECT_EQ(f.PagenumEdit->Text(), "1/4");

    f.PrintBtn->Click();  // all pages
    EXPECT_EQ(pr.FromPage(), 1);
    EXPECT_EQ(pr.ToPage(), -1);
    EXPECT_EQ(PdfPageCount(dir.File("preview.pdf")), 4);

    f.PrintSetup->Click();
    EXPECT_TRUE(f.LandscapeBtn->Down());
    EXPECT_EQ(pr.Orientation, 1);
    EXPECT_EQ(f.PagenumEdit->Text(), "1/6");
  });
  EXPECT_EQ(dialogs, 3);
}

TEST_F(Preview, TheWheelScrollsThePage) {
  Run([&](TPreviewForm& f) {
    TControlScrollBar* bar = f.ScrollBox1->VertScrollBar();
    ASSERT_TRUE(bar->IsScrollBarVisible());
    f.PaintBox1->TurnWheel(0, -120, 100, 100);
    EXPECT_EQ(bar->Position(), 2 * bar->Increment);
    f.ScrollBox1->TurnWheel(0, 120, 100, 100);
    EXPECT_EQ(bar->Position(), 0);
  });
}

}  // namespace
