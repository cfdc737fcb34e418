// The grouped summary against SQLite on the same rows, in one run.
//
// N in-memory rows of the record-table benchmark's eight columns (an id, a date, a code of 10,000
// values, a category of 20, a real amount, an integer, a Japanese name and a note) are summarised
// by category and, inside it, by code:
//
//   category | 件数(id) 合計(amount) | code | 件数(id) 合計(amount) 平均(amount) 範囲(qty)
//
// that is two key columns and six value columns, the first two as subtotals per category. Ours:
// every row through CSummaryMod::AddSummaryRecord, then Calculate (sorting and every cell). SQLite:
// the same rows in an in-memory table of typed columns, then one GROUP BY per level (category;
// category and code) in one run, every result row stepped through and its values read.
//
// SQLite runs first, in a child process with its own memory, so that neither side's peak hides
// the other's. "extra_mb" is our peak beyond the rows themselves (resident size after the rows
// were made, before the summary started).
//
// A second argument names another inner key column (say "name", 80 values) in place of code.
//
//   summary_bench [rows [inner key]]   (defaults 100000 code)
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "foundation/CapInfo.h"
#include "foundation/StringsList.h"
#include "platform/SysUtils.h"
#include "query/SummaryMod.h"

namespace {

constexpr int kCodes = 10000;
constexpr int kCategories = 20;

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "summary_bench: %s failed\n", what);
  std::exit(1);
}

