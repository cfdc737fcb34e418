// The built-in functions of the text-macro language.
//
// Every name has a Japanese and an ASCII spelling ("likestr" only ASCII), compared exactly. Dates
// are read from texts in several forms, moved by day, month and year offsets and normalised
// through day numbers, so February 31 is March 3 (or 2). Era dates use this table, newest first;
// a date before the last row has no era and keeps its Gregorian year:
//
//   令和 2019/05/01  平成 1989/01/08  昭和 1926/12/25  大正 1912/07/30  明治 1868/09/08
//   慶応 1865/04/07  元治 1864/02/20  文久 1861/02/19  万延 1860/03/18  安政 1854/11/27
//   嘉永 1848/02/28  弘化 1844/12/02  天保 1830/12/10  文政 1818/04/22  文化 1804/02/11
//   享和 1801/02/05  寛政 1789/01/25  天明 1781/04/02  安永 1772/11/16  明和 1764/06/02
//   宝暦 1751/10/27
//
// The host-name cache (HostNameCache) holds what the name service answered for each address: the
// official name, or the empty text when it had none. A caller's fallback text is never cached.
#include <cctype>
#include <climits>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "foundation/StrMacro.h"
#include "platform/Resolver.h"

namespace {

constexpr int kHostCacheLimit = 10000;
const char* const kDateFormat = "%04d/%02d/%02d";

std::tm SystemClock() {
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  localtime_r(&t, &local);
  return local;
}

TMacroClock& Clock() {
  static TMacroClock clock = SystemClock;
  return clock;
}

int ArgCount(const TStrings* args) { return args ? args->Count() : 0; }
const AnsiString& Arg(const TStrings* args, int i) {
  static const AnsiString empty;
  return i < ArgCount(args) ? (*args)[i] : empty;
}

// ---- Reading dates ------------------------------------------------------------------------

// sscanf's "%d": white space, an optional sign, digits. False when there is no digit or the
// number does not fit an int.
bool ScanInt(const char*& p, int& value) {
  const char* q = p;
  while (std::isspace(static_cast<unsigned char>(*q))) ++q;
  const bool negative = *q == '-';
  if (*q == '+' || *q == '-') ++q;
  if (*q < '0' || *q > '9') return false;
  long long v = 0;
  for (; *q >= '0' && *q <= '9'; ++q) {
    v = v * 10 + (*q - '0');
    if (v > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v > INT_MAX) return false;
  value = static_cast<int>(v);
  p = q;
  return true;
}

bool ScanLiteral(const char*& p, const AnsiString& literal) {
  if (std::strncmp(p, literal.c_str(), literal.size()) != 0) return false;
  p += literal.size();
  return true;
}

// Three integers separated by the two literals, as sscanf reads "%d<a>%d<b>%d".
bool ScanThree(const AnsiString& text, const AnsiString& a, const AnsiString& b, int (&v)[3]) {
  const char* p = text.c_str();
  return ScanInt(p, v[0]) && ScanLiteral(p, a) && ScanInt(p, v[1]) && ScanLiteral(p, b) && ScanInt(p, v[2]);
}

// "05/Apr/2003": day, month name, year. Items read (0-3); month is 0 for an unknown name.
int ScanDayMonthNameYear(const AnsiString& text, int& day, int& month, int& year) {
  static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  const char* p = text.c_str();
  if (!ScanInt(p, day)) return 0;
  if (!ScanLiteral(p, "/")) return 1;
  const char* nameStart = p;
  while (*p != '\0' && *p != '/') ++p;
  if (p == nameStart) return 1;
  const AnsiString name = UpperCase(AnsiString(nameStart, p));
  if (!ScanLiteral(p, "/") || !ScanInt(p, year)) return 2;
  month = 0;
  for (int i = 0; i < 12; ++i)
    if (name == kMonths[i]) month = i + 1;
  return 3;
}

// A date text in one of the accepted forms; two-digit years are taken as 1950-2049.
bool ReadDateText(const AnsiString& text, int& year, int& month, int& day) {
  int v[3];
  bool read = ScanThree(text, "/", "/", v) || ScanThree(text, "-", "-", v) || ScanThree(text, ".", ".", v);
  if (read) {
    if (v[2] >= 32 && v[0] <= 31) std::swap(v[0], v[2]);  // day-month-year
  } else {
    read = ScanThree(text, SJ("年"), SJ("月"), v);
  }
  if (!read && text.size() < 32) {
    int d = 0, m = 0, y = 0;
    if (ScanDayMonthNameYear(text, d, m, y) == 3) {
      if (m == 0) return false;
      v[0] = y, v[1] = m, v[2] = d;
      read = true;
    }
  }
  if (!read) {
    const char* p = text.c_str();
    int n;
    if (!ScanInt(p, n) || n <= 10000) return false;
    v[0] = n / 10000, v[1] = n % 10000 / 100, v[2] = n % 100;
  }
  year = v[0];
  if (year < 50) year += 2000;
  else if (year < 100) year += 1900;
  month = v[1];
  day = v[2];
  return true;
}

bool IsLeapYear(long long y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int MonthLength(long long y, int m) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

long long FloorDiv(long long a, long long b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// ---- Texts ----------------------------------------------------------------------------------

AnsiString Joined(const TStrings* args) {
  AnsiString out;
  for (int i = 0; i < ArgCount(args); ++i) out += (*args)[i];
  return out;
}

// Copies text, writing `escape` before each single-byte character that `escaped` accepts;
// double-byte characters are copied whole.
template <typename Pred>
AnsiString EscapeSingleBytes(const AnsiString& text, char escape, Pred escaped) {
  AnsiString out;
  out.reserve(text.size() + 2);
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsSjisLeadByte(c) && i + 1 < text.size()) {
      out.append(text, i++, 2);
      continue;
    }
    if (escaped(c)) out += escape;
    out += static_cast<char>(c);
  }
  return out;
}

// Splits text at its single-byte characters found among the single-byte characters of seps.
// Field k runs from starts[k] up to closes[k], the index of its separator (the text's length for
// the last field).
void SplitFields(const AnsiString& text, const AnsiString& seps, std::vector<size_t>& starts,
                 std::vector<size_t>& closes) {
  bool isSep[256] = {};
  for (size_t i = 0; i < seps.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(seps[i]);
    if (IsSjisLeadByte(c)) ++i;
    else isSep[c] = true;
  }
  starts.assign(1, 0);
  closes.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsSjisLeadByte(c)) {
      ++i;
    } else if (isSep[c]) {
      closes.push_back(i);
      starts.push_back(i + 1);
    }
  }
  closes.push_back(text.size());
}

