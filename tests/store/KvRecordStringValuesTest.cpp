// String values whose texts share their first 14 bytes: one string value per distinct text, its
// use count the number of records that hold it, whichever table objects wrote them.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "store/CondOp.h"
#include "tests/store/KvRecordTestSupport.h"

namespace {

// Text -> use count of every string value of column colNo, from the raw records of key 7; a text
// found twice is reported as a count of -1.
std::map<std::string, long> StringValues(CKorva& file, int colNo) {
  std::map<std::string, long> out;
  const int cap = file.DataBlockCap();
  std::vector<unsigned char> buf(size_t(cap) + 1), last;
  if (!file.SelectKey(kvrKeyString)) return out;
  for (bool ok = file.First(buf.data()); ok; ok = file.Next(last.data(), buf.data())) {
    const int n = file.LastResult();
    last.assign(buf.begin(), buf.begin() + n);
    if (n < 25 || KvrGet32(buf.data()) >> 16 != uint32_t(colNo)) continue;
    const std::string text(reinterpret_cast<const char*>(buf.data() + 25), strnlen(reinterpret_cast<const char*>(buf.data() + 25), size_t(buf[24])));
    const long count = long(KvrGet32(buf.data() + 20));
    out[text] = out.count(text) ? -1 : count;
  }
  return out;
}

}  // namespace

TEST(KvRecordStringValues, CrowdedGroupsStayExactUnderTwoWriters) {
  TableFixture a({{"s", kvrString, 40, 0}});
  CKvRecord b;
  b.SetFileName(a.dir.File("t.kv"));
  ASSERT_EQ(b.Open(), 0);
  // Forty texts in one group (the same first 14 bytes), a few short ones alone in theirs.
  std::vector<AnsiString> texts;
  for (int i = 0; i < 40; ++i) texts.push_back(Format("shared-prefix-%02d", i));
  for (const char* t : {"x", "y", "shared-prefix"}) texts.push_back(t);

  std::mt19937 random(7);
  std::map<uint32_t, AnsiString> live;  // record id -> text, the model
  TStringList names;
  names.Add("s");
  for (int step = 0; step < 1500; ++step) {
    CKvRecord& t = random() % 3 == 0 ? b : a.table;
    const int what = int(random() % 10);
    if (what < 6 || live.empty()) {
      const AnsiString& text = texts[random() % texts.size()];
      TStringList values;
      values.Add(text);
      unsigned id = 0;
      ASSERT_TRUE(t.InsertEx(names, values, &id, 0)) << step;
      live[id] = text;
    } else {
      auto it = live.begin();
      std::advance(it, random() % live.size());
      if (what < 8) {
        ASSERT_TRUE(t.DelRecById(UIntToStr(it->first))) << step;
        live.erase(it);
      } else {
        const AnsiString& text = texts[random() % texts.size()];
        ASSERT_TRUE(t.ChgRecById(UIntToStr(it->first), 1, text)) << step;
        it->second = text;
      }
    }
  }
  std::map<std::string, long> expected;
  for (const auto& [id, text] : live) ++expected[text];
  EXPECT_EQ(StringValues(*a.table.File(), 1), expected);
  b.Close();
}

// A look-up in a crowded group goes by a hash of the text: two texts of the group with the same
// hash ("shared-prefix-1422789" and "shared-prefix-1639192") stay two string values, also after
// one of them is deleted and made again, among enough others to sort the group's directory.
TEST(KvRecordStringValues, TextsOfOneGroupWithOneHashStayApart) {
  TableFixture f({{"s", kvrString, 40, 0}});
  const AnsiString a = "shared-prefix-1422789", b = "shared-prefix-1639192";
  std::map<std::string, long> expected;
  std::vector<uint32_t> idsOfA;
  auto add = [&](const AnsiString& text) {
    const uint32_t id = f.Add({{"s", text}});
    ASSERT_NE(id, 0u) << text;
    ++expected[text];
    if (text == a) idsOfA.push_back(id);
  };
  for (int i = 0; i < 300; ++i) add(Format("shared-prefix-%03d", i));
  for (int round = 0; round < 2; ++round) {
    add(a);
    add(b);
    add(a);
    add(b);
    add(Format("shared-prefix-%03d", 7 + round));
  }
  EXPECT_EQ(StringValues(*f.table.File(), 1), expected);
  // The records of a go one by one; its string value goes with the last of them.
  for (const uint32_t id : idsOfA) {
    ASSERT_TRUE(f.table.DelRecById(UIntToStr(id)));
    if (--expected[a] == 0) break;
    unsigned count = 0;
    ASSERT_TRUE(f.table.GetIdByKey("s", a, count));
    EXPECT_EQ(long(count), expected[a]);
  }
  expected.erase(a);
  EXPECT_EQ(StringValues(*f.table.File(), 1), expected);
  add(b);
  add(a);
  add(a);
  EXPECT_EQ(StringValues(*f.table.File(), 1), expected);
}

