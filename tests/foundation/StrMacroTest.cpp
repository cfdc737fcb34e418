#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "foundation/StrMacro.h"
#include "tests/support/TestSupport.h"

namespace {

AnsiString Expanded(AnsiString text) {
  ExpandMacroText(text);
  return text;
}

struct Case {
  AnsiString in, out;
};

}  // namespace

TEST(TCvStrMacro, Expansion) {
  const AnsiString wide = SJ("　");
  const Case cases[] = {
      {"$(1+2)", "3"},
      {"$(1/3)", "0.333333333333333"},
      {"$(2*(3+1))", "8"},
      {"$(7%3)", "1"},
      {"$(7.9%2.5)", "1"},
      {"$(-7%3)", "-1"},
      {"$(5/0)", "5"},
      {"$(5%0.5)", "5"},
      {"$(10-2-3)", "5"},
      {"$('1e20'*10)", "1E21"},
      {"$(0.000001*0.15)", "1.5E-7"},
      {"$('a'+'b')", "ab"},
      {"$('a'+1)", "a1"},
      {"$('a'-1)", "a"},
      {"$(-'a')", "a"},
      {"$(-5)", "-5"},
      {"$(+5)", "5"},
      {"$(10<9)", "0"},
      {"$('10'<'9')", "0"},
      {"$('10'>'9')", "1"},
      {"$('abc'<'abd')", "1"},
      {"$(1=1.0)", "1"},
      {"$('b'>='a')", "1"},
      {"$(2<>2)", "0"},
      {"$('x'!='y')", "1"},
      {"$(1 < 2 = 1)", "0"},  // comparisons group to the right: 1 < (2 = 1) is 1 < 0
      {"$(1 = NOT 0)", "1"},
      {"$('a' like 'a')", ""},
      {"$(NOT 0)", "1"},
      {"$(NOT 'x')", "0"},
      {"$(NOT NOT -0)", "0"},
      {"$(0 OR '')", "1"},
      {"$(1 AND 0)", "0"},
      {"$(NOT '$0' AND NOT ' x0')", "1"},
      {"$(NOT '0.0')", "0"},
      {"$(1 AND 2 OR 0)", "1"},
      {"$(x)", "x"},
      {"$(f(1,2))", "f()"},
      {"$(DATE())", "DATE()"},
      {"$(IF(0,'y','n'))", "n"},
      {"$(if(1,'y'))", "y"},
      {"$(IF(0,'y'))", ""},
      {"$(If(,'y','n'))", "y"},  // an empty condition is true
      {"$(" + SJ("分岐") + "(0,'y','n'))", "n"},
      {"$(')')", ")"},
      {"$(1 2)", "$(1 2)"},
      {"$(1+)", "$(1+)"},
      {"$(f(1+))", "$(f(1+))"},  // a failing argument fails the call, also right before ")"
      {"$(IF(1,2+))", "$(IF(1,2+))"},
      {"$(1", "$(1"},
      {"$()", "$()"},
      {"$(+x)", "$(+x)"},
      {"$(a b $(c))", "$(a b c)"},
      {"x$(1)y$(2)z", "x1y2z"},
      {"$(1)$(2)", "12"},
      {"$$(1)", "$1"},
      {"$(1" + wide + "+" + wide + "2)", "3"},
      {"$(a" + wide + "b)", "a" + wide + "b"},
      {"plain text", "plain text"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Show(Expanded(c.in)), Show(c.out)) << Show(c.in);
}

TEST(TCvStrMacro, TrailByteIsNeverDollarOrParenthesis) {
  // 0x81 0x24 is a double-byte character whose second byte is "$".
  const AnsiString text = "\x81$(1)";
  EXPECT_EQ(Expanded(text), text);
  EXPECT_EQ(Expanded("\x81\x40$(1)"), "\x81\x40" "1");
}

TEST(TCvStrMacro, ExpandAndCountReportTheNumberReplaced) {
  TCvStrMacro macro;
  AnsiString text = "a $(1) b $(x) c $(1 2)";
  EXPECT_EQ(macro.CountMacros(text), 2);
  EXPECT_EQ(macro.Expand(text), 2);
  EXPECT_EQ(text, "a 1 b x c $(1 2)");
  AnsiString none = "no macros";
  EXPECT_EQ(macro.Expand(none), 0);
  EXPECT_EQ(none, "no macros");
}

TEST(TCvStrMacro, EvalMacroConsumedAndFailureText) {
  TCvStrMacro macro;
  int consumed = -1;
  AnsiString result;
  EXPECT_TRUE(macro.EvalMacro(" 1 + 2 ) rest", consumed, result));
  EXPECT_EQ(result, "3");
  EXPECT_EQ(consumed, 7);  // up to the ")"
  EXPECT_TRUE(macro.EvalMacro("1 2", consumed, result));
  EXPECT_EQ(result, "1");
  EXPECT_EQ(consumed, 2);
  EXPECT_FALSE(macro.EvalMacro("1+)", consumed, result));
  EXPECT_EQ(result, "1+<<--ERROR");
  EXPECT_FALSE(macro.EvalMacro("(1 + 2", consumed, result));
  EXPECT_EQ(result, "(1 + 2<<--ERROR");
  EXPECT_FALSE(macro.EvalMacro("", consumed, result));
  EXPECT_EQ(result, "<<--ERROR");
}

TEST(TCvStrMacro, HooksAndArguments) {
  TCvStrMacro macro;
  std::vector<std::vector<AnsiString>> calls;
  macro.OnGetValue = [](const AnsiString& name) { return "<" + name + ">"; };
  macro.OnCallFunction = [&](const AnsiString& name, const TStrings* args) {
    std::vector<AnsiString> call{name};
    for (int i = 0; i < args->Count(); ++i) call.push_back((*args)[i]);
    calls.push_back(call);
    return AnsiString("r");
  };
  AnsiString text = "$(f()) $(g(a,,b)) $(h(,)) $(k(1+1,)) $(t.col)";
  EXPECT_EQ(macro.Expand(text), 5);
  EXPECT_EQ(text, "r r r r <t.col>");
  const std::vector<std::vector<AnsiString>> expected = {
      {"f"}, {"g", "<a>", "", "<b>"}, {"h", ""}, {"k", "2"}};
  EXPECT_EQ(calls, expected);

  calls.clear();
  AnsiString lazy = "$(IF(1,'y',g())) $(IF(0,g(),'n',g()))";
  macro.Expand(lazy);
  EXPECT_EQ(lazy, "y n");
  EXPECT_TRUE(calls.empty());  // branches not taken call nothing
}

TEST(TCvStrMacro, ParseOnlyVisitsNamesWithoutComputing) {
  struct Collector : TCvStrMacro {
    std::vector<AnsiString> names;
    AnsiString GetValue(const AnsiString& name) override {
      names.push_back(name);
      return TCvStrMacro::GetValue(name);
    }
  } macro;
  int calls = 0;
  macro.OnGetValue = [&](const AnsiString& n) { return ++calls, n; };
  macro.OnCallFunction = [&](const AnsiString& n, const TStrings*) { return ++calls, n; };
  macro.ParseOnly = true;
  int consumed;
  AnsiString result;
  ASSERT_TRUE(macro.EvalMacro("a + f(b, IF(c, d)) * 2 ) tail", consumed, result));
  EXPECT_EQ(result, "a + f(b, IF(c, d)) * 2 ");
  EXPECT_EQ(macro.names, (std::vector<AnsiString>{"a", "b", "c", "d"}));
  EXPECT_EQ(calls, 0);
}

TEST(TCvStrMacro, LeadByteAtTheEndStaysInsideTheText) {
  for (const AnsiString& text : {AnsiString("a\x82"), AnsiString("'\x82"), AnsiString("1+\x82")}) {
    auto block = std::make_unique<char[]>(text.size() + 1);
    std::memcpy(block.get(), text.c_str(), text.size() + 1);
    TCvStrMacro macro;
    int consumed;
    AnsiString result;
    macro.EvalMacro(block.get(), consumed, result);
    EXPECT_LE(consumed, static_cast<int>(text.size()));
    EXPECT_EQ(Expanded("$(" + text), "$(" + text);
  }
}

TEST(TCvStrMacro, DeepNestingFailsInsteadOfOverflowing) {
  const auto nested = [](int depth) {
    return "$(" + std::string(depth, '(') + "1" + std::string(depth, ')') + ")";
  };
  EXPECT_EQ(Expanded(nested(100)), "1");
  const AnsiString deep = nested(100000);
  EXPECT_EQ(Expanded(deep), deep);
  const AnsiString minus = "$(" + std::string(100000, '-') + "1)";
  EXPECT_EQ(Expanded(minus), minus);
  AnsiString chain = "$(0";
  for (int i = 0; i < 100000; ++i) chain += " OR 0";
  chain += ")";
  EXPECT_EQ(Expanded(chain), chain);
}
