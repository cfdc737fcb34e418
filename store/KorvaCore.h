// Inside the KORVA engine: the request record and its dispatcher, the open file, the block cache
// with its per-operation undo, and the operations the engine's units share. Only engine units and
// their tests include this header.
//
// Block cache. Blocks are kept as they are on disk, one page per block, in one process-wide clock
// ring bounded by db_cache_limit bytes: a use marks a page, the sweep clears marks and evicts the
// first unmarked page it meets. A page is clean (equal to disk) or dirty; dirty pages exist only
// while their file's run holds the lock, and the sweep passes them over: a dirty page reaches the
// disk only as part of a whole flush (db_flush), never alone, so that other processes learn of
// every block this run wrote from the change counter. When the cache is over its budget at the end
// of an operation inside a held run, that run is flushed there, between two operations. Pages used
// by the running operation stay in memory until it ends. When a run starts and the change counter
// on disk differs from the one this file last saw, every page is dropped and read again as needed.
// A read-ahead (db_prefetch) is an operation like the others: under the run's lock it adds, in one
// batched read (store/KorvaReadBatch.h), clean pages of blocks the cache does not hold, so no
// later read can tell whether a page came from it.
//
// Undo. An operation records each page (and the header) before it first changes it. When the
// operation fails, its records are played back: pages it created are forgotten, pages it changed
// get their bytes and state back, pages it freed come back. Nothing reaches the disk before the
// run ends or is flushed between two operations, so a failed operation leaves no trace.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <sys/uio.h>

#include "store/KorvaEngine.h"
#include "store/KorvaFormat.h"

// Request codes of db_request. Sync makes the main file and every extension file written since
// the last sync durable; truncate cuts the main file to address bytes; remove deletes the file at
// path; sync-folder makes the entries of the folder holding path durable.
enum : int16_t {
  kReqOpen = 0, kReqClose = 2, kReqRead = 4, kReqWrite = 6, kReqLock = 9, kReqUnlock = 10,
  kReqSync = 12, kReqTruncate = 14, kReqRemove = 16, kReqSyncFolder = 18,
};
// Open modes of a request (new: created here, failing when the file exists).
enum : int { kOpenReadWrite = 0, kOpenReadOnly = 1, kOpenCreate = 2, kOpenNew = 3 };

// One file's access: its descriptors, the transfer in hand and its outcome (result 0 or -1).
struct KorvaRequest {
  int16_t code = 0;
  int fd = -1;
  std::string path;
  int mode = kOpenReadWrite;
  bool read_only = false;
  int ext_no[4] = {0, 0, 0, 0};  // extension files, most recently opened first
  int ext_fd[4] = {-1, -1, -1, -1};
  uint32_t address = 0;
  uint8_t* buffer = nullptr;
  int length = 0;
  // A write of several buffers to consecutive bytes from address (length is their sum); none
  // when iov_count is 0.
  const struct iovec* iov = nullptr;
  int iov_count = 0;
  int result = 0;
  uint64_t ext_written[2] = {0, 0};  // extension files (bit n - 1) written since the last sync
};

// A seam below the requests, for tests that fail requests or record what reaches the files: the
// hook sees every request before it is carried out, also the writes of a flush written behind
// (KorvaBehind.h) on their own thread. An answer above 0 fails the request with that error number
// and carries out nothing; below 0 counts it as done without carrying it out; 0 carries it out.
using IoHook = int (*)(const KorvaRequest* r, void* context);
void db_io_hook(IoHook hook, void* context);
// The hook's answer for r; 0 without a hook.
int KvAskHook(const KorvaRequest* r);

// Opens, closes, reads, writes, locks or unlocks as r->code says; the outcome is r->result and,
// on failure, the error report. Returns 0.
int16_t db_request(KorvaRequest* r);
// One request with its transfer fields filled in; true when it succeeded.
bool KvRequest(KorvaRequest* r, int16_t code, uint32_t address = 0, uint8_t* buffer = nullptr, int length = 0);

struct KorvaFile;

