// Record tables that outlive the process writing them: killed at any moment, stopped by a power
// loss at any request, or refused one request by the disk. Each time the table must open, pass
// its check, hold exactly the records of some run that ended, and answer every look-up through an
// index as its record bodies say.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <map>
#include <ostream>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "store/CondOp.h"
#include "store/KorvaCore.h"
#include "tests/store/KorvaTestFiles.h"
#include "tests/store/KvRecordTestSupport.h"

namespace {

// ---- The workload: runs of inserts with one change each ----------------------------------------

constexpr int kPerRun = 12;
constexpr int kCatColumn = 3, kNoteColumn = 4;

struct Row {
  AnsiString n, cat, note;
  bool operator==(const Row&) const = default;
};
using Rows = std::map<AnsiString, Row>;  // by the unique text k

void PrintTo(const Row& r, std::ostream* os) { *os << "{" << r.n << ", " << Show(r.cat) << ", " << Show(r.note) << "}"; }

AnsiString RowKey(int n) { return Format("r%05d", n); }

AnsiString Cat(int n) {
  static const AnsiString* cats[] = {&SJ("赤"), &SJ("青"), &SJ("緑"), &SJ("黄"), &SJ("白")};
  return *cats[n % 5];
}

// Empty, short, or a Shift_JIS text of 300 to 700 bytes.
AnsiString Note(int n) {
  if (n % 4 == 1) return AnsiString();
  if (n % 4 == 3) return Format("note %d", n % 7);
  AnsiString s = SJ("長い備考：");
  while (s.size() < 300 + size_t(n % 5) * 100) s += Format("%d-", n);
  return s;
}

// The rows after the first m runs: run r inserts rows r * kPerRun and on, and changes the
// category of the first row of the run before it.
Rows Model(int m) {
  Rows rows;
  for (int n = 0; n < m * kPerRun; ++n) rows[RowKey(n)] = {IntToStr(n * 7 - 300), Cat(n), Note(n)};
  for (int r = 1; r < m; ++r) rows[RowKey((r - 1) * kPerRun)].cat = Format("edited %d", r);
  return rows;
}

void CreateTable(const std::string& path) {
  CKvRecord t;
  t.SetFileName(path);
  ASSERT_TRUE(t.AddColumn("k", kvrString, 20));
  ASSERT_TRUE(t.AddColumn("n", kvrSigned, 4));
  ASSERT_TRUE(t.AddColumn("cat", kvrString, 20));
  ASSERT_TRUE(t.AddColumn("note", kvrString, 800));
  t.Columns()->Find("k")->Flags = kvrOptUnique;
  ASSERT_TRUE(t.WriteColInfoList());
  t.Close();
}

// The ids of the records whose column equals text, through the table's query.
std::set<uint32_t> Matching(CKvRecord& t, const char* column, const AnsiString& text) {
  t.ClearCond();
  t.AddCond(column, COND_EQL, text);
  t.AddCondEnd();
  std::set<uint32_t> ids;
  for (CKvrValueList v; t.GetRec(v); v.Clear()) ids.insert(v.GetAt(0)->GetUnsigned());
  return ids;
}

uint32_t IdOf(CKvRecord& t, const AnsiString& key) {
  const std::set<uint32_t> ids = Matching(t, "k", key);
  return ids.size() == 1 ? *ids.begin() : 0;
}

bool RunOnce(CKvRecord& t, int r) {
  if (!t.File()->Hold()) return false;
  TStringList names;
  for (const char* name : {"k", "n", "cat", "note"}) names.Add(name);
  bool ok = true;
  for (int n = r * kPerRun; ok && n < (r + 1) * kPerRun; ++n) {
    TStringList texts;
    for (const AnsiString& s : {RowKey(n), IntToStr(n * 7 - 300), Cat(n), Note(n)}) texts.Add(s);
    unsigned id = 0;
    ok = t.InsertEx(names, texts, &id, 0);
  }
  if (ok && r > 0) {
    const uint32_t id = IdOf(t, RowKey((r - 1) * kPerRun));
    ok = id != 0 && t.ChgRecById(UIntToStr(id), kCatColumn, Format("edited %d", r));
  }
  const bool released = t.File()->Release();
  return ok && released;
}

// The rows of the table at path, after checking the file and that every look-up through an index
// (by k, n, cat and note, and the use counts of the texts) agrees with the record bodies. Failures
// are added to the running test.
Rows VerifiedRows(const std::string& path) {
  Rows rows;
  EXPECT_GE(CKorva::Check(path), 0) << path;
  CKvRecord t;
  t.SetFileName(path);
  if (t.Open() < 0) {
    ADD_FAILURE() << "does not open: " << path;
    return rows;
  }
  std::map<uint32_t, AnsiString> keyOf;
  std::map<std::pair<int, AnsiString>, std::set<uint32_t>> byText;
  t.ClearCond();
  t.AddCond("n", COND_GRT_EQL, "-2147483647");
  t.AddCondEnd();
  for (CKvrValueList v; t.GetRec(v); v.Clear()) {
    const uint32_t id = v.GetAt(0)->GetUnsigned();
    const AnsiString k = v.GetAt(1)->GetText();
    EXPECT_TRUE(rows.emplace(k, Row{v.GetAt(2)->GetText(), v.GetAt(3)->GetText(), v.GetAt(4)->GetText()}).second) << k;
    keyOf[id] = k;
    for (int c : {1, kCatColumn, kNoteColumn}) byText[{c, v.GetAt(c)->GetText()}].insert(id);
  }
  for (const auto& [id, k] : keyOf) {
    EXPECT_EQ(Matching(t, "k", k), std::set<uint32_t>{id}) << k;
    EXPECT_EQ(Matching(t, "n", rows[k].n), std::set<uint32_t>{id}) << k;
  }
  static const char* const names[] = {"", "k", "n", "cat", "note"};
  for (const auto& [what, ids] : byText) {
    unsigned uses = 0;
    EXPECT_TRUE(t.GetIdByKey(names[what.first], what.second, uses)) << names[what.first] << " " << Show(what.second);
    EXPECT_EQ(uses, ids.size()) << names[what.first] << " " << Show(what.second);
    if (!what.second.empty()) {
      EXPECT_EQ(Matching(t, names[what.first], what.second), ids) << Show(what.second);
    }
  }
  t.Close();
  return rows;
}

// How many runs the rows are the state after (-1: none).
int RunsIn(const Rows& rows) {
  const int m = int(rows.size()) / kPerRun;
  return rows == Model(m) ? m : -1;
}

bool JournalHoldsARun(const std::string& table) {
  const std::vector<uint8_t> head = korva_test::ReadAt(KvJournalPath(table), 0, 8);
  return head.size() == 8 && std::memcmp(head.data(), "CWJRNL01", 8) == 0;
}

// ---- Killed processes ---------------------------------------------------------------------------

struct KillCase {
  const char* name;
  size_t cache;  // the child's block cache
  int kills;
};

class KvRecordKilled : public testing::TestWithParam<KillCase> {};

// A child imports run after run until it is killed at a random moment; the next opening finds
// the runs the child finished, all of them, and nothing of the one it was in.
TEST_P(KvRecordKilled, KeepsExactlyTheRunsThatEnded) {
  TempDir dir;
  const std::string path = dir.File("killed.kv");
  CreateTable(path);
  std::mt19937 random(unsigned(GetParam().cache));
  int held = 0, takenBack = 0;
  for (int kill = 0; kill < GetParam().kills; ++kill) {
    if (held >= 30) {  // a small table keeps every check quick
      ASSERT_EQ(::unlink(path.c_str()), 0);
      CreateTable(path);
      held = 0;
    }
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      db_cache_limit(GetParam().cache);
      // Every other child dies at a random write of its table: a timed kill alone can miss every
      // flush on a busy machine, and the take-back would go untried.
      if (kill % 2) {
        static int writesLeft;
        writesLeft = 1 + int(random() % 60);
        db_io_hook(
            [](const KorvaRequest* r, void*) -> int {
              if (r->code == kReqWrite && r->path.substr(r->path.rfind('/') + 1) == "killed.kv" && --writesLeft == 0)
                ::raise(SIGKILL);
              return 0;
            },
            nullptr);
      }
      CKvRecord t;
      t.SetFileName(path);
      if (t.Open() < 0) ::_exit(1);
      for (int r = held;; ++r) {
        if (!RunOnce(t, r)) ::_exit(2);
        if (::write(fds[1], &r, sizeof r) != sizeof r) ::_exit(3);
      }
    }
    ::close(fds[1]);
    // The kill falls while the child works, not while a loaded machine still starts it.
    int reported = held, r = 0;
    if (::read(fds[0], &r, sizeof r) == sizeof r) reported = r + 1;
    ::usleep(useconds_t(2000 + random() % 25000));
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped by itself: " << WEXITSTATUS(status);
    while (::read(fds[0], &r, sizeof r) == sizeof r) reported = r + 1;
    ::close(fds[0]);
    if (JournalHoldsARun(path)) ++takenBack;
    const int m = RunsIn(VerifiedRows(path));
    // A run may end just before the kill and not yet be reported.
    ASSERT_TRUE(m == reported || m == reported + 1) << "kill " << kill << ": " << m << " runs, " << reported << " reported";
    held = m;
  }
  std::printf("figure kills_%s %d kills\nfigure taken_back_%s %d runs\n", GetParam().name, GetParam().kills,
              GetParam().name, takenBack);
  EXPECT_GT(takenBack, 0);
}

