// Maintenance passes over whole files: the consistency check, the compacting copy and the
// salvage of damaged files. Each calls progress_hook once per step; a negative answer stops it.
//
// The check reads every block it can reach, straight from the disk, and names each one that is
// damaged: a key block or data block that is not what its parent or predecessor says, whose
// counts, lengths or addresses leave the block or the file, whose keys are out of order, or a
// free-list block likewise. It walks each key's tree and its chain of data blocks together, so a
// damaged data block is stepped over through the tree and a damaged key block through the chain.
// The salvage reads the file's blocks end to end and keeps every record of every intact data
// block; where it meets bytes it cannot place it moves on in 128-byte steps, the grain of every
// block address, so one damaged block does not hide the blocks behind it. A file whose header
// cannot be read is salvaged all the same: its block sizes, keys and key lengths are read from
// the blocks that every file begins with (GeometryFromBlocks).
//
// Other processes keep working while a pass runs. The check takes the file's lock for a stretch of
// block reads at a time and never across a call of progress_hook; each time it takes the lock
// again it compares the header with the one its pass began with, and a pass that finds it changed
// starts over, since blocks read before and after the change need not agree.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "store/KorvaCore.h"

using namespace korva;

namespace {

bool Stopped(int count) { return progress_hook && progress_hook(count) < 0; }

// A read whose failure is a finding of the pass, not its error.
bool ReadRaw(KorvaRequest* r, uint32_t address, uint8_t* buffer, int length) {
  const int saved_class = db_errclass, saved_detail = db_errdetail;
  const bool ok = KvRequest(r, kReqRead, address, buffer, length);
  db_errclass = saved_class;
  db_errdetail = saved_detail;
  return ok;
}

void SelectKey(KorvaFile* f, int key) {
  f->key_no = key;
  KvApplyKey(f);
  f->path_valid = false;
}

int KeyCount(const KorvaFile* f) { return f->key_table ? Get16(f->hdr + kKtKeys) : 1; }

class Checker {
 public:
  Checker(KorvaFile* f, KorvaCheckReport* report) : f_(f), report_(report) {}
  ~Checker() { Unlock(); }

  // The record count, or -1. When Moved() the file changed during the pass and the result means
  // nothing.
  int Run() {
    if (!Relock()) return -1;
    const int h = f_->header_size;
    uint64_t total = 0;
    bool counts_ok = true;
    for (int key = 1; key <= KeyCount(f_) && !Halted(); ++key) {
      SelectKey(f_, key);
      leaves_.clear();
      uint8_t zero[kMaxKeyLen] = {};
      Tree(KvRoot(f_), KvDepth(f_), zero, nullptr, 0);
      const uint64_t n = Chain(FirstBlock(key));
      if (f_->key_table && n != Get32(f_->hdr + kKtDescriptors + kDescSize * (key - 1) + kDescRecords))
        counts_ok = false;
      total += n;
    }
    if (!Halted()) {
      List(Get32(f_->hdr + kHdrDataFree), kKindDataList, f_->data_block);
      List(Get32(f_->hdr + kHdrKeyFree), kKindKeyList, f_->key_block);
    }
    if (failed_ || moved_) return -1;
    if (total != Get32(f_->hdr + kHdrRecords)) counts_ok = false;
    if (!counts_ok && damaged_.empty()) damaged_.push_back(0);
    if (report_) {
      report_->damaged = damaged_;
      report_->accounted = accounted_;
      report_->allocated = AddressLinear(Get32(f_->hdr + kHdrEnd)) - uint64_t(h);
    }
    if (stopped_ || !damaged_.empty()) return KvDamaged();
    return int(total);
  }

  bool Moved() const { return moved_; }

 private:
  static constexpr int kStretch = 512;  // block reads under one taking of the lock

  bool Halted() const { return stopped_ || moved_ || failed_; }

  void Unlock() {
    if (!held_) return;
    const int saved_class = db_errclass, saved_detail = db_errdetail;
    db_release(f_);
    db_errclass = saved_class;
    db_errdetail = saved_detail;
    held_ = false;
  }

  // Takes the lock and reads the header again; false when that fails (failed_) or the header is
  // not the one the pass began with (moved_).
  bool Relock() {
    if (db_hold(f_) < 0) {
      failed_ = true;
      return false;
    }
    held_ = true;
    reads_ = 0;
    const uint8_t* h = f_->hdr;
    if (header_.empty()) header_.assign(h, h + f_->header_size);
    if (std::memcmp(h, header_.data(), header_.size()) != 0) moved_ = true;
    return !moved_;
  }

