// The rollback journal of a run: what every block looked like before the run overwrote it in place.
//
// Layout of "<table file>.jnl" (numbers in this machine's order; the file never leaves it):
//   0   "CWJRNL01", the run's mark (8 bytes), the table file's length when the journal began
//       (8 bytes), the table's key and data block sizes and key-table flag (2 bytes each), 18
//       bytes kept zero, a check sum of the 56 bytes before it (8 bytes);
//   64  pieces, one per flush of the run that overwrote blocks it had not overwritten before:
//       "JPCE", the number of images, the bytes after this head up to the sum (4 bytes each), 4
//       bytes kept zero, the run's mark, then per image its address and length (4 bytes each),
//       then the images' bytes in that order, and a check sum of the whole piece.
// A piece reaches the disk (synced) before any of the blocks it holds is written, so every block
// the run has overwritten has its image in a whole piece. A torn piece, or one of an earlier run
// (another mark), ends the journal; none of its blocks was written yet.
//
// The run's end syncs the table file and then zeroes the first 64 bytes, and syncs them: the
// journal holds nothing from then on. Whoever takes the table's lock (opening, a run, closing)
// looks for a journal first; one that still holds pieces belongs to a run that never ended, and
// its images go back, the table file is cut to its old length, synced, and the journal zeroed.
// The file stays while the table is open; the closing of an opening that wrote to it removes it.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>

#include "store/KorvaCore.h"

using namespace korva;

