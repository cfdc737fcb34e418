#include <algorithm>
#include <memory>

#include "tests/query/NodesTestSupport.h"

namespace {

TCashDataItemList* CachedRun(std::initializer_list<const char*> ids) {
  auto* list = new TCashDataItemList;
  for (const char* id : ids) {
    auto* item = new TCashDataItem;
    item->Values = new CKvrValueList;
    item->Values->Add(new CKvrValue(id, int(strlen(id))));
    item->EnumValues = new TStringList;
    item->EnumValues->Add(id);
    list->Add(item);
  }
  return list;
}

// A select with table T (c text, n number) holding `count` records whose c is "x".
struct CacheFixture {
  explicit CacheFixture(int count) {
    select.AddTable("T", {{"c", kvrString, 20}, {"n", kvrSigned, 0}});
    for (int i = 0; i < count; ++i) select.Insert("T", {{"c", "x"}, {"n", IntToStr(i)}});
    select.Insert("T", {{"c", "y"}, {"n", "-1"}});
  }
  // Runs the node to its end; the number of results.
  int RunNode(CCompSimple& node) {
    node.Reset();
    int results = 0;
    for (int r; (r = node.NextNB()) >= 0;) results += r;
    return results;
  }
  TestSelect select;
  CSearchCond owner{&select};
};

}  // namespace

TEST(TCashData, StoresCopiesEvictsFromTheEndAndForgetsTakenTexts) {
  TCashData cache;
  EXPECT_EQ(cache.Put("k", nullptr), -1);
  std::unique_ptr<TCashDataItemList> empty(new TCashDataItemList);
  EXPECT_EQ(cache.Put("k", empty.get()), -1);
  std::unique_ptr<TCashDataItemList> keyless(CachedRun({"1"}));
  EXPECT_EQ(cache.Put("", keyless.get()), -1);
  EXPECT_EQ(cache.Count(), 0);

  for (int i = 0; i < TCashData::kMaxRows; ++i) ASSERT_EQ(cache.Put("k" + IntToStr(i), CachedRun({"1", "2"})), i);
  // A hit becomes row 0 and keeps its place when the full cache takes a new key.
  std::unique_ptr<TCashDataItemList> copy(cache.Get("k159"));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(cache.Key(0), "k159");
  EXPECT_EQ(cache.Key(159), "k0");
  EXPECT_EQ(cache.Put("new", CachedRun({"3"})), TCashData::kMaxRows - 1);
  EXPECT_EQ(cache.Count(), TCashData::kMaxRows);
  EXPECT_EQ(cache.Key(0), "k159");
  EXPECT_EQ(std::unique_ptr<TCashDataItemList>(cache.Get("k0")), nullptr);  // evicted

  // The copy is deep: changing it leaves the stored run as it was.
  ASSERT_EQ(copy->Count(), 2);
  copy->Get(0)->Values->GetAt(0)->SetText("changed");
  copy->Get(0)->EnumValues->Clear();
  std::unique_ptr<TCashDataItemList> again(cache.Get("k159"));
  EXPECT_EQ(again->Get(0)->Values->GetAt(0)->GetText(), "1");
  EXPECT_EQ(again->Get(0)->EnumValues->Count(), 1);

  // A key stored again replaces its run in place.
  EXPECT_EQ(cache.Put("k159", CachedRun({"9"})), 0);
  EXPECT_EQ(std::unique_ptr<TCashDataItemList>(cache.Get("k159"))->Count(), 1);

  TStringList taken;
  taken.Add("1");
  cache.RemoveTexts(taken);
  std::unique_ptr<TCashDataItemList> after(cache.Get("k1"));
  EXPECT_EQ(after->Get(0)->EnumValues->Count(), 0);
  EXPECT_EQ(after->Get(1)->EnumValues->Count(), 1);
}

