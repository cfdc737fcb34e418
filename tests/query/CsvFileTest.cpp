#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
#define CW_HEAP_FROM_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CW_HEAP_FROM_SANITIZER 1
#endif
#endif
#ifdef CW_HEAP_FROM_SANITIZER
#include <sanitizer/allocator_interface.h>
#else
#include <malloc.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <vector>

#include "foundation/StrMacro.h"
#include "query/CsvFile.h"
#include "tests/query/QueryTestSupport.h"
#include "tests/support/TestSupport.h"

namespace {

using Record = std::vector<AnsiString>;

struct Settings {
  char separator = ',';
  AnsiString quotes = "\"\"";
  int rows = 1;
  int format = CCsvFile::kDelimited;
};

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// Every record of the open reader; the list is cleared before each call, as the callers do.
std::vector<Record> ReadAll(CCsvFile& reader) {
  std::vector<Record> records;
  TStringList fields;
  for (int guard = 0; guard < 100000; ++guard) {
    fields.Clear();
    if (!reader.ReadRecord(&fields)) break;
    Record r;
    for (int i = 0; i < fields.Count(); ++i) r.push_back(fields[i]);
    records.push_back(r);
  }
  return records;
}

std::vector<Record> ReadBytes(const std::string& bytes, const Settings& s = {}) {
  TempDir dir;
  const std::string path = dir.File("in.csv");
  EXPECT_TRUE(WriteFile(path, bytes));
  CCsvFile reader;
  EXPECT_TRUE(reader.Open(path, "rb"));
  reader.Separator = s.separator;
  reader.QuotePairs = s.quotes;
  reader.RowsPerRecord = s.rows;
  reader.FileFormat = s.format;
  return ReadAll(reader);
}

std::tm Month(int year, int month) {
  std::tm t{};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = 15;
  return t;
}

std::vector<Record> ReadSendmail(const std::string& path, const std::tm& opened) {
  CCsvFile reader;
  EXPECT_TRUE(reader.Open(path, "rb"));
  reader.FileFormat = CCsvFile::kSendmailLog;
  reader.OpenTime = opened;
  return ReadAll(reader);
}

// Bytes of the heap in use, large blocks included.
long long HeapInUse() {
#ifdef CW_HEAP_FROM_SANITIZER
  return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long long>(info.uordblks + info.hblkhd);
#endif
}

std::string Shown(const std::vector<Record>& records) {
  std::string out;
  for (const Record& r : records) {
    out += "{";
    for (size_t i = 0; i < r.size(); ++i) out += (i ? "|" : "") + Show(r[i]);
    out += "}";
  }
  return out;
}

AnsiString Joined(const Record& r) {
  AnsiString out;
  for (size_t i = 0; i < r.size(); ++i) out += (i ? "|" : "") + r[i];
  return out;
}

struct CsvCase {
  const char* what;
  std::string bytes;
  std::vector<Record> expected;
  Settings settings = {};
};

}  // namespace

