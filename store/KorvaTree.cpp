// Key trees: the descent to a key's data block and the separator entries above the data blocks.
//
// Invariants kept here: entries of a key block ascend; an entry's key equals the first key of its
// child (the sentinel's all-zero key for each level's first block), so a child holds the keys from
// its entry's key up to the next entry's; every block on the path of a descent is the parent of
// the one below it. A tree never becomes shallower; a 16th level is refused.
#include <algorithm>
#include <cstring>

#include "store/KorvaCore.h"

using namespace korva;

namespace {
uint8_t* Entry(uint8_t* block, int index, int entry) { return block + kHeadSize + index * entry; }

// A new key block's head: count entries of entry bytes each.
void KeyHead(KorvaFile* f, KorvaPage* p, int level, int count, int entry) {
  uint8_t* b = p->data();
  Put16(b + kBlkKind, unsigned(level));
  Put16(b + kBlkModified, unsigned(f->key_no));
  Put16(b + kBlkCount, unsigned(count));
  Put16(b + kBlkFree, unsigned(f->key_block - kHeadSize - count * entry));
  p->checked = level;
  p->checked_key = f->key_no;
}
}  // namespace

int key_cmp(const uint8_t* p, const uint8_t* q, int n) {
  if (n <= 0) return kKeyEqual;
  const int c = KeyOrder(p, q, n);
  return c == 0 ? kKeyEqual : c < 0 ? kKeyBelow : 0;
}

