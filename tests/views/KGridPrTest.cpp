#include <gtest/gtest.h>

#include <climits>
#include <ctime>
#include <set>
#include <sstream>

#include "platform/Forms.h"
#include "tests/support/PdfText.h"
#include "tests/support/RecordingCanvas.h"
#include "tests/support/TestSupport.h"
#include "views/KGridPr.h"

namespace {

using Op = TRecordingCanvas::Op;

AnsiString Footer(int n) { return SJ("－ ") + IntToStr(n) + SJ(" －"); }
AnsiString DateLine() { return SJ("印刷日：") + DateTimeToStr(std::time(nullptr)).substr(0, 10); }

// A grid printed on a recording: each sheet's drawing is kept apart. At Scale 16 a grid pixel is
// one printer dot (600 dpi / 96 dpi x 16 %), so sizes below read in dots.
struct GridPrint : ::testing::Test {
  TForm form{Application};
  TStringGridEx* grid = nullptr;
  TRecordingCanvas canvas;
  TPrinter printer{&canvas};
  TKelmGridPr pr{&form};
  std::vector<std::vector<Op>> sheets;

  GridPrint() {
    grid = new TStringGridEx(&form);
    grid->SetParent(&form);
    pr.SetPrinter(&printer);
    pr.SetTargetGrid(grid);
    pr.Scale = 16;
    pr.OnEndPage = [this](TObject*) {
      sheets.push_back(canvas.Ops);
      canvas.Clear();
    };
  }
  // Row 0 and column 0 fixed, each cell "r<row>c<col>".
  void Shape(const std::vector<int>& heights, const std::vector<int>& widths) {
    grid->SetRowCount(static_cast<int>(heights.size()));
    grid->SetColCount(static_cast<int>(widths.size()));
    for (size_t r = 0; r < heights.size(); ++r) grid->SetRowHeights(static_cast<int>(r), heights[r]);
    for (size_t c = 0; c < widths.size(); ++c) grid->SetColWidths(static_cast<int>(c), widths[c]);
    for (size_t r = 0; r < heights.size(); ++r)
      for (size_t c = 0; c < widths.size(); ++c) grid->SetCells(int(c), int(r), Format("r%zuc%zu", r, c));
  }
  // The room inside the margins, in dots.
  int RoomY() {
    pr.UpdatePrinter();
    return printer.PageHeight() - pr.MarginPixels().Top - pr.MarginPixels().Bottom;
  }
  int RoomX() {
    pr.UpdatePrinter();
    return printer.PageWidth() - pr.MarginPixels().Left - pr.MarginPixels().Right;
  }
  std::vector<int> PageStarts() {
    pr.UpdatePrinter();
    std::vector<int> out;
    for (int i = 1; i <= pr.PageCountY(); ++i) out.push_back(pr.GetTatepageStartAt(i));
    return out;
  }
  std::vector<int> StripStarts() {
    pr.UpdatePrinter();
    std::vector<int> out;
    for (int i = 1; i <= pr.PageCountX(); ++i) out.push_back(pr.GetYokopageStartAt(i));
    return out;
  }
  void PrintAll() {
    ASSERT_TRUE(printer.BeginDoc());
    pr.GoPrint();
    sheetsBegun = printer.PageNumber();
    printer.EndDoc();
  }
  int sheetsBegun = 0;
  static std::set<AnsiString> Texts(const std::vector<Op>& ops) {
    std::set<AnsiString> out;
    for (const Op& op : ops)
      if (op.kind == TRecordingCanvas::opText) out.insert(op.text);
    return out;
  }
  static const Op* Find(const std::vector<Op>& ops, const AnsiString& text) {
    for (const Op& op : ops)
      if (op.kind == TRecordingCanvas::opText && op.text == text) return &op;
    return nullptr;
  }
  // A three by three layout: columns 1-2, 3-4, 5-6 make the strips, rows 1-2, 3-4, 5-6 the pages.
  void NineSheets() {
    Shape({45, 3000, 3000, 3000, 3000, 3000, 3000}, {100, 2000, 2000, 2000, 2000, 2000, 2000});
    ASSERT_EQ(StripStarts(), (std::vector<int>{1, 3, 5}));
    ASSERT_EQ(PageStarts(), (std::vector<int>{1, 3, 5}));
  }
};

TEST_F(GridPrint, RowsFillPagesUpToTheRoomAndATallRowStandsAlone) {
  const int room = RoomY();
  struct Case {
    const char* what;
    std::vector<int> heights;  // row 0 is fixed
    std::vector<int> starts;
  } cases[] = {
      {"all fit", {45, 100, 100, 100}, {1}},
      {"an exact fit closes the page", {45, 1000, 1000, 1000, room - 3045, 10, 10}, {1, 5}},
      {"one dot more moves the row on", {45, 1000, 1000, 1000, room - 3044, 10}, {1, 4}},
      {"a row that overflows a shared page starts the next", {45, 3000, 3000, 3000}, {1, 3}},
      {"a row taller than the page stands alone", {45, 100, 9000, 100}, {1, 2, 3}},
      {"a tall first row stays on its page", {45, 9000, 100}, {1, 2}},
  };
  for (const Case& c : cases) {
    Shape(c.heights, {100, 100});
    EXPECT_EQ(PageStarts(), c.starts) << c.what;
    EXPECT_EQ(pr.PageCount(), static_cast<int>(c.starts.size())) << c.what;
  }
}

TEST_F(GridPrint, ColumnsMakeStripsBesideTheRepeatedFixedColumns) {
  const int room = RoomX();
  Shape({45, 10}, {100, 2000, room - 2100, 50, 50});
  EXPECT_EQ(StripStarts(), (std::vector<int>{1, 3}));
  EXPECT_EQ(PageStarts(), (std::vector<int>{1}));
  EXPECT_EQ(pr.GetPageCount(), 2);
  // Without the fixed area repeated, pagination starts at the first row and column.
  pr.SetDrawFixedArea(false);
  EXPECT_EQ(StripStarts(), (std::vector<int>{0, 3}));
  EXPECT_EQ(pr.GetTatepageStartAt(1), 0);
}

TEST_F(GridPrint, SheetsGoStripByStripThroughTheChosenPages) {
  NineSheets();
  pr.SetToPage(2);
  PrintAll();
  ASSERT_EQ(sheets.size(), 6u);
  EXPECT_EQ(sheetsBegun, 6);
  const int numbers[] = {1, 2, 1, 2, 1, 2};
  const char* first[] = {"r1c1", "r3c1", "r1c3", "r3c3", "r1c5", "r3c5"};
  for (int i = 0; i < 6; ++i) {
    const auto texts = Texts(sheets[i]);
    EXPECT_TRUE(texts.count(Footer(numbers[i]))) << "sheet " << i;
    EXPECT_TRUE(texts.count(first[i])) << "sheet " << i;
  }
  // Sheet 4 (strip 2, page 2): the heading row and the fixed column repeat, nothing else leaks in.
  const std::set<AnsiString> expected = {"r0c0", "r0c3", "r0c4", "r3c0",    "r3c3",    "r3c4",
                                         "r4c0", "r4c3", "r4c4", Footer(2), DateLine()};
  EXPECT_EQ(Texts(sheets[3]), expected);
}

TEST_F(GridPrint, PageRangeIsClampedAndNeverAsksForBlankSheets) {
  NineSheets();
  struct Case {
    int from, to;
    size_t sheets;
  } cases[] = {{0, 0, 9}, {2, 99, 6}, {3, -5, 3}, {4, 9, 0}};
  for (const Case& c : cases) {
    sheets.clear();
    pr.SetFromPage(c.from);
    pr.SetToPage(c.to);
    EXPECT_EQ(pr.FromPage(), std::max(1, c.from));
    EXPECT_EQ(pr.ToPage(), c.to < 1 ? -1 : c.to);
    PrintAll();
    EXPECT_EQ(sheets.size(), c.sheets) << c.from << ".." << c.to;
    EXPECT_EQ(sheetsBegun, c.sheets ? static_cast<int>(c.sheets) : 1) << "no new page without a sheet";
  }
}

TEST_F(GridPrint, WithoutTheFixedAreaHeadingsAreNotRepeated) {
  NineSheets();
  pr.SetDrawFixedArea(false);
  PrintAll();
  ASSERT_EQ(pr.PageCountX(), 3);
  ASSERT_EQ(pr.PageCountY(), 3);
  ASSERT_EQ(sheets.size(), 9u);
  // The heading row belongs to the first page of each strip, the fixed column to the first strip.
  for (int i = 0; i < 9; ++i) {
    const int strip = i / 3 + 1, page = i % 3 + 1;
    bool heading = false, fixedColumn = false;
    for (const AnsiString& t : Texts(sheets[i])) {
      heading |= t.rfind("r0c", 0) == 0;
      fixedColumn |= t.size() > 2 && t.compare(t.size() - 2, 2, "c0") == 0;
    }
    EXPECT_EQ(heading, page == 1) << "sheet " << i;
    EXPECT_EQ(fixedColumn, strip == 1) << "sheet " << i;
  }
}

TEST_F(GridPrint, FooterCarriesThePageNumberAndDateInsideItsBand) {
  NineSheets();
  pr.StartPageNum = 5;
  pr.SetToPage(1);
  PrintAll();
  ASSERT_EQ(sheets.size(), 3u);
  const Op* number = Find(sheets[0], Footer(5));
  const Op* date = Find(sheets[0], DateLine());
  ASSERT_TRUE(number && date);
  const int w = printer.PageWidth(), h = printer.PageHeight();
  const int side = static_cast<int>(600 * 10 / 25.4), band = static_cast<int>(600 * 8 / 25.4);
  EXPECT_NEAR((number->rect.Left + number->rect.Right) / 2, w / 2, 1);
  EXPECT_EQ(number->rect.Top, h - band);
  EXPECT_EQ(date->rect.Right, w - side);
  EXPECT_EQ(date->rect.Top, h - band);
  EXPECT_EQ(number->fontSize, grid->Font()->PixelSize()) << "the footer is not scaled";

  sheets.clear();
  pr.ShowPageNum = false;
  pr.ShowPrintDate = false;
  PrintAll();
  EXPECT_FALSE(Find(sheets[0], Footer(5)) || Find(sheets[0], DateLine()));
}

TEST_F(GridPrint, CellTextsComeFromTheHandlerAndPrintAmpersandsAsTheyStand) {
  Shape({45, 100, 100, 100}, {100, 500, 500});
  grid->SetCells(1, 1, "A&B");
  grid->SetCells(2, 1, "&&x");
  PrintAll();
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_TRUE(Texts(sheets[0]).count("A&B"));
  EXPECT_TRUE(Texts(sheets[0]).count("&&x"));

  // The handler gives every text; the first body row of each page is flagged.
  std::vector<std::pair<int, bool>> asked;
  pr.SetOnGetCellString([&](AnsiString& text, bool& line, int col, int row, bool firstLine) {
    EXPECT_TRUE(line);
    if (col == 1) asked.emplace_back(row, firstLine);
    text = Format("h%d.%d", row, col);
  });
  sheets.clear();
  PrintAll();
  EXPECT_EQ(asked, (std::vector<std::pair<int, bool>>{{0, false}, {1, true}, {2, false}, {3, false}}));
  EXPECT_TRUE(Texts(sheets[0]).count("h2.2"));
  EXPECT_FALSE(Texts(sheets[0]).count("r2c2"));
}

TEST_F(GridPrint, OpenLinesLeaveOutTheTopEdgeTheHandlerClears) {
  Shape({45, 100, 100, 100}, {100, 500, 500});
  pr.SetOnGetCellString([&](AnsiString& text, bool& line, int col, int row, bool) {
    text = grid->Cells(col, row);
    if (row == 2) line = false;
  });
  PrintAll();
  const int top = pr.MarginPixels().Top, left = pr.MarginPixels().Left;
  auto horizontalAt = [&](int y) {
    int n = 0;
    for (const Op& op : sheets[0])
      if (op.kind == TRecordingCanvas::opLine && op.points[0].y == y && op.points[1].y == y) ++n;
    return n;
  };
  EXPECT_EQ(horizontalAt(top + 45), 2) << "row 1: a top edge per data cell";
  EXPECT_EQ(horizontalAt(top + 145), 0) << "row 2: none";
  // Fixed cells are framed whole, and an outer frame closes the table.
  int frames = 0;
  for (const Op& op : sheets[0])
    if (op.kind == TRecordingCanvas::opRectangle && op.rect == Rect(left, top, left + 1101, top + 346)) ++frames;
  EXPECT_EQ(frames, 1);

  // Closed lines: every cell is a rectangle; no open edges.
  pr.KelmLine = false;
  sheets.clear();
  PrintAll();
  int lines = 0, rects = 0;
  for (const Op& op : sheets[0]) {
    lines += op.kind == TRecordingCanvas::opLine;
    rects += op.kind == TRecordingCanvas::opRectangle;
  }
  EXPECT_EQ(lines, 0);
  EXPECT_EQ(rects, 4 * 3);
}

TEST_F(GridPrint, CellsTakeTheColumnsLookAndTheStripesWhateverTheStyle) {
  Shape({45, 100, 100}, {100, 500});
  grid->SetColor(clWhite);
  grid->SetStripeColor(0xE0FFFF);
  grid->SetFixedColor(clSilver);
  grid->GridColumns()->Items(1)->Font()->SetColor(clRed);
  grid->GridColumns()->Items(1)->Font()->SetPixelSize(20);
  grid->GridColumns()->Items(1)->SetAlignment(taRightJustify);
  pr.Scale = 50;
  pr.UpdatePrinter();
  PrintAll();
  auto fillOf = [&](const AnsiString& text) -> TColor {
    TColor last = -1;
    for (const Op& op : sheets[0]) {
      if (op.kind == TRecordingCanvas::opFill) last = op.color;
      if (op.kind == TRecordingCanvas::opText && op.text == text) return last;
    }
    return -1;
  };
  EXPECT_EQ(fillOf("r0c1"), clSilver);
  EXPECT_EQ(fillOf("r1c1"), clWhite);
  EXPECT_EQ(fillOf("r2c1"), 0xE0FFFF);
  const Op* cell = Find(sheets[0], "r1c1");
  ASSERT_TRUE(cell);
  EXPECT_EQ(cell->color, clRed);
  EXPECT_EQ(cell->fontSize, 10) << "20 pixels at 50 %";
  // Right-aligned inside the text inset: 5 grid pixels at 3.125 dots each.
  const int cellRight = static_cast<int>(pr.MarginPixels().Left + (100 + 500) * pr.FactorX());
  EXPECT_EQ(cell->rect.Right, cellRight - 16);
}

TEST_F(GridPrint, PreviewWalksPagesAcrossStripsAndStopsAtTheEnds) {
  NineSheets();
  TBitmap page;
  pr.OnEndPage = nullptr;
  pr.BeginPreview(&page);
  EXPECT_EQ(page.Width(), static_cast<int>(printer.PageWidth() * 96 / 600.0));
  EXPECT_EQ(page.Height(), static_cast<int>(printer.PageHeight() * 96 / 600.0));
  std::vector<std::pair<int, int>> seen{{pr.CurrentStrip(), pr.CurrentPage()}};
  std::vector<bool> more;
  for (int i = 0; i < 9; ++i) {
    more.push_back(pr.PreviewNextPage());
    seen.emplace_back(pr.CurrentStrip(), pr.CurrentPage());
  }
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{
                      {1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}, {2, 3}, {3, 1}, {3, 2}, {3, 3}, {3, 3}}));
  EXPECT_EQ(more, (std::vector<bool>{true, true, true, true, true, true, true, false, false}));
  EXPECT_TRUE(pr.PreviewPriorPage());
  EXPECT_EQ(std::make_pair(pr.CurrentStrip(), pr.CurrentPage()), std::make_pair(3, 2));
  for (int i = 0; i < 6; ++i) pr.PreviewPriorPage();
  EXPECT_EQ(std::make_pair(pr.CurrentStrip(), pr.CurrentPage()), std::make_pair(1, 2));
  EXPECT_FALSE(pr.PreviewPriorPage());
  EXPECT_FALSE(pr.PreviewPriorPage());
  EXPECT_EQ(std::make_pair(pr.CurrentStrip(), pr.CurrentPage()), std::make_pair(1, 1));
}

