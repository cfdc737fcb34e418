// Two real processes on one KORVA file: the lock on the first byte, the header's change counter
// and the cached blocks keep both correct.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "store/KorvaBehind.h"
#include "store/KorvaCore.h"
#include "tests/store/KorvaTestFiles.h"
#include "tests/support/TestSupport.h"

using namespace korva_test;

namespace {

// Runs work in a child process that starts when the returned pipe end is written to; the child
// ends with work's result as its exit status.
class Child {
 public:
  template <class Work>
  explicit Child(Work work) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      char go;
      ::close(fds[1]);
      const int status = ::read(fds[0], &go, 1) == 1 ? work() : 99;
      ::_exit(status);
    }
    ::close(fds[0]);
    go_ = fds[1];
  }
  void Start() {
    const char go = 1;
    EXPECT_EQ(::write(go_, &go, 1), 1);
  }
  int Wait() {
    int status = -1;
    ::close(go_);
    if (pid_ > 0) ::waitpid(pid_, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
  }

 private:
  pid_t pid_ = -1;
  int go_ = -1;
};

std::vector<std::string> Walk(KorvaFile* f) {
  std::vector<std::string> records;
  char buffer[600];
  for (int16_t len = db_first(f, buffer); len >= 0; len = db_next_pos(f, buffer)) records.emplace_back(buffer, size_t(len));
  return records;
}

int InsertEvery(const std::string& path, uint32_t first, uint32_t count) {
  KorvaFile* f = db_open(path.c_str());
  if (!f) return 1;
  int failures = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const std::string r = Record(first + 2 * i, 4, 40 + int(i % 60));
    // Now and then a few records in one held run.
    const bool run = i % 25 == 0;
    if (run && db_hold(f) < 0) ++failures;
    if (db_insert(f, r.data(), int16_t(r.size())) < 0) ++failures;
    if (run && db_release(f) < 0) ++failures;
  }
  return (db_close(f) < 0 ? 1 : 0) + (failures ? 2 : 0);
}

TEST(KorvaProcesses, InsertIntoOneFileAtOnce) {
  TempDir dir;
  const std::string path = dir.File("shared.kvr");
  ASSERT_EQ(db_create_one(path.c_str(), 0, 4, 1024, 2048), 0);
  constexpr uint32_t kEach = 1500;
  Child child([&] { return InsertEvery(path, 1, kEach); });
  child.Start();
  EXPECT_EQ(InsertEvery(path, 2, kEach), 0);
  EXPECT_EQ(child.Wait(), 0);
  KorvaFile* f = db_open(path.c_str());
  ASSERT_NE(f, nullptr);
  char buffer[600];
  for (uint32_t n = 1; n <= 2 * kEach; ++n) EXPECT_EQ(db_read(f, Key(n, 4).data(), buffer), 40 + int((n - 1) / 2 % 60)) << n;
  EXPECT_EQ(db_close(f), 0);
  KorvaCheckReport report;
  EXPECT_EQ(db_check(path.c_str(), &report), int(2 * kEach));
  EXPECT_EQ(report.accounted, report.allocated);
}

// While another process inserts and deletes records between them (splitting, merging and removing
// blocks), every walk sees the records that stay, in order, and nothing else goes wrong: a read
// keeps the lock until it is done with the blocks it reads.
TEST(KorvaProcesses, ReadsStayConsistentWhileAnotherWrites) {
  TempDir dir;
  const std::string path = dir.File("churn.kvr");
  ASSERT_EQ(db_create_one(path.c_str(), 0, 4, 128, 256), 0);
  KorvaFile* f = db_open(path.c_str());
  for (uint32_t n = 2; n <= 400; n += 2) {
    const std::string r = Record(n, 4, 30);
    ASSERT_EQ(db_insert(f, r.data(), 30), 0);
  }
  Child child([&] {
    KorvaFile* w = db_open(path.c_str());
    if (!w) return 1;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
    for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
      for (uint32_t n = 1; n < 400; n += 2) {
        const std::string r = Record(n, 4, 20 + round % 30);
        if ((round % 2 ? db_delete(w, Key(n, 4).data()) : db_insert(w, r.data(), int16_t(r.size()))) < 0) return 2;
      }
    }
    return db_close(w) < 0 ? 3 : 0;
  });
  child.Start();
  char buffer[600];
  int walks = 0;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
  while (std::chrono::steady_clock::now() < end) {
    uint32_t expected = 2, last = 0;
    for (int16_t len = db_first(f, buffer); len >= 0; len = db_next_pos(f, buffer)) {
      const uint32_t n = korva::Get32(reinterpret_cast<uint8_t*>(buffer));
      ASSERT_GT(n, last);
      last = n;
      if (n % 2 == 0) {
        ASSERT_EQ(n, expected);
        expected += 2;
      }
    }
    ASSERT_EQ(db_errdetail, kvNoNext);
    ASSERT_EQ(expected, 402u);
    ++walks;
  }
  EXPECT_EQ(child.Wait(), 0);
  EXPECT_GT(walks, 0);
  // What this process keeps in memory is what the other one left on disk.
  KorvaFile* fresh = db_open(path.c_str());
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(Walk(f), Walk(fresh));
  EXPECT_EQ(db_close(fresh), 0);
  EXPECT_EQ(db_close(f), 0);
  EXPECT_GE(db_check(path.c_str()), 200);
}

