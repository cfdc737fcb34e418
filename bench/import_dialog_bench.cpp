// The import through the CSV import dialog against CDbHandle::ImportRecords alone, in one run.
//
// A combined-format access log of N lines is written once. Each side imports it into a new table
// of the access-log columns (status and size integers, every column indexed):
//   - records: a reader opened and set to the access-log format, then CDbHandle::ImportRecords;
//   - dialog: CDbFolder::ImportFile on the node of a table folder, with a modal handler playing
//     the user: the file name typed and the preview loaded, the access-log filter chosen, the four
//     empty headings of fields 1-4 moved in front of the others' fields, "開始".
// Both run the import worker under its progress dialog on the offscreen window system. After one
// import of each side that is not timed (the first import of a process pays for its start), each
// side runs five times, the two alternating and taking turns at going first; the figures are the
// best time of each side, and the ratio is the dialog's over the records'.
//
//   import_dialog_bench [lines]   (default 20000)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/GeneratedLogs.h"
#include "bench/ImportUser.h"
#include "folders/DbFolder.h"
#include "folders/ReadCsvUnit.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "platform/Forms.h"
#include "query/CsvFile.h"
#include "query/DbHandle.h"
#include "store/KorvaCore.h"

namespace {

// The engine's block cache, as the import benchmark has it.
constexpr size_t kCacheBytes = size_t(26) << 20;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "import_dialog_bench: %s\n", what.c_str());
  std::exit(1);
}

std::string g_log;  // the access log's path

// Makes a new table of the access-log columns in file. Each side then opens it afresh.
void MakeTable(const std::string& file) {
  CDbHandle handle;
  if (!handle.AddTable(file, "access")) Die("table");
  const auto columns = AccessLogColumns();
  for (size_t k = 0; k < columns.size(); ++k)
    if (!handle.AddColumn("access", columns[k].first, AccessLogIntegerColumn(k) ? "int" : "string", 40))
      Die("column " + columns[k].first);
}

double ImportRecordsAlone(const std::string& table, int& stored) {
  MakeTable(table);
  CDbHandle handle;
  if (!handle.AddTable(table, "access")) Die("table");
  TStringList map;
  for (const auto& [name, field] : AccessLogColumns())
    map.AddObject(name, reinterpret_cast<void*>(intptr_t(field)));
  const auto start = std::chrono::steady_clock::now();
  CCsvFile reader;
  if (!reader.Open(g_log, "rb")) Die("open " + g_log);
  reader.FileFormat = CCsvFile::kAccessLog;
  stored = handle.ImportRecords(&reader, 0, -1, "access", &map);
  return Seconds(start);
}

double ImportThroughDialog(const std::string& table, int& stored) {
  CTopRuleFolder root;
  auto* folder = new CRuleFolderTbl(&root);
  folder->Name = "access";
  folder->TableName = "access";
  folder->DataFile = table;
  root.AddChild(folder);
  MakeTable(table);
  if (!folder->ResetTables()) Die("bind");
  folder->CapInfoList = new CCapInfoList;
  folder->SyncCapInfoList();
  CDbFolder node(nullptr);
  node.Folder = folder;
  const auto start = std::chrono::steady_clock::now();
  stored = -1;
  if (!node.ImportFile(&stored, "")) Die("no import");
  return Seconds(start);
}

// Plays the user of both sides.
void HandleModal(TForm* form) {
  if (auto* d = dynamic_cast<TReadCsvDlg*>(form)) {
    d->ComboBox2->UserSelect(CCsvFile::kAccessLog);
    d->Edit3->SetText(g_log);
    d->Edit3->TypeChar('\r');
    // The access log's fields 1-4 are always empty: their (empty) headings go in front of the
    // headings from the second on, as dragging them there would.
    const int columns = int(AccessLogColumns().size());
    for (int k = 0; k < 4; ++k) d->StringGrid1->MoveColumn(columns + k, 1);
    d->OKBtn->Click();
    return;
  }
  AnswerImportDialogs(form, "import_dialog_bench");
}

}  // namespace

int main(int argc, char** argv) {
  const long long arg = argc > 1 ? std::atoll(argv[1]) : 20000;
  if (arg <= 0) {
    std::fprintf(stderr, "usage: %s [lines]\n", argv[0]);
    return 2;
  }
  const uint64_t lines = uint64_t(arg);
  const std::string dir = std::filesystem::temp_directory_path() / ("import-dialog-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  g_log = dir + "/access.log";
  {
    std::FILE* f = std::fopen(g_log.c_str(), "wb");
    if (!f) Die("create " + g_log);
    WriteAccessLog(f, lines);
    if (std::fclose(f) != 0) Die("write " + g_log);
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  int qtArgc = 1;
  InitApplication(qtArgc, argv);
  Application->ModalHandler = HandleModal;
  db_cache_limit(kCacheBytes);

  // The best of five runs of each side: the machine's other work only ever adds time.
  double records = 1e30, dialog = 1e30;
  const std::string sides = "rdrddrrddrrd";  // the first two untimed
  for (size_t round = 0; round < sides.size(); ++round) {
    const char side = sides[round];
    const bool timed = round >= 2;
    const std::string table = dir + "/access.kvr";
    int stored = 0;
    const double seconds = side == 'r' ? ImportRecordsAlone(table, stored) : ImportThroughDialog(table, stored);
    if (uint64_t(stored) != lines)
      Die(std::string(side == 'r' ? "ImportRecords" : "the dialog") + " stored " + std::to_string(stored) + " of " +
          std::to_string(lines));
    if (timed) {
      double& best = side == 'r' ? records : dialog;
      best = std::min(best, seconds);
    }
    // The table's files go, so that the next side starts from nothing as well.
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
      if (entry.path().filename().string().rfind("access.kvr", 0) == 0) files.push_back(entry.path());
    for (const auto& file : files) std::filesystem::remove(file);
  }
  std::filesystem::remove_all(dir);

  std::printf("figure lines %llu count\n", static_cast<unsigned long long>(lines));
  std::printf("figure import_records %.3f s\n", records);
  std::printf("figure import_dialog %.3f s\n", dialog);
  std::printf("ratio import_dialog %.3f\n", dialog / records);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_mb %.1f\n", double(usage.ru_maxrss) / 1024.0);
  DoneApplication();
  return 0;
}
