// The bytes a table keeps under each key, for a new table and for a file of the older layout.
#include <memory>

#include "tests/store/KvRecordTestSupport.h"

namespace {

using Values = std::vector<AnsiString>;
using Records = std::vector<std::string>;

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}
std::string Text(const std::string& s) { return Hex(s) + "00"; }  // a text and its NUL
std::string U32(uint32_t v) { return Hex(std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}); }
std::string U16(unsigned v) { return Hex(std::string{char(v >> 8), char(v)}); }
std::string Zeros(int n) { return std::string(size_t(2 * n), '0'); }
std::string Repeat(const std::string& hexByte, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += hexByte;
  return out;
}

std::string Column(uint32_t n, const std::string& name, int keyLength, int type, int key, uint32_t flags) {
  return U32(n) + Text(name) + U32(uint32_t(keyLength)) + U32(uint32_t(type)) + U32(uint32_t(key)) + U32(flags) +
         "0000";
}

// A current-layout string value of a short text: column, prefix, id, use count, n, the text.
std::string ShortValue(unsigned col, const std::string& text, uint32_t id, uint32_t uses) {
  return U16(col) + Text(text) + Zeros(13 - int(text.size())) + U32(id) + U32(uses) +
         Hex(std::string(1, char(text.size() + 1))) + Text(text);
}

}  // namespace

TEST(KvRecordLayout, NewTableUnderEveryKey) {
  TableFixture f({{"i", kvrSigned, 0, 0},
                  {"u", kvrUnsigned, 0, kvrOptUnique},
                  {"t", kvrString, 0, 0},
                  {"r", kvrReal, 0, 0},
                  {"s", kvrSet, 0, 0}});
  const std::string L(500, 'L');
  ASSERT_EQ(f.Add({{"i", "-1"}, {"u", "7"}, {"t", "ab"}, {"r", "5"}, {"s", "x,y"}}), 1u);
  ASSERT_EQ(f.Add({{"i", "2"}, {"u", "8"}, {"t", "ab"}, {"r", "-5"}, {"s", ""}}), 2u);
  ASSERT_EQ(f.Add({{"i", "0"}, {"u", "9"}, {"t", L}, {"r", "0.05"}, {"s", "z"}}), 3u);

  EXPECT_EQ(f.Raw(1), (Records{
                          U32(1) + U32(3) + U32(6) + U32(6),
                          U32(2) + Text("KvRecord Version 110"),
                          Column(100, "__REC__ID__", 4, 2, 2, 0),
                          Column(101, "i", 10, 1, 3, 0),
                          Column(102, "u", 10, 2, 4, 1),
                          Column(103, "t", 20, 3, 7, 0),
                          Column(104, "r", 12, 4, 5, 0),
                          Column(105, "s", 20, 5, 7, 0),
                      }));
  const std::string real5 = "b89dcd650000", realMinus5 = "4762329b0000", real005 = "b69dcd650000";
  const std::string tail3 = Repeat("4c", 13) + "00" + real005 + Text("0.05") + Text("z");
  EXPECT_EQ(f.Raw(2), (Records{
                          U32(1) + U32(31) + "7fffffff" + U32(7) + Text("ab") + real5 + Text("5") + Text("x,y"),
                          U32(2) + U32(29) + "80000002" + U32(8) + Text("ab") + realMinus5 + Text("-5") + Text(""),
                          U32(3) + U32(530) + "80000000" + U32(9) + Repeat("4c", 487),
                      }));
  EXPECT_EQ(f.Raw(3),
            (Records{U16(1) + "7fffffff" + U32(1), U16(1) + "80000000" + U32(3), U16(1) + "80000002" + U32(2)}));
  EXPECT_EQ(f.Raw(4), (Records{U16(2) + U32(7) + U32(1), U16(2) + U32(8) + U32(2), U16(2) + U32(9) + U32(3)}));
  EXPECT_EQ(f.Raw(5), (Records{U16(4) + realMinus5 + U32(2), U16(4) + real005 + U32(3), U16(4) + real5 + U32(1)}));
  EXPECT_EQ(f.Raw(6), (Records{U32(1) + U32(1), U32(1) + U32(2), U32(2) + U32(1), U32(3) + U32(1), U32(4) + U32(2),
                               U32(5) + U32(3), U32(6) + U32(3)}));
  EXPECT_EQ(f.Raw(7), (Records{
                          U16(3) + Repeat("4c", 14) + U32(5) + U32(1) + "c8" + Repeat("4c", 200),
                          ShortValue(3, "ab", 1, 2),
                          ShortValue(5, "", 4, 1),
                          ShortValue(5, "x", 2, 1),
                          ShortValue(5, "y", 3, 1),
                          ShortValue(5, "z", 6, 1),
                      }));
  EXPECT_EQ(f.Raw(8), (Records{U32(3) + "00" + tail3}));
  EXPECT_EQ(f.Get(3), (Values{"3", "0", "9", L, "0.05", "z"}));
}

