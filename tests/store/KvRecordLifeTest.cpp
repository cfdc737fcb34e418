#include <memory>

#include "platform/SysUtils.h"
#include "store/CondOp.h"
#include "store/KvRecRemote.h"
#include "tests/store/KvRecordTestSupport.h"

TEST(KvRecordLife, NewTableHasTheRecordIdColumnAndFreshCounters) {
  TempDir dir;
  CKvRecord t;
  t.SetFileName(dir.File("a.kv"));
  ASSERT_TRUE(t.OpenOrCreate());
  std::unique_ptr<TStrings> cols(t.ListCol(nullptr));
  ASSERT_EQ(cols->Count(), 1);
  EXPECT_EQ((*cols)[0], "__REC__ID__");
  const CKvrColInfo* id = t.Columns()->GetAt(0);
  EXPECT_EQ(id->KeyLength, 4);
  EXPECT_EQ(id->Type, kvrUnsigned);
  EXPECT_EQ(id->KeyNumber, 2);
  EXPECT_EQ(t.Version(), 110);
  EXPECT_EQ(t.KeyCount(), 8);
  CKvrTableInfo info;
  ASSERT_TRUE(info.Read(*t.File()));
  EXPECT_EQ(info.LastRecId, 0u);
  EXPECT_EQ(info.LastStringId, 0u);
  EXPECT_EQ(info.ColumnChanges, 1u);
  EXPECT_EQ(info.Version, 110);
}

TEST(KvRecordLife, OpenAndCloseAnswerWhetherTheyActed) {
  TempDir dir;
  CKvRecord t;
  t.SetFileName(dir.File("a.kv"));
  ASSERT_TRUE(t.Create());
  EXPECT_EQ(t.File(), nullptr);  // Create leaves the table closed
  EXPECT_EQ(t.Open(), 0);
  EXPECT_EQ(t.Open(), 1);
  EXPECT_EQ(t.Close(), 0);
  EXPECT_EQ(t.Close(), 1);
  {
    MessageCatcher box;
    CKvRecord missing;
    missing.SetFileName(dir.File("none.kv"));
    EXPECT_EQ(missing.Open(), -1);
    EXPECT_EQ(box.Last(), SJ("ファイルがオープンできません。"));
  }
  EXPECT_TRUE(t.DelFile());
  EXPECT_FALSE(FileExists(dir.File("a.kv")));
}

TEST(KvRecordLife, BasePathJoinsWithOneSlash) {
  CKvRecord t;
  t.SetFileName("x.kv");
  EXPECT_EQ(t.FileName(), "x.kv");
  for (const char* base : {"/data/", "/data"}) {
    t.SetBasePath(base);
    t.SetFileName("x.kv");
    EXPECT_EQ(t.FileName(), "/data/x.kv") << base;
  }
}

TEST(KvRecordLife, FactoryMakesServerTablesForDoubleSlashNamesOnly) {
  std::unique_ptr<CKvRecord> local(CreateKvRecord("/one/slash.kv"));
  ASSERT_NE(local, nullptr);
  EXPECT_EQ(dynamic_cast<CKvRecRemote*>(local.get()), nullptr);
  EXPECT_EQ(local->FileName(), "/one/slash.kv");
  EXPECT_EQ(local->File(), nullptr);
  std::unique_ptr<CKvRecord> remote(CreateKvRecord("//host/table"));
  auto* r = dynamic_cast<CKvRecRemote*>(remote.get());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->FileName(), "//host/table");
  EXPECT_EQ(r->Host(), "host");
  EXPECT_FALSE(r->Connected());
}

TEST(KvRecordLife, ColumnsAreAddedOnceAndReadBackAfterReopening) {
  TempDir dir;
  CKvRecord t;
  t.SetFileName(dir.File("a.kv"));
  MessageCatcher box;
  ASSERT_TRUE(t.AddColumn("num", kvrSigned, 0));
  ASSERT_TRUE(t.AddColumn("name", kvrString, 40));
  EXPECT_FALSE(t.AddColumn("name", kvrReal, 0));
  EXPECT_EQ(box.Last(), SJ("カラム名が重複しています。"));
  EXPECT_FALSE(t.AddColumn("", kvrReal, 0));
  EXPECT_EQ(box.Last(), SJ("カラム名がありません。"));
  EXPECT_FALSE(t.AddColumn("odd", 9, 0));
  EXPECT_EQ(box.Last(), SJ("カラムの型が正しくありません。"));
  t.Columns()->GetAt(2)->Flags = kvrOptUnique;
  t.Columns()->GetAt(2)->OptText1 = "fixed";
  ASSERT_TRUE(t.WriteColInfoList());
  t.Close();
  ASSERT_EQ(t.Open(), 0);
  ASSERT_EQ(t.Columns()->Count(), 3);
  EXPECT_EQ(t.Columns()->ToText(), "\"__REC__ID__,4,2,2,0,,\",\"num,10,1,3,0,,\",\"name,20,3,7,1,fixed,\"");
  CKvrTableInfo info;
  ASSERT_TRUE(info.Read(*t.File()));
  EXPECT_EQ(info.ColumnChanges, 3u);
}

TEST(KvRecordLife, MatchValueOpCoversEveryCode) {
  CKvrValue three(kvrSigned), five(kvrSigned);
  three.SetText("3");
  five.SetText("5");
  CKvrValue text(kvrString), pattern(kvrString);
  text.SetText("abc");
  pattern.SetText("a%");
  struct Case {
    const CKvrValue *a, *b;
    int op;
    bool expected;
  } cases[] = {
      {&three, &five, COND_LES, true},         {&five, &five, COND_LES, false},
      {&five, &five, COND_LES_EQL, true},      {&five, &five, COND_EQL, true},
      {&three, &five, COND_GRT_EQL, false},    {&five, &three, COND_GRT, true},
      {&three, &five, COND_NOT_EQL, true},     {&text, &pattern, COND_LIKE, true},
      {&text, &pattern, COND_NOT_LIKE, false}, {&three, &text, COND_ALL, true},
      {&three, &three, COND_REJ, false},       {&three, &three, 3, false},
      {nullptr, &three, COND_ALL, false},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchValueOp(c.a, c.op, c.b, false), c.expected) << CondOpName(c.op);
}