struct KorvaPage {
  KorvaFile* file;
  uint32_t address;
  int size;
  int ring_at;        // place in the process-wide eviction ring
  bool transient;     // read while stepping along a chain and not used otherwise since
  uint32_t op;        // serial of the operation that last used it
  uint32_t saved;     // savepoint serial of its last undo copy
  int dirty_at;       // index in file->dirty, or -1 when clean
  int checked;        // what it was found to be (kChecked... or a key level) under checked_key
  int checked_key;
  bool head_only;     // a removed data block: only its head goes to disk
  uint32_t wb_serial;  // the flush written behind that took it (KorvaBehind.h), and its place there
  uint32_t wb_slot;
  uint8_t* data() { return reinterpret_cast<uint8_t*>(this + 1); }
};
constexpr int kCheckedNone = 0, kCheckedData = 100;  // list pages are checked as their kind

// A file's pages by address: open addressing with linear probing, at most half full.
class KorvaPageTable {
 public:
  KorvaPage* Find(uint32_t address) const {
    if (slots_.empty()) return nullptr;
    for (size_t i = Home(address);; i = (i + 1) & mask_) {
      if (!slots_[i].page) return nullptr;
      if (slots_[i].address == address) return slots_[i].page;
    }
  }
  // Starts loading the slot where address would be found, ahead of a Find that will come soon.
  void Prefetch(uint32_t address) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[Home(address)]);
  }
  void Insert(KorvaPage* p);  // the address must be absent
  void Erase(uint32_t address);
  std::vector<KorvaPage*> All() const;

 private:
  struct Slot {
    uint32_t address;
    KorvaPage* page;
  };
  size_t Home(uint32_t address) const { return size_t((uint64_t(address) * 0x9E3779B97F4A7C15ull) >> shift_); }
  void Grow();

  std::vector<Slot> slots_;
  size_t mask_ = 0, size_ = 0;
  int shift_ = 64;
};

struct KorvaUndo {
  enum What : uint8_t { kChanged, kCreated, kDropped, kHeader } what;
  KorvaPage* page;
  size_t bytes;  // offset of the copy in undo_bytes
  bool dirty, head_only;
  int checked, checked_key;
};

// The rollback journal of a run (store/KorvaJournal.cpp): the file "<table file>.jnl" holds the
// bytes that every block the run overwrites in place had when the run began, and reaches the disk
// before any of them is overwritten.
struct KorvaJournal {
  KorvaRequest req;         // the journal file, open while a run writes to it
  bool created = false;     // this run made the file: its folder entry is synced with its first images
  bool made = false;        // this opening made a journal file: closing removes it
  bool wrote = false;       // the run wrote to the table file
  bool header_saved = false;
  uint32_t base_end = 0;    // the end address when the run began: blocks from there on were free
  uint64_t write_at = 0;    // where the next images go
  uint64_t length = 0;      // the table file's length when the journal began
  uint64_t nonce = 0;       // this run's mark on every piece of the journal
  uint8_t head[64] = {};    // the journal's first bytes while it holds the run
  std::vector<uint32_t> saved;  // addresses whose images are in the journal (sorted)
};

struct KorvaFile {
  KorvaRequest req;
  KorvaJournal journal;
  uint8_t hdr[korva::kHeaderLarge] = {};
  int header_size = korva::kHeaderSmall;
  bool key_table = false;
  int key_block = 0, data_block = 0;
  int key_no = 1;  // current key; without key table always 1
  int key_len = 0, key_off = 0;
  bool fresh = true;       // no run yet: the cache holds nothing
  uint32_t seen = 0;       // change counter (both words) as last read or written
  uint32_t run_counter = 0;  // change counter on disk when the run began
  uint32_t run_end = 0;    // end address on disk: when the run began, or at its last flush
  int holds = 0;
  bool locked = false;
  FlushHook flush_hook = nullptr;  // db_flush_hook
  void* flush_context = nullptr;
  bool in_flush_hook = false;
  uint32_t drops = 0;  // db_drops: a process-wide serial, new at every KvDropAll
  bool header_changed = false;
  int slot = -1;
  // A flush in the middle of the held run failed (its error report), written behind or not: the
  // run's later operations and its end fail with it, since not all the run changed before it
  // reached the disk.
  int run_failed_class = 0, run_failed_detail = 0;

  // Current position per key number (index 0 unused).
  std::vector<uint8_t> positions;
  std::vector<uint8_t> position_valid;

