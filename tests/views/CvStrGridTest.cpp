#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/PdfText.h"
#include "tests/support/RecordingCanvas.h"
#include "tests/support/TestSupport.h"
#include "tests/views/DetailFixture.h"
#include "views/KGridPr.h"

namespace {

using Names = std::vector<std::string>;

struct DetailGrid : ::testing::Test {
  StaffSummary staff;
  TForm form{Application};
  TCvStrGrid* grid = nullptr;

  DetailGrid() {
    grid = new TCvStrGrid(&form);
    grid->SetParent(&form);
    grid->SetBorderStyle(bsNone);
    grid->SetBounds(0, 0, 600, 300);
  }
  void Sort(std::initializer_list<int> columns) {
    std::vector<int> list(columns);
    grid->Sort(list.data());
  }
  // 部署 shown as well, and 営業部's members by amount and name: 伊藤 80, 高橋 300, 山田 300,
  // 佐藤 1200, all in one department.
  void WithDepartments() {
    staff.Source(0)->Flags |= CI_DETAIL_OWN | CI_DETAIL_SHOWN;
    staff.Fill(grid, "営業部");
    Sort({2, 1, -1});
  }
};

// The texts drawn inside a cell and the lines drawn along its bottom edge, on one painting.
struct Painted {
  TRecordingCanvas canvas;
  explicit Painted(TCvStrGrid* grid) : grid_(grid) { grid->PaintOn(&canvas); }
  std::vector<std::string> Texts(int col, int row) const {
    const TRect cell = grid_->CellRect(col, row);
    std::vector<std::string> out;
    for (const auto& op : canvas.Ops)
      if (op.kind == TRecordingCanvas::opText && cell.Contains(op.rect.Left, op.rect.Top))
        out.push_back(SjisToUtf8(op.text));
    return out;
  }
  bool LineUnder(int col, int row) const {
    const TRect cell = grid_->CellRect(col, row);
    return std::any_of(canvas.Ops.begin(), canvas.Ops.end(), [&](const auto& op) {
      return op.kind == TRecordingCanvas::opLine && op.points.size() == 2 && op.points[0].y == cell.Bottom - 1 &&
             op.points[0].x == cell.Left && op.points[1].x == cell.Right;
    });
  }

 private:
  TCvStrGrid* grid_;
};

}  // namespace

TEST_F(DetailGrid, MembersOfAGroupShowInTheChosenColumnsInListOrder) {
  staff.Fill(grid, "営業部");
  // By the record grid's shown columns while the detail grid has no choice of its own.
  EXPECT_EQ(Headings(grid), (Names{"氏名", "金額", "備考"}));
  EXPECT_EQ(grid->RowCount(), 5);
  EXPECT_EQ(grid->FixedRows(), 1);
  EXPECT_EQ(grid->FixedCols(), 0);
  EXPECT_EQ(ColumnTexts(grid, 0), (Names{"山田 太郎", "佐藤 一郎", "高橋 美咲", "伊藤 さくら"}));
  // Line breaks are taken out of what is shown; a record without the column shows "".
  EXPECT_EQ(ColumnTexts(grid, 2), (Names{"申込書あり", "予定変更連絡待ち", "ソフト更新", ""}));
  EXPECT_EQ(grid->ColumnInfo(1), staff.Source(2));
  EXPECT_EQ(grid->ColWidths(1), 70);
  EXPECT_EQ(grid->GridColumns()->Items(1)->Alignment(), taRightJustify);
  EXPECT_EQ(grid->GridColumns()->Items(2)->Alignment(), taCenter);
  for (int i = 0; i < staff.source.Count(); ++i) EXPECT_EQ(staff.Source(i)->Position, i);

  // Once a column carries its own choice, that decides, whatever Shown says.
  staff.Source(0)->Flags |= CI_DETAIL_OWN | CI_DETAIL_SHOWN;
  staff.Source(2)->Flags |= CI_DETAIL_OWN;
  grid->SetCapInfoList(&staff.source);
  EXPECT_EQ(Headings(grid), (Names{"部署", "氏名", "備考"}));
  EXPECT_EQ(ColumnTexts(grid, 0), (Names{"営業部", "営業部", "営業部", "営業部"}));
  EXPECT_EQ(ColumnTexts(grid, 2).front(), "申込書あり");
}

