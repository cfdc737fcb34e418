// The main window's record list grid: display rows with ditto marks, separator lines, the mouse
// (record drags, column widths), Ctrl+A and Ctrl+C, the record actions and the list's popup menu.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "folders/DbFolder.h"
#include "foundation/CapInfo.h"
#include "foundation/StringsList.h"
#include "platform/Clipbrd.h"
#include "tests/mainwin/MainWindowTestSupport.h"

namespace {

struct ColumnDef {
  const char* heading;
  bool shown = true;
  bool ditto = true;
  bool borders = true;
};

// Columns and rows as a listing leaves them (texts in UTF-8 here, Shift_JIS in the rows), linked
// both ways. Declared before the program so that it outlives the window that shows it.
struct Rows {
  Rows(std::vector<ColumnDef> defs, const std::vector<std::vector<const char*>>& texts) {
    for (const ColumnDef& c : defs) {
      auto* info = new CCapInfo;
      info->Caption = Utf8ToSjis(c.heading);
      info->Name = info->Caption;
      info->Shown = c.shown;
      info->Ditto = c.ditto;
      info->DittoMark = SJ("〃");
      info->Borders = c.borders;
      info->Width = 80;
      columns.Add(info);
    }
    for (const auto& r : texts) {
      auto* row = new TStringList;
      for (const char* t : r) row->Add(Utf8ToSjis(t));
      rows.Add(row);
    }
    columns.Rows = &rows;
    rows.ColumnList = &columns;
  }
  CCapInfo* Info(int i) { return columns.GetItem(i); }
  CCapInfoList columns;
  CStringsList rows;
};

std::vector<std::string> Utf8(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(SjisToUtf8(list[i]));
  return out;
}

int BreakColumn(const TStrings* row) { return static_cast<int>(reinterpret_cast<intptr_t>(row->Objects(0))); }

// The tree node of the table folder "顧客", whose folder the tests take as the listed one.
TTreeNode* CustomersNode() {
  for (TTreeNode* n = FormMain->TreeView1->Items()->GetFirstNode(); n; n = n->GetFirstChild())
    for (TTreeNode* s = n; s; s = s->GetNextSibling())
      if (s->Text() == SJ("顧客")) return s;
  return nullptr;
}

// Lays the rows out on the list grid as the listing does: one grid column per shown column with
// its descriptor in the heading row, every row's texts made with ditto marks and its index in
// the first cell.
void ShowOnGrid(Rows& r) {
  TStringGridEx* grid = FormMain->StringGridEx1;
  const TNotifyEvent topLeft = grid->OnTopLeftChanged;
  grid->OnTopLeftChanged = nullptr;
  grid->Tag = reinterpret_cast<intptr_t>(&r.columns);
  grid->SetRowCount(std::max(2, r.rows.Count() + 1));
  int shown = 0;
  for (int i = 0; i < r.columns.Count(); ++i) shown += r.Info(i)->Shown;
  grid->SetColCount(shown);
  grid->SetFixedCols(0);
  grid->SetFixedRows(1);
  for (int i = 0, c = 0; i < r.columns.Count(); ++i) {
    if (!r.Info(i)->Shown) continue;
    grid->SetObjects(c, 0, r.Info(i));
    grid->SetCells(c, 0, r.Info(i)->Caption);
    grid->SetColWidths(c++, r.Info(i)->Width);
  }
  for (int index = 0; index < r.rows.Count(); ++index) {
    TStringList display;
    FormMain->MakeDisplayRow(display, &r.columns, &r.rows, index);
    for (int i = 0, c = 0; i < r.columns.Count(); ++i)
      if (r.Info(i)->Shown) grid->SetCells(c++, index + 1, i < display.Count() ? display[i] : AnsiString());
    grid->SetObjects(0, index + 1, reinterpret_cast<void*>(intptr_t(index)));
    grid->SetRowHeights(index + 1, grid->DefaultRowHeight());
  }
  grid->OnTopLeftChanged = topLeft;
}

TPoint CellCentre(int col, int row) {
  const TRect r = FormMain->StringGridEx1->CellRect(col, row);
  return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
}

// The listed rows handed to the window as a listing leaves them, and the list view shown.
void ListOnWindow(Rows& r) {
  for (int i = 0; i < r.rows.Count(); ++i) FormMain->ListRows->Add(r.rows.Row(i));
  r.rows.Clear();  // the window's row list owns them now
  FormMain->ListRows->ColumnList = &r.columns;
  FormMain->ViewTab = 0;
  FormMain->ShowViewData();
}

std::vector<std::string> GridColumn(int col) {
  std::vector<std::string> out;
  for (int row = 1; row < FormMain->StringGridEx1->RowCount(); ++row)
    out.push_back(SjisToUtf8(FormMain->StringGridEx1->Cells(col, row)));
  return out;
}

void ClickHeading(int col, TShiftState shift) {
  const TPoint at = CellCentre(col, 0);
  FormMain->StringGridEx1->PressMouse(mbLeft, ssLeft | shift, at.x, at.y);
  FormMain->StringGridEx1->ReleaseMouse(mbLeft, shift, at.x, at.y);
}

class ListGridTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    work = std::make_unique<WorkFolder>();
    work->WriteSettings("");  // the folder file is read beside the settings file
    program = std::make_unique<StartedProgram>(std::vector<std::string>{work->Base()});
  }
  void TearDown() override {
    // The tests' columns go before the window does.
    FormMain->ClearGrid(FormMain->StringGridEx1);
    FormMain->ListRows->DeleteAll();
    FormMain->ListRows->ColumnList = nullptr;
    FormMain->SortColumns->TList::Clear();
    program.reset();
    work.reset();
    MainWindowTest::TearDown();
  }
  std::unique_ptr<WorkFolder> work;
  std::unique_ptr<StartedProgram> program;
};

}  // namespace

