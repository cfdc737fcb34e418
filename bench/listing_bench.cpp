// Listing a table folder in the main window against SQLite stepping the same rows, in one
// process. The table t holds N records of the record-table benchmark's eight columns; the folder
// file holds one table folder over it with every column shown. The program starts on that folder
// file (offscreen), the table folder is selected as the tree selects it, and every question before
// a further chunk is answered "はい".
//
//   first_screen   from the selection until the list grid draws its first data row
//   listing        from the selection until every row is listed, summarised and laid out in the
//                  grid (the inline half second, then the chunks on the listing worker)
//   sqlite         SELECT of the same eight columns from a table of the same rows, every column
//                  of every row fetched as text (the listing's rows are texts too)
//   folder_chain   the table folder's own listing before the window's, rows read and dropped
//   bytes_per_row  the growth of the process's peak memory over the listing, per row
//
//   listing_bench [records]   (default 100000)
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/EightColumnRows.h"
#include "folders/DbFolder.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "foundation/CvMessageUnit.h"
#include "foundation/StringsList.h"
#include "mainwin/GetListUnit.h"
#include "mainwin/MainForm.h"
#include "mainwin/Startup.h"
#include "platform/Thread.h"
#include "store/KorvaCore.h"
#include "store/KvRecord.h"

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "listing_bench: %s failed\n", what);
  std::exit(1);
}

double PeakMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;
}

void MakeFolderFile(const std::string& table, const std::string& folderFile) {
  CTopRuleFolder root;
  auto* folder = new CRuleFolderTbl(&root);
  folder->Name = SJ("記録");
  folder->TableName = "t";
  folder->DataFile = table;
  root.AddChild(folder);
  if (!folder->ResetTables()) Die("binding");
  folder->CapInfoList = new CCapInfoList;
  folder->SumCapInfoList = new CCapInfoList;
  folder->SyncCapInfoList();
  root.WritePath = folderFile;
  if (!root.SaveFolderFile()) Die("folder file");
}

class Sqlite {
 public:
  Sqlite(const std::string& path, const Rows& rows, uint64_t n) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) Die("sqlite open");
    if (!MakeEightColumnSqlite(db_, rows, n)) Die("sqlite table");
  }
  ~Sqlite() { sqlite3_close(db_); }
  // Rows stepped and the seconds it took.
  std::pair<uint64_t, double> Step() {
    const auto start = Clock::now();
    const auto [n, bytes] = StepEightColumnSqlite(db_);
    if (bytes == 0) Die("sqlite select");
    return {n, Seconds(start)};
  }

 private:
  sqlite3* db_ = nullptr;
};

