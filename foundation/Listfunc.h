// Search, sorted insertion and sorting over string and pointer lists, in byte order.
//
// Strings compare byte by byte as unsigned bytes, a prefix before the longer text; pointers by
// value. Ranges are inclusive (lo .. hi; hi < lo is empty). The lists must be plain lists: these
// functions put entries at the indexes they choose. Duplicates are inserted, not refused.
#pragma once

#include "platform/Classes.h"

// Index of an entry equal to text, or -1. Sorted: by bisection; unsorted: from the end down, so
// the highest equal index wins.
int FindString(const TStrings* list, const AnsiString& text, bool sorted);
// Index of an equal entry inside lo .. hi, or -1.
int FindSortedString(const AnsiString& text, const TStrings* list, int lo, int hi);
// An equal entry met by the bisection, else the insertion point (never above hi, so for a text
// above every entry it is the last index, not the count).
int SearchSortedString(const AnsiString& text, const TStrings* list, int lo, int hi);
// Inserts text in order (in front of the equal entry the search meets); its index.
int InsertSortedString(TStrings* list, const AnsiString& text);

int FindSortedPointer(const void* p, const TList* list, int lo, int hi);
// The first index whose pointer is not below p, capped at hi.
int SearchSortedPointer(const void* p, const TList* list, int lo, int hi);
int IndexOfSortedPointer(const TList* list, const void* p);
int InsertSortedPointer(TList* list, void* p);

// Quicksort with the middle entry as pivot and insertion sort for ranges of nine or fewer;
// strings move together with their objects.
void QuickSortStringsRange(TStrings* list, int lo, int hi);
void QuickSortStrings(TStrings* list);
void QuickSortPointersRange(TList* list, int lo, int hi);
