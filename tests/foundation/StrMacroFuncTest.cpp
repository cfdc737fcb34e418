#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <vector>

#include "foundation/StrMacro.h"
#include "platform/Resolver.h"
#include "tests/support/TestSupport.h"

namespace {

struct Case {
  AnsiString name;
  std::vector<AnsiString> args;
  AnsiString result;
};

// Today is Saturday 2003/04/05, 10:20:30 local time, for every test of this fixture.
class MacroFunctions : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = SetMacroClock([] {
      std::tm t{};
      t.tm_year = 2003 - 1900;
      t.tm_mon = 3;
      t.tm_mday = 5;
      t.tm_hour = 10;
      t.tm_min = 20;
      t.tm_sec = 30;
      return t;
    });
  }
  void TearDown() override { SetMacroClock(saved_); }

  // Calls each function by name with the arguments as they would arrive from an expression.
  void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      TStringList list;
      std::string shown = Show(c.name) + "(";
      for (const AnsiString& a : c.args) {
        list.Add(a);
        shown += "'" + Show(a) + "' ";
      }
      EXPECT_EQ(Show(macro_.CallFunction(c.name, &list)), Show(c.result)) << shown << ")";
    }
  }

  TCvStrMacro macro_;

 private:
  TMacroClock saved_;
};

}  // namespace

TEST_F(MacroFunctions, Dates) {
  const std::vector<Case> cases = {
      {"date", {"2003/4/5"}, "2003/04/05"},
      {"date", {"5/4/2003"}, "2003/04/05"},
      {"date", {"03-04-05"}, "2003/04/05"},
      {"date", {"2003.4.5"}, "2003/04/05"},
      {"date", {"20030405"}, "2003/04/05"},
      {"date", {"991231"}, "1999/12/31"},
      {"date", {"05/Apr/2003"}, "2003/04/05"},
      {"date", {"10/oct/2000"}, "2000/10/10"},
      {"date", {"05/Xyz/2003", "1"}, "2003/05/05"},  // an unknown month is no date: offsets only
      {"date", {SJ("2003年4月5日")}, "2003/04/05"},
      {"date", {"50/1/2"}, "1950/01/02"},
      {"date", {"2003/1/31", "0", "1"}, "2003/03/03"},
      {"date", {"2004/1/31", "0", "1"}, "2004/03/02"},
      {"date", {"2003/12/31", "1"}, "2004/01/01"},
      {"date", {"2003/3/1", "-1"}, "2003/02/28"},
      {"date", {"2003/1/15", "0", "-1"}, "2002/12/15"},
      {"date", {"2003/1/15", "0", "0", "-3"}, "2000/01/15"},
      {"date", {"2003/1/15", "x"}, "2003/01/15"},
      {"date", {}, "2003/04/05"},
      {"date", {"1"}, "2003/04/06"},
      {"date", {"-1"}, "2003/04/04"},
      {"date", {"", "0", "1"}, "2004/04/05"},
      {"date", {"2147483647/1/1", "0", "0", "2147483647"}, ""},  // no year to print
      {SJ("日付"), {"2003/4/5"}, "2003/04/05"},
      {SJ("年月日"), {"2003/4/5"}, SJ("2003年 4月 5日")},
      {SJ("年月日"), {"2003/12/25"}, SJ("2003年12月25日")},
      {SJ("曜日"), {"2003/04/05"}, SJ("土")},
      {SJ("曜日"), {"2003/04/06"}, SJ("日")},
      {"dayweek", {"2003/04/05"}, "Sat"},
      {"dayweek", {"1/1/1"}, "Mon"},  // 2001/01/01
      {"dayweek", {"10/Oct/2000"}, "Tue"},
      {"time", {}, "10:20:30"},
      {SJ("時刻"), {"ignored"}, "10:20:30"},
  };
  Check(cases);
}

