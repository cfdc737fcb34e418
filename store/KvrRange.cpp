#include "store/KvrRange.h"

#include <cstring>

#include "store/CondOp.h"

namespace {

bool IsText(char type) { return type == kvrString || type == kvrSet; }

// Order of two lower ends: at one value an inclusive end lies below an exclusive one.
int CompareLower(const CKvrBorderPt& a, const CKvrBorderPt& b) {
  if (a.kind != b.kind || a.kind != 0) return a.kind - b.kind;
  const int c = CKvrValue::Compare(a.value, b.value);
  if (c != 0) return c;
  return (b.inclusive ? 1 : 0) - (a.inclusive ? 1 : 0);
}

// Order of two upper ends: at one value an inclusive end lies above an exclusive one.
int CompareUpper(const CKvrBorderPt& a, const CKvrBorderPt& b) {
  if (a.kind != b.kind || a.kind != 0) return a.kind - b.kind;
  const int c = CKvrValue::Compare(a.value, b.value);
  if (c != 0) return c;
  return (a.inclusive ? 1 : 0) - (b.inclusive ? 1 : 0);
}

// Whether some value lies at or above `lower` and at or below `upper`.
bool Meets(const CKvrBorderPt& lower, const CKvrBorderPt& upper) {
  if (lower.kind == 1 || upper.kind == -1) return false;
  if (lower.kind == -1 || upper.kind == 1) return true;
  const int c = CKvrValue::Compare(lower.value, upper.value);
  return c < 0 || (c == 0 && lower.inclusive && upper.inclusive);
}

// Whether a range ending at `upper` and one starting at `lower` leave no value between them.
bool Touches(const CKvrBorderPt& upper, const CKvrBorderPt& lower) {
  if (upper.kind == 1 || lower.kind == -1) return true;
  if (upper.kind == -1 || lower.kind == 1) return false;
  const int c = CKvrValue::Compare(upper.value, lower.value);
  return c > 0 || (c == 0 && (upper.inclusive || lower.inclusive));
}

uint32_t FirstFour(const CKvrBorderPt& end) {
  if (end.kind < 0) return 0;
  if (end.kind > 0) return 0xFFFFFFFFu;
  uint32_t v = 0;
  const int n = end.value.StoredLength();
  for (int i = 0; i < 4; ++i) v = v << 8 | (i < n ? end.value.Stored()[i] : 0u);
  return v;
}

// The LIKE bounds of a pattern for a column type: p, the literal prefix as a value, and q, the
// first value above every one that begins with it; qOpen when no such value exists (p's bytes
// are all 255). False when the prefix is empty: every value may match.
bool PrefixBounds(const CKvrValue& pattern, CKvrValue& p, CKvrValue& q, bool& qOpen) {
  p = CKvrValue(pattern.Type());
  p.SetText(LikePrefix(pattern.GetText().c_str()).c_str());
  const int n = p.StoredLength();
  if (n < 2) return false;
  // The prefix's last byte is the text's NUL (or, for a number, a byte the prefix does not fix).
  qOpen = true;
  for (int i = 0; i <= n - 2; ++i)
    if (p.Stored()[i] != 0xFF) qOpen = false;
  q = p;
  if (!qOpen) q.AddAt(0, n - 2, 1);
  return true;
}

}  // namespace

void CKvrBorderPt::Set(int k, const CKvrValue* v, bool incl) {
  kind = k;
  inclusive = incl;
  if (k == 0 && v) value = *v;
}

void CKvrRange::Set(int lowerKind, const CKvrValue* lowerValue, bool lowerInclusive, int upperKind,
                    const CKvrValue* upperValue, bool upperInclusive) {
  lower.Set(lowerKind, lowerValue, lowerInclusive);
  upper.Set(upperKind, upperValue, upperInclusive);
}

bool CKvrRange::IsEmpty() const { return !Meets(lower, upper); }

bool CKvrRange::Contains(const CKvrValue& v) const {
  if (lower.kind == 1 || upper.kind == -1) return false;
  if (lower.kind == 0) {
    const int c = CKvrValue::Compare(v, lower.value);
    if (c < 0 || (c == 0 && !lower.inclusive)) return false;
  }
  if (upper.kind == 1) return true;
  const int c = CKvrValue::Compare(v, upper.value);
  return c < 0 || (c == 0 && upper.inclusive);
}

bool CKvrRange::Intersect(const CKvrRange& other) {
  const CKvrBorderPt& lo = CompareLower(other.lower, lower) > 0 ? other.lower : lower;
  const CKvrBorderPt& hi = CompareUpper(other.upper, upper) < 0 ? other.upper : upper;
  if (!Meets(lo, hi)) return false;
  if (&lo == &other.lower) lower = other.lower;
  if (&hi == &other.upper) upper = other.upper;
  return true;
}

