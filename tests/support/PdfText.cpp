#include "tests/support/PdfText.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

std::string Run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

}  // namespace

std::string PdfText(const std::string& path) { return Run("pdftotext -enc UTF-8 " + Quote(path) + " - 2>/dev/null"); }

int PdfPageCount(const std::string& path) {
  const std::string info = Run("pdfinfo " + Quote(path) + " 2>/dev/null");
  const size_t at = info.find("Pages:");
  return at == std::string::npos ? 0 : std::atoi(info.c_str() + at + 6);
}

std::string PdfFonts(const std::string& path) { return Run("pdffonts " + Quote(path) + " 2>/dev/null"); }
