// The relation check driven as a user does: the dialog shown modally, its buttons clicked, the
// worker's end awaited by pumping the event loop, and the records found edited in the record
// edit dialog. The fixture is a shop of two tables, orders referring to customers by number and by
// name, with a few orders whose customer does not exist.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>

#include "folders/KensaTh.h"
#include "folders/KensaUnit.h"
#include "foundation/CvMessageUnit.h"
#include "foundation/LogForm.h"
#include "foundation/StringsList.h"
#include "tests/folders/FolderTestSupport.h"
#include "views/EditForm.h"

namespace {

// What the probe handles of one table share: listings started on them (the original and its
// copies), and the rows a listing delivers before it answers "call again" for good (-1: all).
struct ProbeState {
  std::atomic<int> starts{0};
  std::atomic<int> pauseAfter{-1};
};

class ProbeHandle : public CDbHandle {
 public:
  explicit ProbeHandle(std::shared_ptr<ProbeState> state) : state_(std::move(state)) {}
  CDbHandle* Clone() override {
    auto* copy = new ProbeHandle(state_);
    for (int i = 0; i < TableNames().Count(); ++i) copy->AddTable(FileNames()[i], TableNames()[i]);
    return copy;
  }
  bool ListStart(const TStrings& conditions, const AnsiString& columns) override {
    ++state_->starts;
    delivered_ = 0;
    return CDbHandle::ListStart(conditions, columns);
  }
  int ListNextNB(TStrings& row) override {
    const int pause = state_->pauseAfter;
    if (pause >= 0 && delivered_ >= pause) return 0;
    const int r = CDbHandle::ListNextNB(row);
    if (r == 1) ++delivered_;
    return r;
  }

 private:
  std::shared_ptr<ProbeState> state_;
  int delivered_ = 0;
};

// Puts a probe handle in the place of the table folder's own.
std::shared_ptr<ProbeState> Probe(CRuleFolderTbl* folder) {
  auto state = std::make_shared<ProbeState>();
  delete folder->DbHandle;
  folder->DbHandle = new ProbeHandle(state);
  EXPECT_TRUE(folder->ResetTables());
  return state;
}

// 顧客 (番号, 氏名) and 注文 (注文番号, 顧客番号, 担当): orders 11, 13 and 14 name customers that
// do not exist, order 12 a person who is no customer. The relations' fifth entry has no partner.
struct Shop {
  explicit Shop(bool withCustomers = true, bool withOrders = true) {
    customers = tree.AddTable(SJ("顧客"), {SJ("番号:int").c_str(), SJ("氏名").c_str()});
    orders = tree.AddTable(SJ("注文"), {SJ("注文番号:int").c_str(), SJ("顧客番号:int").c_str(), SJ("担当").c_str()},
                           {SJ("顧客番号").c_str(), SJ("顧客.番号").c_str(), SJ("注文.担当").c_str(),
                            SJ("顧客.氏名").c_str(), SJ("品名").c_str()});
    if (withCustomers) {
      Customer("1", SJ("山田"));
      Customer("2", "O'Brien");
      Customer("3", SJ("佐藤"));
    }
    if (withOrders) {
      Order("10", "1", SJ("山田"));
      Order("11", "4", "O'Brien");
      Order("12", "2", "D'Arcy");
      Order("13", "4", SJ("佐藤"));
      Order("14", "9", SJ("山田"));
    }
    node.reset(NodeFor(orders, nullptr));
  }
  void Customer(const AnsiString& number, const AnsiString& name) {
    tree.Insert(SJ("顧客"), {{SJ("番号").c_str(), number}, {SJ("氏名").c_str(), name}});
  }
  void Order(const AnsiString& number, const AnsiString& customer, const AnsiString& staff) {
    tree.Insert(SJ("注文"),
                {{SJ("注文番号").c_str(), number}, {SJ("顧客番号").c_str(), customer}, {SJ("担当").c_str(), staff}});
  }
  // Every order as "id|注文番号|顧客番号|担当", read through a handle of its own.
  std::vector<std::string> StoredOrders() {
    CDbHandle handle;
    handle.AddTable(orders->DataFile, SJ("注文"));
    TStringList none;
    handle.ListStart(none, SJ("注文.__REC__ID__,注文.注文番号,注文.顧客番号,注文.担当"));
    std::vector<std::string> out;
    TStringList row;
    while (handle.ListNext(row)) out.push_back(Joined(row));
    return out;
  }

