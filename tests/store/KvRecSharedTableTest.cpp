// One set of table tests run against a local table and against tables on a record server on the
// loopback interface, which answers in Shift_JIS or in EUC-JP. The tests reach the table only
// through CreateKvRecord and the table operations, as the rest of the program does.
#include <algorithm>
#include <memory>
#include <vector>

#include "store/CondOp.h"
#include "store/KvRecRemote.h"
#include "tests/store/KvRecordTestSupport.h"
#include "tests/support/RecordServer.h"

namespace {

using Strs = std::vector<AnsiString>;

enum Store { kLocal, kServerSjis, kServerEuc };

struct Cond {
  const char* column;
  int op;
  AnsiString text;
};

// Texts that the field text must quote, a trail byte 0x5C (表), half-width katakana, an empty one.
struct Row {
  AnsiString code, num, price, tags;
};
const std::vector<Row>& Rows() {
  static const std::vector<Row> rows = {
      {"A001", "3", "12.5", SJ("赤,青")},
      {SJ("表示"), "-1", "0.05", SJ("青")},
      {SJ("ｱｲｳｴｵ"), "10", "7", ""},
      {"a,b \"q\" it's", "3", "100", SJ("緑, 赤")},
      {"x\ty", "0", "-2.5", "p"},
  };
  return rows;
}

class SharedTable : public ::testing::TestWithParam<Store> {
 protected:
  void SetUp() override {
    AnsiString name = dir_.File("t.kvr");
    if (GetParam() != kLocal) {
      server_ = std::make_unique<RecordServer>(dir_.Path(), GetParam() == kServerEuc ? "euc" : "sjis");
      name = server_->TableName("t.kvr");
    }
    t_.reset(CreateKvRecord(name));
    ASSERT_TRUE(t_);
    ASSERT_EQ(dynamic_cast<CKvRecRemote*>(t_.get()) != nullptr, GetParam() != kLocal);
    ASSERT_TRUE(t_->OpenOrCreate());
    ASSERT_TRUE(t_->AddColumn("code", kvrString, 20));
    ASSERT_TRUE(t_->AddColumn("num", kvrSigned, 0));
    ASSERT_TRUE(t_->AddColumn("price", kvrReal, 0));
    ASSERT_TRUE(t_->AddColumn("tags", kvrSet, 40));
    t_->Close();
    ASSERT_GE(t_->Open(), 0);
    std::unique_ptr<TStrings> names(Texts({"code", "num", "price", "tags"}));
    for (const Row& r : Rows()) {
      std::unique_ptr<TStrings> texts(Texts({r.code, r.num, r.price, r.tags}));
      ASSERT_TRUE(t_->Insert(*names, *texts)) << Show(r.code);
    }
  }

  void Start(std::initializer_list<Cond> conds) {
    t_->ClearCond();
    for (const Cond& c : conds) t_->AddCond(c.column, c.op, c.text);
    t_->AddCondEnd();
  }

  // Every record GetRec delivers, each as "id:code:num:price:tags", sorted.
  Strs Read(std::initializer_list<Cond> conds) {
    Start(conds);
    Strs out;
    CKvrValueList values;
    while (t_->GetRec(values)) out.push_back(Line(values));
    std::sort(out.begin(), out.end());
    return out;
  }

