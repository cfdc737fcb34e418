// The record listing: the inline half second, the chunks on the worker under the progress
// dialog, the question before each further chunk, abort and continuation, the summary over every
// row listed, and selecting real folders.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <regex>
#include <set>
#include <thread>

#include "folders/FlowBox.h"
#include "foundation/LogForm.h"
#include "foundation/StringsList.h"
#include "mainwin/GetListUnit.h"
#include "mainwin/ListViewRecids.h"
#include "platform/Thread.h"
#include "query/SummaryMod.h"
#include "tests/mainwin/MainWindowTestSupport.h"

namespace {

// A node whose listing hands out rows "n", "name n" for n = 1 .. Total. The user-interface thread
// gets rows only up to InlineRows until a worker has asked (so the inline phase is short and the
// probe after a chunk reads on); a worker gets none past StallAt while that is set, so only an
// abort ends its chunk.
class ScriptedNode : public CDbFolder {
 public:
  explicit ScriptedNode(int total, int inlineRows = 0) : CDbFolder(nullptr), Total(total), InlineRows(inlineRows) {
    Name = SJ("台本");
    columns_.Add(Column("T.__REC__ID__", false));
    columns_.Add(Column("T.name"));
  }
  CCapInfoList* GetCapInfoList() override { return &columns_; }
  CCapInfoList* GetSumCapInfoList() override { return &sumColumns_; }
  bool MakeOrCondition(CCapInfoList*, const TList*, AnsiString&, AnsiString&) override { return false; }
  void ListStart(const TList&) override {
    Next = 0, ++Starts;
    if (StartError) ReportError("%s", StartError);
  }
  void ListStart_a(const AnsiString&) override { Next = 0, ++Starts; }
  void ListEnd() override { ++Ends; }
  int ListNextNB(TStrings& row) override {
    const bool worker = !IsMainThread();
    if (Next >= Total) return -1;
    if (worker && !WorkerAsked) WorkerAsked = true;
    if (!worker && !WorkerAsked && Next >= InlineRows) return 0;
    if (worker && StallAt >= 0 && Next >= StallAt) return 0;
    row.Clear();
    ++Next;
    row.Add(IntToStr(Next));
    row.Add("name " + IntToStr(Next));
    if (worker)
      ++WorkerRows;
    else
      ++InlineRead;
    return 1;
  }

  const int Total;
  int InlineRows;
  std::atomic<int> Next{0}, StallAt{-1}, WorkerRows{0};
  std::atomic<bool> WorkerAsked{false};
  int InlineRead = 0, Starts = 0, Ends = 0;
  const char* StartError = nullptr;  // reported by ListStart

 private:
  CCapInfoList columns_, sumColumns_;
};

// Plays the user of a listing: closes the about box, lets each progress dialog run to its end
// (calling during first, which may press "中止", or close it and return false to be handed the
// dialog again), notes every progress dialog run and every question, and answers the questions
// from answers in turn ("いいえ(&N)" once they are used up).
class ListingUser {
 public:
  explicit ListingUser(std::vector<const char*> answers = {}, std::function<bool(TGetListDlg*)> during = nullptr)
      : answers_(std::move(answers)), during_(std::move(during)), scope_([this](TForm* f) { Play(f); }) {}

  int dialogs = 0;
  std::vector<std::string> questions;  // message texts, UTF-8