bool CKvrRange::Merge(const CKvrRange& other) {
  if (IsEmpty() || other.IsEmpty()) return false;
  if (!Touches(upper, other.lower) || !Touches(other.upper, lower)) return false;
  if (CompareLower(other.lower, lower) < 0) lower = other.lower;
  if (CompareUpper(other.upper, upper) > 0) upper = other.upper;
  return true;
}

uint32_t CKvrRange::Width() const { return FirstFour(upper) - FirstFour(lower); }

CKvrRangeList::~CKvrRangeList() { Clear(); }

void CKvrRangeList::Clear() {
  for (int i = Count() - 1; i >= 0; --i) delete GetAt(i);
  TList::Clear();
}

void CKvrRangeList::Reset() {
  Clear();
  auto* all = new CKvrRange;
  all->Set(-1, nullptr, false, 1, nullptr, false);
  Add(all);
}

void CKvrRangeList::IntersectAll(const CKvrRange& range) {
  for (int i = Count() - 1; i >= 0; --i) {
    if (GetAt(i)->Intersect(range)) continue;
    delete GetAt(i);
    Delete(i);
  }
}

void CKvrRangeList::MergeIn(const CKvrRange& range) {
  if (range.IsEmpty()) return;
  int at = -1;
  for (int i = 0; i < Count() && at < 0; ++i)
    if (GetAt(i)->Merge(range)) at = i;
  if (at < 0) {
    at = Count();
    for (int i = 0; i < Count(); ++i)
      if (CompareLower(GetAt(i)->lower, range.lower) > 0) {
        at = i;
        break;
      }
    Insert(at, new CKvrRange(range));
  }
  // A widened range may now reach its neighbours; the list stays disjoint.
  while (at + 1 < Count() && GetAt(at)->Merge(*GetAt(at + 1))) {
    delete GetAt(at + 1);
    Delete(at + 1);
  }
  while (at > 0 && GetAt(at - 1)->Merge(*GetAt(at))) {
    delete GetAt(at);
    Delete(at);
    --at;
  }
}

CKvrRangeList* CKvrRangeList::Clone() const {
  auto* copy = new CKvrRangeList;
  copy->Clear();
  for (int i = 0; i < Count(); ++i) copy->Add(new CKvrRange(*GetAt(i)));
  return copy;
}

void CKvrRangeList::AddCond(int op, const CKvrValue& value) {
  CKvrRange first, second;
  bool two = false;
  // An integer beyond its type's range is the infinity on its side: no stored value reaches it.
  const int at = value.Beyond() > 0 ? 1 : value.Beyond() < 0 ? -1 : 0;
  switch (op) {
    case COND_LES: first.Set(-1, nullptr, false, at, &value, false); break;
    case COND_LES_EQL: first.Set(-1, nullptr, false, at, &value, true); break;
    case COND_EQL: first.Set(at, &value, true, at, &value, true); break;
    case COND_GRT_EQL: first.Set(at, &value, true, 1, nullptr, false); break;
    case COND_GRT: first.Set(at, &value, false, 1, nullptr, false); break;
    case COND_NOT_EQL:
      first.Set(-1, nullptr, false, at, &value, false);
      second.Set(at, &value, false, 1, nullptr, false);
      two = true;
      break;
    case COND_LIKE:
    case COND_NOT_LIKE: {
      CKvrValue p, q;
      bool qOpen = false;
      const bool narrows = PrefixBounds(value, p, q, qOpen) &&
                           (op == COND_LIKE || (IsText(value.Type()) && IsPrefixPattern(value.GetText().c_str())));
      if (!narrows)
        first.Set(-1, nullptr, false, 1, nullptr, false);
      else if (op == COND_LIKE)
        first.Set(0, &p, true, qOpen ? 1 : 0, &q, false);
      else {
        first.Set(-1, nullptr, false, 0, &p, false);
        second.Set(0, &q, true, 1, nullptr, false);
        two = !qOpen;
      }
      break;
    }
    case COND_ALL: first.Set(-1, nullptr, false, 1, nullptr, false); break;
    default: first.Set(1, nullptr, false, -1, nullptr, false); break;
  }
  if (!two) {
    IntersectAll(first);
    return;
  }
  CKvrRangeList* copy = Clone();
  IntersectAll(first);
  copy->IntersectAll(second);
  for (int i = copy->Count() - 1; i >= 0; --i) MergeIn(*copy->GetAt(i));
  delete copy;
}

bool IsPrefixPattern(const char* pattern) {
  if (pattern == nullptr) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(pattern);
  const size_t n = std::strlen(pattern);
  size_t i = 0;
  bool literal = false;
  while (i < n && p[i] != '%') {
    if (p[i] == '\\' && ++i >= n) return false;
    i += IsSjisLeadByte(p[i]) && i + 1 < n ? 2 : 1;
    literal = true;
  }
  if (!literal || i >= n) return false;
  while (i < n && p[i] == '%') ++i;
  return i == n;
}
