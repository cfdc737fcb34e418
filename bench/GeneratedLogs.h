// Generated log files shared by the import benchmarks: every line is made from its number alone,
// so each run and each side of a comparison reads the same file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// splitmix64: the n-th value of a fixed sequence, so every line is made from its number alone.
inline uint64_t Hash(uint64_t n) {
  uint64_t z = n * 0x9e3779b97f4a7c15ULL + 0x632be59bd9b4e5bbULL;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

template <size_t N>
const char* Pick(const char* const (&list)[N], uint64_t h) {
  return list[h % N];
}

inline const char* const kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// One request a line, 20 a second, from 3,000 clients, in the combined format.
inline void WriteAccessLog(std::FILE* f, uint64_t lines) {
  static const char* const kMethods[] = {"GET", "GET", "GET", "POST", "HEAD"};
  static const char* const kPages[] = {"/", "/index.html", "/news/", "/products/list?page=", "/img/banner.png",
                                       "/css/site.css", "/js/app.js", "/search?q=", "/contact.html", "/api/items/"};
  static const char* const kStatus[] = {"200", "200", "200", "200", "304", "404", "301", "500"};
  static const char* const kReferrers[] = {"-", "https://www.example.com/", "https://search.example.net/?q=shop",
                                           "https://www.example.com/news/"};
  static const char* const kAgents[] = {
      "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0 Safari/537.36",
      "Mozilla/5.0 (X11; Linux x86_64; rv:115.0) Gecko/20100101 Firefox/115.0",
      "Mozilla/5.0 (iPhone; CPU iPhone OS 17_1 like Mac OS X) AppleWebKit/605.1.15 Mobile/15E148",
      "curl/7.88.1", "Googlebot/2.1 (+http://www.google.com/bot.html)"};
  for (uint64_t i = 0; i < lines; ++i) {
    const uint64_t h = Hash(i), t = i / 20;
    const uint64_t day = t / 86400;
    std::fprintf(f, "10.%d.%d.%d - %s [%02d/%s/2024:%02d:%02d:%02d +0900] \"%s %s%d HTTP/1.1\" %s %d \"%s\" \"%s\"\n",
                 int(h % 3) + 1, int((h >> 8) % 40), int((h >> 16) % 25) + 1,
                 (h >> 24) % 10 == 0 ? "member" : "-", int(day % 28) + 1, kMonthNames[day / 28 % 12],
                 int(t / 3600 % 24), int(t / 60 % 60), int(t % 60), Pick(kMethods, h >> 28), Pick(kPages, h >> 32),
                 int((h >> 36) % 500), Pick(kStatus, h >> 44), int((h >> 20) % 90000), Pick(kReferrers, h >> 48),
                 Pick(kAgents, h >> 52));
  }
}


// The table columns of an access-log import and the record field each takes: fields 1-4 of a
// record are always empty, the rest each have a column. Status and size are integers.
inline std::vector<std::pair<std::string, int>> AccessLogColumns() {
  std::vector<std::pair<std::string, int>> columns;
  for (const char* c : {"client", "identity", "user", "stamp", "date", "weekday", "time", "zone", "request", "status",
                        "size", "referrer", "agent", "file"})
    columns.push_back({c, columns.empty() ? 0 : int(columns.size()) + 4});
  return columns;
}
inline bool AccessLogIntegerColumn(size_t k) { return k == 9 || k == 10; }