  // Path of the current key: block address per level 0..depth from the last descent. Stepping
  // along the chain moves level 0 alone, so only level 0 is trusted without a new descent.
  uint32_t path[16] = {};
  bool path_valid = false;

  KorvaPageTable pages;
  KorvaPage* recent = nullptr;  // the page KvPage gave last, while it is cached: most calls ask for it again
  std::vector<KorvaPage*> dirty;

  // Shortcuts for reads, valid while nothing changes them. range: the keys [low, high) that lead
  // to the data block at range_address, from the last descent (no high: up to the end); every tree
  // change forgets it. hint: the offset of the record read last in the block at hint_address;
  // every change of that block forgets it.
  bool range_known = false, range_open = false;
  uint32_t range_address = 0;
  uint8_t range_low[korva::kMaxKeyLen] = {}, range_high[korva::kMaxKeyLen] = {};
  bool hint_known = false;
  uint32_t hint_address = 0;
  int hint_offset = 0;
  // The data blocks that recent descents of inserts led to, with their ranges as for range above,
  // under the key each was found for: an insert whose key lies in one needs no descent (inserts
  // that take turns between a few places of a tree). A leaf split forgets the split block's entry, since
  // only its range shrinks; every other change of a tree's shape forgets them all.
  struct KnownLeaf {
    int key = 0;  // 0: unused
    uint32_t address = 0;
    bool open = false;
    bool used = false;  // an insert took it since the hand last passed
    uint8_t low[korva::kMaxKeyLen], high[korva::kMaxKeyLen];
  };
  static constexpr int kKnownLeaves = 64;
  std::vector<KnownLeaf> known;      // kKnownLeaves entries once the first is noted
  // The entries in use, by key number and then low bound, with the first 8 bytes of that bound
  // (as a big-endian number) so that a search mostly reads this array alone.
  struct KnownOrder {
    uint64_t first;
    int key;
    uint8_t slot;
  };
  std::vector<KnownOrder> known_order;
  int known_next = 0;                // the clock hand: a note replaces the first entry not used since
  // The data blocks that the last read-ahead (db_prefetch) found under key ahead_key, in the
  // order of its keys: the keys [low, high) of entry i, at ahead_bounds[2 * i * key_len], lead to
  // ahead_addresses[i] (ahead_open[i]: no high). Like the range, kept until a tree changes: the
  // reads of those keys need no descent. ahead_next: the entry the next read looks at first.
  bool ahead_known = false;
  int ahead_key = 0;
  size_t ahead_next = 0;
  std::vector<uint32_t> ahead_addresses;
  std::vector<uint8_t> ahead_open;
  std::vector<uint8_t> ahead_bounds;

  uint32_t op = 0;
  bool in_op = false;
  bool settled = false;  // the running operation can no longer fail: its further changes keep no undo
  uint32_t savepoint = 0;
  uint32_t header_saved = 0;
  std::vector<KorvaUndo> undo;
  std::vector<uint8_t> undo_bytes;

  uint8_t* position() { return &positions[size_t(key_no) * korva::kMaxKeyLen]; }
};

// Process-wide cache budget in bytes (default 48 MB).
void db_cache_limit(size_t bytes);

// Error report helpers: set class 0x2000 and the detail; -1.
int16_t KvRefuse(int detail);
inline int16_t KvDamaged() { return KvRefuse(kvInconsistent); }
void KvStartReport();  // class 0x2000, detail 0: the start of every public operation

bool KvIsOpen(const KorvaFile* f);
int KvFreeSlot();  // a free slot of the open-file table, or -1 (kvTooManyFiles set)
void KvEnterFile(KorvaFile* f, int slot);
void KvLeaveFile(KorvaFile* f);

// Addresses that may name a block of size bytes: inside the header's end address, past the header,
// on a 128-byte boundary, in a file numbered 0..127.
bool KvValidAddress(const KorvaFile* f, uint32_t address, int size);

// How a read uses a page. A use marks it for the clock. A step along a chain reads a block that
// a walk needs once: such a page goes first when room is needed, so a walk over a whole key does
// not push out what other work keeps using. A quiet use (the same block again within a walk)
// changes neither.
enum KorvaAccess { kAccessUse, kAccessStep, kAccessQuiet };

