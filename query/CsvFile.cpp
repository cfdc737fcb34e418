// The reader's file, its characters, the delimited format and CSV field writing.
#include "query/CsvFile.h"

#include "foundation/StrMacro.h"

namespace {

constexpr size_t kBufferBytes = 64 * 1024;

bool IsLineEnd(int c) { return c == '\r' || c == '\n'; }

// What follows the last "/", "\" or ":" of the path; a trail byte is never a separator.
AnsiString FileNamePart(const AnsiString& path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsSjisLeadByte(c) && i + 1 < path.size() && IsSjisTrailByte(static_cast<unsigned char>(path[i + 1]))) {
      ++i;
      continue;
    }
    if (c == '/' || c == '\\' || c == ':') start = i + 1;
  }
  return path.substr(start);
}

}  // namespace

CCsvFile::CCsvFile() : evaluator_(std::make_unique<TCvStrMacro>()) {}

CCsvFile::~CCsvFile() { Close(); }

void CCsvFile::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  next_ = end_ = nullptr;
  pushCount_ = 0;
  messages_.reset();
}

bool CCsvFile::Open(const AnsiString& path, const char* mode) {
  Close();
  fileName_ = FileNamePart(path);
  file_ = mode ? std::fopen(path.c_str(), mode) : nullptr;
  if (!file_) return false;
  if (!buffer_) buffer_ = std::make_unique<unsigned char[]>(kBufferBytes);
  // A byte-order mark would otherwise stick to the first field.
  if (Refill() >= 0) {
    --next_;
    if (end_ - next_ >= 3 && next_[0] == 0xEF && next_[1] == 0xBB && next_[2] == 0xBF) next_ += 3;
  }
  const std::time_t now = std::time(nullptr);
  localtime_r(&now, &OpenTime);
  return true;
}

int CCsvFile::Refill() {
  if (!file_) return -1;
  const size_t got = std::fread(buffer_.get(), 1, kBufferBytes, file_);
  if (got == 0) return -1;
  next_ = buffer_.get();
  end_ = next_ + got;
  return *next_++;
}

bool CCsvFile::ReadRecord(TStrings* fields) {
  if (!fields) return false;
  switch (FileFormat) {
    case kSendmailLog:
      return ReadSendmailRecord(fields);
    case kAccessLog:
      return ReadApacheRecord(fields);
    default:
      return ReadCsvRecord(fields);
  }
}

int CCsvFile::ReadField(AnsiString& field) {
  field.clear();
  const int separator = static_cast<unsigned char>(Separator);
  int c = GetChar();
  if (separator != ' ')
    while (c == ' ') c = GetChar();
  int closing = -1;  // closing character of the quoted part being read, -1 outside one
  for (size_t k = 0; k + 1 < QuotePairs.size(); k += 2) {
    if (c == static_cast<unsigned char>(QuotePairs[k])) {
      closing = static_cast<unsigned char>(QuotePairs[k + 1]);
      c = GetChar();
      break;
    }
  }
  // `kept` is the length the field keeps: trailing blanks outside quoted parts are not counted.
  size_t kept = 0;
  for (;; c = GetChar()) {
    if (c < 0) break;
    if (IsSjisLeadByte(static_cast<unsigned char>(c))) {
      const int trail = GetChar();
      field.push_back(static_cast<char>(c));
      if (IsSjisTrailByte(trail)) {
        field.push_back(static_cast<char>(trail));
        if (closing >= 0 || c != 0x81 || trail != 0x40) kept = field.size();
      } else {
        UngetChar(trail);
        kept = field.size();
      }
      continue;
    }
    if (closing >= 0 && !(logLine_ && IsLineEnd(c))) {
      field.push_back(static_cast<char>(c));
      if (c == closing) {
        const int next = GetChar();
        if (next != closing) {  // the end of the quoted part, not a doubled quote
          field.pop_back();
          closing = -1;
          UngetChar(next);
          continue;
        }
      } else if (logLine_ && c == '\\') {
        const int next = GetChar();
        if (next == closing || next == '\\')
          field.push_back(static_cast<char>(next));
        else
          UngetChar(next);
      }
      kept = field.size();
      continue;
    }
    // Line ends come first so that a separator of CR or LF still ends the record.
    if (IsLineEnd(c)) {
      if (++lineEnds_ < RowsPerRecord) c = separator;
      break;
    }
    if (c == separator) break;
    field.push_back(static_cast<char>(c));
    if (c != ' ') kept = field.size();
  }
  field.resize(kept);
  return c;
}

bool CCsvFile::ReadCsvRecord(TStrings* fields) {
  int c = GetChar();
  while (IsLineEnd(c)) c = GetChar();
  if (c < 0) return false;
  UngetChar(c);
  lineEnds_ = 0;
  const int separator = static_cast<unsigned char>(Separator);
  // With CR or LF as the separator, the line end of the record's last row still ends it.
  int end;
  do {
    end = ReadField(field_);
    fields->Add(field_);
  } while (end == separator && !(IsLineEnd(end) && lineEnds_ >= RowsPerRecord));
  if (field_.capacity() > kKeptCapacity) AnsiString().swap(field_);
  return true;
}

// The quoting mirrors the reader: a blank or full-width blank at either end would be trimmed, an
// apostrophe or double quote at the start would open a quoted part, and a byte-order mark at the
// start of a file would be skipped.
AnsiString QuoteCsvField(const AnsiString& text) {
  const size_t n = text.size();
  AnsiString out;
  out.reserve(n + 2);
  bool quote = n >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0;
  for (size_t i = 0; i < n; ++i) {
    const char c = text[i];
    if (IsSjisLeadByte(static_cast<unsigned char>(c)) && i + 1 < n &&
        IsSjisTrailByte(static_cast<unsigned char>(text[i + 1]))) {
      if (c == '\x81' && text[i + 1] == '\x40' && (i == 0 || i + 2 == n)) quote = true;
      out.append(text, i++, 2);
      continue;
    }
    switch (c) {
      case '"':
        out.push_back('"');
        quote = true;
        break;
      case '\r':
        if (i + 1 < n && text[i + 1] == '\n') out.push_back('\r');
        quote = true;
        break;
      case ' ':
      case ',':
      case '\'':
      case '\n':
      case '\t':
        quote = true;
        break;
      default:
        break;
    }
    out.push_back(c);
  }
  return quote ? "\"" + out + "\"" : out;
}

AnsiString JoinCsvFields(const TStrings* fields, char separator) {
  AnsiString line;
  if (!fields) return line;
  if (fields->Count() == 1 && (*fields)[0].empty()) return "\"\"";
  for (int i = 0; i < fields->Count(); ++i) {
    if (i > 0) line.push_back(separator);
    line += QuoteCsvField((*fields)[i]);
  }
  return line;
}
