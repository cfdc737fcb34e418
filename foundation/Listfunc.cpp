#include "foundation/Listfunc.h"

#include <cstdint>

namespace {

inline uintptr_t Key(const void* p) { return reinterpret_cast<uintptr_t>(p); }

}  // namespace

int SearchSortedString(const AnsiString& text, const TStrings* list, int lo, int hi) {
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    const int c = list->Strings(mid).compare(text);
    if (c < 0) lo = mid + 1;
    else if (c > 0) hi = mid;
    else return mid;
  }
  return lo;
}

int FindSortedString(const AnsiString& text, const TStrings* list, int lo, int hi) {
  if (list->Count() == 0 || hi < lo) return -1;
  const int i = SearchSortedString(text, list, lo, hi);
  if (i < 0 || i >= list->Count() || i > hi) return -1;
  return list->Strings(i) == text ? i : -1;
}

int FindString(const TStrings* list, const AnsiString& text, bool sorted) {
  if (sorted) return FindSortedString(text, list, 0, list->Count() - 1);
  for (int i = list->Count() - 1; i >= 0; --i)
    if (list->Strings(i) == text) return i;
  return -1;
}

int InsertSortedString(TStrings* list, const AnsiString& text) {
  int i = SearchSortedString(text, list, 0, list->Count() - 1);
  if (i >= 0 && i < list->Count()) {
    if (list->Strings(i).compare(text) < 0) ++i;
    list->Insert(i, text);
    return i;
  }
  return list->Add(text);
}

int SearchSortedPointer(const void* p, const TList* list, int lo, int hi) {
  while (hi > lo) {
    const int mid = (lo + hi) / 2;
    if (Key(list->Items(mid)) < Key(p)) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

int FindSortedPointer(const void* p, const TList* list, int lo, int hi) {
  if (list->Count() == 0 || hi < lo) return -1;
  const int i = SearchSortedPointer(p, list, lo, hi);
  if (i < 0 || i >= list->Count()) return -1;
  return list->Items(i) == p ? i : -1;
}

int IndexOfSortedPointer(const TList* list, const void* p) { return FindSortedPointer(p, list, 0, list->Count() - 1); }

int InsertSortedPointer(TList* list, void* p) {
  if (list->Count() == 0) return list->Add(p);
  int i = SearchSortedPointer(p, list, 0, list->Count() - 1);
  if (Key(p) > Key(list->Items(i))) ++i;
  list->Insert(i, p);
  return i;
}

namespace {

// The sort over any list whose entries can be held, compared, copied and exchanged.
template <class List, class Entry, class Less>
void QuickSortRange(List& l, int lo, int hi, Less less) {
  while (lo < hi) {
    if (hi - lo > 8) {
      const int mid = (lo + hi) / 2;
      const Entry pivot = l.Get(mid);
      l.Put(mid, l.Get(lo));
      int b = lo;
      for (int j = lo + 1; j <= hi; ++j) {
        if (less(l.Get(j), pivot)) {
          ++b;
          if (b != j) l.Swap(b, j);
        }
      }
      l.Put(lo, l.Get(b));
      l.Put(b, pivot);
      // Recurse into the smaller side and loop over the larger, so the stack stays shallow.
      if (b - lo < hi - b) {
        QuickSortRange<List, Entry>(l, lo, b - 1, less);
        lo = b + 1;
      } else {
        QuickSortRange<List, Entry>(l, b + 1, hi, less);
        hi = b - 1;
      }
      continue;
    }
    for (int j = lo + 1; j <= hi; ++j) {
      const Entry held = l.Get(j);
      int k = j;
      while (k > lo && less(held, l.Get(k - 1))) {
        l.Put(k, l.Get(k - 1));
        --k;
      }
      if (k != j) l.Put(k, held);
    }
    return;
  }
}

struct StringEntry {
  AnsiString text;
  void* object;
};

struct StringsAccess {
  TStrings* list;
  StringEntry Get(int i) const { return {list->Strings(i), list->Objects(i)}; }
  void Put(int i, const StringEntry& e) { list->SetItem(i, e.text, e.object); }
  void Swap(int i, int j) { list->Exchange(i, j); }
};

struct PointersAccess {
  TList* list;
  void* Get(int i) const { return list->Items(i); }
  void Put(int i, void* p) { list->SetItem(i, p); }
  void Swap(int i, int j) { list->Exchange(i, j); }
};

}  // namespace

void QuickSortStringsRange(TStrings* list, int lo, int hi) {
  StringsAccess a{list};
  QuickSortRange<StringsAccess, StringEntry>(
      a, lo, hi, [](const StringEntry& x, const StringEntry& y) { return x.text.compare(y.text) < 0; });
}

void QuickSortStrings(TStrings* list) { QuickSortStringsRange(list, 0, list->Count() - 1); }

void QuickSortPointersRange(TList* list, int lo, int hi) {
  PointersAccess a{list};
  QuickSortRange<PointersAccess, void*>(a, lo, hi, [](void* x, void* y) { return Key(x) < Key(y); });
}
