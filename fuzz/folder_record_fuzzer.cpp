// Folder-file records: length-prefixed texts, each read as a comma-text line.
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/LengthPrefixedText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream stream(std::string(reinterpret_cast<const char*>(data), size));
  for (int records = 0; records < 1000; ++records) {
    AnsiString line;
    const int64_t at = stream.Position();
    if (!ReadLengthPrefixedLine(&stream, line)) break;
    if (stream.Position() <= at) __builtin_trap();  // a record that consumed nothing would loop
    TStringList fields;
    fields.SetCommaText(line);
    TStringList again;
    again.SetCommaText(fields.CommaText());
    // What we write we read back, but for an empty last field of several, which the comma text
    // cannot show (readers take a missing field as empty).
    int expected = fields.Count();
    if (expected > 1 && fields[expected - 1].empty()) --expected;
    if (again.Count() != expected) __builtin_trap();
    for (int i = 0; i < expected; ++i)
      if (again[i] != fields[i]) __builtin_trap();
  }
  return 0;
}