// A process whose cache overflows in the middle of a held run and that dies inside the run leaves
// part of the run on the disk; the next process to take the lock puts the file back as it was
// before that run, and one that keeps every block of that state in memory goes on with them.
TEST(KorvaProcesses, DyingInsideARunLeavesAUsableFile) {
  TempDir dir;
  const std::string path = dir.File("crash.kvr");
  ASSERT_EQ(db_create_one(path.c_str(), 0, 4, 1024, 2048), 0);
  KorvaFile* f = db_open(path.c_str());
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(db_hold(f), 0);
  for (uint32_t n = 1; n <= 2000; ++n) ASSERT_EQ(db_insert(f, Record(3 * n, 4, 100).data(), 100), 0);
  ASSERT_EQ(db_release(f), 0);
  ASSERT_EQ(Walk(f).size(), 2000u);
  Child child([&] {
    db_cache_limit(64 << 10);
    KorvaFile* w = db_open(path.c_str());
    if (!w || db_hold(w) < 0) return 1;
    for (uint32_t n = 1; n <= 2000; ++n)
      if (db_insert(w, Record(3 * n + 1, 4, 100).data(), 100) < 0) return 2;
    WbCollect();  // its last flush on the disk, as when it dies between two flushes
    return 0;     // ends inside the run
  });
  child.Start();
  ASSERT_EQ(child.Wait(), 0);
  const uint32_t reached = korva::Get32(ReadAt(path, korva::kHdrRecords, 4).data());
  EXPECT_GT(reached, 2000u);
  for (uint32_t n = 1; n <= 200; ++n) ASSERT_EQ(db_insert(f, Record(3 * n + 2, 4, 100).data(), 100), 0);
  ASSERT_EQ(db_close(f), 0);
  EXPECT_EQ(db_check(path.c_str()), 2200);
  KorvaFile* fresh = db_open(path.c_str());
  ASSERT_NE(fresh, nullptr);
  const std::vector<std::string> all = Walk(fresh);
  EXPECT_EQ(all.size(), 2200u);
  std::set<uint32_t> keys;
  for (const std::string& r : all) keys.insert(korva::Get32(reinterpret_cast<const uint8_t*>(r.data())));
  for (uint32_t n = 1; n <= 2000; ++n) ASSERT_TRUE(keys.count(3 * n)) << n;
  for (uint32_t n = 1; n <= 200; ++n) ASSERT_TRUE(keys.count(3 * n + 2)) << n;
  EXPECT_EQ(db_close(fresh), 0);
}

