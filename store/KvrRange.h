// Value ranges of one column: the AND of a column's comparisons as a sorted list of disjoint
// intervals, which the index cursor (store/KvrCondControl.h) walks.
//
// A range only narrows an index walk: every value a comparison can accept lies in one of the
// ranges, but a range may hold values the comparison refuses (a LIKE pattern's wildcards, the
// exclusive ends of a key prefix). The readers test every record exactly afterwards.
//
//   operator        ranges                       LIKE / UNLIKE: p is the pattern's literal
//   <  v            (-inf, v)                    prefix as a value of the column's type, q the
//   <= v            (-inf, v]                    first value above every text that begins
//   =  v            [v, v]                       with p (open above when p is all bytes 255)
//   >= v            [v, +inf)
//   >  v            (v, +inf)
//   <> v            (-inf, v), (v, +inf)
//   LIKE            [p, q)                       an empty p: the whole column
//   UNLIKE          (-inf, p), [q, +inf)         only for a text pattern that is a plain prefix
//                                                followed by "%"; any other pattern (and any
//                                                non-text column) can be met by a text inside
//                                                [p, q) or by every value: the whole column
//   ALL             (-inf, +inf)
//   anything else   nothing
//
// An integer v beyond its type's range (CKvrValue::Beyond) stands for -inf or +inf on its side.
#pragma once

#include <cstdint>

#include "platform/Classes.h"
#include "store/Kvrvalue.h"

// One end of a range. Kind -1 is open below (minus infinity), 1 open above (plus infinity), 0 a
// value, inclusive or not.
struct CKvrBorderPt {
  int kind = -1;
  CKvrValue value;
  bool inclusive = false;

  void Set(int k, const CKvrValue* v, bool incl);
};

// An interval of values; both ends open below when new (an empty interval until set).
class CKvrRange {
 public:
  CKvrBorderPt lower;
  CKvrBorderPt upper;

  void Set(int lowerKind, const CKvrValue* lowerValue, bool lowerInclusive, int upperKind,
           const CKvrValue* upperValue, bool upperInclusive);
  bool IsEmpty() const;
  bool Contains(const CKvrValue& v) const;
  // Narrows this range to the common part; false when nothing is common (the range is then
  // left as it was).
  bool Intersect(const CKvrRange& other);
  // Widens this range to cover other when the two overlap or touch without a gap; false (and no
  // change) otherwise.
  bool Merge(const CKvrRange& other);
  // A rough size for ordering columns: the first four stored bytes of each end as a big-endian
  // number (open ends 0 and 2^32 - 1), upper minus lower modulo 2^32.
  uint32_t Width() const;
};

// The ranges of one column, sorted by lower end and disjoint; owns its ranges. A reset list is
// one range over every value; an empty list means no value can match.
class CKvrRangeList : public TList {
 public:
  CKvrRangeList() { Reset(); }
  CKvrRangeList(const CKvrRangeList&) = delete;
  CKvrRangeList& operator=(const CKvrRangeList&) = delete;
  ~CKvrRangeList() override;

  CKvrRange* GetAt(int i) const { return static_cast<CKvrRange*>(Items(i)); }
  void Clear() override;
  void Reset();
  // ANDs one comparison into the list; value is typed by the column and holds the comparison's
  // text (for LIKE and UNLIKE the pattern).
  void AddCond(int op, const CKvrValue& value);
  void IntersectAll(const CKvrRange& range);
  void MergeIn(const CKvrRange& range);
  CKvrRangeList* Clone() const;  // the caller owns the copy
};

// True when pattern is a literal prefix (at least one character) followed only by "%": exactly
// the texts that begin with the prefix match it.
bool IsPrefixPattern(const char* pattern);
