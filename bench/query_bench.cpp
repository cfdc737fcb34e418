// Queries against SQLite on the same rows, in one process: a table t of N records (a code of
// 10,000 values, a category of 20, a quantity, a Japanese name) and a table u of 10,000 records
// (each code once, a group of 20, a label), every column indexed on both sides.
//
//   first_row   the time from the query text to its first row, for an equality on t.code
//               (the mean over 20 codes; each select compiled and its tables opened anew)
//   listing     rows per second of the whole of t, four columns per row
//   join        u.grp = 'G07' AND t.code = u.code: 500 codes of u, each joined to its t records
//
// Our side runs through the record-file list as the program does (ListStart, ListNextNB);
// SQLite prepares, binds and steps. journal_mode=OFF and synchronous=OFF for SQLite; a block
// cache of 36 MB for the tables.
//
//   query_bench [records]   (default 100000)
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "query/RecFileList.h"
#include "store/KorvaCore.h"
#include "store/KvRecord.h"

namespace {

constexpr int kCodes = 10000;
constexpr int kGroups = 20;
constexpr int kFirstRowCodes = 20;

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "query_bench: %s failed\n", what);
  std::exit(1);
}

AnsiString CodeText(int code) { return Format("C%05d", code); }

// Rows of both tables, made from their number alone.
class Rows {
 public:
  Rows() {
    for (const char* s : {"佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "山本", "中村", "小林", "加藤"})
      family_.push_back(Utf8ToSjis(s));
    for (const char* s : {"太郎", "花子", "一郎", "美咲", "健太", "陽子", "翔", "さくら"}) given_.push_back(Utf8ToSjis(s));
  }
  void T(uint64_t i, std::vector<AnsiString>& out) const {
    const uint64_t h = Mix(i + 1);
    out = {CodeText(int(h % kCodes)), Format("K%02d", int((h >> 20) % 20)), Format("%d", int((h >> 30) % 1000)),
           family_[(h >> 40) % family_.size()] + given_[(h >> 50) % given_.size()]};
  }
  void U(int code, std::vector<AnsiString>& out) const {
    out = {CodeText(code), Format("G%02d", int(Mix(uint64_t(code) + 77) % kGroups)), Format("label %d", code)};
  }

 private:
  std::vector<AnsiString> family_, given_;
};

const char* const kTColumns[] = {"code", "cat", "qty", "name"};
const char kTTypes[] = {kvrString, kvrString, kvrSigned, kvrString};
const char* const kUColumns[] = {"code", "grp", "label"};

void MakeTable(const std::string& path, const char* const* columns, const char* types, int count,
               uint64_t rows, void (*fill)(const Rows&, uint64_t, std::vector<AnsiString>&), const Rows& source) {
  CKvRecord table;
  table.SetFileName(path);
  for (int c = 0; c < count; ++c)
    if (!table.AddColumn(columns[c], types ? types[c] : kvrString, 20)) Die("table column");
  TStringList names, texts;
  for (int c = 0; c < count; ++c) {
    names.Add(columns[c]);
    texts.Add(AnsiString());
  }
  std::vector<AnsiString> row;
  CKorvaHold run(*table.File());
  for (uint64_t i = 0; i < rows; ++i) {
    fill(source, i, row);
    for (int c = 0; c < count; ++c) texts.SetString(c, row[size_t(c)]);
    if (!table.InsertEx(names, texts, nullptr, 0)) Die("table insert");
  }
}

class Sqlite {
 public:
  explicit Sqlite(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) Die("sqlite open");
    Exec("PRAGMA journal_mode=OFF");
    Exec("PRAGMA synchronous=OFF");
    Exec("CREATE TABLE t(code TEXT, cat TEXT, qty INTEGER, name TEXT)");
    Exec("CREATE TABLE u(code TEXT, grp TEXT, label TEXT)");
    for (const char* c : kTColumns) Exec(("CREATE INDEX t_" + std::string(c) + " ON t(" + c + ")").c_str());
    for (const char* c : kUColumns) Exec(("CREATE INDEX u_" + std::string(c) + " ON u(" + c + ")").c_str());
  }
  ~Sqlite() { sqlite3_close(db_); }

  void Fill(const Rows& rows, uint64_t n) {
    std::vector<AnsiString> row;
    Exec("BEGIN");
    sqlite3_stmt* t = Prepare("INSERT INTO t VALUES(?, ?, ?, ?)");
    for (uint64_t i = 0; i < n; ++i) {
      rows.T(i, row);
      sqlite3_bind_text(t, 1, row[0].c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_text(t, 2, row[1].c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_int(t, 3, std::atoi(row[2].c_str()));
      sqlite3_bind_text(t, 4, row[3].c_str(), -1, SQLITE_STATIC);
      if (sqlite3_step(t) != SQLITE_DONE) Die("sqlite insert");
      sqlite3_reset(t);
    }
    sqlite3_finalize(t);
    sqlite3_stmt* u = Prepare("INSERT INTO u VALUES(?, ?, ?)");
    for (int code = 0; code < kCodes; ++code) {
      rows.U(code, row);
      for (int c = 0; c < 3; ++c) sqlite3_bind_text(u, c + 1, row[size_t(c)].c_str(), -1, SQLITE_STATIC);
      if (sqlite3_step(u) != SQLITE_DONE) Die("sqlite insert");
      sqlite3_reset(u);
    }
    sqlite3_finalize(u);
    Exec("COMMIT");
  }

  // Rows of the query; when `first` is set, stops at the first row.
  uint64_t Run(const char* sql, const AnsiString* bind, bool first) {
    sqlite3_stmt* s = Prepare(sql);
    if (bind) sqlite3_bind_text(s, 1, bind->c_str(), -1, SQLITE_STATIC);
    uint64_t rows = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
      const int n = sqlite3_column_count(s);
      size_t bytes = 0;
      for (int c = 0; c < n; ++c) bytes += std::string(reinterpret_cast<const char*>(sqlite3_column_text(s, c))).size();
      rows += bytes > 0 ? 1 : 0;
      if (first) break;
    }
    sqlite3_finalize(s);
    return rows;
  }

 private:
  void Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Die(sql);
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK) Die(sql);
    return s;
  }
  sqlite3* db_ = nullptr;
};

