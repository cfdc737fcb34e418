// The heading, condition and enumeration folder dialogs, run through their openers with the
// modal handler playing the user.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "folders/CondUnit.h"
#include "folders/FolCreateUnit1.h"
#include "folders/FolExpLogUnit.h"
#include "platform/ImgList.h"
#include "tests/folders/FolderTestSupport.h"

namespace {

// A stand-in for the single-comparison dialog: answers what the test put in Answer.
class StandInCondDialog : public TFlowCondDialog {
 public:
  explicit StandInCondDialog(TComponent* owner) : TFlowCondDialog(owner) {}
  void SetConditionText(const AnsiString& text) override { Loaded = text; }
  AnsiString GetConditionText() override { return Answer; }
  void SetFieldList(const TStrings& fields, const AnsiString& field) override {
    Fields.clear();
    for (int i = 0; i < fields.Count(); ++i) Fields.push_back(fields[i]);
    Field = field;
  }
  AnsiString Loaded, Answer, Field;
  std::vector<std::string> Fields;
};

std::vector<std::string> Texts(TStrings* items) {
  std::vector<std::string> out;
  for (int i = 0; i < items->Count(); ++i) out.push_back((*items)[i]);
  return out;
}

std::vector<std::string> ChildNames(CRuleFolder* folder) {
  std::vector<std::string> out;
  for (int i = 0; i < folder->Children.Count(); ++i) out.push_back(folder->Children.Get(i)->Name);
  return out;
}

TPoint ItemCentre(TListBox* list, int i) {
  const TRect r = list->ItemRect(i);
  return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
}

// Drags entry from of list onto entry to, as the mouse does.
void DragEntry(TListBox* list, int from, int to) {
  const TPoint p = ItemCentre(list, from), q = ItemCentre(list, to);
  list->PressMouse(mbLeft, ssLeft, p.x, p.y);
  list->MoveMouse(ssLeft, q.x, q.y);
  list->ReleaseMouse(mbLeft, 0, q.x, q.y);
}

// root ─ T (table folder "t": display columns t.a, t.b, u.c)
//          └─ P (icons 1 / parent's, a command run from the menu and on a drop, target 2)
//               ├─ x
//               ├─ y
//               └─ z
struct FolderDialogs : ::testing::Test {
  void SetUp() override {
    icons = std::make_unique<TImageList>(nullptr);
    for (int i = 0; i < 4; ++i) {
      TBitmap picture(16, 16);
      picture.Canvas()->Brush()->SetColor(i == 0 ? clRed : clBlue);
      picture.Canvas()->FillRect(Rect(2, 2, 14, 14));
      icons->AddMasked(picture, clWhite);
    }
    FolderImageList = icons.get();
    t = new CRuleFolderTbl(&root);
    t->Name = "T";
    t->TableName = "t";
    t->CapInfoList = Columns({Column("t.a"), Column("t.b"), Column("u.c")});
    root.AddChild(t);
    p = t->AddNewChild();
    p->Name = "P";
    p->ClosedImage = 1;
    p->CommandName = SJ("通知");
    p->Description = "line 1\r\nline 2";
    p->Script = "$(a)";
    p->Flags = 0x80 | 0x200 | 0x400 | 0x1000;
    p->Target = 2;
    p->Condition = "t.a = '1'";
    for (const char* name : {"x", "y", "z"}) p->AddNewChild()->Name = name;
    root.Modified = 0;
  }
  void TearDown() override {
    FolderImageList = nullptr;
    MakeFolderCondDialog = savedCondDialog;
  }

  const std::function<TFlowCondDialog*(TComponent*)> savedCondDialog = MakeFolderCondDialog;

  std::unique_ptr<TImageList> icons;
  CTopRuleFolder root;
  CRuleFolderTbl* t;
  CRuleFolder* p;
};

}  // namespace

