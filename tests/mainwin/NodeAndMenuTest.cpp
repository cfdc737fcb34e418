// What the main window's parts share: tree node paths, the node that shows a folder, the column
// names of a node's folder, and copies of menu items.
#include "mainwin/MenuClone.h"
#include "mainwin/NodePath.h"
#include "platform/ComCtrls.h"
#include "platform/Menus.h"
#include "tests/mainwin/MainWindowTestSupport.h"

namespace {

// A tree view over run-time nodes of folders, as the main window shows them.
class ShownTree {
 public:
  ShownTree() : form(Application), view(new TTreeView(&form)) { view->SetParent(&form); }
  TTreeNode* Add(TTreeNode* parent, CRuleFolder* folder, const char* text = nullptr) {
    auto* node = new CDbFolder(nullptr);
    node->Folder = folder;
    nodes.Add(node);
    const AnsiString caption = text ? Utf8ToSjis(text) : folder ? folder->Name : AnsiString("?");
    return view->Items()->AddChildObject(parent, caption, node);
  }
  TForm form;
  TTreeView* view;
  CDbFolderList nodes;
};

CRuleFolder* Child(CRuleFolder* parent, const char* name) {
  auto* folder = new CRuleFolder(parent);
  folder->Name = Utf8ToSjis(name);
  parent->AddChild(folder);
  return folder;
}

}  // namespace

TEST(NodePath, PathsFromTheTop) {
  CTopRuleFolder root;
  CRuleFolder* a = Child(&root, "表");
  CRuleFolder* b = Child(a, "条件");
  ShownTree tree;
  TTreeNode* top = tree.Add(nullptr, &root);
  TTreeNode* na = tree.Add(top, a);
  TTreeNode* nb = tree.Add(na, b);
  EXPECT_EQ(NodePathText(nullptr), "");
  EXPECT_EQ(NodePathText(top), "/Cindervault");
  EXPECT_EQ(SjisToUtf8(NodePathText(na)), "/Cindervault/表");
  EXPECT_EQ(SjisToUtf8(NodePathText(nb)), "/Cindervault/表/条件");
  EXPECT_EQ(NodeRuleFolder(nb), b);
  EXPECT_EQ(NodeRuleFolder(nullptr), nullptr);
  TTreeNode* bare = tree.view->Items()->AddChild(top, "bare");
  EXPECT_EQ(NodeRuleFolder(bare), nullptr);
  EXPECT_EQ(NodeRuleFolder(tree.Add(top, nullptr)), nullptr);
}

TEST(NodePath, FindsTheNodeOfAFolder) {
  CTopRuleFolder root;
  CRuleFolder* table = Child(&root, "表");
  CRuleFolder* values = Child(table, "値");  // shown once per value, as an enumeration is
  CRuleFolder* below = Child(values, "下");
  CRuleFolder* hidden = Child(table, "未展開");
  ShownTree tree;
  TTreeNode* top = tree.Add(nullptr, &root);
  TTreeNode* nt = tree.Add(top, table);
  TTreeNode* first = tree.Add(nt, values, "A");
  TTreeNode* second = tree.Add(nt, values, "B");
  TTreeNode* underFirst = tree.Add(first, below);
  TTreeNode* underSecond = tree.Add(second, below);

  EXPECT_EQ(FindNodeOfFolder(table, nt), nt);
  EXPECT_EQ(FindNodeOfFolder(values, top), second);  // children are searched from the last
  EXPECT_EQ(FindNodeOfFolder(below, first), underFirst);
  EXPECT_EQ(FindNodeOfFolder(hidden, top), nullptr);
  EXPECT_EQ(FindNodeOfFolder(table, nullptr), nullptr);

  EXPECT_EQ(FindNodeOfFolderPath(below, top), underSecond);
  EXPECT_EQ(FindNodeOfFolderPath(&root, top), top);
  EXPECT_EQ(FindNodeOfFolderPath(hidden, top), nullptr);
  EXPECT_EQ(FindNodeOfFolderPath(nullptr, top), nullptr);
  EXPECT_EQ(FindNodeOfFolderPath(below, nt), nullptr);  // the walk starts at the root folder

  // A folder outside the tree shown.
  CTopRuleFolder other;
  EXPECT_EQ(FindNodeOfFolderPath(Child(&other, "x"), top), nullptr);
}

TEST(NodePath, ColumnNamesOfTheNodesFolder) {
  FolderTree tree;
  CRuleFolderTbl* table = tree.AddTable("T", {"a", "b"});
  table->CapInfoList->Clear();
  for (CCapInfo* c : {Column("T.a"), Column("T.b", false), Column("U.c"), Column("Tx.d")}) table->CapInfoList->Add(c);
  CRuleFolder* below = Child(table, "below");
  ShownTree shown;
  TTreeNode* top = shown.Add(nullptr, &tree.root);
  TTreeNode* node = shown.Add(shown.Add(top, table), below);
  TStringList names;
  names.Add("old");
  FillColumnNames(&names, node);
  EXPECT_EQ(names.CommaText(), "a,b,U.c,Tx.d");
  FillColumnNames(&names, top);  // the root has no display columns
  EXPECT_EQ(names.Count(), 0);
  names.Add("old");
  FillColumnNames(&names, nullptr);
  EXPECT_EQ(names.Count(), 0);
}

