// The bytes of KORVA files: new files, headers in the accepted forms, removed blocks, extension
// addresses and names, and the limits creation and opening keep.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

#include "store/KorvaCore.h"
#include "tests/store/KorvaTestFiles.h"
#include "tests/support/TestSupport.h"

using namespace korva;
using namespace korva_test;

namespace {

void ExpectTree(const std::vector<uint8_t>& f, uint32_t root, uint32_t data, int key, int key_len, int kb, int db) {
  const uint8_t* r = f.data() + root;
  EXPECT_EQ(Get16(r + kBlkKind), 1);
  EXPECT_EQ(Get16(r + kBlkModified), key);
  EXPECT_EQ(Get16(r + kBlkCount), 1);
  EXPECT_EQ(Get16(r + kBlkFree), kb - 16 - (key_len + 4));
  for (int i = 0; i < key_len; ++i) EXPECT_EQ(r[16 + i], 0);
  EXPECT_EQ(Get32(r + 16 + key_len), data);
  const uint8_t* d = f.data() + data;
  EXPECT_EQ(Get16(d + kBlkKind), 0);
  EXPECT_EQ(Get16(d + kBlkModified), key);
  EXPECT_EQ(Get16(d + kBlkCount), 1);
  EXPECT_EQ(Get16(d + kBlkFree), db - 16 - (key_len + 2));
  EXPECT_EQ(Get32(d + kDatPre), 0u);
  EXPECT_EQ(Get32(d + kDatNext), kNoBlock);
  EXPECT_EQ(Get16(d + 16), key_len);
  for (int i = 0; i < key_len; ++i) EXPECT_EQ(d[18 + i], 0);
}

void ExpectEmptyLists(const std::vector<uint8_t>& f, uint32_t h, int kb) {
  EXPECT_EQ(Get16(f.data() + h), kKindKeyList);
  EXPECT_EQ(Get16(f.data() + h + kb), kKindDataList);
  for (uint32_t at : {h, h + uint32_t(kb)}) {
    EXPECT_EQ(Get16(f.data() + at + kListCount), 0);
    EXPECT_EQ(Get32(f.data() + at + kListNext), 0u);
  }
}

TEST(KorvaFormat, NewFileWithOneKey) {
  TempDir dir;
  const std::string path = dir.File("one.kvr");
  ASSERT_EQ(db_create_one(path.c_str(), 0, 8, 1024, 2048), 0);
  const std::vector<uint8_t> f = ReadBytes(path);
  ASSERT_EQ(f.size(), 512u + 1024 + 1024 + 1024 + 2048);
  const uint8_t* h = f.data();
  EXPECT_EQ(Get16(h), 0x0FFF);
  EXPECT_EQ(Get16(h + kHdrKeyBlock), 1024);
  EXPECT_EQ(Get16(h + kHdrDataBlock), 2048);
  EXPECT_EQ(Get16(h + kHdrCounter), 0);
  EXPECT_EQ(Get16(h + kHdrWord8), 1);
  EXPECT_EQ(Get16(h + kHdrKeyLen), 8);
  EXPECT_EQ(Get32(h + kHdrOne16), 1u);
  EXPECT_EQ(Get32(h + kHdrOne20), 1u);
  EXPECT_EQ(Get32(h + kHdrRecords), 0u);
  EXPECT_EQ(Get32(h + kHdrEnd), f.size());
  EXPECT_EQ(Get16(h + kHdrKeyOffset), 0);
  EXPECT_EQ(Get16(h + kHdrGivenKeyLen), 8);
  EXPECT_EQ(Get16(h + kHdrDepth), 1);
  EXPECT_EQ(Get32(h + kHdrLevels + 4), 2560u);
  EXPECT_EQ(Get32(h + kHdrKeyFree), 512u);
  EXPECT_EQ(Get32(h + kHdrDataFree), 1536u);
  EXPECT_EQ(Get16(h + kHdrCurrentKey), 1);
  EXPECT_EQ(Get16(h + kHdrKeyTable), 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + kHdrBanner), 32), "KORVA records Ubex block file   ");
  ExpectEmptyLists(f, 512, 1024);
  ExpectTree(f, 2560, 3584, 1, 8, 1024, 2048);
}

