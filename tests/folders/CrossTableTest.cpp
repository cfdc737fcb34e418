#include <gtest/gtest.h>

#include "folders/DataChkUnit.h"
#include "folders/EditTableUnit.h"
#include "folders/ExtendedItems.h"
#include "tests/folders/FolderTestSupport.h"

namespace {

// Tables a → b → c: a.bref refers to b.id, b.cref to c.id.
//   a: (1, b1) (2, b2) (3, b9)     b: (b1, c1, "one") (b2, c2, "two")     c: (c1, "O'Brien") (c2, "Smith")
struct Chain {
  Chain() {
    a = tree.AddTable("a", {"id:int", "bref"}, {"bref", "b.id"});
    b = tree.AddTable("b", {"id", "cref", "label"}, {"cref", "c.id"});
    c = tree.AddTable("c", {"id", "name"});
    tree.Insert("a", {{"id", "1"}, {"bref", "b1"}});
    tree.Insert("a", {{"id", "2"}, {"bref", "b2"}});
    tree.Insert("a", {{"id", "3"}, {"bref", "b9"}});
    tree.Insert("b", {{"id", "b1"}, {"cref", "c1"}, {"label", "one"}});
    tree.Insert("b", {{"id", "b2"}, {"cref", "c2"}, {"label", "two"}});
    tree.Insert("c", {{"id", "c1"}, {"name", "O'Brien"}});
    tree.Insert("c", {{"id", "c2"}, {"name", "Smith"}});
    below = a->AddNewChild();
  }
  FolderTree tree;
  CRuleFolderTbl *a, *b, *c;
  CRuleFolder* below;
};

std::vector<std::string> Texts(const TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list[i]);
  return out;
}

// The listed rows cut to their first `columns` texts (the query adds the columns that only the
// joins name).
std::vector<std::string> Rows(CRuleFolder* folder, int columns) {
  CDbFolder* node = NodeFor(folder, nullptr);
  std::vector<std::string> rows = ListAll(*node, {node});
  delete node;
  for (std::string& row : rows) {
    size_t at = 0;
    for (int i = 0; i < columns && at != std::string::npos; ++i) at = row.find('|', at + (i > 0));
    if (at != std::string::npos) row.resize(at);
  }
  return rows;
}

}  // namespace

