// KORVA block files: the bytes on disk.
//
// A file keeps records sorted by fixed-length keys. Each key is a B-tree of key blocks whose
// lowest level points at a doubly linked chain of data blocks holding the records. Every integer
// is stored most significant byte first; keys and record bytes are opaque. The engine keeps
// blocks in memory exactly as they lie on disk and reaches their fields through Get16/Get32/
// Put16/Put32, so a transfer copies bytes and converts nothing. Two things stand outside that
// rule: the header's kind word is accepted in either byte order (and 0F 0F marks the old header
// layout, converted on reading), and the 16-byte head of a data block taken out of its chain is
// written least significant byte first, so its kind reads FF 00 (00 FF is accepted too).
//
// Addresses (32 bits): top bit clear = byte offset in the main file; top bit set = extension file
// n = bits 24..30 + 1 at byte offset (bits 0..23) * 128. The main file and every extension file
// grow to just past 0x7FFF0000 bytes; the next block then goes to the next file, at the offset by
// which it overflowed. Extension files are numbered 1 to 127 and named after the main file with
// "#n" before its extension. Address 0 is the header; 0 is the empty link.
//
// Header (address 0; 512 bytes, 1024 with a key table):
//   offset size field
//   0      2    kind word 0x0FFF (read in either order; 0F 0F = old layout)
//   2      2    key block size            4    2    data block size
//   6      2    change counter, low word (bumped by every record change, compared for equality)
//   8      2    1 at creation             10   2    0
//   12     2    key length of the current key
//   14     2    change counter, high word (this engine's own; other writers leave it alone)
//   16     4    1                         20   4    1
//   24     4    records of all keys       28   4    end address: where the next new block goes
//   32     2    key offset in the record (0 with a key table)
//   34     2    key length given at creation (with a key table: the current key's)
//   36     2    0                         38   2    depth of the current key's root (1 = new tree)
//   40     64   16 level addresses; without key table the one at index depth is the root
//   168    4    head of the key free list 172  4    head of the data free list
//   188    256  not used on disk          444  2    number of the current key
//   446    2    512 when the key-table part follows, else 0
//   448    32   banner "KORVA records Ubex block file   " (bytes 462..465 "Ubex" identify a file)
// Key-table part (512..1023): 514 number of keys (1..24), 516 current key, 528 descriptors of
// 20 bytes each: key length (2), depth (2), root address (4), 4 unused, records (4), 4 unused.
//
// Blocks begin with a 16-bit kind: 0 data, 1..15 key block of that level (level 1 points at data
// blocks), 0x00FF data block removed from its chain, 0x0C0C data free-list block, 0x0E0E key
// free-list block.
//   data block head:  0 kind, 2 key number last written through, 4 record count, 6 free bytes
//                     (= block size - 16 - sum(length + 2)), 8 previous block (0 for the first),
//                     12 next block (0xFFFFFFFF for the last); records follow: length (2), bytes.
//                     The first record of a key's first block is its sentinel: key length zero
//                     bytes. No other record has an all-zero key.
//   key block head:   0 level, 2 key number, 4 entry count, 6 free bytes
//                     (= block size - 16 - count * (key length + 4)), 8 unused; entries follow:
//                     key, child address. The first entry of each level's first block is the
//                     all-zero key, so every search finds a child.
//   free-list block:  0 kind, 2 count, 4 next list block (0 for none), 8 0, 10 0, 12 addresses;
//                     at most (key block size - 20) / 4 + 1 of them. List blocks are key-sized.
//
// Limits kept by every file this engine writes: block sizes multiples of 128 from 128 to 32640;
// key length 1 to 256; a key block holds at least two entries; a record is at least key offset +
// key length and at most (data block size - 32) / 4 - 1 bytes long; depth at most 15; at most 24
// keys.
#pragma once

#include <cstdint>
#include <string>