TEST(CCsvFile, DelimitedText) {
  const std::string longField(100000, 'x');
  const CsvCase cases[] = {
      {"no final line end", "a,b\nc,d", {{"a", "b"}, {"c", "d"}}},
      {"CR line ends", "a,b\rc,d\r", {{"a", "b"}, {"c", "d"}}},
      {"CR LF line ends", "a,b\r\nc,d\r\n", {{"a", "b"}, {"c", "d"}}},
      {"empty lines skipped", "\r\n\na,b\n\n\r\nc\n\n", {{"a", "b"}, {"c"}}},
      {"quotes and doubled quotes", "\"x,\"\"y\"\"\",z\n", {{"x,\"y\"", "z"}}},
      {"blanks around fields", "  a  , b \n\" a \",b\n", {{"a", "b"}, {" a ", "b"}}},
      {"text after a quoted part", "\"ab\"c\"d,e\n", {{"abc\"d", "e"}}},
      {"line ends inside quotes", "\"one\r\ntwo\rthree\r\r\n\",x\n", {{"one\ntwo\rthree\r\n", "x"}}},
      {"unterminated quote", "\"abc\ndef", {{"abc\ndef"}}},
      {"empty and trailing fields", ",\"\",\n", {{"", "", ""}}},
      {"long field read whole", longField + ",y\n", {{longField, "y"}}},
      // 表 and ソ end in 0x5C.
      {"double-byte trail bytes", "\x95\x5C,\x83\x5C\n", {{"\x95\x5C", "\x83\x5C"}}},
      {"full-width blanks trimmed outside quotes", "a\x81\x40,\"b\x81\x40\"\n\x88\x81\x40\n", {{"a", "b\x81\x40"}, {"\x88\x81\x40"}}},
      {"lead byte at the end of the file", "a,\x82", {{"a", "\x82"}}},
      {"single-quote pairs", "'x,y',z\na'b,c'd\n", {{"x,y", "z"}, {"a'b", "c'd"}}, {',', "\"\"''", 1}},
      {"two rows per record", "a,b\nc,d\r\ne,f\ng,h\n", {{"a", "b", "c", "d"}, {"e", "f", "g", "h"}}, {',', "\"\"", 2}},
      {"three rows per record, last one short", "1\n2\n3\n4\n", {{"1", "2", "3"}, {"4", ""}}, {',', "\"\"", 3}},
      {"tab separator", "a b\t c \n", {{"a b", "c"}}, {'\t', "\"\"", 1}},
      {"blank separator keeps empty fields", " a  b\n", {{"", "a", "", "b"}}, {' ', "\"\"", 1}},
      {"separator 0x5C beside trail bytes", "\x95\x5C\\x\\[a\\b]\n", {{"\x95\x5C", "x", "a\\b"}}, {'\\', "[]", 1}},
      {"odd quote text ignores the unpaired character", "'a,b'\n", {{"'a", "b'"}}, {',', "'", 1}},
      // A line end still ends the record when it is also the separator.
      {"LF separator", "a,b\nc\n", {{"a,b"}, {"c"}}, {'\n', "\"\"", 1}},
      {"CR separator, two rows per record", "a\rb\r\nc", {{"a", "b"}, {"c"}}, {'\r', "\"\"", 2}},
  };
  for (const CsvCase& c : cases) {
    const std::vector<Record> got = ReadBytes(c.bytes, c.settings);
    EXPECT_EQ(got, c.expected) << c.what << ": " << Shown(got);
  }
}

namespace {

// A record as the fixtures below state it: every field of a delimited record; of an access-log
// record client, identity, user, request, status and size; of a sendmail record kind and both
// addresses.
AnsiString Brief(const Record& r, int format) {
  static const std::vector<int> kAccess = {0, 5, 6, 12, 13, 14}, kMail = {0, 6, 12};
  Record picked = r;
  if (format != CCsvFile::kDelimited) {
    picked.clear();
    for (int i : format == CCsvFile::kAccessLog ? kAccess : kMail) picked.push_back(i < int(r.size()) ? r[i] : "?");
  }
  return Joined(picked);
}

std::string MailLine(const std::string& tag, const std::string& id, const std::string& item) {
  return "Jun  1 10:00:00 mx " + tag + "[9]: " + id + ": " + item + "\n";
}

// Lines of n other messages that make no record of their own.
std::string OtherMail(int n) {
  std::string lines;
  for (int i = 0; i < n; ++i)
    lines += MailLine("sendmail", "o" + std::to_string(i), i % 2 ? "from=<o@x>, size=1" : "Milter: no active filter");
  return lines;
}

}  // namespace