// Columns: A and B with ditto marks, a hidden one between them, C without. The break column names
// the grid column (hidden columns not counted) of the first ditto column that differs.
TEST_F(ListGridTest, DisplayRowMarksRepeatsUpToTheFirstDifference) {
  struct Case {
    const char* what;
    int view;
    bool dittoOff;
    std::vector<const char*> prev, row;
    std::vector<std::string> out;
    int breakColumn;
  } cases[] = {
      {"all repeat", 0, false, {"山田", "x", "営業", "1"}, {"山田", "x", "営業", "2"}, {"〃", "", "〃", "2"}, 32000},
      {"first differs", 0, false, {"山田", "x", "営業", "1"}, {"田中", "x", "営業", "1"}, {"田中", "", "営業", "1"}, 0},
      {"second differs", 0, false, {"山田", "x", "営業", "1"}, {"山田", "x", "総務", "1"}, {"〃", "", "総務", "1"}, 1},
      {"hidden differs", 0, false, {"山田", "x", "営業", "1"}, {"山田", "y", "営業", "1"}, {"〃", "", "〃", "1"}, 32000},
      {"no ditto column", 0, true, {"山田", "x", "営業", "1"}, {"山田", "x", "営業", "1"}, {"山田", "", "営業", "1"}, -1},
      {"summary blanks", 1, true, {"山田", "x", "営業", "1"}, {"山田", "x", "営業", "1"}, {"", "", "", ""}, 32000},
      {"summary to the change", 1, false, {"山田", "x", "営業", "1"}, {"山田", "x", "営業", "2"}, {"", "", "", "2"}, 2},
      {"short row", 0, false, {"山田", "x", "営業", "1"}, {"山田", "x"}, {"〃", ""}, 32000},
      {"short row above", 0, false, {"山田"}, {"山田", "x", "営業", "1"}, {"〃", "", "営業", "1"}, 1},
  };
  for (const Case& c : cases) {
    Rows r({{"A"}, {"H", false}, {"B"}, {"C", true, false}}, {c.prev, c.row});
    if (c.dittoOff) r.Info(0)->Ditto = r.Info(2)->Ditto = false;
    FormMain->ViewTab = c.view;
    TStringList out;
    EXPECT_EQ(FormMain->MakeDisplayRow(out, &r.columns, &r.rows, 1), static_cast<int>(c.out.size())) << c.what;
    EXPECT_EQ(Utf8(out), c.out) << c.what;
    EXPECT_EQ(BreakColumn(r.rows.Row(1)), c.breakColumn) << c.what;
  }
  FormMain->ViewTab = 0;
  Rows r({{"A"}, {"B"}}, {{"山田", "営業"}, {"山田", "営業"}});
  TStringList out;
  EXPECT_EQ(FormMain->MakeDisplayRow(out, &r.columns, &r.rows, 0), 2);
  EXPECT_EQ(Utf8(out), (std::vector<std::string>{"山田", "営業"}));
  EXPECT_EQ(BreakColumn(r.rows.Row(0)), 0);  // the first row is never marked
  for (int outside : {-1, 2}) EXPECT_EQ(FormMain->MakeDisplayRow(out, &r.columns, &r.rows, outside), -1);
}

