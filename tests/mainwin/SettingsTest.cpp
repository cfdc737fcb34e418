// The settings file: what it restores when the window is first shown, what it writes when the
// window closes, and what it leaves alone.
#include <sys/stat.h>

#include "folders/FlowBox.h"
#include "foundation/CapInfo.h"
#include "foundation/LogForm.h"
#include "mainwin/MenuBar.h"
#include "platform/IniFiles.h"
#include "tests/mainwin/MainWindowTestSupport.h"

namespace {

TCoolBand* Band(int i) { return FormMain->CoolBar1->Bands()->Items(i); }

}  // namespace

TEST_F(MainWindowTest, SettingsRoundTripKeepsForeignKeys) {
  WorkFolder work;
  work.WriteSettings(
      "; 手で書いたメモ\n"
      "[DEBUG]\nPrintLog=1\n"
      "[FUTURE]\nGraph=0\n"
      "[Graph]\nMaxPoint=77\n"
      "[SumCard]\nMaxPrint=12\n"
      "[TreeView1]\nWidth=150\nMemo=木の幅\n"
      "[利用者]\n名前=山田\n");
  {
    UserScript user;
    StartedProgram program({work.Base()});
    EXPECT_TRUE(FormMain->FileLog->Visible());
    EXPECT_EQ(FormMain->TabControl1->Tabs()->Count(), 3);  // no graph view
    EXPECT_EQ(FormMain->MaxPoint, 77);
    EXPECT_EQ(SumCardMaxPrint, 12);
    EXPECT_EQ(FormMain->TreeView1->Width(), 150);

    // The user changes the looks.
    FormMain->TreeView1->SetWidth(222);
    FormMain->DiagramBox->SetVisible(true);
    FormMain->TreeView1->Font()->SetName(SJ("ＭＳ ゴシック"));
    FormMain->TreeView1->Font()->SetSize(11);
    FormMain->TreeView1->SetColor(0x102030);
    FormMain->StringGridEx1->SetFixedColor(0x405060);
    FormMain->StringGridEx1->SetStripeColor(0x708090);
    FormMain->DiagramBox->SetColor(0xA0B0C0);
    Band(1)->SetBreak(true);
    Band(1)->SetWidth(333);
    FormMain->Close();
  }
  // Every key the window does not write is still there as it was, the file still Shift_JIS.
  const std::string bytes = ReadFileBytes(work.Settings());
  for (const char* kept : {"; 手で書いたメモ", "[DEBUG]\r\nPrintLog=1", "[FUTURE]\r\nGraph=0", "MaxPoint=77",
                           "MaxPrint=12", "Memo=木の幅", "[利用者]\r\n名前=山田"})
    EXPECT_NE(bytes.find(Utf8ToSjis(kept)), std::string::npos) << kept;
  TIniFile ini(work.Settings());
  EXPECT_EQ(ini.ReadInteger("TreeView1", "Width", 0), 222);
  EXPECT_NE(ini.ReadString("TreeView1", "Font", "").find(SJ("ＭＳ ゴシック")), std::string::npos);
  EXPECT_EQ(ini.ReadString("StringGridEx1", "Font", "?"), "");  // the window's own font
  EXPECT_FALSE(ini.ReadString("FormMain", "Font", "").empty());
  EXPECT_EQ(ini.ReadString("CoolBar1", "Band0.Control", ""), "MenuBar1");
  EXPECT_EQ(ini.ReadString("CoolBar1", "Band1.Control", ""), "ToolBar1");

  // A second start shows the window as it was left.
  UserScript user;
  StartedProgram program({work.Base()});
  EXPECT_EQ(FormMain->TreeView1->Width(), 222);
  EXPECT_TRUE(FormMain->DiagramBox->Visible());
  EXPECT_TRUE(FormMain->Splitter2->Visible());
  EXPECT_EQ(FormMain->TreeView1->Font()->Name(), SJ("ＭＳ ゴシック"));
  EXPECT_EQ(FormMain->TreeView1->Font()->Size(), 11);
  EXPECT_EQ(FormMain->TreeView1->Color(), 0x102030);
  EXPECT_EQ(FormMain->StringGridEx1->FixedColor(), 0x405060);
  EXPECT_EQ(FormMain->StringGridEx1->StripeColor(), 0x708090);
  EXPECT_EQ(FormMain->DiagramBox->Color(), 0xA0B0C0);
  EXPECT_TRUE(Band(1)->Break());
  EXPECT_EQ(Band(1)->Width(), 333);
}

