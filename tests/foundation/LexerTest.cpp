#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "foundation/Lexer.h"
#include "tests/support/TestSupport.h"

namespace {

struct Tok {
  int kind;
  AnsiString text;
  bool operator==(const Tok& o) const { return kind == o.kind && text == o.text; }
};

std::ostream& operator<<(std::ostream& os, const Tok& t) {
  return os << "{" << std::hex << t.kind << std::dec << ", \"" << Show(t.text) << "\"}";
}

// The text in a heap block of exactly its length and the NUL, so reading past the end is caught.
std::unique_ptr<char[]> Exact(const AnsiString& text) {
  auto block = std::make_unique<char[]>(text.size() + 1);
  std::memcpy(block.get(), text.c_str(), text.size() + 1);
  return block;
}

std::vector<Tok> Tokens(const AnsiString& text) {
  auto block = Exact(text);
  CLexer lexer(block.get());
  std::vector<Tok> out;
  for (;;) {
    lexer.NextToken();
    if (lexer.Kind == LEX_END) break;
    out.push_back({lexer.Kind, lexer.Token});
  }
  return out;
}

Tok Name(const AnsiString& s) { return {LEX_NAME, s}; }
Tok Num(const AnsiString& s) { return {LEX_NUMBER, s}; }
Tok Str(const AnsiString& s) { return {LEX_STRING, s}; }
Tok Cmp(const AnsiString& s) { return {LEX_COMPARE, s}; }
Tok Punct(char c) { return {static_cast<unsigned char>(c), ""}; }

}  // namespace

TEST(CLexer, TokenTable) {
  const AnsiString so = SJ("ソ"), po = SJ("ポ"), wide = SJ("　");
  ASSERT_EQ(so[1], '\\');
  ASSERT_EQ(po[1], '|');
  const struct {
    AnsiString text;
    std::vector<Tok> tokens;
  } cases[] = {
      {"", {}},
      {" \t\r\n ", {}},
      {"a.b", {Name("a.b")}},
      {".5", {Num(".5")}},
      {".x", {Name(".x")}},
      {"-x", {Punct('-'), Name("x")}},
      {"- 5", {Punct('-'), Num("5")}},
      {"-5 +5 -0.5", {Num("-5"), Num("+5"), Num("-0.5")}},
      {"1.2.3 12.", {Num("1.2.3"), Num("12.")}},
      {"3a", {Num("3"), Name("a")}},
      {"'It''s'", {Str("It's")}},
      {"\"a\"\"b\"'c\"d'", {Str("a\"b"), Str("c\"d")}},
      {"'open", {Str("open")}},
      {"''", {Str("")}},
      {"a" + so + "b" + po + "c", {Name("a" + so + "b" + po + "c")}},
      {"'" + so + "'x", {Str(so), Name("x")}},
      {"\"" + po + "\"", {Str(po)}},
      {"like LIKE Unlike", {Cmp("like"), Cmp("LIKE"), Cmp("Unlike")}},
      {"and Or NOT Andy", {{LEX_AND, "and"}, {LEX_OR, "Or"}, {LEX_NOT, "NOT"}, Name("Andy")}},
      {"! !=", {Punct('!'), Cmp("!=")}},
      {"<> < > <= >= = ==", {Cmp("<>"), Cmp("<"), Cmp(">"), Cmp("<="), Cmp(">="), Cmp("="), Cmp("="), Cmp("=")}},
      {"a<b", {Name("a"), Cmp("<"), Name("b")}},
      {"f(a,b)", {Name("f"), Punct('('), Name("a"), Punct(','), Name("b"), Punct(')')}},
      {"t.c_1='x'", {Name("t.c_1"), Cmp("="), Str("x")}},
      {wide + "AND", {Name(wide + "AND")}},  // the full-width blank is a character, not a blank
      {"a" + wide + "b", {Name("a" + wide + "b")}},
  };
  for (const auto& c : cases) EXPECT_EQ(Tokens(c.text), c.tokens) << Show(c.text);
}

TEST(CLexer, LeadByteAtTheEndStaysInsideTheText) {
  EXPECT_EQ(Tokens("a\x82"), (std::vector<Tok>{Name("a\x82")}));
  EXPECT_EQ(Tokens("\x82"), (std::vector<Tok>{Name("\x82")}));
  EXPECT_EQ(Tokens("'a\x82"), (std::vector<Tok>{Str("a\x82")}));
}

TEST(CLexer, UngetPutsBackOneToken) {
  auto block = Exact("a = 1");
  CLexer lexer(block.get());
  lexer.NextToken();
  lexer.NextToken();
  EXPECT_EQ(lexer.Kind, LEX_COMPARE);
  lexer.UngetToken();
  EXPECT_EQ(lexer.Kind, LEX_NAME);
  EXPECT_EQ(lexer.Token, "a");
  lexer.NextToken();
  EXPECT_EQ(lexer.Token, "=");
  lexer.NextToken();
  lexer.NextToken();
  EXPECT_EQ(lexer.Kind, LEX_END);
  lexer.NextToken();
  EXPECT_EQ(lexer.Kind, LEX_END);  // the end repeats
  lexer.UngetToken();
  EXPECT_EQ(lexer.Kind, LEX_END);

  CLexer again(block.get());
  for (int i = 0; i < 4; ++i) again.NextToken();
  ASSERT_EQ(again.Kind, LEX_END);
  again.UngetToken();  // right after the first end: the last real token is current again
  EXPECT_EQ(again.Kind, LEX_NUMBER);
  EXPECT_EQ(again.Token, "1");
  again.NextToken();
  EXPECT_EQ(again.Kind, LEX_END);
}

TEST(CLexer, Delimiters) {
  std::string delimiters;
  for (int c = 0; c < 256; ++c)
    if (CLexer::IsDelimiter(static_cast<unsigned char>(c))) delimiters += static_cast<char>(c);
  EXPECT_EQ(delimiters, " !\"#$%&'()*+,-/:;<=>?@[\\]^`{|}~");
}
