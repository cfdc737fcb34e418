#include "query/SummaryMod.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundation/CellFormat.h"
#include "tests/support/TestSupport.h"

namespace {

using Table = std::vector<std::vector<std::string>>;  // UTF-8 cells, for readable failures

struct Col {
  const char* caption;
  const char* name;
  bool key = false;
  int method = 0;
  int type = 0;  // keys only: value columns take their source column's type
  unsigned flags = 0;
  const char* base = "-1";
  bool ascending = true;
};

CCapInfo* MakeColumn(const Col& c) {
  auto* info = new CCapInfo;
  info->Caption = Utf8ToSjis(c.caption);
  info->Name = Utf8ToSjis(c.name);
  info->GroupKey = c.key;
  info->Aggregate = c.method;
  info->Type = c.type;
  info->Flags = c.flags;
  info->CompareBase = c.base;
  info->Ascending = c.ascending;
  return info;
}

// A summary over record rows whose columns are the source columns, in order.
class Bench {
 public:
  Bench(const std::vector<std::pair<const char*, int>>& sourceColumns, const std::vector<Col>& columns,
        const char* title = "") {
    for (const auto& [name, type] : sourceColumns) {
      auto* s = new CCapInfo;
      s->Name = Utf8ToSjis(name);
      s->Type = type;
      source.Add(s);
    }
    for (const Col& c : columns) this->columns.Add(MakeColumn(c));
    sum.SetRecordRows(&records);
    sum.SetSummaryColumns(&rows, &this->columns, &source);
    sum.SetTitle(Utf8ToSjis(title));
  }

  TStrings* Add(const std::vector<std::string>& texts) {
    auto* r = new TStringList;
    for (const std::string& t : texts) r->Add(Utf8ToSjis(t));
    records.Add(r);
    sum.AddSummaryRecord(r);
    return r;
  }

  Table Cells() {
    sum.Calculate();
    Table t;
    const int n = sum.GetColumns()->Count();
    for (int r = 0; r < rows.Count(); ++r) {
      std::vector<std::string> line;
      for (int c = 0; c < n; ++c) line.push_back(SjisToUtf8(rows.Row(r)->Strings(c)));
      t.push_back(line);
    }
    return t;
  }

  std::vector<std::string> Headings() {
    std::vector<std::string> h;
    for (int i = 0; i < sum.GetColumns()->Count(); ++i) h.push_back(SjisToUtf8(sum.GetColumns()->GetItem(i)->Caption));
    return h;
  }

  CCapInfoList source;
  CCapInfoList columns;
  CStringsList rows;
  CStringsList records;
  CSummaryMod sum;  // last: it lets go of both row lists before they go
};

std::vector<std::string> Strings(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(SjisToUtf8(list[i]));
  return out;
}

}  // namespace

TEST(Summary, EveryMethodOverIntegerRealAndTextColumns) {
  struct Case {
    int type;
    std::vector<std::string> values;
    std::vector<std::string> expected;  // 件数 最小 最大 範囲 合計 平均
  } cases[] = {
      {1, {"1", "2", "4", "abc", ""}, {"5", "1", "4", "1 ～ 4", "7", "2"}},
      {2, {"1.5", "0.25", "x", "2", ""}, {"5", "0.25", "2", "0.25 ～ 2", "3.75", "1.25"}},
      {0, {"b", "a", "c", "", "b"}, {"5", "", "c", " ～ c", "計算不能", "計算不能"}},
      {1, {"1", "2"}, {"2", "1", "2", "1 ～ 2", "3", "1"}},
      {2, {"1", "2"}, {"2", "1", "2", "1 ～ 2", "3", "1.5"}},
      {1, {"7"}, {"1", "7", "7", "7", "7", "7"}},
      {0, {"q"}, {"1", "q", "q", "q", "計算不能", "計算不能"}},
      {2, {"5", "5"}, {"2", "5", "5", "5 ～ 5", "10", "5"}},
      {1, {"-4", " 2abc", "1e999"}, {"3", "-4", "2", "-4 ～ 2", "-2", "-1"}},
      // Values that never read as numbers: zeros and an empty average.
      {1, {"x", "y"}, {"2", "0", "0", "0 ～ 0", "0", ""}},
  };
  for (const Case& c : cases) {
    std::vector<Col> columns;
    for (int m = 0; m < 6; ++m) columns.push_back({"v", "t.V", false, m});
    Bench b({{"t.V", c.type}}, columns);
    for (const std::string& v : c.values) b.Add({v});
    const Table t = b.Cells();
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0], c.expected) << "type " << c.type << " first value " << c.values[0];
  }
}

