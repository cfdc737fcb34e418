#include <gtest/gtest.h>

#include <functional>

#include "platform/Dialogs.h"
#include "platform/Forms.h"
#include "tests/support/TestSupport.h"
#include "views/CvcmEditUnit.h"

namespace {

constexpr TColor kNoPick = -1;

// A drag on a handle by (dx, dy) on the screen: the handle may move under the pointer, so each
// point is given in the handle's coordinates of that moment.
void DragOn(TControl* handle, int dx, int dy) {
  const TPoint start = handle->ClientToScreen({5, 5});
  handle->PressMouse(mbLeft, ssLeft, 5, 5);
  for (const TPoint at : {TPoint{start.x + dx / 2, start.y + dy / 2}, TPoint{start.x + dx, start.y + dy}}) {
    const TPoint p = handle->ScreenToClient(at);
    handle->MoveMouse(ssLeft, p.x, p.y);
  }
  const TPoint p = handle->ScreenToClient({start.x + dx, start.y + dy});
  handle->ReleaseMouse(mbLeft, 0, p.x, p.y);
}

// A card with one field: a heading left of its value memo.
struct FieldDialog : ::testing::Test {
  TForm card{Application};
  TCvCardLabel* heading = nullptr;
  TCvCardMemo* memo = nullptr;
  // The colour and font the pickers answer with (clNone / 0: the picker is cancelled).
  TColor pickColor = kNoPick;
  int pickFontSize = 0;

  FieldDialog() {
    card.SetBounds(100, 80, 500, 400);
    heading = new TCvCardLabel(&card);
    heading->SetParent(&card);
    heading->SetCaption(SJ("氏名"));
    heading->SetBounds(20, 43, heading->Width(), heading->Height());
    memo = new TCvCardMemo(&card);
    memo->SetParent(&card);
    memo->SetBounds(80, 40, 150, 24);
    memo->SetMemoText("ABC");
    memo->SetCaptionLabel(heading);
    heading->SetMemo(memo);
  }

  // Opens the dialog from the memo; play acts on it, then button ends it (empty: the close box).
  int Run(const std::function<void(TCvcmEditDlg*)>& play, const AnsiString& button) {
    ModalHandlerScope scope([&](TForm* f) {
      if (auto* c = dynamic_cast<TColorDialogForm*>(f)) {
        if (pickColor != kNoPick) c->SetSelectedColor(pickColor);
        PressButton(f, pickColor != kNoPick ? AnsiString("OK") : SJ("キャンセル"));
        return;
      }
      if (auto* d = dynamic_cast<TFontDialogForm*>(f)) {
        if (pickFontSize > 0) d->SelectedFont()->SetSize(pickFontSize);
        PressButton(f, pickFontSize > 0 ? AnsiString("OK") : SJ("キャンセル"));
        return;
      }
      auto* dlg = dynamic_cast<TCvcmEditDlg*>(f);
      ASSERT_NE(dlg, nullptr);
      play(dlg);
      if (button.empty())
        f->Close();
      else
        PressButton(f, button);
    });
    return memo->OpenFieldDialog();
  }

  // Changes every setting; each but the text shows on the card at once.
  void ChangeEverything(TCvcmEditDlg* dlg) {
    pickColor = clYellow;
    pickFontSize = 16;
    dlg->Button2->Click();
    dlg->Button1->Click();
    dlg->RadioGroup1->SetItemIndex(1);
    dlg->RadioGroup2->SetItemIndex(1);
    dlg->RadioGroup3->SetItemIndex(2);
    dlg->Memo1->SetText("12345");
    dlg->UpDown1->Step(btNext);  // up 2
    dlg->UpDown1->Step(btNext);
    dlg->UpDown2->Step(btNext);  // right 1
    dlg->UpDown3->Step(btPrev);  // 1 taller
    dlg->UpDown4->Step(btNext);  // 1 wider
    dlg->RadioGroup4->SetItemIndex(1);

    EXPECT_EQ(memo->Color(), clYellow);
    EXPECT_EQ(memo->Font()->Size(), 16);
    EXPECT_EQ(heading->Font()->Size(), 16);
    EXPECT_EQ(heading->Left() + heading->Width(), headingRight + 1) << "right edge kept, then moved with the memo";
    EXPECT_FALSE(heading->Visible());
    EXPECT_EQ(memo->BorderStyle(), bsNone);
    EXPECT_EQ(memo->Alignment(), taRightJustify);
    EXPECT_EQ(memo->GetDisplayMode(), 1);
    EXPECT_EQ(memo->GetMemoText(), "ABC") << "the text waits for OK";
    EXPECT_EQ(memo->BcLabel()->Caption(), "ABC");
    EXPECT_EQ(memo->BcLabel()->Left(), 81);
    EXPECT_EQ(memo->BcLabel()->Top(), 38);
    EXPECT_EQ(heading->Top(), 41);
    EXPECT_EQ(dlg->Label3->Caption(), "X=81 Y=38 W=151 H=25");
  }
  int headingRight = 0;
};

}  // namespace

