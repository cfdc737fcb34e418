// io_uring through its three system calls: a submission ring of read requests, a completion ring
// of their results, each a pair of head and tail counters in memory shared with the kernel. The
// process advances the submission tail and the completion head; the kernel the other two. A
// handler run in every forked child marks the ring as the parent's.
#include "store/KorvaReadBatch.h"

#include <fcntl.h>
#include <linux/io_uring.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace {

constexpr unsigned kEntries = 64;

// The ring is the process's; two threads with handles of their own (an import's worker and the
// window's listing) take turns at it. A fork waits for the turn, so the child's copy is free.
std::mutex g_ring_turn;

class Ring {
 public:
  ~Ring() { Close(); }

  // Set up for this process; false when the kernel refuses.
  bool Ready() {
    if (!allowed_) return false;
    if (inherited_) {
      // The parent's ring, inherited through fork: it stays the parent's; the child makes its own.
      Forget();
      inherited_ = failed_ = false;
    }
    if (fd_ >= 0) return true;
    if (failed_) return false;
    static const bool watching = ::pthread_atfork(&Ring::ForkStarts, &Ring::ParentGoesOn, &Ring::ChildStarts) == 0;
    if (!watching || !Open()) {
      Close();
      failed_ = true;
      return false;
    }
    return true;
  }

  bool Read(KorvaBlockRead* reads, int n) {
    for (int done = 0; done < n; done += int(entries_)) {
      if (fd_ < 0) {
        for (int i = done; i < n; ++i) reads[i].result = -ENOSYS;
        return true;
      }
      if (!Batch(reads + done, std::min<int>(n - done, int(entries_)))) {
        // Nothing more goes through a ring that lost track of its requests.
        for (int i = done; i < n; ++i) reads[i].result = -EIO;
        Forget();
        allowed_ = false;
        return false;
      }
    }
    return true;
  }

  void Allow(bool allow) { allowed_ = allow; }

  static void ForkStarts() { g_ring_turn.lock(); }
  static void ParentGoesOn() { g_ring_turn.unlock(); }
  static void ChildStarts();

 private:
  bool Open() {
    io_uring_params p{};
    const long fd = ::syscall(__NR_io_uring_setup, kEntries, &p);
    if (fd < 0) return false;
    fd_ = int(fd);
    ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
    sq_size_ = p.sq_off.array + p.sq_entries * sizeof(unsigned);
    cq_size_ = p.cq_off.cqes + p.cq_entries * sizeof(io_uring_cqe);
    const bool single = (p.features & IORING_FEAT_SINGLE_MMAP) != 0;
    if (single) sq_size_ = cq_size_ = std::max(sq_size_, cq_size_);
    sq_ = Map(sq_size_, IORING_OFF_SQ_RING);
    if (!sq_) return false;
    cq_ = single ? sq_ : Map(cq_size_, IORING_OFF_CQ_RING);
    if (!cq_) return false;
    sqes_size_ = p.sq_entries * sizeof(io_uring_sqe);
    sqes_ = static_cast<io_uring_sqe*>(Map(sqes_size_, IORING_OFF_SQES));
    if (!sqes_) return false;
    entries_ = p.sq_entries;
    sq_tail_ = At<unsigned>(sq_, p.sq_off.tail);
    sq_mask_ = *At<unsigned>(sq_, p.sq_off.ring_mask);
    sq_array_ = At<unsigned>(sq_, p.sq_off.array);
    cq_head_ = At<unsigned>(cq_, p.cq_off.head);
    cq_tail_ = At<unsigned>(cq_, p.cq_off.tail);
    cq_mask_ = *At<unsigned>(cq_, p.cq_off.ring_mask);
    cqes_ = At<io_uring_cqe>(cq_, p.cq_off.cqes);
    return true;
  }

