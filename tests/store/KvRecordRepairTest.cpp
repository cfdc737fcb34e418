// The check of a table's own invariants, its repair by ReIndex, and what a table does when it
// meets damage while it works.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "store/CondOp.h"
#include "tests/store/KvRecordTestSupport.h"

namespace {

using Values = std::vector<AnsiString>;

// Reads record `key` under the table's key into a buffer; its length, or -1.
int ReadRaw(CKorva& file, int key, const void* k, std::vector<unsigned char>& buf) {
  buf.assign(size_t(file.DataBlockCap()) + 1, 0);
  return file.SelectKey(key) && file.Read(k, buf.data()) ? file.LastResult() : -1;
}

void Put32(unsigned char* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// The string-value record of `text` in column colNo of an open table.
std::vector<unsigned char> StringValue(CKvRecord& t, int colNo, const char* text) {
  CKvrBuffer rec(t.File()->DataBlockCap());
  CKvrValue v(kvrString);
  v.SetText(text);
  EXPECT_TRUE(t.FindStringValue(rec, *t.Columns()->GetAt(colNo), v, colNo)) << text;
  return std::vector<unsigned char>(rec.Data(), rec.Data() + rec.Length());
}

struct RepairFixture : TableFixture {
  RepairFixture()
      : TableFixture({{"name", kvrString, 0, 0},
                      {"tags", kvrSet, 0, 0},
                      {"n", kvrSigned, 0, 0},
                      {"r", kvrReal, 0, 0},
                      {"code", kvrString, 0, kvrOptUnique},
                      {"stamp", kvrString, 0, kvrAutoDateTime | kvrOptAppend}}) {
    const char* names[] = {"山田", "佐藤", "山田", "鈴木", "高橋", "山田"};
    for (int i = 0; i < 6; ++i)
      EXPECT_NE(Add({{"name", Utf8ToSjis(names[i])},
                     {"tags", i % 2 ? "a,b" : "b,c"},
                     {"n", AnsiString(std::to_string(i * 7))},
                     {"r", "1.5"},
                     {"code", AnsiString("C") + std::to_string(i)}}),
                0u);
  }
  std::vector<Values> Records() {
    std::vector<Values> out;
    for (uint32_t id = 1; id <= 6; ++id) out.push_back(Get(id));
    return out;
  }
};

}  // namespace

// Tables damaged by hand, each a way a killed run or a faulty write leaves one: the check finds
// the damage, ReIndex mends it, and the table then passes the check with every value kept.
TEST(KvRecordRepair, ReIndexMendsWhatTheCheckFinds) {
  struct Case {
    const char* what;
    std::function<void(RepairFixture&)> damage;
    int KvrTableCheck::*finding;
    bool KvrTableCheck::*flag;
  };
  auto refOf = [](RepairFixture& f, const char* text, uint32_t id) {
    const auto rec = StringValue(f.table, 1, text);
    return KvrKey(KvrGet32(rec.data() + 16), id);
  };
  const Case cases[] = {
      {"orphan string value",
       [](RepairFixture& f) {
         CKvrBuffer rec(64);
         CKvrValue v(kvrString);
         v.SetText("leftover");
         CKvRecord::MakeStringValueRecord(rec, *f.table.Columns()->GetAt(1), 1, v, 3, 2);
         ASSERT_TRUE(f.table.File()->SelectKey(kvrKeyString) && f.table.File()->Insert(rec.Data(), rec.Length()));
       },
       &KvrTableCheck::orphanValues, nullptr},
      {"lost references of an automatic column",  // its values stay as they were written
       [](RepairFixture& f) {
         const CKvrColInfo& stamp = *f.table.Columns()->GetAt(6);
         for (uint32_t id = 1; id <= 6; ++id) {
           CKvrValue v(kvrString);
           v.SetText(f.Get(id)[6].c_str());
           ASSERT_TRUE(f.table.RemoveIndexEntry(stamp, v, id, 6));
         }
       },
       &KvrTableCheck::missingEntries, nullptr},
      {"use count below its references",
       [](RepairFixture& f) {
         auto rec = StringValue(f.table, 1, SJ("山田").c_str());
         Put32(rec.data() + 20, 1);
         ASSERT_TRUE(f.table.File()->SelectKey(kvrKeyString) && f.table.File()->Update(rec.data(), int(rec.size())));
       },
       &KvrTableCheck::wrongCounts, nullptr},
      {"missing reference",
       [&](RepairFixture& f) {
         const KvrKey ref = refOf(f, SJ("山田").c_str(), 3);
         ASSERT_TRUE(f.table.File()->SelectKey(kvrKeyRef) && f.table.File()->Delete(ref.bytes));
       },
       &KvrTableCheck::missingEntries, nullptr},
      {"missing string value",
       [](RepairFixture& f) {
         const auto rec = StringValue(f.table, 1, SJ("鈴木").c_str());
         ASSERT_TRUE(f.table.File()->SelectKey(kvrKeyString) && f.table.File()->Delete(rec.data()));
       },
       &KvrTableCheck::missingValues, nullptr},
      {"missing number entry",
       [](RepairFixture& f) {
         std::vector<unsigned char> entry(size_t(f.table.File()->DataBlockCap()));
         ASSERT_TRUE(f.table.File()->SelectKey(kvrKeySigned) && f.table.File()->First(entry.data()));
         ASSERT_TRUE(f.table.File()->Delete(entry.data()));
       },
       &KvrTableCheck::missingEntries, nullptr},
      {"entry of a record that is not there",
       [](RepairFixture& f) {
         unsigned char entry[12] = {0, 4};  // column 4 (real), value bytes 0, record 99
         Put32(entry + 8, 99);
         ASSERT_TRUE(f.table.File()->SelectKey(kvrKeyReal) && f.table.File()->Insert(entry, 12));
       },
       &KvrTableCheck::extraEntries, nullptr},
      {"string-value counter behind the ids in use",
       [](RepairFixture& f) {
         CKvrTableInfo info;
         ASSERT_TRUE(info.Read(*f.table.File()));
         info.LastStringId = 2;
         ASSERT_TRUE(info.Write(*f.table.File()));
       },
       nullptr, &KvrTableCheck::counterBehind},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RepairFixture f;
    const auto records = f.Records();
    ASSERT_EQ(f.table.CheckTable(), 6);
    {
      CKvrLock lock(f.table.File());
      c.damage(f);
    }
    KvrTableCheck found;
    EXPECT_EQ(f.table.CheckTable(&found), -1);
    if (c.finding) {
      EXPECT_GT(found.*(c.finding), 0);
    }
    if (c.flag) {
      EXPECT_TRUE(found.*(c.flag));
    }
    f.table.Close();
    EXPECT_EQ(CKorva::Check(f.dir.File("t.kv")), -1);  // the data check sees it too
    EXPECT_GE(f.table.ReIndex(nullptr, nullptr), 0);
    ASSERT_EQ(f.table.Open(), 0);
    KvrTableCheck after;
    EXPECT_EQ(f.table.CheckTable(&after), 6);
    EXPECT_EQ(f.Records(), records);
    EXPECT_EQ(f.table.ReIndex(nullptr, nullptr), 0);  // a sound table: nothing to add
    // The mended indexes answer as a sound table's: look-ups find every record, a new text gets
    // an id of its own.
    f.table.ClearCond();
    f.table.AddCond("name", COND_EQL, SJ("山田"));
    f.table.AddCondEnd();
    CKvrValueList values;
    std::vector<unsigned> ids;
    while (f.table.GetRec(values)) ids.push_back(values.GetAt(0)->GetUnsigned());
    EXPECT_EQ(ids, (std::vector<unsigned>{1, 3, 6}));
    ASSERT_EQ(f.Add({{"name", "new"}, {"code", "C9"}}), 7u);
    EXPECT_EQ(f.Get(7)[1], "new");
    EXPECT_EQ(f.table.CheckTable(), 7);
    EXPECT_GE(CKorva::Check(f.dir.File("t.kv")), 0);
  }
}

// A unique column is taken by another record's reference, not by a string value left behind.
TEST(KvRecordRepair, UniqueTextIsTakenByAnotherRecordOnly) {
  RepairFixture f;
  MessageCatcher box;
  EXPECT_EQ(f.Add({{"code", "C1"}}), 0u);  // record 2 holds it
  {
    // Record 2's reference to C1 is lost; the value stays behind.
    CKvrLock lock(f.table.File());
    const auto rec = StringValue(f.table, 5, "C1");
    ASSERT_TRUE(f.table.File()->SelectKey(kvrKeyRef) && f.table.File()->Delete(KvrKey(KvrGet32(rec.data() + 16), 2).bytes));
  }
  ASSERT_TRUE(f.table.ChgRecById("2", 5, "C7"));
  const uint32_t id = f.Add({{"code", "C1"}});
  EXPECT_NE(id, 0u);
  EXPECT_EQ(f.table.CheckTable(), 7);
}

// A set whose text is longer than a string value keeps, changed past those bytes, and a record
// written before columns were added, changed through another column: their entries follow.
TEST(KvRecordRepair, ChangesKeepEveryEntryCurrent) {
  TableFixture f({{"s", kvrSet, 0, 0}, {"a", kvrString, 0, 0}});
  AnsiString longSet;
  for (int i = 0; i < 30; ++i) longSet += AnsiString("element") + std::to_string(i) + ",";
  ASSERT_GT(longSet.size(), 250u);
  ASSERT_EQ(f.Add({{"s", longSet + "last"}, {"a", "x"}}), 1u);
  ASSERT_TRUE(f.table.ChgRecById("1", 1, longSet + "changed"));
  const CKvrColInfo& set = *f.table.Columns()->GetAt(1);
  auto has = [&](const CKvrColInfo& col, int colNo, char type, const char* text) {
    CKvrLock lock(f.table.File());
    CKvrValue v(type);
    v.SetText(text);
    return f.table.HasIndexEntry(col, v, 1, colNo);
  };
  EXPECT_TRUE(has(set, 1, kvrString, "changed"));
  EXPECT_FALSE(has(set, 1, kvrString, "last"));
  EXPECT_EQ(f.table.CheckTable(), 1);

  ASSERT_TRUE(f.table.AddColumn("n", kvrSigned, 0));
  ASSERT_TRUE(f.table.AddColumn("t", kvrString, 0));
  ASSERT_TRUE(f.table.ChgRecById("1", 2, "y"));
  EXPECT_TRUE(has(*f.table.Columns()->GetAt(3), 3, kvrSigned, "0"));
  EXPECT_TRUE(has(*f.table.Columns()->GetAt(4), 4, kvrString, ""));
  EXPECT_EQ(f.table.CheckTable(), 1);
  EXPECT_EQ(f.table.ReIndex(nullptr, nullptr), 0);

  // Two elements equal in their kept bytes: one string value, one reference, a use count of two.
  const AnsiString same(210, 'q');
  ASSERT_EQ(f.Add({{"s", same + "1," + same + "2"}}), 2u);
  {
    CKvrLock lock(f.table.File());
    CKvrValue v(kvrString);
    v.SetText((same + "1").c_str());
    CKvrBuffer rec(64);
    ASSERT_TRUE(f.table.FindStringValue(rec, set, v, 1));
    EXPECT_EQ(KvrGet32(rec.Data() + 20), 2u);
  }
  EXPECT_EQ(f.table.CheckTable(), 2);
  EXPECT_TRUE(f.table.DelRecById("2"));
  EXPECT_EQ(f.table.CheckTable(), 1);
}

// A body whose values do not fill it, a block that cannot be read, lost table records: the table
// says so, names the repair and takes no more writes; nothing is taken as the end of the records.
TEST(KvRecordRepair, DamageMetIsReportedAndStopsWrites) {
  TableFixture f({{"t", kvrString, 0, 0}, {"n", kvrSigned, 0, 0}});
  const AnsiString longText(700, 'L');
  for (int i = 0; i < 3; ++i) ASSERT_NE(f.Add({{"t", longText}, {"n", "5"}}), 0u);
  {
    // A zeroed piece inside record 2's text, in its first part under key 2.
    CKvrLock lock(f.table.File());
    std::vector<unsigned char> buf;
    const int length = ReadRaw(*f.table.File(), kvrKeyBody, KvrKey(2).bytes, buf);
    ASSERT_GT(length, 300);
    std::memset(buf.data() + 200, 0, 20);
    ASSERT_TRUE(f.table.File()->Update(buf.data(), length));
  }
  MessageCatcher box;
  f.table.ClearCond();
  f.table.AddCond("__REC__ID__", COND_GRT_EQL, "1");
  f.table.AddCondEnd();
  CKvrValueList values;
  std::vector<unsigned> ids;
  while (f.table.GetRec(values)) ids.push_back(values.GetAt(0)->GetUnsigned());
  EXPECT_EQ(ids, (std::vector<unsigned>{1, 3}));  // never record 2 with a cut text
  ASSERT_EQ(box.texts.size(), 1u);
  EXPECT_NE(box.Last().find(SJ("「データ検査」")), std::string::npos) << Show(box.Last());
  EXPECT_TRUE(f.table.DamageFound());
  KvrTableCheck found;
  EXPECT_EQ(f.table.CheckTable(&found), -1);
  EXPECT_EQ(found.badBodies, 1);
  // Writes are refused with the same message, also those of another object of the table.
  EXPECT_EQ(f.Add({{"t", "more"}}), 0u);
  EXPECT_FALSE(f.table.DelRecById("1"));
  {
    CKvRecord other;
    other.SetFileName(f.dir.File("t.kv"));
    EXPECT_FALSE(other.DelRecById("3"));
  }
  EXPECT_EQ(box.texts.size(), 4u);
  EXPECT_EQ(f.Raw(kvrKeyBody).size(), 3u);
  f.table.Close();

  // A damaged data block of the bodies: a listing and a copy end with the damage, not as the end.
  const std::string path = f.dir.File("t.kv");
  std::string bytes = ReadFileBytes(path);
  // Key 2's first data block: after the header, two list heads, and key 1's two blocks.
  const size_t block = 1024 + 2 * 1024 + (1024 + 2048) + 1024;
  ASSERT_GT(bytes.size(), block + 2048);
  for (size_t i = 0; i < 2048; ++i) bytes[block + i] = char(0xA5);
  {
    FILE* out = std::fopen(path.c_str(), "r+b");
    ASSERT_TRUE(out);
    std::fseek(out, long(block), SEEK_SET);
    std::fwrite(bytes.data() + block, 1, 2048, out);
    std::fclose(out);
  }
  CKvRecord damaged;
  damaged.SetFileName(path);
  box.texts.clear();
  ASSERT_EQ(damaged.Open(), 0);
  damaged.AddCond("__REC__ID__", COND_GRT_EQL, "1");
  damaged.AddCondEnd();
  EXPECT_FALSE(damaged.GetRec(values));
  EXPECT_EQ(box.texts.size(), 1u);
  EXPECT_EQ(damaged.CopyTo(f.dir.File("copy.kv")), -1);
  EXPECT_EQ(damaged.AppendTo(f.dir.File("copy.kv")), -1);
  EXPECT_EQ(box.texts.size(), 3u);
  damaged.Close();

  // Lost table records: the table does not open as an empty one.
  for (size_t i = 0; i < 2048; ++i) bytes[1024 + 2 * 1024 + 1024 + i] = char(0x5A);
  {
    FILE* out = std::fopen(path.c_str(), "r+b");
    ASSERT_TRUE(out);
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
  }
  box.texts.clear();
  CKvRecord lost;
  lost.SetFileName(path);
  EXPECT_EQ(lost.Open(), -1);
  ASSERT_FALSE(box.texts.empty());
  EXPECT_NE(box.Last().find(SJ("「データ検査」")), std::string::npos);
}
