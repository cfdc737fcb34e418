// The display-format dialog, run through CRuleFolder::EditCapInfo with the modal handler playing
// the user, over two related tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "folders/CapEditForm.h"
#include "foundation/CvMessageUnit.h"
#include "tests/folders/FolderTestSupport.h"

namespace {

std::vector<std::string> Texts(TStrings* items) {
  std::vector<std::string> out;
  for (int i = 0; i < items->Count(); ++i) out.push_back((*items)[i]);
  return out;
}

// The entry of the item list whose text is text, clicked as the mouse does.
int ClickEntry(TFormCapEdit* d, const AnsiString& text) {
  const int i = d->CheckListBox1->Items()->IndexOf(text);
  EXPECT_GE(i, 0) << Show(text);
  if (i < 0) return i;
  const TRect r = d->CheckListBox1->ItemRect(i);
  d->CheckListBox1->PressMouse(mbLeft, ssLeft, r.Left + 40, r.Top + 2);
  d->CheckListBox1->ReleaseMouse(mbLeft, 0, r.Left + 40, r.Top + 2);
  return i;
}

void DragEntry(TListBox* list, int from, TControl* target, TPoint at) {
  const TRect r = list->ItemRect(from);
  const TPoint p{r.Left + 40, r.Top + 2};
  const TPoint q = list->ScreenToClient(target->ClientToScreen(at));
  list->PressMouse(mbLeft, ssLeft, p.x, p.y);
  list->MoveMouse(ssLeft, q.x, q.y);
  list->ReleaseMouse(mbLeft, 0, q.x, q.y);
}

void DragEntry(TListBox* list, int from, int to) {
  const TRect r = list->ItemRect(to);
  DragEntry(list, from, list, {r.Left + 40, r.Top + 2});
}

// Answers the message box with the button captioned answer and notes its text.
bool AnswerMessage(TForm* f, const char* answer, std::vector<std::string>& asked) {
  auto* box = dynamic_cast<TCvMessageDlg*>(f);
  if (!box) return false;
  asked.push_back(box->Label1->Caption());
  EXPECT_TRUE(PressButton(f, Utf8ToSjis(answer)));
  return true;
}

const AnsiString& Ext() {
  static const AnsiString prefix = SJ("__拡張項目__") + ".";
  return prefix;
}

// orders (id, item, user; user refers to users.user) ─ A (no display format of its own)
// users (user, name, dept)
// The display columns of orders also list users.name and both record-id columns; an extended
// item "total" is defined in a folder below orders.
struct CapEdit : ::testing::Test {
  void SetUp() override {
    orders = tree.AddTable("orders", {"id", "item", "user"}, {"user", "users.user"});
    users = tree.AddTable("users", {"user", "name", "dept"});
    delete orders->CapInfoList;
    orders->CapInfoList = Columns({Column("orders.id"), Column("orders.item"), Column("users.name"),
                                   Column("orders.__REC__ID__", false), Column("users.__REC__ID__", false),
                                   Column("orders.user")});
    a = orders->AddNewChild();
    a->Name = "A";
    CRuleFolder* sums = orders->AddNewChild();
    sums->CapInfoList = Columns({ExtendedItem("total", "$(orders.id)")});
    tree.root.Modified = 0;
  }

  FolderTree tree;
  CRuleFolderTbl* orders;
  CRuleFolderTbl* users;
  CRuleFolder* a;
};

}  // namespace