// Rows of a listing through the record-file list; when `first` is set, stops at the first row.
uint64_t List(CRecFileList& files, const AnsiString& columns, const AnsiString& condition, bool first) {
  if (!files.ListStart(columns, "", condition)) Die("listing start");
  TStringList row;
  uint64_t rows = 0;
  for (int r; (r = files.ListNextNB(row)) >= 0;) {
    if (r == 0) continue;
    ++rows;
    if (first) break;
  }
  files.ListEnd();
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
  const std::string dir = std::filesystem::temp_directory_path() / ("query-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  db_cache_limit(size_t(36) << 20);
  const Rows rows;
  MakeTable(dir + "/t.kvr", kTColumns, kTTypes, 4, n, [](const Rows& r, uint64_t i, std::vector<AnsiString>& out) { r.T(i, out); }, rows);
  MakeTable(dir + "/u.kvr", kUColumns, nullptr, 3, kCodes,
            [](const Rows& r, uint64_t i, std::vector<AnsiString>& out) { r.U(int(i), out); }, rows);
  Sqlite sqlite(dir + "/bench.sqlite");
  sqlite.Fill(rows, n);
  CRecFileList files;
  files.AddTable(dir + "/t.kvr", "t");
  files.AddTable(dir + "/u.kvr", "u");

  struct Phase {
    const char* name;
    double ours = 0, theirs = 0;
    uint64_t ourRows = 0, theirRows = 0;
  } first{"first_row"}, listing{"listing"}, join{"join"};

  // Turns alternate, so that a busy moment of the machine falls on both sides alike.
  for (int k = 0; k < kFirstRowCodes; ++k) {
    const AnsiString code = CodeText(int(uint64_t(k) * 7919 % kCodes));
    auto start = std::chrono::steady_clock::now();
    first.ourRows += List(files, "t.code, t.cat, t.qty, t.name", "t.code = '" + code + "'", true);
    first.ours += Seconds(start);
    start = std::chrono::steady_clock::now();
    first.theirRows += sqlite.Run("SELECT code, cat, qty, name FROM t WHERE code = ?", &code, true);
    first.theirs += Seconds(start);
  }
  first.ours /= kFirstRowCodes;
  first.theirs /= kFirstRowCodes;

  auto start = std::chrono::steady_clock::now();
  listing.ourRows = List(files, "t.code, t.cat, t.qty, t.name", "", false);
  listing.ours = Seconds(start);
  start = std::chrono::steady_clock::now();
  listing.theirRows = sqlite.Run("SELECT code, cat, qty, name FROM t", nullptr, false);
  listing.theirs = Seconds(start);

  start = std::chrono::steady_clock::now();
  join.ourRows = List(files, "t.code, t.qty, u.label", "u.grp = 'G07' AND t.code = u.code", false);
  join.ours = Seconds(start);
  start = std::chrono::steady_clock::now();
  join.theirRows = sqlite.Run("SELECT t.code, t.qty, u.label FROM u JOIN t ON t.code = u.code WHERE u.grp = 'G07'",
                              nullptr, false);
  join.theirs = Seconds(start);
  std::filesystem::remove_all(dir);

  for (const Phase* p : {&first, &listing, &join}) {
    if (p->ourRows != p->theirRows) {
      std::fprintf(stderr, "query_bench: %s rows differ (%llu / %llu)\n", p->name,
                   static_cast<unsigned long long>(p->ourRows), static_cast<unsigned long long>(p->theirRows));
      return 1;
    }
  }
  std::printf("figure records %llu count\n", static_cast<unsigned long long>(n));
  std::printf("figure first_row_ms %.3f ms\n", first.ours * 1000);
  std::printf("figure sqlite_first_row_ms %.3f ms\n", first.theirs * 1000);
  std::printf("ratio first_row %.3f\n", first.ours / first.theirs);
  std::printf("figure listing_rows_per_s %.0f rows/s\n", double(listing.ourRows) / listing.ours);
  std::printf("figure sqlite_listing_rows_per_s %.0f rows/s\n", double(listing.theirRows) / listing.theirs);
  std::printf("ratio listing %.3f\n", listing.ours / listing.theirs);
  std::printf("figure join_rows %llu count\n", static_cast<unsigned long long>(join.ourRows));
  std::printf("figure join %.3f s\n", join.ours);
  std::printf("figure sqlite_join %.3f s\n", join.theirs);
  std::printf("ratio join %.3f\n", join.ours / join.theirs);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_mb %.1f\n", double(usage.ru_maxrss) / 1024.0);
  return 0;
}
