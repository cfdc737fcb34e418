// How often a table operation takes its file's lock. The engine locks byte 0 with an
// open-file-description lock; this program's own fcntl counts those requests and passes every
// call on to the kernel unchanged.
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>

#include "tests/store/KvRecordTestSupport.h"

namespace {
std::atomic<int> byteZeroLocks{0};
}

extern "C" int fcntl(int fd, int cmd, ...) {
  va_list args;
  va_start(args, cmd);
  void* arg = va_arg(args, void*);
  va_end(args);
  if ((cmd == F_OFD_SETLK || cmd == F_OFD_SETLKW) && arg) {
    const auto* lock = static_cast<const struct flock*>(arg);
    if (lock->l_type == F_WRLCK && lock->l_start == 0) ++byteZeroLocks;
  }
  return int(syscall(SYS_fcntl, fd, cmd, arg));
}

TEST(KvRecordLock, EachTableOperationTakesTheLockOnce) {
  TableFixture f({{"t", kvrString, 0, 0},
                  {"s", kvrSet, 0, 0},
                  {"n", kvrSigned, 0, kvrOptUnique},
                  {"r", kvrReal, 0, 0},
                  {"no", kvrString, 0, kvrAutoSerial}});
  // Measured against one plain engine call on the same file.
  const int start = byteZeroLocks;
  unsigned char buf[512];
  const unsigned char one[4] = {0, 0, 0, 1};
  f.table.File()->SelectKey(kvrKeyTable);
  f.table.File()->Read(one, buf);
  const int perCall = byteZeroLocks - start;
  ASSERT_GE(perCall, 1);

  auto locksOf = [&](auto operation) {
    const int before = byteZeroLocks;
    EXPECT_TRUE(operation());
    return byteZeroLocks - before;
  };
  EXPECT_EQ(locksOf([&] { return f.Add({{"t", "a"}, {"s", "x,y,z"}, {"n", "1"}, {"r", "1.5"}}) != 0; }), perCall);
  EXPECT_EQ(locksOf([&] { return f.Add({{"t", AnsiString(2000, 'l')}, {"n", "2"}}) != 0; }), perCall);
  EXPECT_EQ(locksOf([&] { return f.table.ChgRecById("1", 2, "y,w"); }), perCall);
  EXPECT_EQ(locksOf([&] { return f.table.DelRecById("2"); }), perCall);
  EXPECT_EQ(locksOf([&] { return f.table.AddColumn("later", kvrString, 0); }), perCall);
  EXPECT_EQ(locksOf([&] { return f.table.ReIndex(nullptr, nullptr) == 1; }), perCall);
}