TEST_F(DetailGrid, SortsByChosenColumnsEitherWayAndTheCellsFollow) {
  staff.Fill(grid, "営業部");
  ColumnTexts(grid, 0);  // the rows were drawn once before the sort
  CCapInfo* amount = staff.Source(2);
  struct Case {
    const char* what;
    std::vector<int> columns;
    bool ascending;
    unsigned flags;
    Names names;
  } cases[] = {
      {"amount up; equal amounts keep their order", {1, -1}, true, 0, {"伊藤 さくら", "山田 太郎", "高橋 美咲", "佐藤 一郎"}},
      {"amount flipped: down", {1, -1}, true, CI_SORT_FLIPPED, {"佐藤 一郎", "山田 太郎", "高橋 美咲", "伊藤 さくら"}},
      {"amount down and flipped: up", {1, -1}, false, CI_SORT_FLIPPED,
       {"伊藤 さくら", "山田 太郎", "高橋 美咲", "佐藤 一郎"}},
      {"amount down", {1, -1}, false, 0, {"佐藤 一郎", "山田 太郎", "高橋 美咲", "伊藤 さくら"}},
      {"amount, then name", {1, 0, -1}, true, 0, {"伊藤 さくら", "高橋 美咲", "山田 太郎", "佐藤 一郎"}},
      {"remark: a record without it goes last", {2, -1}, true, 0,
       {"高橋 美咲", "山田 太郎", "佐藤 一郎", "伊藤 さくら"}},
  };
  for (const Case& c : cases) {
    amount->Ascending = c.ascending;
    amount->Flags = c.flags;
    std::vector<int> columns = c.columns;
    grid->Sort(columns.data());
    EXPECT_EQ(ColumnTexts(grid, 0), c.names) << c.what;
  }
  // The amounts moved with their names.
  EXPECT_EQ(ColumnTexts(grid, 1), (Names{"300", "300", "1200", "80"}));

  // The list of sort columns ends at the first index that is negative or past the last column.
  const Names before = ColumnTexts(grid, 0);
  Sort({3, 1, -1});
  EXPECT_TRUE(grid->SortColumns().empty());
  EXPECT_EQ(ColumnTexts(grid, 0), before);
  Sort({1, 7, 0, -1});
  EXPECT_EQ(grid->SortColumns(), std::vector<int>{1});
}

TEST_F(DetailGrid, AnEmptyGroupShowsItsHeadingsOverOneEmptyRow) {
  staff.Fill(grid, "人事部");  // no such group
  EXPECT_EQ(Headings(grid), (Names{"氏名", "金額", "備考"}));
  EXPECT_EQ(grid->RowCount(), 2);
  EXPECT_EQ(ColumnTexts(grid, 0), Names{""});
  Sort({0, -1});
  Painted painted(grid);
  EXPECT_EQ(painted.Texts(0, 0), Names{"氏名"});
  TRecordingCanvas page;
  grid->Print(&page, Rect(0, 0, 0, 0), 1.0, 1.0, 0, 10);
  EXPECT_EQ(page.Texts(), (std::vector<AnsiString>{SJ("氏名"), SJ("金額"), SJ("備考")}));
}

