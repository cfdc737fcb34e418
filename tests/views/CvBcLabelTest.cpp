#include <gtest/gtest.h>

#include "platform/Forms.h"
#include "platform/Printers.h"
#include "tests/support/RecordingCanvas.h"
#include "tests/support/TestSupport.h"
#include "views/CvBcLabel.h"

namespace {

// One pixel row of a picture as '#' (dark) and '.' (light).
std::string Row(const TBitmap& b, int y, int from, int to) {
  std::string s;
  for (int x = from; x < to; ++x) s += (b.Pixel(x, y) & 0xFF) < 0x80 ? '#' : '.';
  return s;
}

// The bars of the start (and stop) character "A" and of "1", each with the narrow gap before it,
// at one dot narrow and three wide.
const std::string kQuiet(11, '.');
const std::string kA = ".#.###...#...#";
const std::string k1 = ".#.#.###...#";

TEST(Barcode, WidthsAndResultsAtScreenResolution) {
  struct Case {
    const char* text;
    int width;  // up to where the drawing stops
    int result;
  } cases[] = {
      {"123", 86, 0},         // 11 + 14 + 3 x 12 + 14 + 11
      {"", 50, 0},            // start and stop only
      {"0-$", 86, 0},         // two wide elements: 12 each
      {".+:/", 106, 0},       // three wide elements: 14 each
      {"ABCD", 106, 0},       //
      {"1a2", 37, -1},        // lower case ends the barcode, without a stop character
      {"1 2", 37, -1},        // so does a blank
      {"12\r\n", 49, -1},     // and a line break
  };
  TBitmap b(200, 40);
  for (const Case& c : cases) {
    TCvBarcode bc(b.Canvas());
    bc.ShowText = false;
    int w = -1, h = -1;
    bc.Measure(c.text, w, h);
    EXPECT_EQ(w, c.width) << c.text;
    EXPECT_EQ(h, 18) << c.text;
    EXPECT_EQ(bc.Draw(0, 0, c.text), c.result) << c.text;
  }
  TCvBarcode bc(b.Canvas());
  int w = 0, h = 0;
  const AnsiString dbcs = "1" + SJ("ア") + "2";
  bc.Measure(dbcs, w, h);
  EXPECT_EQ(w, 37);
  EXPECT_EQ(bc.Draw(0, 0, dbcs), -1);
  bc.Measure(AnsiString("1\0" "2", 3), w, h);
  EXPECT_EQ(w, 37) << "a NUL byte is no NW-7 character";
}

TEST(Barcode, DrawsTheBarsOfEachCharacter) {
  TBitmap b(80, 30);
  TCvBarcode bc(b.Canvas());
  bc.ShowText = false;
  ASSERT_EQ(bc.Draw(0, 2, "1"), 0);
  const std::string expected = kQuiet + kA + k1 + kA + kQuiet;
  EXPECT_EQ(Row(b, 2, 0, 62), expected);
  EXPECT_EQ(Row(b, 19, 0, 62), expected) << "bars are 18 dots high";
  EXPECT_EQ(Row(b, 1, 0, 62), std::string(62, '.'));
  EXPECT_EQ(Row(b, 20, 0, 62), std::string(62, '.'));
}

TEST(Barcode, SizesFollowTheDeviceResolution) {
  struct Case {
    int dpi, bar, narrow;
  } cases[] = {{96, 18, 1}, {300, 59, 2}, {600, 118, 5}, {50, 9, 1}};
  for (const Case& c : cases) {
    TBitmap b(10, 10);
    b.Canvas()->SetPixelsPerInch(c.dpi, c.dpi);
    TCvBarcode bc(b.Canvas());
    EXPECT_EQ(bc.BarHeight(), c.bar) << c.dpi;
    EXPECT_EQ(bc.Narrow(), c.narrow) << c.dpi;
    EXPECT_EQ(bc.Wide(), 3 * c.narrow) << c.dpi;
  }
}

TEST(Barcode, OnAPrintedPageItKeepsItsMillimetres) {
  TRecordingCanvas page;
  TPrinter printer(&page);
  ASSERT_TRUE(printer.BeginDoc());
  ASSERT_EQ(printer.XResolution(), 600);
  TCvBarcode bc(printer.Canvas());
  bc.ShowText = false;
  ASSERT_EQ(bc.Draw(100, 200, "1"), 0);
  printer.EndDoc();
  // The first bar of the start character: after 11 narrow widths of quiet zone and one of gap.
  const TRecordingCanvas::Op* bar = nullptr;
  for (const auto& op : page.Ops)
    if (op.kind == TRecordingCanvas::opFill && op.color == clBlack) {
      bar = &op;
      break;
    }
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->rect, Rect(100 + 12 * 5, 200, 100 + 13 * 5, 200 + 118));
}

