// Check, copy and salvage of whole KORVA files, on sound files and on files with damaged blocks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "store/KorvaCore.h"
#include "tests/store/KorvaTestFiles.h"
#include "tests/support/TestSupport.h"

using namespace korva;
using namespace korva_test;

namespace {

constexpr int kKb = 256, kDb = 512;
const int16_t kKeys[] = {2, 4, 8};  // a key table of two keys, 4 and 8 bytes long

// A key-table file with count records under each key; the records by key number.
std::vector<std::map<std::string, std::string>> Fill(const std::string& path, uint32_t count, int kb = kKb,
                                                      int db = kDb) {
  std::vector<std::map<std::string, std::string>> content(2);
  EXPECT_EQ(db_create_keys(path.c_str(), kb, db, kKeys), 0);
  KorvaFile* f = db_open(path.c_str());
  EXPECT_NE(f, nullptr);
  std::mt19937 rng(7);
  db_hold(f);
  for (int key = 1; key <= 2; ++key) {
    EXPECT_EQ(db_select_key(f, key), 0);
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t n = rng() % 1000000 + 1;
      const std::string r = Record(n, kKeys[key], kKeys[key] + int(rng() % 60), key);
      if (db_insert(f, r.data(), int16_t(r.size())) == 0) content[size_t(key - 1)][r.substr(0, size_t(kKeys[key]))] = r;
    }
  }
  db_release(f);
  EXPECT_EQ(db_close(f), 0);
  return content;
}

std::vector<std::map<std::string, std::string>> Contents(const std::string& path) {
  std::vector<std::map<std::string, std::string>> content(2);
  KorvaFile* f = db_open(path.c_str());
  if (!f) return content;
  char buffer[1024];
  for (int key = 1; key <= 2; ++key) {
    db_select_key(f, key);
    for (int16_t len = db_first(f, buffer); len >= 0; len = db_next_pos(f, buffer))
      content[size_t(key - 1)][std::string(buffer, size_t(kKeys[key]))] = std::string(buffer, size_t(len));
  }
  db_close(f);
  return content;
}

size_t Total(const std::vector<std::map<std::string, std::string>>& content) {
  return content[0].size() + content[1].size();
}

struct HookScope {
  explicit HookScope(ProgressHook hook) { progress_hook = hook; }
  ~HookScope() { progress_hook = nullptr; }
};

std::vector<int> g_counts;

TEST(KorvaCheck, SoundFiles) {
  TempDir dir;
  const std::string path = dir.File("sound.kvr");
  ASSERT_EQ(db_create_keys(path.c_str(), 1024, 2048, kKeys), 0);
  KorvaCheckReport report;
  EXPECT_EQ(db_check(path.c_str(), &report), 0);
  EXPECT_TRUE(report.damaged.empty());
  EXPECT_EQ(report.accounted, report.allocated);

  const auto content = Fill(path, 1500);
  {
    HookScope hook([](int count) {
      g_counts.push_back(count);
      return 0;
    });
    EXPECT_EQ(db_check(path.c_str(), &report), int(Total(content)));
  }
  EXPECT_EQ(report.accounted, report.allocated);
  ASSERT_GT(g_counts.size(), 2u);
  EXPECT_EQ(g_counts[0], 0);
  EXPECT_EQ(g_counts[1], 1);
  EXPECT_EQ(db_check(dir.File("missing.kvr").c_str()), -1);
}

TEST(KorvaCheck, SelfLinkedFreeListIsDamage) {
  TempDir dir;
  const std::string path = dir.File("loop.kvr");
  ASSERT_EQ(db_create_one(path.c_str(), 0, 4, 1024, 2048), 0);
  ASSERT_TRUE(Patch32(path, 1536 + kListNext, 1536));
  KorvaCheckReport report;
  EXPECT_EQ(db_check(path.c_str(), &report), -1);
  EXPECT_EQ(db_errdetail, kvInconsistent);
  EXPECT_EQ(report.damaged, std::vector<uint32_t>{1536});
}

