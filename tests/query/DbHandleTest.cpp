#include <gtest/gtest.h>

#include "foundation/CapInfo.h"
#include "foundation/LogForm.h"
#include "platform/SysUtils.h"
#include "query/DbHandle.h"
#include "tests/query/QueryTestSupport.h"

namespace {

std::vector<std::string> Texts(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

// A handle with table t (s string, n int, u unsigned, r real, k keyword) and table o (x string).
struct Db {
  Db() {
    handle.AddTable(File("t"), "t");
    handle.AddTable(File("o"), "o");
    for (const auto& c : {std::pair{"s", "string"}, {"n", "int"}, {"u", "unsigned"}, {"r", "real"}, {"k", "keyword"}})
      EXPECT_TRUE(handle.AddColumn("t", c.first, c.second, 20));
    EXPECT_TRUE(handle.AddColumn("o", "x", "string", 20));
  }
  AnsiString File(const AnsiString& table) const { return dir.File(table + ".kv"); }
  void Add(const char* s, const char* n) {
    TStringList values;
    values.Add(s);
    values.Add(n);
    EXPECT_TRUE(handle.InsertRecord("s, n", "t", values));
  }
  std::vector<std::string> List(const TStrings& conditions, const AnsiString& columns) {
    std::vector<std::string> rows;
    if (!handle.ListStart(conditions, columns)) return {"ERROR"};
    TStringList row;
    int r;
    while ((r = handle.ListNextNB(row)) >= 0)
      if (r > 0) rows.push_back(Joined(row));
    return rows;
  }
  TempDir dir;
  CDbHandle handle;
};

}  // namespace

TEST(CDbHandle, RegisteredTables) {
  TempDir dir;
  CDbHandle handle;
  EXPECT_FALSE(handle.MainTableExists());
  EXPECT_TRUE(handle.AddTable(dir.File("a.kv"), "a"));
  EXPECT_FALSE(handle.AddTable(dir.File("other.kv"), "a"));
  EXPECT_TRUE(handle.AddTable(dir.File("a.kv"), "a2"));
  EXPECT_TRUE(handle.AddTable(dir.File("b.kv"), "b"));
  EXPECT_FALSE(handle.MainTableExists());  // no file yet
  for (const char* t : {"a", "b"}) EXPECT_TRUE(handle.AddColumn(t, "x", "string", 10));
  EXPECT_TRUE(handle.MainTableExists());

  int asked = 0;
  handle.SetTableResolver([&](const AnsiString&) {
    ++asked;
    return AnsiString(dir.File("r.kv"));
  });
  std::unique_ptr<CDbHandle> copy(handle.Clone());
  EXPECT_EQ(Texts(copy->TableNames()), (std::vector<std::string>{"a", "a2", "b"}));
  EXPECT_EQ(Texts(copy->FileNames()), Texts(handle.FileNames()));
  EXPECT_EQ(copy->GetRecFileList()->GetFileName("elsewhere"), "");  // the resolver stayed behind
  EXPECT_EQ(asked, 0);
  EXPECT_TRUE(handle.TableExists("b"));

  EXPECT_TRUE(handle.RemoveTableByFile(dir.File("a.kv")));  // the first row with that file
  EXPECT_EQ(Texts(handle.TableNames()), (std::vector<std::string>{"a2", "b"}));
  EXPECT_FALSE(handle.RemoveTable("a"));
  EXPECT_TRUE(handle.AddTable(dir.File("a.kv"), "a"));  // the record-file list forgot it too
  EXPECT_TRUE(handle.DeleteTable("b"));
  EXPECT_FALSE(FileExists(dir.File("b.kv")));
  EXPECT_EQ(Texts(handle.TableNames()), (std::vector<std::string>{"a2", "a"}));

  const struct {
    const char* name;
    bool recId, data;
  } columns[] = {{"__REC__ID__", true, false}, {"a.__REC__ID__", true, false}, {"x", false, true},
                 {"a.x", false, true}, {"__REC__ID__.x", false, true}};
  for (const auto& c : columns) {
    EXPECT_EQ(handle.IsRecIdColumn(c.name), c.recId) << c.name;
    EXPECT_EQ(handle.IsDataColumn(c.name), c.data) << c.name;
  }
  handle.ClearTables();
  EXPECT_EQ(handle.TableNames().Count(), 0);
  EXPECT_FALSE(handle.IsRecIdColumn("__REC__ID__"));
  EXPECT_FALSE(handle.IsDataColumn("x"));
  EXPECT_EQ(handle.GetRecFileList()->Count(), 0);
  EXPECT_EQ(handle.GetRecFileList()->GetFileName("elsewhere"), dir.File("r.kv"));  // the resolver stays
  EXPECT_EQ(asked, 1);
}

TEST(CDbHandle, TableBlock) {
  CDbHandle handle;
  handle.AddTable("t.kv", "t");
  TMemoryStream out;
  ASSERT_TRUE(handle.SaveTables(&out));
  EXPECT_EQ(out.Bytes(), "00000001\n00000001\n");

  const struct {
    const char* what;
    std::string bytes;
    bool read;
    std::vector<std::string> tables;
  } cases[] = {
      {"as written", "00000001\n00000001\n", true, {}},
      {"with names", "0000000ba.kv,\"b c\"\n00000004A,B\n", true, {"A", "B"}},
      {"uneven names", "0000000aa.kv,b.kv\n00000002A\n", true, {"A"}},
      {"an empty name", "00000006,b.kv\n00000004A,B\n", true, {"B"}},
      {"one record", "00000001\n", false, {}},
      {"empty record", "0000000000000001\n", false, {}},
      {"no line feed", "00000001x00000001\n", false, {}},
      {"length past the end", "00000001\n000000ffA\n", false, {}},
      {"not hexadecimal", "0000000g\n00000001\n", false, {}},
      {"nothing", "", false, {}},
  };
  for (const auto& c : cases) {
    CDbHandle loaded;
    loaded.AddTable("old.kv", "old");
    loaded.SetTableResolver([](const AnsiString&) { return AnsiString("resolved.kv"); });
    TMemoryStream in(c.bytes);
    EXPECT_EQ(loaded.LoadTables(&in), c.read) << c.what;
    EXPECT_EQ(Texts(loaded.TableNames()), c.tables) << c.what;
    EXPECT_EQ(loaded.GetRecFileList()->GetFileName("other"), "") << c.what;  // no resolver any more
  }
  CDbHandle named;
  TMemoryStream in(std::string("0000000ba.kv,\"b c\"\n00000004A,B\n"));
  ASSERT_TRUE(named.LoadTables(&in));
  EXPECT_EQ(Texts(named.FileNames()), (std::vector<std::string>{"a.kv", "b c"}));
  EXPECT_EQ(named.GetRecFileList()->GetFileName("B"), "b c");
}

TEST(CDbHandle, ListingAndEnumeration) {
  Db db;
  for (const auto& [s, n] : {std::pair{"apple", "1"}, {"banana", "2"}, {"cherry", "3"}}) db.Add(s, n);

  FormLog = new TFormLog(Application);
  FormLog->Show();
  std::unique_ptr<TStringList> two(Texts({"n = 1", "n = 3"}));
  EXPECT_EQ(db.List(*two, "s, n"), (std::vector<std::string>{"apple|1", "cherry|3"}));
  const TStrings& log = *FormLog->RichEdit1->Lines();
  ASSERT_GE(log.Count(), 2);
  EXPECT_NE(log[0].find(">ListStart(): conds=(n = 1) OR (n = 3)"), AnsiString::npos);
  EXPECT_NE(log[1].find(">             cols=s, n"), AnsiString::npos);
  delete FormLog;

  TStringList none;
  EXPECT_EQ(db.List(none, "s, n"), (std::vector<std::string>{"apple|1", "banana|2", "cherry|3"}));
  {
    MessageCatcher messages;
    std::unique_ptr<TStringList> bad(Texts({"n = "}));
    EXPECT_EQ(db.List(*bad, "s"), (std::vector<std::string>{"ERROR"}));
    TStringList row;
    EXPECT_EQ(db.handle.ListNextNB(row), -1);
  }
  ASSERT_TRUE(db.handle.ListStartCond("n >= 2", "s, n"));
  TStringList row;
  ASSERT_TRUE(db.handle.ListNext(row));
  EXPECT_EQ(Joined(row), "banana|2");
  db.handle.ListEnd();
  EXPECT_FALSE(db.handle.ListNext(row));

  // Extended items join the open list cursor's rows; the descriptor's type picks the value kind.
  ASSERT_TRUE(db.handle.ListStartCond("n = 2", SJ("s, __拡張項目__.twice, n")));
  CCapInfo item;
  item.Name = SJ("__拡張項目__.twice");
  item.Type = 1;
  item.Expression = "n * 2";
  db.handle.GetExtendedValue(&item);
  ASSERT_TRUE(db.handle.ListNext(row));
  EXPECT_EQ(Joined(row), "banana|4|2");
  db.handle.ListEnd();

  // A bare column is one of the first registered table.
  TStringList values;
  db.handle.EnumStart("", "s", 3, values, nullptr);
  EXPECT_EQ(Texts(values), (std::vector<std::string>{"app", "ban", "che"}));
  TStringList some;
  db.handle.EnumStartCond("n <= 2", "s", 0);
  while (db.handle.EnumNext(some)) {
  }
  std::vector<std::string> got = Texts(some);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{"apple", "banana"}));
  TStringList nb;
  db.handle.EnumStartCond("", "t.n", 0);
  while (db.handle.EnumNextNB(nb) >= 0) {
  }
  EXPECT_EQ(nb.Count(), 3);
}

