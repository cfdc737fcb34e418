#include <algorithm>
#include <random>

#include "foundation/StrMacro.h"
#include "tests/query/NodesTestSupport.h"

namespace {

using Lines = std::vector<std::string>;

// The lines whose text begins with "(prefix".
Lines DumpLines(const LogCapture& log, const std::string& prefix) {
  Lines out;
  for (const std::string& line : log.Lines())
    if (line.rfind("(" + prefix, 0) == 0 || (line.rfind("        EnumCol=", 0) == 0 && !out.empty())) out.push_back(line);
  return out;
}

// Makes the alternatives, dumps them as "Pre", optimises, dumps them as "Post".
bool Compile(TestSelect& select, const AnsiString& condition, CSearchCondList& alternatives) {
  if (!MakeAlternatives(select, condition, alternatives)) return false;
  alternatives.Dump("Pre");
  alternatives.Optimize();
  alternatives.Dump("Post");
  return true;
}

std::vector<std::string> Sorted(std::vector<std::string> rows) {
  std::sort(rows.begin(), rows.end());
  return rows;
}

// Tables T (a, b, c, d numbers; name text) and U (b, c numbers; p text).
struct TwoTables {
  TwoTables() {
    select.AddTable("T", {{"a", kvrSigned, 0}, {"b", kvrSigned, 0}, {"c", kvrSigned, 0}, {"d", kvrSigned, 0},
                          {"name", kvrString, 20}});
    select.AddTable("U", {{"b", kvrSigned, 0}, {"c", kvrSigned, 0}, {"p", kvrString, 20}});
  }
  TestSelect select;
  LogCapture log;
};

}  // namespace

TEST(CSearchCond, SetCondLogsItsComparisonsInWeightOrderAndMakesNodes) {
  TwoTables f;
  CCondTree tree;
  ASSERT_TRUE(tree.Parse("b > 2 AND 5 < a AND name LIKE 'x%' AND a = 1 AND 'x' = 'x' AND U.c = T.d"));
  CSearchCond alternative(&f.select);
  alternative.SetCond(tree.Alternatives()[0]);
  Lines logged;
  for (const std::string& line : f.log.Lines())
    if (line.rfind("SetCond()", 0) == 0) logged.push_back(line);
  EXPECT_EQ(logged, (Lines{"SetCond():[1] nd=a EQL 1", "SetCond():[2] nd=name LIKE x%", "SetCond():[3] nd=b GRT 2",
                           "SetCond():[4] nd=5 LES a", "SetCond():[5] nd=x EQL x", "SetCond():[6] nd=U.c EQL T.d"}));
  f.log.Clear();
  alternative.Nodes->Dump("Pre1");
  // Names are qualified; the value on the left is moved to the right with the operator mirrored.
  EXPECT_EQ(DumpLines(f.log, "Pre"),
            (Lines{"(Pre1-1) rtv T.a EQL '1'", "(Pre1-2) rtv T.name LIKE 'x%'", "(Pre1-3) rtv T.b GRT '2'",
                   "(Pre1-4) rtv T.a GRT '5'", "(Pre1-5) cmp3 . NULL ''", "(Pre1-6) rtv2 U.c EQL T.d"}));
}

TEST(CSearchCond, AComparisonOfTwoConstantsAppliesItsOperator) {
  CSearchCond owner(nullptr);
  const AnsiString weekday = [] {
    AnsiString text = "$(曜日)";
    ExpandMacroText(text);
    return text;
  }();
  const struct {
    AnsiString condition;
    bool hit;
  } cases[] = {
      {"'x' = 'x'", true},     {"'x' < 'y'", true},   {"'y' < 'x'", false},    {"'x' <> 'x'", false},
      {"'abc' LIKE 'a%'", true}, {"'a%' LIKE 'abc'", false}, {"'abc' UNLIKE 'a%'", false},
      {"5 < 10", true},        {"'5' < '10'", false}, {"5 = 5.0", true},       {"NOT 'x' = 'x'", false},
      {SJ("'$(曜日)' <> '日'"), weekday != SJ("日")},  {SJ("'$(曜日)' = '日'"), weekday == SJ("日")},
  };
  const StringOperandHook expand = [](AnsiString& text) { ExpandMacroText(text); };
  for (const auto& c : cases) {
    CCondTree tree;
    ASSERT_TRUE(tree.Parse(c.condition, expand)) << Show(c.condition);
    CSearchCond alternative(nullptr);
    alternative.SetCond(tree.Alternatives()[0]);
    ASSERT_EQ(alternative.Nodes->Count(), 1);
    ASSERT_TRUE(alternative.Nodes->Get(0)->IsKind("cmp3"));
    EXPECT_EQ(alternative.IsHit(), c.hit) << Show(c.condition);
  }
}

