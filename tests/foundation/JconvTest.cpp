#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <set>

#include "foundation/Jconv.h"

namespace {

const AnsiString kSubstSjis = "\x81\xAC";
const AnsiString kSubstEuc = "\xA2\xAE";

// The text in a heap block of exactly its size, so that ASan sees any read past its NUL.
std::unique_ptr<char[]> Exact(const AnsiString& s) {
  auto p = std::make_unique<char[]>(s.size() + 1);
  std::memcpy(p.get(), s.c_str(), s.size() + 1);
  return p;
}

bool AllAtLeast(const AnsiString& s, unsigned char low) {
  for (unsigned char c : s)
    if (c < low) return false;
  return true;
}

}  // namespace

TEST(Jconv, KnownCharactersBothWays) {
  struct Case {
    const char* sjis;
    const char* euc;
  } cases[] = {
      {"abc XYZ 0-9 ,\\~", "abc XYZ 0-9 ,\\~"},
      {"\xB1", "\x8E\xB1"},                  // half-width katakana
      {"\xA0", "\x8E\xA0"},                  // taken as katakana too, and back
      {"\x82\xA0", "\xA4\xA2"},              // hiragana a
      {"\x88\x9F", "\xB0\xA1"},              // first level-1 kanji
      {"\x83\x5C\x95\x5C", "\xA5\xBD\xC9\xBD"},  // trail bytes 0x5C
      {"\x81\x60", "\xA1\xC1"},              // wave dash stays in JIS X 0208
      {"\xEA\xA4", "\xF4\xA6"},              // last JIS X 0208 kanji
      {"a\xB1\x82\xA0z", "a\x8E\xB1\xA4\xA2z"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SjisToEuc(c.sjis), c.euc) << c.sjis;
    EXPECT_EQ(EucToSjis(c.euc), c.sjis) << c.sjis;
  }
  EXPECT_EQ(SjisToEuc(nullptr), "");
  EXPECT_EQ(EucToSjis(nullptr), "");
  EXPECT_EQ(SjisToEuc(""), "");
  EXPECT_EQ(EucToSjis(""), "");
}

TEST(Jconv, EveryJisX0208PositionRoundTrips) {
  std::set<unsigned> seen;
  AnsiString allEuc, allSjis;
  for (unsigned j1 = 0x21; j1 <= 0x7E; ++j1) {
    for (unsigned j2 = 0x21; j2 <= 0x7E; ++j2) {
      const AnsiString euc{static_cast<char>(j1 | 0x80), static_cast<char>(j2 | 0x80)};
      const AnsiString sjis = EucToSjis(euc.c_str());
      ASSERT_EQ(sjis.size(), 2u) << j1 << "," << j2;
      const unsigned s1 = static_cast<unsigned char>(sjis[0]);
      const unsigned s2 = static_cast<unsigned char>(sjis[1]);
      EXPECT_EQ(JisToSjis(static_cast<uint16_t>(j1 << 8 | j2)), s1 << 8 | s2);
      EXPECT_TRUE(IsSjisLeadByte(static_cast<unsigned char>(s1)) && s1 <= 0xEF);
      EXPECT_TRUE((s2 >= 0x40 && s2 <= 0x7E) || (s2 >= 0x80 && s2 <= 0xFC));
      EXPECT_EQ(SjisToJis(static_cast<uint16_t>(s1 << 8 | s2)), (j1 | 0x80) << 8 | (j2 | 0x80));
      EXPECT_EQ(SjisToEuc(sjis.c_str()), euc);
      seen.insert(s1 << 8 | s2);
      allEuc += euc;
      allSjis += sjis;
    }
  }
  EXPECT_EQ(seen.size(), 94u * 94u);
  // The same as one long text: no pair may slip out of step with its neighbours.
  EXPECT_EQ(SjisToEuc(allSjis.c_str()), allEuc);
  EXPECT_EQ(EucToSjis(allEuc.c_str()), allSjis);
}

TEST(Jconv, HalfWidthKatakanaRoundTrips) {
  AnsiString sjis, euc;
  for (unsigned c = 0xA0; c <= 0xDF; ++c) {
    sjis += static_cast<char>(c);
    euc += "\x8E";
    euc += static_cast<char>(c);
  }
  EXPECT_EQ(SjisToEuc(sjis.c_str()), euc);
  EXPECT_EQ(EucToSjis(euc.c_str()), sjis);
}

TEST(Jconv, CodesWithoutCounterpartBecomeTheSubstituteMark) {
  struct Case {
    const char* in;
    AnsiString out;
  } toEuc[] = {
      {"\xF0\x40", kSubstEuc},             // user-defined row
      {"\xFA\x40z", kSubstEuc + "z"},      // vendor row
      {"\x80", kSubstEuc},                 // no character starts with these
      {"\xFD\xFF", kSubstEuc + kSubstEuc},
      {"\x82" "1", kSubstEuc + "1"},       // a lead byte without its trail byte keeps the next byte
      {"a\x82", "a" + kSubstEuc},          // lead byte at the very end
  };
  for (const Case& c : toEuc) EXPECT_EQ(SjisToEuc(Exact(c.in).get()), c.out) << c.in;
  Case toSjis[] = {
      {"\x8F\xB0\xA1", kSubstSjis},        // JIS X 0212 triple
      {"\x8F\xB0" "a", kSubstSjis + kSubstSjis + "a"},
      {"\x8E" "A", kSubstSjis + "A"},      // single shift without katakana
      {"\xA4" "A", kSubstSjis + "A"},
      {"\x80\xFF", kSubstSjis + kSubstSjis},
      {"a\xA4", "a" + kSubstSjis},         // cut pair at the very end
      {"a\x8E", "a" + kSubstSjis},
      {"a\x8F\xB0", "a" + kSubstSjis + kSubstSjis},
  };
  for (const Case& c : toSjis) EXPECT_EQ(EucToSjis(Exact(c.in).get()), c.out) << c.in;
}

TEST(Jconv, DoubleBytesNeverTurnIntoSeparatorsOrNul) {
  // Any pair of bytes from 0x80 up converts to EUC-JP bytes from 0x80 up, or to Shift_JIS bytes
  // from 0x40 up: separators, quotes and the terminator of a converted request or reply are
  // always the original ones.
  for (unsigned a = 0x80; a <= 0xFF; ++a) {
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
      const AnsiString in{static_cast<char>(a), static_cast<char>(b)};
      const AnsiString e = SjisToEuc(Exact(in).get());
      const AnsiString s = EucToSjis(Exact(in).get());
      ASSERT_TRUE(AllAtLeast(e, 0x80) && !e.empty() && e.size() <= 4) << a << "," << b;
      ASSERT_TRUE(AllAtLeast(s, 0x40) && !s.empty() && s.size() <= 4) << a << "," << b;
    }
  }
}