TEST_F(ListGridTest, RecordActionsFollowTheListAndTheView) {
  Rows filled({{"A"}}, {{"山田"}});
  Rows empty({{"A"}}, {});
  struct Case {
    const char* what;
    Rows* shown;  // null: nothing shown
    bool listed;
    int view;
    bool edit, card, remove, csv, add;
  } cases[] = {
      {"nothing shown", nullptr, true, 0, false, false, false, false, false},
      {"nothing listed", &filled, false, 0, false, false, false, false, false},
      {"list view", &filled, true, 0, true, true, true, true, true},
      {"list view without rows", &empty, true, 0, false, false, true, true, true},
      {"summary view", &filled, true, 1, false, true, false, true, false},
      {"ratio view", &filled, true, 2, false, false, false, true, false},
  };
  TTreeNode* customers = CustomersNode();
  ASSERT_NE(customers, nullptr);
  for (const Case& c : cases) {
    if (c.shown)
      ShowOnGrid(*c.shown);
    else
      FormMain->ClearGrid(FormMain->StringGridEx1);
    FormMain->ListedNode = c.listed ? customers : nullptr;
    FormMain->ViewTab = c.view;
    FormMain->UpdateActions();
    EXPECT_EQ(FormMain->OpeEdit->Enabled(), c.edit) << c.what;
    EXPECT_EQ(FormMain->OpeCard->Enabled(), c.card) << c.what;
    EXPECT_EQ(FormMain->OpeDelete->Enabled(), c.remove) << c.what;
    EXPECT_EQ(FormMain->OpeCsv->Enabled(), c.csv) << c.what;
    EXPECT_EQ(FormMain->OpeAdd->Enabled(), c.add) << c.what;
  }
  FormMain->ViewTab = 0;

  // The folder command is offered by name when the folder runs it from the menu and records can
  // be edited.
  ShowOnGrid(filled);
  CRuleFolder* folder = static_cast<CDbFolder*>(customers->Data)->Folder;
  folder->CommandName = SJ("請求書");
  folder->Script = "x";
  for (int flags : {0x200, 0x100}) {
    folder->Flags = flags;
    FormMain->UpdateActions();
    EXPECT_EQ(FormMain->FolDoCmd->Enabled(), flags == 0x200);
    EXPECT_EQ(SjisToUtf8(FormMain->FolDoCmd->Caption()), flags == 0x200 ? "処理「請求書」の実行" : "処理の実行");
  }
  // The command would now run after the listings below.
  folder->Flags = FOLDER_FLAGS_TABLE;

  // Reading records from a file needs a selected folder other than the root; saving needs changes.
  for (TTreeNode* node : {customers, customers->Parent()}) {
    FormMain->TreeView1->SetSelected(node);
    FormMain->UpdateActions();
    EXPECT_EQ(FormMain->OpeCsvGet->Enabled(), node == customers);
  }
  EXPECT_FALSE(FormMain->FileSaveFol->Enabled());
  FormMain->TopFolder->AddModified(1);
  FormMain->UpdateActions();
  EXPECT_TRUE(FormMain->FileSaveFol->Enabled());
  FormMain->TopFolder->AddModified(-1);
  FormMain->ListedNode = nullptr;
}