 private:
  void Play(TForm* form) {
    if (dynamic_cast<TAboutBox*>(form)) {
      PressButton(form, SJ("閉じる"));
      return;
    }
    if (auto* d = dynamic_cast<TGetListDlg*>(form)) {
      EXPECT_NE(d->Thread, nullptr);
      if (during_ && !during_(d)) return;
      ++dialogs;
      EXPECT_TRUE(PumpUntil([d] { return d->ModalResult() != mrNone; }, 60000));
      EXPECT_EQ(d->Thread, nullptr);
      EXPECT_EQ(d->OKBtn->Caption(), SJ("閉じる"));
      return;
    }
    auto* box = dynamic_cast<TCvMessageDlg*>(form);
    ASSERT_NE(box, nullptr) << "unexpected dialog \"" << Show(form->Caption()) << "\"";
    EXPECT_EQ(box->Caption(), SJ("継続の確認"));
    questions.push_back(SjisToUtf8(box->Label1->Caption()));
    const char* answer = next_ < answers_.size() ? answers_[next_++] : "いいえ(&N)";
    EXPECT_TRUE(PressButton(box, Utf8ToSjis(answer))) << answer;
  }
  std::vector<const char*> answers_;
  size_t next_ = 0;
  std::function<bool(TGetListDlg*)> during_;
  ModalHandlerScope scope_;
};

// A node of the tree for the node, selected alone, and a fresh listing of it.
TTreeNode* SelectAlone(CDbFolder* folder, TTreeNode* node = nullptr) {
  if (!node) node = FormMain->TreeView1->Items()->AddObject(nullptr, folder->Name, folder);
  FormMain->Tv1NodeList->Nodes->Clear();
  FormMain->Tv1NodeList->Nodes->Add(node);
  FormMain->AddingToSelection = false;
  FormMain->SearchedCount = 0;
  FormMain->RefreshListView(node, false);
  return node;
}

// Ends the open listing and takes the scripted nodes out of the tree before they go.
void EndListing() {
  FormMain->Tv1NodeList->Nodes->Clear();
  FormMain->RefreshListView(nullptr, false);
  for (TTreeNode* n = FormMain->TreeView1->Items()->GetFirstNode(); n;) {
    TTreeNode* next = n->GetNextSibling();
    if (dynamic_cast<ScriptedNode*>(static_cast<CDbFolder*>(n->Data))) n->Delete();
    n = next;
  }
}

// The record count of the summary's one group (the summary counts when it has no columns).
int SummaryCount() {
  FormMain->Summary->Calculate();
  if (FormMain->SumRows->Count() != 1) return -1;
  return std::stoi(FormMain->SumRows->Row(0)->Strings(0));
}

class Listing : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    program_ = std::make_unique<StartedProgram>(std::vector<std::string>{work_.Base()});
  }
  void TearDown() override {
    program_.reset();
    MainWindowTest::TearDown();
  }
  WorkFolder work_;
  std::unique_ptr<StartedProgram> program_;
};

}  // namespace

// Rows up to the next multiple of 50,000 on the worker, the probe row, and the question with the
// rows so far; the worker's limit is (rows + 50000) div 50000 * 50000 - 1.
TEST_F(Listing, ChunksOfFiftyThousandWithAQuestionBeforeEachFurtherOne) {
  struct Case {
    int total, inlineRows;
    std::vector<const char*> answers;
    int dialogs;
    std::vector<int> asked;  // the counts in the questions
    int shown;
    bool continuable;
  };
  const Case cases[] = {
      {100, 100, {}, 0, {}, 100, false},                                         // ends inline
      {49999, 0, {}, 1, {}, 49999, false},                                       // the probe finds the end
      {50000, 0, {"いいえ(&N)"}, 1, {50000}, 50000, true},                        // exactly one chunk, stopped
      {50000, 0, {"はい(&Y)"}, 2, {50000}, 50000, false},                          // the next chunk is empty
      {120000, 10, {"はい(&Y)", "はい(&Y)"}, 3, {50000, 100000}, 120000, false},  // three chunks
  };
  for (const Case& c : cases) {
    ScriptedNode node(c.total, c.inlineRows);
    ListingUser user(c.answers);
    SelectAlone(&node);
    const std::string label = std::to_string(c.total) + " rows, " + std::to_string(c.answers.size()) + " answers";
    EXPECT_EQ(user.dialogs, c.dialogs) << label;
    std::vector<std::string> asked;
    for (int n : c.asked) asked.push_back("検索データが " + std::to_string(n) + " を越えました。続けますか？");
    EXPECT_EQ(user.questions, asked) << label;
    EXPECT_EQ(FormMain->ListRows->Count(), c.shown) << label;
    EXPECT_EQ(FormMain->SearchedCount, c.shown) << label;
    EXPECT_EQ(StatusCount(), c.shown) << label << ": " << Status(1);
    EXPECT_EQ(FormMain->OpeContinue->Enabled(), c.continuable) << label;
    EXPECT_EQ(node.Ends > 0, !c.continuable) << label;
    EXPECT_EQ(SummaryCount(), c.shown) << label;
    // Every row once, in listing order, linked to the grid.
    CCapInfoList* columns = nullptr;
    CStringsList* rows = nullptr;
    ASSERT_TRUE(GetGridRows(FormMain->StringGridEx1, columns, rows)) << label;
    EXPECT_EQ(rows, FormMain->ListRows);
    EXPECT_EQ(FormMain->StringGridEx1->RowCount(), c.shown + 1) << label;
    for (int i = 0; i < rows->Count(); i += 997) ASSERT_EQ(rows->Row(i)->Strings(0), IntToStr(i + 1)) << label;
    EXPECT_EQ(rows->Row(rows->Count() - 1)->Strings(0), IntToStr(c.shown)) << label;
    EndListing();
  }
}