TEST(CCompSimpleList, PlansOfTheExamplesReadFromTheDumps) {
  const struct {
    const char* condition;
    Lines pre, post;
    bool oneTable = false;
  } cases[] = {
      // Entered through its most selective retrieval, joined from the current table, then tested.
      {"T.a = 1 AND U.b > 2 AND U.c = T.d",
       {"(Pre1-1) rtv T.a EQL '1'", "(Pre1-2) rtv U.b GRT '2'", "(Pre1-3) rtv2 U.c EQL T.d"},
       {"(Post1-1) rtv T.a EQL '1'", "(Post1-2) rtv2 U.c EQL T.d", "(Post1-3) cmp U.b GRT '2'"}},
      // Neither side of the join is current: one side is walked, the other retrieved through it.
      {"T.a = U.b", {"(Pre1-1) rtv2 T.a EQL U.b"}, {"(Post1-1) rtv T.a ALL ''", "(Post1-2) rtv2 U.b EQL T.a"}},
      // Duplicates go; a test of the retrieved table follows it and narrows its index walk.
      {"T.a = 1 AND T.a = 1 AND T.b > 3 AND U.b = 2",
       {"(Pre1-1) rtv T.a EQL '1'", "(Pre1-2) rtv T.a EQL '1'", "(Pre1-3) rtv U.b EQL '2'", "(Pre1-4) rtv T.b GRT '3'"},
       {"(Post1-1) rtv T.a EQL '1'", "(Post1-2) cmp T.b GRT '3'", "(Post1-3) rtv U.b EQL '2'"}},
      // Only leading wildcards on T: one walk of T for the whole OR list, under a base node.
      {"T.name LIKE '%abc%' OR T.name LIKE '%def%'",
       {"(Pre1-1) rtv T.name LIKE '%abc%'", "(Pre2-1) rtv T.name LIKE '%def%'"},
       {"(Post1-1) rtv T.__REC__ID__ ALL ''", "(Post1-2) base Next->Count=2", "(Post1-2:1-1) cmp T.name LIKE '%def%'",
        "(Post1-2:2-1) cmp T.name LIKE '%abc%'"},
       true},
      // A shared comparison is retrieved once, in front of what remains of each alternative.
      {"(T.a = 1 AND T.b = 2) OR (T.a = 1 AND T.c = 3)",
       {"(Pre1-1) rtv T.a EQL '1'", "(Pre1-2) rtv T.b EQL '2'", "(Pre2-1) rtv T.a EQL '1'", "(Pre2-2) rtv T.c EQL '3'"},
       {"(Post1-1) rtv T.a EQL '1'", "(Post1-2) base Next->Count=2", "(Post1-2:1-1) cmp T.c EQL '3'",
        "(Post1-2:2-1) cmp T.b EQL '2'"},
       true},
      // With a second table, the alternatives walk it under the scan of the first.
      {"T.name LIKE '%abc%' OR T.name LIKE '%def%'",
       {"(Pre1-1) rtv T.name LIKE '%abc%'", "(Pre1-2) rtv U.__REC__ID__ ALL ''", "(Pre2-1) rtv T.name LIKE '%def%'",
        "(Pre2-2) rtv U.__REC__ID__ ALL ''"},
       {"(Post1-1) rtv T.__REC__ID__ ALL ''", "(Post1-2) base Next->Count=2", "(Post1-2:1-1) cmp T.name LIKE '%def%'",
        "(Post1-2:1-2) rtv U.__REC__ID__ ALL ''", "(Post1-2:2-1) cmp T.name LIKE '%abc%'",
        "(Post1-2:2-2) rtv U.__REC__ID__ ALL ''"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.condition);
    TwoTables f;
    if (c.oneTable) {
      delete f.select.tables.Get(1);
      f.select.tables.Delete(1);
    }
    CSearchCondList alternatives;
    ASSERT_TRUE(Compile(f.select, c.condition, alternatives));
    EXPECT_EQ(DumpLines(f.log, "Pre"), c.pre);
    EXPECT_EQ(DumpLines(f.log, "Post"), c.post);
  }
}

TEST(CCompSimpleList, PlanningSteps) {
  CSearchCond owner(nullptr);
  {
    // An ALL retrieval of a table that is current already disappears.
    CCompSimpleList list(&owner);
    list.Add(new CCompSimpleRtv(&owner, "T", "a", COND_EQL, "1"));
    list.Add(new CCompSimpleRtv(&owner, "T", "b", COND_ALL, ""));
    TStringList bound;
    list.Plan(bound);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(static_cast<CCompSimpleRtv*>(list.Get(0))->Column, "a");
    EXPECT_EQ(bound.CommaText(), "T");
  }
  {
    // A test of the retrieved table goes into the retrieval's comparisons and its cache key.
    CCompSimpleList list(&owner);
    list.Add(new CCompSimpleRtv(&owner, "T", "b", COND_GRT, "3"));
    list.Add(new CCompSimpleRtv(&owner, "T", "a", COND_EQL, "1"));
    TStringList bound;
    list.Plan(bound);
    ASSERT_EQ(list.Count(), 2);
    auto* first = static_cast<CCompSimpleRtv*>(list.Get(0));
    EXPECT_EQ(first->MakeCashKey(false), "T$a$6$1$b$8$3");
    EXPECT_TRUE(list.Get(1)->IsKind("cmp"));
  }
  {
    // Counting for the regrouping.
    CCompSimpleList list(&owner);
    list.Add(new CCompSimpleRtv(&owner, "T", "a", COND_LIKE, "%x"));
    list.Add(new CCompSimpleRtv(&owner, "T", "a", COND_NOT_LIKE, "y"));
    list.Add(new CCompSimpleRtv2(&owner, "U", "b", COND_EQL, "T", "c"));
    list.Add(new CCompSimpleRtv2(&owner, "T", "b", COND_EQL, "V", "c"));
    int plain, wildcard, joins;
    EXPECT_EQ(list.CountKinds("T", plain, wildcard, joins), 4);
    EXPECT_EQ(std::vector<int>({plain, wildcard, joins}), std::vector<int>({1, 1, 2}));
    TStringList joined;
    EXPECT_EQ(list.CollectJoinedTables("T", joined), 2);
    EXPECT_EQ(joined.CommaText(), "V,U");
  }
}

TEST(CCompSimpleList, AnEmptyListYieldsOneCombination) {
  CCompSimpleList list(nullptr);
  list.Restart();
  EXPECT_EQ(list.NextNB(), 1);
  EXPECT_EQ(list.NextNB(), -1);
}

TEST(CSearchCondList, RecordsThatSeveralAlternativesHoldForAreDeliveredOnce) {
  TwoTables f;
  const unsigned both = f.select.Insert("T", {{"a", "1"}, {"b", "2"}, {"c", "3"}, {"name", "xabcdefx"}});
  f.select.Insert("T", {{"a", "1"}, {"b", "2"}, {"c", "4"}, {"name", "abc"}});
  f.select.Insert("T", {{"a", "1"}, {"b", "5"}, {"c", "3"}, {"name", "def"}});
  f.select.Insert("T", {{"a", "2"}, {"b", "2"}, {"c", "3"}, {"name", "none"}});
  f.select.Insert("U", {{"b", "7"}});
  ASSERT_EQ(both, 1u);
  // Inside one grouped scan, inside one factored group, and across top-level alternatives.
  EXPECT_EQ(RunCondition(f.select, "T.name LIKE '%abc%' OR T.name LIKE '%def%'"),
            (std::vector<std::string>{"T1 U1", "T2 U1", "T3 U1"}));
  EXPECT_EQ(Sorted(RunCondition(f.select, "(T.a = 1 AND T.b = 2) OR (T.a = 1 AND T.c = 3)")),
            (std::vector<std::string>{"T1 U1", "T2 U1", "T3 U1"}));
  EXPECT_EQ(Sorted(RunCondition(f.select, "T.b = 2 OR T.c = 3")),
            (std::vector<std::string>{"T1 U1", "T2 U1", "T3 U1", "T4 U1"}));
}

TEST(CCompSimpleRtv2, ALikeBetweenColumnsKeepsItsRightSideAsThePattern) {
  TwoTables f;
  for (const char* name : {"apple", "banana", "cherry"}) f.select.Insert("T", {{"a", "1"}, {"name", name}});
  f.select.Insert("U", {{"b", "1"}, {"c", "1"}, {"p", "%an%"}});
  f.select.Insert("U", {{"b", "2"}, {"c", "1"}, {"p", "ch%"}});
  f.select.Insert("U", {{"b", "3"}, {"c", "2"}, {"p", "apple"}});
  const struct {
    const char* condition;
    std::vector<std::string> rows;
  } cases[] = {
      // Retrieved through U (its selective comparison) or through T: the pattern stays U.p.
      {"T.name LIKE U.p AND U.c = 1", {"T2 U1", "T3 U2"}},
      {"T.name LIKE U.p AND T.name = 'banana'", {"T2 U1"}},
      {"T.name LIKE U.p", {"T1 U3", "T2 U1", "T3 U2"}},
      {"T.name UNLIKE U.p AND T.name = 'banana'", {"T2 U2", "T2 U3"}},
      {"U.p LIKE T.name", {"T1 U3"}},
      {"U.p LIKE T.name OR 'banana' LIKE U.p", {"T1 U1", "T1 U3", "T2 U1", "T3 U1"}},
      // A value against a column pattern.
      {"'cherry' LIKE U.p AND T.a = 1 AND T.name = 'apple'", {"T1 U2"}},
      {"'xanx' LIKE U.p AND T.name = 'apple'", {"T1 U1"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Sorted(RunCondition(f.select, c.condition)), c.rows) << c.condition;
  }
}

namespace {

// Random conditions over T (a, b numbers; s text) and U (b number; t text) against a plain
// evaluation of every combination.
struct Expr {
  enum { kComp, kAnd, kOr, kNot } kind;
  std::string text;                            // kComp: the comparison as written
  std::function<bool(const CKvrValueList&, const CKvrValueList&)> eval;  // kComp
  std::unique_ptr<Expr> left, right;
};

class RandomConditions {
 public:
  explicit RandomConditions(unsigned seed) : rng_(seed) {}

  std::unique_ptr<Expr> Make(int depth) {
    auto e = std::make_unique<Expr>();
    const int pick = depth <= 0 ? 0 : Pick(5);
    if (pick <= 1) {
      MakeComparison(*e);
      return e;
    }
    if (pick == 4) {
      e->kind = Expr::kNot;
      e->left = Make(depth - 1);
      return e;
    }
    e->kind = pick == 2 ? Expr::kAnd : Expr::kOr;
    e->left = Make(depth - 1);
    e->right = Make(depth - 1);
    return e;
  }

  static std::string Text(const Expr& e) {
    switch (e.kind) {
      case Expr::kComp: return e.text;
      case Expr::kNot: return "NOT (" + Text(*e.left) + ")";
      case Expr::kAnd: return "(" + Text(*e.left) + ") AND (" + Text(*e.right) + ")";
      default: return "(" + Text(*e.left) + ") OR (" + Text(*e.right) + ")";
    }
  }
  static bool Eval(const Expr& e, const CKvrValueList& t, const CKvrValueList& u) {
    switch (e.kind) {
      case Expr::kComp: return e.eval(t, u);
      case Expr::kNot: return !Eval(*e.left, t, u);
      case Expr::kAnd: return Eval(*e.left, t, u) && Eval(*e.right, t, u);
      default: return Eval(*e.left, t, u) || Eval(*e.right, t, u);
    }
  }

  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
  std::string Word() {
    static const char* const words[] = {"a", "ab", "ba", "abc", "b", "ca"};
    return words[Pick(6)];
  }
  std::string Pattern() {
    static const char* const patterns[] = {"a%", "%a", "%b%", "ab", "%", "b%"};
    return patterns[Pick(6)];
  }

 private:
  // Columns: T.__REC__ID__ 0, T.a 1, T.b 2, T.s 3; U.__REC__ID__ 0, U.b 1, U.t 2.
  struct Col {
    const char* name;
    bool ofT;
    int index;
    bool text;
  };

  void MakeComparison(Expr& e) {
    static const Col cols[] = {{"T.a", true, 1, false}, {"T.b", true, 2, false}, {"T.s", true, 3, true},
                               {"U.b", false, 1, false}, {"U.t", false, 2, true}, {"T.__REC__ID__", true, 0, false}};
    static const char* const ops[] = {"<", "<=", "=", ">=", ">", "<>"};
    static const int codes[] = {COND_LES, COND_LES_EQL, COND_EQL, COND_GRT_EQL, COND_GRT, COND_NOT_EQL};
    e.kind = Expr::kComp;
    const Col& c = cols[Pick(6)];
    auto value = [c](const CKvrValueList& t, const CKvrValueList& u) { return (c.ofT ? t : u).GetAt(c.index); };
    const int form = Pick(6);
    if (c.text && form <= 1) {
      const bool like = form == 0;
      const std::string pattern = Pattern();
      e.text = std::string(c.name) + (like ? " LIKE '" : " UNLIKE '") + pattern + "'";
      e.eval = [value, pattern, like](const CKvrValueList& t, const CKvrValueList& u) {
        const CKvrValue p(pattern.data(), int(pattern.size()));
        return CKvrValue::Like(*value(t, u), p) == like;
      };
      return;
    }
    const int op = Pick(6);
    if (form == 2) {  // a column against a column of the same kind in the other table
      const Col& d = c.text ? cols[c.ofT ? 4 : 2] : cols[c.ofT ? 3 : 1];
      auto other = [d](const CKvrValueList& t, const CKvrValueList& u) { return (d.ofT ? t : u).GetAt(d.index); };
      if (c.text && Pick(2) == 0) {
        const bool like = Pick(2) == 0;
        e.text = std::string(c.name) + (like ? " LIKE " : " UNLIKE ") + d.name;
        e.eval = [value, other, like](const CKvrValueList& t, const CKvrValueList& u) {
          return CKvrValue::Like(*value(t, u), *other(t, u)) == like;
        };
        return;
      }
      e.text = std::string(c.name) + " " + ops[op] + " " + d.name;
      // Columns of different types compare in the left column's type.
      e.eval = [value, other, op](const CKvrValueList& t, const CKvrValueList& u) {
        CKvrValue right;
        right.SetTypeText(value(t, u)->Type(), other(t, u)->GetText().c_str());
        return MatchValueOp(value(t, u), codes[op], &right, false);
      };
      return;
    }
    if (form == 3) {  // two constants
      const std::string x = Word(), y = Word();
      e.text = "'" + x + "' " + ops[op] + " '" + y + "'";
      const bool hit = MatchValueOp(std::make_unique<CKvrValue>(x.data(), int(x.size())).get(), codes[op],
                                    std::make_unique<CKvrValue>(y.data(), int(y.size())).get(), false);
      e.eval = [hit](const CKvrValueList&, const CKvrValueList&) { return hit; };
      return;
    }
    const std::string constant = c.text ? Word() : std::to_string(Pick(5));
    const bool swapped = form == 4;  // the constant written on the left
    e.text = swapped ? (c.text ? "'" + constant + "'" : constant) + " " + ops[op] + " " + c.name
                     : std::string(c.name) + " " + ops[op] + " " + (c.text ? "'" + constant + "'" : constant);
    e.eval = [value, op, constant, swapped](const CKvrValueList& t, const CKvrValueList& u) {
      const CKvrValue* v = value(t, u);
      CKvrValue k;
      k.SetTypeText(v->Type(), constant.c_str());
      return swapped ? MatchValueOp(&k, codes[op], v, false) : MatchValueOp(v, codes[op], &k, false);
    };
  }

  std::mt19937 rng_;
};

}  // namespace

TEST(CSearchCondList, RandomConditionsDeliverWhatAPlainEvaluationFinds) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    RandomConditions random(seed);
    TestSelect select;
    select.AddTable("T", {{"a", kvrSigned, 0}, {"b", kvrSigned, 0}, {"s", kvrString, 10}});
    select.AddTable("U", {{"b", kvrSigned, 0}, {"t", kvrString, 10}});
    const int tCount = 3 + random.Pick(6), uCount = 2 + random.Pick(5);
    for (int i = 0; i < tCount; ++i)
      select.Insert("T", {{"a", IntToStr(random.Pick(5))}, {"b", IntToStr(random.Pick(5))}, {"s", random.Word()}});
    for (int i = 0; i < uCount; ++i) select.Insert("U", {{"b", IntToStr(random.Pick(5))}, {"t", random.Word()}});
    std::vector<std::unique_ptr<CKvrValueList>> tRows, uRows;
    for (auto [name, rows] : {std::pair{"T", &tRows}, {"U", &uRows}}) {
      CKvRecord* table = select.tables.Find(name)->Table;
      table->ClearCond();
      table->AddCond("__REC__ID__", COND_ALL, "");
      table->AddCondEnd();
      for (auto values = std::make_unique<CKvrValueList>(); table->GetRec(*values);
           values = std::make_unique<CKvrValueList>())
        rows->push_back(std::move(values));
    }
    for (int n = 0; n < 40; ++n) {
      const std::unique_ptr<Expr> e = random.Make(4);
      const std::string text = RandomConditions::Text(*e);
      std::vector<std::string> expected;
      for (const auto& t : tRows)
        for (const auto& u : uRows)
          if (RandomConditions::Eval(*e, *t, *u))
            expected.push_back("T" + t->GetAt(0)->GetText() + " U" + u->GetAt(0)->GetText());
      std::sort(expected.begin(), expected.end());
      std::set<std::string> names;
      for (const auto& t : tRows)
        for (const auto& u : uRows)
          if (RandomConditions::Eval(*e, *t, *u)) names.insert(t->GetAt(3)->GetText());
      for (bool blocking : {false, true}) {
        EXPECT_EQ(EnumerateCondition(select, text, "T.s", blocking), std::vector<std::string>(names.begin(), names.end()))
            << "seed " << seed << (blocking ? " blocking: " : ": ") << text;
      }
      const std::vector<std::string> rows = RunCondition(select, text);
      if (Sorted(rows) != expected) {
        // The plan, for the failure message.
        LogCapture log;
        CSearchCondList alternatives;
        Compile(select, text, alternatives);
        std::string plan;
        for (const std::string& line : DumpLines(log, "Post")) plan += line + "\n";
        for (auto& t : tRows) plan += "T " + ValuesToCommaText(*t) + "\n";
        for (auto& u : uRows) plan += "U " + ValuesToCommaText(*u) + "\n";
        FAIL() << "seed " << seed << ": " << text << "\n" << plan << testing::PrintToString(Sorted(rows))
               << "\nexpected " << testing::PrintToString(expected);
      }
    }
  }
}