  // The same through the bounded reads.
  Strs ReadNB(std::initializer_list<Cond> conds) {
    Start(conds);
    Strs out;
    CKvrValueList values;
    for (int calls = 0; calls < 10000; ++calls) {
      const int r = t_->GetRecNB(values);
      if (r < 0) break;
      if (r == 1) out.push_back(Line(values));
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  static AnsiString Line(const CKvrValueList& values) {
    AnsiString line;
    for (int i = 0; i < values.Count(); ++i) line += (i ? ":" : "") + values.GetAt(i)->GetText();
    return line;
  }

  static Strs Sorted(Strs texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
  }

  static Strs Marked(const TStrings& list) {
    Strs out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list[i] + (list.Objects(i) ? "*" : ""));
    std::sort(out.begin(), out.end());
    return out;
  }

  TempDir dir_;
  CKvrValueList values_;
  std::unique_ptr<RecordServer> server_;
  std::unique_ptr<CKvRecord> t_;
};

TEST_P(SharedTable, ColumnsRecordsAndConditions) {
  std::unique_ptr<TStrings> cols(t_->ListCol(nullptr));
  EXPECT_EQ(Marked(*cols), (Strs{"__REC__ID__", "code", "num", "price", "tags"}));

  const AnsiString one = "1:A001:3:12.5:" + SJ("赤,青");
  const AnsiString two = "2:" + SJ("表示") + ":-1:0.05:" + SJ("青");
  const AnsiString three = "3:" + SJ("ｱｲｳｴｵ") + ":10:7:";
  const AnsiString four = "4:a,b \"q\" it's:3:100:" + SJ("緑, 赤");
  const AnsiString five = "5:x\ty:0:-2.5:p";
  EXPECT_EQ(Read({{"num", COND_GRT_EQL, "3"}}), (Strs{one, three, four}));
  EXPECT_EQ(ReadNB({{"num", COND_GRT_EQL, "3"}}), (Strs{one, three, four}));
  EXPECT_EQ(Read({{"code", COND_EQL, SJ("表示")}}), (Strs{two}));
  EXPECT_EQ(ReadNB({{"code", COND_EQL, "a,b \"q\" it's"}}), (Strs{four}));
  EXPECT_EQ(Read({{"code", COND_LIKE, "%y"}}), (Strs{five}));
  EXPECT_EQ(Read({{"price", COND_LES, "1"}, {"num", COND_LES_EQL, "0"}}), (Strs{two, five}));
  EXPECT_EQ(Read({{"__REC__ID__", COND_GRT, "4"}}), (Strs{five}));
  EXPECT_EQ(Read({{"tags", COND_EQL, SJ("赤")}}), (Strs{one, four}));
  EXPECT_TRUE(Read({{"code", COND_EQL, "none"}}).empty());

  // Sub-conditions: the records of the group that also pass one of the AND lists.
  Start({{"num", COND_GRT_EQL, "0"}});
  ASSERT_TRUE(t_->AddSubCond("tags", COND_EQL, SJ("赤")));
  ASSERT_TRUE(t_->AddSubCond("price", COND_GRT, "50"));
  ASSERT_TRUE(t_->AddSubCondEnd());
  ASSERT_TRUE(t_->AddSubCond("code", COND_EQL, "x\ty"));
  ASSERT_TRUE(t_->AddSubCondEnd());
  Strs got;
  CKvrValueList values;
  while (t_->GetRec(values)) got.push_back(Line(values));
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (Strs{four, five}));
  EXPECT_FALSE(t_->AddSubCond("nosuch", COND_EQL, "1"));
}

TEST_P(SharedTable, DistinctValues) {
  TStringList all;
  ASSERT_TRUE(t_->EnumList2(all, "code", 0, nullptr));
  EXPECT_EQ(Marked(all), Sorted({"A001", "a,b \"q\" it's", "x\ty", SJ("ｱｲｳｴｵ"), SJ("表示")}));
  TStringList cut;
  ASSERT_TRUE(t_->EnumList2(cut, "code", 2, nullptr));
  EXPECT_EQ(Marked(cut), Sorted({"A0*", "a,*", "x\t*", SJ("ｱｲ") + "*", SJ("表") + "*"}));

  TStringList tags;
  Start({{"num", COND_GRT_EQL, "3"}});
  t_->GetEnum("tags", tags);
  EXPECT_EQ(Marked(tags), Sorted({"", SJ("緑"), SJ("赤"), SJ("青")}));

  Start({{"code", COND_ALL, ""}});
  ASSERT_TRUE(t_->SetEnumCol("code", 2));
  TStringList stepped;
  for (int calls = 0; calls < 1000 && t_->GetEnumNB(stepped) >= 0; ++calls) {
  }
  EXPECT_EQ(Marked(stepped), Marked(cut));

  // The accepting form hands out the record with its values.
  Start({{"num", COND_ALL, ""}});
  ASSERT_TRUE(t_->SetEnumCol("num", 0));
  Strs nums, records;
  for (int calls = 0; calls < 1000; ++calls) {
    TStringList step;
    const int r = t_->GetEnumNB_a(values_, step);
    if (r < 0) break;
    if (r == 0) continue;
    for (int i = 0; i < step.Count(); ++i) nums.push_back(step[i]);
    records.push_back(values_.GetAt(2)->GetText());
    t_->AcceptEnum_a(step);
  }
  std::sort(nums.begin(), nums.end());
  EXPECT_EQ(nums, (Strs{"-1", "0", "10", "3"}));
  EXPECT_EQ(records.size(), nums.size());
}

TEST_P(SharedTable, ChangesDeletionsAndExtremes) {
  AnsiString text;
  ASSERT_TRUE(t_->GetHighest("num", text));
  EXPECT_EQ(text, "10");
  ASSERT_TRUE(t_->GetLeast("num", text));
  EXPECT_EQ(text, "-1");
  ASSERT_TRUE(t_->GetLeast("code", text));
  EXPECT_EQ(text, "A001");
  EXPECT_FALSE(t_->GetHighest("nosuch", text));

  ASSERT_TRUE(t_->ChgRecById("2", 2, "42"));
  ASSERT_TRUE(t_->GetHighest("num", text));
  EXPECT_EQ(text, "42");
  ASSERT_TRUE(t_->DelRecById("3"));
  EXPECT_FALSE(t_->DelRecById("3"));
  EXPECT_EQ(Read({{"num", COND_GRT_EQL, "3"}}),
            (Strs{"1:A001:3:12.5:" + SJ("赤,青"), "2:" + SJ("表示") + ":42:0.05:" + SJ("青"),
                  "4:a,b \"q\" it's:3:100:" + SJ("緑, 赤")}));

  // A record read, changed and written back whole.
  Start({{"code", COND_EQL, "x\ty"}});
  ASSERT_TRUE(t_->GetRec(values_));
  values_.GetAt(1)->SetText("x y");
  values_.GetAt(4)->SetText(SJ("緑,黄").c_str());
  ASSERT_TRUE(t_->ReplaceData(values_));
  EXPECT_EQ(Read({{"tags", COND_EQL, SJ("黄")}}), (Strs{"5:x y:0:-2.5:" + SJ("緑,黄")}));

  // The column options travel with the column list.
  ASSERT_TRUE(t_->Columns());
  t_->Columns()->Find("code")->Flags = kvrOptUnique;
  ASSERT_TRUE(t_->WriteColInfoList());
  t_->Close();
  ASSERT_GE(t_->Open(), 0);
  EXPECT_EQ(t_->Columns()->Find("code")->Flags, uint32_t(kvrOptUnique));
}

INSTANTIATE_TEST_SUITE_P(Stores, SharedTable, ::testing::Values(kLocal, kServerSjis, kServerEuc),
                         [](const ::testing::TestParamInfo<Store>& info) {
                           return info.param == kLocal ? "Local" : info.param == kServerSjis ? "ServerSjis" : "ServerEuc";
                         });

}  // namespace
