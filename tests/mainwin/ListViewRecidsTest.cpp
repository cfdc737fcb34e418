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
