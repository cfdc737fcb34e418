// Requests, locks, the open-file table, the block cache with its undo, runs and free lists.
#include "store/KorvaEngine.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <thread>

#include "store/KorvaBehind.h"
#include "store/KorvaCore.h"
#include "store/KorvaReadBatch.h"

using namespace korva;

ProgressHook progress_hook = nullptr;
int db_errclass = 0;
int db_errdetail = 0;

int16_t KvRefuse(int detail) {
  db_errclass = kvClassEngine;
  db_errdetail = detail;
  return -1;
}

void KvStartReport() {
  db_errclass = kvClassEngine;
  db_errdetail = 0;
}

// ---- Requests ---------------------------------------------------------------------------------

namespace {

bool FailFile(int error) {
  db_errclass = kvClassFile;
  db_errdetail = error ? error : EIO;
  return false;
}

bool OpenMain(KorvaRequest* r) {
  const int flags = r->mode == kOpenReadOnly ? O_RDONLY
                    : r->mode == kOpenCreate  ? O_RDWR | O_CREAT
                    : r->mode == kOpenNew     ? O_RDWR | O_CREAT | O_EXCL
                                              : O_RDWR;
  r->fd = ::open(r->path.c_str(), flags | O_CLOEXEC, 0666);
  if (r->fd < 0) return FailFile(errno);
  r->read_only = r->mode == kOpenReadOnly;
  return true;
}

bool CloseAll(KorvaRequest* r) {
  int error = 0;
  for (int i = 0; i < 4; ++i) {
    if (r->ext_fd[i] >= 0 && ::close(r->ext_fd[i]) != 0) error = errno;
    r->ext_fd[i] = -1;
    r->ext_no[i] = 0;
  }
  if (r->fd >= 0 && ::close(r->fd) != 0) error = errno;
  r->fd = -1;
  return error ? FailFile(error) : true;
}

// The descriptor for extension file n. Reading never creates a file: an address in a file that is
// not there fails; writing creates it.
int ExtensionHandle(KorvaRequest* r, int n, bool write) {
  for (int i = 0; i < 4; ++i)
    if (r->ext_fd[i] >= 0 && r->ext_no[i] == n) return r->ext_fd[i];
  const std::string name = ExtensionName(r->path, n);
  const int flags = r->read_only ? O_RDONLY : write ? O_RDWR | O_CREAT : O_RDWR;
  const int fd = ::open(name.c_str(), flags | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  if (r->ext_fd[3] >= 0) ::close(r->ext_fd[3]);
  for (int i = 3; i > 0; --i) {
    r->ext_fd[i] = r->ext_fd[i - 1];
    r->ext_no[i] = r->ext_no[i - 1];
  }
  r->ext_fd[0] = fd;
  r->ext_no[0] = n;
  return fd;
}

bool Transfer(KorvaRequest* r, bool write) {
  int fd = r->fd;
  const int file = AddressFile(r->address);
  if (file > kMaxExtension) return FailFile(kvBadExtension);
  if (file > 0) {
    fd = ExtensionHandle(r, file, write);
    if (fd < 0) return FailFile(errno);
    if (write) r->ext_written[(file - 1) / 64] |= uint64_t(1) << ((file - 1) % 64);
  }
  const off_t offset = off_t(AddressOffset(r->address));
  int done = 0;
  if (write && r->iov_count > 0) {
    // Whatever a short write leaves goes out buffer by buffer below.
    ssize_t n;
    do n = ::pwritev(fd, r->iov, r->iov_count, offset);
    while (n < 0 && errno == EINTR);
    if (n < 0) return FailFile(errno);
    for (int i = 0, at = 0; i < r->iov_count; at += int(r->iov[i].iov_len), ++i) {
      const int length = int(r->iov[i].iov_len), from = std::max(0, int(n) - at);
      for (int part = from; part < length;) {
        const ssize_t m = ::pwrite(fd, static_cast<const uint8_t*>(r->iov[i].iov_base) + part, size_t(length - part),
                                   offset + at + part);
        if (m < 0 && errno == EINTR) continue;
        if (m <= 0) return FailFile(m < 0 ? errno : EIO);
        part += int(m);
      }
    }
    return true;
  }
  while (done < r->length) {
    const ssize_t n = write ? ::pwrite(fd, r->buffer + done, size_t(r->length - done), offset + done)
                            : ::pread(fd, r->buffer + done, size_t(r->length - done), offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return FailFile(n < 0 ? errno : EIO);
    done += int(n);
  }
  if (!write && r->address == 0 && r->length >= kHeaderSmall) {
    const uint16_t kind = Get16(r->buffer);
    if (kind == kOldKindWord) ConvertOldHeader(r->buffer);
    if (kind == 0xFF0F) Put16(r->buffer, kKindWord);
  }
  return true;
}

// 0 when set, 1 when another holder has the range, -1 on any other failure (errno kept).
int TryLock(int fd, short type, off_t start, off_t length) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = start;
  fl.l_len = length;
  if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) return 0;
  return (errno == EAGAIN || errno == EACCES) ? 1 : -1;
}

// The lock is tried over 16 one-second rounds, that is for 15 seconds, and taken as soon as it is
// free rather than at the next whole second. Waiters queue on the byte after the range: whoever
// holds that byte is next, so a process that releases the range and asks again at once lets a
// waiter in first, and no waiter starves behind a busy peer.
bool LockRange(KorvaRequest* r) {
  if (r->read_only) return true;
  const off_t start = off_t(r->address), turn = start + r->length;
  const auto begin = std::chrono::steady_clock::now();
  const auto deadline = begin + std::chrono::seconds(15);
  bool queued = false;
  auto pause = std::chrono::microseconds(50);
  for (;;) {
    int state = queued ? 0 : TryLock(r->fd, F_WRLCK, turn, 1);
    if (state < 0) return FailFile(errno);
    if (state == 0) {
      queued = true;
      state = TryLock(r->fd, F_WRLCK, start, r->length);
      if (state < 0) {
        const int error = errno;
        TryLock(r->fd, F_UNLCK, turn, 1);
        return FailFile(error);
      }
      if (state == 0) {
        TryLock(r->fd, F_UNLCK, turn, 1);
        return true;
      }
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(4000));
  }
  if (queued) TryLock(r->fd, F_UNLCK, turn, 1);
  db_errclass = kvClassEngine;
  db_errdetail = kvLocked;
  return false;
}

bool UnlockRange(KorvaRequest* r) {
  if (r->read_only) return true;
  return TryLock(r->fd, F_UNLCK, off_t(r->address), r->length) == 0 ? true : FailFile(errno);
}

// CW_STORE_NO_SYNC=1 in the environment (the test programs) leaves syncing to the system: a test
// cannot stop the machine, and syncs would take most of its time. The order of the requests, all
// that a test of power loss looks at (through db_io_hook), stays the same.
bool SyncsSkipped() {
  static const bool skipped = [] {
    const char* v = std::getenv("CW_STORE_NO_SYNC");
    return v && std::strcmp(v, "1") == 0;
  }();
  return skipped;
}

bool SyncFd(int fd) {
  if (SyncsSkipped()) return true;
  return ::fdatasync(fd) == 0 || errno == EINVAL ? true : FailFile(errno);
}

bool SyncAll(KorvaRequest* r) {
  if (!SyncFd(r->fd)) return false;
  for (int n = 1; n <= kMaxExtension; ++n) {
    uint64_t& bits = r->ext_written[(n - 1) / 64];
    const uint64_t bit = uint64_t(1) << ((n - 1) % 64);
    if (!(bits & bit)) continue;
    const int fd = ExtensionHandle(r, n, false);
    if (fd < 0) return FailFile(errno);
    if (!SyncFd(fd)) return false;
    bits &= ~bit;
  }
  return true;
}

bool SyncFolder(const std::string& path) {
  if (SyncsSkipped()) return true;
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return FailFile(errno);
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL;
  const int error = errno;
  ::close(fd);
  return ok ? true : FailFile(error);
}

IoHook g_io_hook = nullptr;
void* g_io_context = nullptr;

}  // namespace

