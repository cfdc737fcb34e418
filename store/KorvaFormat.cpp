#include "store/KorvaFormat.h"

#include <cstring>

namespace korva {

const char kBanner[33] = "KORVA records Ubex block file   ";

bool KeyFits(int keyLen, int keyOffset, int keyBlock, int dataBlock) {
  if (keyLen < 1 || keyLen > kMaxKeyLen || keyOffset < 0) return false;
  // Two entries per key block at least: a block of one entry could not be split in two.
  return keyBlock >= 2 * keyLen && keyBlock >= kHeadSize + 2 * (keyLen + 4) &&
         RecordCap(dataBlock) >= keyOffset + keyLen;
}

uint32_t NextAddress(uint32_t a, int size) {
  int file = AddressFile(a);
  uint32_t offset = AddressOffset(a) + uint32_t(size);
  if (offset >= kExtensionSpan) {
    ++file;
    offset -= kExtensionSpan;
  }
  if (file == 0) return offset;
  return 0x80000000u | uint32_t(file - 1) << 24 | offset / 128;
}

std::string ExtensionName(const std::string& path, int n) {
  const size_t separator = path.find_last_of("\\/:");
  const size_t name = separator == std::string::npos ? 0 : separator + 1;
  const size_t dot = path.rfind('.');
  std::string number(1, '#');
  number += std::to_string(n);
  if (dot == std::string::npos || dot <= name) return path + number;
  return path.substr(0, dot) + number + path.substr(dot);
}

void ConvertOldHeader(uint8_t* header) {
  struct Move {
    int from, to, size;
  };
  static const Move kMoves[] = {
      {2, 2, 2},     {4, 4, 2},     {6, 6, 2},       {8, 8, 2},     {10, 16, 4},
      {14, 20, 4},   {18, 24, 4},   {22, 10, 2},     {24, 32, 136}, {160, 12, 2},
      {162, 168, 16}, {178, 28, 4}, {182, 184, 4},   {186, 14, 2},  {188, 188, 256},
      {444, 444, 2}, {446, 446, 2}, {448, 448, 64},
  };
  uint8_t old[kHeaderSmall];
  std::memcpy(old, header, sizeof old);
  std::memset(header, 0, kHeaderSmall);
  for (const Move& m : kMoves) std::memcpy(header + m.to, old + m.from, size_t(m.size));
  Put16(header + kHdrKind, kKindWord);
}

}  // namespace korva
