#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "foundation/CapInfo.h"
#include "foundation/LengthPrefixedText.h"
#include "foundation/StreamUtil.h"
#include "tests/support/TestSupport.h"

namespace {

// Every field that the record keeps, compared one by one so a failure names the field.
void ExpectSameSavedFields(const CCapInfo& a, const CCapInfo& b, bool compareBase = true) {
  EXPECT_EQ(a.Caption, b.Caption);
  EXPECT_EQ(a.Name, b.Name);
  EXPECT_EQ(a.Type, b.Type);
  EXPECT_EQ(a.Width, b.Width);
  EXPECT_EQ(a.Ditto, b.Ditto);
  EXPECT_EQ(a.DittoMark, b.DittoMark);
  EXPECT_EQ(a.Alignment, b.Alignment);
  EXPECT_EQ(a.Reserved1, b.Reserved1);
  EXPECT_EQ(a.Ascending, b.Ascending);
  EXPECT_EQ(a.Shown, b.Shown);
  EXPECT_EQ(a.Borders, b.Borders);
  EXPECT_EQ(a.Editable, b.Editable);
  EXPECT_EQ(a.DeclaredType, b.DeclaredType);
  EXPECT_EQ(a.GroupKey, b.GroupKey);
  EXPECT_EQ(a.Reserved2, b.Reserved2);
  EXPECT_EQ(a.Aggregate, b.Aggregate);
  EXPECT_EQ(a.CardLeft, b.CardLeft);
  EXPECT_EQ(a.CardTop, b.CardTop);
  EXPECT_EQ(a.CardWidth, b.CardWidth);
  EXPECT_EQ(a.CardHeight, b.CardHeight);
  EXPECT_EQ(a.CardNewLine, b.CardNewLine);
  EXPECT_EQ(a.CardWordWrap, b.CardWordWrap);
  EXPECT_EQ(a.NumberFormat, b.NumberFormat);
  EXPECT_EQ(a.Flags, b.Flags);
  EXPECT_EQ(a.IncreaseMark, b.IncreaseMark);
  EXPECT_EQ(a.DecreaseMark, b.DecreaseMark);
  if (compareBase) {
    EXPECT_EQ(a.CompareBase, b.CompareBase);
  }
  EXPECT_EQ(a.CardFont, b.CardFont);
  EXPECT_EQ(a.CardLabel, b.CardLabel);
  EXPECT_EQ(a.Expression, b.Expression);
  EXPECT_EQ(a.ColumnOptions, b.ColumnOptions);
  EXPECT_EQ(a.OptionText1, b.OptionText1);
  EXPECT_EQ(a.OptionText2, b.OptionText2);
  EXPECT_EQ(a.CardColor, b.CardColor);
  ASSERT_EQ(a.Nested == nullptr, b.Nested == nullptr);
  if (!a.Nested) return;
  ASSERT_EQ(a.Nested->Count(), b.Nested->Count());
  for (int i = 0; i < a.Nested->Count(); ++i)
    ExpectSameSavedFields(*a.Nested->GetItem(i), *b.Nested->GetItem(i), compareBase);
}

AnsiString Written(const CCapInfo& c) {
  TMemoryStream m;
  EXPECT_TRUE(CapInfoListToText(&c, &m));
  return m.Bytes();
}

AnsiString Record(const AnsiString& commaText) { return Format("%08x", unsigned(commaText.size() + 1)) + commaText + "\n"; }

CCapInfo* Make(const char* caption) {
  CCapInfo* c = new CCapInfo;
  c->Caption = caption;
  return c;
}

}  // namespace