namespace {

constexpr int kHeadBytes = 64, kPieceHead = 24, kSumBytes = 8;
constexpr char kMagic[8] = {'C', 'W', 'J', 'R', 'N', 'L', '0', '1'};
constexpr char kPieceMagic[4] = {'J', 'P', 'C', 'E'};
// The journal lies in one file: its offsets stay below the first extension address.
constexpr uint64_t kMostBytes = 0x7FFF0000;

template <class T>
T Load(const uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class T>
void Store(uint8_t* p, T v) {
  std::memcpy(p, &v, sizeof v);
}

// A check sum over bytes given in parts of any size.
class Summer {
 public:
  explicit Summer(uint64_t seed) : h_(seed ^ 0x9E3779B97F4A7C15ull) {}
  void Add(const uint8_t* p, size_t n) {
    total_ += n;
    while (n > 0 && held_ > 0 && held_ < 8) {
      tail_[held_++] = *p++;
      --n;
      if (held_ == 8) {
        Mix(Load<uint64_t>(tail_));
        held_ = 0;
      }
    }
    for (; n >= 8; p += 8, n -= 8) Mix(Load<uint64_t>(p));
    std::memcpy(tail_ + held_, p, n);
    held_ += int(n);
  }
  uint64_t End() {
    uint64_t last = 0;
    std::memcpy(&last, tail_, size_t(held_));
    Mix(last ^ 0xA5);
    Mix(total_);
    return h_;
  }

 private:
  void Mix(uint64_t w) {
    h_ ^= w;
    h_ *= 0xFF51AFD7ED558CCDull;
    h_ ^= h_ >> 32;
  }
  uint64_t h_, total_ = 0;
  uint8_t tail_[8] = {};
  int held_ = 0;
};

uint64_t Sum(const uint8_t* p, size_t n, uint64_t seed) {
  Summer s(seed);
  s.Add(p, n);
  return s.End();
}

// Bytes gathered before each write to the journal, and read at a time from it.
constexpr size_t kStage = size_t(1) << 20;

// A mark no other run shares: a child process forked from this one starts from the same state,
// so its process id and the clock go into every mark.
uint64_t NewMark() {
  static uint64_t state = [] {
    std::random_device rd;
    return (uint64_t(rd()) << 32) ^ rd();
  }();
  state += 0x9E3779B97F4A7C15ull;
  uint64_t z = state ^ (uint64_t(::getpid()) << 40) ^ uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return (z ^ (z >> 31)) | 1;
}

// Runs a request whose failure must not change the error report.
void Quietly(KorvaRequest* r, int16_t code, uint32_t address = 0, uint8_t* buffer = nullptr, int length = 0) {
  const int saved_class = db_errclass, saved_detail = db_errdetail;
  KvRequest(r, code, address, buffer, length);
  db_errclass = saved_class;
  db_errdetail = saved_detail;
}

void CloseJournal(KorvaRequest* j) {
  if (j->fd >= 0) Quietly(j, kReqClose);
  j->fd = -1;
}

bool Zero(KorvaRequest* j) {
  uint8_t zero[kHeadBytes] = {};
  return KvRequest(j, kReqWrite, 0, zero, kHeadBytes) && KvRequest(j, kReqSync);
}

// The geometry words of a header image: a journal is put back only onto a table of its own kind.
void Geometry(const uint8_t* hdr, uint8_t* out) {
  Store<uint16_t>(out, uint16_t(Get16(hdr + kHdrKeyBlock)));
  Store<uint16_t>(out + 2, uint16_t(Get16(hdr + kHdrDataBlock)));
  Store<uint16_t>(out + 4, uint16_t(Get16(hdr + kHdrKeyTable)));
}

// Opens the journal for the run's first images and writes its head.
bool OpenForRun(KorvaFile* f) {
  KorvaJournal& j = f->journal;
  if (j.req.fd >= 0) return true;
  j.req = KorvaRequest{};
  j.req.path = KvJournalPath(f->req.path);
  j.req.mode = kOpenNew;
  j.created = KvRequest(&j.req, kReqOpen);
  if (!j.created) {
    if (db_errclass != kvClassFile || db_errdetail != EEXIST) return false;
    j.req.mode = kOpenReadWrite;
    if (!KvRequest(&j.req, kReqOpen)) return false;
  }
  j.made = true;
  j.nonce = NewMark();
  struct stat st {};
  if (::fstat(f->req.fd, &st) != 0) st.st_size = 0;
  uint8_t head[kHeadBytes] = {};
  std::memcpy(head, kMagic, 8);
  Store<uint64_t>(head + 8, j.nonce);
  j.length = uint64_t(st.st_size);
  Store<uint64_t>(head + 16, j.length);
  Geometry(f->hdr, head + 24);
  Store<uint64_t>(head + 56, Sum(head, 56, 0));
  std::memcpy(j.head, head, kHeadBytes);
  if (!KvRequest(&j.req, kReqWrite, 0, head, kHeadBytes)) {
    CloseJournal(&j.req);
    return false;
  }
  j.write_at = kHeadBytes;
  return true;
}

}  // namespace

std::string KvJournalPath(const std::string& table) { return table + ".jnl"; }

void KvJournalBegin(KorvaFile* f) {
  KorvaJournal& j = f->journal;
  CloseJournal(&j.req);
  j.created = j.wrote = j.header_saved = false;
  j.base_end = Get32(f->hdr + kHdrEnd);
  j.write_at = 0;
  j.saved.clear();
}

bool KvJournalSave(KorvaFile* f, const std::vector<KorvaPage*>& pages, bool header) {
  KorvaJournal& j = f->journal;
  if (header || !pages.empty()) j.wrote = true;
  const uint64_t fresh_from = AddressLinear(j.base_end);
  std::vector<std::pair<uint32_t, int>> images;
  if (header && !j.header_saved) images.emplace_back(0, f->header_size);
  for (const KorvaPage* p : pages)
    if (AddressLinear(p->address) < fresh_from && !std::binary_search(j.saved.begin(), j.saved.end(), p->address))
      images.emplace_back(p->address, p->size);
  if (images.empty()) return true;
  if (!OpenForRun(f)) return false;
  // A block taken at the end and freed again before it was written lies past the file's end, in
  // whole or in part: taking the run back cuts the file there, and nothing of it needs an image.
  for (auto& [address, length] : images) {
    const uint64_t at = AddressOffset(address);
    if (AddressFile(address) == 0 && at + uint64_t(length) > j.length) length = at < j.length ? int(j.length - at) : 0;
  }
  std::erase_if(images, [](const auto& image) { return image.second == 0; });

  uint64_t payload = 8 * uint64_t(images.size());
  for (const auto& image : images) payload += uint64_t(image.second);
  if (j.write_at + kPieceHead + payload + kSumBytes > kMostBytes) return KvRefuse(kvNoSpace) >= 0;
  std::vector<uint8_t> out;
  try {
    out.reserve(std::max(kStage, 8 * images.size() + kPieceHead) + kMaxBlockSize);
  } catch (const std::bad_alloc&) {
    return KvRefuse(kvNoMemory) >= 0;
  }
  Summer sum(j.nonce);
  uint64_t at = j.write_at;
  auto write = [&] {
    sum.Add(out.data(), out.size());
    const bool ok = out.empty() || KvRequest(&j.req, kReqWrite, uint32_t(at), out.data(), int(out.size()));
    at += out.size();
    out.clear();
    return ok;
  };
  out.resize(kPieceHead);
  std::memcpy(out.data(), kPieceMagic, 4);
  Store<uint32_t>(out.data() + 4, uint32_t(images.size()));
  Store<uint32_t>(out.data() + 8, uint32_t(payload));
  Store<uint64_t>(out.data() + 16, j.nonce);
  for (const auto& [address, length] : images) {
    uint8_t entry[8];
    Store<uint32_t>(entry, address);
    Store<uint32_t>(entry + 4, uint32_t(length));
    out.insert(out.end(), entry, entry + 8);
  }
  // The images are what the disk holds now, since the run has not written these blocks yet: those
  // that lie end to end in one file are read together.
  for (size_t i = 0; i < images.size();) {
    size_t k = i + 1;
    size_t bytes = size_t(images[i].second);
    for (; k < images.size() && AddressFile(images[k].first) == AddressFile(images[i].first) &&
           AddressOffset(images[k].first) == AddressOffset(images[i].first) + bytes && bytes < kStage;
         ++k)
      bytes += size_t(images[k].second);
    if (out.size() + bytes > out.capacity() && !write()) return false;
    const size_t from = out.size();
    out.resize(from + bytes);
    if (!KvRequest(&f->req, kReqRead, images[i].first, out.data() + from, int(bytes))) return false;
    i = k;
  }
  if (!write()) return false;
  uint8_t end[kSumBytes];
  Store<uint64_t>(end, sum.End());
  if (!KvRequest(&j.req, kReqWrite, uint32_t(at), end, kSumBytes) || !KvRequest(&j.req, kReqSync)) return false;
  if (j.created) {
    if (!KvRequest(&j.req, kReqSyncFolder)) return false;
    j.created = false;
  }
  j.write_at = at + kSumBytes;
  for (const auto& [address, length] : images) {
    if (address == 0)
      j.header_saved = true;
    else
      j.saved.push_back(address);
  }
  std::sort(j.saved.begin(), j.saved.end());
  return true;
}

bool KvJournalCommit(KorvaFile* f) {
  KorvaJournal& j = f->journal;
  bool ok = !j.wrote || KvRequest(&f->req, kReqSync);
  if (ok && j.req.fd >= 0 && !Zero(&j.req)) {
    // The run fails, so the journal must go on holding it: whether the zeros reached the disk
    // is not known.
    Quietly(&j.req, kReqWrite, 0, j.head, kHeadBytes);
    ok = false;
  }
  if (ok) CloseJournal(&j.req);
  return ok;
}

void KvJournalAbandon(KorvaFile* f) {
  KorvaJournal& j = f->journal;
  const int saved_class = db_errclass, saved_detail = db_errdetail;
  CloseJournal(&j.req);
  if (f->locked && j.write_at > 0) KvJournalRecover(&f->req);
  j.write_at = 0;
  db_errclass = saved_class;
  db_errdetail = saved_detail;
}

void KvJournalClose(KorvaFile* f) {
  KorvaJournal& j = f->journal;
  CloseJournal(&j.req);
  if (!j.made || f->req.read_only) return;
  const int saved_class = db_errclass, saved_detail = db_errdetail;
  // Under the lock: a process in the middle of a run has the journal open, and closing after it
  // finds a journal that it may still have to put back.
  if (KvRequest(&f->req, kReqLock, 0, nullptr, 1)) {
    if (KvJournalRecover(&f->req)) {
      KorvaRequest r;
      r.path = KvJournalPath(f->req.path);
      KvRequest(&r, kReqRemove);
    }
    KvRequest(&f->req, kReqUnlock, 0, nullptr, 1);
  }
  db_errclass = saved_class;
  db_errdetail = saved_detail;
}

bool KvJournalRecover(KorvaRequest* table, bool* restored) {
  if (restored) *restored = false;
  if (table->read_only) return true;
  const int saved_class = db_errclass, saved_detail = db_errdetail;
  KorvaRequest j;
  j.path = KvJournalPath(table->path);
  j.mode = kOpenReadWrite;
  if (!KvRequest(&j, kReqOpen)) {
    if (db_errclass != kvClassFile || db_errdetail != ENOENT) return false;
    db_errclass = saved_class;
    db_errdetail = saved_detail;
    return true;
  }
  auto done = [&](bool ok) {
    CloseJournal(&j);
    if (ok) {
      db_errclass = saved_class;
      db_errdetail = saved_detail;
    }
    return ok;
  };
  struct stat st {};
  if (::fstat(j.fd, &st) != 0 || st.st_size < kHeadBytes) return done(true);
  uint8_t head[kHeadBytes];
  if (!KvRequest(&j, kReqRead, 0, head, kHeadBytes)) return done(false);
  if (std::memcmp(head, kMagic, 8) != 0 || Load<uint64_t>(head + 56) != Sum(head, 56, 0)) return done(true);
  const uint64_t nonce = Load<uint64_t>(head + 8), length = Load<uint64_t>(head + 16);
  const uint64_t size = std::min<uint64_t>(uint64_t(st.st_size), kMostBytes);
  auto read = [&j](uint64_t at, uint8_t* into, size_t n) {
    return n == 0 || KvRequest(&j, kReqRead, uint32_t(at), into, int(n));
  };
  std::vector<uint8_t> buffer, entries;
  bool any = false;
  // The pieces of this run in order, each checked whole before its images go back.
  for (uint64_t at = kHeadBytes; at + kPieceHead + kSumBytes <= size;) {
    uint8_t piece[kPieceHead];
    if (!read(at, piece, kPieceHead)) return done(false);
    const uint32_t count = Load<uint32_t>(piece + 4), payload = Load<uint32_t>(piece + 8);
    if (std::memcmp(piece, kPieceMagic, 4) != 0 || Load<uint64_t>(piece + 16) != nonce ||
        payload > size - at - kPieceHead - kSumBytes || payload < 8 * uint64_t(count))
      break;
    Summer sum(nonce);
    sum.Add(piece, kPieceHead);
    for (uint64_t from = 0; from < payload;) {
      const size_t n = size_t(std::min<uint64_t>(kStage, payload - from));
      buffer.resize(n);
      if (!read(at + kPieceHead + from, buffer.data(), n)) return done(false);
      sum.Add(buffer.data(), n);
      from += n;
    }
    uint8_t end[kSumBytes];
    if (!read(at + kPieceHead + payload, end, kSumBytes)) return done(false);
    if (Load<uint64_t>(end) != sum.End()) break;
    entries.resize(8 * size_t(count));
    if (!read(at + kPieceHead, entries.data(), entries.size())) return done(false);
    uint64_t bytes = 0;
    for (uint32_t i = 0; i < count; ++i) bytes += Load<uint32_t>(entries.data() + 8 * i + 4);
    if (bytes != payload - entries.size()) break;
    if (!any) {
      // A journal made for another table that stood under this name is not put back onto this
      // one. The words compared never change in a table's life, so a header torn by the run
      // still has them.
      uint8_t now_header[kHeaderSmall], now_geometry[6];
      if (!KvRequest(table, kReqRead, 0, now_header, kHeaderSmall)) return done(false);
      Geometry(now_header, now_geometry);
      if (std::memcmp(now_geometry, head + 24, 6) != 0) return done(true);
    }
    any = true;
    uint64_t from = at + kPieceHead + entries.size();
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t address = Load<uint32_t>(entries.data() + 8 * i);
      const uint32_t n = Load<uint32_t>(entries.data() + 8 * i + 4);
      buffer.resize(n);
      if (!read(from, buffer.data(), n) || (n > 0 && !KvRequest(table, kReqWrite, address, buffer.data(), int(n))))
        return done(false);
      from += n;
    }
    at += kPieceHead + payload + kSumBytes;
  }
  if (!any) return done(true);
  struct stat now {};
  if (::fstat(table->fd, &now) == 0 && uint64_t(now.st_size) > length &&
      !KvRequest(table, kReqTruncate, uint32_t(length)))
    return done(false);
  if (!KvRequest(table, kReqSync) || !Zero(&j)) return done(false);
  if (restored) *restored = true;
  return done(true);
}
