#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "foundation/Jconv.h"
#include "store/Kvrvalue.h"

namespace {

AnsiString Hex(const unsigned char* p, int n) {
  AnsiString s;
  for (int i = 0; i < n; ++i) s += Format(i ? " %02X" : "%02X", p[i]);
  return s;
}

AnsiString StoredHex(const CKvrValue& v) { return Hex(v.Stored(), v.StoredLength()); }

CKvrValue Make(char type, const char* text) {
  CKvrValue v(type);
  v.SetText(text);
  return v;
}

int Sign(int x) { return (x > 0) - (x < 0); }

// The value as it stands in a record image: a real's 6 bytes are followed by its text and a NUL.
std::vector<unsigned char> Image(const CKvrValue& v) {
  std::vector<unsigned char> image(v.Stored(), v.Stored() + v.StoredLength());
  if (v.Type() == kvrReal) {
    const char* src = v.SourceText() ? v.SourceText() : "";
    image.insert(image.end(), src, src + std::strlen(src) + 1);
  }
  return image;
}

}  // namespace

TEST(KvrValue, StoredFormsByteForByte) {
  const AnsiString digits80(80, '0');
  const AnsiString huge = "1" + digits80;             // exponent above the stored range
  const AnsiString tiny = "0." + digits80 + "1";      // exponent below it
  struct Case {
    char type;
    AnsiString text;
    const char* stored;
  } cases[] = {
      {kvrSigned, "-1", "7F FF FF FF"},
      {kvrSigned, "1", "80 00 00 01"},
      {kvrSigned, "", "80 00 00 00"},
      {kvrSigned, "-2147483648", "00 00 00 00"},
      {kvrUnsigned, "305419896", "12 34 56 78"},
      {kvrString, "ab", "61 62 00"},
      {kvrString, "", "00"},
      {kvrSet, "a,b", "61 2C 62 00"},
      {kvrReal, "5", "B8 9D CD 65 00 00"},
      {kvrReal, "-5", "47 62 32 9B 00 00"},
      {kvrReal, "123.45", "BA 87 5B B2 90 00"},
      {kvrReal, "0.05", "B6 9D CD 65 00 00"},
      {kvrReal, "0", "80 80 00 00 00 00"},
      {kvrReal, "-0.000", "80 80 00 00 00 00"},
      {kvrReal, "", "80 80 00 00 00 00"},
      {kvrReal, "1234567891", "C1 87 5B CD 15 00"},  // tenth digit dropped, not rounded
      {kvrReal, huge, "FF 85 F5 E1 00 00"},
      {kvrReal, "-" + huge, "00 7A 0A 1F 00 00"},
      {kvrReal, tiny, "80 85 F5 E1 00 00"},
      {kvrReal, "abc", "FF FF FF FF FF FF"},
  };
  for (const Case& c : cases) {
    const CKvrValue v = Make(c.type, c.text.c_str());
    EXPECT_EQ(StoredHex(v), c.stored) << c.text;
    // The record image reads back to the same value.
    const std::vector<unsigned char> image = Image(v);
    CKvrValue back(c.type);
    EXPECT_EQ(back.SetStored(image.data(), static_cast<int>(image.size())), static_cast<int>(image.size()));
    EXPECT_EQ(StoredHex(back), c.stored) << c.text;
    if (!c.text.empty()) {
      EXPECT_EQ(back.GetText(), v.GetText()) << c.text;
    }
    EXPECT_FALSE(back.IsEmpty());
  }
  EXPECT_EQ(StoredHex(CKvrValue(0xFFFFFFFFu)), "FF FF FF FF");
  EXPECT_EQ(StoredHex(CKvrValue("x\0y", 3)), "78 00 79 00");
}

TEST(KvrValue, RealTexts) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"5", 5},          {"-5", -5},      {"  -12.5kg", -12.5}, {"--3", 3},        {"abc-7", -7},
      {".5", 0.5},       {"1.2.3", 1.2},  {"0012", 12},         {"100.", 100},     {"1e5", 1},
      {"1234567891", 1234567890},         {"0.000123", 0.000123},                  {".", 0},
      {"999999999999", 999999999000},     {"-0.05", -0.05},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(Make(kvrReal, c.text).GetReal(), c.value) << c.text;
}