TEST_F(CapEdit, UpdateMakesTheTargetTheItemListInItsOrderAndPrunesWhatWentAway) {
  CCapInfo* id = orders->CapInfoList->GetItem(0);
  CRuleFolder* listed = nullptr;
  orders->OnListChanged = [&](CRuleFolder* f) { listed = f; };
  ModalHandlerScope scope([&](TForm* f) {
    auto* d = dynamic_cast<TFormCapEdit*>(f);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Texts(d->CheckListBox1->Items()),
              (std::vector<std::string>{"id", "item", "users.name", "__REC__ID__", "users.__REC__ID__", "user"}));
    EXPECT_EQ(d->Current, d->EntryInfo(0));
    ClickEntry(d, "users.name");
    d->Button2->Click();  // "==>"
    d->Button5->Click();  // "拡張項目" twice, then both dragged to the top
    d->Button5->Click();
    DragEntry(d->CheckListBox1, 5, 0);
    DragEntry(d->CheckListBox1, 6, 1);
    ClickEntry(d, "id");
    d->Edit2->SetText(SJ("番号"));
    d->CheckListBox1->SetChecked(d->CheckListBox1->Items()->IndexOf("user"), false);
    EXPECT_EQ(Texts(d->CheckListBox1->Items()),
              (std::vector<std::string>{Ext() + SJ("名前なし1"), Ext() + SJ("名前なし2"), "id", "item",
                                        "__REC__ID__", "users.__REC__ID__", "user"}));
    d->Button3->Click();  // "更新"
    d->Button4->Click();  // "閉じる"
  });
  EXPECT_EQ(orders->EditCapInfo(), 1);
  // The record id of users goes with the last column of users; the others keep their descriptors.
  EXPECT_EQ(Names(orders->CapInfoList),
            (std::vector<std::string>{Ext() + SJ("名前なし1"), Ext() + SJ("名前なし2"), "orders.id", "orders.item",
                                      "orders.__REC__ID__", "orders.user"}));
  EXPECT_EQ(orders->CapInfoList->GetItem(2), id);
  EXPECT_EQ(id->Caption, SJ("番号"));
  EXPECT_FALSE(orders->CapInfoList->GetItem(5)->Shown);
  const CCapInfo* added = orders->CapInfoList->GetItem(0);
  EXPECT_EQ(added->Caption, SJ("名前なし1"));
  EXPECT_TRUE(added->Shown);
  EXPECT_FALSE(added->Editable);
  EXPECT_TRUE(added->Flags & CI_EXTENDED);
  EXPECT_EQ(tree.root.Modified, 1);
  EXPECT_EQ(listed, orders);
}

TEST_F(CapEdit, ExtendedItemsAreNumberedFromTheFirstFreeName) {
  ModalHandlerScope scope([&](TForm* f) {
    auto* d = dynamic_cast<TFormCapEdit*>(f);
    ASSERT_NE(d, nullptr);
    const int before = d->CheckListBox1->Items()->Count();
    for (int i = 0; i < 3; ++i) d->Button5->Click();
    for (int i = 0; i < 3; ++i) {
      const CCapInfo* info = d->EntryInfo(before + i);
      const AnsiString heading = SJ("名前なし") + std::to_string(i + 1);
      EXPECT_EQ(info->Name, Ext() + heading);
      EXPECT_EQ(info->Caption, heading);
      EXPECT_TRUE(d->CheckListBox1->Checked(before + i));
    }
    EXPECT_EQ(d->CheckListBox1->ItemIndex(), 0);  // the new entries are not selected
    // With the second taken away, the next one fills the gap and then goes on after the third.
    ClickEntry(d, Ext() + SJ("名前なし2"));
    d->Button2->Click();
    d->Button5->Click();
    d->Button5->Click();
    const int n = d->CheckListBox1->Items()->Count();
    EXPECT_EQ(d->EntryInfo(n - 2)->Name, Ext() + SJ("名前なし2"));
    EXPECT_EQ(d->EntryInfo(n - 1)->Name, Ext() + SJ("名前なし4"));
    d->Button4->Click();
  });
  EXPECT_EQ(orders->EditCapInfo(), 0);
  EXPECT_EQ(orders->CapInfoList->Count(), 6);  // closed without "更新": nothing written
}

