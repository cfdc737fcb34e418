// Random conditions over random small tables: the combinations a select delivers, stepped with and
// without blocking and through the record-file list's cursor, are those that a plain evaluation of
// the condition over every combination of records accepts, each once.
//
// Tables a(n int, s string) and b(m int, t string). Conditions mix AND, OR and NOT, every
// operator, LIKE and UNLIKE patterns, joins between the tables, record ids, constants on the
// left and comparisons of two constants. QUERY_PROPERTY_ROUNDS raises the number of table pairs;
// the last pair is large.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <set>

#include "store/CondOp.h"
#include "tests/query/QueryTestSupport.h"

namespace {

const char* const kStrings[] = {"", "a", "ab", "abc", "b", "ba", "b'c", "%", "a%b", "\x93\xfa\x96\x7b"};
const char* const kPatterns[] = {"a%", "%a", "%b%", "ab", "%", "b'%", "%\\%%", "\x93\xfa%", ""};
const char* const kOps[] = {"<", "<=", "=", ">=", ">", "<>", "!="};

int OpCode(const std::string& op) {
  if (op == "<") return COND_LES;
  if (op == "<=") return COND_LES_EQL;
  if (op == "=") return COND_EQL;
  if (op == ">=") return COND_GRT_EQL;
  if (op == ">") return COND_GRT;
  if (op == "LIKE") return COND_LIKE;
  if (op == "UNLIKE") return COND_NOT_LIKE;
  return COND_NOT_EQL;
}

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

// One record: its id and its two column texts.
struct Row {
  uint32_t id;
  std::string num;
  std::string text;
};

// The current pair of records a condition is evaluated on.
struct Pair {
  const Row* a;
  const Row* b;
};

// An operand: a column of a or b (0 id, 1 number, 2 text) or a constant of a type.
struct Operand {
  int table = -1;  // 0 a, 1 b, -1 a constant
  int column = 0;
  char type = kvrString;
  std::string text;

  std::string Written() const {
    if (table >= 0) {
      static const char* const names[2][3] = {{"a.__REC__ID__", "a.n", "a.s"}, {"b.__REC__ID__", "b.m", "b.t"}};
      return names[table][column];
    }
    return type == kvrString ? Quote(text) : text;
  }
  CKvrValue Value(const Pair& p) const {
    CKvrValue v(type);
    if (table < 0) {
      v.SetText(text.c_str());
    } else {
      const Row* r = table == 0 ? p.a : p.b;
      v.SetText(column == 0 ? std::to_string(r->id).c_str() : column == 1 ? r->num.c_str() : r->text.c_str());
    }
    return v;
  }
};

struct Node {
  enum Kind { And, Or, Not, Compare } kind;
  std::unique_ptr<Node> left, right;
  Operand lhs, rhs;
  std::string op;

  bool Eval(const Pair& p) const {
    switch (kind) {
      case And: return left->Eval(p) && right->Eval(p);
      case Or: return left->Eval(p) || right->Eval(p);
      case Not: return !left->Eval(p);
      case Compare: {
        // A constant on the left is compared as the column's value seen from the other side.
        const bool swap = lhs.table < 0 && rhs.table >= 0;
        const Operand& l = swap ? rhs : lhs;
        const Operand& r = swap ? lhs : rhs;
        const int code = swap ? MirrorCondOp(OpCode(op)) : OpCode(op);
        CKvrValue lv = l.Value(p);
        CKvrValue rv(l.type);
        rv.SetText(r.Value(p).GetText().c_str());
        return MatchValueOp(&lv, code, &rv, false);
      }
    }
    return false;
  }

  std::string Text(std::mt19937& rng) const {
    auto word = [&](const char* w) {
      std::string s = w;
      if (rng() % 2)
        for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
      return s;
    };
    switch (kind) {
      case And: return "(" + left->Text(rng) + " " + word("AND") + " " + right->Text(rng) + ")";
      case Or: return "(" + left->Text(rng) + " " + word("OR") + " " + right->Text(rng) + ")";
      case Not: return word("NOT") + " " + left->Text(rng);
      case Compare: return lhs.Written() + " " + (op == "LIKE" || op == "UNLIKE" ? word(op.c_str()) : op) + " " + rhs.Written();
    }
    return "";
  }
};

class Gen {
 public:
  Gen(uint32_t seed, bool twoTables) : rng(seed), two_(twoTables) {}

  int Int(int n) { return int(rng() % uint32_t(n)); }

  std::unique_ptr<Node> Condition(int depth) {
    auto node = std::make_unique<Node>();
    const int pick = depth <= 0 ? 9 : Int(10);
    if (pick < 3) {
      node->kind = Node::And;
    } else if (pick < 5) {
      node->kind = Node::Or;
    } else if (pick < 6) {
      node->kind = Node::Not;
    } else {
      node->kind = Node::Compare;
      Comparison(*node);
      return node;
    }
    node->left = Condition(depth - 1);
    if (node->kind != Node::Not) node->right = Condition(depth - 1);
    return node;
  }

 private:
  int Table() { return two_ ? Int(2) : 0; }