void db_io_hook(IoHook hook, void* context) {
  g_io_hook = hook;
  g_io_context = context;
}

int KvAskHook(const KorvaRequest* r) { return g_io_hook ? g_io_hook(r, g_io_context) : 0; }

int16_t db_request(KorvaRequest* r) {
  const int saved_class = db_errclass, saved_detail = db_errdetail;
  db_errclass = kvClassFile;
  db_errdetail = 0;
  bool ok = true;
  const int answer = KvAskHook(r);
  if (answer > 0) ok = FailFile(answer);
  if (answer == 0) switch (r->code) {
    case kReqOpen: ok = OpenMain(r); break;
    case kReqClose: ok = CloseAll(r); break;
    case kReqRead: ok = Transfer(r, false); break;
    case kReqWrite: ok = Transfer(r, true); break;
    case kReqLock: ok = LockRange(r); break;
    case kReqUnlock: ok = UnlockRange(r); break;
    case kReqSync: ok = SyncAll(r); break;
    case kReqTruncate: ok = ::ftruncate(r->fd, off_t(r->address)) == 0 ? true : FailFile(errno); break;
    case kReqRemove: ok = ::unlink(r->path.c_str()) == 0 ? true : FailFile(errno); break;
    case kReqSyncFolder: ok = SyncFolder(r->path); break;
    default: break;
  }
  r->result = ok ? 0 : -1;
  if (ok) {
    db_errclass = saved_class;
    db_errdetail = saved_detail;
  }
  return 0;
}

bool KvRequest(KorvaRequest* r, int16_t code, uint32_t address, uint8_t* buffer, int length) {
  r->code = code;
  r->address = address;
  r->buffer = buffer;
  r->length = length;
  db_request(r);
  return r->result == 0;
}

// ---- Open-file table --------------------------------------------------------------------------

namespace {
constexpr int kMaxFiles = 20;
KorvaFile* g_files[kMaxFiles] = {};
}  // namespace

bool KvIsOpen(const KorvaFile* f) {
  if (!f) return false;
  for (KorvaFile* open : g_files)
    if (open == f) return true;
  return false;
}

int KvFreeSlot() {
  for (int i = 0; i < kMaxFiles; ++i)
    if (!g_files[i]) return i;
  KvRefuse(kvTooManyFiles);
  return -1;
}

void KvEnterFile(KorvaFile* f, int slot) {
  g_files[slot] = f;
  f->slot = slot;
}

void KvLeaveFile(KorvaFile* f) {
  if (f->slot >= 0 && g_files[f->slot] == f) g_files[f->slot] = nullptr;
  f->slot = -1;
}

// ---- Header -----------------------------------------------------------------------------------

namespace {

bool AddressIn(uint32_t a, int size, int headerSize, uint32_t end) {
  if (a == 0 || AddressFile(a) > kMaxExtension) return false;
  const uint32_t offset = AddressOffset(a);
  if (offset % kBlockUnit != 0 || offset >= kExtensionSpan) return false;
  return AddressLinear(a) >= uint64_t(headerSize) && AddressLinear(a) + uint64_t(size) <= AddressLinear(end);
}

const uint8_t* Descriptor(const uint8_t* hdr, int key) { return hdr + kKtDescriptors + kDescSize * (key - 1); }

}  // namespace

bool KvValidAddress(const KorvaFile* f, uint32_t address, int size) {
  return AddressIn(address, size, f->header_size, Get32(f->hdr + kHdrEnd));
}

bool KvHeaderSane(const uint8_t* hdr, int* detail) {
  *detail = kvNotKorva;
  if (std::memcmp(hdr + kHdrIdent, "Ubex", 4) != 0 || Get16(hdr + kHdrKind) != kKindWord) return false;
  *detail = kvInconsistent;
  const int kb = Get16(hdr + kHdrKeyBlock), db = Get16(hdr + kHdrDataBlock);
  const int table = Get16(hdr + kHdrKeyTable);
  if (!BlockSizeOk(kb) || !BlockSizeOk(db) || (table != 0 && table != kKeyTableFlag)) return false;
  const int h = table ? kHeaderLarge : kHeaderSmall;
  const uint32_t end = Get32(hdr + kHdrEnd);
  if (AddressFile(end) > kMaxExtension + 1 || AddressLinear(end) < uint64_t(h + 2 * kb)) return false;
  if (!AddressIn(Get32(hdr + kHdrKeyFree), kb, h, end) || !AddressIn(Get32(hdr + kHdrDataFree), kb, h, end))
    return false;
  auto tree_ok = [&](int keyLen, int keyOff, int depth, uint32_t root) {
    return KeyFits(keyLen, keyOff, kb, db) && depth >= 1 && depth <= kMaxDepth && AddressIn(root, kb, h, end);
  };
  if (!table) {
    const int depth = Get16(hdr + kHdrDepth);
    return depth >= 1 && depth <= kMaxDepth &&
           tree_ok(Get16(hdr + kHdrKeyLen), Get16(hdr + kHdrKeyOffset), depth, Get32(hdr + kHdrLevels + 4 * depth));
  }
  const int keys = Get16(hdr + kKtKeys);
  if (keys < 1 || keys > kMaxKeys) return false;
  for (int k = 1; k <= keys; ++k) {
    const uint8_t* d = Descriptor(hdr, k);
    if (!tree_ok(Get16(d + kDescKeyLen), 0, Get16(d + kDescDepth), Get32(d + kDescRoot))) return false;
  }
  return true;
}

