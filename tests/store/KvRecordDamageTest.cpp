// A table with random damaged blocks, as a failing disk leaves one: every listing and copy of it
// either reports the damage or gives every record whole, and the data check's steps (check,
// salvage, copy, compress) give back the records of the intact blocks byte for byte and no record
// with a wrong value. A damaged header or table-records block is reported too, and the salvage
// still recovers the intact blocks.
//
// The table has 20,000 records here; CW_DAMAGE_RECORDS=200000 runs the full size (and prints
// the figures), with the damaged blocks scaled to the table: 1, 10 and 100 at 200,000 records.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <cstdlib>
#include <map>
#include <random>
#include <set>

#include "store/CondOp.h"
#include "store/KorvaFormat.h"
#include "tests/store/KvRecordTestSupport.h"

namespace {

using Values = std::vector<AnsiString>;  // day, amount, name, tags of one record by its number
constexpr int kKeyBlock = 1024, kDataBlock = 2048, kHeader = 1024;

int RecordCount() {
  const char* env = std::getenv("CW_DAMAGE_RECORDS");
  return env && std::atoi(env) > 0 ? std::atoi(env) : 20000;
}

// Numbers, dates, Shift_JIS texts (every 40th over 600 bytes) and sets; the expected values by
// record number.
std::map<int, Values> BuildTable(const std::string& path, int n) {
  std::mt19937 rng(21);
  const char* words[] = {"東京都", "千代田区", "大阪府", "株式会社", "営業部", "山田太郎", "ソフト", "データ", "検査", "ａｂｃ"};
  std::vector<AnsiString> sjis;
  for (const char* w : words) sjis.push_back(Utf8ToSjis(w));
  CKvRecord t;
  t.SetFileName(path);
  EXPECT_TRUE(t.AddColumn("no", kvrSigned, 0) && t.AddColumn("day", kvrString, 0) && t.AddColumn("amount", kvrReal, 0) &&
              t.AddColumn("name", kvrString, 0) && t.AddColumn("tags", kvrSet, 0));
  std::map<int, Values> expected;
  TStringList names, texts;
  for (const char* c : {"no", "day", "amount", "name", "tags"}) names.Add(c);
  CKorvaHold hold(*t.File());
  for (int i = 1; i <= n; ++i) {
    char day[16], amount[32];
    std::snprintf(day, sizeof day, "%04d/%02d/%02d", 2000 + int(rng() % 25), 1 + int(rng() % 12), 1 + int(rng() % 28));
    std::snprintf(amount, sizeof amount, "%d.%02d", int(rng() % 100000), int(rng() % 100));
    AnsiString name;
    const int parts = i % 40 == 0 ? 80 : 1 + int(rng() % 6);
    for (int p = 0; p < parts; ++p) name += sjis[rng() % sjis.size()];
    name += std::to_string(i);
    const AnsiString tags = sjis[rng() % 4] + "," + sjis[4 + rng() % 4];
    texts.Clear();
    for (const AnsiString& s : {AnsiString(std::to_string(i)), AnsiString(day), AnsiString(amount), name, tags}) texts.Add(s);
    EXPECT_TRUE(t.Insert(names, texts)) << i;
    expected[i] = {day, amount, name, tags};
  }
  return expected;
}

// The record of values as the expected map keeps it.
std::pair<int, Values> Keyed(const CKvrValueList& v) {
  return {int(v.GetAt(1)->GetSigned()),
          {v.GetAt(2)->GetText(), v.GetAt(3)->GetText(), v.GetAt(4)->GetText(), v.GetAt(5)->GetText()}};
}

struct Block {
  uint32_t address;
  int size;
};

// The blocks of a table file end to end from the first after the list heads, as they lie.
std::vector<Block> Blocks(const std::string& bytes) {
  std::vector<Block> out;
  for (size_t a = kHeader + 2 * kKeyBlock; a + kKeyBlock <= bytes.size();) {
    const auto* b = reinterpret_cast<const uint8_t*>(bytes.data() + a);
    const uint16_t kind = korva::Get16(b);
    const int size = kind == korva::kKindData || kind == korva::kKindRemoved ? kDataBlock : kKeyBlock;
    out.push_back({uint32_t(a), size});
    a += size_t(size);
  }
  return out;
}

void Overwrite(std::string& bytes, size_t at, size_t n, std::mt19937& rng, bool zeros) {
  for (size_t i = 0; i < n && at + i < bytes.size(); ++i) bytes[at + i] = zeros ? '\0' : char(rng());
}

void WriteFile(const std::string& path, const std::string& bytes) {
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_TRUE(out);
  ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), out), bytes.size());
  std::fclose(out);
}

