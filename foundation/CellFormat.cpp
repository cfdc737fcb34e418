#include "foundation/CellFormat.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
// The blanks a C number scan skips.
bool IsScanBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
int Sign(long long v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }
int ByteOrder(const AnsiString& a, const AnsiString& b) { return Sign(a.compare(b)); }

bool SeparatorsApply(const CCapInfo* info, const AnsiString& text) {
  return info && (info->Flags & CI_THOUSANDS) && (info->Type == 1 || info->Type == 2) && !text.empty();
}

// A leading integer as "%d" reads it: blanks, an optional sign, at least one digit; anything after
// is ignored. Long runs of digits saturate instead of wrapping, so they still order by size.
bool ScanInt(const AnsiString& s, size_t& i, long long& value) {
  while (i < s.size() && IsScanBlank(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i >= s.size() || !IsDigit(s[i])) return false;
  long long v = 0;
  for (; i < s.size() && IsDigit(s[i]); ++i) v = v < 100000000000000000LL ? v * 10 + (s[i] - '0') : v;
  value = negative ? -v : v;
  return true;
}

// A leading decimal real as "%lf" reads it: blanks, an optional sign, digits with at most one
// period (at least one digit), an optional exponent. Independent of the process locale.
bool ScanReal(const AnsiString& s, double& value) {
  size_t i = 0;
  while (i < s.size() && IsScanBlank(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  const size_t start = i;
  int digits = 0;
  long magnitude = 0;  // decimal places of the first non-zero digit: > 0 before the period
  bool seenNonZero = false, point = false;
  for (; i < s.size(); ++i) {
    if (s[i] == '.' && !point) {
      point = true;
    } else if (IsDigit(s[i])) {
      ++digits;
      if (!seenNonZero && s[i] != '0') seenNonZero = true;
      if (seenNonZero && !point) ++magnitude;
      if (!seenNonZero && point) --magnitude;
    } else {
      break;
    }
  }
  if (digits == 0) return false;
  size_t end = i;
  long exponent = 0;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    bool expNegative = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) expNegative = s[j++] == '-';
    if (j < s.size() && IsDigit(s[j])) {
      for (; j < s.size() && IsDigit(s[j]); ++j) exponent = exponent < 100000 ? exponent * 10 + (s[j] - '0') : exponent;
      if (expNegative) exponent = -exponent;
      end = j;
    }
  }
  double v = 0;
  const auto r = std::from_chars(s.data() + start, s.data() + end, v);
  if (r.ec == std::errc::result_out_of_range) v = seenNonZero && magnitude + exponent > 0 ? HUGE_VAL : 0.0;
  value = negative ? -v : v;
  return true;
}

// Both read: their order; only one reads: the other (no number) first; neither: byte order.
template <typename T>
int CompareScanned(bool readA, T a, bool readB, T b, const AnsiString& ta, const AnsiString& tb) {
  if (readA && readB) return a < b ? -1 : (a > b ? 1 : 0);
  if (readA) return 1;
  if (readB) return -1;
  return ByteOrder(ta, tb);
}

// Exactly four integers separated by periods, nothing before or after ("%d.%d.%d.%d%c" giving
// four items).
bool ScanDottedQuad(const AnsiString& s, long long parts[4]) {
  size_t i = 0;
  for (int k = 0; k < 4; ++k) {
    if (k > 0 && (i >= s.size() || s[i++] != '.')) return false;
    if (!ScanInt(s, i, parts[k])) return false;
  }
  return i == s.size();
}

}  // namespace

bool ScanLeadingReal(const AnsiString& text, double& value) { return ScanReal(text, value); }

AnsiString AddThousandsSeparators(const CCapInfo* info, const AnsiString& text) {
  if (!SeparatorsApply(info, text)) return text;
  AnsiString out;
  size_t i = 0;
  while (i < text.size()) {
    if (!IsDigit(text[i])) {
      out += text[i++];
      continue;
    }
    const bool fraction = i > 0 && text[i - 1] == '.';
    size_t end = i;
    while (end < text.size() && IsDigit(text[end])) ++end;
    for (; i < end; ++i) {
      out += text[i];
      const size_t toCome = end - i - 1;
      if (!fraction && toCome > 0 && toCome % 3 == 0) out += ',';
    }
  }
  return out;
}

