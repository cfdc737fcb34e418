#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/IniFiles.h"
#include "tests/support/TestSupport.h"

namespace {

void Spit(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

}  // namespace

TEST(IniFile, ReadsValuesAsTheSettingsKeepThem) {
  TIniFile ini("/nonexistent/settings.ini");
  ini.SetBytes(
      "[TreeView1]\r\n"
      "Width = 240 \r\n"
      "Color=-2147483643\r\n"
      "Font=128,-2147483640,\"" + SJ("ＭＳ Ｐゴシック") + "\",0,12,0\r\n"
      "[scrollbox1fb]\n"
      "Visible=0\n"
      "Hex=0x1F\n"
      "Bad=12a\n"
      "[DEBUG]\r"
      "PrintLog=2\r");
  struct Case {
    const char* section;
    const char* key;
    int def;
    int want;
  };
  for (const Case& c : {Case{"TreeView1", "Width", 0, 240}, Case{"treeview1", "WIDTH", 0, 240},
                        Case{"TreeView1", "Color", 0, -2147483643}, Case{"ScrollBox1FB", "Hex", 0, 31},
                        Case{"ScrollBox1FB", "Bad", 7, 7}, Case{"ScrollBox1FB", "Missing", 5, 5},
                        Case{"Nowhere", "Width", -1, -1}})
    EXPECT_EQ(ini.ReadInteger(c.section, c.key, c.def), c.want) << c.section << "." << c.key;
  EXPECT_FALSE(ini.ReadBool("ScrollBox1FB", "Visible", true));
  EXPECT_TRUE(ini.ReadBool("DEBUG", "PrintLog", false));
  EXPECT_TRUE(ini.ReadBool("DEBUG", "Missing", true));
  EXPECT_EQ(ini.ReadString("TreeView1", "Font", ""), "128,-2147483640,\"" + SJ("ＭＳ Ｐゴシック") + "\",0,12,0");
  EXPECT_TRUE(ini.SectionExists("debug"));
  EXPECT_FALSE(ini.ValueExists("DEBUG", "Graph"));
}

TEST(IniFile, WritesKeepWhatTheProgramDoesNotKnowInItsPlace) {
  TempDir dir;
  const std::string path = dir.File("work.ini");
  Spit(path,
       "; written by hand\r\n"
       "[TreeView1]\r\n"
       "Width=200\r\n"
       "Mine=" + SJ("ソ表") + "\r\n"
       "\r\n"
       "[FUTURE]\r\n"
       "Graph=0\r\n");
  TIniFile ini(path);
  EXPECT_FALSE(ini.Modified());
  ini.WriteInteger("TreeView1", "Width", 180);
  ini.WriteString("treeview1", "Font", "");
  ini.WriteBool("ScrollBox1FB", "Visible", true);
  ini.WriteString("CoolBar1", "Band0.Control", "MenuBar1\r\nx");  // one line only
  ini.WriteString("CoolBar1", "bad=key", "1");                    // would read back as another key
  EXPECT_TRUE(ini.Modified());
  ASSERT_TRUE(ini.UpdateFile()) << Show(ini.ErrorText());
  EXPECT_FALSE(ini.Modified());
  EXPECT_EQ(ReadFileBytes(path),
            "; written by hand\r\n"
            "[TreeView1]\r\n"
            "Width=180\r\n"
            "Mine=" + SJ("ソ表") + "\r\n"
            "Font=\r\n"
            "\r\n"
            "[FUTURE]\r\n"
            "Graph=0\r\n"
            "[ScrollBox1FB]\r\n"
            "Visible=1\r\n"
            "[CoolBar1]\r\n"
            "Band0.Control=MenuBar1  x\r\n");
  TIniFile again(path);
  EXPECT_EQ(again.ReadString("TreeView1", "Mine", ""), SJ("ソ表"));
  EXPECT_EQ(again.ReadInteger("FUTURE", "Graph", 1), 0);
}

TEST(IniFile, AFailedWriteIsReportedAndLeavesTheOldFileWhole) {
  TempDir dir;
  // A directory that is not there: the new file cannot be made.
  TIniFile lost(dir.File("missing/work.ini"));
  lost.WriteInteger("TreeView1", "Width", 1);
  EXPECT_FALSE(lost.UpdateFile());
  EXPECT_NE(lost.ErrorText().find("missing/work.ini"), std::string::npos);

  // A file that cannot be read is not overwritten by what little was read of it.
  std::filesystem::create_directory(dir.File("busy.ini"));
  TIniFile unreadable(dir.File("busy.ini"));
  unreadable.WriteInteger("TreeView1", "Width", 1);
  EXPECT_FALSE(unreadable.UpdateFile());
  EXPECT_FALSE(unreadable.ErrorText().empty());
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("busy.ini")));

  // The file is replaced whole, keeping its permissions, and through a link the linked file is.
  const std::string path = dir.File("real.ini");
  Spit(path, "[a]\r\nx=1\r\n");
  chmod(path.c_str(), 0640);
  std::filesystem::create_symlink(path, dir.File("link.ini"));
  TIniFile viaLink(dir.File("link.ini"));
  viaLink.WriteInteger("a", "x", 2);
  ASSERT_TRUE(viaLink.UpdateFile()) << Show(viaLink.ErrorText());
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.ini")));
  EXPECT_EQ(ReadFileBytes(path), "[a]\r\nx=2\r\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_NE(e.path().filename().string()[0], '.') << "a temporary file was left behind";
}
