#include <memory>

#include "store/CondOp.h"
#include "tests/store/KorvaTestFiles.h"
#include "tests/store/KvRecordTestSupport.h"

namespace {

using Values = std::vector<AnsiString>;

// Keys 2 onwards: everything but the table records, whose counters only grow.
std::vector<std::vector<std::string>> Entries(TableFixture& f) {
  auto all = f.All();
  all.erase(all.begin());
  return all;
}

}  // namespace

TEST(KvRecordWrite, IdsComeFromTheCounterOrTheRequest) {
  TableFixture f({{"a", kvrString, 0, 0}});
  MessageCatcher box;
  EXPECT_EQ(f.Add({{"a", "x"}}), 1u);
  EXPECT_EQ(f.Add({{"a", "y"}}), 2u);
  EXPECT_EQ(f.Add({{"a", "z"}}, 50), 50u);
  EXPECT_EQ(f.Add({{"a", "w"}}), 51u);
  EXPECT_EQ(f.Add({{"a", "v"}}, 20), 20u);  // a free lower id: the counter stays
  EXPECT_EQ(f.Add({{"a", "u"}}), 52u);
  EXPECT_TRUE(box.texts.empty());
  EXPECT_EQ(f.Get(50), (Values{"50", "z"}));

  // An id in use is refused before anything is written: record 2 keeps its value and entries.
  const auto before = Entries(f);
  unsigned id = 0;
  TStringList names, texts;
  names.Add("a");
  texts.Add("new");
  EXPECT_FALSE(f.table.InsertEx(names, texts, &id, 2));
  EXPECT_EQ(id, 2u);
  EXPECT_EQ(box.Last(), SJ("レコードの書き込みができません。"));
  EXPECT_EQ(Entries(f), before);
  EXPECT_EQ(f.Get(2), (Values{"2", "y"}));
}

TEST(KvRecordWrite, EmptyNumbersAreStoredAsZeroAndUnknownNamesIgnored) {
  TableFixture f({{"i", kvrSigned, 0, 0}, {"u", kvrUnsigned, 0, 0}, {"r", kvrReal, 0, 0}, {"s", kvrString, 0, 0}});
  const uint32_t id = f.Add({{"s", "text"}, {"nosuch", "1"}, {"__REC__ID__", "99"}});
  ASSERT_EQ(id, 1u);
  EXPECT_EQ(f.Get(id), (Values{"1", "0", "0", "0", "text"}));
}

TEST(KvRecordWrite, DuplicateInAUniqueColumnIsRefusedAndLeavesNothingBehind) {
  TableFixture f({{"name", kvrString, 0, 0},
                  {"tags", kvrSet, 0, 0},
                  {"code", kvrSigned, 0, kvrOptUnique},
                  {"key", kvrString, 0, kvrOptUnique}});
  MessageCatcher box;
  ASSERT_EQ(f.Add({{"name", "a"}, {"tags", "p,q"}, {"code", "1"}, {"key", "k1"}}), 1u);
  const auto before = Entries(f);
  EXPECT_EQ(f.Add({{"name", "b"}, {"tags", "q,r"}, {"code", "1"}, {"key", "k2"}}), 0u);
  EXPECT_EQ(box.Last(), SJ("項目'code'の内容'1'が重複しています。"));
  EXPECT_EQ(Entries(f), before);
  EXPECT_EQ(f.Add({{"name", "b"}, {"tags", "q,r"}, {"code", "2"}, {"key", "k1"}}), 0u);
  EXPECT_EQ(box.Last(), SJ("項目'key'の内容'k1'が重複しています。"));
  EXPECT_EQ(Entries(f), before);
  // A set column with the unique flag takes repeated elements.
  TableFixture g({{"tags", kvrSet, 0, kvrOptUnique}}, "g.kv");
  EXPECT_EQ(g.Add({{"tags", "a,b"}}), 1u);
  EXPECT_EQ(g.Add({{"tags", "b,a"}}), 2u);
}