struct Era {
  AnsiString name;
  int firstDay;  // yyyymmdd
};

const std::vector<Era>& Eras() {
  static const std::vector<Era> eras = [] {
    const std::pair<const char*, int> rows[] = {
        {"令和", 20190501}, {"平成", 19890108}, {"昭和", 19261225}, {"大正", 19120730}, {"明治", 18680908},
        {"慶応", 18650407}, {"元治", 18640220}, {"文久", 18610219}, {"万延", 18600318}, {"安政", 18541127},
        {"嘉永", 18480228}, {"弘化", 18441202}, {"天保", 18301210}, {"文政", 18180422}, {"文化", 18040211},
        {"享和", 18010205}, {"寛政", 17890125}, {"天明", 17810402}, {"安永", 17721116}, {"明和", 17640602},
        {"宝暦", 17511027}};
    std::vector<Era> v;
    for (const auto& [name, day] : rows) v.push_back({Utf8ToSjis(name), day});
    return v;
  }();
  return eras;
}

const std::vector<AnsiString>& JapaneseWeekdays() {
  static const std::vector<AnsiString> names = [] {
    std::vector<AnsiString> v;
    for (const char* n : {"日", "月", "火", "水", "木", "金", "土"}) v.push_back(Utf8ToSjis(n));
    return v;
  }();
  return names;
}

using TMacroFunc = AnsiString (TCvStrMacro::*)(const TStrings*);