// Bytes as other programs write them: UTF-8 text, where bytes of the lead-byte ranges stand before
// quotes, separators and line ends; apostrophes in names; busy mail servers.
TEST(CCsvFile, BytesOfOtherWriters) {
  const Settings import{',', CCsvFile::kImportQuotePairs, 1};
  const Settings access{',', "", 1, CCsvFile::kAccessLog};
  const Settings mail{',', "", 1, CCsvFile::kSendmailLog};
  const std::string sender = MailLine("sendmail", "q1", "from=<s@x>, size=1");
  const struct {
    const char* what;
    std::string bytes;
    std::vector<AnsiString> expected;  // Brief of each record
    Settings settings;
  } cases[] = {
      {"lead byte before a quote", "\"a\x82\",b\n", {"a\x82|b"}, import},
      {"lead byte before a separator", "\x82,\x81,\x81\"q\n", {"\x82|\x81|\x81\"q"}, import},
      {"lead byte before CR", "a\x82\rb\x9F\r\n", {"a\x82", "b\x9F"}, import},
      {"lead byte before LF", "a\x82\nb,\xFC\n", {"a\x82", "b|\xFC"}, import},
      {"UTF-8 text", "x\xE3\x80\x90,y\n\"\xE3\x80\x90\",\xE2\x80\x9C\xE2\x80\x9D\n",
       {"x\xE3\x80\x90|y", "\xE3\x80\x90|\xE2\x80\x9C\xE2\x80\x9D"}, import},
      {"Shift_JIS pairs", "\x83\x5C\x81\x40,\x82\xA0\n", {"\x83\x5C|\x82\xA0"}, import},
      {"byte-order mark", "\xEF\xBB\xBF\"a\",b\n\xEF\xBB\xBF" "c\n", {"a|b", "\xEF\xBB\xBF" "c"}, import},
      {"double quotes inside fields", "O\"Brien,12\" disk,\"x\"\"y\"\n", {"O\"Brien|12\" disk|x\"y"}, import},
      {"apostrophes inside fields", "O'Brien, McDonald's,you've\n'it''s',\"a'b\"\n",
       {"O'Brien|McDonald's|you've", "it's|a'b"}, import},
      {"apostrophes in access-log fields",
       "192.0.2.1 - o'brien [10/Oct/2000:13:55:36 -0700] \"GET /it's HTTP/1.0\" 200 1\n"
       "192.0.2.2 'x' - [10/Oct/2000:13:55:36 -0700] \"GET / HTTP/1.0\" 304 -\n",
       {"192.0.2.1|-|o'brien|GET /it's HTTP/1.0|200|1", "192.0.2.2|'x'|-|GET / HTTP/1.0|304|-"}, access},
      {"recipients after 10, 100 and 10,000 lines of other messages",
       sender + OtherMail(10) + MailLine("sendmail", "q1", "to=<r1@y>, stat=Sent") + OtherMail(100) +
           MailLine("sendmail", "q1", "to=<r2@y>, stat=Sent") + OtherMail(10000) +
           MailLine("sendmail", "q1", "to=<r3@y>,<r4@y>, stat=Sent"),
       {SJ("受信") + "|s@x|r1@y", SJ("受信") + "|s@x|r2@y", SJ("受信") + "|s@x|r3@y", SJ("受信") + "|s@x|r4@y"}, mail},
      {"a reject 10,000 lines before its sender line",
       MailLine("sendmail", "q1", "ruleset=check_rcpt, arg1=<v@z>, relay=b [192.0.2.9], reject=550") +
           OtherMail(10000) + sender + MailLine("sendmail", "q1", "to=<r@y>, stat=Sent"),
       {"Access denied|s@x|v@z", SJ("受信") + "|s@x|r@y"}, mail},
      {"program tags",
       MailLine("sm-msp-queue", "q2", "from=<a@x>, size=1") + MailLine("sm-msp-queue", "q2", "to=<b@y>, stat=Sent") +
           MailLine("sm-acceptingconnections", "q3", "from=<c@x>, size=1") +
           MailLine("sm-acceptingconnections", "q3", "to=<d@y>, stat=Sent") + MailLine("smtp", "q4", "from=<e@x>,") +
           MailLine("smtp", "q4", "to=<f@y>,"),
       {SJ("受信") + "|a@x|b@y", SJ("受信") + "|c@x|d@y"}, mail},
  };
  for (const auto& c : cases) {
    const std::vector<Record> got = ReadBytes(c.bytes, c.settings);
    std::vector<AnsiString> brief;
    for (const Record& r : got) brief.push_back(Brief(r, c.settings.format));
    EXPECT_EQ(brief, c.expected) << c.what << ": " << Shown(got);
  }
}

TEST(CCsvFile, OpenAndFileName) {
  TempDir dir;
  CCsvFile reader;
  EXPECT_FALSE(reader.Open(dir.File("missing.csv"), "rb"));
  TStringList fields;
  EXPECT_FALSE(reader.ReadRecord(&fields));
  // The name keeps a 0x5C trail byte: only a whole "/", "\" or ":" separates folders.
  const std::string name = "log\x95\x5C.txt";
  ASSERT_TRUE(WriteFile(dir.File(name), "x\n"));
  ASSERT_TRUE(reader.Open(dir.File(name), "rb"));
  EXPECT_EQ(reader.FileName(), name);
  EXPECT_TRUE(reader.ReadRecord(&fields));
  EXPECT_FALSE(reader.ReadRecord(&fields));
  // A folder named in UTF-8 (あ ends in 0x82) still ends at its "/".
  ASSERT_TRUE(std::filesystem::create_directory(dir.File("\xE3\x81\x82")));
  ASSERT_TRUE(WriteFile(dir.File("\xE3\x81\x82/x.log"), "x\n"));
  ASSERT_TRUE(reader.Open(dir.File("\xE3\x81\x82/x.log"), "rb"));
  EXPECT_EQ(reader.FileName(), "x.log");
}