TEST_F(FolderDialogs, CreatesASubFolderOfEachKindFromTheParentsSettings) {
  const struct {
    int request;
    int kind;
    const char* caption;
    std::string name;  // after the handler's input
    const char* enumItem;
    int strLength, maxEnum;
  } cases[] = {
      {1, FOLDER_HEADING, "見出しフォルダの作成 - /Cindervault/T/P", SJ("名前無し"), "", -1, -1},
      {2, FOLDER_CONDITION, "条件フォルダの作成 - /Cindervault/T/P", SJ("名前無し"), "", -1, -1},
      {3, FOLDER_ENUMERATION, "列挙フォルダの作成 - /Cindervault/T/P", "b", "t.b", 4, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caption);
    ModalHandlerScope scope([&](TForm* f) {
      auto* d = dynamic_cast<TFolForm*>(f);
      ASSERT_NE(d, nullptr);
      EXPECT_EQ(d->Caption(), Utf8ToSjis(c.caption));
      EXPECT_EQ(d->Button1->Caption(), SJ("作成"));
      EXPECT_TRUE(d->Button2->Default);
      EXPECT_FALSE(d->ListBox1->Visible());
      EXPECT_EQ(d->ListBox1->Items()->Count(), 0);
      EXPECT_EQ(d->Image0CB->Items()->Count(), 5);  // "省略値" and four icons
      EXPECT_EQ(d->Image0CB->ItemIndex(), 2);       // the parent's icon 1
      EXPECT_EQ(d->Image1CB->ItemIndex(), 0);       // the parent's -1
      EXPECT_EQ(d->ComboBox1->Visible(), c.kind == FOLDER_ENUMERATION);
      EXPECT_EQ(Texts(d->ComboBox1->Items()), (std::vector<std::string>{"a", "b", "u.c"}));
      if (c.kind == FOLDER_ENUMERATION) {
        EXPECT_EQ(d->ComboBox1->Text(), "a");
        d->ComboBox1->UserSelect(1);
        d->Edit3->SetText("4");
      }
      ASSERT_TRUE(PressButton(f, SJ("作成")));
    });
    EXPECT_EQ(p->CreateChildFolder(c.request), 1);
    ASSERT_EQ(p->Children.Count(), 4);
    CRuleFolder* made = p->Children.Get(3);
    EXPECT_EQ(made->Name, c.name);
    EXPECT_EQ(made->Kind, c.kind);
    EXPECT_EQ(made->Condition, "");
    EXPECT_EQ(made->EnumItem, c.enumItem);
    EXPECT_EQ(made->StrLength, c.strLength);
    EXPECT_EQ(made->MaxEnumCount, c.maxEnum);
    EXPECT_EQ(made->MaxSearchCount, -1);
    EXPECT_EQ(made->Group, "");
    EXPECT_EQ(made->ClosedImage, 1);
    EXPECT_EQ(made->OpenImage, -1);
    EXPECT_EQ(made->CommandName, p->CommandName);
    EXPECT_EQ(made->Description, p->Description);
    EXPECT_EQ(made->Script, p->Script);
    EXPECT_EQ(made->Flags, 0x80 | 0x200 | 0x400);  // the run bits from the parent, its own others
    EXPECT_EQ(made->Target, 2);
    EXPECT_EQ(root.Modified, 2);  // the new child and the write
    p->RemoveChild(made);
    root.Modified = 0;
  }
}