// The chunk limits as the worker met them: it stops at 49,999 and 99,999 rows, the probe adding
// one each time.
TEST_F(Listing, TheWorkerStopsOneRowShortOfEachMultiple) {
  ScriptedNode node(120000, 10);
  std::vector<int> perChunk;
  int before = 0;
  ListingUser user({"はい(&Y)", "はい(&Y)"}, [&](TGetListDlg* d) {
    EXPECT_TRUE(PumpUntil([d] { return d->ModalResult() != mrNone; }, 60000));
    perChunk.push_back(node.WorkerRows - before);
    before = node.WorkerRows;
    return true;
  });
  SelectAlone(&node);
  EXPECT_EQ(node.InlineRead, 10 + 2);  // the inline rows and two probes
  EXPECT_EQ(perChunk, (std::vector<int>{49989, 49999, 20000}));
  EndListing();
}

// Rows whose record is listed already are dropped, and the chunk still reads no row past its
// limit: each record comes twice in a row here, so the folder stands at twice the accepted rows.
TEST_F(Listing, DroppedRowsDoNotMakeAChunkReadPastItsLimit) {
  class TwiceNode : public ScriptedNode {
   public:
    TwiceNode() : ScriptedNode(120000, 10) {}
    int ListNextNB(TStrings& row) override {
      const int r = ScriptedNode::ListNextNB(row);
      if (r == 1) row.SetString(0, IntToStr((StrToIntDef(row[0], 0) + 1) / 2));
      return r;
    }
  } node;
  std::vector<int> readAfterChunk;
  ListingUser user({"はい(&Y)", "はい(&Y)"}, [&](TGetListDlg* d) {
    EXPECT_TRUE(PumpUntil([d] { return d->ModalResult() != mrNone; }, 60000));
    readAfterChunk.push_back(node.Next);
    return true;
  });
  SelectAlone(&node);
  // 49,994 records after the inline 5 (the 49,999th record's first row is the 99,997th), then
  // the probe's duplicate; one record for a limit already reached; the rest.
  EXPECT_EQ(readAfterChunk, (std::vector<int>{99997, 99999, 120000}));
  EXPECT_EQ(user.questions, (std::vector<std::string>{"検索データが 49999 を越えました。続けますか？",
                                                      "検索データが 50000 を越えました。続けますか？"}));
  ASSERT_EQ(FormMain->ListRows->Count(), 60000);
  for (int i = 0; i < 60000; ++i) ASSERT_EQ(FormMain->ListRows->Row(i)->Strings(0), IntToStr(i + 1)) << i;
  EXPECT_EQ(SummaryCount(), 60000);
  EndListing();
}