const std::unordered_map<AnsiString, TMacroFunc>& BuiltIns() {
  static const std::unordered_map<AnsiString, TMacroFunc> table = [] {
    const std::pair<const char*, TMacroFunc> rows[] = {
        {"日付", &TCvStrMacro::FuncDate},
        {"date", &TCvStrMacro::FuncDate},
        {"年月日", &TCvStrMacro::FuncYmd},
        {"年号月日", &TCvStrMacro::FuncEraDate},
        {"時刻", &TCvStrMacro::FuncTime},
        {"time", &TCvStrMacro::FuncTime},
        {"曜日", &TCvStrMacro::FuncWeekday},
        {"dayweek", &TCvStrMacro::FuncDayWeek},
        {"年齢", &TCvStrMacro::FuncAge},
        {"age", &TCvStrMacro::FuncAge},
        {"月齢", &TCvStrMacro::FuncMonthAge},
        {"moonage", &TCvStrMacro::FuncMonthAge},
        {"部分文字列", &TCvStrMacro::FuncSubstring},
        {"substring", &TCvStrMacro::FuncSubstring},
        {"文字列分割", &TCvStrMacro::FuncStrsep},
        {"strsep", &TCvStrMacro::FuncStrsep},
        {"文字列分割逆順", &TCvStrMacro::FuncStrsepRev},
        {"strseprev", &TCvStrMacro::FuncStrsepRev},
        {"文字列結合", &TCvStrMacro::FuncStrcat},
        {"strcat", &TCvStrMacro::FuncStrcat},
        {"条件文字列", &TCvStrMacro::FuncCondstr},
        {"condstr", &TCvStrMacro::FuncCondstr},
        {"likestr", &TCvStrMacro::FuncLikestr},
        {"整数", &TCvStrMacro::FuncInt},
        {"int", &TCvStrMacro::FuncInt},
        {"中身", &TCvStrMacro::FuncTrim},
        {"trim", &TCvStrMacro::FuncTrim},
        {"ホスト名", &TCvStrMacro::FuncHost},
        {"host", &TCvStrMacro::FuncHost},
        {"分岐", &TCvStrMacro::FuncIf},
        {"if", &TCvStrMacro::FuncIf},
    };
    std::unordered_map<AnsiString, TMacroFunc> m;
    for (const auto& [name, func] : rows) m.emplace(Utf8ToSjis(name), func);
    return m;
  }();
  return table;
}

}  // namespace

TMacroClock SetMacroClock(TMacroClock clock) {
  TMacroClock previous = std::move(Clock());
  Clock() = clock ? std::move(clock) : TMacroClock(SystemClock);
  return previous;
}

long long DaysBeforeYear(long long y) { return 365 * y + y / 4 - y / 100 + y / 400; }

long long DateToDays(long long year, long long month, long long day) {
  year += FloorDiv(month - 1, 12);
  month = month - 1 - FloorDiv(month - 1, 12) * 12 + 1;
  long long days = DaysBeforeYear(year - 1);
  for (int m = 1; m < month; ++m) days += MonthLength(year, m);
  return days + day;
}

void DaysToDate(long long days, long long& year, int& month, int& day) {
  // 400 years have 146097 days: start at most a year or two off, then settle on the last year
  // that ends before the day.
  long long y = FloorDiv(days * 400, 146097);
  while (days - DaysBeforeYear(y) < 1) --y;
  while (days - DaysBeforeYear(y + 1) >= 1) ++y;
  year = y + 1;
  long long rest = days - DaysBeforeYear(y);
  int m = 1;
  for (; m < 12 && rest > MonthLength(year, m); ++m) rest -= MonthLength(year, m);
  month = m;
  day = static_cast<int>(rest);
}

AnsiString TCvStrMacro::CallFunction(const AnsiString& name, const TStrings* args) {
  if (ParseOnly) return {};
  const auto& builtIns = BuiltIns();
  const auto it = builtIns.find(name);
  if (it != builtIns.end()) return (this->*(it->second))(args);
  if (OnCallFunction) return OnCallFunction(name, args);
  return name + "()";
}

