#include <gtest/gtest.h>

#include <vector>

#include "foundation/CvMessageUnit.h"
#include "foundation/LogForm.h"
#include "tests/support/TestSupport.h"

namespace {

struct ButtonSeen {
  AnsiString caption;
  int result, left, top, width;
};

struct BoxSeen {
  AnsiString title, text;
  int clientWidth = 0, clientHeight = 0, bevelWidth = 0, labelLeft = 0, labelWidth = 0;
  std::vector<ButtonSeen> buttons;
};

BoxSeen Look(TForm* f) {
  auto* d = dynamic_cast<TCvMessageDlg*>(f);
  EXPECT_NE(d, nullptr);
  BoxSeen s;
  if (!d) return s;
  s.title = d->Caption();
  s.text = d->Label1->Caption();
  s.clientWidth = d->ClientWidth();
  s.clientHeight = d->ClientHeight();
  s.bevelWidth = d->Bevel1->Width();
  s.labelLeft = d->Label1->Left();
  s.labelWidth = d->Label1->Width();
  for (int i = 0; d->ButtonList && i < d->ButtonList->Count(); ++i) {
    auto* b = static_cast<TButton*>(d->ButtonList->Objects(i));
    s.buttons.push_back({b->Caption(), b->ModalResult, b->Left(), b->Top(), b->Width()});
  }
  return s;
}

}  // namespace

TEST(MessageBox, EveryButtonSetInOrderCentredAsAGroup) {
  struct Case {
    int set;
    std::vector<std::pair<const char*, int>> buttons;
    int firstLeft;
  } cases[] = {
      {0, {{"ＯＫ", 1}}, 119},
      {1, {{"ＯＫ", 1}, {"キャンセル", 2}}, 73},
      {2, {{"中止", 3}, {"再試行", 4}, {"無視", 5}}, 28},
      {3, {{"はい(&Y)", 6}, {"いいえ(&N)", 7}, {"キャンセル(&C)", 2}}, 28},
      {4, {{"はい(&Y)", 6}, {"いいえ(&N)", 7}}, 73},
      {5, {{"再試行", 4}, {"キャンセル", 2}}, 73},
  };
  for (const Case& c : cases) {
    for (size_t press = 0; press < c.buttons.size(); ++press) {
      BoxSeen seen;
      ModalHandlerScope scope([&](TForm* f) {
        seen = Look(f);
        PressButton(f, Utf8ToSjis(c.buttons[press].first));
      });
      const int result = CvMessageBox(SJ("短い"), SJ("確認"), c.set, nullptr);
      EXPECT_EQ(result, c.buttons[press].second) << "set " << c.set << " button " << press;
      EXPECT_EQ(seen.title, SJ("確認"));
      EXPECT_EQ(seen.clientWidth, 313);  // a short text keeps the design width
      EXPECT_EQ(seen.bevelWidth, 297);
      EXPECT_EQ(seen.labelLeft, (313 - seen.labelWidth) / 2);
      ASSERT_EQ(seen.buttons.size(), c.buttons.size()) << "set " << c.set;
      int left = c.firstLeft;
      for (size_t i = 0; i < c.buttons.size(); ++i) {
        EXPECT_EQ(seen.buttons[i].caption, Utf8ToSjis(c.buttons[i].first));
        EXPECT_EQ(seen.buttons[i].result, c.buttons[i].second);
        EXPECT_EQ(seen.buttons[i].width, 75);
        EXPECT_EQ(seen.buttons[i].left, left) << "set " << c.set << " button " << i;
        EXPECT_EQ(seen.buttons[i].top, 95 - 10 - 25);
        left += 75 + 16;
      }
    }
  }
}

TEST(MessageBox, LongTextWidensTheBoxAndTheBevel) {
  const AnsiString text = SJ("とても長いメッセージの本文がここに入ります。ボックスは広がらなければなりません。");
  BoxSeen seen;
  ModalHandlerScope scope([&](TForm* f) {
    seen = Look(f);
    PressButton(f, SJ("ＯＫ"));
  });
  EXPECT_EQ(CvMessageBox(text, SJ("エラー"), 0, nullptr), mrOk);
  ASSERT_GT(seen.labelWidth, 313 - 32 - 40);
  EXPECT_EQ(seen.clientWidth, 32 + seen.labelWidth + 48);
  EXPECT_EQ(seen.bevelWidth, seen.clientWidth - 16);
  EXPECT_EQ(seen.labelLeft, (seen.clientWidth - seen.labelWidth) / 2);
  ASSERT_EQ(seen.buttons.size(), 1u);
  EXPECT_EQ(seen.buttons[0].left, (seen.clientWidth - 75) / 2);
  EXPECT_EQ(seen.text, text);
}

TEST(MessageBox, TitleBarCloseAnswersCancel) {
  for (int set : {0, 3, 4, 9}) {  // 9: no buttons at all, the title bar is the only way out
    BoxSeen seen;
    ModalHandlerScope scope([&](TForm* f) {
      seen = Look(f);
      f->Close();
    });
    EXPECT_EQ(CvMessageBox("x", "t", set, nullptr), mrCancel) << set;
    if (set == 9) {
      EXPECT_TRUE(seen.buttons.empty());
      EXPECT_EQ(seen.clientWidth, 313);
    }
  }
}

TEST(MessageBox, CentredOverItsOwner) {
  TForm owner(Application);
  owner.SetBounds(100, 50, 600, 400);
  owner.Show();
  int left = -1, top = -1;
  ModalHandlerScope scope([&](TForm* f) {
    left = f->Left();
    top = f->Top();
    f->Close();
  });
  CvMessageBox("x", "t", 0, &owner);
  EXPECT_EQ(left, 100 + (600 - 313) / 2);
  EXPECT_EQ(top, 50 + (400 - 95) / 2);
  owner.Hide();
}

TEST(ReportError, ShowsTheErrorBoxUnlessQuiet) {
  int boxes = 0;
  AnsiString title, text;
  ModalHandlerScope scope([&](TForm* f) {
    ++boxes;
    auto* d = dynamic_cast<TCvMessageDlg*>(f);
    title = d->Caption();
    text = d->Label1->Caption();
    PressButton(f, SJ("ＯＫ"));
  });
  EXPECT_EQ(ReportError("%s %d", "file", 42), 7);
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(title, SJ("エラー"));
  EXPECT_EQ(text, "file 42");

  ErrorQuiet = true;
  EXPECT_EQ(ReportError("quiet %d", 1), 7);
  ErrorQuiet = false;
  EXPECT_EQ(boxes, 1);
}

TEST(ReportError, LongTextIsNotCut) {
  const std::string big(5000, 'e');
  ErrorQuiet = true;
  EXPECT_EQ(ReportError("%s", big.c_str()), 5000);
  ErrorQuiet = false;
}
