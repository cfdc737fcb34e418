// String values whose texts share their first 14 bytes: one string value per distinct text, its
// use count the number of records that hold it, whichever table objects wrote them.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "tests/store/KvRecordTestSupport.h"

namespace {

// Text -> use count of every string value of column colNo, from the raw records of key 7; a text
// found twice is reported as a count of -1.
std::map<std::string, long> StringValues(CKorva& file, int colNo) {
  std::map<std::string, long> out;
  const int cap = file.DataBlockCap();
  std::vector<unsigned char> buf(size_t(cap) + 1), last;
  if (!file.SelectKey(kvrKeyString)) return out;
  for (bool ok = file.First(buf.data()); ok; ok = file.Next(last.data(), buf.data())) {
    const int n = file.LastResult();
    last.assign(buf.begin(), buf.begin() + n);
    if (n < 25 || KvrGet32(buf.data()) >> 16 != uint32_t(colNo)) continue;
    const std::string text(reinterpret_cast<const char*>(buf.data() + 25), strnlen(reinterpret_cast<const char*>(buf.data() + 25), size_t(buf[24])));
    const long count = long(KvrGet32(buf.data() + 20));
    out[text] = out.count(text) ? -1 : count;
  }
  return out;
}

}  // namespace

TEST(KvRecordStringValues, CrowdedGroupsStayExactUnderTwoWriters) {
  TableFixture a({{"s", kvrString, 40, 0}});
  CKvRecord b;
  b.SetFileName(a.dir.File("t.kv"));
  ASSERT_EQ(b.Open(), 0);
  // Forty texts in one group (the same first 14 bytes), a few short ones alone in theirs.
  std::vector<AnsiString> texts;
  for (int i = 0; i < 40; ++i) texts.push_back(Format("shared-prefix-%02d", i));
  for (const char* t : {"x", "y", "shared-prefix"}) texts.push_back(t);

  std::mt19937 random(7);
  std::map<uint32_t, AnsiString> live;  // record id -> text, the model
  TStringList names;
  names.Add("s");
  for (int step = 0; step < 1500; ++step) {
    CKvRecord& t = random() % 3 == 0 ? b : a.table;
    const int what = int(random() % 10);
    if (what < 6 || live.empty()) {
      const AnsiString& text = texts[random() % texts.size()];
      TStringList values;
      values.Add(text);
      unsigned id = 0;
      ASSERT_TRUE(t.InsertEx(names, values, &id, 0)) << step;
      live[id] = text;
    } else {
      auto it = live.begin();
      std::advance(it, random() % live.size());
      if (what < 8) {
        ASSERT_TRUE(t.DelRecById(UIntToStr(it->first))) << step;
        live.erase(it);
      } else {
        const AnsiString& text = texts[random() % texts.size()];
        ASSERT_TRUE(t.ChgRecById(UIntToStr(it->first), 1, text)) << step;
        it->second = text;
      }
    }
  }
  std::map<std::string, long> expected;
  for (const auto& [id, text] : live) ++expected[text];
  EXPECT_EQ(StringValues(*a.table.File(), 1), expected);
  b.Close();
}
