#include <gtest/gtest.h>

#include "store/KorvaEngine.h"
#include "store/KvRecord.h"

TEST(StoreGlobals, StartCleared) {
  EXPECT_EQ(progress_hook, nullptr);
  EXPECT_EQ(ExpandAbort.load(), 0);
}
