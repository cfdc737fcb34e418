#include <gtest/gtest.h>

#include "tests/query/QueryTestSupport.h"

// Items are computed for the record at hand: one that names an item listed after it, or one
// registered later, computes that item first; one that names itself reads itself as empty.
TEST(ExtendedItemOrder, ItemsNamingOtherItemsSeeTheirValuesForTheSameRecord) {
  TestDb db;
  db.MakeTable("a", {{"x", "int"}});
  for (const char* x : {"1", "2", "3"}) db.Add("a", {{"x", x}});
  const AnsiString ext = SJ("__拡張項目__");
  CRecSelect s(&db.files);
  ASSERT_TRUE(s.ListStart("a.x, " + ext + ".total, " + ext + ".self", "", ""));
  s.SetExtendedItem("total", kvrString, ext + ".sub * 10");
  s.SetExtendedItem("self", kvrString, "'<' + " + ext + ".self + '>'");
  s.SetExtendedItem("sub", kvrString, "a.x + 1");  // not listed, registered last
  std::vector<std::string> rows;
  TStringList row;
  for (int r; (r = s.NextNB(row)) >= 0; row.Clear())
    if (r == 1) rows.push_back(Joined(row));
  EXPECT_EQ(rows, (std::vector<std::string>{"1|20|<>", "2|30|<>", "3|40|<>"}));
}
