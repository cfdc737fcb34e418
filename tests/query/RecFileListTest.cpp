#include <gtest/gtest.h>

#include "foundation/LogForm.h"
#include "platform/SysUtils.h"
#include "tests/query/QueryTestSupport.h"

namespace {

std::vector<std::string> Texts(const TStrings& list, bool withObjects = false) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i)
    out.push_back(list[i] + (withObjects && list.Objects(i) ? "*" : ""));
  return out;
}

}  // namespace

TEST(CRecFileList, NamesThroughRegistrationAndResolver) {
  TempDir dir;
  CRecFileList files;
  int asked = 0;
  files.SetTableResolver([&](const AnsiString& name) -> AnsiString {
    ++asked;
    return name == "known" ? AnsiString(dir.File("known.kv")) : AnsiString();
  });
  EXPECT_EQ(files.GetFileName(""), "");
  EXPECT_TRUE(files.AddTable(dir.File("a.kv"), "a"));
  EXPECT_FALSE(files.AddTable(dir.File("other.kv"), "a"));
  EXPECT_TRUE(files.AddTable(dir.File("a.kv"), "a2"));  // a file may serve two names
  EXPECT_EQ(files.GetFileName(""), dir.File("a.kv"));
  EXPECT_EQ(asked, 0);

  EXPECT_EQ(files.GetFileName("known"), dir.File("known.kv"));
  EXPECT_EQ(files.GetFileName("known"), dir.File("known.kv"));
  EXPECT_EQ(asked, 1);  // the answer was registered
  EXPECT_EQ(files.Count(), 3);

  // A resolvable table without a file does not exist until an operation opens (and creates) it.
  EXPECT_FALSE(files.TableExists("known"));
  {
    std::unique_ptr<CKvRecord> t(files.OpenTable("known"));
    ASSERT_TRUE(t);
    t->Close();
  }
  EXPECT_TRUE(files.TableExists("known"));

  MessageCatcher messages;
  EXPECT_EQ(files.OpenTable("nowhere"), nullptr);
  EXPECT_EQ(messages.Last(), Format(SJ("テーブル名 %s が不正です。").c_str(), "nowhere"));
  EXPECT_FALSE(files.TableExists("nowhere"));

  EXPECT_TRUE(files.DeleteTable("known"));
  EXPECT_FALSE(FileExists(dir.File("known.kv")));
  EXPECT_FALSE(files.DeleteTable(""));  // a file is never deleted by an empty name
  EXPECT_TRUE(files.RemoveTable("a2"));
  EXPECT_FALSE(files.RemoveTable("a2"));
  files.ClearTables();
  EXPECT_EQ(files.Count(), 0);
}

TEST(CRecFileList, ColumnOperations) {
  TestDb db;
  db.MakeTable("t", {{"n", "int"}, {"u", "unsigned"}, {"r", "real"}, {"k", "keyword"}, {"d", "date"}});
  EXPECT_EQ(db.files.AddColumn("t", "n", "int", 10), 0);

  TStringList names, types, options;
  db.files.GetColumnInfo("t", names, &types, &options);
  EXPECT_EQ(Texts(names), (std::vector<std::string>{"__REC__ID__", "n", "u", "r", "k", "d"}));
  EXPECT_EQ(Texts(types), (std::vector<std::string>{"int", "int", "int", "real", "keyword", "string"}));

  TStringList all, allTypes;
  db.files.GetAllColumns(all, allTypes);
  EXPECT_EQ(all[1], "t.n");
  EXPECT_EQ(allTypes.Count(), all.Count());

  TStringList setNames, setOptions;
  setNames.Add("d");
  setNames.Add("missing");
  setOptions.Add(ColOptToText(kvrAutoFixed, "X", ""));
  setOptions.Add("1");
  EXPECT_EQ(db.files.SetColumnInfo("t", setNames, setOptions), 1);
  TStringList names2, lines;
  db.files.GetColumnInfo("t", names2, nullptr, &lines);
  EXPECT_EQ(lines[5], ColOptToText(kvrAutoFixed, "X", ""));

  MessageCatcher messages;
  EXPECT_EQ(db.files.SetColumnInfo("nowhere", setNames, setOptions), -1);
  EXPECT_EQ(db.files.ReIndexTable("nowhere", nullptr, nullptr), -1);
}