// A count shares the slot of the columns beside it whatever it names; standing first, it must not
// make them read its own column.
TEST(Summary, ACountOfAnotherColumnBeforeTheAggregatesOfANumber) {
  for (bool countFirst : {true, false}) {
    std::vector<Col> columns{{"key", "t.K", true}, {"sum", "t.N", false, 4}, {"max", "t.N", false, 2}};
    columns.insert(countFirst ? columns.begin() + 1 : columns.end(), Col{"count", "t.Name", false, 0});
    Bench b({{"t.K", 0}, {"t.Name", 0}, {"t.N", 1}}, columns);
    b.Add({"a", "x", "10"});
    b.Add({"a", "y", "5"});
    b.Add({"b", "z", "7"});
    const Table expected = countFirst ? Table{{"a", "2", "15", "10"}, {"b", "1", "7", "7"}}
                                      : Table{{"a", "15", "10", "2"}, {"b", "7", "7", "1"}};
    EXPECT_EQ(b.Cells(), expected) << (countFirst ? "count first" : "count last");
  }
}

TEST(Summary, SubtotalsAtTheLevelOfTheKeyToTheLeftAndGrandTotalsBeforeTheFirstKey) {
  Bench b({{"t.A", 0}, {"t.B", 0}, {"t.V", 1}},
          {{"all", "t.V", false, 0},
           {"A", "t.A", true},
           {"nA", "t.V", false, 0},
           {"sumA", "t.V", false, 4},
           {"minA", "t.V", false, 1},
           {"B", "t.B", true},
           {"nB", "t.V", false, 0},
           {"sumB", "t.V", false, 4}});
  for (auto r : std::vector<std::vector<std::string>>{{"x", "p", "1"},
                                                      {"x", "q", "2"},
                                                      {"y", "p", "4"},
                                                      {"x", "p", "8"},
                                                      {"y", "r", "16"},
                                                      {"y", "s", "n/a"}})
    b.Add(r);
  // (y, s) has no number: it counts, and leaves the minimum of y alone.
  const Table expected = {
      {"6", "x", "3", "11", "1", "p", "2", "9"}, {"6", "x", "3", "11", "1", "q", "1", "2"},
      {"6", "y", "3", "20", "4", "p", "1", "4"}, {"6", "y", "3", "20", "4", "r", "1", "16"},
      {"6", "y", "3", "20", "4", "s", "1", "0"},
  };
  EXPECT_EQ(b.Cells(), expected);

  Bench none({{"t.V", 1}}, {{"n", "t.V", false, 0}, {"s", "t.V", false, 4}});
  for (const char* v : {"1", "2", "3"}) none.Add({v});
  EXPECT_EQ(none.Cells(), (Table{{"3", "6"}}));
}

TEST(Summary, KeysSortByTypeAndTextKeysInByteOrder) {
  struct Case {
    int type;
    bool ascending;
    std::vector<std::string> arrival, sorted;
  } cases[] = {
      {1, true, {"10", "9", "x", "-1"}, {"-1", "x", "9", "10"}},
      // Not a number: sorts as 0, ties by the text; the calculation goes on.
      {2, true, {"2.5", "x", "", "-1", "1e999", "nan"}, {"-1", "", "1e999", "nan", "x", "2.5"}},
      {0, true, {"b", "B", "ａ", "a"}, {"B", "a", "b", "ａ"}},
      {0, false, {"b", "a", "c"}, {"c", "b", "a"}},
  };
  for (const Case& c : cases) {
    Bench b({{"t.K", c.type}}, {{"K", "t.K", true, 0, c.type, 0, "-1", c.ascending}, {"n", "t.K", false, 0}});
    for (const std::string& k : c.arrival) b.Add({k});
    std::vector<std::string> keys;
    for (const auto& row : b.Cells()) {
      keys.push_back(row[0]);
      EXPECT_EQ(row[1], "1") << row[0];
    }
    EXPECT_EQ(keys, c.sorted) << "type " << c.type;
  }
}

TEST(Summary, RowsWithOneKeyTextStayInOneRunWhenTheirValuesTie) {
  // "1" and "01" are equal as integers; the inner key would otherwise split the "1" rows.
  Bench b({{"t.K", 1}, {"t.L", 0}},
          {{"K", "t.K", true, 0, 1}, {"nK", "t.K", false, 0}, {"L", "t.L", true}, {"nL", "t.K", false, 0}});
  b.Add({"1", "a"});
  b.Add({"01", "b"});
  b.Add({"1", "c"});
  const Table expected = {{"01", "1", "b", "1"}, {"1", "2", "a", "1"}, {"1", "2", "c", "1"}};
  EXPECT_EQ(b.Cells(), expected);
}

