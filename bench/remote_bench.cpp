// Tables on a record server against local tables, on the same work in one process: N inserts of
// a record of four columns (a unique code, a number, a Japanese name, a note), then N equality
// look-ups on the indexed code column, each reading the record it finds. The server runs on a
// thread of this process on the loopback interface and keeps its tables as local ones, so the
// ratio is the cost of the protocol: the requests, the field texts and the round trips (a look-up
// is four of them: ClearCond, AddCond, AddCondEnd, GetRec). Both character codes are measured.
//
//   remote_bench [records]   (default 1000)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "foundation/LogForm.h"
#include "store/CondOp.h"
#include "store/KvRecord.h"
#include "tests/support/RecordServer.h"

namespace {

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "remote_bench: %s failed\n", what);
  std::exit(1);
}

AnsiString Code(int i) { return Format("K%07d", (i * 7919) % 10000019); }

struct Times {
  double insert = 0, lookup = 0;
};

// The whole work on one table; its two times.
Times Run(const AnsiString& name, int n) {
  static const AnsiString names[] = {Utf8ToSjis("佐藤 花子"), Utf8ToSjis("鈴木 一郎"), Utf8ToSjis("ｻﾄｳ ﾊﾅｺ")};
  std::unique_ptr<CKvRecord> t(CreateKvRecord(name));
  if (!t || !t->OpenOrCreate()) Die("open");
  if (!t->AddColumn("code", kvrString, 20) || !t->AddColumn("num", kvrSigned, 0) ||
      !t->AddColumn("name", kvrString, 40) || !t->AddColumn("note", kvrString, 40))
    Die("columns");
  t->Close();
  if (t->Open() < 0) Die("reopen");
  TStringList columns, texts;
  for (const char* c : {"code", "num", "name", "note"}) columns.Add(c);
  Times times;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i) {
    texts.Clear();
    texts.Add(Code(i));
    texts.Add(IntToStr(i % 1000 - 500));
    texts.Add(names[i % 3]);
    texts.Add(Format("note, \"%d\"", i));
    if (!t->Insert(columns, texts)) Die("insert");
  }
  times.insert = Seconds(start);
  CKvrValueList values;
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i) {
    const int k = int((uint64_t(i) * 2654435761u) % uint64_t(n));
    t->ClearCond();
    t->AddCond("code", COND_EQL, Code(k));
    t->AddCondEnd();
    if (!t->GetRec(values) || values.GetAt(1)->GetText() != Code(k)) Die("look-up");
  }
  times.lookup = Seconds(start);
  t->Close();
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 1000;
  if (n < 1) Die("record count");
  ErrorQuiet = true;
  char pattern[] = "/tmp/cw_remote_bench_XXXXXX";
  if (!mkdtemp(pattern)) Die("temporary folder");
  const std::string folder = pattern;

  std::printf("figure records %d count\n", n);
  const Times local = Run(folder + "/local.kvr", n);
  std::printf("figure local_insert %.3f s\n", local.insert);
  std::printf("figure local_lookup %.3f s\n", local.lookup);
  for (const char* code : {"sjis", "euc"}) {
    RecordServer server(folder, code);
    const Times remote = Run(server.TableName(Format("remote_%s.kvr", code)), n);
    std::printf("figure server_%s_insert %.3f s\n", code, remote.insert);
    std::printf("figure server_%s_lookup %.3f s\n", code, remote.lookup);
    std::printf("ratio insert_%s %.3f\n", code, remote.insert / local.insert);
    std::printf("ratio lookup_%s %.3f\n", code, remote.lookup / local.lookup);
  }
  std::filesystem::remove_all(folder);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_mb %.1f\n", usage.ru_maxrss / 1024.0);
  return 0;
}