TEST(KorvaFormat, NewFileWithAKeyTableAndAddedKeys) {
  TempDir dir;
  const std::string path = dir.File("table.kvr");
  const int16_t keys[] = {8, 4, 4, 10, 10, 12, 8, 20, 5};
  ASSERT_EQ(db_create_keys(path.c_str(), 1024, 2048, keys), 0);
  std::vector<uint8_t> f = ReadBytes(path);
  ASSERT_EQ(f.size(), 27u * 1024);
  const uint8_t* h = f.data();
  EXPECT_EQ(Get16(h + kHdrKeyTable), 512);
  EXPECT_EQ(Get16(h + kKtKeys), 8);
  EXPECT_EQ(Get16(h + kHdrCurrentKey), 8);
  EXPECT_EQ(Get16(h + kKtCurrent), 8);
  EXPECT_EQ(Get16(h + kHdrKeyOffset), 0);
  EXPECT_EQ(Get32(h + kHdrEnd), f.size());
  ExpectEmptyLists(f, 1024, 1024);
  for (int k = 1; k <= 8; ++k) {
    const uint8_t* d = h + kKtDescriptors + kDescSize * (k - 1);
    const uint32_t root = uint32_t(1024 + 2048 + (k - 1) * 3072);
    EXPECT_EQ(Get16(d + kDescKeyLen), keys[k]);
    EXPECT_EQ(Get16(d + kDescDepth), 1);
    EXPECT_EQ(Get32(d + kDescRoot), root);
    EXPECT_EQ(Get32(d + kDescRecords), 0u);
    ExpectTree(f, root, root + 1024, k, keys[k], 1024, 2048);
  }
  // Opened again, the key created last is current until one is selected.
  KorvaFile* file = db_open(path.c_str());
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->key_no, 8);
  EXPECT_EQ(db_select_key(file, 0), -1);
  EXPECT_EQ(db_select_key(file, 9), -1);
  EXPECT_EQ(db_select_key(file, 3), 0);
  EXPECT_EQ(db_close(file), 0);

  const int16_t one[] = {1, 5};
  ASSERT_EQ(db_add_keys(path.c_str(), one), 0);
  f = ReadBytes(path);
  ASSERT_EQ(f.size(), 30u * 1024);
  EXPECT_EQ(Get16(f.data() + kKtKeys), 9);
  ExpectTree(f, 27 * 1024, 28 * 1024, 9, 5, 1024, 2048);
  const int16_t many[] = {16, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4};
  EXPECT_EQ(db_add_keys(path.c_str(), many), -1);
  EXPECT_EQ(db_errdetail, kvTooManyKeys);
  EXPECT_EQ(ReadBytes(path), f);

  ASSERT_EQ(db_create_one(dir.File("plain.kvr").c_str(), 0, 4, 1024, 2048), 0);
  EXPECT_EQ(db_add_keys(dir.File("plain.kvr").c_str(), one), -1);
  EXPECT_EQ(db_errdetail, kvNoKeyTable);
  EXPECT_EQ(db_add_keys(dir.File("missing.kvr").c_str(), one), -1);
  EXPECT_EQ(db_errdetail, kvNotKorva);
}

