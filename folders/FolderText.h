// Condition and column-list texts read token by token, as the folders rewrite and search them.
#pragma once

#include "foundation/Lexer.h"

// Calls visit(name, kind of the token after it) for every name token of text, in order; the token
// after a name is examined in its own turn.
template <class Visit>
void ForEachName(const AnsiString& text, Visit visit) {
  CLexer lexer(text.c_str());
  lexer.NextToken();
  while (lexer.Kind != LEX_END) {
    if (lexer.Kind != LEX_NAME) {
      lexer.NextToken();
      continue;
    }
    const AnsiString name = lexer.Token;
    lexer.NextToken();
    visit(name, lexer.Kind);
  }
}

// The text of the lexer's current token as written (punctuation tokens carry only their kind).
AnsiString LexTokenText(const CLexer& lexer);