TEST(CCsvFile, AccessLog) {
  CCsvFile reader;
  ASSERT_TRUE(reader.Open(DataFile("access.log"), "rb"));
  reader.FileFormat = CCsvFile::kAccessLog;
  const std::vector<Record> got = ReadAll(reader);
  const std::vector<AnsiString> expected = {
      "192.0.2.1|||||-|frank|10/Oct/2000:13:55:36 -0700|2000/10/10|Tue|13:55:36|-0700|GET /apache_pb.gif HTTP/1.0|200|"
      "2326|http://www.example.com/start.html|Mozilla/4.08 [en] (Win98; I ;Nav)|access.log",
      "127.0.0.1|||||-|-|10/Oct/2000:13:55:36 -0700|2000/10/10|Tue|13:55:36|-0700|GET / HTTP/1.0|200|2326|||access.log",
      // An apostrophe is no quote; a line cut short (here after a lead byte) spoils only its own line.
      "192.0.2.10|||||-|o'brien|10/Oct/2000:13:55:36 -0700|2000/10/10|Tue|13:55:36|-0700|GET /a HTTP/1.0|200|1|||"
      "access.log",
      "192.0.2.11|||||-|-|10/Oct/2000:13:55:36 -0700|2000/10/10|Tue|13:55:36|-0700|GET /x\x82|||||access.log",
      // A stamp whose day does not read as a date has no date or weekday.
      "192.0.2.12|||||-|-|5:13:55:36 -0700|||13:55:36|-0700|GET /b HTTP/1.0|200|2|||access.log",
      "192.0.2.13|||||-|-|10/Foo/2000:13:55:36 -0700|||13:55:36|-0700|GET /c HTTP/1.0|200|3|||access.log",
      // A stamp without its zone or without ':' still leaves every later field in its place.
      "192.0.2.2|||||-|-|11/Oct/2000:08:00:01|2000/10/11|Wed|08:00:01||GET /nozone HTTP/1.1|304|-|||access.log",
      "192.0.2.3|||||-|-|someday|||||GET /nocolon HTTP/1.1|404|512|||access.log",
      "192.0.2.4|||||-|-|12/Oct/2000:23:59:59 +0900|2000/10/12|Thu|23:59:59|+0900|GET /q?a=\\\"b\\\" HTTP/1.1|200|10|-|"
      "Agent \\\"quoted\\\" \\\\|access.log",
      "192.0.2.5|||||-|-|12/Oct/2000:23:59:59 +0900|2000/10/12|Thu|23:59:59|+0900|GET / HTTP/1.1|200|10|-|UA|"
      "access.log|1234|extra",
  };
  ASSERT_EQ(got.size(), expected.size()) << Shown(got);
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(Joined(got[i]), expected[i]) << "line " << i + 1;
  EXPECT_EQ(reader.Separator, ',');
  EXPECT_EQ(reader.QuotePairs, "\"\"");
}

TEST(CCsvFile, SendmailRecordsAcrossNewYear) {
  const std::vector<Record> got = ReadSendmail(DataFile("sendmail_newyear.log"), Month(2024, 1));
  const std::vector<AnsiString> expected = {
      SJ("受信") + "|2023|12/31|Sun|23:59:59|mx|alice@example.com|alice|example.com|com|example||bob@mx.example.jp|bob|"
                  "mx.example.jp|jp|example|mx|192.0.2.10|mail.example.com|com|example|mail|1532|20231231.1@example.com|"
                  "sendmail_newyear.log",
      SJ("送信") + "|2024|01/01|Mon|00:00:04|mx|carol@example.com|carol|example.com|com|example||dave@remote.example.org|"
                  "dave|remote.example.org|org|example|remote|198.51.100.7|mx.remote.example.org|org|example|remote|88|"
                  "c1@example.com|sendmail_newyear.log",
  };
  ASSERT_EQ(got.size(), expected.size()) << Shown(got);
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(Joined(got[i]), expected[i]) << Show(Joined(got[i]));
}

