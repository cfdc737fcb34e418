#include "tests/support/ImageCompare.h"

#include <cstdlib>
#include <filesystem>

::testing::AssertionResult MatchesReference(const TBitmap& picture, const std::string& name, double maxShare) {
  const char* dir = std::getenv("CW_TEST_DATA");
  if (!dir) return ::testing::AssertionFailure() << "CW_TEST_DATA is not set";
  const std::string path = std::string(dir) + "/reference/" + name + ".png";
  if (const char* update = std::getenv("CW_UPDATE_REFERENCES"); update && *update && *update != '0') {
    std::filesystem::create_directories(std::string(dir) + "/reference");
    if (!picture.SaveToFile(path)) return ::testing::AssertionFailure() << "cannot write " << path;
    return ::testing::AssertionSuccess() << "wrote " << path;
  }
  TBitmap want;
  if (!want.LoadFromFile(path)) return ::testing::AssertionFailure() << "no reference picture " << path;
  const std::string actual = (std::filesystem::temp_directory_path() / (name + ".actual.png")).string();
  if (want.Width() != picture.Width() || want.Height() != picture.Height()) {
    picture.SaveToFile(actual);
    return ::testing::AssertionFailure() << name << ": size " << picture.Width() << "x" << picture.Height()
                                         << ", reference " << want.Width() << "x" << want.Height() << " (see " << actual << ")";
  }
  long differ = 0;
  for (int y = 0; y < want.Height(); ++y)
    for (int x = 0; x < want.Width(); ++x) {
      const uint32_t a = picture.Pixel(x, y), b = want.Pixel(x, y);
      for (int shift = 0; shift < 24; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > 48 || d < -48) {
          ++differ;
          break;
        }
      }
    }
  const double share = static_cast<double>(differ) / (static_cast<double>(want.Width()) * want.Height());
  if (share > maxShare) {
    picture.SaveToFile(actual);
    return ::testing::AssertionFailure() << name << ": " << differ << " pixels differ (" << share * 100
                                         << "%) from the reference (see " << actual << ")";
  }
  return ::testing::AssertionSuccess();
}
