#include <gtest/gtest.h>

#include <vector>

#include "foundation/Lexer.h"
#include "foundation/StrMacro.h"
#include "query/Condtree.h"
#include "tests/support/TestSupport.h"

namespace {

// One comparison as "left op right", the operator written by its code so that negations show;
// strings stand in single quotes.
AnsiString Render(const CCondTreeNodeComp& c) {
  static const char* const ops[] = {"?", "?", "?", "?", "<", "<=", "=", ">=", ">", "<>", "LIKE", "UNLIKE", "ALL", "REJ"};
  auto operand = [](const CCondTreeNodeVar& v) { return v.Kind == LEX_STRING ? "'" + v.Text + "'" : v.Text; };
  return operand(c.Left) + " " + (c.Op >= 0 && c.Op <= COND_REJ ? ops[c.Op] : "?") + " " + operand(c.Right);
}

// Alternatives as "[a = 1, b <> 2] [c = 3]"; "ERROR" after a failed parse.
AnsiString Render(const CCondTree& tree, bool ok) {
  if (!ok) return "ERROR";
  AnsiString out;
  for (const TCondAndList& alternative : tree.Alternatives()) {
    out += out.empty() ? "[" : " [";
    for (size_t i = 0; i < alternative.size(); ++i) out += (i ? ", " : "") + Render(*alternative[i]);
    out += "]";
  }
  return out;
}

AnsiString ParseAndRender(const AnsiString& text, const StringOperandHook& hook = nullptr) {
  CCondTree tree;
  const bool ok = tree.Parse(text, hook);
  return Render(tree, ok);
}

AnsiString Repeat(const AnsiString& piece, int n) {
  AnsiString out;
  for (int i = 0; i < n; ++i) out += piece;
  return out;
}

}  // namespace

TEST(CCondTree, ConditionTextsToAlternatives) {
  const StringOperandHook expand = [](AnsiString& text) { ExpandMacroText(text); };
  const struct {
    AnsiString text;
    AnsiString alternatives;
  } cases[] = {
      // no condition at all
      {"", ""},
      {" \t\r\n ", ""},
      // comparisons, operand kinds, keywords in any case
      {"a = 1", "[a = 1]"},
      {"a=1 aNd b<>-2.5 Or c lIkE 'A%'", "[a = 1, b <> -2.5] [c LIKE 'A%']"},
      {"x != 'A'", "[x <> 'A']"},
      {"x <> \"A\"", "[x <> 'A']"},
      {"x unlike '%a%' or y >= z", "[x UNLIKE '%a%'] [y >= z]"},
      {"5 < n AND 'a' = 'b'", "[5 < n, 'a' = 'b']"},
      {"t.col = 5 AND 'abc' = u.name", "[t.col = 5, 'abc' = u.name]"},
      {"\ta\r\n=\n1 ", "[a = 1]"},
      // quotes, a doubled quote standing for one
      {"name = 'it''s'", "[name = 'it's']"},
      {"name = \"say \"\"hi\"\"\"", "[name = 'say \"hi\"']"},
      {"name = 'a\"b' OR name = \"a'b\"", "[name = 'a\"b'] [name = 'a'b']"},
      {SJ("氏名 = '表示' AND 住所 LIKE 'ソ%'"), SJ("[氏名 = '表示', 住所 LIKE 'ソ%']")},
      // grouping and the order of alternatives
      {"a = 1 OR b = 2 OR c = 3", "[a = 1] [b = 2] [c = 3]"},
      {"a = 1 AND b = 2 AND c = 3", "[a = 1, b = 2, c = 3]"},
      {"a = 1 OR b = 2 AND c = 3", "[a = 1] [b = 2, c = 3]"},
      {"(a = 1 OR b = 2) AND (c = 3 OR d = 4)", "[a = 1, c = 3] [a = 1, d = 4] [b = 2, c = 3] [b = 2, d = 4]"},
      {"a = 1 AND (b = 2 OR c = 3) AND d = 4", "[a = 1, b = 2, d = 4] [a = 1, c = 3, d = 4]"},
      {"((a = 1 OR b = 2) AND (c = 3 OR d = 4)) AND e = 5",
       "[a = 1, c = 3, e = 5] [a = 1, d = 4, e = 5] [b = 2, c = 3, e = 5] [b = 2, d = 4, e = 5]"},
      {"(((a = 1)))", "[a = 1]"},
      // negation pushed down onto the comparisons
      {"NOT x LIKE 'A%'", "[x UNLIKE 'A%']"},
      {"not x unlike 'A%'", "[x LIKE 'A%']"},
      {"NOT a < 1 AND NOT b <= 2 AND NOT c > 3 AND NOT d >= 4", "[a >= 1, b > 2, c <= 3, d < 4]"},
      {"NOT a = 1 AND b = 2", "[a <> 1, b = 2]"},
      {"NOT (a = 1 AND b = 2)", "[a <> 1] [b <> 2]"},
      {"NOT (a = 1 OR b < 2)", "[a <> 1, b >= 2]"},
      {"NOT NOT a = 1", "[a = 1]"},
      {"NOT NOT NOT a = 1", "[a <> 1]"},
      {"NOT (NOT (a = 1 OR b = 2) AND c = 3)", "[a = 1] [b = 2] [c <> 3]"},
      {"NOT (a = 1 AND (b = 2 OR NOT c = 3))", "[a <> 1] [b <> 2, c = 3]"},
      // macros in quoted operands (through the hook); names and numbers are left alone
      {"d = '$(1+2)' AND e = $(1+2)", "ERROR"},
      {"d = '$(1+2)' AND '$(2*3)' <> \"6\"", "[d = '3', '6' <> '6']"},
      // syntax errors: malformed, or ending early
      {"a = 1 AND", "ERROR"},
      {"a = 1 OR", "ERROR"},
      {"(a = 1", "ERROR"},
      {"x =", "ERROR"},
      {"NOT", "ERROR"},
      {"a", "ERROR"},
      {"a = 'abc", "ERROR"},
      {"a = 'it''", "ERROR"},
      {"a = \"abc' OR b = 1", "ERROR"},
      {"a = 1)", "ERROR"},
      {"a = = 1", "ERROR"},
      {"a = 1 b = 2", "ERROR"},
      {"= 1", "ERROR"},
      {"AND a = 1", "ERROR"},
      {"()", "ERROR"},
      {"a = 1 ;", "ERROR"},
      {"a = (1)", "ERROR"},
      {AnsiString("a = 1\0 OR b = 2", 15), "ERROR"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Show(ParseAndRender(c.text, expand)), Show(c.alternatives)) << Show(c.text);
  }
}

