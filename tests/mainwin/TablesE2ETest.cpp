// The whole road of a newcomer through the real window, from a folder file that does not exist
// yet: a table made with the table dialog, an access log imported into it through the import
// dialog, the table listed, an enumeration folder over its status made, expanded and one value
// listed, the folders saved, and everything found again after a second start.
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "bench/GeneratedLogs.h"
#include "folders/EditTableUnit.h"
#include "folders/FolExpandUnit.h"
#include "folders/ReadCsvUnit.h"
#include "folders/RuleFolForm.h"
#include "mainwin/GetListUnit.h"
#include "query/CsvFile.h"
#include "query/ReadingDlgUnit.h"
#include "tests/mainwin/MainWindowTestSupport.h"

namespace {

constexpr int kLines = 300;

// Plays the user of the road: each dialog of the road gets its own part (pressing its buttons
// itself), progress and expansion dialogs run to their ends, message boxes are noted and answered
// in turn (OK once the answers are used up), the about box closes.
class RoadUser {
 public:
  std::function<void(TEditTableDlg*)> tableDialog;
  std::function<void(TReadCsvDlg*)> importDialog;
  std::function<void(TFolForm*)> folderDialog;
  std::vector<const char*> answers;
  std::vector<std::string> boxes;  // "caption: text", UTF-8

 private:
  void Play(TForm* form) {
    if (AnswerMessages(form, boxes, answers, next_)) return;
    if (auto* d = dynamic_cast<TEditTableDlg*>(form); d && tableDialog) {
      tableDialog(d);
    } else if (auto* d = dynamic_cast<TReadCsvDlg*>(form); d && importDialog) {
      importDialog(d);
    } else if (auto* d = dynamic_cast<TFolForm*>(form); d && folderDialog) {
      folderDialog(d);
    } else if (dynamic_cast<TReadingDlg*>(form) || dynamic_cast<TFolExpandDlg*>(form) ||
               dynamic_cast<TGetListDlg*>(form)) {
      EXPECT_TRUE(PumpUntil([form] { return form->ModalResult() != mrNone; }, 60000)) << Show(form->Caption());
    } else {
      ADD_FAILURE() << "unexpected dialog \"" << Show(form->Caption()) << "\"";
      form->SetModalResult(mrCancel);
    }
  }
  size_t next_ = 0;
  ModalHandlerScope scope_{[this](TForm* form) { Play(form); }};
};

// The access log's lines, each as its client, its status and its agent.
struct LogLine {
  std::string client, status, agent;
};
std::vector<LogLine> ReadLog(const std::string& log) {
  std::vector<LogLine> lines;
  std::FILE* f = std::fopen(log.c_str(), "rb");
  char buffer[1024];
  while (f && std::fgets(buffer, sizeof buffer, f)) {
    // The status follows the quoted request; the agent is the last quoted field.
    const std::string s = buffer;
    const size_t close = s.find('"', s.find('"') + 1);
    const size_t agentEnd = s.rfind('"'), agentStart = s.rfind('"', agentEnd - 1) + 1;
    lines.push_back({s.substr(0, s.find(' ')), s.substr(close + 2, s.find(' ', close + 2) - close - 2),
                     s.substr(agentStart, agentEnd - agentStart)});
  }
  if (f) std::fclose(f);
  return lines;
}

// A cell of a listed row by the column's name in the table.
std::string ListedCell(int row, const std::string& column) {
  CCapInfoList* columns = FormMain->ListRows->ColumnList;
  for (int k = 0; columns && k < columns->Count(); ++k)
    if (columns->GetItem(k)->Name == "access." + column) return FormMain->ListRows->Row(row)->Strings(k);
  ADD_FAILURE() << "no listed column " << column;
  return "";
}

}  // namespace

