#include <gtest/gtest.h>

#include <vector>

#include "platform/Graphics.h"
#include "platform/Printers.h"
#include "tests/support/RecordingCanvas.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;

// Text laid out on a recording canvas with a 12-pixel font: single-byte characters 6 pixels wide,
// double-byte ones 12, lines 12 high.
struct Layout {
  std::vector<AnsiString> texts;
  std::vector<TPoint> at;
  int height = 0;
};

Layout Lay(const AnsiString& text, TRect r, unsigned format) {
  TRecordingCanvas c;
  c.Font()->SetPixelSize(12);
  Layout out;
  out.height = c.DrawText(text, r, format);
  for (const auto& op : c.Ops) {
    if (op.kind != TRecordingCanvas::opText) continue;
    out.texts.push_back(op.text);
    out.at.push_back({op.rect.Left, op.rect.Top});
  }
  return out;
}

std::vector<AnsiString> L(std::initializer_list<const char*> utf8) {
  std::vector<AnsiString> out;
  for (const char* s : utf8) out.push_back(Utf8ToSjis(s));
  return out;
}

}  // namespace

TEST(DrawText, BreaksLinesAtBlanksBetweenDoubleByteCharactersAndAtLineEnds) {
  struct Case {
    const char* text;
    int width;
    unsigned format;
    std::vector<const char*> lines;
  };
  const Case cases[] = {
      {"aaa bbb ccc", 50, DT_WORDBREAK, {"aaa bbb", "ccc"}},
      {"aaa   bbb", 24, DT_WORDBREAK, {"aaa", "bbb"}},  // blanks at a break are dropped
      {"あいうえお", 30, DT_WORDBREAK, {"あい", "うえ", "お"}},
      {"ソソソ", 24, DT_WORDBREAK, {"ソソ", "ソ"}},  // a trail byte 0x5C is no break
      {"abcdeあ", 36, DT_WORDBREAK, {"abcde", "あ"}},
      {"abcあいう", 30, DT_WORDBREAK, {"abcあ", "いう"}},
      {"abcdefghij", 30, DT_WORDBREAK, {"abcdefghij"}},  // a long word runs past the edge
      {"abcdefghij", 30, DT_WORDBREAK | DT_EDITCONTROL, {"abcde", "fghij"}},
      {"a\r\nb\rc\nd", 100, 0, {"a", "b", "c", "d"}},
      {"a\r\nb", 100, DT_SINGLELINE, {"a  b"}},
      {"one two", 1000, DT_WORDBREAK, {"one two"}},
  };
  for (const Case& c : cases) {
    const Layout got = Lay(Utf8ToSjis(c.text), Rect(0, 0, c.width, 100), c.format);
    std::vector<AnsiString> want;
    for (const char* s : c.lines) want.push_back(Utf8ToSjis(s));
    EXPECT_EQ(got.texts, want) << c.text;
    for (size_t i = 0; i < got.at.size(); ++i) EXPECT_EQ(got.at[i].y, static_cast<int>(i) * 12) << c.text;
  }
}

TEST(DrawText, AlignsMeasuresAndClips) {
  EXPECT_EQ(Lay("ab", Rect(0, 0, 60, 20), DT_RIGHT).at[0].x, 48);
  EXPECT_EQ(Lay("ab", Rect(0, 0, 60, 20), DT_CENTER).at[0].x, 24);
  EXPECT_EQ(Lay("ab", Rect(0, 0, 60, 30), DT_SINGLELINE | DT_VCENTER).at[0].y, 9);

  // A partly visible last line is left out only with DT_EDITCONTROL; the first line always shows.
  EXPECT_EQ(Lay("a\nb\nc", Rect(0, 0, 60, 20), 0).texts, L({"a", "b"}));
  EXPECT_EQ(Lay("a\nb\nc", Rect(0, 0, 60, 20), DT_EDITCONTROL).texts, L({"a"}));
  EXPECT_EQ(Lay("a\nb", Rect(0, 0, 60, 5), DT_EDITCONTROL).texts, L({"a"}));

  TRecordingCanvas c;
  c.Font()->SetPixelSize(12);
  TRect r = Rect(10, 20, 200, 100);
  EXPECT_EQ(c.DrawText(SJ("ab\r\n漢字です"), r, DT_CALCRECT), 24);
  EXPECT_EQ(r, Rect(10, 20, 10 + 48, 44));
  EXPECT_TRUE(c.Ops.empty());

  TRect cell = Rect(5, 5, 40, 30);
  c.DrawText("x", cell, 0);
  ASSERT_EQ(c.Ops.size(), 1u);
  EXPECT_TRUE(c.Ops[0].clipped);
  EXPECT_EQ(c.Ops[0].clip, cell);
  c.Clear();
  c.DrawText("x", cell, DT_NOCLIP);
  EXPECT_FALSE(c.Ops[0].clipped);
}