TEST(CCondTree, HookSeesStringOperandsOnlyLeftThenRight) {
  std::vector<AnsiString> seen;
  const StringOperandHook upper = [&](AnsiString& text) {
    seen.push_back(text);
    text = UpperCase(text);
  };
  EXPECT_EQ(ParseAndRender("n = 'abc' OR 'def' = m", upper), "[n = 'ABC'] ['DEF' = m]");
  EXPECT_EQ(seen, (std::vector<AnsiString>{"abc", "def"}));

  seen.clear();
  EXPECT_EQ(ParseAndRender("n = 5 AND m = x AND 'p' <> 'q'", upper), "[n = 5, m = x, 'P' <> 'Q']");
  EXPECT_EQ(seen, (std::vector<AnsiString>{"p", "q"}));
}

TEST(CCondTree, ComparisonKeepsOperandKindsAndOperatorText) {
  CCondTree tree;
  ASSERT_TRUE(tree.Parse("x like 'A%' AND NOT y LIKE \"B\" AND t.a = 1"));
  ASSERT_EQ(tree.Alternatives().size(), 1u);
  const TCondAndList& list = tree.Alternatives()[0];
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0]->OpText, "like");
  EXPECT_EQ(list[0]->Op, COND_LIKE);
  EXPECT_EQ(list[1]->OpText, "LIKE");
  EXPECT_EQ(list[1]->Op, COND_NOT_LIKE);
  EXPECT_TRUE(list[2]->Left.IsName());
  EXPECT_FALSE(list[2]->Left.IsValue());
  EXPECT_EQ(list[2]->Right.Kind, LEX_NUMBER);
  EXPECT_TRUE(list[2]->Right.IsValue());
  EXPECT_EQ(list[2]->GetKind(), "Comp");
  EXPECT_EQ(list[2]->Left.GetTablePart(), "t");
  EXPECT_EQ(list[2]->Left.GetColumnPart(), "a");
}

TEST(CCondTree, NodeKindsAndNeutralNodes) {
  CCondTreeNode base;
  EXPECT_EQ(base.GetKind(), "Base");

  CCondTree tree;
  ASSERT_TRUE(tree.Parse("a = 1 OR b = 2"));
  ASSERT_EQ(tree.Root()->GetKind(), "Logi");
  EXPECT_EQ(static_cast<CCondTreeNodeLogi*>(tree.Root())->Logic, COND_OR);
  EXPECT_EQ(tree.Root()->First->Parent, tree.Root());

  // A double negation leaves two neutral nodes above the comparison.
  ASSERT_TRUE(tree.Parse("NOT NOT a = 1"));
  CCondTreeNode* node = tree.Root();
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(node->GetKind(), "Logi");
    EXPECT_EQ(static_cast<CCondTreeNodeLogi*>(node)->Logic, COND_NULL);
    node = node->First;
  }
  EXPECT_EQ(node->GetKind(), "Comp");

  // A negated comparison at the top becomes the root itself.
  ASSERT_TRUE(tree.Parse("NOT a = 1"));
  EXPECT_EQ(tree.Root()->GetKind(), "Comp");
  EXPECT_EQ(tree.Root()->Parent, nullptr);
}