TEST(CCompSimpleList, EnumeratesTheDistinctValuesOfAColumn) {
  TestSelect select;
  select.AddTable("T", {{"name", kvrString, 20}, {"n", kvrSigned, 0}});
  for (const auto& [name, n] : {std::pair{"apple", "1"}, {"apple", "2"}, {"banana", "1"}, {"cherry", "3"}, {"pear", "4"}})
    select.Insert("T", {{"name", name}, {"n", n}});
  const struct {
    const char* condition;
    std::vector<std::string> names;
  } cases[] = {
      {"T.n < 3", {"apple", "banana"}},
      {"", {"apple", "banana", "cherry", "pear"}},
      {"T.__REC__ID__ > 2", {"banana", "cherry", "pear"}},
      // Through the grouped scan of a base node.
      {"T.name LIKE '%an%' OR T.name LIKE '%pp%'", {"apple", "banana"}},
      {"T.n = 1 OR T.name = 'pear'", {"apple", "banana", "pear"}},
  };
  for (const auto& c : cases)
    for (bool blocking : {false, true})
      EXPECT_EQ(EnumerateCondition(select, c.condition, "T.name", blocking), c.names) << c.condition << blocking;
}

TEST(CCompSimpleRtv2, AJoinOfColumnsOfDifferentTypesReadsTheOtherValueInItsColumnsType) {
  TwoTables f;
  f.select.Insert("T", {{"a", "1"}});
  f.select.Insert("T", {{"a", "1"}});
  for (const auto& [b, c] : {std::pair{"1", "1"}, {"2", "1"}, {"3", "2"}}) f.select.Insert("U", {{"b", b}, {"c", c}});
  // U.b (signed) against record ids (unsigned): retrieved through the join, or tested once both
  // records are current.
  EXPECT_EQ(Sorted(RunCondition(f.select, "U.b = T.__REC__ID__")), (std::vector<std::string>{"T1 U1", "T2 U2"}));
  EXPECT_EQ(Sorted(RunCondition(f.select, "T.a = 1 AND U.c = 1 AND U.b <= T.__REC__ID__")),
            (std::vector<std::string>{"T1 U1", "T2 U1", "T2 U2"}));
}