TEST(CCsvFile, SendmailYearAndCalendar) {
  struct Case {
    std::tm opened;
    const char* stamp;
    const char* date;  // fields 1 to 4
  } cases[] = {
      {Month(2024, 2), "Mar  3 09:00:00", "2023|03/03|Fri|09:00:00"},  // after the month of opening
      {Month(2024, 2), "FEB 29 23:59:60", "2024|03/01|Fri|00:00:00"},  // carried as a calendar does
      {Month(2024, 3), "mar 3 9:0:0", "2024|03/03|Sun|09:00:00"},
      {Month(2024, 3), "Xyz 5 10:00:00", "2024|01/05|Fri|10:00:00"},   // an unknown month is January
      {Month(2024, 3), "Mar 3 10:00", "|||"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    const std::string log = std::string(c.stamp) + " mx sendmail[1]: q1: from=<a@b>, size=1\n" + c.stamp +
                            " mx sendmail[1]: q1: to=<c@d>, stat=Sent\n";
    ASSERT_TRUE(WriteFile(dir.File("m.log"), log));
    const std::vector<Record> got = ReadSendmail(dir.File("m.log"), c.opened);
    ASSERT_EQ(got.size(), 1u) << c.stamp;
    ASSERT_EQ(got[0].size(), 26u);
    EXPECT_EQ(got[0][1] + "|" + got[0][2] + "|" + got[0][3] + "|" + got[0][4], c.date) << c.stamp;
  }
}

TEST(CCsvFile, SendmailMessages) {
  const std::vector<Record> got = ReadSendmail(DataFile("sendmail_messages.log"), Month(2024, 3));
  // kind, time, first address, second address, relay address, relay host, size, message id
  std::vector<AnsiString> brief;
  for (const Record& r : got) {
    ASSERT_EQ(r.size(), 26u);
    EXPECT_EQ(r[25], "sendmail_messages.log");
    brief.push_back(r[0] + "|" + r[4] + "|" + r[6] + "|" + r[12] + "|" + r[18] + "|" + r[19] + "|" + r[23] + "|" + r[24]);
  }
  // Records come in the order of the lines that complete them.
  const std::vector<AnsiString> expected = {
      // Interleaved A1 B1 B2 A2: both messages give their record.
      SJ("受信") + "|09:00:02|b@two.example|rb@here.example|192.0.2.2|two.example|200|b1@two.example",
      SJ("受信") + "|09:00:03|a@one.example|ra@here.example|192.0.2.1|one.example|100|a1@one.example",
      // A TLS line first, a three-recipient line and a delivery-status line last: every recipient.
      SJ("受信") + "|09:01:02|c@three.example|x@here.example|192.0.2.3|three.example|300|c1@three.example",
      SJ("受信") + "|09:01:02|c@three.example|y@here.example|192.0.2.3|three.example|300|c1@three.example",
      SJ("受信") + "|09:01:02|c@three.example|z@here.example|192.0.2.3|three.example|300|c1@three.example",
      SJ("受信") + "|09:01:03|c@three.example|w@far.example|192.0.2.3|three.example|300|c1@three.example",
      "Access denied|09:02:00|spam@bad.example|victim@elsewhere.example|203.0.113.5|bad.example|0|",
      "User unknown|09:03:00|someone@else.example|nobody@here.example|192.0.2.77|else.example|0|",
      // A reject or unknown user before the sender line pairs with it, and every recipient counts.
      "Access denied|09:05:00|d@four.example|out@elsewhere.example|192.0.2.4|four.example|400|",
      SJ("受信") + "|09:05:02|d@four.example|r1@here.example|192.0.2.4|four.example|400|d1@four.example",
      SJ("受信") + "|09:05:03|d@four.example|r2@here.example|192.0.2.4|four.example|400|d1@four.example",
      "User unknown|09:06:00|e@five.example|gone@here.example|192.0.2.5|five.example|500|",
      SJ("受信") + "|09:06:02|e@five.example|r3@here.example|192.0.2.5|five.example|500|e1@five.example",
      SJ("受信") + "|09:06:03|e@five.example|r4@here.example|192.0.2.5|five.example|500|e1@five.example",
  };
  EXPECT_EQ(brief, expected) << Shown(got);
}

// Messages logged the way a busy server logs them: the lines of three messages at a time merged
// at random, each message in its own order, with status lines among the recipients. Every
// recipient yields its record, also in a long message with other messages' lines among its own.
TEST(CCsvFile, SendmailInterleavedAndLongMessages) {
  std::string log;
  const auto line = [](int id, const std::string& item) {
    return "Jun  1 10:00:00 mx sendmail[9]: q" + std::to_string(id) + ": " + item + "\n";
  };
  std::set<std::string> expected;
  std::mt19937 random(7);
  for (int block = 0; block < 40; ++block) {
    std::vector<std::vector<std::string>> messages(3);
    for (int k = 0; k < 3; ++k) {
      const int id = block * 3 + k;
      const std::string sender = "s" + std::to_string(id) + "@x";
      std::vector<std::string>& lines = messages[k];
      if (random() % 4 == 0) lines.push_back(line(id, "STARTTLS=server, relay=x, version=TLSv1.3"));
      lines.push_back(line(id, "from=<" + sender + ">, size=" + std::to_string(id) + ", class=0"));
      for (int r = 0, n = 1 + random() % 2; r < n; ++r) {
        lines.push_back(line(id, "to=<r" + std::to_string(r) + "@y>, delay=00:00:01, stat=Sent"));
        expected.insert(sender + ">r" + std::to_string(r) + "@y");
      }
      if (random() % 3 == 0) lines.push_back(line(id, "q" + std::to_string(id) + "b: DSN: Service unavailable"));
    }
    for (size_t next[3] = {0, 0, 0}; next[0] + next[1] + next[2] <
                                     messages[0].size() + messages[1].size() + messages[2].size();) {
      const int k = random() % 3;
      if (next[k] < messages[k].size()) log += messages[k][next[k]++];
    }
  }
  // One message longer than the read-ahead window, with other messages' lines among its own.
  log += line(500, "from=<big@x>, size=1");
  for (int r = 0; r < 150; ++r) {
    log += line(500, "to=<big" + std::to_string(r) + "@y>, stat=Sent");
    expected.insert("big@x>big" + std::to_string(r) + "@y");
    if (r % 40 == 0) log += line(600 + r, "from=<lonely@x>, size=1");
  }
  // And one recipient line of some kilobytes.
  std::string recipients;
  for (int r = 0; r < 120; ++r) {
    recipients += "<wide" + std::to_string(r) + "@y>,";
    expected.insert("wide@x>wide" + std::to_string(r) + "@y");
  }
  log += line(700, "from=<wide@x>, size=1") + line(700, "to=" + recipients + " delay=00:00:01, stat=Sent");
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir.File("busy.log"), log));
  const std::vector<Record> got = ReadSendmail(dir.File("busy.log"), Month(2024, 6));
  std::multiset<std::string> pairs;
  for (const Record& r : got) pairs.insert(r[6] + ">" + r[12]);
  EXPECT_EQ(std::set<std::string>(pairs.begin(), pairs.end()), expected);
  EXPECT_EQ(pairs.size(), expected.size());
}