// While the worker runs, the grid and the summary see only the rows listed before the chunk;
// "中止" stops it without a question; continuing shows the next rows in place of the shown ones,
// and the summary counts every row listed, all of which stay alive until a fresh listing.
TEST_F(Listing, AbortThenContinueCountsEveryRowAndKeepsThemAlive) {
  ScriptedNode node(120000, 10);
  node.StallAt = 30000;
  // A loaded machine may not read the rest inline on continuing: its chunks then run to their
  // end and go on.
  bool first = true;
  ListingUser user({"はい(&Y)", "はい(&Y)"}, [&](TGetListDlg* d) {
    if (!first) return true;
    first = false;
    EXPECT_TRUE(PumpUntil([&] { return node.Next.load() == 30000; }, 60000));
    EXPECT_EQ(FormMain->ListRows->Count(), 10);
    EXPECT_EQ(FormMain->StringGridEx1->RowCount(), 11);
    FormMain->StringGridEx1->PaintToImage();  // a repaint meanwhile reads only the rows listed
    EXPECT_TRUE(PressButton(d, SJ("中止")));
    EXPECT_TRUE(d->Aborted);
    EXPECT_FALSE(d->OKBtn->Enabled());
    return true;
  });
  SelectAlone(&node);
  EXPECT_EQ(user.dialogs, 1);
  EXPECT_TRUE(user.questions.empty());
  EXPECT_TRUE(FormMain->OpeContinue->Enabled());
  EXPECT_EQ(FormMain->ListRows->Count(), 30001);  // the probe reads one more
  EXPECT_EQ(StatusCount(), 30001);
  EXPECT_EQ(SummaryCount(), 30001);

  node.StallAt = -1;
  FormMain->OpeContinueExecute(nullptr);  // the rest, inline or in chunks
  EXPECT_EQ(node.Starts, 1);
  EXPECT_EQ(FormMain->ListRows->Count(), 120000 - 30001);
  EXPECT_EQ(FormMain->ListRows->Row(0)->Strings(0), "30002");
  EXPECT_EQ(FormMain->SearchedCount, 120000);
  EXPECT_EQ(StatusCount(), 120000);
  EXPECT_EQ(SummaryCount(), 120000);
  EXPECT_EQ(node.Ends, 1);  // read to its end
  std::set<const void*> alive;
  for (int i = 0; i < FormMain->ListRows->Count(); ++i) alive.insert(FormMain->ListRows->Items(i));
  ASSERT_NE(FormMain->KeptRows, nullptr);
  for (int i = 0; i < FormMain->KeptRows->Count(); ++i) alive.insert(FormMain->KeptRows->Items(i));
  TList* members = FormMain->Summary->GetRecordGroup(FormMain->SumRows->Row(0));
  ASSERT_NE(members, nullptr);
  ASSERT_EQ(members->Count(), 120000);
  for (int i = 0; i < members->Count(); ++i) ASSERT_EQ(alive.count(members->Items(i)), 1u) << i;

  // A fresh listing lets the kept rows go, after the summary has.
  ScriptedNode other(5, 5);
  SelectAlone(&other);
  EXPECT_EQ(FormMain->KeptRows->Count(), 0);
  EXPECT_EQ(SummaryCount(), 5);
  EndListing();
}

// "中止" while the folder is being read: every row the folder handed out is listed once, those
// still on their way to the worker included, and a continuation lists the rest, so that the rows
// of both together are each record once.
TEST_F(Listing, AnAbortWhileReadingListsEveryRowReadOnce) {
  class SlowNode : public ScriptedNode {
   public:
    SlowNode() : ScriptedNode(200000, 10) {}
    int ListNextNB(TStrings& row) override {
      if (Slow && !IsMainThread()) std::this_thread::sleep_for(std::chrono::microseconds(20));
      return ScriptedNode::ListNextNB(row);
    }
    std::atomic<bool> Slow{true};
  } node;
  bool first = true;
  ListingUser user(std::vector<const char*>(8, "はい(&Y)"), [&](TGetListDlg* d) {
    if (!first) return true;
    first = false;
    EXPECT_TRUE(PumpUntil([&] { return node.Next.load() >= 2000; }, 60000));
    PressButton(d, SJ("中止"));
    node.Slow = false;
    return true;
  });
  SelectAlone(&node);
  const int read = node.Next;
  EXPECT_TRUE(FormMain->OpeContinue->Enabled());
  ASSERT_EQ(FormMain->ListRows->Count(), read);  // the probe's row too
  for (int i = 0; i < read; ++i) ASSERT_EQ(FormMain->ListRows->Row(i)->Strings(0), IntToStr(i + 1)) << i;

  FormMain->OpeContinueExecute(nullptr);
  EXPECT_EQ(FormMain->SearchedCount, 200000);
  std::vector<int> ids;
  for (CStringsList* list : {FormMain->KeptRows.get(), FormMain->ListRows})
    for (int i = 0; i < list->Count(); ++i) ids.push_back(StrToIntDef(list->Row(i)->Strings(0), 0));
  std::sort(ids.begin(), ids.end());
  ASSERT_EQ(ids.size(), 200000u);
  for (int i = 0; i < 200000; ++i) ASSERT_EQ(ids[size_t(i)], i + 1);
  EndListing();
}

