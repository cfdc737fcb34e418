// Kernel and file-system services: tick count, sleep, file existence and deletion.
#pragma once

#include <cstdint>
#include <string>

// Milliseconds from a fixed point (monotonic; wraps like a 32-bit counter).
uint32_t GetTickCount();
void Sleep(uint32_t milliseconds);
bool FileExists(const std::string& path);  // a regular file (not a directory)
bool DeleteFile(const std::string& path);

// A file's read-only attribute: on when no one may write it. FileGetAttr gives -1 for a file that
// is not there; FileSetAttr gives 0 or the error number (ENOENT for a file that is not there).
// Turning read-only off lets the owner write the file again.
constexpr int faReadOnly = 0x01;
int FileGetAttr(const std::string& path);
int FileSetAttr(const std::string& path, int attr);
