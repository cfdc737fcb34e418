#include <gtest/gtest.h>

#include <functional>

#include "folders/CapEditForm.h"
#include "folders/EditTableUnit.h"
#include "folders/EditTopFolderUnit.h"
#include "folders/FolCreateUnit1.h"
#include "folders/FolExpLogUnit.h"
#include "platform/Menus.h"
#include "tests/folders/FolderTestSupport.h"

namespace {

// root ─┬─ T (table folder "t": own display and summary columns, closed icon 3, card settings)
//       │   └─ A (nothing of its own)
//       │       └─ B (own display columns)
//       └─ C (nothing of its own)
struct Tree {
  Tree() {
    t = new CRuleFolderTbl(&root);
    t->Name = "T";
    t->TableName = "t";
    t->CapInfoList = Columns({Column("t.a"), Column("t.b", false)});
    t->SumCapInfoList = Columns({Column("t.a")});
    t->ClosedImage = 3;
    t->CardPrintSettings = "table print";
    t->CsvDir = "/tables";
    t->CsvFilterIndex = 2;
    root.Children.Add(t);
    a = new CRuleFolder(t);
    a->Name = "A";
    t->Children.Add(a);
    b = new CRuleFolder(a);
    b->Name = "B";
    b->CapInfoList = Columns({Column("t.b")});
    a->Children.Add(b);
    c = new CRuleFolder(&root);
    c->Name = "C";
    root.Children.Add(c);
  }
  CTopRuleFolder root;
  CRuleFolderTbl* t;
  CRuleFolder *a, *b, *c;
};

}  // namespace

