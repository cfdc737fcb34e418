// Creating, opening and closing KORVA files, adding keys and selecting the current key.
//
// A new file holds, in address order: the header, the key free-list head, the data free-list
// head, then for each key its root key block (one entry: the all-zero key -> the data block) and
// its first data block (only the sentinel). Both lists are empty and the end address follows the
// last block.
#include <unistd.h>

#include <cerrno>

#include <cstring>
#include <new>
#include <vector>

#include "store/KorvaCore.h"

using namespace korva;

namespace {

std::string Absolute(const char* path) {
  if (!path || !*path || path[0] == '/') return path ? path : "";
  std::vector<char> cwd(4096);
  if (!::getcwd(cwd.data(), cwd.size())) return path;
  return std::string(cwd.data()) + "/" + path;
}

// Key lengths of a creation or addition; 0 when they are fine, else the refusing detail.
int CheckKeys(const int16_t* lengths, int count, int offset, int keyBlock, int dataBlock) {
  for (int i = 0; i < count; ++i)
    if (lengths[i] < 1 || lengths[i] > kMaxKeyLen || offset < 0) return kvBadKey;
  if (!BlockSizeOk(keyBlock) || !BlockSizeOk(dataBlock)) return kvBadBlockSize;
  for (int i = 0; i < count; ++i)
    if (!KeyFits(lengths[i], offset, keyBlock, dataBlock)) return kvBadBlockSize;
  return 0;
}

// A root key block and a first data block of key number key, as on disk.
void FormatTree(uint8_t* root, uint8_t* data, int key, int keyLen, int keyBlock, int dataBlock, uint32_t dataAddress) {
  std::memset(root, 0, size_t(keyBlock));
  Put16(root + kBlkKind, 1);
  Put16(root + kBlkModified, unsigned(key));
  Put16(root + kBlkCount, 1);
  Put16(root + kBlkFree, unsigned(keyBlock - kHeadSize - (keyLen + 4)));
  Put32(root + kHeadSize + keyLen, dataAddress);
  std::memset(data, 0, size_t(dataBlock));
  Put16(data + kBlkKind, kKindData);
  Put16(data + kBlkModified, unsigned(key));
  Put16(data + kBlkCount, 1);
  Put16(data + kBlkFree, unsigned(dataBlock - kHeadSize - (keyLen + 2)));
  Put32(data + kDatNext, kNoBlock);
  Put16(data + kHeadSize, unsigned(keyLen));
}

// Closes a short-lived request after a failure, keeping the failure's report.
void Abandon(KorvaRequest* r, bool locked) {
  const int saved_class = db_errclass, saved_detail = db_errdetail;
  if (locked) KvRequest(r, kReqUnlock, 0, nullptr, 1);
  KvRequest(r, kReqClose);
  db_errclass = saved_class;
  db_errdetail = saved_detail;
}

}  // namespace

