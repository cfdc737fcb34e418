// The writing thread behind a held run, on pages of its own: what reaches the disk is what was
// handed over, in the order given, and a failed write is reported.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "store/KorvaBehind.h"
#include "store/KorvaCore.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr int kSize = 64;

struct PageFree {
  void operator()(KorvaPage* p) const { std::free(p); }
};
using Page = std::unique_ptr<KorvaPage, PageFree>;

Page NewPage(uint32_t address, char fill) {
  Page p(static_cast<KorvaPage*>(std::malloc(sizeof(KorvaPage) + kSize)));
  *p = KorvaPage{};
  p->address = address;
  p->size = kSize;
  std::memset(p->data(), fill, kSize);
  return p;
}

std::string ReadAt(int fd, off_t offset, size_t n) {
  std::string bytes(n, '\0');
  EXPECT_EQ(::pread(fd, bytes.data(), n, offset), ssize_t(n));
  return bytes;
}

class WriteBehind : public ::testing::Test {
 protected:
  void SetUp() override {
    fd_ = ::open(dir_.File("pages").c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override {
    g_wb_pause_us = 0;
    WbCollect();
    ::close(fd_);
  }
  // Pages a, b, c at 64, 128 (one write) and 256, the header before the second write.
  void Start(KorvaPage* a, KorvaPage* b, KorvaPage* c) {
    std::vector<WbWrite> writes = {{64, 0, 2}, {256, 2, 1}};
    WbStart(fd_, {a, b, c}, {kSize, kSize, kSize}, writes, std::vector<uint8_t>(16, 'H'), 1);
  }

  TempDir dir_;
  int fd_ = -1;
};

TEST_F(WriteBehind, ChangedPagesReachTheDiskAsHandedOver) {
  Page a = NewPage(64, 'a'), b = NewPage(128, 'b'), c = NewPage(256, 'c');
  g_wb_pause_us = 20000;
  Start(a.get(), b.get(), c.get());
  EXPECT_TRUE(WbHanded(a->wb_serial));
  EXPECT_TRUE(WbPending(c.get()));
  // Changed before the thread got to them: their copies are written, the change stays in memory.
  WbBeforeChange(a.get());
  std::memset(a->data(), 'x', kSize);
  WbBeforeChange(c.get());
  std::memset(c->data(), 'y', kSize);
  WbWaitPage(c.get());
  EXPECT_FALSE(WbPending(c.get()));
  EXPECT_EQ(WbCollect(), 0);
  EXPECT_FALSE(WbHanded(a->wb_serial));
  EXPECT_EQ(ReadAt(fd_, 0, 16), std::string(16, 'H'));
  EXPECT_EQ(ReadAt(fd_, 64, kSize), std::string(kSize, 'a'));
  EXPECT_EQ(ReadAt(fd_, 128, kSize), std::string(kSize, 'b'));
  EXPECT_EQ(ReadAt(fd_, 256, kSize), std::string(kSize, 'c'));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(a->data()), kSize), std::string(kSize, 'x'));
  EXPECT_EQ(g_wb_bytes.load(), 0u);
}

TEST_F(WriteBehind, ProgressComesInParts) {
  Page a = NewPage(64, 'a'), b = NewPage(128, 'b'), c = NewPage(256, 'c');
  g_wb_pause_us = 2000;
  Start(a.get(), b.get(), c.get());
  int waits = 0;
  while (WbWaitProgress()) ++waits;
  EXPECT_GE(waits, 1);
  EXPECT_FALSE(WbPending(a.get()) || WbPending(b.get()) || WbPending(c.get()));
  EXPECT_EQ(WbCollect(), 0);
}

TEST_F(WriteBehind, ALongRunOfPagesGoesOutWhole) {
  std::vector<Page> pages;
  std::vector<KorvaPage*> handed;
  for (int i = 0; i < 300; ++i) {
    pages.push_back(NewPage(uint32_t(kSize * i), char('A' + i % 26)));
    handed.push_back(pages.back().get());
  }
  WbStart(fd_, handed, std::vector<int>(300, kSize), {{0, 0, 300}}, {}, 0);
  EXPECT_EQ(WbCollect(), 0);
  for (int i : {0, 255, 256, 299}) EXPECT_EQ(ReadAt(fd_, kSize * i, kSize), std::string(kSize, char('A' + i % 26))) << i;
}

TEST_F(WriteBehind, AFailedWriteIsReportedAndStopsTheRest) {
  Page a = NewPage(64, 'a'), b = NewPage(128, 'b'), c = NewPage(256, 'c');
  const int readOnly = ::open(dir_.File("pages").c_str(), O_RDONLY);
  ASSERT_GE(readOnly, 0);
  g_wb_pause_us = 5000;
  std::vector<WbWrite> writes = {{64, 0, 2}, {256, 2, 1}};
  WbStart(readOnly, {a.get(), b.get(), c.get()}, {kSize, kSize, kSize}, writes, {}, 0);
  WbBeforeChange(c.get());  // a copy that is never written goes with the flush
  while (WbWaitProgress()) {
  }
  EXPECT_TRUE(WbFailed());
  // Not written and never to be: it stays until the flush is collected, and nobody waits for it.
  EXPECT_TRUE(WbPending(c.get()));
  WbWaitPage(c.get());
  WbBeforeChange(c.get());
  EXPECT_EQ(WbCollect(), EBADF);
  EXPECT_FALSE(WbPending(c.get()));
  EXPECT_EQ(g_wb_bytes.load(), 0u);
  EXPECT_EQ(::lseek(fd_, 0, SEEK_END), 0);
  ::close(readOnly);
}

}  // namespace