TEST(CCondTreeNodeVar, TableAndColumnParts) {
  const struct {
    const char* text;
    const char* table;
    const char* column;
  } cases[] = {{"T.c", "T", "c"}, {"a.b.c", "a", "b.c"}, {"c", "", "c"}, {".c", "", "c"}};
  for (const auto& c : cases) {
    CCondTreeNodeVar v;
    v.Kind = LEX_NAME;
    v.Text = c.text;
    EXPECT_EQ(v.GetTablePart(), c.table) << c.text;
    EXPECT_EQ(v.GetColumnPart(), c.column) << c.text;
    CCondTreeNodeVar copy;
    copy.Assign(v);
    EXPECT_EQ(copy.Kind, LEX_NAME);
    EXPECT_EQ(copy.Text, c.text);
  }
}

TEST(CCondTreeNodeComp, SwapSidesMirrorsOrderingOperators) {
  const struct {
    const char* text;
    const char* swapped;
  } cases[] = {
      {"'abc' = name", "name = 'abc'"}, {"5 < n", "n > 5"},      {"5 <= n", "n >= 5"},
      {"5 > n", "n < 5"},               {"5 >= n", "n <= 5"},    {"5 <> n", "n <> 5"},
      {"'a%' LIKE n", "n LIKE 'a%'"},   {"'a%' UNLIKE n", "n UNLIKE 'a%'"},
  };
  for (const auto& c : cases) {
    CCondTree tree;
    ASSERT_TRUE(tree.Parse(c.text)) << c.text;
    CCondTreeNodeComp* comp = tree.Alternatives().at(0).at(0);
    comp->SwapSides();
    EXPECT_EQ(Render(*comp), c.swapped);
  }
}

TEST(CCondTree, FlatteningIsCappedWithAClearError) {
  // Twelve two-way choices give exactly the limit of 4096 alternatives; a thirteenth is refused.
  const AnsiString choice = "(a = 1 OR b = 2)";
  AnsiString text = choice;
  for (int i = 1; i < 12; ++i) text += " AND " + choice;

  CCondTree tree;
  ASSERT_TRUE(tree.Parse(text));
  EXPECT_EQ(tree.Alternatives().size(), 4096u);
  EXPECT_EQ(Render(*tree.Alternatives().back()[11]), "b = 2");

  EXPECT_FALSE(tree.Parse(text + " AND " + choice));
  EXPECT_EQ(tree.Error(), CCondTree::condTooManyAlternatives);
  EXPECT_EQ(Show(tree.ErrorText()), "検索条件の組み合わせが多すぎます。");
  EXPECT_TRUE(tree.Alternatives().empty());
  EXPECT_EQ(tree.Root(), nullptr);

  // Fewer alternatives that together hold more than a million comparisons are refused as well.
  EXPECT_FALSE(tree.Parse(text + Repeat(" AND c = 3", 260)));
  EXPECT_EQ(tree.Error(), CCondTree::condTooManyAlternatives);

  EXPECT_FALSE(tree.Parse("a = 1 OR"));
  EXPECT_EQ(tree.Error(), CCondTree::condSyntaxError);
  EXPECT_EQ(Show(tree.ErrorText()), "検索条件を解釈できません。");

  ASSERT_TRUE(tree.Parse("a = 1"));
  EXPECT_EQ(tree.Error(), CCondTree::condOk);
  EXPECT_EQ(tree.ErrorText(), "");
}

TEST(CCondTree, LongChainsAndDeepNestingStayOffTheStack) {
  CCondTree tree;
  ASSERT_TRUE(tree.Parse("a = 1" + Repeat(" AND a = 1", 200000)));
  EXPECT_EQ(tree.Alternatives().at(0).size(), 200001u);

  ASSERT_TRUE(tree.Parse("NOT (a = 1" + Repeat(" OR a = 1", 100000) + ")"));
  EXPECT_EQ(tree.Alternatives().at(0).size(), 100001u);
  EXPECT_EQ(tree.Alternatives()[0].back()->Op, COND_NOT_EQL);

  EXPECT_FALSE(tree.Parse("a = 1" + Repeat(" OR a = 1", 5000)));

  const int limit = CCondTree::kMaxNesting;
  EXPECT_TRUE(tree.Parse(Repeat("(", limit) + "a = 1" + Repeat(")", limit)));
  EXPECT_FALSE(tree.Parse(Repeat("(", limit + 1) + "a = 1" + Repeat(")", limit + 1)));
  EXPECT_EQ(Render(tree, tree.Parse(Repeat("NOT ", limit) + "a = 1")), "[a = 1]");
  EXPECT_FALSE(tree.Parse(Repeat("NOT ", limit + 1) + "a = 1"));
  EXPECT_FALSE(tree.Parse(Repeat("(", 100000)));
}
