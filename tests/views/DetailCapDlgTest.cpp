#include <gtest/gtest.h>

#include <functional>

#include "platform/Dialogs.h"
#include "tests/support/TestSupport.h"
#include "tests/views/CandidateFixture.h"
#include "tests/views/DetailFixture.h"
#include "views/DetailCapUnit.h"

namespace {

using Names = std::vector<std::string>;

// A summary card's stand-in: a window holding one detail grid of 営業部.
struct DetailSettings : ::testing::Test {
  StaffSummary staff;
  TForm card{Application};
  TCvStrGrid* grid = nullptr;
  FakeCandSource folder;

  DetailSettings() {
    card.SetBounds(100, 100, 640, 400);
    grid = new TCvStrGrid(&card);
    grid->SetParent(&card);
    grid->SetBounds(20, 30, 400, 200);
    grid->SetColor(clWhite);
    grid->SetStripeColor(clSilver);
    grid->SetFixedColor(clBtnFace);
    staff.Fill(grid, "営業部");
    folder.table = Utf8ToSjis("社員");
  }

  // Shows the dialog as the summary card does; play acts while it is open, then the button named
  // ends it ("" closes it through the close box). After OK the check marks are applied and the
  // grid takes the columns anew. Answers the dialog's result.
  int Run(const std::function<void(TDetailCapDlg*)>& play, const AnsiString& button,
          const std::function<bool(TForm*)>& other = nullptr) {
    TDetailCapDlg dlg(&card);
    dlg.SetFolder(&folder);
    dlg.SetColumns(&staff.source);
    dlg.SetGrid(grid);
    int result;
    {
      ModalHandlerScope scope([&](TForm* f) {
        if (other && other(f)) return;
        play(static_cast<TDetailCapDlg*>(f));
        if (button.empty())
          f->Close();
        else
          PressButton(f, button);
      });
      result = dlg.ShowModal();
    }
    if (result == mrOk) {
      EXPECT_EQ(dlg.ApplyChecks(), staff.source.Count());
      grid->ResetCapInfoList(&staff.source);
    }
    return result;
  }
};

std::vector<std::string> Lines(TDetailCapDlg* d) {
  std::vector<std::string> out;
  for (int i = 0; i < d->CheckListBox1->Items()->Count(); ++i)
    out.push_back(SjisToUtf8(d->CheckListBox1->Items()->Strings(i)) + (d->CheckListBox1->Checked(i) ? " +" : " -"));
  return out;
}

}  // namespace

TEST_F(DetailSettings, CheckedColumnsBecomeTheDetailGridsOwnChoiceOnOk) {
  staff.Source(3)->Name = Utf8ToSjis("部門.備考");  // another table's column keeps its table part
  Names seen;
  ASSERT_EQ(Run(
                [&](TDetailCapDlg* d) {
                  seen = Lines(d);
                  d->CheckListBox1->SetChecked(0, true);   // 部署 on
                  d->CheckListBox1->SetChecked(2, false);  // 金額 off
                },
                "OK"),
            mrOk);
  EXPECT_EQ(seen, (Names{"部署 -", "氏名 +", "金額 +", "部門.備考 +"}));
  EXPECT_EQ(Headings(grid), (Names{"部署", "氏名", "備考"}));
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(staff.Source(i)->Flags & CI_DETAIL_OWN) << i;
  EXPECT_FALSE(staff.Source(2)->Flags & CI_DETAIL_SHOWN);
  EXPECT_TRUE(staff.Source(0)->Flags & CI_DETAIL_SHOWN);
  // From now on the record grid's shown columns no longer decide.
  staff.Source(2)->Shown = true;
  staff.Source(0)->Shown = false;
  ASSERT_EQ(Run([&](TDetailCapDlg* d) { seen = Lines(d); }, SJ("キャンセル")), mrCancel);
  EXPECT_EQ(seen, (Names{"部署 +", "氏名 +", "金額 -", "部門.備考 +"}));
}

// Cancel, or the close box, after moving, sizing, recolouring and a new font: the grid is as it
// was, and the check marks were not applied.
TEST_F(DetailSettings, CancelPutsTheGridBack) {
  const int rowHeight = grid->DefaultRowHeight();
  const int fontSize = grid->Font()->Size();
  for (const char* button : {"キャンセル", ""}) {
    const int result = Run(
        [&](TDetailCapDlg* d) {
          d->CheckListBox1->SetChecked(0, true);
          d->UpDown2->Step(btNext);
          d->UpDown4->Step(btNext);
          d->UpDown4->Step(btNext);
          d->ColorPanel2->Click();
          d->FontBtn->Click();
          EXPECT_EQ(grid->Left(), 21);
          EXPECT_EQ(grid->Width(), 402);
          EXPECT_EQ(grid->Color(), clRed);
          EXPECT_EQ(grid->Font()->Size(), 20);
          EXPECT_EQ(d->ColorPanel2->Color(), clRed);
        },
        Utf8ToSjis(button), [](TForm* f) {
          if (auto* c = dynamic_cast<TColorDialogForm*>(f)) {
            c->SetSelectedColor(clRed);
            PressButton(f, "OK");
            return true;
          }
          if (auto* fd = dynamic_cast<TFontDialogForm*>(f)) {
            fd->SelectedFont()->SetSize(20);
            PressButton(f, "OK");
            return true;
          }
          return false;
        });
    EXPECT_EQ(result, mrCancel) << button;
    EXPECT_EQ(grid->Left(), 20);
    EXPECT_EQ(grid->Top(), 30);
    EXPECT_EQ(grid->Width(), 400);
    EXPECT_EQ(grid->Height(), 200);
    EXPECT_EQ(grid->Color(), clWhite);
    EXPECT_EQ(grid->StripeColor(), clSilver);
    EXPECT_EQ(grid->FixedColor(), clBtnFace);
    EXPECT_EQ(grid->Font()->Size(), fontSize);
    EXPECT_EQ(grid->DefaultRowHeight(), rowHeight);
    EXPECT_EQ(staff.Source(0)->Flags & CI_DETAIL_OWN, 0u);
    EXPECT_EQ(Headings(grid), (Names{"氏名", "金額", "備考"}));
  }
}

