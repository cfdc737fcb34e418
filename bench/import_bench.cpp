// Imports of generated text files through the database handle, against SQLite on the same CSV.
//
// Three files of N lines are written first: a CSV of eight columns (an id, a date, a code of
// 10,000 values, a category of 20, a real amount, an integer, a Japanese name and a note that is
// now and then quoted), a combined-format access log and a sendmail log. Each is imported through
// CDbHandle::ImportRecords into a table of its own: the worker thread under the progress dialog,
// without a window system, with a modal handler in place of the user. The CSV also goes into
// SQLite: the file parsed by this program, all eight columns indexed, one transaction,
// journal_mode=OFF and synchronous=OFF. Every table column is indexed on both sides. The sendmail
// import must yield one record per recipient that the generator wrote.
//
//   import_bench [lines]   (default 20000)
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "bench/GeneratedLogs.h"
#include "bench/ImportUser.h"
#include "foundation/CvMessageUnit.h"
#include "platform/Forms.h"
#include "platform/Thread.h"
#include "platform/SysUtils.h"
#include "query/CsvFile.h"
#include "query/DbHandle.h"
#include "query/ReadingDlgUnit.h"
#include "store/KorvaCore.h"
#include "store/Kvrvalue.h"

namespace {

// The engine's block cache: with the program's own memory it keeps the run within 64 MB. The
// sendmail reader keeps the sender lines of the messages of the last 100,000 lines, some 10 MB
// of this log.
constexpr size_t kCacheBytes = size_t(26) << 20;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "import_bench: %s\n", what.c_str());
  std::exit(1);
}


// ---- The files ---------------------------------------------------------------------------------

const char* const kSurnames[] = {"佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "山本", "中村", "小林", "加藤",
                                 "吉田", "山田", "佐々木", "山口", "松本", "井上", "木村", "林", "斎藤", "清水"};
const char* const kGivenNames[] = {"太郎", "花子", "一郎", "美咲", "健太", "陽子", "翔", "さくら", "大輔", "由美", "誠", "真由美"};
const char* const kCategories[] = {"食品", "飲料", "日用品", "文具", "家電", "衣料", "書籍", "玩具", "寝具", "食器",
                                   "園芸", "工具", "化粧品", "医薬品", "雑貨", "家具", "靴", "鞄", "時計", "楽器"};
const char* const kNotes[] = {"至急", "確認済", "要連絡", "保留", "返品", "再送", "納期注意", "見積中", "支払済", "未着"};

// Row i of the CSV; a quarter of the rows have a note, some of them "text, with a comma".
void WriteCsv(std::FILE* f, uint64_t lines) {
  std::vector<AnsiString> surnames, given, categories, notes;
  for (const char* s : kSurnames) surnames.push_back(Utf8ToSjis(s));
  for (const char* s : kGivenNames) given.push_back(Utf8ToSjis(s));
  for (const char* s : kCategories) categories.push_back(Utf8ToSjis(s));
  for (const char* s : kNotes) notes.push_back(Utf8ToSjis(s));
  TStringList fields;
  for (int c = 0; c < 8; ++c) fields.Add(AnsiString());
  for (uint64_t i = 0; i < lines; ++i) {
    const uint64_t h = Hash(i);
    fields.SetString(0, UIntToStr(i + 1));
    fields.SetString(1, Format("%04d/%02d/%02d", 2016 + int(h % 9), 1 + int((h >> 4) % 12), 1 + int((h >> 8) % 28)));
    fields.SetString(2, Format("P%05d", int((h >> 13) % 10000)));
    fields.SetString(3, categories[(h >> 27) % categories.size()]);
    fields.SetString(4, Format("%d.%02d", int((h >> 32) % 50000), int((h >> 48) % 100)));
    fields.SetString(5, IntToStr(int((h >> 40) % 1999) - 999));
    fields.SetString(6, surnames[(h >> 51) % surnames.size()] + given[(h >> 56) % given.size()]);
    AnsiString note;
    if ((h >> 60) % 4 == 0) note = notes[(h >> 21) % notes.size()] + ((h >> 17) % 3 == 0 ? ", " : " ") + UIntToStr(h % 100000);
    fields.SetString(7, note);
    const AnsiString line = JoinCsvFields(&fields, ',') + "\n";
    std::fwrite(line.data(), 1, line.size(), f);
  }
}

