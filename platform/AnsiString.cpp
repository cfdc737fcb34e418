#include "platform/AnsiString.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// One conversion through iconv; an unconvertible or cut sequence becomes `bad` and the scan
// moves on by one byte, so any input converts in full.
std::string Convert(const char* to, const char* from, const std::string& in, const char* bad) {
  if (in.empty()) return {};
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return in;
  std::string out;
  out.reserve(in.size() * 3 / 2 + 8);
  std::vector<char> buf(4096);
  char* src = const_cast<char*>(in.data());
  size_t left = in.size();
  while (left > 0) {
    char* dst = buf.data();
    size_t room = buf.size();
    size_t r = iconv(cd, &src, &left, &dst, &room);
    out.append(buf.data(), dst - buf.data());
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      out += bad;  // EILSEQ or EINVAL: skip one byte
      ++src;
      --left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* dst = buf.data();
  size_t room = buf.size();
  iconv(cd, nullptr, nullptr, &dst, &room);
  out.append(buf.data(), dst - buf.data());
  iconv_close(cd);
  return out;
}

bool IsBlank(char c) { return c == ' '; }

}  // namespace

std::string SjisToUtf8(const AnsiString& sjis) { return Convert("UTF-8", "CP932", sjis, "\xEF\xBF\xBD"); }

AnsiString Utf8ToSjis(const std::string& utf8) { return Convert("CP932", "UTF-8", utf8, "?"); }

AnsiString VFormat(const char* fmt, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[256];
  int n = std::vsnprintf(small, sizeof small, fmt, copy);
  va_end(copy);
  if (n < 0) return {};
  if (static_cast<size_t>(n) < sizeof small) return AnsiString(small, n);
  AnsiString out(static_cast<size_t>(n), '\0');
  std::vsnprintf(out.data(), out.size() + 1, fmt, args);
  return out;
}

AnsiString Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  AnsiString s = VFormat(fmt, args);
  va_end(args);
  return s;
}

bool TryStrToInt(const AnsiString& s, int& value) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && IsBlank(s[i])) ++i;
  bool neg = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  int base = 10;
  if (i < n && s[i] == '$') {
    base = 16;
    ++i;
  } else if (i < n && (s[i] == 'x' || s[i] == 'X')) {
    base = 16;
    ++i;
  } else if (i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= n) return false;
  unsigned long long acc = 0;
  for (; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    acc = acc * base + d;
    if (acc > 0xFFFFFFFFull) return false;
  }
  long long v;
  if (base == 16 && !neg) {
    // Hexadecimal texts cover the 32-bit pattern: $FFFFFFFF is -1.
    v = static_cast<int32_t>(static_cast<uint32_t>(acc));
  } else {
    v = neg ? -static_cast<long long>(acc) : static_cast<long long>(acc);
    if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) return false;
  }
  value = static_cast<int>(v);
  return true;
}

int StrToIntDef(const AnsiString& s, int def) {
  int v;
  return TryStrToInt(s, v) ? v : def;
}

AnsiString IntToStr(long long v) { return std::to_string(v); }
AnsiString UIntToStr(unsigned long long v) { return std::to_string(v); }

bool TryStrToFloat(const AnsiString& s, double& value) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  if (b == e) return false;
  std::string t = s.substr(b, e - b);
  // Only plain decimal notation: no hexadecimal floats, infinities or NaNs.
  for (char c : t) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E')) return false;
  }
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || errno == ERANGE) return false;
  value = v;
  return true;
}

double StrToFloatDef(const AnsiString& s, double def) {
  double v;
  return TryStrToFloat(s, v) ? v : def;
}

