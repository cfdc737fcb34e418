// The KORVA engine against SQLite on the same work, in one process: N inserts in random key order,
// N seeks of existing keys in another random order, and one walk over all records in key order.
// Keys are 8 bytes, records 100 bytes (the key and 92 bytes of payload). SQLite keeps a rowid
// table with the key as INTEGER PRIMARY KEY, one transaction per phase, journal_mode=OFF and
// synchronous=OFF, its default 4096-byte pages and cache; the engine 1024-byte key blocks, one
// held run per phase and its default cache, once with the 2048-byte data blocks of the record
// tables and once with 4096-byte data blocks (SQLite's page size). Each round builds all three
// stores afresh; the best time of each phase over the rounds counts. Figures and ratios carry the
// data block size in their names (korva_walk_2048, ratio walk_2048).
//
//   korva_bench [records [rounds]]   (defaults 100000 3)
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "store/Kvobj.h"

namespace {

constexpr int kRecord = 100, kKey = 8;

void MakeRecord(uint64_t key, uint8_t* out) {
  for (int i = 0; i < kKey; ++i) out[i] = uint8_t(key >> (56 - 8 * i));
  for (int i = kKey; i < kRecord; ++i) out[i] = uint8_t(key >> (i % 8 * 8)) ^ uint8_t(i);
}

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "korva_bench: %s failed\n", what);
  std::exit(1);
}

struct Times {
  double insert = 0, seek = 0, walk = 0;
};


// The work: key i of n (distinct, in random key order), and the order of the seeks: a stride
// through 0..n-1 with a step that shares no factor with n. Nothing is kept in memory.
struct Work {
  size_t n, stride;
  explicit Work(size_t count) : n(count), stride(1000003) {
    while (std::gcd(stride, n) != 1) stride += 2;
  }
  uint64_t Key(size_t i) const { return Mix(i + 1) | 1; }  // never the all-zero key
  uint64_t Probe(size_t j) const { return Key(size_t((unsigned __int128)j * stride % n)); }
};

Times RunKorva(const std::string& path, const Work& w, int dataBlock) {
  Times t;
  CKorva db;
  const int16_t table[] = {1, kKey};
  if (!db.Create(path, 1024, dataBlock, table) || !db.Open(path) || !db.SelectKey(1)) Die("korva create");
  std::vector<uint8_t> record(kRecord), buffer(size_t(db.DataBlockCap()));
  auto start = std::chrono::steady_clock::now();
  {
    CKorvaHold hold(db);
    for (size_t i = 0; i < w.n; ++i) {
      MakeRecord(w.Key(i), record.data());
      if (!db.Insert(record.data(), kRecord)) Die("korva insert");
    }
  }
  t.insert = Seconds(start);
  start = std::chrono::steady_clock::now();
  {
    CKorvaHold hold(db);
    for (size_t j = 0; j < w.n; ++j) {
      MakeRecord(w.Probe(j), record.data());
      if (!db.Seek(record.data(), buffer.data()) || std::memcmp(buffer.data(), record.data(), kRecord) != 0)
        Die("korva seek");
    }
  }
  t.seek = Seconds(start);
  start = std::chrono::steady_clock::now();
  size_t seen = 0;
  {
    CKorvaHold hold(db);
    for (bool more = db.First(buffer.data()); more; more = db.Next(buffer.data(), buffer.data())) ++seen;
  }
  t.walk = Seconds(start);
  if (seen != w.n || !db.Close()) Die("korva walk");
  return t;
}

