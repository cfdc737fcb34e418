// Records over data blocks: insert, delete, update, read and stepping under the current key.
//
// Within a data block records lie end to end after the head in ascending key order, and every key
// of a block is below every key of the next block. A changing operation always descends from the
// root, so the path above its data block is that block's chain of parents. A reading operation
// skips the descent when the record it read last has the key, or when the key lies in the range of
// keys that the last descent found leading to the same block.
#include <algorithm>
#include <cstring>
#include <vector>

#include "store/KorvaCore.h"
#include "store/KorvaReadBatch.h"

using namespace korva;

namespace {

// Where a key stands in one data block (offsets of records; -1 for none).
struct Scan {
  int result = -1;       // kKeyEqual, 0 when a greater record exists, -1 when every record is below
  int found = -1;        // the equal record
  int next = -1;         // the first record above the key
  int prev = kHeadSize;  // the last record below the key (the first record when none is)
  bool below = false;    // some record is below the key
};

// A block whose records are all as short as a record can be (the key alone, as in the blocks of a
// pure index) has its records at fixed strides: found by halving instead of by walking. The sums
// tell such a block: with the key at the record's start no record is shorter than the key, so a
// used length of count keys means every record is one. The offsets stay inside the used bytes
// whatever the block holds.
Scan FixedSearch(const KorvaFile* f, const uint8_t* b, const uint8_t* key, int count) {
  const int stride = 2 + f->key_len;
  auto at = [stride](int i) { return kHeadSize + i * stride; };
  int lo = 0, hi = count;
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (KeyOrder(RecKey(f, b, at(mid)), key, f->key_len) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  Scan s;
  s.below = lo > 0;
  s.prev = lo > 0 ? at(lo - 1) : kHeadSize;
  if (lo == count) return s;
  if (KeyOrder(RecKey(f, b, at(lo)), key, f->key_len) == 0) {
    s.result = kKeyEqual;
    s.found = at(lo);
    s.next = lo + 1 < count ? at(lo + 1) : -1;
  } else {
    s.result = 0;
    s.next = at(lo);
  }
  return s;
}

Scan dat_search(const KorvaFile* f, const uint8_t* b, const uint8_t* key) {
  Scan s;
  const int end = UsedEnd(f, b), count = Get16(b + kBlkCount);
  if (f->key_off == 0 && count > 0 && end - kHeadSize == count * (2 + f->key_len)) return FixedSearch(f, b, key, count);
  PrefetchBytes(b + 64, b + end);
  int off = kHeadSize;
  for (int i = 0; i < count && off < end; ++i) {
    const int c = KeyOrder(RecKey(f, b, off), key, f->key_len);
    if (c >= 0) {
      if (c == 0) {
        s.result = kKeyEqual;
        s.found = off;
        const int after = off + 2 + RecLen(b, off);
        s.next = after < end ? after : -1;
      } else {
        s.result = 0;
        s.next = off;
      }
      return s;
    }
    s.prev = off;
    s.below = true;
    off += 2 + RecLen(b, off);
  }
  return s;
}

bool IsZero(const uint8_t* key, int n) {
  for (int i = 0; i < n; ++i)
    if (key[i]) return false;
  return true;
}

bool IsSentinel(const uint8_t* b, int off) { return off == kHeadSize && Get32(b + kDatPre) == 0; }

int LastRecord(const KorvaFile* f, const uint8_t* b) {
  const int count = Get16(b + kBlkCount);
  int off = kHeadSize;
  for (int i = 1; i < count; ++i) off += 2 + RecLen(b, off);
  return off;
}

void ClearPosition(KorvaFile* f) { f->position_valid[size_t(f->key_no)] = 0; }

// Copies the record at off of the data block at path[0] out and makes it the position.
int16_t CopyOut(KorvaFile* f, const uint8_t* b, int off, void* buffer) {
  const int len = RecLen(b, off);
  std::memcpy(buffer, b + off + 2, size_t(len));
  std::memcpy(f->position(), RecKey(f, b, off), size_t(f->key_len));
  f->position_valid[size_t(f->key_no)] = 1;
  f->hint_known = true;
  f->hint_address = f->path[0];
  f->hint_offset = off;
  return int16_t(len);
}

// True when the tree has not changed since the last descent under the current key led to the
// block at path[0], and key lies in the range of keys that lead there. Only path[0] is trusted:
// whoever changes the tree descends first.
bool InLastRange(const KorvaFile* f, const uint8_t* key) {
  const int len = f->key_len;
  return f->path_valid && f->range_known && f->range_address == f->path[0] &&
         KeyOrder(f->range_low, key, len) <= 0 && (f->range_open || KeyOrder(key, f->range_high, len) < 0);
}

// True when key lies in the range of a known leaf (KorvaFile::known) of the current key, which is
// then made the block of the last descent with its range.
bool InKnownLeaf(KorvaFile* f, const uint8_t* key) {
  const int len = f->key_len;
  if (KorvaFile::KnownLeaf* found = KvKnownLeaf(f, key)) {
    KorvaFile::KnownLeaf& k = *found;
    k.used = true;
    f->path[0] = f->range_address = k.address;
    f->path_valid = true;
    std::memcpy(f->range_low, k.low, size_t(len));
    if (!k.open) std::memcpy(f->range_high, k.high, size_t(len));
    f->range_open = k.open;
    f->range_known = true;
    return true;
  }
  return false;
}

// The data block that the last read-ahead found for key, made the current data block with its
// range; null when the read-ahead found none (or the block cannot be read: the descent will say).
KorvaPage* AheadLeaf(KorvaFile* f, const uint8_t* key) {
  if (!f->ahead_known || f->ahead_key != f->key_no) return nullptr;
  const size_t n = f->ahead_addresses.size(), len = size_t(f->key_len);
  for (size_t k = 0; k < n; ++k) {
    const size_t i = (f->ahead_next + k) % n;
    const uint8_t* low = &f->ahead_bounds[2 * i * len];
    if (KeyOrder(low, key, int(len)) > 0 || (!f->ahead_open[i] && KeyOrder(key, low + len, int(len)) >= 0)) continue;
    const int saved_class = db_errclass, saved_detail = db_errdetail;
    KorvaPage* d = KvDataPage(f, f->ahead_addresses[i]);
    if (!d) {
      db_errclass = saved_class;
      db_errdetail = saved_detail;
      return nullptr;
    }
    f->ahead_next = i + 1;
    f->path[0] = f->range_address = f->ahead_addresses[i];
    f->path_valid = true;
    std::memcpy(f->range_low, low, len);
    std::memcpy(f->range_high, low + len, len);
    f->range_open = f->ahead_open[i] != 0;
    f->range_known = true;
    return d;
  }
  return nullptr;
}

// The data block where key belongs, with the key's place in it (prev only when asked for). Without
// a descent when the record read last has the key, the last descent's range holds it, or the
// last read-ahead found its block.
KorvaPage* LeafFor(KorvaFile* f, const uint8_t* key, Scan* s, bool need_prev) {
  const int len = f->key_len;
  if (f->path_valid) {
    const bool hinted = !need_prev && f->hint_known && f->hint_address == f->path[0];
    const bool ranged = InLastRange(f, key);
    if (hinted || ranged) {
      const int saved_class = db_errclass, saved_detail = db_errdetail;
      if (KorvaPage* d = KvDataPage(f, f->path[0], hinted ? kAccessQuiet : kAccessUse)) {
        const uint8_t* b = d->data();
        const int hint = f->hint_offset, end = UsedEnd(f, b);
        // The remembered offset is used only while a whole record with its key fits there.
        const bool fits = hint >= kHeadSize && hint + 2 <= end && RecLen(b, hint) >= f->key_off + len &&
                          hint + 2 + RecLen(b, hint) <= end;
        if (hinted && fits && KeyOrder(RecKey(f, b, hint), key, len) == 0) {
          const int after = hint + 2 + RecLen(b, hint);
          *s = Scan{kKeyEqual, hint, after < end ? after : -1, kHeadSize, hint != kHeadSize};
          return d;
        }
        if (ranged) {
          *s = dat_search(f, b, key);
          return d;
        }
      }
      db_errclass = saved_class;
      db_errdetail = saved_detail;
    }
  }
  if (KorvaPage* d = AheadLeaf(f, key)) {
    *s = dat_search(f, d->data(), key);
    return d;
  }
  if (db_descend(f, key) < 0) return nullptr;
  KorvaPage* d = KvDataPage(f, f->path[0]);
  if (d) *s = dat_search(f, d->data(), key);
  return d;
}

// The first record above key (at or above with inclusive), moving into the next block when the
// key's block has none.
int16_t StepForward(KorvaFile* f, const uint8_t* from, void* buffer, bool inclusive) {
  uint8_t key[kMaxKeyLen];  // the caller's key may lie in the buffer the record goes to
  std::memcpy(key, from, size_t(f->key_len));
  Scan s;
  KorvaPage* d = LeafFor(f, key, &s, false);
  if (!d) return -1;
  const uint8_t* b = d->data();
  int off = inclusive && s.result == kKeyEqual ? s.found : s.next;
  if (off >= 0 && IsSentinel(b, off)) {
    off += 2 + RecLen(b, off);
    if (off >= UsedEnd(f, b)) off = -1;
  }
  if (off < 0) {
    const uint32_t next = Get32(b + kDatNext);
    if (next == kNoBlock) return KvRefuse(kvNoNext);
    d = KvDataPage(f, next, kAccessStep);
    if (!d) return -1;
    // A chain that does not go on upwards is damaged (and would walk in circles).
    if (Get32(d->data() + kDatPre) == 0 || KeyOrder(RecKey(f, d->data(), kHeadSize), key, f->key_len) <= 0)
      return KvDamaged();
    f->path[0] = next;
    b = d->data();
    off = kHeadSize;
    // A walk asks for the block after this one a few records from now.
    if (Get32(b + kDatNext) != kNoBlock) f->pages.Prefetch(Get32(b + kDatNext));
  }
  return CopyOut(f, b, off, buffer);
}

// The last record below key (at or below with inclusive), moving into the previous block when the
// key's block has none. The sentinel is never a record.
int16_t StepBack(KorvaFile* f, const uint8_t* from, void* buffer, bool inclusive) {
  uint8_t key[kMaxKeyLen];
  std::memcpy(key, from, size_t(f->key_len));
  Scan s;
  KorvaPage* d = LeafFor(f, key, &s, true);
  if (!d) return -1;
  const uint8_t* b = d->data();
  int off = -1;
  if (inclusive && s.result == kKeyEqual)
    off = s.found;
  else if (s.below)
    off = s.prev;
  if (off < 0) {
    const uint32_t pre = Get32(b + kDatPre);
    if (pre == 0) return KvRefuse(kvNoPrev);
    d = KvDataPage(f, pre, kAccessStep);
    if (!d) return -1;
    b = d->data();
    off = LastRecord(f, b);
    if (!IsSentinel(b, off) && KeyOrder(RecKey(f, b, off), key, f->key_len) >= 0) return KvDamaged();
    f->path[0] = pre;
  }
  if (IsSentinel(b, off) || RecLen(b, off) == 0) return KvRefuse(kvNoPrev);
  return CopyOut(f, b, off, buffer);
}

// Splits the current data block d before an insert of key: mode 1 in halves, mode 2 giving up
// only its last record. The path must be redone afterwards.
int16_t dat_split(KorvaFile* f, int mode, KorvaPage* d, const uint8_t* key) {
  uint8_t* b = d->data();
  const int count = Get16(b + kBlkCount), end = UsedEnd(f, b), size = f->data_block;
  if (count < 2) return KvDamaged();
  int keep = count - 1;
  if (mode == 1) {
    const int middle = kHeadSize + (size - kHeadSize) / 2;
    int off = kHeadSize;
    keep = 0;
    while (keep < count && off + 2 + RecLen(b, off) <= middle) {
      off += 2 + RecLen(b, off);
      ++keep;
    }
    if (keep < count && KeyOrder(RecKey(f, b, off), key, f->key_len) < 0) ++keep;
  }
  keep = std::clamp(keep, 1, count - 1);
  int cut = kHeadSize;
  for (int i = 0; i < keep; ++i) cut += 2 + RecLen(b, cut);

  const uint32_t self = f->path[0], old_next = Get32(b + kDatNext);
  const uint32_t address = get_blk(f, 0);
  if (address == kNoBlock) return -1;
  KorvaPage* right = KvNewPage(f, address, size);
  if (!right) return -1;
  uint8_t* r = right->data();
  Put16(r + kBlkModified, unsigned(f->key_no));
  Put16(r + kBlkCount, unsigned(count - keep));
  Put16(r + kBlkFree, unsigned(size - kHeadSize - (end - cut)));
  Put32(r + kDatPre, self);
  Put32(r + kDatNext, old_next);
  std::memcpy(r + kHeadSize, b + cut, size_t(end - cut));
  right->checked = kCheckedData;
  right->checked_key = f->key_no;

  KvTouch(f, d);
  Put16(b + kBlkCount, unsigned(keep));
  Put16(b + kBlkFree, unsigned(size - cut));
  Put32(b + kDatNext, address);
  std::memset(b + cut, 0, size_t(end - cut));

  if (key_insert(mode, f, 1, RecKey(f, r, kHeadSize), address) < 0) return -1;
  if (old_next != kNoBlock) {
    KorvaPage* after = KvDataPage(f, old_next);
    if (!after) return -1;
    if (Get32(after->data() + kDatPre) != self) return KvDamaged();
    KvTouch(f, after);
    Put32(after->data() + kDatPre, address);
  }
  f->path_valid = false;
  return 0;
}

int16_t dat_insert(KorvaFile* f, int mode, const uint8_t* record, int len) {
  const uint8_t* key = record + f->key_off;
  if (len < f->key_off + f->key_len || len > RecordCap(f->data_block)) return KvRefuse(kvBadLength);
  if (IsZero(key, f->key_len)) return KvRefuse(kvZeroKey);
  // Each split moves at least one record out of the block the key goes to. The first try may take
  // the block of the last descent (a look-up just before the insert of what it did not find); a
  // split changes the block's parents, so it always follows a descent of this insert. A block that
  // an earlier descent of the same key led to is known as well (KorvaFile::known).
  for (int splits = 0, tries = 0;; ++tries) {
    const bool shortcut = tries == 0 && (InLastRange(f, key) || InKnownLeaf(f, key));
    if (!shortcut) {
      if (db_descend(f, key) < 0) return -1;
      KvNoteLeaf(f, f->range_address, f->range_low, f->range_open ? nullptr : f->range_high);
    }
    KorvaPage* d = KvDataPage(f, f->path[0]);
    if (!d) return -1;
    uint8_t* b = d->data();
    const Scan s = dat_search(f, b, key);
    if (s.result == kKeyEqual) return KvRefuse(kvExists);
    if (Get16(b + kBlkFree) < len + f->key_len + 2) {
      if (shortcut) continue;
      if (splits++ > Get16(b + kBlkCount) + 1) return KvDamaged();
      if (dat_split(f, mode, d, key) < 0) return -1;
      continue;
    }
    const int end = UsedEnd(f, b), at = s.next >= 0 ? s.next : end;
    // Every caller ends its operation with this insert: what follows cannot fail.
    KvSettle(f);
    KvTouch(f, d);
    std::memmove(b + at + 2 + len, b + at, size_t(end - at));
    Put16(b + at, unsigned(len));
    std::memcpy(b + at + 2, record, size_t(len));
    Put16(b + kBlkFree, unsigned(Get16(b + kBlkFree) - (len + 2)));
    Put16(b + kBlkCount, unsigned(Get16(b + kBlkCount) + 1));
    KvCountRecord(f, 1);
    std::memcpy(f->position(), key, size_t(f->key_len));
    f->position_valid[size_t(f->key_no)] = 1;
    return 0;
  }
}

// Moves the records of the current data block into its predecessor when they fit there and the
// block is less than half full; the emptied block leaves the chain and the tree.
int16_t MergeIntoPrevious(KorvaFile* f) {
  KorvaPage* d = KvDataPage(f, f->path[0]);
  if (!d) return -1;
  const uint8_t* b = d->data();
  const int size = f->data_block, free = Get16(b + kBlkFree);
  const uint32_t pre = Get32(b + kDatPre);
  if (pre == 0 || free <= (size - kHeadSize) / 2) return 0;
  KorvaPage* p = KvDataPage(f, pre);
  if (!p) return -1;
  const int used = size - kHeadSize - free;
  if (used >= Get16(p->data() + kBlkFree)) return 0;
  const int count = Get16(b + kBlkCount);
  const std::vector<uint8_t> moved(b + kHeadSize, b + kHeadSize + used);
  uint8_t first[kMaxKeyLen], own[kMaxKeyLen];
  std::memcpy(first, RecKey(f, p->data(), kHeadSize), size_t(f->key_len));
  std::memcpy(own, RecKey(f, b, kHeadSize), size_t(f->key_len));
  if (key_delete(f, 1, own, nullptr) < 0) return -1;
  if (db_descend(f, first) < 0) return -1;
  if (f->path[0] != pre) return KvDamaged();
  p = KvDataPage(f, pre);
  if (!p) return -1;
  uint8_t* q = p->data();
  const int end = UsedEnd(f, q);
  KvTouch(f, p);
  std::memcpy(q + end, moved.data(), moved.size());
  Put16(q + kBlkCount, unsigned(Get16(q + kBlkCount) + count));
  Put16(q + kBlkFree, unsigned(Get16(q + kBlkFree) - used));
  KvBumpCounter(f);
  return 0;
}

// The data block holding the record with exactly key, found by descent (the path is then its
// parents), with the key's place in s; null with kvNotFound when there is no such record.
KorvaPage* FindExact(KorvaFile* f, const uint8_t* key, Scan* s) {
  if (IsZero(key, f->key_len)) {
    KvRefuse(kvNotFound);
    return nullptr;
  }
  if (db_descend(f, key) < 0) return nullptr;
  KorvaPage* d = KvDataPage(f, f->path[0]);
  if (!d) return nullptr;
  *s = dat_search(f, d->data(), key);
  if (s->result == kKeyEqual) return d;
  KvRefuse(kvNotFound);
  return nullptr;
}

int16_t dat_delete(KorvaFile* f, const uint8_t* key) {
  Scan s;
  KorvaPage* d = FindExact(f, key, &s);
  if (!d) return -1;
  uint8_t* b = d->data();
  const int off = s.found, len = RecLen(b, off);
  if (off == kHeadSize) {
    if (Get16(b + kBlkCount) == 1) {
      if (key_delete(f, 1, key, nullptr) < 0) return -1;
      KvCountRecord(f, -1);
      return 0;
    }
    if (key_delete(f, 1, key, RecKey(f, b, off + 2 + len)) < 0) return -1;
  }
  const int end = UsedEnd(f, b);
  KvTouch(f, d);
  std::memmove(b + off, b + off + 2 + len, size_t(end - off - 2 - len));
  std::memset(b + end - 2 - len, 0, size_t(len + 2));
  Put16(b + kBlkFree, unsigned(Get16(b + kBlkFree) + len + 2));
  Put16(b + kBlkCount, unsigned(Get16(b + kBlkCount) - 1));
  KvCountRecord(f, -1);
  // A merge that fails is taken back alone: the delete stands.
  const size_t mark = KvSavepoint(f);
  if (MergeIntoPrevious(f) < 0) {
    KvRollback(f, mark);
    KvStartReport();
  }
  return 0;
}

}  // namespace

int16_t db_insert(KorvaFile* f, const void* record, int16_t length) {
  return KvOperation(f, [&]() -> int16_t {
    ClearPosition(f);
    return dat_insert(f, 1, static_cast<const uint8_t*>(record), length);
  });
}

int16_t db_append(KorvaFile* f, const void* record, int16_t length) {
  return KvOperation(f, [&]() -> int16_t {
    ClearPosition(f);
    return dat_insert(f, 2, static_cast<const uint8_t*>(record), length);
  });
}

int16_t db_delete(KorvaFile* f, const void* key) {
  return KvOperation(f, [&]() -> int16_t {
    ClearPosition(f);
    const uint8_t* k = static_cast<const uint8_t*>(key);
    if (dat_delete(f, k) < 0) return -1;
    std::memcpy(f->position(), k, size_t(f->key_len));
    f->position_valid[size_t(f->key_no)] = 1;
    return 0;
  });
}

int16_t db_update(KorvaFile* f, const void* record, int16_t length, int changes) {
  return KvOperation(f, [&]() -> int16_t {
    ClearPosition(f);
    const uint8_t* rec = static_cast<const uint8_t*>(record);
    const uint8_t* key = rec + f->key_off;
    if (length < f->key_off + f->key_len) return KvRefuse(kvBadLength);
    if (IsZero(key, f->key_len)) return KvRefuse(kvNotFound);
    // A change in place leaves the tree alone, so the block may come from the last read (the
    // usual read-then-change) without a descent; any other change descends on its own.
    Scan s;
    KorvaPage* d = LeafFor(f, key, &s, false);
    if (!d) return -1;
    if (s.result != kKeyEqual) return KvRefuse(kvNotFound);
    uint8_t* b = d->data();
    if (RecLen(b, s.found) == length) {
      KvSettle(f);
      KvTouch(f, d);
      std::memcpy(b + s.found + 2, rec, size_t(length));
      KvBumpCounter(f, uint32_t(std::max(changes, 1)));
    } else {
      // Delete and insert run as one operation: when the insert fails, the delete is taken back.
      if (length > RecordCap(f->data_block)) return KvRefuse(kvBadLength);
      if (dat_delete(f, key) < 0 || dat_insert(f, 1, rec, length) < 0) return -1;
      if (changes > 1) KvBumpCounter(f, 2 * uint32_t(changes - 1));  // a delete and an insert each
    }
    std::memcpy(f->position(), key, size_t(f->key_len));
    f->position_valid[size_t(f->key_no)] = 1;
    return 0;
  });
}

int16_t db_read(KorvaFile* f, const void* key, void* buffer) {
  return KvOperation(f, [&]() -> int16_t {
    ClearPosition(f);
    const uint8_t* k = static_cast<const uint8_t*>(key);
    if (IsZero(k, f->key_len)) return KvRefuse(kvNotFound);
    Scan s;
    KorvaPage* d = LeafFor(f, k, &s, false);
    if (!d) return -1;
    if (s.result != kKeyEqual) return KvRefuse(kvNotFound);
    return CopyOut(f, d->data(), s.found, buffer);
  });
}

namespace {
int16_t Step(KorvaFile* f, const void* key, void* buffer, bool forward, bool inclusive) {
  return KvOperation(f, [&]() -> int16_t {
    ClearPosition(f);
    const uint8_t* k = static_cast<const uint8_t*>(key);
    return forward ? StepForward(f, k, buffer, inclusive) : StepBack(f, k, buffer, inclusive);
  });
}
}  // namespace

int16_t db_next(KorvaFile* f, const void* key, void* buffer) { return Step(f, key, buffer, true, false); }
int16_t db_seek(KorvaFile* f, const void* key, void* buffer) { return Step(f, key, buffer, true, true); }
int16_t db_prev(KorvaFile* f, const void* key, void* buffer) { return Step(f, key, buffer, false, false); }
int16_t db_seek_prev(KorvaFile* f, const void* key, void* buffer) { return Step(f, key, buffer, false, true); }

int16_t db_first(KorvaFile* f, void* buffer) {
  const uint8_t zero[kMaxKeyLen] = {};
  return Step(f, zero, buffer, true, false);
}

int16_t db_next_pos(KorvaFile* f, void* buffer) {
  return KvOperation(f, [&]() -> int16_t {
    if (!f->position_valid[size_t(f->key_no)]) return KvRefuse(kvNoPosition);
    ClearPosition(f);
    return StepForward(f, f->position(), buffer, false);
  });
}

int16_t db_prefetch(KorvaFile* f, const void* keys, int count, int stride) {
  return KvOperation(f, [&]() -> int16_t {
    if (count < 0 || (count > 0 && stride < f->key_len)) return KvRefuse(kvBadKey);
    if (!KvBatchReads()) return 0;
    const size_t len = size_t(f->key_len);
    f->ahead_known = false;
    f->ahead_addresses.clear();
    f->ahead_open.clear();
    f->ahead_bounds.assign(2 * len * size_t(count), 0);
    for (int i = 0; i < count; ++i) {
      uint32_t address;
      const uint8_t *low, *high;
      if (key_leaf(f, static_cast<const uint8_t*>(keys) + size_t(i) * size_t(stride), &address, &low, &high) < 0)
        return -1;
      uint8_t* bounds = &f->ahead_bounds[2 * len * size_t(i)];
      std::memcpy(bounds, low, len);
      if (high) std::memcpy(bounds + len, high, len);
      f->ahead_addresses.push_back(address);
      f->ahead_open.push_back(high ? 0 : 1);
    }
    KvLoadPages(f, f->ahead_addresses.data(), count, f->data_block);
    f->ahead_known = true;
    f->ahead_key = f->key_no;
    f->ahead_next = 0;
    return 0;
  });
}

int16_t db_data_cap(KorvaFile* f) {
  KvStartReport();
  if (!KvIsOpen(f)) return KvRefuse(kvBadHandle);
  return int16_t(RecordCap(f->data_block));
}
