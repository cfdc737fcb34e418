#include <algorithm>
#include <vector>

#include "store/CondOp.h"
#include "store/KvrCondMod.h"
#include "tests/store/KvRecordTestSupport.h"

namespace {

using Ids = std::vector<uint32_t>;
using Strs = std::vector<AnsiString>;

struct Cond {
  const char* column;
  int op;
  AnsiString text;
};

void Start(CKvRecord& t, std::initializer_list<Cond> conds) {
  t.ClearCond();
  for (const Cond& c : conds) t.AddCond(c.column, c.op, c.text);
  t.AddCondEnd();
}

Ids SortedIds(Ids ids) {
  std::sort(ids.begin(), ids.end());
  return ids;
}

// The ids GetRec delivers, in delivery order (by value, then by id).
Ids Read(CKvRecord& t, std::initializer_list<Cond> conds) {
  Start(t, conds);
  Ids ids;
  CKvrValueList values;
  while (t.GetRec(values)) ids.push_back(values.GetAt(0)->GetUnsigned());
  return ids;
}

// The ids of the bounded reads, each call checked against the bound.
Ids ReadNB(CKvRecord& t, std::initializer_list<Cond> conds, int* zeros = nullptr) {
  Start(t, conds);
  Ids ids;
  CKvrValueList values;
  for (int calls = 0; calls < 100000; ++calls) {
    const uint64_t before = t.Candidates();
    const int r = t.GetRecNB(values);
    EXPECT_LE(t.Candidates() - before, 100u);
    if (r < 0) break;
    if (r == 1) ids.push_back(values.GetAt(0)->GetUnsigned());
    if (r == 0 && zeros) ++*zeros;
  }
  return ids;
}

// Strs and flags of a stepped enumeration: "text" for a whole value, "text*" for a cut one.
Strs EnumNB(CKvRecord& t, const char* column, int cut) {
  EXPECT_TRUE(t.SetEnumCol(column, cut));
  TStringList list;
  while (t.GetEnumNB(list) >= 0) {
  }
  Strs out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i] + (list.Objects(i) ? "*" : ""));
  return out;
}

Strs Sorted(const TStrings& list) {
  Strs out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i] + (list.Objects(i) ? "*" : ""));
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace

TEST(KvRecordQuery, GroupsAreAnsweredFromTheIndexes) {
  TableFixture f({{"name", kvrString, 20, 0}, {"n", kvrSigned, 0, 0}, {"tags", kvrSet, 20, 0}});
  f.Add({{"name", "b"}, {"n", "5"}, {"tags", "x,y"}});   // 1
  f.Add({{"name", "a"}, {"n", "9"}, {"tags", "x"}});     // 2
  f.Add({{"name", "b"}, {"n", "7"}, {"tags", "y,z"}});   // 3
  f.Add({{"name", "c"}, {"n", "-1"}, {"tags", "y, x"}}); // 4
  f.Add({{"name", "b"}, {"n", "12"}, {"tags", ""}});     // 5
  CKvRecord& t = f.table;
  struct Case {
    std::initializer_list<Cond> conds;
    Ids ids;
  } cases[] = {
      {{{"name", COND_EQL, "b"}}, {1, 3, 5}},
      {{{"n", COND_GRT_EQL, "5"}, {"n", COND_LES, "9"}}, {1, 3}},
      {{{"n", COND_GRT, "5"}, {"n", COND_EQL, "12"}, {"n", COND_LES, "9"}}, {}},
      {{{"n", COND_NOT_EQL, "7"}, {"name", COND_EQL, "b"}}, {1, 5}},
      {{{"tags", COND_EQL, "x"}, {"tags", COND_EQL, "y"}}, {1, 4}},
      {{{"tags", COND_EQL, ""}}, {5}},
      {{{"name", COND_EQL, "a"}, {"nosuch", COND_EQL, "q"}}, {2}},  // dropped, no message
      {{{"name", COND_REJ, ""}}, {}},
      {{{"__REC__ID__", COND_GRT_EQL, "2"}, {"__REC__ID__", COND_LES, "5"}, {"__REC__ID__", COND_NOT_EQL, "3"}}, {2, 4}},
      {{{"nosuch", COND_EQL, "q"}, {"__REC__ID__", COND_GRT, "3"}}, {4, 5}},
  };
  for (const Case& c : cases) {
    Ids got = Read(t, c.conds);
    EXPECT_EQ(got, c.ids) << c.conds.begin()->column;
    got = ReadNB(t, c.conds);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, c.ids) << c.conds.begin()->column;
  }
}