TEST_F(FieldDialog, OkKeepsEverySettingAndTakesTheText) {
  headingRight = heading->Left() + heading->Width();
  EXPECT_EQ(Run([&](TCvcmEditDlg* d) { ChangeEverything(d); }, "OK"), mrOk);
  EXPECT_EQ(memo->Color(), clYellow);
  EXPECT_EQ(memo->Font()->Size(), 16);
  EXPECT_FALSE(heading->Visible());
  EXPECT_EQ(memo->BorderStyle(), bsNone);
  EXPECT_EQ(memo->Alignment(), taRightJustify);
  EXPECT_EQ(memo->GetDisplayMode(), 1);
  EXPECT_EQ(memo->GetMemoText(), "12345");
  ASSERT_NE(memo->BcLabel(), nullptr);
  EXPECT_EQ(memo->BcLabel()->Caption(), "12345") << "the barcode shows the new text";
  EXPECT_EQ(memo->GetMemoLeft(), 81);
  EXPECT_EQ(memo->GetMemoTop(), 38);
  EXPECT_EQ(memo->GetMemoWidth(), 151);
  EXPECT_EQ(memo->GetMemoHeight(), 25);
  EXPECT_EQ(heading->Top(), 41);
}

TEST_F(FieldDialog, CancelAndTheCloseBoxPutMemoAndHeadingBack) {
  heading->Font()->SetSize(memo->Font()->Size() + 3);  // a heading font of its own comes back as it was
  const int headingSize = heading->Font()->Size();
  headingRight = heading->Left() + heading->Width();
  const int headingLeft = heading->Left(), headingWidth = heading->Width(), fontSize = memo->Font()->Size();
  const TColor color = memo->Color();
  for (const AnsiString& button : {SJ("キャンセル"), AnsiString()}) {
    SCOPED_TRACE(button.empty() ? "close box" : "cancel");
    EXPECT_EQ(Run([&](TCvcmEditDlg* d) { ChangeEverything(d); }, button), mrCancel);
    EXPECT_EQ(memo->Color(), color);
    EXPECT_EQ(memo->Font()->Size(), fontSize);
    EXPECT_EQ(heading->Font()->Size(), headingSize);
    EXPECT_TRUE(heading->Visible());
    EXPECT_EQ(heading->Left(), headingLeft);
    EXPECT_EQ(heading->Width(), headingWidth);
    EXPECT_EQ(heading->Top(), 43);
    EXPECT_EQ(memo->BorderStyle(), bsSingle);
    EXPECT_EQ(memo->Alignment(), taLeftJustify);
    EXPECT_EQ(memo->GetDisplayMode(), 0);
    EXPECT_EQ(memo->BcLabel(), nullptr);
    EXPECT_TRUE(memo->Visible());
    EXPECT_EQ(memo->GetMemoText(), "ABC");
    EXPECT_EQ(memo->GetMemoLeft(), 80);
    EXPECT_EQ(memo->GetMemoTop(), 40);
    EXPECT_EQ(memo->GetMemoWidth(), 150);
    EXPECT_EQ(memo->GetMemoHeight(), 24);
  }
}

TEST_F(FieldDialog, CancelledPickersChangeNothing) {
  const TColor color = memo->Color();
  const int size = memo->Font()->Size();
  Run(
      [&](TCvcmEditDlg* d) {
        d->Button2->Click();
        d->Button1->Click();
      },
      "OK");
  EXPECT_EQ(memo->Color(), color);
  EXPECT_EQ(memo->Font()->Size(), size);
}

