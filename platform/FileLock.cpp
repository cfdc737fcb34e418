#include "platform/FileLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

int TFileByteLock::TryAcquire(const std::string& path, int64_t offset) {
  if (fd_ >= 0) return 1;
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return -1;
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = off_t(offset);
  fl.l_len = 1;
  if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) {
    fd_ = fd;
    return 1;
  }
  const int error = errno;
  ::close(fd);
  errno = error;
  return (error == EAGAIN || error == EACCES) ? 0 : -1;
}

void TFileByteLock::Release() {
  if (fd_ < 0) return;
  ::close(fd_);  // closing the only descriptor of the description ends its lock
  fd_ = -1;
}
