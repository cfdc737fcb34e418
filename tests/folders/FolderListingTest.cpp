#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/StringsList.h"
#include "query/RecFileList.h"
#include "query/RecSelect.h"
#include "tests/folders/FolderTestSupport.h"

namespace {

// Table t (code, cat, qty) with 30 records; table u (code, name) with 3.
//
//   root node ── T (table t) ─┬─ A  "t.cat = 'A'" ── Q "t.qty > 5"
//                             └─ page node "t.code = 'c01' OR t.code = 'c02'" ── V "t.code = 'c02'"
//             ── U (table u)
//             ── D  "u.code = 'x'"  (a condition folder right under the root)
struct Listing {
  Listing() {
    t = tree.AddTable("t", {"code", "cat", "qty:int"});
    u = tree.AddTable("u", {"code", "name"});
    for (int i = 0; i < 30; ++i)
      tree.Insert("t", {{"code", Format("c%02d", i)}, {"cat", i % 3 == 0 ? "A" : "B"}, {"qty", IntToStr(i)}});
    for (int i = 0; i < 3; ++i) tree.Insert("u", {{"code", Format("c%02d", i)}, {"name", Format("n%d", i)}});
    a = t->AddNewChild();
    a->Condition = "t.cat = 'A'";
    q = a->AddNewChild();
    q->Condition = "t.qty > 5";
    d = tree.root.AddNewChild();
    d->Condition = "u.code = 'x'";

    CDbFolder* rootNode = tree.root.RootNode;
    tNode = NodeFor(t, rootNode);
    uNode = NodeFor(u, rootNode);
    dNode = NodeFor(d, rootNode);
    aNode = NodeFor(a, tNode);
    qNode = NodeFor(q, aNode);
    page = NodeFor(t, tNode);
    page->PageNode = page->Fixed = true;
    page->Condition = "t.code = 'c01' OR t.code = 'c02'";
    vNode = NodeFor(t, page);
    vNode->Condition = "t.code = 'c02'";
  }

  // The same listing straight through a query over the table.
  std::vector<std::string> Direct(const AnsiString& condition) {
    CRecFileList files;
    files.AddTable(tree.dir.File("t.kvr"), "t");
    CRecSelect select(&files);
    std::vector<std::string> rows;
    if (!select.ListStart("t.__REC__ID__,t.code,t.cat,t.qty", "t", condition)) return {"ERROR"};
    TStringList row;
    for (int r; (r = select.NextNB(row)) >= 0; row.Clear())
      if (r == 1) rows.push_back(Joined(row));
    return rows;
  }

  FolderTree tree;
  CRuleFolderTbl *t, *u;
  CRuleFolder *a, *q, *d;
  CDbFolder *tNode, *uNode, *dNode, *aNode, *qNode, *page, *vNode;
};

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

}  // namespace

TEST(FolderListing, NodeConditionsJoinTheirAncestorsUpToTheNearestHandle) {
  Listing x;
  EXPECT_EQ(x.tNode->GetNodeCondition(), "");
  EXPECT_EQ(x.aNode->GetNodeCondition(), "((t.cat = 'A'))");
  EXPECT_EQ(x.qNode->GetNodeCondition(), "((t.cat = 'A') AND (t.qty > 5))");
  EXPECT_EQ(x.vNode->GetNodeCondition(), "((t.code = 'c02'))");  // the page node is skipped
  EXPECT_EQ(x.page->GetNodeCondition(), "((t.code = 'c01' OR t.code = 'c02'))");
  EXPECT_EQ(x.dNode->GetNodeCondition(), "((u.code = 'x'))");
  // A table folder's own condition starts the chain; nothing above it counts.
  x.tree.root.RootNode->Condition = "ignored = 1";
  x.t->Condition = "t.qty < 20";
  x.tNode->Condition = x.t->Condition;
  EXPECT_EQ(x.aNode->GetNodeCondition(), "((t.qty < 20) AND (t.cat = 'A'))");
}

TEST(FolderListing, NodesListWhatTheQueryListsForTheirCondition) {
  Listing x;
  for (CDbFolder* node : {x.tNode, x.aNode, x.qNode, x.page, x.vNode}) {
    SCOPED_TRACE(Show(node->GetNodeCondition()));
    const std::vector<std::string> rows = ListAll(*node, {node});
    EXPECT_EQ(Sorted(rows), Sorted(x.Direct(node->GetNodeCondition())));
    EXPECT_FALSE(rows.empty());
  }
  EXPECT_EQ(ListAll(*x.tNode, {x.tNode}).size(), 30u);
  EXPECT_EQ(ListAll(*x.qNode, {x.qNode}).size(), 8u);  // 6, 9, ... 27
}