  // A block read of the pass; a failed read is a finding, not an error.
  bool Fetch(uint32_t address, uint8_t* buffer, int length) {
    if (held_ && ++reads_ > kStretch) Unlock();
    if (Halted() || (!held_ && !Relock())) return false;
    return ReadRaw(&f_->req, address, buffer, length);
  }

  // A step of the pass: progress_hook without the lock; true when the pass is to stop.
  bool Step(int count) {
    if (!progress_hook) return false;
    Unlock();
    stopped_ = progress_hook(count) < 0;
    return stopped_;
  }

  struct Leaf {
    uint32_t address, parent;
    std::vector<uint8_t> key;
  };

  void Damaged(uint32_t address) {
    if (reported_.insert(address).second) damaged_.push_back(address);
  }

  // Claims a block for the walk; false when something reached it before.
  bool Claim(uint32_t address, int size) {
    if (!seen_.insert(address).second) return false;
    accounted_ += uint64_t(size);
    return true;
  }

  // A key block and its subtree: its first key must be low (its parent's entry), every key below
  // high (the parent's next entry) when there is one.
  void Tree(uint32_t address, int level, const uint8_t* low, const uint8_t* high, uint32_t parent) {
    const int len = f_->key_len, entry = len + 4;
    std::vector<uint8_t> b(static_cast<size_t>(f_->key_block));
    if (!KvValidAddress(f_, address, f_->key_block) || !Claim(address, f_->key_block)) {
      Damaged(parent ? parent : address);
      return;
    }
    if (!Fetch(address, b.data(), f_->key_block) || !KvKeyBlockSane(f_, b.data(), level)) {
      Damaged(address);
      return;
    }
    const int count = Get16(b.data() + kBlkCount);
    const uint8_t* first = b.data() + kHeadSize;
    bool ordered = std::memcmp(first, low, size_t(len)) == 0;
    for (int i = 0; i < count && ordered; ++i) {
      const uint8_t* e = first + i * entry;
      if ((i > 0 && std::memcmp(e - entry, e, size_t(len)) >= 0) || (high && std::memcmp(e, high, size_t(len)) >= 0))
        ordered = false;
    }
    if (!ordered) {
      Damaged(address);
      return;
    }
    for (int i = 0; i < count; ++i) {
      const uint8_t* e = first + i * entry;
      const uint8_t* next = i + 1 < count ? e + entry : high;
      const uint32_t child = Get32(e + len);
      if (level > 1)
        Tree(child, level - 1, e, next, address);
      else if (KvValidAddress(f_, child, f_->data_block))
        leaves_.push_back({child, address, std::vector<uint8_t>(e, e + len)});
      else
        Damaged(address);
    }
  }

  // The key's first data block: the tree's first leaf when the tree still shows it (its separator
  // is the all-zero key), else where creation put it, when a first block stands there.
  uint32_t FirstBlock(int key) {
    const int len = f_->key_len, kb = f_->key_block, db = f_->data_block;
    if (!leaves_.empty() && std::all_of(leaves_[0].key.begin(), leaves_[0].key.end(), [](uint8_t c) { return c == 0; }))
      return leaves_[0].address;
    const uint32_t guess = uint32_t(f_->header_size + 2 * kb + (key - 1) * (kb + db) + kb);
    std::vector<uint8_t> b(static_cast<size_t>(db));
    if (KvValidAddress(f_, guess, db) && Fetch(guess, b.data(), db) && KvDataBlockSane(f_, b.data()) &&
        Get32(b.data() + kDatPre) == 0 && len > 0)
      return guess;
    return leaves_.empty() ? guess : leaves_[0].address;
  }

