#include <memory>

#include "platform/SysUtils.h"
#include "tests/store/KvRecordTestSupport.h"

namespace {
using Values = std::vector<AnsiString>;
}

TEST(KvRecordTable, HighestAndLeastOfEachKindOfColumn) {
  TableFixture f({{"i", kvrSigned, 0, 0},
                  {"r", kvrReal, 0, 0},
                  {"t", kvrString, 0, 0},
                  {"s", kvrSet, 0, 0},
                  {"none", kvrString, 0, 0}});
  const AnsiString p(14, 'p');  // texts sharing their 14-byte key prefix
  ASSERT_EQ(f.Add({{"i", "-5"}, {"r", "2.5"}, {"t", p + "b"}, {"s", "m,z"}}), 1u);
  ASSERT_EQ(f.Add({{"i", "3"}, {"r", "-1"}, {"t", p + "c"}, {"s", "b"}}), 2u);
  ASSERT_EQ(f.Add({{"i", "-9"}, {"r", "10"}, {"t", p + "a"}}), 3u);
  ASSERT_TRUE(f.table.DelRecById("2"));
  struct Case {
    const char* column;
    const char *highest, *least;
  } cases[] = {
      {"i", "-5", "-9"},
      {"r", "10", "2.5"},
      {"s", "z", ""},
      {"__REC__ID__", "3", "1"},
  };
  for (const Case& c : cases) {
    AnsiString high, low;
    EXPECT_TRUE(f.table.GetHighest(c.column, high)) << c.column;
    EXPECT_TRUE(f.table.GetLeast(c.column, low)) << c.column;
    EXPECT_EQ(high, c.highest) << c.column;
    EXPECT_EQ(low, c.least) << c.column;
  }
  AnsiString text;
  ASSERT_TRUE(f.table.GetHighest("t", text));
  EXPECT_EQ(text, p + "b");
  ASSERT_TRUE(f.table.GetLeast("t", text));
  EXPECT_EQ(text, p + "a");
  // A column whose only value is empty answers it; one that does not exist answers nothing.
  ASSERT_TRUE(f.table.GetHighest("none", text));
  EXPECT_EQ(text, "");
  EXPECT_FALSE(f.table.GetHighest("nosuch", text));
  TableFixture empty({{"i", kvrSigned, 0, 0}}, "e.kv");
  EXPECT_FALSE(empty.table.GetHighest("i", text));
  EXPECT_FALSE(empty.table.GetLeast("__REC__ID__", text));
}

TEST(KvRecordTable, UseCountOfATextByItsColumn) {
  TableFixture f({{"t", kvrString, 0, 0}, {"n", kvrSigned, 0, 0}, {"s", kvrSet, 0, 0}});
  ASSERT_EQ(f.Add({{"t", "a"}, {"s", "x,y"}}), 1u);
  ASSERT_EQ(f.Add({{"t", "a"}, {"s", "y"}}), 2u);
  unsigned n = 0;
  EXPECT_TRUE(f.table.GetIdByKey("t", "a", n));
  EXPECT_EQ(n, 2u);
  EXPECT_TRUE(f.table.GetIdByKey("s", "x", n));
  EXPECT_EQ(n, 1u);
  EXPECT_FALSE(f.table.GetIdByKey("t", "b", n));
  EXPECT_FALSE(f.table.GetIdByKey("n", "0", n));
}

TEST(KvRecordTable, CopyRenumbersAndKeepsColumnOptions) {
  TableFixture f(
      {{"code", kvrSigned, 0, kvrOptUnique}, {"name", kvrString, 0, 0}, {"no", kvrString, 0, kvrAutoSerial}});
  ASSERT_EQ(f.Add({{"code", "1"}, {"name", "a"}, {"no", "A1"}}, 3), 3u);
  ASSERT_EQ(f.Add({{"code", "2"}, {"name", AnsiString(700, 'b')}}, 7), 7u);
  ASSERT_EQ(f.Add({{"code", "3"}, {"name", "c"}}, 9), 9u);
  f.table.Close();
  const std::string target = f.dir.File("copy.kv");
  EXPECT_EQ(f.table.CopyTo(target), 3);
  EXPECT_EQ(f.table.File(), nullptr);  // it opened the table, so it closed it again

  CKvRecord copy;
  copy.SetFileName(target);
  ASSERT_EQ(copy.Open(), 0);
  EXPECT_EQ(ReadBack(copy, 1), (Values{"1", "1", "a", "A1"}));
  EXPECT_EQ(ReadBack(copy, 2), (Values{"2", "2", AnsiString(700, 'b'), "A2"}));
  EXPECT_EQ(ReadBack(copy, 3), (Values{"3", "3", "c", "A3"}));
  ASSERT_EQ(f.table.Open(), 0);
  EXPECT_EQ(copy.Columns()->ToText(), f.table.Columns()->ToText());
  MessageCatcher box;
  TStringList names, texts;
  names.Add("code");
  texts.Add("2");
  EXPECT_FALSE(copy.Insert(names, texts));  // still unique
  texts.SetString(0, "4");
  unsigned id = 0;
  ASSERT_TRUE(copy.InsertEx(names, texts, &id, 0));
  EXPECT_EQ(id, 5u);                                            // the refused insert used up id 4
  EXPECT_EQ(ReadBack(copy, id), (Values{"5", "4", "", "A4"}));  // the serial goes on

  // A target that cannot be made: -1 and no file left behind.
  EXPECT_EQ(f.table.CopyTo(f.dir.File("no/such/dir.kv")), -1);
  EXPECT_FALSE(FileExists(f.dir.File("no/such/dir.kv")));
}