TEST(CCompSimpleRtv, ExtendedItemsAreComputedForTheCurrentRecordsAndTestedLast) {
  TestSelect select;
  CTableInfo* t = select.AddTable("T", {{"n", kvrSigned, 0}});
  for (const char* n : {"1", "2", "3"}) select.Insert("T", {{"n", n}});
  auto* ext = new CTableInfo(ExtendedItemsTableName());
  ext->ColNames->Add("double");
  select.tables.Add(ext);
  int evaluations = 0;
  select.EvalItems = [&] {
    ++evaluations;
    ext->Values->ClearValues();
    auto* v = new CKvrValue(kvrSigned);
    v->SetText(IntToStr(2 * t->Values->GetAt(1)->GetSigned()).c_str());
    ext->Values->Add(v);
    return 1;
  };
  LogCapture log;
  const AnsiString condition = ExtendedItemsTableName() + ".double > 3 AND T.n <> 2";
  EXPECT_EQ(RunCondition(select, condition), (std::vector<std::string>{"T3 " + ExtendedItemsTableName() + "6"}));
  EXPECT_EQ(evaluations, 2);  // for the records that passed T's own comparison
  CSearchCondList alternatives;
  Compile(select, condition, alternatives);
  EXPECT_EQ(DumpLines(log, "Post"),
            (Lines{"(Post1-1) rtv T.n NOT_EQL '2'", "(Post1-2) rtv " + ExtendedItemsTableName() + ".double GRT '3'"}));
  // An item has no records to walk, whatever its comparison (a number never matches a pattern).
  EXPECT_EQ(RunCondition(select, ExtendedItemsTableName() + ".double LIKE '%4%'"), (std::vector<std::string>{}));
  EXPECT_EQ(RunCondition(select, ExtendedItemsTableName() + ".double UNLIKE '%4%'"),
            (std::vector<std::string>{"T1 " + ExtendedItemsTableName() + "2", "T2 " + ExtendedItemsTableName() + "4",
                                      "T3 " + ExtendedItemsTableName() + "6"}));
}

