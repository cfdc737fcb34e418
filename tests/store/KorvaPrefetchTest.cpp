// Reading blocks ahead: batched reads give the bytes a read of each block gives, and blocks read
// ahead into the cache never stand in for what the file holds (a change of this run not yet
// written, a change another handle wrote since).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include "store/KorvaCore.h"
#include "store/KorvaReadBatch.h"
#include "tests/store/KorvaTestFiles.h"
#include "tests/support/TestSupport.h"

using namespace korva;
using namespace korva_test;

namespace {

// Batching on again after a test that turned it off.
struct BatchScope {
  explicit BatchScope(bool allow) { KvAllowBatchReads(allow); }
  ~BatchScope() { KvAllowBatchReads(true); }
};

// A file of 70 blocks of 512 bytes, each byte telling where it stands; open for reading.
class BlockFile {
 public:
  BlockFile() : bytes(70 * 512) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + i / 512);
    const std::string path = dir_.File("blocks.bin");
    const int out = ::open(path.c_str(), O_CREAT | O_WRONLY, 0644);
    if (out >= 0 && ::write(out, bytes.data(), bytes.size()) == ssize_t(bytes.size())) fd = ::open(path.c_str(), O_RDONLY);
    if (out >= 0) ::close(out);
  }
  ~BlockFile() {
    if (fd >= 0) ::close(fd);
  }
  // Whether block b read through the batch holds what the file has there.
  bool ReadsBack(uint64_t b) {
    std::vector<uint8_t> buffer(512);
    KorvaBlockRead read{fd, b * 512, buffer.data(), 512, 0};
    return KvReadBlocks(&read, 1) && read.result == 512 &&
           std::equal(buffer.begin(), buffer.end(), bytes.begin() + long(b * 512));
  }

  std::vector<uint8_t> bytes;
  int fd = -1;

 private:
  TempDir dir_;
};

TEST(KorvaReadBatch, ReadsWhatEachBlockHolds) {
  BlockFile file;
  const int fd = file.fd;
  const std::vector<uint8_t>& bytes = file.bytes;
  ASSERT_GE(fd, 0);
  // More reads than one round of the ring takes, in no order, the last two past the end.
  std::vector<std::vector<uint8_t>> buffers(100, std::vector<uint8_t>(512));
  std::vector<KorvaBlockRead> reads;
  for (size_t i = 0; i < buffers.size(); ++i) {
    const uint64_t block = i < 98 ? (i * 37) % 70 : 70 + i;
    reads.push_back({fd, block * 512, buffers[i].data(), 512, 1});
  }
  for (bool allow : {false, true}) {
    BatchScope scope(allow);
    if (allow && !KvBatchReads()) continue;  // a kernel that refuses: block by block only
    ASSERT_TRUE(KvReadBlocks(reads.data(), int(reads.size())));
    for (size_t i = 0; i < reads.size(); ++i) {
      if (!allow) {
        EXPECT_EQ(reads[i].result, -ENOSYS) << i;
      } else if (i >= 98) {
        EXPECT_EQ(reads[i].result, 0) << i;
      } else {
        ASSERT_EQ(reads[i].result, 512) << i;
        EXPECT_TRUE(std::equal(buffers[i].begin(), buffers[i].end(), bytes.begin() + long(reads[i].offset))) << i;
      }
    }
  }
}

