#include "platform/SysUtils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
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

bool RenameFile(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + extension;
  return path.substr(0, dot) + extension;
}

std::string FileStateMark(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::string();
  return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
         std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
}

bool WriteFileDurably(const std::string& path, const void* data, size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = true;
  for (size_t done = 0; ok && done < size;) {
    const ssize_t n = ::write(fd, static_cast<const char*>(data) + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  return ok;
}

std::string ExecutablePath() {
  std::string path(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<size_t>(n) >= path.size()) return std::string();
  path.resize(static_cast<size_t>(n));
  return path;
}

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

namespace {
std::vector<std::string>& Params() {
  static std::vector<std::string> params;
  return params;
}
}  // namespace

int ParamCount() { return Params().empty() ? 0 : static_cast<int>(Params().size()) - 1; }

std::string ParamStr(int i) {
  return i >= 0 && i < static_cast<int>(Params().size()) ? Params()[static_cast<size_t>(i)] : std::string();
}

void SetParams(const std::vector<std::string>& args) { Params() = args; }