// The copy asks its progress before each record; a stop fails it and leaves no copy behind.
TEST(KvRecordTable, CopyAsksItsProgressAndStops) {
  TableFixture f({{"name", kvrString, 0, 0}});
  for (int i = 0; i < 5; ++i) ASSERT_NE(f.Add({{"name", IntToStr(i)}}), 0u);
  f.table.Close();
  struct Seen {
    std::vector<int> counts;
    int stopAt = -1;
  } seen;
  f.table.SetProgress(
      [](void* c, int n) {
        auto* s = static_cast<Seen*>(c);
        s->counts.push_back(n);
        return n == s->stopAt ? -1 : 0;
      },
      &seen);
  EXPECT_EQ(f.table.CopyTo(f.dir.File("a.kv")), 5);
  EXPECT_EQ(seen.counts, (std::vector<int>{0, 1, 2, 3, 4}));
  seen.stopAt = 2;
  EXPECT_EQ(f.table.CopyTo(f.dir.File("b.kv")), -1);
  EXPECT_FALSE(FileExists(f.dir.File("b.kv")));
}

TEST(KvRecordTable, AppendMapsColumnsByNameAndType) {
  TableFixture src({{"a", kvrString, 0, 0}, {"n", kvrSigned, 0, 0}, {"extra", kvrString, 0, 0}}, "src.kv");
  ASSERT_EQ(src.Add({{"a", "x"}, {"n", "5"}, {"extra", "e"}}), 1u);
  ASSERT_EQ(src.Add({{"a", "y"}, {"n", "6"}}), 2u);
  TableFixture dst({{"n", kvrString, 0, 0}, {"a", kvrString, 0, 0}, {"m", kvrSigned, 0, 0}}, "dst.kv");
  ASSERT_EQ(dst.Add({{"n", "keep"}, {"a", "old"}, {"m", "1"}}), 1u);
  dst.table.Close();
  EXPECT_EQ(src.table.AppendTo(dst.dir.File("dst.kv")), 2);
  ASSERT_EQ(dst.table.Open(), 0);
  EXPECT_EQ(dst.Get(1), (Values{"1", "keep", "old", "1"}));
  EXPECT_EQ(dst.Get(2), (Values{"2", "", "x", "0"}));
  EXPECT_EQ(dst.Get(3), (Values{"3", "", "y", "0"}));
  MessageCatcher box;
  EXPECT_EQ(src.table.AppendTo(src.dir.File("missing.kv")), -1);
}

TEST(KvRecordTable, ReIndexFillsWhatIsMissing) {
  TableFixture f({{"a", kvrString, 0, 0}});
  for (const char* a : {"x", "y", "z"}) ASSERT_NE(f.Add({{"a", a}}), 0u);
  ASSERT_TRUE(f.table.AddColumn("no", kvrString, 0));
  f.table.Columns()->GetAt(2)->Flags = kvrAutoSerial;
  ASSERT_TRUE(f.table.WriteColInfoList());
  ASSERT_TRUE(f.table.AddColumn("n", kvrSigned, 0));
  f.table.Close();
  std::vector<int> seen;
  auto progress = [](void* context, int count) {
    static_cast<std::vector<int>*>(context)->push_back(count);
    return 0;
  };
  EXPECT_EQ(f.table.ReIndex(progress, &seen), 6);
  EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
  ASSERT_EQ(f.table.Open(), 0);
  EXPECT_EQ(f.Get(1), (Values{"1", "x", "-000", "0"}));
  EXPECT_EQ(f.Get(2), (Values{"2", "y", "-001", "0"}));
  EXPECT_EQ(f.Get(3), (Values{"3", "z", "-002", "0"}));
  const auto before = f.All();
  EXPECT_EQ(f.table.ReIndex(nullptr, nullptr), 0);
  EXPECT_EQ(f.All(), before);
  EXPECT_EQ(f.table.File() != nullptr, true);  // it found the table open and left it so
  EXPECT_EQ(f.table.ReIndex([](void*, int count) { return count == 1 ? -1 : 0; }, nullptr), -1);
}