namespace {

// Every reference of key 8 counted by string-value id.
std::map<uint32_t, long> RefsById(CKorva& file) {
  std::map<uint32_t, long> out;
  std::vector<unsigned char> buf(size_t(file.DataBlockCap()) + 1), last;
  if (!file.SelectKey(kvrKeyRef)) return out;
  for (bool ok = file.First(buf.data()); ok; ok = file.Next(last.data(), buf.data())) {
    last.assign(buf.begin(), buf.begin() + file.LastResult());
    ++out[KvrGet32(buf.data())];
  }
  return out;
}

// Checks, outside any held run, that the string values of column colNo are the model's texts with
// its counts, and that every string value's count is the number of references to its id while no
// reference names an id that has no string value.
void ExpectCounts(CKvRecord& table, int colNo, const std::map<std::string, long>& model) {
  CKorva& file = *table.File();
  EXPECT_EQ(StringValues(file, colNo), model);
  std::map<uint32_t, long> counts;
  std::vector<unsigned char> buf(size_t(file.DataBlockCap()) + 1), last;
  ASSERT_TRUE(file.SelectKey(kvrKeyString));
  for (bool ok = file.First(buf.data()); ok; ok = file.Next(last.data(), buf.data())) {
    last.assign(buf.begin(), buf.begin() + file.LastResult());
    if (file.LastResult() >= 24) counts[KvrGet32(buf.data() + 16)] = long(KvrGet32(buf.data() + 20));
  }
  EXPECT_EQ(RefsById(file), counts);
  EXPECT_GE(CKorva::Check(table.FileName()), 0);
}

std::map<std::string, long> Tally(const std::map<uint32_t, AnsiString>& live) {
  std::map<std::string, long> out;
  for (const auto& [id, text] : live) ++out[text];
  return out;
}

}  // namespace

// Inserts inside held runs, as an import makes them: counts of texts met again are written when
// the run ends, and every other operation of the table in the run sees them written first.
TEST(KvRecordStringValues, CountsKeptBackByHeldInsertsAreExact) {
  TableFixture f({{"s", kvrString, 40, 0}});
  CKvRecord& t = f.table;
  TStringList names;
  names.Add("s");
  std::map<uint32_t, AnsiString> live;
  auto insert = [&](const AnsiString& text) {
    TStringList values;
    values.Add(text);
    unsigned id = 0;
    ASSERT_TRUE(t.InsertEx(names, values, &id, 0)) << text;
    live[id] = text;
  };
  std::mt19937 random(11);
  // Recurring texts, texts of one crowded group, and texts met once.
  auto text = [&](int i) -> AnsiString {
    switch (random() % 4) {
      case 0: return AnsiString();
      case 1: return Format("common-%d", int(random() % 3));
      case 2: return Format("shared-prefix-%02d", int(random() % 20));
      default: return Format("once-%d", i);
    }
  };
  for (int run = 0; run < 6; ++run) {
    ASSERT_TRUE(t.File()->Hold());
    for (int i = 0; i < 200; ++i) insert(text(run * 1000 + i));
    // A deletion inside the run takes texts' last records away: their string values go, and
    // the texts inserted again afterwards get new ones.
    for (auto it = live.begin(); it != live.end() && run % 2 == 1;) {
      if (it->second.rfind("common-", 0) == 0 || it->second.rfind("shared-prefix-1", 0) == 0) {
        ASSERT_TRUE(t.DelRecById(UIntToStr(it->first)));
        it = live.erase(it);
      } else {
        ++it;
      }
    }
    // A look-up inside the run answers the use count with the rises kept back written.
    unsigned count = 0;
    if (Tally(live).count("")) {
      ASSERT_TRUE(t.GetIdByKey("s", "", count));
      EXPECT_EQ(long(count), Tally(live)[""]);
    }
    for (int i = 0; i < 100; ++i) insert(text(run * 1000 + 500 + i));
    ASSERT_TRUE(t.File()->Release());
    ExpectCounts(t, 1, Tally(live));
  }
  // Another object reads the same counts from the file.
  CKvRecord other;
  other.SetFileName(t.FileName());
  ASSERT_EQ(other.Open(), 0);
  EXPECT_EQ(StringValues(*other.File(), 1), Tally(live));
}

