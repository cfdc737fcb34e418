// Single comparisons of the condition language as text: quoting values, escaping LIKE patterns,
// attaching and stripping table prefixes, and reading a comparison back into the three fields of
// the one-condition dialog.
//
// Every function reads its text as Shift_JIS: a lead byte (0x81-0x9F, 0xE0-0xFC) and the byte after
// it are one character, and a trail byte is never looked at or altered on its own (the trail byte
// of "ソ" is a backslash, that of some others a quote).
//
// Operator index of SplitCondition, the position of the method in the dialog's list:
//
//   index  method                 comparison written
//   0      begins with            LIKE 'v%'
//   1      equal                  =
//   2      contains               LIKE '%v%'
//   3      greater or equal       >=
//   4      greater                >
//   5      less or equal          <=
//   6      less                   <
//   7      does not begin with    UNLIKE 'v%'
//   8      not equal              <> or !=
//   9      does not contain       UNLIKE '%v%'
#pragma once

#include "platform/AnsiString.h"

class CCapInfoList;

// Index of the descriptor whose item name is exactly table + ".__REC__ID__"; -1 when there is
// none or no list.
int IndexOfRecIdColumn(const CCapInfoList* list, const AnsiString& table);

// The text cut to at most 128 bytes, one byte shorter where byte 128 would split a character.
AnsiString CutTextBytes(const AnsiString& text);

// Every single quote doubled, ready to stand between single quotes. A lead byte at the very end
// is dropped: it would take the closing quote as its trail byte.
AnsiString EscapeQuotes(const AnsiString& text);
// A backslash before every backslash and percent sign, ready to stand in a LIKE pattern.
AnsiString EscapeLikeText(const AnsiString& text);
// Drops each escaping backslash and keeps the character after it; a backslash at the end is
// dropped.
AnsiString UnescapeLikeText(const AnsiString& text);

// Reads the comparison at the start of condition: column, operator index (above) and value (for
// a LIKE, the pattern without its wildcards and escapes). Outputs start as "", 0 and ""; reading
// stops at the first token that does not fit, leaving what it has set. UNLIKE is recognised in
// any case. The last character of a LIKE pattern is taken for its closing "%" unchecked.
void SplitCondition(const AnsiString& condition, AnsiString& column, int& opIndex, AnsiString& value);

// column without its table part when that part is table; otherwise column unchanged.
AnsiString UnqualifyColumnName(const AnsiString& table, const AnsiString& column);
// table "." column when column is not empty and has no table part; otherwise column unchanged.
AnsiString QualifyColumnName(const AnsiString& table, const AnsiString& column);