// Messages of one from= line and one to three to= lines (now and then two recipients on one),
// three messages at a time, their lines interleaved. Counts the recipients of the lines written.
uint64_t g_recipients = 0;
void WriteSendmailLog(std::FILE* f, uint64_t lines) {
  uint64_t written = 0;
  g_recipients = 0;
  std::vector<std::string> open[3];
  std::vector<int> recipients[3];  // of each line of open
  for (uint64_t m = 0; written < lines; ++m) {
    const uint64_t h = Hash(m), t = m / 4;
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%s %2d %02d:%02d:%02d mail sendmail[%d]: %c%07llX: ",
                  kMonthNames[t / 86400 / 28 % 12], int(t / 86400 % 28) + 1, int(t / 3600 % 24), int(t / 60 % 60),
                  int(t % 60), 2000 + int(m % 30000), 'a' + int(m % 26), static_cast<unsigned long long>(m));
    std::vector<std::string>& lines3 = open[m % 3];
    recipients[m % 3].push_back(0);
    lines3.push_back(std::string(stamp) + "from=<user" + std::to_string(h % 4000) + "@sender" +
                     std::to_string((h >> 12) % 60) + ".example.com>, size=" + std::to_string((h >> 20) % 200000) +
                     ", class=0, nrcpts=1, msgid=<" + std::to_string(m) +
                     ".mail@sender.example.com>, proto=ESMTP, daemon=MTA, relay=smtp" +
                     std::to_string((h >> 30) % 20) + ".sender.example.com. [192.0.2." +
                     std::to_string((h >> 30) % 20 + 1) + "]");
    for (int r = 0, n = 1 + int((h >> 36) % 3); r < n; ++r) {
      const bool local = (h >> (40 + r)) % 2 == 0;
      std::string to = "to=<staff" + std::to_string((h >> (44 + 3 * r)) % 300) + "@here.example.jp>,";
      recipients[m % 3].push_back(1);
      if ((h >> (54 + r)) % 8 == 0) {
        to += "<team@here.example.jp>,";
        recipients[m % 3].back() = 2;
      }
      lines3.push_back(std::string(stamp) + to +
                       (local ? " ctladdr=<staff@here.example.jp> (1001/1001), delay=00:00:02, xdelay=00:00:01, "
                                "mailer=local, pri=30745, dsn=2.0.0, stat=Sent"
                              : " delay=00:00:03, xdelay=00:00:02, mailer=esmtp, pri=120345, "
                                "relay=mx.here.example.jp. [198.51.100.25], dsn=2.0.0, stat=Sent (OK queued)"));
    }
    if (m % 3 != 2) continue;
    for (size_t k = 0; written < lines; ++k) {
      bool any = false;
      for (int i = 0; i < 3; ++i) {
        if (k >= open[i].size()) continue;
        std::fprintf(f, "%s\n", open[i][k].c_str());
        g_recipients += uint64_t(recipients[i][k]);
        any = true;
        if (++written == lines) break;
      }
      if (!any) break;
    }
    for (int i = 0; i < 3; ++i) {
      open[i].clear();
      recipients[i].clear();
    }
  }
}

// ---- The handle's side -------------------------------------------------------------------------

struct Import {
  int records = 0;
  double seconds = 0;
  // Counted below the file requests when the phases include "count".
  uint64_t syncs = 0, runs = 0, journalBytes = 0, tableBytes = 0, tableSize = 0;
};

// What keeping the tables whole costs, seen from below the engine's file requests: syncs, runs
// made durable (syncs of the table file) and the bytes written to the journal and to the table.
// Under the hook every read goes alone, so the times of such a run are not the figures to quote.
struct RequestCounts {
  std::atomic<uint64_t> syncs{0}, runs{0}, journalBytes{0}, tableBytes{0};
};
RequestCounts g_counts;
bool g_counting = false;

int CountRequest(const KorvaRequest* r, void*) {
  const bool journal = r->path.size() > 4 && r->path.compare(r->path.size() - 4, 4, ".jnl") == 0;
  if (r->code == kReqSync) {
    ++g_counts.syncs;
    if (!journal) ++g_counts.runs;
  }
  if (r->code == kReqWrite) (journal ? g_counts.journalBytes : g_counts.tableBytes) += uint64_t(r->length);
  return 0;
}

// Makes the table with one column per map entry (all strings unless typed) and imports the file.
Import ImportFile(CDbHandle& handle, const std::string& dir, const char* table, const std::string& file, int format,
                  const std::vector<std::pair<std::string, int>>& columns, const std::vector<char>& types = {}) {
  if (!handle.AddTable(dir + "/" + table + ".kvr", table)) Die("table");
  TStringList map;
  for (size_t c = 0; c < columns.size(); ++c) {
    static const char* const kTypeNames[] = {"", "int", "unsigned", "string", "real", "keyword"};
    const char type = c < types.size() ? types[c] : 3;
    if (!handle.AddColumn(table, columns[c].first, kTypeNames[int(type)], 40)) Die("column");
    map.AddObject(columns[c].first, reinterpret_cast<void*>(intptr_t(columns[c].second)));
  }
  CCsvFile reader;
  if (!reader.Open(file, "rb")) Die("open " + file);
  reader.FileFormat = format;
  if (g_counting) {
    g_counts.syncs = g_counts.runs = g_counts.journalBytes = g_counts.tableBytes = 0;
    db_io_hook(CountRequest, nullptr);
  }
  const auto start = std::chrono::steady_clock::now();
  Import result;
  result.records = handle.ImportRecords(&reader, 0, -1, table, &map);
  result.seconds = Seconds(start);
  db_io_hook(nullptr, nullptr);
  result.syncs = g_counts.syncs;
  result.runs = g_counts.runs;
  result.journalBytes = g_counts.journalBytes;
  result.tableBytes = g_counts.tableBytes;
  std::error_code error;
  result.tableSize = std::filesystem::file_size(dir + "/" + table + ".kvr", error);
  return result;
}