// Two objects on one file taking turns with held runs: what one object noted about string
// values does not outlive the other's writes.
TEST(KvRecordStringValues, TwoObjectsTakingTurnsGetNoStaleIds) {
  TableFixture a({{"s", kvrString, 40, 0}});
  CKvRecord b;
  b.SetFileName(a.dir.File("t.kv"));
  ASSERT_EQ(b.Open(), 0);
  TStringList names;
  names.Add("s");
  std::map<uint32_t, AnsiString> live;
  auto insert = [&](CKvRecord& t, const AnsiString& text) {
    TStringList values;
    values.Add(text);
    unsigned id = 0;
    ASSERT_TRUE(t.InsertEx(names, values, &id, 0)) << text;
    live[id] = text;
  };
  for (int turn = 0; turn < 4; ++turn) {
    ASSERT_TRUE(a.table.File()->Hold());
    for (int i = 0; i < 30; ++i) insert(a.table, i % 3 == 0 ? AnsiString("x") : Format("y%d", i % 4));
    ASSERT_TRUE(a.table.File()->Release());
    // The other object takes every "x" away, so its string value goes, and brings "x" back
    // under a new string value: the first object's next inserts of "x" must use that one.
    ASSERT_TRUE(b.File()->Hold());
    for (auto it = live.begin(); it != live.end();) {
      if (it->second == "x") {
        ASSERT_TRUE(b.DelRecById(UIntToStr(it->first)));
        it = live.erase(it);
      } else {
        ++it;
      }
    }
    insert(b, "x");
    ASSERT_TRUE(b.File()->Release());
  }
  ExpectCounts(a.table, 1, Tally(live));
  b.Close();
}

// An insert that fails inside a held run takes back its references; the counts kept back for the
// records before it stay right, and the run is written whole.
TEST(KvRecordStringValues, FailedInsertInAHeldRunLeavesExactCounts) {
  TableFixture f({{"s", kvrString, 40, 0}, {"tags", kvrSet, 40, 0}, {"k", kvrString, 40, kvrOptUnique}});
  MessageCatcher box;
  CKvRecord& t = f.table;
  std::map<uint32_t, AnsiString> s, tags;
  ASSERT_TRUE(t.File()->Hold());
  for (int i = 0; i < 40; ++i) {
    const AnsiString key = Format("k%d", i % 30);  // the last ten repeat a unique key
    const AnsiString tagText = i % 2 ? "p,q" : "q";
    const uint32_t id = f.Add({{"s", Format("v%d", i % 3)}, {"tags", tagText}, {"k", key}});
    if (i < 30) {
      ASSERT_NE(id, 0u) << i;
      s[id] = Format("v%d", i % 3);
      tags[id] = tagText;
    } else {
      EXPECT_EQ(id, 0u) << i;
    }
  }
  ASSERT_TRUE(t.File()->Release());
  EXPECT_EQ(box.texts.size(), 10u);
  ExpectCounts(t, 1, Tally(s));
  std::map<std::string, long> elements;
  for (const auto& [id, text] : tags) {
    ++elements["q"];
    if (text == "p,q") ++elements["p"];
  }
  EXPECT_EQ(StringValues(*t.File(), 2), elements);
}

// A held run that keeps back more references than the cache holds at once: they are added in
// bunches during the run, and a look-up in the middle sees every one made before it.
TEST(KvRecordStringValues, ReferencesKeptBackInALongRunAreAllAdded) {
  TableFixture f({{"a", kvrString, 40, 0}, {"b", kvrString, 40, 0}, {"c", kvrString, 40, 0},
                  {"d", kvrString, 40, 0}, {"e", kvrString, 40, 0}});
  CKvRecord& t = f.table;
  std::map<std::string, long> model[5];
  ASSERT_TRUE(t.File()->Hold());
  for (int i = 0; i < 14000; ++i) {
    const AnsiString texts[5] = {Format("r%d", i % 7), Format("u%d", i), Format("m%d", i % 1000),
                                 Format("shared-prefix-%03d", i % 300), i % 3 ? AnsiString() : "x"};
    ASSERT_NE(f.Add({{"a", texts[0]}, {"b", texts[1]}, {"c", texts[2]}, {"d", texts[3]}, {"e", texts[4]}}), 0u) << i;
    for (int c = 0; c < 5; ++c) ++model[c][texts[c]];
    if (i == 13500) {
      unsigned count = 0;
      ASSERT_TRUE(t.GetIdByKey("d", "shared-prefix-007", count));
      EXPECT_EQ(long(count), model[3]["shared-prefix-007"]);
    }
  }
  ASSERT_TRUE(t.File()->Release());
  ExpectCounts(t, 1, model[0]);  // and every count against the references
  for (int c = 1; c < 5; ++c) EXPECT_EQ(StringValues(*t.File(), c + 1), model[c]) << c;
}

