// Writing behind: inside a held run, the pages of a flush go to the disk on a thread of their own
// while the run goes on. One flush is under way at a time, process-wide, like the cache.
//
// A page handed over stays in the cache, marked clean, until its bytes are on the disk: it is not
// evicted and its memory is not freed before then. Before the run changes such a page, KvTouch
// calls WbBeforeChange: a page still waiting is copied and the copy goes to the disk instead; a page
// being written at that moment is waited for. The writes go out in the order given, so the order a
// flush keeps for other processes holds as before.
//
// Threads: everything here is called by the thread that runs the engine's operations; only the
// writing itself happens on the other thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct KorvaPage;

// Blocks written by one system call at most.
constexpr int kMostInOneWrite = 256;

// One system call: pages [first, first + count) of the flush, lying end to end at offset.
struct WbWrite {
  uint64_t offset = 0;
  uint32_t first = 0, count = 0;
};

// The serial of the flush under way (0: none). A page carries the serial of the flush it was
// handed to (wb_serial); a quick test before the calls below.
extern uint32_t g_wb_serial;
inline bool WbHanded(uint32_t pageSerial) { return pageSerial != 0 && pageSerial == g_wb_serial; }
// What the writing behind holds besides the cache's pages (copies, its lists): the cache counts it
// against its budget, and keeps room for the lists of a flush of its changed pages (kWbListBytes
// for each).
extern std::atomic<size_t> g_wb_bytes;
constexpr size_t kWbListBytes = sizeof(KorvaPage*) + sizeof(int) + 1 + sizeof(void*) + sizeof(WbWrite);

// A pause before each write of the writing thread, in microseconds: lets tests keep flushes under
// way while the run goes on. 0 in the program.
extern std::atomic<int> g_wb_pause_us;

// Hands pages (each written for its length in lengths) to a writing thread, which goes through
// writes in order on descriptor fd, with the header bytes (when there are any) written before
// writes[headerAt]. The flush before must have been collected. Without a thread the writes happen
// here, before the call returns. A program that ends with a flush under way waits for it. Each
// write is shown to the request hook (db_io_hook) as a write request on path.
void WbStart(int fd, std::vector<KorvaPage*> pages, std::vector<int> lengths, std::vector<WbWrite> writes,
             std::vector<uint8_t> header, size_t headerAt, std::string path = {});
// Whether p's bytes are not yet on the disk (or never will be, after a failed write: such a page
// stays until the flush is collected, so that nobody reads the old bytes back meanwhile).
bool WbPending(const KorvaPage* p);
// Before p changes: see above.
void WbBeforeChange(KorvaPage* p);
// Until p's bytes are on the disk, or their write was given up after a failure.
void WbWaitPage(const KorvaPage* p);
// Until more of the flush is written (a sixteenth of its pages, or the rest). False at once when
// every page of it is on the disk already (or no flush was started).
bool WbWaitProgress();
// Whether a write of the flush under way has failed.
bool WbFailed();
// Waits for the flush to end and forgets it: 0, or the errno of its first failed write (the writes
// after that one were not made, and their pages no longer match the disk).
int WbCollect();