TEST(CRecFileList, InsertChangeAndDeleteById) {
  TestDb db;
  db.MakeTable("a", {{"x", "string"}, {"z", "int"}});
  db.MakeTable("b", {{"y", "string"}, {"x", "string"}});
  TStringList values;
  for (const char* v : {"ax", "by", "bx", "unused"}) values.Add(v);
  // a.x by its table part; y only b has; b.x by its table part; the fourth value has no column.
  EXPECT_TRUE(db.files.InsertRecord("a.x, y, b.x", "a b", values));
  EXPECT_EQ(db.Field("a", 1, 1), "ax");
  EXPECT_EQ(db.Field("b", 1, 1), "by");
  EXPECT_EQ(db.Field("b", 1, 2), "bx");

  // A bare name goes to the first table that has the column; a shorter value list drops the rest.
  TStringList one;
  one.Add("first");
  EXPECT_TRUE(db.files.InsertRecord("x, y", "a b", one));
  EXPECT_EQ(db.Field("a", 2, 1), "first");
  EXPECT_EQ(db.Field("b", 2, 1), "");  // b still took a record, with empty lists

  {
    MessageCatcher messages;
    EXPECT_FALSE(db.files.InsertRecord("x", "a nowhere", one));  // a table that did not open took nothing
    EXPECT_FALSE(messages.texts.empty());
  }

  TStringList ids;
  for (const char* id : {"1", "2", "99"}) ids.Add(id);
  EXPECT_EQ(db.files.SetValue("a", ids, "a.x", "changed"), 2);
  EXPECT_EQ(db.Field("a", 1, 1), "changed");
  EXPECT_EQ(db.files.SetValue("a", ids, "nothing", "v"), 0);
  EXPECT_EQ(db.files.DeleteRecords("a", ids), 2);
  EXPECT_EQ(db.Field("a", 1, 1), "?");

  MessageCatcher messages;
  EXPECT_EQ(db.files.DeleteRecords("nowhere", ids), -1);
  EXPECT_EQ(messages.Last(), Format(SJ("テーブル名 %s が不正です。").c_str(), "nowhere"));
}

TEST(CRecFileList, CursorsAndDistinctValues) {
  TestDb db;
  db.MakeTable("t", {{"s", "string"}, {"n", "int"}});
  for (const char* s : {"abcdef", "abcdxy", "b", "abc\x82\xa0"}) db.Add("t", {{"s", s}, {"n", "1"}});
  db.Add("t", {{"s", "zz"}, {"n", "2"}});

  // No condition: the index walk; the table marks what is longer than the cut.
  TStringList out;
  EXPECT_TRUE(db.files.EnumStart("", "t.s", 4, out, nullptr));
  std::vector<std::string> all = Texts(out, true);
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, (std::vector<std::string>{"abcd*", "abc\x82\xa0*", "b", "zz"}));

  // A condition: sorted, cut by whole characters, without objects when nothing is cut.
  TStringList sorted;
  EXPECT_TRUE(db.files.EnumStart("t.n = 1", "t.s", 0, sorted, nullptr));
  EXPECT_EQ(Texts(sorted, true), (std::vector<std::string>{"abcdef", "abcdxy", "abc\x82\xa0", "b"}));
  TStringList cut;
  EXPECT_TRUE(db.files.EnumStart("t.n = 1", "t.s", 4, cut, nullptr));
  EXPECT_EQ(Texts(cut, true), (std::vector<std::string>{"abcd*", "abc\x82\xa0", "b"}));

  // The enumeration cursor with a cut: abcd once, marked.
  db.files.EnumStartCond("n = 1", "t.s", 4);
  TStringList values;
  while (db.files.EnumNext(values)) {
  }
  std::vector<std::string> got = Texts(values, true);
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{"abcd*", "abc\x82\xa0", "b"}));
  EXPECT_FALSE(db.files.EnumNext(values));  // the cursor is gone

  TStringList nb;
  db.files.EnumStartCond("", "t.s", 0);
  int r;
  while ((r = db.files.EnumNextNB(nb)) >= 0) {
  }
  EXPECT_EQ(nb.Count(), 5);

  // The list cursor: rows, then gone; a failing start leaves none.
  EXPECT_EQ(ListRows(db.files, "t.s", "", "t.n = 2"), (std::vector<std::string>{"zz|2"}));
  TStringList row;
  EXPECT_EQ(db.files.ListNextNB(row), -1);
  {
    MessageCatcher messages;
    EXPECT_FALSE(db.files.ListStart("t.s", "", "t.n = "));
    EXPECT_EQ(messages.Last(), SJ("検索条件を解釈できません。"));
  }
  EXPECT_FALSE(db.files.ListNext(row));

  // Extended items go to the list cursor's rows.
  ASSERT_TRUE(db.files.ListStart(SJ("t.s, __拡張項目__.len"), "", "t.n = 2"));
  db.files.GetExtendedValue("len", kvrString, "t.s + '!'");
  ASSERT_TRUE(db.files.ListNext(row));
  EXPECT_EQ(Joined(row), "zz|zz!|2");
  db.files.ListEnd();
  EXPECT_FALSE(db.files.ListNext(row));
}

TEST(CRecFileList, TruncateAndSplit) {
  const struct {
    const char* text;
    int n;
    const char* cut;
  } cases[] = {
      {"abc\x82\xa0", 4, "abc\x82\xa0"},  // a lead byte at byte n keeps its character whole
      {"abc\x82\xa0", 3, "abc"},
      {"abc", 10, "abc"},
      {"abc", 0, ""},
      {"ab\x82", 3, "ab\x82"},  // a lead byte at the end stands alone
  };
  for (const auto& c : cases) EXPECT_EQ(TruncateTextBytes(c.text, c.n), c.cut) << c.text << " " << c.n;

  std::unique_ptr<TStringList> names(CRecFileList::SplitNames("a.x, 'two words' 12 ,b"));
  EXPECT_EQ(Texts(*names), (std::vector<std::string>{"a.x", "two words", "12", "b"}));
}