AnsiString RemoveThousandsSeparators(const CCapInfo* info, const AnsiString& text) {
  if (!SeparatorsApply(info, text)) return text;
  AnsiString out;
  size_t i = 0;
  while (i < text.size()) {
    size_t run = i;
    while (run < text.size() && !IsDigit(text[run])) ++run;
    if (run == text.size()) {
      out.append(text, i, AnsiString::npos);
      break;
    }
    size_t keep = run;
    while (keep > i && text[keep - 1] == ',') --keep;
    out.append(text, i, keep - i);
    for (i = run; i < text.size() && (IsDigit(text[i]) || text[i] == ','); ++i)
      if (text[i] != ',') out += text[i];
  }
  return out;
}

AnsiString FormatCellValue(const CCapInfo* info, const AnsiString& value) {
  if (!info) return value;
  AnsiString text = value;
  double v;
  if (info->Type == 2 && !info->NumberFormat.empty() && TryStrToFloat(value, v))
    text = FormatFloat(info->NumberFormat, v);
  return AddThousandsSeparators(info, text);
}

int WeekdayIndex(const AnsiString& text) {
  if (text.empty()) return 8;
  const AnsiString t = Trim(text);
  const AnsiString kanji[] = {SJ("日"), SJ("月"), SJ("火"), SJ("水"), SJ("木"), SJ("金"), SJ("土")};
  for (int d = 0; d < 7; ++d)
    if (t.compare(0, kanji[d].size(), kanji[d]) == 0) return d + 1;
  const AnsiString upper = UpperCase(t);
  static const char* const kNames[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
  for (int d = 0; d < 7; ++d)
    if (upper.compare(0, 3, kNames[d]) == 0) return d + 1;
  return 8;
}

int CompareDottedAddresses(const AnsiString& a, const AnsiString& b) {
  if (a.empty()) return b.empty() ? 0 : 100;
  if (b.empty()) return -100;
  const AnsiString ta = Trim(a), tb = Trim(b);
  long long pa[4], pb[4];
  if (ScanDottedQuad(ta, pa) && ScanDottedQuad(tb, pb)) {
    for (int k = 0; k < 4; ++k)
      if (pa[k] != pb[k]) return pa[k] > pb[k] ? 1 : -1;
    return 0;
  }
  // Labels from the right; each name carries a leading period, so "x" is one label and the
  // empty name none.
  const AnsiString na = "." + UpperCase(ta), nb = "." + UpperCase(tb);
  size_t ea = na.size(), eb = nb.size();  // the part still to compare is [0, e)
  while (ea > 0) {
    if (eb == 0) return 1;
    const size_t da = na.rfind('.', ea - 1), db = nb.rfind('.', eb - 1);
    const int c = na.compare(da + 1, ea - da - 1, nb, db + 1, eb - db - 1);
    if (c != 0) return c < 0 ? -1 : 1;
    ea = da;
    eb = db;
  }
  return eb > 0 ? -1 : 0;
}

int CompareCellValues(const CCapInfo* info, const TStrings* a, const TStrings* b) {
  if (!info || !a || !b) return CELL_MISSING;
  const int p = info->Position;
  if (p < 0 || p >= a->Count() || p >= b->Count()) return CELL_MISSING;
  const AnsiString& ta = a->Strings(p);
  const AnsiString& tb = b->Strings(p);
  int result;
  if (info->Type == 1) {
    long long va = 0, vb = 0;
    size_t ia = 0, ib = 0;
    const bool ra = ScanInt(ta, ia, va), rb = ScanInt(tb, ib, vb);
    result = CompareScanned(ra, va, rb, vb, ta, tb);
  } else if (info->Type == 2) {
    double va = 0, vb = 0;
    const bool ra = ScanReal(ta, va), rb = ScanReal(tb, vb);
    result = CompareScanned(ra, va, rb, vb, ta, tb);
  } else {
    switch (info->Flags & CI_SORT_KIND) {
      case 0x1000:
        result = WeekdayIndex(ta) - WeekdayIndex(tb);
        break;
      case 0x2000:
      case 0x3000:
        result = CompareDottedAddresses(ta, tb);
        break;
      default:
        result = ByteOrder(ta, tb);
    }
  }
  const bool flipped = (info->Flags & CI_SORT_FLIPPED) != 0;
  if (flipped == info->Ascending) result = -result;
  return result;
}
