// Condition texts with numbers beyond a column's range, through the compiled query: retrievals,
// the tests of records already current, and alternatives.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/query/QueryTestSupport.h"

TEST(IntegerConditions, NumbersBeyondTheRangeNeverWrap) {
  TestDb db;
  db.MakeTable("t", {{"i", "int"}, {"u", "unsigned"}});
  for (const char* row : {"-5", "0", "2147483647"}) ASSERT_NE(db.Add("t", {{"i", row}, {"u", row[0] == '-' ? "5" : row}}), 0u);
  const struct {
    const char* condition;
    std::vector<std::string> rows;  // the i of each record found
  } cases[] = {
      {"t.i > 3000000000", {}},
      {"t.i < 3000000000", {"-5", "0", "2147483647"}},
      {"t.i = 3000000000", {}},
      {"t.i <> 3000000000", {"-5", "0", "2147483647"}},
      {"t.i >= -3000000000", {"-5", "0", "2147483647"}},
      {"t.u = -1", {}},
      {"t.u < 4294967296 AND t.i > 3000000000", {}},
      {"t.u >= 0 AND t.i < 3000000000", {"-5", "0", "2147483647"}},
      {"t.i > 3000000000 OR t.u = 0", {"0"}},
      {"t.__REC__ID__ > 4294967296", {}},
      {"t.__REC__ID__ < 4294967296", {"-5", "0", "2147483647"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> rows;
    for (const std::string& row : ListRows(db.files, "t.i", "t", c.condition)) rows.push_back(row.substr(0, row.find('|')));
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, c.rows) << c.condition;
  }
}
