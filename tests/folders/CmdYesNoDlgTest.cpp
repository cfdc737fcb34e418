// The confirm-and-run dialog: the target rows it hands its worker, the run, the stop and closing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "folders/CmdYesNoUnit.h"
#include "foundation/StringsList.h"
#include "tests/support/TestSupport.h"
#include "views/StringGridEx.h"

namespace {

// Twelve rows "r0" ... "r11".
struct Rows {
  Rows() {
    for (int i = 0; i < 12; ++i) {
      auto* row = new TStringList;
      row->Add("r" + IntToStr(i));
      list.Add(row);
    }
  }
  CStringsList list;
};

// The rows the worker was handed, by their text.
std::vector<std::string> Texts(CStringsList* rows) {
  std::vector<std::string> out;
  for (int i = 0; rows && i < rows->Count(); ++i) out.push_back((*rows->Row(i))[0]);
  return out;
}

}  // namespace

TEST(CmdYesNoDlg, EachTargetHandsItsRowsFromTheStartIndexOn) {
  Rows rows;
  TStringGridEx grid(nullptr);
  grid.SetRowCount(13);
  for (int r : {2, 7, 8, 12}) grid.SetRowSelects(r, true);  // list rows 1, 6, 7 and 11

  struct Case {
    bool withGrid;
    int target;
    const char* counts;
    std::vector<std::string> handed;
  };
  const std::vector<std::string> fromFive{"r5", "r6", "r7", "r8", "r9", "r10", "r11"};
  const Case cases[] = {
      {false, 0, "全部　　   7件|選択　　   0件|非選択　   7件", fromFive},
      {false, 1, "全部　　   7件|選択　　   0件|非選択　   7件", {}},
      {false, 2, "全部　　   7件|選択　　   0件|非選択　   7件", fromFive},
      {true, 0, "全部　　   7件|選択　　   3件|非選択　   4件", fromFive},
      {true, 1, "全部　　   7件|選択　　   3件|非選択　   4件", {"r6", "r7", "r11"}},
      {true, 2, "全部　　   7件|選択　　   3件|非選択　   4件", {"r5", "r8", "r9", "r10"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.withGrid << " " << c.target);
    std::unique_ptr<TCmdYesNoDlg> dialog(new TCmdYesNoDlg(Application));
    SetupCmdYesNo(dialog.get(), nullptr, nullptr, &rows.list, 5, c.withGrid ? &grid : nullptr);
    TStrings* items = dialog->RadioGroup1->Items();
    EXPECT_EQ(Show(items->Strings(0) + "|" + items->Strings(1) + "|" + items->Strings(2)), c.counts);
    dialog->DefaultTarget = c.target;
    // A mark that changes after the counts were shown changes nothing.
    grid.SetRowSelects(7, !grid.GetRowSelects(7));
    std::vector<std::string> handed;
    dialog->Worker = [&](TCmdYesNoDlgTh* thread) {
      handed = Texts(thread->Dialog->Rows);
      ReportProgress(thread, int(handed.size()));
    };
    int shownTarget = -1;
    ModalHandlerScope modal([&](TForm* form) {
      shownTarget = dialog->RadioGroup1->ItemIndex();
      dialog->OKBtn->Click();
      // Closing is refused while the worker runs.
      ASSERT_TRUE(PumpUntil([&] { return dialog->Thread == nullptr; }));
      EXPECT_EQ(Show(dialog->Label2->Caption()), "終了しました。");
      EXPECT_EQ(Show(dialog->AbortBtn->Caption()), "閉じる");
      PressButton(form, SJ("閉じる"));
    });
    EXPECT_EQ(dialog->ShowModal(), mrOk);
    EXPECT_EQ(shownTarget, c.target);
    EXPECT_EQ(handed, c.handed);
    EXPECT_EQ(dialog->CountEdit->Text(), IntToStr(int(c.handed.size())));
    // The dialog's own rows are back and whole.
    EXPECT_EQ(dialog->Rows, &rows.list);
    EXPECT_EQ(rows.list.Count(), 12);
    grid.SetRowSelects(7, !grid.GetRowSelects(7));
  }
}

TEST(CmdYesNoDlg, NoRunsNothingAndTheCloseBoxAnswersCancelAfterARun) {
  Rows rows;
  std::unique_ptr<TCmdYesNoDlg> dialog(new TCmdYesNoDlg(Application));
  SetupCmdYesNo(dialog.get(), nullptr, nullptr, &rows.list, 0, nullptr);
  dialog->Title = SJ("テスト");
  dialog->Description = SJ("一行目\r\n二行目");
  int calls = 0;
  dialog->Worker = [&](TCmdYesNoDlgTh*) { ++calls; };
  {
    ModalHandlerScope modal([&](TForm* form) {
      EXPECT_EQ(Show(dialog->Label1->Caption()), "処理「テスト」を実行します。");
      EXPECT_EQ(Show(dialog->Memo1->Text()), "一行目\r\n二行目");
      EXPECT_TRUE(PressButton(form, SJ("いいえ")));
    });
    EXPECT_EQ(dialog->ShowModal(), mrCancel);
  }
  EXPECT_EQ(calls, 0);

  std::unique_ptr<TCmdYesNoDlg> again(new TCmdYesNoDlg(Application));
  SetupCmdYesNo(again.get(), nullptr, nullptr, &rows.list, 0, nullptr);
  again->Description = SJ("説明");
  again->Worker = [&](TCmdYesNoDlgTh* thread) {
    for (int i = 0; i < 4; ++i) ReportProgress(thread, i);
    ReportProgress(thread, 4);
  };
  {
    ModalHandlerScope modal([&](TForm* form) {
      again->OKBtn->Click();
      ASSERT_TRUE(PumpUntil([&] { return again->Thread == nullptr; }));
      form->Close();
    });
    EXPECT_EQ(again->ShowModal(), mrCancel);
  }
  EXPECT_EQ(again->CountEdit->Text(), "4");
  // A worker that logs nothing leaves the description alone.
  EXPECT_EQ(Show(again->Memo1->Text()), "説明");
}

TEST(CmdYesNoDlg, StopEndsTheRunBeforeTheNextRowAndClosingWaitsForIt) {
  Rows rows;
  std::unique_ptr<TCmdYesNoDlg> dialog(new TCmdYesNoDlg(Application));
  SetupCmdYesNo(dialog.get(), nullptr, nullptr, &rows.list, 0, nullptr);
  dialog->SetCaption(SJ("処理の実行"));
  std::atomic<bool> inRow{false};
  dialog->Worker = [&](TCmdYesNoDlgTh* thread) {
    int done = 0;
    for (int i = 0; i < thread->Dialog->Rows->Count(); ++i) {
      if (!ReportProgress(thread, i)) break;
      if (i == 5) {
        AddLogLine(thread, "row 5 in hand");
        inRow = true;
        // The row in hand is finished even though the stop comes meanwhile.
        while (!thread->Terminated()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      ++done;
    }
    ReportProgress(thread, done);
  };
  int round = 0;
  ModalHandlerScope modal([&](TForm* form) {
    if (round++ == 0) {
      dialog->OKBtn->Click();
      EXPECT_EQ(Show(dialog->Caption()), "処理の実行 - 実行中");
      EXPECT_FALSE(dialog->OKBtn->Visible());
      EXPECT_TRUE(dialog->AbortBtn->Visible());
      EXPECT_TRUE(dialog->CountEdit->Enabled());
      ASSERT_TRUE(PumpUntil([&] { return inRow.load(); }));
      // Any close is refused while the worker runs: the run asks again.
      form->Close();
      return;
    }
    ASSERT_NE(dialog->Thread, nullptr);
    dialog->AbortBtn->Click();
    EXPECT_EQ(Show(dialog->Caption()), "処理の実行 - 中止中・・・");
    ASSERT_TRUE(PumpUntil([&] { return dialog->Thread == nullptr; }));
    EXPECT_EQ(Show(dialog->Caption()), "処理の実行 - 終了しました");
    dialog->AbortBtn->Click();
  });
  EXPECT_EQ(dialog->ShowModal(), mrOk);
  EXPECT_EQ(round, 2);
  EXPECT_EQ(dialog->CountEdit->Text(), "6");
  EXPECT_EQ(Show(dialog->Memo1->Text()), "row 5 in hand");
}

TEST(CmdYesNoDlg, ALongTitleWidensTheDialog) {
  std::unique_ptr<TCmdYesNoDlg> dialog(new TCmdYesNoDlg(Application));
  dialog->Title = AnsiString(80, 'x');
  ModalHandlerScope modal([&](TForm* form) {
    EXPECT_GT(dialog->ClientWidth(), 360);
    EXPECT_EQ(dialog->ClientWidth(), dialog->Label1->Width() + 32);
    EXPECT_EQ(dialog->Label1->Left(), 16);
    PressButton(form, SJ("いいえ"));
  });
  dialog->ShowModal();
}