TEST(KvRecordQuery, RecordIdConditionsHoldBesideOtherConditions) {
  TableFixture f({{"name", kvrString, 20, 0}});
  for (const char* name : {"a", "b", "a", "b", "a"}) f.Add({{"name", name}});
  CKvRecord& t = f.table;
  EXPECT_EQ(Read(t, {{"name", COND_EQL, "a"}, {"__REC__ID__", COND_GRT, "1"}}), (Ids{3, 5}));
  EXPECT_EQ(Read(t, {{"__REC__ID__", COND_LES_EQL, "2"}, {"name", COND_ALL, ""}}), (Ids{1, 2}));

  Start(t, {{"name", COND_EQL, "b"}, {"__REC__ID__", COND_GRT, "2"}});
  AnsiString text;
  ASSERT_TRUE(t.GetColValue("__REC__ID__", text));
  EXPECT_EQ(text, "4");

  t.ClearCond();
  t.AddCond("__REC__ID__", COND_GRT_EQL, "5");
  t.AddEnumCol("name");
  t.AddCondEnd();
  TStringList names;
  t.GetEnum("name", names);
  EXPECT_EQ(Sorted(names), (Strs{"a"}));
  Start(t, {{"__REC__ID__", COND_LES, "3"}, {"name", COND_ALL, ""}});
  EXPECT_EQ(EnumNB(t, "name", 0), (Strs{"a", "b"}));
  Start(t, {{"__REC__ID__", COND_GRT, "4"}, {"name", COND_ALL, ""}});
  EXPECT_EQ(EnumNB(t, "name", 0), (Strs{"a"}));

  Start(t, {{"name", COND_EQL, "a"}, {"__REC__ID__", COND_GRT, "3"}});
  EXPECT_TRUE(t.DelRecByCond());
  EXPECT_EQ(SortedIds(Read(t, {{"name", COND_ALL, ""}})), (Ids{1, 2, 3, 4}));
}

TEST(KvRecordQuery, PatternWalksReachEveryMatchingText) {
  TableFixture f({{"s", kvrString, 20, 0}});
  for (const char* s : {"abc", "abd", "abx", "b", "ab%c", "ac", "aa"}) f.Add({{"s", s}});
  CKvRecord& t = f.table;
  struct Case {
    int op;
    const char* pattern;
    Ids ids;
  } cases[] = {
      {COND_LIKE, "ab%", {1, 2, 3, 5}},
      {COND_LIKE, "ab%c", {1, 5}},
      {COND_LIKE, "ab\\%c", {5}},
      {COND_LIKE, "%c", {1, 5, 6}},
      {COND_NOT_LIKE, "ab%", {4, 6, 7}},
      // Strs beginning with the literal part may still fail the rest of the pattern.
      {COND_NOT_LIKE, "ab%c", {2, 3, 4, 6, 7}},
      {COND_NOT_LIKE, "abc", {2, 3, 4, 5, 6, 7}},
  };
  for (const Case& c : cases) EXPECT_EQ(SortedIds(Read(t, {{"s", c.op, c.pattern}})), c.ids) << c.pattern;
}

TEST(KvRecordQuery, BoundedReadsMoveOnAndNeverRepeatARecord) {
  TableFixture f({{"s", kvrString, 20, 0}, {"tags", kvrSet, 20, 0}});
  {
    CKorvaHold run(*f.table.File());
    for (int i = 1; i <= 600; ++i) f.Add({{"s", Format("t%04d%s", i, i == 590 ? "z" : "")}, {"tags", "p,q"}});
  }
  CKvRecord& t = f.table;
  int zeros = 0;
  EXPECT_EQ(ReadNB(t, {{"s", COND_LIKE, "%z"}}, &zeros), (Ids{590}));
  EXPECT_GE(zeros, 5);
  // Every record meets the condition through both of its elements.
  EXPECT_EQ(Read(t, {{"tags", COND_LIKE, "%"}, {"__REC__ID__", COND_LES, "4"}}), (Ids{1, 2, 3}));
  EXPECT_EQ(ReadNB(t, {{"tags", COND_NOT_EQL, "r"}, {"__REC__ID__", COND_LES, "4"}}), (Ids{1, 2, 3}));
}

