// The record keys of the listed rows: a record reached twice is listed once.
#include "mainwin/ListViewRecids.h"
#include "tests/mainwin/MainWindowTestSupport.h"

namespace {

TStringList* Row(std::initializer_list<const char*> texts) {
  auto* row = new TStringList;
  for (const char* t : texts) row->Add(t);
  return row;
}

}  // namespace

TEST(ListViewRecids, KeysOnTheRecordIdsOfEveryTable) {
  std::unique_ptr<CCapInfoList> columns(
      Columns({Column("A.__REC__ID__", false), Column("A.name"), Column("B.__REC__ID__", false)}));
  CListViewRecids ids;
  ids.SetColumns(columns.get());
  EXPECT_EQ(ids.Columns->Count(), 2);
  std::unique_ptr<TStringList> r1(Row({"10", "x", "1"})), r2(Row({"9", "y", "1"})), r3(Row({"10", "z", "1"})),
      r4(Row({"10", "x", "2"})), shortRow(Row({"7"}));
  EXPECT_EQ(ids.AddRecord(r1.get()), 0);
  EXPECT_EQ(ids.AddRecord(r2.get()), 1);  // "9:1" after "10:1" in byte order
  EXPECT_EQ(ids.AddRecord(r3.get()), -1);  // same ids, other texts: the same record
  EXPECT_EQ(ids.AddRecord(r4.get()), 1);
  EXPECT_EQ(ids.AddRecord(shortRow.get()), 2);  // "7:", the missing text empty
  EXPECT_EQ(ids.AddRecord(nullptr), -1);
  EXPECT_EQ(ids.CommaText(), "10:1,10:2,7:,9:1");
  ids.Clear();
  EXPECT_EQ(ids.Count(), 0);
  EXPECT_EQ(ids.Columns->Count(), 0);
}

TEST(ListViewRecids, WithoutRecordIdsOnlyTheFirstRowIsKept) {
  std::unique_ptr<CCapInfoList> columns(Columns({Column("A.name")}));
  CListViewRecids ids;
  ids.SetColumns(columns.get());
  std::unique_ptr<TStringList> r1(Row({"x"})), r2(Row({"y"}));
  EXPECT_EQ(ids.AddRecord(r1.get()), 0);
  EXPECT_EQ(ids.AddRecord(r2.get()), -1);
  ids.SetColumns(nullptr);
  EXPECT_EQ(ids.Columns->Count(), 0);
}

TEST(ListViewRecids, AddKeyAndAddRecordShareTheKeys) {
  std::unique_ptr<CCapInfoList> columns(Columns({Column("A.__REC__ID__", false), Column("A.name")}));
  CListViewRecids ids;
  ids.SetColumns(columns.get());
  std::unique_ptr<TStringList> r1(Row({"2", "x"})), r2(Row({"10", "y"})), r3(Row({"2", "z"}));
  EXPECT_TRUE(ids.AddKey(r1.get()));
  EXPECT_EQ(ids.AddRecord(r2.get()), 0);  // "10" before "2"
  EXPECT_FALSE(ids.AddKey(r2.get()));
  EXPECT_EQ(ids.AddRecord(r3.get()), -1);
  EXPECT_FALSE(ids.AddKey(nullptr));
  EXPECT_EQ(ids.CommaText(), "10,2");
  EXPECT_EQ(ids.Count(), 2);
}

// Keys that look alike as numbers stay distinct as texts ("7" and "007"), and a large set still
// refuses every key it holds once it has grown.
TEST(ListViewRecids, KeysAreTheirExactTexts) {
  std::unique_ptr<CCapInfoList> columns(Columns({Column("A.__REC__ID__", false)}));
  CListViewRecids ids;
  ids.SetColumns(columns.get());
  const char* const distinct[] = {"7",  "007", "0",  "", "-7", "+7", "7 ", "63", "64", "999999999999999999",
                                  "9999999999999999999", "18446744073709551616", "x7"};
  for (const char* key : distinct) {
    std::unique_ptr<TStringList> row(Row({key}));
    EXPECT_TRUE(ids.AddKey(row.get())) << key;
  }
  for (const char* key : distinct) {
    std::unique_ptr<TStringList> row(Row({key}));
    EXPECT_FALSE(ids.AddKey(row.get())) << key;
  }
  std::unique_ptr<TStringList> empty(new TStringList);
  EXPECT_FALSE(ids.AddKey(empty.get()));  // no text at the column: the empty key, listed already
  EXPECT_EQ(ids.Count(), int(std::size(distinct)));

  const int many = 20000;
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < many; ++i) {
      std::unique_ptr<TStringList> row(Row({IntToStr((i * 7919) % many + 1000).c_str()}));
      EXPECT_EQ(ids.AddKey(row.get()), pass == 0) << i;
    }
  EXPECT_EQ(ids.Count(), int(std::size(distinct)) + many);
  std::unique_ptr<TStringList> again(Row({"007"}));
  EXPECT_EQ(ids.AddRecord(again.get()), -1);
  std::unique_ptr<TStringList> fresh(Row({"1"}));
  EXPECT_EQ(ids.AddRecord(fresh.get()), 5);  // after "", "+7", "-7", "0" and "007"
  std::unique_ptr<TStringList> beyond(Row({"1000000"}));
  EXPECT_TRUE(ids.AddKey(beyond.get()));
  EXPECT_EQ(ids.Count(), int(std::size(distinct)) + many + 2);
  ids.Clear();
  EXPECT_EQ(ids.Count(), 0);
  EXPECT_TRUE(ids.AddKey(again.get()));
}