TEST_F(MainWindowTest, NewTableImportedListedEnumeratedSavedAndFoundAgain) {
  TempDir dir;
  const std::string log = dir.File("access.log");
  {
    std::FILE* f = std::fopen(log.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    WriteAccessLog(f, kLines);
    ASSERT_EQ(std::fclose(f), 0);
  }
  const std::vector<LogLine> lines = ReadLog(log);
  ASSERT_EQ(lines.size(), size_t(kLines));
  std::map<std::string, int> statuses;
  for (const LogLine& line : lines) ++statuses[line.status];
  ASSERT_GT(statuses.size(), 2u);
  const auto& [someStatus, someCount] = *std::next(statuses.begin());

  RoadUser user;
  const auto columns = AccessLogColumns();
  // The table dialog: the table's name, its file and the access log's columns, status and size
  // as integers.
  user.tableDialog = [&](TEditTableDlg* d) {
    d->Edit1->SetText("access");
    d->Edit2->SetText(dir.File("access.kvr"));
    for (size_t k = 0; k < columns.size(); ++k) {
      d->ColNameEdit->SetText(columns[k].first);
      d->RadioGroup1->SetItemIndex(AccessLogIntegerColumn(k) ? 2 : 0);
      d->ColAddBtn->Click();
    }
    d->OKBtn->Click();
    EXPECT_EQ(d->ModalResult(), mrOk);
  };
  // The import dialog: the access-log format, the file typed and previewed, the four empty
  // headings of the log's always empty fields 1-4 put after the first, "開始".
  user.importDialog = [&](TReadCsvDlg* d) {
    d->ComboBox2->UserSelect(CCsvFile::kAccessLog);
    d->Edit3->SetText(log);
    d->Edit3->TypeChar('\r');
    ASSERT_EQ(d->StringGrid1->ColCount(), int(columns.size()) + 4);
    for (int k = 0; k < 4; ++k) d->StringGrid1->MoveColumn(int(columns.size()) + k, 1);
    EXPECT_TRUE(PressButton(d, SJ("開始")));
  };
  // The folder dialog of a new enumeration: its name and the status column.
  user.folderDialog = [&](TFolForm* d) {
    d->Edit1->SetText(SJ("状態"));
    const int status = d->ComboBox1->Items()->IndexOf("status");
    ASSERT_GE(status, 0);
    d->ComboBox1->UserSelect(status);
    d->Button1->Click();
  };
  user.answers = {"ＯＫ", "はい(&Y)"};  // the import's result, the save question
  std::string shownTree;  // with the enumeration expanded
  {
    StartedProgram program({dir.File("work")});
    EXPECT_EQ(TreeText(FormMain->TreeView1), "Cindervault\n");

    RightClick(NodeAt(""));
    ASSERT_TRUE(ClickTreePopupItem(SJ("表作成")));
    EXPECT_EQ(TreeText(FormMain->TreeView1), "Cindervault\n  access\n");
    EXPECT_TRUE(FormMain->FileSaveFol->Enabled());

    TTreeNode* table = NodeAt("access");
    Click(table);
    ASSERT_TRUE(FormMain->OpeCsvGet->Execute());
    EXPECT_EQ(user.boxes, (std::vector<std::string>{Format("読込成功: 読込成功 %d 件、エラー %d 件", kLines, 0)}));
    // The selected table is listed again with what came.
    EXPECT_EQ(StatusCount(), kLines);
    table = NodeAt("access");
    // Each field in its column, the log's four empty fields passed over.
    ASSERT_GT(FormMain->ListRows->Count(), 0);
    EXPECT_EQ(ListedCell(0, "client"), lines[0].client);
    EXPECT_EQ(ListedCell(0, "status"), lines[0].status);
    EXPECT_EQ(ListedCell(0, "agent"), lines[0].agent);

    RightClick(table);
    ASSERT_TRUE(FormMain->FolCreate3->Execute());
    table = NodeAt("access");
    table->Expand(false);
    std::string values;
    for (const auto& [status, count] : statuses) values += (values.empty() ? "" : " ") + status;
    EXPECT_EQ(ChildTexts(table), values);
    TTreeNode* value = NodeAt("access/" + someStatus);
    ASSERT_NE(value, nullptr);
    Click(value);
    EXPECT_EQ(StatusCount(), someCount) << someStatus;
    for (int r = 0; r < FormMain->ListRows->Count(); ++r) EXPECT_EQ(ListedCell(r, "status"), someStatus) << r;
    shownTree = TreeText(FormMain->TreeView1);

    FormMain->FileSaveFol->Execute();
    EXPECT_FALSE(FormMain->FileSaveFol->Enabled());
    ASSERT_EQ(user.boxes.size(), 2u);
    EXPECT_EQ(user.boxes[1], "保存の確認: フォルダに変更があります。保存しますか？");
    FormMain->Close();  // writes the settings that name the folder file for the next start
  }
  user.boxes.clear();
  StartedProgram again({dir.File("work")});
  TTreeNode* table = NodeAt("access");
  ASSERT_NE(table, nullptr);
  Click(table);
  EXPECT_EQ(StatusCount(), kLines);
  table->Expand(false);
  EXPECT_EQ(TreeText(FormMain->TreeView1), shownTree);
  TTreeNode* value = NodeAt("access/" + someStatus);
  ASSERT_NE(value, nullptr);
  Click(value);
  EXPECT_EQ(StatusCount(), someCount) << someStatus;
  EXPECT_TRUE(user.boxes.empty()) << user.boxes[0];
}