TEST(CapInfoRecord, NewDescriptorWritesThirtyFiveFields) {
  CCapInfo fresh;
  EXPECT_EQ(Written(fresh),
            "0000004f" + SJ(",,0,64,1,,0,-1,1,0,1,1,0,0,0,0,0,-1,-1,-1,-1,1,1,,0,↑,↓,,,1,,0,,,-2147483643\n"));

  TMemoryStream m(Written(fresh));
  CCapInfo back;
  back.Position = 5;
  ASSERT_TRUE(CapInfoListFromText(&back, &m));
  EXPECT_EQ(m.Position(), m.Size());
  ExpectSameSavedFields(back, fresh, false);
  EXPECT_EQ(back.CompareBase, "-1");  // an empty comparison base reads as the previous value
  EXPECT_EQ(back.Position, 5);        // run-time fields are not in the record
  EXPECT_EQ(back.Nested, nullptr);
}

TEST(CapInfoRecord, EveryFieldReadsBack) {
  CCapInfo c;
  c.Caption = SJ("売上, \"税込\"");
  c.Name = SJ("__拡張項目__.合計");
  c.Type = 2;
  c.DeclaredType = 3;
  c.Width = -120;
  c.Ditto = false;
  c.DittoMark = SJ("〃");
  c.Alignment = 2;
  c.Reserved1 = 77;
  c.Ascending = false;
  c.Shown = true;
  c.Borders = false;
  c.Editable = false;
  c.CardLeft = 10;
  c.CardTop = 20;
  c.CardWidth = 300;
  c.CardHeight = 40;
  c.CardNewLine = false;
  c.CardWordWrap = false;
  c.CardFont = "128,-2147483640,\"A B\",0,9,1";
  c.CardLabel = false;
  c.CardColor = 0x00FF8040;
  c.GroupKey = true;
  c.Reserved2 = -3;
  c.Aggregate = 5;
  c.NumberFormat = "0.00";
  c.Flags = 0x80012341u;  // the high bit too
  c.IncreaseMark = "+";
  c.DecreaseMark = "";  // empty marks read back as the older defaults
  c.CompareBase = "1";
  c.Expression = "$(a + \"b\")\tc\nd";
  c.ColumnOptions = 0xFFFFFFFFu;
  c.OptionText1 = "x,y";
  c.OptionText2 = " ";

  TMemoryStream m(Written(c));
  CCapInfo back;
  ASSERT_TRUE(CapInfoListFromText(&back, &m));
  c.DecreaseMark = SJ("▼");
  ExpectSameSavedFields(back, c);
}