TEST(KvRecordWrite, AutomaticValues) {
  EXPECT_EQ(NextSerialText("A9"), "B0");
  EXPECT_EQ(NextSerialText("Z9"), "Z9-000");
  EXPECT_EQ(NextSerialText(""), "-000");
  EXPECT_EQ(NextSerialText("-000"), "-001");
  EXPECT_EQ(NextSerialText("az"), "ba");
  EXPECT_EQ(NextSerialText(SJ("ア") + "9"), SJ("ア") + "9-000");  // no byte of a pair is raised
  EXPECT_EQ(NextSerialText(SJ("ソ")), SJ("ソ") + "-000");
  EXPECT_EQ(NextSerialNumber("41"), "42");
  EXPECT_EQ(NextSerialNumber("1.5"), "2.5");
  EXPECT_EQ(NextSerialNumber(""), "ERROR");
  EXPECT_EQ(NextSerialNumber("x"), "ERROR");

  TableFixture f({{"serial", kvrString, 0, kvrAutoSerial},
                  {"num", kvrSigned, 0, kvrAutoSerial},
                  {"fixed", kvrString, 0, kvrAutoFixed | kvrOptAppend},
                  {"stamp", kvrString, 0, kvrAutoDate | kvrOptAppend | kvrOptOnChange},
                  {"first", kvrString, 0, kvrAutoFixed | kvrOptIfEmpty}});
  f.table.Columns()->GetAt(3)->OptText1 = "F";
  f.table.Columns()->GetAt(5)->OptText1 = "E";
  ASSERT_TRUE(f.table.WriteColInfoList());
  ASSERT_EQ(f.Add({{"serial", "A9"}, {"num", "41"}}), 1u);
  ASSERT_EQ(f.Add({{"fixed", "v"}, {"stamp", "w"}, {"first", "given"}}), 2u);
  const Values r2 = f.Get(2);
  EXPECT_EQ(r2[1], "B0");
  EXPECT_EQ(r2[2], "42");
  EXPECT_EQ(r2[3], "v,F");
  ASSERT_EQ(r2[4].size(), 12u);  // "w," and yyyy/mm/dd
  EXPECT_EQ(r2[4].substr(0, 2), "w,");
  EXPECT_EQ(r2[4][6], '/');
  EXPECT_EQ(r2[5], "given");
  EXPECT_EQ(f.Get(1)[3], "F");
  EXPECT_EQ(f.Get(1)[5], "E");
  // On change only the column with the on-change flag is filled again.
  ASSERT_TRUE(f.table.ChgRecById("1", 3, "changed"));
  const Values r1 = f.Get(1);
  EXPECT_EQ(r1[3], "changed");
  EXPECT_EQ(r1[4].size(), 21u);  // the date, "," and the date again
}

TEST(KvRecordWrite, SerialOfAnEmptyColumn) {
  TableFixture f({{"s", kvrString, 0, kvrAutoSerial}, {"n", kvrReal, 0, kvrAutoSerial}});
  ASSERT_EQ(f.Add({}), 1u);
  const Values r = f.Get(1);
  EXPECT_EQ(r[1], "-000");
  EXPECT_EQ(r[2], "ERROR");  // no number to follow: the real keeps the text
}

TEST(KvRecordWrite, ChangesThatNoIndexShowsAreWrittenToo) {
  TableFixture f({{"t", kvrString, 0, 0}, {"s", kvrSet, 0, 0}, {"r", kvrReal, 0, 0}});
  const AnsiString head(200, 'h');
  ASSERT_EQ(f.Add({{"t", head + "one"}, {"s", "a,b"}, {"r", "5"}}), 1u);
  EXPECT_TRUE(f.table.ChgRecById("1", 1, head + "two"));
  EXPECT_TRUE(f.table.ChgRecById("1", 2, "b,a"));
  EXPECT_TRUE(f.table.ChgRecById("1", 3, "5.0"));
  EXPECT_EQ(f.Get(1), (Values{"1", head + "two", "b,a", "5.0"}));
  // Still one string value for the two long texts, one reference each for a and b.
  EXPECT_EQ(f.Raw(kvrKeyString).size(), 3u);
  EXPECT_EQ(f.Raw(kvrKeyRef).size(), 3u);
}

