#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "foundation/Listfunc.h"
#include "tests/support/TestSupport.h"

namespace {

void Fill(TStrings& l, std::initializer_list<const char*> items) {
  l.Clear();
  for (const char* s : items) l.Add(s);
}

std::vector<std::string> Texts(const TStrings& l) {
  std::vector<std::string> v;
  for (int i = 0; i < l.Count(); ++i) v.push_back(l[i]);
  return v;
}

}  // namespace

TEST(FindString, SortedAndUnsorted) {
  TStringList l;
  EXPECT_EQ(FindString(&l, "a", true), -1);
  EXPECT_EQ(FindString(&l, "a", false), -1);
  Fill(l, {"b", "a", "c", "a"});
  EXPECT_EQ(FindString(&l, "a", false), 3);  // from the end: the highest index wins
  EXPECT_EQ(FindString(&l, "z", false), -1);
  Fill(l, {"a", "b", "c", "d"});
  for (int i = 0; i < 4; ++i) EXPECT_EQ(FindString(&l, l[i], true), i);
  EXPECT_EQ(FindString(&l, "bb", true), -1);
  EXPECT_EQ(FindString(&l, "e", true), -1);
}

TEST(SortedStrings, SearchGivesTheInsertionPointCappedAtHi) {
  TStringList l;
  Fill(l, {"b", "d", "f"});
  EXPECT_EQ(SearchSortedString("a", &l, 0, 2), 0);
  EXPECT_EQ(SearchSortedString("c", &l, 0, 2), 1);
  EXPECT_EQ(SearchSortedString("d", &l, 0, 2), 1);
  EXPECT_EQ(SearchSortedString("z", &l, 0, 2), 2);  // the last index, not the count
  EXPECT_EQ(FindSortedString("f", &l, 0, 1), -1);   // outside the range
  EXPECT_EQ(FindSortedString("f", &l, 0, 2), 2);
}

TEST(SortedStrings, InsertionAtBothEndsAndBetweenEquals) {
  TStringList l;
  EXPECT_EQ(InsertSortedString(&l, "m"), 0);
  EXPECT_EQ(InsertSortedString(&l, "z"), 1);  // after the last entry
  EXPECT_EQ(InsertSortedString(&l, "a"), 0);
  EXPECT_EQ(InsertSortedString(&l, "m"), 1);  // in front of the equal entry met
  EXPECT_EQ(Texts(l), (std::vector<std::string>{"a", "m", "m", "z"}));
}

TEST(SortedStrings, ByteOrderNotLocale) {
  TStringList l;
  for (const AnsiString& s : {AnsiString("a"), AnsiString("B"), AnsiString("ab"), SJ("あ"), AnsiString("\xB1"), SJ("亜")})
    InsertSortedString(&l, s);
  // B (42) < a (61) < ab < あ (82 A0) < 亜 (88 9F) < half-width ｱ (B1): the lead byte decides
  EXPECT_EQ(Texts(l), (std::vector<std::string>{"B", "a", "ab", SJ("あ"), SJ("亜"), "\xB1"}));
}

TEST(QuickSort, BothPathsKeepEachObjectWithItsString) {
  for (int n : {9, 10, 200}) {
    std::mt19937 rng(n);
    TStringList l;
    std::vector<int> ids(n);
    for (int i = 0; i < n; ++i) {
      ids[i] = i;
      l.AddObject(std::to_string(rng() % 50), &ids[i]);
    }
    std::vector<std::pair<std::string, int*>> before;
    for (int i = 0; i < n; ++i) before.emplace_back(l[i], static_cast<int*>(l.Objects(i)));
    QuickSortStrings(&l);
    std::vector<std::pair<std::string, int*>> after;
    for (int i = 0; i < n; ++i) after.emplace_back(l[i], static_cast<int*>(l.Objects(i)));
    EXPECT_TRUE(std::is_sorted(after.begin(), after.end(),
                               [](const auto& a, const auto& b) { return a.first < b.first; }))
        << n;
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(before, after) << n;  // same pairs, only moved
  }
}

TEST(QuickSort, RangeLeavesTheRestAlone) {
  TStringList l;
  Fill(l, {"z", "c", "b", "a", "y"});
  QuickSortStringsRange(&l, 1, 3);
  EXPECT_EQ(Texts(l), (std::vector<std::string>{"z", "a", "b", "c", "y"}));
}

TEST(SortedPointers, SearchInsertAndSort) {
  int cells[6];
  TList l;
  EXPECT_EQ(InsertSortedPointer(&l, &cells[3]), 0);
  EXPECT_EQ(InsertSortedPointer(&l, &cells[1]), 0);
  EXPECT_EQ(InsertSortedPointer(&l, &cells[5]), 2);
  EXPECT_EQ(InsertSortedPointer(&l, &cells[3]), 1);  // in front of the first equal entry
  EXPECT_EQ(IndexOfSortedPointer(&l, &cells[5]), 3);
  EXPECT_EQ(IndexOfSortedPointer(&l, &cells[2]), -1);
  EXPECT_EQ(SearchSortedPointer(&cells[4], &l, 0, 3), 3);
  EXPECT_EQ(SearchSortedPointer(&cells[0], &l, 2, 2), 2);

  TList shuffled;
  for (int i : {4, 0, 5, 2, 1, 3, 0, 5, 2, 4, 1}) shuffled.Add(&cells[i]);
  QuickSortPointersRange(&shuffled, 0, shuffled.Count() - 1);
  for (int i = 1; i < shuffled.Count(); ++i) EXPECT_LE(shuffled.Items(i - 1), shuffled.Items(i));
}
