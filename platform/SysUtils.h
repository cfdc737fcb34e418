// Kernel and file-system services: tick count, sleep, file existence and deletion.
#pragma once

#include <cstdint>
#include <string>

// Milliseconds from a fixed point (monotonic; wraps like a 32-bit counter).
uint32_t GetTickCount();
void Sleep(uint32_t milliseconds);
bool FileExists(const std::string& path);  // a regular file (not a directory)
bool DeleteFile(const std::string& path);