// The header's kind word is read in either byte order; 0F 0F marks the old layout.
TEST(KorvaFormat, HeaderKindWordAndOldLayout) {
  TempDir dir;
  const std::string path = dir.File("old.kvr");
  ASSERT_EQ(db_create_one(path.c_str(), 0, 4, 1024, 2048), 0);
  KorvaFile* f = db_open(path.c_str());
  const std::string rec = Record(7, 4, 30);
  ASSERT_EQ(db_insert(f, rec.data(), int16_t(rec.size())), 0);
  ASSERT_EQ(db_close(f), 0);

  ASSERT_TRUE(WriteAt(path, 0, {0xFF, 0x0F}));
  f = db_open(path.c_str());
  ASSERT_NE(f, nullptr);
  char buffer[600];
  EXPECT_EQ(db_read(f, Key(7, 4).data(), buffer), 30);
  ASSERT_EQ(db_close(f), 0);

  // The same header in the old layout: fields moved as the table of the old layout says.
  const std::vector<uint8_t> now = ReadAt(path, 0, 512);
  std::vector<uint8_t> old(512, 0);
  auto move = [&](int from, int to, int size) { std::memcpy(old.data() + from, now.data() + to, size_t(size)); };
  old[0] = 0x0F;
  old[1] = 0x0F;
  move(2, 2, 6);                 // block sizes, change counter
  move(8, 8, 2);                 // word 8
  move(10, 16, 4);               // the two words of 1
  move(14, 20, 4);
  move(18, 24, 4);               // records
  move(24, 32, 136);             // key offset .. level addresses
  move(160, 12, 2);              // key length
  move(162, 168, 16);            // free-list heads
  move(178, 28, 4);              // end address
  move(444, 444, 4);             // current key, key-table flag
  move(448, 448, 64);            // banner
  ASSERT_TRUE(WriteAt(path, 0, old));
  f = db_open(path.c_str());
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(db_read(f, Key(7, 4).data(), buffer), 30);
  const std::string more = Record(8, 4, 40);
  EXPECT_EQ(db_insert(f, more.data(), int16_t(more.size())), 0);
  ASSERT_EQ(db_close(f), 0);
  EXPECT_EQ(db_check(path.c_str()), 2);
  EXPECT_EQ(Get16(ReadAt(path, 0, 2).data()), 0x0FFF);  // written back in the current layout

  ASSERT_TRUE(WriteAt(path, 462, {'U', 'b', 'e', 'y'}));
  EXPECT_EQ(db_open(path.c_str()), nullptr);
  EXPECT_EQ(db_errdetail, kvNotKorva);
}

// A data block taken out of its chain gets its head rewritten least significant byte first and
// goes to the data free list; its address comes back with the next split.
TEST(KorvaFormat, RemovedDataBlockHead) {
  TempDir dir;
  const std::string path = dir.File("removed.kvr");
  ASSERT_EQ(db_create_one(path.c_str(), 0, 4, 1024, 2048), 0);
  KorvaFile* f = db_open(path.c_str());
  std::vector<uint32_t> keys;
  for (uint32_t n = 1; Chain(path, 3584).size() < 2 && n < 100; ++n) {
    const std::string rec = Record(n, 4, 200);
    ASSERT_EQ(db_insert(f, rec.data(), int16_t(rec.size())), 0);
    keys.push_back(n);
  }
  const uint32_t second = Chain(path, 3584)[1];
  // Delete from the top down until the second block is gone.
  size_t left = keys.size();
  while (Chain(path, 3584).size() == 2) ASSERT_EQ(db_delete(f, Key(keys[--left], 4).data()), 0);
  ASSERT_EQ(db_close(f), 0);
  const std::vector<uint8_t> head = ReadAt(path, second, 16);
  EXPECT_EQ(head[0], 0xFF);
  EXPECT_EQ(head[1], 0x00);
  EXPECT_EQ(uint32_t(head[8] | head[9] << 8 | head[10] << 16 | head[11] << 24), 3584u);  // pre
  EXPECT_EQ(uint32_t(head[12] | head[13] << 8 | head[14] << 16 | head[15] << 24), kNoBlock);
  const std::vector<uint8_t> list = ReadAt(path, 1536, 16);
  EXPECT_EQ(Get16(list.data() + kListCount), 1);
  EXPECT_EQ(Get32(list.data() + kListAddresses), second);
  EXPECT_EQ(db_check(path.c_str()), int(left));
  f = db_open(path.c_str());
  for (uint32_t n = 1000; Chain(path, 3584).size() < 2 && n < 1100; ++n) {
    const std::string rec = Record(n, 4, 200);
    ASSERT_EQ(db_insert(f, rec.data(), int16_t(rec.size())), 0);
  }
  ASSERT_EQ(db_close(f), 0);
  EXPECT_EQ(Chain(path, 3584)[1], second);
  EXPECT_EQ(Get16(ReadAt(path, 1536, 16).data() + kListCount), 0);
}

