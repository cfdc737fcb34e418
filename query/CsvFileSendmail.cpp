// The mail transfer agent's syslog lines: reading kept lines, gathering the lines of each message
// by its queue id and building records from them (layout in CsvFile.h).
//
// Invariants of the open messages: a message holds either its sender line or the lines read so far
// that may still make records (none of kind from=); every open message stands once in the list
// of last continuation, oldest first; `bytes` counts the lines they keep.
#include <algorithm>
#include <initializer_list>
#include <unordered_map>
#include <utility>
#include <vector>

#include "foundation/StrMacro.h"
#include "query/CsvFile.h"

namespace {

constexpr size_t kOtherLinesPassed = 9;  // lines of other messages a gathering looks past
constexpr int kQueueIdToken = 5;
constexpr int kItemToken = 6;  // the first name=value item

enum LineKind { kNoItem = -1, kOther = 0, kFrom = 1, kTo = 2, kReject = 3, kUnknownUser = 4 };

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// First position at or after `from` holding one of the bytes of `set`, double-byte pairs skipped
// (a lead byte pairs only with a byte that can follow it); the length of the text when none does.
size_t FindSingleByte(std::string_view text, std::string_view set, size_t from = 0) {
  for (size_t i = from; i < text.size(); ++i) {
    if (IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() &&
        IsSjisTrailByte(static_cast<unsigned char>(text[i + 1]))) {
      ++i;
      continue;
    }
    for (const char c : set)
      if (text[i] == c) return i;
  }
  return text.size();
}

AnsiString Text(std::string_view v) { return AnsiString(v.data(), v.size()); }

AnsiString WeekdayName(int weekday) {
  static const char* const kNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  return weekday >= 0 && weekday <= 6 ? kNames[weekday] : "";
}

// Two digits of a calendar field (0-99), as "%02d" writes them.
void AppendTwoDigits(AnsiString& out, long long v) {
  out.push_back(static_cast<char>('0' + v / 10));
  out.push_back(static_cast<char>('0' + v % 10));
}

// Texts of the form "nn", "nn/nn" or "nn:nn:nn" from fields of 0-99.
AnsiString TwoDigitFields(std::initializer_list<long long> values, char separator) {
  AnsiString out;
  for (const long long v : values) {
    if (!out.empty()) out.push_back(separator);
    AppendTwoDigits(out, v);
  }
  return out;
}

bool IsScanSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// As scanf's "%d": white space, an optional sign, decimal digits; false without a digit or
// outside the int range.
bool ScanInt(std::string_view text, size_t& at, int& value) {
  size_t i = at;
  while (i < text.size() && IsScanSpace(text[i])) ++i;
  const bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return false;
  long long v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10 + (text[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) return false;
  value = static_cast<int>(v);
  at = i;
  return true;
}

// The address in a token: after its first '=' (the whole token when it has none or nothing
// follows it), without a leading '<', up to the first '>', ',' or blank.
std::string_view AddressOf(std::string_view token) {
  const size_t equals = FindSingleByte(token, "=");
  if (equals + 1 < token.size()) token.remove_prefix(equals + 1);
  if (!token.empty() && token.front() == '<') token.remove_prefix(1);
  return token.substr(0, FindSingleByte(token, ">, "));
}

// Start and end of the recipient list of the line's " to=" item; false when it has none.
bool RecipientList(std::string_view line, size_t& start, size_t& end) {
  const size_t at = line.find(" to=");
  if (at == std::string_view::npos) return false;
  start = at + 4;
  end = FindSingleByte(line, " ", start);
  return true;
}

}  // namespace

int CCsvFile::MonthOfName(std::string_view name) {
  static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  const AnsiString upper = UpperCase(Text(name));
  for (int i = 0; i < 12; ++i)
    if (upper == kMonths[i]) return i;
  return -1;
}

bool CCsvFile::GetToken(std::string_view line, int n, std::string_view& token) {
  size_t i = 0;
  for (int k = 0;; ++k) {
    while (i < line.size() && line[i] == ' ') ++i;
    const size_t end = FindSingleByte(line, " ", i);
    if (k == n) {
      token = line.substr(i, end - i);
      return true;
    }
    if (i >= line.size()) return false;
    i = end;
  }
}

struct CCsvFile::LineTokens {
  static constexpr int kMax = 11;  // up to the message id, token 10
  explicit LineTokens(std::string_view line) {
    for (size_t i = 0; count < kMax; ++count) {
      while (i < line.size() && line[i] == ' ') ++i;
      if (i >= line.size()) break;
      const size_t end = FindSingleByte(line, " ", i);
      tokens[count] = line.substr(i, end - i);
      i = end;
    }
  }
  // Token n (n < kMax) as GetToken gives it, or null.
  const std::string_view* At(int n) const {
    static const std::string_view empty;
    return n < count ? &tokens[n] : n == count ? &empty : nullptr;
  }
  std::string_view tokens[kMax];
  int count = 0;
};

int CCsvFile::GetLineKind(const LineTokens& tokens) {
  const std::string_view* item = tokens.At(kItemToken);
  if (!item) return kNoItem;
  if (StartsWith(*item, "from=")) return kFrom;
  if (StartsWith(*item, "to=")) return kTo;
  if (StartsWith(*item, "ruleset=check_rcpt")) return kReject;
  const std::string_view* next = tokens.At(kItemToken + 1);
  if (next && *next == "User") return kUnknownUser;
  return kOther;
}

int CCsvFile::GetLineKind(std::string_view line) { return GetLineKind(LineTokens(line)); }

int CCsvFile::CountRecipients(std::string_view line) {
  size_t start, end;
  if (!RecipientList(line, start, end)) return 0;
  int commas = 0;
  for (size_t i = FindSingleByte(line, ",", start); i < end; i = FindSingleByte(line, ",", i + 1)) ++commas;
  return commas;
}

// Each recipient ends with its comma; a last one without a comma is a recipient too, and an empty
// one (",,") is none.
void CCsvFile::SplitRecipients(std::string_view line, std::deque<AnsiString>& out) {
  size_t start, end;
  if (!RecipientList(line, start, end)) return;
  const std::string_view list = line.substr(0, end);
  for (size_t from = start; from < end;) {
    const size_t comma = FindSingleByte(list, ",", from);
    const size_t next = comma < end ? comma + 1 : end;
    if (comma > from) {
      AnsiString copy;
      copy.reserve(start + (next - from) + (line.size() - end));
      copy.append(line.data(), start);
      copy.append(line.data() + from, next - from);
      copy.append(line.data() + end, line.size() - end);
      out.push_back(std::move(copy));
    }
    from = next;
  }
}

// Runs of plain bytes are copied straight from the read buffer; line ends, pushed-back
// characters and refills go through GetChar.
bool CCsvFile::ReadLine(AnsiString& line) {
  line.clear();
  bool read = false;
  for (;;) {
    if (pushCount_ == 0) {
      const unsigned char* p = next_;
      while (p < end_ && *p != '\n' && *p != '\r') ++p;
      if (p != next_) {
        line.append(reinterpret_cast<const char*>(next_), static_cast<size_t>(p - next_));
        next_ = p;
        read = true;
      }
    }
    const int c = GetChar();
    if (c < 0) return read;
    if (c == '\n' || c == '\r') return true;
    line.push_back(static_cast<char>(c));
    read = true;
  }
}

struct CCsvFile::Messages {
  // Lines read before the sender line that can still make a record: recipients, rejects and
  // unknown users, and after a reject or unknown user every line, which may be its last line.
  struct Held {
    std::vector<AnsiString> lines;
    bool reject = false;  // lines holds a reject or unknown user
  };
  struct Message {
    AnsiString sender;  // what records read of the from= line (Essentials); empty until it comes
    std::unique_ptr<Held> held;
    uint64_t last = 0;  // number of the message's last line
    Message* older = nullptr;
    Message* newer = nullptr;
    const AnsiString* id = nullptr;  // the key it is filed under
  };

