// The record-file list's listing of a whole table, rows read and dropped, against SQLite stepping
// the same rows: the part of the main window's listing below the window. The table holds N
// records of the record-table benchmark's eight columns; every column is listed, the record id
// first, as a table folder lists them.
//
//   chain        ListStart and ListNextNB until the end, each row's texts dropped
//   sqlite       SELECT of the same columns, every column of every row fetched as text
//   rows_hash    a hash of every row's texts in order: two builds list the same bytes when their
//                hashes agree
//
// The table and the SQLite file are made in DIR and kept there when DIR is given, so that later
// runs (and a profiler started on them) skip making them.
//
//   listing_chain_bench [records] [DIR]   (default 100000, a fresh temporary directory)
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/EightColumnRows.h"
#include "query/RecFileList.h"

namespace {

constexpr int kTurns = 3;

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "listing_chain_bench: %s failed\n", what);
  std::exit(1);
}

void MakeSqlite(const std::string& path, const Rows& rows, uint64_t n) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Die("sqlite open");
  const bool made = MakeEightColumnSqlite(db, rows, n);
  sqlite3_close(db);
  if (!made) Die("sqlite table");
}

// Rows stepped, and the seconds it took.
std::pair<uint64_t, double> StepSqlite(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Die("sqlite open");
  const auto start = std::chrono::steady_clock::now();
  const auto [n, bytes] = StepEightColumnSqlite(db);
  const double seconds = Seconds(start);
  sqlite3_close(db);
  if (bytes == 0) Die("sqlite rows");
  return {n, seconds};
}

// FNV-1a over every text, each followed by a 0 byte.
uint64_t HashRow(uint64_t h, const TStrings& row) {
  for (int i = 0; i < row.Count(); ++i) {
    for (const char c : row[i]) h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    h = h * 0x100000001b3ULL;
  }
  return h;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
  const bool keep = argc > 2;
  const std::string dir =
      keep ? std::string(argv[2]) : std::string(std::filesystem::temp_directory_path() / ("listing-chain-bench-" + std::to_string(getpid())));
  std::filesystem::create_directories(dir);
  const std::string tag = std::to_string(n);
  const std::string table = dir + "/t" + tag + ".kvr";
  const std::string sqlitePath = dir + "/t" + tag + ".db";
  const std::string done = dir + "/t" + tag + ".done";
  if (!std::filesystem::exists(done)) {
    std::filesystem::remove(table);
    std::filesystem::remove(sqlitePath);
    const Rows rows;
    if (!MakeEightColumnTable(table, rows, n)) Die("table");
    MakeSqlite(sqlitePath, rows, n);
    std::fclose(std::fopen(done.c_str(), "w"));
  }

  CRecFileList files;
  if (!files.AddTable(table, "t")) Die("table");
  TStringList names;
  files.GetColumnInfo("t", names, nullptr, nullptr);
  AnsiString columns;
  for (int i = 0; i < names.Count(); ++i) columns += (i > 0 ? ",t." : "t.") + names[i];

  // One untimed pass hashes the rows and brings the table's blocks into the engine's cache, as
  // making the SQLite file did for its pages; the timed turns drop the rows as they come.
  auto list = [&](uint64_t* hash) {
    if (!files.ListStart(columns, "", "")) Die("listing start");
    TStringList row;
    uint64_t listed = 0, h = 0xcbf29ce484222325ULL;
    for (int r; (r = files.ListNextNB(row)) >= 0;) {
      if (r == 0) continue;
      ++listed;
      if (hash) h = HashRow(h, row);
    }
    files.ListEnd();
    if (listed != n) Die("listing rows");
    if (hash) *hash = h;
  };
  uint64_t hash = 0;
  list(&hash);
  double ours = 1e30, theirs = 1e30;
  for (int turn = 0; turn < kTurns; ++turn) {
    const auto start = std::chrono::steady_clock::now();
    list(nullptr);
    ours = std::min(ours, Seconds(start));
    const auto [stepped, seconds] = StepSqlite(sqlitePath);
    if (stepped != n) Die("sqlite rows");
    theirs = std::min(theirs, seconds);
  }
  if (!keep) std::filesystem::remove_all(dir);

  std::printf("figure chain_ms %.1f ms\n", ours * 1000.0);
  std::printf("figure sqlite_ms %.1f ms\n", theirs * 1000.0);
  std::printf("figure rows_hash %016llx hash\n", static_cast<unsigned long long>(hash));
  std::printf("ratio chain_time %.2f\n", ours / theirs);
  return 0;
}
