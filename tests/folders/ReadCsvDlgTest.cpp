// The CSV import dialog and the import into a table folder, played through the modal handler: the
// user fills the dialog, the progress dialog closes by itself, and the message boxes are read.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "folders/ReadCsvUnit.h"
#include "foundation/CvMessageUnit.h"
#include "query/ReadingDlgUnit.h"
#include "store/Kvobj.h"
#include "tests/folders/FolderTestSupport.h"

namespace {

// A file of the query tests' data (tests/query/data).
std::string QueryData(const std::string& name) {
  const char* dir = std::getenv("CW_TEST_DATA");
  return std::string(dir ? dir : "tests/folders") + "/../query/data/" + name;
}

struct Box {
  AnsiString caption, text;
  bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Box& b) { return os << Show(b.caption) << ": " << Show(b.text); }

Box Result(int stored, int failed) {
  return {SJ("読込成功"), Format(SJ("読込成功 %d 件、エラー %d 件").c_str(), stored, failed)};
}

// Plays the user of an import: fill sets up the import dialog and says whether to press "開始"
// (else "キャンセル"); the progress dialog is watched until it closes itself; every message box
// is kept and answered with OK.
struct ImportUser {
  std::function<bool(TReadCsvDlg*)> fill;
  std::vector<Box> boxes;
  int dialogs = 0;
  ModalHandlerScope scope{[this](TForm* f) { Handle(f); }};

  void Handle(TForm* f) {
    if (auto* box = dynamic_cast<TCvMessageDlg*>(f)) {
      boxes.push_back({box->Caption(), box->Label1->Caption()});
      PressButton(f, SJ("ＯＫ"));
      return;
    }
    if (auto* reading = dynamic_cast<TReadingDlg*>(f)) {
      EXPECT_TRUE(PumpUntil([reading] { return reading->ModalResult() != mrNone; }, 120000));
      return;
    }
    auto* dialog = dynamic_cast<TReadCsvDlg*>(f);
    ASSERT_NE(dialog, nullptr);
    ++dialogs;
    const bool start = fill ? fill(dialog) : true;
    EXPECT_TRUE(PressButton(f, start ? SJ("開始") : SJ("キャンセル")));
  }
};

// Types the file name and presses Enter, as a user loads the preview.
void LoadFile(TReadCsvDlg* d, const std::string& path) {
  d->Edit3->SetText(path);
  d->Edit3->TypeChar('\r');
}

// A user who loads the file and starts at once.
std::function<bool(TReadCsvDlg*)> LoadAndStart(const std::string& path) {
  return [path](TReadCsvDlg* d) {
    LoadFile(d, path);
    return true;
  };
}

std::vector<std::string> Headings(TReadCsvDlg* d) {
  std::vector<std::string> out;
  for (int c = 0; c < d->StringGrid1->ColCount(); ++c) out.push_back(d->StringGrid1->Cells(c, 0));
  return out;
}

std::vector<std::string> GridRow(TReadCsvDlg* d, int row) {
  std::vector<std::string> out;
  for (int c = 0; c < d->StringGrid1->ColCount(); ++c) out.push_back(d->StringGrid1->Cells(c, row));
  return out;
}

std::vector<std::pair<std::string, intptr_t>> MapOf(TReadCsvDlg* d) {
  std::vector<std::pair<std::string, intptr_t>> out;
  TStrings* map = d->GetColumnMap();
  for (int k = 0; k < map->Count(); ++k) out.push_back({(*map)[k], reinterpret_cast<intptr_t>(map->Objects(k))});
  return out;
}

// Drags the heading of grid column from and drops it over column to.
void DragHeading(TStringGrid* grid, int from, int to) {
  const TRect a = grid->CellRect(from, 0), b = grid->CellRect(to, 0);
  ASSERT_LT(a.Left, a.Right);
  ASSERT_LT(b.Left, b.Right);
  const int y = (a.Top + a.Bottom) / 2;
  grid->PressMouse(mbLeft, 0, (a.Left + a.Right) / 2, y);
  grid->MoveMouse(ssLeft, (b.Left + b.Right) / 2, y);
  grid->ReleaseMouse(mbLeft, 0, (b.Left + b.Right) / 2, y);
}

// A right click on a cell of the preview, then a click on the popup item of that caption.
void PopupCommand(TReadCsvDlg* d, int col, int row, const AnsiString& caption) {
  const TRect r = d->StringGrid1->CellRect(col, row);
  ASSERT_LT(r.Left, r.Right);
  d->StringGrid1->PressMouse(mbRight, 0, r.Left + 3, r.Top + 3);
  d->StringGrid1->ReleaseMouse(mbRight, 0, r.Left + 3, r.Top + 3);
  TMenuItem* items = d->PopupMenu1->Items();
  for (int i = 0; i < items->Count(); ++i)
    if (items->Items(i)->Caption() == caption) return items->Items(i)->Click();
  ADD_FAILURE() << "no item " << Show(caption);
}

// Table t (a, b, c) under the root, with a display column of table u as well, and its node.
struct ImportTree {
  ImportTree() {
    tree.AddTable("u", {"name"});
    t = tree.AddTable("t", {"a", "b", "c"});
    t->CapInfoList->Add(Column("u.name"));
    node = NodeFor(t, nullptr);
  }
  ~ImportTree() { delete node; }
  std::string File(const std::string& name) const { return tree.dir.File(name); }
  // Every record of t as "a|b|c", in id order.
  std::vector<std::string> Rows() {
    CDbHandle* handle = t->GetDbHandle();
    std::vector<std::string> rows;
    if (!handle->ListStart(TStringList(), "t.a,t.b,t.c")) return {"ERROR"};
    TStringList row;
    while (handle->ListNext(row)) rows.push_back(Joined(row));
    return rows;
  }
  FolderTree tree;
  CRuleFolderTbl* t;
  CDbFolder* node;
};

// n records "k1,v1,w1" ... of three fields.
std::string Numbered(int n) {
  std::string text;
  for (int i = 1; i <= n; ++i) text += Format("k%d,v%d,w%d\n", i, i, i);
  return text;
}

}  // namespace

