// Painting and scrolling the extended string grid over many rows whose cells are drawn by its
// draw event, as the record list draws rows it has not turned into cell texts: one screen painted
// at the top, in the middle and at the end (the median of seven paints each, off screen), and the
// memory the grid's own state takes for that many rows. Usage: grid_bench [rows] (default
// 1000000; ten columns).
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
#include "platform/Forms.h"
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
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (!getenv("XDG_RUNTIME_DIR")) {
    const std::string dir = "/tmp/cw-runtime-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  }
  InitApplication(argc, argv);

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
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_mb %.1f\n", usage.ru_maxrss / 1024.0);
  delete form;
  DoneApplication();
  return 0;
}