// A forked child reads through a ring of its own while the parent goes on with the one it made
// before: two processes on one ring would take each other's requests and results.
TEST(KorvaReadBatch, AForkedChildReadsThroughARingOfItsOwn) {
  if (!KvBatchReads()) GTEST_SKIP() << "the kernel reads block by block here";
  BlockFile file;
  ASSERT_TRUE(file.ReadsBack(3));
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  bool ok = true;
  for (int round = 0; round < 300 && ok; ++round)
    for (uint64_t b = 0; b < 70 && ok; ++b) ok = file.ReadsBack((b * 13 + uint64_t(round)) % 70);
  if (child == 0) ::_exit(ok ? 0 : 1);
  EXPECT_TRUE(ok);
  int status = -1;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Blocks a walk only stepped into leave a small cache before blocks that were read, walk after
// walk.
TEST(KorvaCache, BlocksAWalkSteppedIntoLeaveFirst) {
  TempDir dir;
  const std::string path = dir.File("walk.kvr");
  ASSERT_EQ(db_create_one(path.c_str(), 0, 4, 1024, 2048), 0);
  KorvaFile* f = db_open(path.c_str());
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(db_hold(f), 0);
  for (uint32_t n = 1; n <= 4000; ++n) ASSERT_EQ(db_append(f, Record(n, 4, 90).data(), 90), 0);
  ASSERT_EQ(db_release(f), 0);
  auto block_of = [f](uint32_t n) {
    uint32_t address = 0;
    const uint8_t *low, *high;
    return key_leaf(f, reinterpret_cast<const uint8_t*>(Key(n, 4).data()), &address, &low, &high) == 0 ? address : 0u;
  };
  const uint32_t kept[] = {100, 1500, 3900};
  std::vector<uint32_t> blocks;
  for (uint32_t n : kept) blocks.push_back(block_of(n));
  struct Limit {
    Limit() { db_cache_limit(size_t(40) << 11); }  // 40 data blocks of about 200 in the file
    ~Limit() { db_cache_limit(size_t(48) << 20); }
  } limit;
  ASSERT_EQ(db_close(f), 0);
  f = db_open(path.c_str());
  ASSERT_NE(f, nullptr);
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(db_hold(f), 0);
    char buffer[600];
    for (uint32_t n : kept) ASSERT_EQ(db_read(f, Key(n, 4).data(), buffer), 90) << n;
    int records = 0;
    for (int16_t len = db_first(f, buffer); len >= 0; len = db_next_pos(f, buffer)) ++records;
    EXPECT_EQ(records, 4000);
    ASSERT_EQ(db_release(f), 0);
    for (uint32_t a : blocks) EXPECT_NE(f->pages.Find(a), nullptr) << round << " " << a;
  }
  EXPECT_EQ(db_close(f), 0);
}

class KorvaPrefetch : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("ahead.kvr");
    ASSERT_EQ(db_create_one(path_.c_str(), 0, 4, 1024, 2048), 0);
    f_ = db_open(path_.c_str());
    ASSERT_NE(f_, nullptr);
    ASSERT_EQ(db_hold(f_), 0);
    for (uint32_t n = 1; n <= 600; ++n) {
      const std::string r = Record(n, 4, 90);
      ASSERT_EQ(db_append(f_, r.data(), 90), 0);
    }
    ASSERT_EQ(db_release(f_), 0);
  }
  void TearDown() override { EXPECT_EQ(db_close(f_), 0); }

  // The keys of records from, from + step, ... (count of them), one after another.
  static std::string Keys(uint32_t from, uint32_t step, int count) {
    std::string keys;
    for (int i = 0; i < count; ++i) keys += Key(from + step * uint32_t(i), 4);
    return keys;
  }
  std::string Read(KorvaFile* f, uint32_t n) {
    const int16_t len = db_read(f, Key(n, 4).data(), buffer_);
    return len < 0 ? std::string() : std::string(buffer_, size_t(len));
  }
  // Whether the data block holding record n is in f's cache.
  bool Cached(KorvaFile* f, uint32_t n) {
    uint32_t address = 0;
    const uint8_t *low, *high;
    return key_leaf(f, reinterpret_cast<const uint8_t*>(Key(n, 4).data()), &address, &low, &high) == 0 &&
           f->pages.Find(address) != nullptr;
  }

  TempDir dir_;
  std::string path_;
  KorvaFile* f_ = nullptr;
  char buffer_[4096];
};

