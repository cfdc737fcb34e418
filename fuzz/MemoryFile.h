// The fuzz input as a file that a reader opens by name, kept in memory (one per process).
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

class MemoryFile {
 public:
  MemoryFile() : fd_(memfd_create("fuzz-input", 0)), path_("/proc/self/fd/" + std::to_string(fd_)) {
    if (fd_ < 0) __builtin_trap();
  }
  // Replaces the file's bytes; the path to open.
  const std::string& Write(const uint8_t* data, size_t size) {
    if (ftruncate(fd_, 0) != 0) __builtin_trap();
    for (size_t done = 0; done < size;) {
      const ssize_t n = pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
      if (n <= 0) __builtin_trap();
      done += static_cast<size_t>(n);
    }
    return path_;
  }

 private:
  int fd_;
  std::string path_;
};
