// A folder of the fuzz run's own under TMPDIR (/tmp when it is not set), made on first use and
// removed with everything in it when the run ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

inline const std::string& TempFolder(const char* name) {
  static const std::string folder = [name] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + name + "-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
  }();
  static const bool removed_at_exit = [] {
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(folder, ec);
    });
    return true;
  }();
  (void)removed_at_exit;
  return folder;
}
