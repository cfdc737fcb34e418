#include <gtest/gtest.h>

#include "foundation/CapInfo.h"
#include "query/CondText.h"
#include "query/Condtree.h"
#include "tests/support/TestSupport.h"

TEST(SplitCondition, ReadsOneComparisonIntoTheDialogFields) {
  const struct {
    AnsiString text;
    AnsiString column;
    int index;
    AnsiString value;
  } cases[] = {
      {"name = 'abc'", "name", 1, "abc"},
      {"t.name >= 5", "t.name", 3, "5"},
      {"name > x", "name", 4, "x"},
      {"name <= 'a''b'", "name", 5, "a'b"},
      {"name < 1", "name", 6, "1"},
      {"name <> 3", "name", 8, "3"},
      {"name != 3", "name", 8, "3"},
      {"name LIKE 'ab%'", "name", 0, "ab"},
      {"name like '%ab%'", "name", 2, "ab"},
      {"name UNLIKE 'ab%'", "name", 7, "ab"},
      {"name UNLIKE '%a\\%b%'", "name", 9, "a%b"},
      // any case of UNLIKE stays negated
      {"name unlike 'ab%'", "name", 7, "ab"},
      {"name UnLike '%ab%'", "name", 9, "ab"},
      {"name LIKE '\\%ab%'", "name", 0, "%ab"},
      {"name LIKE ''", "name", 0, ""},
      {"name LIKE '%'", "name", 2, ""},
      {SJ("名前 LIKE '%ソ表%'"), SJ("名前"), 2, SJ("ソ表")},
      {SJ("名前 LIKE 'ソ表'"), SJ("名前"), 0, SJ("ソ")},
      // reading stops where the text stops fitting
      {"'abc' = name", "", 0, ""},
      {"name IS x", "name", 0, ""},
      {"name = (", "name", 0, ""},
      {"", "", 0, ""},
      {"a = 1 AND b = 2", "a", 1, "1"},
  };
  for (const auto& c : cases) {
    AnsiString column = "junk", value = "junk";
    int index = -1;
    SplitCondition(c.text, column, index, value);
    EXPECT_EQ(Show(column), Show(c.column)) << Show(c.text);
    EXPECT_EQ(index, c.index) << Show(c.text);
    EXPECT_EQ(Show(value), Show(c.value)) << Show(c.text);
  }
}

TEST(CondText, EscapesAreDoubleByteAware) {
  const AnsiString so = SJ("ソ");  // trail byte 0x5C
  ASSERT_EQ(so[1], '\\');
  const AnsiString lead("\x83", 1);

  EXPECT_EQ(EscapeQuotes("it's"), "it''s");
  EXPECT_EQ(EscapeQuotes("''"), "''''");
  EXPECT_EQ(EscapeQuotes("\x83'x"), "\x83'x");  // a quote as trail byte is not doubled
  EXPECT_EQ(EscapeQuotes("ab" + lead), "ab");    // it would take the closing quote

  EXPECT_EQ(EscapeLikeText("50%"), "50\\%");
  EXPECT_EQ(EscapeLikeText("a\\b"), "a\\\\b");
  EXPECT_EQ(EscapeLikeText(so + "%"), so + "\\%");
  EXPECT_EQ(EscapeLikeText("a" + lead), "a" + lead);

  EXPECT_EQ(UnescapeLikeText("50\\%"), "50%");
  EXPECT_EQ(UnescapeLikeText("a\\\\b"), "a\\b");
  EXPECT_EQ(UnescapeLikeText(so), so);
  EXPECT_EQ(UnescapeLikeText("\\" + so), so);
  EXPECT_EQ(UnescapeLikeText("ab\\"), "ab");
  EXPECT_EQ(UnescapeLikeText("a" + lead), "a" + lead);

  // A value quoted and escaped for LIKE reads back through the parser and the dialog fields.
  for (const AnsiString& v : {AnsiString("it's 50% \\ done"), so + "'" + so + "%", AnsiString("''%%\\\\")}) {
    EXPECT_EQ(UnescapeLikeText(EscapeLikeText(v)), v);
    CCondTree tree;
    ASSERT_TRUE(tree.Parse("x = '" + EscapeQuotes(v) + "'")) << Show(v);
    EXPECT_EQ(tree.Alternatives().at(0).at(0)->Right.Text, v);
    AnsiString column, value;
    int index = -1;
    SplitCondition("x UNLIKE '%" + EscapeQuotes(EscapeLikeText(v)) + "%'", column, index, value);
    EXPECT_EQ(index, 9);
    EXPECT_EQ(value, v) << Show(v);
  }
}

TEST(CondText, QualifyAndUnqualifyColumnNames) {
  EXPECT_EQ(QualifyColumnName("t", "c"), "t.c");
  EXPECT_EQ(QualifyColumnName("t", "u.c"), "u.c");
  EXPECT_EQ(QualifyColumnName("t", ""), "");
  EXPECT_EQ(UnqualifyColumnName("t", "t.c"), "c");
  EXPECT_EQ(UnqualifyColumnName("t", "u.c"), "u.c");
  EXPECT_EQ(UnqualifyColumnName("t", "c"), "c");
  EXPECT_EQ(UnqualifyColumnName("t", "t.a.b"), "a.b");
}

TEST(CondText, CutTextBytesNeverSplitsACharacter) {
  const AnsiString wide = SJ("表");
  EXPECT_EQ(CutTextBytes(AnsiString(130, 'a')), AnsiString(128, 'a'));
  EXPECT_EQ(CutTextBytes(AnsiString(128, 'a')), AnsiString(128, 'a'));
  EXPECT_EQ(CutTextBytes(AnsiString(127, 'a') + wide + "b"), AnsiString(127, 'a'));
  EXPECT_EQ(CutTextBytes(AnsiString(126, 'a') + wide + "b"), AnsiString(126, 'a') + wide);
  // Sixty-four double-byte characters fill 128 bytes exactly; the rest is cut.
  AnsiString wides;
  for (int i = 0; i < 70; ++i) wides += wide;
  EXPECT_EQ(CutTextBytes(wides), wides.substr(0, 128));
  EXPECT_EQ(CutTextBytes("x" + wides), ("x" + wides).substr(0, 127));
}

TEST(CondText, IndexOfRecIdColumnMatchesTheWholeName) {
  CCapInfoList list;
  for (const char* name : {"t.a", "tt.__REC__ID__", "__REC__ID__", "t.__REC__ID__"}) {
    auto* info = new CCapInfo;
    info->Name = name;
    list.Add(info);
  }
  EXPECT_EQ(IndexOfRecIdColumn(&list, "t"), 3);
  EXPECT_EQ(IndexOfRecIdColumn(&list, "tt"), 1);
  EXPECT_EQ(IndexOfRecIdColumn(&list, "u"), -1);
  EXPECT_EQ(IndexOfRecIdColumn(nullptr, "t"), -1);
}
