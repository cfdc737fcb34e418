// Writing behind a held run (see KorvaBehind.h).
#include "store/KorvaBehind.h"

#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "store/KorvaCore.h"

uint32_t g_wb_serial = 0;
std::atomic<size_t> g_wb_bytes{0};
std::atomic<int> g_wb_pause_us{0};

namespace {

// A page's way to the disk.
enum : uint8_t {
  kOnDisk = 0,   // written
  kWaiting = 1,  // not yet written; its memory is what will be written
  kWriting = 2,  // being written from its memory now
  kCopied = 3,   // not yet written; its copy will be written
  kLost = 4,     // never to be written: a write before it failed
};

struct Flush {
  int fd = -1;
  std::string path;
  std::vector<uint8_t> header;
  size_t header_at = 0;
  size_t own_bytes = 0;  // the lists, counted in g_wb_bytes
  std::vector<KorvaPage*> pages;
  std::vector<int> lengths;
  std::vector<WbWrite> writes;
  std::unique_ptr<std::atomic<uint8_t>[]> state;
  std::vector<std::unique_ptr<uint8_t[]>> copies;
  std::atomic<uint32_t> written{0};  // pages whose write is over (kOnDisk or kLost) for good
  std::atomic<int> error{0};
  std::atomic<int> waiters{0};
  bool ended = false;  // under m
  std::mutex m;
  std::condition_variable cv;
  std::thread thread;
};

// Never destroyed with the program's statics: a thread still writing would end it.
Flush* g_flush = nullptr;
uint32_t g_serials = 0;

// Every byte of the buffers at offset, or the errno of the failure.
int WriteAll(const Flush* fl, struct iovec* iov, int n, off_t offset) {
  const int fd = fl->fd;
  KorvaRequest r;
  r.code = kReqWrite;
  r.fd = fd;
  r.path = fl->path;
  r.address = uint32_t(offset);
  r.iov = iov;
  r.iov_count = n;
  for (int i = 0; i < n; ++i) r.length += int(iov[i].iov_len);
  if (const int answer = KvAskHook(&r)) return answer > 0 ? answer : 0;
  while (n > 0) {
    const ssize_t done = ::pwritev(fd, iov, n, offset);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return done < 0 ? errno : EIO;
    offset += done;
    for (size_t left = size_t(done); left > 0;) {
      if (left >= iov->iov_len) {
        left -= iov->iov_len;
        ++iov;
        --n;
      } else {
        iov->iov_base = static_cast<uint8_t*>(iov->iov_base) + left;
        iov->iov_len -= left;
        left = 0;
      }
    }
  }
  return 0;
}

void Wake(Flush* fl) {
  if (fl->waiters.load() == 0) return;
  std::lock_guard<std::mutex> lock(fl->m);
  fl->cv.notify_all();
}

// The header, when the flush has one, goes out before the write at header_at.
bool WriteHeaderBefore(Flush* fl, size_t at) {
  if (fl->header.empty() || at != fl->header_at || fl->error.load() != 0) return true;
  struct iovec one = {fl->header.data(), fl->header.size()};
  const int error = WriteAll(fl, &one, 1, 0);
  if (error) fl->error.store(error);
  return error == 0;
}

void Run(Flush* fl) {
  struct iovec iov[kMostInOneWrite];
  for (size_t k = 0; k < fl->writes.size(); ++k) {
    const WbWrite& w = fl->writes[k];
    if (const int pause = g_wb_pause_us.load(std::memory_order_relaxed))
      std::this_thread::sleep_for(std::chrono::microseconds(pause));
    const uint32_t end = w.first + w.count;
    off_t offset = off_t(w.offset);
    const bool headerWritten = WriteHeaderBefore(fl, k);
    for (uint32_t at = w.first; headerWritten && fl->error.load() == 0 && at < end;) {
      const off_t from = offset;
      int n = 0;
      for (; at < end && n < kMostInOneWrite; ++at, ++n) {
        uint8_t expected = kWaiting;
        const bool own = fl->state[at].compare_exchange_strong(expected, kWriting);
        iov[n] = {own ? fl->pages[at]->data() : fl->copies[at].get(), size_t(fl->lengths[at])};
        offset += fl->lengths[at];
      }
      if (const int error = WriteAll(fl, iov, n, from)) fl->error.store(error);
    }
    for (uint32_t i = w.first; i < end; ++i) {
      // A copy is made before its page's state says so; once that state is seen, only this thread
      // looks at the copy.
      if (fl->state[i].load() == kCopied) {
        fl->copies[i].reset();
        g_wb_bytes.fetch_sub(size_t(fl->lengths[i]));
      }
      fl->state[i].store(fl->error.load() == 0 ? kOnDisk : kLost);
    }
    fl->written.fetch_add(w.count);
    Wake(fl);
  }
  WriteHeaderBefore(fl, fl->writes.size());
  std::lock_guard<std::mutex> lock(fl->m);
  fl->ended = true;
  fl->cv.notify_all();
}

// A child forked while a flush is under way has no thread writing it: it forgets the flush. It must
// not go on with its parent's run (the parent writes what was handed over).
void ForgetInChild() {
  g_flush = nullptr;
  g_wb_serial = 0;
  g_wb_bytes.store(0);
}

// Pages handed over reach the disk even when the program ends in the middle of a run.
void CollectAtExit() { WbCollect(); }

// A page whose write is over, one way or the other.
bool Settled(uint8_t state) { return state == kOnDisk || state == kLost; }

template <typename Done>
void WaitUntil(Flush* fl, Done done) {
  fl->waiters.fetch_add(1);
  {
    std::unique_lock<std::mutex> lock(fl->m);
    fl->cv.wait(lock, [&] { return fl->ended || done(); });
  }
  fl->waiters.fetch_sub(1);
}

Flush* Holding(const KorvaPage* p) {
  return WbHanded(p->wb_serial) && g_flush && p->wb_slot < g_flush->pages.size() && g_flush->pages[p->wb_slot] == p
             ? g_flush
             : nullptr;
}

}  // namespace

