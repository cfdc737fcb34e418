// CKorva: one handle per file over the engine, keeping the engine's last result.
#include <gtest/gtest.h>

#include <string>

#include "store/Kvobj.h"
#include "tests/store/KorvaTestFiles.h"
#include "tests/support/TestSupport.h"

using namespace korva_test;

namespace {

TEST(Kvobj, WithoutAFileEverythingAnswersFalse) {
  CKorva k;
  char buffer[16] = {};
  EXPECT_FALSE(k.Close());
  EXPECT_FALSE(k.SelectKey(1));
  EXPECT_FALSE(k.Insert(buffer, 8));
  EXPECT_FALSE(k.First(buffer));
  EXPECT_FALSE(k.Read(buffer, buffer));
  EXPECT_FALSE(k.Hold());
  EXPECT_EQ(k.DataBlockCap(), 0);
}

TEST(Kvobj, RecordsThroughTheHandle) {
  TempDir dir;
  const std::string path = dir.File("handle.kvr");
  const int16_t keys[] = {2, 4, 6};
  CKorva k;
  ASSERT_TRUE(k.Create(path, 1024, 2048, keys));
  EXPECT_FALSE(k.HasFile());
  ASSERT_TRUE(k.Open(path));
  EXPECT_FALSE(k.Open(path));  // one file per object; the first stays open
  EXPECT_EQ(k.DataBlockCap(), 503);
  ASSERT_TRUE(k.SelectKey(1));

  const std::string r = Record(5, 4, 120);
  ASSERT_TRUE(k.Insert(r.data(), int(r.size())));
  char buffer[600];
  EXPECT_TRUE(k.Read(Key(5, 4).data(), buffer));
  EXPECT_EQ(k.LastResult(), 120);
  int len = 0;
  EXPECT_TRUE(k.ReadLen(len, Key(5, 4).data(), buffer));
  EXPECT_EQ(len, 120);
  EXPECT_FALSE(k.Read(Key(6, 4).data(), buffer));
  EXPECT_EQ(k.LastResult(), -1);
  EXPECT_FALSE(k.Insert(r.data(), 40000));  // longer than any block takes
  EXPECT_EQ(db_errdetail, kvBadLength);

  // The selected key is cached: the engine is asked only when it changes.
  db_errdetail = 0x7777;
  EXPECT_TRUE(k.SelectKey(1));
  EXPECT_EQ(db_errdetail, 0x7777);
  EXPECT_FALSE(k.SelectKey(3));
  EXPECT_TRUE(k.SelectKey(2));
  EXPECT_FALSE(k.Read(Key(5, 6).data(), buffer));  // key 2 holds no records
  EXPECT_TRUE(k.SelectKey(1));
  EXPECT_TRUE(k.First(buffer));
  EXPECT_FALSE(k.Next(buffer, buffer));
  EXPECT_TRUE(k.SeekPrev(Key(9, 4).data(), buffer));
  EXPECT_TRUE(k.Close());
  ASSERT_TRUE(k.Open(path));
  db_errdetail = 0x7777;
  EXPECT_TRUE(k.SelectKey(1));
  EXPECT_EQ(db_errdetail, 0);

  {
    CKorvaHold hold(k);
    ASSERT_TRUE(hold.Held());
    const std::string longer = Record(5, 4, 200);
    EXPECT_TRUE(k.Update(longer.data(), int(longer.size())));
    EXPECT_TRUE(k.Delete(Key(5, 4).data()));
    EXPECT_TRUE(k.Insert(longer.data(), int(longer.size())));
  }
  EXPECT_EQ(CKorva::Check(path), 1);
  EXPECT_EQ(CKorva::Copy(path, dir.File("copy.kvr"), 0, 0), 1);
  EXPECT_EQ(CKorva::Salvage(path, dir.File("salvage.kvr"), 0, 0), 1);
}

}  // namespace
