// The CSV export of the list through its dialog: the bytes of the file and of the clipboard, the
// grid's column order, the separator kept for later copies, and the failures that must not pass
// for an export.
#include <unistd.h>

#include <filesystem>

#include "mainwin/CsvWrite.h"
#include "platform/Clipbrd.h"
#include "tests/mainwin/MainWindowTestSupport.h"

namespace {

std::string Fixture(const char* name) { return ReadFileBytes(std::string(std::getenv("CW_TEST_DATA")) + "/data/" + name); }

// A work folder with a table "品目" whose records hold the texts that need quoting, Shift_JIS
// characters with 0x5C and 0x7C as their second byte, and a line break.
class ExportFolder : public WorkFolder {
 public:
  ExportFolder() {
    AddTable(SJ("品目"), {"name", "note", "code"});
    Insert(SJ("品目"), {{"name", SJ("ソ表")}, {"note", "a,b"}, {"code", "x"}});
    Insert(SJ("品目"), {{"name", "say \"hi\""}, {"note", ""}, {"code", "tab\there"}});
    Insert(SJ("品目"), {{"name", "two\nlines"}, {"note", " lead"}, {"code", SJ("ポ") + "|"}});
    Insert(SJ("品目"), {{"name", "plain"}, {"note", SJ("日本")}, {"code", "1,000"}});
    EXPECT_TRUE(root.SaveFolderFile());
    WriteSettings("");  // the folder file is read beside the settings file
  }
};

// Plays the user of the export: fills the dialog as told and presses OK, and Cancel when the
// dialog stays open; notes the message boxes.
struct ExportUser {
  int destination = 0;  // 0 file, 1 clipboard
  AnsiString fileName;
  int separator = 0;  // 0 tab, 1 comma
  bool stayedOpen = false;
  std::vector<AnsiString> messages, captions;
  ModalHandlerScope scope{[this](TForm* form) {
    if (CloseAboutBox(form)) return;
    if (auto* dialog = dynamic_cast<TCsvWriteDlg*>(form)) {
      dialog->RadioGroup1->SetItemIndex(destination);
      dialog->Edit1->SetText(fileName);
      dialog->RadioGroup2->SetItemIndex(separator);
      PressButton(dialog, "OK");
      if (dialog->ModalResult() == mrNone) {
        stayedOpen = true;
        PressButton(dialog, SJ("キャンセル"));
      }
    } else if (auto* box = dynamic_cast<TCvMessageDlg*>(form)) {
      messages.push_back(box->Label1->Caption());
      captions.push_back(box->Caption());
      PressButton(box, SJ("ＯＫ"));
    } else {
      ADD_FAILURE() << "unexpected dialog " << Show(form->Caption());
    }
  }};
};

// The records listed as a sort might leave them: grid rows 3 and 4 stand for the fourth and the
// third record; rows 1 and 2 were not filled in yet. The row objects are set after any column
// move, as the list keeps them in the first column.
void ListSorted(bool moveCodeToFront) {
  ASSERT_EQ(ListAllRecords(TopLevelNode(SJ("品目"))), 4);
  TStringGridEx* grid = FormMain->StringGridEx1;
  if (moveCodeToFront) grid->MoveColumn(2, 0);
  const intptr_t objects[] = {-1, -1, 3, 2};
  for (int r = 1; r <= 4; ++r) grid->SetObjects(0, r, reinterpret_cast<void*>(objects[r - 1]));
  MarkRows({1, 2, 3, 4});
}

}  // namespace

TEST_F(MainWindowTest, ExportToFileFollowsTheGridsColumnOrder) {
  ExportFolder work;
  StartedProgram program({work.Base()});
  ListSorted(true);  // the heading "code" dragged to the front
  const std::string target = work.dir.File("list.csv");
  WriteFileBytes(target, std::string(200, 'o'));  // an older, longer export is replaced

  ExportUser user;
  user.fileName = work.dir.File("list.txt");
  user.separator = 1;
  EXPECT_TRUE(FormMain->ExportList());
  EXPECT_TRUE(user.messages.empty());
  EXPECT_EQ(ReadFileBytes(target), Fixture("export-moved.csv"));
  EXPECT_FALSE(FileExists(work.dir.File("list.txt")));
  // The separator chosen for the clipboard stays for the grid's copies, also after a file export.
  EXPECT_EQ(FormMain->ClipSeparator, ',');
}

TEST_F(MainWindowTest, ExportToClipboard) {
  ExportFolder work;
  StartedProgram program({work.Base()});
  ListSorted(false);
  {
    ExportUser user;
    user.destination = 1;
    EXPECT_TRUE(FormMain->ExportList());
    EXPECT_EQ(Clipboard()->AsText(), Fixture("export-clipboard.txt"));
    EXPECT_EQ(FormMain->ClipSeparator, '\t');
  }
  // No marked row: the heading alone, joined by the separator chosen.
  MarkRows({});
  ExportUser user;
  user.destination = 1;
  user.separator = 1;
  EXPECT_TRUE(FormMain->ExportList());
  EXPECT_EQ(Clipboard()->AsText(), "name,note,code\r\n");
}

TEST_F(MainWindowTest, ExportFailuresAreReportedAndLeaveNoFile) {
  ExportFolder work;
  StartedProgram program({work.Base()});
  ListSorted(false);
  // A disk that is full: the export file stands for a device that takes no bytes.
  ASSERT_EQ(::symlink("/dev/full", work.dir.File("full.csv").c_str()), 0);
  const struct {
    const char* name;
    AnsiString fileName;
    const char* message;
    const char* caption;
    bool stayedOpen;
  } cases[] = {
      {"no name", "", "ファイル名がありません。", "確認", true},
      {"full disk", work.dir.File("full.txt"), "に書き込めません", "エラー", false},
      {"no folder", work.dir.File("missing/list"), "が作成できません。", "エラー", false},
  };
  for (const auto& c : cases) {
    Clipboard()->SetAsText("before");
    ExportUser user;
    user.fileName = c.fileName;
    EXPECT_FALSE(FormMain->ExportList()) << c.name;
    EXPECT_EQ(user.stayedOpen, c.stayedOpen) << c.name;
    ASSERT_EQ(user.messages.size(), 1u) << c.name;
    EXPECT_NE(SjisToUtf8(user.messages[0]).find(c.message), std::string::npos)
        << c.name << ": " << Show(user.messages[0]);
    EXPECT_EQ(SjisToUtf8(user.captions[0]), c.caption) << c.name;
    EXPECT_EQ(Clipboard()->AsText(), "before") << c.name;
  }
  // The cut-short file is not left to pass for the export.
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(work.dir.File("full.csv"))));
}
