// A user's day with the main window, driven through its controls offscreen: the program starts
// on a folder file with a table folder over 3,000 records and a condition folder below it; the
// user opens the table folder, selects it, the condition folder, and both with Ctrl, reads the
// rows and the status bar, sorts by a heading, lists in chunks (stops after the second and
// continues from the menu), widens a column, and closes, saving the folders.
#include "folders/FlowBox.h"
#include "store/KorvaCore.h"
#include "tests/mainwin/MainWindowTestSupport.h"

namespace {

constexpr int kRecords = 3000;
const char* const kUnits[] = {"営業", "総務", "経理"};

// The work folder with records 2 .. kRecords added after 山田: "顧客 n", a unit in turn, amount n.
class BusyWorkFolder : public WorkFolder {
 public:
  BusyWorkFolder() {
    CKvRecord t;
    t.SetFileName(dir.File(SJ("顧客") + ".kvr"));
    EXPECT_GE(t.Open(), 0);
    TStringList names, values;
    for (const char* c : {"name", "unit", "amount"}) names.Add(c), values.Add(AnsiString());
    {
      CKorvaHold run(*t.File());
      for (int n = 2; n <= kRecords; ++n) {
        values.SetString(0, SJ("顧客 ") + IntToStr(n));
        values.SetString(1, Utf8ToSjis(kUnits[n % 3]));
        values.SetString(2, IntToStr(n));
        EXPECT_TRUE(t.InsertEx(names, values, nullptr, 0));
      }
    }
    t.Close();
    WriteSettings("");  // the folder file is read beside the settings file
  }
};

TPoint Centre(const TRect& r) { return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2}; }

void ClickNode(TTreeNode* node, TShiftState keys = 0) {
  const TPoint p = Centre(node->DisplayRect(false));
  FormMain->TreeView1->PressMouse(mbLeft, keys, p.x, p.y);
  FormMain->TreeView1->ReleaseMouse(mbLeft, keys, p.x, p.y);
}

void ClickHeading(int col) {
  TStringGridEx* grid = FormMain->StringGridEx1;
  const TPoint p = Centre(grid->CellRect(col, 0));
  grid->PressMouse(mbLeft, ssLeft, p.x, p.y);
  grid->ReleaseMouse(mbLeft, 0, p.x, p.y);
}

// What the grid shows: its row count less the heading, and the texts of its row r.
int GridRows() { return FormMain->StringGridEx1->RowCount() - 1; }
std::string GridRow(int r) {
  std::string line;
  for (int c = 0; c < FormMain->StringGridEx1->ColCount(); ++c)
    line += (c ? "|" : "") + SjisToUtf8(FormMain->StringGridEx1->Cells(c, r));
  return line;
}

std::string StatusText(int panel) { return SjisToUtf8(FormMain->StatusBar1->Panels()->Items(panel)->Text()); }

// "件数:n" of the listing's status text, with its two times.
::testing::AssertionResult CountIs(int n) {
  const std::string s = StatusText(1);
  const std::string head = "件数:" + std::to_string(n) + "  検索:";
  if (s.rfind(head, 0) == 0 && s.find("(ミリ秒)  表示:") != std::string::npos && s.size() > head.size() + 20)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "status: \"" << s << "\", wanted 件数:" << n;
}

}  // namespace

