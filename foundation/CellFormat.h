// How a column descriptor shows a stored value in a cell, and how it orders two record rows.
//
// Values are always texts; a record row is a string list with one text per column, and the
// descriptor's Position says which entry is the column's. Byte order means unsigned bytes, a
// prefix before the longer text.
#pragma once

#include "foundation/CapInfo.h"

// The value as the column shows it: a real column with a number format formats the value through
// FormatFloat (a value that does not read as a number stays as it is); then the thousands
// separators.
AnsiString FormatCellValue(const CCapInfo* info, const AnsiString& value);

// With flag CI_THOUSANDS on an integer or real column: a comma between each group of three digits
// of every run of digits that does not follow a period. Otherwise the text unchanged.
AnsiString AddThousandsSeparators(const CCapInfo* info, const AnsiString& text);
// Under the same conditions: the commas that touch a digit are dropped.
AnsiString RemoveThousandsSeparators(const CCapInfo* info, const AnsiString& text);

// A leading decimal real as the C scan "%lf" reads it (blanks, sign, digits with one period,
// exponent; anything after is ignored), whatever the process locale. False when the text starts
// with no number; a magnitude too large for a double reads as an infinity.
bool ScanLeadingReal(const AnsiString& text, double& value);

// Returned by CompareCellValues, never negated, when the column is missing from a row.
constexpr int CELL_MISSING = 999;
// Below 0 when row a sorts before row b, 0 when they tie, above 0 after; CELL_MISSING when the
// descriptor's position is not inside both rows. Integer and real columns compare the numbers at
// the start of the texts (a text without a number sorts before numbers); other columns by the sort kind
// (weekdays, dotted addresses) or in byte order. The direction is the descriptor's Ascending,
// turned round by CI_SORT_FLIPPED.
int CompareCellValues(const CCapInfo* info, const TStrings* a, const TStrings* b);

// 1-7 for Sunday to Saturday ("日".."土", or "SUN".."SAT" in any case, at the start of the
// trimmed text); 8 otherwise.
int WeekdayIndex(const AnsiString& text);
// Four dotted numbers compare as numbers, other texts as names from their last label to their
// first (a name before the longer names that end with it): -1, 0 or 1. An empty text sorts after
// every other: 100 when only a is empty, -100 when only b is.
int CompareDottedAddresses(const AnsiString& a, const AnsiString& b);
