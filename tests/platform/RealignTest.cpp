#include <gtest/gtest.h>

#include "platform/ExtCtrls.h"
#include "platform/Forms.h"

// A control that takes over a placeholder's place: once the placeholder is freed or moved to
// another parent, the aligned controls that remain fill the room it leaves.
TEST(Controls, AlignedControlsCloseUpWhenOneLeaves) {
  TForm f(Application);
  f.SetBounds(0, 0, 200, 100);
  auto* placeholder = new TPanel(&f);
  placeholder->SetParent(&f);
  placeholder->SetHeight(40);
  placeholder->SetAlign(alBottom);
  auto* successor = new TPanel(&f);
  successor->SetParent(&f);
  successor->SetHeight(40);
  successor->SetAlign(alBottom);
  EXPECT_EQ(successor->Top(), 20);  // stacked above the placeholder
  delete placeholder;
  EXPECT_EQ(successor->Top(), 60);

  auto* other = new TPanel(&f);
  other->SetParent(&f);
  other->SetHeight(30);
  other->SetAlign(alBottom);
  EXPECT_EQ(other->Top(), 30);
  TForm elsewhere(Application);
  successor->SetParent(&elsewhere);
  EXPECT_EQ(other->Top(), 70);
}