TEST(CDbHandle, RecordsById) {
  Db db;
  for (const auto& [s, n] : {std::pair{"apple", "1"}, {"banana", "2"}, {"cherry", "3"}}) db.Add(s, n);
  TStringList row;
  EXPECT_TRUE(db.handle.GetRecordById("2", "t", "s, n, __REC__ID__", row));
  EXPECT_EQ(Joined(row), "banana|2|2");
  for (const char* id : {"9", "", "1 OR n = 3", "n"}) {
    EXPECT_FALSE(db.handle.GetRecordById(id, "t", "s", row)) << id;
    EXPECT_EQ(row.Count(), 0) << id;
  }

  std::unique_ptr<TStringList> ids(Texts({"1", "3"}));
  EXPECT_TRUE(db.handle.SetValue("", *ids, "s", "changed"));  // the first registered table
  EXPECT_TRUE(db.handle.GetRecordById("3", "t", "__REC__ID__, s", row));
  EXPECT_EQ(Joined(row), "3|changed");
  std::unique_ptr<TStringList> withMissing(Texts({"2", "7"}));
  EXPECT_FALSE(db.handle.SetValue("t", *withMissing, "s", "x"));
  TStringList empty;
  EXPECT_TRUE(db.handle.SetValue("t", empty, "s", "x"));
  EXPECT_TRUE(db.handle.DeleteRecords("t", empty));
  EXPECT_FALSE(db.handle.DeleteRecords("", *withMissing));  // 2 goes, 7 is not there
  EXPECT_TRUE(db.handle.DeleteRecords("", *ids));
  TStringList none;
  EXPECT_EQ(db.List(none, "s"), std::vector<std::string>{});

  std::unique_ptr<TStringList> values(Texts({"u1"}));
  EXPECT_TRUE(db.handle.InsertRecord("s", "t", *values));
  std::unique_ptr<TStringList> newValues(Texts({"upd"}));
  EXPECT_TRUE(db.handle.UpdateRecords("s", "t", *newValues, "s = 'u1'"));
  EXPECT_FALSE(db.handle.UpdateRecords("s", "t", *newValues, "s = 'nothing'"));
  EXPECT_EQ(db.List(none, "s"), std::vector<std::string>{"upd"});
}