TEST(KvRecordWrite, ChangesMoveTheEntries) {
  TableFixture f({{"t", kvrString, 0, 0}, {"n", kvrSigned, 0, 0}, {"s", kvrSet, 0, 0}});
  ASSERT_EQ(f.Add({{"t", "old"}, {"n", "1"}, {"s", "a,b"}}), 1u);
  ASSERT_EQ(f.Add({{"t", "old"}, {"n", "1"}, {"s", "a"}}), 2u);
  CKvrValueList now, old;
  TStringList texts;
  for (const char* t : {"1", "new", "7", "a,c"}) texts.Add(t);
  ASSERT_EQ(f.table.MakeValueList(now, texts), 4);
  ASSERT_TRUE(f.table.ReplaceDataEx(now, &old));
  EXPECT_EQ(old.GetAt(1)->GetText(), "old");
  EXPECT_EQ(f.Get(1), (Values{"1", "new", "7", "a,c"}));
  // After deleting record 2 only record 1's values are left in the indexes.
  ASSERT_TRUE(f.table.DelRecById("2"));
  TableFixture g({{"t", kvrString, 0, 0}, {"n", kvrSigned, 0, 0}, {"s", kvrSet, 0, 0}}, "g.kv");
  ASSERT_EQ(g.Add({{"t", "new"}, {"n", "7"}, {"s", "a,c"}}), 1u);
  for (int key = 3; key <= 5; ++key) EXPECT_EQ(f.Raw(key), g.Raw(key)) << "key " << key;
  EXPECT_EQ(f.Raw(kvrKeyRef).size(), g.Raw(kvrKeyRef).size());
  EXPECT_EQ(f.Raw(kvrKeyString).size(), g.Raw(kvrKeyString).size());
}

TEST(KvRecordWrite, AFailedChangeKeepsTheRecordAndItsEntries) {
  TableFixture f({{"t", kvrString, 0, 0}, {"s", kvrSet, 0, 0}, {"code", kvrSigned, 0, kvrOptUnique}});
  MessageCatcher box;
  ASSERT_EQ(f.Add({{"t", "a"}, {"s", "x"}, {"code", "1"}}), 1u);
  ASSERT_EQ(f.Add({{"t", "b"}, {"s", "y"}, {"code", "2"}}), 2u);
  const auto before = Entries(f);
  CKvrValueList now;
  TStringList texts;
  for (const char* t : {"2", "c", "y,z", "1"}) texts.Add(t);
  f.table.MakeValueList(now, texts);
  EXPECT_FALSE(f.table.ReplaceData(now));
  EXPECT_EQ(box.Last(), SJ("項目'code'の内容'1'が重複しています。"));
  EXPECT_EQ(Entries(f), before);
  EXPECT_FALSE(f.table.ChgRecById("2", 3, "1"));
  EXPECT_EQ(Entries(f), before);
  EXPECT_EQ(f.Get(2), (Values{"2", "b", "y", "2"}));
}

TEST(KvRecordWrite, ChangeAndDeleteOfBadIds) {
  TableFixture f({{"t", kvrString, 0, 0}});
  MessageCatcher box;
  ASSERT_EQ(f.Add({{"t", "a"}}), 1u);
  for (const char* id : {"x", "", "7", "-1", "99999999999"}) {
    EXPECT_FALSE(f.table.DelRecById(id)) << id;
    EXPECT_FALSE(f.table.ChgRecById(id, 1, "b")) << id;
  }
  EXPECT_TRUE(f.table.ChgRecById("1", 0, "5"));  // the record id is no stored value: nothing changes
  EXPECT_FALSE(f.table.ChgRecById("1", 2, "b"));
  CKvrValueList values;
  values.Add(new CKvrValue(5u));
  EXPECT_FALSE(f.table.ReplaceData(values));
  EXPECT_TRUE(box.texts.empty());
  EXPECT_EQ(f.Get(1), (Values{"1", "a"}));
  // A closed table cannot be locked, and says so.
  f.table.Close();
  EXPECT_FALSE(f.table.DelRecById("1"));
  EXPECT_EQ(box.Last(), SJ("ロックができません。"));
  ASSERT_EQ(f.table.Open(), 0);
  EXPECT_EQ(f.Get(1), (Values{"1", "a"}));
}

TEST(KvRecordWrite, ADeletionThatCannotRemoveAnEntryKeepsTheRecord) {
  TableFixture f({{"t", kvrString, 0, 0}, {"s", kvrSet, 0, 0}, {"n", kvrSigned, 0, 0}});
  ASSERT_EQ(f.Add({{"t", "a"}, {"s", "x,y"}, {"n", "5"}}), 1u);
  ASSERT_EQ(f.Add({{"t", "a"}, {"s", "y,x"}, {"n", "6"}}), 2u);
  const auto before = Entries(f);
  // A column definition naming a key the file lacks: the last column's entry cannot be removed.
  CKvrColInfo& n = *f.table.Columns()->GetAt(3);
  n.KeyNumber = 40;
  EXPECT_FALSE(f.table.DelRecById("1"));
  n.KeyNumber = kvrKeySigned;
  EXPECT_EQ(Entries(f), before);
  EXPECT_EQ(f.Get(1), (Values{"1", "a", "x,y", "5"}));
}