int key_search(const KorvaFile* f, const uint8_t* block, const uint8_t* key, const uint8_t** found,
               const uint8_t** previous) {
  const int len = f->key_len, entry = len + 4, count = Get16(block + kBlkCount);
  const uint8_t* first = block + kHeadSize;
  PrefetchBytes(first + 64 - kHeadSize, first + count * entry);
  int lo = 0, hi = count;
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (KeyOrder(first + mid * entry, key, len) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  if (lo == count) {
    *found = nullptr;
    *previous = first + (count - 1) * entry;
    return -1;
  }
  *found = first + lo * entry;
  *previous = lo > 0 ? *found - entry : *found;
  return KeyOrder(*found, key, len) == 0 ? kKeyEqual : 0;
}

int16_t key_leaf(KorvaFile* f, const uint8_t* key, uint32_t* address, const uint8_t** low, const uint8_t** high,
                 uint32_t* path) {
  const int len = f->key_len;
  *low = *high = nullptr;
  uint32_t a = KvRoot(f);
  for (int level = KvDepth(f); level >= 1; --level) {
    KorvaPage* p = KvKeyPage(f, a, level);
    if (!p) return -1;
    if (path) path[level] = a;
    const uint8_t *found, *previous;
    const uint8_t* entry = key_search(f, p->data(), key, &found, &previous) == kKeyEqual ? found : previous;
    // The next entry bounds the child from above; the last entry of a block inherits the bound
    // its own block has from the level above.
    *low = entry;
    if (entry + (len + 4) < p->data() + kHeadSize + Get16(p->data() + kBlkCount) * (len + 4)) *high = entry + len + 4;
    a = Get32(entry + len);
  }
  *address = a;
  return 0;
}

namespace {

// The first 8 bytes of a key (zeros past its end) as a number that orders as they do.
uint64_t FirstBytes(const uint8_t* key, int len) {
  uint8_t b[8] = {};
  std::memcpy(b, key, size_t(std::min(len, 8)));
  uint64_t v = 0;
  for (uint8_t byte : b) v = v << 8 | byte;
  return v;
}

// Place in known_order of the first entry above (key number, key) in that order.
size_t KnownAbove(const KorvaFile* f, const uint8_t* key) {
  const int len = f->key_len;
  const uint64_t first = FirstBytes(key, len);
  size_t lo = 0, hi = f->known_order.size();
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    const KorvaFile::KnownOrder& o = f->known_order[mid];
    const bool below = o.key != f->key_no ? o.key < f->key_no
                       : o.first != first ? o.first < first
                                          : KeyOrder(f->known[o.slot].low, key, len) <= 0;
    if (below)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

void Unlist(KorvaFile* f, size_t slot) {
  KorvaFile::KnownLeaf& k = f->known[slot];
  if (k.key == 0) return;
  k.key = 0;
  f->known_order.erase(std::find_if(f->known_order.begin(), f->known_order.end(),
                                    [slot](const KorvaFile::KnownOrder& o) { return o.slot == slot; }));
}

}  // namespace

KorvaFile::KnownLeaf* KvKnownLeaf(KorvaFile* f, const uint8_t* key) {
  const size_t at = KnownAbove(f, key);
  if (at == 0) return nullptr;
  KorvaFile::KnownLeaf& k = f->known[f->known_order[at - 1].slot];
  if (k.key != f->key_no || (!k.open && KeyOrder(key, k.high, f->key_len) >= 0)) return nullptr;
  return &k;
}

void KvNoteLeaf(KorvaFile* f, uint32_t address, const uint8_t* low, const uint8_t* high) {
  if (f->known.empty()) {
    f->known.resize(KorvaFile::kKnownLeaves);
    f->known_order.reserve(KorvaFile::kKnownLeaves);
  }
  const size_t len = size_t(f->key_len);
  size_t slot = KorvaFile::kKnownLeaves;
  // The leaf noted before under a range that holds its low bound is this one again (its range
  // may have grown since); any other there is out of date.
  if (KorvaFile::KnownLeaf* same = KvKnownLeaf(f, low)) {
    if (same->address == address)
      slot = size_t(same - f->known.data());
    else
      Unlist(f, size_t(same - f->known.data()));
  }
  // A leaf that inserts keep coming back to stays; one a single descent found goes first.
  for (int tries = 0; slot == KorvaFile::kKnownLeaves; ++tries) {
    KorvaFile::KnownLeaf& k = f->known[size_t(f->known_next)];
    if (k.key == 0 || !k.used || tries >= KorvaFile::kKnownLeaves)
      slot = size_t(f->known_next);
    else
      k.used = false;
    f->known_next = (f->known_next + 1) % KorvaFile::kKnownLeaves;
  }
  Unlist(f, slot);
  KorvaFile::KnownLeaf& k = f->known[slot];
  k.address = address;
  k.open = !high;
  k.used = false;
  std::memcpy(k.low, low, len);
  if (high) std::memcpy(k.high, high, len);
  // The ranges of the leaves of one tree do not overlap: one that does is left out.
  const size_t at = KnownAbove(f, low);
  if (at > 0) {
    const KorvaFile::KnownLeaf& before = f->known[f->known_order[at - 1].slot];
    if (before.key == f->key_no && (before.open || KeyOrder(low, before.high, f->key_len) < 0)) return;
  }
  if (at < f->known_order.size()) {
    const KorvaFile::KnownLeaf& after = f->known[f->known_order[at].slot];
    if (after.key == f->key_no && (!high || KeyOrder(after.low, high, f->key_len) < 0)) return;
  }
  k.key = f->key_no;
  f->known_order.insert(f->known_order.begin() + std::ptrdiff_t(at),
                        KorvaFile::KnownOrder{FirstBytes(low, f->key_len), f->key_no, uint8_t(slot)});
}

void KvForgetLeaf(KorvaFile* f, const uint8_t* key) {
  if (KorvaFile::KnownLeaf* k = KvKnownLeaf(f, key)) Unlist(f, size_t(k - f->known.data()));
}

void KvForgetLeaves(KorvaFile* f) {
  for (KorvaFile::KnownLeaf& k : f->known) k.key = 0;
  f->known_order.clear();
}

int16_t db_descend(KorvaFile* f, const uint8_t* key) {
  f->path_valid = false;
  f->range_known = false;
  const int len = f->key_len;
  const uint8_t *low, *high;
  uint32_t address;
  if (key_leaf(f, key, &address, &low, &high, f->path) < 0) return -1;
  if (!KvDataPage(f, address)) return -1;
  f->path[0] = address;
  f->path_valid = true;
  // The pages of the walk are held by the running operation, so low and high still stand.
  std::memcpy(f->range_low, low, size_t(len));
  f->range_open = !high;
  if (high) std::memcpy(f->range_high, high, size_t(len));
  f->range_address = address;
  f->range_known = true;
  return 0;
}

int16_t key_insert(int mode, KorvaFile* f, int level, const uint8_t* key, uint32_t child) {
  f->range_known = false;
  f->ahead_known = false;
  // A new leaf's first key lies in the range of the leaf it split from, whose range it cuts; the
  // ranges of the other leaves stay (a key block that splits moves entries, not bounds).
  if (level == 1) KvForgetLeaf(f, key);
  if (level > kMaxDepth) return KvRefuse(kvTooDeep);
  const int len = f->key_len, entry = len + 4, size = f->key_block;
  if (level > KvDepth(f)) {
    const uint32_t top = KvRoot(f);
    KorvaPage* old = KvKeyPage(f, top, level - 1);
    if (!old) return -1;
    const uint32_t address = get_blk(f, 1);
    if (address == kNoBlock) return -1;
    KorvaPage* root = KvNewPage(f, address, size);
    if (!root) return -1;
    KeyHead(f, root, level, 1, entry);
    std::memcpy(Entry(root->data(), 0, entry), Entry(old->data(), 0, entry), size_t(len));
    Put32(Entry(root->data(), 0, entry) + len, top);
    KvSetTree(f, level, address);
    f->path[level] = address;
  }
  KorvaPage* p = KvKeyPage(f, f->path[level], level);
  if (!p) return -1;
  if (Get16(p->data() + kBlkFree) < entry) {
    const int count = Get16(p->data() + kBlkCount);
    if (count < 2) return KvDamaged();
    const int keep = std::clamp(mode == 1 ? count / 2 : count - 1, 1, count - 1);
    const uint32_t address = get_blk(f, 1);
    if (address == kNoBlock) return -1;
    KorvaPage* right = KvNewPage(f, address, size);
    if (!right) return -1;
    uint8_t* r = right->data();
    KeyHead(f, right, level, count - keep, entry);
    std::memcpy(Entry(r, 0, entry), Entry(p->data(), keep, entry), size_t((count - keep) * entry));
    KvTouch(f, p);
    Put16(p->data() + kBlkCount, unsigned(keep));
    Put16(p->data() + kBlkFree, unsigned(size - kHeadSize - keep * entry));
    std::memset(Entry(p->data(), keep, entry), 0, size_t((count - keep) * entry));
    if (key_insert(mode, f, level + 1, Entry(r, 0, entry), address) < 0) return -1;
    if (KeyOrder(key, Entry(r, 0, entry), len) >= 0) {
      f->path[level] = address;
      p = right;
    }
  }
  uint8_t* b = p->data();
  const int count = Get16(b + kBlkCount);
  const uint8_t *found, *previous;
  const int at = key_search(f, b, key, &found, &previous) == -1 ? count : int(found - Entry(b, 0, entry)) / entry;
  KvTouch(f, p);
  std::memmove(Entry(b, at + 1, entry), Entry(b, at, entry), size_t((count - at) * entry));
  std::memcpy(Entry(b, at, entry), key, size_t(len));
  Put32(Entry(b, at, entry) + len, child);
  Put16(b + kBlkCount, unsigned(count + 1));
  Put16(b + kBlkFree, unsigned(Get16(b + kBlkFree) - entry));
  return 0;
}

int16_t key_delete(KorvaFile* f, int level, const uint8_t* key, const uint8_t* replacement) {
  f->range_known = false;
  f->ahead_known = false;
  KvForgetLeaves(f);
  if (level > KvDepth(f)) return KvDamaged();
  const int len = f->key_len, entry = len + 4;
  KorvaPage* p = KvKeyPage(f, f->path[level], level);
  if (!p) return -1;
  uint8_t* b = p->data();
  const uint8_t *found, *previous;
  if (key_search(f, b, key, &found, &previous) != kKeyEqual) return KvDamaged();
  const int at = int(found - Entry(b, 0, entry)) / entry;
  int count = Get16(b + kBlkCount);
  if (replacement) {
    KvTouch(f, p);
    std::memcpy(Entry(b, at, entry), replacement, size_t(len));
  } else {
    const uint32_t child = Get32(found + len);
    if (child != f->path[level - 1]) return KvDamaged();
    KvTouch(f, p);
    std::memmove(Entry(b, at, entry), Entry(b, at + 1, entry), size_t((count - at - 1) * entry));
    --count;
    std::memset(Entry(b, count, entry), 0, size_t(entry));
    Put16(b + kBlkCount, unsigned(count));
    Put16(b + kBlkFree, unsigned(f->key_block - kHeadSize - count * entry));
    if (level == 1) {
      if (dat_unlink(f) < 0) return -1;
    } else {
      // The child emptied itself: it is freed without being written.
      if (KorvaPage* emptied = f->pages.Find(child)) KvDrop(f, emptied);
    }
    if (fre_blk(f, child, level == 1 ? 0 : 1) < 0) return -1;
  }
  if (at != 0) return 0;
  if (level == KvDepth(f)) return count == 0 ? KvDamaged() : 0;
  return count == 0 ? key_delete(f, level + 1, key, nullptr) : key_delete(f, level + 1, key, Entry(b, 0, entry));
}

int16_t dat_unlink(KorvaFile* f) {
  KvForgetLeaves(f);
  const uint32_t self = f->path[0];
  KorvaPage* d = KvDataPage(f, self);
  if (!d) return -1;
  uint8_t* b = d->data();
  const uint32_t pre = Get32(b + kDatPre), next = Get32(b + kDatNext);
  if (pre == 0) return KvDamaged();  // the first block holds the sentinel and never goes
  KorvaPage* before = KvDataPage(f, pre);
  if (!before) return -1;
  if (Get32(before->data() + kDatNext) != self) return KvDamaged();
  KorvaPage* after = nullptr;
  if (next != kNoBlock) {
    after = KvDataPage(f, next);
    if (!after) return -1;
    if (Get32(after->data() + kDatPre) != self) return KvDamaged();
  }
  KvTouch(f, before);
  Put32(before->data() + kDatNext, next);
  if (after) {
    KvTouch(f, after);
    Put32(after->data() + kDatPre, pre);
  }
  // A removed block's head goes to disk least significant byte first, as it always has.
  const uint16_t count = Get16(b + kBlkCount), free = Get16(b + kBlkFree);
  KvTouch(f, d);
  const uint32_t fields[] = {kKindRemoved, 0, count, free};
  for (int i = 0; i < 4; ++i) {
    b[2 * i] = uint8_t(fields[i]);
    b[2 * i + 1] = uint8_t(fields[i] >> 8);
  }
  for (int i = 0; i < 4; ++i) {
    b[kDatPre + i] = uint8_t(pre >> (8 * i));
    b[kDatNext + i] = uint8_t(next >> (8 * i));
  }
  d->head_only = true;
  d->checked = kCheckedNone;
  f->path_valid = false;
  return 0;
}
