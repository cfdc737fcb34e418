#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numeric>
#include <string>

#include "platform/Chart.h"
#include "platform/SysUtils.h"
#include "tests/support/RecordingCanvas.h"
#include "tests/support/TestSupport.h"

namespace {

// TColor is blue-green-red; pixels read back red-green-blue.
uint32_t Rgb(TColor c) { return ColorToRGB(c); }

int CountColor(const TBitmap& b, TColor c, TRect r = TRect{0, 0, 100000, 100000}) {
  const uint32_t want = Rgb(c);
  int n = 0;
  for (int y = std::max(0, r.Top); y < std::min(b.Height(), r.Bottom); ++y)
    for (int x = std::max(0, r.Left); x < std::min(b.Width(), r.Right); ++x) n += b.Pixel(x, y) == want;
  return n;
}

constexpr TColor kSeries = 0xCC6633;  // a colour nothing else of the chart uses
constexpr TColor kOther = 0x33AA22;

struct ChartFixture {
  TComponent owner{nullptr};
  TChart* chart = new TChart(&owner);
  ChartFixture(int w = 400, int h = 300) {
    chart->SetBounds(0, 0, w, h);
    chart->SetView3D(false);
  }
  template <class S>
  S* Add(std::initializer_list<double> values, TColor color = kSeries) {
    auto* s = new S(&owner);
    s->SetSeriesColor(color);
    int i = 0;
    for (double v : values) s->Add(v, "P" + IntToStr(i++));
    chart->AddSeries(s);
    return s;
  }
};

TEST(ChartTest, EveryKindDrawsItsPointsInTheSeriesColour) {
  for (bool view3D : {false, true}) {
    for (int kind = 0; kind < 5; ++kind) {
      ChartFixture f;
      f.chart->SetView3D(view3D);
      TChartSeries* s = nullptr;
      switch (kind) {
        case 0: s = f.Add<TBarSeries>({3, 5, 2}); break;
        case 1: s = f.Add<THorizBarSeries>({3, 5, 2}); break;
        case 2: s = f.Add<TLineSeries>({3, 5, 2}); static_cast<TLineSeries*>(s)->SetLinePenWidth(3); break;
        case 3: s = f.Add<TPieSeries>({3, 5, 2}); break;
        case 4: s = f.Add<TAreaSeries>({3, 5, 2}); break;
      }
      const TBitmap image = f.chart->PaintToImage();
      EXPECT_GT(CountColor(image, kSeries), 100) << "kind " << kind << " 3D " << view3D;
      EXPECT_FALSE(f.chart->PlotRect().Empty()) << kind;
      ASSERT_NE(s, nullptr);
    }
  }
}

TEST(ChartTest, BarStylesAllDraw) {
  for (TBarStyle style : {bsRectangle, bsArrow, bsCilinder, bsPyramid, bsInvPyramid, bsEllipse, bsRectGradient}) {
    for (bool horizontal : {false, true}) {
      ChartFixture f;
      f.chart->SetView3D(true);
      TBarSeries* s = horizontal ? f.Add<THorizBarSeries>({4, -2}) : f.Add<TBarSeries>({4, -2});
      s->SetBarStyle(style);
      EXPECT_GT(CountColor(f.chart->PaintToImage(), kSeries), 50) << style << " " << horizontal;
    }
  }
}

TEST(ChartTest, PieSweepsShareTheCircleByAbsoluteValue) {
  TComponent owner(nullptr);
  TPieSeries pie(&owner);
  EXPECT_TRUE(pie.Sweeps().empty());
  for (double v : {1.0, -3.0, 0.0, 4.0}) pie.Add(v, "");
  const std::vector<double> sweeps = pie.Sweeps();
  ASSERT_EQ(sweeps.size(), 4u);
  EXPECT_NEAR(std::accumulate(sweeps.begin(), sweeps.end(), 0.0), 360.0, 1e-9);
  EXPECT_NEAR(sweeps[0], 45.0, 1e-9);
  EXPECT_NEAR(sweeps[1], 135.0, 1e-9);
  EXPECT_EQ(sweeps[2], 0.0);
  TPieSeries zeros(&owner);
  zeros.Add(0, "");
  zeros.Add(0, "");
  EXPECT_EQ(zeros.Sweeps(), (std::vector<double>{0, 0}));
}

TEST(ChartTest, PieSlicesRunClockwiseFromTheRotationAngle) {
  ChartFixture f;
  f.chart->Legend()->SetVisible(false);
  auto* pie = new TPieSeries(&f.owner);
  pie->SetRotationAngle(90);  // twelve o'clock
  pie->Add(3, "a", kSeries);
  pie->Add(1, "b", kOther);
  f.chart->AddSeries(pie);
  const TBitmap image = f.chart->PaintToImage();
  const TRect r = f.chart->PlotRect();
  ASSERT_FALSE(r.Empty());
  const int cx = (r.Left + r.Right) / 2, cy = (r.Top + r.Bottom) / 2, q = r.Width() / 4;
  // The first slice covers three quarters from twelve o'clock to nine; the second the last quarter.
  EXPECT_EQ(image.Pixel(cx + q, cy - q), Rgb(kSeries));
  EXPECT_EQ(image.Pixel(cx + q, cy + q), Rgb(kSeries));
  EXPECT_EQ(image.Pixel(cx - q, cy + q), Rgb(kSeries));
  EXPECT_EQ(image.Pixel(cx - q, cy - q), Rgb(kOther));
}

TEST(ChartTest, NegativeValuesHangBelowTheZeroLine) {
  for (bool horizontal : {false, true}) {
    ChartFixture f;
    if (horizontal)
      f.Add<THorizBarSeries>({-5, 5});
    else
      f.Add<TBarSeries>({-5, 5});
    const TBitmap image = f.chart->PaintToImage();
    EXPECT_LT(f.chart->AxisLow(), 0);
    EXPECT_GT(f.chart->AxisHigh(), 0);
    const TRect p = f.chart->PlotRect();
    const double span = f.chart->AxisHigh() - f.chart->AxisLow();
    if (!horizontal) {
      const int zero = p.Bottom - static_cast<int>(std::lround(-f.chart->AxisLow() / span * p.Height()));
      const int x0 = p.Left + p.Width() / 4, x1 = p.Left + 3 * p.Width() / 4;
      EXPECT_EQ(image.Pixel(x0, zero + 5), Rgb(kSeries));
      EXPECT_NE(image.Pixel(x0, zero - 5), Rgb(kSeries));
      EXPECT_EQ(image.Pixel(x1, zero - 5), Rgb(kSeries));
      EXPECT_NE(image.Pixel(x1, zero + 5), Rgb(kSeries));
    } else {
      const int zero = p.Left + static_cast<int>(std::lround(-f.chart->AxisLow() / span * p.Width()));
      const int y0 = p.Top + p.Height() / 4, y1 = p.Top + 3 * p.Height() / 4;
      EXPECT_EQ(image.Pixel(zero - 5, y0), Rgb(kSeries));
      EXPECT_NE(image.Pixel(zero + 5, y0), Rgb(kSeries));
      EXPECT_EQ(image.Pixel(zero + 5, y1), Rgb(kSeries));
      EXPECT_NE(image.Pixel(zero - 5, y1), Rgb(kSeries));
    }
  }
}

TEST(ChartTest, EmptyChartsDrawOnlyTheirFrame) {
  ChartFixture none;
  none.chart->Title()->Add("T");
  EXPECT_EQ(CountColor(none.chart->PaintToImage(), kSeries), 0);
  EXPECT_TRUE(none.chart->PlotRect().Empty());

  for (int kind = 0; kind < 3; ++kind) {
    ChartFixture f;
    f.chart->Legend()->SetVisible(false);
    if (kind == 0) f.Add<TBarSeries>({});
    if (kind == 1) f.Add<TPieSeries>({0, 0});
    if (kind == 2) f.Add<TLineSeries>({});
    EXPECT_EQ(CountColor(f.chart->PaintToImage(), kSeries), 0) << kind;
  }
  // Too small to hold a plot.
  ChartFixture tiny(3, 3);
  tiny.Add<TBarSeries>({1, 2});
  tiny.chart->PaintToImage();
}

// Ten thousand points: every bar is drawn, and the labels that would overlap are left out.
TEST(ChartTest, CrowdedLabelsAreThinnedOut) {
  ChartFixture f(600, 300);
  auto* bars = new TBarSeries(&f.owner);
  for (int i = 0; i < 10000; ++i) bars->Add(i % 7 + 1, "L" + IntToStr(i));
  f.chart->AddSeries(bars);
  TRecordingCanvas canvas;
  canvas.Font()->SetPixelSize(12);
  f.chart->Draw(&canvas, Rect(0, 0, 600, 300));
  std::vector<TRect> labels;
  for (const auto& op : canvas.Ops)
    if (op.kind == TRecordingCanvas::opText && op.text[0] == 'L') labels.push_back(op.rect);
  ASSERT_GT(labels.size(), 5u);
  EXPECT_LT(labels.size(), 200u);
  for (size_t i = 1; i < labels.size(); ++i) EXPECT_GE(labels[i].Left, labels[i - 1].Right) << i;
}

// Values at the ends of the number range draw without overflow, and a pie still shares its circle.
TEST(ChartTest, HugeValuesStayInsideThePicture) {
  for (int kind = 0; kind < 5; ++kind) {
    ChartFixture f;
    f.chart->SetView3D(kind % 2 == 1);
    std::initializer_list<double> values = {DBL_MAX, -DBL_MAX, 1e308, 3};
    TChartSeries* s = nullptr;
    switch (kind) {
      case 0: s = f.Add<TBarSeries>(values); break;
      case 1: s = f.Add<THorizBarSeries>(values); break;
      case 2: s = f.Add<TLineSeries>(values); break;
      case 3: s = f.Add<TPieSeries>(values); break;
      case 4: s = f.Add<TAreaSeries>(values); break;
    }
    s->Marks()->SetVisible(true);
    s->Marks()->SetStyle(smsLabelPercentTotal);
    if (auto* bar = dynamic_cast<TBarSeries*>(s)) {
      f.Add<TBarSeries>(values, kOther);
      bar->SetMultiBar(mbStacked100);
    }
    f.chart->PaintToImage();
    EXPECT_GT(CountColor(f.chart->PaintToImage(), kSeries), 0) << kind;
  }
  TComponent owner(nullptr);
  TPieSeries pie(&owner);
  pie.Add(DBL_MAX, "");
  pie.Add(DBL_MAX, "");
  const std::vector<double> sweeps = pie.Sweeps();
  EXPECT_NEAR(sweeps[0], 180.0, 1e-9);
  EXPECT_NEAR(sweeps[1], 180.0, 1e-9);
}

TEST(ChartTest, StackedBarsSpanTheirSumsAndHundredPercent) {
  ChartFixture f;
  TBarSeries* a = f.Add<TBarSeries>({30, 10});
  f.Add<TBarSeries>({50, 10}, kOther);
  a->SetMultiBar(mbStacked);
  EXPECT_EQ(static_cast<TBarSeries*>(f.chart->Series(1))->MultiBar(), mbStacked);
  f.chart->PaintToImage();
  EXPECT_GE(f.chart->AxisHigh(), 80);
  EXPECT_LT(f.chart->AxisHigh(), 120);
  a->SetMultiBar(mbStacked100);
  f.chart->PaintToImage();
  EXPECT_EQ(f.chart->AxisHigh(), 100);
  EXPECT_EQ(f.chart->AxisLow(), 0);
}

TEST(ChartTest, MarkTextsFollowTheStyle) {
  TComponent owner(nullptr);
  TBarSeries s(&owner);
  s.Add(1, SJ("東京"));
  s.Add(3, SJ("大阪"));
  const std::pair<TSeriesMarksStyle, const char*> cases[] = {
      {smsLabel, "大阪"},          {smsValue, "3"},          {smsPercent, "75%"},
      {smsLabelValue, "大阪 3"},   {smsLabelPercent, "大阪 75%"}, {smsPercentTotal, "75% / 4"},
      {smsLabelPercentTotal, "大阪 75% / 4"},
  };
  for (const auto& [style, text] : cases) {
    s.Marks()->SetStyle(style);
    EXPECT_EQ(SjisToUtf8(s.MarkText(1)), text) << style;
  }
}

TEST(ChartTest, SeriesAndChartMayGoInEitherOrder) {
  TComponent owner(nullptr);
  auto chart = std::make_unique<TChart>(nullptr);
  auto* a = new TBarSeries(&owner);
  auto* b = new TLineSeries(&owner);
  chart->AddSeries(a);
  chart->AddSeries(b);
  delete a;
  ASSERT_EQ(chart->SeriesCount(), 1);
  EXPECT_EQ(chart->Series(0), b);
  chart.reset();
  EXPECT_EQ(b->ParentChart(), nullptr);
  b->SetTitle("x");  // no chart to tell
}

// Little-endian fields of a file.
uint32_t U32(const std::string& s, size_t at) {
  return static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8 |
         static_cast<unsigned char>(s[at + 2]) << 16 | static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}
uint16_t U16(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) | static_cast<unsigned char>(s[at + 1]) << 8);
}