// A block read ahead is the block as the file holds it; a block this run changed and has not
// written yet stays as the run changed it.
TEST_F(KorvaPrefetch, ReadsAheadWithoutLosingChanges) {
  for (bool allow : {false, true}) {
    BatchScope scope(allow);
    ASSERT_EQ(db_close(f_), 0);
    f_ = db_open(path_.c_str());
    ASSERT_NE(f_, nullptr);
    ASSERT_EQ(db_hold(f_), 0);
    const std::string changed = Record(300, 4, 90, 5);
    ASSERT_EQ(db_update(f_, changed.data(), 90), 0);
    const std::string keys = Keys(20, 40, 15);  // records 20, 60, ..., 580
    ASSERT_EQ(db_prefetch(f_, keys.data(), 15, 4), 0);
    const bool batched = allow && KvBatchReads();
    EXPECT_EQ(Cached(f_, 20), batched);
    EXPECT_EQ(Cached(f_, 580), batched);
    std::set<uint32_t> addresses;
    for (const KorvaPage* p : f_->pages.All()) EXPECT_TRUE(addresses.insert(p->address).second) << p->address;
    for (uint32_t n = 20; n <= 580; n += 40) EXPECT_EQ(Read(f_, n), n == 300 ? changed : Record(n, 4, 90)) << n;
    ASSERT_EQ(db_release(f_), 0);
    EXPECT_EQ(Read(f_, 300), changed);
    const std::string back = Record(300, 4, 90);
    ASSERT_EQ(db_update(f_, back.data(), 90), 0);
  }
}

// Blocks read ahead in one run are dropped when another handle wrote the file before the next.
TEST_F(KorvaPrefetch, BlocksReadAheadFollowOtherWriters) {
  const std::string keys = Keys(10, 50, 12);
  ASSERT_EQ(db_prefetch(f_, keys.data(), 12, 4), 0);
  KorvaFile* other = db_open(path_.c_str());
  ASSERT_NE(other, nullptr);
  const std::string changed = Record(260, 4, 90, 9);
  ASSERT_EQ(db_update(other, changed.data(), 90), 0);
  ASSERT_EQ(db_close(other), 0);
  ASSERT_EQ(db_prefetch(f_, keys.data(), 12, 4), 0);
  EXPECT_EQ(Read(f_, 260), changed);
  EXPECT_EQ(Read(f_, 210), Record(210, 4, 90));
}

// The blocks a read-ahead found serve the reads after it only while the tree stands as it was:
// records added behind the last block, or taken out so that blocks merge, move the keys.
TEST_F(KorvaPrefetch, ReadsAfterTheTreeChangedFindTheirRecords) {
  if (!KvBatchReads()) GTEST_SKIP() << "the kernel reads block by block here";
  ASSERT_EQ(db_hold(f_), 0);
  // The last key, 600, lies in the last block: every key above leads there until it splits.
  const std::string keys = Keys(40, 40, 15);
  ASSERT_EQ(db_prefetch(f_, keys.data(), 15, 4), 0);
  EXPECT_EQ(Read(f_, 80), Record(80, 4, 90));
  for (uint32_t n = 601; n <= 900; ++n) {
    const std::string r = Record(n, 4, 90);
    ASSERT_EQ(db_insert(f_, r.data(), 90), 0);
  }
  for (uint32_t n : {600u, 650u, 900u, 100u}) EXPECT_EQ(Read(f_, n), Record(n, 4, 90)) << n;
  ASSERT_EQ(db_prefetch(f_, keys.data(), 15, 4), 0);
  for (uint32_t n = 100; n <= 500; ++n) {
    if (n % 40 == 0) continue;
    ASSERT_EQ(db_delete(f_, Key(n, 4).data()), 0) << n;
  }
  for (uint32_t n : {80u, 120u, 520u, 900u}) EXPECT_EQ(Read(f_, n), Record(n, 4, 90)) << n;
  EXPECT_EQ(Read(f_, 121), "");
  ASSERT_EQ(db_release(f_), 0);
}

TEST_F(KorvaPrefetch, RefusesKeysCloserThanTheirLength) {
  const std::string keys = Keys(1, 1, 4);
  const struct {
    int count, stride;
    int16_t result;
  } cases[] = {{4, 4, 0}, {4, 8, 0}, {0, 0, 0}, {4, 3, -1}, {-1, 4, -1}};
  for (const auto& c : cases) {
    EXPECT_EQ(db_prefetch(f_, keys.data(), c.count, c.stride), c.result) << c.count << " " << c.stride;
    if (c.result < 0) {
      EXPECT_EQ(db_errdetail, kvBadKey);
    }
  }
  EXPECT_EQ(db_prefetch(nullptr, keys.data(), 4, 4), -1);
  EXPECT_EQ(db_errdetail, kvBadHandle);
}

}  // namespace