// Closing the progress dialog through its title bar stops the worker too; the question follows.
TEST_F(Listing, ClosingTheProgressDialogStopsTheWorker) {
  ScriptedNode node(120000, 0);
  node.StallAt = 20000;
  int rounds = 0;
  ListingUser user({}, [&](TGetListDlg* d) {
    if (++rounds > 1) return true;  // the close was refused: the dialog comes back
    EXPECT_TRUE(PumpUntil([&] { return node.Next.load() == 20000; }, 60000));
    d->Close();  // the title bar's close box
    return false;
  });
  SelectAlone(&node);
  EXPECT_EQ(rounds, 2);
  EXPECT_EQ(user.dialogs, 1);
  EXPECT_EQ(user.questions, std::vector<std::string>{"検索データが 20001 を越えました。続けますか？"});
  EXPECT_TRUE(FormMain->OpeContinue->Enabled());
  EndListing();
}

namespace {

// The shown texts of each listed row, "a|b|c", in the grid's column order.
std::vector<std::string> ShownRows() {
  std::vector<std::string> out;
  TStringGridEx* grid = FormMain->StringGridEx1;
  CCapInfoList* columns = nullptr;
  CStringsList* rows = nullptr;
  if (!GetGridRows(grid, columns, rows)) return out;
  for (int r = 0; r < rows->Count(); ++r) {
    std::string line;
    for (int c = 0; c < grid->ColCount(); ++c) {
      const auto* column = static_cast<const CCapInfo*>(grid->Objects(c, 0));
      line += (c ? "|" : "") + SjisToUtf8((*rows->Row(r))[column->Position]);
    }
    out.push_back(line);
  }
  return out;
}

std::vector<std::string> Headings() {
  std::vector<std::string> out;
  for (int c = 0; c < FormMain->StringGridEx1->ColCount(); ++c)
    out.push_back(SjisToUtf8(FormMain->StringGridEx1->Cells(c, 0)));
  return out;
}

}  // namespace

// A table folder, the condition folder below it, and both with Ctrl (the rows of the second
// added, those already listed dropped); the counts in the status bar, the diagram's condition,
// and the sort order kept across listings of the same columns.
TEST_F(MainWindowTest, SelectingFoldersListsTheirRowsAndSetsTheStatusTexts) {
  WorkFolder work;  // 山田 of 営業, 120
  work.Insert(SJ("顧客"), {{"name", SJ("佐藤")}, {"unit", SJ("総務")}, {"amount", "80"}});
  work.Insert(SJ("顧客"), {{"name", SJ("鈴木")}, {"unit", SJ("営業")}, {"amount", "200"}});
  work.WriteSettings("");  // the folder file is read beside the settings file
  UserScript user;
  StartedProgram program({work.Base()});
  TTreeNode* table = FormMain->TreeView1->Items()->GetFirstNode()->GetFirstChild();
  ASSERT_NE(table, nullptr);
  auto* tableFolder = static_cast<CDbFolder*>(table->Data);
  tableFolder->Expand();
  ASSERT_EQ(tableFolder->Children.Count(), 1);
  CDbFolder* salesFolder = tableFolder->Children.Get(0);
  TTreeNode* sales = FormMain->TreeView1->Items()->AddChildObject(table, salesFolder->Name, salesFolder);

  SelectAlone(tableFolder, table);
  EXPECT_EQ(Headings(), (std::vector<std::string>{"name", "unit", "amount"}));
  EXPECT_EQ(ShownRows(), (std::vector<std::string>{"山田|営業|120", "佐藤|総務|80", "鈴木|営業|200"}));
  EXPECT_EQ(StatusCount(), 3) << Status(1);
  EXPECT_EQ(FormMain->ListedNode, table);
  EXPECT_EQ(FormMain->DiagramBox->GetExpression(), "");

  SelectAlone(salesFolder, sales);
  EXPECT_EQ(ShownRows(), (std::vector<std::string>{"山田|営業|120", "鈴木|営業|200"}));
  EXPECT_EQ(StatusCount(), 2) << Status(1);
  EXPECT_NE(SjisToUtf8(FormMain->DiagramBox->GetExpression()).find("営業"), std::string::npos);

  // Ctrl held while the table folder is added: its rows join the shown ones once each.
  FormMain->Tv1NodeList->Nodes->Add(table);
  FormMain->AddingToSelection = true;
  FormMain->RefreshListView(table, false);
  FormMain->AddingToSelection = false;
  EXPECT_EQ(ShownRows(), (std::vector<std::string>{"山田|営業|120", "鈴木|営業|200", "佐藤|総務|80"}));
  EXPECT_EQ(StatusCount(), 3) << Status(1);
  EXPECT_EQ(FormMain->ListedNode, sales);  // the listing stays on the first selected node

  // Sorted by amount downwards; the order stays for the next listing of the same columns.
  CCapInfoList* columns = FormMain->ListRows->ColumnList;
  CCapInfo* amount = columns->GetItem(columns->IndexOfCaption("amount"));
  amount->Ascending = false;
  FormMain->SortColumns->Add(amount);
  SelectAlone(tableFolder, table);
  EXPECT_EQ(ShownRows(), (std::vector<std::string>{"鈴木|営業|200", "山田|営業|120", "佐藤|総務|80"}));
  EXPECT_EQ(Status(2), "ソート: amount▽");
  SelectAlone(salesFolder, sales);  // the table's columns: the sort stays
  EXPECT_EQ(ShownRows(), (std::vector<std::string>{"鈴木|営業|200", "山田|営業|120"}));
  EXPECT_EQ(Status(2), "ソート: amount▽");
  amount->Ascending = true;

  // No node, or a node without a folder: an empty grid, an empty diagram, nothing listed.
  FormMain->Tv1NodeList->Nodes->Clear();
  FormMain->RefreshListView(nullptr, false);
  EXPECT_EQ(FormMain->ListedNode, nullptr);
  EXPECT_TRUE(ShownRows().empty());
  EXPECT_EQ(FormMain->DiagramBox->GetExpression(), "");
  EXPECT_TRUE(user.shown.empty());
}

