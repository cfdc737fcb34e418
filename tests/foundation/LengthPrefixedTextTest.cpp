#include <gtest/gtest.h>

#include "foundation/LengthPrefixedText.h"
#include "tests/support/TestSupport.h"

TEST(LengthPrefixedText, WritesEightLowerCaseDigitsThenTheBytes) {
  TMemoryStream m;
  ASSERT_TRUE(WriteLengthPrefixedString(&m, std::string(300, 'x')));
  ASSERT_TRUE(WriteLengthPrefixedString(&m, ""));
  ASSERT_TRUE(WriteLengthPrefixedString(&m, SJ("表示")));  // counts bytes, not characters
  EXPECT_EQ(m.Bytes().substr(0, 8), "0000012c");
  EXPECT_EQ(m.Bytes().substr(308, 8), "00000000");
  EXPECT_EQ(m.Bytes().substr(316, 8), "00000004");
  EXPECT_EQ(m.Size(), 8 + 300 + 8 + 8 + 4);

  m.SetPosition(0);
  AnsiString a, b = "old", c;
  EXPECT_TRUE(ReadLengthPrefixedString(&m, a));
  EXPECT_TRUE(ReadLengthPrefixedString(&m, b));
  EXPECT_TRUE(ReadLengthPrefixedString(&m, c));
  EXPECT_EQ(a, std::string(300, 'x'));
  EXPECT_EQ(b, "");
  EXPECT_EQ(c, SJ("表示"));
  EXPECT_FALSE(ReadLengthPrefixedString(&m, c));  // end of stream
}

TEST(LengthPrefixedText, CorruptRecordsAreRefused) {
  struct Case {
    std::string bytes;
    const char* why;
  } cases[] = {
      {"0000000", "fewer than eight digits"},
      {"0000000g", "not a hexadecimal digit"},
      {" 0000003abc", "a blank inside the prefix"},
      {"-0000001", "a sign"},
      {"00000005abc", "claims more than the stream holds"},
      {"ffffffffabc", "claims four gigabytes"},
  };
  for (const Case& c : cases) {
    TMemoryStream m(c.bytes);
    AnsiString text = "kept";
    EXPECT_FALSE(ReadLengthPrefixedString(&m, text)) << c.why;
    EXPECT_EQ(text, "kept") << c.why;
    EXPECT_LE(m.Position(), 8) << c.why;  // nothing past the prefix was read
  }
}

TEST(LengthPrefixedText, CommaTextRecordsEndWithALineFeed) {
  TMemoryStream m;
  WriteLengthPrefixedString(&m, "a,b\n");
  WriteLengthPrefixedString(&m, "");
  WriteLengthPrefixedString(&m, "no line feed");
  m.SetPosition(0);
  AnsiString line;
  EXPECT_TRUE(ReadLengthPrefixedLine(&m, line));
  EXPECT_EQ(line, "a,b");
  EXPECT_FALSE(ReadLengthPrefixedLine(&m, line));  // the empty record
  EXPECT_FALSE(ReadLengthPrefixedLine(&m, line));
  EXPECT_EQ(line, "a,b");
}
