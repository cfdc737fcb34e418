// Record tables against SQLite on the same rows, in one process: N inserts of eight columns (an
// id, a date, a code of 10,000 values, a category of 20, a real amount, an integer, a Japanese
// name and a note), then 100,000 equality look-ups on the code column reading every matching row,
// then the distinct values of the code column.
//
// The table takes its rows through CKvRecord::InsertEx and answers through AddCond / GetRec and
// GetEnum; SQLite has an index on every one of the eight columns, journal_mode=OFF and
// synchronous=OFF. Each phase is one unit of work on both sides: one transaction for SQLite, one
// held run of the table's file for the table (the inserts too, though they come in slices).
//
// Fair terms: both sides get the same memory for the blocks they keep: the engine's block cache
// of 36 MB, and SQLite's page cache set to the same (PRAGMA cache_size = -36864). Both read every
// column of every matching row in its own form: the table decodes each record into its values,
// SQLite fetches each column by its declared type (integers and the real as numbers, the texts
// with their lengths). SQLite runs in a child process, so that peak_rss_mb is the table's own
// memory (sqlite_peak_rss is the child's). Both stores exist side by side and the inserts and the
// look-ups take turns in ten slices, so a busy moment of the machine and the state of the
// processor's caches fall on both alike; the enumeration's best time of three rounds counts.
//
//   kvrecord_bench [records [lookups]]   (defaults 100000 100000)
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
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
#include "bench/EightColumnRows.h"
#include "store/CondOp.h"
#include "store/KorvaCore.h"
#include "store/KvRecord.h"

namespace {

// The program's shared libraries take about 15 MB before any work; a block cache of 36 MB (the
// engine's default is 48 MB) keeps the whole run within 64 MB. SQLite's page cache gets the same.
constexpr int kCacheMb = 36;

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "kvrecord_bench: %s failed\n", what);
  std::exit(1);
}

// The look-ups j of a slice; the same codes on both sides.
AnsiString LookupCode(int j) { return CodeText(int(uint64_t(j) * 7919 % kCodes)); }

// The record table's side; each phase is one held run of the table's file.
class TableSide {
 public:
  explicit TableSide(const std::string& path) {
    table_.SetFileName(path);
    for (int c = 0; c < 8; ++c)
      if (!table_.AddColumn(kColumns[c], kTypes[c], 20)) Die("table column");
  }
  // Rows [from, to) of the one run of inserts; the run ends, and writes what it holds, with the
  // last slice.
  uint64_t Insert(const Rows& rows, uint64_t from, uint64_t to, bool last) {
    TStringList names, texts;
    for (const char* c : kColumns) names.Add(c);
    for (int c = 0; c < 8; ++c) texts.Add(AnsiString());
    std::vector<AnsiString> row;
    if (!run_) run_ = std::make_unique<CKorvaHold>(*table_.File());
    for (uint64_t i = from; i < to; ++i) {
      rows.Row(i, row);
      for (int c = 0; c < 8; ++c) texts.SetString(c, row[size_t(c)]);
      if (!table_.InsertEx(names, texts, nullptr, 0)) Die("table insert");
    }
    if (last) run_.reset();
    return to - from;
  }
  uint64_t Lookups(int from, int to) {
    uint64_t found = 0;
    CKvrValueList values;
    CKorvaHold run(*table_.File());
    for (int j = from; j < to; ++j) {
      table_.ClearCond();
      table_.AddCond("code", COND_EQL, LookupCode(j));
      table_.AddCondEnd();
      while (table_.GetRec(values)) {
        size_t bytes = 0;
        for (int c = 1; c < values.Count(); ++c) bytes += size_t(values.GetAt(c)->StoredLength());
        found += values.Count() == 9 && bytes > 0 ? 1 : 0;
      }
    }
    return found;
  }
  uint64_t Distinct() {
    CKorvaHold run(*table_.File());
    TStringList distinct;
    table_.ClearCond();
    table_.AddEnumCol("code");
    table_.AddCondEnd();
    table_.GetEnum("code", distinct);
    return uint64_t(distinct.Count());
  }

 private:
  CKvRecord table_;
  std::unique_ptr<CKorvaHold> run_;
};

