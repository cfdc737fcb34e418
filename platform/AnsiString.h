// Text as the program holds it: Shift_JIS (code page 932) bytes in a std::string.
//
// Sources are UTF-8; SJ("...") turns a literal into Shift_JIS once per call site, so the
// code shows a user text as the user reads it. Conversion to Unicode happens only where
// text leaves the program (window system, terminal, PDF) and goes through iconv's CP932.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <ctime>
#include <string>

using AnsiString = std::string;

// Shift_JIS lead byte: the first byte of a double-byte character.
inline bool IsSjisLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
// A byte that can follow a lead byte as the second of its pair. A lead byte before any other byte
// (a quote, separator, line end, or the end of the text) is a character of its own, so text that is
// not Shift_JIS (UTF-8) keeps its separators and quotes.
inline bool IsSjisTrailByte(int c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

// CP932 <-> UTF-8. Bytes that do not convert become U+FFFD on the way out and "?" on the way in;
// callers that must keep bytes (values the user did not edit) never round-trip through these.
std::string SjisToUtf8(const AnsiString& sjis);
AnsiString Utf8ToSjis(const std::string& utf8);

// A UTF-8 literal as Shift_JIS, converted on first use and kept for the life of the program.
#define SJ(utf8_literal)                                              \
  ([]() -> const AnsiString& {                                        \
    static const AnsiString converted_ = ::Utf8ToSjis(utf8_literal); \
    return converted_;                                                \
  }())

// printf into a string of exactly the formatted length (no fixed buffer).
AnsiString Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
AnsiString VFormat(const char* fmt, va_list args);

// Integer text: optional leading blanks, optional sign, then decimal digits, or hexadecimal digits
// after "$", "x" or "0x"; nothing after the digits; within the signed 32-bit range.
bool TryStrToInt(const AnsiString& s, int& value);
int StrToIntDef(const AnsiString& s, int def);
AnsiString IntToStr(long long v);
AnsiString UIntToStr(unsigned long long v);

// Real text: the C locale's strtod syntax with optional surrounding blanks; nothing else after it.
bool TryStrToFloat(const AnsiString& s, double& value);
double StrToFloatDef(const AnsiString& s, double def);
// General format with at most 15 significant digits ("1.5", "1E+20", "0.1").
AnsiString FloatToStr(double v);
// A real by a picture of digit placeholders: "0" a digit always shown, "#" a digit shown when it
// is significant, and one "." before the decimals ("0", "0.00", "#0.###"). The value is taken to
// 15 significant digits and rounded half away from zero. An empty picture, one with any other
// character, and a value of 1E18 or more give FloatToStr.
AnsiString FormatFloat(const AnsiString& picture, double v);

// Local date and time as "yyyy/mm/dd hh:nn:ss" (the Japanese short date and long time).
AnsiString DateTimeToStr(std::time_t t);
AnsiString NowText();

AnsiString Trim(const AnsiString& s);
AnsiString UpperCase(const AnsiString& s);  // ASCII letters only; double-byte characters untouched
AnsiString LowerCase(const AnsiString& s);
// Byte-order comparison of ASCII-case-folded texts; double-byte characters compare as their bytes.
int CompareText(const AnsiString& a, const AnsiString& b);
bool SameText(const AnsiString& a, const AnsiString& b);
