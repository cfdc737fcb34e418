// Settings-file bytes of any shape: writing the bytes back and reading them again changes
// nothing, and after writes the file as written reads the same as the memory it came from.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/IniFiles.h"

namespace {

TIniFile Parse(const std::string& bytes) {
  TIniFile ini("/nonexistent/cinderwatch-fuzz.ini");
  ini.SetBytes(bytes);
  return ini;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  TIniFile ini = Parse(bytes);
  const std::string once = ini.Bytes();
  if (Parse(once).Bytes() != once) abort();

  // Names taken from the input itself, so that they meet what is there.
  const size_t cut = size / 3;
  const std::string section = bytes.substr(0, std::min<size_t>(cut, 12));
  const std::string key = bytes.substr(cut, std::min<size_t>(cut, 12));
  ini.WriteString(section, key, bytes.substr(2 * cut));
  ini.WriteInteger("TreeView1", "Color", -2147483643);
  ini.WriteBool(key, section, true);
  const TIniFile read = Parse(ini.Bytes());
  for (const auto& [s, k] : {std::pair{section, key}, {key, section}, {"TreeView1", "Color"}, {"TreeView1", "Width"}})
    if (read.ReadString(s, k, "?") != ini.ReadString(s, k, "?")) abort();
  if (read.ReadInteger("TreeView1", "Color", 0) != -2147483643) abort();
  return 0;
}
