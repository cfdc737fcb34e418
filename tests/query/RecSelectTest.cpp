#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/StrMacro.h"
#include "query/CompList.h"
#include "query/SearchCond.h"
#include "tests/query/QueryTestSupport.h"
#include "tests/support/RecordServer.h"

namespace {

// Tables a(x, y), b(y, z), c(z) with a few records.
class Select : public ::testing::Test {
 protected:
  void SetUp() override {
    db.MakeTable("a", {{"x", "string"}, {"y", "int"}});
    db.MakeTable("b", {{"y", "int"}, {"z", "string"}});
    db.MakeTable("c", {{"z", "string"}});
  }

  // The select's columns as "table.column" of what they resolved to.
  static std::string Columns(const CRecSelect& s) {
    std::string out;
    for (int i = 0; i < s.Columns()->Count(); ++i) {
      const CColmInfo* c = s.Columns()->Get(i);
      const CTableInfo* t = s.Tables()->Get(c->TableIndex);
      out += (i ? " " : "") + t->Name + "." + t->ColNames->Strings(c->ColumnIndex);
    }
    return out;
  }
  static std::string Tables(const CRecSelect& s) {
    std::string out;
    for (int i = 0; i < s.Tables()->Count(); ++i) out += (i ? " " : "") + s.Tables()->Get(i)->Name;
    return out;
  }

