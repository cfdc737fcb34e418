// Delimited text under any separator, quote pairs and rows per record: every record is read, each
// consumes input, and what JoinCsvFields writes of any record reads back as the same fields.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/MemoryFile.h"
#include "query/CsvFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryFile input, written;
  static const char* const kQuotes[] = {"", "\"\"", "\"\"''", "[]", "\"\"[]''", "''"};
  if (size < 3) return 0;
  const char separator = static_cast<char>(data[0]);
  const int rows = data[1] % 4;
  const char* quotes = kQuotes[data[2] % (sizeof kQuotes / sizeof kQuotes[0])];
  data += 3;
  size -= 3;

  CCsvFile reader;
  if (!reader.Open(input.Write(data, size), "rb")) __builtin_trap();
  reader.Separator = separator;
  reader.QuotePairs = quotes;
  reader.RowsPerRecord = rows;
  std::vector<std::vector<AnsiString>> records;
  std::string text;
  TStringList fields;
  for (;;) {
    fields.Clear();
    if (!reader.ReadRecord(&fields)) break;
    if (fields.Count() == 0 || records.size() >= size) __builtin_trap();  // a record consumes input
    records.emplace_back();
    for (int i = 0; i < fields.Count(); ++i) records.back().push_back(fields[i]);
    text += JoinCsvFields(&fields, ',') + "\n";
  }

  CCsvFile again;
  if (!again.Open(written.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size()), "rb")) __builtin_trap();
  for (const std::vector<AnsiString>& record : records) {
    fields.Clear();
    if (!again.ReadRecord(&fields) || fields.Count() != static_cast<int>(record.size())) __builtin_trap();
    for (size_t i = 0; i < record.size(); ++i)
      if (fields[static_cast<int>(i)] != record[i]) __builtin_trap();
  }
  fields.Clear();
  if (again.ReadRecord(&fields)) __builtin_trap();
  return 0;
}