// What the reader holds between records stays near what it keeps: a line's copy for one recipient
// is as long as that recipient's line, and the buffer of an oversized line is given back.
TEST(CCsvFile, SendmailMemoryBetweenRecords) {
  const std::string from = "Jun  1 10:00:00 mx sendmail[9]: q1: from=<s@x>, size=1\n";
  std::string recipients;
  for (int r = 0; r < 4000; ++r) recipients += "<r" + std::to_string(r) + "@y>,";
  const struct {
    const char* what;
    std::string log;
  } cases[] = {
      {"4000 recipients on one line", from + "Jun  1 10:00:01 mx sendmail[9]: q1: to=" + recipients + " stat=Sent\n"},
      {"an 8 MB line", std::string(8 << 20, 'x') + "\n" + from + "Jun  1 10:00:01 mx sendmail[9]: q1: to=<r@y>,\n"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteFile(dir.File("m.log"), c.log));
    CCsvFile reader;
    ASSERT_TRUE(reader.Open(dir.File("m.log"), "rb"));
    reader.FileFormat = CCsvFile::kSendmailLog;
    TStringList fields;
    const long long before = HeapInUse();
    ASSERT_TRUE(reader.ReadRecord(&fields)) << c.what;
    EXPECT_LT(HeapInUse() - before, 4LL << 20) << c.what;
  }
}