TEST(KvRecordLayout, ColumnDefinitionWithOptionTexts) {
  TableFixture f({{"d", kvrString, 0, kvrAutoFixed | kvrOptAppend}});
  CKvrColInfo& d = *f.table.Columns()->GetAt(1);
  d.OptText1 = SJ("既定,1");
  d.OptText2 = "memo";
  ASSERT_TRUE(f.table.WriteColInfoList());
  EXPECT_EQ(f.Raw(1)[3], U32(101) + Text("d") + U32(20) + U32(3) + U32(7) + U32(72) + "8af992e82c3100" + Text("memo"));
  f.table.Close();
  ASSERT_EQ(f.table.Open(), 0);
  EXPECT_EQ(f.table.Columns()->GetAt(1)->ToText(), SJ("d,20,3,7,72,\"既定,1\",memo"));
}

TEST(KvRecordLayout, StringValuesKeepTwoHundredBytesWithoutSplittingAPair) {
  const AnsiString kanji = SJ("漢");  // 8A BF
  struct Case {
    AnsiString text;
    int kept;
  } cases[] = {
      {AnsiString(199, 'a'), 200},                  // whole, with its NUL
      {AnsiString(300, 'a'), 200},                  // cut, no NUL
      {AnsiString(199, 'a') + kanji + "bbb", 201},  // byte 199 leads a pair
      {AnsiString(198, 'a') + kanji + "bbb", 200},  // byte 199 ends a pair
  };
  for (const Case& c : cases) {
    CKvrBuffer rec(64);
    CKvrColInfo col;
    CKvRecord::MakeStringValueRecord(rec, col, 1, CKvrValue(c.text.c_str(), int(c.text.size())), 9, 1);
    ASSERT_EQ(rec.Length(), 25 + c.kept) << c.text.size();
    EXPECT_EQ(rec.Data()[24], c.kept);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rec.Data()) + 25, size_t(c.kept)),
              std::string(c.text.c_str(), size_t(c.kept)));
  }
}

TEST(KvRecordLayout, ColumnAndOptionTexts) {
  CKvrColInfo c;
  c.FromText("only");
  EXPECT_EQ(c.ToText(), "only,20,3,0,0,,");
  c.FromText("\"a b\",36,5,8,4294967295,\"x,y\",z");
  EXPECT_EQ(c.Name, "a b");
  EXPECT_EQ(c.KeyLength, 36);
  EXPECT_EQ(c.Type, kvrSet);
  EXPECT_EQ(c.KeyNumber, 8);
  EXPECT_EQ(c.Flags, 4294967295u);
  EXPECT_EQ(c.OptText1, "x,y");
  EXPECT_EQ(c.OptText2, "z");
  CKvrColInfoList source, list;
  source.AddNew()->FromText(c.ToText());
  source.AddNew()->Name = "other";
  list.FromText(source.ToText());
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.GetAt(0)->OptText1, "x,y");
  EXPECT_EQ(list.IndexOf("other"), 1);
  EXPECT_EQ(list.IndexOf("OTHER"), -1);
  EXPECT_EQ(list.Find("x"), nullptr);
  EXPECT_EQ(list.GetAt(2), nullptr);

  uint32_t flags = 99;
  AnsiString t1 = "?", t2 = "?";
  TextToColOpt("", flags, t1, t2);
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(t1, "");
  EXPECT_EQ(t2, "");
  TextToColOpt("7,a", flags, t1, t2);
  EXPECT_EQ(flags, 7u);
  EXPECT_EQ(t1, "a");
  EXPECT_EQ(t2, "");
  TextToColOpt("x,1", flags, t1, t2);
  EXPECT_EQ(flags, 0u);
  EXPECT_EQ(ColOptToText(65, "A,B", ""), "65,\"A,B\",");
}

TEST(KvRecordLayout, KeyLengthsOfTheTwoLayouts) {
  CKvRecord current;
  EXPECT_EQ(current.KeyLength(kvrSigned, 0), 10);
  EXPECT_EQ(current.KeyLength(kvrReal, 0), 12);
  EXPECT_EQ(current.KeyLength(kvrString, 500), 20);
  EXPECT_EQ(current.KeyNumber(kvrSet, 20), 7);
  EXPECT_EQ(current.KeyLength(0, 0), -1);
}