// Values read from record images carry no source text: their texts are written from the stored
// bytes, integers as "%d" and "%u" write them and reals as "%lg" does.
TEST(KvrValue, TextsOfStoredNumbers) {
  auto be = [](uint32_t v) {
    return std::vector<unsigned char>{static_cast<unsigned char>(v >> 24), static_cast<unsigned char>(v >> 16),
                                      static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
  };
  auto signedImage = [&](int32_t v) { return be(static_cast<uint32_t>(v) ^ 0x80000000u); };
  auto realImage = [](const char* text) {
    const CKvrValue real = Make(kvrReal, text);
    std::vector<unsigned char> image(real.Stored(), real.Stored() + 6);
    image.push_back(0);  // no source text
    return image;
  };
  struct Case {
    char type;
    std::vector<unsigned char> image;
    const char* text;
  } cases[] = {
      {kvrSigned, signedImage(0), "0"},
      {kvrSigned, signedImage(7), "7"},
      {kvrSigned, signedImage(-1), "-1"},
      {kvrSigned, signedImage(-1000), "-1000"},
      {kvrSigned, signedImage(INT32_MAX), "2147483647"},
      {kvrSigned, signedImage(INT32_MIN), "-2147483648"},
      {kvrSigned, {0, 0, 0, 0}, "-2147483648"},  // zero bytes read are the lowest number
      {kvrUnsigned, be(0), "0"},
      {kvrUnsigned, be(10), "10"},
      {kvrUnsigned, be(0x80000000u), "2147483648"},
      {kvrUnsigned, be(UINT32_MAX), "4294967295"},
      {kvrReal, realImage("123.45"), "123.45"},
      {kvrReal, realImage("-0.001"), "-0.001"},
      {kvrReal, realImage("0"), "0"},
      {kvrReal, realImage("123456789"), "1.23457e+08"},
      {kvrReal, realImage("100000000000000000000"), "1e+20"},
      {kvrReal, realImage("0.0000125"), "1.25e-05"},
      {kvrReal, realImage("-99999.5"), "-99999.5"},
      {kvrReal, {0, 0, 0, 0, 0, 0, 0}, ""},  // all zero bytes: never given
  };
  for (const Case& c : cases) {
    CKvrValue v(c.type);
    ASSERT_GT(v.SetStored(c.image.data(), static_cast<int>(c.image.size())), 0) << c.text;
    EXPECT_EQ(v.GetText(), c.text) << int(c.type) << " " << c.text;
  }
  // Empty values: a signed one shows nothing, an unsigned one its zero.
  EXPECT_EQ(CKvrValue(kvrSigned).GetText(), "");
  EXPECT_EQ(CKvrValue(kvrUnsigned).GetText(), "0");

  // Every width of number, both signs, against printf.
  std::mt19937 gen(11);
  for (int i = 0; i < 20000; ++i) {
    const uint32_t bits = static_cast<uint32_t>(gen()) >> (gen() % 32);
    char want[16];
    CKvrValue u(kvrUnsigned), v(kvrSigned);
    ASSERT_EQ(u.SetStored(be(bits).data(), 4), 4);
    std::snprintf(want, sizeof want, "%u", bits);
    ASSERT_EQ(u.GetText(), want);
    const int32_t n = static_cast<int32_t>(i % 2 ? bits : 0u - bits);
    ASSERT_EQ(v.SetStored(signedImage(n).data(), 4), 4);
    std::snprintf(want, sizeof want, "%d", n);
    ASSERT_EQ(v.GetText(), want);
  }
}

TEST(KvrValue, StoredOrderIsValueOrder) {
  std::mt19937 rng(12345);
  // Signed and unsigned integers.
  for (int i = 0; i < 2000; ++i) {
    const int32_t a = static_cast<int32_t>(rng());
    const int32_t b = i % 7 ? static_cast<int32_t>(rng()) : a;
    const CKvrValue sa = Make(kvrSigned, Format("%d", a).c_str());
    const CKvrValue sb = Make(kvrSigned, Format("%d", b).c_str());
    ASSERT_EQ(Sign(CKvrValue::Compare(sa, sb)), (a > b) - (a < b)) << a << " " << b;
    const CKvrValue ua(static_cast<unsigned>(a)), ub(static_cast<unsigned>(b));
    ASSERT_EQ(Sign(CKvrValue::Compare(ua, ub)), (ua.GetUnsigned() > ub.GetUnsigned()) - (ua.GetUnsigned() < ub.GetUnsigned()));
  }
  // Reals: up to nine significant digits at a random decimal position, zeros and non-numbers.
  std::vector<std::pair<CKvrValue, double>> reals;
  for (int i = 0; i < 600; ++i) {
    AnsiString digits = Format("%u", static_cast<unsigned>(rng() % 1000000000u));
    const int shift = static_cast<int>(rng() % 60) - 30;
    AnsiString text;
    if (shift >= 0)
      text = digits + AnsiString(static_cast<size_t>(shift), '0');
    else if (-shift < static_cast<int>(digits.size()))
      text = digits.substr(0, digits.size() + shift) + "." + digits.substr(digits.size() + shift);
    else
      text = "0." + AnsiString(static_cast<size_t>(-shift) - digits.size(), '0') + digits;
    const bool negative = rng() & 1;
    if (negative) text = "-" + text;
    const double expected = std::strtod(text.c_str(), nullptr);
    CKvrValue v = Make(kvrReal, text.c_str());
    ASSERT_NEAR(v.GetReal(), expected, std::fabs(expected) * 1e-15) << text;
    reals.emplace_back(std::move(v), expected);
  }
  reals.emplace_back(Make(kvrReal, "nothing"), INFINITY);
  for (size_t i = 0; i < reals.size(); ++i) {
    for (size_t j = 0; j < reals.size(); j += 7) {
      const double a = reals[i].second, b = reals[j].second;
      ASSERT_EQ(Sign(CKvrValue::Compare(reals[i].first, reals[j].first)), (a > b) - (a < b)) << a << " " << b;
    }
  }
}

TEST(KvrValue, StoredImagesAreReadOnlyInsideTheirBytes) {
  struct Case {
    char type;
    std::vector<unsigned char> image;
    int taken;
  } cases[] = {
      {kvrSigned, {0x80, 0, 0}, -1},
      {kvrUnsigned, {1, 2, 3, 4, 5}, 4},
      {kvrString, {'a', 'b'}, -1},  // no NUL
      {kvrString, {}, -1},
      {kvrSet, {'a', 0, 'b'}, 2},
      {kvrReal, {0xB8, 0x9D, 0xCD, 0x65, 0, 0}, -1},  // the text's NUL is missing
      {kvrReal, {0xB8, 0x9D, 0xCD, 0x65, 0}, -1},
      {kvrReal, {0xB8, 0x9D, 0xCD, 0x65, 0, 0, '5', 'x'}, -1},
      {kvrReal, {0xB8, 0x9D, 0xCD, 0x65, 0, 0, '5', 0, 9}, 8},
      {9, {1, 2, 3, 4, 0}, -1},
  };
  for (const Case& c : cases) {
    // A block of exactly the image's size, so that a read past it is caught.
    std::unique_ptr<unsigned char[]> block(new unsigned char[c.image.size() + (c.image.empty() ? 1 : 0)]);
    std::copy(c.image.begin(), c.image.end(), block.get());
    CKvrValue v(c.type);
    v.SetText("old");
    EXPECT_EQ(v.SetStored(block.get(), static_cast<int>(c.image.size())), c.taken) << int(c.type);
    EXPECT_EQ(v.IsEmpty(), c.taken < 0);
  }
  // A real read without its text has no source text and counts as not given.
  const unsigned char image[] = {0xBA, 0x87, 0x5B, 0xB2, 0x90, 0x00, 0x00};
  CKvrValue r(kvrReal);
  EXPECT_EQ(r.SetStored(image, sizeof image), 7);
  EXPECT_EQ(r.SourceText(), nullptr);
  EXPECT_EQ(r.GetText(), "123.45");
  EXPECT_TRUE(r.IsBlank());
}

TEST(KvrValue, TextsAndBlankness) {
  struct Case {
    CKvrValue value;
    const char* text;
    bool blank;
  } cases[] = {
      {Make(kvrSigned, ""), "", true},
      {Make(kvrSigned, "12"), "12", false},
      {Make(kvrSigned, " -3x"), " -3x", false},
      {Make(kvrSigned, "abc"), "abc", true},
      {CKvrValue(kvrSigned), "", true},  // an empty value shows nothing, not its zero bytes
      {CKvrValue(kvrUnsigned), "0", true},
      {CKvrValue(7u), "7", false},
      {CKvrValue(0xFFFFFFFFu), "4294967295", false},
      {Make(kvrString, ""), "", true},
      {Make(kvrString, "x"), "x", false},
      {Make(kvrSet, "a,b"), "a,b", false},
      {CKvrValue(kvrReal), "", true},
      {Make(kvrReal, "12.50"), "12.50", false},
      {Make(kvrReal, "abc"), "abc", true},
      {Make(9, "abc"), "#ERROR#", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.GetText(), c.text) << c.text;
    EXPECT_EQ(c.value.IsBlank(), c.blank) << c.text;
  }
  EXPECT_EQ(Make(kvrSigned, "-42").GetSigned(), -42);
  EXPECT_EQ(Make(kvrString, "hello").GetString(), "hello");
}

TEST(KvrValue, CopiesOwnTheirBytes) {
  CKvrValue a = Make(kvrString, "a text longer than eight bytes");
  CKvrValue b(a);
  std::unique_ptr<CKvrValue> c(a.Clone());
  a.SetText("z");
  EXPECT_EQ(b.GetString(), "a text longer than eight bytes");
  EXPECT_EQ(c->GetString(), "a text longer than eight bytes");

  CKvrValue r = Make(kvrReal, "1.50");
  r.SetText(r.SourceText());  // its own source text
  EXPECT_STREQ(r.SourceText(), "1.50");
  CKvrValue s(kvrSigned);
  s.Assign(r);
  EXPECT_EQ(s.Type(), kvrReal);
  EXPECT_STREQ(s.SourceText(), "1.50");
  EXPECT_EQ(StoredHex(s), StoredHex(r));

  r.Clear();
  EXPECT_TRUE(r.IsEmpty());
  EXPECT_EQ(r.StoredLength(), 0);
  EXPECT_EQ(r.GetText(), "");  // nothing of the old value shows
}

TEST(KvrValue, AddAtCarriesToTheLeft) {
  struct Case {
    const char* text;
    int first, last, carry;
    const char* stored;
  } cases[] = {
      {"ab", 0, 0, 1, "62 62 00"},
      {"a\xFF", 0, 1, 1, "62 00 00"},
      {"\xFF\xFF", 0, 1, 1, "00 00 00"},
      {"ab", 0, 9, 1, "61 62 01"},     // indexes past the stored bytes are left alone
      {"ab", -5, 1, 0x101, "62 63 00"},
  };
  for (const Case& c : cases) {
    CKvrValue v = Make(kvrString, c.text);
    v.AddAt(c.first, c.last, c.carry);
    EXPECT_EQ(StoredHex(v), c.stored) << c.text;
  }
}

TEST(KvrValue, CompareTextsAndSets) {
  struct Case {
    char ta;
    const char* a;
    char tb;
    const char* b;
    int sign;
  } cases[] = {
      {kvrString, "abc", kvrString, "abd", -1},
      {kvrString, "ab", kvrString, "abc", -1},
      {kvrString, "\xE0\x40", kvrString, "a", 1},  // unsigned bytes
      {kvrString, "a", kvrSet, "a,b", -1},         // a string against a set's whole text
      {kvrSet, "a, b,a", kvrString, "a", 0},
      {kvrSet, "a, b,a", kvrString, "b", 0},
      {kvrSet, "a, b,a", kvrString, "c", -1},      // ranks as its last element
      {kvrSet, "c,a", kvrString, "b", -1},
      {kvrSet, "a,c", kvrString, "b", 1},
      {kvrSet, "a", kvrString, "ab", -1},
      {kvrSet, "ab", kvrString, "a", 1},
      {kvrSet, "", kvrString, "", 0},
      {kvrSet, "", kvrString, "x", -1},
      {kvrSet, "x,y", kvrSet, "x,y", 1},
      {kvrSigned, "5", kvrString, "", 1},          // other pairs: stored bytes, then length
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Sign(CKvrValue::Compare(Make(c.ta, c.a), Make(c.tb, c.b))), c.sign) << c.a << " / " << c.b;
    EXPECT_EQ(Sign(CKvrValue::CompareEuc(Make(c.ta, c.a), Make(c.tb, c.b))), c.sign) << c.a << " / " << c.b;
  }
}

