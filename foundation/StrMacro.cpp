#include "foundation/StrMacro.h"

#include <cmath>
#include <cstring>

#include "foundation/Lexer.h"

TStringList* HostNameCache = nullptr;

namespace {

// Each level of parentheses takes four nested parse functions, so this allows some 150 levels,
// far beyond any written expression, in well under a megabyte of stack.
constexpr int kMaxDepth = 600;

bool IsTrue(const AnsiString& value) { return StrToIntDef(value, 1) != 0; }
const char* TruthText(bool b) { return b ? "1" : "0"; }

}  // namespace

struct TCvStrMacro::Nesting {
  explicit Nesting(TCvStrMacro& m) : macro(m), ok(++m.depth_ <= kMaxDepth) {}
  ~Nesting() { --macro.depth_; }
  TCvStrMacro& macro;
  const bool ok;
};

int TCvStrMacro::CountMacros(const AnsiString& text) {
  AnsiString copy = text;
  return ExpandMacros(copy, false);
}

int TCvStrMacro::ExpandMacros(AnsiString& text, bool replace) {
  int count = 0;
  AnsiString out;
  size_t copied = 0;  // text before this has gone to out
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (IsSjisLeadByte(c)) {
      i += 2;
      continue;
    }
    if (c != '$' || i + 1 >= n || text[i + 1] != '(') {
      ++i;
      continue;
    }
    int consumed = 0;
    AnsiString value;
    const size_t body = i + 2;
    if (EvalMacro(text.c_str() + body, consumed, value) && body + consumed < n && text[body + consumed] == ')') {
      ++count;
      if (replace) {
        out.append(text, copied, i - copied);
        out += value;
      }
      i = body + consumed + 1;
      copied = i;
    } else {
      ++i;  // an expression nested in the failed one may still expand
    }
  }
  if (replace && count > 0) {
    out.append(text, copied, AnsiString::npos);
    text = std::move(out);
  }
  return count;
}

bool TCvStrMacro::EvalMacro(const char* text, int& consumed, AnsiString& result) {
  if (text == nullptr) text = "";
  BeginScan(text);
  AnsiString value;
  const bool ok = ParseOr(value);
  consumed = static_cast<int>(position_ - text);
  if (ok) {
    result = std::move(value);
  } else {
    result.assign(text, position_);
    result += "<<--ERROR";
  }
  return ok;
}

AnsiString TCvStrMacro::GetValue(const AnsiString& name) {
  if (ParseOnly) return {};
  return OnGetValue ? OnGetValue(name) : name;
}

void TCvStrMacro::BeginScan(const char* text) {
  position_ = text;
  length_ = 0;
  NextToken();
}

void TCvStrMacro::NextToken() {
  const char* end = nullptr;
  position_ = ScanLexToken(position_, TLexDialect::Macro, kind_, token_, end);
  length_ = static_cast<int>(end - position_);
}

void TCvStrMacro::Advance() {
  position_ += length_;
  NextToken();
}

bool TCvStrMacro::IsDelimiter(unsigned char c) { return CLexer::IsDelimiter(c); }

bool TCvStrMacro::ParseOr(AnsiString& value) {
  Nesting nesting(*this);
  if (!nesting.ok) return false;
  const char* start = position_;
  AnsiString left;
  if (!ParseAnd(left)) return false;
  if (kind_ == LEX_OR) {
    Advance();
    AnsiString right;
    if (!ParseOr(right)) return false;
    left = TruthText(IsTrue(left) || IsTrue(right));
  }
  if (ParseOnly) value.assign(start, position_);
  else value = std::move(left);
  return true;
}

bool TCvStrMacro::ParseAnd(AnsiString& value) {
  Nesting nesting(*this);
  if (!nesting.ok || !ParseNot(value)) return false;
  if (kind_ == LEX_AND) {
    Advance();
    AnsiString right;
    if (!ParseAnd(right)) return false;
    value = TruthText(IsTrue(value) && IsTrue(right));
  }
  return true;
}

bool TCvStrMacro::ParseNot(AnsiString& value) {
  Nesting nesting(*this);
  if (!nesting.ok) return false;
  if (kind_ == LEX_NOT) {
    Advance();
    AnsiString operand;
    if (!ParseNot(operand)) return false;
    value = TruthText(!IsTrue(operand));
    return true;
  }
  if (!ParseAdditive(value)) return false;
  if (kind_ == LEX_COMPARE) {
    const AnsiString op = token_;
    Advance();
    AnsiString right;
    if (!ParseNot(right)) return false;
    value = Compare(value, right, op);
  }
  return true;
}

bool TCvStrMacro::ParseAdditive(AnsiString& value) {
  return ParseLeftToRight(value, &TCvStrMacro::ParseMultiplicative, "+-");
}

