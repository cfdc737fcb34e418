// The outside world of the text macros, made fixed for fuzz targets: the date functions see one
// day, and host names come from a stub that never reaches the network. Installed once per process.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "foundation/StrMacro.h"
#include "platform/Resolver.h"

inline void InstallMacroStubs() {
  static TStringList cache;
  static const bool ready = [] {
    SetHostResolver([](uint32_t address, AnsiString& name) {
      if ((address & 1) == 0) return false;
      name = "host" + std::to_string(address);
      return true;
    });
    SetMacroClock([] {
      std::tm t{};
      t.tm_year = 2003 - 1900;
      t.tm_mon = 3;
      t.tm_mday = 5;
      return t;
    });
    HostNameCache = &cache;
    return true;
  }();
  (void)ready;
}
