// The web server's access log: one line through the delimited reader, then the time stamp split
// into date, weekday, time and zone and the record brought to its fixed layout (see CsvFile.h).
#include "foundation/StrMacro.h"
#include "query/CsvFile.h"

namespace {

constexpr int kClientFields = 1;    // fields before the four empty ones
constexpr int kStampField = 3;      // the bracketed time stamp, as read
constexpr int kFileNameField = 17;  // the file name; the record has at least this many + 1 fields

// Length of the digits at the start of the text when there are 1 to `most` of them, else 0.
size_t LeadingDigits(std::string_view text, size_t most) {
  size_t n = 0;
  while (n < text.size() && text[n] >= '0' && text[n] <= '9') ++n;
  return n <= most ? n : 0;
}

}  // namespace

// Only a day written as the log writes it (10/Oct/2000) goes to the date functions, which take any
// other text as an offset from today. Lines of one log mostly share their date, so the last one's
// texts are kept.
void CCsvFile::AddAccessLogDate(const AnsiString& dateText, AnsiString& date, AnsiString& weekday) {
  const std::string_view text = dateText;
  const size_t day = LeadingDigits(text, 2);
  const bool isDate = day > 0 && text.size() > day + 5 && text[day] == '/' && text[day + 4] == '/' &&
                      MonthOfName(text.substr(day + 1, 3)) >= 0 &&
                      LeadingDigits(text.substr(day + 5), 4) == text.size() - day - 5;
  if (!isDate) {
    date.clear();
    weekday.clear();
    return;
  }
  if (dateText != lastDateText_ || lastDate_.empty()) {
    TStringList args;
    args.Add(dateText);
    lastDateText_ = dateText;
    lastDate_ = evaluator_->FuncDate(&args);
    lastWeekday_ = evaluator_->FuncDayWeek(&args);
  }
  date = lastDate_;
  weekday = lastWeekday_;
}

bool CCsvFile::ReadApacheRecord(TStrings* fields) {
  Separator = ' ';
  QuotePairs = "\"\"[]";
  RowsPerRecord = 1;
  logLine_ = true;
  fields->Clear();
  const bool read = ReadCsvRecord(fields);
  logLine_ = false;
  Separator = ',';
  QuotePairs = "\"\"";
  if (!read) return false;

  // The four time fields are inserted even when the stamp lacks them, so that every later field
  // keeps its place.
  if (fields->Count() > kStampField) {
    AnsiString date, weekday, time, zone;
    const AnsiString& stamp = (*fields)[kStampField];
    const size_t colon = stamp.find(':');
    if (colon != AnsiString::npos) {
      AddAccessLogDate(stamp.substr(0, colon), date, weekday);
      const size_t blank = stamp.find(' ', colon + 1);
      time = stamp.substr(colon + 1, blank == AnsiString::npos ? AnsiString::npos : blank - colon - 1);
      if (blank != AnsiString::npos) zone = stamp.substr(blank + 1);
    }
    fields->Insert(kStampField + 1, date);
    fields->Insert(kStampField + 2, weekday);
    fields->Insert(kStampField + 3, time);
    fields->Insert(kStampField + 4, zone);
  }
  for (int i = 0; i < 4; ++i) fields->Insert(kClientFields, AnsiString());
  // A line with more fields than the combined format keeps them after the file name.
  if (fields->Count() > kFileNameField) {
    fields->Insert(kFileNameField, FileName());
  } else {
    while (fields->Count() < kFileNameField) fields->Add(AnsiString());
    fields->Add(FileName());
  }
  return true;
}
