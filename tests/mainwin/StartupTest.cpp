// The start-up: which settings and folder files a command line names, the forms made and the
// main window's first show over a work folder.
#include <sys/stat.h>

#include <filesystem>

#include "folders/FlowBox.h"
#include "folders/RuleFolder.h"
#include "foundation/LogForm.h"
#include "mainwin/GetListUnit.h"
#include "mainwin/MainSettings.h"
#include "platform/SysUtils.h"
#include "tests/mainwin/MainWindowTestSupport.h"
#include "views/CandUnit.h"
#include "views/CardUnit.h"
#include "views/EditForm.h"
#include "views/SumCardUnit.h"

namespace {

std::string ProgramName() { return std::filesystem::path(ExecutablePath()).filename().string(); }

}  // namespace

TEST_F(MainWindowTest, CommandLineNamesTheSettingsFile) {
  const std::string inConfig = config.Path() + "/cinderwatch/" + ProgramName() + ".ini";
  const struct {
    std::vector<std::string> args;
    std::string expected;
  } cases[] = {
      {{}, inConfig},
      {{""}, inConfig},  // an empty argument names nothing
      {{"-DEBUG"}, inConfig},
      {{"-debug", "/data/other.txt"}, inConfig},  // only the first argument names
      {{"/home/user/work.txt"}, "/home/user/work.ini"},  // absolute paths are names, not switches
      {{"/debug"}, "/debug.ini"},
      {{"work"}, "work.ini"},
      {{"data/work.v2.txt", "-DEBUG"}, "data/work.v2.ini"},
      {{"data.d/work"}, "data.d/work.ini"},
      {{"data/"}, "data/" + ProgramName() + ".ini"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> all{ExecutablePath()};
    all.insert(all.end(), c.args.begin(), c.args.end());
    SetParams(all);
    EXPECT_EQ(MakeIniFileName(), c.expected) << (c.args.empty() ? "(none)" : c.args[0]);
  }
  SetParams({});
  // The configuration folder is made when it is used.
  EXPECT_TRUE(std::filesystem::is_directory(config.Path() + "/cinderwatch"));
}

TEST_F(MainWindowTest, ConfigurationFolderFollowsTheEnvironment) {
  const char* home = std::getenv("HOME");
  const std::string savedHome = home ? home : "";
  setenv("HOME", config.Path().c_str(), 1);
  setenv("XDG_CONFIG_HOME", "relative/config", 1);  // not absolute: ignored
  EXPECT_EQ(ConfigFolder(), config.Path() + "/.config/cinderwatch");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(ConfigFolder(), config.Path() + "/.config/cinderwatch");
  setenv("XDG_CONFIG_HOME", "/somewhere/else", 1);
  EXPECT_EQ(ConfigFolder(), "/somewhere/else/cinderwatch");
  if (home)
    setenv("HOME", savedHome.c_str(), 1);
  else
    unsetenv("HOME");
}

TEST_F(MainWindowTest, StartUpMakesTheFormsAndShowsTheFolderTree) {
  WorkFolder work;
  work.WriteSettings("[TreeView1]\nWidth=180\n");
  UserScript user;
  StartedProgram program({work.Base() + ".txt"});

  EXPECT_EQ(Application->Title(), "Cinderwatch");
  EXPECT_EQ(Application->MainForm(), FormMain);
  for (TForm* form : std::initializer_list<TForm*>{GetListDlg, FormLog, CardDlg, EditDlg, CandForm, SumCardDlg})
    ASSERT_NE(form, nullptr);
  // Made in the order of the start-up, each after the one before it.
  std::vector<TComponent*> order;
  for (int i = 0; i < Application->ComponentCount(); ++i) order.push_back(Application->Components(i));
  const std::vector<TComponent*> expected{FormMain, FormMain->DiagramBox, GetListDlg, FormLog,
                                          CardDlg,  EditDlg,              CandForm,   SumCardDlg};
  EXPECT_TRUE(std::search(order.begin(), order.end(), expected.begin(), expected.end()) != order.end());

  EXPECT_EQ(FormMain->IniWritePath, work.Settings());
  EXPECT_EQ(FormMain->IniReadPath, work.Settings());
  EXPECT_EQ(FormMain->TopFolder->ReadPath, work.FolderFile());
  EXPECT_EQ(FormMain->TopFolder->WritePath, work.FolderFile());
  EXPECT_EQ(TreeText(FormMain->TreeView1), "Cindervault\n  顧客\n");
  TTreeNode* table = FormMain->TreeView1->Items()->GetFirstNode()->Item(0);
  EXPECT_TRUE(table->HasChildren());  // expanded later, on demand
  EXPECT_EQ(static_cast<CDbFolder*>(table->Data)->Folder->Name, SJ("顧客"));
  EXPECT_EQ(FormMain->StatusBar1->Panels()->Items(0)->Text(), work.FolderFile());
  EXPECT_EQ(FormMain->Caption(), "Cinderwatch");
  EXPECT_EQ(FormMain->BaseCaption, "Cinderwatch");
  EXPECT_EQ(FormMain->TreeView1->Width(), 180);
  EXPECT_EQ(FolderImageList, FormMain->ImageList1);
  EXPECT_TRUE(FormMain->AcceptsFiles());
  for (TAction* a : {FormMain->FileTblCreate, FormMain->FileTblRead, FormMain->FileTblWrite, FormMain->FileSaveFol})
    EXPECT_FALSE(a->Enabled()) << a->Name;
  EXPECT_FALSE(FormMain->FileLog->Visible());
  // The diagram took the placeholder's place.
  EXPECT_EQ(FormMain->ScrollBox1, nullptr);
  EXPECT_EQ(FormMain->DiagramBox->Name, "ScrollBox1FB");
  EXPECT_EQ(FormMain->DiagramBox->Parent(), FormMain);
  EXPECT_EQ(FormMain->DiagramBox->PopupMenu(), FormMain->PopupMenu3);
  EXPECT_FALSE(FormMain->Chart2->Visible());
  EXPECT_EQ(FormMain->KindBox->ItemIndex(), 0);

  // The about box comes once, shortly after the window.
  EXPECT_EQ(user.aboutBoxes, 0);
  EXPECT_TRUE(PumpUntil([&] { return user.aboutBoxes == 1; }, 3000));
  PumpUntil([] { return false; }, 500);
  EXPECT_EQ(user.aboutBoxes, 1);
  EXPECT_FALSE(FormMain->Timer1->Enabled());
  EXPECT_TRUE(user.shown.empty());
}

TEST_F(MainWindowTest, MissingFilesStartWithTheRootAlone) {
  TempDir dir;
  UserScript user;
  StartedProgram program({dir.File("new.txt")});
  // No settings of that name yet: the program's own are read, the folder file beside them.
  EXPECT_EQ(FormMain->IniWritePath, dir.File("new.ini"));
  EXPECT_EQ(FormMain->IniReadPath, ChangeFileExt(ExecutablePath(), ".ini"));
  EXPECT_EQ(FormMain->TopFolder->WritePath, dir.File("new.fld"));
  EXPECT_EQ(TreeText(FormMain->TreeView1), "Cindervault\n");
  EXPECT_TRUE(user.shown.empty());
  FormMain->Close();
  EXPECT_TRUE(FileExists(dir.File("new.ini")));  // written under the new name
}

TEST_F(MainWindowTest, FoldersSavedUnderTheNameAreReadWithoutItsSettings) {
  WorkFolder work;  // its folder file, but no settings file: the last run never closed
  ASSERT_FALSE(FileExists(work.Settings()));
  UserScript user({"はい(&Y)"});
  StartedProgram program({work.Base()});
  EXPECT_EQ(FormMain->IniReadPath, ChangeFileExt(ExecutablePath(), ".ini"));
  EXPECT_EQ(FormMain->TopFolder->ReadPath, work.FolderFile());
  EXPECT_EQ(TreeText(FormMain->TreeView1), "Cindervault\n  顧客\n");
}

TEST_F(MainWindowTest, DamagedFolderFileIsReportedAndStartUpGoesOn) {
  WorkFolder work;
  std::filesystem::resize_file(work.FolderFile(), 10);
  work.WriteSettings("");
  UserScript user;
  StartedProgram program({work.Base()});
  ASSERT_EQ(user.shown.size(), 1u);
  EXPECT_NE(SjisToUtf8(user.shown[0].text).find("読めませんでした"), std::string::npos);
  EXPECT_EQ(TreeText(FormMain->TreeView1), "Cindervault\n");
}

TEST_F(MainWindowTest, DebugSwitchShowsTheLogCommand) {
  WorkFolder work;
  work.WriteSettings("");
  const struct {
    std::vector<std::string> args;
    bool shown;
  } cases[] = {
      {{work.Base(), "-DEBUG"}, true},
      {{"-debug"}, true},
      {{work.Base(), "-Debug"}, true},
      {{work.Base(), "debug"}, false},
      {{work.Base(), "--debug"}, false},
      {{work.Base(), "-debugger"}, false},
      {{work.Base()}, false},
  };
  for (const auto& c : cases) {
    UserScript user;
    StartedProgram program(c.args);
    EXPECT_EQ(FormMain->FileLog->Visible(), c.shown) << c.args.back();
  }
  // The settings can show it too.
  work.WriteSettings("[DEBUG]\nPrintLog=1\n");
  UserScript user;
  StartedProgram program({work.Base()});
  EXPECT_TRUE(FormMain->FileLog->Visible());
  FormMain->FileLog->Execute();
  EXPECT_TRUE(FormLog->Visible());
}

TEST_F(MainWindowTest, LogCommandMakesTheLogWindowAgain) {
  WorkFolder work;
  work.WriteSettings("");
  UserScript user;
  StartedProgram program({work.Base()});
  delete FormLog;
  ASSERT_EQ(FormLog, nullptr);
  FormMain->FileLogExecute(nullptr);
  ASSERT_NE(FormLog, nullptr);
  EXPECT_TRUE(FormLog->Visible());
}

TEST_F(MainWindowTest, HelpCommandsShowTheAboutBoxAndReportAMissingHelpFile) {
  WorkFolder work;
  work.WriteSettings("");
  UserScript user;
  StartedProgram program({work.Base()});
  FormMain->Timer1->SetEnabled(false);
  FormMain->HelpAbout->Execute();
  EXPECT_EQ(user.aboutBoxes, 1);
  Application->HelpFile = work.dir.File("missing.html");
  FormMain->HelpHelp->Execute();
  ASSERT_EQ(user.shown.size(), 1u);
  EXPECT_NE(SjisToUtf8(user.shown[0].text).find("missing.html"), std::string::npos);
}