Times RunSqlite(const std::string& path, const Work& w) {
  Times t;
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) Die("sqlite open");
  auto exec = [&](const char* sql) {
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Die(sql);
  };
  exec("PRAGMA journal_mode=OFF");
  exec("PRAGMA synchronous=OFF");
  exec("CREATE TABLE t(k INTEGER PRIMARY KEY, v BLOB)");
  auto prepare = [&](const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) != SQLITE_OK) Die(sql);
    return s;
  };
  // Signed order of the flipped key is the unsigned order of the key.
  auto rowid = [](uint64_t k) { return sqlite3_int64(k ^ 0x8000000000000000ULL); };
  std::vector<uint8_t> record(kRecord);

  auto start = std::chrono::steady_clock::now();
  exec("BEGIN");
  sqlite3_stmt* insert = prepare("INSERT INTO t(k, v) VALUES(?, ?)");
  for (size_t i = 0; i < w.n; ++i) {
    const uint64_t k = w.Key(i);
    MakeRecord(k, record.data());
    sqlite3_bind_int64(insert, 1, rowid(k));
    sqlite3_bind_blob(insert, 2, record.data() + kKey, kRecord - kKey, SQLITE_STATIC);
    if (sqlite3_step(insert) != SQLITE_DONE) Die("sqlite insert");
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  exec("COMMIT");
  t.insert = Seconds(start);

  start = std::chrono::steady_clock::now();
  exec("BEGIN");
  sqlite3_stmt* seek = prepare("SELECT v FROM t WHERE k = ?");
  for (size_t j = 0; j < w.n; ++j) {
    const uint64_t k = w.Probe(j);
    MakeRecord(k, record.data());
    sqlite3_bind_int64(seek, 1, rowid(k));
    if (sqlite3_step(seek) != SQLITE_ROW || sqlite3_column_bytes(seek, 0) != kRecord - kKey ||
        std::memcmp(sqlite3_column_blob(seek, 0), record.data() + kKey, kRecord - kKey) != 0)
      Die("sqlite seek");
    sqlite3_reset(seek);
  }
  sqlite3_finalize(seek);
  exec("COMMIT");
  t.seek = Seconds(start);

  start = std::chrono::steady_clock::now();
  exec("BEGIN");
  sqlite3_stmt* walk = prepare("SELECT k, v FROM t ORDER BY k");
  size_t seen = 0, bytes = 0;
  while (sqlite3_step(walk) == SQLITE_ROW) {
    const sqlite3_int64 k = sqlite3_column_int64(walk, 0);
    bytes += size_t(sqlite3_column_bytes(walk, 1)) + sizeof k;
    std::memcpy(record.data() + kKey, sqlite3_column_blob(walk, 1), kRecord - kKey);
    ++seen;
  }
  sqlite3_finalize(walk);
  exec("COMMIT");
  t.walk = Seconds(start);
  if (seen != w.n || bytes == 0) Die("sqlite walk");
  sqlite3_close(db);
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t n = argc > 1 ? size_t(std::strtoull(argv[1], nullptr, 10)) : 100000;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const Work work(n);
  const std::string dir = std::filesystem::temp_directory_path() / ("korva-bench-" + std::to_string(getpid()));
  constexpr int kBlocks[] = {2048, 4096};
  constexpr int kStores = 3;  // SQLite, then the engine with each data block size

  // Each round builds every store afresh, taking turns at going first; the best time of each
  // phase counts, so that a busy moment of the machine falls on no side alone.
  Times best[kStores];
  for (Times& t : best) t = {1e30, 1e30, 1e30};
  auto keep_best = [](Times& b, const Times& t) {
    b.insert = std::min(b.insert, t.insert);
    b.seek = std::min(b.seek, t.seek);
    b.walk = std::min(b.walk, t.walk);
  };
  for (int round = 0; round < rounds; ++round) {
    std::filesystem::create_directories(dir);
    for (int turn = 0; turn < kStores; ++turn) {
      const int store = (turn + round) % kStores;
      keep_best(best[store], store == 0 ? RunSqlite(dir + "/bench.sqlite", work)
                                        : RunKorva(dir + "/bench.kvr", work, kBlocks[store - 1]));
    }
    std::filesystem::remove_all(dir);
  }

  std::printf("figure records %zu count\n", n);
  const Times& theirs = best[0];
  const struct {
    const char* name;
    double Times::*phase;
  } phases[] = {{"insert", &Times::insert}, {"seek", &Times::seek}, {"walk", &Times::walk}};
  for (const auto& p : phases) {
    std::printf("figure sqlite_%s %.3f s\n", p.name, theirs.*p.phase);
    for (int i = 0; i < 2; ++i) {
      const double ours = best[i + 1].*p.phase;
      std::printf("figure korva_%s_%d %.3f s\n", p.name, kBlocks[i], ours);
      std::printf("ratio %s_%d %.3f\n", p.name, kBlocks[i], ours / (theirs.*p.phase));
    }
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_mb %.1f\n", double(usage.ru_maxrss) / 1024.0);
  return 0;
}
