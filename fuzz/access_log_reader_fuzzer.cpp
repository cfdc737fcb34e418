// Access-log lines of any shape: every record has the fixed layout up to the file name.
#include <cstddef>
#include <cstdint>

#include "fuzz/MemoryFile.h"
#include "query/CsvFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryFile input;
  CCsvFile reader;
  if (!reader.Open(input.Write(data, size), "rb")) __builtin_trap();
  reader.FileFormat = CCsvFile::kAccessLog;
  TStringList fields;
  for (size_t records = 0; reader.ReadRecord(&fields); ++records) {
    if (records >= size) __builtin_trap();  // a record consumes input
    if (fields.Count() < 18 || fields[17] != reader.FileName()) __builtin_trap();
    for (int i = 1; i <= 4; ++i)
      if (!fields[i].empty()) __builtin_trap();
  }
  return 0;
}