// What the dialog shows when it opens for a table folder, and that cancelling changes nothing.
TEST(ReadCsvDlg, OpensWithTheTablesColumnsAndTheFoldersSettings) {
  ImportTree f;
  f.t->CapInfoList->GetItem(f.t->CapInfoList->IndexOfName("t.b"))->Width = 90;
  f.t->CsvDir = f.tree.dir.Path();
  f.t->CsvFilterIndex = 2;
  ImportUser user;
  user.fill = [&](TReadCsvDlg* d) {
    EXPECT_EQ(d->Caption(), SJ("CSV 取込"));
    EXPECT_EQ(d->Width(), 620);
    EXPECT_EQ(d->Height(), 300);
    EXPECT_EQ(d->Panel1->Height(), 89);
    EXPECT_EQ(d->TableName, "t");
    EXPECT_EQ(d->SettingsFolder, f.t);
    // The record id and the column of table u are no headings.
    EXPECT_EQ(Headings(d), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(d->StringGrid1->Objects(1, 0), f.t->CapInfoList->GetItem(f.t->CapInfoList->IndexOfName("t.b")));
    EXPECT_EQ(d->StringGrid1->ColWidths(1), 90);
    EXPECT_EQ(d->StringGrid1->FixedRows(), 1);
    EXPECT_EQ(d->StringGrid1->FixedCols(), 0);
    EXPECT_EQ(d->StringGrid1->RowCount(), 2);
    EXPECT_EQ(d->Edit1->Text(), "1");
    EXPECT_EQ(d->Edit2->Text(), "-1");
    EXPECT_EQ(d->GetSkipCount(), 0);
    EXPECT_EQ(d->GetRowLimit(), -1);
    EXPECT_EQ(d->ComboBox2->ItemIndex(), 2);
    EXPECT_EQ(d->ComboBox2->Items()->Count(), 3);
    EXPECT_EQ(d->OpenDialog1->FilterIndex, 2);
    EXPECT_EQ(d->OpenDialog1->InitialDir, f.tree.dir.Path());
    EXPECT_TRUE(d->ComboBox2->Visible());
    for (TControl* hidden : std::initializer_list<TControl*>{d->ComboBox1, d->Edit4, d->Edit5, d->UpDown3})
      EXPECT_FALSE(hidden->Visible());
    EXPECT_EQ(d->Edit4->Text(), "\"\"''");
    return false;
  };
  int count = -1;
  EXPECT_TRUE(f.node->ImportFile(&count, ""));
  EXPECT_EQ(user.dialogs, 1);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(user.boxes.empty());
  EXPECT_TRUE(f.Rows().empty());
  EXPECT_EQ(f.t->CsvFilterIndex, 2);
  EXPECT_EQ(f.t->CsvDir, f.tree.dir.Path());
}

// Dragging a heading assigns its table column to another file column and leaves the data where
// they are; a skipped column loses its heading to a new column without data; the map follows
// the headings from left to right.
TEST(ReadCsvDlg, ColumnMapFollowsDraggedAndSkippedHeadings) {
  ImportTree f;
  WriteFileBytes(f.File("in.csv"), "f0,f1,f2,f3\ng0,g1,g2,g3\n");
  ImportUser user;
  user.fill = [&](TReadCsvDlg* d) {
    LoadFile(d, f.File("in.csv"));
    EXPECT_EQ(d->StringGrid1->RowCount(), 3);
    EXPECT_EQ(Headings(d), (std::vector<std::string>{"a", "b", "c", ""}));
    DragHeading(d->StringGrid1, 0, 2);
    EXPECT_EQ(Headings(d), (std::vector<std::string>{"b", "c", "a", ""}));
    EXPECT_EQ(GridRow(d, 1), (std::vector<std::string>{"f0", "f1", "f2", "f3"}));
    EXPECT_EQ(GridRow(d, 2), (std::vector<std::string>{"g0", "g1", "g2", "g3"}));
    DragHeading(d->StringGrid1, 3, 0);  // an empty heading to the front
    EXPECT_EQ(Headings(d), (std::vector<std::string>{"", "b", "c", "a"}));
    EXPECT_EQ(GridRow(d, 1), (std::vector<std::string>{"f0", "f1", "f2", "f3"}));

    // The popup of a heading offers the skip only, and selects the column's data.
    PopupCommand(d, 2, 0, SJ("読み飛ばし"));
    EXPECT_TRUE(d->SkipCol->Enabled());
    EXPECT_FALSE(d->StartRow->Enabled());
    EXPECT_EQ(d->StringGrid1->Selection(), (TGridRect{2, 1, 2, 2}));
    EXPECT_EQ(Headings(d), (std::vector<std::string>{"", "b", "", "a", "c"}));
    EXPECT_EQ(GridRow(d, 1), (std::vector<std::string>{"f0", "f1", "f2", "f3", ""}));
    // Skipping a column without a heading adds nothing.
    PopupCommand(d, 0, 0, SJ("読み飛ばし"));
    EXPECT_EQ(d->StringGrid1->ColCount(), 5);
    EXPECT_EQ(MapOf(d), (std::vector<std::pair<std::string, intptr_t>>{{"b", 1}, {"a", 3}, {"c", 4}}));
    return true;
  };
  int count = -1;
  EXPECT_TRUE(f.node->ImportFile(&count, ""));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(user.boxes, (std::vector<Box>{Result(2, 0)}));
  EXPECT_EQ(f.Rows(), (std::vector<std::string>{"f3|f1|", "g3|g1|"}));
}

// The first record and the number of records, typed, stepped or taken from the preview.
TEST(ReadCsvDlg, StartRowAndRowLimit) {
  const struct {
    const char* how;
    std::function<void(TReadCsvDlg*)> set;
    int first, last;  // records imported, 1-based; last < first: none
  } cases[] = {
      {"defaults: every record", [](TReadCsvDlg*) {}, 1, 25},
      {"start row 3 skips two", [](TReadCsvDlg* d) { d->Edit1->SetText("3"); }, 3, 25},
      {"row count 0 imports nothing", [](TReadCsvDlg* d) { d->Edit2->SetText("0"); }, 1, 0},
      {"start row 11, five rows",
       [](TReadCsvDlg* d) {
         d->Edit1->SetText("11");
         d->Edit2->SetText("5");
       },
       11, 15},
      {"stepped by the arrows",
       [](TReadCsvDlg* d) {
         d->UpDown1->Step(btNext);
         d->UpDown2->Step(btNext);
         d->UpDown2->Step(btNext);
       },
       2, 2},
      {"start row from the popup of a data row",
       [](TReadCsvDlg* d) {
         PopupCommand(d, 1, 4, SJ("開始行"));
         EXPECT_FALSE(d->SkipCol->Enabled());
         EXPECT_TRUE(d->StartRow->Enabled());
         EXPECT_EQ(d->StringGrid1->Selection(), (TGridRect{1, 4, 1, 4}));
       },
       4, 25},
  };
  for (const auto& c : cases) {
    ImportTree f;
    WriteFileBytes(f.File("in.csv"), Numbered(25));
    ImportUser user;
    user.fill = [&](TReadCsvDlg* d) {
      LoadFile(d, f.File("in.csv"));
      EXPECT_EQ(d->StringGrid1->RowCount(), 21) << c.how;  // the first 20 records
      EXPECT_EQ(GridRow(d, 20)[0], "k20") << c.how;
      c.set(d);
      return true;
    };
    int count = -1;
    EXPECT_TRUE(f.node->ImportFile(&count, ""));
    std::vector<std::string> expected;
    for (int i = c.first; i <= c.last; ++i) expected.push_back(Format("k%d|v%d|w%d", i, i, i));
    EXPECT_EQ(count, int(expected.size())) << c.how;
    EXPECT_EQ(user.boxes, (std::vector<Box>{Result(int(expected.size()), 0)})) << c.how;
    EXPECT_EQ(f.Rows(), expected) << c.how;
  }
}

// The filter chooses the reader's format; the import stores it and the file's directory into the
// folder. Records are what the reader forms: one per recipient of a sendmail message.
TEST(ReadCsvDlg, ThreeFormats) {
  const struct {
    int filter;
    std::string file;
    int records;
    std::vector<std::string> first;  // fields 0, 1 and 2 of the first record stored
  } cases[] = {
      {0, "real/statistics-cp932.csv", 49, {SJ("表章項目"), SJ("男女別"), SJ("人口")}},
      {1, "real/sendmail-1.log", 8, {}},
      {2, "real/access-short.log", 3, {"192.168.202.254", "", ""}},
  };
  for (const auto& c : cases) {
    FolderTree tree;
    std::vector<std::string> names;
    for (int k = 0; k < 26; ++k) names.push_back(Format("f%02d", k));
    std::vector<const char*> columns;
    for (const std::string& n : names) columns.push_back(n.c_str());
    CRuleFolderTbl* t = tree.AddTable("log", {});
    for (const char* n : columns) ASSERT_TRUE(t->GetDbHandle()->AddColumn("log", n, "string", 40));
    t->SyncCapInfoList();
    std::unique_ptr<CDbFolder> node(NodeFor(t, nullptr));
    const std::string path = QueryData(c.file);
    ImportUser user;
    user.fill = [&](TReadCsvDlg* d) {
      EXPECT_EQ(d->OpenDialog1->FilterIndex, 1);
      d->ComboBox2->UserSelect(c.filter);
      EXPECT_EQ(d->OpenDialog1->FilterIndex, c.filter ? 2 : 1);
      LoadFile(d, path);
      EXPECT_GT(d->StringGrid1->RowCount(), 1) << c.file;
      return true;
    };
    int count = -1;
    EXPECT_TRUE(node->ImportFile(&count, ""));
    EXPECT_EQ(count, c.records) << c.file;
    EXPECT_EQ(user.boxes, (std::vector<Box>{Result(c.records, 0)})) << c.file;
    EXPECT_EQ(t->CsvFilterIndex, c.filter);
    EXPECT_EQ(t->CsvDir + "/" + c.file.substr(c.file.find('/') + 1), path);
    CDbHandle* handle = t->GetDbHandle();
    ASSERT_TRUE(handle->ListStart(TStringList(), "log.f00,log.f01,log.f02,log.f25"));
    TStringList row;
    ASSERT_TRUE(handle->ListNext(row));
    if (c.filter == 1) {
      EXPECT_TRUE(row[0] == SJ("送信") || row[0] == SJ("受信")) << Show(row[0]);
      EXPECT_EQ(row[3], "sendmail-1.log");  // the reader's last field: the file name
    } else {
      EXPECT_EQ((std::vector<std::string>{row[0], row[1], row[2]}), c.first) << c.file;
    }
    handle->ListEnd();
  }
}

// Every import reads with a comma, the quote pairs "" and '' and one line per record.
TEST(ReadCsvDlg, ReadsWithACommaAndBothQuotePairs) {
  ImportTree f;
  WriteFileBytes(f.File("in.csv"), "'a,b',\"c\"\"d\",e\tf\nO'Brien,x\n");
  ImportUser user;
  user.fill = LoadAndStart(f.File("in.csv"));
  EXPECT_TRUE(f.node->ImportFile(nullptr, ""));
  EXPECT_EQ(f.Rows(), (std::vector<std::string>{"a,b|c\"d|e\tf", "O'Brien|x|"}));
}

// "開始" on a file that does not open says so, imports nothing and stores no settings.
TEST(ReadCsvDlg, AFileThatDoesNotOpenWhenStartingIsReported) {
  ImportTree f;
  f.t->CsvFilterIndex = 0;
  f.t->CsvDir = "/kept";
  const std::string missing = f.File("missing.csv");
  ImportUser user;
  user.fill = [&](TReadCsvDlg* d) {
    d->Edit3->SetText(missing);
    d->ComboBox2->UserSelect(1);
    return true;
  };
  int count = -1;
  EXPECT_TRUE(f.node->ImportFile(&count, ""));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(user.boxes, (std::vector<Box>{{SJ("確認"), Format(SJ("ファイル %s がありません。").c_str(), missing.c_str())}}));
  EXPECT_TRUE(f.Rows().empty());
  EXPECT_EQ(f.t->CsvFilterIndex, 0);
  EXPECT_EQ(f.t->CsvDir, "/kept");
}

// The preview: the first 20 records; a file that does not open is reported and changes nothing;
// a file without records leaves the heading row alone; a later file shows none of an earlier one.
TEST(ReadCsvDlg, Preview) {
  ImportTree f;
  WriteFileBytes(f.File("wide.csv"), Numbered(30) + "x1,x2,x3,x4,x5\n");
  WriteFileBytes(f.File("empty.csv"), "\n\n");
  WriteFileBytes(f.File("narrow.csv"), "n1\nn2\n");
  ImportUser user;
  user.fill = [&](TReadCsvDlg* d) {
    LoadFile(d, f.File("wide.csv"));
    EXPECT_EQ(d->StringGrid1->RowCount(), 21);
    EXPECT_EQ(d->StringGrid1->ColCount(), 3);  // the wide record is the 31st
    EXPECT_EQ(GridRow(d, 1), (std::vector<std::string>{"k1", "v1", "w1"}));

    LoadFile(d, f.File("missing.csv"));
    EXPECT_EQ(user.boxes, (std::vector<Box>{{SJ("エラー"), Format(SJ("ファイル %s がありません。").c_str(),
                                                                    f.File("missing.csv").c_str())}}));
    EXPECT_EQ(d->StringGrid1->RowCount(), 21);
    EXPECT_EQ(GridRow(d, 1), (std::vector<std::string>{"k1", "v1", "w1"}));

    LoadFile(d, f.File("empty.csv"));
    EXPECT_EQ(d->StringGrid1->RowCount(), 1);
    EXPECT_EQ(Headings(d), (std::vector<std::string>{"a", "b", "c"}));

    LoadFile(d, f.File("narrow.csv"));
    EXPECT_EQ(d->StringGrid1->RowCount(), 3);
    EXPECT_EQ(d->StringGrid1->FixedRows(), 1);
    EXPECT_EQ(GridRow(d, 1), (std::vector<std::string>{"n1", "", ""}));
    EXPECT_EQ(Headings(d), (std::vector<std::string>{"a", "b", "c"}));
    return false;
  };
  EXPECT_TRUE(f.node->ImportFile(nullptr, ""));
}

// A dropped file opens the dialog with its name filled in and its preview loaded; the import
// still waits for "開始".
TEST(ReadCsvDlg, ADroppedFileIsPreviewedFirst) {
  ImportTree f;
  WriteFileBytes(f.File("drop.csv"), Numbered(3));
  for (bool start : {false, true}) {
    ImportUser user;
    user.fill = [&](TReadCsvDlg* d) {
      EXPECT_EQ(d->Edit3->Text(), f.File("drop.csv"));
      EXPECT_EQ(GridRow(d, 3), (std::vector<std::string>{"k3", "v3", "w3"}));
      return start;
    };
    int count = -1;
    EXPECT_TRUE(f.node->ImportFile(&count, f.File("drop.csv")));
    EXPECT_EQ(count, start ? 3 : 0);
    EXPECT_EQ(f.Rows().size(), start ? 3u : 0u);
  }
}

// A folder below the table folder imports into the table with its own columns and settings.
TEST(ReadCsvDlg, ImportFromAFolderBelowTheTable) {
  ImportTree f;
  CRuleFolder* below = f.t->AddNewChild();
  below->CapInfoList = Columns({Column("t.c"), Column("t.a"), Column("t.b", false)});
  below->CsvFilterIndex = 0;
  CDbFolder* node = NodeFor(below, f.node);
  WriteFileBytes(f.File("in.csv"), "1,2,3\n");
  ImportUser user;
  user.fill = [&](TReadCsvDlg* d) {
    EXPECT_EQ(d->SettingsFolder, below);
    EXPECT_EQ(Headings(d), (std::vector<std::string>{"c", "a"}));  // b is not shown
    LoadFile(d, f.File("in.csv"));
    return true;
  };
  int count = -1;
  EXPECT_TRUE(node->ImportFile(&count, ""));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(f.Rows(), (std::vector<std::string>{"2||1"}));
  EXPECT_EQ(below->CsvDir, f.tree.dir.Path());
  EXPECT_EQ(f.t->CsvDir, "");
}

// The right Shift key: held when the dialog opens it forgets the folder's directory; held when
// the import starts it stores none.
TEST(ReadCsvDlg, RightShiftForgetsTheDirectory) {
  ImportTree f;
  WriteFileBytes(f.File("in.csv"), Numbered(1));
  TForm keys(Application);
  auto* edit = new TEdit(&keys);
  edit->SetParent(&keys);
  for (bool atOpening : {true, false}) {
    f.t->CsvDir = "/somewhere";
    if (atOpening) edit->PressKey(VK_RSHIFT, ssShift);
    ImportUser user;
    user.fill = [&](TReadCsvDlg* d) {
      EXPECT_EQ(f.t->CsvDir, atOpening ? "" : "/somewhere");
      EXPECT_EQ(d->OpenDialog1->InitialDir, atOpening ? "" : "/somewhere");
      if (atOpening) edit->ReleaseKey(VK_RSHIFT, 0);
      LoadFile(d, f.File("in.csv"));
      if (!atOpening) edit->PressKey(VK_RSHIFT, ssShift);
      return true;
    };
    EXPECT_TRUE(f.node->ImportFile(nullptr, ""));
    edit->ReleaseKey(VK_RSHIFT, 0);
    EXPECT_EQ(f.t->CsvDir, atOpening ? f.tree.dir.Path() : "") << atOpening;
  }
}

// In item-creation mode the file's first record stands in the heading row, the filter row is
// taken off and the file is read as CSV whatever the filter says.
TEST(ReadCsvDlg, ItemCreationMode) {
  TempDir dir;
  WriteFileBytes(dir.File("items.csv"), Numbered(30));
  WriteFileBytes(dir.File("one.csv"), "name,size\n");
  TReadCsvDlg d(Application);
  d.ItemCreation = true;
  d.ComboBox2->SetItemIndex(1);
  LoadFile(&d, dir.File("items.csv"));
  EXPECT_EQ(d.StringGrid1->RowCount(), 22);
  EXPECT_EQ(GridRow(&d, 0), (std::vector<std::string>{"k1", "v1", "w1"}));
  EXPECT_EQ(GridRow(&d, 21), (std::vector<std::string>{"k22", "v22", "w22"}));
  LoadFile(&d, dir.File("one.csv"));
  EXPECT_EQ(d.StringGrid1->RowCount(), 2);
  EXPECT_EQ(GridRow(&d, 0), (std::vector<std::string>{"name", "size", ""}));
  int shown = 0;
  ModalHandlerScope scope([&](TForm* f) {
    ++shown;
    EXPECT_EQ(f->Caption(), SJ("CSV 項目作成"));
    EXPECT_EQ(d.Panel1->Height(), TReadCsvDlg::kFilterRowTop);
    // The dialog keeps its minimum height; the preview takes the filter row's place.
    EXPECT_EQ(f->Height(), 300);
    EXPECT_EQ(d.StringGrid1->Height(), 300 - TReadCsvDlg::kFilterRowTop);
    EXPECT_LE(d.CancelBtn->Top() + d.CancelBtn->Height(), d.Panel1->Height());
    PressButton(f, SJ("キャンセル"));
  });
  EXPECT_EQ(d.ShowModal(), mrCancel);
  EXPECT_EQ(shown, 1);
}

// ---- An import that fails part way ----

namespace {

// Files of this process may not grow beyond limit bytes while it lives; writes past it fail.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t limit) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit l{limit, saved_.rlim_max};
    EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &l), 0);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previous_)(int) = nullptr;
};

