// Records from text files, one at a time as a list of field texts: delimited text (CSV and the
// like), the mail transfer agent's syslog lines and the web server's access log. Also the quoting
// of fields written out as CSV text.
//
// Delimited text (FileFormat 0). Characters are bytes; CR LF reads as LF, a lone CR as CR. A
// UTF-8 byte-order mark at the start of the file is skipped. A Shift_JIS lead byte and the byte
// after it are one character, never a separator, quote or line end, when that byte can be the
// second of a pair (IsSjisTrailByte); otherwise the lead byte stands alone, so UTF-8 text keeps
// its fields and lines. A field:
//   - starts after leading blanks (none are skipped when the separator is the blank);
//   - may begin with a quoted part: a first character equal to the opening character of a quote
//     pair opens one, its pair's closing character ends it, a doubled closing character stands
//     for itself, and separators and line ends inside are kept; text after the part continues
//     the field; a quote anywhere else is an ordinary character (O'Brien, 12" disk);
//   - ends at the separator, at CR or LF (which count as the separator until RowsPerRecord line
//     ends have been met in the record, also when the separator itself is CR or LF) or at the
//     end of the file;
//   - loses blanks and full-width blanks (0x81 0x40) at its end unless they stood in quotes.
// Line ends before a record are skipped. Fields and lines have no length limit.
//
// Access log (FileFormat 2): the delimited reader with the blank as separator, the quote pairs
// "" and [] (the server writes no single quotes as delimiters: an apostrophe in a user or request
// stays in its field) and one row per record; inside a quoted part a backslash escapes the closing
// character and itself (both bytes are kept). A line end always ends the record, also inside a
// quoted part: the log never holds one within a line, so an unpaired quote spoils only its own
// line. The record, in the common and the combined format:
//
//   field  0       1-4    5         6     7                      8     9        10    11
//          client  empty  identity  user  time stamp (no [])     date  weekday  time  zone
//   field  12            13      14    15        16          17         18...
//          request line  status  size  referrer  user agent  file name  fields beyond the 9th
//
// Date and weekday are the text macros' "date" and "dayweek" of the stamp's text before its first
// ':'; time and zone are the rest up to and after the next blank; all four are empty when the
// stamp has no ':', date and weekday when that text is not a day like 10/Oct/2000, time and zone
// when they are missing. A line of the common format has empty fields 15 and 16.
//
// Sendmail log (FileFormat 1): syslog lines "month day hh:mm:ss host tag queue-id item, item, ...",
// kept when the tag begins with "sendmail" or "sm-" (sm-mta, sm-msp-queue, ...). A to= line naming
// several recipients ("to=a,b,c,") counts as one line per recipient. The lines of one queue id
// form a message however far apart they stand: a message's sender (from=) line is kept, and each
// recipient line yields its record when it is read, each check_rcpt reject or "User unknown" line
// one with the sender line as its last line; lines of the message read before its sender line
// wait for it. A message not continued for kCloseAfterLines lines of the log (or the oldest ones,
// while the lines kept pass kGatherBytes) is closed, and so is every message at the end of the
// file; a message that never had a sender line then yields a record for each pairing of a reject
// or unknown user with a later line of it. The record has 26 fields:
//
//   field  0      1     2      3        4         5     6-11           12-17          18-22  23    24     25
//          kind   year  mm/dd  weekday  hh:mm:ss  host  first address  second address relay  size  msgid  file name
//
//   kind            time of    first address        second address          relay tried first
//   "送信" (sent)   recipient  from= of the sender   to= of the recipient    recipient line
//   "受信"          recipient  from= of the sender   to= of the recipient    sender line
//   "Access denied" reject     item of the last line arg1= of the reject     last line
//   "User unknown"  unknown    item of the last line address of the unknown  last line
//
// The host is that of the recipient or last line; the size and message id are the sender line's
// (a reject or unknown record takes the last line's size and has no message id). A recipient line
// whose second item is ctladdr= makes a sent record, any other a received one. An address
// is six fields (address, local part, domain, and the domain's last three labels from the right),
// a relay five (bracketed address, host name, the host's last three labels). The year is that of
// the time of opening, one less for a month after the month of opening.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <deque>
#include <memory>
#include <string_view>

#include "platform/Classes.h"

class TCvStrMacro;

// Reader of one text file. Owns the open file, its read buffer, the log readers' line window and
// the evaluator of the access log's date fields. One thread at a time.
class CCsvFile {
 public:
  static constexpr int kDelimited = 0;
  static constexpr int kSendmailLog = 1;
  static constexpr int kAccessLog = 2;
  // The quote pairs of an import from the CSV import dialog: double quotes and single quotes.
  static constexpr const char* kImportQuotePairs = "\"\"''";
  // A sendmail message is closed once this many lines of the log have passed without one of its
  // own, or earlier, oldest first, while the lines kept of open messages pass kGatherBytes; one
  // without a sender line is also closed when it holds kHeldLines lines.
  static constexpr uint64_t kCloseAfterLines = 100000;
  static constexpr size_t kGatherBytes = size_t(16) << 20;
  static constexpr size_t kHeldLines = 1000;

  CCsvFile();
  ~CCsvFile();
  CCsvFile(const CCsvFile&) = delete;
  CCsvFile& operator=(const CCsvFile&) = delete;

