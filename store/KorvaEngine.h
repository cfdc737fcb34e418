// The KORVA block-file engine: plain functions over open files (KorvaFile), in the layout of
// store/KorvaFormat.h. CKorva (store/Kvobj.h) is its only caller outside the engine.
//
// Results are signed 16-bit: -1 on failure, else 0 or a record length. A failure leaves its reason
// in the process-wide error report (db_errclass, db_errdetail): class 0x1000 for a file access
// the system refused (the detail is the errno value), class 0x2000 for an operation the engine
// refused (the detail is one of the kv codes below). A successful call leaves the report as the
// call found it after setting class 0x2000 and detail 0 on entry.
//
// Runs. Every operation on an open file takes the lock on the file's first byte, re-reads the
// header, lets the change counter decide whether its cached blocks still hold, works, writes what
// it changed and releases the lock. A caller that makes many calls in a row brackets them with
// db_hold / db_release (they nest): the lock and the header are then taken once, blocks stay in
// memory between the calls, and the outermost db_release writes every changed block and the header
// once, before it lets the lock go (a run whose changes outgrow the block cache also writes them
// all between two of its calls). Other processes wait for at most one such run. An operation that
// fails inside a run takes back everything it changed; the run's earlier calls stand, unless the
// file refused a read or a write (then the whole run fails).
//
// Runs are all or nothing on the disk too: before a run first overwrites a block (or the header)
// in place, the block's old bytes go to the journal "<file>.jnl" and are synced; the run's end
// syncs the file and then empties the journal. A run that never ended (a killed process, a lost
// power supply, a write that failed) is taken back from the journal by whoever next takes the
// lock, before anything reads the file; a file opened read-only cannot do so. Three syncs a run.
//
// Threads: the open-file table, the error report and each open file are process-wide and
// unguarded; one thread at a time may be inside the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Progress callback of the engine's long passes (check, copy, salvage): called once per step
// with the count of steps so far; a negative result stops the pass. Null by default; installed
// by the data check.
using ProgressHook = int (*)(int count);
extern ProgressHook progress_hook;

extern int db_errclass;
extern int db_errdetail;

constexpr int kvClassFile = 0x1000, kvClassEngine = 0x2000;
enum KorvaDetail : int {
  kvNoMemory = 0x1100,
  kvTooDeep = 0x1200,        // a key tree would need a 16th level
  kvTooManyFiles = 0x1220,   // 20 files already open
  kvTooManyKeys = 0x1240,    // a key table would hold no key or more than 24
  kvZeroKey = 0x1300,        // a record's key is all zero bytes
  kvNotKorva = 0x1308,       // not a file of this format, or not openable for adding keys
  kvNoKeyTable = 0x1309,
  kvBadHandle = 0x1320,      // not an open file
  kvBadLength = 0x1340,      // record shorter than its key or longer than the data blocks take
  kvBadKey = 0x1360,         // key length outside 1..256, or a negative key offset
  kvBadBlockSize = 0x1380,   // block sizes not multiples of 128 in 128..32640, or too small for the key
  kvNoPosition = 0x1400,
  kvNotFound = 0x1500,
  kvNoNext = 0x1520,
  kvNoPrev = 0x1540,
  kvExists = 0x1600,
  kvLocked = 0x1720,         // the lock was not obtained in 16 one-second rounds
  kvInconsistent = 0x1800,   // a block or header is damaged, or a check pass found a fault
  kvNoSpace = 0x1900,        // the address space is used up; or no header to add keys to
  kvBadExtension = 0x2100,   // an address names an extension file above 127
};

struct KorvaFile;

// Creation record of db_create: the key-length table holds key_count lengths when key_table is
// set (key offset 0), else the one key is key_length bytes at key_offset.
struct KorvaCreation {
  int key_block = 1024;
  int data_block = 2048;
  bool key_table = false;
  int key_length = 0;
  int key_offset = 0;
  int key_count = 0;
  int16_t key_lengths[25] = {};
};