TEST(KvrValue, EucOrderPutsHalfWidthKatakanaBeforeDoubleByte) {
  const CKvrValue kana = Make(kvrString, "\xB1");      // half-width a
  const CKvrValue kanji = Make(kvrString, "\x88\x9F");  // first level-1 kanji
  EXPECT_GT(CKvrValue::Compare(kana, kanji), 0);
  EXPECT_LT(CKvrValue::CompareEuc(kana, kanji), 0);
  EXPECT_GT(CKvrValue::CompareEuc(kanji, kana), 0);
  EXPECT_LT(CKvrValue::CompareEuc(Make(kvrSet, "z,\xB1"), kanji), 0);

  // Against the EUC-JP forms themselves, over texts mixing every kind of character.
  const char* pool[] = {"a", "z", "\\", "\xA1", "\xB1", "\xDF", "\x81\x40", "\x82\xA0", "\x83\x5C",
                        "\x88\x9F", "\x95\x5C", "\x9F\xFC", "\xE0\x40", "\xEA\xA4"};
  std::mt19937 rng(7);
  for (int i = 0; i < 3000; ++i) {
    // b shares a prefix of whole characters with a.
    AnsiString a, b;
    const int shared = static_cast<int>(rng() % 3);
    for (int k = 0; k < shared; ++k) a += pool[rng() % std::size(pool)];
    b = a;
    for (int k = static_cast<int>(rng() % 3); k > 0; --k) a += pool[rng() % std::size(pool)];
    for (int k = static_cast<int>(rng() % 3); k > 0; --k) b += pool[rng() % std::size(pool)];
    const int want = Sign(SjisToEuc(a.c_str()).compare(SjisToEuc(b.c_str())));
    ASSERT_EQ(Sign(CKvrValue::CompareEuc(Make(kvrString, a.c_str()), Make(kvrString, b.c_str()))), want)
        << Hex(reinterpret_cast<const unsigned char*>(a.data()), int(a.size())) << " / "
        << Hex(reinterpret_cast<const unsigned char*>(b.data()), int(b.size()));
  }
}

