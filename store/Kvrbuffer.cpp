#include "store/Kvrbuffer.h"

#include <climits>
#include <cstring>

CKvrBuffer::CKvrBuffer(int capacity)
    : capacity_(capacity > 0 ? capacity : 0), data_(new unsigned char[static_cast<size_t>(capacity_)]()) {}

CKvrBuffer::~CKvrBuffer() = default;

void CKvrBuffer::Assign(const CKvrBuffer& other) {
  if (&other == this) return;
  Clear();
  PutBytes(other.data_.get(), other.length_);
  step_ = other.step_;
  read_ = other.read_;
  overrun_ = false;
}

bool CKvrBuffer::Reserve(int n) {
  if (n < 0) return false;
  if (n > INT_MAX - length_) return false;
  if (length_ + n <= capacity_) return true;
  const int grow = n > step_ ? n : step_;
  const int capacity = grow > INT_MAX - capacity_ ? INT_MAX : capacity_ + grow;
  std::unique_ptr<unsigned char[]> block(new unsigned char[static_cast<size_t>(capacity)]());
  if (length_ > 0) std::memcpy(block.get(), data_.get(), static_cast<size_t>(length_));
  data_ = std::move(block);
  capacity_ = capacity;
  return true;
}

void CKvrBuffer::Clear() {
  length_ = 0;
  read_ = 0;
  overrun_ = false;
}

void CKvrBuffer::SeekRead(int offset) {
  read_ = offset > 0 ? offset : 0;
  overrun_ = false;
}

bool CKvrBuffer::SetLength(int n) {
  if (n < 0) return false;
  if (n > length_ && !Reserve(n - length_)) return false;
  length_ = n;
  return true;
}

bool CKvrBuffer::PutU16(unsigned value) {
  const unsigned char b[2] = {static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
  return PutBytes(b, 2);
}

bool CKvrBuffer::PutU32(uint32_t value) {
  const unsigned char b[4] = {static_cast<unsigned char>(value >> 24), static_cast<unsigned char>(value >> 16),
                              static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
  return PutBytes(b, 4);
}

bool CKvrBuffer::PutBytes(const void* bytes, int n) {
  if (n < 0 || (n > 0 && bytes == nullptr) || !Reserve(n)) return false;
  if (n > 0) std::memmove(data_.get() + length_, bytes, static_cast<size_t>(n));
  length_ += n;
  return true;
}

bool CKvrBuffer::Fill(unsigned char byte, int n) {
  if (n < 0 || !Reserve(n)) return false;
  std::memset(data_.get() + length_, byte, static_cast<size_t>(n));
  length_ += n;
  return true;
}

uint32_t CKvrBuffer::ReadU32At(int offset) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    const bool inside = offset >= 0 && offset + i < length_;
    if (!inside) overrun_ = true;
    v = v << 8 | (inside ? data_[static_cast<size_t>(offset + i)] : 0u);
  }
  return v;
}

uint32_t CKvrBuffer::GetU32() {
  const uint32_t v = ReadU32At(read_);
  read_ = read_ <= length_ - 4 ? read_ + 4 : (read_ > length_ ? read_ : length_);
  return v;
}

uint32_t CKvrBuffer::PeekU32(int offset) { return ReadU32At(offset); }

AnsiString CKvrBuffer::GetString() {
  if (read_ >= length_) {
    overrun_ = true;
    return AnsiString();
  }
  const unsigned char* start = data_.get() + read_;
  const size_t avail = static_cast<size_t>(length_ - read_);
  const void* nul = std::memchr(start, 0, avail);
  if (nul == nullptr) {
    overrun_ = true;
    read_ = length_;
    return AnsiString(reinterpret_cast<const char*>(start), avail);
  }
  const size_t n = static_cast<size_t>(static_cast<const unsigned char*>(nul) - start);
  read_ += static_cast<int>(n + 1);
  return AnsiString(reinterpret_cast<const char*>(start), n);
}
