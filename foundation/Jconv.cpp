#include "foundation/Jconv.h"

#include <cstring>

namespace {

// The substitute mark U+3013 in either code.
constexpr unsigned char kSubstSjis[2] = {0x81, 0xAC};
constexpr unsigned char kSubstEuc[2] = {0xA2, 0xAE};

bool IsEucDoubleByte(unsigned char c) { return c >= 0xA1 && c <= 0xFE; }
bool IsHalfKana(unsigned char c) { return c >= 0xA0 && c <= 0xDF; }
bool IsSjisTrailByte(unsigned char c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }
// Lead bytes F0-FC hold user-defined and vendor characters, which JIS X 0208 lacks.
bool IsSjisJisLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF); }

void PutPair(unsigned char* out, int& n, unsigned code) {
  out[n++] = static_cast<unsigned char>(code >> 8);
  out[n++] = static_cast<unsigned char>(code & 0xFF);
}

void PutSubst(unsigned char* out, int& n, const unsigned char (&mark)[2]) {
  out[n++] = mark[0];
  out[n++] = mark[1];
}

}  // namespace

uint16_t JisToSjis(uint16_t jis) {
  const int j1 = jis >> 8;
  const int j2 = jis & 0xFF;
  int s2;
  if (j1 & 1)
    s2 = j2 <= 0x5F ? j2 + 0x1F : j2 + 0x20;
  else
    s2 = j2 + 0x7E;
  int s1;
  if (j1 < 0x50) {
    s1 = ((j1 - 0x21) >> 1) + 0x81;
  } else {
    const int t = (j1 - 0x4F) >> 1;
    s1 = t >= 8 ? t + 0xD8 : t + 0x98;
  }
  return static_cast<uint16_t>(((s1 & 0xFF) << 8) | (s2 & 0xFF));
}

uint16_t SjisToJis(uint16_t sjis) {
  const int s1 = sjis >> 8;
  int s2 = sjis & 0xFF;
  const int r = s1 < 0xE0 ? s1 - 0x70 : s1 - 0xB0;
  int j1;
  int j2;
  if (s2 >= 0x9F) {
    j1 = 2 * r;
    j2 = s2 - 0x7E;
  } else {
    if (s2 >= 0x80) --s2;
    j1 = 2 * r - 1;
    j2 = s2 - 0x1F;
  }
  return static_cast<uint16_t>((((j1 + 0x80) & 0xFF) << 8) | ((j2 + 0x80) & 0xFF));
}

int EucToSjisBuffer(char* out, const char* euc) {
  if (euc == nullptr) {
    *out = '\0';
    return 0;
  }
  const auto* s = reinterpret_cast<const unsigned char*>(euc);
  auto* o = reinterpret_cast<unsigned char*>(out);
  int n = 0;
  size_t i = 0;
  // s[i] is not NUL inside the loop, so s[i + 1] is still part of the text (at worst its NUL),
  // and s[i + 2] is read only after s[i + 1] proved to be no NUL.
  while (s[i] != 0) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      o[n++] = c;
      i += 1;
    } else if (c == 0x8E && IsHalfKana(s[i + 1])) {
      o[n++] = s[i + 1];
      i += 2;
    } else if (c == 0x8F && IsEucDoubleByte(s[i + 1]) && IsEucDoubleByte(s[i + 2])) {
      PutSubst(o, n, kSubstSjis);  // JIS X 0212 has no Shift_JIS form
      i += 3;
    } else if (IsEucDoubleByte(c) && IsEucDoubleByte(s[i + 1])) {
      PutPair(o, n, JisToSjis(static_cast<uint16_t>(((c & 0x7F) << 8) | (s[i + 1] & 0x7F))));
      i += 2;
    } else {
      PutSubst(o, n, kSubstSjis);
      i += 1;
    }
  }
  o[n] = 0;
  return n;
}

int SjisToEucBuffer(char* out, const char* sjis) {
  if (sjis == nullptr) {
    *out = '\0';
    return 0;
  }
  const auto* s = reinterpret_cast<const unsigned char*>(sjis);
  auto* o = reinterpret_cast<unsigned char*>(out);
  int n = 0;
  size_t i = 0;
  while (s[i] != 0) {
    const unsigned char c = s[i];
    if (c < 0x80) {
      o[n++] = c;
      i += 1;
    } else if (IsHalfKana(c)) {
      o[n++] = 0x8E;
      o[n++] = c;
      i += 1;
    } else if (IsSjisLeadByte(c) && IsSjisTrailByte(s[i + 1])) {
      if (IsSjisJisLead(c))
        PutPair(o, n, SjisToJis(static_cast<uint16_t>((c << 8) | s[i + 1])));
      else
        PutSubst(o, n, kSubstEuc);
      i += 2;
    } else {
      PutSubst(o, n, kSubstEuc);
      i += 1;
    }
  }
  o[n] = 0;
  return n;
}

namespace {

AnsiString Convert(const char* text, int (*convert)(char*, const char*)) {
  if (text == nullptr || *text == 0) return AnsiString();
  AnsiString result(2 * std::strlen(text) + 2, '\0');
  result.resize(static_cast<size_t>(convert(result.data(), text)));
  return result;
}

}  // namespace

AnsiString EucToSjis(const char* euc) { return Convert(euc, EucToSjisBuffer); }

AnsiString SjisToEuc(const char* sjis) { return Convert(sjis, SjisToEucBuffer); }