void KvApplyKey(KorvaFile* f) {
  if (f->key_table) {
    f->key_len = Get16(Descriptor(f->hdr, f->key_no) + kDescKeyLen);
    f->key_off = 0;
  } else {
    f->key_len = Get16(f->hdr + kHdrKeyLen);
    f->key_off = Get16(f->hdr + kHdrKeyOffset);
  }
}

int KvDepth(const KorvaFile* f) {
  return f->key_table ? Get16(Descriptor(f->hdr, f->key_no) + kDescDepth) : Get16(f->hdr + kHdrDepth);
}

uint32_t KvRoot(const KorvaFile* f) {
  return f->key_table ? Get32(Descriptor(f->hdr, f->key_no) + kDescRoot)
                      : Get32(f->hdr + kHdrLevels + 4 * Get16(f->hdr + kHdrDepth));
}

void KvSetTree(KorvaFile* f, int depth, uint32_t root) {
  KvTouchHeader(f);
  if (f->key_table) {
    uint8_t* d = f->hdr + kKtDescriptors + kDescSize * (f->key_no - 1);
    Put16(d + kDescDepth, unsigned(depth));
    Put32(d + kDescRoot, root);
  }
  Put16(f->hdr + kHdrDepth, unsigned(depth));
  Put32(f->hdr + kHdrLevels + 4 * depth, root);
}

void KvBumpCounter(KorvaFile* f, uint32_t by) {
  KvTouchHeader(f);
  const uint32_t counter = (uint32_t(Get16(f->hdr + kHdrCounterHigh)) << 16 | Get16(f->hdr + kHdrCounter)) + by;
  Put16(f->hdr + kHdrCounter, counter & 0xFFFF);
  Put16(f->hdr + kHdrCounterHigh, counter >> 16);
}

void KvCountRecord(KorvaFile* f, int delta) {
  KvTouchHeader(f);
  Put32(f->hdr + kHdrRecords, Get32(f->hdr + kHdrRecords) + uint32_t(delta));
  if (f->key_table) {
    uint8_t* d = f->hdr + kKtDescriptors + kDescSize * (f->key_no - 1);
    Put32(d + kDescRecords, Get32(d + kDescRecords) + uint32_t(delta));
  }
  KvBumpCounter(f);
}

namespace {
uint32_t CounterOf(const uint8_t* hdr) {
  return uint32_t(Get16(hdr + kHdrCounterHigh)) << 16 | Get16(hdr + kHdrCounter);
}
}  // namespace

// ---- Block checks -----------------------------------------------------------------------------

bool KvDataBlockSane(const KorvaFile* f, const uint8_t* b) {
  const int size = f->data_block, count = Get16(b + kBlkCount), free = Get16(b + kBlkFree);
  if (Get16(b) != kKindData || count < 1 || free > size - kHeadSize) return false;
  const uint32_t pre = Get32(b + kDatPre), next = Get32(b + kDatNext);
  if (pre != 0 && !KvValidAddress(f, pre, size)) return false;
  if (next != kNoBlock && !KvValidAddress(f, next, size)) return false;
  const int end = size - free, shortest = f->key_off + f->key_len, longest = RecordCap(size);
  int off = kHeadSize;
  for (int i = 0; i < count; ++i) {
    if (off + 2 > end) return false;
    const int len = Get16(b + off);
    if (i == 0 && pre == 0) {
      if (len != f->key_len) return false;
      for (int j = 0; j < len; ++j)
        if (b[off + 2 + j]) return false;
    } else if (len < shortest || len > longest) {
      return false;
    }
    off += 2 + len;
    if (off > end) return false;
  }
  return off == end;
}

bool KvKeyBlockSane(const KorvaFile* f, const uint8_t* b, int level) {
  const int count = Get16(b + kBlkCount), entry = f->key_len + 4;
  return level >= 1 && level <= kMaxDepth && Get16(b) == level && count >= 1 &&
         kHeadSize + count * entry <= f->key_block && Get16(b + kBlkFree) == f->key_block - kHeadSize - count * entry;
}

bool KvListBlockSane(const KorvaFile* f, const uint8_t* b, int kind) {
  const uint32_t next = Get32(b + kListNext);
  return Get16(b) == kind && Get16(b + kListCount) <= ListCapacity(f->key_block) &&
         (next == 0 || KvValidAddress(f, next, f->key_block));
}

// ---- Block cache ------------------------------------------------------------------------------

