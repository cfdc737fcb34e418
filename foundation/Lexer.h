// The tokenizer of the program's small languages: condition texts, column and table lists, folder
// scripts and table references.
//
// Token kinds (a punctuation token's kind is its byte value, so the named kinds keep clear of 0-255):
//
//   kind           code        token text
//   LEX_END        0x7F000001  empty; repeated at the end of the text
//   LEX_COMPARE    0x7F000002  "=", "<", "<=", "<>", ">", ">=", "!=", or LIKE / UNLIKE as spelt
//   LEX_STRING     0x7F000003  the contents between the quotes, a doubled quote made single
//   LEX_NUMBER     0x7F000004  the characters of the number (sign and periods included)
//   LEX_NAME       0x7F000005  the word as written (table.column is one name)
//   LEX_AND        0x7F000006  the word as written
//   LEX_OR         0x7F000007  the word as written
//   LEX_NOT        0x7F000008  the word as written
//   punctuation    0-255       empty
//
// A Shift_JIS lead byte always takes the byte after it, so a trail byte equal to a quote, "\" or
// "|" never ends or splits a token; a lead byte right before the terminating NUL is taken alone.
#pragma once

#include "platform/AnsiString.h"

enum : int {
  LEX_END = 0x7F000001,
  LEX_COMPARE = 0x7F000002,
  LEX_STRING = 0x7F000003,
  LEX_NUMBER = 0x7F000004,
  LEX_NAME = 0x7F000005,
  LEX_AND = 0x7F000006,
  LEX_OR = 0x7F000007,
  LEX_NOT = 0x7F000008,
};

// The two token dialects. The macro dialect also skips the full-width blank between tokens, and
// its numbers have no sign and at most one period.
enum class TLexDialect { Condition, Macro };

// Reads one token from p: skips the blanks, stores the kind and the text, and returns the start of
// the token; `end` receives the byte after it. At the NUL the kind is LEX_END and start == end.
const char* ScanLexToken(const char* p, TLexDialect dialect, int& kind, AnsiString& token, const char*& end);

// Cuts a NUL-terminated text into tokens, with one token of look-back. It does not copy the text,
// which must outlive it. Callers read Kind and Token after NextToken.
class CLexer {
 public:
  explicit CLexer(const char* text);

  void NextToken();
  void Mark();
  void Restore();
  // Puts back the token NextToken just read and makes the one before it current again.
  void UngetToken() { Restore(); }

  // Space and the printable ASCII bytes that are neither letters nor digits, "_" and "." excepted.
  static bool IsDelimiter(unsigned char c);

  int Kind = 0;  // undefined until the first NextToken
  AnsiString Token;

 private:
  const char* text_;
  const char* cursor_;
  const char* savedCursor_;
  int savedKind_ = 0;
  AnsiString savedToken_;
};