// Margins and scales come from settings texts kept in the folder file: any integer must print
// (off the paper if need be) without overflowing.
TEST_F(GridPrint, OutlandishMarginsAndScalesStillPrint) {
  Shape({45, 100, 100}, {100, 500});
  struct Case {
    int left, top, scale;
  } cases[] = {{INT_MAX, INT_MIN, INT_MAX}, {INT_MIN, INT_MAX, -100}, {0, 0, 0}};
  for (const Case& c : cases) {
    sheets.clear();
    pr.LeftMargin = pr.RightMargin = c.left;
    pr.TopMargin = pr.BottomMargin = c.top;
    pr.Scale = c.scale;
    PrintAll();
    EXPECT_EQ(static_cast<int>(sheets.size()), pr.GetPageCount());
    TBitmap page;
    pr.BeginPreview(&page);
    EXPECT_EQ(page.Width(), static_cast<int>(printer.PageWidth() * 0.16));
  }
}

TEST_F(GridPrint, NothingHappensWithoutATargetGrid) {
  pr.SetTargetGrid(nullptr);
  TBitmap page(10, 10);
  pr.BeginPreview(&page);
  EXPECT_EQ(page.Width(), 10);
  PrintAll();
  EXPECT_TRUE(sheets.empty());
  EXPECT_FALSE(pr.PreviewNextPage());
}

