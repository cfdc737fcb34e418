// Closing the main window: the question about unsaved folders, the save, a save that fails, and
// the settings written on the way out.
#include <filesystem>

#include "folders/RuleFolder.h"
#include "tests/mainwin/MainWindowTestSupport.h"

namespace {

constexpr const char* kQuestion = "フォルダに変更があります。保存しますか？";

// The name of the root folder kept in the folder file.
std::string SavedRootName(const std::string& path) {
  CTopRuleFolder root;
  root.ReadPath = path;
  return root.LoadFolderFile() ? SjisToUtf8(root.Name) : "(unreadable)";
}

}  // namespace

TEST_F(MainWindowTest, ClosingWithoutChangesAsksNothingAndWritesTheSettings) {
  WorkFolder work;
  UserScript user;
  StartedProgram program({work.Base()});
  FormMain->FileSaveFolExecute(nullptr);
  EXPECT_FALSE(FormMain->FileSaveFol->Enabled());
  FormMain->FileExit->Execute();
  EXPECT_FALSE(FormMain->Visible());
  EXPECT_TRUE(user.shown.empty());
  EXPECT_TRUE(FileExists(work.Settings()));
}

TEST_F(MainWindowTest, ClosingWithChangesAsksOnce) {
  for (const char* answer : {"はい(&Y)", "いいえ(&N)"}) {
    WorkFolder work;
    const std::string before = ReadFileBytes(work.FolderFile());
    UserScript user({answer});
    StartedProgram program({work.Base()});
    FormMain->TopFolder->Name = SJ("変更後");
    FormMain->TopFolder->AddModified(2);
    FormMain->Close();
    EXPECT_FALSE(FormMain->Visible()) << answer;
    ASSERT_EQ(user.shown.size(), 1u) << answer;
    EXPECT_EQ(SjisToUtf8(user.shown[0].text), kQuestion);
    EXPECT_EQ(SjisToUtf8(user.shown[0].caption), "保存の確認");
    EXPECT_TRUE(FileExists(work.Settings())) << answer;
    if (std::string(answer) == "はい(&Y)") {
      EXPECT_EQ(SavedRootName(work.FolderFile()), "変更後");
      EXPECT_TRUE(FileExists(work.Base() + "_1.fld"));  // the previous file, one generation down
      EXPECT_EQ(FormMain->TopFolder->GetModified(), 0);
    } else {
      EXPECT_EQ(ReadFileBytes(work.FolderFile()), before);
      EXPECT_EQ(FormMain->TopFolder->GetModified(), 2);
    }
  }
}

TEST_F(MainWindowTest, SaveCommandSavesAndDisablesItself) {
  WorkFolder work;
  UserScript user({"はい(&Y)"});
  StartedProgram program({work.Base()});
  FormMain->TopFolder->Name = SJ("保存済み");
  FormMain->TopFolder->AddModified(1);
  FormMain->FileSaveFol->SetEnabled(true);
  FormMain->FileSaveFol->Execute();
  EXPECT_EQ(user.shown.size(), 1u);
  EXPECT_EQ(SavedRootName(work.FolderFile()), "保存済み");
  EXPECT_FALSE(FormMain->FileSaveFol->Enabled());
  FormMain->Close();
  EXPECT_EQ(user.shown.size(), 1u);  // nothing left to ask
}

// A folder file that cannot be written is reported with its reason, the changes stay counted and
// the window stays open, so nothing is lost; the question comes again at the next close.
TEST_F(MainWindowTest, FailedSaveIsReportedAndKeepsTheWindow) {
  WorkFolder work;
  UserScript user({"はい(&Y)", "ＯＫ", "はい(&Y)", "ＯＫ", "いいえ(&N)"});
  StartedProgram program({work.Base()});
  FormMain->TopFolder->AddModified(1);
  const std::string unwritable = work.dir.File("no such folder/work.fld");
  FormMain->TopFolder->WritePath = unwritable;

  FormMain->FileSaveFol->SetEnabled(true);
  FormMain->FileSaveFol->Execute();
  ASSERT_EQ(user.shown.size(), 2u);
  EXPECT_EQ(SjisToUtf8(user.shown[1].caption), "エラー");
  const std::string reason = SjisToUtf8(user.shown[1].text);
  EXPECT_NE(reason.find("保存できませんでした"), std::string::npos) << reason;
  EXPECT_NE(reason.find("no such folder/work.fld"), std::string::npos) << reason;
  EXPECT_EQ(FormMain->TopFolder->GetModified(), 1);
  EXPECT_TRUE(FormMain->FileSaveFol->Enabled());

  const int settingsBefore = FileExists(work.Settings());
  FormMain->Close();
  ASSERT_EQ(user.shown.size(), 4u);
  EXPECT_EQ(SjisToUtf8(user.shown[2].text), kQuestion);
  EXPECT_TRUE(FormMain->Visible());
  EXPECT_EQ(FileExists(work.Settings()), settingsBefore);

  FormMain->Close();  // asked again; No closes without the folders
  ASSERT_EQ(user.shown.size(), 5u);
  EXPECT_EQ(SjisToUtf8(user.shown[4].text), kQuestion);
  EXPECT_FALSE(FormMain->Visible());
  EXPECT_EQ(FormMain->TopFolder->GetModified(), 1);
  EXPECT_FALSE(std::filesystem::exists(unwritable));
  EXPECT_TRUE(FileExists(work.Settings()));
}