namespace {

// Levels of base nodes inside each other.
int BaseDepth(const CSearchCondList& alternatives) {
  int deepest = 0;
  for (int k = 0; k < alternatives.Count(); ++k) {
    const CCompSimpleList* nodes = alternatives.Get(k)->Nodes;
    for (int i = 0; i < nodes->Count(); ++i)
      if (nodes->Get(i)->IsKind("base")) deepest = std::max(deepest, 1 + BaseDepth(*nodes->Get(i)->Alternatives));
  }
  return deepest;
}

}  // namespace

TEST(CSearchCondList, FactoringNestsAtMostTheDepthLimit) {
  TestSelect select;
  select.AddTable("T", {{"a", kvrSigned, 0}, {"c", kvrString, 10}});
  for (const auto& [a, c] : {std::pair{"0", "v1"}, {"1", "y"}, {"2", "v3"}, {"3", "v40"}}) select.Insert("T", {{"a", a}, {"c", c}});
  // Alternative k shares its first k - 1 comparisons with every later one: unlimited, each
  // shared comparison would nest one more base node.
  AnsiString condition, shared;
  for (int k = 1; k <= 40; ++k) {
    shared += "T.a <> " + IntToStr(100 + k) + " AND ";
    condition += (k > 1 ? " OR (" : "(") + shared + "T.c UNLIKE 'v" + IntToStr(k) + "')";
  }
  EXPECT_EQ(Sorted(RunCondition(select, condition)), (std::vector<std::string>{"T1", "T2", "T3", "T4"}));
  CSearchCondList alternatives;
  ASSERT_TRUE(MakeAlternatives(select, condition, alternatives));
  alternatives.Optimize();
  EXPECT_EQ(BaseDepth(alternatives), CSearchCondList::kMaxFactorDepth);
}