TEST(CCompSimpleRtv, ARepeatedRetrievalIsServedFromTheCache) {
  CacheFixture f(3);
  CCompSimpleRtv node(&f.owner, "T", "c", COND_EQL, "x");
  CountingTable* table = f.select.Counting("T");
  EXPECT_EQ(f.RunNode(node), 3);
  const int starts = table->Starts, reads = table->Reads;
  EXPECT_EQ(f.RunNode(node), 3);
  EXPECT_EQ(table->Starts, starts);
  EXPECT_EQ(table->Reads, reads);
  const TCashData* cache = f.select.tables.Find("T")->Cash;
  ASSERT_EQ(cache->Count(), 1);
  EXPECT_EQ(cache->Key(0), "T$c$6$x");
  // The records come back as current values, in the order the table gave them.
  node.Reset();
  std::vector<AnsiString> values;
  for (int r; (r = node.NextNB()) >= 0;)
    if (r == 1) values.push_back(f.select.tables.Find("T")->Values->GetAt(2)->GetText());
  EXPECT_EQ(values, (std::vector<AnsiString>{"0", "1", "2"}));
}

TEST(CCompSimpleRtv, RunsOfUpTo320ResultsAreCachedLongerAndEmptyOnesAreNot) {
  for (const auto& [count, cached] : {std::pair{320, true}, {321, false}, {0, false}}) {
    SCOPED_TRACE(count);
    CacheFixture f(count);
    CCompSimpleRtv node(&f.owner, "T", "c", COND_EQL, "x");
    CountingTable* table = f.select.Counting("T");
    EXPECT_EQ(f.RunNode(node), count);
    const int starts = table->Starts;
    EXPECT_EQ(f.RunNode(node), count);
    EXPECT_EQ(table->Starts, cached ? starts : starts + 1);
    EXPECT_EQ(f.select.tables.Find("T")->Cash->Count(), cached ? 1 : 0);
  }
}

TEST(CCompSimpleRtv, CacheKeysOfDifferentComparisonsNeverMeet) {
  CacheFixture f(2);
  // Joined without escaping, both keys would read T$c$6$x$n$6$1.
  CCompSimpleRtv withExtra(&f.owner, "T", "c", COND_EQL, "x");
  withExtra.Extra->Add(new CCompSimpleRtv(&f.owner, "T", "n", COND_EQL, "1"));
  CCompSimpleRtv plain(&f.owner, "T", "c", COND_EQL, "x$n$6$1");
  EXPECT_EQ(f.RunNode(withExtra), 1);
  EXPECT_EQ(f.RunNode(plain), 0);
  EXPECT_NE(withExtra.MakeCashKey(false), plain.MakeCashKey(false));
  EXPECT_EQ(plain.MakeCashKey(false), "T$c$6$x\\$n\\$6\\$1");
  // The enumeration part and a pattern held by the column make keys of their own too.
  CCompSimpleRtv enumerating(&f.owner, "T", "c", COND_LIKE, "x");
  EXPECT_TRUE(enumerating.SetEnumColumn("T.c", 4));
  EXPECT_EQ(enumerating.MakeCashKey(true), "T$c$10$x$c$4");
  enumerating.PatternOwnSide = true;
  EXPECT_EQ(enumerating.MakeCashKey(false), "T$c$~10$x");
}