TEST(FolderListing, SeveralSelectedNodesJoinWithOrWithinOneTable) {
  Listing x;
  const std::vector<std::string> a = ListAll(*x.aNode, {x.aNode});
  const std::vector<std::string> v = ListAll(*x.vNode, {x.vNode});
  std::vector<std::string> both = a;
  both.insert(both.end(), v.begin(), v.end());
  EXPECT_EQ(Sorted(ListAll(*x.aNode, {x.aNode, x.vNode})), Sorted(both));
  // A node of another table is left out.
  EXPECT_EQ(Sorted(ListAll(*x.aNode, {x.aNode, x.uNode, nullptr})), Sorted(a));
  // The table folder's node stands for every record: with it, everything is listed.
  EXPECT_EQ(ListAll(*x.aNode, {x.aNode, x.tNode}).size(), 30u);
  EXPECT_EQ(ListAll(*x.aNode, {x.tNode, x.aNode}).size(), 30u);
}

TEST(FolderListing, OrConditionsAndColumnLists) {
  Listing x;
  AnsiString condition, columns;
  const TList three = Selection({x.qNode, x.vNode, x.aNode});
  ASSERT_TRUE(x.aNode->MakeOrCondition(x.t->CapInfoList, &three, condition, columns));
  EXPECT_EQ(condition, "((((t.cat = 'A') AND (t.qty > 5))) OR ((t.code = 'c02'))) OR ((t.cat = 'A'))");
  std::unique_ptr<CCapInfoList> bare(Columns({Column("code"), Column("u.name")}));
  ASSERT_TRUE(x.aNode->MakeOrCondition(bare.get(), nullptr, condition, columns));
  EXPECT_EQ(condition, "");
  EXPECT_EQ(columns, "t.code,u.name");
  EXPECT_FALSE(x.aNode->MakeOrCondition(nullptr, &three, condition, columns));
  TStringList conditions;
  ASSERT_TRUE(x.aNode->MakeAndCondition(Selection({x.aNode, x.uNode, x.vNode}), conditions, columns));
  EXPECT_EQ(conditions.Count(), 2);
  EXPECT_EQ(conditions[1], "((t.code = 'c02'))");
}

TEST(FolderListing, MaximumSearchCountEndsTheListing) {
  Listing x;
  x.a->MaxSearchCount = 0;
  EXPECT_TRUE(ListAll(*x.aNode, {x.aNode}).empty());
  x.a->MaxSearchCount = 5;
  EXPECT_EQ(ListAll(*x.aNode, {x.aNode}).size(), 5u);
  x.a->MaxSearchCount = -1;
  EXPECT_EQ(ListAll(*x.aNode, {x.aNode}).size(), 10u);
  // The limit is the folder's own: the folder below lists on.
  x.a->MaxSearchCount = 1;
  EXPECT_EQ(ListAll(*x.qNode, {x.qNode}).size(), 8u);
}

TEST(FolderListing, WithoutDisplayColumnsOrHandleNothingIsListed) {
  CTopRuleFolder root;
  CRuleFolder* lone = root.AddNewChild();
  CDbFolder* node = NodeFor(lone, root.RootNode);
  EXPECT_TRUE(ListAll(*node, {node}).empty());
  TStringList row;
  EXPECT_FALSE(lone->ListNext(row));
  EXPECT_EQ(node->DeleteRecords(nullptr, {0}, TList()), 0);
}

TEST(FolderListing, QualifiedConditionAndDeletingListedRecords) {
  Listing x;
  CDbFolder probe(nullptr);
  probe.Folder = x.a;
  probe.Condition = "cat = 'it''s' AND u.code > 1 AND (qty < \"9\")";
  EXPECT_EQ(probe.GetQualifiedCondition(), "t.cat = 'it''s' AND u.code > 1 AND ( t.qty < '9' )");

  CDbFolder* node = x.qNode;
  CStringsList rows;
  node->ListStart(Selection({node}));
  for (auto* row = new TStringList;; row = new TStringList) {
    int r;
    while ((r = node->ListNextNB(*row)) == 0) {
    }
    if (r < 0) {
      delete row;
      break;
    }
    rows.Add(row);
  }
  node->ListEnd();
  ASSERT_EQ(rows.Count(), 8);
  EXPECT_EQ(node->DeleteRecords(x.t->CapInfoList, {0, 2, 99, -1}, rows), 1);
  EXPECT_EQ(ListAll(*node, {node}).size(), 6u);
  std::unique_ptr<CCapInfoList> noId(Columns({Column("t.code")}));
  EXPECT_EQ(node->DeleteRecords(noId.get(), {0}, rows), 0);
  rows.DeleteAll();
}

