// The text-macro language: texts hold expressions written as "$(" expression ")", which
// TCvStrMacro evaluates while it parses them and replaces by their values.
//
// Every value is a text. Truth: a text is false only when it reads as an integer (StrToIntDef's
// rule) whose value is 0; logical and comparison results are "1" and "0". Arithmetic and
// comparisons work on numbers when both sides read as reals (TryStrToFloat) and write results back
// with FloatToStr; otherwise they work on the texts. Grammar, loosest first:
//
//   expr     := and [OR expr]                  both sides evaluated
//   and      := not [AND and]
//   not      := NOT not | sum [compare not]    comparisons group to the right
//   sum      := product {("+" | "-") product}
//   product  := primary {("*" | "/" | "%") primary}
//   primary  := "(" expr ")" | "-" primary | "+" number | number | string
//             | name "(" args ")" | name        IF / 分岐 (any case) is the lazy conditional
//
// A failed "$(" is left as it stands in an expanded text; EvalMacro reports failure with the text
// read so far followed by "<<--ERROR". Expressions nested deeper than a fixed limit fail rather
// than exhaust the stack.
#pragma once

#include <ctime>
#include <functional>

#include "platform/Classes.h"

// Host names found by the macro function "host": the name as the string, the 32-bit address as
// the object; at most 10000 entries, oldest first. Created and freed by the main window; null
// without one.
extern TStringList* HostNameCache;

// Value of a bare name; value of a function the evaluator does not know (args in call order).
using TCvMacroValueEvent = std::function<AnsiString(const AnsiString& name)>;
using TCvMacroFuncEvent = std::function<AnsiString(const AnsiString& name, const TStrings* args)>;

// The local date and time the date functions take for today and now. Tests install a fixed one;
// an empty clock brings the system's back. Returns the clock it replaced.
using TMacroClock = std::function<std::tm()>;
TMacroClock SetMacroClock(TMacroClock clock);

// One evaluator, used by one thread at a time. It owns only its scanning state; the hooks and the
// host-name cache belong to others. Subclasses override GetValue to give names their values.
class TCvStrMacro {
 public:
  TCvStrMacro() = default;
  TCvStrMacro(const TCvStrMacro&) = delete;
  TCvStrMacro& operator=(const TCvStrMacro&) = delete;
  virtual ~TCvStrMacro() = default;

  // Replaces every well-formed "$(" expression ")" by its value; the number replaced.
  int Expand(AnsiString& text) { return ExpandMacros(text, true); }
  // How many well-formed expressions the text holds (they are evaluated, hooks included).
  int CountMacros(const AnsiString& text);
  int ExpandMacros(AnsiString& text, bool replace);
  // Evaluates the expression at the start of text, up to the first token that cannot continue it.
  // True: result is the value, consumed the bytes up to that token. False: result is the text read
  // up to the failing token followed by "<<--ERROR", consumed the length of that text.
  bool EvalMacro(const char* text, int& consumed, AnsiString& result);

  // A bare name: "" while ParseOnly, else the value hook's answer, else the name itself.
  virtual AnsiString GetValue(const AnsiString& name);
  // The built-in functions, then the function hook, else the name followed by "()"; "" while
  // ParseOnly without calling anything.
  virtual AnsiString CallFunction(const AnsiString& name, const TStrings* args);

  // Built-in functions (args may be null). A function never fails: unsuitable arguments give ""
  // or the documented fallback.
  AnsiString FuncDate(const TStrings* args);
  AnsiString FuncYmd(const TStrings* args);
  AnsiString FuncEraDate(const TStrings* args);
  AnsiString FuncTime(const TStrings* args);
  AnsiString FuncWeekday(const TStrings* args);
  AnsiString FuncDayWeek(const TStrings* args);
  AnsiString FuncAge(const TStrings* args);
  AnsiString FuncMonthAge(const TStrings* args);
  AnsiString FuncSubstring(const TStrings* args);
  AnsiString FuncStrsep(const TStrings* args);
  AnsiString FuncStrsepRev(const TStrings* args);
  AnsiString FuncStrcat(const TStrings* args);
  AnsiString FuncCondstr(const TStrings* args);
  AnsiString FuncLikestr(const TStrings* args);
  AnsiString FuncInt(const TStrings* args);
  AnsiString FuncTrim(const TStrings* args);
  AnsiString FuncHost(const TStrings* args);
  AnsiString FuncIf(const TStrings* args);
  // The date the arguments name (a date text and day, month and year offsets, or offsets from
  // today) printed with format, which takes year, month and day as three ints.
  AnsiString ParseDate(const char* format, const TStrings* args);

  // While true, expressions are read but not computed: names and calls give "", comparisons and
  // arithmetic give "", and every expression's value is its own source text.
  bool ParseOnly = false;
  TCvMacroValueEvent OnGetValue;
  TCvMacroFuncEvent OnCallFunction;

 private:
  void BeginScan(const char* text);
  void NextToken();
  void Advance();
  static bool IsDelimiter(unsigned char c);
  bool ParseOr(AnsiString& value);
  bool ParseAnd(AnsiString& value);
  bool ParseNot(AnsiString& value);
  bool ParseAdditive(AnsiString& value);
  bool ParseMultiplicative(AnsiString& value);
  // operand {op operand}, combined with Arith from the left; ops lists the operator characters.
  bool ParseLeftToRight(AnsiString& value, bool (TCvStrMacro::*operand)(AnsiString&), const char* ops);
  bool ParsePrimary(AnsiString& value);
  bool ParseIf(AnsiString& value);
  bool ParseSkipped(AnsiString& value);
  bool ParseArguments(TStrings& args);
  AnsiString Compare(const AnsiString& left, const AnsiString& right, const AnsiString& op);
  AnsiString Arith(const AnsiString& left, const AnsiString& right, const AnsiString& op);
  // The date of ParseDate as numbers; false when its year does not fit an int.
  bool ReadDate(const TStrings* args, int& year, int& month, int& day);
  int MonthsBetween(const TStrings* args);  // FuncMonthAge's count, -1 for none

  struct Nesting;

  const char* position_ = nullptr;  // start of the current token
  AnsiString token_;
  int kind_ = 0;
  int length_ = 0;  // bytes of the current token in the text
  int depth_ = 0;   // nesting of the parse functions now running
};

// Expands the text in place with a plain evaluator (names give themselves, unknown functions
// their name and "()").
void ExpandMacroText(AnsiString& text);

// Day numbers of the proleptic Gregorian calendar, day 1 being January 1 of year 1.
long long DaysBeforeYear(long long year);
// The month may lie outside 1-12 (it carries into the year) and the day outside the month.
long long DateToDays(long long year, long long month, long long day);
void DaysToDate(long long days, long long& year, int& month, int& day);
