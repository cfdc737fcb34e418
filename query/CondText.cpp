#include "query/CondText.h"

#include "foundation/CapInfo.h"
#include "foundation/Lexer.h"

namespace {

constexpr size_t kCutBytes = 128;

// Bytes of the character at i: two for a lead byte with a byte after it, else one.
size_t CharLength(const AnsiString& text, size_t i) {
  return IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
}

// Start of the last character; 0 for the empty text.
size_t LastCharStart(const AnsiString& text) {
  size_t start = 0;
  for (size_t i = 0; i < text.size(); i += CharLength(text, i)) start = i;
  return start;
}

}  // namespace

int IndexOfRecIdColumn(const CCapInfoList* list, const AnsiString& table) {
  if (!list) return -1;
  return list->IndexOfName(Format("%s.%s", table.c_str(), "__REC__ID__"));
}

AnsiString CutTextBytes(const AnsiString& text) {
  if (text.size() <= kCutBytes) return text;
  size_t i = 0;
  while (i < kCutBytes) {
    const size_t n = CharLength(text, i);
    if (i + n > kCutBytes) break;
    i += n;
  }
  return text.substr(0, i);
}

AnsiString EscapeQuotes(const AnsiString& text) {
  AnsiString out;
  out.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size();) {
    const size_t n = CharLength(text, i);
    if (n == 1 && IsSjisLeadByte(static_cast<unsigned char>(text[i]))) break;  // lone lead byte at the end
    out.append(text, i, n);
    if (n == 1 && text[i] == '\'') out += '\'';
    i += n;
  }
  return out;
}

AnsiString EscapeLikeText(const AnsiString& text) {
  AnsiString out;
  out.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size();) {
    const size_t n = CharLength(text, i);
    if (n == 1 && (text[i] == '\\' || text[i] == '%')) out += '\\';
    out.append(text, i, n);
    i += n;
  }
  return out;
}

AnsiString UnescapeLikeText(const AnsiString& text) {
  AnsiString out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t n = CharLength(text, i);
    if (n == 1 && text[i] == '\\') {
      i += 1;
      if (i >= text.size()) break;
      n = CharLength(text, i);
    }
    out.append(text, i, n);
    i += n;
  }
  return out;
}

void SplitCondition(const AnsiString& condition, AnsiString& column, int& opIndex, AnsiString& value) {
  column.clear();
  opIndex = 0;
  value.clear();
  CLexer lexer(condition.c_str());
  lexer.NextToken();
  if (lexer.Kind != LEX_NAME) return;
  column = lexer.Token;
  lexer.NextToken();
  if (lexer.Kind != LEX_COMPARE) return;
  const AnsiString op = lexer.Token;
  lexer.NextToken();
  if (lexer.Kind != LEX_STRING && lexer.Kind != LEX_NAME && lexer.Kind != LEX_NUMBER) return;
  value = lexer.Token;

  static const struct {
    const char* text;
    int index;
  } plain[] = {{"=", 1}, {">=", 3}, {">", 4}, {"<=", 5}, {"<", 6}, {"<>", 8}, {"!=", 8}};
  for (const auto& p : plain) {
    if (op == p.text) {
      opIndex = p.index;
      return;
    }
  }
  // LIKE and UNLIKE in any case: a condition saved as "unlike" must not come back as a LIKE.
  const bool negated = SameText(op, "UNLIKE");
  if (value.empty() || value[0] != '%') {
    opIndex = negated ? 7 : 0;
    value.erase(LastCharStart(value));
  } else {
    opIndex = negated ? 9 : 2;
    value.erase(LastCharStart(value));
    if (!value.empty()) value.erase(0, 1);
  }
  value = UnescapeLikeText(value);
}

AnsiString UnqualifyColumnName(const AnsiString& table, const AnsiString& column) {
  return GetTablePart(column) == table ? GetFieldPart(column) : column;
}

AnsiString QualifyColumnName(const AnsiString& table, const AnsiString& column) {
  return !column.empty() && GetTablePart(column).empty() ? table + "." + column : column;
}
