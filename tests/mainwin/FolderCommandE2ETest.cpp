// A folder's command run by the user from the main window: from the menu over the marked rows,
// and by itself after a listing over every row listed. The table is read back afterwards.
#include "folders/CmdYesNoUnit.h"
#include "tests/mainwin/MainWindowTestSupport.h"

namespace {

// The amounts of the listed rows, in list order.
std::vector<std::string> ListedAmounts() {
  std::vector<std::string> out;
  const int k = FormMain->ListRows->ColumnList->IndexOfName(SJ("顧客") + ".amount");
  for (int i = 0; k >= 0 && i < FormMain->ListRows->Count(); ++i) out.push_back((*FormMain->ListRows->Row(i))[k]);
  return out;
}

// Plays the user of the confirm-and-run dialog: notes the preselected target and its text,
// runs the command and closes the dialog.
struct CommandUser {
  int dialogs = 0;
  int target = -1;
  std::string targetText, memo;
  void operator()(TForm* form) {
    if (LetListingFinish(form) || CloseAboutBox(form)) return;
    auto* d = dynamic_cast<TCmdYesNoDlg*>(form);
    ASSERT_NE(d, nullptr) << "unexpected dialog \"" << Show(form->Caption()) << "\"";
    ++dialogs;
    target = d->RadioGroup1->ItemIndex();
    targetText = Show(d->RadioGroup1->Items()->Strings(target));
    EXPECT_TRUE(PressButton(d, SJ("はい")));
    ASSERT_TRUE(PumpUntil([d] { return d->Thread == nullptr; }));
    memo = Show(d->Memo1->Text());
    EXPECT_TRUE(PressButton(d, SJ("閉じる")));
  }
};

}  // namespace

TEST_F(MainWindowTest, AFolderCommandRunsFromTheMenuAndAfterAListing) {
  WorkFolder work;
  work.Insert(SJ("顧客"), {{"name", SJ("佐藤")}, {"unit", SJ("総務")}, {"amount", "30"}});
  work.Insert(SJ("顧客"), {{"name", SJ("鈴木")}, {"unit", SJ("営業")}, {"amount", "45"}});
  work.WriteSettings("");
  StartedProgram program({work.Base()});
  // A table folder's flags are set afresh whenever it is loaded: the command is given here.
  CRuleFolder* customers = FormMain->TopFolder->Children.Get(0);
  customers->CommandName = SJ("加算");
  customers->Description = SJ("金額に１を足します。");
  customers->Script = "setvalue(\"amount\", amount + 1)";
  customers->Flags |= FOLDER_COMMAND_IN_MENU;
  customers->Target = 1;
  ASSERT_EQ(ListAllRecords(TopLevelNode(SJ("顧客"))), 3);
  EXPECT_EQ(ListedAmounts(), (std::vector<std::string>{"120", "30", "45"}));

  // From the menu, over the marked row (佐藤); the list then shows the records afresh.
  MarkRows({2});
  FormMain->UpdateActions();
  ASSERT_TRUE(FormMain->FolDoCmd->Enabled());
  CommandUser menu;
  {
    ModalHandlerScope user(std::ref(menu));
    FormMain->FolDoCmd->Execute();
  }
  EXPECT_EQ(menu.dialogs, 1);
  EXPECT_EQ(menu.target, 1);
  EXPECT_EQ(menu.targetText, "選択　　   1件");
  EXPECT_EQ(menu.memo, "金額に１を足します。");
  EXPECT_EQ(ListedAmounts(), (std::vector<std::string>{"120", "31", "45"}));

  // After a listing the command offers every row listed.
  customers->Flags |= FOLDER_COMMAND_AFTER_LISTING;
  CommandUser after;
  {
    ModalHandlerScope user(std::ref(after));
    FormMain->RefreshTreeAndList();
  }
  EXPECT_EQ(after.dialogs, 1);
  EXPECT_EQ(after.target, 0);
  EXPECT_EQ(after.targetText, "全部　　   3件");

  customers->Flags &= ~FOLDER_COMMAND_AFTER_LISTING;
  {
    ModalHandlerScope user(std::ref(after));
    FormMain->RefreshTreeAndList();
  }
  EXPECT_EQ(after.dialogs, 1);
  EXPECT_EQ(ListedAmounts(), (std::vector<std::string>{"121", "32", "46"}));
}