  FolderTree tree;
  CRuleFolderTbl* customers;
  CRuleFolderTbl* orders;
  std::unique_ptr<CDbFolder> node;
};

// A click on an enabled button.
void Press(TButton* button) {
  ASSERT_TRUE(button->Enabled()) << Show(button->Caption());
  button->Click();
}

// The rows the last check listed.
std::vector<std::string> Found(TKensaDlg* d) {
  std::vector<std::string> out;
  for (int i = 0; i < d->Rows()->Count(); ++i) out.push_back(Joined(*d->Rows()->Row(i)));
  return out;
}

// Checks the grid row's relation: selects it, presses 開始 and waits for the worker's end.
void Check(TKensaDlg* d, int gridRow) {
  d->StringGrid1->SetRow(gridRow);
  Press(d->StartBtn);
  EXPECT_TRUE(d->Running());
  EXPECT_FALSE(d->CloseBtn->Enabled() || d->StartBtn->Enabled() || d->EditBtn->Enabled());
  EXPECT_TRUE(d->StopBtn->Enabled());
  ASSERT_TRUE(PumpUntil([d] { return !d->Running(); }, 30000));
  EXPECT_FALSE(d->StopBtn->Enabled());
  EXPECT_TRUE(d->StartBtn->Enabled() && d->CloseBtn->Enabled());
}

std::string Counts(TKensaDlg* d) { return d->Edit1->Text() + "/" + d->Edit2->Text(); }

// Plays the user: the relation check runs script, an edit dialog runs editing, a message box is
// noted (UTF-8) and answered with OK.
class User {
 public:
  std::function<void(TKensaDlg*)> script;
  std::function<void(TEditDlg*)> editing;
  std::vector<std::string> boxes;

 private:
  void Play(TForm* form) {
    if (auto* box = dynamic_cast<TCvMessageDlg*>(form)) {
      boxes.push_back(SjisToUtf8(box->Label1->Caption()));
      PressButton(box, SJ("ＯＫ"));
    } else if (auto* d = dynamic_cast<TKensaDlg*>(form)) {
      if (script) script(d);
      if (d->ModalResult() == mrNone) Press(d->CloseBtn);
    } else if (auto* e = dynamic_cast<TEditDlg*>(form); e && editing) {
      editing(e);
    } else {
      ADD_FAILURE() << "unexpected dialog \"" << Show(form->Caption()) << "\"";
      form->SetModalResult(mrCancel);
    }
  }
  ModalHandlerScope scope_{[this](TForm* form) { Play(form); }};
};

// The record edit dialog made for the test and the one before it put back after.
class EditDialogScope {
 public:
  EditDialogScope() : saved_(EditDlg) { EditDlg = new TEditDlg(Application); }
  ~EditDialogScope() {
    delete EditDlg;
    EditDlg = saved_;
  }

 private:
  TEditDlg* saved_;
};

}  // namespace