TEST(KvrValue, Like) {
  struct Case {
    const char* text;
    const char* pattern;
    bool match;
  } cases[] = {
      {"abc", "%", true},
      {"", "%", true},
      {"", "", true},
      {"a", "", false},
      {"", "a", false},
      {"abx", "ab%", true},
      {"xab", "ab%", false},
      {"ab", "%b", true},
      {"b", "%b", true},
      {"ba", "%b", false},
      {"a%b", "a\\%b", true},
      {"axb", "a\\%b", false},
      {"a\\b", "a\\\\b", true},
      {"ab", "ab\\", true},       // a '\' that ends the pattern ends it
      {"aaab", "%aab", true},     // the text is tried again from a later start
      {"aab", "%aab", true},
      {"abcabd", "%ab%d", true},
      {"abcabe", "%ab%d", false},
      {"xyz", "%y%", true},
      {"\x83\x5C", "\x83\x5C", true},        // trail byte 0x5C is no escape
      {"\x83\x5C" "abc", "\x83\x5C%", true},
      {"\x83\x5C", "%\\\\", false},           // nor does it match a literal backslash
      {"a\\", "%\\\\", true},
      {"\x81%", "\x81%", true},               // trail byte 0x25 is no wildcard
      {"\x81x", "\x81%", false},
      {"\x83\x5C", "\x83%", false},
      {"\x95\x5C\x83\x5C", "%\x83\x5C", true},
      {"\x83\x5C", "\\\x83\x5C", true},       // an escaped double-byte character
      {"a\x82", "a%", true},                  // lead byte at the very end of the text
      {"a\x82", "a\x82", true},
      {"a\x82\xA0", "a\x82", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(CKvrValue::Like(Make(kvrString, c.text), Make(kvrString, c.pattern)), c.match)
        << c.text << " LIKE " << c.pattern;

  EXPECT_TRUE(CKvrValue::Like(Make(kvrSet, "x, ab ,c"), Make(kvrString, "ab%")));
  EXPECT_TRUE(CKvrValue::Like(Make(kvrSet, "x,y"), Make(kvrSet, "%")));
  EXPECT_FALSE(CKvrValue::Like(Make(kvrSet, "x,y"), Make(kvrString, "z%")));
  EXPECT_FALSE(CKvrValue::Like(Make(kvrString, "a,b"), Make(kvrSet, "a%")));  // a string needs a string pattern
  EXPECT_FALSE(CKvrValue::Like(Make(kvrSigned, "1"), Make(kvrString, "%")));
}

TEST(KvrValue, SplitSet) {
  struct Case {
    const char* set;
    std::vector<AnsiString> elements;
  } cases[] = {
      {"a, b,a", {"a", "b"}},
      {" , ,x", {"x"}},
      {"", {}},
      {"a ,a", {"a ", "a"}},
      {"\x83,a,b", {"\x83,a", "b"}},  // a comma after a lead byte is its trail byte
      {"\x83\x5C,\x95\x5C", {"\x83\x5C", "\x95\x5C"}},
      {"a,\x82", {"a", "\x82"}},
  };
  for (const Case& c : cases) {
    CKvrValueList list;
    Make(kvrSet, c.set).SplitSet(list);
    std::vector<AnsiString> got;
    for (int i = 0; i < list.Count(); ++i) {
      EXPECT_EQ(list.GetAt(i)->Type(), kvrString);
      got.push_back(list.GetAt(i)->GetString());
    }
    EXPECT_EQ(got, c.elements) << c.set;
  }
  CKvrValueList list;
  list.Add(new CKvrValue("b", 1));
  Make(kvrSet, "a,b").SplitSet(list);
  Make(kvrString, "c,d").SplitSet(list);  // only sets split
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.GetAt(1)->GetString(), "a");
}

TEST(KvrValue, ValueLists) {
  CKvrValueList list;
  list.Add(new CKvrValue(1u));
  list.Add(new CKvrValue("x", 1));
  list.Add(new CKvrValue("x", 1));
  EXPECT_EQ(list.GetAt(-1), nullptr);
  EXPECT_EQ(list.GetAt(3), nullptr);
  EXPECT_EQ(CKvrValueList::IndexOf(list, CKvrValue("x", 1)), 2);  // the last equal one
  EXPECT_EQ(CKvrValueList::IndexOf(list, CKvrValue("y", 1)), -1);
  std::unique_ptr<CKvrValueList> copy(list.Clone());
  list.GetAt(1)->SetText("changed");
  ASSERT_EQ(copy->Count(), 3);
  EXPECT_EQ(copy->GetAt(1)->GetString(), "x");
  list.ClearValues();
  EXPECT_EQ(list.Count(), 0);
}

// Values kept aside by a clearing come back as new ones of the type asked for, nothing of what
// they held before showing: texts longer than the inline store, source texts, numbers beyond
// their range. A clearing of more values than are kept, and of holes, loses nothing else.
TEST(KvrValue, ClearedValuesComeBackAsNew) {
  CKvrValueList list;
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 300; ++i) {
      auto* v = list.Reuse(kvrString);
      switch (i % 4) {
        case 0: v->SetText("a text longer than the eight inline bytes"); break;
        case 1: v->SetTypeText(kvrReal, "12.50"); break;
        case 2: v->SetTypeText(kvrSigned, "99999999999"); break;
        default: v->SetTypeText(kvrSet, "a,b"); break;
      }
      list.Add(v);
    }
    list.Add(nullptr);
    list.ClearValues();
    ASSERT_EQ(list.Count(), 0);
  }
  for (int i = 0; i < 300; ++i) {
    for (const char type : {kvrSigned, kvrUnsigned, kvrString, kvrReal, kvrSet}) {
      std::unique_ptr<CKvrValue> v(list.Reuse(type));
      const CKvrValue fresh(type);
      ASSERT_EQ(v->Type(), type);
      ASSERT_TRUE(v->IsEmpty());
      ASSERT_EQ(v->GetText(), fresh.GetText()) << int(type);
      ASSERT_EQ(StoredHex(*v), StoredHex(fresh)) << int(type);
      ASSERT_EQ(v->SourceText(), nullptr);
      ASSERT_EQ(v->Beyond(), 0);
      ASSERT_EQ(v->IsBlank(), fresh.IsBlank());
    }
  }
}