// Ctrl+C copies the marked rows' shown columns, quoted as in a CSV file, one line each; the
// clipboard holds the Japanese text as the program holds it.
TEST_F(ListGridTest, CtrlCCopiesTheMarkedRows) {
  Rows r({{"名前"}, {"id", false}, {"部署"}, {"備考"}},
         {{"山田", "1", "営業", "a\tb"}, {"田中", "2", "総務", ""}, {"佐藤", "3"}, {"鈴木", "4", "営業", "済"}});
  ShowOnGrid(r);
  TStringGridEx* grid = FormMain->StringGridEx1;
  struct Case {
    const char* what;
    std::vector<int> marked;  // grid rows
    char separator;
    std::string text;
  } cases[] = {
      {"none", {}, '\t', ""},
      {"two rows", {1, 3}, '\t', "山田\t営業\t\"a\tb\"\r\n佐藤\t\t\r\n"},
      {"commas", {2, 4}, ',', "田中,総務,\r\n鈴木,営業,済\r\n"},
  };
  for (const Case& c : cases) {
    for (int row = 1; row < grid->RowCount(); ++row) grid->SetRowSelects(row, false);
    for (int row : c.marked) grid->SetRowSelects(row, true);
    FormMain->ClipSeparator = c.separator;
    Clipboard()->SetAsText("old");
    grid->PressKey('C', ssCtrl);
    EXPECT_EQ(SjisToUtf8(Clipboard()->AsText()), c.text) << c.what;
  }
  FormMain->ClipSeparator = '\t';
  // Ctrl+A marks every row, and a plain C copies nothing.
  grid->PressKey('A', ssCtrl);
  Clipboard()->SetAsText("old");
  grid->PressKey('C', 0);
  EXPECT_EQ(Clipboard()->AsText(), "old");
  grid->PressKey('C', ssCtrl);
  EXPECT_EQ(SjisToUtf8(Clipboard()->AsText()), "山田\t営業\t\"a\tb\"\r\n田中\t総務\t\r\n佐藤\t\t\r\n鈴木\t営業\t済\r\n");
}

// A line under a ditto column marks the last row before its value, or that of a ditto column to
// its left, changes; a column without ditto marks is lined under every row when it has borders;
// the last row is always lined.
TEST_F(ListGridTest, SeparatorLinesMarkWhereValuesChange) {
  Rows r({{"A"}, {"B"}, {"C", true, false}, {"D", true, false, false}},
         {{"a1", "b1", "c1", "d"}, {"a1", "b1", "c2", "d"}, {"a1", "b2", "c3", "d"}, {"a2", "b2", "c4", "d"}});
  ShowOnGrid(r);
  TStringGridEx* grid = FormMain->StringGridEx1;
  grid->SetBorderStyle(bsNone);  // the picture then starts with the cells
  auto lines = [&](int row, int above) {
    grid->Invalidate();
    const TBitmap image = grid->GrabImage();
    std::string out;
    for (int col = 0; col < 4; ++col) {
      const TRect cell = grid->CellRect(col, row);
      out += image.Pixel((cell.Left + cell.Right) / 2, cell.Bottom - 1 - above) == 0 ? "ABCD"[col] : '.';
    }
    return out;
  };
  const char* expected[] = {"..C.", ".BC.", "ABC.", "ABCD"};
  for (int row = 1; row <= 4; ++row) EXPECT_EQ(lines(row, 0), expected[row - 1]) << "row " << row;
  EXPECT_EQ(lines(1, 1), "....");

  // Every view but the list lines the columns without borders too.
  FormMain->ViewTab = 1;
  EXPECT_EQ(lines(1, 0), "..CD");
  FormMain->ViewTab = 0;

  // Under the frozen rows a line two pixels wide, in every column.
  grid->SetFixedRowsEx(1, 1, 3);
  EXPECT_EQ(lines(1, 0), "ABCD");
  EXPECT_EQ(lines(1, 1), "ABCD");
}

// A press on a marked row and a move of more than 7 pixels starts the record drag at once; a
// press on another row extends the selection instead.
TEST_F(ListGridTest, RecordDragStartsFromMarkedRowsPastSevenPixels) {
  Rows r({{"A"}}, {{"1"}, {"2"}, {"3"}});
  ShowOnGrid(r);
  FormMain->ListedNode = CustomersNode();
  TStringGridEx* grid = FormMain->StringGridEx1;
  struct Case {
    bool pressMarked;
    int dx, dy;
    bool drags;
  } cases[] = {{true, 4, 3, false}, {true, 4, 4, true}, {true, -8, 0, true}, {false, 20, 0, false}};
  for (const Case& c : cases) {
    grid->SetSelection(TGridRect{0, 2, 0, 2});
    const TPoint at = CellCentre(0, c.pressMarked ? 2 : 1);
    grid->PressMouse(mbLeft, ssLeft, at.x, at.y);
    grid->MoveMouse(ssLeft, at.x + c.dx, at.y + c.dy);
    EXPECT_EQ(grid->Dragging(), c.drags) << c.dx << "," << c.dy;
    grid->ReleaseMouse(mbLeft, 0, at.x + c.dx, at.y + c.dy);
    EXPECT_FALSE(grid->Dragging());
  }
  FormMain->ListedNode = nullptr;
}