  // Walks the chain from first; a damaged block is stepped over to the next leaf of the tree.
  // Returns the records found (without the sentinel).
  uint64_t Chain(uint32_t first) {
    const int len = f_->key_len, db = f_->data_block;
    std::unordered_map<uint32_t, size_t> leaf_at;
    for (size_t i = 0; i < leaves_.size(); ++i) leaf_at.emplace(leaves_[i].address, i);
    std::vector<uint8_t> b(static_cast<size_t>(db)), last(size_t(len), 0);
    bool have_last = false;
    uint64_t records = 0;
    size_t next_leaf = 0;  // the tree's leaf to resume at after a damaged block
    uint32_t address = first, expected_pre = 0, from = 0;
    bool know_pre = true;
    int step = 0;
    auto resume = [&]() {
      while (next_leaf < leaves_.size() && seen_.count(leaves_[next_leaf].address)) ++next_leaf;
      if (next_leaf >= leaves_.size()) return false;
      address = leaves_[next_leaf].address;
      know_pre = false;
      return true;
    };
    for (;;) {
      if (Step(step++) || Halted()) return records;
      bool ok = KvValidAddress(f_, address, db) && !seen_.count(address);
      if (!ok) {
        Damaged(from ? from : address);
      } else {
        Claim(address, db);
        ok = Fetch(address, b.data(), db) && KvDataBlockSane(f_, b.data());
        if (!ok) Damaged(address);
      }
      auto leaf = leaf_at.find(address);
      if (leaf != leaf_at.end()) next_leaf = std::max(next_leaf, leaf->second + 1);
      if (!ok) {
        if (!resume()) break;
        from = 0;
        continue;
      }
      const uint8_t* d = b.data();
      bool good = !know_pre || Get32(d + kDatPre) == expected_pre;
      if (leaf != leaf_at.end() && std::memcmp(RecKey(f_, d, kHeadSize), leaves_[leaf->second].key.data(), size_t(len)) != 0)
        Damaged(leaves_[leaf->second].parent);
      const int count = Get16(d + kBlkCount);
      int off = kHeadSize;
      for (int i = 0; i < count; ++i) {
        const uint8_t* key = RecKey(f_, d, off);
        if (have_last && std::memcmp(last.data(), key, size_t(len)) >= 0) good = false;
        std::memcpy(last.data(), key, size_t(len));
        have_last = true;
        off += 2 + RecLen(d, off);
      }
      if (!good) Damaged(address);
      records += uint64_t(count - (Get32(d + kDatPre) == 0 ? 1 : 0));
      const uint32_t next = Get32(d + kDatNext);
      if (next == kNoBlock) {
        if (!resume()) break;
        Damaged(address);  // the chain ends before the tree does
        from = 0;
        continue;
      }
      expected_pre = address;
      from = address;
      know_pre = true;
      address = next;
    }
    return records;
  }

  // A free list, to its end: a list that runs into a block met before is damaged there.
  void List(uint32_t head, int kind, int entry_size) {
    std::vector<uint8_t> b(static_cast<size_t>(f_->key_block));
    for (uint32_t address = head; address != 0;) {
      if (!KvValidAddress(f_, address, f_->key_block) || !Claim(address, f_->key_block) ||
          !Fetch(address, b.data(), f_->key_block) || !KvListBlockSane(f_, b.data(), kind)) {
        Damaged(address);
        return;
      }
      const int count = Get16(b.data() + kListCount);
      for (int i = 0; i < count; ++i) {
        const uint32_t a = Get32(b.data() + kListAddresses + 4 * i);
        if (!KvValidAddress(f_, a, entry_size) || !Claim(a, entry_size)) Damaged(address);
      }
      address = Get32(b.data() + kListNext);
    }
  }