TEST(FolderDefinition, InheritanceSettersCloneRemoveAndModifications) {
  struct Case {
    const char* what;
    std::function<void(Tree&)> check;
  } cases[] = {
      {"display columns come from the nearest folder that has them",
       [](Tree& x) {
         EXPECT_EQ(x.a->GetCapInfoList(), x.t->CapInfoList);
         EXPECT_EQ(x.b->GetCapInfoList(), x.b->CapInfoList);
         EXPECT_EQ(x.c->GetCapInfoList(), nullptr);
       }},
      {"summary columns are inherited on their own",
       [](Tree& x) { EXPECT_EQ(x.b->GetSumCapInfoList(), x.t->SumCapInfoList); }},
      {"icons: an index of 0 or more answers, else up to 0 closed and 1 open",
       [](Tree& x) {
         EXPECT_EQ(x.a->GetImageIndex(false), 3);
         EXPECT_EQ(x.a->GetImageIndex(true), 1);
         EXPECT_EQ(x.c->GetImageIndex(false), 0);
       }},
      {"handle and table name come from the table folder, else the root",
       [](Tree& x) {
         EXPECT_EQ(x.b->GetDbHandle(), x.t->DbHandle);
         EXPECT_EQ(x.c->GetDbHandle(), x.root.DbHandle);
         EXPECT_EQ(x.b->GetTableName(), "t");
         EXPECT_EQ(x.c->GetTableName(), "");
       }},
      {"card print settings are stored in the nearest folder with own display columns",
       [](Tree& x) {
         EXPECT_EQ(x.a->GetCardPrintSettings(), "table print");
         x.a->SetCardPrintSettings("new");
         EXPECT_EQ(x.t->CardPrintSettings, "new");
         EXPECT_EQ(x.a->CardPrintSettings, "");
         EXPECT_EQ(x.b->GetCardPrintSettings(), "");
       }},
      {"without a display format in reach nothing is stored",
       [](Tree& x) {
         x.c->SetCardPrintSettings("lost");
         x.c->SetImportDir("/lost");
         EXPECT_EQ(x.c->GetCardPrintSettings(), "");
         EXPECT_EQ(x.c->GetImportDir(), "");
         EXPECT_EQ(x.c->GetImportFilter(), 0);
         EXPECT_EQ(x.c->GetCardLayout(), nullptr);
       }},
      {"CSV settings of a folder with its own display format are its own",
       [](Tree& x) {
         EXPECT_EQ(x.a->GetImportDir(), "/tables");
         x.b->SetImportDir("/b");
         x.b->SetImportFilter(1);
         EXPECT_EQ(x.t->CsvDir, "/tables");
         EXPECT_EQ(x.b->GetImportDir(), "/b");
         EXPECT_EQ(x.a->GetImportFilter(), 2);
       }},
      {"the card layout of the format owner is made once, on first use",
       [](Tree& x) {
         TStrings* layout = x.a->GetCardLayout();
         ASSERT_NE(layout, nullptr);
         EXPECT_EQ(layout, x.t->CardLayout);
         EXPECT_EQ(x.t->GetCardLayout(), layout);
       }},
      {"cloning a table folder gives a heading folder with copied settings and sub-folders",
       [](Tree& x) {
         std::unique_ptr<CRuleFolder> copy(x.t->Clone(&x.root));
         EXPECT_EQ(copy->GetTypeName(), "");
         EXPECT_EQ(copy->Kind, FOLDER_HEADING);
         EXPECT_EQ(copy->Name, "T");
         EXPECT_EQ(copy->DbHandle, nullptr);
         EXPECT_EQ(copy->CardPrintSettings, "table print");
         ASSERT_NE(copy->CapInfoList, nullptr);
         EXPECT_NE(copy->CapInfoList, x.t->CapInfoList);
         EXPECT_EQ(Names(copy->CapInfoList), Names(x.t->CapInfoList));
         ASSERT_EQ(copy->Children.Count(), 1);
         CRuleFolder* b = copy->Children.Get(0)->Children.Get(0);
         EXPECT_EQ(b->Name, "B");
         EXPECT_EQ(b->Parent, copy->Children.Get(0));
         EXPECT_EQ(copy->Children.Get(0)->CapInfoList, nullptr);
         EXPECT_EQ(x.root.GetModified(), 0);
       }},
      {"removing a sub-folder deletes its subtree and counts one modification",
       [](Tree& x) {
         EXPECT_TRUE(x.t->RemoveChild(x.a));
         EXPECT_EQ(x.t->Children.Count(), 0);
         EXPECT_EQ(x.root.GetModified(), 1);
         EXPECT_FALSE(x.t->RemoveChild(x.c));
         EXPECT_EQ(x.root.GetModified(), 1);
       }},
      {"adding sub-folders counts one modification each",
       [](Tree& x) {
         CRuleFolder* made = x.c->AddNewChild();
         EXPECT_EQ(made->Name, SJ("名前なし"));
         EXPECT_EQ(made->Flags, 0x80);
         EXPECT_EQ(made->Parent, x.c);
         auto* adopted = new CRuleFolder(nullptr);
         EXPECT_EQ(x.c->AddChild(adopted), 1);
         EXPECT_EQ(adopted->Parent, x.c);
         EXPECT_EQ(x.root.GetModified(), 2);
         EXPECT_EQ(x.b->AddModified(-2), 0);
       }},
      {"names: owner, path",
       [](Tree& x) {
         EXPECT_EQ(x.b->GetOwnerName(), "");
         EXPECT_EQ(GetFolderPath(x.b), "/Cindervault/T/A/B");
         EXPECT_EQ(GetFolderPath(&x.root), "/Cindervault");
         EXPECT_EQ(GetFolderPath(nullptr), "");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Tree tree;
    c.check(tree);
  }
}

TEST(FolderDefinition, FolderOutsideATreeAnswersNothing) {
  CRuleFolder lone(nullptr);
  TStringList list;
  EXPECT_EQ(lone.AddModified(1), 0);
  EXPECT_EQ(lone.GetSharedList(), nullptr);
  EXPECT_EQ(lone.GetTableList(list), 0);
  EXPECT_FALSE(lone.ImportFile(nullptr, "x.csv", nullptr));
  EXPECT_EQ(lone.NextChunkRow(list), -1);
  EXPECT_EQ(lone.MakeJoinCondition_a("a", "b"), "");
  EXPECT_TRUE(lone.Lock());
}

TEST(FolderDefinition, FolderDialogsRunThroughTheModalHandler) {
  Tree tree;
  struct Seen {
    std::string cls;
    int mode;
    CRuleFolder* folder;
  };
  std::vector<Seen> seen;
  ModalHandlerScope scope([&](TForm* f) {
    auto* d = dynamic_cast<TFolForm*>(f);
    ASSERT_NE(d, nullptr);
    const char* cls = dynamic_cast<TFolExpLogDlg*>(d) ? "enum" : dynamic_cast<TFolLogiDlg*>(d) ? "cond" : "head";
    seen.push_back({cls, d->EditMode, d->Folder});
    d->UpdateCount = 1;
    d->SetModalResult(mrOk);
  });
  EXPECT_EQ(tree.a->CreateChildFolder(1), 1);
  EXPECT_EQ(tree.a->CreateChildFolder(2), 1);
  EXPECT_EQ(tree.a->CreateChildFolder(3), 1);
  CRuleFolder* changed = nullptr;
  tree.b->OnTreeChanged = [&](CRuleFolder* f) { changed = f; };
  tree.b->Kind = FOLDER_ENUMERATION;
  EXPECT_EQ(tree.b->EditFolder(), 1);
  EXPECT_EQ(changed, tree.b);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].cls, "head");
  EXPECT_EQ(seen[1].cls, "cond");
  EXPECT_EQ(seen[2].cls, "enum");
  EXPECT_EQ(seen[2].mode, 0);
  EXPECT_EQ(seen[2].folder, tree.a);
  EXPECT_EQ(seen[3].cls, "enum");
  EXPECT_EQ(seen[3].mode, 1);
}