namespace {

// A table file as an older writer left it: 20 keys (no continuation key), no version record,
// column definitions ending after the key number, one record.
void WriteOlderFixture(const std::string& path) {
  const int16_t keys[] = {20, 4, 4, 12, 12, 14, 8, 20, 36, 52, 68, 84, 100, 116, 132, 148, 164, 180, 196, 212, 228};
  CKorva k;
  ASSERT_TRUE(k.Create(path, 1024, 2048, keys));
  ASSERT_TRUE(k.Open(path));
  auto put = [&](int key, const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes += char(std::stoi(hex.substr(i, 2), nullptr, 16));
    ASSERT_TRUE(k.SelectKey(key));
    ASSERT_TRUE(k.Insert(bytes.data(), int(bytes.size()))) << key << " " << hex;
  };
  put(1, U32(1) + U32(1) + U32(1) + U32(3));
  put(1, U32(100) + Text("__REC__ID__") + U32(4) + U32(2) + U32(2));
  put(1, U32(101) + Text("num") + U32(12) + U32(1) + U32(3));
  put(1, U32(102) + Text("name") + U32(36) + U32(3) + U32(8));
  put(2, U32(1) + U32(16) + "80000005" + Text("abc"));
  put(3, U32(1) + "80000005" + U32(1));
  put(8, U32(2) + Text("abc") + Zeros(28) + U32(1) + U32(1));
  put(6, U32(1) + U32(1));
}

}  // namespace

TEST(KvRecordLayout, OlderFileIsReadAndWrittenInItsOwnLayout) {
  TempDir dir;
  const std::string path = dir.File("old.kv");
  WriteOlderFixture(path);
  ASSERT_FALSE(::testing::Test::HasFatalFailure());
  CKvRecord t;
  t.SetFileName(path);
  ASSERT_EQ(t.Open(), 0);
  EXPECT_EQ(t.Version(), 0);
  EXPECT_EQ(t.KeyCount(), 21);
  ASSERT_EQ(t.Columns()->Count(), 3);
  EXPECT_EQ(t.Columns()->GetAt(2)->Flags, 0u);
  EXPECT_EQ(t.Columns()->GetAt(2)->OptText1, "");
  EXPECT_EQ(ReadBack(t, 1), (Values{"1", "5", "abc"}));
  EXPECT_EQ(t.KeyLength(kvrString, 1), 20);
  EXPECT_EQ(t.KeyNumber(kvrString, 20), 7);
  EXPECT_EQ(t.KeyLength(kvrString, 17), 36);
  EXPECT_EQ(t.KeyNumber(kvrString, 36), 8);
  EXPECT_EQ(t.KeyLength(kvrString, 224), 228);
  EXPECT_EQ(t.KeyNumber(kvrString, 228), 20);
  EXPECT_EQ(t.KeyLength(kvrString, 225), -1);
  EXPECT_EQ(t.KeyLength(kvrReal, 0), 14);

  TStringList names, texts;
  names.Add("num");
  names.Add("name");
  texts.Add("6");
  texts.Add("abc");
  ASSERT_TRUE(t.Insert(names, texts));
  texts.SetString(1, AnsiString(600, 'q'));  // a long body: the continuation key is added
  ASSERT_TRUE(t.Insert(names, texts));
  EXPECT_EQ(ReadBack(t, 3), (Values{"3", "6", AnsiString(600, 'q')}));
  EXPECT_EQ(RawRecords(*t.File(), 21).size(), 1u);
  EXPECT_EQ(RawRecords(*t.File(), 3),
            (Records{U32(1) + "80000005" + U32(1), U32(1) + "80000006" + U32(2), U32(1) + "80000006" + U32(3)}));
  EXPECT_EQ(RawRecords(*t.File(), 8),
            (Records{U32(2) + Text("abc") + Zeros(28) + U32(1) + U32(2), U32(2) + Repeat("71", 32) + U32(2) + U32(1)}));
  unsigned uses = 0;
  EXPECT_TRUE(t.GetIdByKey("name", "abc", uses));
  EXPECT_EQ(uses, 2u);
  AnsiString text;
  EXPECT_FALSE(t.GetHighest("num", text));

  ASSERT_TRUE(t.DelRecById("1"));
  ASSERT_TRUE(t.DelRecById("3"));
  EXPECT_EQ(RawRecords(*t.File(), 8), (Records{U32(2) + Text("abc") + Zeros(28) + U32(1) + U32(1)}));
  EXPECT_EQ(RawRecords(*t.File(), 6), (Records{U32(1) + U32(2)}));
  EXPECT_TRUE(RawRecords(*t.File(), 21).empty());
  EXPECT_EQ(t.ReIndex(nullptr, nullptr), 0);

  // A table made by this object now has the older layout too.
  t.Close();
  t.SetFileName(dir.File("made.kv"));
  ASSERT_TRUE(t.OpenOrCreate());
  EXPECT_EQ(t.KeyCount(), 21);
  EXPECT_TRUE(t.File()->SelectKey(21));
  ASSERT_TRUE(t.AddColumn("w", kvrString, 40));
  EXPECT_EQ(t.Columns()->GetAt(1)->KeyLength, 52);
  EXPECT_EQ(t.Columns()->GetAt(1)->KeyNumber, 9);
}
