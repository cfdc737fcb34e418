// The length-prefixed text record, the unit of the folder file:
//
//   offset  size  content
//   0       8     byte length N of the text as eight lower-case hexadecimal digits ("%08x")
//   8       N     the text's bytes (Shift_JIS), no terminator
//
// Records follow one another with nothing between them. Readers trust nothing: a prefix that is
// not eight hexadecimal digits, or that claims more bytes than the stream still holds, is refused
// before anything past it is read.
#pragma once

#include "platform/Classes.h"

// True when the digits and then all N bytes were written (the bytes are not written when the
// digits were not).
bool WriteLengthPrefixedString(TStream* stream, const AnsiString& text);

// Reads one record into text; false (text untouched) on a short or malformed record.
bool ReadLengthPrefixedString(TStream* stream, AnsiString& text);

// Reads one record that carries a comma text ended by a line feed: the record must be non-empty
// and end with 0x0A, which is cut off.
bool ReadLengthPrefixedLine(TStream* stream, AnsiString& line);