namespace {

size_t g_limit = size_t(48) << 20;
size_t g_bytes = 0;
// The last MakeRoom found nothing more to evict: changed pages fill the cache.
bool g_short = false;
// Changed pages of every file: room is kept for the lists of their flush (kWbListBytes).
size_t g_dirty_pages = 0;

// The eviction ring: every cached page of every file has a slot; marks[i] is set when the page in
// slot i was used since the sweep's hand last passed it, state[i] says whether that page is dirty
// and whether it is transient. Both lie apart from the pages so that the sweep touches only the
// pages it may evict: while a run imports, most of the cache is dirty.
constexpr uint8_t kSlotDirty = 1, kSlotTransient = 2;
std::vector<KorvaPage*> g_ring;
std::vector<uint8_t> g_marks;
std::vector<uint8_t> g_state;
std::vector<int> g_free_slots;
size_t g_hand = 0;

// Pages read by steps along a chain, oldest first, as (ring slot, page): evicted before the clock
// is asked. An entry whose slot no longer holds that transient page is stale and skipped.
std::deque<std::pair<int, KorvaPage*>> g_transient;
constexpr size_t kTransientKept = 1024;
// Slots whose state is transient and clean: without any, no entry of g_transient may be evicted.
size_t g_clean_transient = 0;

void SetSlotState(int slot, uint8_t state) {
  uint8_t& s = g_state[size_t(slot)];
  if (s == kSlotTransient) --g_clean_transient;
  if (state == kSlotTransient) ++g_clean_transient;
  s = state;
}

void SetTransient(KorvaPage* p, bool transient) {
  p->transient = transient;
  if (p->ring_at >= 0)
    SetSlotState(p->ring_at, uint8_t((g_state[size_t(p->ring_at)] & ~kSlotTransient) | (transient ? kSlotTransient : 0)));
}

void RingAdd(KorvaPage* p) {
  if (g_free_slots.empty()) {
    g_ring.push_back(nullptr);
    g_marks.push_back(0);
    g_state.push_back(0);
    g_free_slots.push_back(int(g_ring.size()) - 1);
  }
  p->ring_at = g_free_slots.back();
  g_free_slots.pop_back();
  g_ring[size_t(p->ring_at)] = p;
  g_marks[size_t(p->ring_at)] = 1;
  SetSlotState(p->ring_at, uint8_t((p->dirty_at >= 0 ? kSlotDirty : 0) | (p->transient ? kSlotTransient : 0)));
}

void RingRemove(KorvaPage* p) {
  g_ring[size_t(p->ring_at)] = nullptr;
  SetSlotState(p->ring_at, 0);
  g_free_slots.push_back(p->ring_at);
  p->ring_at = -1;
}

void MarkDirty(KorvaPage* p) {
  if (p->dirty_at >= 0) return;
  p->dirty_at = int(p->file->dirty.size());
  p->file->dirty.push_back(p);
  ++g_dirty_pages;
  if (p->ring_at >= 0) SetSlotState(p->ring_at, g_state[size_t(p->ring_at)] | kSlotDirty);
}

void MarkClean(KorvaPage* p) {
  if (p->dirty_at < 0) return;
  std::vector<KorvaPage*>& list = p->file->dirty;
  KorvaPage* last = list.back();
  list[size_t(p->dirty_at)] = last;
  last->dirty_at = p->dirty_at;
  list.pop_back();
  p->dirty_at = -1;
  --g_dirty_pages;
  if (p->ring_at >= 0) SetSlotState(p->ring_at, g_state[size_t(p->ring_at)] & ~kSlotDirty);
}

bool WritePage(KorvaPage* p) {
  if (!KvRequest(&p->file->req, kReqWrite, p->address, p->data(), p->head_only ? kHeadSize : p->size)) return false;
  MarkClean(p);
  return true;
}

// How many pages from the first of [from, to) are whole blocks that lie end to end in one file
// (at most kMostInOneWrite): one system call writes them.
int RunOfBlocks(KorvaPage* const* from, KorvaPage* const* to) {
  const KorvaPage* first = *from;
  int n = 1;
  if (first->head_only) return n;
  for (uint32_t end = AddressOffset(first->address) + uint32_t(first->size); from + n != to && n < kMostInOneWrite;
       ++n) {
    const KorvaPage* p = from[n];
    if (p->head_only || AddressFile(p->address) != AddressFile(first->address) || AddressOffset(p->address) != end)
      break;
    end += uint32_t(p->size);
  }
  return n;
}

// Writes pages [from, to) of a list in address order, each run of whole blocks that lie end to end
// in one file as one system call.
bool WritePages(KorvaPage* const* from, KorvaPage* const* to) {
  struct iovec iov[kMostInOneWrite];
  while (from != to) {
    KorvaPage* first = *from;
    const int n = RunOfBlocks(from, to);
    if (n == 1) {
      if (!WritePage(first)) return false;
      ++from;
      continue;
    }
    int length = 0;
    for (int i = 0; i < n; ++i) {
      iov[i] = {from[i]->data(), size_t(from[i]->size)};
      length += from[i]->size;
    }
    KorvaRequest& r = first->file->req;
    r.iov = iov;
    r.iov_count = n;
    const bool written = KvRequest(&r, kReqWrite, first->address, nullptr, length);
    r.iov = nullptr;
    r.iov_count = 0;
    if (!written) return false;
    for (int i = 0; i < n; ++i) MarkClean(from[i]);
    from += n;
  }
  return true;
}

// Out of the file's table, the ring and the dirty list; the page object lives on.
void Detach(KorvaPage* p) {
  // Its memory may go once whatever is being written from it is on the disk.
  if (WbHanded(p->wb_serial)) WbWaitPage(p);
  if (p->file->recent == p) p->file->recent = nullptr;
  p->file->pages.Erase(p->address);
  RingRemove(p);
  MarkClean(p);
  g_bytes -= size_t(p->size);
}

void Attach(KorvaPage* p, bool dirty) {
  p->file->pages.Insert(p);
  RingAdd(p);
  if (dirty) MarkDirty(p);
  g_bytes += size_t(p->size);
}

bool Pinned(const KorvaPage* p) { return p->file->in_op && p->op == p->file->op; }

// Evicts clean pages until size more bytes fit the budget, or nothing more may go: the hand gives
// a marked page another round and passes over dirty pages and pages the running operation holds,
// so the cache may stay over its budget until the run is flushed. An evicted page of the same size
// is handed back in *reuse instead of being freed.
void MakeRoom(size_t size, KorvaPage** reuse) {
  auto evict = [&](KorvaPage* p) {
    Detach(p);
    if (!*reuse && size_t(p->size) == size)
      *reuse = p;
    else
      std::free(p);
  };
  // A round over the chain pages finds nothing when none is clean; it would only drop the stale
  // entries, and leave the others in their order.
  // What the writing behind holds, or will hold to write the changed pages, counts too.
  auto over = [size] {
    return g_bytes + g_wb_bytes.load(std::memory_order_relaxed) + g_dirty_pages * kWbListBytes + size > g_limit;
  };
  for (size_t tries = g_clean_transient ? g_transient.size() : 0; over() && tries > 0; --tries) {
    const auto [slot, p] = g_transient.front();
    g_transient.pop_front();
    const uint8_t state = g_state[size_t(slot)];
    if (g_ring[size_t(slot)] != p || !(state & kSlotTransient)) continue;
    if (state & kSlotDirty || Pinned(p) || (WbHanded(p->wb_serial) && WbPending(p))) {
      g_transient.emplace_back(slot, p);
      continue;
    }
    evict(p);
  }
  // Pages of a flush still being written behind stay until they are on the disk: when nothing
  // else may go, the sweep waits for the writing to get on.
  do {
    for (size_t steps = 2 * g_ring.size() + 1; over() && steps > 0; --steps) {
      g_hand = g_hand + 1 < g_ring.size() ? g_hand + 1 : 0;
      KorvaPage* p = g_ring[g_hand];
      if (!p) continue;
      if (g_marks[g_hand]) {
        g_marks[g_hand] = 0;
        continue;
      }
      if (!(g_state[g_hand] & kSlotDirty) && !Pinned(p) && !(WbHanded(p->wb_serial) && WbPending(p))) evict(p);
    }
  } while (over() && WbWaitProgress());
  g_short = over();
}

KorvaPage* Allocate(KorvaFile* f, uint32_t address, int size) {
  KorvaPage* p = nullptr;
  MakeRoom(size_t(size), &p);
  if (!p) p = static_cast<KorvaPage*>(std::malloc(sizeof(KorvaPage) + size_t(size)));
  if (!p) {
    KvRefuse(kvNoMemory);
    return nullptr;
  }
  *p = KorvaPage{};
  p->file = f;
  p->address = address;
  p->size = size;
  p->op = f->op;
  p->ring_at = -1;
  p->saved = 0;
  p->dirty_at = -1;
  return p;
}

size_t SaveBytes(KorvaFile* f, const uint8_t* bytes, size_t n) {
  const size_t at = f->undo_bytes.size();
  f->undo_bytes.insert(f->undo_bytes.end(), bytes, bytes + n);
  return at;
}

}  // namespace

