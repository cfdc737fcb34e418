#include "platform/SysUtils.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

uint32_t GetTickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Sleep(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

int FileGetAttr(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return -1;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) ? 0 : faReadOnly;
}

int FileSetAttr(const std::string& path, int attr) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return errno;
  mode_t mode = st.st_mode & 07777;
  mode = (attr & faReadOnly) ? mode & ~(S_IWUSR | S_IWGRP | S_IWOTH) : mode | S_IWUSR;
  return ::chmod(path.c_str(), mode) == 0 ? 0 : errno;
}