// Reads "読込成功 %d 件、エラー %d 件" back into its two numbers.
std::pair<int, int> Counts(const AnsiString& text) {
  int stored = -1, failed = -1;
  std::sscanf(text.c_str(), SJ("読込成功 %d 件、エラー %d 件").c_str(), &stored, &failed);
  return {stored, failed};
}

}  // namespace

// The disk fills up during the import: the records said to be stored are those in the table,
// and every other record is counted as failed.
TEST(ReadCsvDlg, ADiskThatFillsUpLeavesTheCountsTrue) {
  ImportTree f;
  constexpr int kRecords = 20000;
  std::string text;
  for (int i = 1; i <= kRecords; ++i) text += Format("key%06d,%s,w\n", i, std::string(60, 'v').c_str());
  WriteFileBytes(f.File("in.csv"), text);
  f.Rows();  // the table's file exists before the limit
  const auto size = std::filesystem::file_size(f.File("t.kvr"));
  ImportUser user;
  user.fill = LoadAndStart(f.File("in.csv"));
  int count = -1;
  {
    FileSizeLimit limit(size + 256 * 1024);
    EXPECT_TRUE(f.node->ImportFile(&count, ""));
  }
  ASSERT_FALSE(user.boxes.empty());
  EXPECT_EQ(user.boxes.front(), (Box{SJ("エラー"), SJ("レコードの書き込みができません。")}));
  const auto [stored, failed] = Counts(user.boxes.back().text);
  EXPECT_EQ(stored, count);
  EXPECT_GT(failed, 0);
  EXPECT_EQ(stored + failed, kRecords);
  EXPECT_EQ(f.Rows().size(), size_t(stored));
}