TEST(KorvaFormat, ExtensionAddressesAndNames) {
  struct Case {
    uint32_t address;
    int size;
    uint32_t next;
  };
  const Case cases[] = {
      {0x7FFEF800, 2048, 0x80000000},  // ends exactly at the limit: extension 1, offset 0
      {0x7FFEFC00, 2048, 0x80000008},  // ends 0x400 past it: the main file keeps the whole block
      {0x80000008, 1024, 0x80000010},
      {0x80FFFDF0, 0x1000, 0x81000010},  // past the limit of extension 1: on in extension 2
      {0x3000, 1024, 0x3400},
  };
  for (const Case& c : cases) EXPECT_EQ(NextAddress(c.address, c.size), c.next) << std::hex << c.address;
  EXPECT_EQ(AddressFile(0x80000000), 1);
  EXPECT_EQ(AddressFile(0xFE000000), 127);
  EXPECT_EQ(AddressFile(0xFF000000), 128);
  EXPECT_EQ(AddressOffset(0x80000008), 0x400u);

  const struct {
    const char *path, *name;
  } names[] = {{"table.kvr", "table#1.kvr"},      {"data", "data#1"},
               {"dir.old/table", "dir.old/table#1"}, {".profile", ".profile#1"},
               {"/a/.hidden", "/a/.hidden#1"},     {"c:\\x.y\\t.kvr", "c:\\x.y\\t#1.kvr"}};
  for (const auto& n : names) EXPECT_EQ(ExtensionName(n.path, 1), n.name);
  EXPECT_EQ(ExtensionName("/d/t.kvr", 127), "/d/t#127.kvr");
}

// A file whose end address stands just below the main file's limit (a sparse file stands in for
// the 2 GB) continues in extension file 1, and everything reads back after reopening.
TEST(KorvaFormat, GrowsIntoExtensionFiles) {
  TempDir dir;
  const std::string path = dir.File("big.kvr");
  ASSERT_EQ(db_create_one(path.c_str(), 0, 4, 1024, 2048), 0);
  ASSERT_TRUE(Patch32(path, kHdrEnd, 0x7FFEF800));
  KorvaFile* f = db_open(path.c_str());
  ASSERT_NE(f, nullptr);
  int n = 0;
  while (Chain(path, 3584).size() < 4 && n < 100) {
    const std::string rec = Record(uint32_t(++n), 4, 300);
    ASSERT_EQ(db_insert(f, rec.data(), int16_t(rec.size())), 0) << std::hex << db_errdetail;
  }
  ASSERT_EQ(db_close(f), 0);
  std::vector<uint32_t> chain = Chain(path, 3584);
  std::sort(chain.begin(), chain.end());
  EXPECT_EQ(chain[1], 0x7FFEF800u);
  EXPECT_EQ(chain[2], 0x80000000u);
  EXPECT_TRUE(std::filesystem::exists(dir.File("big#1.kvr")));
  EXPECT_GE(std::filesystem::file_size(path), 0x7FFF0000u);
  f = db_open(path.c_str());
  char buffer[600];
  for (int i = 1; i <= n; ++i) EXPECT_EQ(db_read(f, Key(uint32_t(i), 4).data(), buffer), 300);
  ASSERT_EQ(db_close(f), 0);
  EXPECT_EQ(db_check(path.c_str()), n);
}