bool TCvStrMacro::ReadDate(const TStrings* args, int& year, int& month, int& day) {
  const std::tm now = Clock()();
  int y = now.tm_year + 1900, m = now.tm_mon + 1, d = now.tm_mday;
  int first = 0;  // the first offset's argument
  if (ArgCount(args) > 0 && ReadDateText(Arg(args, 0), y, m, d)) first = 1;
  const long long dayOffset = StrToIntDef(Arg(args, first), 0);
  const long long monthOffset = StrToIntDef(Arg(args, first + 1), 0);
  const long long yearOffset = StrToIntDef(Arg(args, first + 2), 0);
  long long outYear;
  DaysToDate(DateToDays(y + yearOffset, m + monthOffset, d + dayOffset), outYear, month, day);
  if (outYear < INT_MIN || outYear > INT_MAX) return false;
  year = static_cast<int>(outYear);
  return true;
}

AnsiString TCvStrMacro::ParseDate(const char* format, const TStrings* args) {
  int y, m, d;
  return ReadDate(args, y, m, d) ? Format(format, y, m, d) : AnsiString();
}

AnsiString TCvStrMacro::FuncDate(const TStrings* args) { return ParseDate(kDateFormat, args); }

AnsiString TCvStrMacro::FuncYmd(const TStrings* args) { return ParseDate(SJ("%d年%2d月%2d日").c_str(), args); }

AnsiString TCvStrMacro::FuncEraDate(const TStrings* args) {
  int y, m, d;
  if (!ReadDate(args, y, m, d)) return {};
  const long long date = static_cast<long long>(y) * 10000 + m * 100 + d;
  AnsiString era;
  long long eraYear = y;
  for (const Era& e : Eras()) {
    if (e.firstDay <= date) {
      era = e.name;
      eraYear = y - e.firstDay / 10000 + 1;
      break;
    }
  }
  return era + Format("%2lld", eraYear) + SJ("年") + Format("%2d", m) + SJ("月") + Format("%2d", d) + SJ("日");
}

AnsiString TCvStrMacro::FuncTime(const TStrings*) {
  const std::tm now = Clock()();
  return Format("%02d:%02d:%02d", now.tm_hour, now.tm_min, now.tm_sec);
}

AnsiString TCvStrMacro::FuncWeekday(const TStrings* args) {
  int y, m, d;
  if (!ReadDate(args, y, m, d)) return {};
  return JapaneseWeekdays()[(DateToDays(y, m, d) % 7 + 7) % 7];
}

AnsiString TCvStrMacro::FuncDayWeek(const TStrings* args) {
  static const char* const kNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  int y, m, d;
  if (!ReadDate(args, y, m, d)) return {};
  return kNames[(DateToDays(y, m, d) % 7 + 7) % 7];
}

int TCvStrMacro::MonthsBetween(const TStrings* args) {
  if (ArgCount(args) == 0) return -1;
  TStringList first, second;
  first.Add(Arg(args, 0));
  if (ArgCount(args) >= 2) second.Add(Arg(args, 1));
  int y1, m1, d1, y2, m2, d2;
  if (!ReadDate(&first, y1, m1, d1) || !ReadDate(&second, y2, m2, d2)) return -1;
  long long months = (static_cast<long long>(y2) - y1) * 12 + m2 - m1;
  if (m2 == 2 && d2 >= 28) d2 = 31;
  if ((m2 == 4 || m2 == 6 || m2 == 9 || m2 == 11) && d2 >= 30) d2 = 31;
  if (d2 < d1) --months;
  return months < 0 || months > INT_MAX ? -1 : static_cast<int>(months);
}

AnsiString TCvStrMacro::FuncMonthAge(const TStrings* args) {
  const int months = MonthsBetween(args);
  return months < 0 ? AnsiString() : IntToStr(months);
}

AnsiString TCvStrMacro::FuncAge(const TStrings* args) {
  const int months = MonthsBetween(args);
  return months < 0 ? AnsiString() : IntToStr(months / 12);
}

AnsiString TCvStrMacro::FuncSubstring(const TStrings* args) {
  if (ArgCount(args) < 2) return {};
  const AnsiString& text = Arg(args, 0);
  const long long start = StrToIntDef(Arg(args, 1), 1);
  const long long length = ArgCount(args) >= 3 ? StrToIntDef(Arg(args, 2), 0) : static_cast<long long>(text.size());
  if (start < 1 || start > static_cast<long long>(text.size()) || length < 0) return {};
  return text.substr(start - 1, length);
}