TEST(DrawText, PrefixMarksUnlessNoPrefix) {
  EXPECT_EQ(Lay("a&&b", Rect(0, 0, 100, 20), 0).texts, L({"a&b"}));
  EXPECT_EQ(Lay("a&&b", Rect(0, 0, 100, 20), DT_NOPREFIX).texts, L({"a&&b"}));
  EXPECT_EQ(Lay("R&D", Rect(0, 0, 100, 20), DT_NOPREFIX).texts, L({"R&D"}));

  TRecordingCanvas c;
  c.Font()->SetPixelSize(12);
  TRect r = Rect(0, 0, 100, 20);
  c.DrawText("&File", r, 0);
  ASSERT_EQ(c.Texts(), L({"File"}));
  const auto& underline = c.Ops.back();
  EXPECT_EQ(underline.kind, TRecordingCanvas::opFill);
  EXPECT_EQ(underline.rect, Rect(0, 11, 6, 12));  // under the "F"
}

namespace {

// A white picture drawn on by f.
TBitmap Draw(int w, int h, const std::function<void(TCanvas*)>& f) {
  TBitmap b(w, h);
  f(b.Canvas());
  return b;
}

}  // namespace

TEST(CanvasPixels, ShapesCoverTheirRectangleWithoutRightAndBottomEdges) {
  TBitmap b = Draw(10, 10, [](TCanvas* c) {
    c->Brush()->SetColor(clBlue);
    c->FillRect(Rect(2, 2, 5, 4));
  });
  EXPECT_EQ(b.Pixel(2, 2), 0x0000FFu);
  EXPECT_EQ(b.Pixel(4, 3), 0x0000FFu);
  EXPECT_EQ(b.Pixel(5, 2), kWhite);
  EXPECT_EQ(b.Pixel(2, 4), kWhite);

  b = Draw(10, 10, [](TCanvas* c) {
    c->Brush()->SetStyle(bsClear);
    c->Rectangle(1, 1, 6, 6);
    c->MoveTo(0, 8);
    c->LineTo(5, 8);  // the last point is left out
  });
  EXPECT_EQ(b.Pixel(1, 1), kBlack);
  EXPECT_EQ(b.Pixel(5, 5), kBlack);
  EXPECT_EQ(b.Pixel(6, 1), kWhite);
  EXPECT_EQ(b.Pixel(3, 3), kWhite);
  EXPECT_EQ(b.Pixel(4, 8), kBlack);
  EXPECT_EQ(b.Pixel(5, 8), kWhite);

  b = Draw(10, 10, [](TCanvas* c) {
    c->SetClipRect(Rect(0, 0, 4, 4));
    c->Brush()->SetColor(clRed);
    c->FillRect(Rect(0, 0, 10, 10));
    c->ResetClip();
  });
  EXPECT_EQ(b.Pixel(3, 3), 0xFF0000u);
  EXPECT_EQ(b.Pixel(4, 4), kWhite);
}