TEST(MenuClone, CopiesWithAndWithoutAction) {
  TForm form(Application);
  TAction action(&form);
  action.SetCaption("action");
  action.SetEnabled(false);
  action.SetChecked(true);
  int runs = 0;
  action.OnExecute = [&](TObject*) { ++runs; };
  std::vector<intptr_t> clicked;
  const TNotifyEvent click = [&](TObject* sender) { clicked.push_back(static_cast<TMenuItem*>(sender)->Tag); };

  TMenuItem bound(&form);
  bound.SetAction(&action);
  bound.Default = true;
  bound.Tag = 7;
  bound.HelpContext = 3;
  TMenuItem target(&form);
  target.SetCaption("mine");
  CopyMenuItemProps(&target, &bound);
  EXPECT_EQ(target.Action(), &action);
  EXPECT_EQ(target.Caption(), "action");
  EXPECT_FALSE(target.Enabled);
  EXPECT_TRUE(target.Default);
  EXPECT_TRUE(target.Checked);
  EXPECT_EQ(target.Tag, 7);
  EXPECT_EQ(target.HelpContext, 0);  // only without an action

  TMenuItem plain(&form);
  plain.SetCaption(SJ("表作成"));
  plain.Tag = 1;
  plain.Enabled = false;
  plain.Visible = false;
  plain.ShortCut = ShortCut('N', ssCtrl);
  plain.HelpContext = 9;
  plain.OnClick = click;
  TMenuItem copy(&form);
  CopyMenuItemProps(&copy, &plain);
  EXPECT_EQ(copy.Action(), nullptr);
  EXPECT_EQ(copy.Caption(), SJ("表作成"));
  EXPECT_FALSE(copy.Enabled);
  EXPECT_FALSE(copy.Visible);
  EXPECT_EQ(copy.ShortCut, plain.ShortCut);
  EXPECT_EQ(copy.HelpContext, 9);
  copy.Enabled = true;
  copy.Click();  // the handler came along, and learns which item was chosen
  EXPECT_EQ(clicked, std::vector<intptr_t>{1});
  EXPECT_EQ(runs, 0);
}

TEST(MenuClone, ClonesSubmenusWithTheSourcesOwner) {
  TForm form(Application);
  TPopupMenu menu(&form);
  std::vector<intptr_t> clicked;
  auto add = [&](TMenuItem* parent, const char* caption, int tag) {
    auto* item = new TMenuItem(&menu);
    item->SetCaption(caption);
    item->Tag = tag;
    item->OnClick = [&clicked](TObject* sender) { clicked.push_back(static_cast<TMenuItem*>(sender)->Tag); };
    parent->Add(item);
    return item;
  };
  TMenuItem* create = add(menu.Items(), "create", 1);
  add(create, "heading", 11);
  add(create, "condition", 12);
  add(menu.Items(), "-", 0);
  add(menu.Items(), "edit", 2);

  TPopupMenu shown(&form);
  for (int i = 0; i < menu.Items()->Count(); ++i) shown.Items()->Add(CloneMenuItem(menu.Items()->Items(i)));
  ASSERT_EQ(shown.Items()->Count(), 3);
  TMenuItem* clone = shown.Items()->Items(0);
  EXPECT_NE(clone, create);
  EXPECT_EQ(clone->Owner(), &menu);
  ASSERT_EQ(clone->Count(), 2);
  EXPECT_EQ(clone->Items(1)->Caption(), "condition");
  EXPECT_TRUE(shown.Items()->Items(1)->IsLine());
  clone->Items(1)->Click();
  shown.Items()->Items(2)->Click();
  EXPECT_EQ(clicked, (std::vector<intptr_t>{12, 2}));

  // Emptying the shown menu frees the clones and leaves the source whole.
  shown.Items()->Clear();
  EXPECT_EQ(create->Count(), 2);
  EXPECT_EQ(menu.ComponentCount(), 5);
}

// The top folder's own menu works when cloned into the tree's menu: its handler reads the tag.
TEST(MenuClone, TopFolderMenuSurvivesCloning) {
  CTopRuleFolder root;
  TPopupMenu* own = root.PopupFolderMenu();
  ASSERT_NE(own, nullptr);
  TForm form(Application);
  TPopupMenu shown(&form);
  for (int i = 0; i < own->Items()->Count(); ++i) shown.Items()->Add(CloneMenuItem(own->Items()->Items(i)));
  for (int i = 0; i < own->Items()->Count(); ++i) {
    TMenuItem* a = own->Items()->Items(i);
    TMenuItem* b = shown.Items()->Items(i);
    EXPECT_EQ(b->Caption(), a->Caption());
    EXPECT_EQ(b->Tag, a->Tag);
    EXPECT_EQ(b->Enabled, a->Enabled);
    EXPECT_EQ(static_cast<bool>(b->OnClick), static_cast<bool>(a->OnClick));
  }
  shown.Items()->Clear();
}
