#include <gtest/gtest.h>

#include <vector>

#include "store/CondOp.h"
#include "store/KvrRange.h"

namespace {

CKvrValue Make(char type, const char* text) {
  CKvrValue v(type);
  v.SetText(text);
  return v;
}

AnsiString EndText(const CKvrBorderPt& end) {
  if (end.kind < 0) return "-inf";
  if (end.kind > 0) return "+inf";
  AnsiString s;
  for (int i = 0; i < end.value.StoredLength(); ++i) {
    const unsigned char c = end.value.Stored()[i];
    if (end.value.Type() != kvrString && end.value.Type() != kvrSet) return end.value.GetText();
    if (c == 0) break;
    s += c >= 0x20 && c < 0x7F ? AnsiString(1, char(c)) : Format("\\x%02X", c);
  }
  return s;
}

// The list as "[lo,hi) (lo,hi] ...".
AnsiString Show(const CKvrRangeList& list) {
  AnsiString s;
  for (int i = 0; i < list.Count(); ++i) {
    const CKvrRange* r = list.GetAt(i);
    if (i) s += ' ';
    s += r->lower.kind == 0 && r->lower.inclusive ? '[' : '(';
    s += EndText(r->lower) + "," + EndText(r->upper);
    s += r->upper.kind == 0 && r->upper.inclusive ? ']' : ')';
  }
  return s;
}

struct Cond {
  int op;
  const char* text;
};

}  // namespace

TEST(KvrRange, ComparisonsCombineIntoSortedDisjointRanges) {
  struct Case {
    char type;
    std::vector<Cond> conds;
    const char* expected;
  } cases[] = {
      {kvrSigned, {{COND_GRT_EQL, "5"}, {COND_LES, "9"}}, "[5,9)"},
      {kvrSigned, {{COND_GRT_EQL, "5"}, {COND_LES, "9"}, {COND_EQL, "12"}}, ""},
      {kvrSigned, {{COND_NOT_EQL, "5"}}, "(-inf,5) (5,+inf)"},
      {kvrSigned, {{COND_NOT_EQL, "5"}, {COND_NOT_EQL, "7"}}, "(-inf,5) (5,7) (7,+inf)"},
      {kvrSigned, {{COND_NOT_EQL, "5"}, {COND_EQL, "5"}}, ""},
      {kvrSigned, {{COND_GRT, "3"}, {COND_NOT_EQL, "5"}}, "(3,5) (5,+inf)"},
      {kvrSigned, {{COND_LES_EQL, "5"}, {COND_GRT_EQL, "5"}}, "[5,5]"},
      {kvrSigned, {{COND_LES, "5"}, {COND_GRT, "5"}}, ""},
      {kvrSigned, {{COND_ALL, ""}}, "(-inf,+inf)"},
      {kvrSigned, {{COND_REJ, ""}}, ""},
      {kvrSigned, {{COND_NOT_LIKE, "1%"}}, "(-inf,+inf)"},  // a number never matches a pattern
      {kvrString, {{COND_LIKE, "ab%"}}, "[ab,ac)"},
      {kvrString, {{COND_LIKE, "%b"}}, "(-inf,+inf)"},
      {kvrString, {{COND_LIKE, "a\\%b%"}}, "[a%b,a%c)"},
      {kvrString, {{COND_LIKE, "\xFF\xFF%"}}, "[\\xFF\\xFF,+inf)"},
      {kvrString, {{COND_LIKE, "a\xFF%"}}, "[a\\xFF,b)"},
      {kvrString, {{COND_NOT_LIKE, "ab%"}}, "(-inf,ab) [ac,+inf)"},
      {kvrString, {{COND_NOT_LIKE, "ab%%"}}, "(-inf,ab) [ac,+inf)"},
      // Texts inside [ab, ac) may still fail these patterns, so they must stay in the walk.
      {kvrString, {{COND_NOT_LIKE, "ab%c"}}, "(-inf,+inf)"},
      {kvrString, {{COND_NOT_LIKE, "ab"}}, "(-inf,+inf)"},
      {kvrString, {{COND_NOT_LIKE, "%"}}, "(-inf,+inf)"},
      {kvrString, {{COND_NOT_LIKE, "\xFF%"}}, "(-inf,\\xFF)"},
      {kvrString, {{COND_GRT, "b"}, {COND_NOT_LIKE, "c%"}}, "(b,c) [d,+inf)"},
  };
  for (const Case& c : cases) {
    CKvrRangeList list;
    for (const Cond& k : c.conds) list.AddCond(k.op, Make(c.type, k.text));
    EXPECT_EQ(Show(list), c.expected) << c.conds.front().text;
  }
}

TEST(KvrRange, ContainsMergeAndIntersectHonourEndFlags) {
  const CKvrValue one = Make(kvrSigned, "1"), two = Make(kvrSigned, "2"), three = Make(kvrSigned, "3");
  CKvrRange a, b;
  a.Set(0, &one, true, 0, &two, false);  // [1,2)
  b.Set(0, &two, true, 0, &three, true);  // [2,3]
  EXPECT_TRUE(a.Contains(one));
  EXPECT_FALSE(a.Contains(two));
  EXPECT_TRUE(b.Contains(two));
  CKvrRange merged = a;
  ASSERT_TRUE(merged.Merge(b));
  EXPECT_TRUE(merged.Contains(two));
  EXPECT_TRUE(merged.Contains(three));

  CKvrRange c, d;
  c.Set(0, &one, false, 0, &two, false);  // (1,2)
  d.Set(0, &two, false, 0, &three, false);  // (2,3): 2 lies in neither
  EXPECT_FALSE(c.Merge(d));
  EXPECT_FALSE(c.Intersect(d));
  EXPECT_FALSE(a.Intersect(b));  // [1,2) and [2,3] share nothing
  CKvrRange e = b;
  ASSERT_TRUE(e.Intersect(merged));
  EXPECT_FALSE(e.Contains(one));
  EXPECT_TRUE(e.Contains(three));
}

TEST(KvrRange, WidthOrdersByTheFirstFourStoredBytes) {
  const CKvrValue lo = Make(kvrUnsigned, "16"), hi = Make(kvrUnsigned, "48");
  CKvrRange r;
  r.Set(0, &lo, true, 0, &hi, true);
  EXPECT_EQ(r.Width(), 32u);
  r.Set(-1, nullptr, false, 1, nullptr, false);
  EXPECT_EQ(r.Width(), 0xFFFFFFFFu);
  EXPECT_TRUE(IsPrefixPattern("ab%"));
  EXPECT_TRUE(IsPrefixPattern("\\%%"));
  EXPECT_FALSE(IsPrefixPattern("%"));
  EXPECT_FALSE(IsPrefixPattern("a%b%"));
  EXPECT_FALSE(IsPrefixPattern("ab\\%"));
}