TEST(CanvasPixels, XorAndNotXorDrawingTwiceLeavesNothing) {
  for (TPenMode mode : {pmXor, pmNotXor, pmNot}) {
    TBitmap b(20, 20);
    TCanvas* c = b.Canvas();
    c->Pen()->SetMode(mode);
    c->Pen()->SetColor(mode == pmXor ? clWhite : clBlack);
    auto band = [&] {
      c->MoveTo(2, 10);
      c->LineTo(18, 10);
      c->Brush()->SetStyle(bsClear);
      c->Rectangle(3, 3, 8, 8);
    };
    band();
    EXPECT_EQ(b.Pixel(10, 10), kBlack) << mode;
    EXPECT_EQ(b.Pixel(3, 3), kBlack) << mode;
    band();
    EXPECT_EQ(b.Pixel(10, 10), kWhite) << mode;
    EXPECT_EQ(b.Pixel(3, 3), kWhite) << mode;
  }
  TBitmap f(20, 20);
  f.Canvas()->DrawFocusRect(Rect(2, 2, 12, 12));
  EXPECT_EQ(f.Pixel(2, 2), kBlack);
  EXPECT_EQ(f.Pixel(3, 2), kWhite);  // dotted
  f.Canvas()->DrawFocusRect(Rect(2, 2, 12, 12));
  EXPECT_EQ(f.Pixel(2, 2), kWhite);
}

TEST(CanvasPixels, EdgesAndJapaneseText) {
  TRect r = Rect(0, 0, 10, 10);
  TBitmap b(10, 10);
  b.Canvas()->DrawEdge(r, EDGE_RAISED, BF_RECT | BF_ADJUST);
  EXPECT_EQ(r, Rect(2, 2, 8, 8));
  EXPECT_EQ(b.Pixel(0, 5), ColorToRGB(cl3DLight));
  EXPECT_EQ(b.Pixel(9, 5), ColorToRGB(cl3DDkShadow));
  EXPECT_EQ(b.Pixel(1, 5), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(b.Pixel(8, 5), ColorToRGB(clBtnShadow));

  TBitmap t(80, 30);
  TCanvas* c = t.Canvas();
  c->Font()->SetName(SJ("ＭＳ Ｐゴシック"));
  c->Font()->SetPixelSize(16);
  const TSize size = c->TextExtent(SJ("漢字"));
  EXPECT_GT(size.cx, 20);
  EXPECT_GE(size.cy, 16);
  c->TextOut(5, 5, SJ("漢字"));
  int inked = 0, outside = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 80; ++x) {
      if (t.Pixel(x, y) == kWhite) continue;
      (x >= 5 && x < 5 + size.cx && y >= 5 && y < 5 + size.cy ? inked : outside)++;
    }
  EXPECT_GT(inked, 40);
  EXPECT_EQ(outside, 0);
}

TEST(CanvasPixels, CopiesOfAPictureHoldWhatWasDrawn) {
  TBitmap a(4, 4);
  a.Canvas()->Brush()->SetColor(clLime);
  a.Canvas()->FillRect(Rect(0, 0, 2, 2));
  TBitmap copy = a;
  a.Canvas()->FillRect(Rect(2, 2, 4, 4));
  EXPECT_EQ(copy.Pixel(0, 0), 0x00FF00u);
  EXPECT_EQ(copy.Pixel(3, 3), kWhite);
  EXPECT_EQ(a.Pixel(3, 3), 0x00FF00u);
  TBitmap target(4, 4);
  target.Canvas()->Draw(0, 0, a);
  EXPECT_EQ(target.Pixel(3, 3), 0x00FF00u);
}

// A page's canvas tells its dots per inch while a job runs, so drawing in millimetres fits it.
TEST(CanvasResolution, ScreenByDefaultAndThePrintersDuringAJob) {
  TBitmap b(4, 4);
  EXPECT_EQ(b.Canvas()->PixelsPerInchX(), 96);
  EXPECT_EQ(b.Canvas()->PixelsPerInchY(), 96);
  TRecordingCanvas rec;
  TPrinter printer(&rec);
  ASSERT_TRUE(printer.BeginDoc());
  EXPECT_EQ(rec.PixelsPerInchX(), printer.XResolution());
  EXPECT_EQ(rec.PixelsPerInchY(), printer.YResolution());
  EXPECT_NE(rec.PixelsPerInchX(), 96);
  printer.EndDoc();
  rec.SetPixelsPerInch(0, -5);
  EXPECT_EQ(rec.PixelsPerInchX(), 96) << "no resolution is the screen's";
}