  // Every row of a listing, stepped without blocking; also counts the steps that answered 0.
  std::vector<std::string> Rows(CRecSelect& s, int* zeros = nullptr) {
    std::vector<std::string> rows;
    TStringList row;
    for (int r; (r = s.NextNB(row)) >= 0; row.Clear()) {
      if (r > 0) rows.push_back(Joined(row));
      if (r == 0 && zeros) ++*zeros;
    }
    EXPECT_EQ(s.NextNB(row), -1);
    return rows;
  }
  std::vector<std::string> List(const AnsiString& columns, const AnsiString& tables, const AnsiString& condition) {
    CRecSelect s(&db.files);
    if (!s.ListStart(columns, tables, condition)) return {"ERROR"};
    std::vector<std::string> rows = Rows(s);
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  TestDb db;
};

using Strings = std::vector<std::string>;

}  // namespace

TEST_F(Select, CompileCollectsColumnsAndTables) {
  const struct {
    const char* columns;
    const char* tables;
    const char* condition;
    int result;
    const char* selectColumns;
    const char* selectTables;
  } cases[] = {
      {"a.x, b.y", "", "", 0, "a.x b.y", "a b"},
      {"a.x", "", "c.z = '1'", 1, "a.x c.z", "a c"},    // a condition's column follows the listed ones
      {"a.x, a.x", "", "", 0, "a.x", "a"},              // one text for a column named twice
      {"a.x, f(b.y)", "", "", 0, "a.x b.y", "a b"},     // f( is a function, not a column or table
      {"y", "b a", "", 0, "b.y", "b a"},                // a bare name: the first table that has it
      {"a.z", "a b", "", 0, "b.z", "a b"},              // a table that lacks it: another that has it
      {"x", "a", "y = 1 OR x = 'q' OR y > 3", 3, "a.x a.y", "a"},
      {"a.x", "", " \t ", 0, "a.x", "a"},
  };
  for (const auto& c : cases) {
    CRecSelect s(&db.files);
    EXPECT_EQ(s.Compile(c.columns, c.tables, c.condition), c.result) << c.columns << " / " << c.condition;
    EXPECT_EQ(Columns(s), c.selectColumns) << c.columns;
    EXPECT_EQ(Tables(s), c.selectTables) << c.columns;
  }
}

TEST_F(Select, CompileErrors) {
  const AnsiString syntax = SJ("検索条件を解釈できません。");
  const struct {
    const char* columns;
    const char* condition;
    AnsiString message;
  } cases[] = {
      {"a.x", "a.x = abc", Format(SJ("カラム %s がありません。").c_str(), "abc")},  // a word is a column
      {"a.x", "a.nothing = 1", Format(SJ("カラム %s がありません。").c_str(), "nothing")},
      {"q.x", "", Format(SJ("テーブル %s がありません。").c_str(), "q")},
      {"a.x", "a.y = 1 AND", syntax},
      {"a.x", "(a.y = 1", syntax},
      {"a.x", "a.y =", syntax},
      {"a.x", "a.x = 'abc", syntax},
      {"a.x", "a.y = 1)", syntax},
  };
  for (const auto& c : cases) {
    MessageCatcher messages;
    CRecSelect s(&db.files);
    EXPECT_EQ(s.Compile(c.columns, "", c.condition), -1) << c.condition;
    EXPECT_EQ(messages.Last(), c.message) << c.condition;
    EXPECT_EQ(s.Tables()->Count(), 0);  // reset
    EXPECT_FALSE(s.ListStart(c.columns, "", c.condition));

    MessageCatcher quiet;
    CRecSelect nested(&db.files);
    nested.ReportErrors = false;
    EXPECT_EQ(nested.Compile(c.columns, "", c.condition), -1);
    EXPECT_TRUE(quiet.texts.empty()) << c.condition;
  }
}

TEST_F(Select, RowsOnceAcrossAlternatives) {
  db.Add("a", {{"x", "ab"}, {"y", "1"}});
  db.Add("a", {{"x", "b"}, {"y", "2"}});
  db.Add("a", {{"x", "ca"}, {"y", "3"}});
  db.Add("b", {{"y", "1"}, {"z", "p"}});
  db.Add("b", {{"y", "3"}, {"z", "q"}});

  // Columns that only the condition names follow the listed ones.
  EXPECT_EQ(List("a.x", "", "a.y = 1 OR a.x = 'ab'"), (Strings{"ab|1"}));
  EXPECT_EQ(List("a.x", "", "a.x LIKE '%a%' OR a.x LIKE '%b%'"), (Strings{"ab", "b", "ca"}));
  EXPECT_EQ(List("a.x", "", "a.x like '%a%' AND a.y < 3 OR a.x LIKE '%b%' AND a.y < 3"), (Strings{"ab|1", "b|2"}));
  EXPECT_EQ(List("a.x", "", "a.x uNlIkE 'a%'"), (Strings{"b", "ca"}));
  EXPECT_EQ(List("a.x, b.z", "", ""),
            (Strings{"ab|p", "ab|q", "b|p", "b|q", "ca|p", "ca|q"}));  // no condition: every combination
  EXPECT_EQ(List("a.x, b.z", "", "a.y = b.y"), (Strings{"ab|p|1|1", "ca|q|3|3"}));
  EXPECT_EQ(List("a.x, b.z", "", "b.y = a.y AND b.z = 'q' OR a.x = 'b' AND b.z = 'p'"),
            (Strings{"b|p|1|2", "ca|q|3|3"}));
  // Quoted operands are expanded; two constants compare by their operator.
  EXPECT_EQ(List("a.x", "", "a.y = '$(1+2)'"), (Strings{"ca|3"}));
  EXPECT_EQ(List("a.x", "", "'b' > 'a' AND a.y < 3"), (Strings{"ab|1", "b|2"}));
  EXPECT_EQ(List("a.x", "", "'b' < 'a'"), (Strings{}));
  EXPECT_EQ(List("a.x", "", "a.__REC__ID__ >= 2"), (Strings{"b|2", "ca|3"}));

  // The second alternative meets the record again and passes over it with a step that answers 0.
  CRecSelect s(&db.files);
  ASSERT_TRUE(s.ListStart("a.x", "", "a.y = 1 OR a.x = 'ab'"));
  int zeros = 0;
  EXPECT_EQ(Rows(s, &zeros), (Strings{"ab|1"}));
  EXPECT_GE(zeros, 2);  // the repeat and the move to the next alternative

  // Blocking stepping gives the same rows.
  CRecSelect blocking(&db.files);
  ASSERT_TRUE(blocking.ListStart("a.x", "", "a.y > 1"));
  TStringList row;
  Strings rows;
  while (blocking.Next(row)) {
    rows.push_back(Joined(row));
    row.Clear();
  }
  EXPECT_EQ(rows.size(), 2u);
}

TEST_F(Select, ExtendedItemsAndValues) {
  db.Add("a", {{"x", "one"}, {"y", "5"}});
  db.Add("a", {{"x", "two"}, {"y", "2"}});
  db.Add("b", {{"y", "7"}, {"z", "p"}});

  CRecSelect s(&db.files);
  const AnsiString ext = SJ("__拡張項目__");
  ASSERT_TRUE(s.ListStart("a.x, " + ext + ".v, " + ext + ".w, b.z", "", ext + ".v > 10"));
  s.SetExtendedItem("v", kvrSigned, "a.y * 2.5");  // 12.5 is stored as 12
  s.SetExtendedItem("w", kvrString, "y + 100");    // a bare name reads the first table
  EXPECT_EQ(Rows(s), (Strings{"one|12|105|p"}));

  // An item comparison that two alternatives share still waits for the records it is computed
  // from (it is not taken out in front of them).
  CRecSelect shared(&db.files);
  const AnsiString v = ext + ".v > 10", w = ext + ".w > 104";
  ASSERT_TRUE(shared.ListStart("a.x, " + ext + ".v, " + ext + ".w, b.z", "",
                               "(" + v + " AND " + w + ") OR (" + v + " AND a.x = 'two')"));
  shared.SetExtendedItem("v", kvrSigned, "a.y * 2.5");
  shared.SetExtendedItem("w", kvrString, "y + 100");
  EXPECT_EQ(Rows(shared), (Strings{"one|12|105|p"}));

  AnsiString text;
  EXPECT_TRUE(s.GetValue("a", "x", text));
  EXPECT_FALSE(s.GetValue("a", "nothing", text));
  EXPECT_FALSE(s.GetValue("q", "x", text));
  AnsiString name = "z";
  EXPECT_TRUE(s.QualifyName(name));
  EXPECT_EQ(name, "b.z");
  name = "nothing";
  EXPECT_FALSE(s.QualifyName(name));
  EXPECT_EQ(name, "nothing");
}

TEST_F(Select, UpdateRecords) {
  db.MakeTable("t", {{"p", "int"}, {"q", "int"}, {"s", "string"}});
  for (int i = 1; i <= 250; ++i) db.Add("t", {{"p", IntToStr(i)}, {"q", "0"}, {"s", i % 2 ? "odd" : "even"}});
  TStringList five;
  five.Add("5");

  // One value for two columns: only the first is written.
  EXPECT_TRUE(db.files.UpdateRecords("t.q, t.s", "t", five, "t.p = 3"));
  EXPECT_EQ(db.Field("t", 3, 2), "5");
  EXPECT_EQ(db.Field("t", 3, 3), "odd");

  // What cannot write answers false and leaves the table alone.
  MessageCatcher messages;
  EXPECT_FALSE(db.files.UpdateRecords("t.q", "u", five, "t.p = 4"));  // a table outside the select
  EXPECT_FALSE(db.files.UpdateRecords("a.x", "t", five, "t.p = 4"));  // no column of the table
  EXPECT_FALSE(db.files.UpdateRecords("t.q", "t", TStringList(), "t.p = 4"));
  EXPECT_FALSE(db.files.UpdateRecords("t.q", "t", five, "t.p = 9999"));  // nothing selected
  EXPECT_FALSE(db.files.UpdateRecords("t.q", "t", five, "t.p = 4 AND"));  // never "every record"
  EXPECT_FALSE(db.files.UpdateRecords("t.q", "t", five, "(t.p = 4"));
  EXPECT_EQ(db.Field("t", 4, 2), "0");
  EXPECT_EQ(db.Field("t", 100, 2), "0");

  // The scanned column itself is rewritten: every record once, none twice or missed.
  TStringList big;
  big.Add("1000");
  EXPECT_TRUE(db.files.UpdateRecords("t.p", "t", big, "t.p < 200 OR t.s = 'odd'"));
  EXPECT_EQ(List("t.p", "", "t.p = 1000").size(), 224u);  // 199 + the 25 odd ones from 200
  EXPECT_EQ(db.Field("t", 201, 1), "1000");
  EXPECT_EQ(db.Field("t", 202, 1), "202");

  // The record id is never rewritten.
  TStringList pair;
  pair.Add("77");
  pair.Add("moved");
  EXPECT_TRUE(db.files.UpdateRecords("t.__REC__ID__, t.s", "t", pair, "t.__REC__ID__ = 5"));
  EXPECT_EQ(db.Field("t", 5, 3), "moved");
  EXPECT_EQ(db.Field("t", 77, 3), "odd");
}

TEST(SelectOnServer, UpdateRecordsWritesARecordServerTable) {
  TempDir dir;
  RecordServer server(dir.Path(), "sjis");
  CRecFileList files;
  ASSERT_TRUE(files.AddTable(server.TableName("r.kvr"), "r"));
  ASSERT_EQ(files.AddColumn("r", "p", "int", 0), 1);
  ASSERT_EQ(files.AddColumn("r", "s", "string", 20), 1);
  for (const char* p : {"1", "2", "2"}) {
    TStringList values;
    values.Add(p);
    values.Add("old");
    ASSERT_TRUE(files.InsertRecord("r.p, r.s", "r", values));
  }
  TStringList changed;
  changed.Add("new");
  EXPECT_TRUE(files.UpdateRecords("r.s", "r", changed, "r.p = 2"));
  EXPECT_EQ(ListRows(files, "r.__REC__ID__, r.s", "", ""), (Strings{"1|old", "2|new", "3|new"}));
}

TEST_F(Select, LookupFunctions) {
  db.MakeTable("t", {{"code", "string"}, {"name", "string"}, {"price", "int"}, {"amount", "string"}});
  db.Add("t", {{"code", "A1"}, {"name", "first"}, {"price", "30"}, {"amount", "1"}});
  db.Add("t", {{"code", "B2"}, {"name", "second"}, {"price", "-4"}, {"amount", "2.5"}});
  db.Add("t", {{"code", "O'Brien"}, {"name", "quoted"}, {"price", "7"}, {"amount", "x"}});
  db.Add("t", {{"code", "C3"}, {"name", "third"}, {"price", "12"}, {"amount", ""}});

  CRecSelect s(&db.files);
  ASSERT_TRUE(s.ListStart("t.name", "", "t.code = 'A1'"));
  auto call = [&s](const char* function, std::vector<AnsiString> args) {
    TStringList list;
    for (const AnsiString& a : args) list.Add(a);
    return s.CallFunction(Utf8ToSjis(function), &list);
  };
  MessageCatcher messages;
  EXPECT_EQ(call("検索", {"t.code = 'A1'", "t.name", "none"}), "first");
  EXPECT_EQ(call("検索", {"t.code = 'Z9'", "t.name", "none"}), "none");
  EXPECT_EQ(call("検索", {"q.code = 'A1'", "q.name", "none"}), "none");  // no table: the default
  EXPECT_EQ(call("検索", {"t.code = 'A1", "t.name", "none"}), "none");    // no condition: the default
  EXPECT_EQ(call("検索件数", {"t.code = 'A1' OR t.name = 'first' OR t.price > 10"}), "2");
  EXPECT_EQ(call("検索件数", {"t.code ="}), "0");
  EXPECT_EQ(call("検索合計", {"t.price > -100", "t.amount"}), "3.5");
  EXPECT_EQ(call("検索A", {"t.code", "=", "O'Brien", "t.name", "none"}), "quoted");
  EXPECT_EQ(call("検索Ａ", {"t.code", "=", "x' OR t.code <> '", "t.name", "none"}), "none");
  EXPECT_EQ(call("検索最小", {"t.price", ">", "0", "t.name", "none"}), "quoted");
  EXPECT_EQ(call("検索最大", {"t.price", "<", "20", "t.name", "none"}), "third");
  EXPECT_EQ(call("検索最小", {"t.price", ">", "100", "t.name", "none"}), "none");
  EXPECT_EQ(call("検索最小", {"t.code", "<>", "O'Brien", "t.name", "none"}), "first");
  EXPECT_EQ(call("検索最大", {"t.code", "<>", "A1", "t.name", "none"}), "quoted");
  // The last look-up keeps the whole condition: of the records that share the best value, one
  // that fails it is passed over.
  db.MakeTable("d", {{"k", "int"}, {"name", "string"}});
  for (const auto& [k, name] : {std::pair{"1", "a"}, {"1", "b"}, {"2", "c"}}) db.Add("d", {{"k", k}, {"name", name}});
  EXPECT_EQ(call("検索最小", {"d.k", "> 0 AND d.name <>", "a", "d.name", "none"}), "b");
  EXPECT_TRUE(messages.texts.empty());

  EXPECT_EQ(call("検索A", {"t.code", "=", "A1", "t.name"}), SJ("検索Ａ()"));
  EXPECT_EQ(call("検索", {"t.code = 'A1'", "t.name"}), SJ("検索()"));
  EXPECT_EQ(call("検索最大", {}), SJ("検索()"));
  EXPECT_EQ(call("検索件数", {}), SJ("検索件数()"));
  EXPECT_EQ(call("検索合計", {"t.code = 'A1'"}), SJ("検索合計()"));

  // Through the select's evaluator, reading the current record.
  TStringList row;
  ASSERT_TRUE(s.Next(row));
  AnsiString result;
  int consumed = 0;
  EXPECT_TRUE(s.GetMacro()->EvalMacro(SJ("name + 検索件数('t.price > 0')").c_str(), consumed, result));
  EXPECT_EQ(result, "first3");
}
