// The growable byte buffer in which record images and index keys are built and taken apart.
//
// Writes append at the end; reads take bytes from a separate read position. Integers are
// written and read most significant byte first whatever the machine's order, so keys built from
// them sort numerically as bytes:
//
//   PutU16 0x1234      -> 12 34
//   PutU32 0x00000001  -> 00 00 00 01
//
// Growth: when the length would pass the capacity, the capacity grows by the larger of the
// request and the growth step (512), and the written bytes move to the new block.
//
// Reads never go past the written length: bytes that are missing read as 0, a text that lacks
// its NUL ends at the length, and the read position stops there. Such a read marks the buffer
// (ReadOverrun) so that the reader of a damaged image can refuse it. The buffer owns its block;
// one thread at a time uses it.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/AnsiString.h"

class CKvrBuffer {
 public:
  explicit CKvrBuffer(int capacity);
  CKvrBuffer(const CKvrBuffer&) = delete;
  CKvrBuffer& operator=(const CKvrBuffer&) = delete;
  ~CKvrBuffer();

  // The other's written bytes, growth step and read offset.
  void Assign(const CKvrBuffer& other);
  // Room for n more bytes; false (and nothing changes) when the buffer would pass 2 GiB.
  bool Reserve(int n);
  void Clear();  // length 0, read position at the start
  void SeekRead(int offset);
  // Bytes past the old length are whatever the block holds (zero in a block never written).
  bool SetLength(int n);

  // Appends; false when the bytes could not be added (a negative count or no room).
  bool PutU16(unsigned value);
  bool PutU32(uint32_t value);
  bool PutBytes(const void* bytes, int n);
  bool Fill(unsigned char byte, int n);

  uint32_t GetU32();
  uint32_t PeekU32(int offset);
  AnsiString GetString();  // the text at the read position; the position moves past its NUL

  unsigned char* Data() { return data_.get(); }
  const unsigned char* Data() const { return data_.get(); }
  int Length() const { return length_; }
  int Capacity() const { return capacity_; }
  int ReadPos() const { return read_; }
  // True once a read met the end of the written bytes; Clear, SeekRead and Assign reset it.
  bool ReadOverrun() const { return overrun_; }

 private:
  // The 4 bytes at offset, the missing ones as 0.
  uint32_t ReadU32At(int offset);

  int capacity_;
  int step_ = 512;
  std::unique_ptr<unsigned char[]> data_;
  int length_ = 0;
  int read_ = 0;
  bool overrun_ = false;
};
