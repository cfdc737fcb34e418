#include <gtest/gtest.h>

#include <filesystem>

#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "tests/support/TestSupport.h"
#include "views/CvCardMemo.h"

namespace {

// A card memo on a form, beside an edit box that can take the focus from it.
struct CardMemo : ::testing::Test {
  TForm form{Application};
  TCvCardMemo* memo = nullptr;
  TEdit* other = nullptr;
  TempDir dir;

  CardMemo() {
    form.SetBounds(0, 0, 400, 300);
    memo = new TCvCardMemo(&form);
    memo->SetBounds(20, 30, 120, 24);
    other = new TEdit(&form);
    other->SetParent(&form);
    other->SetBounds(200, 200, 80, 24);
  }
  // A picture file of 30 x 20 pixels.
  std::string Picture(const std::string& name) {
    TBitmap b(30, 20);
    b.Canvas()->Brush()->SetColor(clRed);
    b.Canvas()->FillRect(Rect(0, 0, 30, 20));
    // Saved under a plain name, then renamed to the bytes of the wanted one.
    const std::string plain = dir.File("saved" + name.substr(name.rfind('.')));
    EXPECT_TRUE(b.SaveToFile(plain)) << name;
    const std::string path = dir.File(name);
    std::filesystem::rename(plain, path);
    return path;
  }
};

TEST_F(CardMemo, BarcodeModeWaitsForAParentThenStandsInTheMemosPlace) {
  memo->SetMemoText("123");
  memo->SetDisplayMode(1);
  EXPECT_FALSE(memo->Visible());
  EXPECT_EQ(memo->BcLabel(), nullptr) << "nothing to show it on yet";

  memo->SetParent(&form);
  TCvBcCardLabel* bc = memo->BcLabel();
  ASSERT_NE(bc, nullptr);
  EXPECT_EQ(bc->Parent(), &form);
  EXPECT_TRUE(bc->Visible());
  EXPECT_FALSE(memo->Visible());
  EXPECT_EQ(bc->Left(), 20);
  EXPECT_EQ(bc->Top(), 30);
  EXPECT_EQ(bc->Caption(), "123");
  EXPECT_EQ(bc->Width(), 86);

  memo->SetMemoText("45");
  EXPECT_EQ(memo->BcLabel(), bc) << "the same label shows the new text";
  EXPECT_EQ(bc->Caption(), "45");

  memo->SetDisplayMode(0);
  EXPECT_EQ(memo->BcLabel(), nullptr);
  EXPECT_TRUE(memo->Visible());
  EXPECT_EQ(form.ControlCount(), 2) << "the substitute is gone from the form";
}

TEST_F(CardMemo, PictureModeShowsTheFileOrElseTheMemoWithTheName) {
  memo->SetParent(&form);
  WriteFileBytes(dir.File("broken.jpg"), "\xFF\xD8\xFF\xE0 not really a picture");
  WriteFileBytes(dir.File("empty.bmp"), "");
  struct Case {
    std::string path;
    bool shown;
  } cases[] = {
      {Picture("red.jpg"), true},
      {Picture("red.bmp"), true},
      {Picture(SJ("表ソ.png")), true},  // a Shift_JIS name with 0x5C trail bytes
      {dir.File("missing.jpg"), false},
      {dir.File("broken.jpg"), false},
      {dir.File("empty.bmp"), false},
      {dir.Path(), false},  // a folder
      {"", false},
  };
  for (const Case& c : cases) {
    memo->SetMemoText(c.path);
    memo->SetDisplayMode(2);
    TImage* pic = memo->Picture();
    ASSERT_NE(pic, nullptr) << c.path;
    EXPECT_EQ(pic->Visible(), c.shown) << Show(c.path);
    EXPECT_EQ(memo->Visible(), !c.shown) << Show(c.path);
    EXPECT_EQ(memo->BcLabel(), nullptr);
    if (c.shown) {
      EXPECT_EQ(pic->Width(), 30) << "the picture takes its own size";
      EXPECT_EQ(pic->Height(), 20);
      EXPECT_EQ(pic->Left(), 20);
      const uint32_t px = pic->Picture()->Pixel(5, 5);  // red, give or take JPEG's losses
      EXPECT_GT(px >> 16, 0xF0u) << std::hex << px;
      EXPECT_LT(px & 0xFFFFu, 0x1010u) << std::hex << px;
    }
    memo->SetDisplayMode(0);
    EXPECT_EQ(memo->Picture(), nullptr);
  }
}

TEST_F(CardMemo, MovingTheMemoMovesItsSubstituteButSizingDoesNot) {
  memo->SetParent(&form);
  memo->SetMemoText("7");
  memo->SetDisplayMode(1);
  TCvBcCardLabel* bc = memo->BcLabel();
  ASSERT_NE(bc, nullptr);
  const int w = bc->Width(), h = bc->Height();
  memo->SetMemoLeft(64);
  memo->SetMemoTop(72);
  memo->SetMemoWidth(300);
  memo->SetMemoHeight(90);
  EXPECT_EQ(bc->Left(), 64);
  EXPECT_EQ(bc->Top(), 72);
  EXPECT_EQ(bc->Width(), w);
  EXPECT_EQ(bc->Height(), h);
  EXPECT_EQ(memo->GetMemoWidth(), 300);
  EXPECT_EQ(memo->GetMemoHeight(), 90);
}

TEST_F(CardMemo, UnwantedStaysHiddenInEveryMode) {
  memo->SetParent(&form);
  memo->SetMemoText(Picture("p.bmp"));
  memo->SetWantVisible(false);
  for (uint8_t mode : {0, 1, 2, 0}) {
    memo->SetDisplayMode(mode);
    EXPECT_FALSE(memo->Visible()) << int(mode);
    if (memo->BcLabel()) {
      EXPECT_FALSE(memo->BcLabel()->Visible());
    }
    if (memo->Picture()) {
      EXPECT_FALSE(memo->Picture()->Visible());
    }
  }
  memo->SetDisplayMode(2);
  memo->SetWantVisible(true);
  EXPECT_TRUE(memo->Picture()->Visible());
  EXPECT_FALSE(memo->Visible());
}

TEST_F(CardMemo, ClickingTheBarcodeEditsTheTextAndLeavingShowsTheNewBarcode) {
  memo->SetParent(&form);
  memo->SetMemoText("12");
  memo->SetDisplayMode(1);
  int entered = 0, left = 0;
  memo->OnEnter = [&](TObject*) { ++entered; };
  memo->OnExit = [&](TObject*) { ++left; };
  TCvBcCardLabel* bc = memo->BcLabel();
  ASSERT_NE(bc, nullptr);
  bc->Click();
  EXPECT_TRUE(memo->Visible());
  EXPECT_TRUE(memo->Focused());
  EXPECT_FALSE(bc->Visible());
  EXPECT_EQ(memo->GetDisplayMode(), 1);
  EXPECT_EQ(entered, 1);

  memo->SetText("3456");  // typed: the barcode waits until the user leaves
  EXPECT_FALSE(memo->BcLabel()->Visible());
  other->SetFocus();
  EXPECT_EQ(left, 1);
  ASSERT_NE(memo->BcLabel(), nullptr);
  EXPECT_TRUE(memo->BcLabel()->Visible());
  EXPECT_EQ(memo->BcLabel()->Caption(), "3456");
  EXPECT_FALSE(memo->Visible());
}

TEST_F(CardMemo, ASubstituteFreedByItsParentIsMadeAgain) {
  auto* box = new TPanel(&form);
  box->SetParent(&form);
  memo->SetParent(box);
  memo->SetMemoText("1");
  memo->SetDisplayMode(1);
  ASSERT_NE(memo->BcLabel(), nullptr);
  delete memo->BcLabel();  // as a container clearing its controls does
  EXPECT_EQ(memo->BcLabel(), nullptr);
  memo->SetMemoText("2");
  ASSERT_NE(memo->BcLabel(), nullptr);
  EXPECT_EQ(memo->BcLabel()->Caption(), "2");
  delete memo->BcLabel();
  memo->SetDisplayMode(0);
  EXPECT_EQ(memo->BcLabel(), nullptr);
  EXPECT_TRUE(memo->Visible());
}

TEST_F(CardMemo, AfterDesigningTheMemoFollowsItsSubstitute) {
  memo->SetParent(&form);
  memo->SetMemoText("1");
  memo->SetDisplayMode(1);
  memo->BcLabel()->SetBounds(50, 60, memo->BcLabel()->Width(), memo->BcLabel()->Height());
  memo->RestoreAfterDesign();
  EXPECT_EQ(memo->Left(), 50);
  EXPECT_EQ(memo->Top(), 60);

  memo->SetDisplayMode(0);
  memo->SetWantVisible(false);
  memo->Show();  // the designer showed it
  memo->SetBounds(8, 16, 120, 24);
  memo->RestoreAfterDesign();
  EXPECT_TRUE(memo->GetWantVisible());
  EXPECT_EQ(memo->Left(), 8);
}

TEST(CardMemoHeight, OneAndAHalfLinesMoreThanItsTextHeight) {
  TForm form(Application);
  TMemo memo(&form);
  memo.Font()->SetPixelSize(16);
  TBitmap probe(1, 1);
  probe.Canvas()->Font()->Assign(*memo.Font());
  const int h = probe.Canvas()->TextHeight("A");
  ASSERT_GT(h, 0);
  struct Case {
    const char* text;
    int lines;
  } cases[] = {{"", 1}, {"a", 1}, {"a\r\nb\r\nc", 3}, {"a\r\n\r\n", 2}};
  for (const Case& c : cases) {
    memo.SetText(c.text);
    EXPECT_EQ(TWinCanvas::GetMemoHeight(&memo), h * c.lines + h / 2) << c.text;
  }
}

}  // namespace
