// Starts the application without a display for the benchmarks that drive forms and grids.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/Forms.h"

inline void InitOffscreenApplication(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  if (!getenv("XDG_RUNTIME_DIR")) {
    const std::string dir = "/tmp/cw-runtime-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  }
  InitApplication(argc, argv);
}