void db_cache_limit(size_t bytes) { g_limit = bytes; }

void KorvaPageTable::Insert(KorvaPage* p) {
  if (2 * (size_ + 1) > slots_.size()) Grow();
  size_t i = Home(p->address);
  while (slots_[i].page) i = (i + 1) & mask_;
  slots_[i] = {p->address, p};
  ++size_;
}

void KorvaPageTable::Erase(uint32_t address) {
  if (slots_.empty()) return;
  size_t i = Home(address);
  while (slots_[i].page && slots_[i].address != address) i = (i + 1) & mask_;
  if (!slots_[i].page) return;
  // Backward shift: move up every later entry of the run that may take the hole.
  for (size_t j = (i + 1) & mask_; slots_[j].page; j = (j + 1) & mask_) {
    const size_t home = Home(slots_[j].address);
    if (((j - home) & mask_) >= ((j - i) & mask_)) {
      slots_[i] = slots_[j];
      i = j;
    }
  }
  slots_[i] = {0, nullptr};
  --size_;
}

std::vector<KorvaPage*> KorvaPageTable::All() const {
  std::vector<KorvaPage*> all;
  all.reserve(size_);
  for (const Slot& s : slots_)
    if (s.page) all.push_back(s.page);
  return all;
}

void KorvaPageTable::Grow() {
  const std::vector<KorvaPage*> all = All();
  const size_t capacity = slots_.empty() ? 64 : slots_.size() * 2;
  slots_.assign(capacity, Slot{0, nullptr});
  mask_ = capacity - 1;
  shift_ = 64 - __builtin_ctzll(capacity);
  size_ = 0;
  for (KorvaPage* p : all) Insert(p);
}

KorvaPage* KvPage(KorvaFile* f, uint32_t address, int size, KorvaAccess access) {
  // A cached page stands at an address that was found valid when it was read.
  KorvaPage* p = f->recent && f->recent->address == address ? f->recent : f->pages.Find(address);
  if (p) {
    if (p->size != size) {
      KvDamaged();
      return nullptr;
    }
    if (access == kAccessUse) {
      g_marks[size_t(p->ring_at)] = 1;
      if (p->transient) SetTransient(p, false);
    }
    p->op = f->op;
    f->recent = p;
    return p;
  }
  if (!KvValidAddress(f, address, size)) {
    KvDamaged();
    return nullptr;
  }
  p = Allocate(f, address, size);
  if (!p) return nullptr;
  if (!KvRequest(&f->req, kReqRead, address, p->data(), size)) {
    std::free(p);
    return nullptr;
  }
  Attach(p, false);
  f->recent = p;
  if (access == kAccessStep) {
    SetTransient(p, true);
    g_marks[size_t(p->ring_at)] = 0;
    g_transient.emplace_back(p->ring_at, p);
    if (g_transient.size() > kTransientKept) g_transient.pop_front();
  }
  return p;
}

void KvLoadPages(KorvaFile* f, const uint32_t* addresses, int n, int size) {
  // Under a request hook every read goes through the dispatcher, where the hook sees it.
  if (n <= 0 || !KvBatchReads() || g_io_hook) return;
  std::vector<KorvaPage*> pages;
  std::vector<KorvaBlockRead> reads;
  pages.reserve(size_t(n));
  reads.reserve(size_t(n));
  for (int i = 0; i < n; ++i) {
    const uint32_t a = addresses[i];
    // Only blocks of the main file: opening an extension file may close another one whose
    // descriptor a read of the batch would then name.
    if (AddressFile(a) != 0 || f->pages.Find(a) || !KvValidAddress(f, a, size)) continue;
    // Each page joins the cache at once, so that the next one makes room for itself; pages of
    // the running operation are not evicted, and nothing looks at them before the reads end.
    KorvaPage* p = Allocate(f, a, size);
    if (!p) {
      KvStartReport();  // reading ahead failed, not the operation
      break;
    }
    Attach(p, false);
    pages.push_back(p);
    reads.push_back({f->req.fd, AddressOffset(a), p->data(), size, 0});
  }
  const bool finished = KvReadBlocks(reads.data(), int(reads.size()));
  for (size_t i = 0; i < pages.size(); ++i) {
    if (finished && reads[i].result == size) continue;
    Detach(pages[i]);
    if (finished) std::free(pages[i]);  // else the kernel may still write into it: it is left alone
  }
}

namespace {
// The page when it is what `as` says under the current key (found now or before), else null
// with kvInconsistent.
template <class Sane>
KorvaPage* Checked(KorvaFile* f, KorvaPage* p, int as, Sane sane) {
  if (!p || (p->checked == as && p->checked_key == f->key_no)) return p;
  if (!sane(p->data())) {
    KvDamaged();
    return nullptr;
  }
  p->checked = as;
  p->checked_key = f->key_no;
  return p;
}
}  // namespace

KorvaPage* KvDataPage(KorvaFile* f, uint32_t address, KorvaAccess access) {
  return Checked(f, KvPage(f, address, f->data_block, access), kCheckedData,
                 [f](const uint8_t* b) { return KvDataBlockSane(f, b); });
}

KorvaPage* KvKeyPage(KorvaFile* f, uint32_t address, int level) {
  return Checked(f, KvPage(f, address, f->key_block), level,
                 [f, level](const uint8_t* b) { return KvKeyBlockSane(f, b, level); });
}

KorvaPage* KvListPage(KorvaFile* f, uint32_t address, int kind) {
  return Checked(f, KvPage(f, address, f->key_block), kind,
                 [f, kind](const uint8_t* b) { return KvListBlockSane(f, b, kind); });
}

void KvTouch(KorvaFile* f, KorvaPage* p) {
  if (WbHanded(p->wb_serial)) WbBeforeChange(p);
  if (f->in_op && !f->settled && p->saved != f->savepoint) {
    const size_t at = SaveBytes(f, p->data(), size_t(p->size));
    f->undo.push_back({KorvaUndo::kChanged, p, at, p->dirty_at >= 0, p->head_only, p->checked, p->checked_key});
    p->saved = f->savepoint;
  }
  p->op = f->op;
  MarkDirty(p);
  if (p->address == f->hint_address) f->hint_known = false;
  if (p->checked == kCheckedData || (p->checked >= 1 && p->checked <= kMaxDepth))
    Put16(p->data() + kBlkModified, unsigned(f->key_no));
}