TEST_F(MacroFunctions, EraBoundaries) {
  const AnsiString era = SJ("年号月日");
  const std::vector<Case> cases = {
      {era, {"1868/09/07"}, SJ("慶応 4年 9月 7日")},
      {era, {"1868/09/08"}, SJ("明治 1年 9月 8日")},
      {era, {"1912/07/29"}, SJ("明治45年 7月29日")},
      {era, {"1912/07/30"}, SJ("大正 1年 7月30日")},
      {era, {"1926/12/24"}, SJ("大正15年12月24日")},
      {era, {"1926/12/25"}, SJ("昭和 1年12月25日")},
      {era, {"1989/01/07"}, SJ("昭和64年 1月 7日")},
      {era, {"1989/01/08"}, SJ("平成 1年 1月 8日")},
      {era, {"2019/04/30"}, SJ("平成31年 4月30日")},
      {era, {"2019/05/01"}, SJ("令和 1年 5月 1日")},
      {era, {"2020/01/01"}, SJ("令和 2年 1月 1日")},
      {era, {"2150/01/01"}, SJ("令和132年 1月 1日")},
      {era, {"1751/10/27"}, SJ("宝暦 1年10月27日")},
      {era, {"1751/10/26"}, SJ("1751年10月26日")},
      {era, {"1700/01/01"}, SJ("1700年 1月 1日")},
      {era, {}, SJ("平成15年 4月 5日")},
  };
  Check(cases);
}

TEST_F(MacroFunctions, AgesInMonthsAndYears) {
  const std::vector<Case> cases = {
      {"moonage", {"2000/01/31", "2000/02/28"}, "1"},  // month end
      {"moonage", {"2000/01/31", "2000/04/30"}, "3"},
      {"moonage", {"2000/01/31", "2000/03/30"}, "1"},
      {"moonage", {"2000/01/15", "2000/02/14"}, "0"},
      {"moonage", {"2000/01/15", "2000/02/15"}, "1"},
      {"moonage", {"2000/02/15", "2000/01/15"}, ""},
      {"moonage", {}, ""},
      {"moonage", {"2003/01/05"}, "3"},  // to today
      {SJ("月齢"), {"-31"}, "1"},           // not a date: today moved by 31 days
      {"age", {"1990/04/01", "2003/03/31"}, "12"},
      {"age", {"1990/04/01", "2003/04/01"}, "13"},
      {SJ("年齢"), {"1990/04/06"}, "12"},
      {"age", {"2004/01/01"}, ""},
  };
  Check(cases);
}

TEST_F(MacroFunctions, Texts) {
  const AnsiString so = SJ("ソ"), po = SJ("ポ"), wide = SJ("　");
  const std::vector<Case> cases = {
      {"substring", {"abcdef", "2", "3"}, "bcd"},
      {"substring", {"abcdef", "5"}, "ef"},
      {"substring", {"abcdef", "6", "9"}, "f"},
      {"substring", {"abc", "0"}, ""},
      {"substring", {"abc", "4"}, ""},
      {"substring", {"abc", "1", "-1"}, ""},
      {"substring", {"abc"}, ""},
      {SJ("部分文字列"), {SJ("日本"), "2", "2"}, SJ("日本").substr(1, 2)},  // bytes, not characters
      {"strsep", {"a,b,c", ",", "2"}, "b"},
      {"strsep", {"a,b,c", ",", "-1"}, "c"},
      {"strsep", {"a,b,c", ",", "-3"}, "a"},
      {"strsep", {"a,b,c", ",", "-4"}, ""},
      {"strsep", {"a,b,c", ",", "2", "2"}, "b,c"},
      {"strsep", {"a,b,c", ",", "4"}, ""},
      {"strsep", {"a,b,c", ",", "2", "5"}, "b,c,"},
      {"strsep", {"a,b,c", ",", "0"}, ""},
      {"strsep", {"a,,c", ",", "2"}, ""},
      {"strsep", {"a b;c", " ;", "3"}, "c"},
      {"strsep", {"x" + so + "y" + po + "z", "\\|", "1"}, "x" + so + "y" + po + "z"},
      {"strsep", {"a,b", ",", "x"}, "a"},
      {"strsep", {"a,b"}, ""},
      {"strsep", {"abc", "", "1", "2"}, "abc"},
      {SJ("文字列分割"), {"a.b", ".", "2"}, "b"},
      {"strseprev", {"a.b.c", "."}, "c.b.a"},
      {"strseprev", {"a.b.", "."}, ".b.a"},
      {"strseprev", {"a.b-c", ".-"}, "c-b.a"},
      {"strseprev", {"a" + so + "b", "\\"}, "a" + so + "b"},
      {"strseprev", {"abc"}, ""},
      {SJ("文字列分割逆順"), {"x/y", "/"}, "y/x"},
      {"strcat", {"a", "", "b", "c"}, "abc"},
      {SJ("文字列結合"), {}, ""},
      {"condstr", {"it's"}, "'it''s'"},
      {"condstr", {"a'", "'b"}, "'a''''b'"},
      {SJ("条件文字列"), {so}, "'" + so + "'"},
      {"likestr", {"50%"}, "50\\%"},
      {"likestr", {"a\\b", so + po}, "a\\\\b" + so + po},  // trail bytes 0x5C are left alone
      {"int", {"3.9"}, "3"},
      {"int", {"-3.9"}, "-3"},
      {"int", {"abc"}, "0"},
      {SJ("整数"), {" 42 "}, "42"},
      {"int", {}, ""},
      {"trim", {" \t a b \r\n"}, "a b"},
      {SJ("中身"), {wide + "a" + wide}, wide + "a" + wide},
      {"trim", {}, ""},
      {"if", {"0", "y", "n"}, "n"},
      {"if", {"", "y", "n"}, "y"},
      {SJ("分岐"), {"1", "y", "n"}, "y"},
      {"if", {"1", "y"}, ""},
      {"DATE", {"2003/4/5"}, "DATE()"},
      {"Strcat", {"a"}, "Strcat()"},
  };
  Check(cases);
}