namespace korva {

inline uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}
inline void Put16(uint8_t* p, unsigned v) {
  p[0] = uint8_t(v >> 8);
  p[1] = uint8_t(v);
}
inline void Put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

// Header offsets.
constexpr int kHdrKind = 0, kHdrKeyBlock = 2, kHdrDataBlock = 4, kHdrCounter = 6, kHdrWord8 = 8,
              kHdrChanged = 10, kHdrKeyLen = 12, kHdrCounterHigh = 14, kHdrOne16 = 16,
              kHdrOne20 = 20, kHdrRecords = 24, kHdrEnd = 28, kHdrKeyOffset = 32,
              kHdrGivenKeyLen = 34, kHdrOpenState = 36, kHdrDepth = 38, kHdrLevels = 40,
              kHdrKeyFree = 168, kHdrDataFree = 172, kHdrPosition = 188, kHdrCurrentKey = 444,
              kHdrKeyTable = 446, kHdrBanner = 448, kHdrIdent = 462;
constexpr int kKtKeys = 514, kKtCurrent = 516, kKtDescriptors = 528, kDescSize = 20;
constexpr int kDescKeyLen = 0, kDescDepth = 2, kDescRoot = 4, kDescRecords = 12;
constexpr int kHeaderSmall = 512, kHeaderLarge = 1024, kKeyTableFlag = 512;
constexpr uint16_t kKindWord = 0x0FFF, kOldKindWord = 0x0F0F;
extern const char kBanner[33];

// Block kinds.
constexpr uint16_t kKindData = 0, kKindRemoved = 0x00FF, kKindRemovedSwapped = 0xFF00,
                   kKindDataList = 0x0C0C, kKindKeyList = 0x0E0E;

// Block heads.
constexpr int kHeadSize = 16;
constexpr int kBlkKind = 0, kBlkModified = 2, kBlkCount = 4, kBlkFree = 6, kDatPre = 8,
              kDatNext = 12;
constexpr int kListCount = 2, kListNext = 4, kListAddresses = 12;

// Limits.
constexpr int kMaxKeyLen = 256, kMaxDepth = 15, kMaxKeys = 24, kBlockUnit = 128,
              kMaxBlockSize = 32640, kMaxExtension = 127;
constexpr uint32_t kExtensionSpan = 0x7FFF0000, kNoBlock = 0xFFFFFFFF;

inline int ListCapacity(int keyBlock) { return (keyBlock - 20) / 4 + 1; }
inline int RecordCap(int dataBlock) { return (dataBlock - 32) / 4 - 1; }
inline bool BlockSizeOk(int size) {
  return size >= kBlockUnit && size <= kMaxBlockSize && size % kBlockUnit == 0;
}
// A key of length keyLen (at keyOffset in each record) fits these block sizes.
bool KeyFits(int keyLen, int keyOffset, int keyBlock, int dataBlock);

// Extension file of an address (0 = main file; may come out as 128, which no file may have),
// byte offset inside that file, and position in the file's single address space.
inline int AddressFile(uint32_t a) { return (a & 0x80000000u) ? int((a >> 24) & 0x7F) + 1 : 0; }
inline uint32_t AddressOffset(uint32_t a) { return (a & 0x80000000u) ? (a & 0xFFFFFFu) * 128u : a; }
inline uint64_t AddressLinear(uint32_t a) {
  return uint64_t(AddressFile(a)) * kExtensionSpan + AddressOffset(a);
}
// The address of the block that follows a block of size bytes at address a (a in files 0..127).
uint32_t NextAddress(uint32_t a, int size);

// The name of extension file n of the file at path: "#n" before the extension, which starts at
// the last '.' of the file name that is not the name's first character; else "#n" appended.
std::string ExtensionName(const std::string& path, int n);

// Rewrites a 512-byte header of the old layout (kind word 0F 0F) in the current layout.
void ConvertOldHeader(uint8_t* header);

}  // namespace korva