TEST(KvRecordTable, ReIndexThatFailsKeepsTheRecord) {
  TableFixture f({{"a", kvrString, 0, 0}});
  ASSERT_EQ(f.Add({{"a", "x"}}), 1u);
  ASSERT_EQ(f.Add({{"a", "y"}}), 2u);
  ASSERT_TRUE(f.table.AddColumn("code", kvrSigned, 0));
  f.table.Columns()->GetAt(2)->Flags = kvrOptUnique;
  ASSERT_TRUE(f.table.WriteColInfoList());
  // Both records would get code 0: the second cannot be indexed, stays as it was and is passed
  // over; the first gets its entry.
  const auto record2 = f.Raw(kvrKeyBody)[1];
  EXPECT_EQ(f.table.ReIndex(nullptr, nullptr), 1);
  EXPECT_EQ(f.Raw(kvrKeyBody)[1], record2);
  EXPECT_EQ(f.Raw(kvrKeySigned).size(), 1u);
  EXPECT_EQ(f.Get(2), (Values{"2", "y", ""}));
}

TEST(KvRecordTable, ReIndexPassesOverARecordItCannotRewrite) {
  TableFixture f({{"s", kvrSet, 0, 0}, {"t", kvrString, 0, 0}});
  ASSERT_EQ(f.Add({{"s", "a,b"}, {"t", AnsiString(600, 't')}}), 1u);
  ASSERT_TRUE(f.table.AddColumn("fill", kvrString, 0));
  const CKvrColInfo& set = *f.table.Columns()->GetAt(1);
  {
    // Element b of the set has lost its reference; element a keeps its own.
    CKvrLock lock(f.table.File());
    CKvrValue b(kvrString);
    b.SetText("b");
    ASSERT_TRUE(f.table.RemoveIndexEntry(set, b, 1, 1));
  }
  // The new column's fixed text makes the body longer than a body can be.
  const int cap = f.table.File()->DataBlockCap();
  CKvrColInfo& fill = *f.table.Columns()->GetAt(3);
  fill.Flags = kvrAutoFixed;
  fill.OptText1 = AnsiString(size_t(cap + 256 * (cap - 5)), 'f');
  // The record is passed over as it is; what its body calls for is mended all the same.
  const auto bodies = f.Raw(kvrKeyBody);
  EXPECT_EQ(f.table.ReIndex(nullptr, nullptr), 1);  // b's reference
  EXPECT_EQ(f.Raw(kvrKeyBody), bodies);
  EXPECT_EQ(f.Get(1), (Values{"1", "a,b", AnsiString(600, 't'), ""}));
  EXPECT_EQ(f.table.CheckTable(), 1);
}

