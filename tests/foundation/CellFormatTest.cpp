#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "foundation/CellFormat.h"
#include "tests/support/TestSupport.h"

namespace {

std::unique_ptr<CCapInfo> Column(int type, unsigned flags, bool ascending = true) {
  auto c = std::make_unique<CCapInfo>();
  c->Type = type;
  c->Flags = flags;
  c->Ascending = ascending;
  c->Position = 1;
  return c;
}

// The comparison of two cells placed at position 1 of their rows.
int Compare(const std::unique_ptr<CCapInfo>& c, const AnsiString& a, const AnsiString& b) {
  TStringList ra, rb;
  ra.Add("other");
  ra.Add(a);
  rb.Add("other");
  rb.Add(b);
  return CompareCellValues(c.get(), &ra, &rb);
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

}  // namespace

TEST(CellFormat, ThousandsSeparators) {
  const auto integer = Column(1, CI_THOUSANDS), real = Column(2, CI_THOUSANDS);
  struct Case {
    const char* plain;
    const char* separated;
  } cases[] = {
      {"1234567", "1,234,567"}, {"-1234.5678", "-1,234.5678"}, {"123", "123"},
      {"1000", "1,000"},        {"x12345y", "x12,345y"},        {"", ""},
      {"12 3456", "12 3,456"},  {"0.12345", "0.12345"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AddThousandsSeparators(integer.get(), c.plain), c.separated) << c.plain;
    EXPECT_EQ(AddThousandsSeparators(real.get(), c.plain), c.separated) << c.plain;
    EXPECT_EQ(RemoveThousandsSeparators(integer.get(), c.separated), c.plain) << c.separated;
  }
  for (const auto& off : {Column(1, 0), Column(0, CI_THOUSANDS)}) {
    EXPECT_EQ(AddThousandsSeparators(off.get(), "1234567"), "1234567");
    EXPECT_EQ(RemoveThousandsSeparators(off.get(), "1,234"), "1,234");
  }

  struct Removal {
    AnsiString text;
    AnsiString result;
  } removals[] = {
      {"1,234,567", "1234567"}, {"-1,234.5", "-1234.5"}, {"a,b", "a,b"},  {"x,12", "x12"},
      {"12,", "12"},            {"1,,2", "12"},          {"a, ,5", "a, 5"}, {SJ("表,1"), SJ("表1")},
  };
  for (const Removal& r : removals) EXPECT_EQ(RemoveThousandsSeparators(integer.get(), r.text), r.result) << r.text;
}

TEST(CellFormat, RealColumnsFollowTheirNumberFormat) {
  const auto real = Column(2, 0);
  real->NumberFormat = "0.00";
  struct Case {
    unsigned flags;
    const char* value;
    const char* shown;
  } cases[] = {
      {0, "3.14159", "3.14"},        {0, " -2.5e1 ", "-25.00"},         {0, "", ""},
      {0, "abc", "abc"},             {CI_THOUSANDS, "1234567.891", "1,234,567.89"},
      {CI_THOUSANDS, "abc1234", "abc1,234"},
  };
  for (const Case& c : cases) {
    real->Flags = c.flags;
    EXPECT_EQ(FormatCellValue(real.get(), c.value), c.shown) << c.value;
  }
  real->NumberFormat = "0";
  EXPECT_EQ(FormatCellValue(real.get(), "2.5"), "3");
  const auto integer = Column(1, CI_THOUSANDS);
  integer->NumberFormat = "0.00";  // only real columns use it
  EXPECT_EQ(FormatCellValue(integer.get(), "1234.5"), "1,234.5");
}

TEST(CellFormat, TypedComparison) {
  struct Case {
    int type;
    unsigned flags;
    AnsiString a, b;
    int order;
  } cases[] = {
      {1, 0, "10", "9", 1},
      {1, 0, " -3x", "-4", 1},
      {1, 0, "x", "5", -1},
      {1, 0, "5", "x", 1},
      {1, 0, "x", "y", -1},
      {1, 0, "99999999999999999999", "1", 1},  // far beyond 32 bits: still larger
      {1, 0x1000, "2", "10", -1},               // the type decides before the sort kind
      {2, 0, "1.5", "1.25", 1},
      {2, 0, "1e3", "999.9abc", 1},
      {2, 0, "-.5", "0", -1},
      {2, 0, "1e999", "1e300", 1},
      {2, 0, ".", "0", -1},
      {0, 0, "abc", "abd", -1},
      {0, 0, "ab", "abc", -1},
      {0, 0, "\xE0", "a", 1},                    // unsigned bytes
      {0, 0x1000, SJ("月曜日"), SJ("日曜"), 1},
      {0, 0x1000, "Mon", "SUNDAY", 1},
      {0, 0x1000, "holiday", SJ("土"), 1},
      {0, 0x2000, "10.0.0.2", "10.0.0.10", -1},
      {0, 0x3000, "p.q.r", "s.q.r", -1},
      {0, 0x3000, "q.r", "p.q.r", -1},
      {0, 0x2000, "p.q.r", "a.q.z", -1},
      {0, 0x2000, "", "a", 1},
  };
  for (const Case& c : cases) {
    const auto up = Column(c.type, c.flags), down = Column(c.type, c.flags, false);
    const auto flippedUp = Column(c.type, c.flags | CI_SORT_FLIPPED);
    const auto flippedDown = Column(c.type, c.flags | CI_SORT_FLIPPED, false);
    EXPECT_EQ(Sign(Compare(up, c.a, c.b)), c.order) << c.a << " / " << c.b;
    EXPECT_EQ(Sign(Compare(down, c.a, c.b)), -c.order) << c.a << " / " << c.b;
    EXPECT_EQ(Sign(Compare(flippedUp, c.a, c.b)), -c.order) << c.a << " / " << c.b;
    EXPECT_EQ(Sign(Compare(flippedDown, c.a, c.b)), c.order) << c.a << " / " << c.b;
  }
}

TEST(CellFormat, AMissingColumnIsNeverNegated) {
  TStringList one, two;
  one.Add("a");
  two.Add("a");
  two.Add("b");
  for (bool ascending : {true, false}) {
    for (unsigned flags : {0u, CI_SORT_FLIPPED}) {
      const auto c = Column(0, flags, ascending);
      EXPECT_EQ(CompareCellValues(c.get(), &one, &two), CELL_MISSING);
      EXPECT_EQ(CompareCellValues(c.get(), &two, &one), CELL_MISSING);
      c->Position = -1;
      EXPECT_EQ(CompareCellValues(c.get(), &two, &two), CELL_MISSING);
      c->Position = 0;
      EXPECT_EQ(CompareCellValues(c.get(), &one, &two), 0);
    }
  }
}

TEST(CellFormat, WeekdaysAndDottedAddresses) {
  const std::vector<std::pair<AnsiString, int>> days = {
      {SJ("日"), 1},    {SJ("月曜日"), 2}, {" \t" + SJ("土曜"), 7}, {"sun", 1},   {"Monday", 2},
      {" tue ", 3},     {"WEDNESDAY", 4},  {"thu", 5},              {"Fri.", 6},  {"sat", 7},
      {"", 8},          {"Mo", 8},         {SJ("曜日"), 8},         {"xSUN", 8},
  };
  for (const auto& [text, index] : days) EXPECT_EQ(WeekdayIndex(text), index) << text;

  struct Case {
    AnsiString a, b;
    int result;
  } cases[] = {
      {"", "", 0},
      {"", "x", 100},
      {"x", "", -100},
      {" ", "x", -1},                 // blank is not empty: a name with one empty label
      {"10.0.0.2", "10.0.0.10", -1},
      {"192.168.1.1", " 192.168.1.1 ", 0},
      {"1.2.3.4.5", "1.2.3.4", 1},    // five parts: names, and "5" > "4"
      {"1.2.3", "1.2.4", -1},
      {"p.q.r", "s.q.r", -1},
      {"q.r", "p.q.r", -1},
      {"p.q.r", "q.r", 1},
      {"p.q.r", "a.q.z", -1},
      {"Example.COM", "example.com", 0},
      {"a..b", "a.b", -1},            // an empty label sorts first
  };
  for (const Case& c : cases) EXPECT_EQ(CompareDottedAddresses(c.a, c.b), c.result) << c.a << " / " << c.b;
}