TEST(CCompSimpleRtv, TestsTheCurrentRecordWithItsTypeAndExtraComparisons) {
  CacheFixture f(0);
  CTableInfo* t = f.select.tables.Find("T");
  f.select.Insert("T", {{"c", "abc"}, {"n", "10"}});
  CCompSimpleRtv all(&f.owner, "T", "__REC__ID__", COND_ALL, "");
  all.Reset();
  for (int results = 0; results < 2;) ASSERT_GE(results += all.NextNB(), 0);
  ASSERT_NE(t->Values->GetAt(1), nullptr);
  ASSERT_EQ(t->Values->GetAt(1)->GetText(), "abc");
  const struct {
    const char* column;
    int op;
    const char* value;
    bool hit;
  } cases[] = {
      {"n", COND_GRT, "9", true},  // as numbers: 10 > 9
      {"n", COND_LES, "9", false}, {"c", COND_LIKE, "a%", true}, {"c", COND_NOT_LIKE, "a%", false},
      {"c", COND_EQL, "abc", true}, {"missing", COND_EQL, "abc", false}, {"c", COND_REJ, "", false},
  };
  for (const auto& c : cases) {
    CCompSimpleCmp node(&f.owner);
    node.Table = "T";
    node.Column = c.column;
    node.Op = c.op;
    node.Value = c.value;
    EXPECT_EQ(node.IsHit(), c.hit) << c.column << " " << c.op << " " << c.value;
    // The test step answers once.
    node.Reset();
    EXPECT_EQ(node.NextNB(), c.hit ? 1 : -1);
    EXPECT_EQ(node.NextNB(), -1);
  }
  CCompSimpleRtv withExtra(&f.owner, "T", "c", COND_EQL, "abc");
  withExtra.Extra->Add(new CCompSimpleRtv(&f.owner, "T", "n", COND_EQL, "11"));
  EXPECT_FALSE(withExtra.Test());
  CCompSimpleCmp3 yes(&f.owner, true), no(&f.owner, false);
  EXPECT_EQ(yes.NextNB(), 1);
  EXPECT_EQ(no.NextNB(), -1);
}

TEST(CCompSimpleRtv2, JoinsThroughTheOtherTablesCurrentValueAndFallsBackToAll) {
  TestSelect select;
  select.AddTable("T", {{"d", kvrString, 10}});
  select.AddTable("U", {{"c", kvrString, 10}});
  select.Insert("T", {{"d", "k"}});
  for (const char* c : {"k", "m", "k"}) select.Insert("U", {{"c", c}});
  CSearchCond owner(&select);
  CCompSimpleRtv outer(&owner, "T", "d", COND_ALL, "");
  outer.Reset();
  ASSERT_EQ(outer.NextNB(), 1);
  auto count = [](CCompSimple& node) {
    node.Reset();
    int n = 0;
    for (int r; (r = node.NextNB()) >= 0;) n += r;
    return n;
  };
  CCompSimpleRtv2 join(&owner, "U", "c", COND_EQL, "T", "d");
  EXPECT_EQ(count(join), 2);
  EXPECT_EQ(join.Value, "k");
  EXPECT_EQ(select.tables.Find("U")->Cash->Key(0), "U$c$6$k");
  CCompSimpleRtv2 lost(&owner, "U", "c", COND_EQL, "T", "nothing");
  EXPECT_EQ(count(lost), 3);
  EXPECT_EQ(lost.Op, COND_ALL);
}

TEST(CCompSimpleRtv2, SwapsSidesAndTakesTheEnumerationColumnOfEitherTable) {
  CSearchCond owner(nullptr);
  CCompSimpleRtv2 join(&owner, "T", "a", COND_LES, "U", "b");
  EXPECT_TRUE(join.SetEnumColumn("T.a", 5));
  join.SwapSides();
  EXPECT_EQ(join.Table + "." + join.Column + " " + CondOpName(join.Op) + " " + join.OtherTable + "." + join.OtherColumn,
            "U.b GRT T.a");
  EXPECT_EQ(join.EnumCol, "");
  EXPECT_EQ(join.Cut, -1);
  // Asked for a column of T, the join swaps back to retrieve T.
  EXPECT_TRUE(join.SetEnumColumn("T.c", 3));
  EXPECT_EQ(join.Table + " " + CondOpName(join.Op) + " " + join.EnumCol, "T LES c");
  EXPECT_FALSE(join.SetEnumColumn("V.c", 3));
  EXPECT_EQ(join.EnumCol, "");
  CCompSimpleCmp test(&owner);
  test.Table = "T";
  EXPECT_FALSE(test.SetEnumColumn("T.c", 3));
  // An ALL retrieval walks the column it enumerates.
  CCompSimpleRtv all(&owner, "T", "__REC__ID__", COND_ALL, "");
  EXPECT_TRUE(all.SetEnumColumn("T.name", 0));
  EXPECT_EQ(all.Column, "name");
}