  KorvaFile* f_;
  KorvaCheckReport* report_;
  std::vector<Leaf> leaves_;
  std::unordered_set<uint32_t> seen_, reported_;
  std::vector<uint32_t> damaged_;
  uint64_t accounted_ = 0;
  std::vector<uint8_t> header_;  // as the pass began
  bool held_ = false, stopped_ = false, moved_ = false, failed_ = false;
  int reads_ = 0;
};

// Creates target with the keys of the open file source and the given block sizes (0 = source's).
int16_t CreateLike(KorvaFile* source, const char* target, int key_block, int data_block) {
  const int kb = key_block ? key_block : source->key_block, db = data_block ? data_block : source->data_block;
  if (!source->key_table) return db_create_one(target, source->key_off, source->key_len, kb, db);
  int16_t table[kMaxKeys + 1];
  table[0] = int16_t(KeyCount(source));
  for (int k = 1; k <= table[0]; ++k)
    table[k] = int16_t(Get16(source->hdr + kKtDescriptors + kDescSize * (k - 1) + kDescKeyLen));
  return db_create_keys(target, kb, db, table);
}

// Closes files after a pass, keeping the pass's error report.
void CloseQuietly(KorvaFile* a, KorvaFile* b = nullptr) {
  const int saved_class = db_errclass, saved_detail = db_errdetail;
  if (a) db_close(a);
  if (b) db_close(b);
  db_errclass = saved_class;
  db_errdetail = saved_detail;
}

// True when target names the file open as source, by its own name or any other (links).
bool SameFile(const KorvaFile* source, const char* target) {
  struct stat s {}, t {};
  return ::fstat(source->req.fd, &s) == 0 && ::stat(target, &t) == 0 && s.st_dev == t.st_dev && s.st_ino == t.st_ino;
}

// Opens source, creates and opens target; false (everything closed) on failure. A target that is
// the source itself is refused as an exclusive create would refuse it (EEXIST): creating it would
// wipe the records about to be read.
bool OpenPair(const char* source, const char* target, int key_block, int data_block, KorvaFile** s, KorvaFile** t) {
  *s = db_open(source);
  if (!*s) return false;
  *t = nullptr;
  if (SameFile(*s, target)) {
    CloseQuietly(*s);
    db_errclass = kvClassFile;
    db_errdetail = EEXIST;
    return false;
  }
  if (CreateLike(*s, target, key_block, data_block) < 0 || !(*t = db_open(target))) {
    CloseQuietly(*s);
    return false;
  }
  return true;
}

}  // namespace

int db_check(const char* path, KorvaCheckReport* report) {
  KvStartReport();
  KorvaFile* f = db_open(path);
  if (!f) return -1;
  // A file that never holds still for a whole pass cannot be checked now: that is reported like a
  // lock that was not obtained, never as damage.
  constexpr int kPasses = 5;
  int result = -1;
  try {
    for (int pass = 1;; ++pass) {
      Checker checker(f, report);
      result = checker.Run();
      if (!checker.Moved()) break;
      if (pass == kPasses) {
        result = KvRefuse(kvLocked);
        break;
      }
    }
  } catch (const std::bad_alloc&) {
    result = KvRefuse(kvNoMemory);
  }
  CloseQuietly(f);
  return result;
}

int db_copy(const char* source, const char* target, int key_block, int data_block) {
  KvStartReport();
  KorvaFile *s, *t;
  if (!OpenPair(source, target, key_block, data_block, &s, &t)) return -1;
  std::vector<uint8_t> buffer(static_cast<size_t>(RecordCap(s->data_block)) + 1);
  // The target is new: it stays held for the whole copy; the source is held a stretch at a time.
  constexpr int kStretch = 4096;
  bool stopped = false;
  int count = 0, failed_class = 0, failed_detail = 0;
  db_hold(t);
  for (int key = 1; key <= KeyCount(s) && !stopped; ++key) {
    if (s->key_table) {
      db_select_key(s, key);
      db_select_key(t, key);
    }
    db_hold(s);
    int16_t len = db_first(s, buffer.data());
    for (; len >= 0; len = db_next_pos(s, buffer.data())) {
      if (Stopped(count++)) {
        stopped = true;
        break;
      }
      if (db_append(t, buffer.data(), len) < 0) {
        if (!failed_class) {
          failed_class = db_errclass;
          failed_detail = db_errdetail;
        }
        break;
      }
      if (count % kStretch == 0) {
        db_release(s);
        db_hold(s);
      }
    }
    if (len < 0 && db_errdetail != kvNoNext && !failed_class) {
      failed_class = db_errclass;
      failed_detail = db_errdetail;
    }
    db_release(s);
  }
  const bool released = db_release(t) == 0;
  const uint32_t wanted = Get32(s->hdr + kHdrRecords), got = Get32(t->hdr + kHdrRecords);
  int result = int(wanted);
  if (stopped) {
    result = KvDamaged();
  } else if (released && got != wanted) {
    result = failed_class ? -1 : KvDamaged();
    if (failed_class) {
      db_errclass = failed_class;
      db_errdetail = failed_detail;
    }
  } else if (!released) {
    result = -1;
  }
  CloseQuietly(s, t);
  if (result >= 0) KvStartReport();
  return result;
}