TEST_F(CapEdit, NoWritesTheInheritedListYesGivesTheFolderItsOwnFormat) {
  orders->CsvFilterIndex = 2;
  orders->CsvDir = "/in";
  orders->CardPrintSettings = "card";
  orders->SumCardPrintSettings = "sum card";
  orders->CardLayout = new TStringList;
  orders->CardLayout->Add("line 1");
  orders->CardLayout->Add("line 2");
  orders->SumCardLayout = new TStringList;  // empty: stays none in a copy
  delete orders->SumCapInfoList;
  orders->SumCapInfoList = Columns({Column("orders.item")});
  int listed = 0;
  a->OnListChanged = [&](CRuleFolder*) { ++listed; };

  std::vector<std::string> asked;
  const char* const answers[] = {"いいえ(&N)", "キャンセル(&C)"};
  ModalHandlerScope no([&](TForm* f) {
    if (AnswerMessage(f, answers[std::min<size_t>(asked.size(), 1)], asked)) return;
    auto* d = dynamic_cast<TFormCapEdit*>(f);
    ASSERT_NE(d, nullptr);
    d->CheckListBox1->SetChecked(1, false);
    d->Button3->Click();  // asked again each time: No, then Cancel
    d->Button3->Click();
    d->Button4->Click();
  });
  EXPECT_EQ(a->EditCapInfo(), 1);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0], SJ("現在のフォルダに表示書式を設定しますか？"));
  EXPECT_EQ(a->CapInfoList, nullptr);
  EXPECT_FALSE(orders->CapInfoList->GetItem(1)->Shown);
  EXPECT_EQ(listed, 1);

  asked.clear();
  ModalHandlerScope yes([&](TForm* f) {
    if (AnswerMessage(f, "はい(&Y)", asked)) return;
    auto* d = dynamic_cast<TFormCapEdit*>(f);
    ASSERT_NE(d, nullptr);
    d->CheckListBox1->SetChecked(0, false);
    d->Button3->Click();  // asked once; the folder's own list is written after that
    d->CheckListBox1->SetChecked(2, false);
    d->Button3->Click();
    d->Button4->Click();
  });
  EXPECT_EQ(a->EditCapInfo(), 2);
  EXPECT_EQ(asked.size(), 1u);
  ASSERT_NE(a->CapInfoList, nullptr);
  EXPECT_EQ(Names(a->CapInfoList), Names(orders->CapInfoList));
  EXPECT_FALSE(a->CapInfoList->GetItem(0)->Shown);
  EXPECT_FALSE(a->CapInfoList->GetItem(2)->Shown);
  EXPECT_TRUE(orders->CapInfoList->GetItem(0)->Shown);  // the table's own list no longer changes
  EXPECT_TRUE(orders->CapInfoList->GetItem(2)->Shown);
  EXPECT_EQ(a->CsvFilterIndex, 2);
  EXPECT_EQ(a->CsvDir, "/in");
  EXPECT_EQ(a->CardPrintSettings, "card");
  EXPECT_EQ(a->SumCardPrintSettings, "sum card");
  ASSERT_NE(a->CardLayout, nullptr);
  EXPECT_NE(a->CardLayout, orders->CardLayout);
  EXPECT_EQ(a->CardLayout->Count(), 2);
  EXPECT_EQ(a->SumCardLayout, nullptr);
  ASSERT_NE(a->SumCapInfoList, nullptr);
  EXPECT_EQ(Names(a->SumCapInfoList), (std::vector<std::string>{"orders.item"}));
  EXPECT_NE(a->SumCapInfoList->GetItem(0), orders->SumCapInfoList->GetItem(0));
  EXPECT_EQ(listed, 3);
  EXPECT_EQ(tree.root.Modified, 3);
}