TEST_F(MainWindowTest, SettingsLimitsAndDamage) {
  WorkFolder work;
  work.WriteSettings(
      "[TreeView1]\nWidth=5000\nFont=128,0,X,0,0,0\n"  // a font of no size is not taken
      "[StringGridEx1]\nFont=128,0,Y,0,99999,0\n"
      "[FormMain]\nFont=1,0,\"ＭＳ Ｐゴシック\",0,11,1\nColor=255\n"
      "[CoolBar1]\nBand0.Control=ToolBar1\nBand1.Control=ToolBar1\nBand0.Width=-40\n");
  UserScript user;
  StartedProgram program({work.Base()});
  EXPECT_EQ(FormMain->TreeView1->Width(), FormMain->Width() - 32);
  EXPECT_NE(FormMain->TreeView1->Font()->Name(), "X");
  EXPECT_NE(FormMain->StringGridEx1->Font()->Name(), "Y");
  // The window's font and colour go to its bars.
  EXPECT_EQ(FormMain->Font()->Style(), fsBold);
  EXPECT_EQ(FormMain->StatusBar1->Font()->Style(), fsBold);
  EXPECT_EQ(FormMain->Color(), 255);
  EXPECT_EQ(FormMain->CoolBar1->Color(), 255);
  // Each claim takes the bar from the band that shows it, which gets the claimant's bar: the last
  // claim wins and every bar stays in a band.
  EXPECT_EQ(Band(0)->Control(), FormMain->MenuBar1);
  EXPECT_EQ(Band(1)->Control(), FormMain->ToolBar1);
  EXPECT_EQ(Band(0)->Width(), 0);
}

TEST_F(MainWindowTest, UnknownBandControlKeepsItsOwn) {
  WorkFolder work;
  work.WriteSettings("[CoolBar1]\nBand0.Control=Gone\nBand1.Control=MenuBar1\nBand1.Break=1\n");
  UserScript user;
  StartedProgram program({work.Base()});
  EXPECT_EQ(Band(0)->Control(), FormMain->ToolBar1);
  EXPECT_EQ(Band(1)->Control(), FormMain->MenuBar1);
  EXPECT_TRUE(Band(1)->Break());
}

TEST_F(MainWindowTest, ReadOnlySettingsFileIsMadeWritableAndWritten) {
  WorkFolder work;
  work.WriteSettings("[TreeView1]\nWidth=170\n");
  ASSERT_EQ(chmod(work.Settings().c_str(), 0444), 0);
  UserScript user;
  StartedProgram program({work.Base()});
  FormMain->TreeView1->SetWidth(190);
  FormMain->Close();
  EXPECT_EQ(TIniFile(work.Settings()).ReadInteger("TreeView1", "Width", 0), 190);
  EXPECT_EQ(FileGetAttr(work.Settings()), 0);
}

TEST_F(MainWindowTest, SettingsThatCannotBeWrittenAreReportedInTheLog) {
  TempDir dir;
  UserScript user;
  StartedProgram program({dir.File("gone/work")});  // in a folder that is not there
  FormLog->Show();
  FormMain->Close();
  EXPECT_FALSE(FormMain->Visible());
  const std::string log = SjisToUtf8(FormLog->RichEdit1->Lines()->Text());
  EXPECT_NE(log.find("設定ファイルを書き込めません"), std::string::npos) << log;
  EXPECT_NE(log.find("gone/work.ini"), std::string::npos) << log;
}
