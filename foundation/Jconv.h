// EUC-JP <-> Shift_JIS by arithmetic: single-byte ASCII, half-width katakana and the 94 x 94
// positions of the JIS X 0208 double-byte set. No tables, no state; any thread may call.
//
//   character              Shift_JIS          EUC-JP
//   ASCII 00-7F            b                  b
//   half-width katakana    A0-DF              8E b
//   JIS X 0208 (j1, j2)    JisToSjis(j1 j2)   (j1 | 80) (j2 | 80)      j1, j2 in 21-7E
//
// Whatever has no form on the other side becomes the substitute mark (U+3013, Shift_JIS 81 AC,
// EUC-JP A2 AE), one mark per unconvertible character: the user-defined and vendor rows of
// Shift_JIS (lead bytes F0-FC), the JIS X 0212 triples of EUC-JP (8F b b), bytes that start no
// character, and a lead byte whose second byte is missing at the end of the text. A conversion
// never reads past the terminating NUL and never emits a NUL or an ASCII byte for a double-byte
// character, so separators and terminators in the converted text are the original ones.
#pragma once

#include <cstdint>

#include "platform/AnsiString.h"

// Both buffer conversions write at most 2 x strlen(src) bytes and a NUL into out (a null src
// writes only the NUL), and return the number of bytes written before that NUL.
int EucToSjisBuffer(char* out, const char* euc);
int SjisToEucBuffer(char* out, const char* sjis);

// JIS X 0208 code (row byte high, both bytes 21-7E) -> Shift_JIS code (lead byte high).
uint16_t JisToSjis(uint16_t jis);
// Shift_JIS code (lead byte high) -> the EUC-JP byte pair: the JIS code with both high bits set.
uint16_t SjisToJis(uint16_t sjis);

// Whole texts; a null or empty text gives "".
AnsiString EucToSjis(const char* euc);
AnsiString SjisToEuc(const char* sjis);