// Pages. KvPage reads a block unless it is cached; the typed forms also check that the block is
// what the caller expects under the current key (kvInconsistent when not). KvNewPage gives a
// zeroed page for a block about to be written whole. KvTouch must precede every change.
KorvaPage* KvPage(KorvaFile* f, uint32_t address, int size, KorvaAccess access = kAccessUse);
KorvaPage* KvDataPage(KorvaFile* f, uint32_t address, KorvaAccess access = kAccessUse);
KorvaPage* KvKeyPage(KorvaFile* f, uint32_t address, int level);
KorvaPage* KvListPage(KorvaFile* f, uint32_t address, int kind);
KorvaPage* KvNewPage(KorvaFile* f, uint32_t address, int size);
// Reads into the cache, together where the system allows (store/KorvaReadBatch.h), those of the
// blocks of size bytes at the given addresses that it does not hold; a block that cannot be read
// is left out, for the operation that needs it to meet the failure. Without batched reads it
// reads nothing: one block at a time, an operation reads them as well when it needs them.
void KvLoadPages(KorvaFile* f, const uint32_t* addresses, int n, int size);
void KvTouch(KorvaFile* f, KorvaPage* p);
void KvDrop(KorvaFile* f, KorvaPage* p);  // the block was freed: forget it, write nothing
void KvTouchHeader(KorvaFile* f);
void KvDropAll(KorvaFile* f);             // forgets every page, dirty or not

// Block checks on raw bytes, under the file's current key.
bool KvDataBlockSane(const KorvaFile* f, const uint8_t* b);
bool KvKeyBlockSane(const KorvaFile* f, const uint8_t* b, int level);
bool KvListBlockSane(const KorvaFile* f, const uint8_t* b, int kind);

// Header: geometry from a header image (false when damaged), the current key's tree and counts.
bool KvHeaderSane(const uint8_t* hdr, int* detail);
void KvApplyKey(KorvaFile* f);  // key length and offset of key_no from hdr
int KvDepth(const KorvaFile* f);
uint32_t KvRoot(const KorvaFile* f);
void KvSetTree(KorvaFile* f, int depth, uint32_t root);
void KvCountRecord(KorvaFile* f, int delta);  // record counts and the change counter
void KvBumpCounter(KorvaFile* f, uint32_t by = 1);

// Operations: KvOperation runs body as one public operation: handle check, run, undo; body
// returns its result (negative: failed and taken back).
bool KvBeginOp(KorvaFile* f);
int16_t KvEndOp(KorvaFile* f, int16_t result);
size_t KvSavepoint(KorvaFile* f);            // a mark inside the running operation
// Declares that nothing the running operation still does can fail, so the pages and header it
// changes from here on need no copy for the undo (an insert that fits its block, a change in place).
inline void KvSettle(KorvaFile* f) { f->settled = true; }
void KvRollback(KorvaFile* f, size_t mark);  // plays back the undo records after mark
template <class Body>
int16_t KvOperation(KorvaFile* f, Body body) {
  KvStartReport();
  if (!KvIsOpen(f)) return KvRefuse(kvBadHandle);
  if (!KvBeginOp(f)) return -1;
  int16_t result;
  try {
    result = body();
  } catch (const std::bad_alloc&) {
    result = KvRefuse(kvNoMemory);
  }
  return KvEndOp(f, result);
}

// Free lists (kind 0 data, 1 key): a block address, or korva::kNoBlock on failure.
uint32_t get_blk(KorvaFile* f, int kind);
int16_t fre_blk(KorvaFile* f, uint32_t address, int kind);

// Key trees (store/KorvaTree.cpp). key_cmp: 0x0505 equal, 0x0A0A when p is below q, 0 above.
constexpr int kKeyEqual = 0x0505, kKeyBelow = 0x0A0A;
int key_cmp(const uint8_t* p, const uint8_t* q, int n);
// First entry of a key block not below key: 0x0505 equal, 0 above, -1 none (previous = last).
int key_search(const KorvaFile* f, const uint8_t* block, const uint8_t* key, const uint8_t** found,
               const uint8_t** previous);