TEST(Barcode, WritesEachCharacterUnderItsBarsWithStartAndStop) {
  TRecordingCanvas rec;
  TCvBarcode bc(&rec);
  ASSERT_EQ(bc.Draw(5, 3, "123"), 0);
  std::vector<int> xs;
  for (const auto& op : rec.Ops)
    if (op.kind == TRecordingCanvas::opText) {
      xs.push_back(op.rect.Left);
      EXPECT_EQ(op.rect.Top, 3 + 18);
      EXPECT_EQ(op.color, clBlack);
    }
  EXPECT_EQ(rec.Texts(), (std::vector<AnsiString>{"A", "1", "2", "3", "A"}));
  EXPECT_EQ(xs, (std::vector<int>{16, 30, 42, 54, 66}));

  rec.Clear();
  EXPECT_EQ(bc.Draw(0, 0, "1" + SJ("ア") + "2"), -1);
  EXPECT_EQ(rec.Texts(), (std::vector<AnsiString>{"A", "1", SJ("ア")})) << "the glyph that stops it is shown";
}

TEST(Barcode, DrawnIntoARectangleTheElementsStretch) {
  TForm form(Application);
  TCvBcLabel label(&form);
  label.SetCaption("1");
  ASSERT_EQ(label.Width(), 62);
  TBitmap b(200, 120);
  label.PaintTo(b.Canvas(), Rect(10, 10, 10 + 124, 10 + 2 * label.Height()));
  std::string doubled;
  for (char ch : kQuiet + kA + k1 + kA + kQuiet) doubled += std::string(2, ch);
  EXPECT_EQ(Row(b, 12, 10, 134), doubled);
  EXPECT_EQ(Row(b, 10 + 35, 10, 134), doubled) << "bars twice as high: 36 dots";

  TBitmap narrow(200, 60);
  label.PaintTo(narrow.Canvas(), Rect(0, 0, 31, 20));
  EXPECT_EQ(Row(narrow, 0, 0, 62), kQuiet + kA + k1 + kA + kQuiet) << "every element stays at least one dot";
}

TEST(BarcodeLabel, TakesTheSizeOfItsBarcodeAndShowsIt) {
  TForm form(Application);
  form.SetBounds(0, 0, 300, 200);
  auto* label = new TCvBcLabel(&form);
  label->SetParent(&form);
  EXPECT_EQ(label->Color(), clWhite);
  EXPECT_EQ(label->Font()->Size(), 8);
  TBitmap probe(1, 1);
  probe.Canvas()->Font()->Assign(*label->Font());
  const int textHeight = probe.Canvas()->TextHeight("0");

  label->SetCaption("123");
  EXPECT_EQ(label->Width(), 86);
  EXPECT_EQ(label->Height(), 18 + textHeight);
  label->SetCaption("12x3");
  EXPECT_EQ(label->Width(), 49) << "the width measured up to the character that stops it";
  label->SetCaption("");
  EXPECT_EQ(label->Width(), 50);

  label->SetCaption("1");
  const TBitmap shot = label->GrabImage();
  ASSERT_EQ(shot.Width(), 62);
  EXPECT_EQ(Row(shot, 0, 0, 62), kQuiet + kA + k1 + kA + kQuiet);
  EXPECT_EQ(shot.Pixel(0, 0), 0xFFFFFFu);
  int dark = 0;  // the characters under the bars
  for (int y = 18; y < shot.Height(); ++y)
    for (int x = 0; x < shot.Width(); ++x) dark += (shot.Pixel(x, y) & 0xFF) < 0x80;
  EXPECT_GT(dark, 10);
}

}  // namespace