TEST(RelationCheck, BindsToTheTableFolderAboveAndListsItsPairs) {
  Shop shop;
  auto* below = new CRuleFolder(shop.orders);
  below->Name = "B";
  shop.orders->AddChild(below);
  CDbFolder* belowNode = NodeFor(below, shop.node.get());

  User user;
  TKensaDlg d(nullptr);
  EXPECT_EQ(d.Caption(), SJ("関連付けの検査"));
  EXPECT_EQ((std::pair{d.ClientWidth(), d.ClientHeight()}), (std::pair{512, 240}));
  ASSERT_TRUE(d.SetFolder(belowNode));
  ASSERT_EQ(d.StringGrid1->RowCount(), 3);
  const char* expected[][3] = {{"　　　　　　項目", "　　　　関連付ける表", "　　　　関連付ける項目"},
                               {"顧客番号", "顧客", "番号"},
                               {"注文.担当", "顧客", "氏名"}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(SjisToUtf8(d.StringGrid1->Cells(c, r)), expected[r][c]) << c << "," << r;
  EXPECT_EQ(d.StringGrid1->Row(), 1);
  EXPECT_TRUE(user.boxes.empty());

  // The root has no table folder above it: no dialog and no message.
  CDbFolder rootNode(nullptr);
  rootNode.Folder = &shop.tree.root;
  TKensaDlg none(nullptr);
  EXPECT_FALSE(none.SetFolder(&rootNode));
  EXPECT_TRUE(user.boxes.empty());

  // A table without relations says so.
  std::unique_ptr<CDbFolder> customersNode(NodeFor(shop.customers, nullptr));
  TKensaDlg plain(nullptr);
  EXPECT_FALSE(plain.SetFolder(customersNode.get()));
  EXPECT_EQ(user.boxes, (std::vector<std::string>{"関連付けはありません"}));
}

TEST(RelationCheck, ListsExactlyTheRecordsWithoutCounterpart) {
  Shop shop;
  std::shared_ptr<ProbeState> lookups = Probe(shop.customers);
  User user;
  user.script = [&](TKensaDlg* d) {
    EXPECT_EQ(Counts(d), "/");
    EXPECT_FALSE(d->EditBtn->Enabled());
    // By number: customers 4 (twice) and 9 are missing; each value is looked up once.
    Check(d, 1);
    EXPECT_EQ(Counts(d), "5/3");
    EXPECT_EQ(Found(d), (std::vector<std::string>{"4|2|11|O'Brien", "4|4|13|" + SJ("佐藤"), "9|5|14|" + SJ("山田")}));
    EXPECT_EQ(Names(d->Columns()), (std::vector<std::string>{SJ("注文.顧客番号"), SJ("注文.__REC__ID__"),
                                                             SJ("注文.注文番号"), SJ("注文.担当")}));
    EXPECT_TRUE(d->Columns()->GetItem(0)->Editable);
    EXPECT_FALSE(d->Columns()->GetItem(1)->Editable || d->Columns()->GetItem(3)->Editable);
    EXPECT_EQ(lookups->starts.load(), 4);
    EXPECT_TRUE(d->EditBtn->Enabled());
    // By name, the pair's own column written with its table: O'Brien is found, D'Arcy is not.
    Check(d, 2);
    EXPECT_EQ(Counts(d), "5/1");
    EXPECT_EQ(Found(d), (std::vector<std::string>{"D'Arcy|3|12|2"}));
  };
  TKensaDlg d(nullptr);
  ASSERT_TRUE(d.SetFolder(shop.node.get()));
  EXPECT_EQ(d.ShowModal(), mrCancel);
  EXPECT_TRUE(user.boxes.empty());
  EXPECT_FALSE(ErrorQuiet);
}

TEST(RelationCheck, LookupConditions) {
  const struct {
    const char* value;
    int type;
    const char* condition;
  } cases[] = {
      {"12", 1, "T.c = 12"},         {"-1.5E3", 2, "T.c = -1.5E3"},  {"", 1, "T.c = ''"},
      {"", 0, "T.c = ''"},           {"O'Brien", 0, "T.c = 'O''Brien'"}, {"12", 3, "T.c = '12'"},
      {"1 OR 1=1", 1, "T.c = '1 OR 1=1'"}, {"nan", 2, "T.c = 'nan'"},
  };
  for (const auto& c : cases) EXPECT_EQ(KensaLookupCondition("T.c", c.value, c.type), c.condition) << c.value;
}

TEST(RelationCheck, StoppedPartWayKeepsWhatItFoundAndClosingWaitsForTheWorker) {
  Shop shop;
  std::shared_ptr<ProbeState> scan = Probe(shop.orders);
  scan->pauseAfter = 3;
  User user;
  int rounds = 0;
  user.script = [&](TKensaDlg* d) {
    if (++rounds == 2) {
      // The close was refused while the worker ran; the window goes once it has stopped.
      EXPECT_EQ(d->ModalResult(), mrNone);
      ASSERT_TRUE(PumpUntil([d] { return d->ModalResult() != mrNone; }, 30000));
      EXPECT_FALSE(d->Running());
      EXPECT_EQ(Counts(d), "3/1");
      return;
    }
    Press(d->StartBtn);
    // The counts show what was reached while the worker waits for more records.
    ASSERT_TRUE(PumpUntil([d] { return Counts(d) == "3/1"; }, 30000)) << Counts(d);
    Press(d->StopBtn);
    ASSERT_TRUE(PumpUntil([d] { return !d->Running(); }, 30000));
    EXPECT_EQ(Counts(d), "3/1");
    EXPECT_EQ(Found(d), (std::vector<std::string>{"4|2|11|O'Brien"}));
    EXPECT_TRUE(d->EditBtn->Enabled());

    // Closed through the window frame while checking.
    Press(d->StartBtn);
    ASSERT_TRUE(PumpUntil([d] { return Counts(d) == "3/1"; }, 30000));
    d->Close();
  };
  TKensaDlg d(nullptr);
  ASSERT_TRUE(d.SetFolder(shop.node.get()));
  EXPECT_EQ(d.ShowModal(), mrCancel);
  EXPECT_EQ(rounds, 2);
  EXPECT_FALSE(ErrorQuiet);

  // Freed while its worker runs (the program ending): the worker is stopped first.
  auto* running = new TKensaDlg(nullptr);
  ASSERT_TRUE(running->SetFolder(shop.node.get()));
  running->StartBtnClick(nullptr);
  ASSERT_TRUE(running->Running());
  delete running;
  EXPECT_FALSE(ErrorQuiet);
}

TEST(RelationCheck, EmptyAndMissingTables) {
  // Without its own table or the related table's folder the check reads nothing and counts
  // nothing; a related table without records (or without its file) has no counterpart at all.
  const struct {
    const char* what;
    bool customers, orders;
    std::function<void(Shop&)> change;
    const char* counts;
    int found;
  } cases[] = {
      {"no orders", true, false, nullptr, "0/0", 0},
      {"no customers", false, true, nullptr, "5/5", 5},
      {"both empty", false, false, nullptr, "0/0", 0},
      {"customers' file gone", true, true, [](Shop& s) { std::filesystem::remove(s.customers->DataFile); }, "5/5", 5},
      {"customers' folder gone", true, true, [](Shop& s) { s.tree.root.RemoveChild(s.customers); }, "/", 0},
      {"orders' file gone", true, true, [](Shop& s) { std::filesystem::remove(s.orders->DataFile); }, "/", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Shop shop(c.customers, c.orders);
    if (c.change) c.change(shop);
    User user;
    user.script = [&](TKensaDlg* d) {
      Check(d, 1);
      EXPECT_EQ(Counts(d), c.counts);
      EXPECT_EQ(d->Rows()->Count(), c.found);
      EXPECT_EQ(d->EditBtn->Enabled(), c.found > 0);
    };
    TKensaDlg d(nullptr);
    ASSERT_TRUE(d.SetFolder(shop.node.get()));
    d.ShowModal();
    EXPECT_TRUE(user.boxes.empty());
    EXPECT_FALSE(ErrorQuiet);
  }
}

TEST(RelationCheck, FoundRecordsEditedUnderTheLockAndCheckedAgain) {
  Shop shop;
  EditDialogScope editDialog;
  TKelmGrid* sheet = EditDlg->Sheet;
  CDbHandle other;
  other.AddTable(shop.orders->DataFile, SJ("注文"));
  int edits = 0;
  User user;
  user.script = [&](TKensaDlg* d) {
    Check(d, 1);
    ASSERT_EQ(Counts(d), "5/3");

    // Cancelled: nothing written, the rows stay.
    user.editing = [&](TEditDlg* e) {
      EXPECT_EQ(SjisToUtf8(e->Caption()), "データの編集");
      ASSERT_EQ((std::pair{sheet->ColCount(), sheet->RowCount()}), (std::pair{5, 4}));
      EXPECT_EQ(SjisToUtf8(sheet->Cells(1, 0)), "顧客番号");
      EXPECT_EQ(sheet->Cells(1, 3), "9");
      EXPECT_EQ(sheet->Cells(4, 2), SJ("佐藤"));
      EXPECT_TRUE(sheet->GridColumns()->Items(1)->CanEdit);
      EXPECT_FALSE(sheet->GridColumns()->Items(2)->CanEdit || sheet->GridColumns()->Items(4)->CanEdit);
      PressButton(e, SJ("キャンセル"));
    };
    Press(d->EditBtn);
    EXPECT_EQ(d->Rows()->Count(), 3);
    EXPECT_EQ(sheet->ColCount(), 2);

    // Confirmed without a change: nothing written, the list emptied.
    user.editing = [&](TEditDlg* e) { PressButton(e, "OK"); };
    Press(d->EditBtn);
    EXPECT_EQ(d->GetEditCount(), 0);
    EXPECT_EQ(d->Rows()->Count(), 0);
    EXPECT_EQ(Counts(d), "/");
    EXPECT_FALSE(d->EditBtn->Enabled());

    // Order 14 now names customer 3; the first OK meets another holder of the update lock.
    Check(d, 1);
    ASSERT_TRUE(other.Lock());
    int shown = 0;
    user.editing = [&](TEditDlg* e) {
      if (++shown == 1) {
        sheet->SetCells(1, 3, "3");
      } else {
        EXPECT_EQ(sheet->Cells(1, 3), "3");  // as the user left it
        other.Unlock();
      }
      PressButton(e, "OK");
    };
    Press(d->EditBtn);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(user.boxes, (std::vector<std::string>{"他で処理中なので、更新ができません。"}));
    EXPECT_EQ(d->GetEditCount(), 1);
    EXPECT_EQ(d->Rows()->Count(), 0);

    Check(d, 1);
    EXPECT_EQ(Counts(d), "5/2");
    edits = d->GetEditCount();
  };
  TKensaDlg d(nullptr);
  ASSERT_TRUE(d.SetFolder(shop.node.get()));
  d.ShowModal();
  EXPECT_EQ(edits, 1);
  EXPECT_EQ(shop.StoredOrders()[4], "5|14|3|" + SJ("山田"));
  // The edit took the lock only while it wrote.
  EXPECT_TRUE(other.Lock());
  other.Unlock();
}

TEST(RelationCheck, LineBreaksShowAsCrLfAndGoBackAsLf) {
  Shop shop;
  shop.Order("15", "2", "Ann\nLee");
  EditDialogScope editDialog;
  TKelmGrid* sheet = EditDlg->Sheet;
  User user;
  user.script = [&](TKensaDlg* d) {
    Check(d, 2);
    ASSERT_EQ(Counts(d), "6/2");
    user.editing = [&](TEditDlg* e) {
      EXPECT_EQ(sheet->Cells(1, 2), "Ann\r\nLee");
      sheet->SetCells(1, 1, "O'Brien");  // D'Arcy's order goes to a customer; Ann Lee's stays
      PressButton(e, "OK");
    };
    Press(d->EditBtn);
    EXPECT_EQ(d->GetEditCount(), 1);
    Check(d, 2);
    EXPECT_EQ(Found(d), (std::vector<std::string>{"Ann\nLee|6|15|2"}));
  };
  TKensaDlg d(nullptr);
  ASSERT_TRUE(d.SetFolder(shop.node.get()));
  d.ShowModal();
  EXPECT_EQ(shop.StoredOrders()[2], "3|12|2|O'Brien");
  EXPECT_EQ(shop.StoredOrders()[5], "6|15|2|Ann\nLee");
}