TEST(FolderListing, ListedColumnsEndWithTheRecordIdOfEveryTable) {
  CTopRuleFolder root;
  CRuleFolder* f = root.AddNewChild();
  f->CapInfoList = Columns({Column("t1.a"), Column("t2.b"), Column("t1.c", false), Column("t2.__REC__ID__"), Column(SJ("__拡張項目__.x"))});
  CRuleFolder* below = f->AddNewChild();
  CCapInfoList* listed = below->MakeDefaultCapInfoList();
  ASSERT_NE(listed, nullptr);
  EXPECT_EQ(listed, f->MakeDefaultCapInfoList());
  EXPECT_EQ(Names(listed),
            (std::vector<std::string>{"t1.a", "t2.b", "t2.__REC__ID__", SJ("__拡張項目__.x"), "t1.__REC__ID__"}));
  EXPECT_EQ(f->CapInfoList->Count(), 6);
  EXPECT_FALSE(f->CapInfoList->GetItem(5)->Shown);
  EXPECT_EQ(root.MakeDefaultCapInfoList(), nullptr);
}

TEST(FolderListing, DisplayColumnsFollowTheTable) {
  FolderTree tree;
  CRuleFolderTbl* t = tree.AddTable("t", {"a", "n:int"});
  // A new table folder's list: every column but the record id shown, types from the table.
  EXPECT_EQ(Names(t->CapInfoList), (std::vector<std::string>{"t.__REC__ID__", "t.a", "t.n"}));
  EXPECT_FALSE(t->CapInfoList->GetItem(0)->Shown);
  EXPECT_FALSE(t->CapInfoList->GetItem(0)->Editable);
  EXPECT_TRUE(t->CapInfoList->GetItem(2)->Shown);
  EXPECT_EQ(t->CapInfoList->GetItem(2)->Type, 1);
  EXPECT_EQ(t->CapInfoList->GetItem(2)->DeclaredType, 1);

  // Repeats go, a stale type is corrected, a vanished column goes, an extended item stays, a
  // new column comes hidden and editable.
  t->CapInfoList->Add(Column("t.a"));
  t->CapInfoList->GetItem(2)->Type = 0;
  t->CapInfoList->Add(Column("t.gone"));
  t->CapInfoList->Add(ExtendedItem("x", "t.a"));
  {
    CDbHandle* h = t->GetDbHandle();
    EXPECT_TRUE(h->AddColumn("t", "added", "real", 16));
  }
  t->SyncCapInfoList();
  EXPECT_EQ(Names(t->CapInfoList),
            (std::vector<std::string>{"t.__REC__ID__", "t.a", "t.n", SJ("__拡張項目__.x"), "t.added"}));
  EXPECT_EQ(t->CapInfoList->GetItem(2)->Type, 1);
  const CCapInfo* added = t->CapInfoList->GetItem(4);
  EXPECT_FALSE(added->Shown);
  EXPECT_TRUE(added->Editable);
  EXPECT_EQ(added->Type, 2);
  EXPECT_EQ(added->Caption, "added");
}

TEST(FolderListing, ExpandingANodeBuildsItsChildren) {
  Listing x;
  CDbFolder* node = NodeFor(x.t, nullptr);
  node->Expand();
  ASSERT_EQ(node->Children.Count(), 1);
  CDbFolder* child = node->Children.Get(0);
  EXPECT_EQ(child->Folder, x.a);
  EXPECT_EQ(child->Condition, "t.cat = 'A'");
  EXPECT_TRUE(child->IsExpandable());
  child->Expand();
  EXPECT_FALSE(child->Children.Get(0)->IsExpandable());
  x.page->Expand();  // fixed: its children stay
  EXPECT_EQ(x.page->Children.Count(), 1);
  delete node;
}