// Widening a column by its heading's edge keeps the width in the column's descriptor and marks the
// folders changed.
TEST_F(ListGridTest, ResizedColumnIsKeptAndMarksTheFoldersChanged) {
  Rows r({{"A"}, {"B"}}, {{"1", "2"}});
  ShowOnGrid(r);
  FormMain->ListedNode = CustomersNode();
  TStringGridEx* grid = FormMain->StringGridEx1;
  ASSERT_EQ(FormMain->TopFolder->GetModified(), 0);
  const TRect heading = grid->CellRect(0, 0);
  const int y = (heading.Top + heading.Bottom) / 2;
  grid->PressMouse(mbLeft, ssLeft, heading.Right, y);
  grid->MoveMouse(ssLeft, heading.Right + 30, y);
  grid->ReleaseMouse(mbLeft, 0, heading.Right + 30, y);
  EXPECT_EQ(r.Info(0)->Width, 110);
  EXPECT_EQ(r.Info(1)->Width, 80);
  EXPECT_EQ(FormMain->TopFolder->GetModified(), 2);  // one for every shown column
  EXPECT_TRUE(FormMain->FileSaveFol->Enabled());
  EXPECT_EQ(FormMain->StringGridEx1->GetGridState(), TGridState::Normal);
  FormMain->TopFolder->AddModified(-2);
  FormMain->ListedNode = nullptr;
}

TEST_F(ListGridTest, PopupOffersFreezingWhereThePressWas) {
  Rows r({{"A"}, {"B"}}, {{"1", "2"}, {"3", "4"}, {"5", "6"}});
  ShowOnGrid(r);
  TStringGridEx* grid = FormMain->StringGridEx1;
  struct Case {
    const char* what;
    TPoint press;
    int frozenCols, frozenRows;
    const char *colCaption, *rowCaption;
    bool colEnabled, rowEnabled;
  } cases[] = {
      {"data cell", CellCentre(1, 2), 0, 0, "列固定", "行固定", true, true},
      {"heading", CellCentre(1, 0), 0, 0, "列固定", "行固定", true, false},
      {"outside", {500, 400}, 0, 0, "列固定", "行固定", false, false},
      {"frozen", {500, 400}, 1, 1, "列固定解除", "行固定解除", true, true},
  };
  for (const Case& c : cases) {
    grid->SetFixedColsEx(0, c.frozenCols, 0);
    grid->SetFixedRowsEx(1, c.frozenRows, 1);
    grid->PressMouse(mbRight, ssRight, c.press.x, c.press.y);
    grid->ReleaseMouse(mbRight, 0, c.press.x, c.press.y);  // the menu opens
    EXPECT_EQ(SjisToUtf8(FormMain->OpeFixCol->Caption()), c.colCaption) << c.what;
    EXPECT_EQ(SjisToUtf8(FormMain->OpeFixRow->Caption()), c.rowCaption) << c.what;
    EXPECT_EQ(FormMain->OpeFixCol->Enabled(), c.colEnabled) << c.what;
    EXPECT_EQ(FormMain->OpeFixRow->Enabled(), c.rowEnabled) << c.what;
  }
}

// The icon files beside the program are numbered from 00 and read up to the first missing number;
// a file that does not read is passed over.
TEST_F(ListGridTest, FolderIconsAreReadUpToTheFirstGap) {
  const std::string exe = ExecutablePath();
  const std::string icons = exe.substr(0, exe.rfind('/') + 1) + "Icons";
  ASSERT_FALSE(FileExists(icons)) << icons << " is the test's own";
  struct Case {
    std::vector<const char*> files;  // "bad" names a file that is no picture
    int loaded;
  } cases[] = {{{"00", "01", "03"}, 2}, {{"00", "01bad", "02"}, 2}, {{"01"}, 0}};
  for (const Case& c : cases) {
    std::filesystem::create_directory(icons);
    for (std::string name : c.files) {
      const bool bad = name.size() > 2;
      const std::string path = icons + "/" + name.substr(0, 2) + ".ico";
      if (bad) {
        WriteFileBytes(path, "no picture");
      } else {
        TBitmap picture(16, 16);
        ASSERT_TRUE(picture.SaveToFile(path + ".png"));
        std::filesystem::rename(path + ".png", path);
      }
    }
    TImageList images(nullptr);
    FormMain->LoadFolderIcons(&images);
    std::filesystem::remove_all(icons);
    EXPECT_EQ(images.Count(), c.loaded) << c.files.size() << " files";
  }
}