TEST(KvRecordWrite, AChangeWhoseBodyCannotBeWrittenKeepsTheOldOne) {
  TableFixture f({{"t", kvrString, 0, 0}, {"n", kvrSigned, 0, 0}});
  MessageCatcher box;
  const AnsiString old(600, 'a');  // a body with a continuation chunk
  ASSERT_EQ(f.Add({{"t", old}, {"n", "1"}}), 1u);
  const auto before = Entries(f);
  // The new body is longer than the first record and 256 chunks can hold.
  const int cap = f.table.File()->DataBlockCap();
  CKvrValueList now;
  TStringList texts;
  for (const AnsiString& t : {AnsiString("1"), AnsiString(size_t(cap + 256 * (cap - 5)), 'b'), AnsiString("2")})
    texts.Add(t);
  ASSERT_EQ(f.table.MakeValueList(now, texts), 3);
  EXPECT_FALSE(f.table.ReplaceData(now));
  EXPECT_EQ(box.Last(), SJ("レコードの書き込みができません。"));
  EXPECT_EQ(Entries(f), before);
  EXPECT_EQ(f.Get(1), (Values{"1", old, "1"}));
}

TEST(KvRecordWrite, DeletingRemovesBodyReferencesAndUnusedStringValues) {
  TableFixture f({{"t", kvrString, 0, 0}, {"s", kvrSet, 0, 0}, {"n", kvrReal, 0, 0}});
  ASSERT_EQ(f.Add({{"t", "shared"}, {"s", "p,q"}, {"n", "1.5"}}), 1u);
  ASSERT_EQ(f.Add({{"t", "shared"}, {"s", ""}, {"n", "2"}}), 2u);
  CKvrValueList old;
  ASSERT_TRUE(f.table.DelRecByIdEx("1", &old));
  EXPECT_EQ(old.GetAt(2)->GetText(), "p,q");
  EXPECT_TRUE(f.Get(1).empty());
  EXPECT_FALSE(f.table.DelRecById("1"));
  // "shared" stays with one use; p and q are gone; the empty set is one string value.
  const auto values = f.Raw(kvrKeyString);
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values[0].substr(40, 8), "00000001");  // use count of "shared"
  EXPECT_EQ(f.Raw(kvrKeyRef).size(), 2u);
  ASSERT_TRUE(f.table.DelRecById("2"));
  for (int key = 2; key <= 8; ++key) EXPECT_TRUE(f.Raw(key).empty()) << "key " << key;
}

TEST(KvRecordWrite, LongBodiesUseContinuationChunks) {
  TableFixture f({{"t", kvrString, 0, 0}});
  const int cap = f.table.File()->DataBlockCap();
  ASSERT_EQ(cap, 503);
  // A body of C + 1 bytes: 8 bytes of id and length, then the text and its NUL.
  const AnsiString text(size_t(cap + 1 - 8 - 1), 'x');
  ASSERT_EQ(f.Add({{"t", text}}), 1u);
  const auto chunks = f.Raw(kvrKeysCurrent);
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0], "000000010000");  // record 1, chunk 0, the closing NUL
  EXPECT_EQ(f.Get(1), (Values{"1", text}));
  // The longest body: C bytes and 256 chunks of C - 5.
  const int longest = cap + 256 * (cap - 5);
  const AnsiString most(size_t(longest - 9), 'y');
  ASSERT_EQ(f.Add({{"t", most}}), 2u);
  EXPECT_EQ(f.Get(2), (Values{"2", most}));
  MessageCatcher box;
  const auto before = Entries(f);
  EXPECT_EQ(f.Add({{"t", most + "z"}}), 0u);
  EXPECT_EQ(box.Last(), SJ("レコードの書き込みができません。"));
  EXPECT_EQ(Entries(f), before);
  ASSERT_TRUE(f.table.DelRecById("1"));
  ASSERT_TRUE(f.table.DelRecById("2"));
  EXPECT_TRUE(f.Raw(kvrKeyBody).empty());
  EXPECT_TRUE(f.Raw(kvrKeysCurrent).empty());
}