// SQLite's side; each phase is one transaction.
class SqliteSide {
 public:
  explicit SqliteSide(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) Die("sqlite open");
    Exec("PRAGMA journal_mode=OFF");
    Exec("PRAGMA synchronous=OFF");
    Exec(("PRAGMA cache_size=-" + std::to_string(kCacheMb * 1024)).c_str());
    Exec("CREATE TABLE t(id INTEGER, date TEXT, code TEXT, category TEXT, amount REAL, qty INTEGER, name TEXT, note TEXT)");
    for (const char* c : kColumns) Exec(("CREATE INDEX t_" + std::string(c) + " ON t(" + c + ")").c_str());
  }
  ~SqliteSide() { sqlite3_close(db_); }
  // Rows [from, to) of the one transaction of inserts, which commits with the last slice.
  uint64_t Insert(const Rows& rows, uint64_t from, uint64_t to, bool last) {
    std::vector<AnsiString> row;
    if (!insert_) {
      Exec("BEGIN");
      insert_ = Prepare("INSERT INTO t VALUES(?, ?, ?, ?, ?, ?, ?, ?)");
    }
    sqlite3_stmt* insert = insert_;
    for (uint64_t i = from; i < to; ++i) {
      rows.Row(i, row);
      sqlite3_bind_int64(insert, 1, sqlite3_int64(std::strtoull(row[0].c_str(), nullptr, 10)));
      for (int c : {1, 2, 3, 6, 7}) sqlite3_bind_text(insert, c + 1, row[size_t(c)].c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_double(insert, 5, std::strtod(row[4].c_str(), nullptr));
      sqlite3_bind_int(insert, 6, std::atoi(row[5].c_str()));
      if (sqlite3_step(insert) != SQLITE_DONE) Die("sqlite insert");
      sqlite3_reset(insert);
    }
    if (last) {
      sqlite3_finalize(insert_);
      insert_ = nullptr;
      Exec("COMMIT");
    }
    return to - from;
  }
  uint64_t Lookups(int from, int to) {
    uint64_t found = 0;
    Exec("BEGIN");
    sqlite3_stmt* lookup = Prepare("SELECT * FROM t WHERE code = ?");
    for (int j = from; j < to; ++j) {
      const AnsiString code = LookupCode(j);
      sqlite3_bind_text(lookup, 1, code.c_str(), -1, SQLITE_STATIC);
      while (sqlite3_step(lookup) == SQLITE_ROW) {
        sqlite3_column_int64(lookup, 0);
        sqlite3_column_double(lookup, 4);
        sqlite3_column_int(lookup, 5);
        size_t bytes = 0;
        for (int c : {1, 2, 3, 6, 7}) {
          sqlite3_column_text(lookup, c);
          bytes += size_t(sqlite3_column_bytes(lookup, c));
        }
        found += bytes > 0 ? 1 : 0;
      }
      sqlite3_reset(lookup);
    }
    sqlite3_finalize(lookup);
    Exec("COMMIT");
    return found;
  }
  uint64_t Distinct() {
    Exec("BEGIN");
    sqlite3_stmt* distinct = Prepare("SELECT DISTINCT code FROM t");
    std::vector<std::string> codes;
    while (sqlite3_step(distinct) == SQLITE_ROW)
      codes.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(distinct, 0)));
    sqlite3_finalize(distinct);
    Exec("COMMIT");
    return codes.size();
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
  sqlite3_stmt* insert_ = nullptr;
};

struct Times {
  double insert = 0, lookup = 0, distinct = 1e30;
  uint64_t found = 0, values = 0;
};

// Runs f and adds the seconds it took to total.
template <class F>
auto Timed(double& total, F f) {
  const auto start = std::chrono::steady_clock::now();
  auto result = f();
  total += Seconds(start);
  return result;
}

double PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;
}

void WriteAll(int fd, const void* p, size_t n) {
  if (::write(fd, p, n) != ssize_t(n)) Die("pipe write");
}

bool ReadAll(int fd, void* p, size_t n) {
  auto* b = static_cast<char*>(p);
  while (n > 0) {
    const ssize_t got = ::read(fd, b, n);
    if (got <= 0) return false;
    b += got;
    n -= size_t(got);
  }
  return true;
}

// SQLite's side in a child process, so that its page cache does not count in this process's
// peak memory, the figure the table is held to. The parent hands it one step at a time and waits
// for the step's time and answer: the two never run at once.
class SqliteProcess {
 public:
  enum Op : int { kInsert, kLookups, kDistinct, kQuit };

  SqliteProcess(const std::string& path, const Rows& rows, uint64_t n) {
    int down[2], up[2];
    if (::pipe(down) != 0 || ::pipe(up) != 0) Die("pipe");
    pid_ = ::fork();
    if (pid_ < 0) Die("fork");
    if (pid_ == 0) {
      ::close(down[1]);
      ::close(up[0]);
      Serve(down[0], up[1], path, rows, n);
    }
    ::close(down[0]);
    ::close(up[1]);
    to_ = down[1];
    from_ = up[0];
  }
  ~SqliteProcess() {
    const Command quit{kQuit, 0, 0};
    WriteAll(to_, &quit, sizeof quit);
    ::close(to_);
    ::close(from_);
    ::waitpid(pid_, nullptr, 0);
  }

