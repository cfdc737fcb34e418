// The records of a reader through the pipe: the same records in the same order as reading them
// directly, whether read on the pipe's thread or inline, in batches cut by count or by size.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "query/CsvFile.h"
#include "query/RecordPipe.h"
#include "tests/query/QueryTestSupport.h"

namespace {

std::vector<std::string> ReadAll(const std::string& path) {
  CCsvFile reader;
  EXPECT_TRUE(reader.Open(path, "rb"));
  std::vector<std::string> records;
  for (TStringList fields; reader.ReadRecord(&fields); fields.Clear()) records.push_back(fields.CommaText());
  return records;
}

}  // namespace

TEST(RecordPipe, GivesTheReadersRecordsUpToTheLimit) {
  const int batch = CRecordPipe::kBatchRecords;
  // Short records, and records of 4 KB that fill a batch by size long before its count.
  std::string shortRecords, longRecords;
  for (int i = 0; i < 2 * batch + 5; ++i) shortRecords += std::to_string(i) + ",a b,\"q\"\n";
  for (int i = 0; i < 300; ++i) longRecords += std::to_string(i) + "," + std::string(4096, char('a' + i % 26)) + "\n";
  TempDir dir;
  for (const std::string* text : {&shortRecords, &longRecords}) {
    const std::string path = dir.File("in.csv");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text->data(), 1, text->size(), f);
    std::fclose(f);
    const std::vector<std::string> all = ReadAll(path);
    for (const bool threaded : {true, false}) {
      for (const int64_t limit : {int64_t(-1), int64_t(0), int64_t(1), int64_t(batch), int64_t(batch + 1), int64_t(5000)}) {
        const std::string name = std::to_string(all.size()) + " records, limit " + std::to_string(limit) +
                                 (threaded ? ", threaded" : ", inline");
        CCsvFile reader;
        ASSERT_TRUE(reader.Open(path, "rb"));
        std::vector<std::string> got;
        {
          CRecordPipe pipe(reader, limit, threaded);
          while (const TStrings* fields = pipe.Next()) got.push_back(fields->CommaText());
          EXPECT_EQ(pipe.Next(), nullptr) << name;
        }
        const size_t expected = limit < 0 ? all.size() : std::min(all.size(), size_t(limit));
        EXPECT_EQ(got, std::vector<std::string>(all.begin(), all.begin() + expected)) << name;
        // Nothing was read beyond the limit.
        TStringList fields;
        EXPECT_EQ(reader.ReadRecord(&fields) ? fields.CommaText() : "end", expected < all.size() ? all[expected] : "end")
            << name;
      }
    }
  }
}