// The eight texts of row i, as the record-table benchmark makes them.
class Rows {
 public:
  Rows() {
    for (const char* s : {"佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "山本", "中村", "小林", "加藤"})
      family_.push_back(Utf8ToSjis(s));
    for (const char* s : {"太郎", "花子", "一郎", "美咲", "健太", "陽子", "翔", "さくら"}) given_.push_back(Utf8ToSjis(s));
    for (const char* s : {"食品", "飲料", "日用品", "文具", "家電", "衣料", "書籍", "玩具", "寝具", "食器", "園芸", "工具",
                          "化粧品", "医薬品", "雑貨", "家具", "靴", "鞄", "時計", "楽器"})
      categories_.push_back(Utf8ToSjis(s));
    for (const char* s : {"至急", "確認済", "要連絡", "保留", "返品"}) notes_.push_back(Utf8ToSjis(s));
  }

  void Row(uint64_t i, std::vector<AnsiString>& out) const {
    const uint64_t h = Mix(i + 1);
    out.resize(8);
    out[0] = Format("%llu", static_cast<unsigned long long>(i + 1));
    out[1] = Format("%04d/%02d/%02d", 2015 + int(h % 10), 1 + int(h >> 8) % 12, 1 + int(h >> 16) % 28);
    out[2] = Format("C%05d", int((h >> 24) % kCodes));
    out[3] = categories_[size_t((h >> 40) % kCategories)];
    out[4] = Format("%d.%02d", int((h >> 20) % 100000), int(h % 100));
    out[5] = Format("%d", int((h >> 33) % 2001) - 1000);
    out[6] = family_[size_t((h >> 12) % family_.size())] + given_[size_t((h >> 44) % given_.size())];
    out[7] = (h >> 50) % 4 == 0 ? notes_[size_t((h >> 52) % notes_.size())] : AnsiString();
  }

 private:
  std::vector<AnsiString> family_, given_, categories_, notes_;
};

double ResidentMb() {
  long pages = 0, resident = 0;
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (!f || std::fscanf(f, "%ld %ld", &pages, &resident) != 2) Die("statm");
  std::fclose(f);
  return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double PeakMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;
}

// ---- SQLite's side -----------------------------------------------------------------------------

struct SqliteResult {
  double seconds = 0;
  long long outer = 0, inner = 0;  // result rows of the two levels
};

SqliteResult RunSqlite(const Rows& rows, uint64_t n, const std::string& key) {
  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK) Die("sqlite open");
  auto exec = [db](const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Die(sqlite3_errmsg(db));
  };
  exec("CREATE TABLE t(id INTEGER, date TEXT, code TEXT, category TEXT, amount REAL, qty INTEGER, name TEXT, note TEXT)");
  exec("BEGIN");
  sqlite3_stmt* insert = nullptr;
  if (sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?,?,?,?,?)", -1, &insert, nullptr) != SQLITE_OK) Die("prepare");
  std::vector<AnsiString> row;
  for (uint64_t i = 0; i < n; ++i) {
    rows.Row(i, row);
    sqlite3_bind_int64(insert, 1, std::strtoll(row[0].c_str(), nullptr, 10));
    sqlite3_bind_text(insert, 2, row[1].c_str(), int(row[1].size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 3, row[2].c_str(), int(row[2].size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 4, row[3].c_str(), int(row[3].size()), SQLITE_TRANSIENT);
    sqlite3_bind_double(insert, 5, std::strtod(row[4].c_str(), nullptr));
    sqlite3_bind_int64(insert, 6, std::strtoll(row[5].c_str(), nullptr, 10));
    sqlite3_bind_text(insert, 7, row[6].c_str(), int(row[6].size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(insert, 8, row[7].c_str(), int(row[7].size()), SQLITE_TRANSIENT);
    if (sqlite3_step(insert) != SQLITE_DONE) Die("insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  exec("COMMIT");

  SqliteResult result;
  auto groups = [&](const char* sql) {
    sqlite3_stmt* q = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &q, nullptr) != SQLITE_OK) Die(sqlite3_errmsg(db));
    long long count = 0;
    volatile double sink = 0;
    while (sqlite3_step(q) == SQLITE_ROW) {
      for (int c = 0; c < sqlite3_column_count(q); ++c) sink = sink + sqlite3_column_double(q, c);
      ++count;
    }
    sqlite3_finalize(q);
    return count;
  };
  const auto start = std::chrono::steady_clock::now();
  result.outer = groups("SELECT category, count(id), sum(amount) FROM t GROUP BY category ORDER BY category");
  const std::string inner = "SELECT category, " + key +
                            ", count(id), sum(amount), avg(amount), min(qty), max(qty) FROM t GROUP BY category, " +
                            key + " ORDER BY category, " + key;
  result.inner = groups(inner.c_str());
  result.seconds = Seconds(start);
  sqlite3_close(db);
  return result;
}

// Runs SQLite's side in a child and reads its result back through a pipe.
SqliteResult RunSqliteApart(const Rows& rows, uint64_t n, const std::string& key) {
  int fds[2];
  if (pipe(fds) != 0) Die("pipe");
  const pid_t child = fork();
  if (child < 0) Die("fork");
  if (child == 0) {
    close(fds[0]);
    const SqliteResult r = RunSqlite(rows, n, key);
    const double peak = PeakMb();
    if (write(fds[1], &r, sizeof r) != ssize_t(sizeof r) || write(fds[1], &peak, sizeof peak) != ssize_t(sizeof peak))
      _exit(1);
    _exit(0);
  }
  close(fds[1]);
  SqliteResult r;
  double peak = 0;
  const bool read_all = read(fds[0], &r, sizeof r) == ssize_t(sizeof r) && read(fds[0], &peak, sizeof peak) == ssize_t(sizeof peak);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!read_all || !WIFEXITED(status) || WEXITSTATUS(status) != 0) Die("sqlite child");
  std::printf("figure sqlite_peak_rss_mb %.1f MB\n", peak);
  return r;
}

// ---- Our side ----------------------------------------------------------------------------------

CCapInfo* Column(const char* name, int type, bool key, int method = 0) {
  auto* c = new CCapInfo;
  c->Name = name;
  c->Caption = name;
  c->Type = type;
  c->GroupKey = key;
  c->Aggregate = method;
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  const long long arg = argc > 1 ? std::atoll(argv[1]) : 100000;
  if (arg <= 0) {
    std::fprintf(stderr, "usage: %s [rows [inner key]]\n", argv[0]);
    return 2;
  }
  const uint64_t n = uint64_t(arg);
  const std::string key = argc > 2 ? argv[2] : "code";
  const char* const names[8] = {"id", "date", "code", "category", "amount", "qty", "name", "note"};
  if (key == "category" || std::find(names, names + 8, key) == names + 8) {
    std::fprintf(stderr, "summary_bench: no inner key column %s\n", key.c_str());
    return 2;
  }
  const Rows rows;
  const SqliteResult theirs = RunSqliteApart(rows, n, key);

  CCapInfoList source;
  const int types[8] = {1, 0, 0, 0, 2, 1, 0, 0};
  for (int i = 0; i < 8; ++i) source.Add(Column(names[i], types[i], false));
  CCapInfoList columns;
  columns.Add(Column("category", 0, true));
  columns.Add(Column("id", 0, false, 0));      // 件数
  columns.Add(Column("amount", 0, false, 4));  // 合計
  columns.Add(Column(key.c_str(), types[std::find(names, names + 8, key) - names], true));
  columns.Add(Column("id", 0, false, 0));      // 件数
  columns.Add(Column("amount", 0, false, 4));  // 合計
  columns.Add(Column("amount", 0, false, 5));  // 平均
  columns.Add(Column("qty", 0, false, 3));     // 範囲

  CStringsList records;
  std::vector<AnsiString> row;
  for (uint64_t i = 0; i < n; ++i) {
    rows.Row(i, row);
    auto* r = new TStringList;
    for (const AnsiString& text : row) r->Add(text);
    records.Add(r);
  }
  const double before = ResidentMb();

  CStringsList summary;
  double seconds = 0;
  int groups = 0;
  {
    CSummaryMod sum;
    sum.SetRecordRows(&records);
    sum.SetSummaryColumns(&summary, &columns, &source);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < records.Count(); ++i) sum.AddSummaryRecord(records.Row(i));
    sum.Calculate();
    seconds = Seconds(start);
    groups = summary.Count();
    sum.SetRecordRows(nullptr);
    sum.ResetSummary(nullptr, nullptr);
  }
  if (groups != theirs.inner) Die("the group counts differ from SQLite's");

  std::printf("figure rows %llu count\n", static_cast<unsigned long long>(n));
  std::printf("figure groups_by_category_and_%s %d count\n", key.c_str(), groups);
  std::printf("figure summary %.3f s\n", seconds);
  std::printf("figure sqlite_summary %.3f s\n", theirs.seconds);
  std::printf("ratio summary %.3f\n", seconds / theirs.seconds);
  std::printf("figure rows_mb %.1f MB\n", before);
  std::printf("figure extra_mb %.1f MB\n", PeakMb() - before);
  std::printf("peak_rss_mb %.1f\n", PeakMb());
  return 0;
}