TEST(KvRecordQuery, SubConditionsPassARecordThatMeetsAnyOfTheirLists) {
  TableFixture f({{"a", kvrSigned, 0, 0}, {"b", kvrString, 20, 0}});
  f.Add({{"a", "1"}, {"b", "x"}});
  f.Add({{"a", "2"}, {"b", "y"}});
  f.Add({{"a", "3"}, {"b", "x"}});
  CKvRecord& t = f.table;
  Start(t, {{"a", COND_GRT_EQL, "1"}});
  EXPECT_FALSE(t.AddSubCondEnd());
  EXPECT_FALSE(t.AddSubCond("nosuch", COND_EQL, "1"));
  EXPECT_TRUE(t.AddSubCond("a", COND_EQL, "1"));
  EXPECT_TRUE(t.AddSubCond("b", COND_EQL, "y"));
  EXPECT_TRUE(t.AddSubCondEnd());
  EXPECT_TRUE(t.AddSubCond("b", COND_EQL, "y"));
  EXPECT_TRUE(t.AddSubCondEnd());
  CKvrValueList values;
  Ids ids;
  while (t.GetRec(values)) ids.push_back(values.GetAt(0)->GetUnsigned());
  EXPECT_EQ(ids, (Ids{2}));
  // A new group keeps the sub-conditions; ClearCond drops them.
  t.AddCond("a", COND_GRT, "0");
  t.AddCondEnd();
  ASSERT_TRUE(t.GetRec(values));
  EXPECT_EQ(values.GetAt(0)->GetUnsigned(), 2u);
  EXPECT_EQ(Read(t, {{"a", COND_GRT, "0"}}), (Ids{1, 2, 3}));
}

TEST(KvRecordQuery, SteppedEnumerationCutsAndDeliversEachTextOnce) {
  TableFixture f({{"s", kvrString, 20, 0}, {"n", kvrSigned, 0, 0}});
  for (AnsiString s : {AnsiString("abc"), AnsiString("abd"), AnsiString("x"), SJ("あい"), SJ("うえ")}) f.Add({{"s", s}, {"n", "4"}});
  CKvRecord& t = f.table;
  Start(t, {{"s", COND_ALL, ""}});
  EXPECT_EQ(EnumNB(t, "s", 2), (Strs{"ab*", "x", SJ("あ") + "*", SJ("う") + "*"}));
  TStringList more;
  EXPECT_EQ(t.GetEnumNB(more), -1);
  EXPECT_EQ(more.Count(), 0);
  // A new enumeration on the same table object delivers every value again.
  Start(t, {{"s", COND_ALL, ""}});
  EXPECT_EQ(EnumNB(t, "s", 1), (Strs{"a*", "x", SJ("あ") + "*", SJ("う") + "*"}));
  Start(t, {{"s", COND_EQL, "abc"}});
  EXPECT_EQ(EnumNB(t, "s", 3), (Strs{"abc"}));

  // The accepting form cuts a text as long as the cut length, and takes numbers too.
  Start(t, {{"s", COND_EQL, "abc"}});
  ASSERT_TRUE(t.SetEnumCol("s", 3));
  CKvrValueList values;
  TStringList step;
  ASSERT_EQ(t.GetEnumNB_a(values, step), 1);
  EXPECT_EQ(Sorted(step), (Strs{"abc*"}));
  EXPECT_EQ(values.GetAt(1)->GetText(), "abc");
  t.AcceptEnum_a(step);
  step.Clear();
  EXPECT_EQ(t.GetEnumNB_a(values, step), -1);
  Start(t, {{"n", COND_ALL, ""}});
  ASSERT_TRUE(t.SetEnumCol("n", 0));
  ASSERT_EQ(t.GetEnumNB_a(values, step), 1);
  EXPECT_EQ(Sorted(step), (Strs{"4"}));
  t.AcceptEnum_a(step);
  step.Clear();
  EXPECT_EQ(t.GetEnumNB_a(values, step), -1);
  EXPECT_EQ(t.GetEnumNB(step), -1);  // not a text column
  EXPECT_FALSE(t.SetEnumCol("nosuch", 0));
  EXPECT_EQ(t.GetEnumNB_a(values, step), -1);
}