// Reads never create extension files; an address past extension 127 is refused.
TEST(KorvaFormat, ExtensionReadsAndLimits) {
  TempDir dir;
  KorvaRequest r;
  r.path = dir.File("x.kvr");
  r.mode = kOpenCreate;
  r.code = kReqOpen;
  db_request(&r);
  ASSERT_EQ(r.result, 0);
  uint8_t block[128] = {1};
  r.code = kReqWrite;
  r.address = 0x80000000;
  r.buffer = block;
  r.length = 128;
  db_request(&r);
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(std::filesystem::exists(dir.File("x#1.kvr")));
  r.code = kReqRead;
  r.address = 0x82000000;  // extension 3
  db_request(&r);
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(db_errclass, kvClassFile);
  EXPECT_FALSE(std::filesystem::exists(dir.File("x#3.kvr")));
  r.address = 0xFF000000;  // extension 128
  db_request(&r);
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(db_errdetail, kvBadExtension);
  r.code = kReqClose;
  db_request(&r);
}

TEST(KorvaFormat, CreationLimits) {
  TempDir dir;
  const std::string path = dir.File("limits.kvr");
  const struct {
    int offset, key, kb, db, detail;
  } cases[] = {
      {0, 0, 1024, 2048, kvBadKey},     {0, 257, 1024, 2048, kvBadKey},  {-1, 4, 1024, 2048, kvBadKey},
      {0, 4, 1000, 2048, kvBadBlockSize}, {0, 4, 1024, 2000, kvBadBlockSize}, {0, 4, 64, 2048, kvBadBlockSize},
      {0, 4, 32768, 2048, kvBadBlockSize}, {0, 60, 128, 2048, kvBadBlockSize},  // one entry per key block
      {0, 24, 1024, 128, kvBadBlockSize},  // a record of one key would not fit
      {10, 20, 1024, 128, kvBadBlockSize},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(db_create_one(path.c_str(), c.offset, c.key, c.kb, c.db), -1) << c.key << " " << c.kb << " " << c.db;
    EXPECT_EQ(db_errdetail, c.detail) << c.key << " " << c.kb << " " << c.db;
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  const int16_t too_many[26] = {25, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4};
  EXPECT_EQ(db_create_keys(path.c_str(), 1024, 2048, too_many), -1);
  EXPECT_EQ(db_errdetail, kvTooManyKeys);
  EXPECT_EQ(db_create_one(path.c_str(), 0, 23, 128, 128), 0);
}

// Opening refuses headers that do not hold together, whatever the banner says.
TEST(KorvaFormat, OpenRefusesDamagedHeaders) {
  TempDir dir;
  const std::string path = dir.File("header.kvr");
  const int16_t keys[] = {2, 4, 8};
  const struct {
    int offset, size;
    uint32_t value;
  } cases[] = {
      {kHdrKeyBlock, 2, 1000},  {kHdrDataBlock, 2, 0},        {kHdrKeyTable, 2, 7},
      {kHdrEnd, 4, 0x100},      {kHdrKeyFree, 4, 0x7FFFFF00}, {kKtKeys, 2, 25},
      {kKtKeys, 2, 0},          {kKtDescriptors + kDescDepth, 2, 16},
      {kKtDescriptors + kDescRoot, 4, 0x1234567},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(db_create_keys(path.c_str(), 1024, 2048, keys), 0);
    ASSERT_TRUE(c.size == 2 ? Patch16(path, uint64_t(c.offset), c.value) : Patch32(path, uint64_t(c.offset), c.value));
    EXPECT_EQ(db_open(path.c_str()), nullptr) << c.offset;
    EXPECT_EQ(db_errdetail, kvInconsistent) << c.offset;
  }
}

}  // namespace