KorvaPage* KvNewPage(KorvaFile* f, uint32_t address, int size) {
  if (KorvaPage* p = f->pages.Find(address)) {
    if (p->size == size) {
      KvTouch(f, p);
      std::memset(p->data(), 0, size_t(size));
      p->head_only = false;
      p->checked = kCheckedNone;
      return p;
    }
    KvDrop(f, p);
  }
  KorvaPage* p = Allocate(f, address, size);
  if (!p) return nullptr;
  std::memset(p->data(), 0, size_t(size));
  p->saved = f->savepoint;
  Attach(p, true);
  if (f->in_op) f->undo.push_back({KorvaUndo::kCreated, p, 0, false, false, 0, 0});
  return p;
}

void KvDrop(KorvaFile* f, KorvaPage* p) {
  const bool dirty = p->dirty_at >= 0;
  Detach(p);
  if (f->in_op)
    f->undo.push_back({KorvaUndo::kDropped, p, 0, dirty, p->head_only, p->checked, p->checked_key});
  else
    std::free(p);
}

void KvTouchHeader(KorvaFile* f) {
  if (f->in_op && !f->settled && f->header_saved != f->savepoint) {
    const size_t at = SaveBytes(f, f->hdr, sizeof f->hdr);
    f->undo.push_back({KorvaUndo::kHeader, nullptr, at, f->header_changed, false, 0, 0});
    f->header_saved = f->savepoint;
  }
  f->header_changed = true;
}

namespace {

// The file whose flush is being written behind, while it is.
KorvaFile* g_behind_file = nullptr;

// The run of f has lost changes (the error report says why): it fails from here to its end.
void FailRun(KorvaFile* f) {
  f->run_failed_class = db_errclass;
  f->run_failed_detail = db_errdetail;
  KvDropAll(f);
  f->fresh = true;
}

// Waits for the flush written behind to end. When one of its writes failed, its file's run fails,
// whichever file asked: that file's cached blocks no longer match the disk.
void EndBehind() {
  KorvaFile* f = g_behind_file;
  g_behind_file = nullptr;
  const int error = WbCollect();
  if (error && f) {
    const int saved_class = db_errclass, saved_detail = db_errdetail;
    FailFile(error);
    FailRun(f);
    db_errclass = saved_class;
    db_errdetail = saved_detail;
  }
}

// The error report of f's failed run.
bool RunFailed(const KorvaFile* f) {
  if (!f->run_failed_class) return false;
  db_errclass = f->run_failed_class;
  db_errdetail = f->run_failed_detail;
  return true;
}

bool CollectBehind(KorvaFile* f);
int16_t FlushBehind(KorvaFile* f);

}  // namespace

void KvDropAll(KorvaFile* f) {
  // Serials are process-wide, so a file opened again never repeats one its last opening gave.
  static std::atomic<uint32_t> serial{0};
  f->drops = ++serial;
  EndBehind();
  for (KorvaPage* p : f->pages.All()) {
    Detach(p);
    std::free(p);
  }
  f->path_valid = false;
  f->range_known = false;
  f->hint_known = false;
  f->ahead_known = false;
  KvForgetLeaves(f);
}

// ---- Operations and runs ----------------------------------------------------------------------

size_t KvSavepoint(KorvaFile* f) {
  ++f->savepoint;
  return f->undo.size();
}

void KvRollback(KorvaFile* f, size_t mark) {
  while (f->undo.size() > mark) {
    const KorvaUndo e = f->undo.back();
    f->undo.pop_back();
    KorvaPage* p = e.page;
    switch (e.what) {
      case KorvaUndo::kHeader:
        std::memcpy(f->hdr, &f->undo_bytes[e.bytes], sizeof f->hdr);
        f->header_changed = e.dirty;
        break;
      case KorvaUndo::kChanged:
        std::memcpy(p->data(), &f->undo_bytes[e.bytes], size_t(p->size));
        if (e.dirty) MarkDirty(p); else MarkClean(p);
        p->head_only = e.head_only;
        p->checked = e.checked;
        p->checked_key = e.checked_key;
        break;
      case KorvaUndo::kCreated:
        Detach(p);
        std::free(p);
        break;
      case KorvaUndo::kDropped:
        p->head_only = e.head_only;
        Attach(p, e.dirty);
        break;
    }
  }
  ++f->savepoint;
  f->path_valid = false;
  f->ahead_known = false;
  KvForgetLeaves(f);
}

bool KvBeginOp(KorvaFile* f) {
  if (KvHold(f) < 0) return false;
  ++f->op;
  ++f->savepoint;
  f->in_op = true;
  f->settled = false;
  f->undo.clear();
  f->undo_bytes.clear();
  return true;
}

namespace {

// Runs the caller's flush hook, once at a time. False when the hook failed.
bool RunFlushHook(KorvaFile* f) {
  if (!f->flush_hook || f->in_flush_hook) return true;
  const int saved_class = db_errclass, saved_detail = db_errdetail;
  const int key = f->key_no;
  f->in_flush_hook = true;
  const bool ok = f->flush_hook(f->flush_context) >= 0;
  f->in_flush_hook = false;
  if (f->key_no != key) {
    f->key_no = key;
    KvApplyKey(f);
    f->path_valid = false;
  }
  db_errclass = saved_class;
  db_errdetail = saved_detail;
  return ok;
}

}  // namespace

void db_flush_hook(KorvaFile* f, FlushHook hook, void* context) {
  if (!KvIsOpen(f)) return;
  f->flush_hook = hook;
  f->flush_context = context;
}

uint32_t db_drops(KorvaFile* f) { return KvIsOpen(f) ? f->drops : 0; }

int16_t KvEndOp(KorvaFile* f, int16_t result) {
  if (result < 0) {
    KvRollback(f, 0);
    // A file that refused a read or a write inside a held run may leave a step of the caller,
    // made of several operations, half done: the run fails as a whole, and its end takes it back.
    if (db_errclass == kvClassFile && f->holds > 1 && !f->run_failed_class) FailRun(f);
  } else {
    for (const KorvaUndo& e : f->undo)
      if (e.what == KorvaUndo::kDropped) std::free(e.page);
  }
  f->undo.clear();
  f->undo_bytes.clear();
  f->in_op = false;
  f->settled = false;
  const int saved_class = db_errclass, saved_detail = db_errdetail;
  int16_t released = KvRelease(f);
  // Inside a held run, changed pages the cache has no room for go to the disk now, between two
  // operations, as one flush: the header's counter tells other processes that blocks changed.
  // The writes go on behind the run; a failure of them fails the operation that learns of it, with
  // the write's error rather than its own.
  const bool failed = released == 0 && f->holds > 0 && g_behind_file == f && WbFailed() && !CollectBehind(f);
  if (failed) return -1;
  if (released == 0 && f->holds > 0 && g_short && !f->dirty.empty() && FlushBehind(f) < 0) {
    // Memory no longer matches the disk, and what the run changed so far is lost: its later
    // operations and its end fail too, so that nobody counts on what it did.
    if (!f->run_failed_class) FailRun(f);
    released = -1;
  }
  if (result < 0) {
    db_errclass = saved_class;
    db_errdetail = saved_detail;
    return result;
  }
  return released < 0 ? released : result;
}