int16_t db_create(const char* path, const KorvaCreation& c) {
  KvStartReport();
  const int keys = c.key_table ? c.key_count : 1;
  if (c.key_table && (keys < 1 || keys > kMaxKeys)) return KvRefuse(kvTooManyKeys);
  const int16_t one[1] = {int16_t(c.key_length)};
  const int16_t* lengths = c.key_table ? c.key_lengths : one;
  if (!c.key_table && (c.key_length < 1 || c.key_length > kMaxKeyLen)) return KvRefuse(kvBadKey);
  if (const int detail = CheckKeys(lengths, keys, c.key_table ? 0 : c.key_offset, c.key_block, c.data_block))
    return KvRefuse(detail);
  if (KvFreeSlot() < 0) return -1;

  const int h = c.key_table ? kHeaderLarge : kHeaderSmall, kb = c.key_block, db = c.data_block;
  const uint32_t size = uint32_t(h + 2 * kb + keys * (kb + db));
  std::vector<uint8_t> image;
  try {
    image.assign(size, 0);
  } catch (const std::bad_alloc&) {
    return KvRefuse(kvNoMemory);
  }
  uint8_t* hdr = image.data();
  Put16(hdr + kHdrKind, kKindWord);
  Put16(hdr + kHdrKeyBlock, unsigned(kb));
  Put16(hdr + kHdrDataBlock, unsigned(db));
  Put16(hdr + kHdrWord8, 1);
  Put32(hdr + kHdrOne16, 1);
  Put32(hdr + kHdrOne20, 1);
  Put16(hdr + kHdrKeyOffset, unsigned(c.key_table ? 0 : c.key_offset));
  Put16(hdr + kHdrDepth, 1);
  Put32(hdr + kHdrKeyFree, uint32_t(h));
  Put32(hdr + kHdrDataFree, uint32_t(h + kb));
  Put16(hdr + kHdrKeyTable, c.key_table ? kKeyTableFlag : 0);
  std::memcpy(hdr + kHdrBanner, kBanner, 32);
  Put16(image.data() + h, kKindKeyList);
  Put16(image.data() + h + kb, kKindDataList);
  uint32_t address = uint32_t(h + 2 * kb);
  for (int k = 1; k <= keys; ++k) {
    const int len = lengths[k - 1];
    const uint32_t root = address, data = root + uint32_t(kb);
    FormatTree(image.data() + root, image.data() + data, k, len, kb, db, data);
    address = data + uint32_t(db);
    // The key created last is the current one.
    Put16(hdr + kHdrKeyLen, unsigned(len));
    Put16(hdr + kHdrGivenKeyLen, unsigned(len));
    Put32(hdr + kHdrLevels + 4, root);
    Put16(hdr + kHdrCurrentKey, unsigned(k));
    if (c.key_table) {
      uint8_t* d = hdr + kKtDescriptors + kDescSize * (k - 1);
      Put16(d + kDescKeyLen, unsigned(len));
      Put16(d + kDescDepth, 1);
      Put32(d + kDescRoot, root);
      Put16(hdr + kKtKeys, unsigned(k));
      Put16(hdr + kKtCurrent, unsigned(k));
    }
  }
  Put32(hdr + kHdrEnd, address);

  KorvaRequest r;
  r.path = Absolute(path);
  r.mode = kOpenCreate;
  if (!KvRequest(&r, kReqOpen)) return -1;
  if (!KvRequest(&r, kReqLock, 0, nullptr, 1)) {
    Abandon(&r, false);
    return -1;
  }
  // A journal left beside a table that stood here before belongs to nothing now.
  KorvaRequest old;
  old.path = KvJournalPath(r.path);
  if (!KvRequest(&old, kReqRemove) && db_errdetail != ENOENT) {
    Abandon(&r, true);
    return -1;
  }
  KvStartReport();
  if (!KvRequest(&r, kReqWrite, 0, image.data(), int(size))) {
    Abandon(&r, true);
    return -1;
  }
  const bool unlocked = KvRequest(&r, kReqUnlock, 0, nullptr, 1);
  const bool closed = KvRequest(&r, kReqClose);
  return unlocked && closed ? 0 : -1;
}

int16_t db_create_one(const char* path, int key_offset, int key_length, int key_block, int data_block) {
  KorvaCreation c;
  c.key_block = key_block;
  c.data_block = data_block;
  c.key_length = key_length;
  c.key_offset = key_offset;
  return db_create(path, c);
}

int16_t db_create_keys(const char* path, int key_block, int data_block, const int16_t* table) {
  KvStartReport();
  if (!table || table[0] < 1 || table[0] > kMaxKeys) return KvRefuse(kvTooManyKeys);
  KorvaCreation c;
  c.key_block = key_block;
  c.data_block = data_block;
  c.key_table = true;
  c.key_count = table[0];
  std::memcpy(c.key_lengths, table + 1, sizeof(int16_t) * size_t(table[0]));
  return db_create(path, c);
}