TEST(Summary, TwoPassesSideBySideWithRatiosMarksAndPercent) {
  Bench b({{"t.K", 0}, {"t.V", 1}},
          {{"K", "t.K", true},
           {"件数", "t.V", false, 0},
           {"合計", "t.V", false, 4, 0, CI_RATIO | CI_PERCENT | CI_MARKS},
           {"最大", "t.V", false, 2, 0, CI_RATIO},
           {"範囲", "t.V", false, 3, 0, CI_RATIO}},
          "前回");
  b.Add({"k1", "2"});
  b.Add({"k2", "5"});
  b.Add({"k3", "0"});
  b.Cells();
  b.sum.BuildOutputColumns(Utf8ToSjis("今回"));
  b.Add({"k1", "3"});
  b.Add({"k2", "1"});
  b.Add({"k3", "4"});
  b.Add({"k4", "7"});
  EXPECT_EQ(b.Headings(), (std::vector<std::string>{"\r\nK", "前回\r\n件数", "今回\r\n件数", "前回\r\n合計",
                                                   "今回\r\n合計", "前回\r\n最大", "今回\r\n最大", "前回\r\n範囲",
                                                   "今回\r\n範囲"}));
  const Table expected = {
      {"k1", "1", "1", "2", "3 (↑150)", "2", "3 (1.5)", "2", "3 (1.5 ～ 1.5)"},
      {"k2", "1", "1", "5", "1 (↓20)", "5", "1 (0.2)", "5", "1 (0.2 ～ 0.2)"},
      {"k3", "1", "1", "0", "4", "0", "4", "0", "4"},  // a base of 0: no ratio
      {"k4", "", "1", "", "7", "", "7", "", "7"},      // nothing in the first pass
  };
  EXPECT_EQ(b.Cells(), expected);

  b.sum.SetRatioMode(true);  // only the ratios; a first pass compares with itself
  const Table ratios = {
      {"k1", "1", "1", "100", "↑150", "1", "1.5", "1 ～ 1", "1.5 ～ 1.5"},
      {"k2", "1", "1", "100", "↓20", "1", "0.2", "1 ～ 1", "0.2 ～ 0.2"},
      {"k3", "1", "1", "", "", "", "", "", ""},
      {"k4", "", "", "", "", "", "", "", ""},
  };
  EXPECT_EQ(b.Cells(), ratios);
  b.sum.SetRatioMode(false);
  EXPECT_EQ(b.Cells(), expected);

  // The chart follows a value through its passes.
  b.sum.SelectSeries(0, 0);
  TStringList series, labels;
  ASSERT_EQ(b.sum.GetChartSeries(&series), 2);
  EXPECT_EQ(Strings(series), (std::vector<std::string>{"前回", "今回"}));
  ASSERT_EQ(b.sum.GetChartLabels(&labels), 4);
  EXPECT_EQ(b.sum.GetChartValue(0, 3), 0);
  EXPECT_EQ(b.sum.GetChartValue(1, 3), 1);
}

TEST(Summary, ComparisonBaseNamesAPassOfTheChain) {
  struct Case {
    const char* base;
    const char* middle;  // the second of three passes, 4 against 2 before and 8 after
  } cases[] = {{"-1", "4 (2)"}, {"", "4 (2)"}, {"x", "4 (2)"}, {"1", "4 (2)"}, {"-5", "4 (2)"},
               {"+1", "4 (0.5)"}, {"3", "4 (0.5)"}, {"9", "4 (0.5)"}, {"2", "4"}};
  for (const Case& c : cases) {
    Bench b({{"t.V", 1}}, {{"s", "t.V", false, 4, 0, CI_RATIO, c.base}}, "p1");
    b.Add({"2"});
    b.sum.BuildOutputColumns("p2");
    b.Add({"4"});
    b.sum.BuildOutputColumns("p3");
    b.Add({"8"});
    const Table t = b.Cells();
    ASSERT_EQ(t.size(), 1u);
    ASSERT_EQ(t[0].size(), 3u);
    EXPECT_EQ(t[0][1], c.middle) << "base \"" << c.base << "\"";
  }
}

