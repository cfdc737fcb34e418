#include "foundation/LengthPrefixedText.h"

#include <cstdio>

bool WriteLengthPrefixedString(TStream* stream, const AnsiString& text) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(text.size()));
  if (!stream->WriteBuffer(digits, 8)) return false;
  if (text.empty()) return true;
  return stream->WriteBuffer(text.data(), static_cast<long>(text.size()));
}

bool ReadLengthPrefixedString(TStream* stream, AnsiString& text) {
  char digits[8];
  if (!stream->ReadBuffer(digits, 8)) return false;
  uint64_t n = 0;
  for (char c : digits) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    n = n * 16 + d;
  }
  if (n == 0) {
    text.clear();
    return true;
  }
  const int64_t here = stream->Position();
  const int64_t size = stream->Size();
  if (here < 0 || size < here || static_cast<uint64_t>(size - here) < n) return false;
  AnsiString bytes(static_cast<size_t>(n), '\0');
  if (!stream->ReadBuffer(bytes.data(), static_cast<long>(n))) return false;
  text = std::move(bytes);
  return true;
}

bool ReadLengthPrefixedLine(TStream* stream, AnsiString& line) {
  AnsiString text;
  if (!ReadLengthPrefixedString(stream, text)) return false;
  if (text.empty() || text.back() != '\n') return false;
  text.pop_back();
  line = std::move(text);
  return true;
}