int16_t db_add_keys(const char* path, const int16_t* table) {
  KvStartReport();
  KorvaRequest r;
  r.path = Absolute(path);
  r.mode = kOpenReadWrite;
  if (!KvRequest(&r, kReqOpen)) return KvRefuse(kvNotKorva);
  // Other processes may be writing the header: adding keys takes the lock like any change.
  if (!KvRequest(&r, kReqLock, 0, nullptr, 1)) {
    Abandon(&r, false);
    return -1;
  }
  if (!KvJournalRecover(&r)) {
    Abandon(&r, true);
    return -1;
  }
  uint8_t hdr[kHeaderLarge];
  auto refuse = [&](int detail) {
    KvRefuse(detail);
    Abandon(&r, true);
    return int16_t(-1);
  };
  if (!KvRequest(&r, kReqRead, 0, hdr, kHeaderLarge)) return refuse(kvNoSpace);
  int detail = 0;
  if (!KvHeaderSane(hdr, &detail)) return refuse(kvNotKorva);
  if (Get16(hdr + kHdrKeyTable) != kKeyTableFlag) return refuse(kvNoKeyTable);
  const int present = Get16(hdr + kKtKeys), added = table ? table[0] : 0;
  if (added < 1 || present + added > kMaxKeys) return refuse(kvTooManyKeys);
  const int kb = Get16(hdr + kHdrKeyBlock), db = Get16(hdr + kHdrDataBlock);
  if (const int bad = CheckKeys(table + 1, added, 0, kb, db)) return refuse(bad);

  std::vector<uint8_t> root(static_cast<size_t>(kb)), data(static_cast<size_t>(db));
  uint32_t end = Get32(hdr + kHdrEnd);
  for (int i = 0; i < added; ++i) {
    const int key = present + i + 1, len = table[1 + i];
    if (AddressFile(end) > kMaxExtension || AddressFile(NextAddress(end, kb)) > kMaxExtension)
      return refuse(kvNoSpace);
    const uint32_t root_address = end, data_address = NextAddress(end, kb);
    end = NextAddress(data_address, db);
    FormatTree(root.data(), data.data(), key, len, kb, db, data_address);
    if (!KvRequest(&r, kReqWrite, root_address, root.data(), kb) ||
        !KvRequest(&r, kReqWrite, data_address, data.data(), db)) {
      Abandon(&r, true);
      return -1;
    }
    uint8_t* d = hdr + kKtDescriptors + kDescSize * (key - 1);
    std::memset(d, 0, kDescSize);
    Put16(d + kDescKeyLen, unsigned(len));
    Put16(d + kDescDepth, 1);
    Put32(d + kDescRoot, root_address);
  }
  Put16(hdr + kKtKeys, unsigned(present + added));
  Put32(hdr + kHdrEnd, end);
  if (!KvRequest(&r, kReqWrite, 0, hdr, kHeaderLarge)) {
    Abandon(&r, true);
    return -1;
  }
  const bool unlocked = KvRequest(&r, kReqUnlock, 0, nullptr, 1);
  const bool closed = KvRequest(&r, kReqClose);
  return unlocked && closed ? 0 : -1;
}

KorvaFile* db_open(const char* path) {
  KvStartReport();
  const int slot = KvFreeSlot();
  if (slot < 0) return nullptr;
  KorvaFile* f = new (std::nothrow) KorvaFile;
  if (!f) {
    KvRefuse(kvNoMemory);
    return nullptr;
  }
  KorvaRequest* r = &f->req;
  r->path = Absolute(path);
  r->mode = kOpenReadWrite;
  if (!KvRequest(r, kReqOpen)) {
    r->mode = kOpenReadOnly;
    if (!KvRequest(r, kReqOpen)) {
      delete f;
      return nullptr;
    }
  }
  if (!KvRequest(r, kReqLock, 0, nullptr, 1)) {
    Abandon(r, false);
    delete f;
    return nullptr;
  }
  if (!KvJournalRecover(r)) {
    Abandon(r, true);
    delete f;
    return nullptr;
  }
  const bool read = KvRequest(r, kReqRead, 0, f->hdr, kHeaderLarge);
  int detail = 0;
  if (!read || !KvHeaderSane(f->hdr, &detail)) {
    if (read) KvRefuse(detail);
    Abandon(r, true);
    delete f;
    return nullptr;
  }
  if (!KvRequest(r, kReqUnlock, 0, nullptr, 1)) {
    Abandon(r, false);
    delete f;
    return nullptr;
  }
  f->key_table = Get16(f->hdr + kHdrKeyTable) == kKeyTableFlag;
  f->header_size = f->key_table ? kHeaderLarge : kHeaderSmall;
  f->key_block = Get16(f->hdr + kHdrKeyBlock);
  f->data_block = Get16(f->hdr + kHdrDataBlock);
  f->positions.assign(size_t(kMaxKeys + 1) * kMaxKeyLen, 0);
  f->position_valid.assign(size_t(kMaxKeys + 1), 0);
  const int current = Get16(f->hdr + kHdrCurrentKey);
  f->key_no = f->key_table && current >= 1 && current <= Get16(f->hdr + kKtKeys) ? current : 1;
  KvApplyKey(f);
  KvEnterFile(f, slot);
  return f;
}

int16_t db_close(KorvaFile* f) {
  KvStartReport();
  if (!KvIsOpen(f)) return KvRefuse(kvBadHandle);
  int16_t result = 0;
  if (f->holds > 0) {
    f->holds = 1;
    result = KvRelease(f);
  }
  KvDropAll(f);
  KvJournalClose(f);
  KvLeaveFile(f);
  if (!KvRequest(&f->req, kReqClose)) result = -1;
  delete f;
  return result;
}

int16_t db_select_key(KorvaFile* f, int n) {
  KvStartReport();
  if (!KvIsOpen(f)) return KvRefuse(kvBadHandle);
  if (!f->key_table || n < 1 || n > Get16(f->hdr + kKtKeys)) return -1;
  f->key_no = n;
  KvApplyKey(f);
  f->path_valid = false;
  return 0;
}