TEST(Summary, IncrementalAdditionsGiveTheCellsOfACalculationFromScratch) {
  const std::vector<std::pair<const char*, int>> source = {
      {"t.ID", 0}, {"t.K1", 1}, {"t.K2", 0}, {"t.N", 1}, {"t.R", 2}, {"t.S", 0}};
  const std::vector<Col> columns = {
      {"all", "t.N", false, 0}, {"rsum", "t.R", false, 4},  {"K1", "t.K1", true, 0, 1},
      {"nsum", "t.N", false, 4}, {"rmin", "t.R", false, 1}, {"smax", "t.S", false, 2},
      {"K2", "t.K2", true},      {"n", "t.N", false, 0},    {"navg", "t.N", false, 5},
      {"rrange", "t.R", false, 3}, {"srange", "t.S", false, 3}, {"nmax", "t.N", false, 2},
      {"savg", "t.S", false, 5}};
  const std::vector<std::string> k1 = {"1", "01", "2", "x", "10", ""}, k2 = {"a", "b", "B", ""},
                                 n = {"-3", "0", "2", "5", "", "z"}, r = {"0.25", "1.5", "-2.75", "x", ""},
                                 s = {"p", "q", "", "r"};
  std::mt19937 rng(20240611);
  auto pick = [&rng](const std::vector<std::string>& v) { return v[rng() % v.size()]; };
  for (int round = 0; round < 60; ++round) {
    std::vector<std::vector<std::string>> data(rng() % 50);
    for (size_t i = 0; i < data.size(); ++i) data[i] = {std::to_string(i), pick(k1), pick(k2), pick(n), pick(r), pick(s)};

    Bench scratch(source, columns), steps(source, columns);
    for (const auto& d : data) scratch.Add(d);
    for (const auto& d : data) {
      steps.Add(d);
      if (rng() % 4 == 0) steps.Cells();
    }
    const Table want = scratch.Cells();
    ASSERT_EQ(steps.Cells(), want) << "round " << round;

    // Against a plain model: the group counts, and each group's members in arrival order.
    std::map<std::pair<std::string, std::string>, std::vector<std::string>> model;
    for (const auto& d : data) model[{d[1], d[2]}].push_back(d[0]);
    ASSERT_EQ(want.size(), model.size());
    for (int i = 0; i < steps.rows.Count(); ++i) {
      const auto& ids = model[{want[i][2], want[i][6]}];
      EXPECT_EQ(want[i][7], std::to_string(ids.size()));
      EXPECT_EQ(want[i][0], std::to_string(data.size()));
      TList* members = steps.sum.GetRecordGroup(steps.rows.Row(i));
      ASSERT_NE(members, nullptr);
      std::vector<std::string> got;
      for (int m = 0; m < members->Count(); ++m) got.push_back(static_cast<TStrings*>(members->Items(m))->Strings(0));
      EXPECT_EQ(got, ids);
    }
  }
}

TEST(Summary, FreeingTheRecordRowsEmptiesTheSummaryFirst) {
  Bench b({{"t.K", 0}}, {{"K", "t.K", true}, {"n", "t.K", false, 0}});
  b.Add({"a"});
  b.Add({"b"});
  b.Add({"a"});
  ASSERT_EQ(b.Cells().size(), 2u);
  TStrings* row = b.rows.Row(0);
  ASSERT_NE(b.sum.GetRecordGroup(row), nullptr);
  EXPECT_EQ(b.sum.GetRecordGroup(row)->Count(), 2);

  // A continued listing: the shown rows are replaced by the next chunk.
  b.records.DeleteAll();
  EXPECT_EQ(b.rows.Count(), 0);
  TStrings* c = b.Add({"c"});
  b.Add({"a"});
  EXPECT_EQ(b.Cells(), (Table{{"a", "1"}, {"c", "1"}}));
  TList* members = b.sum.GetRecordGroup(b.rows.Row(1));
  ASSERT_NE(members, nullptr);
  ASSERT_EQ(members->Count(), 1);
  EXPECT_EQ(members->Items(0), c);

  // Either list may go first.
  {
    auto* records = new CStringsList;
    CSummaryMod s;
    s.SetRecordRows(records);
    delete records;
    s.SetRecordRows(nullptr);
  }
  {
    CStringsList records;
    auto* s = new CSummaryMod;
    s->SetRecordRows(&records);
    delete s;
    records.DeleteAll();
  }
}

TEST(Summary, GroupMembersAndRowsWithoutAGroup) {
  Bench b({{"t.K", 0}}, {{"K", "t.K", true}, {"n", "t.K", false, 0}});
  TStrings* a1 = b.Add({"a"});
  b.Add({"b"});
  TStrings* a2 = b.Add({"a"});
  b.Cells();
  TList* members = b.sum.GetRecordGroup(b.rows.Row(0));
  ASSERT_NE(members, nullptr);
  ASSERT_EQ(members->Count(), 2);
  EXPECT_EQ(members->Items(0), a1);
  EXPECT_EQ(members->Items(1), a2);
  TStringList stranger;
  stranger.Add("a");
  EXPECT_EQ(b.sum.GetRecordGroup(&stranger), nullptr);
  EXPECT_EQ(b.sum.GetRecordGroup(nullptr), nullptr);
}