// Another process holds the table for longer than the store waits for it: nothing is stored and
// every record is counted as failed.
TEST(ReadCsvDlg, ATableLockedByAnotherProcessStoresNothing) {
  ImportTree f;
  WriteFileBytes(f.File("in.csv"), Numbered(3));
  f.Rows();
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t holder = fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {
    CKorva table;
    const char held = table.Open(f.File("t.kvr")) && table.Hold() ? 1 : 0;
    if (write(ready[1], &held, 1) != 1) _exit(1);
    char c;
    if (read(done[0], &c, 1) < 0) _exit(1);
    table.Release();
    _exit(0);
  }
  char held = 0;
  ASSERT_EQ(read(ready[0], &held, 1), 1);
  ASSERT_EQ(held, 1);
  ImportUser user;
  user.fill = LoadAndStart(f.File("in.csv"));
  int count = -1;
  EXPECT_TRUE(f.node->ImportFile(&count, ""));
  ASSERT_EQ(write(done[1], "x", 1), 1);
  int status = 0;
  ASSERT_EQ(waitpid(holder, &status, 0), holder);
  for (int fd : {ready[0], ready[1], done[0], done[1]}) close(fd);
  EXPECT_EQ(count, 0);
  ASSERT_FALSE(user.boxes.empty());
  EXPECT_EQ(user.boxes.back(), Result(0, 3));
  EXPECT_TRUE(f.Rows().empty());
}
