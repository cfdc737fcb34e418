// Many block reads handed to the kernel in one system call.
//
// The engine reads a block when an operation needs it, one pread each. Where a caller knows the
// blocks it will need next (the bodies of a look-up's coming records), reading them together
// saves a system call per block, which on virtual machines costs more than copying the block.
//
// Linux io_uring: one ring per process, set up at the first batch (again in a forked child, which
// must not share its parent's ring). Blocks the kernel holds in its page cache are read inside
// the one call. Where the kernel refuses the ring (an old kernel, a sandbox), KvBatchReads
// answers false and callers read block by block as before. Nothing here takes a lock: reads are
// issued by an operation that holds the file's lock, like any other read of it.
//
// Threads: any; batches take turns at the one ring.
#pragma once

#include <cstdint>

// One read: length bytes at offset of descriptor fd into buffer. result: the bytes read, or a
// negative errno value.
struct KorvaBlockRead {
  int fd;
  uint64_t offset;
  uint8_t* buffer;
  int length;
  int result;
};

// Whether reads can be batched in this process (sets the ring up on the first call).
bool KvBatchReads();
// Reads all n; each entry's result says how it went (without batching: -ENOSYS). False in the
// one case where the kernel did not report every read as finished: the buffers may then still be
// written to and must never be used or freed again.
bool KvReadBlocks(KorvaBlockRead* reads, int n);
// Tests: false keeps batching off in this process (as where the kernel refuses it).
void KvAllowBatchReads(bool allow);