TEST_F(MacroFunctions, UnknownNamesGoToTheHook) {
  macro_.OnCallFunction = [](const AnsiString& name, const TStrings* args) {
    return name + ":" + IntToStr(args->Count());
  };
  AnsiString text = "$(DATE(1, 2)) $(date('2003/4/5'))";
  macro_.Expand(text);
  EXPECT_EQ(text, "DATE:2 2003/04/05");
}

TEST(DayNumbers, CalendarArithmetic) {
  long long y;
  int m, d;
  DaysToDate(1, y, m, d);
  EXPECT_EQ(y * 10000 + m * 100 + d, 10101);
  EXPECT_EQ(DateToDays(2000, 13, 1), DateToDays(2001, 1, 1));
  EXPECT_EQ(DateToDays(2000, 0, 1), DateToDays(1999, 12, 1));
  EXPECT_EQ(DateToDays(2000, -12, 1), DateToDays(1998, 12, 1));
  EXPECT_EQ(DateToDays(2000, 3, 0), DateToDays(2000, 2, 29));
  EXPECT_EQ(DateToDays(1900, 3, 0), DateToDays(1900, 2, 28));
  EXPECT_EQ(DateToDays(2001, 1, 1) - DateToDays(2000, 1, 1), 366);
  // Four centuries day by day: each day number gives the day after the previous one's date and
  // comes back from it.
  long long py;
  int pm, pd;
  DaysToDate(DateToDays(1800, 1, 1) - 1, py, pm, pd);
  ASSERT_EQ(py * 10000 + pm * 100 + pd, 17991231);
  for (long long n = DateToDays(1800, 1, 1); n < DateToDays(2200, 1, 1); ++n) {
    DaysToDate(n, y, m, d);
    ASSERT_EQ(DateToDays(y, m, d), n);
    const bool next = (y == py && m == pm && d == pd + 1) || (y == py && m == pm + 1 && d == 1) ||
                      (y == py + 1 && m == 1 && pm == 12 && d == 1);
    ASSERT_TRUE(next) << y << "/" << m << "/" << d;
    py = y, pm = m, pd = d;
  }
}

namespace {

// A name service that knows 10.*.*.* as hN-N-N-N and counts its look-ups.
class FakeResolver {
 public:
  FakeResolver() {
    saved_ = SetHostResolver([this](uint32_t address, AnsiString& name) {
      ++lookups;
      const unsigned char* b = reinterpret_cast<const unsigned char*>(&address);
      if (b[0] != 10) return false;
      name = Format("h%d-%d-%d-%d", b[0], b[1], b[2], b[3]);
      return true;
    });
  }
  ~FakeResolver() { SetHostResolver(saved_); }
  int lookups = 0;