TEST(CsvWriting, QuoteAndJoin) {
  const struct {
    AnsiString in, out;
  } cases[] = {
      {"abc", "abc"},
      {"", ""},
      {"a\"b", "\"a\"\"b\""},
      {"a b", "\"a b\""},
      {"a,b", "\"a,b\""},
      {"a\tb", "\"a\tb\""},
      {"a\nb", "\"a\nb\""},
      {"a\rb", "\"a\rb\""},
      {"\x95\x5C", "\x95\x5C"},  // a trail byte is never looked at
      {"x\x82", "x\x82"},          // a lead byte at the end stays alone
      {"\x81\x22", "\"\x81\"\"\""},  // nor does one before a quote
      {"x\xE3\x80\x90,y", "\"x\xE3\x80\x90,y\""},
      {"it's", "\"it's\""},
      {"\x81\x40x", "\"\x81\x40x\""},  // full-width blanks at either end
      {"x\x81\x40", "\"x\x81\x40\""},
      {"x\x81\x40y", "x\x81\x40y"},
      {"\xEF\xBB\xBFx", "\"\xEF\xBB\xBFx\""},  // a byte-order mark first
      {"a\r\nb", "\"a\r\r\nb\""},               // CR LF would read back as LF
  };
  for (const auto& c : cases) EXPECT_EQ(QuoteCsvField(c.in), c.out) << Show(c.in);

  TStringList fields;
  fields.Add("a");
  fields.Add("b c");
  fields.Add("");
  EXPECT_EQ(JoinCsvFields(&fields, ','), "a,\"b c\",");
  EXPECT_EQ(JoinCsvFields(&fields, '\t'), "a\t\"b c\"\t");
  // What is written reads back as the same fields.
  const std::vector<Record> back = ReadBytes(JoinCsvFields(&fields, ',') + "\n");
  EXPECT_EQ(back, (std::vector<Record>{{"a", "b c", ""}}));
  // A record of one empty field is no empty line.
  TStringList empty;
  empty.Add("");
  EXPECT_EQ(JoinCsvFields(&empty, ','), "\"\"");
}

namespace {

// Writes the records with JoinCsvFields and reads them back with the import's settings.
std::vector<Record> RoundTrip(const std::vector<Record>& records, char separator, const char* lineEnd) {
  std::string bytes;
  TStringList fields;
  for (const Record& r : records) {
    fields.Clear();
    for (const AnsiString& f : r) fields.Add(f);
    bytes += JoinCsvFields(&fields, separator) + lineEnd;
  }
  return ReadBytes(bytes, {separator, CCsvFile::kImportQuotePairs, 1});
}

}  // namespace

// Public files written by other programs: each reads with the counts found by other tools
// (data/real/SOURCES.md), and what the export writes of its records imports as the same records.
TEST(CsvWriting, RealFilesRoundTrip) {
  const struct {
    const char* file;
    int format;
    size_t records;
    std::set<size_t> fields;  // the field counts its records have
  } cases[] = {
      {"postal-codes-cp932.csv", CCsvFile::kDelimited, 4165, {15}},
      {"hydrants-cp932.csv", CCsvFile::kDelimited, 2569, {16}},
      {"statistics-cp932.csv", CCsvFile::kDelimited, 49, {13}},
      {"sample-sjis-no-final-lf.csv", CCsvFile::kDelimited, 4, {4}},
      {"rfc-comma_in_quotes.csv", CCsvFile::kDelimited, 2, {5}},
      {"rfc-escaped_quotes.csv", CCsvFile::kDelimited, 3, {2}},
      {"rfc-json.csv", CCsvFile::kDelimited, 2, {2}},
      {"rfc-newlines.csv", CCsvFile::kDelimited, 4, {3}},
      {"rfc-quotes_and_newlines.csv", CCsvFile::kDelimited, 3, {2}},
      {"rfc-utf8.csv", CCsvFile::kDelimited, 3, {3}},
      {"access-combined-10000.log", CCsvFile::kAccessLog, 10000, {18}},
      {"access-mixed.log", CCsvFile::kAccessLog, 15, {18, 19}},  // vhost lines have a field more
      {"access-short.log", CCsvFile::kAccessLog, 3, {18}},
      {"access-damaged.log", CCsvFile::kAccessLog, 3, {18}},
      {"sendmail-1.log", CCsvFile::kSendmailLog, 8, {26}},
      {"sendmail-2.log", CCsvFile::kSendmailLog, 8, {26}},
  };
  for (const auto& c : cases) {
    CCsvFile reader;
    ASSERT_TRUE(reader.Open(DataFile("real/") + c.file, "rb")) << c.file;
    reader.QuotePairs = CCsvFile::kImportQuotePairs;
    reader.FileFormat = c.format;
    const std::vector<Record> records = ReadAll(reader);
    EXPECT_EQ(records.size(), c.records) << c.file;
    std::set<size_t> counts;
    for (const Record& r : records) counts.insert(r.size());
    EXPECT_EQ(counts, c.fields) << c.file;
    EXPECT_EQ(RoundTrip(records, ',', "\r\n"), records) << c.file;
  }
}