TEST(CCompSimple, SelectivityAndOrderKeys) {
  CSearchCond owner(nullptr);
  const struct {
    int op;
    const char* value;
    int weight;
  } cases[] = {{COND_EQL, "x", 1001},     {COND_LIKE, "ab%", 101}, {COND_LIKE, "%ab", 6}, {COND_LIKE, "", 6},
               {COND_NOT_LIKE, "ab", 1},  {COND_GRT, "1", 11},     {COND_NOT_EQL, "1", 11}, {COND_ALL, "", 1}};
  for (const auto& c : cases) {
    CCompSimpleRtv node(&owner, "T", "c", c.op, c.value);
    EXPECT_EQ(node.GetSelectivity(false), c.weight) << c.op << c.value;
    node.SetEnumColumn("T.c", 0);
    EXPECT_EQ(node.GetSelectivity(false), c.weight + 1) << c.op << c.value;
  }
  TStringList bound;
  bound.Add("T");
  CCompSimpleRtv onBound(&owner, "T", "c", COND_LIKE, "%a");
  CCompSimpleRtv onFree(&owner, "U", "c", COND_LIKE, "%a");
  EXPECT_EQ(onBound.GetOrder(&bound), kCompTestOrder);
  EXPECT_EQ(onFree.GetOrder(&bound), 6);
  CCompSimpleCmp test(&owner);
  EXPECT_EQ(test.GetOrder(nullptr), kCompTestOrder);
  CCompSimpleRtv2 join(&owner, "U", "c", COND_EQL, "V", "d");
  EXPECT_EQ(join.GetOrder(&bound), 1);  // neither side current: no operator weight
  join.OtherTable = "T";
  EXPECT_EQ(join.GetOrder(&bound), 1001);
  join.Table = "T";
  EXPECT_EQ(join.GetOrder(&bound), kCompTestOrder);
  CCompSimpleRtv ext(&owner, ExtendedItemsTableName(), "x", COND_EQL, "1");
  EXPECT_EQ(ext.GetSelectivity(true), 0);
}

TEST(CCompSimple, ABaseNodeTakesTheTableAllItsNestedNodesShare) {
  CSearchCond owner(nullptr);
  auto make = [&](std::vector<std::vector<const char*>> alternatives) {
    auto* base = new CCompSimple(&owner);
    for (const auto& tables : alternatives) {
      auto* alternative = new CSearchCond(nullptr);
      for (const char* t : tables) alternative->Nodes->Add(new CCompSimpleRtv(alternative, t, "c", COND_EQL, "1"));
      base->Alternatives->Add(alternative);
    }
    base->ResolveTable();
    AnsiString table = base->Table;
    delete base;
    return table;
  };
  EXPECT_EQ(make({{"T"}, {"T", ""}}), "T");
  EXPECT_EQ(make({{"T"}, {"U"}}), "");
  EXPECT_EQ(make({{"T", "U"}}), "");
  EXPECT_EQ(make({}), "");
}

TEST(CCompSimpleRtv, AnEnumerationServedFromTheCacheOffersWhatWasNotTakenYet) {
  CacheFixture f(3);
  CCompSimpleRtv node(&f.owner, "T", "c", COND_EQL, "x");
  ASSERT_TRUE(node.SetEnumColumn("T.n", 0));
  auto run = [&node] {
    node.Reset();
    std::vector<AnsiString> texts;
    TStringList step;
    for (int r; (r = node.NextEnumStep(step)) >= 0;) {
      if (r == 1) texts.push_back(step.CommaText());
      step.Clear();
    }
    return texts;
  };
  EXPECT_EQ(run(), (std::vector<AnsiString>{"0", "1", "2"}));
  const int starts = f.select.Counting("T")->Starts;
  TStringList taken;
  taken.Add("0");
  node.AcceptEnum(taken);
  EXPECT_EQ(run(), (std::vector<AnsiString>{"1", "2"}));
  EXPECT_EQ(f.select.Counting("T")->Starts, starts);  // from the cache
  // All values at once, among the records of the node's own comparison.
  TStringList all;
  node.Reset();
  node.StartEnum("T.c", all);
  node.StartEnum("U.c", all);
  EXPECT_EQ(all.CommaText(), "x");
}