 private:
  THostResolver saved_;
};

class CacheScope {
 public:
  CacheScope() { HostNameCache = &cache; }
  ~CacheScope() { HostNameCache = nullptr; }
  TStringList cache;
};

AnsiString Host(TCvStrMacro& macro, std::vector<AnsiString> args) {
  TStringList list;
  for (const AnsiString& a : args) list.Add(a);
  return macro.FuncHost(&list);
}

}  // namespace

TEST(HostFunction, LooksUpOnceAndServesFromTheCache) {
  FakeResolver resolver;
  CacheScope scope;
  TCvStrMacro macro;
  EXPECT_EQ(Host(macro, {"10.1.2.3"}), "h10-1-2-3");
  EXPECT_EQ(Host(macro, {"10.1.2.3", "fallback"}), "h10-1-2-3");
  EXPECT_EQ(resolver.lookups, 1);
  AnsiString text = "$(" + SJ("ホスト名") + "('10.1.2.3'))";
  macro.Expand(text);
  EXPECT_EQ(text, "h10-1-2-3");
  EXPECT_EQ(resolver.lookups, 1);
  EXPECT_EQ(Host(macro, {}), "");
  EXPECT_EQ(resolver.lookups, 1);
}

TEST(HostFunction, FallbackIsTheCallersOwn) {
  FakeResolver resolver;
  CacheScope scope;
  TCvStrMacro macro;
  EXPECT_EQ(Host(macro, {"192.168.0.1", "first"}), "first");
  EXPECT_EQ(Host(macro, {"192.168.0.1", "second"}), "second");
  EXPECT_EQ(Host(macro, {"192.168.0.1"}), "");
  EXPECT_EQ(Host(macro, {"not an address", "x"}), "x");
  EXPECT_EQ(Host(macro, {"also not one"}), "");  // shares the key of every bad text
  for (int i = 0; i < scope.cache.Count(); ++i) EXPECT_EQ(scope.cache[i], "") << i;
  EXPECT_EQ(resolver.lookups, 2);  // one per address: failures are remembered too
}

TEST(HostFunction, OldestEntryGoesFirst) {
  FakeResolver resolver;
  CacheScope scope;
  TCvStrMacro macro;
  for (int i = 0; i <= 10000; ++i) Host(macro, {Format("10.0.%d.%d", i / 256, i % 256)});
  ASSERT_EQ(scope.cache.Count(), 10000);
  EXPECT_EQ(scope.cache[0], "h10-0-0-1");
  EXPECT_EQ(scope.cache[9999], "h10-0-39-16");
  EXPECT_EQ(resolver.lookups, 10001);
  Host(macro, {"10.0.0.1"});
  EXPECT_EQ(resolver.lookups, 10001);
  Host(macro, {"10.0.0.0"});  // dropped: looked up again
  EXPECT_EQ(resolver.lookups, 10002);
  EXPECT_EQ(scope.cache[0], "h10-0-0-2");
}

TEST(HostFunction, WithoutACacheEveryCallLooksUp) {
  FakeResolver resolver;
  ASSERT_EQ(HostNameCache, nullptr);
  TCvStrMacro macro;
  EXPECT_EQ(Host(macro, {"10.9.9.9"}), "h10-9-9-9");
  EXPECT_EQ(Host(macro, {"10.9.9.9"}), "h10-9-9-9");
  EXPECT_EQ(resolver.lookups, 2);
}

TEST(InetAddr, DottedTexts) {
  EXPECT_EQ(InetAddr("1.2.3.4"), htonl(0x01020304));
  EXPECT_EQ(InetAddr("127.1"), htonl(0x7F000001));
  EXPECT_EQ(InetAddr("1.2.3.256"), 0xFFFFFFFFu);
  EXPECT_EQ(InetAddr(""), 0xFFFFFFFFu);
  EXPECT_EQ(InetAddr(AnsiString("1.2.3.4\0x", 9)), 0xFFFFFFFFu);
}