  void Comparison(Node& n) {
    const int kind = Int(two_ ? 10 : 8);
    n.op = kOps[Int(7)];
    if (kind < 3) {  // number column against a number
      n.lhs = {Table(), 1, kvrSigned, ""};
      n.rhs = {-1, 0, kvrSigned, std::to_string(Int(6) - 1)};
    } else if (kind < 6) {  // text column against a text or a pattern
      n.lhs = {Table(), 2, kvrString, ""};
      if (Int(2)) {
        n.op = Int(2) ? "LIKE" : "UNLIKE";
        n.rhs = {-1, 0, kvrString, kPatterns[Int(sizeof kPatterns / sizeof *kPatterns)]};
      } else {
        n.rhs = {-1, 0, kvrString, kStrings[Int(sizeof kStrings / sizeof *kStrings)]};
      }
    } else if (kind < 7) {  // record id
      n.lhs = {Table(), 0, kvrUnsigned, ""};
      n.rhs = {-1, 0, kvrUnsigned, std::to_string(Int(8))};
    } else if (kind < 8) {  // two constants
      n.lhs = {-1, 0, kvrString, kStrings[1 + Int(5)]};
      n.rhs = {-1, 0, kvrString, kStrings[1 + Int(5)]};
    } else if (kind < 9) {  // a join on numbers
      n.lhs = {0, 1, kvrSigned, ""};
      n.rhs = {1, 1, kvrSigned, ""};
    } else {  // a join on texts, LIKE taking the right column as the pattern
      n.lhs = {0, 2, kvrString, ""};
      n.rhs = {1, 2, kvrString, ""};
      if (Int(3) == 0) n.op = Int(2) ? "LIKE" : "UNLIKE";
      if (Int(2)) std::swap(n.lhs, n.rhs);
    }
    // Now and then a constant on the left of a column (never for a pattern).
    if (n.rhs.table < 0 && n.lhs.table >= 0 && n.op != "LIKE" && n.op != "UNLIKE" && Int(4) == 0)
      std::swap(n.lhs, n.rhs);
  }

 public:
  std::mt19937 rng;

 private:
  bool two_;
};

int Rounds() {
  const char* s = std::getenv("QUERY_PROPERTY_ROUNDS");
  return s ? std::max(1, std::atoi(s)) : 12;
}

enum class Stepping { NonBlocking, Blocking, ThroughList };

// The record ids of every row; rows carry the condition's columns after the listed ids.
std::vector<std::string> Delivered(CRecFileList& files, const AnsiString& columns, const std::string& condition,
                                   Stepping how) {
  CRecSelect select(&files);
  const bool started = how == Stepping::ThroughList ? files.ListStart(columns, "", condition)
                                                    : select.ListStart(columns, "", condition);
  if (!started) return {"ERROR"};
  std::vector<std::string> rows;
  TStringList row;
  for (;;) {
    row.Clear();
    if (how == Stepping::Blocking) {
      if (!select.Next(row)) break;
    } else {
      const int r = how == Stepping::ThroughList ? files.ListNextNB(row) : select.NextNB(row);
      if (r < 0) break;
      if (r == 0) {
        EXPECT_EQ(row.Count(), 0);
        continue;
      }
    }
    std::string ids = row[0];
    if (columns.find(',') != AnsiString::npos) ids += "|" + row[1];
    rows.push_back(ids);
  }
  return rows;
}

}  // namespace

TEST(QueryProperty, SelectRowsEqualPlainEvaluation) {
  for (int round = 0; round < Rounds(); ++round) {
    for (int mode = 0; mode < 2; ++mode) {
      const bool two = mode == 1;
      Gen gen(uint32_t(round * 7919 + mode * 104729 + 1), two);
      TestDb db;
      db.MakeTable("a", {{"n", "int"}, {"s", "string"}});
      db.MakeTable("b", {{"m", "int"}, {"t", "string"}});
      std::vector<Row> rows[2];
      // The last round's tables are large enough for full result caches, runs too long to cache
      // and reads that take more than one bounded step.
      const bool large = round == Rounds() - 1;
      for (int t = 0; t < 2; ++t) {
        const int count = large ? (t == 0 ? 400 : 25) : gen.Int(two ? 6 : 9);
        for (int i = 0; i < count; ++i) {
          Row r{0, std::to_string(gen.Int(5) - 1), kStrings[gen.Int(sizeof kStrings / sizeof *kStrings)]};
          r.id = db.Add(t == 0 ? "a" : "b", {{t == 0 ? "n" : "m", r.num}, {t == 0 ? "s" : "t", r.text}});
          ASSERT_NE(r.id, 0u);
          rows[t].push_back(r);
        }
      }
      const AnsiString columns = two ? "a.__REC__ID__, b.__REC__ID__" : "a.__REC__ID__";
      for (int c = 0; c < 25; ++c) {
        const std::unique_ptr<Node> cond = gen.Condition(1 + gen.Int(3));
        const std::string text = cond->Text(gen.rng);
        std::vector<std::string> expected;
        const Row none{0, "", ""};
        for (const Row& a : rows[0]) {
          for (size_t j = 0; j < (two ? rows[1].size() : 1); ++j) {
            const Pair p{&a, two ? &rows[1][j] : &none};
            if (cond->Eval(p))
              expected.push_back(two ? std::to_string(a.id) + "|" + std::to_string(rows[1][j].id) : std::to_string(a.id));
          }
        }
        std::sort(expected.begin(), expected.end());
        for (Stepping how : {Stepping::NonBlocking, Stepping::Blocking, Stepping::ThroughList}) {
          std::vector<std::string> got = Delivered(db.files, columns, text, how);
          std::sort(got.begin(), got.end());
          ASSERT_EQ(got, expected) << "round " << round << (two ? " two tables" : " one table") << " stepping "
                                   << int(how) << "\ncondition: " << Show(text);
        }
      }
    }
  }
}
