// Record operations of the KORVA engine: their answers at the edges, block filling and merging,
// free lists, held runs, and operations that fail part-way leaving the file as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "store/KorvaCore.h"
#include "tests/store/KorvaTestFiles.h"
#include "tests/support/TestSupport.h"

using namespace korva;
using namespace korva_test;

namespace {

class KorvaRecords : public ::testing::Test {
 protected:
  // A one-key file with 4-byte keys and the given block sizes, open as f_.
  void Make(int kb = 1024, int db = 2048, int key_len = 4) {
    path_ = dir_.File("records.kvr");
    key_len_ = key_len;
    ASSERT_EQ(db_create_one(path_.c_str(), 0, key_len, kb, db), 0);
    f_ = db_open(path_.c_str());
    ASSERT_NE(f_, nullptr);
  }
  void TearDown() override {
    if (f_) {
      EXPECT_EQ(db_close(f_), 0);
    }
  }
  int16_t Insert(uint32_t n, int len, int tag = 0) {
    const std::string r = Record(n, key_len_, len, tag);
    return db_insert(f_, r.data(), int16_t(r.size()));
  }
  std::string Read(uint32_t n) {
    const int16_t len = db_read(f_, Key(n, key_len_).data(), buffer_);
    return len < 0 ? std::string() : std::string(buffer_, size_t(len));
  }
  // (record count, free bytes) of every data block, in chain order.
  std::vector<std::pair<int, int>> Blocks() {
    std::vector<std::pair<int, int>> blocks;
    for (uint32_t a : Chain(path_, FirstDataBlock(512, f_->key_block, f_->data_block, 1))) {
      const std::vector<uint8_t> head = ReadBlock(path_, a, 16);
      blocks.emplace_back(Get16(head.data() + kBlkCount), Get16(head.data() + kBlkFree));
    }
    return blocks;
  }