TEST(KvrValue, ShiftJisHelpers) {
  const char* text = "a\x83\x5C" "b\x82";
  const int kinds[] = {0, 1, 2, 0, 0, 0, 0};  // a lead byte at the end stands alone; past the NUL: 0
  for (int i = 0; i < 7; ++i) EXPECT_EQ(SjisByteKind(text, i), kinds[i]) << i;

  struct Prefix {
    const char* pattern;
    const char* prefix;
  } prefixes[] = {
      {"ab%c", "ab"},       {"a\\%b%", "a%b"}, {"\x83\x5C%", "\x83\x5C"}, {"\x95\x5C\\\x83\x5C%", "\x95\x5C\x83\x5C"},
      {"%x", ""},           {"abc", "abc"},    {"ab\\", "ab"},            {"a\x82", "a\x82"},
  };
  for (const Prefix& p : prefixes) EXPECT_EQ(LikePrefix(p.pattern), p.prefix) << p.pattern;
  EXPECT_EQ(LikePrefix(nullptr), "");

  EXPECT_TRUE(IsRemoteName("//host:4460/path"));
  EXPECT_TRUE(IsRemoteName("//"));
  EXPECT_FALSE(IsRemoteName("/x"));
  EXPECT_FALSE(IsRemoteName(""));
  EXPECT_FALSE(IsRemoteName(nullptr));
  EXPECT_FALSE(IsRemoteName("\\\\host\\x"));
}