// Copying into other block sizes keeps every record of every key and packs the blocks.
TEST(KorvaCheck, CopyKeepsEveryRecord) {
  TempDir dir;
  const std::string source = dir.File("source.kvr"), target = dir.File("target.kvr");
  const auto content = Fill(source, 2000);
  EXPECT_EQ(db_copy(source.c_str(), target.c_str(), 2048, 4096), int(Total(content)));
  EXPECT_EQ(Contents(target), content);
  EXPECT_EQ(db_check(target.c_str()), int(Total(content)));
  const std::vector<uint8_t> header = ReadAt(target, 0, 8);
  EXPECT_EQ(Get16(header.data() + kHdrKeyBlock), 2048);
  EXPECT_EQ(Get16(header.data() + kHdrDataBlock), 4096);
  EXPECT_LT(ReadBytes(target).size(), ReadBytes(source).size());
  // Records longer than the target's blocks take: the copy says it failed.
  EXPECT_EQ(db_copy(source.c_str(), dir.File("small.kvr").c_str(), 256, 256), -1);
  EXPECT_EQ(db_errdetail, kvBadLength);
}

// Other processes are let in while a check runs: the check does not hold the file's lock during
// its progress calls, and a file that changes meanwhile is checked again rather than found damaged.
std::string g_busy_path;
KorvaFile* g_writer = nullptr;
bool g_lock_free = true;
int g_inserted = -1;

TEST(KorvaCheck, OthersWriteDuringACheck) {
  TempDir dir;
  g_busy_path = dir.File("busy.kvr");
  const auto content = Fill(g_busy_path, 1500);
  g_writer = db_open(g_busy_path.c_str());
  ASSERT_NE(g_writer, nullptr);
  ASSERT_EQ(db_select_key(g_writer, 1), 0);
  {
    HookScope hook([](int count) {
      const int fd = ::open(g_busy_path.c_str(), O_RDWR);
      struct flock fl {};
      fl.l_type = F_WRLCK;
      fl.l_whence = SEEK_SET;
      fl.l_len = 1;
      const bool free = ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
      ::close(fd);
      g_lock_free = g_lock_free && free;
      // Records all over the key's range, in blocks the pass has read and blocks it has not.
      if (free && count == 20 && g_inserted < 0) {
        g_inserted = 0;
        for (uint32_t n = 4999; n < 1000000; n += 9973)
          if (db_insert(g_writer, Record(n, 4, 30).data(), 30) == 0) ++g_inserted;
      }
      return 0;
    });
    const int checked = db_check(g_busy_path.c_str());
    EXPECT_EQ(checked, int(Total(content)) + g_inserted);
  }
  EXPECT_GT(g_inserted, 90);
  EXPECT_TRUE(g_lock_free);
  EXPECT_EQ(db_close(g_writer), 0);
}

// A copy or salvage onto the source itself, under any of its names, is refused and loses nothing.
TEST(KorvaCheck, CopyOntoItselfRefused) {
  TempDir dir;
  const std::string source = dir.File("self.kvr"), link = dir.File("link.kvr");
  Fill(source, 300);
  ASSERT_EQ(::symlink(source.c_str(), link.c_str()), 0);
  const std::vector<uint8_t> bytes = ReadBytes(source);
  for (const std::string& target : {source, link}) {
    EXPECT_EQ(db_copy(source.c_str(), target.c_str(), 0, 0), -1);
    EXPECT_EQ(db_errclass, kvClassFile);
    EXPECT_EQ(db_errdetail, EEXIST);
    EXPECT_EQ(db_salvage(source.c_str(), target.c_str(), 0, 0), -1);
    EXPECT_EQ(db_errdetail, EEXIST);
  }
  EXPECT_EQ(ReadBytes(source), bytes);
}

