// An advisory write lock on one byte of a file, held through an open file description of its
// own: it conflicts with every other holder of that byte (another process, or another lock object
// in this one) and ends with Release or the object.
#pragma once

#include <cstdint>
#include <string>

class TFileByteLock {
 public:
  TFileByteLock() = default;
  ~TFileByteLock() { Release(); }
  TFileByteLock(const TFileByteLock&) = delete;
  TFileByteLock& operator=(const TFileByteLock&) = delete;

  // 1 taken (or held already), 0 another holder has the byte, -1 the file could not be opened for
  // writing or locked (errno kept). Never waits.
  int TryAcquire(const std::string& path, int64_t offset);
  void Release();
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};