// Number entries kept back by held inserts, more than one bunch of them: refused inserts take
// theirs back, a query and a deletion inside the run see them written, and every record has its
// entries after it.
TEST(KvRecordStringValues, NumberEntriesKeptBackInAHeldRunAreAllAdded) {
  TableFixture f({{"i", kvrSigned, 4, 0}, {"u", kvrUnsigned, 4, 0}, {"r", kvrReal, 8, 0},
                  {"s", kvrString, 40, kvrOptUnique}, {"k", kvrSigned, 4, kvrOptUnique}});
  CKvRecord& t = f.table;
  MessageCatcher box;
  auto matching = [&t](const char* column, const AnsiString& text) {
    t.ClearCond();
    t.AddCond(column, COND_EQL, text);
    t.AddCondEnd();
    int n = 0;
    for (CKvrValueList values; t.GetRec(values); values.Clear()) ++n;
    return n;
  };
  std::map<uint32_t, int> threes;  // the live records whose i is 3
  int live = 0;
  ASSERT_TRUE(t.File()->Hold());
  for (int j = 0; j < 6000; ++j) {
    const uint32_t id = f.Add({{"i", IntToStr(j % 50 - 25)}, {"u", IntToStr(j * 7)}, {"r", Format("%d.25", j)},
                               {"s", Format("s%d", j)}, {"k", IntToStr(j)}});
    ASSERT_NE(id, 0u) << j;
    ++live;
    if (j % 50 == 28) threes[id] = 1;
    if (j == 5800) {
      // Refused by s with its number entries kept back, and by k.
      EXPECT_EQ(f.Add({{"i", "3"}, {"u", "1"}, {"r", "1.5"}, {"s", "s10"}, {"k", "-1"}}), 0u);
      EXPECT_EQ(f.Add({{"i", "3"}, {"s", "new"}, {"k", "4999"}}), 0u);
      ASSERT_TRUE(t.DelRecById(UIntToStr(id)));
      threes.erase(id);
      --live;
      EXPECT_EQ(matching("i", "3"), int(threes.size()));
    }
  }
  ASSERT_TRUE(t.File()->Release());
  EXPECT_EQ(box.texts.size(), 2u);
  EXPECT_EQ(f.Raw(kvrKeySigned).size(), size_t(2 * live));
  EXPECT_EQ(f.Raw(kvrKeyUnsigned).size(), size_t(live));
  EXPECT_EQ(f.Raw(kvrKeyReal).size(), size_t(live));
  EXPECT_EQ(matching("i", "3"), int(threes.size()));
  EXPECT_EQ(matching("r", "5999.25"), 1);
  EXPECT_GE(CKorva::Check(t.FileName()), 0);
}

// A held run of more distinct texts than the string cache keeps: entries go while the counts they
// keep back stay, and the texts that recur keep theirs.
TEST(KvRecordStringValues, CountsStayExactWhenTheCacheOverflows) {
  TableFixture f({{"s", kvrString, 40, 0}});
  CKvRecord& t = f.table;
  TStringList names;
  names.Add("s");
  std::map<uint32_t, AnsiString> live;
  ASSERT_TRUE(t.File()->Hold());
  for (int i = 0; i < 40000; ++i) {
    TStringList values;
    values.Add(i % 2 ? Format("recurring-%d", i % 50) : Format("unique-%d", i));
    unsigned id = 0;
    ASSERT_TRUE(t.InsertEx(names, values, &id, 0)) << i;
    live[id] = values[0];
  }
  ASSERT_TRUE(t.File()->Release());
  ExpectCounts(t, 1, Tally(live));
}