TEST_F(CapEdit, ControlsShowAndWriteTheDescriptorsFields) {
  CCapInfo* item = orders->CapInfoList->GetItem(1);
  item->NumberFormat = "0.000";
  item->Flags = 0x2000 | 0x10000 | 0x80;
  item->Alignment = 1;
  item->Width = 120;
  item->Ditto = false;
  item->DittoMark = "-";
  const struct {
    const char* decimals;  // typed
    int sortItem;
    bool thousands;
    const char* format;    // written
    unsigned flags;        // written
  } cases[] = {
      {"2", 3, true, "0.00", 0x3000 | 0x10000 | 0x80 | CI_THOUSANDS},
      {"0", 0, false, "0", 0x10000 | 0x80},
      {"-1", 1, false, "", 0x1000 | 0x10000 | 0x80},
  };
  bool first = true;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.decimals);
    ModalHandlerScope scope([&](TForm* f) {
      auto* d = dynamic_cast<TFormCapEdit*>(f);
      ASSERT_NE(d, nullptr);
      ClickEntry(d, "item");
      if (first) {
        EXPECT_EQ(d->UpDown2->Position(), 3);
        EXPECT_EQ(d->ComboBox2->ItemIndex(), 2);
        EXPECT_EQ(d->RadioGroup2->ItemIndex(), 1);
        EXPECT_EQ(d->UpDown1->Position(), 120);
        EXPECT_EQ(d->RadioGroup1->ItemIndex(), 1);
        EXPECT_EQ(d->Edit4->Text(), "-");
        EXPECT_TRUE(d->Edit1->ReadOnly);
        EXPECT_FALSE(d->Memo5->Visible());
        first = false;
      }
      d->Edit1->SetText("x.other");  // read-only for a column of a table: no effect
      d->Edit6->SetText(c.decimals);
      d->ComboBox2->SetItemIndex(c.sortItem);
      d->RadioGroup7->SetItemIndex(c.thousands ? 0 : 1);
      d->RadioGroup6->SetItemIndex(1);
      d->RadioGroup4->SetItemIndex(2);
      d->Button3->Click();
      d->Button4->Click();
    });
    EXPECT_EQ(orders->EditCapInfo(), 1);
    EXPECT_EQ(item->Name, "orders.item");
    EXPECT_EQ(item->NumberFormat, c.format);
    EXPECT_EQ(item->Flags, c.flags);
    EXPECT_FALSE(item->Editable);
    EXPECT_EQ(item->Type, 2);
    EXPECT_EQ(item->Expression, "");
  }
}

TEST_F(CapEdit, ExtendedItemNameAndHeading) {
  orders->CapInfoList->Add(ExtendedItem("old", "$(orders.id)"));
  ModalHandlerScope scope([&](TForm* f) {
    auto* d = dynamic_cast<TFormCapEdit*>(f);
    ASSERT_NE(d, nullptr);
    const int i = ClickEntry(d, Ext() + "old");
    EXPECT_FALSE(d->Edit1->ReadOnly);
    EXPECT_TRUE(d->Memo5->Visible());
    EXPECT_EQ(d->Memo5->Text(), "$(orders.id)");
    d->CheckListBox1->SetChecked(i, false);
    // Typed with a table part: only what follows the first dot counts; the heading follows.
    d->Edit1->SetText("x.new");
    d->Memo5->SetText("$(orders.item)");
    ClickEntry(d, "id");
    EXPECT_EQ(d->CheckListBox1->Items()->Strings(i), Ext() + "new");
    EXPECT_FALSE(d->CheckListBox1->Checked(i));
    EXPECT_EQ(d->EntryInfo(i)->Caption, "new");
    // A heading of the user's own stays when the name changes again; an empty name is refused.
    ClickEntry(d, Ext() + "new");
    d->Edit2->SetText(SJ("合計"));
    d->Edit1->SetText("newer");
    ClickEntry(d, "id");
    ClickEntry(d, Ext() + "newer");
    d->Edit1->SetText("");
    d->Button3->Click();
    d->Button4->Click();
  });
  EXPECT_EQ(orders->EditCapInfo(), 1);
  const int k = orders->CapInfoList->IndexOfName(Ext() + "newer");
  ASSERT_GE(k, 0);
  const CCapInfo* item = orders->CapInfoList->GetItem(k);
  EXPECT_EQ(item->Caption, SJ("合計"));
  EXPECT_EQ(item->Expression, "$(orders.item)");
  EXPECT_FALSE(item->Shown);
}