TEST_F(Listing, SortOrderTextShowsEachColumnsDirectionInEffect) {
  struct Case {
    const char* caption;
    bool ascending;
    bool flipped;
  };
  const Case columns[] = {{"a", true, false}, {"b", true, true}, {"c", false, false}, {"", false, true}};
  std::vector<std::unique_ptr<CCapInfo>> owned;
  for (const Case& c : columns) {
    owned.emplace_back(Column(c.caption, true, c.caption));
    owned.back()->Caption = c.caption;
    owned.back()->Ascending = c.ascending;
    if (c.flipped) owned.back()->Flags |= CI_SORT_FLIPPED;
    FormMain->SortColumns->Add(owned.back().get());
  }
  FormMain->SortColumns->Add(nullptr);
  FormMain->SortColumns->Add(owned[0].get());  // after the end mark: not shown
  EXPECT_EQ(SjisToUtf8(FormMain->SortOrderText()), "ソート: a△  b▽  c▽  △");
  FormMain->SortColumns->TList::Clear();
  EXPECT_EQ(SjisToUtf8(FormMain->SortOrderText()), "ソート: ");
}

// A listing whose start reports an error: while the error box is up the grid may repaint, and it
// is no longer laid out over the rows of the listing before, which are gone.
TEST_F(Listing, AnErrorAtTheStartFindsTheGridLaidOutOverTheRowsThatExist) {
  ScriptedNode first(100, 100), failing(3, 3);
  failing.StallAt = -1;
  failing.StartError = "condition error";
  {
    ListingUser user;
    SelectAlone(&first);
  }
  ASSERT_EQ(FormMain->StringGridEx1->RowCount(), 101);
  int boxes = 0;
  ModalHandlerScope scope([&](TForm* f) {
    if (CloseAboutBox(f)) return;
    ++boxes;
    EXPECT_LE(FormMain->StringGridEx1->RowCount(), std::max(2, FormMain->ListRows->Count() + 1));
    FormMain->StringGridEx1->PaintToImage();
    f->SetModalResult(mrOk);
  });
  SelectAlone(&failing);
  EXPECT_EQ(boxes, 1);
  EXPECT_EQ(FormMain->ListRows->Count(), 3);
  EXPECT_EQ(FormMain->StringGridEx1->RowCount(), 4);
  EndListing();
}