// Repeated values show ditto marks, except in the first visible row, which shows every value;
// scrolling back shows the marks again. Rows are filled as they come into view.
TEST_F(ListGridTest, ScrollingShowsTheTopRowInFull) {
  std::vector<std::vector<std::string>> texts;
  for (int i = 1; i <= 200; ++i) texts.push_back({i <= 100 ? "営業" : "総務", "顧客 " + std::to_string(i)});
  std::vector<std::vector<const char*>> rows;
  for (const auto& t : texts) rows.push_back({t[0].c_str(), t[1].c_str()});
  Rows r({{"部署"}, {"名前", true, false}}, rows);
  ListOnWindow(r);
  TStringGridEx* grid = FormMain->StringGridEx1;
  ASSERT_EQ(grid->RowCount(), 201);
  auto shown = [&](int row) { return SjisToUtf8(grid->Cells(0, row)) + " " + SjisToUtf8(grid->Cells(1, row)); };
  EXPECT_EQ(shown(1), "営業 顧客 1");
  EXPECT_EQ(shown(3), "〃 顧客 3");
  EXPECT_EQ(grid->Objects(0, 150), reinterpret_cast<void*>(intptr_t(-1)));  // not in view yet
  grid->SetTopRow(3);
  EXPECT_EQ(shown(3), "営業 顧客 3");
  EXPECT_EQ(shown(4), "〃 顧客 4");
  grid->SetTopRow(2);
  EXPECT_EQ(shown(2), "営業 顧客 2");
  EXPECT_EQ(shown(3), "〃 顧客 3");
  grid->SetTopRow(150);
  EXPECT_EQ(shown(150), "総務 顧客 150");
  EXPECT_EQ(shown(151), "〃 顧客 151");
  grid->SetTopRow(95);
  EXPECT_EQ(shown(150), "〃 顧客 150");
  EXPECT_EQ(shown(101), "総務 顧客 101");  // the first row of another value
  EXPECT_EQ(shown(100), "〃 顧客 100");
}

// A click on a heading sorts by that column alone, a Ctrl+click adds a key, a click on a key
// turns its direction round; the status bar names the keys in order.
TEST_F(ListGridTest, HeadingClicksSortTheList) {
  Rows r({{"名前", true, false}, {"部署", true, false}, {"金額", true, false}},
         {{"山田", "営業", "300"}, {"田中", "総務", "100"}, {"佐藤", "営業", "9"}, {"鈴木", "総務", "90"}});
  r.Info(2)->Type = 1;  // integer: 9 before 300
  ListOnWindow(r);
  FormMain->ListedNode = CustomersNode();
  struct Step {
    int col;
    TShiftState shift;
    const char* status;
    std::vector<std::string> names;
  } steps[] = {
      {2, 0, "ソート: 金額△", {"佐藤", "鈴木", "田中", "山田"}},
      {1, 0, "ソート: 部署△", {"佐藤", "山田", "鈴木", "田中"}},  // ties keep their order
      {2, ssCtrl, "ソート: 部署△  金額△", {"佐藤", "山田", "鈴木", "田中"}},
      {2, 0, "ソート: 部署△  金額▽", {"山田", "佐藤", "田中", "鈴木"}},
      {0, 0, "ソート: 名前△", {"佐藤", "山田", "田中", "鈴木"}},
      {2, 0, "ソート: 金額△", {"佐藤", "鈴木", "田中", "山田"}},  // a new key starts upwards
  };
  for (const Step& s : steps) {
    ClickHeading(s.col, s.shift);
    EXPECT_EQ(SjisToUtf8(FormMain->StatusBar1->Panels()->Items(2)->Text()), s.status);
    EXPECT_EQ(GridColumn(0), s.names) << s.status;
  }
  EXPECT_EQ(FormMain->SortColumns->Count(), 1);
  FormMain->ClearStatusColumns();
  EXPECT_EQ(FormMain->SortColumns->Count(), 0);
  EXPECT_EQ(FormMain->StatusBar1->Panels()->Items(2)->Text(), "");
  FormMain->ListedNode = nullptr;
}

