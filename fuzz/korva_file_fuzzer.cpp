// KORVA files: arbitrary bytes opened, walked forwards and backwards under every key, read at the
// keys met, checked and salvaged. None of it may crash, hang or read outside what it owns.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/TempFolder.h"
#include "store/KorvaEngine.h"

namespace {

// A directory of this process for the input file and the salvage target, gone at exit.
std::string Directory() { return TempFolder("korva-fuzz"); }

void Walk(KorvaFile* f, std::vector<char>& buffer) {
  std::vector<std::string> keys;
  int16_t len = db_first(f, buffer.data());
  for (int steps = 0; len >= 0 && steps < 5000; ++steps) {
    if (keys.size() < 16) keys.emplace_back(buffer.data(), size_t(len));
    len = db_next_pos(f, buffer.data());
  }
  for (const std::string& record : keys) {
    std::string key = record;
    key.resize(300, '\0');  // at least as long as any key
    db_read(f, key.data(), buffer.data());
    db_prev(f, key.data(), buffer.data());
    db_seek_prev(f, key.data(), buffer.data());
    db_next(f, key.data(), buffer.data());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = Directory() + "/input.kvr", target = Directory() + "/salvaged.kvr";
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return 0;
  std::fwrite(data, 1, size, out);
  std::fclose(out);

  if (KorvaFile* f = db_open(path.c_str())) {
    std::vector<char> buffer(size_t(db_data_cap(f)) + 1);
    Walk(f, buffer);
    for (int key = 1; key <= 24 && db_select_key(f, key) == 0; ++key) Walk(f, buffer);
    db_close(f);
  }
  KorvaCheckReport report;
  db_check(path.c_str(), &report);
  db_salvage(path.c_str(), target.c_str(), 0, 0);
  std::remove(target.c_str());
  return 0;
}
