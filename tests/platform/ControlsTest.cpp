#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/Forms.h"
#include "platform/Memo.h"
#include "platform/StdCtrls.h"
#include "tests/support/TestSupport.h"

namespace {

struct Panel : ::testing::Test {
  TForm form{Application};
  template <class T>
  T* Make() {
    auto* c = new T(&form);
    c->SetParent(&form);
    return c;
  }
};

void PumpFor(int ms) {
  for (int i = 0; i < ms / 5; ++i) {
    Application->ProcessMessages();
    usleep(5000);
  }
}

}  // namespace

TEST_F(Panel, ADrawnControlIsPaintedWhenAskedAndOtherwiseLeftAlone) {
  auto* c = Make<TCustomControl>();
  c->SetBounds(0, 0, 120, 60);
  form.SetBounds(0, 0, 200, 100);
  form.Show();
  PumpFor(100);
  const int shown = c->TimesShown();
  PumpFor(200);  // idle: a paint must not schedule the next one
  EXPECT_LE(c->TimesShown() - shown, 1);
  c->Invalidate();
  PumpFor(50);
  EXPECT_GT(c->TimesShown(), shown);
  form.Hide();
}

TEST_F(Panel, RadioGroupRunsOnClickWhenItsIndexChanges) {
  auto* g = Make<TRadioGroup>();
  g->Items()->Add(SJ("視点"));
  g->Items()->Add(SJ("集計"));
  g->SetColumns(2);
  int clicks = 0;
  g->OnClick = [&](TObject*) { ++clicks; };
  g->SetItemIndex(1);
  g->SetItemIndex(1);  // no change, no click
  g->SetItemIndex(7);  // out of range: nothing selected
  EXPECT_EQ(g->ItemIndex(), -1);
  EXPECT_EQ(clicks, 2);
  g->Items()->Clear();
  g->Items()->Add("a");
  EXPECT_EQ(g->ItemIndex(), -1);
}

TEST_F(Panel, ComboBoxRunsOnChangeOnlyForTheUser) {
  auto* c = Make<TComboBox>();
  c->Style = csDropDownList;
  int a = 1, b = 2;
  c->Items()->AddObject(SJ("直前"), &a);
  c->Items()->AddObject(SJ("先頭"), &b);
  int changes = 0;
  c->OnChange = [&](TObject*) { ++changes; };
  c->SetItemIndex(1);
  EXPECT_EQ(c->Text(), SJ("先頭"));
  EXPECT_EQ(c->Items()->Objects(c->ItemIndex()), &b);
  EXPECT_EQ(changes, 0);
  c->UserSelect(0);
  EXPECT_EQ(c->Text(), SJ("直前"));
  EXPECT_EQ(changes, 1);
  c->SetItemIndex(-1);
  EXPECT_EQ(c->Text(), "");

  auto* typed = Make<TComboBox>();  // a drop-down keeps typed text that is no item
  typed->Items()->Add("x");
  typed->SetText("+1");
  EXPECT_EQ(typed->ItemIndex(), -1);
  EXPECT_EQ(typed->Text(), "+1");
}

TEST_F(Panel, EditAndCheckBoxReportChanges) {
  auto* e = Make<TEdit>();
  auto* k = Make<TCheckBox>();
  int edits = 0, clicks = 0;
  e->OnChange = [&](TObject*) { ++edits; };
  k->OnClick = [&](TObject*) { ++clicks; };
  e->SetText(SJ("↑"));
  e->SetText(SJ("↑"));
  k->SetChecked(true);
  k->SetChecked(true);
  EXPECT_EQ(edits, 1);
  EXPECT_EQ(clicks, 1);
  EXPECT_TRUE(k->Checked());
}

TEST_F(Panel, GroupBoxHoldsItsControls) {
  auto* g = Make<TGroupBox>();
  g->SetCaption(SJ("複数集計時"));
  auto* inner = new TCheckBox(&form);
  inner->SetParent(g);
  inner->SetCaption(SJ("比率表示"));
  EXPECT_EQ(g->ControlCount(), 1);
  EXPECT_EQ(inner->ParentForm(), &form);
  delete g;  // frees the check box it parents
  EXPECT_EQ(form.ComponentCount(), 0);
}

namespace {
// A label that draws a red square in its top-left corner on white.
class SquareLabel : public TLabel {
 public:
  explicit SquareLabel(TComponent* owner) : TLabel(owner) {
    SetOwnerDraw();
    SetAutoSize(true);
  }
  int painted = 0;

 protected:
  void Paint() override {
    ++painted;
    Canvas()->Brush()->SetColor(clWhite);
    Canvas()->FillRect(Rect(0, 0, Width(), Height()));
    Canvas()->Brush()->SetColor(clRed);
    Canvas()->FillRect(Rect(0, 0, 5, 5));
  }
};
}  // namespace

TEST(OwnerDrawLabel, ShowsWhatItPaintsAndKeepsItsOwnSize) {
  TForm form(Application);
  auto* label = new SquareLabel(&form);
  label->SetParent(&form);
  label->SetBounds(10, 10, 20, 12);
  label->SetCaption("a caption that would widen a text label");
  EXPECT_EQ(label->Width(), 20);
  const TBitmap shot = label->GrabImage();
  ASSERT_EQ(shot.Width(), 20);
  EXPECT_GE(label->painted, 1);
  EXPECT_EQ(shot.Pixel(2, 2), 0xFF0000u);
  EXPECT_EQ(shot.Pixel(10, 8), 0xFFFFFFu);
}

TEST(MemoLooks, BorderAndAlignmentShow) {
  TForm form(Application);
  form.SetBounds(0, 0, 300, 200);
  auto* memo = new TMemo(&form);
  memo->SetParent(&form);
  memo->SetBounds(0, 0, 200, 40);
  memo->SetColor(clWhite);
  memo->SetText("iii");
  EXPECT_EQ(memo->BorderStyle(), bsSingle);
  EXPECT_NE(memo->GrabImage().Pixel(0, 20), 0xFFFFFFu) << "a single border is drawn";
  memo->SetBorderStyle(bsNone);
  EXPECT_EQ(memo->GrabImage().Pixel(0, 20), 0xFFFFFFu);
  // The text's ink moves to the right half when right-justified.
  auto inkLeft = [&] {
    const TBitmap b = memo->GrabImage();
    for (int x = 0; x < b.Width(); ++x)
      for (int y = 0; y < b.Height(); ++y)
        if ((b.Pixel(x, y) & 0xFF) < 0x80) return x;
    return -1;
  };
  const int left = inkLeft();
  memo->SetAlignment(taRightJustify);
  EXPECT_EQ(memo->Alignment(), taRightJustify);
  const int right = inkLeft();
  EXPECT_GE(left, 0);
  EXPECT_GT(right, 100) << left;
}