TEST(KvrValue, FieldTexts) {
  TStringList out;
  for (const char* s : {"a", "b c", "x\"y", "it's", "", "\x83\x5C", "t\tab", "l\nf", "c,d"}) out.Add(s);
  const AnsiString text = ListToCommaText(out);
  EXPECT_EQ(text, "a,\"b c\",\"x\"\"y\",\"it's\",,\x83\x5C,\"t\tab\",\"l\nf\",\"c,d\"");
  TStringList back;
  CommaTextToList(text.c_str(), back);
  ASSERT_EQ(back.Count(), out.Count());
  for (int i = 0; i < out.Count(); ++i) EXPECT_EQ(back[i], out[i]);

  struct Case {
    const char* text;
    std::vector<AnsiString> fields;
  } cases[] = {
      {"", {}},
      {"a,b", {"a", "b"}},
      {"a,", {"a", ""}},
      {" a , b ", {"a", "b"}},
      {"\"a,b\",c", {"a,b", "c"}},
      {"'x''y',\"it's\"", {"x'y", "it's"}},
      {"ab\"c d\"ef", {"abc def"}},
      {"\"a \"  ", {"a "}},
      {"\"\"", {""}},
      {"a\r\nb", {"a", "", "b"}},
      {"\"open, x", {"open, x"}},
      {"\x83\x5C,\x95\x5C", {"\x83\x5C", "\x95\x5C"}},
      {"a\x82", {"a\x82"}},
  };
  for (const Case& c : cases) {
    TStringList list;
    list.Add("kept");
    CommaTextToList(c.text, list);
    ASSERT_EQ(list.Count(), static_cast<int>(c.fields.size()) + 1) << c.text;
    EXPECT_EQ(list[0], "kept");
    for (size_t i = 0; i < c.fields.size(); ++i) EXPECT_EQ(list[static_cast<int>(i) + 1], c.fields[i]) << c.text;
  }

  // A stray lead byte at the end of a field keeps the comma and the closing quote after it.
  TStringList stray;
  stray.Add("a\x82");
  stray.Add("b \x82");
  stray.Add("c");
  const AnsiString strayText = ListToCommaText(stray);
  EXPECT_EQ(strayText, "a\x82,\"b \x82\",c");
  TStringList strayBack;
  CommaTextToList(strayText.c_str(), strayBack);
  ASSERT_EQ(strayBack.Count(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(strayBack[i], stray[i]);

  CKvrValueList values;
  values.Add(new CKvrValue(5u));
  values.Add(Make(kvrString, "a b").Clone());
  values.Add(Make(kvrReal, "1.50").Clone());
  EXPECT_EQ(ValuesToCommaText(values), "5,\"a b\",1.50");
}
