// Kernel and file-system services: tick count, sleep, file existence, deletion, renaming and durable
// writing, the program's own path.
#pragma once

#include <cstdint>
#include <cstddef>
#include <string>

// Milliseconds from a fixed point (monotonic; wraps like a 32-bit counter).
uint32_t GetTickCount();
void Sleep(uint32_t milliseconds);
bool FileExists(const std::string& path);  // a regular file (not a directory)
bool DeleteFile(const std::string& path);

// Renames a file, replacing a file of the new name; false (nothing changed) on failure.
bool RenameFile(const std::string& from, const std::string& to);
// Writes the bytes as the whole content of path (created or truncated) and makes them durable:
// true only when every byte was written, flushed to the disk and the file closed without error.
// On false the file may hold part of the bytes; the caller removes it.
bool WriteFileDurably(const std::string& path, const void* data, size_t size);
// The running program's file, "" when it cannot be found.
std::string ExecutablePath();
