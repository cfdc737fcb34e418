// Two real processes on one KORVA file: the lock on the first byte, the header's change counter
// and the cached blocks keep both correct.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

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