namespace {

// Places the records of every intact data block of source s (read through raw) in target t,
// walking s's blocks end to end from the first that follows the list heads: the records placed,
// or -1 (stopped by progress_hook, or the target could not be written).
int SalvageBlocks(KorvaFile* s, KorvaRequest* raw, KorvaFile* t) {
  const int kb = s->key_block, db = s->data_block, keys = KeyCount(s);
  const uint32_t end = Get32(s->hdr + kHdrEnd);
  std::vector<uint8_t> b(static_cast<size_t>(db > kb ? db : kb));
  // The key a block was last written through, when the file has such a key.
  auto key_of = [&](const uint8_t* block) {
    const int key = s->key_table ? Get16(block + kBlkModified) : 1;
    return key >= 1 && key <= keys ? key : 0;
  };
  int placed = 0, step = 0;
  bool stopped = false;
  db_hold(t);
  for (uint32_t address = uint32_t(s->header_size + 2 * kb); AddressLinear(address) < AddressLinear(end) && !stopped;) {
    const int head = db < kb ? db : kb;
    if (!ReadRaw(raw, address, b.data(), head)) break;
    const uint16_t kind = Get16(b.data());
    int advance = kBlockUnit;
    const int key = key_of(b.data());
    if (kind == kKindData && key && ReadRaw(raw, address, b.data(), db)) {
      SelectKey(s, key);
      if (KvDataBlockSane(s, b.data())) {
        advance = db;
        if (s->key_table) db_select_key(t, key);
        int off = kHeadSize;
        for (int i = 0; i < Get16(b.data() + kBlkCount); ++i) {
          if (Stopped(step++)) {
            stopped = true;
            break;
          }
          if (db_insert(t, b.data() + off + 2, int16_t(RecLen(b.data(), off))) == 0) ++placed;
          off += 2 + RecLen(b.data(), off);
        }
      }
    } else if (kind == kKindRemoved || kind == kKindRemovedSwapped) {
      advance = db;
    } else if (kind >= 1 && kind <= kMaxDepth && key) {
      SelectKey(s, key);
      if (KvKeyBlockSane(s, b.data(), kind)) advance = kb;
    } else if ((kind == kKindDataList || kind == kKindKeyList) && KvListBlockSane(s, b.data(), kind)) {
      advance = kb;
    }
    address = NextAddress(address, advance);
  }
  const bool released = db_release(t) == 0;
  if (stopped) return KvDamaged();
  return released ? placed : -1;
}

// The geometry of a file whose header cannot be read, taken from its blocks: every new file
// holds, after the header and two key-sized list heads, each key's root key block and first data
// block, whose first record (the sentinel) is as long as the key; a data block's record lengths
// and free bytes add up to its size. Fills the header of s (sizes, key table, end address);
// false when the blocks do not tell.
bool GeometryFromBlocks(KorvaRequest* raw, KorvaFile* s) {
  struct stat st {};
  if (::fstat(raw->fd, &st) != 0) return false;
  const uint64_t size = uint64_t(st.st_size) < kExtensionSpan ? uint64_t(st.st_size) : kExtensionSpan;
  // The beginning of the file holds every key's first blocks; its data blocks tell their size.
  const size_t window = size_t(std::min<uint64_t>(size, uint64_t(8) << 20));
  std::vector<uint8_t> bytes(window);
  if (window <= size_t(kHeaderLarge) || !ReadRaw(raw, 0, bytes.data(), int(window))) return false;
  std::unordered_map<int, int> sizes;
  struct Sentinel {
    uint32_t address;
    int key, length;
  };
  std::vector<Sentinel> sentinels;
  for (size_t a = kHeaderSmall; a + kHeadSize <= window; a += kBlockUnit) {
    const uint8_t* b = &bytes[a];
    if (Get16(b) != kKindData) continue;
    const int count = Get16(b + kBlkCount), free = Get16(b + kBlkFree);
    size_t off = kHeadSize;
    for (int i = 0; i < count && a + off + 2 <= window && off <= size_t(kMaxBlockSize); ++i) off += 2 + RecLen(b, int(off));
    const size_t total = off + size_t(free);
    if (count < 1 || !BlockSizeOk(int(std::min<size_t>(total, 0xFFFF)))) continue;
    ++sizes[int(total)];
    const int key = Get16(b + kBlkModified), first = RecLen(b, kHeadSize);
    if (Get32(b + kDatPre) == 0 && key >= 1 && key <= kMaxKeys && first >= 1 && first <= kMaxKeyLen &&
        a + kHeadSize + 2 + size_t(first) <= window &&
        std::all_of(b + kHeadSize + 2, b + kHeadSize + 2 + first, [](uint8_t c) { return c == 0; }))
      sentinels.push_back({uint32_t(a), key, first});
  }
  int db = 0, votes = 0;
  for (const auto& [total, n] : sizes)
    if (n > votes || (n == votes && total < db)) db = total, votes = n;
  if (db == 0) return false;
  // Key k's first data block lies at H + 2 kb + (k - 1)(kb + db) + kb.
  int kb = 0, keys = 0, header = kHeaderLarge;
  int16_t lengths[kMaxKeys + 1] = {};
  for (const Sentinel& z : sentinels) {
    if (lengths[z.key] == 0) lengths[z.key] = int16_t(z.length);
    keys = std::max(keys, z.key);
  }
  for (const Sentinel& z : sentinels) {
    const int64_t room = int64_t(z.address) - header - int64_t(z.key - 1) * db;
    if (kb == 0 && room > 0 && room % (z.key + 2) == 0 && BlockSizeOk(int(room / (z.key + 2)))) kb = int(room / (z.key + 2));
  }
  if (keys == 1) {
    header = kHeaderSmall;
    kb = 0;
    for (const Sentinel& z : sentinels)
      if (z.key == 1 && (z.address - header) % 3 == 0 && BlockSizeOk(int((z.address - header) / 3))) kb = int((z.address - header) / 3);
  }
  if (kb == 0 || keys == 0) return false;
  // A key whose first data block is lost: its length from its key blocks, whose entries fill them.
  for (size_t a = size_t(header); a + kHeadSize <= window; a += kBlockUnit) {
    const uint8_t* b = &bytes[a];
    const int level = Get16(b), key = Get16(b + kBlkModified), count = Get16(b + kBlkCount);
    const int used = kb - kHeadSize - Get16(b + kBlkFree);
    if (level < 1 || level > kMaxDepth || key < 1 || key > keys || lengths[key] != 0 || count < 1 || used <= 0 ||
        used % count != 0 || used / count - 4 < 1 || used / count - 4 > kMaxKeyLen)
      continue;
    lengths[key] = int16_t(used / count - 4);
  }
  for (int k = 1; k <= keys; ++k)
    if (lengths[k] == 0) return false;
  std::memset(s->hdr, 0, sizeof s->hdr);
  Put16(s->hdr + kHdrKind, kKindWord);
  Put16(s->hdr + kHdrKeyBlock, unsigned(kb));
  Put16(s->hdr + kHdrDataBlock, unsigned(db));
  Put32(s->hdr + kHdrEnd, uint32_t(size));
  s->key_block = kb;
  s->data_block = db;
  s->header_size = header;
  s->key_table = header == kHeaderLarge;
  if (s->key_table) {
    Put16(s->hdr + kHdrKeyTable, kKeyTableFlag);
    Put16(s->hdr + kKtKeys, unsigned(keys));
    for (int k = 1; k <= keys; ++k) Put16(s->hdr + kKtDescriptors + kDescSize * (k - 1) + kDescKeyLen, unsigned(lengths[k]));
  } else {
    Put16(s->hdr + kHdrKeyLen, unsigned(lengths[1]));
  }
  SelectKey(s, 1);
  return true;
}

}  // namespace