TEST_F(MainWindowTest, AUserListsSortsAndClosesSavingTheFolders) {
  BusyWorkFolder work;
  // Go on after the first chunk, stop after the second, go on in the continuation; save at close.
  UserScript user({"はい(&Y)", "いいえ(&N)", "はい(&Y)", "はい(&Y)"});
  StartedProgram program({work.Base()});
  TTreeNode* root = FormMain->TreeView1->Items()->GetFirstNode();
  ASSERT_NE(root, nullptr);
  TTreeNode* table = root->GetFirstChild();
  ASSERT_NE(table, nullptr);
  table->Expand(false);
  ASSERT_EQ(TreeText(FormMain->TreeView1), "Cindervault\n  顧客\n    営業\n");
  TTreeNode* sales = table->GetFirstChild();

  // The table folder: every record, in the order of the table.
  ClickNode(table);
  EXPECT_EQ(FormMain->ListedNode, table);
  EXPECT_TRUE(CountIs(kRecords));
  EXPECT_EQ(GridRows(), kRecords);
  EXPECT_EQ(GridRow(0), "name|unit|amount");
  EXPECT_EQ(GridRow(1), "山田|営業|120");
  EXPECT_EQ(GridRow(2), "顧客 2|経理|2");
  EXPECT_EQ(SjisToUtf8(FormMain->Caption()).find("顧客") != std::string::npos, true) << SjisToUtf8(FormMain->Caption());
  EXPECT_FALSE(FormMain->OpeContinue->Enabled());  // listed to its end: nothing to continue

  // The condition folder: the records of 営業, and the diagram shows its condition.
  ClickNode(sales);
  EXPECT_EQ(FormMain->ListedNode, sales);
  const int salesCount = 1 + (kRecords / 3);  // 山田 and every third record from 3
  EXPECT_TRUE(CountIs(salesCount));
  EXPECT_EQ(GridRows(), salesCount);
  EXPECT_EQ(GridRow(2), "顧客 3|営業|3");
  EXPECT_NE(SjisToUtf8(FormMain->DiagramBox->GetExpression()).find("営業"), std::string::npos);

  // Ctrl and the table folder: its other records join the shown ones, each record once.
  ClickNode(table, ssCtrl);
  EXPECT_EQ(FormMain->Tv1NodeList->Nodes->Count(), 2);
  EXPECT_TRUE(CountIs(kRecords));
  EXPECT_EQ(GridRows(), kRecords);
  FormMain->StringGridEx1->SetTopRow(salesCount);  // scrolled down: rows are filled as they show
  EXPECT_EQ(GridRow(salesCount), "顧客 3000|営業|3000");
  EXPECT_EQ(GridRow(salesCount + 1), "顧客 2|経理|2");
  FormMain->StringGridEx1->SetTopRow(1);

  // Sorting by the heading "amount": upwards, then downwards at a second click.
  ClickHeading(2);
  EXPECT_EQ(StatusText(2), "ソート: amount△");
  EXPECT_EQ(GridRow(1), "顧客 2|経理|2");
  ClickHeading(2);
  EXPECT_EQ(StatusText(2), "ソート: amount▽");
  EXPECT_EQ(GridRow(1), "顧客 3000|営業|3000");
  EXPECT_EQ(GridRow(2), "顧客 2999|経理|2999");
  // A fresh listing of the same columns keeps the order.
  ClickNode(sales);
  EXPECT_TRUE(CountIs(salesCount));
  EXPECT_EQ(GridRow(1), "顧客 3000|営業|3000");
  EXPECT_EQ(StatusText(2), "ソート: amount▽");

  // A listing too long for the first moment: with chunks of 1,000 (and no time on the window's
  // own thread) these 3,000 records list as a large table does with chunks of 50,000. The user
  // goes on after the first chunk and stops after the second.
  FormMain->InlinePhaseMs = 0;
  FormMain->ChunkSize = 1000;
  ClickNode(table);
  EXPECT_TRUE(CountIs(2000));
  EXPECT_EQ(GridRows(), 2000);
  EXPECT_EQ(GridRow(1), "顧客 2000|経理|2000");  // still sorted downwards by amount
  FormMain->StringGridEx1->SetTopRow(2000);
  EXPECT_EQ(GridRow(2000), "顧客 2|経理|2");
  ASSERT_TRUE(FormMain->OpeContinue->Enabled());
  // "続きを検索" lists the remaining records in place of the shown ones; the count goes on.
  ASSERT_TRUE(ChooseOperation("続きを検索"));
  EXPECT_TRUE(CountIs(kRecords));
  EXPECT_EQ(GridRows(), kRecords - 2000);
  EXPECT_EQ(GridRow(1), "顧客 3000|営業|3000");
  FormMain->StringGridEx1->SetTopRow(kRecords - 2000);
  EXPECT_EQ(GridRow(kRecords - 2000), "顧客 2001|営業|2001");
  FormMain->StringGridEx1->SetTopRow(1);
  EXPECT_FALSE(FormMain->OpeContinue->Enabled());  // the listing reached its end
  ASSERT_EQ(user.shown.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(SjisToUtf8(user.shown[i].caption), "継続の確認");
    EXPECT_EQ(SjisToUtf8(user.shown[i].text), "検索データが " + std::to_string(i == 1 ? 2000 : 1000) + " を越えました。続けますか？");
  }
  FormMain->InlinePhaseMs = 500;
  FormMain->ChunkSize = 50000;

  // Widening the column "name" by its heading's edge changes the folder; closing asks to save.
  TStringGridEx* grid = FormMain->StringGridEx1;
  const TRect heading = grid->CellRect(0, 0);
  const int y = (heading.Top + heading.Bottom) / 2;
  grid->PressMouse(mbLeft, ssLeft, heading.Right, y);
  grid->MoveMouse(ssLeft, heading.Right + 40, y);
  grid->ReleaseMouse(mbLeft, 0, heading.Right + 40, y);
  EXPECT_TRUE(FormMain->FileSaveFol->Enabled());
  FormMain->Close();
  EXPECT_FALSE(FormMain->Visible());
  ASSERT_EQ(user.shown.size(), 4u);
  EXPECT_EQ(SjisToUtf8(user.shown[3].text), "フォルダに変更があります。保存しますか？");
  EXPECT_TRUE(FileExists(work.Base() + "_1.fld"));  // the previous folder file, one generation down
  CTopRuleFolder saved;
  saved.ReadPath = work.FolderFile();
  ASSERT_TRUE(saved.LoadFolderFile());
  ASSERT_EQ(saved.Children.Count(), 1);
  CCapInfoList* columns = saved.Children.Get(0)->CapInfoList;
  ASSERT_NE(columns, nullptr);
  const int name = columns->IndexOfCaption("name");
  ASSERT_GE(name, 0);
  EXPECT_GT(columns->GetItem(name)->Width, 64);
}