AnsiString TCvStrMacro::FuncStrsep(const TStrings* args) {
  if (ArgCount(args) < 3) return {};
  const AnsiString& text = Arg(args, 0);
  const AnsiString& seps = Arg(args, 1);
  long long n = StrToIntDef(Arg(args, 2), 1);
  if (n == 0) return {};
  const long long count = ArgCount(args) >= 4 ? StrToIntDef(Arg(args, 3), 1) : 1;
  std::vector<size_t> starts, closes;
  SplitFields(text, seps, starts, closes);
  const long long fields = static_cast<long long>(starts.size());
  if (n < 0) n = fields + n + 1;
  if (n < 1 || n > fields) return {};
  const long long last = count <= 1 ? n : n + count - 1;
  const size_t from = starts[n - 1];
  if (last <= fields) return text.substr(from, closes[last - 1] - from);
  // Runs to the end, with the separator that closes the last field. A separator list that starts
  // with a double-byte character has none to give: half a character would not be text.
  AnsiString rest = text.substr(from);
  if (!seps.empty() && !IsSjisLeadByte(static_cast<unsigned char>(seps[0]))) rest += seps[0];
  return rest;
}

AnsiString TCvStrMacro::FuncStrsepRev(const TStrings* args) {
  if (ArgCount(args) < 2) return {};
  const AnsiString& text = Arg(args, 0);
  std::vector<size_t> starts, closes;
  SplitFields(text, Arg(args, 1), starts, closes);
  const size_t last = starts.size() - 1;
  AnsiString out = text.substr(starts[last]);
  for (size_t k = last; k-- > 0;) {
    out += text[closes[k]];
    out.append(text, starts[k], closes[k] - starts[k]);
  }
  return out;
}

AnsiString TCvStrMacro::FuncStrcat(const TStrings* args) { return Joined(args); }

AnsiString TCvStrMacro::FuncCondstr(const TStrings* args) {
  return "'" + EscapeSingleBytes(Joined(args), '\'', [](unsigned char c) { return c == '\''; }) + "'";
}

AnsiString TCvStrMacro::FuncLikestr(const TStrings* args) {
  return EscapeSingleBytes(Joined(args), '\\', [](unsigned char c) { return c == '\\' || c == '%'; });
}

AnsiString TCvStrMacro::FuncInt(const TStrings* args) {
  if (ArgCount(args) == 0) return {};
  const double whole = std::trunc(StrToFloatDef(Arg(args, 0), 0));
  // Integer parts beyond 32 bits are given as they are rather than wrapped.
  if (whole < INT_MIN || whole > INT_MAX) return FloatToStr(whole);
  return IntToStr(static_cast<int>(whole));
}

AnsiString TCvStrMacro::FuncTrim(const TStrings* args) {
  if (ArgCount(args) == 0) return {};
  return Trim(Arg(args, 0));
}

AnsiString TCvStrMacro::FuncIf(const TStrings* args) {
  if (ArgCount(args) < 3) return {};
  return StrToIntDef(Arg(args, 0), 1) != 0 ? Arg(args, 1) : Arg(args, 2);
}

AnsiString TCvStrMacro::FuncHost(const TStrings* args) {
  if (ArgCount(args) == 0) return {};
  const AnsiString& fallback = Arg(args, 1);
  const uint32_t address = InetAddr(Arg(args, 0));
  void* const key = reinterpret_cast<void*>(static_cast<uintptr_t>(address));
  if (HostNameCache) {
    for (int i = HostNameCache->Count() - 1; i >= 0; --i) {
      if (HostNameCache->Objects(i) != key) continue;
      const AnsiString& name = HostNameCache->Strings(i);
      return name.empty() ? fallback : name;
    }
  }
  AnsiString name;
  if (!ResolveHostName(address, name)) name.clear();
  if (HostNameCache) {
    HostNameCache->AddObject(name, key);
    if (HostNameCache->Count() > kHostCacheLimit) HostNameCache->Delete(0);
  }
  return name.empty() ? fallback : name;
}
