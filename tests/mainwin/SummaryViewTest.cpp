// The summary and ratio views of the main window, driven as a user does: summary columns added,
// inserted, edited, deleted and moved through the summary's popup menu and its column dialog, the
// tabs switched back and forth, several folders summarised side by side and shown as ratios.
#include <string>
#include <vector>

#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "query/SumColUnit.h"
#include "query/SummaryMod.h"
#include "tests/mainwin/MainWindowTestSupport.h"

namespace {

enum : int { kList = 0, kSummary = 1, kRatio = 2, kGraph = 3 };

// A sales ledger "売上" (branch, item, amount) summarised by item with the sum of the amounts,
// and the condition folders "東京", "大阪" and "名古屋" (which lists nothing) below it:
//   東京: りんご 100, りんご 50, みかん 200
//   大阪: りんご 300, みかん 100, ぶどう 80
class SalesFolder : public FolderTree {
 public:
  SalesFolder() {
    CRuleFolderTbl* sales = AddTable(SJ("売上"), {"branch", "item", "amount:int"});
    const struct {
      const char *branch, *item, *amount;
    } records[] = {{"東京", "りんご", "100"}, {"東京", "りんご", "50"}, {"東京", "みかん", "200"},
                   {"大阪", "りんご", "300"}, {"大阪", "みかん", "100"}, {"大阪", "ぶどう", "80"}};
    for (const auto& r : records)
      Insert(SJ("売上"), {{"branch", Utf8ToSjis(r.branch)}, {"item", Utf8ToSjis(r.item)}, {"amount", r.amount}});
    CCapInfo* key = Column(SJ("売上.item"), true, SJ("商品"));
    key->GroupKey = true;
    CCapInfo* sum = Column(SJ("売上.amount"), true, SJ("金額"));
    sum->Aggregate = 4;
    sum->Alignment = 2;
    sales->SumCapInfoList->Add(key);
    sales->SumCapInfoList->Add(sum);
    for (const char* branch : {"東京", "大阪", "名古屋"}) {
      auto* folder = new CRuleFolder(sales);
      folder->Name = Utf8ToSjis(branch);
      folder->Condition = SJ("branch = '") + folder->Name + "'";
      sales->AddChild(folder);
    }
    root.WritePath = Base() + ".fld";
    EXPECT_TRUE(root.SaveFolderFile());
  }
  std::string Base() const { return dir.File("sales"); }
};

// The program started on the ledger, its about box kept away, every dialog answered by the test.
class SummaryView : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    program_ = std::make_unique<StartedProgram>(std::vector<std::string>{work.Base()});
    form = FormMain;
    form->Timer1->SetEnabled(false);
    grid = form->StringGridEx1;
    Node("")->Expand(false);
  }
  void TearDown() override {
    program_.reset();
    MainWindowTest::TearDown();
  }

  // The table folder's node, or a condition folder below it by name.
  TTreeNode* Node(const std::string& path) { return NodeAt(path.empty() ? "売上" : "売上/" + path); }

  // What the grid shows on row r: its cells joined by "|".
  std::string Row(int r) const {
    std::string out;
    for (int c = 0; c < grid->ColCount(); ++c) out += (c ? "|" : "") + SjisToUtf8(grid->Cells(c, r));
    return out;
  }
  // The heading row and every data row the grid shows, one line each.
  std::string Shown() const {
    std::string out = Row(0);
    for (int r = 1; r < grid->RowCount(); ++r)
      if (grid->RowHeights(r) > 0) out += "\n" + Row(r);
    return out;
  }
  std::string Headings() const { return Row(0); }

  // A right click on the heading of grid column col (a point right of the last column when col is
  // past it): the summary's popup menu is filled for that point.
  void RightClickHeading(int col) {
    const TRect last = grid->CellRect(grid->ColCount() - 1, 0);
    const TRect cell = col < grid->ColCount() ? grid->CellRect(col, 0) : TRect{last.Right + 4, last.Top, last.Right + 8,
                                                                               last.Bottom};
    const int x = (cell.Left + cell.Right) / 2, y = (cell.Top + cell.Bottom) / 2;
    grid->PressMouse(mbRight, ssRight, x, y);
    grid->ReleaseMouse(mbRight, 0, x, y);
  }
  // Chooses the popup item with that caption ("集計追加/合計" for a sub-item); false when it is
  // not there, hidden or disabled.
  bool Choose(const std::string& path) {
    TMenuItem* items = form->PopupMenuSum->Items();
    size_t from = 0;
    while (true) {
      const size_t slash = path.find('/', from);
      const std::string caption = path.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
      TMenuItem* found = nullptr;
      for (int i = 0; i < items->Count() && !found; ++i)
        if (SjisToUtf8(items->Items(i)->Caption()) == caption) found = items->Items(i);
      if (!found || !found->Visible || !found->Enabled) return false;
      if (slash == std::string::npos) {
        found->Click();
        return true;
      }
      items = found;
      from = slash + 1;
    }
  }
  // The states of the popup's items as "caption:+" (usable), "caption:-" (disabled); hidden
  // items left out.
  std::string MenuState() const {
    std::string out;
    TMenuItem* items = form->PopupMenuSum->Items();
    for (int i = 0; i < items->Count(); ++i) {
      TMenuItem* item = items->Items(i);
      if (!item->Visible || item->IsLine()) continue;
      out += (out.empty() ? "" : " ") + SjisToUtf8(item->Caption()) + (item->Enabled ? ":+" : ":-");
    }
    return out;
  }
  void ShowTab(int tab) { form->TabControl1->UserSelect(tab); }
  int Modified() const { return form->TopFolder->GetModified(); }
  // The summary columns of the ledger's folder as the window's folder tree holds them.
  CCapInfoList* FolderSums() { return static_cast<CDbFolder*>(Node("")->Data)->Folder->SumCapInfoList; }

  SalesFolder work;
  TFormMain* form = nullptr;
  TStringGridEx* grid = nullptr;

 private:
  std::unique_ptr<StartedProgram> program_;
};

