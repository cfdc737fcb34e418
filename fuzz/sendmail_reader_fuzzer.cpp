// Sendmail log lines of any shape: every record is the 26 fields ending in the file name, and
// reading ends.
#include <cstddef>
#include <cstdint>

#include "fuzz/MemoryFile.h"
#include "query/CsvFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryFile input;
  CCsvFile reader;
  if (!reader.Open(input.Write(data, size), "rb")) __builtin_trap();
  reader.FileFormat = CCsvFile::kSendmailLog;
  reader.OpenTime = std::tm{};
  reader.OpenTime.tm_year = 124;
  reader.OpenTime.tm_mon = 2;
  TStringList fields;
  for (size_t records = 0;; ++records) {
    fields.Clear();
    if (!reader.ReadRecord(&fields)) break;
    // Each record takes a line of the window, and a line at least its recipient's comma.
    if (records >= size) __builtin_trap();
    if (fields.Count() != 26 || fields[25] != reader.FileName()) __builtin_trap();
  }
  return 0;
}
