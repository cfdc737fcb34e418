// Helpers of the KORVA engine tests: raw bytes of files, records with numbered keys, and the
// blocks a file uses, found by reading it as it lies on disk.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "store/KorvaFormat.h"

namespace korva_test {

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<uint8_t> ReadAt(const std::string& path, uint64_t offset, size_t n) {
  std::vector<uint8_t> b(n);
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0 || ::pread(fd, b.data(), n, off_t(offset)) != ssize_t(n)) b.clear();
  if (fd >= 0) ::close(fd);
  return b;
}

inline bool WriteAt(const std::string& path, uint64_t offset, const std::vector<uint8_t>& bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY);
  const bool ok = fd >= 0 && ::pwrite(fd, bytes.data(), bytes.size(), off_t(offset)) == ssize_t(bytes.size());
  if (fd >= 0) ::close(fd);
  return ok;
}

inline bool Patch16(const std::string& path, uint64_t offset, unsigned v) {
  return WriteAt(path, offset, {uint8_t(v >> 8), uint8_t(v)});
}
inline bool Patch32(const std::string& path, uint64_t offset, uint32_t v) {
  return WriteAt(path, offset, {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
}

// A key of len bytes holding n in its last four bytes (never all zero for n > 0).
inline std::string Key(uint32_t n, int len) {
  std::string k(size_t(len), '\0');
  for (int i = 0; i < len && i < 4; ++i) k[size_t(len - 1 - i)] = char(n >> (8 * i));
  return k;
}

// A record of length bytes beginning with key n, the rest a pattern that depends on n and tag.
inline std::string Record(uint32_t n, int key_len, int length, int tag = 0) {
  std::string r = Key(n, key_len);
  while (int(r.size()) < length) r += char('a' + (n + r.size() + unsigned(tag)) % 26);
  return r;
}

// Where the first data block of key number key (1-based) stands in a file made by create.
inline uint32_t FirstDataBlock(int header, int key_block, int data_block, int key) {
  return uint32_t(header + 2 * key_block + (key - 1) * (key_block + data_block) + key_block);
}

// The bytes of the block at a block address, in whichever file it lies.
inline std::vector<uint8_t> ReadBlock(const std::string& path, uint32_t address, size_t n) {
  const int file = korva::AddressFile(address);
  return ReadAt(file ? korva::ExtensionName(path, file) : path, korva::AddressOffset(address), n);
}

// The data blocks of a chain, in order, from its first block.
inline std::vector<uint32_t> Chain(const std::string& path, uint32_t first) {
  std::vector<uint32_t> chain;
  for (uint32_t a = first; a != korva::kNoBlock && chain.size() < 1000000;) {
    chain.push_back(a);
    const std::vector<uint8_t> head = ReadBlock(path, a, 16);
    if (head.size() != 16) break;
    a = korva::Get32(head.data() + korva::kDatNext);
  }
  return chain;
}

struct TreeBlock {
  uint32_t address;
  int level;
  std::vector<uint32_t> children;
};

// The key blocks of a tree, parents before children.
inline std::vector<TreeBlock> Tree(const std::string& path, uint32_t root, int depth, int key_len, int key_block) {
  std::vector<TreeBlock> blocks{{root, depth, {}}};
  for (size_t i = 0; i < blocks.size(); ++i) {
    const std::vector<uint8_t> b = ReadBlock(path, blocks[i].address, size_t(key_block));
    if (b.empty()) break;
    const int count = korva::Get16(b.data() + korva::kBlkCount);
    for (int e = 0; e < count; ++e) {
      const uint32_t child = korva::Get32(b.data() + korva::kHeadSize + e * (key_len + 4) + key_len);
      blocks[i].children.push_back(child);
      if (blocks[i].level > 1) blocks.push_back({child, blocks[i].level - 1, {}});
    }
  }
  return blocks;
}

}  // namespace korva_test