int16_t KvLock(KorvaFile* f) {
  if (!KvRequest(&f->req, kReqLock, 0, nullptr, 1)) return -1;
  f->locked = true;
  return 0;
}

int16_t KvUnlock(KorvaFile* f) {
  if (!f->locked) return 0;
  f->locked = false;
  return KvRequest(&f->req, kReqUnlock, 0, nullptr, 1) ? 0 : -1;
}

namespace {

// Reads the header at the start of a run and decides whether the cached pages still hold: they
// do while the change counter on disk is the one this file last saw.
bool StartRun(KorvaFile* f) {
  uint8_t fresh[kHeaderLarge];
  if (!KvRequest(&f->req, kReqRead, 0, fresh, f->header_size)) return false;
  std::memcpy(fresh + f->header_size, f->hdr + f->header_size, size_t(kHeaderLarge - f->header_size));
  int detail = 0;
  if (!KvHeaderSane(fresh, &detail) || Get16(fresh + kHdrKeyBlock) != f->key_block ||
      Get16(fresh + kHdrDataBlock) != f->data_block || (Get16(fresh + kHdrKeyTable) != 0) != f->key_table ||
      (f->key_table && f->key_no > Get16(fresh + kKtKeys))) {
    KvRefuse(detail);
    return false;
  }
  if (f->fresh || CounterOf(fresh) != f->seen) {
    KvDropAll(f);
    f->seen = CounterOf(fresh);
    f->fresh = false;
  }
  std::memcpy(f->hdr, fresh, sizeof fresh);
  f->header_changed = false;
  f->run_counter = CounterOf(fresh);
  f->run_end = Get32(f->hdr + kHdrEnd);
  KvApplyKey(f);
  return true;
}

// Releases the lock without touching the error report of the failure that led here.
void UnlockAfterFailure(KorvaFile* f) {
  const int saved_class = db_errclass, saved_detail = db_errdetail;
  KvUnlock(f);
  db_errclass = saved_class;
  db_errdetail = saved_detail;
}

}  // namespace

int16_t db_hold(KorvaFile* f) {
  if (!KvIsOpen(f)) return KvRefuse(kvBadHandle);
  return KvHold(f);
}

int16_t KvHold(KorvaFile* f) {
  if (f->holds > 0) {
    if (RunFailed(f)) return -1;
    // After a failed flush inside the run the header is read again under the lock still held.
    if (f->fresh && !StartRun(f)) return -1;
    ++f->holds;
    return 0;
  }
  f->run_failed_class = f->run_failed_detail = 0;
  if (KvLock(f) < 0) return -1;
  // A run that never ended is taken back before anything reads the file. Such a run has changed
  // the counter on disk before any block it overwrote (or has overwritten nothing), so the journal
  // is looked at only when the file changed since this handle last saw it, or the header fails.
  const uint32_t drops = f->drops;
  bool started = StartRun(f);
  if (!started || f->drops != drops) {
    bool restored = false;
    if (!KvJournalRecover(&f->req, &restored)) {
      UnlockAfterFailure(f);
      return -1;
    }
    if (restored || !started) {
      f->fresh = true;
      started = StartRun(f);
    }
  }
  if (!started) {
    UnlockAfterFailure(f);
    return -1;
  }
  KvJournalBegin(f);
  f->holds = 1;
  return 0;
}

namespace {

// The header as a flush writes it (its counter, key and tree fields brought up to date).
uint8_t* PrepareHeader(KorvaFile* f) {
  uint8_t* h = f->hdr;
  // A run of exactly 65536 changes would bring the low word, all that other writers compare, back
  // to where the run found it.
  const uint32_t counter = CounterOf(h);
  if (counter != f->run_counter && (counter & 0xFFFF) == (f->run_counter & 0xFFFF)) KvBumpCounter(f);
  Put16(h + kHdrKind, kKindWord);
  Put16(h + kHdrChanged, 0);
  Put16(h + kHdrOpenState, 0);
  Put16(h + kHdrCurrentKey, unsigned(f->key_no));
  if (f->key_table) {
    Put16(h + kHdrKeyLen, unsigned(f->key_len));
    Put16(h + kHdrGivenKeyLen, unsigned(f->key_len));
    Put16(h + kKtCurrent, unsigned(f->key_no));
    KvSetTree(f, KvDepth(f), KvRoot(f));
  }
  return h;
}

void HeaderWritten(KorvaFile* f) {
  f->header_changed = false;
  f->seen = CounterOf(f->hdr);
  f->run_end = Get32(f->hdr + kHdrEnd);
}

int16_t WriteHeader(KorvaFile* f) {
  if (!KvRequest(&f->req, kReqWrite, 0, PrepareHeader(f), f->header_size)) return -1;
  HeaderWritten(f);
  return 0;
}

}  // namespace