int16_t db_descend(KorvaFile* f, const uint8_t* key);
// The address of the data block where key belongs, found through the key blocks alone, and the
// keys [*low, *high) that lead there (*high null: up to the end), inside pages the running
// operation holds. The block of each level goes to path[level] when path is given; nothing else
// of the file's state changes.
int16_t key_leaf(KorvaFile* f, const uint8_t* key, uint32_t* address, const uint8_t** low, const uint8_t** high,
                 uint32_t* path = nullptr);
int16_t key_insert(int mode, KorvaFile* f, int level, const uint8_t* key, uint32_t child);
int16_t key_delete(KorvaFile* f, int level, const uint8_t* key, const uint8_t* replacement);
int16_t dat_unlink(KorvaFile* f);
// The known leaves (KorvaFile::known): note the one an insert's descent found; forget those of the
// current key whose range holds key (a split of that leaf), or all of them.
void KvNoteLeaf(KorvaFile* f, uint32_t address, const uint8_t* low, const uint8_t* high);
void KvForgetLeaf(KorvaFile* f, const uint8_t* key);
void KvForgetLeaves(KorvaFile* f);
// The known leaf of the current key whose range holds key, or null. The ranges of known leaves
// never overlap, so the one with the highest low bound at or below key is the only candidate.
KorvaFile::KnownLeaf* KvKnownLeaf(KorvaFile* f, const uint8_t* key);

// db_hold and db_release for a file known to be open.
int16_t KvHold(KorvaFile* f);
int16_t KvRelease(KorvaFile* f);

// The rollback journal. KvJournalRecover, under the lock of the table file that r has open, puts
// back the blocks of a run that never ended (another process was killed in it, or this one failed
// to write it) before anything reads the file: false, with the error report, when that failed.
// *restored tells whether there was such a run. KvJournalSave adds to the journal the images of
// the blocks among pages (and of the header) that the running run overwrites in place for the
// first time, and makes them durable before returning; KvJournalCommit makes the run's writes
// durable and then gives the journal up; KvJournalAbandon puts the blocks of a failed run back
// while it still holds the lock, as far as it can. KvJournalBegin starts a run's journal state.
bool KvJournalRecover(KorvaRequest* r, bool* restored = nullptr);
void KvJournalBegin(KorvaFile* f);
bool KvJournalSave(KorvaFile* f, const std::vector<KorvaPage*>& pages, bool header);
bool KvJournalCommit(KorvaFile* f);
void KvJournalAbandon(KorvaFile* f);
void KvJournalClose(KorvaFile* f);  // at db_close: removes the journal file this opening made
std::string KvJournalPath(const std::string& table);

// The lock on the first byte, and the run's last step: header and changed blocks to disk.
int16_t KvLock(KorvaFile* f);
int16_t KvUnlock(KorvaFile* f);
int16_t db_flush(KorvaFile* f);

// Keys compare as unsigned bytes: negative, zero or positive. Eight bytes at a time, since the
// comparison runs a few dozen times in every operation.
inline int KeyOrder(const uint8_t* a, const uint8_t* b, int n) {
  for (; n >= 8; a += 8, b += 8, n -= 8) {
    uint64_t x, y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    if (x != y) {
      if constexpr (std::endian::native == std::endian::little) {
        x = __builtin_bswap64(x);
        y = __builtin_bswap64(y);
      }
      return x < y ? -1 : 1;
    }
  }
  for (; n > 0; ++a, ++b, --n)
    if (*a != *b) return *a < *b ? -1 : 1;
  return 0;
}

// Starts loading bytes [from, to) into the processor's cache. A search of a block that is not in
// that cache waits for each line it reads in turn; asked for at once, the lines arrive together.
inline void PrefetchBytes(const uint8_t* from, const uint8_t* to) {
  for (const uint8_t* p = from; p < to; p += 64) __builtin_prefetch(p);
}

// A data block's record at offset: its length and body.
inline int RecLen(const uint8_t* b, int off) { return korva::Get16(b + off); }
inline int UsedEnd(const KorvaFile* f, const uint8_t* b) { return f->data_block - korva::Get16(b + korva::kBlkFree); }
// The key of the record at offset off of data block b: the sentinel's is its whole body.
inline const uint8_t* RecKey(const KorvaFile* f, const uint8_t* b, int off) {
  return b + off + 2 + ((off == korva::kHeadSize && korva::Get32(b + korva::kDatPre) == 0) ? 0 : f->key_off);
}