INSTANTIATE_TEST_SUITE_P(Caches, KvRecordKilled,
                         testing::Values(KillCase{"default_cache", size_t(48) << 20, 30},
                                         KillCase{"small_cache", size_t(48) << 10, 30}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Requests as the files receive them ------------------------------------------------------

// A table's file images, restored before each try.
struct Saved {
  std::string path;
  std::vector<uint8_t> bytes;
  void Take(const std::string& p) {
    path = p;
    bytes = korva_test::ReadBytes(p);
  }
  void Restore() const {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    ::close(fd);
    ::unlink(KvJournalPath(path).c_str());
  }
};

std::vector<uint8_t> BytesOf(const KorvaRequest* r) {
  std::vector<uint8_t> bytes;
  if (r->iov_count == 0) return std::vector<uint8_t>(r->buffer, r->buffer + r->length);
  for (int i = 0; i < r->iov_count; ++i) {
    const auto* p = static_cast<const uint8_t*>(r->iov[i].iov_base);
    bytes.insert(bytes.end(), p, p + r->iov[i].iov_len);
  }
  return bytes;
}

// What reaches the files: writes, cuts, syncs, creations and removals, in order. Syncs are counted
// as done without waiting for the disk.
struct Recorder {
  enum What { kWrite, kCut, kSync, kCreate, kRemove, kSyncFolder };
  struct Event {
    std::string file;
    What what;
    uint64_t at;
    std::vector<uint8_t> bytes;
  };
  std::mutex m;
  std::vector<Event> events;

  size_t Count() {
    std::lock_guard<std::mutex> lock(m);
    return events.size();
  }
  static int Hook(const KorvaRequest* r, void* context) {
    auto* self = static_cast<Recorder*>(context);
    std::lock_guard<std::mutex> lock(self->m);
    const std::string name = r->path.substr(r->path.rfind('/') + 1);
    switch (r->code) {
      case kReqWrite: self->events.push_back({name, kWrite, korva::AddressOffset(r->address), BytesOf(r)}); break;
      case kReqTruncate: self->events.push_back({name, kCut, r->address, {}}); break;
      case kReqSync: self->events.push_back({name, kSync, 0, {}}); return -1;
      case kReqSyncFolder: self->events.push_back({name, kSyncFolder, 0, {}}); return -1;
      case kReqRemove: self->events.push_back({name, kRemove, 0, {}}); break;
      case kReqOpen:
        if (r->mode == kOpenNew || r->mode == kOpenCreate) self->events.push_back({name, kCreate, 0, {}});
        break;
      default: break;
    }
    return 0;
  }

  // The files as a machine that stopped before event cut may have left them in folder: for each
  // file what its last sync made durable, then each sector of the later writes kept or not.
  void Replay(size_t cut, const std::map<std::string, std::vector<uint8_t>>& base, const std::string& folder,
              std::mt19937& random) {
    std::map<std::string, std::vector<uint8_t>> files = base;
    std::map<std::string, bool> exists;
    for (const auto& [name, bytes] : base) exists[name] = true;
    std::map<std::string, size_t> lastSync;
    size_t lastFolderSync = 0;
    for (size_t i = 0; i < cut; ++i) {
      if (events[i].what == kSync) lastSync[events[i].file] = i + 1;
      if (events[i].what == kSyncFolder) lastFolderSync = i + 1;
    }
    for (size_t i = 0; i < cut; ++i) {
      const Event& e = events[i];
      const bool durable = i < lastSync[e.file];
      std::vector<uint8_t>& f = files[e.file];
      switch (e.what) {
        case kWrite:
          if (f.size() < e.at + e.bytes.size()) f.resize(e.at + e.bytes.size());
          for (size_t s = 0; s < e.bytes.size();) {
            const size_t end = std::min(e.bytes.size(), (e.at + s) / 512 * 512 + 512 - e.at);
            if (durable || random() % 2) std::memcpy(f.data() + e.at + s, e.bytes.data() + s, end - s);
            s = end;
          }
          break;
        case kCut:
          if (durable || random() % 2) f.resize(e.at);
          break;
        case kCreate:
          if (!exists[e.file]) exists[e.file] = i < lastFolderSync || random() % 2;
          break;
        case kRemove:
          if (i >= lastFolderSync && random() % 2) break;
          exists[e.file] = false;
          f.clear();
          break;
        default: break;
      }
    }
    for (const auto& [name, bytes] : files) {
      if (!exists[name]) continue;
      const int fd = ::open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
      ASSERT_GE(fd, 0);
      ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
      ::close(fd);
    }
  }
};

// Runs recorded request by request, a small cache making them write part of each run before its
// end; then for every cut point, twice, the files a power loss may leave: the table holds the state
// after the last run that ended before the cut, or after the run under way at the cut.
TEST(KvRecordPowerLoss, EveryCutLeavesTheStateOfARunThatEnded) {
  TempDir dir;
  const std::string path = dir.File("power.kv");
  CreateTable(path);
  {
    CKvRecord t;
    t.SetFileName(path);
    ASSERT_GE(t.Open(), 0);
    ASSERT_TRUE(RunOnce(t, 0));
    t.Close();
  }
  const std::string name = path.substr(path.rfind('/') + 1);
  const std::map<std::string, std::vector<uint8_t>> base = {{name, korva_test::ReadBytes(path)}};
  Recorder recorder;
  std::vector<size_t> ends;  // events before the end of run r + 1
  db_cache_limit(size_t(40) << 10);
  {
    CKvRecord t;
    t.SetFileName(path);
    ASSERT_GE(t.Open(), 0);
    db_io_hook(Recorder::Hook, &recorder);
    for (int r = 1; r <= 6; ++r) {
      const bool ran = RunOnce(t, r);
      ends.push_back(recorder.Count());
      if (!ran) break;
    }
    db_io_hook(nullptr, nullptr);
    t.Close();
  }
  db_cache_limit(size_t(48) << 20);
  ASSERT_EQ(ends.size(), 6u);
  ASSERT_EQ(RunsIn(VerifiedRows(path)), 7);

  std::mt19937 random(5);
  int syncs = 0;
  for (const auto& e : recorder.events) syncs += e.what == Recorder::kSync;
  for (size_t cut = 0; cut <= recorder.events.size(); ++cut) {
    for (int attempt = 0; attempt < 2; ++attempt) {
      TempDir crashed;
      recorder.Replay(cut, base, crashed.Path(), random);
      const int done = 1 + int(std::upper_bound(ends.begin(), ends.end(), cut) - ends.begin());
      const int m = RunsIn(VerifiedRows(crashed.File(name)));
      ASSERT_TRUE(m == done || (m == done + 1 && done < 7)) << "cut " << cut << ": " << m << " runs, " << done << " ended";
    }
  }
  std::printf("figure power_cuts %zu cuts\nfigure power_syncs_per_run %.1f syncs\n", recorder.events.size() + 1,
              double(syncs) / 6);
}

// ---- A disk that refuses one request ------------------------------------------------------------

// Fails the fail-th read, write, lock or sync (counting from 1; 0 fails none) with EIO, ENOSPC, or
// a short write; counts them all.
struct Refuser {
  int fail = 0;
  int seen = 0;
  int code = -1;  // of the request failed
  int syncs = 0;
  size_t journalBytes = 0;
  std::mutex m;
  static int Hook(const KorvaRequest* r, void* context) {
    auto* self = static_cast<Refuser*>(context);
    std::lock_guard<std::mutex> lock(self->m);
    self->syncs += r->code == kReqSync;
    if (r->code == kReqWrite && r->path.ends_with(".jnl")) self->journalBytes += size_t(r->length);
    if (r->code != kReqRead && r->code != kReqWrite && r->code != kReqLock && r->code != kReqSync) return 0;
    if (++self->seen != self->fail) return 0;
    self->code = r->code;
    if (r->code == kReqWrite && self->fail % 3 == 2 && korva::AddressFile(r->address) == 0) {
      // A disk that fills up in the middle of the write.
      const std::vector<uint8_t> bytes = BytesOf(r);
      if (::pwrite(r->fd, bytes.data(), bytes.size() / 2, off_t(r->address)) < 0) return EIO;
      return ENOSPC;
    }
    return self->fail % 3 == 1 ? ENOSPC : EIO;
  }
};

struct FaultCase {
  const char* name;
  size_t cache;
  // The operation on an open table holding two runs, the rows after it, and the rows it may leave
  // when it fails.
  bool (*operation)(CKvRecord& t);
  Rows (*after)();
  std::vector<Rows> (*failed)();
};

class KvRecordFailingDisk : public testing::TestWithParam<FaultCase> {};

const AnsiString& NewNote() {
  static const AnsiString note = SJ("書き換えた備考") + AnsiString(400, 'x');
  return note;
}

// For every request of the operation, a try where that request fails: the operation says so (or,
// when it did not need the request, is whole), and the table is as it was before or after it.
// The import's run fails whole: a disk that refused a request may have left a step half done.
TEST_P(KvRecordFailingDisk, EveryFailedRequestLeavesTheTableWhole) {
  TempDir dir;
  const std::string path = dir.File("failing.kv");
  CreateTable(path);
  {
    CKvRecord t;
    t.SetFileName(path);
    ASSERT_GE(t.Open(), 0);
    ASSERT_TRUE(RunOnce(t, 0));
    ASSERT_TRUE(RunOnce(t, 1));
    t.Close();
  }
  Saved saved;
  saved.Take(path);
  const Rows after = GetParam().after();
  const std::vector<Rows> failedStates = GetParam().failed();
  MessageCatcher box;
  db_cache_limit(GetParam().cache);
  auto attempt = [&](int fail, Refuser& refuser) {
    saved.Restore();
    CKvRecord t;
    t.SetFileName(path);
    EXPECT_GE(t.Open(), 0);
    refuser.fail = fail;
    db_io_hook(Refuser::Hook, &refuser);
    const bool ok = GetParam().operation(t);
    db_io_hook(nullptr, nullptr);
    t.Close();
    return ok;
  };
  Refuser clean;
  ASSERT_TRUE(attempt(0, clean));
  ASSERT_EQ(VerifiedRows(path), after);
  int failed = 0;
  for (int n = 1; n <= clean.seen; ++n) {
    Refuser refuser;
    const bool ok = attempt(n, refuser);
    failed += !ok;
    const Rows rows = VerifiedRows(path);
    if (ok)
      EXPECT_EQ(rows, after) << "request " << n;
    else
      EXPECT_NE(std::find(failedStates.begin(), failedStates.end(), rows), failedStates.end()) << "request " << n;
    if (HasFailure()) {
      ADD_FAILURE() << "request " << n << " of " << clean.seen << ", code " << refuser.code << (ok ? ", succeeded" : ", failed")
                    << (rows == after ? ", rows after" : "") << ", " << rows.size() << " rows, row 12 " << (rows.count(RowKey(12)) ? Show(rows.at(RowKey(12)).cat) : "-");
      break;
    }
  }
  db_cache_limit(size_t(48) << 20);
  std::printf("figure failing_%s %d requests, %d failed the operation\nfigure %s_syncs %d count\n"
              "figure %s_journal_bytes %zu bytes\n",
              GetParam().name, clean.seen, failed, GetParam().name, clean.syncs, GetParam().name, clean.journalBytes);
  EXPECT_GT(failed, clean.seen / 2);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, KvRecordFailingDisk,
    testing::Values(FaultCase{"import", size_t(24) << 10, [](CKvRecord& t) { return RunOnce(t, 2); }, [] { return Model(3); },
                              [] { return std::vector<Rows>{Model(2)}; }},
                    FaultCase{"edit", size_t(48) << 20,
                              [](CKvRecord& t) {
                                const uint32_t id = IdOf(t, RowKey(3));
                                return id != 0 && t.ChgRecById(UIntToStr(id), kNoteColumn, NewNote());
                              },
                              [] {
                                Rows rows = Model(2);
                                rows[RowKey(3)].note = NewNote();
                                return rows;
                              },
                              [] { return std::vector<Rows>{Model(2)}; }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
