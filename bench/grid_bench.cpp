// Painting and scrolling the extended string grid over many rows whose cells are drawn by its
// draw event, as the record list draws rows it has not turned into cell texts: one screen painted
// at the top, in the middle and at the end (the median of seven paints each, off screen), and the
// memory the grid's own state takes for that many rows. Then the grid printer: paginating a list
// of rows / 100 pages of A4 (10,000 pages by default) and drawing one page of it into the preview.
// Usage: grid_bench [rows] (default 1000000; ten columns).
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/OffscreenApp.h"
#include "platform/Forms.h"
#include "views/KGridPr.h"
#include "views/StringGridEx.h"

namespace {

// Resident memory now, in megabytes.
double RssMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
  return 0;
}

// The median time of seven runs of f, in milliseconds.
template <class F>
double MedianMs(const F& f) {
  std::vector<double> ms;
  for (int i = 0; i < 7; ++i) {
    const auto start = std::chrono::steady_clock::now();
    f();
    ms.push_back(Seconds(start) * 1000);
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::max(2L, std::atol(argv[1])) : 1000000L;
  InitOffscreenApplication(argc, argv);

  auto* form = new TForm(Application);
  form->SetBounds(0, 0, 1000, 720);
  const double before = RssMb();
  auto* grid = new TStringGridEx(form);
  grid->SetParent(form);
  grid->SetBounds(0, 0, 1000, 720);
  grid->SetOptions(grid->Options() | goRowSelect);
  grid->SetColCount(10);
  grid->SetRowCount(static_cast<int>(rows) + 1);
  grid->SetGridStyle(gsStriped);
  grid->SetStripeColor(0xE0FFFF);
  grid->SetColWidths(0, 60);
  for (int c = 1; c < 10; ++c) grid->SetColWidths(c, 100);
  long drawn = 0;
  grid->OnDrawCell = [&](TObject*, int col, int row, TRect rect, TGridDrawState state) {
    if (row == 0 || col == 0) return;
    ++drawn;
    TCanvas* c = grid->Canvas();
    c->Brush()->SetStyle(bsClear);
    const uint64_t v = Mix(static_cast<uint64_t>(row) * 16 + col);
    const AnsiString text = col % 3 == 0 ? Format("%llu", static_cast<unsigned long long>(v % 1000000))
                                         : Format("row %d col %d %c", row, col, static_cast<char>('a' + v % 26));
    TRect r = rect;
    InflateRect(r, -2, -2);
    c->DrawText(text, r, DT_NOPREFIX | DT_SINGLELINE | (col % 3 == 0 ? DT_RIGHT : DT_LEFT));
  };
  grid->SetSelection(TGridRect{1, 1, 9, static_cast<int>(rows)});  // every row marked: one run
  grid->PaintToImage();  // fonts and caches warm
  const double stateMb = RssMb() - before;

  std::printf("figure paint_screen_ms %.2f ms\n", MedianMs([&] { grid->PaintToImage(); }));
  std::printf("figure scroll_middle_ms %.2f ms\n", MedianMs([&] {
                grid->SetTopRow(1);
                grid->SetTopRow(static_cast<int>(rows / 2));
                grid->PaintToImage();
              }));
  std::printf("figure scroll_end_ms %.2f ms\n", MedianMs([&] {
                grid->SetTopRow(1);
                grid->PressKey(VK_END, ssCtrl);
                grid->PaintToImage();
              }));
  std::printf("figure cells_per_screen %.0f cells\n", static_cast<double>(drawn) / 22);
  std::printf("figure grid_state_mb %.1f MB\n", stateMb);

  // About 51 rows of 20 pixels fill the room between the margins of an A4 page at 600 dpi; every
  // tenth row is taller, as rows with line breaks are.
  const int wantedPages = static_cast<int>(std::max(1L, rows / 100));
  auto* list = new TStringGridEx(form);
  list->SetColCount(10);
  list->SetRowCount(wantedPages * 50 + 1);
  for (int r = 10; r < list->RowCount(); r += 10) list->SetRowHeights(r, 30);
  for (int r = 0; r < 60; ++r)
    for (int c = 0; c < 10; ++c) list->SetCells(c, r, Format("%d-%d", r, c));
  auto* a4 = new TPrinter;
  a4->SetFileName("grid_bench.pdf");  // measured only: nothing is written
  auto& printer = *new TKelmGridPr(form);
  printer.SetPrinter(a4);
  printer.SetTargetGrid(list);
  const double paginateMs = MedianMs([&] { printer.UpdatePrinter(); });
  std::printf("figure paginate_pages %d pages\n", printer.PageCountY());
  std::printf("figure paginate_10000_pages_ms %.2f ms\n", paginateMs * 10000 / printer.PageCountY());
  TBitmap page;
  printer.BeginPreview(&page);
  std::printf("figure preview_page_ms %.2f ms\n", MedianMs([&] {
                printer.ErasePV();
                printer.Print(true, 1, 1);
                page.Pixel(0, 0);  // the drawing reaches the picture
              }));

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_mb %.1f\n", usage.ru_maxrss / 1024.0);
  delete form;
  delete a4;
  DoneApplication();
  return 0;
}