TEST(FolderDefinition, NoHandleInReachRefusesTheDialogs) {
  CRuleFolder lone(nullptr);
  MessageCatcher messages;
  EXPECT_EQ(lone.CreateChildFolder(1), -1);
  EXPECT_EQ(lone.EditFolder(), -1);
  ASSERT_EQ(messages.texts.size(), 2u);
  EXPECT_EQ(messages.texts[0], SJ("作成できません。"));
  EXPECT_EQ(messages.texts[1], SJ("編集できません。"));
  EXPECT_EQ(lone.EditCapInfo(), -1);  // no display format: no dialog, no message
  EXPECT_EQ(messages.texts.size(), 2u);
}

TEST(FolderDefinition, DisplayFormatDialogGetsTheFolderAndTheOwnersColumns) {
  Tree tree;
  TFormCapEdit* dialog = nullptr;
  AnsiString caption;
  CRuleFolder* folder = nullptr;
  CCapInfoList* list = nullptr;
  ModalHandlerScope scope([&](TForm* f) {
    dialog = dynamic_cast<TFormCapEdit*>(f);
    ASSERT_NE(dialog, nullptr);
    caption = dialog->Caption();
    folder = dialog->Folder;
    list = dialog->TargetList;
    dialog->UpdateCount = 2;
    dialog->SetModalResult(mrOk);
  });
  EXPECT_EQ(tree.a->EditCapInfo(), 2);
  EXPECT_EQ(folder, tree.a);
  EXPECT_EQ(list, tree.t->CapInfoList);
  EXPECT_EQ(caption, SJ("表示書式設定 - /Cindervault/T/A"));
}

TEST(FolderDefinition, RootMenuAndItsCommands) {
  Tree tree;
  TPopupMenu* menu = tree.root.PopupFolderMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(tree.t->PopupFolderMenu(), nullptr);
  EXPECT_EQ(tree.a->PopupFolderMenu(), nullptr);
  const struct {
    const char* caption;
    int tag;
    bool enabled;
  } expected[] = {{"表作成", 1, true}, {"編集", 2, true}, {"-", -1, true}, {"表定義の書き出し", 4, false}, {"表定義の読み込み", 3, false}};
  ASSERT_EQ(menu->Items()->Count(), 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(menu->Items()->Items(i)->Caption(), Utf8ToSjis(expected[i].caption)) << i;
    EXPECT_EQ(menu->Items()->Items(i)->Tag, expected[i].tag) << i;
    EXPECT_EQ(menu->Items()->Items(i)->Enabled, expected[i].enabled) << i;
  }

  // "編集": the top-folder dialog; OK renames the root and its node, Cancel changes nothing.
  CRuleFolder* changed = nullptr;
  tree.root.OnTreeChanged = [&](CRuleFolder* f) { changed = f; };
  int answer = mrCancel;
  ModalHandlerScope scope([&](TForm* f) {
    auto* d = dynamic_cast<TEditTopFolderDlg*>(f);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->NameEdit->Text(), tree.root.Name);
    d->NameEdit->SetText("Vault");
    d->ListBox1->Items()->Exchange(0, 1);
    d->SetModalResult(answer);
  });
  menu->Items()->Items(1)->Click();
  EXPECT_EQ(tree.root.Name, "Cindervault");
  EXPECT_EQ(tree.root.Children.Get(0), tree.t);
  EXPECT_EQ(changed, nullptr);
  answer = mrOk;
  menu->Items()->Items(1)->Click();
  EXPECT_EQ(tree.root.Name, "Vault");
  EXPECT_EQ(tree.root.RootNode->Name, "Vault");
  EXPECT_EQ(tree.root.Children.Get(0), tree.c);
  EXPECT_EQ(tree.root.GetModified(), 1);
  EXPECT_EQ(changed, &tree.root);
}

TEST(FolderDefinition, TableDefinitionFilesAreRefused) {
  MessageCatcher messages;
  EXPECT_FALSE(ReadTableDefinitionFile("x.TLD"));
  WriteTableDefinitionFile();
  ASSERT_EQ(messages.texts.size(), 2u);
  EXPECT_EQ(messages.texts[0], SJ("表定義の読み込みはできません。"));
  EXPECT_EQ(messages.texts[1], SJ("表定義の書き出しはできません。"));
}