TEST_F(FieldDialog, OpensShowingTheMemosLookBelowIt) {
  memo->SetAlignment(taCenter);
  memo->SetBorderStyle(bsNone);
  heading->Hide();
  Run(
      [&](TCvcmEditDlg* d) {
        EXPECT_TRUE(d->RadioGroup1->Enabled());
        EXPECT_EQ(d->RadioGroup1->ItemIndex(), 1);
        EXPECT_EQ(d->RadioGroup2->ItemIndex(), 1);
        EXPECT_EQ(d->RadioGroup3->ItemIndex(), 1);
        EXPECT_EQ(d->RadioGroup4->ItemIndex(), 0);
        EXPECT_EQ(d->Memo1->Text(), "ABC");
        EXPECT_EQ(d->Label3->Caption(), "X=80 Y=40 W=150 H=24");
        const TPoint at = card.ClientToScreen({80 + 16, 40 + 24 + 16});
        EXPECT_EQ(d->Left(), at.x);
        EXPECT_EQ(d->Top(), at.y);
      },
      "OK");
  EXPECT_EQ(memo->Alignment(), taCenter) << "showing the settings changes none of them";
  EXPECT_EQ(memo->BorderStyle(), bsNone);
  EXPECT_FALSE(heading->Visible());
}

TEST_F(FieldDialog, AFreeFrameHasNoHeadingToShow) {
  memo->SetCaptionLabel(nullptr);
  memo->SetDisplayMode(2);  // no file of its name: the memo shows the name
  Run(
      [&](TCvcmEditDlg* d) {
        EXPECT_FALSE(d->RadioGroup1->Enabled());
        EXPECT_EQ(d->RadioGroup4->ItemIndex(), 2);
        d->RadioGroup4->SetItemIndex(0);
        d->UpDown2->Step(btPrev);
      },
      "OK");
  EXPECT_EQ(memo->GetDisplayMode(), 0);
  EXPECT_EQ(memo->GetMemoLeft(), 79);
  EXPECT_TRUE(heading->Visible()) << "the former heading is not the dialog's";
}

TEST_F(FieldDialog, StaysOnTheScreenNearItsEdges) {
  const int w = Screen->Width(), h = Screen->Height();
  card.SetBounds(w - 100, h - 60, 400, 300);
  Run(
      [&](TCvcmEditDlg* d) {
        EXPECT_EQ(d->Left(), w - 20);
        EXPECT_EQ(d->Top(), h - 20);
      },
      "OK");
  card.SetBounds(-500, -500, 400, 300);
  Run(
      [&](TCvcmEditDlg* d) {
        EXPECT_EQ(d->Left(), 0);
        EXPECT_EQ(d->Top(), 0);
      },
      "OK");
}

TEST_F(FieldDialog, DraggingMovesDialogMemoAndHeadingAndKeepsTheMemoReachable) {
  Run(
      [&](TCvcmEditDlg* d) {
        const int left = d->Left();
        DragOn(d->PosiLabel, 30, 10);
        EXPECT_EQ(d->Left(), left + 30) << "the handle stays under the pointer";
        EXPECT_EQ(memo->GetMemoLeft(), 110);
        EXPECT_EQ(memo->GetMemoTop(), 50);
        EXPECT_EQ(heading->Top(), 53);
        EXPECT_EQ(d->Label3->Caption(), "X=110 Y=50 W=150 H=24");

        DragOn(d->PosiLabel, -300, 0);  // off the card to the left
        EXPECT_EQ(memo->GetMemoLeft(), 0);
        EXPECT_EQ(memo->GetMemoTop(), 50);

        DragOn(d->SizeLabel, -150, -40);  // to nothing
        EXPECT_EQ(memo->GetMemoWidth(), 4);
        EXPECT_EQ(memo->GetMemoHeight(), 4);
        EXPECT_EQ(memo->GetMemoLeft(), 0) << "sizing leaves the place alone";

        for (int i = 0; i < 10; ++i) d->UpDown3->Step(btNext);  // shorter
        EXPECT_EQ(memo->GetMemoHeight(), 4) << "the arrows make it no smaller either";
      },
      "OK");
  EXPECT_EQ(memo->GetMemoWidth(), 4);
}