// A new record's body goes after every other one, so the bodies of records inserted one after
// another fill their blocks instead of leaving them half empty; a body written in between (a
// requested lower id) still finds its place.
TEST(KvRecordWrite, BodiesOfNewRecordsFillTheirBlocks) {
  TableFixture f({{"t", kvrString, 0, 0}});
  const AnsiString text(size_t(60), 'b');  // a body of 8 + 61 bytes, 71 with its length
  for (uint32_t id = 1; id <= 300; ++id) ASSERT_EQ(f.Add({{"t", text}}), id);
  const std::vector<uint32_t> chain =
      korva_test::Chain(f.dir.File("t.kv"), korva_test::FirstDataBlock(1024, 1024, 2048, kvrKeyBody));
  ASSERT_GT(chain.size(), 5u);
  for (size_t i = 0; i + 1 < chain.size(); ++i) {
    const std::vector<uint8_t> head = korva_test::ReadBlock(f.dir.File("t.kv"), chain[i], 16);
    EXPECT_LT(korva::Get16(head.data() + korva::kBlkFree), 2 * 71) << "block " << i;
  }
  ASSERT_TRUE(f.table.DelRecById("150"));
  ASSERT_EQ(f.Add({{"t", AnsiString(size_t(200), 'c')}}, 150), 150u);
  EXPECT_EQ(f.Get(150), (Values{"150", AnsiString(size_t(200), 'c')}));
  EXPECT_EQ(f.Get(151), (Values{"151", text}));
  EXPECT_EQ(f.Raw(kvrKeyBody).size(), 300u);
}

TEST(KvRecordWrite, ColumnsAddedLaterReadAsEmpty) {
  TableFixture f({{"a", kvrString, 0, 0}});
  ASSERT_EQ(f.Add({{"a", "v"}}), 1u);
  ASSERT_TRUE(f.table.AddColumn("n", kvrSigned, 0));
  ASSERT_TRUE(f.table.AddColumn("b", kvrString, 0));
  EXPECT_EQ(f.Get(1), (Values{"1", "v", "", ""}));
}

TEST(KvRecordWrite, InsertRawTakesValuesWithoutAutomaticOnes) {
  TableFixture f({{"s", kvrString, 0, kvrAutoFixed}, {"n", kvrSigned, 0, 0}});
  CKvrValueList values;
  values.Add(new CKvrValue(77u));
  values.Add(new CKvrValue(kvrString));
  values.GetAt(1)->SetText("raw");
  ASSERT_TRUE(f.table.InsertRaw(values));  // element 0 is not the id; the missing number is 0
  EXPECT_EQ(f.Get(1), (Values{"1", "raw", "0"}));
}

namespace {

// A table whose query delivers the given record ids.
class ScriptedQuery : public CKvRecord {
 public:
  std::vector<uint32_t> deliver;
  bool GetRec(CKvrValueList& values) override {
    if (deliver.empty()) return false;
    values.ClearValues();
    values.Add(new CKvrValue(deliver.front()));
    deliver.erase(deliver.begin());
    return true;
  }
};

}  // namespace

TEST(KvRecordWrite, DeleteByConditionDeletesWhatTheQueryDelivers) {
  TempDir dir;
  ScriptedQuery t;
  t.SetFileName(dir.File("q.kv"));
  ASSERT_TRUE(t.AddColumn("a", kvrString, 0));
  TStringList names, texts;
  names.Add("a");
  texts.Add("v");
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(t.Insert(names, texts));
  t.deliver = {1, 3, 9};
  EXPECT_TRUE(t.DelRecByCond());
  EXPECT_TRUE(ReadBack(t, 1).empty());
  EXPECT_FALSE(ReadBack(t, 2).empty());
  EXPECT_TRUE(ReadBack(t, 3).empty());
  t.deliver = {9};
  EXPECT_FALSE(t.DelRecByCond());
}

TEST(KvRecordWrite, DeleteByConditionOnAMissingColumnDeletesNothing) {
  TableFixture f({{"a", kvrString, 0, 0}});
  ASSERT_EQ(f.Add({{"a", "v"}}), 1u);
  ASSERT_EQ(f.Add({{"a", "v"}}), 2u);
  MessageCatcher box;
  f.table.ClearCond();
  f.table.AddCond("a", COND_EQL, "v");
  f.table.AddCond("nosuch", COND_EQL, "q");
  f.table.AddCondEnd();
  EXPECT_FALSE(f.table.DelRecByCond());
  EXPECT_EQ(box.Last(), SJ("カラム'nosuch'がありません。"));
  EXPECT_FALSE(f.Get(1).empty());
  EXPECT_FALSE(f.Get(2).empty());
}