  TempDir dir_;
  std::string path_;
  KorvaFile* f_ = nullptr;
  int key_len_ = 4;
  char buffer_[32768];
};

TEST_F(KorvaRecords, AnswersAtTheEdges) {
  Make();
  EXPECT_EQ(db_next_pos(f_, buffer_), -1);
  EXPECT_EQ(db_errdetail, kvNoPosition);
  EXPECT_EQ(db_first(f_, buffer_), -1);
  EXPECT_EQ(db_errdetail, kvNoNext);
  EXPECT_EQ(db_prev(f_, Key(5, 4).data(), buffer_), -1);
  EXPECT_EQ(db_errdetail, kvNoPrev);
  EXPECT_EQ(db_data_cap(f_), 503);

  const std::string missing = Record(9, 4, 10);
  const struct {
    std::function<int16_t()> call;
    int detail;  // 0: succeeds
  } cases[] = {
      {[&] { return Insert(1, 503); }, 0},
      {[&] { return Insert(2, 504); }, kvBadLength},
      {[&] { return db_insert(f_, Key(3, 4).data(), 3); }, kvBadLength},
      {[&] { return Insert(0, 10); }, kvZeroKey},
      {[&] { return Insert(1, 20); }, kvExists},
      {[&] { return db_delete(f_, Key(9, 4).data()); }, kvNotFound},
      {[&] { return db_update(f_, missing.data(), 10); }, kvNotFound},
      {[&] { return db_read(f_, Key(0, 4).data(), buffer_); }, kvNotFound},  // the sentinel is no record
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const int16_t result = cases[i].call();
    if (cases[i].detail) {
      EXPECT_EQ(result, -1) << i;
      EXPECT_EQ(db_errdetail, cases[i].detail) << i;
    } else {
      EXPECT_EQ(result, 0) << i;
    }
  }
  ASSERT_EQ(Insert(5, 120), 0);
  EXPECT_EQ(db_next(f_, Key(5, 4).data(), buffer_), -1);
  EXPECT_EQ(db_errdetail, kvNoNext);
  EXPECT_EQ(db_seek(f_, Key(5, 4).data(), buffer_), 120);
  EXPECT_EQ(db_seek(f_, Key(0, 4).data(), buffer_), 503);  // the sentinel is passed over
  EXPECT_EQ(db_seek_prev(f_, Key(1, 4).data(), buffer_), 503);
  EXPECT_EQ(db_prev(f_, Key(1, 4).data(), buffer_), -1);
  EXPECT_EQ(db_errdetail, kvNoPrev);
  EXPECT_EQ(db_next_pos(f_, buffer_), -1);  // a failed step leaves no position
  EXPECT_EQ(db_errdetail, kvNoPosition);
  EXPECT_EQ(db_first(f_, buffer_), 503);
  EXPECT_EQ(db_next_pos(f_, buffer_), 120);
  EXPECT_EQ(db_insert(nullptr, buffer_, 10), -1);
  EXPECT_EQ(db_errdetail, kvBadHandle);
  const uint8_t a[] = {1, 2}, b[] = {1, 3};
  EXPECT_EQ(key_cmp(a, b, 2), kKeyBelow);
  EXPECT_EQ(key_cmp(b, a, 2), 0);
  EXPECT_EQ(key_cmp(a, a, 2), kKeyEqual);
  EXPECT_EQ(key_cmp(a, b, 0), kKeyEqual);
}

// Ascending appends fill blocks up to the last record that fits; ordinary inserts split in halves.
TEST_F(KorvaRecords, AppendFillsBlocksAndInsertHalvesThem) {
  Make();
  for (uint32_t n = 1; n <= 1000; ++n) {
    const std::string r = Record(n, 4, 100);
    ASSERT_EQ(db_append(f_, r.data(), 100), 0);
  }
  std::vector<std::pair<int, int>> blocks = Blocks();
  for (size_t i = 0; i + 1 < blocks.size(); ++i) {
    EXPECT_LT(blocks[i].second, 2 * 102) << i;
    EXPECT_EQ(blocks[i].first, i == 0 ? 19 : 18) << i;  // the first holds the sentinel as well
  }
  ASSERT_EQ(db_close(f_), 0);
  f_ = nullptr;

  Make();
  for (uint32_t n = 1; n <= 1000; ++n) ASSERT_EQ(Insert(n, 100), 0);
  blocks = Blocks();
  int used = 0;
  for (size_t i = 0; i + 1 < blocks.size(); ++i) used += 2032 - blocks[i].second;
  const double fill = double(used) / (2032.0 * double(blocks.size() - 1));
  EXPECT_GT(fill, 0.45);
  EXPECT_LT(fill, 0.6);
}

// Deleting from a block until it is less than half full moves its records into the block before
// it when they fit there; the emptied block goes to the free list.
TEST_F(KorvaRecords, DeletesMergeIntoThePreviousBlock) {
  Make();
  for (uint32_t n = 1; n <= 60; ++n) ASSERT_EQ(Insert(n, 100), 0);
  const size_t before = Blocks().size();
  ASSERT_GE(before, 3u);
  for (uint32_t n = 1; n <= 60; n += 2) ASSERT_EQ(db_delete(f_, Key(n, 4).data()), 0);
  EXPECT_LT(Blocks().size(), before);
  for (uint32_t n = 2; n <= 60; n += 2) EXPECT_EQ(Read(n), Record(n, 4, 100));
  ASSERT_EQ(db_close(f_), 0);
  f_ = nullptr;
  KorvaCheckReport report;
  EXPECT_EQ(db_check(path_.c_str(), &report), 30);
  EXPECT_EQ(report.accounted, report.allocated);
}

// A tree never grows a 16th level: the insert that would need one is refused and leaves the file
// as it was. Two entries per key block make the tree binary.
TEST_F(KorvaRecords, SixteenthLevelRefused) {
  Make(128, 256, 52);
  ASSERT_EQ(db_hold(f_), 0);
  uint32_t n = 1;
  for (; n < 200000; ++n) {
    if (Insert(n, 52) < 0) break;
  }
  ASSERT_EQ(db_errdetail, kvTooDeep);
  EXPECT_EQ(KvDepth(f_), 15);
  EXPECT_EQ(Read(n), "");
  ASSERT_EQ(db_release(f_), 0);
  ASSERT_EQ(db_close(f_), 0);
  f_ = nullptr;
  EXPECT_EQ(db_check(path_.c_str()), int(n - 1));
}

// A change that fails part-way (here: no address left for a new block) is taken back whole: an
// update that had to delete and insert gets the old record back.
TEST_F(KorvaRecords, FailedChangesLeaveTheFileAsItWas) {
  Make(128, 256);
  for (uint32_t n = 1; n <= 40; ++n) ASSERT_EQ(Insert(n, 20), 0);
  ASSERT_EQ(db_close(f_), 0);
  ASSERT_TRUE(Patch32(path_, kHdrEnd, 0xFF000000));  // the address space is used up
  const std::vector<uint8_t> before = ReadBytes(path_);
  f_ = db_open(path_.c_str());
  ASSERT_NE(f_, nullptr);

  // A block that the longer record no longer fits: the update deletes, the insert must split.
  uint32_t victim = 0;
  for (uint32_t n = 2; n <= 40 && !victim; ++n) {
    const std::string longer = Record(n, 4, 55, 1);
    if (db_update(f_, longer.data(), 55) < 0) victim = n;
  }
  ASSERT_NE(victim, 0u);
  EXPECT_EQ(db_errdetail, kvNoSpace);
  EXPECT_EQ(Read(victim), Record(victim, 4, 20));
  uint32_t added = 0;
  while (Insert(1000 + added, 55) == 0) ++added;
  EXPECT_EQ(db_errdetail, kvNoSpace);
  EXPECT_EQ(Read(1000 + added), "");
  const std::string too_long = Record(victim, 4, 56);
  EXPECT_EQ(db_update(f_, too_long.data(), 56), -1);
  EXPECT_EQ(db_errdetail, kvBadLength);
  EXPECT_EQ(Read(victim), Record(victim, 4, 20));
  ASSERT_EQ(db_close(f_), 0);
  f_ = nullptr;
  // Only the updates that fitted changed anything.
  f_ = db_open(path_.c_str());
  for (uint32_t n = 1; n <= 40; ++n) EXPECT_EQ(Read(n).size(), n < victim && n > 1 ? 55u : 20u) << n;
  ASSERT_EQ(db_close(f_), 0);
  f_ = nullptr;
  EXPECT_EQ(db_check(path_.c_str()), int(40 + added));
  EXPECT_EQ(ReadBytes(path_).size(), before.size());
}

// A list head takes (key block size - 20) / 4 + 1 addresses; the next free starts a new head
// block linked to the full one, and taking blocks back empties both and returns the emptied head.
TEST_F(KorvaRecords, FreeListHeadsFillAndEmpty) {
  Make();
  const int capacity = ListCapacity(1024);
  ASSERT_EQ(capacity, 252);
  ASSERT_TRUE(KvBeginOp(f_));
  std::vector<uint32_t> blocks;
  for (int i = 0; i <= capacity; ++i) blocks.push_back(get_blk(f_, 0));
  const uint32_t head = Get32(f_->hdr + kHdrDataFree);
  for (int i = 0; i < capacity; ++i) ASSERT_EQ(fre_blk(f_, blocks[size_t(i)], 0), 0);
  EXPECT_EQ(Get32(f_->hdr + kHdrDataFree), head);
  ASSERT_EQ(fre_blk(f_, blocks.back(), 0), 0);
  const uint32_t fresh = Get32(f_->hdr + kHdrDataFree);
  EXPECT_NE(fresh, head);
  KorvaPage* p = KvListPage(f_, fresh, kKindDataList);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(Get16(p->data() + kListCount), 1);
  EXPECT_EQ(Get32(p->data() + kListNext), head);
  for (int i = 0; i <= capacity; ++i) EXPECT_EQ(get_blk(f_, 0), blocks[size_t(capacity - i)]);
  EXPECT_EQ(Get32(f_->hdr + kHdrDataFree), head);
  // The emptied head went to the key free list: the next key block is that one.
  EXPECT_EQ(get_blk(f_, 1), fresh);
  ASSERT_EQ(KvEndOp(f_, 0), 0);
}

// Within a held run the header is written once, at the end; nested holds write nothing.
TEST_F(KorvaRecords, HeldRunsWriteAtTheEnd) {
  Make();
  auto records_on_disk = [&] { return Get32(ReadAt(path_, kHdrRecords, 4).data()); };
  ASSERT_EQ(db_hold(f_), 0);
  ASSERT_EQ(db_hold(f_), 0);
  for (uint32_t n = 1; n <= 300; ++n) ASSERT_EQ(Insert(n, 100), 0);
  ASSERT_EQ(db_release(f_), 0);
  EXPECT_EQ(records_on_disk(), 0u);
  ASSERT_EQ(db_release(f_), 0);
  EXPECT_EQ(records_on_disk(), 300u);
  EXPECT_EQ(db_check(path_.c_str()), 300);
}

// Two handles of one file each keep blocks in memory; a change through one is seen through the
// other, also after a run of exactly 65536 changes, which must not leave the counter's low word
// (all that other writers compare) where the run found it.
TEST_F(KorvaRecords, CachedBlocksFollowOtherWriters) {
  Make();
  ASSERT_EQ(Insert(1, 30), 0);
  KorvaFile* other = db_open(path_.c_str());
  ASSERT_NE(other, nullptr);
  ASSERT_EQ(db_read(other, Key(1, 4).data(), buffer_), 30);
  const std::string changed = Record(1, 4, 30, 7);
  ASSERT_EQ(db_update(f_, changed.data(), 30), 0);
  EXPECT_EQ(db_read(other, Key(1, 4).data(), buffer_), 30);
  EXPECT_EQ(std::string(buffer_, 30), changed);

  ASSERT_EQ(db_hold(f_), 0);
  for (int i = 0; i < 65536; ++i) {
    const std::string r = Record(1, 4, 30, i);
    ASSERT_EQ(db_update(f_, r.data(), 30), 0);
  }
  ASSERT_EQ(db_release(f_), 0);
  EXPECT_NE(Get16(ReadAt(path_, kHdrCounter, 2).data()), Get16(other->hdr + kHdrCounter));
  EXPECT_EQ(db_read(other, Key(1, 4).data(), buffer_), 30);
  EXPECT_EQ(std::string(buffer_, 30), Record(1, 4, 30, 65535));
  EXPECT_EQ(db_close(other), 0);
}

// Where a read found a record last time is not trusted in a block that another process rewrote
// since, even when the bytes there now look like that record.
TEST_F(KorvaRecords, StaleReadPositionIgnored) {
  Make();
  ASSERT_EQ(Insert(1, 30), 0);
  ASSERT_EQ(Insert(2, 30), 0);
  ASSERT_EQ(Read(2), Record(2, 4, 30));  // found at offset 54 of the block
  KorvaFile* other = db_open(path_.c_str());
  ASSERT_NE(other, nullptr);
  ASSERT_EQ(db_delete(other, Key(1, 4).data()), 0);
  const std::string two = Record(2, 4, 10);
  ASSERT_EQ(db_update(other, two.data(), 10), 0);
  // Record 3 now begins at offset 34; its bytes at offset 54 read as a 1000-byte record 2.
  std::string three = Record(3, 4, 40);
  three.replace(18, 6, std::string("\x03\xE8\0\0\0\x02", 6));
  ASSERT_EQ(db_insert(other, three.data(), 40), 0);
  ASSERT_EQ(db_close(other), 0);
  ASSERT_EQ(db_hold(f_), 0);
  ASSERT_EQ(db_descend(f_, reinterpret_cast<const uint8_t*>(Key(2, 4).data())), 0);
  EXPECT_EQ(Read(2), two);
  ASSERT_EQ(db_release(f_), 0);
}

TEST_F(KorvaRecords, TwentyFilesAtOnce) {
  Make();
  EXPECT_EQ(db_select_key(f_, 1), -1);  // no key table
  std::vector<KorvaFile*> more;
  for (int i = 1; i < 20; ++i) more.push_back(db_open(path_.c_str()));
  for (KorvaFile* m : more) EXPECT_NE(m, nullptr);
  EXPECT_EQ(db_open(path_.c_str()), nullptr);
  EXPECT_EQ(db_errdetail, kvTooManyFiles);
  EXPECT_EQ(db_create_one(dir_.File("other.kvr").c_str(), 0, 4, 1024, 2048), -1);
  EXPECT_EQ(db_errdetail, kvTooManyFiles);
  for (KorvaFile* m : more) EXPECT_EQ(db_close(m), 0);
  EXPECT_EQ(db_close(more[0]), -1);
  EXPECT_EQ(db_errdetail, kvBadHandle);
}

// A file that refuses writing opens read-only: it reads, takes no locks, and refuses changes.
TEST_F(KorvaRecords, WriteProtectedFileOpensReadOnly) {
  if (::geteuid() == 0) GTEST_SKIP() << "write protection does not hold for root";
  Make();
  ASSERT_EQ(Insert(1, 30), 0);
  ASSERT_EQ(db_close(f_), 0);
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  f_ = db_open(path_.c_str());
  ASSERT_NE(f_, nullptr);
  EXPECT_TRUE(f_->req.read_only);
  EXPECT_EQ(Read(1), Record(1, 4, 30));
  EXPECT_EQ(Insert(2, 30), -1);
  EXPECT_EQ(db_errclass, kvClassFile);
  EXPECT_EQ(Read(2), "");
  EXPECT_EQ(Read(1), Record(1, 4, 30));
}

}  // namespace