TEST(CrossTable, JoinPathsFollowTheRelations) {
  Chain x;
  const AnsiString path = "a.bref = b.id AND b.cref = c.id";
  EXPECT_EQ(CRuleFolderTbl::MakeJoinPath(x.a, "c", nullptr), path);
  EXPECT_EQ(x.below->MakeJoinCondition_a("a", "c"), path);
  EXPECT_EQ(x.below->MakeJoinCondition("a", "b"), "a.bref = b.id");
  EXPECT_EQ(x.below->MakeJoinCondition("a", "c"), "");  // direct joins only
  EXPECT_EQ(CRuleFolderTbl::MakeJoinPath(x.c, "a", nullptr), "");  // never against a relation
  EXPECT_EQ(CRuleFolderTbl::MakeJoinPath(x.a, "a", nullptr), "");
  TStringList joins;
  EXPECT_TRUE(CRuleFolderTbl::CollectJoinConditions(x.a, joins, "c", nullptr));
  EXPECT_EQ(Texts(joins), (std::vector<std::string>{"b.cref = c.id", "a.bref = b.id"}));
  EXPECT_TRUE(CRuleFolderTbl::CollectJoinConditions(x.a, joins, "a", nullptr));
  EXPECT_FALSE(CRuleFolderTbl::CollectJoinConditions(x.a, joins, SJ("__拡張項目__"), nullptr));
  EXPECT_EQ(joins.Count(), 2);
  TStringList related;
  EXPECT_EQ(x.below->CollectRelatedTables(related), 2);
  EXPECT_EQ(Texts(related), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(related.Objects(1), x.c);
}

TEST(CrossTable, CyclesEndAndTheFirstOfTwoSameNamedTablesAnswers) {
  Chain x;
  x.c->Relations.Add("name");
  x.c->Relations.Add("a.id");    // a → b → c → a
  x.c->Relations.Add("id");
  x.c->Relations.Add("zz.id");   // no folder for zz
  EXPECT_EQ(CRuleFolderTbl::MakeJoinPath(x.a, "nowhere", nullptr), "");
  TStringList joins;
  EXPECT_FALSE(CRuleFolderTbl::CollectJoinConditions(x.b, joins, "nowhere", nullptr));
  TStringList related;
  EXPECT_EQ(x.a->CollectRelatedTables(related), 2);  // b, c; a itself taken out, zz skipped

  auto* twin = new CRuleFolderTbl(&x.tree.root);
  twin->TableName = "b";
  twin->DataFile = x.tree.dir.File("twin.kvr");
  x.tree.root.AddChild(twin);
  EXPECT_EQ(x.a->FindTableFolder("b"), x.b);
  EXPECT_EQ(x.a->ResolveTableFile("b"), x.b->DataFile);
  EXPECT_EQ(twin->ResolveTableFile("b"), twin->DataFile);  // its own table first
  EXPECT_EQ(CRuleFolderTbl::MakeJoinPath(x.a, "c", nullptr), "a.bref = b.id AND b.cref = c.id");
  // A relation to a table without a folder registers nothing.
  TStringList conditions;
  conditions.Add("zz.id = 1 AND b.id = 'b1'");
  x.a->AddReferencedTables(conditions, "a.id,c.name");
  EXPECT_EQ(x.a->DbHandle->TableNames().CommaText(), "a,b,c");
}

TEST(CrossTable, JoinsForTextsAndColumnsSkipWhatNeedsNone) {
  Chain x;
  std::unique_ptr<CCapInfoList> columns(
      Columns({Column("b.label"), Column("k"), ExtendedItem("e", "c.name + plain"), Column("a.id")}));
  EXPECT_EQ(x.below->ResolveExtendedCondition("a.x = 1 AND plain = 2 AND f(c.y) > 0", columns.get()),
            "b.cref = c.id AND a.bref = b.id");
  EXPECT_EQ(x.below->ResolveExtendedCondition_a("a.x = 1 AND plain = 2", "f(1)"), "");
  EXPECT_EQ(x.below->ResolveExtendedCondition_a("a.x = 1", "f(b.y)"), "a.bref = b.id");
  EXPECT_EQ(x.below->ResolveExtendedCondition_a("b.y = 1", ""), "a.bref = b.id");
  EXPECT_EQ(x.tree.root.AddNewChild()->ResolveExtendedCondition_a("b.y = 1", ""), "");

  // The columns a listing names bring their joins; the caller's list comes back as it was.
  std::unique_ptr<CCapInfoList> shown(Columns({Column("a.id"), ExtendedItem("n", "c.name")}));
  EXPECT_EQ(x.below->ResolveExtendedItems("", *shown), "b.cref = c.id AND a.bref = b.id");
  EXPECT_EQ(shown->Count(), 2);
  EXPECT_EQ(x.below->MakeColumnCondition("a.id > 1", "a.id, b.label"), "a.bref = b.id");
  EXPECT_EQ(x.below->MakeColumnCondition("a.id > 1", "a.id"), "");
}

TEST(CrossTable, ListingColumnsOfRelatedTables) {
  Chain x;
  x.below->CapInfoList = Columns({Column("a.id"), Column("b.label"), Column("c.name")});
  EXPECT_EQ(Rows(x.below, 3), (std::vector<std::string>{"1|one|O'Brien", "2|two|Smith"}));
}

TEST(CrossTable, LinkedRecordsAreFoundOneStepBack) {
  Chain x;
  AnsiString column = "c.name", value = "O'Brien";
  EXPECT_TRUE(x.below->FindLinkedRecords("a", column, value));
  EXPECT_EQ(column, "a.bref");
  EXPECT_EQ(value, "b1");
  TStringList row;
  EXPECT_EQ(x.a->DbHandle->ListNextNB(row), -1);  // the look-up's listing is ended

  // A quote in the value cannot end the text early and widen the condition.
  column = "c.name";
  value = "x' OR c.name <> '";
  EXPECT_FALSE(x.below->FindLinkedRecords("a", column, value));
  EXPECT_EQ(column, "c.name");
  EXPECT_EQ(value, "x' OR c.name <> '");

  // A column named without its table is the target table's own.
  column = "bref";
  value = "b2";
  EXPECT_TRUE(x.below->FindLinkedRecords("a", column, value));
  EXPECT_EQ(column, "a.bref");
  EXPECT_EQ(value, "b2");

  // A target table without records yet: the link is found all the same.
  CRuleFolder* empty = x.tree.AddTable("e", {"bref"}, {"bref", "b.id"})->AddNewChild();
  column = "c.name";
  value = "Smith";
  EXPECT_TRUE(empty->FindLinkedRecords("e", column, value));
  EXPECT_EQ(column, "e.bref");
  EXPECT_EQ(value, "b2");

  column = "a.id";  // no path from c back to a
  EXPECT_FALSE(x.c->FindLinkedRecords("c", column, value));
  EXPECT_FALSE(x.tree.root.AddNewChild()->FindLinkedRecords("a", column, value));
}

TEST(CrossTable, ColumnsThatAnEditFills) {
  Chain x;
  std::unique_ptr<CCapInfoList> shown(
      Columns({Column("a.id"), Column("a.bref"), Column("b.label"), Column("b.id", false)}));
  CCapInfoList result;
  auto positions = [&] {
    std::vector<std::string> out;
    for (int i = 0; i < result.Count(); ++i)
      out.push_back(result.GetItem(i)->Name + "@" + IntToStr(result.GetItem(i)->Position));
    return out;
  };
  std::unique_ptr<CCapInfo> target(Column("a.id"));
  EXPECT_TRUE(x.below->CheckEditColumns(*shown, target.get(), result));
  EXPECT_EQ(positions(), std::vector<std::string>{"a.id@0"});

  // The linking column is edited through the column it refers to.
  target->Name = "a.bref";
  EXPECT_TRUE(x.below->CheckEditColumns(*shown, target.get(), result));
  EXPECT_EQ(positions(), (std::vector<std::string>{"b.id@1", "b.label@-1"}));
  shown->GetItem(3)->Shown = true;
  EXPECT_TRUE(x.below->CheckEditColumns(*shown, target.get(), result));
  EXPECT_EQ(positions(), (std::vector<std::string>{"b.label@-1", "b.id@1"}));

  MessageCatcher messages;
  target->Name = "a.gone";
  EXPECT_FALSE(x.below->CheckEditColumns(*shown, target.get(), result));
  target->Name = "c.name";  // no relation of a reaches c directly: no message
  EXPECT_FALSE(x.below->CheckEditColumns(*shown, target.get(), result));
  ASSERT_EQ(messages.texts.size(), 1u);
  EXPECT_EQ(messages.texts[0], SJ("編集項目に 「a.gone」 がありません。"));
}

TEST(CrossTable, InputCandidates) {
  Chain x;
  auto candidates = [&](std::initializer_list<const char*> names, const char* key, int type, const AnsiString& value) {
    std::unique_ptr<CCapInfoList> columns(new CCapInfoList);
    for (const char* n : names) columns->Add(Column(n));
    std::unique_ptr<CCapInfo> k(Column(key));
    k->DeclaredType = type;
    std::vector<std::string> rows;
    if (!x.below->MakeNextChunkCondition(*columns, k.get(), value)) return std::vector<std::string>{"REFUSED"};
    TStringList row;
    for (int r; (r = x.below->NextChunkRow(row)) >= 0; row.Clear()) {
      if (r <= 0) continue;
      if (columns->Count() > 1) rows.push_back(Joined(row));
      else
        for (int i = 0; i < row.Count(); ++i) rows.push_back(row[i]);  // distinct values may come several at once
    }
    return rows;
  };
  TStringList row;
  EXPECT_EQ(x.below->NextChunkRow(row), -1);  // never opened
  EXPECT_EQ(candidates({"id", "bref"}, "id", 1, "2"), (std::vector<std::string>{"2|b2", "3|b9"}));
  EXPECT_EQ(candidates({"a.id", "a.bref"}, "a.id", 1, "x"), std::vector<std::string>{});
  EXPECT_EQ(candidates({"c.name"}, "c.name", 0, "O'B"), (std::vector<std::string>{"O'Brien", "Smith"}));
  EXPECT_EQ(candidates({"b.label", "b.id"}, "b.label", 0, "p"), std::vector<std::string>{"two|b2"});
  EXPECT_EQ(candidates({"zz.x"}, "zz.x", 0, ""), std::vector<std::string>{"REFUSED"});
  EXPECT_EQ(x.below->NextChunkRow(row), -1);
  EXPECT_EQ(candidates({}, "a.id", 1, "1"), std::vector<std::string>{"REFUSED"});
}

TEST(CrossTable, ExtendedItemsAreFoundSpreadAndGathered) {
  Chain x;
  CRuleFolder* left = x.a->AddNewChild();
  CRuleFolder* right = x.a->AddNewChild();
  left->CapInfoList = Columns({ExtendedItem("x", "a.id * 2"), Column("a.id")});
  right->CapInfoList = Columns({ExtendedItem("x", "old"), ExtendedItem("y", "1")});
  right->CapInfoList->GetItem(0)->Caption = "kept";
  const AnsiString name = SJ("__拡張項目__.x");
  EXPECT_EQ(right->GetExtendedItemValue(name), right->CapInfoList->GetItem(0));
  EXPECT_EQ(x.below->GetExtendedItemValue(name), right->CapInfoList->GetItem(0));  // sub-folders last to first
  EXPECT_EQ(x.b->AddNewChild()->GetExtendedItemValue(name), nullptr);             // another table's subtree

  left->GetExtendedItemTable();
  EXPECT_EQ(right->CapInfoList->GetItem(0)->Expression, "a.id * 2");
  EXPECT_EQ(right->CapInfoList->GetItem(0)->Caption, "kept");

  CCapInfoList defs;
  EXPECT_EQ(x.below->GetExtendedItemDefs(defs), 2);
  EXPECT_EQ(Names(&defs), (std::vector<std::string>{name, SJ("__拡張項目__.y")}));
  EXPECT_EQ(x.tree.root.AddNewChild()->GetExtendedItemDefs(defs), 0);
}

TEST(CrossTable, CollectingColumnsFollowsItemsAndStopsAtCycles) {
  Chain x;
  x.a->CapInfoList->Add(ExtendedItem("p", SJ("c.name + __拡張項目__.q + 検索(b.label)")));
  x.a->CapInfoList->Add(ExtendedItem("q", "b.label + a.id"));
  x.a->CapInfoList->Add(ExtendedItem("self", SJ("__拡張項目__.self + 1")));
  x.a->CapInfoList->Add(ExtendedItem("ring1", SJ("__拡張項目__.ring2 + c.id")));
  x.a->CapInfoList->Add(ExtendedItem("ring2", SJ("__拡張項目__.ring1")));
  CCapInfoList list;
  CollectExpressionColumns(x.below, SJ("__拡張項目__.p"), list);
  EXPECT_EQ(Names(&list), (std::vector<std::string>{"c.name", "b.label", "a.id"}));
  list.Clear();
  CollectExpressionColumns(x.below, SJ("__拡張項目__.self + __拡張項目__.ring2"), list);
  EXPECT_EQ(Names(&list), (std::vector<std::string>{"c.id"}));
}

TEST(CrossTable, ExtendedItemsAreComputedForEveryListedRecord) {
  Chain x;
  CRuleFolder* inner = x.a->AddNewChild();
  inner->CapInfoList = Columns({ExtendedItem("inner", "a.id + 100")});
  x.below->CapInfoList = Columns({Column("a.id"), ExtendedItem("dbl", "a.id * 2"),
                                  ExtendedItem("self", SJ("__拡張項目__.self + 1")),
                                  ExtendedItem("uses", SJ("__拡張項目__.inner + 1")),
                                  ExtendedItem("ring1", SJ("__拡張項目__.ring2")),
                                  ExtendedItem("ring2", SJ("__拡張項目__.ring1")),
                                  ExtendedItem("label", "c.name")});
  EXPECT_EQ(Rows(x.below, 7), (std::vector<std::string>{"1|2||102|||O'Brien", "2|4||103|||Smith"}));
  // Named in the condition only, an item is still computed for the comparison.
  CDbFolder* node = NodeFor(x.below, nullptr);
  node->ListStart_a(SJ("__拡張項目__.dbl > 3"));
  TStringList row;
  std::vector<std::string> rows;
  for (int r; (r = node->ListNextNB(row)) >= 0;)
    if (r == 1) rows.push_back(row[0]);
  node->ListEnd();
  delete node;
  EXPECT_EQ(rows, std::vector<std::string>{"2"});
}

TEST(CrossTable, ReplacingATableNameRewritesTheSubtree) {
  Chain x;
  CRuleFolder* f = x.below;
  f->Condition = "a.x = 'it''s' AND b > 1 OR a.y = \"q\"";
  f->EnumItem = "a.code";
  f->CapInfoList = Columns({Column("a.id"), Column("b.id"), Column("plain"), ExtendedItem("e", "a.id")});
  f->SumCapInfoList = Columns({Column("a.qty")});
  CRuleFolder* g = f->AddNewChild();
  g->Condition = "b.label = 'x'";
  f->ReplaceTableName("a", "u");
  EXPECT_EQ(f->Condition, "u.x = 'it''s' AND b > 1 OR u.y = 'q' ");
  EXPECT_EQ(f->EnumItem, "u.code");
  EXPECT_EQ(Names(f->CapInfoList), (std::vector<std::string>{"u.id", "b.id", "plain", SJ("__拡張項目__.e")}));
  EXPECT_EQ(f->CapInfoList->GetItem(3)->Expression, "a.id");
  EXPECT_EQ(f->SumCapInfoList->GetItem(0)->Name, "u.qty");
  EXPECT_EQ(g->Condition, "b.label = 'x' ");
}

TEST(CrossTable, KeepingAndRemovingTheColumnsOfTables) {
  Chain x;
  auto fill = [](CRuleFolder* f) {
    delete f->CapInfoList;
    delete f->SumCapInfoList;
    f->CapInfoList = Columns({Column("t.a"), Column("v.b"), Column("c"), ExtendedItem("e", "1")});
    f->SumCapInfoList = Columns({Column("t.a"), Column("v.b")});
  };
  CRuleFolder* child = x.below->AddNewChild();
  TStringList tables;
  tables.Add("t");
  fill(x.below);
  fill(child);
  KeepTableColumnsTree(x.below, tables);
  EXPECT_EQ(Names(child->CapInfoList), (std::vector<std::string>{"t.a", "c", SJ("__拡張項目__.e")}));
  EXPECT_EQ(child->SumCapInfoList->Count(), 2);
  fill(x.below);
  fill(child);
  x.below->RemoveTableColumns("t");
  EXPECT_EQ(Names(child->CapInfoList), (std::vector<std::string>{"t.a", SJ("__拡張項目__.e")}));
  EXPECT_EQ(Names(child->SumCapInfoList), std::vector<std::string>{"t.a"});

  TList folders;
  CRuleFolder* heading = x.tree.root.AddNewChild();
  auto* nested = new CRuleFolderTbl(heading);
  heading->AddChild(nested);
  x.below->AddChild(new CRuleFolderTbl(nullptr));  // below a table folder: not gathered
  EXPECT_EQ(x.tree.root.CollectTableFolders(folders), 4);
  EXPECT_EQ(folders.Items(3), nested);
  TStringList names;
  EXPECT_EQ(x.below->GetTableList(names), 4);
  EXPECT_EQ(Texts(names), (std::vector<std::string>{"a", "b", "c", ""}));
}

TEST(CrossTable, TableDefinitionAppliedByAConfirmingDialog) {
  Chain x;
  for (int i = 10; i < 110; ++i) x.tree.Insert("b", {{"id", Format("b%d", i)}});  // 102 records
  struct Run {
    AnsiString file;
    bool addColumn = true;
    int result = mrOk;
  } run;
  std::vector<std::string> seen;
  MessageCatcher messages;
  ModalHandlerScope scope([&](TForm* f) {
    if (auto* d = dynamic_cast<TEditTableDlg*>(f)) {
      seen.push_back("table " + d->GetTableName() + " " + IntToStr(d->ListBox2->Items()->Count()));
      if (!run.file.empty()) d->Edit2->SetText(run.file);
      if (run.addColumn) {
        d->ColNameEdit->SetText("extra");
        d->RadioGroup1->SetItemIndex(2);  // 整数
        d->ColAddBtn->Click();
      }
      (run.result == mrOk ? d->OKBtn : d->CancelBtn)->Click();
    } else if (auto* c = dynamic_cast<TDataChkDlg*>(f)) {
      seen.push_back(std::string("check ") + (c->IndexMode ? "index " : "") + c->TableName);
      c->SetModalResult(mrOk);
    } else {
      if (auto* m = dynamic_cast<TCvMessageDlg*>(f)) messages.texts.push_back(m->Label1->Caption());
      PressButton(f, SJ("ＯＫ"));
    }
  });
  CRuleFolder* changed = nullptr;
  x.c->OnTreeChanged = x.b->OnTreeChanged = [&](CRuleFolder* f) { changed = f; };

  run.result = mrCancel;
  EXPECT_EQ(x.c->EditFolder(), 0);
  run.result = mrOk;
  run.file = x.tree.dir.File("missing.dat");
  EXPECT_EQ(x.c->EditFolder(), 0);
  ASSERT_EQ(messages.texts.size(), 1u);
  EXPECT_EQ(messages.texts[0], SJ("ファイル ") + x.tree.dir.File("missing.kvr") + SJ(" がありません。"));
  EXPECT_EQ(x.c->DataFile, x.tree.dir.File("c.kvr"));
  EXPECT_EQ(changed, nullptr);

  // Two records: the folder finishes the re-index itself.
  run.file.clear();
  EXPECT_EQ(x.c->EditFolder(), 1);
  EXPECT_EQ(changed, x.c);
  EXPECT_EQ(x.c->CapInfoList->IndexOfName("c.extra"), 3);
  EXPECT_FALSE(x.c->CapInfoList->GetItem(3)->Shown);
  // 102 records: the data check completes it in index mode.
  EXPECT_EQ(x.b->EditFolder(), 1);
  EXPECT_EQ(seen, (std::vector<std::string>{"table c 2", "table c 2", "table c 2", "table b 3", "check index b"}));
  EXPECT_EQ(x.tree.root.GetModified(), 2 + 3 + 1);  // three tables, one sub-folder, two edits
}