TEST_F(FolderDialogs, EditReadsAndWritesEachKindAndKeepsLockedControls) {
  const struct {
    int kind;
    const char* caption;
    bool updateIsDefault;
    const char* enumItem;   // written
    int strLength, maxEnum;  // written
    const char* condition;  // written
  } cases[] = {
      {FOLDER_HEADING, "見出しフォルダ - /Cindervault/T/P", false, "", -1, -1, ""},
      {FOLDER_CONDITION, "条件フォルダ - /Cindervault/T/P", true, "", -1, -1, "t.a = '1'"},
      {FOLDER_ENUMERATION, "列挙フォルダ - /Cindervault/T/P", false, "u.c", 5, 20, "t.a = '1'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.caption);
    p->Kind = c.kind;
    p->Name = "P";
    p->EnumItem = "u.c";
    p->StrLength = 5;
    p->MaxEnumCount = 20;
    p->MaxSearchCount = 300;
    p->Group = "g";
    p->LockMask = 0x101;
    p->ClosedImage = 9;  // more than the icon list holds
    p->OpenImage = -1;
    p->Condition = "t.a = '1'";
    CRuleFolder* changed = nullptr;
    p->OnTreeChanged = [&](CRuleFolder* f) { changed = f; };
    ModalHandlerScope scope([&](TForm* f) {
      auto* d = dynamic_cast<TFolForm*>(f);
      ASSERT_NE(d, nullptr);
      EXPECT_EQ(d->Caption(), Utf8ToSjis(c.caption));
      EXPECT_EQ(d->Button1->Caption(), SJ("更新"));
      EXPECT_EQ(d->Button1->Default, c.updateIsDefault);
      EXPECT_EQ(d->Button2->Default, !c.updateIsDefault);
      EXPECT_EQ(d->Edit1->Text(), "P");
      EXPECT_EQ(d->ComboBox1->Text(), "u.c");
      EXPECT_EQ(d->UpDown1->Position(), 5);
      EXPECT_EQ(d->UpDown2->Position(), 20);
      EXPECT_EQ(d->UpDown3->Position(), 300);
      EXPECT_EQ(d->ComboBox2->Text(), "g");
      EXPECT_EQ(d->Image0CB->ItemIndex(), -1);
      EXPECT_EQ(d->Image1CB->ItemIndex(), 0);
      EXPECT_EQ(d->Image1CB->Text(), SJ("省略値"));
      EXPECT_EQ(Texts(d->ListBox1->Items()), (std::vector<std::string>{"x", "y", "z"}));
      // 0x101: the name and the order are locked, the rest is not.
      EXPECT_FALSE(d->Edit1->Enabled());
      EXPECT_FALSE(d->ListBox1->Enabled());
      for (TControl* open : std::initializer_list<TControl*>{d->ComboBox1, d->Edit3, d->Edit5, d->Image0CB, d->Memo2})
        EXPECT_TRUE(open->Enabled());
      DragEntry(d->ListBox1, 2, 0);  // a locked list does not move
      EXPECT_EQ(Texts(d->ListBox1->Items()), (std::vector<std::string>{"x", "y", "z"}));

      d->Edit5->SetText("40");
      d->CheckBox1->SetChecked(true);
      d->CheckBox3->SetChecked(false);
      d->RadioGroup3->SetItemIndex(1);
      d->Edit6->SetText(SJ("集計"));
      ASSERT_TRUE(PressButton(f, SJ("更新")));
    });
    EXPECT_EQ(p->EditFolder(), 1);
    EXPECT_EQ(changed, p);
    EXPECT_EQ(p->Name, "P");
    EXPECT_EQ(p->Kind, c.kind);
    EXPECT_EQ(p->EnumItem, c.enumItem);
    EXPECT_EQ(p->StrLength, c.strLength);
    EXPECT_EQ(p->MaxEnumCount, c.maxEnum);
    EXPECT_EQ(p->MaxSearchCount, 40);
    EXPECT_EQ(p->Group, "g");
    EXPECT_EQ(p->ClosedImage, 9);
    EXPECT_EQ(p->OpenImage, -1);
    EXPECT_EQ(p->Flags, 0x80 | 0x100 | 0x200 | 0x1000);
    EXPECT_EQ(p->Target, 1);
    EXPECT_EQ(p->CommandName, SJ("集計"));
    EXPECT_EQ(p->Description, "line 1\r\nline 2");
    EXPECT_EQ(p->Condition, c.condition);
    EXPECT_EQ(p->LockMask, 0x101);
    EXPECT_EQ(ChildNames(p), (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_EQ(root.Modified, 1);
    root.Modified = 0;
  }
}

TEST_F(FolderDialogs, DraggedOrderIsWrittenOnlyByUpdate) {
  p->Kind = FOLDER_HEADING;
  const char* button = "閉じる";
  ModalHandlerScope scope([&](TForm* f) {
    auto* d = dynamic_cast<TFolForm*>(f);
    ASSERT_NE(d, nullptr);
    DragEntry(d->ListBox1, 2, 0);
    EXPECT_EQ(Texts(d->ListBox1->Items()), (std::vector<std::string>{"z", "x", "y"}));
    EXPECT_EQ(d->ListBox1->ItemIndex(), 0);
    DragEntry(d->ListBox1, 1, 1);  // onto itself: nothing
    EXPECT_EQ(Texts(d->ListBox1->Items()), (std::vector<std::string>{"z", "x", "y"}));
    d->Image1CB->SetItemIndex(3);
    ASSERT_TRUE(PressButton(f, Utf8ToSjis(button)));
  });
  bool changed = false;
  p->OnTreeChanged = [&](CRuleFolder*) { changed = true; };
  EXPECT_EQ(p->EditFolder(), 0);
  EXPECT_FALSE(changed);
  EXPECT_EQ(ChildNames(p), (std::vector<std::string>{"x", "y", "z"}));
  EXPECT_EQ(p->OpenImage, -1);
  EXPECT_EQ(root.Modified, 0);

  button = "更新";
  EXPECT_EQ(p->EditFolder(), 1);
  EXPECT_TRUE(changed);
  EXPECT_EQ(ChildNames(p), (std::vector<std::string>{"z", "x", "y"}));
  EXPECT_EQ(p->OpenImage, 2);
}

TEST_F(FolderDialogs, OrderListScrollsWhileAnEntryIsDraggedAboveOrBelowIt) {
  TForm form(Application);
  auto* list = new TListBox(&form);
  list->SetParent(&form);
  list->SetBounds(0, 0, 100, 5 * list->ItemHeight() + 4);
  for (int i = 0; i < 30; ++i) list->Items()->Add(std::to_string(i));
  list->SetTopIndex(10);
  const int h = list->Height();
  int last = 0;
  const struct {
    int y;
    int top;
    int last;
  } steps[] = {
      {h + 10, 10, h + 10},  // the first position below only sets the mark
      {h + 12, 10, h + 10},  // less than 3 pixels further: nothing
      {h + 13, 11, h + 13},  // 3 further down: one line down
      {h + 11, 11, h + 11},  // back up: only the mark follows
      {h + 20, 12, h + 20},
  };
  for (const auto& s : steps) {
    AutoScrollDraggedList(list, s.y, last);
    EXPECT_EQ(list->TopIndex(), s.top) << s.y;
    EXPECT_EQ(last, s.last) << s.y;
  }
  last = 0;
  for (int y : {-5, -8, -11, -9, -12}) AutoScrollDraggedList(list, y, last);
  EXPECT_EQ(list->TopIndex(), 9);  // -8, -11 and -12 each went 3 further up; -9 only moved the mark
}

TEST_F(FolderDialogs, AnUneditedConditionKeepsItsTextAnEditedOneIsWritten) {
  // Texts the diagram shows but would write back otherwise: the stored text must stay as it is.
  const char* const unedited[] = {
      "(A = 1 OR B = 2)",
      "A = 1  AND B = 2   ",
      "A = today() AND B = 2",
      "t.a LIKE 'x%' AND (t.b = 1 OR ((t.b = 2)))",
      "NOT (A = 1 OR B = 2)",
  };
  p->Kind = FOLDER_CONDITION;
  for (const char* text : unedited) {
    p->Condition = text;
    ModalHandlerScope scope([&](TForm* f) { ASSERT_TRUE(PressButton(f, SJ("更新"))); });
    EXPECT_EQ(p->EditFolder(), 1);
    EXPECT_EQ(p->Condition, text);
  }

  // Edited through the diagram's commands, with the comparison dialog standing in.
  StandInCondDialog* cond = nullptr;
  MakeFolderCondDialog = [&](TComponent* owner) { return cond = new StandInCondDialog(owner); };
  p->Condition = "(A = 1 OR B = 2)";
  ModalHandlerScope scope([&](TForm* f) {
    if (f == cond) {
      f->SetModalResult(mrOk);
      return;
    }
    auto* d = dynamic_cast<TFolLogiDlg*>(f);
    ASSERT_NE(d, nullptr);
    ASSERT_NE(cond, nullptr);
    EXPECT_EQ(cond->Fields, (std::vector<std::string>{"a", "b", "u.c"}));
    const TRect box = d->FlowBox->GetRoot()->Second->Box;  // B = 2
    d->FlowBox->PaintBox()->PressMouse(mbLeft, ssLeft, box.Left + 2, box.Top + 2);
    d->FlowBox->PaintBox()->ReleaseMouse(mbLeft, 0, box.Left + 2, box.Top + 2);
    cond->Answer = "C = 3";
    d->MenuItem2->Click();  // "AND条件追加"
    // A double click edits the comparison under it.
    const TRect first = d->FlowBox->GetRoot()->First->Box;  // A = 1
    d->FlowBox->PaintBox()->PressMouse(mbLeft, ssLeft, first.Left + 2, first.Top + 2);
    d->FlowBox->PaintBox()->ReleaseMouse(mbLeft, 0, first.Left + 2, first.Top + 2);
    cond->Answer = "A = 5";
    d->FlowBox->PaintBox()->PressMouse(mbLeft, ssLeft, first.Left + 2, first.Top + 2, true);
    d->FlowBox->PaintBox()->ReleaseMouse(mbLeft, 0, first.Left + 2, first.Top + 2);
    EXPECT_EQ(cond->Loaded, "A = 1");
    ASSERT_TRUE(PressButton(f, SJ("更新")));
  });
  EXPECT_EQ(p->EditFolder(), 1);
  EXPECT_EQ(p->Condition, "A = 5 OR B = 2 AND C = 3");

  // A diagram the user emptied writes the empty condition.
  ModalHandlerScope emptying([&](TForm* f) {
    auto* d = dynamic_cast<TFolLogiDlg*>(f);
    ASSERT_NE(d, nullptr);
    for (CLgNode* leaf : {d->FlowBox->GetRoot()->First, d->FlowBox->GetRoot()->Second->First}) {
      const TRect r = leaf->Box;
      d->FlowBox->PaintBox()->PressMouse(mbLeft, ssLeft | ssCtrl, r.Left + 2, r.Top + 2);
      d->FlowBox->PaintBox()->ReleaseMouse(mbLeft, ssCtrl, r.Left + 2, r.Top + 2);
    }
    d->MenuItem4->Click();  // "削除": every selected comparison
    EXPECT_EQ(d->FlowBox->GetExpression(), "C = 3");
    const TRect last = d->FlowBox->GetRoot()->Box;
    d->FlowBox->PaintBox()->PressMouse(mbLeft, ssLeft, last.Left + 2, last.Top + 2);
    d->FlowBox->PaintBox()->ReleaseMouse(mbLeft, 0, last.Left + 2, last.Top + 2);
    d->MenuItem4->Click();
    ASSERT_TRUE(PressButton(f, SJ("更新")));
  });
  EXPECT_EQ(p->EditFolder(), 1);
  EXPECT_EQ(p->Condition, "");
}

// The folder dialog's "AND条件追加" through the real comparison dialog: it offers the folder's
// columns, and what the user builds there joins the condition.
TEST_F(FolderDialogs, TheComparisonDialogOffersTheFolderColumnsAndAddsItsComparison) {
  p->Kind = FOLDER_CONDITION;
  p->Condition = "a = '1'";
  ModalHandlerScope scope([&](TForm* f) {
    if (auto* cond = dynamic_cast<TCondDlg*>(f)) {
      std::vector<std::string> offered;
      for (int i = 0; i < cond->ComboBox1->Items()->Count(); ++i) offered.push_back((*cond->ComboBox1->Items())[i]);
      EXPECT_EQ(offered, (std::vector<std::string>{"a", "b", "u.c"}));
      cond->ComboBox1->SetText("b");
      cond->Edit2->SetText("x'y");
      cond->RadioGroup2->SetItemIndex(1);  // "等しい"
      ASSERT_TRUE(PressButton(f, "OK"));
      return;
    }
    auto* d = dynamic_cast<TFolLogiDlg*>(f);
    ASSERT_NE(d, nullptr);
    const TRect box = d->FlowBox->GetRoot()->Box;
    d->FlowBox->PaintBox()->PressMouse(mbLeft, ssLeft, box.Left + 2, box.Top + 2);
    d->FlowBox->PaintBox()->ReleaseMouse(mbLeft, 0, box.Left + 2, box.Top + 2);
    d->MenuItem2->Click();  // "AND条件追加"
    ASSERT_TRUE(PressButton(f, SJ("更新")));
  });
  EXPECT_EQ(p->EditFolder(), 1);
  EXPECT_EQ(p->Condition, "a = '1' AND b = 'x''y'");
}

TEST_F(FolderDialogs, EnumerationNameFollowsTheItemUntilTheUserNamesIt) {
  const struct {
    const char* what;
    std::vector<int> choices;  // items chosen in turn; -1 types the name "mine"
    const char* typedItem;     // typed over the last choice, or null
    const char* name;
    const char* enumItem;
  } cases[] = {
      {"follows each choice", {1, 2}, nullptr, "c", "u.c"},
      {"a typed name stays", {1, -1, 0}, nullptr, "mine", "t.a"},
      {"an item of another table is kept as typed", {1}, "u.zz", "b", "u.zz"},
      {"an item without a table gets the folder's table", {1}, "q", "b", "t.q"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ModalHandlerScope scope([&](TForm* f) {
      auto* d = dynamic_cast<TFolExpLogDlg*>(f);
      ASSERT_NE(d, nullptr);
      EXPECT_EQ(d->Edit1->Text(), SJ("名前無し"));
      for (int choice : c.choices) {
        if (choice < 0) d->Edit1->SetText("mine");
        else d->ComboBox1->UserSelect(choice);
      }
      if (c.typedItem) d->ComboBox1->SetText(c.typedItem);
      ASSERT_TRUE(PressButton(f, SJ("作成")));
    });
    EXPECT_EQ(p->CreateChildFolder(3), 1);
    CRuleFolder* made = p->Children.Get(p->Children.Count() - 1);
    EXPECT_EQ(made->Name, c.name);
    EXPECT_EQ(made->EnumItem, c.enumItem);
    p->RemoveChild(made);
  }
}