// The column dialog played by the user: the item, kind and method chosen and a heading typed
// (null: the dialog's own proposal), then OK, or Cancel when ok is false.
struct ColumnInput {
  const char* item;
  bool key;
  int methodRadio;  // 件数 合計 平均 範囲 最小 最大
  const char* heading = nullptr;
  bool ok = true;
};

class ColumnUser {
 public:
  explicit ColumnUser(ColumnInput input) : input_(input), scope_([this](TForm* f) { Play(f); }) {}
  int shown = 0;
  std::string caption, loaded;  // the dialog's caption, and the item and heading it showed

 private:
  void Play(TForm* f) {
    auto* d = dynamic_cast<TSumColDlg*>(f);
    ASSERT_NE(d, nullptr) << "unexpected dialog \"" << Show(f->Caption()) << "\"";
    ++shown;
    caption = SjisToUtf8(d->Caption());
    loaded = SjisToUtf8(d->DbNameCBox->Text()) + "|" + SjisToUtf8(d->NameEdit->Text());
    d->DbNameCBox->SetItemIndex(d->DbNameCBox->Items()->IndexOf(Utf8ToSjis(input_.item)));
    d->SumKindRg->SetItemIndex(input_.key ? 0 : 1);
    d->SumMethodRg->SetItemIndex(input_.methodRadio);
    d->ChangeItem(d);
    if (input_.heading) d->NameEdit->SetText(Utf8ToSjis(input_.heading));
    PressButton(d, input_.ok ? AnsiString("OK") : SJ("キャンセル"));
  }
  ColumnInput input_;
  ModalHandlerScope scope_;
};

}  // namespace