// A page of the list as a user prints it: to a PDF file, whose text a reader gets back with its
// Japanese, its ampersands and its footer, in an embedded font with a Unicode map.
TEST(GridPrintPdf, APageReadsBackFromThePdf) {
  ASSERT_TRUE(JapaneseFontInstalled());
  TempDir dir;
  TForm form(Application);
  auto* grid = new TStringGridEx(&form);
  grid->SetParent(&form);
  grid->Font()->SetName(SJ("ＭＳ Ｐゴシック"));
  grid->SetColCount(3);
  grid->SetRowCount(80);
  grid->SetColWidths(1, 160);
  grid->SetColWidths(2, 200);
  grid->SetCells(1, 0, SJ("氏名"));
  grid->SetCells(2, 0, SJ("備考"));
  for (int r = 1; r < 80; ++r) {
    grid->SetCells(0, r, IntToStr(r));
    grid->SetCells(1, r, SJ("山田 太郎") + IntToStr(r));
    grid->SetCells(2, r, SJ("予定変更 & 連絡待ち"));
  }
  TPrinter printer;
  printer.SetFileName(dir.File("list.pdf"));
  TKelmGridPr pr(&form);
  pr.SetPrinter(&printer);
  pr.SetTargetGrid(grid);
  pr.SetToPage(1);
  ASSERT_TRUE(printer.BeginDoc()) << Show(printer.LastError());
  pr.GoPrint();
  ASSERT_TRUE(printer.EndDoc()) << Show(printer.LastError());
  ASSERT_GE(pr.PageCountY(), 2);

  EXPECT_EQ(PdfPageCount(dir.File("list.pdf")), 1);
  // The reader drops blanks between glyphs that stand apart: compare without them.
  auto squeeze = [](std::string s) {
    std::erase(s, ' ');
    return s;
  };
  const std::string text = squeeze(PdfText(dir.File("list.pdf")));
  for (const char* expected : {"氏名", "山田太郎1\n", "山田太郎40", "予定変更&連絡待ち", "－1－", "印刷日："})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;
  EXPECT_EQ(text.find("山田太郎79"), std::string::npos) << "page 2 was not asked for";
  const std::string fonts = PdfFonts(dir.File("list.pdf"));
  // name, type..., emb, sub, uni, object, generation
  const size_t at = fonts.find("IPAPGothic");
  ASSERT_NE(at, std::string::npos) << fonts;
  std::vector<std::string> fields;
  std::string line = fonts.substr(at, fonts.find('\n', at) - at), field;
  for (std::istringstream in(line); in >> field;) fields.push_back(field);
  ASSERT_GE(fields.size(), 6u) << line;
  EXPECT_EQ(fields[fields.size() - 5], "yes") << "embedded: " << line;
  EXPECT_EQ(fields[fields.size() - 3], "yes") << "with a Unicode map: " << line;
}

}  // namespace