// Plays the user: waits for the import dialog to close itself, and answers every box with OK.
void HandleModal(TForm* form) { AnswerImportDialogs(form, "import_bench"); }

// ---- SQLite's side -----------------------------------------------------------------------------

class SqliteCsv {
 public:
  explicit SqliteCsv(const std::string& path) {
    if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK) Die("sqlite open");
    Exec("PRAGMA journal_mode=OFF");
    Exec("PRAGMA synchronous=OFF");
    Exec("CREATE TABLE t(id INTEGER, date TEXT, code TEXT, category TEXT, amount REAL, qty INTEGER, name TEXT, note TEXT)");
    for (const char* c : {"id", "date", "code", "category", "amount", "qty", "name", "note"})
      Exec(("CREATE INDEX t_" + std::string(c) + " ON t(" + c + ")").c_str());
  }
  ~SqliteCsv() { sqlite3_close(db_); }

  // Reads the file in blocks and parses each line into eight fields: a field in double quotes may
  // hold commas and doubled quotes; blanks are kept. Returns the rows stored.
  uint64_t Import(const std::string& file) {
    std::FILE* f = std::fopen(file.c_str(), "rb");
    if (!f) Die("open " + file);
    Exec("BEGIN");
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(db_, "INSERT INTO t VALUES(?, ?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr) != SQLITE_OK)
      Die("prepare");
    std::vector<char> block(1 << 16);
    std::string field;
    std::vector<std::string> fields;
    bool quoted = false, afterQuote = false;
    uint64_t rows = 0;
    auto endRow = [&] {
      fields.push_back(field);
      field.clear();
      if (fields.size() != 8) Die("csv row");
      sqlite3_bind_int64(insert, 1, std::strtoll(fields[0].c_str(), nullptr, 10));
      for (int c : {1, 2, 3, 6, 7}) sqlite3_bind_text(insert, c + 1, fields[size_t(c)].c_str(), -1, SQLITE_STATIC);
      sqlite3_bind_double(insert, 5, std::strtod(fields[4].c_str(), nullptr));
      sqlite3_bind_int(insert, 6, std::atoi(fields[5].c_str()));
      if (sqlite3_step(insert) != SQLITE_DONE) Die("sqlite insert");
      sqlite3_reset(insert);
      fields.clear();
      ++rows;
    };
    for (size_t got; (got = std::fread(block.data(), 1, block.size(), f)) > 0;) {
      for (size_t i = 0; i < got; ++i) {
        const char c = block[i];
        if (quoted) {
          if (c == '"') {
            quoted = false;
            afterQuote = true;
          } else {
            field += c;
          }
          continue;
        }
        if (c == '"') {
          if (afterQuote) field += '"';  // a doubled quote
          quoted = true;
          afterQuote = false;
          continue;
        }
        afterQuote = false;
        if (c == ',') {
          fields.push_back(field);
          field.clear();
        } else if (c == '\n') {
          endRow();
        } else if (c != '\r') {
          field += c;
        }
      }
    }
    std::fclose(f);
    sqlite3_finalize(insert);
    Exec("COMMIT");
    return rows;
  }

 private:
  void Exec(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Die(sql);
  }
  sqlite3* db_ = nullptr;
};

void Write(const std::string& path, void (*write)(std::FILE*, uint64_t), uint64_t lines) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) Die("create " + path);
  write(f, lines);
  if (std::fclose(f) != 0) Die("write " + path);
}

}  // namespace