TEST(ChartTest, SavedFilesHoldTheChartAtItsSize) {
  TempDir dir;
  ChartFixture f(321, 207);
  f.Add<TBarSeries>({1, 2, 3});
  const TBitmap shown = f.chart->PaintToImage();

  const std::string bmp = dir.File("c.bmp");
  ASSERT_TRUE(f.chart->SaveToBitmapFile(bmp));
  TBitmap back;
  ASSERT_TRUE(back.LoadFromFile(bmp));
  EXPECT_EQ(back.Width(), 321);
  EXPECT_EQ(back.Height(), 207);
  EXPECT_EQ(CountColor(back, kSeries), CountColor(shown, kSeries));

  const std::string emf = ReadFileBytes([&] {
    const std::string p = dir.File("c.emf");
    EXPECT_TRUE(f.chart->SaveToMetafileEnh(p));
    return p;
  }());
  ASSERT_GE(emf.size(), 88u);
  EXPECT_EQ(U32(emf, 0), 1u);
  EXPECT_EQ(U32(emf, 40), 0x464D4520u);
  EXPECT_EQ(U32(emf, 48), emf.size());
  EXPECT_EQ(U32(emf, 16), 320u);  // inclusive bounds
  EXPECT_EQ(U32(emf, 20), 206u);
  EXPECT_EQ(U32(emf, 88), 81u);   // the picture
  EXPECT_EQ(U32(emf, 88 + 80 + 4), 321u);
  EXPECT_EQ(U32(emf, emf.size() - 20), 14u);  // the end

  const std::string wmf = ReadFileBytes([&] {
    const std::string p = dir.File("c.wmf");
    EXPECT_TRUE(f.chart->SaveToMetafile(p));
    return p;
  }());
  ASSERT_GE(wmf.size(), 40u);
  EXPECT_EQ(U32(wmf, 0), 0x9AC6CDD7u);
  EXPECT_EQ(U16(wmf, 10), 321);
  EXPECT_EQ(U16(wmf, 12), 207);
  uint16_t check = 0;
  for (size_t i = 0; i < 20; i += 2) check ^= U16(wmf, i);
  EXPECT_EQ(U16(wmf, 20), check);
  EXPECT_EQ(U32(wmf, 22 + 6) * 2, wmf.size() - 22);  // the size in words
  EXPECT_EQ(U16(wmf, wmf.size() - 2), 0);  // the end record
  EXPECT_EQ(U32(wmf, wmf.size() - 6), 3u);

  EXPECT_FALSE(f.chart->SaveToBitmapFile(dir.File("missing/c.bmp")));
  EXPECT_FALSE(f.chart->SaveToMetafile(dir.File("missing/c.wmf")));
}

}  // namespace