  // Runs one step in the child; adds its seconds to total and answers what it found.
  uint64_t Run(double& total, Op op, int from = 0, int to = 0) {
    const Command c{op, from, to};
    WriteAll(to_, &c, sizeof c);
    Reply r{};
    if (!ReadAll(from_, &r, sizeof r)) Die("sqlite process");
    total += r.seconds;
    peak_mb_ = r.peak_mb;
    return r.answer;
  }
  double PeakMb() const { return peak_mb_; }

 private:
  struct Command {
    int op, from, to;
  };
  struct Reply {
    double seconds;
    uint64_t answer;
    double peak_mb;
  };

  [[noreturn]] static void Serve(int in, int out, const std::string& path, const Rows& rows, uint64_t n) {
    {
      SqliteSide sqlite(path);
      Command c{};
      while (ReadAll(in, &c, sizeof c) && c.op != kQuit) {
        Reply r{};
        switch (c.op) {
          case kInsert:
            r.answer = Timed(r.seconds, [&] { return sqlite.Insert(rows, uint64_t(c.from), uint64_t(c.to), uint64_t(c.to) == n); });
            break;
          case kLookups: r.answer = Timed(r.seconds, [&] { return sqlite.Lookups(c.from, c.to); }); break;
          default: r.answer = Timed(r.seconds, [&] { return sqlite.Distinct(); }); break;
        }
        r.peak_mb = PeakRssMb();
        WriteAll(out, &r, sizeof r);
      }
    }
    ::_exit(0);
  }

  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
  double peak_mb_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const uint64_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
  const int lookups = argc > 2 ? std::atoi(argv[2]) : 100000;
  const std::string dir =
      std::filesystem::temp_directory_path() / ("kvrecord-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const Rows rows;
  db_cache_limit(size_t(kCacheMb) << 20);
  Times ours, theirs;
  double sqlitePeak = 0;
  {
    SqliteProcess sqlite(dir + "/bench.sqlite", rows, n);
    TableSide table(dir + "/bench.kvr");
    constexpr int kSlices = 10;
    for (int k = 0; k < kSlices; ++k) {
      const uint64_t from = n * uint64_t(k) / kSlices, to = n * uint64_t(k + 1) / kSlices;
      Timed(ours.insert, [&] { return table.Insert(rows, from, to, k + 1 == kSlices); });
      sqlite.Run(theirs.insert, SqliteProcess::kInsert, int(from), int(to));
    }
    for (int k = 0; k < kSlices; ++k) {
      const int from = int(int64_t(lookups) * k / kSlices), to = int(int64_t(lookups) * (k + 1) / kSlices);
      ours.found += Timed(ours.lookup, [&] { return table.Lookups(from, to); });
      theirs.found += sqlite.Run(theirs.lookup, SqliteProcess::kLookups, from, to);
    }
    for (int round = 0; round < 3; ++round) {
      double t = 0;
      ours.values = Timed(t, [&] { return table.Distinct(); });
      ours.distinct = std::min(ours.distinct, t);
      t = 0;
      theirs.values = sqlite.Run(t, SqliteProcess::kDistinct);
      theirs.distinct = std::min(theirs.distinct, t);
    }
    sqlitePeak = sqlite.PeakMb();
  }
  std::filesystem::remove_all(dir);
  if (ours.found != theirs.found || ours.values != theirs.values) {
    std::fprintf(stderr, "kvrecord_bench: answers differ (rows %llu / %llu, values %llu / %llu)\n",
                 static_cast<unsigned long long>(ours.found), static_cast<unsigned long long>(theirs.found),
                 static_cast<unsigned long long>(ours.values), static_cast<unsigned long long>(theirs.values));
    return 1;
  }

  std::printf("figure records %llu count\n", static_cast<unsigned long long>(n));
  std::printf("figure lookups %d count\n", lookups);
  std::printf("figure rows_found %llu count\n", static_cast<unsigned long long>(ours.found));
  std::printf("figure distinct_codes %llu count\n", static_cast<unsigned long long>(ours.values));
  const struct {
    const char* name;
    double ours, theirs;
  } phases[] = {{"insert", ours.insert, theirs.insert},
                {"lookup", ours.lookup, theirs.lookup},
                {"distinct", ours.distinct, theirs.distinct}};
  for (const auto& p : phases) {
    std::printf("figure table_%s %.3f s\n", p.name, p.ours);
    std::printf("figure sqlite_%s %.3f s\n", p.name, p.theirs);
    std::printf("ratio %s %.3f\n", p.name, p.ours / p.theirs);
  }
  std::printf("figure sqlite_peak_rss %.1f MB\n", sqlitePeak);
  std::printf("peak_rss_mb %.1f\n", PeakRssMb());
  return 0;
}