TEST(CapInfoRecord, HeadingsAreQuotedWhenTheyMustBe) {
  struct Case {
    AnsiString heading;
    AnsiString written;
  } cases[] = {
      {"plain", "plain"},
      {"a,b", "\"a,b\""},
      {"a b", "\"a b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {SJ("表示"), SJ("表示")},  // the trail byte 0x5C is not examined
  };
  for (const Case& c : cases) {
    CCapInfo info;
    info.Caption = c.heading;
    const AnsiString bytes = Written(info);
    EXPECT_EQ(bytes.substr(8, c.written.size() + 1), c.written + ",") << c.heading;
    TMemoryStream m(bytes);
    CCapInfo back;
    ASSERT_TRUE(CapInfoListFromText(&back, &m));
    EXPECT_EQ(back.Caption, c.heading);
  }
}

TEST(CapInfoRecord, OlderFormWithTwentyFiveFields) {
  TMemoryStream m(Record("h,t.c,1,80,0,,1,-1,0,1,1,1,1,1,0,4,0,5,6,7,8,0,0,0.0,1"));
  CCapInfo back;
  ASSERT_TRUE(CapInfoListFromText(&back, &m));
  EXPECT_EQ(back.Caption, "h");
  EXPECT_EQ(back.Width, 80);
  EXPECT_EQ(back.CardHeight, 8);
  EXPECT_EQ(back.NumberFormat, "0.0");
  EXPECT_EQ(back.Flags, 1u);
  EXPECT_EQ(back.IncreaseMark, SJ("△"));
  EXPECT_EQ(back.DecreaseMark, SJ("▼"));
  EXPECT_EQ(back.CompareBase, "-1");
  EXPECT_TRUE(back.CardLabel);
  EXPECT_EQ(back.ColumnOptions, 0u);
  EXPECT_EQ(back.CardColor, clWindow);

  // Numbers that do not read take their defaults; hexadecimal and blanks are integer texts.
  TMemoryStream odd(Record(",,x,,$10,,,abc,\" 7\",,,,,,,,,-1,-1,-1,-1,2"));
  ASSERT_TRUE(CapInfoListFromText(&back, &odd));
  EXPECT_EQ(back.Type, 0);
  EXPECT_EQ(back.Width, 64);
  EXPECT_TRUE(back.Ditto);
  EXPECT_EQ(back.Reserved1, -1);
  EXPECT_TRUE(back.Ascending);
  EXPECT_TRUE(back.CardNewLine);
}

TEST(CapInfoRecord, NestedDescriptorsGoDepthFirst) {
  CCapInfo parent;
  parent.Caption = "parent";
  parent.Nested = new CCapInfoList;
  CCapInfo* first = Make("first");
  first->Nested = new CCapInfoList;
  first->Nested->Add(Make("grandchild"));
  parent.Nested->Add(first);
  parent.Nested->Add(Make("second"));

  TMemoryStream m(Written(parent));
  std::vector<AnsiString> order;
  for (AnsiString line; ReadLengthPrefixedLine(&m, line);) {
    TStringList f;
    f.SetCommaText(line);
    CStreamUtil util(&m, &f);
    order.push_back(CStreamUtil::GetField(&util, 0) + "/" + CStreamUtil::GetField(&util, 16));
  }
  EXPECT_EQ(order, (std::vector<AnsiString>{"parent/2", "first/1", "grandchild/0", "second/0"}));

  m.SetPosition(0);
  CCapInfo back;
  ASSERT_TRUE(CapInfoListFromText(&back, &m));
  EXPECT_EQ(m.Position(), m.Size());
  ExpectSameSavedFields(back, parent, false);

  // Reading into a descriptor that already has nested items appends to them; a record without
  // nested items drops them.
  m.SetPosition(0);
  ASSERT_TRUE(CapInfoListFromText(&back, &m));
  EXPECT_EQ(back.Nested->Count(), 4);
  TMemoryStream none(Written(CCapInfo()));
  ASSERT_TRUE(CapInfoListFromText(&back, &none));
  EXPECT_EQ(back.Nested, nullptr);
}

TEST(CapInfoRecord, DamagedRecordsAreRefused) {
  const AnsiString good = Written(CCapInfo());
  struct Case {
    AnsiString bytes;
    const char* why;
  } cases[] = {
      {"00000000", "empty record"},
      {"00000003a,b", "no line feed at the end"},
      {"0000000", "short prefix"},
      {"0000004g" + good, "not hexadecimal"},
      {good.substr(0, good.size() - 1), "cut short"},
      {"ffffffff" + good, "longer than the stream"},
  };
  for (const Case& c : cases) {
    TMemoryStream m(c.bytes);
    CCapInfo info;
    info.Caption = "kept";
    info.Nested = new CCapInfoList;
    EXPECT_FALSE(CapInfoListFromText(&info, &m)) << c.why;
    EXPECT_EQ(info.Caption, "kept") << c.why;
    ASSERT_NE(info.Nested, nullptr) << c.why;
    EXPECT_EQ(info.Nested->Count(), 0) << c.why;
  }
  // A negative count is no count: the record reads, without nested items.
  TMemoryStream m(Record(",,0,64,1,,0,-1,1,0,1,1,0,0,0,0,-5") + good);
  CCapInfo info;
  EXPECT_TRUE(CapInfoListFromText(&info, &m));
  EXPECT_EQ(info.Nested, nullptr);
  // A count beyond the stream is cut to the records that are there; the record itself reads.
  TMemoryStream big(Record("head,,0,64,1,,0,-1,1,0,1,1,0,0,0,0,1000000000") + good);
  CCapInfo head;
  EXPECT_TRUE(CapInfoListFromText(&head, &big));
  EXPECT_EQ(head.Caption, "head");
  ASSERT_NE(head.Nested, nullptr);
  EXPECT_LE(head.Nested->Count(), 10);
}

TEST(CapInfoRecord, EmptyNestedEntriesKeepTheRecordsAligned) {
  CCapInfo parent;
  parent.Nested = new CCapInfoList;
  parent.Nested->Add(nullptr);
  auto* c = new CCapInfo;
  c->Caption = "c";
  parent.Nested->Add(c);
  CCapInfo after;
  after.Caption = "after";
  TMemoryStream m;
  CapInfoListToText(&parent, &m);
  CapInfoListToText(&after, &m);
  m.SetPosition(0);
  CCapInfo back, next;
  ASSERT_TRUE(CapInfoListFromText(&back, &m));
  ASSERT_TRUE(CapInfoListFromText(&next, &m));
  ASSERT_EQ(back.Nested->Count(), 2);
  EXPECT_EQ(back.Nested->GetItem(0)->Caption, "");
  EXPECT_EQ(back.Nested->GetItem(1)->Caption, "c");
  EXPECT_EQ(next.Caption, "after");
}

TEST(CapInfoRecord, AnUnreadableNestedRecordLeavesDefaults) {
  CCapInfo named;
  named.Caption = "third";
  const AnsiString bytes = Record(",,0,64,1,,0,-1,1,0,1,1,0,0,0,0,3") +  // three nested
                           "00000003a,b" +                              // no line feed
                           Record("second") + Written(named);
  TMemoryStream m(bytes);
  CCapInfo parent;
  ASSERT_TRUE(CapInfoListFromText(&parent, &m));
  ASSERT_EQ(parent.Nested->Count(), 3);
  EXPECT_EQ(parent.Nested->GetItem(0)->Caption, "");
  EXPECT_EQ(parent.Nested->GetItem(0)->IncreaseMark, SJ("↑"));  // a new descriptor's defaults
  EXPECT_EQ(parent.Nested->GetItem(1)->Caption, "second");
  EXPECT_EQ(parent.Nested->GetItem(2)->Caption, "third");

  // The stream ends after the first of three: the others stay as defaults.
  TMemoryStream cut(Record(",,0,64,1,,0,-1,1,0,1,1,0,0,0,0,3") + Record("only") + std::string(20, ' '));
  CCapInfo p2;
  ASSERT_TRUE(CapInfoListFromText(&p2, &cut));
  ASSERT_EQ(p2.Nested->Count(), 3);
  EXPECT_EQ(p2.Nested->GetItem(0)->Caption, "only");
  EXPECT_EQ(p2.Nested->GetItem(2)->Caption, "");
}

TEST(CapInfoRecord, NestingIsBoundedAndCountsMustFit) {
  // A chain far deeper than any display format: each record claims one nested record.
  AnsiString chain;
  for (int i = 0; i < 1000; ++i) chain += Record(Format("d%d,,0,64,1,,0,-1,1,0,1,1,0,0,0,0,1", i));
  chain += Record("end");
  TMemoryStream m(chain);
  CCapInfo root;
  ASSERT_TRUE(CapInfoListFromText(&root, &m));
  int depth = 0;
  const CCapInfo* c = &root;
  while (c->Nested && c->Nested->Count() > 0) {
    ASSERT_EQ(c->Nested->Count(), 1);
    c = c->Nested->GetItem(0);
    ++depth;
  }
  EXPECT_EQ(depth, CAPINFO_MAX_DEPTH);
  EXPECT_EQ(c->Caption, Format("d%d", CAPINFO_MAX_DEPTH));  // read, but nothing below it

  // A nested count that cannot fit in what follows is cut; the record and its parent read on.
  TMemoryStream over(Record(",,0,64,1,,0,-1,1,0,1,1,0,0,0,0,2") + Record("big,,0,64,1,,0,-1,1,0,1,1,0,0,0,0,99") +
                     Record("next"));
  CCapInfo parent;
  ASSERT_TRUE(CapInfoListFromText(&parent, &over));
  ASSERT_EQ(parent.Nested->Count(), 2);
  EXPECT_EQ(parent.Nested->GetItem(0)->Caption, "big");
  EXPECT_EQ(parent.Nested->GetItem(0)->Nested, nullptr);
  EXPECT_EQ(parent.Nested->GetItem(1)->Caption, "next");
}

TEST(FontText, WritesSixFieldsUnlessEqualToTheReference) {
  TFont f;
  f.SetCharset(SHIFTJIS_CHARSET);
  f.SetColor(clWindowText);
  f.SetName(SJ("ＭＳ Ｐゴシック"));
  f.SetPitch(fpFixed);
  f.SetSize(9);
  f.SetStyle(fsBold | fsUnderline);
  EXPECT_EQ(FontToText(&f, nullptr), "128,-2147483640," + SJ("\"ＭＳ Ｐゴシック\"") + ",2,9,5");
  EXPECT_EQ(FontToText(nullptr, &f), "");

  const std::vector<std::function<void(TFont&)>> changes = {
      [](TFont& g) { g.SetCharset(1); },          [](TFont& g) { g.SetColor(clRed); },
      [](TFont& g) { g.SetName("IPAGothic"); },   [](TFont& g) { g.SetPitch(fpVariable); },
      [](TFont& g) { g.SetSize(10); },            [](TFont& g) { g.SetStyle(fsBold); },
  };
  TFont ref;
  ref.Assign(f);
  EXPECT_EQ(FontToText(&f, &ref), "");
  for (size_t i = 0; i < changes.size(); ++i) {
    TFont g;
    g.Assign(f);
    changes[i](g);
    EXPECT_EQ(FontToText(&g, &ref), FontToText(&g, nullptr)) << i;
    TFont back;
    ASSERT_TRUE(FontFromText(&back, FontToText(&g, &ref)));
    EXPECT_TRUE(back == g) << i;
  }
}

TEST(FontText, ReadsTheFieldsPresent) {
  TFont f;
  f.SetPitch(fpFixed);
  f.SetSize(12);
  f.SetStyle(fsItalic);
  TFont kept;
  kept.Assign(f);
  EXPECT_FALSE(FontFromText(&f, ""));
  EXPECT_TRUE(f == kept);
  EXPECT_FALSE(FontFromText(nullptr, "1,2,3"));

  ASSERT_TRUE(FontFromText(&f, "128,255,Face"));
  EXPECT_EQ(f.Charset(), 128);
  EXPECT_EQ(f.Color(), 255);
  EXPECT_EQ(f.Name(), "Face");
  EXPECT_EQ(f.Pitch(), fpFixed);
  EXPECT_EQ(f.Size(), 12);
  EXPECT_EQ(f.Style(), fsItalic);

  // Numbers that do not read, and a pitch that does not exist, become 0; style bits beyond the
  // four are dropped; a seventh field is ignored.
  ASSERT_TRUE(FontFromText(&f, "x,$FF,,7,11,255,extra"));
  EXPECT_EQ(f.Charset(), 0);
  EXPECT_EQ(f.Color(), 255);
  EXPECT_EQ(f.Name(), "");
  EXPECT_EQ(f.Pitch(), fpDefault);
  EXPECT_EQ(f.Size(), 11);
  EXPECT_EQ(f.Style(), fsBold | fsItalic | fsUnderline | fsStrikeOut);
  EXPECT_TRUE(SameFontStyle(BitsToFontStyle(0x13), fsBold | fsItalic));
  EXPECT_FALSE(SameFontStyle(fsBold, fsItalic));
}