TEST(KvRecordQuery, EnumerationsKeepLongTextsAndSetElementsApart) {
  TableFixture f({{"s", kvrString, 20, 0}, {"tags", kvrSet, 20, 0}});
  const AnsiString head(200, 'h');
  f.Add({{"s", head + "1"}, {"tags", "a,b"}});
  f.Add({{"s", head + "2"}, {"tags", "z,a"}});
  f.Add({{"s", head + "1"}, {"tags", "b"}});
  CKvRecord& t = f.table;
  // Strs equal in their first 200 bytes share one string value but stay apart in records.
  EXPECT_EQ(Read(t, {{"s", COND_EQL, head + "2"}}), (Ids{2}));
  EXPECT_EQ(Read(t, {{"s", COND_GRT, head + "1"}}), (Ids{2}));
  Start(t, {{"s", COND_ALL, ""}});
  TStringList list;
  t.GetEnum("s", list);
  EXPECT_EQ(Sorted(list), (Strs{head + "1", head + "2"}));
  Start(t, {{"s", COND_ALL, ""}});
  EXPECT_EQ(EnumNB(t, "s", 0).size(), 2u);
  // Record 2 meets "<= b" through its element a; its element z is a value of the group too.
  Start(t, {{"tags", COND_LES_EQL, "b"}});
  list.Clear();
  t.GetEnum("tags", list);
  EXPECT_EQ(Sorted(list), (Strs{"a", "b", "z"}));
  Start(t, {{"tags", COND_LES_EQL, "b"}});
  Strs nb = EnumNB(t, "tags", 0);
  std::sort(nb.begin(), nb.end());
  EXPECT_EQ(nb, (Strs{"a", "b", "z"}));
}

TEST(KvRecordQuery, IndexListingCutsAtTwoHundredBytesAndStopsWhenAsked) {
  TableFixture f({{"s", kvrString, 20, 0}, {"n", kvrSigned, 0, 0}});
  const AnsiString plain(250, 'p');
  const AnsiString paired = AnsiString(199, 'q') + SJ("日本") + "tail";
  for (const AnsiString& s : {AnsiString("b"), AnsiString("ab"), plain, paired}) f.Add({{"s", s}});
  CKvRecord& t = f.table;
  TStringList list;
  ASSERT_TRUE(t.EnumList2(list, "s", 0, nullptr));
  EXPECT_EQ(Sorted(list), (Strs{"ab", "b", plain.substr(0, 200) + "*", paired.substr(0, 201) + "*"}));
  list.Clear();
  ASSERT_TRUE(t.EnumList2(list, "s", 1, nullptr));
  EXPECT_EQ(Sorted(list), (Strs{"a*", "b*", "p*", "q*"}));
  EXPECT_FALSE(t.EnumList2(list, "n", 0, nullptr));
  EXPECT_FALSE(t.EnumList2(list, "nosuch", 0, nullptr));

  list.Clear();
  static int calls;
  calls = 0;
  ASSERT_TRUE(t.EnumList2(list, "s", 0, [](int count) { return ++calls >= 2 ? -1 : 0; }));
  EXPECT_EQ(list.Count(), 2);
  ExpandAbort = 1;
  EXPECT_FALSE(t.EnumList2(list, "s", 0, nullptr));
  Start(t, {{"s", COND_ALL, ""}});
  list.Clear();
  t.GetEnum("s", list);
  ExpandAbort = 0;
  EXPECT_EQ(list.Count(), 0);
}

TEST(KvRecordQuery, AGroupGoesOnAfterItsTableIsReopened) {
  TableFixture f({{"name", kvrString, 20, 0}, {"n", kvrSigned, 0, 0}});
  for (int i = 1; i <= 4; ++i) f.Add({{"name", i % 2 ? "odd" : "even"}, {"n", Format("%d", i)}});
  CKvRecord& t = f.table;
  Start(t, {{"name", COND_EQL, "odd"}, {"n", COND_GRT, "0"}, {"__REC__ID__", COND_LES, "9"}});
  CKvrValueList values;
  ASSERT_TRUE(t.GetRec(values));
  EXPECT_EQ(values.GetAt(0)->GetUnsigned(), 1u);
  ASSERT_EQ(t.Close(), 0);
  ASSERT_EQ(t.Open(), 0);
  ASSERT_TRUE(t.GetRec(values));
  EXPECT_EQ(values.GetAt(0)->GetUnsigned(), 3u);
  EXPECT_FALSE(t.GetRec(values));
}

// The ids a walk handed out: each is new once, across the growth of the set and at the ends of
// the id range.
TEST(KvRecordQuery, HandedOutIdsAreNewOnce) {
  CKvrIdSet ids;
  std::vector<uint32_t> given = {0, 63, 64, 0xFFFFFFFFu, 0xFFFFFFC0u};
  for (uint32_t id = 100; id < 200000; id += 7) given.push_back(id);
  for (uint32_t id : given) EXPECT_TRUE(ids.Insert(id)) << id;
  for (uint32_t id : given) EXPECT_FALSE(ids.Insert(id)) << id;
  for (uint32_t id : {1u, 62u, 65u, 101u, 0xFFFFFFFEu}) EXPECT_TRUE(ids.Insert(id)) << id;
}