// Lists the table through a condition; true when it reported damage, else got holds every
// record it gave.
bool List(CKvRecord& t, const char* column, int op, const char* text, std::map<int, Values>& got) {
  MessageCatcher box;
  t.ClearCond();
  t.AddCond(column, op, text);
  t.AddCondEnd();
  CKvrValueList values;
  while (t.GetRec(values)) got.insert(Keyed(values));
  for (const AnsiString& m : box.texts)
    if (m.find(SJ("「データ検査」")) != std::string::npos) return true;
  return false;
}

// The records of a table file read from its bodies; the records whose values differ from the
// expected ones in wrong.
std::map<int, Values> ReadAll(const std::string& path, const std::map<int, Values>& expected, int& wrong) {
  std::map<int, Values> got;
  CKvRecord t;
  t.SetFileName(path);
  EXPECT_EQ(t.Open(), 0);
  std::map<int, Values> listed;
  EXPECT_FALSE(List(t, "__REC__ID__", COND_GRT_EQL, "0", listed));
  wrong = 0;
  for (const auto& [no, values] : listed) {
    const auto it = expected.find(no);
    if (it == expected.end() || it->second != values) ++wrong;
    got.insert({no, values});
  }
  return got;
}

// The data check's steps: check, salvage, copy into a new table, compress. The records of the
// result, or -1 when a step failed.
int DataCheck(const TempDir& dir, const std::string& damaged, const std::map<int, Values>& expected, int& wrong,
              int* salvaged = nullptr) {
  EXPECT_EQ(CKorva::Check(damaged), -1);
  const std::string one = dir.File("t.#1"), three = dir.File("t.#3"), four = dir.File("t.#4");
  for (const std::string& p : {one, three, four}) std::remove(p.c_str());
  const int placed = CKorva::Salvage(damaged, one, 0, 0);
  if (salvaged) *salvaged = placed;
  if (placed < 0) return -1;
  CKvRecord rebuilt;
  rebuilt.SetFileName(one);
  const int copied = rebuilt.CopyTo(three);
  rebuilt.Close();
  if (copied < 0 || CKorva::Copy(three, four, 0, 0) < 0) return -1;
  EXPECT_GE(CKorva::Check(four), 0);  // the result is sound, its own invariants too
  return int(ReadAll(four, expected, wrong).size());
}

}  // namespace