TEST(Summary, ColumnEditsAndBinding) {
  Bench b({{"t.金額", 1}, {"t.K", 0}}, {{"K", "t.K", true}, {"件数", "t.金額", false, 0}, {"x", "t.なし", false, 4}});
  CCapInfoList* cols = b.sum.GetColumns();
  // An item the records do not have becomes a count of the first record column.
  EXPECT_EQ(cols->GetItem(2)->Aggregate, 0);
  EXPECT_EQ(cols->GetItem(2)->SourceIndex, 0);
  EXPECT_EQ(cols->GetItem(0)->SourceIndex, 1);

  b.Add({"10", "a"});
  b.Cells();
  EXPECT_FALSE(b.sum.AddMethodColumn(3, 0));
  EXPECT_FALSE(b.sum.AddMethodColumn(1, 6));
  EXPECT_FALSE(b.sum.DeleteColumn(-1));
  EXPECT_EQ(b.rows.Count(), 1);
  ASSERT_TRUE(b.sum.AddMethodColumn(1, 4));
  EXPECT_EQ(b.rows.Count(), 0);  // the records are added again for the new columns
  ASSERT_EQ(cols->Count(), 4);
  const CCapInfo* added = cols->GetItem(2);
  EXPECT_EQ(SjisToUtf8(added->Caption), "金額の合計");
  EXPECT_EQ(added->Width, 80);
  EXPECT_EQ(added->Alignment, 2);
  EXPECT_TRUE(added->Shown);
  EXPECT_EQ(added->Type, 1);
  ASSERT_TRUE(b.sum.AddMethodColumn(3, 0));  // after the last column
  EXPECT_EQ(SjisToUtf8(cols->GetItem(4)->Caption), "件数");
  ASSERT_TRUE(b.sum.DeleteColumn(3));
  ASSERT_EQ(cols->Count(), 4);

  b.Add({"10", "a"});
  b.Add({"5", "a"});
  EXPECT_EQ(b.Cells(), (Table{{"a", "2", "15", "2"}}));
}

