#include <gtest/gtest.h>

#include "platform/AnsiString.h"
#include "platform/Classes.h"
#include "tests/support/TestSupport.h"

TEST(Text, LiteralsBecomeShiftJis) {
  EXPECT_EQ(SJ("エラー"), AnsiString("\x83\x47\x83\x89\x81\x5B"));
  EXPECT_EQ(SJ("表"), AnsiString("\x95\x5C"));  // trail byte 0x5C stays a trail byte
  EXPECT_EQ(SjisToUtf8(SJ("ログ：文字列")), "ログ：文字列");
  EXPECT_EQ(Utf8ToSjis("\\"), "\\");  // CP932, not SHIFT_JIS: the backslash stays 0x5C
}

TEST(Text, ConversionSurvivesBrokenInput) {
  EXPECT_EQ(SjisToUtf8(AnsiString("a\x83")), "a\xEF\xBF\xBD");  // lead byte at the very end
  EXPECT_EQ(SjisToUtf8(""), "");
}

TEST(Text, FormatHasNoLengthLimit) {
  const std::string big(100000, 'x');
  EXPECT_EQ(Format("<%s>", big.c_str()).size(), big.size() + 2);
  EXPECT_EQ(Format("%d-%s", 7, "a"), "7-a");
}

TEST(Text, IntegerTexts) {
  struct Case {
    const char* text;
    bool ok;
    int value;
  } cases[] = {
      {"0", true, 0},         {"  42", true, 42},       {"-17", true, -17},      {"+5", true, 5},
      {"$1F", true, 31},      {"0x10", true, 16},       {"x10", true, 16},       {"$FFFFFFFF", true, -1},
      {"2147483647", true, 2147483647},                 {"-2147483648", true, -2147483647 - 1},
      {"2147483648", false, 0},                         {"", false, 0},          {" ", false, 0},
      {"12a", false, 0},      {"1 ", false, 0},         {"$", false, 0},         {"0x", false, 0},
      {"$100000000", false, 0},                         {"1.5", false, 0},       {"--1", false, 0},
  };
  for (const Case& c : cases) {
    int v = 12345;
    EXPECT_EQ(TryStrToInt(c.text, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
    EXPECT_EQ(StrToIntDef(c.text, -99), c.ok ? c.value : -99) << c.text;
  }
}

TEST(Text, RealTexts) {
  struct Case {
    double value;
    const char* text;
  } cases[] = {
      {0, "0"},           {41 + 1, "42"},     {1.5, "1.5"},         {-0.25, "-0.25"},       {1e20, "1E20"},
      {1.5e-7, "1.5E-7"}, {0.00001, "0.00001"}, {1e14, "100000000000000"}, {1e15, "1E15"}, {0.1 + 0.2, "0.3"},
      {123456789.125, "123456789.125"},
  };
  for (const Case& c : cases) EXPECT_EQ(FloatToStr(c.value), c.text) << c.text;
  double v;
  EXPECT_TRUE(TryStrToFloat(" 1.5e3 ", v));
  EXPECT_EQ(v, 1500);
  EXPECT_FALSE(TryStrToFloat("1.5x", v));
  EXPECT_FALSE(TryStrToFloat("", v));
  EXPECT_FALSE(TryStrToFloat("inf", v));
  EXPECT_EQ(StrToFloatDef("abc", 7.5), 7.5);
}

TEST(Text, FormatFloatByPicture) {
  struct Case {
    const char* picture;
    double value;
    const char* text;
  } cases[] = {
      {"0.00", 3.14159, "3.14"},   {"0.00", 2.675, "2.68"},   {"0.00", -0.004, "0.00"},
      {"0", 2.5, "3"},             {"0", -2.5, "-3"},         {"0", 0.4, "0"},
      {"0.000", 1234.5, "1234.500"}, {"0.0", 9.96, "10.0"},   {"0.", 7.6, "8"},
      {"#0.#", 12.25, "12.3"},     {"#0.###", 0.125, "0.125"}, {"#0.###", 2, "2"},
      {"0.00", 1e15, "1000000000000000.00"}, {"0.00", 1e-9, "0.00"},
      {"", 1.5, "1.5"},            {"0.0x", 1.5, "1.5"},      {"0", 1e20, "1E20"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatFloat(c.picture, c.value), c.text) << c.picture << " " << c.value;
}

TEST(Text, CaseFoldingLeavesDoubleByteCharactersAlone) {
  // ソ is 83 5C, ｱ is a single byte; "a" after a lead byte is a trail byte (0x61 in 83 61).
  const AnsiString mixed = SJ("ソa") + "\x83\x61";
  EXPECT_EQ(UpperCase(mixed), SJ("ソA") + "\x83\x61");
  EXPECT_TRUE(SameText("Unlike", "UNLIKE"));
  EXPECT_LT(CompareText("abc", "ABD"), 0);
}

TEST(CommaText, WritesQuotesOnlyWhereNeeded) {
  TStringList l;
  l.Add("plain");
  l.Add("with blank");
  l.Add("a,b");
  l.Add("say \"hi\"");
  l.Add("");
  l.Add(SJ("表示"));  // 95 5C 8E A6: no quoting for the trail byte
  EXPECT_EQ(l.CommaText(), "plain,\"with blank\",\"a,b\",\"say \"\"hi\"\"\",," + SJ("表示"));

  TStringList one;
  one.Add("");
  EXPECT_EQ(one.CommaText(), "\"\"");
}

TEST(CommaText, ReadsTheWrittenFormAndTheLooseOne) {
  struct Case {
    std::string text;
    std::vector<std::string> fields;
  } cases[] = {
      {"a,b,c", {"a", "b", "c"}},
      {"a,,c", {"a", "", "c"}},
      {"a,", {"a"}},
      {"  a , b ", {"a", "b"}},
      {"\"x y\",\"q\"\"q\"", {"x y", "q\"q"}},
      {"a b", {"a", "b"}},  // a blank outside quotes ends a field
      {"\"\"", {""}},
      {"", {}},
      {"\"open", {"open"}},
      {std::string("a\0b,c", 5), {"a"}},  // a NUL ends the text
      {std::string("\0a", 2), {}},
      {std::string(" \0", 2), {}},
      {std::string("\"\0\",x", 5), {std::string(1, '\0'), "x"}},  // but not inside quotes
  };
  for (const Case& c : cases) {
    TStringList l;
    l.SetCommaText(c.text);
    std::vector<std::string> got;
    for (int i = 0; i < l.Count(); ++i) got.push_back(l[i]);
    EXPECT_EQ(got, c.fields) << c.text;
  }
}

TEST(CommaText, RoundTripsAnyFields) {
  // "\x82" alone: a lead byte at the end of a field must not swallow the comma after it.
  const std::vector<AnsiString> fields = {"", " lead", "trail ", "\t", "\"", ",", SJ("ソ表,能"), "a\nb", "\x82", "x"};
  TStringList l;
  for (const auto& f : fields) l.Add(f);
  TStringList back;
  back.SetCommaText(l.CommaText());
  ASSERT_EQ(back.Count(), l.Count());
  for (int i = 0; i < l.Count(); ++i) EXPECT_EQ(back[i], l[i]) << i;
}