// A run whose writes stop part way (here the file may not be written at or past one block) is
// taken back whole by the process that failed it, before it lets the lock go.
TEST(KorvaProcesses, RunFailingPartWayKeepsOthersAndRecords) {
  using namespace korva;
  TempDir dir;
  const std::string path = dir.File("partial.kvr");
  ASSERT_EQ(db_create_one(path.c_str(), 0, 4, 128, 256), 0);
  KorvaFile* f = db_open(path.c_str());
  ASSERT_NE(f, nullptr);
  for (uint32_t n = 10; n <= 400; n += 10) ASSERT_EQ(db_insert(f, Record(n, 4, 20).data(), 20), 0);
  // Splitting the first block puts a block with the highest address in front of one made earlier.
  for (uint32_t n = 11; n <= 19; ++n) ASSERT_EQ(db_insert(f, Record(n, 4, 20).data(), 20), 0);
  const std::vector<uint32_t> chain = Chain(path, FirstDataBlock(512, 128, 256, 1));
  size_t i = 0;
  while (i + 1 < chain.size() && chain[i] < chain[i + 1]) ++i;
  ASSERT_LT(i + 1, chain.size());
  const uint32_t high = chain[i], later = chain[i + 1];
  ASSERT_EQ(high + 256, Get32(ReadAt(path, kHdrEnd, 4).data()));
  const std::vector<uint8_t> b = ReadBlock(path, later, 256);
  std::vector<uint32_t> doomed;
  for (int k = 0, off = kHeadSize; k < Get16(b.data() + kBlkCount); ++k, off += 2 + Get16(b.data() + off))
    if (k > 0) doomed.push_back(Get32(b.data() + off + 2));
  const uint32_t low_key = Get32(ReadBlock(path, chain[0], 256).data() + kHeadSize + 2 + 4 + 2);
  const std::vector<std::string> before = Walk(f);
  const std::string changed = Record(low_key, 4, 20, 5);
  Child child([&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{high, high};
    KorvaFile* w = db_open(path.c_str());
    if (!w || ::setrlimit(RLIMIT_FSIZE, &limit) != 0 || db_hold(w) < 0) return 1;
    if (db_update(w, changed.data(), 20) < 0) return 2;
    for (uint32_t n : doomed) {
      if (db_delete(w, Key(n, 4).data()) < 0) return 3;
      if (KorvaPage* p = w->pages.Find(later); p && p->head_only) break;
    }
    return db_release(w) == -1 && db_errdetail == EFBIG ? 0 : 4;
  });
  child.Start();
  ASSERT_EQ(child.Wait(), 0);
  char buffer[600];
  ASSERT_EQ(db_read(f, Key(low_key, 4).data(), buffer), 20);
  EXPECT_EQ(std::string(buffer, 20), Record(low_key, 4, 20));
  ASSERT_EQ(db_close(f), 0);
  KorvaFile* fresh = db_open(path.c_str());
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(Walk(fresh), before);
  EXPECT_EQ(db_close(fresh), 0);
  EXPECT_EQ(db_check(path.c_str()), int(before.size()));
}

// A file of small blocks holding the records 10, 20 .. 400; its end address.
uint32_t FortyRecords(const std::string& path) {
  EXPECT_EQ(db_create_one(path.c_str(), 0, 4, 128, 256), 0);
  KorvaFile* f = db_open(path.c_str());
  if (!f) {
    ADD_FAILURE() << path;
    return 0;
  }
  for (uint32_t n = 10; n <= 400; n += 10) EXPECT_EQ(db_insert(f, Record(n, 4, 20).data(), 20), 0);
  EXPECT_EQ(db_close(f), 0);
  return korva::Get32(ReadAt(path, korva::kHdrEnd, 4).data());
}