// Inserts that take turns between several places of a tree go to the blocks earlier descents
// found, while splits, merges and failed operations change the tree between them.
TEST_F(KorvaRecords, InsertsTakingTurnsBetweenPlacesOfATree) {
  Make(128, 256);
  std::map<uint32_t, std::string> model;
  ASSERT_EQ(db_hold(f_), 0);
  for (uint32_t i = 1; i <= 400; ++i) {
    for (uint32_t stream = 0; stream < 12; ++stream) {
      const uint32_t n = stream * 100000 + i * 3;
      const std::string r = Record(n, 4, 10 + int(n % 30));
      ASSERT_EQ(db_insert(f_, r.data(), int16_t(r.size())), 0) << n;
      model[n] = r;
    }
    // Now and then a key between two earlier ones, a refused duplicate, and the deletion of a
    // stretch of a stream, which merges and frees blocks.
    if (i % 7 == 0) {
      const uint32_t n = (i % 12) * 100000 + i * 3 - 4;
      const std::string r = Record(n, 4, 12);
      ASSERT_EQ(db_insert(f_, r.data(), int16_t(r.size())), 0) << n;
      model[n] = r;
      const std::string again = Record(n, 4, 20);
      EXPECT_LT(db_insert(f_, again.data(), int16_t(again.size())), 0);
    }
    if (i % 50 == 0) {
      const uint32_t base = (i / 50 % 12) * 100000;
      for (uint32_t k = i * 3 - 120; k < i * 3 - 30; k += 3) {
        ASSERT_EQ(db_delete(f_, Key(base + k, 4).data()), 0) << base + k;
        model.erase(base + k);
      }
      // Some of them come back, into blocks whose ranges the deletions moved or freed.
      for (uint32_t k = i * 3 - 120; k < i * 3 - 30; k += 9) {
        const std::string r = Record(base + k, 4, 14);
        ASSERT_EQ(db_insert(f_, r.data(), int16_t(r.size())), 0) << base + k;
        model[base + k] = r;
      }
    }
  }
  ASSERT_EQ(db_release(f_), 0);
  std::vector<uint32_t> walked;
  for (int16_t len = db_first(f_, buffer_); len >= 0; len = db_next(f_, buffer_, buffer_)) {
    const uint32_t n = Get32(reinterpret_cast<const uint8_t*>(buffer_));
    walked.push_back(n);
    ASSERT_TRUE(model.count(n)) << n;
    EXPECT_EQ(std::string(buffer_, size_t(len)), model[n]);
  }
  EXPECT_EQ(walked.size(), model.size());
  EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end()));
  EXPECT_EQ(db_check(path_.c_str()), int(model.size()));
}

// An update may stand for several: the change counter rises by as many.
TEST_F(KorvaRecords, AnUpdateRaisesTheCounterByTheChangesItStandsFor) {
  Make();
  auto counter = [&] {
    const std::vector<uint8_t> h = ReadAt(path_, 0, 16);
    return uint32_t(Get16(h.data() + kHdrCounterHigh)) << 16 | Get16(h.data() + kHdrCounter);
  };
  ASSERT_EQ(Insert(1, 40), 0);
  const uint32_t before = counter();
  const std::string same = Record(1, 4, 40, 1), longer = Record(1, 4, 60, 2);
  ASSERT_EQ(db_update(f_, same.data(), int16_t(same.size()), 5), 0);
  EXPECT_EQ(counter(), before + 5);
  ASSERT_EQ(db_update(f_, same.data(), int16_t(same.size())), 0);
  EXPECT_EQ(counter(), before + 6);
  // A change of length is a deletion and an insert, each counted.
  ASSERT_EQ(db_update(f_, longer.data(), int16_t(longer.size()), 3), 0);
  EXPECT_EQ(counter(), before + 12);
  EXPECT_EQ(Read(1), longer);
}