TEST_F(DetailGrid, RepeatedValuesShowDittoMarksWithoutLinesBetweenThem) {
  WithDepartments();
  ASSERT_EQ(ColumnTexts(grid, 1), (Names{"伊藤 さくら", "高橋 美咲", "山田 太郎", "佐藤 一郎"}));
  EXPECT_EQ(grid->RowState(1), 0);  // the first data row
  EXPECT_EQ(grid->RowState(2), 1);  // the same department, another name
  {
    Painted p(grid);
    EXPECT_EQ(p.Texts(0, 1), Names{"営業部"});  // the top row in view shows everything
    EXPECT_EQ(p.Texts(0, 2), Names{"〃"});
    EXPECT_EQ(p.Texts(1, 2), Names{"高橋 美咲"});
    // Left of the first difference only: the amount repeats, but the name above it changed.
    EXPECT_EQ(p.Texts(2, 3), Names{"300"});
    EXPECT_FALSE(p.LineUnder(0, 1));
    EXPECT_TRUE(p.LineUnder(1, 1));
    EXPECT_TRUE(p.LineUnder(0, 4));  // the last row
  }
  // Scrolled so that a row with marks is on top: it shows its texts; scrolled back, its marks.
  grid->SetBounds(0, 0, 600, 3 * 18);
  grid->SetTopRow(2);
  ASSERT_EQ(grid->TopRow(), 2);
  EXPECT_EQ(Painted(grid).Texts(0, 2), Names{"営業部"});
  EXPECT_EQ(Painted(grid).Texts(0, 3), Names{"〃"});
  grid->SetTopRow(1);
  EXPECT_EQ(Painted(grid).Texts(0, 2), Names{"〃"});
}

// The ditto rule compares what is stored: values that differ only by a line break look alike in
// the grid, yet are not the same value.
TEST_F(DetailGrid, DittoMarksCompareTheStoredValues) {
  staff.Source(0)->Flags |= CI_DETAIL_OWN | CI_DETAIL_SHOWN;
  grid->SetCapInfoList(&staff.source);
  TStringList a, b, c;
  for (const char* t : {"営業\n部", "山田"}) a.Add(Utf8ToSjis(t));
  for (const char* t : {"営業部", "佐藤"}) b.Add(Utf8ToSjis(t));
  for (const char* t : {"営業部", "高橋"}) c.Add(Utf8ToSjis(t));
  grid->SetRowData(1, &a);
  grid->SetRowData(2, &b);
  grid->SetRowData(3, &c);
  EXPECT_EQ(ColumnTexts(grid, 0), (Names{"営業部", "営業部", "営業部"}));
  EXPECT_EQ(grid->RowState(2), 0);  // differs in the first ditto column: no marks
  EXPECT_EQ(grid->RowState(3), 1);
  Painted p(grid);
  EXPECT_EQ(p.Texts(0, 2), Names{"営業部"});
  EXPECT_EQ(p.Texts(0, 3), Names{"〃"});
}

TEST_F(DetailGrid, ColumnWidthsGoBackToTheDescriptors) {
  staff.Fill(grid, "営業部");
  int heard = 0;
  grid->OnColWidthsChanged = [&](TObject* sender) {
    EXPECT_EQ(sender, grid);
    ++heard;
  };
  EXPECT_EQ(grid->ChangeCount(), 0);
  const TRect head = grid->CellRect(0, 0);
  grid->PressMouse(mbLeft, ssLeft, head.Right, 5);
  grid->MoveMouse(ssLeft, head.Right + 20, 5);
  grid->ReleaseMouse(mbLeft, 0, head.Right + 20, 5);
  EXPECT_EQ(staff.Source(1)->Width, 120);
  EXPECT_EQ(grid->ChangeCount(), 1);
  EXPECT_EQ(heard, 1);

  // Binding again takes the widths from the descriptors and counts nothing.
  grid->SetCapInfoList(&staff.source);
  EXPECT_EQ(grid->ColWidths(0), 120);
  EXPECT_EQ(grid->ChangeCount(), 0);
  EXPECT_EQ(heard, 1);

  // A column hidden: the grid follows, keeps its sort and counts one change.
  Sort({0, -1});
  staff.Source(3)->Flags |= CI_DETAIL_OWN;
  grid->ResetCapInfoList(&staff.source);
  EXPECT_EQ(Headings(grid), (Names{"氏名", "金額"}));
  EXPECT_EQ(grid->SortColumns(), std::vector<int>{0});
  EXPECT_EQ(ColumnTexts(grid, 0), (Names{"伊藤 さくら", "高橋 美咲", "佐藤 一郎", "山田 太郎"}));
  EXPECT_EQ(grid->ChangeCount(), 1);
  EXPECT_EQ(heard, 1);
}