bool TCvStrMacro::ParseMultiplicative(AnsiString& value) {
  return ParseLeftToRight(value, &TCvStrMacro::ParsePrimary, "*/%");
}

bool TCvStrMacro::ParseLeftToRight(AnsiString& value, bool (TCvStrMacro::*operand)(AnsiString&), const char* ops) {
  if (!(this->*operand)(value)) return false;
  while (kind_ > 0 && kind_ < 256 && std::strchr(ops, kind_) != nullptr) {
    const AnsiString op(1, static_cast<char>(kind_));
    Advance();
    AnsiString right;
    if (!(this->*operand)(right)) return false;
    value = Arith(value, right, op);
  }
  return true;
}

bool TCvStrMacro::ParsePrimary(AnsiString& value) {
  Nesting nesting(*this);
  if (!nesting.ok) return false;
  switch (kind_) {
    case '(':
      Advance();
      if (!ParseOr(value) || kind_ != ')') return false;
      Advance();
      return true;
    case '-': {
      Advance();
      AnsiString operand;
      if (!ParsePrimary(operand)) return false;
      value = Arith(operand, "-1", "*");
      return true;
    }
    case '+':
      Advance();
      if (kind_ != LEX_NUMBER) return false;
      value = token_;
      Advance();
      return true;
    case LEX_NUMBER:
    case LEX_STRING:
      value = token_;
      Advance();
      return true;
    case LEX_NAME: {
      const AnsiString name = token_;
      Advance();
      if (kind_ != '(') {
        value = GetValue(name);
        return true;
      }
      Advance();
      if (UpperCase(name) == "IF" || name == SJ("分岐")) return ParseIf(value);
      TStringList args;
      if (!ParseArguments(args) || kind_ != ')') return false;
      Advance();
      value = CallFunction(name, &args);
      return true;
    }
    default:
      return false;
  }
}

bool TCvStrMacro::ParseArguments(TStrings& args) {
  while (kind_ != ')') {
    if (kind_ == ',') {
      args.Add("");
      Advance();
      continue;
    }
    AnsiString value;
    if (!ParseOr(value)) return false;
    args.Add(value);
    if (kind_ == ',') Advance();
  }
  return true;
}

bool TCvStrMacro::ParseIf(AnsiString& value) {
  AnsiString condition = "1";
  AnsiString result;
  for (int index = 0; kind_ != ')'; ++index) {
    if (kind_ == ',') {
      Advance();
      continue;
    }
    AnsiString skipped;
    bool ok;
    if (index == 0) ok = ParseOr(condition);
    else if (index == 1 && IsTrue(condition)) ok = ParseOr(result);
    else if (index == 2 && !IsTrue(condition)) ok = ParseOr(result);
    else ok = ParseSkipped(skipped);
    if (!ok) return false;
    if (kind_ == ',') Advance();
  }
  Advance();
  value = std::move(result);
  return true;
}

bool TCvStrMacro::ParseSkipped(AnsiString& value) {
  const bool saved = ParseOnly;
  ParseOnly = true;
  const bool ok = ParseOr(value);
  ParseOnly = saved;
  return ok;
}

AnsiString TCvStrMacro::Compare(const AnsiString& left, const AnsiString& right, const AnsiString& op) {
  if (ParseOnly) return {};
  const AnsiString upper = UpperCase(op);
  if (upper == "LIKE" || upper == "UNLIKE") return {};
  double a, b;
  int order;
  if (TryStrToFloat(left, a) && TryStrToFloat(right, b)) order = a < b ? -1 : (a > b ? 1 : 0);
  else order = left.compare(right);
  if (op == "<") return TruthText(order < 0);
  if (op == "<=") return TruthText(order <= 0);
  if (op == "=") return TruthText(order == 0);
  if (op == ">=") return TruthText(order >= 0);
  if (op == ">") return TruthText(order > 0);
  if (op == "<>" || op == "!=") return TruthText(order != 0);
  return {};
}

AnsiString TCvStrMacro::Arith(const AnsiString& left, const AnsiString& right, const AnsiString& op) {
  if (ParseOnly) return {};
  double a, b;
  if (!TryStrToFloat(left, a) || !TryStrToFloat(right, b)) return op == "+" ? left + right : left;
  switch (op[0]) {
    case '+':
      return FloatToStr(a + b);
    case '-':
      return FloatToStr(a - b);
    case '*':
      return FloatToStr(a * b);
    case '/':
      return b == 0 ? left : FloatToStr(a / b);
    case '%': {
      // The integer parts' remainder, with the left's sign. Integer parts beyond 32 bits are
      // taken as they are rather than wrapped.
      const double divisor = std::trunc(b);
      return divisor == 0 ? left : FloatToStr(std::fmod(std::trunc(a), divisor));
    }
    default:
      return left;
  }
}

void ExpandMacroText(AnsiString& text) {
  TCvStrMacro macro;
  macro.Expand(text);
}