TEST(CDbHandle, Columns) {
  Db db;
  const struct {
    const char* column;
    const char* type;
  } cases[] = {{"t.s", "string"}, {"t.n", "int"},        {"t.u", "int"},       {"t.r", "real"},
               {"t.k", "keyword"}, {"n", "int"},         {"t.missing", "string"}, {"o.x", "string"},
               {"__REC__ID__", "int"}};
  for (const auto& c : cases) EXPECT_EQ(db.handle.GetColumnType(c.column), c.type) << c.column;

  TStringList names, types, options;
  db.handle.GetColumnInfo("t", names, &types, &options);
  EXPECT_EQ(Texts(names), (std::vector<std::string>{"__REC__ID__", "s", "n", "u", "r", "k"}));
  EXPECT_EQ(Texts(types), (std::vector<std::string>{"int", "string", "int", "int", "real", "keyword"}));
  EXPECT_EQ(options.Count(), 6);
  TStringList allNames, allTypes;
  EXPECT_EQ(db.handle.GetAllColumns(allNames, allTypes), 6);
  EXPECT_EQ(allNames[1], "t.s");

  // A registered table without a file lists nothing and is not created by looking.
  db.handle.AddTable(db.File("later"), "later");
  TStringList none;
  db.handle.GetColumnTypes("later", none, nullptr);
  db.handle.GetColumnInfo("later", none, nullptr, nullptr);
  EXPECT_EQ(none.Count(), 0);
  EXPECT_FALSE(FileExists(db.File("later")));

  EXPECT_TRUE(db.handle.AddColumn("t", "s", "int", 0));  // already there
  {
    MessageCatcher messages;
    EXPECT_FALSE(db.handle.AddColumn("nowhere", "s", "string", 10));
    EXPECT_EQ(db.handle.SetColumnInfo("nowhere", names, options), -1);
    EXPECT_EQ(db.handle.ReIndexTable("nowhere", nullptr, nullptr), -1);
  }
  db.Add("a", "1");
  db.Add("b", "2");
  std::vector<int> progress;
  EXPECT_EQ(db.handle.ReIndexTable(
                "t", [](void* seen, int done) { static_cast<std::vector<int>*>(seen)->push_back(done); return 0; },
                &progress),
            0);  // nothing was missing
  EXPECT_EQ(progress, (std::vector<int>{0, 1}));
}
