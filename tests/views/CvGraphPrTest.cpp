#include <gtest/gtest.h>

#include "platform/Chart.h"
#include "platform/Forms.h"
#include "tests/support/RecordingCanvas.h"
#include "tests/support/TestSupport.h"
#include "views/CvGraphPr.h"

namespace {

constexpr TColor kBars = 0xCC6633;

// A chart printer over a grid of 60 rows, with a bar chart of its own.
struct ChartPrint : ::testing::Test {
  TForm form{Application};
  TStringGridEx* grid = new TStringGridEx(&form);
  TChart* chart = new TChart(&form);
  TRecordingCanvas canvas;
  TPrinter printer{&canvas};
  TCvGraphPr pr{&form};

  ChartPrint() {
    grid->SetParent(&form);
    grid->SetRowCount(60);
    grid->SetColCount(3);
    pr.SetPrinter(&printer);
    pr.SetTargetGrid(grid);
    auto* bars = new TBarSeries(&form);
    bars->SetSeriesColor(kBars);
    bars->Add(3, "a");
    bars->Add(5, "b");
    chart->AddSeries(bars);
    chart->SetView3D(false);
  }
};

TEST_F(ChartPrint, ChartIsOnePageInsideTheMargins) {
  pr.UpdatePrinter();
  ASSERT_GT(pr.GetPageCount(), 1);  // the grid's own pages
  pr.Chart = chart;
  EXPECT_EQ(pr.GetPageCount(), 1);

  TBitmap page;
  pr.BeginPreview(&page);
  ASSERT_FALSE(page.Empty());
  EXPECT_FALSE(pr.PreviewNextPage());
  EXPECT_FALSE(pr.PreviewPriorPage());
  // The bars stand inside the margins and nothing of the chart outside them.
  const int left = static_cast<int>(pr.MarginPixels().Left * pr.pvRatioX);
  const int top = static_cast<int>(pr.MarginPixels().Top * pr.pvRatioY);
  const int right = page.Width() - static_cast<int>(pr.MarginPixels().Right * pr.pvRatioX);
  const int bottom = page.Height() - static_cast<int>(pr.MarginPixels().Bottom * pr.pvRatioY);
  int inside = 0, outside = 0;
  for (int y = 0; y < page.Height(); ++y)
    for (int x = 0; x < page.Width(); ++x) {
      if (page.Pixel(x, y) == 0xFFFFFF) continue;
      const bool in = x >= left && x < right && y >= top && y < bottom;
      (in ? inside : outside) += 1;
    }
  EXPECT_GT(inside, 1000);
  EXPECT_EQ(outside, 0);

  // Printing draws the same chart once, on the printer's page.
  printer.BeginDoc();
  pr.GoPrint();
  printer.EndDoc();
  int filled = 0;
  for (const auto& op : canvas.Ops) filled += op.kind == TRecordingCanvas::opText;
  EXPECT_GT(filled, 2);  // the axis's numbers and the bars' labels

  // Without a chart it prints the grid again.
  pr.Chart = nullptr;
  pr.UpdatePrinter();
  EXPECT_GT(pr.GetPageCount(), 1);
}

TEST_F(ChartPrint, ChartPreviewWithoutGridDrawsNothing) {
  pr.SetTargetGrid(nullptr);
  pr.Chart = chart;
  TBitmap page(10, 10);
  pr.BeginPreview(&page);
  EXPECT_EQ(page.Width(), 10);
}

}  // namespace