  // One round of at most entries_ reads; false when some may still be under way (the kernel
  // did not say it finished them).
  bool Batch(KorvaBlockRead* reads, int n) {
    unsigned tail = *sq_tail_;
    for (int i = 0; i < n; ++i, ++tail) {
      const unsigned at = tail & sq_mask_;
      io_uring_sqe& e = sqes_[at];
      std::memset(&e, 0, sizeof e);
      e.opcode = IORING_OP_READ;
      e.fd = reads[i].fd;
      e.off = reads[i].offset;
      e.addr = reinterpret_cast<uint64_t>(reads[i].buffer);
      e.len = unsigned(reads[i].length);
      e.user_data = uint64_t(i);
      sq_array_[at] = at;
      reads[i].result = -EIO;
    }
    __atomic_store_n(sq_tail_, tail, __ATOMIC_RELEASE);
    int submitted = 0, reaped = 0, failures = 0;
    while (reaped < n) {
      // Submits what the kernel has not taken yet and waits for every result; a submission the
      // kernel takes only in part returns at once, and the next round offers the rest.
      const long r = ::syscall(__NR_io_uring_enter, fd_, unsigned(n - submitted), unsigned(n - reaped),
                               IORING_ENTER_GETEVENTS, nullptr, 0);
      if (r > 0) submitted += int(r);
      if (r < 0 && errno != EINTR && ++failures > 3) break;
      for (unsigned head = *cq_head_; head != __atomic_load_n(cq_tail_, __ATOMIC_ACQUIRE); ++head) {
        const io_uring_cqe& c = cqes_[head & cq_mask_];
        if (c.user_data < uint64_t(n)) reads[c.user_data].result = c.res;
        // A kernel without this request kind answers every read so: read block by block.
        if (c.res == -EINVAL || c.res == -EOPNOTSUPP) allowed_ = false;
        __atomic_store_n(cq_head_, head + 1, __ATOMIC_RELEASE);
        ++reaped;
      }
    }
    if (reaped < submitted) return false;
    if (submitted < n) {
      // The ring still holds requests the kernel never took; it is not used again.
      Close();
      allowed_ = false;
    }
    return true;
  }

  void* Map(size_t size, uint64_t offset) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd_, off_t(offset));
    return p == MAP_FAILED ? nullptr : p;
  }

  template <class T>
  static T* At(void* base, unsigned offset) {
    return reinterpret_cast<T*>(static_cast<char*>(base) + offset);
  }

  void Close() {
    if (sqes_) ::munmap(sqes_, sqes_size_);
    if (cq_ && cq_ != sq_) ::munmap(cq_, cq_size_);
    if (sq_) ::munmap(sq_, sq_size_);
    if (fd_ >= 0) ::close(fd_);
    Forget();
  }

  // Drops the ring without touching it.
  void Forget() {
    fd_ = -1;
    sq_ = cq_ = nullptr;
    sqes_ = nullptr;
  }

  bool allowed_ = true;
  int fd_ = -1;
  bool failed_ = false;     // the kernel refused a ring to this process
  bool inherited_ = false;  // this process was forked since the ring was made
  void* sq_ = nullptr;
  void* cq_ = nullptr;
  io_uring_sqe* sqes_ = nullptr;
  size_t sq_size_ = 0, cq_size_ = 0, sqes_size_ = 0;
  unsigned entries_ = 0;
  unsigned* sq_tail_ = nullptr;
  unsigned sq_mask_ = 0;
  unsigned* sq_array_ = nullptr;
  unsigned* cq_head_ = nullptr;
  unsigned* cq_tail_ = nullptr;
  unsigned cq_mask_ = 0;
  io_uring_cqe* cqes_ = nullptr;
};

Ring g_ring;

void Ring::ChildStarts() {
  g_ring.inherited_ = true;
  g_ring_turn.unlock();
}

}  // namespace

bool KvBatchReads() {
  std::lock_guard<std::mutex> turn(g_ring_turn);
  return g_ring.Ready();
}

bool KvReadBlocks(KorvaBlockRead* reads, int n) {
  std::lock_guard<std::mutex> turn(g_ring_turn);
  if (!g_ring.Ready()) {
    for (int i = 0; i < n; ++i) reads[i].result = -ENOSYS;
    return true;
  }
  return g_ring.Read(reads, n);
}

void KvAllowBatchReads(bool allow) {
  std::lock_guard<std::mutex> turn(g_ring_turn);
  g_ring.Allow(allow);
}
