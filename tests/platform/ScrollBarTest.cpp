#include <gtest/gtest.h>

#include "platform/ScrollBar.h"

namespace {

TEST(ScrollBarTest, PositionStaysInRangeAndReportsEachChange) {
  TScrollBar bar(nullptr);
  int changes = 0;
  bar.OnChange = [&](TObject*) { ++changes; };
  bar.SetParams(15, 1, 100);
  EXPECT_EQ(bar.Position(), 15);
  EXPECT_EQ(changes, 1);
  bar.SetPosition(15);
  EXPECT_EQ(changes, 1);
  bar.SetPosition(500);
  EXPECT_EQ(bar.Position(), 100);
  bar.SetMin(270);  // the range moves past the position: it follows
  EXPECT_EQ(bar.Min(), 270);
  EXPECT_EQ(bar.Max(), 270);
  EXPECT_EQ(bar.Position(), 270);
  bar.SetMax(360);
  bar.SetPosition(-1);
  EXPECT_EQ(bar.Position(), 270);
  EXPECT_EQ(changes, 3);
}

}  // namespace