// Key-length tables of db_create_keys and db_add_keys: table[0] = count, then that many lengths.
int16_t db_create(const char* path, const KorvaCreation& creation);
int16_t db_create_one(const char* path, int key_offset, int key_length, int key_block, int data_block);
int16_t db_create_keys(const char* path, int key_block, int data_block, const int16_t* table);
int16_t db_add_keys(const char* path, const int16_t* table);
// The open file, or null. A file that refuses writing is opened read-only and takes no locks.
KorvaFile* db_open(const char* path);
int16_t db_close(KorvaFile* f);
// Makes key n (1-based) of a key table current; -1 without detail when there is no such key.
int16_t db_select_key(KorvaFile* f, int n);

int16_t db_hold(KorvaFile* f);
int16_t db_release(KorvaFile* f);  // -1 when the run's changes could not be made durable: they are gone
// A caller that keeps some of its changes back in memory during a held run (the record tables'
// use counts) has them made by the hook: it is called when the run ends, before its changed
// blocks are written (the outermost db_release, or an operation outside any held run; a flush
// between two operations of an over-full cache does not wait for it), and may call the engine on
// the same file; the key selected before it is selected again after it, and the error report is
// left as it was. A negative answer fails the write: the run's changes are lost, as when writing
// them fails. Null: none.
using FlushHook = int (*)(void* context);
void db_flush_hook(KorvaFile* f, FlushHook hook, void* context);
// Changes every time the file's cached blocks are dropped: at the first run of an opening, at the
// start of a run when another handle wrote the file since this one last saw it, and when a failed
// write lost a run's changes; no two openings share a value. What a caller keeps about the file's
// contents holds while this stays the same.
uint32_t db_drops(KorvaFile* f);

// Record operations under the current key. Keys are the current key's length; a record's key
// lies at the key offset. Buffers must hold db_data_cap bytes. The key of the record concerned
// becomes the current position.
int16_t db_insert(KorvaFile* f, const void* record, int16_t length);
int16_t db_append(KorvaFile* f, const void* record, int16_t length);  // dense blocks for ascending keys
int16_t db_delete(KorvaFile* f, const void* key);
// changes: how many changes the update stands for (at least one); the change counter rises by as
// many, as it would for that many updates of the record one after another.
int16_t db_update(KorvaFile* f, const void* record, int16_t length, int changes = 1);
int16_t db_read(KorvaFile* f, const void* key, void* buffer);
int16_t db_next(KorvaFile* f, const void* key, void* buffer);       // first record above key
int16_t db_seek(KorvaFile* f, const void* key, void* buffer);       // first record at or above
int16_t db_first(KorvaFile* f, void* buffer);
int16_t db_prev(KorvaFile* f, const void* key, void* buffer);       // last record below key
int16_t db_seek_prev(KorvaFile* f, const void* key, void* buffer);  // last record at or below
int16_t db_next_pos(KorvaFile* f, void* buffer);                    // next after the position
int16_t db_data_cap(KorvaFile* f);
// Brings the data blocks holding the given keys of the current key into the block cache ahead of
// the reads that will ask for them: count keys, each at stride bytes from the one before. Changes
// neither the file nor the position. 0, also when some block could not be read (the read of its
// record will fail then) or when the system reads block by block; -1 when a key block is damaged.
int16_t db_prefetch(KorvaFile* f, const void* keys, int count, int stride);

// Findings of db_check beyond its result.
struct KorvaCheckReport {
  std::vector<uint32_t> damaged;  // blocks found damaged, in the order met; 0 = the header's counts
  uint64_t accounted = 0;         // bytes of blocks found in trees, chains and free lists
  uint64_t allocated = 0;         // bytes between the header's end and the end address
};
// Records of all keys, or -1 (kvInconsistent when the file is damaged or the hook stopped it).
int db_check(const char* path, KorvaCheckReport* report = nullptr);
// Copies every record into a new file with the given block sizes (0 = the source's); the record
// count, or -1.
int db_copy(const char* source, const char* target, int key_block, int data_block);
// Builds a new file from the intact data blocks of a damaged one; the records placed, or -1.
int db_salvage(const char* source, const char* target, int key_block, int data_block);