int main(int argc, char** argv) {
  const long long arg = argc > 1 ? std::atoll(argv[1]) : 20000;
  // A second argument picks the phases to run (any of "csv", "access", "mail", "sqlite"), for
  // profiling one of them; "count" among them counts the file requests (RequestCounts).
  const std::string only = argc > 2 ? argv[2] : "csv access mail sqlite";
  if (arg <= 0) {
    std::fprintf(stderr, "usage: %s [lines [phases]]\n", argv[0]);
    return 2;
  }
  const uint64_t lines = uint64_t(arg);
  const std::string dir = std::filesystem::temp_directory_path() / ("import-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  // No window system: the application object alone runs the modal dialogs, through the handler.
  SetMainThread();
  Application = new TApplication;
  Application->ModalHandler = HandleModal;
  db_cache_limit(kCacheBytes);

  auto wanted = [&only](const char* phase) { return only.find(phase) != std::string::npos; };
  g_counting = wanted("count");
  Import csv, access, mail;
  double sqliteSeconds = 0;
  uint64_t sqliteRows = lines;
  if (wanted("csv") || wanted("sqlite")) Write(dir + "/rows.csv", WriteCsv, lines);
  {
    CDbHandle handle;
    if (wanted("csv")) {
      csv = ImportFile(handle, dir, "rows", dir + "/rows.csv", CCsvFile::kDelimited,
                       {{"id", 0}, {"date", 1}, {"code", 2}, {"category", 3}, {"amount", 4}, {"qty", 5}, {"name", 6},
                        {"note", 7}},
                       {kvrUnsigned, kvrString, kvrString, kvrString, kvrReal, kvrSigned, kvrString, kvrString});
    }
    if (wanted("access")) {
      Write(dir + "/access.log", WriteAccessLog, lines);
      const std::vector<std::pair<std::string, int>> columns = AccessLogColumns();
      std::vector<char> types(columns.size(), kvrString);
      for (size_t k = 0; k < columns.size(); ++k)
        if (AccessLogIntegerColumn(k)) types[k] = kvrSigned;
      access = ImportFile(handle, dir, "access", dir + "/access.log", CCsvFile::kAccessLog, columns, types);
    }
    if (wanted("mail")) {
      Write(dir + "/mail.log", WriteSendmailLog, lines);
      std::vector<std::pair<std::string, int>> columns;
      for (int k = 0; k < 26; ++k) columns.push_back({Format("f%d", k), k});
      mail = ImportFile(handle, dir, "mail", dir + "/mail.log", CCsvFile::kSendmailLog, columns);
    }
  }
  if (wanted("sqlite")) {
    SqliteCsv sqlite(dir + "/rows.sqlite");
    const auto start = std::chrono::steady_clock::now();
    sqliteRows = sqlite.Import(dir + "/rows.csv");
    sqliteSeconds = Seconds(start);
  }
  std::filesystem::remove_all(dir);
  if ((wanted("csv") && uint64_t(csv.records) != lines) || sqliteRows != lines ||
      (wanted("access") && uint64_t(access.records) != lines))
    Die("records differ: csv " + std::to_string(csv.records) + ", sqlite " + std::to_string(sqliteRows) +
        ", access log " + std::to_string(access.records) + " of " + std::to_string(lines));
  // Every recipient of the generator is one record.
  if (wanted("mail") && uint64_t(mail.records) != g_recipients)
    Die("sendmail records " + std::to_string(mail.records) + " of " + std::to_string(g_recipients) + " recipients");

  std::printf("figure lines %llu count\n", static_cast<unsigned long long>(lines));
  if (wanted("csv")) std::printf("figure csv_import %.3f s\n", csv.seconds);
  if (wanted("sqlite")) std::printf("figure sqlite_csv_import %.3f s\n", sqliteSeconds);
  if (wanted("csv") && wanted("sqlite")) std::printf("ratio csv_import %.3f\n", csv.seconds / sqliteSeconds);
  if (wanted("access")) std::printf("figure access_log_import %.3f s\n", access.seconds);
  if (wanted("mail")) {
    std::printf("figure sendmail_log_recipients %llu count\n", static_cast<unsigned long long>(g_recipients));
    std::printf("figure sendmail_log_records %d count\n", mail.records);
    std::printf("figure sendmail_log_import %.3f s\n", mail.seconds);
  }
  if (g_counting) {
    for (const auto& [name, import] : {std::pair<const char*, const Import&>{"csv", csv}, {"access_log", access},
                                       {"sendmail_log", mail}}) {
      if (import.records == 0) continue;
      std::printf("figure %s_syncs %llu count\n", name, static_cast<unsigned long long>(import.syncs));
      std::printf("figure %s_runs %llu count\n", name, static_cast<unsigned long long>(import.runs));
      std::printf("figure %s_journal_bytes %llu bytes\n", name, static_cast<unsigned long long>(import.journalBytes));
      std::printf("figure %s_table_writes %llu bytes\n", name, static_cast<unsigned long long>(import.tableBytes));
      std::printf("figure %s_table_size %llu bytes\n", name, static_cast<unsigned long long>(import.tableSize));
    }
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_mb %.1f\n", double(usage.ru_maxrss) / 1024.0);
  DoneApplication();
  return 0;
}