  // Brings the message to the newest end of the list, continued at line `line`.
  void Touch(Message& m, uint64_t line) {
    Unlink(m);
    m.older = newest;
    (newest ? newest->newer : oldest) = &m;
    newest = &m;
    m.last = line;
  }
  void Unlink(Message& m) {
    if (m.older || oldest == &m) {
      (m.older ? m.older->newer : oldest) = m.newer;
      (m.newer ? m.newer->older : newest) = m.older;
    }
    m.older = m.newer = nullptr;
  }
  static size_t Cost(const AnsiString& line) { return line.size() + sizeof(AnsiString); }
  // What records read of a sender line: its tokens 3 (host), 6 (address), 7 (size) and 10
  // (message id) in their places, the other tokens of the first eleven as "-", and the text from
  // its first "relay=" on. Open messages keep their sender lines, so they keep them small.
  static AnsiString Essentials(std::string_view line);

  // Files a kept line of one recipient with its message, queueing the records it completes.
  void File(AnsiString line);
  // Queues the records of a message without a sender line and closes the message.
  void Close(Message& m);

  std::unordered_map<AnsiString, Message> byId;
  Message* oldest = nullptr;
  Message* newest = nullptr;
  size_t bytes = 0;    // Cost of the kept lines of the open messages
  uint64_t lines = 0;  // lines of the log read
  // First and last line of each record still to build, in order.
  std::deque<std::pair<AnsiString, AnsiString>> pending;
  std::deque<AnsiString> split;  // the recipients of the line being filed
};

void CCsvFile::MessagesDeleter::operator()(Messages* messages) const { delete messages; }

AnsiString CCsvFile::Messages::Essentials(std::string_view line) {
  const LineTokens tokens(line);
  if (tokens.count == 0) return Text(line);
  const std::string_view& lastToken = tokens.tokens[tokens.count - 1];
  const size_t spanEnd = static_cast<size_t>(lastToken.data() + lastToken.size() - line.data());
  const size_t relay = line.find("relay=");
  // A relay inside the first tokens would be cut from the text after it.
  if (relay < spanEnd) return Text(line);
  AnsiString out;
  for (int n = 0; n < tokens.count; ++n) {
    if (n > 0) out.push_back(' ');
    if (n == 3 || n == kItemToken || n == 7 || n == 10)
      out.append(tokens.tokens[n]);
    else
      out.push_back('-');
  }
  if (relay != std::string_view::npos) {
    out.push_back(' ');
    out.append(line.substr(relay));
  }
  return out;
}

namespace {

// Queues the record that line `line` of kind `kind` makes with its message's sender line, as
// first and last line; a line of any other kind makes none.
void PairWithSender(int kind, const AnsiString& sender, AnsiString line,
                    std::deque<std::pair<AnsiString, AnsiString>>& pending) {
  if (kind == kTo)
    pending.emplace_back(sender, std::move(line));
  else if (kind == kReject || kind == kUnknownUser)
    pending.emplace_back(std::move(line), sender);
}

}  // namespace

// A message without a sender line pairs its first line with its last while the line before the
// last is of the last's kind, then drops the first; a first line that is neither a reject nor an
// unknown user makes no record. The message leaves the open ones.
void CCsvFile::Messages::Close(Message& m) {
  static const std::vector<AnsiString> none;
  const std::vector<AnsiString>& lines = m.held ? m.held->lines : none;
  for (size_t head = 0, end = lines.size(); end - head >= 2;) {
    const int firstKind = GetLineKind(lines[head]);
    const bool built = firstKind == kReject || firstKind == kUnknownUser;
    if (built) pending.emplace_back(lines[head], lines[end - 1]);
    if (built && end - head >= 3 && GetLineKind(lines[end - 1]) == GetLineKind(lines[end - 2]))
      --end;
    else
      ++head;
  }
  bytes -= m.sender.empty() ? 0 : Cost(m.sender);
  for (const AnsiString& line : lines) bytes -= Cost(line);
  Unlink(m);
  byId.erase(byId.find(*m.id));
}

void CCsvFile::Messages::File(AnsiString line) {
  std::string_view id;
  GetToken(line, kQueueIdToken, id);
  const int kind = GetLineKind(line);
  const auto at = byId.try_emplace(Text(id)).first;
  Message& m = at->second;
  m.id = &at->first;
  if (!m.sender.empty()) {
    Touch(m, lines);
    PairWithSender(kind, m.sender, std::move(line), pending);
    return;
  }
  if (kind == kFrom) {
    Touch(m, lines);
    m.sender = Essentials(line);
    bytes += Cost(m.sender);
    if (m.held) {
      for (AnsiString& held : m.held->lines) {
        bytes -= Cost(held);
        const int heldKind = GetLineKind(held);
        PairWithSender(heldKind, m.sender, std::move(held), pending);
      }
      m.held.reset();
    }
    return;
  }
  // Before a reject or unknown user, only a line that a sender line may still pair with counts.
  if (!(m.held && m.held->reject) && kind != kTo && kind != kReject && kind != kUnknownUser) {
    if (!m.held) byId.erase(at);
    return;
  }
  if (!m.held) {
    m.held = std::make_unique<Held>();
  } else if (m.held->lines.size() >= kHeldLines) {
    Close(m);
    File(std::move(line));
    return;
  }
  Touch(m, lines);
  m.held->reject = m.held->reject || kind == kReject || kind == kUnknownUser;
  bytes += Cost(line);
  m.held->lines.push_back(std::move(line));
}

// Records are queued as lines complete them and handed out one a call; a line of other messages
// or of no message is simply read past.
bool CCsvFile::ReadSendmailRecord(TStrings* fields) {
  if (!messages_) messages_.reset(new Messages);
  Messages& all = *messages_;
  for (;;) {
    while (!all.pending.empty()) {
      const std::pair<AnsiString, AnsiString> pair = std::move(all.pending.front());
      all.pending.pop_front();
      if (ParseSendmailMessage(fields, pair.first, pair.second)) return true;
    }
    if (line_.capacity() > kKeptCapacity) AnsiString().swap(line_);
    if (!ReadLine(line_)) {
      if (!all.oldest) return false;
      while (all.oldest) all.Close(*all.oldest);
      continue;
    }
    ++all.lines;
    while (all.oldest && (all.lines - all.oldest->last > kCloseAfterLines || all.bytes > kGatherBytes))
      all.Close(*all.oldest);
    std::string_view tag;
    if (line_.empty() || !GetToken(line_, 4, tag) || !(StartsWith(tag, "sendmail") || StartsWith(tag, "sm-"))) continue;
    if (CountRecipients(line_) < 2) {
      all.File(line_);
    } else {
      SplitRecipients(line_, all.split);
      for (; !all.split.empty(); all.split.pop_front()) all.File(std::move(all.split.front()));
    }
  }
}

bool CCsvFile::ParseSendmailMessage(TStrings* fields, const AnsiString& f, const AnsiString& l) {
  const LineTokens first(f), last(l);
  const int firstKind = GetLineKind(first);
  if (firstKind == kFrom && GetLineKind(last) == kTo) {
    const std::string_view* item = last.At(kItemToken + 1);
    const bool sent = item && StartsWith(*item, "ctladdr=");
    fields->Add(sent ? SJ("送信") : SJ("受信"));
    AddDateTime(fields, l);
    AddToken(fields, last.At(3));
    AddAddress(fields, first.At(kItemToken));
    AddAddress(fields, last.At(kItemToken));
    if (sent)
      AddRelay(fields, l, f);
    else
      AddRelay(fields, f, l);
    AddSize(fields, first.At(7));
    AddMessageId(fields, first.At(10));
  } else if (firstKind == kReject || firstKind == kUnknownUser) {
    fields->Add(firstKind == kReject ? "Access denied" : "User unknown");
    AddDateTime(fields, f);
    AddToken(fields, last.At(3));
    AddAddress(fields, last.At(kItemToken));
    AddAddress(fields, first.At(firstKind == kReject ? 7 : kItemToken));
    AddRelay(fields, l, f);
    AddSize(fields, last.At(7));
    fields->Add(AnsiString());
  } else {
    return false;
  }
  fields->Add(FileName());
  return true;
}

void CCsvFile::AddDateTime(TStrings* fields, std::string_view line) const {
  size_t at = 0;
  while (at < line.size() && IsScanSpace(line[at])) ++at;
  const size_t nameStart = at;
  while (at < line.size() && !IsScanSpace(line[at])) ++at;
  const std::string_view monthName = line.substr(nameStart, at - nameStart);
  int day, hours, minutes, seconds;
  const auto colon = [&] { return at < line.size() && line[at++] == ':'; };
  if (monthName.empty() || !ScanInt(line, at, day) || !ScanInt(line, at, hours) || !colon() ||
      !ScanInt(line, at, minutes) || !colon() || !ScanInt(line, at, seconds)) {
    for (int i = 0; i < 4; ++i) fields->Add(AnsiString());
    return;
  }
  // The month by its first three letters, January when unknown. A month after the month of
  // opening belongs to the year before (December read in January).
  const int month = monthName.size() < 3 ? 0 : std::max(0, MonthOfName(monthName.substr(0, 3)));
  const long long year = OpenTime.tm_year + 1900LL - (month > OpenTime.tm_mon ? 1 : 0);
  // Out-of-range parts carry over as a calendar does (February 30 is March 1 or 2), without the
  // local zone's daylight-saving gaps.
  const long long secondsOfDay = hours * 3600LL + minutes * 60LL + seconds;
  const long long carry = secondsOfDay >= 0 ? secondsOfDay / 86400 : -((-secondsOfDay + 86399) / 86400);
  const long long rest = secondsOfDay - carry * 86400;
  const long long days = DateToDays(year, month + 1, day) + carry;
  long long outYear;
  int outMonth, outDay;
  DaysToDate(days, outYear, outMonth, outDay);
  AnsiString yearText;
  if (outYear >= 0 && outYear <= 9999) {
    AppendTwoDigits(yearText, outYear / 100);
    AppendTwoDigits(yearText, outYear % 100);
  } else {
    yearText = Format("%04lld", outYear);
  }
  fields->Add(yearText);
  fields->Add(TwoDigitFields({outMonth, outDay}, '/'));
  fields->Add(WeekdayName(static_cast<int>((days % 7 + 7) % 7)));
  fields->Add(TwoDigitFields({rest / 3600, rest / 60 % 60, rest % 60}, ':'));
}

void CCsvFile::AddToken(TStrings* fields, const std::string_view* token) {
  fields->Add(token ? Text(*token) : AnsiString());
}

void CCsvFile::AddAddress(TStrings* fields, const std::string_view* token) {
  if (!token) {
    for (int i = 0; i < 6; ++i) fields->Add(AnsiString());
    return;
  }
  const std::string_view address = AddressOf(*token);
  const size_t at = FindSingleByte(address, "@");
  const std::string_view domain = at < address.size() ? address.substr(at + 1) : std::string_view();
  fields->Add(Text(address));
  fields->Add(Text(address.substr(0, at)));
  fields->Add(Text(domain));
  AddDomainLabels(fields, domain);
}

// The last three labels of the name, from its end; missing ones empty.
void CCsvFile::AddDomainLabels(TStrings* fields, std::string_view domain) {
  std::string_view last[3];  // last[0] the rightmost label
  for (size_t start = 0; !domain.empty();) {
    const size_t dot = FindSingleByte(domain, ".", start);
    last[2] = last[1];
    last[1] = last[0];
    last[0] = domain.substr(start, dot - start);
    if (dot >= domain.size()) break;
    start = dot + 1;
  }
  for (const std::string_view& label : last) fields->Add(Text(label));
}

void CCsvFile::AddRelay(TStrings* fields, std::string_view first, std::string_view other) {
  size_t at = first.find("relay=");
  std::string_view line = first;
  if (at == std::string_view::npos) {
    at = other.find("relay=");
    line = other;
  }
  if (at == std::string_view::npos) {
    for (int i = 0; i < 5; ++i) fields->Add(AnsiString());
    return;
  }
  std::string_view rest = line.substr(at + 6);
  while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  std::string_view host, address;
  if (rest.empty() || rest.front() != '[') {
    const size_t end = FindSingleByte(rest, " ,");
    host = rest.substr(0, end);
    while (!host.empty() && host.back() == '.') host.remove_suffix(1);
    rest.remove_prefix(std::min(end + 1, rest.size()));
  }
  if (!rest.empty() && rest.front() == '[') {
    rest.remove_prefix(1);
    address = rest.substr(0, FindSingleByte(rest, "], "));
  }
  fields->Add(Text(address));
  fields->Add(Text(host));
  AddDomainLabels(fields, host);
}

// The number after "size=" in decimal, without a limit on its digits; empty for anything else.
void CCsvFile::AddSize(TStrings* fields, const std::string_view* token) {
  AnsiString size;
  if (token && StartsWith(*token, "size=")) {
    const std::string_view text = token->substr(5);
    size_t i = 0;
    while (i < text.size() && IsScanSpace(text[i])) ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    const size_t digits = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    if (i > digits) {
      std::string_view number = text.substr(digits, i - digits);
      while (number.size() > 1 && number.front() == '0') number.remove_prefix(1);
      if (negative && number != "0") size.push_back('-');
      size.append(number.data(), number.size());
    }
  }
  fields->Add(size);
}

void CCsvFile::AddMessageId(TStrings* fields, const std::string_view* token) {
  const bool found = token && StartsWith(*token, "msgid=");
  fields->Add(found ? Text(AddressOf(*token)) : AnsiString());
}