TEST_F(DetailSettings, UpDownsMoveAndSizeTheGridAndTheBoundsShow) {
  Run(
      [&](TDetailCapDlg* d) {
        EXPECT_EQ(SjisToUtf8(d->Label4->Caption()), "X=20 Y=30 W=400 H=200");
        d->UpDown1->Step(btNext);  // the up arrow: one pixel up
        EXPECT_EQ(grid->Top(), 29);
        EXPECT_EQ(SjisToUtf8(d->Label4->Caption()), "X=20 Y=29 W=400 H=200");
        d->UpDown1->Step(btPrev);
        d->UpDown1->Step(btPrev);
        EXPECT_EQ(grid->Top(), 31);
        d->UpDown2->Step(btPrev);  // left
        d->UpDown3->Step(btNext);  // shorter
        d->UpDown4->Step(btPrev);  // narrower
        EXPECT_EQ(SjisToUtf8(d->Label4->Caption()), "X=19 Y=31 W=399 H=199");
      },
      "OK");
  // OK keeps the changes.
  EXPECT_EQ(grid->Left(), 19);
  EXPECT_EQ(grid->Height(), 199);
}

TEST_F(DetailSettings, DraggingTheHandlesMovesTheDialogAndTheGrid) {
  Run(
      [&](TDetailCapDlg* d) {
        const int dialogLeft = d->Left(), dialogTop = d->Top();
        TLabel* handle = d->PosiLabel;
        handle->PressMouse(mbLeft, ssLeft, 5, 5);
        handle->MoveMouse(ssLeft, -45, 5);
        EXPECT_EQ(d->Left(), dialogLeft - 50);
        EXPECT_EQ(grid->Left(), 20 - 50);
        // The dialog followed the pointer, so the pointer is over the point it pressed again.
        handle->MoveMouse(ssLeft, 5, 15);
        EXPECT_EQ(d->Left(), dialogLeft - 50);
        EXPECT_EQ(d->Top(), dialogTop + 10);
        EXPECT_EQ(grid->Left(), -30);
        EXPECT_EQ(grid->Top(), 40);
        // Released with the grid's right edge at 3: its left edge goes back to 0.
        handle->MoveMouse(ssLeft, 5 - (grid->Left() + grid->Width() - 3), 5);
        EXPECT_EQ(grid->Left() + grid->Width(), 3);
        handle->ReleaseMouse(mbLeft, 0, 5, 5);
        EXPECT_EQ(grid->Left(), 0);
        EXPECT_EQ(grid->Top(), 40);
        handle->MoveMouse(0, 100, 100);  // the drag has ended
        EXPECT_EQ(grid->Left(), 0);

        TLabel* size = d->SizeLabel;
        size->PressMouse(mbRight, ssRight, 5, 5);  // not the left button: no drag
        size->MoveMouse(ssRight, 50, 5);
        size->ReleaseMouse(mbRight, 0, 50, 5);
        EXPECT_EQ(grid->Width(), 400);
        size->PressMouse(mbLeft, ssLeft, 5, 5);
        size->MoveMouse(ssLeft, 5 - 398, 5 - 198);
        EXPECT_EQ(grid->Width(), 2);
        EXPECT_EQ(grid->Height(), 2);
        size->ReleaseMouse(mbLeft, 0, 5, 5);
        EXPECT_EQ(grid->Width(), 4);
        EXPECT_EQ(grid->Height(), 4);
        EXPECT_EQ(SjisToUtf8(d->Label4->Caption()), "X=0 Y=40 W=4 H=4");
      },
      "OK");
}

TEST(DetailSettingsAlone, WithoutAGridNothingIsStyled) {
  StaffSummary staff;
  TForm owner(Application);
  TDetailCapDlg dlg(&owner);
  dlg.SetColumns(&staff.source);
  dlg.SetGrid(nullptr);
  ModalHandlerScope scope([&](TForm* f) {
    auto* d = static_cast<TDetailCapDlg*>(f);
    EXPECT_EQ(d->Label4->Caption(), "");
    d->ColorPanel1->Click();  // would open the colour dialog, which the handler does not expect
    d->FontBtn->Click();
    d->UpDown1->Step(btNext);
    d->PosiLabel->PressMouse(mbLeft, ssLeft, 5, 5);
    d->PosiLabel->MoveMouse(ssLeft, 50, 5);
    d->PosiLabel->ReleaseMouse(mbLeft, 0, 50, 5);
    PressButton(f, SJ("キャンセル"));
  });
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  EXPECT_EQ(dlg.CheckListBox1->Items()->Count(), 4);
}
