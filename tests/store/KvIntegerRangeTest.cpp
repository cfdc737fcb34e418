// Integers at and beyond the ends of their columns' ranges: nothing is stored as another number,
// and a condition with a number beyond the range finds what lies on its side, through the index
// walk and the per-record test alike.
#include <algorithm>
#include <vector>

#include "store/CondOp.h"
#include "store/KvrRange.h"
#include "tests/store/KvRecordTestSupport.h"

namespace {

using Ids = std::vector<uint32_t>;

// Keys 2 onwards: every index entry and body, but not the counters, which only grow.
std::vector<std::vector<std::string>> Entries(TableFixture& f) {
  auto all = f.All();
  all.erase(all.begin());
  return all;
}

}  // namespace

TEST(IntegerRange, InsertsAtAndBeyondTheBounds) {
  const struct {
    const char* column;
    AnsiString text;
    const char* stored;  // null: refused
  } cases[] = {
      {"i", "2147483647", "2147483647"},
      {"i", "-2147483648", "-2147483648"},
      {"i", " +12abc", "12"},  // read as "%d" reads it
      {"i", "2147483648", nullptr},
      {"i", "-2147483649", nullptr},
      {"i", "3000000000", nullptr},
      {"i", "99999999999999999999999", nullptr},
      {"u", "4294967295", "4294967295"},
      {"u", "3000000000", "3000000000"},
      {"u", "0", "0"},
      {"u", "4294967296", nullptr},
      {"u", "-1", nullptr},
  };
  for (const auto& c : cases) {
    TableFixture f({{"i", kvrSigned, 0, 0}, {"u", kvrUnsigned, 0, 0}, {"s", kvrString, 0, 0}});
    MessageCatcher box;
    ASSERT_EQ(f.Add({{"i", "1"}, {"u", "1"}, {"s", "kept"}}), 1u);
    const auto before = Entries(f);
    const uint32_t id = f.Add({{"s", "new"}, {c.column, c.text}});
    if (c.stored) {
      ASSERT_NE(id, 0u) << c.text;
      EXPECT_EQ(f.Get(id)[c.column[0] == 'i' ? 1 : 2], c.stored) << c.text;
      continue;
    }
    EXPECT_EQ(id, 0u) << c.text;
    EXPECT_EQ(box.Last(), Format(SJ("項目'%s'の内容'%s'が範囲外です。").c_str(), c.column, c.text.c_str()));
    EXPECT_EQ(Entries(f), before) << c.text;

    // A change to such a number is refused the same way and keeps the record.
    CKvrValueList values;
    values.Add(new CKvrValue(1u));
    for (const char type : {kvrSigned, kvrUnsigned, kvrString}) values.Add(new CKvrValue(type));
    values.GetAt(1)->SetText("1");
    values.GetAt(2)->SetText("1");
    values.GetAt(3)->SetText("changed");
    values.GetAt(c.column[0] == 'i' ? 1 : 2)->SetText(c.text.c_str());
    EXPECT_FALSE(f.table.ReplaceData(values)) << c.text;
    EXPECT_EQ(box.Last(), Format(SJ("項目'%s'の内容'%s'が範囲外です。").c_str(), c.column, c.text.c_str()));
    EXPECT_EQ(Entries(f), before) << c.text;
  }
}

TEST(IntegerRange, ConditionsAtAndBeyondTheBounds) {
  TableFixture f({{"i", kvrSigned, 0, 0}, {"u", kvrUnsigned, 0, 0}});
  const char* const rows[][2] = {
      {"-2147483648", "0"}, {"-1", "1"}, {"0", "2147483648"}, {"2147483647", "4294967295"}};
  for (const auto& row : rows) ASSERT_NE(f.Add({{"i", row[0]}, {"u", row[1]}}), 0u);
  const Ids all = {1, 2, 3, 4}, none = {};
  const struct {
    const char* column;
    int op;
    const char* text;
    Ids expected;
  } cases[] = {
      {"i", COND_GRT, "3000000000", none},
      {"i", COND_GRT_EQL, "3000000000", none},
      {"i", COND_EQL, "3000000000", none},
      {"i", COND_NOT_EQL, "3000000000", all},
      {"i", COND_LES, "3000000000", all},
      {"i", COND_LES_EQL, "2147483648", all},
      {"i", COND_GRT, "2147483647", none},
      {"i", COND_GRT_EQL, "2147483647", {4}},
      {"i", COND_LES_EQL, "-2147483648", {1}},
      {"i", COND_LES, "-2147483648", none},
      {"i", COND_LES, "-2147483649", none},
      {"i", COND_GRT, "-3000000000", all},
      {"i", COND_EQL, "-99999999999999999999", none},
      {"u", COND_EQL, "-1", none},
      {"u", COND_LES, "0", none},
      {"u", COND_GRT_EQL, "-1", all},
      {"u", COND_GRT, "3000000000", {4}},
      {"u", COND_GRT_EQL, "4294967295", {4}},
      {"u", COND_GRT, "4294967295", none},
      {"u", COND_LES, "4294967296", all},
      {"u", COND_NOT_EQL, "4294967296", all},
      {"__REC__ID__", COND_GRT, "4294967295", none},
      {"__REC__ID__", COND_LES, "4294967296", all},
      {"__REC__ID__", COND_EQL, "4294967299", none},
      {"__REC__ID__", COND_GRT_EQL, "-5", all},
      {"__REC__ID__", COND_LES_EQL, "3", {1, 2, 3}},
  };
  const int columns[] = {0, 1, 2};  // __REC__ID__, i, u
  for (const auto& c : cases) {
    const AnsiString what = Format("%s %d %s", c.column, c.op, c.text);
    // The table's own walk: the column's index ranges, then the exact test of each record.
    f.table.ClearCond();
    f.table.AddCond(c.column, c.op, c.text);
    f.table.AddCondEnd();
    Ids walked;
    CKvrValueList values;
    while (f.table.GetRec(values)) walked.push_back(values.GetAt(0)->GetUnsigned());
    std::sort(walked.begin(), walked.end());
    EXPECT_EQ(walked, c.expected) << what;

    // The per-record test and the ranges, each on every stored value.
    const int column = columns[c.column[0] == '_' ? 0 : c.column[0] == 'i' ? 1 : 2];
    const char type = column == 1 ? kvrSigned : kvrUnsigned;
    CKvrValue constant(type);
    constant.SetText(c.text);
    CKvrRangeList ranges;
    ranges.AddCond(c.op, constant);
    Ids tested, ranged;
    for (uint32_t id : all) {
      CKvrBuffer body(64);
      ASSERT_TRUE(f.table.ReadRecordBody(id, body));
      CKvRecord::DecodeRecord(values, body, *f.table.Columns());
      const CKvrValue idValue(id);
      const CKvrValue* v = column == 0 ? &idValue : values.GetAt(column);
      if (f.table.MatchOp(v, c.op, &constant)) tested.push_back(id);
      for (int r = 0; r < ranges.Count(); ++r)
        if (ranges.GetAt(r)->Contains(*v)) ranged.push_back(id);
    }
    EXPECT_EQ(tested, c.expected) << what;
    EXPECT_EQ(ranged, c.expected) << what;
  }
}