void WbStart(int fd, std::vector<KorvaPage*> pages, std::vector<int> lengths, std::vector<WbWrite> writes,
             std::vector<uint8_t> header, size_t headerAt, std::string path) {
  static const bool hooked = pthread_atfork(nullptr, nullptr, ForgetInChild) == 0 && std::atexit(CollectAtExit) == 0;
  (void)hooked;
  WbCollect();  // the engine collects first; this only keeps one flush at a time
  auto fl = std::make_unique<Flush>();
  const size_t n = pages.size();
  fl->fd = fd;
  fl->path = std::move(path);
  fl->header = std::move(header);
  fl->header_at = headerAt;
  fl->own_bytes = n * kWbListBytes + fl->header.size();
  g_wb_bytes.fetch_add(fl->own_bytes);
  fl->state = std::make_unique<std::atomic<uint8_t>[]>(n);
  fl->copies.resize(n);
  if (++g_serials == 0) ++g_serials;
  for (size_t i = 0; i < n; ++i) {
    pages[i]->wb_serial = g_serials;
    pages[i]->wb_slot = uint32_t(i);
    fl->state[i].store(kWaiting, std::memory_order_relaxed);
  }
  fl->pages = std::move(pages);
  fl->lengths = std::move(lengths);
  fl->writes = std::move(writes);
  g_wb_serial = g_serials;
  g_flush = fl.release();
  try {
    g_flush->thread = std::thread(Run, g_flush);
  } catch (...) {
    Run(g_flush);
  }
}

bool WbPending(const KorvaPage* p) {
  const Flush* fl = Holding(p);
  return fl && fl->state[p->wb_slot].load() != kOnDisk;
}

void WbBeforeChange(KorvaPage* p) {
  Flush* fl = Holding(p);
  if (!fl) return;
  const uint32_t i = p->wb_slot;
  uint8_t state = fl->state[i].load();
  if (state == kWaiting) {
    auto copy = std::make_unique_for_overwrite<uint8_t[]>(size_t(fl->lengths[i]));
    std::memcpy(copy.get(), p->data(), size_t(fl->lengths[i]));
    fl->copies[i] = std::move(copy);
    g_wb_bytes.fetch_add(size_t(fl->lengths[i]));
    if (fl->state[i].compare_exchange_strong(state, kCopied)) return;
    fl->copies[i].reset();
    g_wb_bytes.fetch_sub(size_t(fl->lengths[i]));
  }
  if (state == kWriting) WaitUntil(fl, [fl, i] { return Settled(fl->state[i].load()); });
}

void WbWaitPage(const KorvaPage* p) {
  Flush* fl = Holding(p);
  if (!fl) return;
  const uint32_t i = p->wb_slot;
  if (!Settled(fl->state[i].load())) WaitUntil(fl, [fl, i] { return Settled(fl->state[i].load()); });
}

bool WbWaitProgress() {
  Flush* fl = g_flush;
  if (!fl) return false;
  const uint32_t total = uint32_t(fl->pages.size()), before = fl->written.load();
  if (before >= total) return false;
  const uint32_t target = std::min(total, before + std::max<uint32_t>(1, total / 16));
  WaitUntil(fl, [fl, target] { return fl->written.load() >= target; });
  return true;
}

bool WbFailed() { return g_flush && g_flush->error.load() != 0; }

int WbCollect() {
  if (!g_flush) return 0;
  if (g_flush->thread.joinable()) g_flush->thread.join();
  const int error = g_flush->error.load();
  // Whatever copy is left goes with the flush.
  for (size_t i = 0; i < g_flush->copies.size(); ++i)
    if (g_flush->copies[i]) g_wb_bytes.fetch_sub(size_t(g_flush->lengths[i]));
  g_wb_bytes.fetch_sub(g_flush->own_bytes);
  delete g_flush;
  g_flush = nullptr;
  g_wb_serial = 0;
  return error;
}
