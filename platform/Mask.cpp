#include "platform/Mask.h"

#include <cctype>

namespace {

bool IsPlaceholder(char c) {
  switch (c) {
    case '0':
    case '9':
    case '#':
    case 'L':
    case 'l':
    case 'A':
    case 'a':
    case 'C':
    case 'c': return true;
    default: return false;
  }
}

}  // namespace

AnsiString FormatMaskText(const AnsiString& editMask, const AnsiString& value) {
  // The picture ends at the first ";" that is not escaped.
  size_t end = 0;
  while (end < editMask.size() && editMask[end] != ';') {
    if (editMask[end] == '\\' && end + 1 < editMask.size()) ++end;
    end += IsSjisLeadByte(static_cast<unsigned char>(editMask[end])) && end + 1 < editMask.size() ? 2 : 1;
  }
  bool save = true;
  char blank = '_';
  if (end < editMask.size()) {
    const size_t second = editMask.find(';', end + 1);
    const AnsiString saveField = editMask.substr(end + 1, second == AnsiString::npos ? AnsiString::npos : second - end - 1);
    save = saveField != "0";
    if (second != AnsiString::npos && second + 1 < editMask.size()) blank = editMask[second + 1];
  }

  AnsiString out;
  size_t v = 0;
  int letterCase = 0;  // 1 upper, -1 lower
  for (size_t m = 0; m < end;) {
    const char c = editMask[m];
    if (c == '>' || c == '<') {
      if (c == '<' && m + 1 < end && editMask[m + 1] == '>') {
        letterCase = 0;
        m += 2;
      } else {
        letterCase = c == '>' ? 1 : -1;
        ++m;
      }
      continue;
    }
    if (c == '!') {
      ++m;
      continue;
    }
    if (IsPlaceholder(c)) {
      ++m;
      if (v >= value.size()) {
        out += blank;
        continue;
      }
      const size_t n = IsSjisLeadByte(static_cast<unsigned char>(value[v])) && v + 1 < value.size() ? 2 : 1;
      AnsiString ch = value.substr(v, n);
      v += n;
      if (n == 1 && letterCase > 0) ch[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(ch[0])));
      if (n == 1 && letterCase < 0) ch[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(ch[0])));
      out += ch;
      continue;
    }
    // A literal, escaped or not, whole if double-byte.
    if (c == '\\' && m + 1 < end) ++m;
    const size_t n = IsSjisLeadByte(static_cast<unsigned char>(editMask[m])) && m + 1 < end ? 2 : 1;
    const AnsiString literal = editMask.substr(m, n);
    m += n;
    out += literal;
    if (save && value.compare(v, n, literal) == 0) v += n;
  }
  return out;
}
