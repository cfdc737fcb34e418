// Reading speed of the text-file reader: a CSV file, an access log and a sendmail log of the given
// number of lines (default 20000), generated first into a temporary folder; only the reading is
// timed. Usage: csv_read_bench [lines]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "query/CsvFile.h"

namespace {

// A small deterministic generator, the same on every machine.
struct Random {
  unsigned long long state = 88172645463325252ULL;
  unsigned Next(unsigned n) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<unsigned>(state % n);
  }
};

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Eight columns of about 68 bytes a row: numbers, names, a quoted text with a comma and a doubled
// quote now and then, Shift_JIS text (with 0x5C trail bytes), a date and a real.
void WriteCsv(std::FILE* f, long lines, Random& r) {
  static const char* const kNames[] = {"Tanaka", "Suzuki", "Sato", "Takahashi", "Ito", "Watanabe"};
  static const char* const kTexts[] = {"\x95\x5C\x8E\xA6", "\x83\x5C\x83\x74\x83\x67", "\x93\x8C\x8B\x9E",
                                       "\x91\xE5\x8D\xE3"};
  for (long i = 0; i < lines; ++i) {
    const char* quoted = r.Next(10) == 0 ? "\"note, with \"\"quotes\"\"\"" : "plain note";
    std::fprintf(f, "%ld,%s,%s,%s,%u,2024/%02u/%02u,%u.%02u,%s\r\n", i + 1, kNames[r.Next(6)], quoted,
                 kTexts[r.Next(4)], r.Next(100000), 1 + r.Next(12), 1 + r.Next(28), r.Next(10000), r.Next(100),
                 r.Next(2) ? "yes" : "no");
  }
}

void WriteAccessLog(std::FILE* f, long lines, Random& r) {
  static const char* const kPaths[] = {"/", "/index.html", "/img/logo.png", "/search?q=a+b", "/api/v1/items/42"};
  static const char* const kAgents[] = {"Mozilla/5.0 (X11; Linux x86_64) Gecko/20100101 Firefox/115.0",
                                        "curl/7.88.1", "Agent \\\"quoted\\\" 1.0"};
  for (long i = 0; i < lines; ++i) {
    const long minute = i / 50;
    const unsigned day = 1 + static_cast<unsigned>(minute / 1440 % 28);
    if (r.Next(5) == 0) {  // common format
      std::fprintf(f, "192.0.2.%u - - [%02u/%s/2024:%02ld:%02ld:%02u +0900] \"GET %s HTTP/1.1\" %u %u\n",
                   r.Next(255), day, kMonths[minute / 40320 % 12], minute / 60 % 24, minute % 60, r.Next(60),
                   kPaths[r.Next(5)], r.Next(2) ? 200 : 404, r.Next(50000));
    } else {
      std::fprintf(f,
                   "198.51.100.%u - user%u [%02u/%s/2024:%02ld:%02ld:%02u +0900] \"GET %s HTTP/1.1\" 200 %u "
                   "\"https://www.example.com/start.html\" \"%s\"\n",
                   r.Next(255), r.Next(100), day, kMonths[minute / 40320 % 12], minute / 60 % 24, minute % 60,
                   r.Next(60), kPaths[r.Next(5)], r.Next(50000), kAgents[r.Next(3)]);
    }
  }
}

// Messages of a sender line and one to three recipient lines, two messages at a time interleaved,
// now and then with a TLS line or a recipient line naming two recipients.
void WriteSendmailLog(std::FILE* f, long lines, Random& r) {
  long written = 0;
  for (long m = 0; written < lines; m += 2) {
    std::string pending[2];
    for (int k = 0; k < 2; ++k) {
      const long id = m + k;
      char head[96];
      std::snprintf(head, sizeof head, "%s %2ld %02ld:%02ld:%02ld mx sendmail[%ld]: q%08lX: ", kMonths[id / 100000 % 12],
                    1 + id / 4000 % 28, id / 160 % 24, id / 3 % 60, id % 60, 1000 + id % 30000, id);
      std::string& text = pending[k];
      if (r.Next(8) == 0) text += std::string(head) + "STARTTLS=server, relay=mx.example.org, version=TLSv1.3\n";
      text += std::string(head) + "from=<sender" + std::to_string(id % 977) +
                "@example.com>, size=" + std::to_string(r.Next(100000)) +
                ", class=0, nrcpts=1, msgid=<" + std::to_string(id) +
                "@example.com>, proto=ESMTP, daemon=MTA, relay=mail.example.com. [192.0.2.10]\n";
      for (unsigned n = 1 + r.Next(3), i = 0; i < n; ++i) {
        const bool two = r.Next(10) == 0;
        text += std::string(head) + "to=<user" + std::to_string(r.Next(5000)) + "@example.jp>," +
                  (two ? "<other@example.jp>," : "") +
                  " ctladdr=<sender@example.com> (1000/1000), delay=00:00:01, xdelay=00:00:01, mailer=esmtp, "
                  "relay=mx.example.jp. [198.51.100.7], dsn=2.0.0, stat=Sent (ok)\n";
      }
    }
    // Merge the two messages' lines: first line of each, then the rest alternately.
    size_t at[2] = {0, 0};
    for (int turn = 0; at[0] < pending[0].size() || at[1] < pending[1].size(); turn ^= 1) {
      std::string& p = pending[turn];
      if (at[turn] >= p.size()) continue;
      const size_t end = p.find('\n', at[turn]) + 1;
      std::fwrite(p.data() + at[turn], 1, end - at[turn], f);
      at[turn] = end;
      ++written;
    }
  }
}

struct Result {
  long records = 0;
  long fields = 0;
  double seconds = 0;
};

Result ReadAll(const std::string& path, int format) {
  Result result;
  CCsvFile reader;
  if (!reader.Open(path, "rb")) {
    std::fprintf(stderr, "cannot open %s\n", path.c_str());
    std::exit(1);
  }
  reader.FileFormat = format;
  std::tm opened{};
  opened.tm_year = 124;
  opened.tm_mon = 11;
  reader.OpenTime = opened;
  TStringList fields;
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    fields.Clear();
    if (!reader.ReadRecord(&fields)) break;
    ++result.records;
    result.fields += fields.Count();
  }
  result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const long lines = argc > 1 ? std::atol(argv[1]) : 20000;
  if (lines <= 0) {
    std::fprintf(stderr, "usage: %s [lines]\n", argv[0]);
    return 2;
  }
  char folder[] = "/tmp/csv_read_bench.XXXXXX";
  if (!mkdtemp(folder)) return 1;
  struct Format {
    const char* name;
    int format;
    void (*write)(std::FILE*, long, Random&);
  } formats[] = {
      {"csv", CCsvFile::kDelimited, WriteCsv},
      {"access_log", CCsvFile::kAccessLog, WriteAccessLog},
      {"sendmail_log", CCsvFile::kSendmailLog, WriteSendmailLog},
  };
  for (const Format& f : formats) {
    const std::string path = std::string(folder) + "/" + f.name;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return 1;
    Random random;
    f.write(out, lines, random);
    std::fclose(out);
    const Result r = ReadAll(path, f.format);
    std::remove(path.c_str());
    std::printf("figure %s_read_seconds %.3f s\n", f.name, r.seconds);
    std::printf("figure %s_records %ld records\n", f.name, r.records);
    std::printf("figure %s_lines_per_second %.0f lines/s\n", f.name, r.seconds > 0 ? lines / r.seconds : 0.0);
  }
  rmdir(folder);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_mb %.1f\n", usage.ru_maxrss / 1024.0);
  return 0;
}
