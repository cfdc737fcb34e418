#include <gtest/gtest.h>

#include "platform/Buttons.h"
#include "platform/Forms.h"
#include "platform/UpDown.h"

namespace {

TEST(UpDown, StepsStayInsideTheRangeAskFirstAndShowInTheEdit) {
  TForm form(Application);
  auto* edit = new TEdit(&form);
  edit->SetParent(&form);
  auto* ud = new TUpDown(&form);
  ud->SetParent(&form);
  ud->SetMin(1);
  ud->SetMax(3);
  ud->SetAssociate(edit);
  EXPECT_EQ(edit->Text(), "1");
  std::vector<std::pair<int, TUpDownDirection>> asked;
  std::vector<TUDBtnType> clicked;
  bool allow = true;
  ud->OnChangingEx = [&](TObject*, bool& a, int value, TUpDownDirection d) {
    asked.emplace_back(value, d);
    a = allow;
  };
  ud->OnButtonClick = [&](TObject*, TUDBtnType b) { clicked.push_back(b); };

  ud->Step(btPrev);  // already at the minimum: nobody is asked
  ud->Step(btNext);
  ud->Step(btNext);
  ud->Step(btNext);
  EXPECT_EQ(ud->Position(), 3);
  EXPECT_EQ(edit->Text(), "3");
  allow = false;
  ud->Step(btPrev);
  EXPECT_EQ(ud->Position(), 3);
  EXPECT_EQ(asked, (std::vector<std::pair<int, TUpDownDirection>>{{2, updUp}, {3, updUp}, {2, updDown}}));
  EXPECT_EQ(clicked, (std::vector<TUDBtnType>{btNext, btNext}));

  ud->SetPosition(10);
  EXPECT_EQ(ud->Position(), 3);
  ud->SetMax(2);
  EXPECT_EQ(ud->Position(), 2);
  EXPECT_EQ(edit->Text(), "2");
}

TEST(UpDown, ReadsWhatWasTypedKeepsSixteenBitsAndForgetsAFreedEdit) {
  TForm form(Application);
  auto* edit = new TEdit(&form);
  edit->SetParent(&form);
  auto* ud = new TUpDown(&form);
  ud->SetParent(&form);
  ud->SetMin(-1);
  ud->SetMax(9999);
  ud->SetAssociate(edit);
  ud->Step(btPrev);
  ud->Step(btPrev);  // stops at Min
  EXPECT_EQ(edit->Text(), "-1");
  edit->SetText("123");  // typed by the user
  EXPECT_EQ(ud->Position(), 123);
  ud->Step(btNext);
  EXPECT_EQ(edit->Text(), "124");
  edit->SetText("12x");  // not a number: the last position stands
  EXPECT_EQ(ud->Position(), 124);
  edit->SetText("10000");  // out of range
  EXPECT_EQ(ud->Position(), 124);
  ud->SetMax(100000);
  ud->SetPosition(40000);
  EXPECT_EQ(ud->Position(), 32767);
  delete edit;  // freed first: the buttons keep their position
  ud->SetPosition(5);
  EXPECT_EQ(ud->Position(), 5);
  EXPECT_EQ(ud->Associate(), nullptr);
}

TEST(SpeedButton, AGroupKeepsOneButtonDown) {
  TForm form(Application);
  TSpeedButton* b[3];
  for (auto*& x : b) {
    x = new TSpeedButton(&form);
    x->SetParent(&form);
    x->GroupIndex = 1;
  }
  b[2]->GroupIndex = 0;  // on its own: never stays down
  int clicks = 0;
  b[1]->OnClick = [&](TObject*) { ++clicks; };
  b[0]->SetDown(true);
  b[1]->Click();
  EXPECT_FALSE(b[0]->Down());
  EXPECT_TRUE(b[1]->Down());
  b[1]->Click();
  EXPECT_TRUE(b[1]->Down()) << "a group without AllowAllUp keeps one down";
  EXPECT_EQ(clicks, 2);
  b[0]->SetDown(true);
  EXPECT_FALSE(b[1]->Down());
  EXPECT_EQ(clicks, 2) << "the program's change runs no OnClick";
  b[2]->Click();
  EXPECT_FALSE(b[2]->Down());
  EXPECT_TRUE(b[0]->Down());
}

}  // namespace