int db_salvage(const char* source, const char* target, int key_block, int data_block) {
  KvStartReport();
  KorvaFile *s = nullptr, *t = nullptr;
  KorvaFile headless;  // a source whose header is damaged: its geometry from its blocks
  KorvaRequest raw;
  raw.mode = kOpenReadOnly;
  if (!OpenPair(source, target, key_block, data_block, &s, &t)) {
    if (db_errclass != kvClassEngine || (db_errdetail != kvInconsistent && db_errdetail != kvNotKorva)) return -1;
    raw.path = source;
    if (!KvRequest(&raw, kReqOpen)) return -1;
    if (!GeometryFromBlocks(&raw, &headless) || CreateLike(&headless, target, key_block, data_block) < 0 ||
        !(t = db_open(target))) {
      if (!db_errdetail) KvDamaged();
      KvRequest(&raw, kReqClose);
      return -1;
    }
    s = &headless;
  } else {
    raw.path = s->req.path;
    if (!KvRequest(&raw, kReqOpen)) {
      CloseQuietly(s, t);
      return -1;
    }
  }
  const int placed = SalvageBlocks(s, &raw, t);
  KvRequest(&raw, kReqClose);
  CloseQuietly(s == &headless ? nullptr : s, t);
  if (placed >= 0) KvStartReport();
  return placed;
}
