// Kernel and file-system services: tick count, sleep, file existence, deletion, renaming and durable
// writing, the program's own path.
#pragma once

#include <cstdint>
#include <cstddef>
#include <string>
#include <vector>

// Milliseconds from a fixed point (monotonic; wraps like a 32-bit counter).
uint32_t GetTickCount();
void Sleep(uint32_t milliseconds);
bool FileExists(const std::string& path);  // a regular file (not a directory)
bool DeleteFile(const std::string& path);

// Renames a file, replacing a file of the new name; false (nothing changed) on failure.
bool RenameFile(const std::string& from, const std::string& to);
// The path with its extension (from the last "." of the file name on) replaced by extension,
// which includes its dot; a name without one gets it appended.
std::string ChangeFileExt(const std::string& path, const std::string& extension);
// What tells one state of a file from another: its device, inode, size and the time it was last
// written, as one text; "" when there is no such file.
std::string FileStateMark(const std::string& path);
// Writes the bytes as the whole content of path (created or truncated) and makes them durable:
// true only when every byte was written, flushed to the disk and the file closed without error.
// On false the file may hold part of the bytes; the caller removes it.
bool WriteFileDurably(const std::string& path, const void* data, size_t size);
// The running program's file, "" when it cannot be found.
std::string ExecutablePath();
// A file's read-only attribute: on when no one may write it. FileGetAttr gives -1 for a file that
// is not there; FileSetAttr gives 0 or the error number (ENOENT for a file that is not there).
// Turning read-only off lets the owner write the file again.
constexpr int faReadOnly = 0x01;
int FileGetAttr(const std::string& path);
int FileSetAttr(const std::string& path, int attr);

// The program's command line as the start-up received it (the window system's own options taken
// out): ParamStr(0) is the program, 1 to ParamCount() its arguments; "" outside that range.
// InitApplication records them; a test gives its own with SetParams.
int ParamCount();
std::string ParamStr(int i);
void SetParams(const std::vector<std::string>& args);