// Each aggregate added on the amount column comes right after it with that method's figures for
// every group, is saved with the folder, and goes again with "カラム削除". The table lists all six
// records: ぶどう 80; みかん 200, 100; りんご 100, 50, 300.
TEST_F(SummaryView, AggregatesAddedAndDeletedThroughThePopup) {
  ASSERT_EQ(ListAllRecords(Node("")), 6);
  ShowTab(kSummary);
  const std::string before = "商品|金額\nぶどう|80\nみかん|300\nりんご|450";
  ASSERT_EQ(Shown(), before);
  const struct {
    const char* method;
    const char* shown;
  } cases[] = {
      {"件数", "商品|金額|件数\nぶどう|80|1\nみかん|300|2\nりんご|450|3"},
      {"最小", "商品|金額|amountの最小\nぶどう|80|80\nみかん|300|100\nりんご|450|50"},
      {"最大", "商品|金額|amountの最大\nぶどう|80|80\nみかん|300|200\nりんご|450|300"},
      {"範囲", "商品|金額|amountの範囲\nぶどう|80|80\nみかん|300|100 ～ 200\nりんご|450|50 ～ 300"},
      {"合計", "商品|金額|amountの合計\nぶどう|80|80\nみかん|300|300\nりんご|450|450"},
      {"平均", "商品|金額|amountの平均\nぶどう|80|80\nみかん|300|150\nりんご|450|150"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    const int modified = Modified();
    RightClickHeading(1);
    EXPECT_EQ(MenuState(), "集計追加:+ カラム編集:+ カラム挿入:+ カラム削除:+");
    ASSERT_TRUE(Choose(std::string("集計追加/") + c.method));
    EXPECT_EQ(Shown(), c.shown);
    EXPECT_EQ(FolderSums()->Count(), 3);
    EXPECT_GT(Modified(), modified);
    EXPECT_TRUE(form->FileSaveFol->Enabled());
    EXPECT_EQ(form->ListRows->Count(), 6);  // summarised again from the listed rows, not listed anew

    RightClickHeading(2);
    ASSERT_TRUE(Choose("カラム削除"));
    EXPECT_EQ(Shown(), before);
    EXPECT_EQ(FolderSums()->Count(), 2);
  }
}

// The columns stay with the folder across the tabs, and the list comes back as it was listed.
TEST_F(SummaryView, TabsSwitchBackAndForthOverTheSameRows) {
  ASSERT_EQ(ListAllRecords(Node("")), 6);
  ShowTab(kSummary);
  RightClickHeading(1);
  ASSERT_TRUE(Choose("集計追加/件数"));
  const std::string summary = "商品|金額|件数\nぶどう|80|1\nみかん|300|2\nりんご|450|3";
  // A single search is its own base: every figure is 1 in the ratio view, the groups stay.
  const std::string ratio = "商品|金額|件数\nぶどう|1|1\nみかん|1|1\nりんご|1|1";
  for (int tab : {kList, kRatio, kSummary, kGraph, kSummary, kRatio, kList, kSummary}) {
    ShowTab(tab);
    if (tab == kList) {
      EXPECT_EQ(grid->RowCount(), 7);
      EXPECT_EQ(Headings(), "branch|item|amount");
    } else if (tab != kGraph) {
      EXPECT_EQ(Shown(), tab == kSummary ? summary : ratio) << tab;
      EXPECT_EQ(grid->PopupMenu(), form->PopupMenuSum);
    }
  }
}

// Inserted before the clicked column through the column dialog (or appended when the press was
// right of the last column), edited in place keeping its width, and nothing changed when the
// dialog is cancelled.
TEST_F(SummaryView, ColumnDialogInsertsAndEdits) {
  ASSERT_EQ(ListAllRecords(Node("")), 6);
  ShowTab(kSummary);
  {
    ColumnUser user({"売上.amount", false, 5, "最高"});
    RightClickHeading(1);
    ASSERT_TRUE(Choose("カラム挿入"));
    EXPECT_EQ(user.shown, 1);
    EXPECT_EQ(user.caption, "集計表示 - カラムの追加");
    EXPECT_EQ(Shown(), "商品|最高|金額\nぶどう|80|80\nみかん|200|300\nりんご|300|450");
  }
  FolderSums()->GetItem(1)->Width = 77;
  {
    ColumnUser user({"売上.amount", false, 2});
    RightClickHeading(1);
    ASSERT_TRUE(Choose("カラム編集"));
    EXPECT_EQ(user.caption, "集計表示 - カラムの編集");
    EXPECT_EQ(user.loaded, "売上.amount|最高");
    EXPECT_EQ(Shown(), "商品|amountの平均|金額\nぶどう|80|80\nみかん|150|300\nりんご|150|450");
    EXPECT_EQ(FolderSums()->GetItem(1)->Width, 77);
  }
  {
    ColumnUser user({"売上.branch", false, 0});
    RightClickHeading(5);
    ASSERT_TRUE(Choose("カラム挿入"));
    EXPECT_EQ(Headings(), "商品|amountの平均|金額|件数");
  }
  const int modified = Modified();
  const std::string shown = Shown();
  for (const char* command : {"カラム挿入", "カラム編集"}) {
    ColumnUser user({"売上.branch", true, 0, "支店", false});
    RightClickHeading(2);
    ASSERT_TRUE(Choose(command));
    EXPECT_EQ(user.shown, 1) << command;
    EXPECT_EQ(Shown(), shown) << command;
    EXPECT_EQ(Modified(), modified) << command;
  }
  // A key inserted in front groups by branch first.
  ColumnUser user({"売上.branch", true, 0, "支店"});
  RightClickHeading(0);
  ASSERT_TRUE(Choose("カラム挿入"));
  EXPECT_EQ(Shown(), "支店|商品|amountの平均|金額|件数\n大阪|ぶどう|80|80|1\n|みかん|100|100|1\n|りんご|300|300|1\n"
                     "東京|みかん|200|200|1\n|りんご|75|150|2");
}

// Outside the summary and ratio views, and on a point outside the columns, the commands change
// nothing; the popup then offers only "カラム挿入", and on a column it lights the column's heading
// until the next release of a button.
TEST_F(SummaryView, CommandsNeedTheSummaryViewsAndAColumn) {
  ASSERT_EQ(ListAllRecords(Node("")), 6);
  ShowTab(kSummary);
  RightClickHeading(1);
  const int modified = Modified();
  for (int tab : {kList, kGraph}) {
    ShowTab(tab);
    for (TAction* a : {form->SCapAddNum, form->SCapAddMin, form->SCapAddMax, form->SCapAddRange, form->SCapAddSum,
                       form->SCapAddAve, form->SCapDelete, form->SCapCancelPlural})
      a->Execute();
    EXPECT_EQ(FolderSums()->Count(), 2) << tab;
    EXPECT_EQ(Modified(), modified) << tab;
  }
  ShowTab(kSummary);
  RightClickHeading(9);
  EXPECT_EQ(MenuState(), "集計追加:- カラム編集:- カラム挿入:+ カラム削除:-");
  EXPECT_EQ(form->SavedSelection.Left, -1);
  form->SCapAddSum->Execute();
  form->SCapDelete->Execute();
  EXPECT_EQ(FolderSums()->Count(), 2);
  EXPECT_EQ(Modified(), modified);

  const TGridRect selected{0, 2, 1, 2};
  grid->SetSelection(selected);
  RightClickHeading(1);
  EXPECT_EQ(grid->GetSelection().Top, 0);
  EXPECT_EQ(grid->GetSelection().Bottom, 0);
  // The menu took the press that closed it; the release reaches the grid.
  const TRect cell = grid->CellRect(0, 3);
  grid->ReleaseMouse(mbLeft, 0, cell.Left + 2, cell.Top + 2);
  EXPECT_EQ(form->SavedSelection.Left, -1);
  EXPECT_EQ(grid->GetSelection().Top, selected.Top);
  EXPECT_EQ(grid->GetSelection().Right, selected.Right);
}

// Two folders listed together are summarised side by side, one column per search; the ratio
// view shows each search against the one before it. The commands wait until "複数集計解除" goes
// back to the folder's own summary, which leaves the folder unmodified.
TEST_F(SummaryView, SeveralFoldersSideBySideAndAsRatios) {
  ASSERT_EQ(ListAllRecords(Node("東京")), 3);
  Click(Node("大阪"), ssCtrl);
  ASSERT_EQ(form->ListRows->Count(), 6);
  ShowTab(kSummary);
  EXPECT_EQ(Shown(), "\r\n商品|東京\r\n金額|大阪\r\n金額\nぶどう||80\nみかん|200|100\nりんご|150|300");
  ShowTab(kRatio);
  EXPECT_EQ(Shown(), "\r\n商品|東京\r\n金額|大阪\r\n金額\nぶどう||\nみかん|1|0.5\nりんご|1|2");

  const int modified = Modified();
  RightClickHeading(1);
  EXPECT_EQ(MenuState(), "複数集計解除:+ 集計追加:- カラム編集:- カラム挿入:- カラム削除:-");
  form->SCapAddSum->Execute();  // through its action all the same
  EXPECT_EQ(form->Summary->GetColumns()->Count(), 3);
  ASSERT_TRUE(Choose("複数集計解除"));
  EXPECT_EQ(form->SumColumns, FolderSums());
  ShowTab(kSummary);
  EXPECT_EQ(Shown(), "商品|金額\nぶどう|80\nみかん|300\nりんご|450");
  EXPECT_EQ(Modified(), modified);
  RightClickHeading(1);
  EXPECT_EQ(MenuState(), "集計追加:+ カラム編集:+ カラム挿入:+ カラム削除:+");
}

// A folder that lists nothing shows the headings over no rows, and its columns can still be
// changed.
TEST_F(SummaryView, EmptyListing) {
  ASSERT_EQ(ListAllRecords(Node("名古屋")), 0);
  for (int tab : {kSummary, kRatio}) {
    ShowTab(tab);
    EXPECT_EQ(Shown(), "商品|金額") << tab;
    EXPECT_EQ(form->SumRows->Count(), 0);
  }
  ShowTab(kSummary);
  RightClickHeading(1);
  ASSERT_TRUE(Choose("集計追加/最大"));
  EXPECT_EQ(Shown(), "商品|金額|amountの最大");
  EXPECT_TRUE(form->FileSaveFol->Enabled());
}

// A listing continued after its first chunk shows only its last rows; the summary counts every
// row, also when a column command builds it again.
TEST_F(SummaryView, ContinuedListingIsCountedWhole) {
  UserScript user({"いいえ(&N)", "はい(&Y)", "はい(&Y)", "はい(&Y)", "はい(&Y)"});
  form->InlinePhaseMs = 0;
  form->ChunkSize = 2;
  Click(Node(""));
  ASSERT_TRUE(form->OpeContinue->Enabled());
  ASSERT_LT(form->ListRows->Count(), 6);
  ASSERT_TRUE(ChooseOperation("続きを検索"));
  ASSERT_EQ(form->SearchedCount, 6);
  ASSERT_LT(form->ListRows->Count(), 6);
  ShowTab(kSummary);
  EXPECT_EQ(Shown(), "商品|金額\nぶどう|80\nみかん|300\nりんご|450");
  const int listings = form->ListingCount;
  RightClickHeading(1);
  ASSERT_TRUE(Choose("集計追加/件数"));
  EXPECT_EQ(Shown(), "商品|金額|件数\nぶどう|80|1\nみかん|300|2\nりんご|450|3");
  EXPECT_EQ(form->ListingCount, listings);
  form->InlinePhaseMs = 500;
  form->ChunkSize = 50000;
}

// A heading dragged to another place moves the summary column in the folder's list, and the
// rows are made again to match.
TEST_F(SummaryView, MovedColumnIsSummarisedAgain) {
  ASSERT_EQ(ListAllRecords(Node("")), 6);
  ShowTab(kSummary);
  RightClickHeading(1);
  ASSERT_TRUE(Choose("集計追加/件数"));
  const int modified = Modified();
  const TRect from = grid->CellRect(2, 0), to = grid->CellRect(0, 0);
  const int y = (from.Top + from.Bottom) / 2;
  grid->PressMouse(mbLeft, ssLeft, (from.Left + from.Right) / 2, y);
  grid->MoveMouse(ssLeft, (to.Left + to.Right) / 2, y);
  grid->ReleaseMouse(mbLeft, 0, (to.Left + to.Right) / 2, y);
  EXPECT_EQ(SjisToUtf8(FolderSums()->GetItem(0)->Caption), "件数");
  // Left of the key, the count is the grand total on every row.
  EXPECT_EQ(Shown(), "件数|商品|金額\n6|ぶどう|80\n|みかん|300\n|りんご|450");
  EXPECT_GT(Modified(), modified);
}

// When the rows shown are no longer those of a listing (the appearance dialog let go of the listed
// folder), a column command lists the selected folder afresh, which summarises it again.
TEST_F(SummaryView, ForgottenListingIsListedAgain) {
  ASSERT_EQ(ListAllRecords(Node("")), 6);
  ShowTab(kSummary);
  {
    ModalHandlerScope looks([](TForm* f) { EXPECT_TRUE(PressButton(f, "OK")) << Show(f->Caption()); });
    form->SetLooks->Execute();
  }
  ASSERT_EQ(form->ListedNode, nullptr);
  const int listings = form->ListingCount;
  RightClickHeading(1);
  ASSERT_TRUE(Choose("集計追加/最小"));
  EXPECT_EQ(form->ListingCount, listings + 1);
  EXPECT_EQ(form->ListedNode, Node(""));
  EXPECT_EQ(Shown(), "商品|金額|amountの最小\nぶどう|80|80\nみかん|300|100\nりんご|450|50");
  EXPECT_TRUE(form->FileSaveFol->Enabled());
}