// The user: lets each chunk run, answers "はい" to every question and closes the about box.
void PlayUser(TForm* form) {
  if (auto* dialog = dynamic_cast<TGetListDlg*>(form)) {
    while (dialog->ModalResult() == mrNone) {
      Application->ProcessMessages();
      CheckSynchronize();
      usleep(100);
    }
    return;
  }
  form->SetModalResult(dynamic_cast<TCvMessageDlg*>(form) ? mrYes : mrOk);
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string dir = std::filesystem::temp_directory_path() / ("listing-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  if (!getenv("XDG_RUNTIME_DIR")) {
    const std::string runtime = dir + "/runtime";
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
  }
  setenv("XDG_CONFIG_HOME", dir.c_str(), 1);

  const Rows rows;
  if (!MakeEightColumnTable(dir + "/t.kvr", rows, n)) Die("table");
  MakeFolderFile(dir + "/t.kvr", dir + "/work.fld");
  // The folder file is read beside the settings file that is read, which must exist.
  std::fclose(std::fopen((dir + "/work.ini").c_str(), "w"));
  Sqlite sqlite(dir + "/t.db", rows, n);

  InitApplication(argc, argv);
  Application->TestMode = true;
  Application->ModalHandler = PlayUser;
  SetParams({ExecutablePath(), dir + "/work"});
  CreateStartupForms();
  FormMain->SetBounds(0, 0, 1280, 800);
  FormMain->Show();
  // The window is on the screen, as it is long before a user selects a folder.
  for (int i = 0; i < 20; ++i) {
    Application->ProcessMessages();
    usleep(5000);
  }
  TTreeNode* root = FormMain->TreeView1->Items()->GetFirstNode();
  TTreeNode* node = root ? root->GetFirstChild() : nullptr;
  if (!node) Die("table folder node");

  TStringGridEx* grid = FormMain->StringGridEx1;
  Clock::time_point firstScreen{};
  const TDrawCellEvent draw = grid->OnDrawCell;
  grid->OnDrawCell = [&](TObject* sender, int col, int row, TRect rect, TGridDrawState state) {
    if (row >= 1 && firstScreen == Clock::time_point{} && FormMain->ListRows->Count() > 0) firstScreen = Clock::now();
    if (draw) draw(sender, col, row, rect, state);
  };

  // The folder chain alone, rows read into one row and dropped: what the listing costs beyond it
  // is the window's (rows kept, keys, chunks, summary, layout). It also brings the table's blocks
  // into the engine's cache, as the inserts did for SQLite's pages.
  CDbFolder* folder = static_cast<CDbFolder*>(node->Data);
  TList selection;
  selection.Add(folder);
  const auto chainStart = Clock::now();
  folder->ListStart(selection);
  TStringList row;
  uint64_t chained = 0;
  for (int r; (r = folder->ListNextNB(row)) >= 0;) chained += r == 1;
  folder->ListEnd();
  const double chain = Seconds(chainStart);
  if (chained != n) Die("folder chain rows");

  // Two turns each, taking turns, the better of each side counting: a busy moment of the machine
  // falls on both alike. The memory is the first listing's; the second frees its rows first.
  const double peakBefore = PeakMb();
  double peakAfter = 0, ours = 1e30, theirs = 1e30, firstScreenMs = 1e30;
  FormMain->Tv1NodeList->Nodes->Add(node);
  for (int turn = 0; turn < 2; ++turn) {
    firstScreen = Clock::time_point{};
    const auto start = Clock::now();
    FormMain->SearchedCount = 0;
    FormMain->RefreshListView(node, false);
    ours = std::min(ours, Seconds(start));
    if (turn == 0) peakAfter = PeakMb();
    const uint64_t listed = uint64_t(FormMain->ListRows->Count());
    if (listed != n) {
      std::fprintf(stderr, "listing_bench: %llu of %llu rows listed\n", (unsigned long long)listed, (unsigned long long)n);
      return 1;
    }
    if (firstScreen == Clock::time_point{}) Die("drawing the first screen");
    firstScreenMs = std::min(firstScreenMs, std::chrono::duration<double, std::milli>(firstScreen - start).count());
    const auto [stepped, seconds] = sqlite.Step();
    if (stepped != n) Die("sqlite rows");
    theirs = std::min(theirs, seconds);
  }

  std::printf("figure first_screen_ms %.1f ms\n", firstScreenMs);
  std::printf("figure listing_ms %.1f ms\n", ours * 1000.0);
  std::printf("figure folder_chain_ms %.1f ms\n", chain * 1000.0);
  std::printf("figure listing_rows_per_s %.0f rows/s\n", double(n) / ours);
  std::printf("figure sqlite_rows_per_s %.0f rows/s\n", double(n) / theirs);
  std::printf("figure listing_bytes_per_row %.0f bytes\n", (peakAfter - peakBefore) * 1024.0 * 1024.0 / double(n));
  std::printf("figure status %s\n", SjisToUtf8(FormMain->StatusBar1->Panels()->Items(1)->Text()).c_str());
  std::printf("ratio listing_time %.2f\n", ours / theirs);
  std::printf("ratio folder_chain_time %.2f\n", chain / theirs);
  std::printf("peak_rss_mb %.1f\n", PeakMb());

  FreeStartupForms();
  DoneApplication();
  std::filesystem::remove_all(dir);
  return 0;
}