// The road a user takes: the table folder listed, its rows shown with ditto marks as they come
// into view, sorted by a click on a heading and copied with Ctrl+C.
TEST_F(ListGridTest, ListedRecordsSortAndCopy) {
  work->Insert(SJ("顧客"), {{"name", SJ("山田")}, {"unit", SJ("営業")}, {"amount", "9"}});
  work->Insert(SJ("顧客"), {{"name", SJ("佐藤")}, {"unit", SJ("総務")}, {"amount", "1000"}});
  FormMain->SearchedCount = 0;
  FormMain->RefreshListView(CustomersNode(), false);
  TStringGridEx* grid = FormMain->StringGridEx1;
  ASSERT_EQ(grid->RowCount(), 4);
  int amount = -1, unit = -1;
  for (int c = 0; c < grid->ColCount(); ++c) {
    if (grid->Cells(c, 0) == "amount") amount = c;
    if (grid->Cells(c, 0) == "unit") unit = c;
  }
  ASSERT_GE(amount, 0);
  ASSERT_GE(unit, 0);
  ClickHeading(amount, 0);
  EXPECT_EQ(SjisToUtf8(FormMain->StatusBar1->Panels()->Items(2)->Text()), "ソート: amount△");
  EXPECT_EQ(GridColumn(amount), (std::vector<std::string>{"9", "120", "1000"}));
  EXPECT_EQ(GridColumn(unit), (std::vector<std::string>{"営業", "", "総務"}));  // a repeat shows its (empty) mark
  grid->PressKey('A', ssCtrl);
  grid->PressKey('C', ssCtrl);
  EXPECT_EQ(SjisToUtf8(Clipboard()->AsText()), "山田\t営業\t9\r\n山田\t営業\t120\r\n佐藤\t総務\t1000\r\n");
}

// In the summary view a heading click sorts by the clicked column within the group keys, which
// the status bar names too; the sort keys keep only what was clicked.
TEST_F(ListGridTest, SummaryViewSortsWithinItsGroupKeys) {
  for (const char* unit : {"営業", "営業", "営業", "総務", "経理", "経理"})
    work->Insert(SJ("顧客"), {{"name", SJ("顧客")}, {"unit", Utf8ToSjis(unit)}, {"amount", "1"}});
  TTreeNode* customers = CustomersNode();
  CCapInfoList* sum = static_cast<CDbFolder*>(customers->Data)->GetSumCapInfoList();
  CCapInfo* key = Column(SJ("顧客.unit"), true, SJ("部署"));
  key->GroupKey = true;
  sum->Add(key);
  sum->Add(Column(SJ("顧客.name"), true, SJ("件数")));
  FormMain->SearchedCount = 0;
  FormMain->RefreshListView(customers, false);
  FormMain->TabControl1->UserSelect(1);
  ASSERT_EQ(FormMain->StringGridEx1->Tag, reinterpret_cast<intptr_t>(FormMain->SumColumns));
  ClickHeading(1, 0);
  EXPECT_EQ(SjisToUtf8(FormMain->StatusBar1->Panels()->Items(2)->Text()), "ソート: 件数△  部署△");
  EXPECT_EQ(GridColumn(0), (std::vector<std::string>{"総務", "経理", "営業"}));
  EXPECT_EQ(GridColumn(1), (std::vector<std::string>{"1", "2", "4"}));
  ClickHeading(1, 0);
  EXPECT_EQ(SjisToUtf8(FormMain->StatusBar1->Panels()->Items(2)->Text()), "ソート: 件数▽  部署△");
  EXPECT_EQ(GridColumn(0), (std::vector<std::string>{"営業", "経理", "総務"}));
  ASSERT_EQ(FormMain->SortColumns->Count(), 1);
  EXPECT_EQ(FormMain->SortColumns->GetItem(0)->Caption, SJ("件数"));
  FormMain->TabControl1->UserSelect(0);
}