// The order makes every prefix of the writes safe for other processes:
// 1. blocks placed past the end address on disk: nothing on disk leads to them yet, and a disk
//    that fills up fails here, before anything the file already used is touched;
// 2. the header, with a change counter that differs from the run's first in both words, so that
//    whoever takes the lock next drops its cached blocks even when the rest never arrives;
// 3. blocks the file already used, in address order;
// 4. heads of blocks taken out of their chain: such a mark must not reach the disk while a tree or
//    chain written before this run still leads to the block.
namespace {

// The changed pages in the order of writing; placed: how many of them lie past the end address
// on disk (they come first).
std::vector<KorvaPage*> FlushOrder(KorvaFile* f, size_t* placed) {
  const uint64_t old_end = AddressLinear(f->run_end);
  std::vector<KorvaPage*> order = f->dirty;
  auto rank = [old_end](const KorvaPage* p) { return p->head_only ? 2 : AddressLinear(p->address) >= old_end ? 0 : 1; };
  std::sort(order.begin(), order.end(), [&rank](const KorvaPage* a, const KorvaPage* b) {
    const int x = rank(a), y = rank(b);
    return x != y ? x < y : AddressLinear(a->address) < AddressLinear(b->address);
  });
  *placed = size_t(std::find_if(order.begin(), order.end(), [&rank](const KorvaPage* p) { return rank(p) > 0; }) -
                   order.begin());
  return order;
}

// Waits for the flush written behind; false, with the error report, when f's run has failed.
bool CollectBehind(KorvaFile* f) {
  EndBehind();
  return !RunFailed(f);
}

// db_flush, with the writes handed to a thread of their own (KorvaBehind.h). Extension files keep
// the synchronous way: their descriptors may be closed and opened again while the run goes on.
int16_t FlushBehind(KorvaFile* f) {
  if (!CollectBehind(f)) return -1;
  g_short = false;
  for (const KorvaPage* p : f->dirty)
    if (AddressFile(p->address) != 0) return db_flush(f);
  size_t placed = 0;
  std::vector<KorvaPage*> order = FlushOrder(f, &placed);
  if (!KvJournalSave(f, order, f->header_changed || !order.empty())) return -1;
  std::vector<int> lengths(order.size());
  std::vector<WbWrite> writes;
  // The system calls WritePages would make.
  auto group = [&](size_t from, size_t to) {
    while (from < to) {
      const WbWrite w{AddressOffset(order[from]->address), uint32_t(from),
                      uint32_t(RunOfBlocks(order.data() + from, order.data() + to))};
      for (size_t i = from; i < from + w.count; ++i) lengths[i] = order[i]->head_only ? kHeadSize : order[i]->size;
      from += w.count;
      writes.push_back(w);
    }
  };
  group(0, placed);
  if (placed < order.size() && CounterOf(f->hdr) == f->run_counter) KvBumpCounter(f);
  std::vector<uint8_t> header;
  const size_t headerAt = writes.size();
  if (f->header_changed) {
    const uint8_t* h = PrepareHeader(f);
    header.assign(h, h + f->header_size);
    HeaderWritten(f);
  }
  group(placed, order.size());
  for (KorvaPage* p : order) MarkClean(p);
  WbStart(f->req.fd, std::move(order), std::move(lengths), std::move(writes), std::move(header), headerAt, f->req.path);
  g_behind_file = f;
  return 0;
}

}  // namespace

int16_t db_flush(KorvaFile* f) {
  if (!CollectBehind(f)) return -1;
  size_t placed = 0;
  const std::vector<KorvaPage*> order = FlushOrder(f, &placed);
  if ((f->header_changed || !order.empty()) && !KvJournalSave(f, order, true)) return -1;
  KorvaPage* const* all = order.data();
  if (!WritePages(all, all + placed)) return -1;
  if (placed < order.size() && CounterOf(f->hdr) == f->run_counter) KvBumpCounter(f);
  if (f->header_changed && WriteHeader(f) < 0) return -1;
  if (!WritePages(all + placed, all + order.size())) return -1;
  return 0;
}

int16_t db_release(KorvaFile* f) {
  if (!KvIsOpen(f)) return KvRefuse(kvBadHandle);
  return KvRelease(f);
}

int16_t KvRelease(KorvaFile* f) {
  if (f->holds == 0) return 0;
  bool hooked = true;
  if (f->holds == 1 && f->flush_hook && !f->in_flush_hook && !f->run_failed_class) {
    // The hook's changes need room in the cache: when it is full, what the run changed so far is
    // written first (under the lock still held), so that its reads do not search a cache of
    // changed blocks for one to let go.
    if (g_bytes > g_limit && !f->dirty.empty()) hooked = db_flush(f) >= 0;
    hooked = hooked && RunFlushHook(f);
  }
  if (--f->holds > 0) return 0;
  if (RunFailed(f) || !hooked || db_flush(f) < 0 || !KvJournalCommit(f)) {
    // Memory no longer matches the disk: start again from the disk, as it was before the run.
    KvDropAll(f);
    KvJournalAbandon(f);
    RunFailed(f);  // the report of a failed write found on the way wins
    f->run_failed_class = f->run_failed_detail = 0;
    f->fresh = true;
    UnlockAfterFailure(f);
    return -1;
  }
  return KvUnlock(f);
}

// ---- Free lists -------------------------------------------------------------------------------

namespace {
int ListHeadOffset(int kind) { return kind == 0 ? kHdrDataFree : kHdrKeyFree; }
int ListKind(int kind) { return kind == 0 ? kKindDataList : kKindKeyList; }
}  // namespace

uint32_t get_blk(KorvaFile* f, int kind) {
  const int size = kind == 0 ? f->data_block : f->key_block;
  const uint32_t head = Get32(f->hdr + ListHeadOffset(kind));
  KorvaPage* p = KvListPage(f, head, ListKind(kind));
  if (!p) return kNoBlock;
  auto take_last = [&](KorvaPage* list) -> uint32_t {
    const int count = Get16(list->data() + kListCount);
    const uint32_t a = Get32(list->data() + kListAddresses + 4 * (count - 1));
    if (!KvValidAddress(f, a, size)) {
      KvDamaged();
      return kNoBlock;
    }
    KvTouch(f, list);
    Put16(list->data() + kListCount, unsigned(count - 1));
    return a;
  };
  if (Get16(p->data() + kListCount) > 0) return take_last(p);
  const uint32_t next = Get32(p->data() + kListNext);
  if (next != 0) {
    KorvaPage* q = KvListPage(f, next, ListKind(kind));
    if (!q) return kNoBlock;
    if (Get16(q->data() + kListCount) == 0) {
      KvDamaged();
      return kNoBlock;
    }
    KvTouchHeader(f);
    Put32(f->hdr + ListHeadOffset(kind), next);
    const uint32_t a = take_last(q);
    if (a == kNoBlock) return kNoBlock;
    KvDrop(f, p);
    return fre_blk(f, head, 1) < 0 ? kNoBlock : a;
  }
  const uint32_t end = Get32(f->hdr + kHdrEnd);
  if (AddressFile(end) > kMaxExtension) {
    KvRefuse(kvNoSpace);
    return kNoBlock;
  }
  KvTouchHeader(f);
  Put32(f->hdr + kHdrEnd, NextAddress(end, size));
  return end;
}

int16_t fre_blk(KorvaFile* f, uint32_t address, int kind) {
  const uint32_t head = Get32(f->hdr + ListHeadOffset(kind));
  KorvaPage* p = KvListPage(f, head, ListKind(kind));
  if (!p) return -1;
  if (Get16(p->data() + kListCount) > (f->key_block - 20) / 4) {
    const uint32_t fresh = get_blk(f, 1);
    if (fresh == kNoBlock) return -1;
    p = KvNewPage(f, fresh, f->key_block);
    if (!p) return -1;
    Put16(p->data(), ListKind(kind));
    Put32(p->data() + kListNext, head);
    p->checked = ListKind(kind);
    KvTouchHeader(f);
    Put32(f->hdr + ListHeadOffset(kind), fresh);
  }
  KvTouch(f, p);
  const int count = Get16(p->data() + kListCount);
  Put32(p->data() + kListAddresses + 4 * count, address);
  Put16(p->data() + kListCount, unsigned(count + 1));
  return 0;
}