// Printing a range: the first printed row shows its texts in full, later rows their marks, and
// no heading is repeated for a range that starts below it. Cells stand at the scaled grid
// positions from the area's corner.
TEST_F(DetailGrid, PrintsARangeAtAScale) {
  WithDepartments();
  TRecordingCanvas page;
  grid->Print(&page, Rect(100, 200, 0, 0), 2.0, 3.0, 3, 10);
  std::vector<std::string> texts;
  for (const AnsiString& t : page.Texts()) texts.push_back(SjisToUtf8(t));
  EXPECT_EQ(texts, (Names{"営業部", "山田 太郎", "300", "申込書あり", "〃", "佐藤 一郎", "1200", "予定変更連絡待ち"}));
  // Row 3 begins one grid line below the area's top: 200 + 1 x 3; its text inset by the line
  // width (3) and the vertical margin (1 x 3, the rows being under 18 pixels high).
  const TRecordingCanvas::Op* first = page.FindText(SJ("営業部"));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->rect.Top, 203 + 3 + 3);
  EXPECT_EQ(first->rect.Left, 102 + 3 + 4);

  // From the top: the headings, then every row under the screen's rule (an empty cell draws no
  // text).
  page.Clear();
  grid->Print(&page, Rect(0, 0, 0, 0), 1.0, 1.0, 0, 3);
  texts.clear();
  for (const AnsiString& t : page.Texts()) texts.push_back(SjisToUtf8(t));
  EXPECT_EQ(texts, (Names{"部署", "氏名", "金額", "備考", "営業部", "伊藤 さくら", "80", "〃", "高橋 美咲",
                          "300", "ソフト更新"}));
  page.Clear();
  grid->Print(&page, Rect(0, 0, 0, 0), 1.0, 1.0, 9, 3);  // nothing in range
  EXPECT_TRUE(page.Ops.empty());
}

// The detail grid through the grid printer, to a PDF file a reader gets the texts back from.
TEST_F(DetailGrid, PrintsThroughTheGridPrinterToPdf) {
  ASSERT_TRUE(JapaneseFontInstalled());
  WithDepartments();
  grid->Font()->SetName(SJ("ＭＳ Ｐゴシック"));
  TempDir dir;
  TPrinter printer;
  printer.SetFileName(dir.File("detail.pdf"));
  TKelmGridPr pr(&form);
  pr.SetPrinter(&printer);
  pr.SetTargetGrid(grid);
  pr.SetOnGetCellString([this](AnsiString& text, bool& line, int col, int row, bool first) {
    grid->GetPrintCellString(text, line, col, row, first);
  });
  ASSERT_TRUE(printer.BeginDoc()) << Show(printer.LastError());
  pr.GoPrint();
  ASSERT_TRUE(printer.EndDoc()) << Show(printer.LastError());
  EXPECT_EQ(PdfPageCount(dir.File("detail.pdf")), 1);
  std::string text = PdfText(dir.File("detail.pdf"));
  std::erase(text, ' ');
  for (const char* expected : {"部署", "備考", "営業部", "伊藤さくら", "〃", "予定変更連絡待ち", "1200"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;

  // The lines the printer draws above each cell follow the ditto rule.
  AnsiString cell;
  bool line = true;
  grid->GetPrintCellString(cell, line, 0, 2, false);
  EXPECT_EQ(cell, SJ("〃"));
  EXPECT_FALSE(line);
  line = true;
  grid->GetPrintCellString(cell, line, 0, 2, true);  // the first row of a page
  EXPECT_EQ(cell, SJ("営業部"));
  EXPECT_TRUE(line);
  grid->GetPrintCellString(cell, line, 1, 2, false);
  EXPECT_TRUE(line);
}