TEST(KvRecordTable, StorageStepsCountUsesAndRefuseDuplicates) {
  TableFixture f({{"t", kvrString, 0, 0}, {"u", kvrSigned, 0, kvrOptUnique}, {"s", kvrSet, 0, 0}});
  CKvRecord& t = f.table;
  const CKvrColInfo& text = *t.Columns()->GetAt(1);
  const CKvrColInfo& unique = *t.Columns()->GetAt(2);
  const CKvrColInfo& set = *t.Columns()->GetAt(3);
  CKvrLock lock(t.File());
  CKvrValue a(kvrString), seven(kvrSigned);
  a.SetText("a");
  seven.SetText("7");
  // The same value written twice for one record: one reference, the use count raised twice.
  ASSERT_TRUE(t.WriteIndexEntry(text, &a, 1, 1));
  ASSERT_TRUE(t.WriteIndexEntry(text, &a, 1, 1));
  EXPECT_EQ(f.Raw(kvrKeyRef).size(), 1u);
  unsigned uses = 0;
  ASSERT_TRUE(t.GetIdByKey("t", "a", uses));
  EXPECT_EQ(uses, 2u);
  ASSERT_TRUE(t.WriteIndexEntry(text, &a, 2, 1));
  ASSERT_TRUE(t.RemoveIndexEntry(text, a, 9, 1));  // a record that never held it changes nothing
  ASSERT_TRUE(t.GetIdByKey("t", "a", uses));
  EXPECT_EQ(uses, 3u);
  ASSERT_TRUE(t.RemoveIndexEntry(text, a, 2, 1));  // one of two references: the value stays
  EXPECT_EQ(f.Raw(kvrKeyString).size(), 1u);
  ASSERT_TRUE(t.RemoveIndexEntry(text, a, 1, 1));  // the last one: the value goes
  EXPECT_TRUE(f.Raw(kvrKeyString).empty());

  ASSERT_TRUE(t.WriteIndexEntry(unique, &seven, 1, 2));
  EXPECT_TRUE(t.WriteIndexEntry(unique, &seven, 1, 2));
  EXPECT_FALSE(t.WriteIndexEntry(unique, &seven, 2, 2));
  EXPECT_TRUE(t.HasIndexEntry(unique, seven, 1, 2));
  EXPECT_FALSE(t.HasIndexEntry(unique, seven, 2, 2));

  CKvrValue ab(kvrSet), ba(kvrSet), ac(kvrSet);
  ab.SetText("a,b");
  ba.SetText("b, a");
  ac.SetText("a,c");
  ASSERT_TRUE(t.WriteIndexEntry(set, &ab, 1, 3));
  EXPECT_EQ(t.AddChangedEntries(set, ba, ab, 1, 3), 0);
  EXPECT_EQ(t.AddChangedEntries(set, ac, ab, 1, 3), 2);
  EXPECT_TRUE(t.RemoveChangedEntries(set, ab, ac, 1, 3));
  EXPECT_TRUE(t.HasIndexEntry(set, ac, 1, 3));
  EXPECT_FALSE(t.HasIndexEntry(set, ab, 1, 3));
}

// A list that held another record (reals with their texts, longer texts, more or fewer values,
// a missing or foreign one, or all of them cleared) is filled with exactly the record decoded now, down to the columns
// its body lacks.
TEST(KvRecordTable, DecodingIntoAUsedListGivesOnlyTheNewRecord) {
  TableFixture f({{"r", kvrReal, 0, 0}, {"t", kvrString, 0, 0}});
  const uint32_t older = f.Add({{"t", "y"}});
  ASSERT_TRUE(f.table.AddColumn("late", kvrReal, 0));
  const uint32_t full = f.Add({{"r", "2.50"}, {"t", AnsiString(size_t(40), 'x')}, {"late", "3.25"}});
  CKvrBuffer fullBody(64), olderBody(64);
  ASSERT_TRUE(f.table.ReadRecordBody(full, fullBody));
  ASSERT_TRUE(f.table.ReadRecordBody(older, olderBody));
  const Values want = f.Get(older);
  ASSERT_EQ(want, (Values{Format("%u", older), "0", "y", ""}));
  const struct {
    const char* what;
    void (*spoil)(CKvrValueList&);
  } cases[] = {
      {"as left", [](CKvrValueList&) {}},
      {"one more", [](CKvrValueList& v) { v.Add(new CKvrValue(kvrSet)); }},
      {"one less", [](CKvrValueList& v) {
         delete v.GetAt(v.Count() - 1);
         v.Delete(v.Count() - 1);
       }},
      {"a hole", [](CKvrValueList& v) {
         delete v.GetAt(2);
         v.SetItem(2, nullptr);
       }},
      {"another type", [](CKvrValueList& v) { v.GetAt(1)->SetTypeText(kvrString, "not a number"); }},
      // Cleared values are filled again, each in whatever slot it lands in.
      {"cleared", [](CKvrValueList& v) { v.ClearValues(); }},
      {"cleared, one of another type", [](CKvrValueList& v) {
         v.GetAt(0)->SetTypeText(kvrReal, "7.125");
         v.GetAt(2)->SetTypeText(kvrSigned, "-5");
         v.ClearValues();
       }},
      {"cleared with a hole", [](CKvrValueList& v) {
         delete v.GetAt(1);
         v.SetItem(1, nullptr);
         v.ClearValues();
       }},
  };
  for (const auto& c : cases) {
    CKvrValueList values;
    CKvRecord::DecodeRecord(values, fullBody, *f.table.Columns());
    c.spoil(values);
    CKvRecord::DecodeRecord(values, olderBody, *f.table.Columns());
    ASSERT_EQ(values.Count(), 4) << c.what;
    Values got;
    for (int i = 0; i < values.Count(); ++i) {
      got.push_back(values.GetAt(i)->GetText());
      EXPECT_EQ(values.GetAt(i)->Type(), i == 0 ? kvrUnsigned : f.table.Columns()->GetAt(i)->Type) << c.what << i;
    }
    EXPECT_EQ(got, want) << c.what;
    EXPECT_TRUE(values.GetAt(3)->IsEmpty()) << c.what;
  }
}
