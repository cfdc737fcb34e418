#include <gtest/gtest.h>

#include <vector>

#include "store/Kvrbuffer.h"

namespace {

std::vector<unsigned char> Bytes(const CKvrBuffer& b) { return {b.Data(), b.Data() + b.Length()}; }

}  // namespace

TEST(KvrBuffer, IntegersAreBigEndian) {
  CKvrBuffer b(4);
  b.PutU16(0x1234);
  b.PutU16(0xABCD5678);  // the low 16 bits
  b.PutU32(1);
  b.PutU32(0xDEADBEEF);
  b.PutBytes("ab\0", 3);
  b.Fill(0x7F, 2);
  b.PutBytes("c", 2);
  const std::vector<unsigned char> want = {0x12, 0x34, 0x56, 0x78, 0, 0, 0, 1, 0xDE, 0xAD, 0xBE, 0xEF,
                                           'a', 'b', 0, 0x7F, 0x7F, 'c', 0};
  EXPECT_EQ(Bytes(b), want);

  EXPECT_EQ(b.GetU32(), 0x12345678u);
  EXPECT_EQ(b.PeekU32(8), 0xDEADBEEFu);
  EXPECT_EQ(b.ReadPos(), 4);
  EXPECT_EQ(b.GetU32(), 1u);
  EXPECT_EQ(b.GetU32(), 0xDEADBEEFu);
  EXPECT_EQ(b.GetString(), "ab");
  b.SeekRead(17);
  EXPECT_EQ(b.GetString(), "c");
  EXPECT_FALSE(b.ReadOverrun());
}

TEST(KvrBuffer, GrowsByRequestOrStep) {
  CKvrBuffer b(100);
  b.PutBytes("x", 1);
  b.SetLength(0);
  EXPECT_TRUE(b.Fill('a', 600));
  EXPECT_EQ(b.Capacity(), 700);
  b.Fill('b', 100);
  EXPECT_EQ(b.Capacity(), 700);
  b.PutBytes("c", 1);
  EXPECT_EQ(b.Capacity(), 1212);
  EXPECT_EQ(b.Length(), 701);
  EXPECT_EQ(b.Data()[599], 'a');
  EXPECT_EQ(b.Data()[600], 'b');
  EXPECT_EQ(b.Data()[700], 'c');

  EXPECT_TRUE(b.SetLength(2000));  // grows by the difference
  EXPECT_EQ(b.Capacity(), 2511);
  EXPECT_EQ(b.Length(), 2000);
  EXPECT_FALSE(b.PutBytes("x", -1));
  EXPECT_FALSE(b.Reserve(0x7FFFFFFF));
  EXPECT_EQ(b.Length(), 2000);
}

TEST(KvrBuffer, AssignCopiesBytesAndReadOffset) {
  CKvrBuffer a(16);
  a.PutU32(7);
  a.PutU32(8);
  a.PutBytes("text", 5);
  a.GetU32();
  CKvrBuffer b(1);
  b.PutBytes("old", 3);
  b.Assign(a);
  EXPECT_EQ(Bytes(b), Bytes(a));
  EXPECT_EQ(b.GetU32(), 8u);
  EXPECT_EQ(b.GetString(), "text");
  EXPECT_EQ(a.ReadPos(), 4);  // reading the copy leaves the original where it was
  EXPECT_EQ(a.GetU32(), 8u);
}

TEST(KvrBuffer, ReadsStopAtTheWrittenLength) {
  CKvrBuffer b(64);
  b.PutBytes("\x01\x02\x03\x04\x05\x06", 6);
  b.SetLength(6);
  EXPECT_EQ(b.GetU32(), 0x01020304u);
  EXPECT_FALSE(b.ReadOverrun());
  EXPECT_EQ(b.GetU32(), 0x05060000u);  // the missing bytes read as 0
  EXPECT_TRUE(b.ReadOverrun());
  EXPECT_EQ(b.ReadPos(), 6);
  EXPECT_EQ(b.GetString(), "");

  b.SeekRead(4);
  EXPECT_FALSE(b.ReadOverrun());
  EXPECT_EQ(b.GetString(), "\x05\x06");  // no NUL: the text ends at the length
  EXPECT_TRUE(b.ReadOverrun());
  EXPECT_EQ(b.ReadPos(), 6);

  b.SeekRead(0);
  EXPECT_EQ(b.PeekU32(4), 0x05060000u);
  EXPECT_TRUE(b.ReadOverrun());
  b.Clear();
  EXPECT_FALSE(b.ReadOverrun());
  EXPECT_EQ(b.GetU32(), 0u);
  EXPECT_TRUE(b.ReadOverrun());
}