TEST(KorvaCheck, HookStopsEveryPass) {
  TempDir dir;
  const std::string path = dir.File("hook.kvr");
  Fill(path, 300);
  HookScope hook([](int) { return -1; });
  EXPECT_EQ(db_check(path.c_str()), -1);
  EXPECT_EQ(db_errdetail, kvInconsistent);
  EXPECT_EQ(db_copy(path.c_str(), dir.File("copy.kvr").c_str(), 0, 0), -1);
  EXPECT_EQ(db_salvage(path.c_str(), dir.File("salvage.kvr").c_str(), 0, 0), -1);
}

// Blocks overwritten with random bytes: the check names exactly those blocks, the salvage keeps
// every record of every data block that was not hit, and both survive the damage.
TEST(KorvaCheck, DamagedBlocksFoundAndSalvaged) {
  TempDir dir;
  const std::string path = dir.File("damaged.kvr");
  const auto content = Fill(path, 1500);
  const std::vector<uint8_t> header = ReadAt(path, 0, 1024);
  std::mt19937 rng(11);
  std::set<uint32_t> victims;
  std::vector<std::map<std::string, std::string>> kept = content;
  for (int key = 1; key <= 2; ++key) {
    const uint8_t* d = header.data() + kKtDescriptors + kDescSize * (key - 1);
    const std::vector<TreeBlock> tree = Tree(path, Get32(d + kDescRoot), Get16(d + kDescDepth), kKeys[key], kKb);
    ASSERT_GE(Get16(d + kDescDepth), 2);
    // Two key blocks of the lowest level, and data blocks that none of them leads to.
    std::vector<TreeBlock> lowest;
    for (const TreeBlock& b : tree)
      if (b.level == 1) lowest.push_back(b);
    std::set<uint32_t> covered;
    for (int i = 0; i < 2; ++i) {
      const TreeBlock& b = lowest[rng() % lowest.size()];
      victims.insert(b.address);
      covered.insert(b.children.begin(), b.children.end());
    }
    const std::vector<uint32_t> chain = Chain(path, FirstDataBlock(1024, kKb, kDb, key));
    for (int i = 0; i < 4; ++i) {
      const uint32_t a = chain[rng() % chain.size()];
      if (covered.count(a)) continue;
      victims.insert(a);
      const std::vector<uint8_t> b = ReadAt(path, a, kDb);
      int off = kHeadSize;
      for (int r = 0; r < Get16(b.data() + kBlkCount); ++r) {
        kept[size_t(key - 1)].erase(std::string(reinterpret_cast<const char*>(b.data()) + off + 2, size_t(kKeys[key])));
        off += 2 + Get16(b.data() + off);
      }
    }
  }
  for (uint32_t a : victims) {
    std::vector<uint8_t> noise(size_t(Get16(ReadAt(path, a, 2).data()) == 0 ? kDb : kKb));
    for (uint8_t& c : noise) c = uint8_t(rng());
    ASSERT_TRUE(WriteAt(path, a, noise));
  }

  KorvaCheckReport report;
  EXPECT_EQ(db_check(path.c_str(), &report), -1);
  EXPECT_EQ(db_errdetail, kvInconsistent);
  EXPECT_EQ(std::set<uint32_t>(report.damaged.begin(), report.damaged.end()), victims);

  const std::string salvaged = dir.File("salvaged.kvr");
  EXPECT_EQ(db_salvage(path.c_str(), salvaged.c_str(), 0, 0), int(Total(kept)));
  EXPECT_EQ(Contents(salvaged), kept);
  EXPECT_EQ(db_check(salvaged.c_str()), int(Total(kept)));

  // Reading the damaged file stops at the damage with the engine's answer, never worse.
  KorvaFile* f = db_open(path.c_str());
  ASSERT_NE(f, nullptr);
  char buffer[1024];
  for (int key = 1; key <= 2; ++key) {
    db_select_key(f, key);
    int16_t len = db_first(f, buffer);
    while (len >= 0) len = db_next_pos(f, buffer);
    EXPECT_TRUE(db_errdetail == kvNoNext || db_errdetail == kvInconsistent) << std::hex << db_errdetail;
  }
  EXPECT_EQ(db_close(f), 0);
}

}  // namespace