TEST(Summary, ChartAccessorsAndSortColumns) {
  Bench b({{"t.A", 0}, {"t.B", 0}, {"t.V", 1}, {"t.S", 0}},
          {{"A", "t.A", true},
           {"件数", "t.V", false, 0},
           {"合計", "t.V", false, 4},
           {"最小", "t.S", false, 1},
           {"B", "t.B", true},
           {"件数2", "t.V", false, 0}});
  b.Add({"x", "p", "1", ""});
  b.Add({"x", "q", "2", ""});
  b.Add({"y", "p", "4", ""});
  b.Cells();
  TStringList list;
  EXPECT_EQ(Strings(*b.sum.GetKeyHeadings(&list)), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(Strings(*b.sum.GetValueHeadings(0, &list)), (std::vector<std::string>{"件数", "合計"}));
  EXPECT_EQ(Strings(*b.sum.GetValueHeadings(1, &list)), (std::vector<std::string>{"件数2"}));
  EXPECT_EQ(b.sum.GetKeyHeadings(nullptr), nullptr);

  b.sum.SelectSeries(0, 1);
  EXPECT_EQ(SjisToUtf8(b.sum.GetKeyHeading()), "A");
  EXPECT_EQ(SjisToUtf8(b.sum.GetValueHeading()), "合計");
  EXPECT_EQ(b.sum.GetChartLabels(&list), 2);
  EXPECT_EQ(Strings(list), (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(b.sum.GetChartSeries(&list), 1);
  EXPECT_EQ(b.sum.GetChartValue(0, 0), 3);
  EXPECT_EQ(b.sum.GetChartValue(0, 1), 4);
  EXPECT_EQ(b.sum.GetChartValue(0, 2), 0);
  EXPECT_EQ(b.sum.GetChartValue(3, 0), 0);  // would cross the next key

  b.sum.SetTranspose(true);
  EXPECT_EQ(b.sum.GetChartLabels(&list), 1);
  EXPECT_EQ(Strings(list), (std::vector<std::string>{"合計"}));
  EXPECT_EQ(b.sum.GetChartSeries(&list), 2);
  EXPECT_EQ(b.sum.GetChartValue(1, 0), 4);
  b.sum.SetTranspose(false);

  b.sum.SelectSeries(1, 0);
  EXPECT_EQ(b.sum.GetChartLabels(&list), 3);
  EXPECT_EQ(Strings(list), (std::vector<std::string>{"p", "q", "p"}));
  EXPECT_EQ(b.sum.GetChartValue(0, 2), 1);

  // Sort columns: per key, the first clicked column of its level, then the key.
  std::vector<std::unique_ptr<CCapInfo>> clicked;
  CCapInfoList sortList;
  sortList.OwnsItems = false;
  for (int pos : {5, 3, 2}) {
    clicked.push_back(std::make_unique<CCapInfo>());
    clicked.back()->Position = pos;
    sortList.Add(clicked.back().get());
  }
  b.sum.GetGroupColumns(&sortList);
  ASSERT_EQ(sortList.Count(), 4);
  EXPECT_EQ(sortList.GetItem(0), clicked[1].get());
  EXPECT_EQ(sortList.GetItem(1), b.sum.GetColumns()->GetItem(0));
  EXPECT_EQ(sortList.GetItem(2), clicked[0].get());
  EXPECT_EQ(sortList.GetItem(3), b.sum.GetColumns()->GetItem(4));
}

TEST(Summary, AveragesCompareAndChartAsTheyShow) {
  // The shown average divides by the values that read as numbers; a ratio and the chart use the
  // same average, not the sum over every record, so what they compare is what the grid shows.
  Bench b({{"t.V", 1}}, {{"平均", "t.V", false, 5, 0, CI_RATIO}}, "p1");
  b.Add({"x"});
  b.Add({"4"});
  b.sum.BuildOutputColumns("p2");
  b.Add({"4"});
  b.Add({"4"});
  const Table t = b.Cells();
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0], (std::vector<std::string>{"4", "4 (1)"}));
  b.sum.SelectSeries(-1, 0);
  EXPECT_EQ(b.sum.GetChartValue(0, 0), 4);
  EXPECT_EQ(b.sum.GetChartValue(1, 0), 4);
  EXPECT_EQ(b.sum.GetChartValue(2147483647, 0), 0);  // no column that far right
}

TEST(Summary, ChartValuesDoNotDependOnHowTheRowsArrived) {
  const std::vector<Col> columns = {{"全件", "t.K", false, 0}, {"K", "t.K", true}, {"件数", "t.K", false, 0}};
  Bench whole({{"t.K", 0}}, columns);
  for (const char* k : {"m", "z", "a"}) whole.Add({k});
  whole.Cells();
  Bench steps({{"t.K", 0}}, columns);
  steps.Add({"m"});
  steps.Add({"z"});
  steps.Cells();
  steps.Add({"a"});
  steps.Cells();
  whole.sum.SelectSeries(-1, 0);
  steps.sum.SelectSeries(-1, 0);
  for (int p = 0; p < 3; ++p) EXPECT_EQ(steps.sum.GetChartValue(0, p), whole.sum.GetChartValue(0, p)) << p;
}

TEST(Summary, SubtotalsFollowTheGroupsWhenTheViewReordersTheRows) {
  Bench b({{"t.A", 0}, {"t.B", 0}, {"t.V", 1}},
          {{"A", "t.A", true}, {"sA", "t.V", false, 4}, {"B", "t.B", true}, {"sB", "t.V", false, 4}});
  for (auto r : std::vector<std::vector<std::string>>{
           {"x", "p", "1"}, {"x", "q", "2"}, {"y", "p", "4"}, {"x", "r", "8"}, {"y", "q", "16"}, {"z", "p", "32"}})
    b.Add(r);
  b.Cells();
  // The view sorts the rows its own way, each key's runs kept together: here all reversed.
  for (int i = 0, j = b.rows.Count() - 1; i < j; ++i, --j) b.rows.Exchange(i, j);
  b.sum.SelectSeries(0, 0);
  TStringList labels;
  ASSERT_EQ(b.sum.GetChartLabels(&labels), 3);
  EXPECT_EQ(Strings(labels), (std::vector<std::string>{"z", "y", "x"}));
  EXPECT_EQ(b.sum.GetChartValue(0, 0), 32);
  EXPECT_EQ(b.sum.GetChartValue(0, 1), 20);
  EXPECT_EQ(b.sum.GetChartValue(0, 2), 11);
  b.sum.SelectSeries(1, 0);
  ASSERT_EQ(b.sum.GetChartLabels(&labels), 6);
  EXPECT_EQ(b.sum.GetChartValue(0, 3), 8);  // x r
}

TEST(Summary, NumberCellsReadAsTheFrameworksNumberText) {
  std::vector<std::string> texts = {"0.1",   "-2.5",     "1e-5",  "1.5e-6",    "123456789012345", "1234567890123456",
                                    "1e15",  "-1e15",    "99999999999999.9", "0.000123456789012345678",
                                    "1e300", "3.14159265358979323", "-0.0", "2.675", "1e-300"};
  std::mt19937_64 random(7);
  for (int i = 0; i < 300; ++i) {
    char buf[40];
    const double magnitude = std::pow(10.0, static_cast<int>(random() % 40) - 20);
    std::snprintf(buf, sizeof buf, "%.17g", (static_cast<double>(random() % 2000001) - 1000000) / 1000 * magnitude);
    texts.push_back(buf);
  }
  Bench b({{"t.K", 0}, {"t.V", 2}}, {{"K", "t.K", true}, {"min", "t.V", false, 1}, {"sum", "t.V", false, 4}});
  for (size_t i = 0; i < texts.size(); ++i) b.Add({std::to_string(i), texts[i]});
  const Table t = b.Cells();
  ASSERT_EQ(t.size(), texts.size());
  for (const auto& row : t) {
    const std::string& text = texts[std::stoul(row[0])];
    double d = 0;
    ASSERT_TRUE(ScanLeadingReal(text, d));
    EXPECT_EQ(row[1], FloatToStr(d)) << text;
    EXPECT_EQ(row[2], FloatToStr(d)) << text;
  }
}

TEST(Summary, ManyGroupsOfTwoKeysKeepTheirTextsApart) {
  // Pairs whose joined texts are equal, texts that differ only past their eighth byte or by a
  // trailing NUL, empty texts: each pair is a group of its own, sorted in byte order.
  std::vector<std::pair<std::string, std::string>> pairs = {{"ab", "c"}, {"a", "bc"}, {"", "abc"}, {"abc", ""},
                                                            {"", ""},    {"a", std::string("b\0", 2)}, {"a", "b"},
                                                            {std::string(300, 'x'), "b"}, {std::string(299, 'x'), "xb"}};
  for (int i = 0; i < 3000; ++i)
    pairs.push_back({"prefix--" + std::to_string(i % 37), "longer-than-eight-" + std::to_string(i % 101)});
  std::map<std::pair<std::string, std::string>, int> expected;
  Bench b({{"t.A", 0}, {"t.B", 0}}, {{"A", "t.A", true}, {"B", "t.B", true}, {"n", "t.A", false, 0}});
  for (const auto& [a, k] : pairs) {
    ++expected[{a, k}];
    auto* r = new TStringList;
    r->Add(a);
    r->Add(k);
    b.records.Add(r);
    b.sum.AddSummaryRecord(r);
  }
  b.sum.Calculate();
  ASSERT_EQ(b.rows.Count(), static_cast<int>(expected.size()));
  int r = 0;
  for (const auto& [key, count] : expected) {
    const TStrings* row = b.rows.Row(r++);
    EXPECT_EQ(row->Strings(0), key.first);
    EXPECT_EQ(row->Strings(1), key.second);
    EXPECT_EQ(row->Strings(2), std::to_string(count));
    EXPECT_EQ(b.sum.GetRecordGroup(row)->Count(), count);
  }

  // After a calculation the same records again find their groups.
  for (const auto& [a, k] : pairs) {
    auto* rec = new TStringList;
    rec->Add(a);
    rec->Add(k);
    b.records.Add(rec);
    b.sum.AddSummaryRecord(rec);
  }
  b.sum.Calculate();
  ASSERT_EQ(b.rows.Count(), static_cast<int>(expected.size()));
  r = 0;
  for (const auto& [key, count] : expected) {
    const TStrings* row = b.rows.Row(r++);
    EXPECT_EQ(row->Strings(2), std::to_string(2 * count));
    EXPECT_EQ(b.sum.GetRecordGroup(row)->Count(), 2 * count);
  }
}

TEST(Summary, MemberListsFollowLaterRecordsAndEveryGroupSurvivesANewPass) {
  Bench b({{"t.K", 0}, {"t.V", 1}}, {{"K", "t.K", true}, {"n", "t.V", false, 0}, {"s", "t.V", false, 4}}, "p1");
  // Enough groups for several pages of group storage, which a new pass lays out anew.
  constexpr int kGroups = 35000;
  for (int i = 0; i < kGroups; ++i) b.Add({"k" + std::to_string(i), std::to_string(i)});
  TStrings* seven = b.Add({"k7", "1000"});
  b.Cells();
  auto rowOf = [&b](const std::string& key) -> TStrings* {
    for (int r = 0; r < b.rows.Count(); ++r)
      if (b.rows.Row(r)->Strings(0) == key) return b.rows.Row(r);
    return nullptr;
  };
  TList* members = b.sum.GetRecordGroup(rowOf("k7"));
  ASSERT_NE(members, nullptr);
  ASSERT_EQ(members->Count(), 2);
  EXPECT_EQ(members->Items(1), seven);
  TStrings* later = b.Add({"k7", "5"});
  ASSERT_EQ(members->Count(), 3);  // the list handed out takes the group's later records
  EXPECT_EQ(members->Items(2), later);

  b.sum.BuildOutputColumns("p2");
  TStrings* third = b.Add({"k7", "1"});
  b.Add({"new", "2"});
  const Table t = b.Cells();
  ASSERT_EQ(t.size(), static_cast<size_t>(kGroups + 1));
  EXPECT_EQ(b.sum.GetRecordGroup(rowOf("k7")), members);
  ASSERT_EQ(members->Count(), 4);
  EXPECT_EQ(members->Items(3), third);
  // Columns: K, n p1, n p2, s p1, s p2.
  for (const auto& row : t) {
    if (row[0] == "k7") {
      EXPECT_EQ(row, (std::vector<std::string>{"k7", "3", "1", "1012", "1"}));
    } else if (row[0] == "new") {
      EXPECT_EQ(row, (std::vector<std::string>{"new", "", "1", "", "2"}));
    } else {
      ASSERT_EQ(row[1], "1") << row[0];
      ASSERT_EQ(row[2], "") << row[0];
      ASSERT_EQ(row[3], row[0].substr(1)) << row[0];
      ASSERT_EQ(row[4], "") << row[0];
    }
  }
}

TEST(Summary, AComparisonReadsTheBaseColumnsNumbersWhateverItsMethod) {
  // A column of W followed by a column of V as its next pass: the second compares with W's
  // aggregate under its own method.
  struct Case {
    int first, second;
    std::vector<std::string> expected;
  } cases[] = {
      {0, 4, {"a", "2", "7 (0.233)"}},            // with the sum of W
      {4, 3, {"a", "30", "3 ～ 4 (0.3 ～ 0.2)"}},  // with the smallest and largest W
      {5, 1, {"a", "15", "3 (0.3)"}},
  };
  for (const Case& c : cases) {
    Bench b({{"t.K", 0}, {"t.V", 1}, {"t.W", 1}},
            {{"K", "t.K", true}, {"w", "t.W", false, c.first}, {"v", "t.V", false, c.second, 0, CI_RATIO}});
    b.columns.GetItem(2)->PassNumber = 1;
    b.sum.ResetSummary(&b.rows, &b.columns);
    b.Add({"a", "3", "10"});
    b.Add({"a", "4", "20"});
    EXPECT_EQ(b.Cells(), (Table{c.expected})) << c.first << " " << c.second;
  }
}

TEST(Summary, NumbersReadBitForBitAsTheFullReaderReadsThem) {
  std::vector<std::string> texts = {
      "0.1", "2.675", "-0", "-0.0", "+5", ".5", "5.", "-.5", "5e", "5e3", "1.5.5", " 7", "-", ".", "x", "",
      "9007199254740992", "9007199254740993", "900719925474099.3", "1234567890123456789", "12345678901234567890",
      "0.0000000000000000000001", "0.00000000000000000000001", "1.0000000000000000000001",
      "00000000000000000000001.5", "3.14159265358979", "99999999999999.99", "-123.456e-2", "7abc"};
  std::mt19937_64 random(11);
  for (int i = 0; i < 3000; ++i) {
    std::string t = random() % 4 == 0 ? "-" : "";
    const int digits = 1 + static_cast<int>(random() % 20), point = static_cast<int>(random() % (digits + 8));
    for (int d = 0; d < digits; ++d) {
      if (d == point) t += '.';
      t += static_cast<char>('0' + random() % 10);
    }
    texts.push_back(t);
  }
  Bench b({{"t.K", 0}, {"t.V", 2}}, {{"K", "t.K", true}, {"s", "t.V", false, 4}});
  for (size_t i = 0; i < texts.size(); ++i) b.Add({std::to_string(i), texts[i]});
  b.Cells();
  b.sum.SelectSeries(0, 0);
  TStringList labels;
  ASSERT_EQ(b.sum.GetChartLabels(&labels), static_cast<int>(texts.size()));
  for (int p = 0; p < labels.Count(); ++p) {
    const std::string& text = texts[std::stoul(labels[p])];
    double want = 0;
    if (!ScanLeadingReal(text, want) || !std::isfinite(want)) want = 0;
    const double got = b.sum.GetChartValue(0, p);
    EXPECT_EQ(std::memcmp(&got, &want, sizeof got), 0) << text << " " << got << " " << want;
  }
}