AnsiString FloatToStr(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (v == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", v);  // d.dddddddddddddde±x: 15 significant digits
  const char* p = buf;
  std::string sign;
  if (*p == '-') {
    sign = "-";
    ++p;
  }
  std::string digits;
  for (; *p && *p != 'e'; ++p)
    if (*p != '.') digits += *p;
  int exp = std::atoi(p + 1);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string out = sign;
  if (exp >= -5 && exp < 15) {
    if (exp < 0) {
      out += "0." + std::string(-exp - 1, '0') + digits;
    } else if (static_cast<int>(digits.size()) <= exp + 1) {
      out += digits + std::string(exp + 1 - digits.size(), '0');
    } else {
      out += digits.substr(0, exp + 1) + "." + digits.substr(exp + 1);
    }
  } else {
    out += digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    out += "E" + std::to_string(exp);
  }
  return out;
}

AnsiString FormatFloat(const AnsiString& picture, double v) {
  int intZeros = 0, decimals = 0, required = 0;
  bool point = false;
  for (char c : picture) {
    if (c == '.' && !point) point = true;
    else if (c == '0' && !point) ++intZeros;
    else if (c == '0') required = ++decimals;
    else if (c == '#') decimals += point ? 1 : 0;
    else return FloatToStr(v);
  }
  if (picture.empty() || !std::isfinite(v) || std::fabs(v) >= 1e18) return FloatToStr(v);
  const bool negative = v < 0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v));  // d.dddddddddddddde±x
  std::string digits;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p)
    if (*p != '.') digits += *p;
  const int before = std::atoi(p + 1) + 1;  // digits before the decimal point
  std::string whole, fraction;
  if (before <= 0) {
    fraction = std::string(-before, '0') + digits;
  } else if (before >= static_cast<int>(digits.size())) {
    whole = digits + std::string(before - digits.size(), '0');
  } else {
    whole = digits.substr(0, before);
    fraction = digits.substr(before);
  }
  if (static_cast<int>(fraction.size()) > decimals) {
    const bool up = fraction[decimals] >= '5';
    fraction.resize(decimals);
    if (up) {
      std::string all = whole + fraction;
      int i = static_cast<int>(all.size()) - 1;
      for (; i >= 0 && all[i] == '9'; --i) all[i] = '0';
      if (i >= 0) ++all[i];
      else all.insert(all.begin(), '1');
      whole = all.substr(0, all.size() - fraction.size());
      fraction = all.substr(whole.size());
    }
  }
  fraction.resize(std::max<size_t>(fraction.size(), decimals), '0');
  while (static_cast<int>(fraction.size()) > required && fraction.back() == '0') fraction.pop_back();
  size_t lead = 0;
  while (lead < whole.size() && whole[lead] == '0') ++lead;
  whole.erase(0, lead);
  if (static_cast<int>(whole.size()) < intZeros) whole.insert(0, intZeros - whole.size(), '0');
  std::string out = whole;
  if (!fraction.empty()) out += "." + fraction;
  if (negative && out.find_first_of("123456789") != std::string::npos) out.insert(out.begin(), '-');
  return out;
}

AnsiString DateTimeToStr(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &tm);
  return buf;
}

AnsiString NowText() { return DateTimeToStr(std::time(nullptr)); }

AnsiString Trim(const AnsiString& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

namespace {
AnsiString MapAscii(const AnsiString& s, bool upper) {
  AnsiString out = s;
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (IsSjisLeadByte(c)) {
      ++i;  // the trail byte may look like a letter
      continue;
    }
    if (upper && c >= 'a' && c <= 'z') out[i] = static_cast<char>(c - 32);
    if (!upper && c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c + 32);
  }
  return out;
}
}  // namespace

AnsiString UpperCase(const AnsiString& s) { return MapAscii(s, true); }
AnsiString LowerCase(const AnsiString& s) { return MapAscii(s, false); }

int CompareText(const AnsiString& a, const AnsiString& b) {
  AnsiString ua = UpperCase(a), ub = UpperCase(b);
  int c = std::memcmp(ua.data(), ub.data(), std::min(ua.size(), ub.size()));
  if (c != 0) return c < 0 ? -1 : 1;
  return ua.size() < ub.size() ? -1 : (ua.size() > ub.size() ? 1 : 0);
}

bool SameText(const AnsiString& a, const AnsiString& b) { return CompareText(a, b) == 0; }