// Fields of any bytes, made mostly of what quoting is about, written and read back under both
// separators of the export.
TEST(CsvWriting, GeneratedFieldsRoundTrip) {
  static const char* const kPieces[] = {"\"", "'", ",", "\t", " ", "\r", "\n", "\r\n", "\x81\x40", "\xEF\xBB\xBF",
                                        "\x82", "\x81\x22", "\x95\x5C", "\xE3\x80\x90", "a", "\x00"};
  std::mt19937 random(22);
  std::vector<Record> records;
  for (int r = 0; r < 3000; ++r) {
    Record record(1 + random() % 4);
    for (AnsiString& field : record) {
      for (int k = random() % 7; k > 0; --k) {
        if (random() % 3 == 0)
          field.push_back(static_cast<char>(random() % 256));
        else
          field += kPieces[random() % (sizeof kPieces / sizeof kPieces[0])];
      }
    }
    records.push_back(record);
  }
  for (int b = 0; b < 256; ++b) records.push_back({AnsiString(1, static_cast<char>(b)), "x"});
  records.push_back({""});
  for (const char separator : {',', '\t'}) {
    const std::vector<Record> back = RoundTrip(records, separator, "\n");
    ASSERT_EQ(back.size(), records.size());
    for (size_t i = 0; i < records.size(); ++i)
      EXPECT_EQ(back[i], records[i]) << "record " << i << ": " << Shown({records[i]}) << " read " << Shown({back[i]});
  }
}

// Open messages are kept for kCloseAfterLines lines of the log and no longer, so that a long log
// of messages is read in the memory of that many lines.
TEST(CCsvFile, SendmailOpenMessagesStayBounded) {
  const auto line = [](const std::string& id, const char* item) {
    return "Jun  1 10:00:00 m sm-mta[1]: " + id + ": " + item + "\n";
  };
  const int messages = 120000;
  const int within = static_cast<int>(CCsvFile::kCloseAfterLines) - 1000;  // lines before "near" continues
  std::string log = line("near", "from=<n@x>,") + line("far", "from=<f@x>,");
  for (int i = 0; i < messages; ++i) {
    const std::string id = "q" + std::to_string(i);
    log += line(id, "from=<s@x>,") + line(id, "to=<r@y>,");
    if (2 * i + 2 == within) log += line("near", "to=<n@y>,");
  }
  log += line("far", "to=<f@y>,");
  TempDir dir;
  ASSERT_TRUE(WriteFile(dir.File("m.log"), log));
  CCsvFile reader;
  ASSERT_TRUE(reader.Open(dir.File("m.log"), "rb"));
  reader.FileFormat = CCsvFile::kSendmailLog;
  TStringList fields;
  long long heapAtHalf = 0, heapAtEnd = 0;
  std::set<std::string> recipients;
  for (int records = 1;; ++records) {
    fields.Clear();
    if (!reader.ReadRecord(&fields)) break;
    if (fields[12] != "r@y") recipients.insert(fields[12]);
    if (records == messages / 2) heapAtHalf = HeapInUse();
    if (records == messages) heapAtEnd = HeapInUse();
  }
  // "near" continued in time; "far" had been closed when its recipient came.
  EXPECT_EQ(recipients, std::set<std::string>{"n@y"});
  // Another 60,000 messages kept open would take several megabytes.
  EXPECT_LT(heapAtEnd - heapAtHalf, 1LL << 20);
}