TEST_F(CapEdit, CandidatesComeFromRelatedTablesAndExtendedItems) {
  ModalHandlerScope scope([&](TForm* f) {
    auto* d = dynamic_cast<TFormCapEdit*>(f);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(Texts(d->ComboBox1->Items()), (std::vector<std::string>{"users", SJ("__拡張項目__")}));
    EXPECT_EQ(Texts(d->ListBox1->Items()), (std::vector<std::string>{"users.user", "users.dept"}));
    d->ListBox1->SetSelected(0, true);
    d->ListBox1->SetSelected(1, true);
    d->Button1->Click();  // "<==": both, in reverse order
    EXPECT_EQ(d->ListBox1->Items()->Count(), 0);
    const int n = d->CheckListBox1->Items()->Count();
    EXPECT_EQ(d->CheckListBox1->Items()->Strings(n - 2), "users.dept");
    EXPECT_EQ(d->CheckListBox1->Items()->Strings(n - 1), "users.user");
    EXPECT_TRUE(d->CheckListBox1->Checked(n - 1));
    EXPECT_TRUE(d->EntryInfo(n - 1)->Shown && d->EntryInfo(n - 1)->Editable);

    d->ComboBox1->UserSelect(1);
    EXPECT_EQ(Texts(d->ListBox1->Items()), (std::vector<std::string>{Ext() + "total"}));
    d->ComboBox1->UserSelect(0);
    EXPECT_EQ(d->ListBox1->Items()->Count(), 0);  // both are in the item list now

    // The folder's own columns cannot be removed, only unchecked.
    ClickEntry(d, "item");
    d->Button2->Click();
    EXPECT_EQ(d->CheckListBox1->Items()->IndexOf("item"), 1);
    ClickEntry(d, "users.name");
    d->Button2->Click();
    EXPECT_EQ(d->CheckListBox1->Items()->IndexOf("users.name"), -1);
    EXPECT_EQ(d->Current, d->EntryInfo(2));  // the entry now in its place is the one shown
    EXPECT_EQ(d->Edit1->Text(), "orders.__REC__ID__");
    d->Button4->Click();
  });
  EXPECT_EQ(orders->EditCapInfo(), 0);
  EXPECT_EQ(orders->CapInfoList->Count(), 6);
}

TEST_F(CapEdit, KeysAndDropsInTheItemList) {
  orders->CapInfoList->Add(ExtendedItem("calc", ""));
  std::vector<std::string> asked;
  const char* answer = "いいえ(&N)";
  ModalHandlerScope scope([&](TForm* f) {
    if (AnswerMessage(f, answer, asked)) return;
    auto* d = dynamic_cast<TFormCapEdit*>(f);
    ASSERT_NE(d, nullptr);
    const int n = d->CheckListBox1->Items()->Count();
    ClickEntry(d, "id");
    d->CheckListBox1->PressKey(VK_DELETE, 0);  // not an extended item: not asked, not removed
    EXPECT_TRUE(asked.empty());
    ClickEntry(d, Ext() + "calc");
    d->CheckListBox1->PressKey(VK_DELETE, 0);
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(d->CheckListBox1->Items()->Count(), n);
    answer = "はい(&Y)";
    d->CheckListBox1->PressKey(VK_DELETE, 0);
    EXPECT_EQ(d->CheckListBox1->Items()->Count(), n - 1);

    // Shift+Space: every mark becomes what the selected entry's becomes.
    ClickEntry(d, "__REC__ID__");
    d->CheckListBox1->PressKey(VK_SPACE, ssShift);
    for (int i = 0; i < n - 1; ++i) EXPECT_TRUE(d->CheckListBox1->Checked(i)) << i;
    d->CheckListBox1->PressKey(VK_SPACE, ssShift);
    for (int i = 0; i < n - 1; ++i) EXPECT_FALSE(d->CheckListBox1->Checked(i)) << i;

    // An entry dropped on the expression goes in at the caret.
    d->Button5->Click();
    ClickEntry(d, Ext() + SJ("名前なし1"));
    d->Memo5->SetText("$() + 1");
    d->Memo5->SetSelStart(2);
    DragEntry(d->CheckListBox1, 1, d->Memo5, {10, 5});
    EXPECT_EQ(d->Memo5->Text(), "$(item) + 1");
    EXPECT_EQ(d->Memo5->SelStart(), 6);
    d->Button4->Click();
  });
  EXPECT_EQ(orders->EditCapInfo(), 0);
  EXPECT_EQ(asked.size(), 2u);
  if (!asked.empty()) EXPECT_EQ(asked[0], SJ("削除します。よろしいですか？"));
}