  // Opens the file with the C runtime's mode text ("rb"); false when it does not open. Forgets
  // whatever an earlier file left behind and records the local time of opening.
  bool Open(const AnsiString& path, const char* mode);
  // Appends the next record's fields (the access-log reader clears the list first); false at the
  // end of the input.
  bool ReadRecord(TStrings* fields);

  // The name of the open file without its folder: what follows the last "/", "\" or ":".
  const AnsiString& FileName() const { return fileName_; }

  // Set by the caller after Open. The access-log reader leaves "," and one double-quote pair.
  char Separator = ',';
  AnsiString QuotePairs = "\"\"";  // opening and closing character of each pair, in turn
  int RowsPerRecord = 1;
  int FileFormat = kDelimited;
  // Local time of Open; it decides the year of every sendmail time stamp.
  std::tm OpenTime{};

 private:
  // CR LF reads as LF, also when the CR was pushed back.
  int GetChar() {
    const int c = TakeChar();
    if (c != '\r') return c;
    const int next = TakeChar();
    if (next == '\n') return '\n';
    UngetChar(next);
    return '\r';
  }
  int TakeChar() { return pushCount_ > 0 ? pushed_[--pushCount_] : NextByte(); }
  int NextByte() { return next_ < end_ ? *next_++ : Refill(); }
  int Refill();
  void UngetChar(int c) {
    if (pushCount_ < kPushBack) pushed_[pushCount_++] = c;
  }
  void Close();

  // One field into `field`; answers what ended it: the separator, LF or CR, or -1 at the end.
  int ReadField(AnsiString& field);
  bool ReadCsvRecord(TStrings* fields);
  bool ReadApacheRecord(TStrings* fields);
  bool ReadSendmailRecord(TStrings* fields);

  // One line without its line end; false at the end of the file when nothing was read.
  bool ReadLine(AnsiString& line);
  // Appends the 26 fields of the record that first line f and member l make; false for none.
  bool ParseSendmailMessage(TStrings* fields, const AnsiString& f, const AnsiString& l);
  void AddDateTime(TStrings* fields, std::string_view line) const;
  void AddAccessLogDate(const AnsiString& dateText, AnsiString& date, AnsiString& weekday);

  // 0-11 for a month's three-letter English name in any case; -1 for any other text.
  static int MonthOfName(std::string_view name);
  // Token n of a log line (blank-separated, blanks before a token skipped, double-byte pairs
  // never split). The token just past the last one is the empty text; beyond it, false.
  static bool GetToken(std::string_view line, int n, std::string_view& token);
  struct LineTokens;  // the first tokens of a line, found in one pass
  // -1 no token 6, 1 from=, 2 to=, 3 ruleset=check_rcpt, 4 "User" as token 7, 0 any other.
  static int GetLineKind(const LineTokens& tokens);
  static int GetLineKind(std::string_view line);
  // Commas in the value of " to=" up to the next blank.
  static int CountRecipients(std::string_view line);
  // Appends one copy of the line per recipient of its " to=" value.
  static void SplitRecipients(std::string_view line, std::deque<AnsiString>& out);
  // The field groups of a record; a null token is a missing one.
  static void AddToken(TStrings* fields, const std::string_view* token);
  static void AddAddress(TStrings* fields, const std::string_view* token);
  static void AddDomainLabels(TStrings* fields, std::string_view domain);
  static void AddRelay(TStrings* fields, std::string_view first, std::string_view other);
  static void AddSize(TStrings* fields, const std::string_view* token);
  static void AddMessageId(TStrings* fields, const std::string_view* token);

  static constexpr int kPushBack = 8;
  // A field or line buffer grown past this by one long text is given back rather than kept.
  static constexpr size_t kKeptCapacity = 1 << 20;

  AnsiString fileName_;
  std::FILE* file_ = nullptr;
  std::unique_ptr<unsigned char[]> buffer_;
  const unsigned char* next_ = nullptr;
  const unsigned char* end_ = nullptr;
  int pushed_[kPushBack] = {};
  int pushCount_ = 0;
  std::unique_ptr<TCvStrMacro> evaluator_;
  struct Messages;  // the sendmail messages being gathered
  struct MessagesDeleter {
    void operator()(Messages* messages) const;
  };
  std::unique_ptr<Messages, MessagesDeleter> messages_;
  int lineEnds_ = 0;     // line ends met in the current delimited record
  bool logLine_ = false;  // access log: backslash escapes in quoted parts; every line end ends the record
  AnsiString field_;     // reused field buffer
  AnsiString line_;      // reused line buffer
  AnsiString lastDateText_, lastDate_, lastWeekday_;  // access-log date of the previous line
};

// The field as CSV, written so that the reader gives it back unchanged: enclosed in double quotes,
// its double quotes doubled, when it holds a blank, a comma, a double quote, an apostrophe, LF,
// CR or tab, begins or ends with a full-width blank, or begins with a UTF-8 byte-order mark;
// otherwise unchanged. Characters are found with the reader's lead-byte rule. Inside the quotes a
// CR before LF is written twice, as CR LF would read back as LF.
AnsiString QuoteCsvField(const AnsiString& text);
// Every field through QuoteCsvField, joined by the separator; a record of one empty field is
// written as "" so that it is not read as an empty line.
AnsiString JoinCsvFields(const TStrings* fields, char separator);