// In a child: a cache of a few blocks, and no file may grow past end and 40 blocks more.
bool FewBlocksLittleRoom(uint32_t end) {
  std::signal(SIGXFSZ, SIG_IGN);
  db_cache_limit(24 * 256);
  const rlimit limit{end + 40 * 256, end + 40 * 256};
  return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// Writes that fail behind a held run (here past a size limit, some flushes into it) fail the run:
// an operation after them says so, so do the run's later operations and its end, and the records
// from before the run stay.
TEST(KorvaProcesses, WritesFailingBehindARunFailIt) {
  using namespace korva;
  TempDir dir;
  const std::string path = dir.File("behind.kvr");
  const uint32_t end = FortyRecords(path);
  Child child([&] {
    KorvaFile* w = db_open(path.c_str());
    if (!w || !FewBlocksLittleRoom(end) || db_hold(w) < 0) return 1;
    int flushes = 0;
    bool failed = false;
    for (uint32_t n = 1000; n < 9000 && !failed; ++n) {
      const uint32_t before = g_wb_serial;
      failed = db_insert(w, Record(n, 4, 20).data(), 20) < 0;
      if (g_wb_serial != before && g_wb_serial != 0) ++flushes;
    }
    if (!failed) return 2;
    if (db_errdetail != EFBIG) return 3;
    char buffer[600];
    if (db_insert(w, Record(9500, 4, 20).data(), 20) == 0 || db_read(w, Key(10, 4).data(), buffer) >= 0) return 4;
    if (db_release(w) != -1 || db_errdetail != EFBIG) return 5;
    // The next run starts again from the disk.
    if (db_read(w, Key(10, 4).data(), buffer) != 20) return 6;
    return flushes > 1 ? 0 : 7;
  });
  child.Start();
  ASSERT_EQ(child.Wait(), 0);
  KorvaFile* fresh = db_open(path.c_str());
  ASSERT_NE(fresh, nullptr);
  char buffer[600];
  for (uint32_t n = 10; n <= 400; n += 10) ASSERT_EQ(db_read(fresh, Key(n, 4).data(), buffer), 20) << n;
  EXPECT_EQ(db_close(fresh), 0);
}

// A failed write behind one file's run that another file's flush or run end collects still fails
// that run: its next operation and its end report the write's error, nothing runs on its blocks.
TEST(KorvaProcesses, WritesFailingBehindARunFailItWhoeverCollectsThem) {
  using namespace korva;
  TempDir dir;
  const std::string a = dir.File("a.kvr"), b = dir.File("b.kvr");
  const uint32_t end = FortyRecords(a);
  ASSERT_EQ(db_create_one(b.c_str(), 0, 4, 128, 256), 0);
  Child child([&] {
    KorvaFile* fa = db_open(a.c_str());
    KorvaFile* fb = db_open(b.c_str());
    if (!fa || !fb || !FewBlocksLittleRoom(end) || db_hold(fa) < 0) return 1;
    for (uint32_t n = 1000; n < 9000; ++n) {
      const uint32_t before = g_wb_serial;
      if (db_insert(fa, Record(n, 4, 20).data(), 20) < 0) return 2;  // B should collect first
      if (g_wb_serial == before || g_wb_serial == 0) continue;
      // Each flush of A is collected by a run of B.
      if (db_insert(fb, Record(n, 4, 20).data(), 20) < 0) return 3;
      if (fa->run_failed_class == 0) continue;
      char buffer[600];
      if (db_insert(fa, Record(9500, 4, 20).data(), 20) == 0 || db_errdetail != EFBIG) return 4;
      if (db_read(fa, Key(10, 4).data(), buffer) >= 0) return 5;
      return db_release(fa) == -1 && db_errdetail == EFBIG ? 0 : 6;
    }
    return 7;
  });
  child.Start();
  ASSERT_EQ(child.Wait(), 0);
}

// A program that ends in the middle of a held run, with a flush still being written, ends
// normally, and what it handed over is on the disk; the next opening takes the unfinished run back.
TEST(KorvaProcesses, EndingWhileAFlushIsWrittenWaitsForIt) {
  TempDir dir;
  const std::string path = dir.File("exit.kvr");
  ASSERT_EQ(db_create_one(path.c_str(), 0, 4, 1024, 2048), 0);
  Child child([&] {
    db_cache_limit(64 << 10);
    g_wb_pause_us = 2000;
    KorvaFile* w = db_open(path.c_str());
    if (!w || db_hold(w) < 0) return 1;
    for (uint32_t n = 1; n <= 5000; ++n) {
      const uint32_t before = g_wb_serial;
      if (db_insert(w, Record(n, 4, 100).data(), 100) < 0) return 2;
      if (g_wb_serial != before && g_wb_serial != 0) std::exit(0);
    }
    return 3;
  });
  child.Start();
  ASSERT_EQ(child.Wait(), 0);
  const uint32_t reached = korva::Get32(ReadAt(path, korva::kHdrRecords, 4).data());
  EXPECT_GT(reached, 0u);
  EXPECT_EQ(db_check(path.c_str()), 0);
}

// A lock held by another process makes an insert wait for it, and only for it.
TEST(KorvaProcesses, WaitsForTheLock) {
  TempDir dir;
  const std::string path = dir.File("lock.kvr");
  ASSERT_EQ(db_create_one(path.c_str(), 0, 4, 1024, 2048), 0);
  KorvaFile* f = db_open(path.c_str());
  ASSERT_NE(f, nullptr);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  Child child([&] {
    KorvaFile* w = db_open(path.c_str());
    if (!w || db_hold(w) < 0) return 1;
    const char held = 1;
    if (::write(ready[1], &held, 1) != 1) return 2;
    ::usleep(1200 * 1000);
    return db_release(w) < 0 || db_close(w) < 0 ? 3 : 0;
  });
  child.Start();
  char held;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  const auto start = std::chrono::steady_clock::now();
  const std::string r = Record(1, 4, 30);
  EXPECT_EQ(db_insert(f, r.data(), 30), 0);
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GT(waited, 1.0);
  EXPECT_LT(waited, 3.0);
  EXPECT_EQ(db_close(f), 0);
  EXPECT_EQ(child.Wait(), 0);
  ::close(ready[0]);
  ::close(ready[1]);
}

}  // namespace