TEST(KvRecordDamage, DamagedBlocksAreReportedAndTheIntactRecordsComeBack) {
  const int n = RecordCount();
  TempDir dir;
  const std::string original = dir.File("original.kv"), damaged = dir.File("t.kv");
  const std::map<int, Values> expected = BuildTable(original, n);
  if (n != 20000) {
    // What the checks of a sound table of this size cost.
    const auto timed = [](const std::function<int()>& step) {
      const auto start = std::chrono::steady_clock::now();
      const int result = step();
      return std::pair{result, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
    };
    const auto [checked, checkSeconds] = timed([&] { return CKorva::Check(original); });
    CKvRecord t;
    t.SetFileName(original);
    const auto [added, reindexSeconds] = timed([&] { return t.ReIndex(nullptr, nullptr); });
    EXPECT_GE(checked, n);  // the records of every key
    EXPECT_EQ(added, 0);
    std::printf("figure sound_table_check %.2f s\nfigure sound_table_reindex %.2f s\n", checkSeconds, reindexSeconds);
  }
  const std::string sound = ReadFileBytes(original);
  std::vector<Block> blocks = Blocks(sound);
  // The table records (key 1's first data block) are damaged on their own below.
  const uint32_t tableRecords = kHeader + 2 * kKeyBlock + kKeyBlock;
  blocks.erase(std::remove_if(blocks.begin(), blocks.end(), [&](const Block& b) { return b.address <= tableRecords; }),
               blocks.end());
  std::mt19937 rng(2108);
  for (const int full : {1, 10, 100}) {
    const int count = std::max(1, int(int64_t(full) * n / 200000));
    SCOPED_TRACE(count);
    std::string bytes = sound;
    std::set<size_t> chosen;
    while (int(chosen.size()) < count) chosen.insert(rng() % blocks.size());
    for (const size_t i : chosen) Overwrite(bytes, blocks[i].address, size_t(blocks[i].size), rng, i % 3 == 0);
    WriteFile(damaged, bytes);

    // Listings and copies: the damage, or every record whole.
    CKvRecord t;
    t.SetFileName(damaged);
    ASSERT_EQ(t.Open(), 0);
    int reported = 0;
    for (const auto& [column, op, text] : {std::tuple{"__REC__ID__", COND_GRT_EQL, "0"}, std::tuple{"no", COND_GRT_EQL, "0"},
                                            std::tuple{"tags", COND_EQL, SJ("東京都").c_str()}}) {
      std::map<int, Values> got;
      if (List(t, column, op, text, got)) {
        ++reported;
        continue;
      }
      for (const auto& [no, values] : got) EXPECT_EQ(values, expected.at(no)) << column << " " << no;
      if (std::string(column) != "tags") {
        EXPECT_EQ(int(got.size()), n) << column;
      }
    }
    {
      MessageCatcher box;
      const int copied = t.CopyTo(dir.File("copy.kv"));
      EXPECT_TRUE(copied == -1 || copied == n) << copied;
      std::remove(dir.File("copy.kv").c_str());
    }
    t.Close();

    int wrong = 0;
    const int back = DataCheck(dir, damaged, expected, wrong);
    EXPECT_EQ(wrong, 0);
    EXPECT_GE(back, n - n / 200) << "of " << n;  // 99.5 %
    if (n != 20000) std::printf("figure damage_%d_blocks_listings_reporting %d of 3\nfigure damage_%d_blocks_recovered %.3f %%\n", full, reported, full, 100.0 * back / n);
  }

  // A damaged header: reported, and every record comes back from the blocks.
  {
    std::string bytes = sound;
    Overwrite(bytes, 0, kHeader, rng, false);
    WriteFile(damaged, bytes);
    int wrong = 0;
    EXPECT_EQ(DataCheck(dir, damaged, expected, wrong), n);
    EXPECT_EQ(wrong, 0);
  }
  // A damaged table-records block: reported; the salvage recovers every other record of the file.
  {
    int whole = 0, wrong = 0;
    const std::string one = dir.File("whole.#1");
    whole = CKorva::Salvage(original, one, 0, 0);
    std::string bytes = sound;
    Overwrite(bytes, tableRecords, kDataBlock, rng, false);
    WriteFile(damaged, bytes);
    MessageCatcher box;
    CKvRecord t;
    t.SetFileName(damaged);
    EXPECT_EQ(t.Open(), -1);
    int salvaged = 0;
    EXPECT_EQ(DataCheck(dir, damaged, expected, wrong, &salvaged), -1);  // no columns to copy by
    EXPECT_EQ(salvaged, whole - 8);  // less key 1: table information, version, six columns
  }
}
