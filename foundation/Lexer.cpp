#include "foundation/Lexer.h"

namespace {

inline unsigned char Byte(const char* p) { return static_cast<unsigned char>(*p); }
inline bool IsDigit(const char* p) { return *p >= '0' && *p <= '9'; }
inline bool IsBlank(const char* p) { return *p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'; }
inline bool IsWideBlank(const char* p) { return Byte(p) == 0x81 && Byte(p + 1) == 0x40; }

// Bytes of the character at p: two for a lead byte with its trail, else one (also for a lead
// byte right before the NUL, so no scan steps past the end of the text).
inline int CharLength(const char* p) { return IsSjisLeadByte(Byte(p)) && p[1] != '\0' ? 2 : 1; }

const char* ScanNumber(const char* p, TLexDialect dialect, AnsiString& token) {
  const char* start = p++;
  bool period = *start == '.';
  for (;; ++p) {
    if (IsDigit(p)) continue;
    if (*p != '.') break;
    if (dialect == TLexDialect::Macro) {
      if (period) break;
      period = true;
    }
  }
  token.assign(start, p);
  return p;
}

const char* ScanString(const char* p, AnsiString& token) {
  const char quote = *p++;
  while (*p != '\0') {
    if (*p == quote) {
      if (p[1] != quote) return p + 1;
      token += quote;
      p += 2;
      continue;
    }
    const int n = CharLength(p);
    token.append(p, n);
    p += n;
  }
  return p;  // unterminated: the string runs to the end of the text
}

const char* ScanWord(const char* p, AnsiString& token) {
  const char* start = p;
  do {
    p += CharLength(p);
  } while (*p != '\0' && !IsBlank(p) && !CLexer::IsDelimiter(Byte(p)));
  token.assign(start, p);
  return p;
}

int WordKind(const AnsiString& word) {
  const AnsiString upper = UpperCase(word);
  if (upper == "AND") return LEX_AND;
  if (upper == "OR") return LEX_OR;
  if (upper == "NOT") return LEX_NOT;
  if (upper == "LIKE" || upper == "UNLIKE") return LEX_COMPARE;
  return LEX_NAME;
}

}  // namespace

const char* ScanLexToken(const char* p, TLexDialect dialect, int& kind, AnsiString& token, const char*& end) {
  token.clear();
  for (;;) {
    if (IsBlank(p)) ++p;
    else if (dialect == TLexDialect::Macro && IsWideBlank(p)) p += 2;
    else break;
  }
  const char* start = p;
  const char c = *p;
  if (c == '\0') {
    kind = LEX_END;
    end = p;
    return start;
  }
  const bool signedStart = dialect == TLexDialect::Condition && (c == '+' || c == '-');
  if (IsDigit(p) || ((c == '.' || signedStart) && IsDigit(p + 1))) {
    kind = LEX_NUMBER;
    end = ScanNumber(p, dialect, token);
    return start;
  }
  if (c == '\'' || c == '"') {
    kind = LEX_STRING;
    end = ScanString(p, token);
    return start;
  }
  int length = 0;
  if (c == '=') length = 1;
  else if (c == '<') length = (p[1] == '=' || p[1] == '>') ? 2 : 1;
  else if (c == '>') length = p[1] == '=' ? 2 : 1;
  else if (c == '!' && p[1] == '=') length = 2;
  if (length > 0) {
    kind = LEX_COMPARE;
    token.assign(p, length);
    end = p + length;
    return start;
  }
  if (!CLexer::IsDelimiter(Byte(p))) {
    end = ScanWord(p, token);
    kind = WordKind(token);
    return start;
  }
  kind = Byte(p);
  end = p + 1;
  return start;
}

CLexer::CLexer(const char* text) : text_(text ? text : ""), cursor_(text_), savedCursor_(text_) {}

void CLexer::NextToken() {
  Mark();
  ScanLexToken(cursor_, TLexDialect::Condition, Kind, Token, cursor_);
}

void CLexer::Mark() {
  savedCursor_ = cursor_;
  savedKind_ = Kind;
  savedToken_ = Token;
}

void CLexer::Restore() {
  cursor_ = savedCursor_;
  Kind = savedKind_;
  Token = savedToken_;
}

bool CLexer::IsDelimiter(unsigned char c) {
  if (c == '_' || c == '.') return false;
  return (c >= 32 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 96) || (c >= 123 && c <= 126);
}
