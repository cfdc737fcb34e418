#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>

#include "folders/FolExpandUnit.h"
#include "foundation/CvMessageUnit.h"
#include "foundation/LogForm.h"
#include "platform/SysUtils.h"
#include "store/Kvobj.h"
#include "tests/folders/FolderTestSupport.h"

namespace {

std::vector<std::string> ChildNames(const CDbFolder* node) {
  std::vector<std::string> names;
  for (int i = 0; i < node->Children.Count(); ++i) names.push_back(node->Children.Get(i)->Name);
  return names;
}

// Inserts one record per text into column col of the table, under one hold of its file.
void InsertMany(FolderTree& tree, const AnsiString& table, const char* col, const std::vector<AnsiString>& texts) {
  CKvRecord t;
  t.SetFileName(tree.dir.File(table + ".kvr"));
  ASSERT_GE(t.Open(), 0);
  {
    CKorvaHold run(*t.File());
    TStringList names, values;
    names.Add(col);
    values.Add(AnsiString());
    for (const AnsiString& text : texts) {
      values.SetString(0, text);
      ASSERT_TRUE(t.InsertEx(names, values, nullptr, 0));
    }
  }
  t.Close();
}

// "v000", "v001", ... as many as asked.
std::vector<AnsiString> Numbered(int n, const char* format = "v%03d") {
  std::vector<AnsiString> texts;
  for (int i = 0; i < n; ++i) texts.push_back(Format(format, i));
  return texts;
}

// An enumeration folder over item under parent.
CRuleFolder* AddEnumFolder(CRuleFolder* parent, const AnsiString& item, int strLength = -1, int maxEnum = -1) {
  CRuleFolder* e = parent->AddNewChild();
  e->Name = "E";
  e->Kind = FOLDER_ENUMERATION;
  e->EnumItem = item;
  e->StrLength = strLength;
  e->MaxEnumCount = maxEnum;
  return e;
}

// The node of folder under the root node, expanded.
CDbFolder* Expanded(FolderTree& tree, CRuleFolder* folder) {
  CDbFolder* node = NodeFor(folder, tree.root.RootNode);
  node->Expand();
  return node;
}

// The text ExpandMessage points at, "(none)" for none.
std::string Message() {
  const AnsiString* m = ExpandMessage.load();
  return m ? *m : "(none)";
}

size_t Listed(CDbFolder* node) { return ListAll(*node, {node}).size(); }

// Expands node as the folder tree does: starts the worker, processes messages and sleeps 100 ms up
// to ten times, then shows the dialog modally while the worker still runs. Whether it was shown.
bool ExpandAsTheTree(CDbFolder* node) {
  auto* dialog = new TFolExpandDlg(Application);
  StartFolderExpansion(dialog, node, [](void* argument) { static_cast<CDbFolder*>(argument)->Expand(); });
  for (int round = 0; round < 10 && dialog->Running(); ++round) {
    Application->ProcessMessages();
    if (dialog->Running()) Sleep(100);
  }
  const bool shown = dialog->Running();
  if (shown) dialog->ShowModal();
  delete dialog;
  return shown;
}

// The expansion dialog under a test: pumps the event loop until the worker's end closed it.
void WaitForClose(TFolExpandDlg* d) { EXPECT_TRUE(PumpUntil([d] { return d->ModalResult() != mrNone; }, 60000)); }

// Waits on the worker until pred holds or five seconds passed; whether it held.
bool WorkerWaitsFor(const std::function<bool()>& pred) {
  for (int i = 0; i < 5000; ++i) {
    if (pred()) return true;
    Sleep(1);
  }
  return pred();
}

// A database handle whose enumeration hands out scripted values: `perStep` values per step that
// answers 1, each step after one that answers 0; after `pauseAfter` values it answers 0 until
// ExpandAbort is raised.
class ScriptedHandle : public CDbHandle {
 public:
  struct Value {
    AnsiString text;
    bool cut;
  };
  std::vector<Value> values;
  int perStep = 1;
  int pauseAfter = -1;
  AnsiString type = "string";
  AnsiString condition, column;
  int cut = -2;
  std::atomic<int> steps{0};  // steps that answered 1

  void EnumStartCond(const AnsiString& c, const AnsiString& col, int n) override {
    condition = c;
    column = col;
    cut = n;
    next_ = 0;
    open_ = true;
  }
  int EnumNextNB(TStrings& list) override {
    if (!open_) return -1;
    if ((ready_ = !ready_)) return 0;
    if (pauseAfter >= 0 && next_ >= size_t(pauseAfter)) return 0;
    if (next_ >= values.size()) {
      open_ = false;
      return -1;
    }
    for (int k = 0; k < perStep && next_ < values.size(); ++k, ++next_)
      list.AddObject(values[next_].text, values[next_].cut ? this : nullptr);
    ++steps;
    return 1;
  }
  void EnumEnd() override { open_ = false; }
  AnsiString GetColumnType(const AnsiString&) override { return type; }

 private:
  size_t next_ = 0;
  bool open_ = false;
  bool ready_ = false;
};

// A heading folder owning a scripted handle, with an enumeration folder over "t.v" below it.
struct Scripted {
  Scripted() {
    top.DbHandle = handle = new ScriptedHandle;
    e = AddEnumFolder(&top, "t.v");
    node.Folder = &top;
  }
  // The value nodes the enumeration folder adds under the top's node.
  CDbFolder* Expand() {
    node.Expand();
    return &node;
  }
  CRuleFolder top{nullptr};
  ScriptedHandle* handle;
  CRuleFolder* e;
  CDbFolder node{nullptr};
};

}  // namespace

// ---- Value nodes -------------------------------------------------------------------------------

TEST(FolderExpansion, ValueNodesOfATextColumnWithAndWithoutAStringLength) {
  FolderTree tree;
  CRuleFolderTbl* t = tree.AddTable("t", {"name", "n:int"});
  InsertMany(tree, "t", "name", {"abcdef", "abcxyz", "abc", "ab", "", "it's", "50%off", "a\\bc", "x", "x"});
  CRuleFolder* e = AddEnumFolder(t, "name", 3);

  struct Case {
    std::string name, condition;
    size_t records;
  };
  const std::vector<Case> cut = {
      {"", "name = ''", 1},
      {"50%" + SJ("＊"), "name LIKE '50\\%%'", 1},
      {"a\\b" + SJ("＊"), "name LIKE 'a\\\\b%'", 1},
      {"ab", "name = 'ab'", 1},
      {"abc" + SJ("＊"), "name LIKE 'abc%'", 3},  // abc, abcdef, abcxyz
      {"it'" + SJ("＊"), "name LIKE 'it''%'", 1},
      {"x", "name = 'x'", 2},
  };
  CDbFolder* node = Expanded(tree, t);
  ASSERT_EQ(node->Children.Count(), int(cut.size()));
  for (int i = 0; i < node->Children.Count(); ++i) {
    CDbFolder* v = node->Children.Get(i);
    SCOPED_TRACE(Show(cut[i].name));
    EXPECT_EQ(v->Name, cut[i].name);
    EXPECT_EQ(v->Condition, cut[i].condition);
    EXPECT_EQ(v->Folder, e);
    EXPECT_EQ(v->Parent, node);
    EXPECT_TRUE(v->NoChildren);
    EXPECT_FALSE(v->PageNode || v->Fixed);
    EXPECT_EQ(Listed(v), cut[i].records);
  }

  // Whole values: one equality node each, quotes doubled, sorted by bytes.
  e->StrLength = -1;
  node->Expand();
  EXPECT_EQ(ChildNames(node), (std::vector<std::string>{"", "50%off", "a\\bc", "ab", "abc", "abcdef", "abcxyz", "it's", "x"}));
  EXPECT_EQ(node->Children.Get(7)->Condition, "name = 'it''s'");
  EXPECT_EQ(node->Children.Get(2)->Condition, "name = 'a\\bc'");
  for (int i = 0; i < node->Children.Count(); ++i)
    EXPECT_EQ(Listed(node->Children.Get(i)), i == 8 ? 2u : 1u) << i;
}

TEST(FolderExpansion, ValueNodesOfANumberColumnAreUnquoted) {
  FolderTree tree;
  CRuleFolderTbl* t = tree.AddTable("t", {"name", "n:int"});
  for (int i : {12, 3, 12, -4}) tree.Insert("t", {{"name", "a"}, {"n", IntToStr(i)}});
  AddEnumFolder(t, "t.n");
  CDbFolder* node = Expanded(tree, t);
  std::vector<std::string> conditions;
  for (int i = 0; i < node->Children.Count(); ++i) conditions.push_back(node->Children.Get(i)->Condition);
  // Sorted as texts, as the values come.
  EXPECT_EQ(ChildNames(node), (std::vector<std::string>{"-4", "12", "3"}));
  EXPECT_EQ(conditions, (std::vector<std::string>{"t.n = -4", "t.n = 12", "t.n = 3"}));
  EXPECT_EQ(Listed(node->Children.Get(1)), 2u);
}

TEST(FolderExpansion, ValueNodesTheStoreCannotShowAndLongValues) {
  Scripted s;
  const AnsiString longValue(200, 'q');
  s.handle->values = {{"", true}, {"b", true}, {"c'd", false}, {longValue, false}};
  CDbFolder* node = s.Expand();
  ASSERT_EQ(node->Children.Count(), 4);
  EXPECT_EQ(node->Children.Get(0)->Name, "");
  EXPECT_EQ(node->Children.Get(0)->Condition, "t.v = ''");
  EXPECT_EQ(node->Children.Get(1)->Name, "b" + SJ("＊"));
  EXPECT_EQ(node->Children.Get(1)->Condition, "t.v LIKE 'b%'");
  EXPECT_EQ(node->Children.Get(2)->Condition, "t.v = 'c''d'");
  // The caption is cut; the condition keeps the whole value.
  EXPECT_EQ(node->Children.Get(3)->Name, AnsiString(128, 'q'));
  EXPECT_EQ(node->Children.Get(3)->Condition, "t.v = '" + longValue + "'");
  EXPECT_EQ(s.handle->column, "t.v");
  EXPECT_EQ(s.handle->cut, -1);
}

TEST(FolderExpansion, TheConditionsThatNarrowTheValues) {
  FolderTree tree;
  CRuleFolderTbl* t = tree.AddTable("t", {"name", "cat"});
  for (const char* r : {"a1", "b1", "c2", "d2", "e1"}) tree.Insert("t", {{"name", AnsiString(1, r[0])}, {"cat", AnsiString(1, r[1])}});
  CRuleFolder* c = t->AddNewChild();
  c->Condition = "t.cat = '1'";
  CRuleFolder* e = AddEnumFolder(c, "name");
  e->Condition = "t.name <> 'b'";

  CDbFolder* cNode = NodeFor(c, NodeFor(t, tree.root.RootNode));
  cNode->Expand();
  // The parent node's condition and the folder's own restrict the values ...
  EXPECT_EQ(ChildNames(cNode), (std::vector<std::string>{"a", "e"}));
  // ... but only the parent's chain and the value make a value node's condition.
  EXPECT_EQ(cNode->Children.Get(1)->GetNodeCondition(), "((t.cat = '1') AND (name = 'e'))");
  EXPECT_EQ(Listed(cNode->Children.Get(1)), 1u);
}

TEST(FolderExpansion, AnEnumerationWithNothingToShowIsOneOrdinaryNodeOrNone) {
  FolderTree tree;
  CRuleFolderTbl* t = tree.AddTable("t", {"name"});
  CRuleFolder* e = AddEnumFolder(t, "name");
  e->Condition = "t.name = 'x'";
  CRuleFolder* x = AddEnumFolder(t, SJ("__拡張項目__") + ".x");
  // An empty table, and an item on the pseudo table of extended items.
  CDbFolder* node = Expanded(tree, t);
  ASSERT_EQ(node->Children.Count(), 2);
  EXPECT_EQ(node->Children.Get(0)->Folder, e);
  EXPECT_EQ(node->Children.Get(0)->Name, "E");
  EXPECT_EQ(node->Children.Get(0)->Condition, "t.name = 'x'");
  EXPECT_TRUE(node->Children.Get(0)->NoChildren);
  EXPECT_EQ(node->Children.Get(1)->Folder, x);

  // No database handle in reach: nothing at all.
  CRuleFolder loose(nullptr);
  AddEnumFolder(&loose, "t.name");
  CDbFolder looseNode(nullptr);
  looseNode.Folder = &loose;
  looseNode.Expand();
  EXPECT_EQ(looseNode.Children.Count(), 0);
}

TEST(FolderExpansion, ValueNodesOfAFolderWithSubFoldersOpenOntoThem) {
  FolderTree tree;
  CRuleFolderTbl* t = tree.AddTable("t", {"name", "cat"});
  for (const char* r : {"a1", "a2", "a2", "b1"}) tree.Insert("t", {{"name", AnsiString(1, r[0])}, {"cat", AnsiString(1, r[1])}});
  CRuleFolder* e = AddEnumFolder(t, "name");
  CRuleFolder* sub = AddEnumFolder(e, "cat");
  CDbFolder* node = Expanded(tree, t);
  ASSERT_EQ(node->Children.Count(), 2);
  CDbFolder* a = node->Children.Get(0);
  EXPECT_FALSE(a->NoChildren);
  EXPECT_FALSE(node->Children.Get(1)->NoChildren);
  a->Expand();
  EXPECT_EQ(ChildNames(a), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(a->Children.Get(1)->Folder, sub);
  EXPECT_EQ(a->Children.Get(1)->GetNodeCondition(), "((name = 'a') AND (cat = '2'))");
  EXPECT_EQ(Listed(a->Children.Get(1)), 2u);
}

// ---- Pages -------------------------------------------------------------------------------------

TEST(FolderExpansion, PageNodesGatherTheValuesBeyondTheMaximum) {
  struct Case {
    int values, max;
    std::vector<std::string> names;  // the top level
    std::vector<int> sizes;          // children of each top-level node
  };
  const std::string tilde = SJ("～");
  const std::vector<Case> cases = {
      {10, 10, {"v000", "v001", "v002", "v003", "v004", "v005", "v006", "v007", "v008", "v009"}, {}},
      {11, 10, {"v000" + tilde, "v010" + tilde}, {10, 1}},
      {25, 10, {"v000" + tilde, "v010" + tilde, "v020" + tilde}, {10, 10, 5}},
      {250, 10, {"v000" + tilde, "v100" + tilde, "v200" + tilde}, {10, 10, 5}},
      {3, 1, {"v000", "v001", "v002"}, {}},
      {5, 2, {"v000" + tilde, "v004" + tilde}, {2, 1}},  // pages of 2, then pages of those
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Format("%d values, %d a page", c.values, c.max));
    FolderTree tree;
    CRuleFolderTbl* t = tree.AddTable("t", {"name"});
    InsertMany(tree, "t", "name", Numbered(c.values));
    CRuleFolder* e = AddEnumFolder(t, "name", -1, c.max);
    CDbFolder* node = Expanded(tree, t);
    EXPECT_EQ(ChildNames(node), c.names);
    int leaves = 0;
    std::function<void(CDbFolder*)> walk = [&](CDbFolder* n) {
      for (int i = 0; i < n->Children.Count(); ++i) {
        CDbFolder* child = n->Children.Get(i);
        EXPECT_EQ(child->Parent, n);
        EXPECT_EQ(child->Folder, e);
        if (!child->PageNode) {
          ++leaves;
          continue;
        }
        EXPECT_TRUE(child->Fixed);
        EXPECT_FALSE(child->NoChildren);
        EXPECT_LE(child->Children.Count(), c.max);
        walk(child);
      }
    };
    walk(node);
    EXPECT_EQ(leaves, c.values);
    for (size_t i = 0; i < c.sizes.size(); ++i) EXPECT_EQ(node->Children.Get(int(i))->Children.Count(), c.sizes[i]);
  }
}

TEST(FolderExpansion, APageListsItsValuesAndAValueBelowItOnlyItself) {
  FolderTree tree;
  CRuleFolderTbl* t = tree.AddTable("t", {"name"});
  InsertMany(tree, "t", "name", Numbered(11));
  InsertMany(tree, "t", "name", {"v003"});
  AddEnumFolder(t, "name", -1, 10);
  CDbFolder* node = Expanded(tree, t);
  ASSERT_EQ(node->Children.Count(), 2);
  CDbFolder* first = node->Children.Get(0);
  CDbFolder* last = node->Children.Get(1);
  EXPECT_EQ(last->Condition, "name = 'v010'");
  EXPECT_EQ(first->Condition.substr(0, 36), "name = 'v000' OR name = 'v001' OR na");
  EXPECT_EQ(Listed(first), 11u);
  EXPECT_EQ(Listed(last), 1u);
  EXPECT_EQ(first->Children.Get(3)->GetNodeCondition(), "((name = 'v003'))");
  EXPECT_EQ(Listed(first->Children.Get(3)), 2u);
  // A page's children are fixed: expanding it again keeps them.
  CDbFolder* kept = first->Children.Get(0);
  first->Expand();
  first->ClearChildren();
  EXPECT_EQ(first->Children.Get(0), kept);
}

// ---- Group siblings ----------------------------------------------------------------------------

TEST(FolderExpansion, FoldersOfAGroupOpenOntoTheSiblingsNotYetOnThePath) {
  FolderTree tree;
  CRuleFolderTbl* t = tree.AddTable("t", {"a", "b", "c"});
  for (int i = 0; i < 8; ++i)
    tree.Insert("t", {{"a", IntToStr(i & 1)}, {"b", IntToStr((i >> 1) & 1)}, {"c", IntToStr((i >> 2) & 1)}});
  std::vector<CRuleFolder*> g;
  for (const char* col : {"a", "b", "c"}) {
    CRuleFolder* f = t->AddNewChild();
    f->Name = AnsiString("G") + col;
    f->Condition = AnsiString("t.") + col + " = '1'";
    f->Group = "g";
    g.push_back(f);
  }
  CRuleFolder* other = t->AddNewChild();
  other->Name = "O";
  other->Group = "h";

  CDbFolder* node = Expanded(tree, t);
  EXPECT_EQ(ChildNames(node), (std::vector<std::string>{"Ga", "Gb", "Gc", "O"}));
  EXPECT_TRUE(node->Children.Get(3)->NoChildren);  // alone in its group
  CDbFolder* ga = node->Children.Get(0);
  EXPECT_FALSE(ga->NoChildren);
  ga->Expand();
  EXPECT_EQ(ChildNames(ga), (std::vector<std::string>{"Gb", "Gc"}));
  CDbFolder* gc = ga->Children.Get(1);
  gc->Expand();
  EXPECT_EQ(ChildNames(gc), (std::vector<std::string>{"Gb"}));
  CDbFolder* gb = gc->Children.Get(0);
  EXPECT_TRUE(gb->NoChildren);
  gb->Expand();
  EXPECT_EQ(gb->Children.Count(), 0);
  // Each step down narrows by one more folder of the group.
  EXPECT_EQ(Listed(ga), 4u);
  EXPECT_EQ(Listed(gc), 2u);
  EXPECT_EQ(Listed(gb), 1u);

  // A folder with sub-folders shows them, not its siblings.
  CRuleFolder* inner = g[1]->AddNewChild();
  inner->Name = "inner";
  node->Expand();
  node->Children.Get(1)->Expand();
  EXPECT_EQ(ChildNames(node->Children.Get(1)), (std::vector<std::string>{"inner"}));
}

// ---- The limit ---------------------------------------------------------------------------------

TEST(FolderExpansion, EveryStepThatAddsCountsOnceTowardsTheLimit) {
  {
    Scripted s;
    for (int i = 0; i < FOLDER_MAX_ENUM_NODES + 5; ++i) s.handle->values.push_back({Format("w%05d", i), false});
    s.handle->values.back().text = "a";  // comes last, would sort first
    s.Expand();
    EXPECT_EQ(s.handle->steps, FOLDER_MAX_ENUM_NODES);
    EXPECT_EQ(s.node.Children.Count(), FOLDER_MAX_ENUM_NODES);
    EXPECT_EQ(s.node.Children.Get(0)->Name, "w00000");
    EXPECT_EQ(Message(), SJ("フォルダの列挙を１万で中止しました。"));
  }
  {
    // Two values a step: 6,000 steps bring 12,000 values, below the limit of steps.
    ExpandMessage = nullptr;
    Scripted s;
    s.handle->perStep = 2;
    for (int i = 0; i < 12000; ++i) s.handle->values.push_back({Format("w%05d", i), false});
    s.Expand();
    EXPECT_EQ(s.handle->steps, 6000);
    EXPECT_EQ(s.node.Children.Count(), 12000);
    EXPECT_EQ(Message(), "(none)");
  }
}

TEST(FolderExpansion, AColumnOfMoreThanTenThousandValuesStopsWithAMessage) {
  FolderTree tree;
  CRuleFolderTbl* t = tree.AddTable("t", {"name"});
  InsertMany(tree, "t", "name", Numbered(FOLDER_MAX_ENUM_NODES + 1, "v%05d"));
  AddEnumFolder(t, "name");
  CDbFolder* node = NodeFor(t, tree.root.RootNode);
  ErrorQuiet = false;
  ModalHandlerScope scope([](TForm* f) {
    auto* d = dynamic_cast<TFolExpandDlg*>(f);
    ASSERT_NE(d, nullptr);
    WaitForClose(d);
  });
  ExpandAsTheTree(node);
  EXPECT_EQ(Message(), SJ("フォルダの列挙を１万で中止しました。"));
  ASSERT_EQ(node->Children.Count(), FOLDER_MAX_ENUM_NODES);
  const std::vector<std::string> names = ChildNames(node);
  EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
  EXPECT_EQ(ExpandAbort.load(), 0);
  EXPECT_FALSE(ErrorQuiet);

  // Fewer values than the limit: no message.
  t->Children.Get(0)->Condition = "t.name > 'v00001'";
  ExpandAsTheTree(node);
  EXPECT_EQ(Message(), "(none)");
  EXPECT_EQ(node->Children.Count(), FOLDER_MAX_ENUM_NODES - 1);
}

// ---- The worker and its dialog -----------------------------------------------------------------

TEST(FolderExpansion, AShortExpansionShowsNoDialogAndGivesTheErrorBoxBack) {
  FolderTree tree;
  CRuleFolderTbl* t = tree.AddTable("t", {"name"});
  InsertMany(tree, "t", "name", {"x", "y"});
  AddEnumFolder(t, "name");
  ModalHandlerScope scope([](TForm* f) { ADD_FAILURE() << Show(f->Caption()); });
  for (bool quiet : {false, true}) {
    ErrorQuiet = quiet;
    ExpandAbort = 1;
    ExpandMessage = &SJ("x");
    CDbFolder* node = NodeFor(t, tree.root.RootNode);
    EXPECT_FALSE(ExpandAsTheTree(node));
    EXPECT_EQ(ChildNames(node), (std::vector<std::string>{"x", "y"}));
    EXPECT_EQ(Message(), "(none)");
    EXPECT_EQ(ExpandAbort.load(), 0);
    EXPECT_EQ(ErrorQuiet, quiet);
  }
  ErrorQuiet = false;
}

TEST(FolderExpansion, TheDialogAndItsAbortButtonWhichNeverWaitsForTheWorker) {
  ErrorQuiet = false;
  std::atomic<bool> quietWhileRunning{false}, clickReturned{false}, sawAbort{false}, synchronized{false};
  std::atomic<bool> clickReturnedFirst{false};
  int shown = 0;
  ModalHandlerScope scope([&](TForm* f) {
    auto* d = dynamic_cast<TFolExpandDlg*>(f);
    ASSERT_NE(d, nullptr) << Show(f->Caption());
    ++shown;
    EXPECT_EQ(d->Caption(), SJ("実行中…"));
    EXPECT_EQ(d->BorderStyle(), bsDialog);
    EXPECT_EQ((std::pair{d->Width(), d->Height()}), (std::pair{178, 95}));
    EXPECT_EQ(d->Label1->Caption(), SJ("実行中・・・"));
    EXPECT_EQ(d->Label1->Parent(), d);
    EXPECT_GE(d->Label1->Left(), d->Bevel1->Left());
    EXPECT_LE(d->Label1->Left() + d->Label1->Width(), d->Bevel1->Left() + d->Bevel1->Width());
    EXPECT_GE(d->Label1->Top(), d->Bevel1->Top());
    EXPECT_LE(d->Label1->Top() + d->Label1->Height(), d->Bevel1->Top() + d->Bevel1->Height());
    EXPECT_EQ(d->AbortBtn->Caption(), SJ("中止"));
    EXPECT_TRUE(d->AbortBtn->Default);
    EXPECT_LE(d->AbortBtn->Top() + d->AbortBtn->Height(), 95);
    int x = 0, y = 0;
    GetCursorPos(x, y);
    EXPECT_EQ(d->Left() + d->AbortBtn->Left() + d->AbortBtn->Width() / 2, x);
    EXPECT_EQ(d->Top() + d->AbortBtn->Top() + d->AbortBtn->Height() / 2, y);

    ASSERT_TRUE(d->Running());
    ASSERT_TRUE(PressButton(d, SJ("中止")));
    // The worker goes on only after the click has returned: a click that waited would hang here.
    clickReturned = true;
    EXPECT_TRUE(d->Running());
    EXPECT_EQ(d->ModalResult(), mrNone);
    EXPECT_EQ(d->Label1->Caption(), SJ("中止中・・・"));
    EXPECT_EQ(ExpandAbort.load(), 1);
    WaitForClose(d);
    EXPECT_FALSE(d->Running());
  });
  auto* dialog = new TFolExpandDlg(Application);
  StartFolderExpansion(dialog, nullptr, [&](void*) {
    quietWhileRunning = ErrorQuiet.load();
    ReportError("%s", "not shown");  // a box would reach the handler above
    sawAbort = WorkerWaitsFor([] { return ExpandAbort.load() != 0; });
    clickReturnedFirst = WorkerWaitsFor([&] { return clickReturned.load(); });
    // The end of the work needs the user-interface thread, as a real expansion's may.
    TThread::Synchronize([&] { synchronized = true; });
  });
  EXPECT_TRUE(dialog->Running());
  dialog->ShowModal();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(quietWhileRunning);
  EXPECT_TRUE(sawAbort);
  EXPECT_TRUE(clickReturnedFirst);
  EXPECT_TRUE(synchronized);
  EXPECT_EQ(ExpandAbort.load(), 0);
  EXPECT_FALSE(ErrorQuiet);
  delete dialog;
}

TEST(FolderExpansion, ClosingTheDialogWhileTheWorkerRunsStopsItInstead) {
  for (bool quiet : {false, true}) {
    ErrorQuiet = quiet;
    int rounds = 0;
    ModalHandlerScope scope([&](TForm* f) {
      auto* d = static_cast<TFolExpandDlg*>(f);
      if (++rounds == 1) {
        d->Close();  // the title bar's close box
        return;
      }
      EXPECT_EQ(d->Label1->Caption(), SJ("中止中・・・"));
      EXPECT_TRUE(d->Running());
      WaitForClose(d);
    });
    TFolExpandDlg dialog(nullptr);
    StartFolderExpansion(&dialog, nullptr, [](void*) { WorkerWaitsFor([] { return ExpandAbort.load() != 0; }); });
    dialog.ShowModal();
    EXPECT_EQ(rounds, 2);
    EXPECT_FALSE(dialog.Running());
    EXPECT_EQ(ErrorQuiet, quiet);
  }
  ErrorQuiet = false;
}

TEST(FolderExpansion, AbortingAnEnumerationKeepsItsValuesAndLeavesNoMessage) {
  Scripted s;
  for (int i = 0; i < 20; ++i) s.handle->values.push_back({Format("w%02d", 19 - i), false});
  s.handle->pauseAfter = 5;
  ModalHandlerScope scope([&](TForm* f) {
    auto* d = static_cast<TFolExpandDlg*>(f);
    ASSERT_TRUE(PumpUntil([&] { return s.handle->steps.load() == 5; }));
    PressButton(d, SJ("中止"));
    WaitForClose(d);
  });
  TFolExpandDlg dialog(nullptr);
  StartFolderExpansion(&dialog, &s.node, [](void* node) { static_cast<CDbFolder*>(node)->Expand(); });
  dialog.ShowModal();
  EXPECT_EQ(ChildNames(&s.node), (std::vector<std::string>{"w15", "w16", "w17", "w18", "w19"}));
  EXPECT_EQ(Message(), "(none)");
  EXPECT_EQ(ExpandAbort.load(), 0);
}

TEST(FolderExpansion, ADialogOutlivedByItsWorkerOrShownTooLate) {
  ErrorQuiet = false;
  // Freed while the worker runs (the application ending): the worker is stopped first.
  std::atomic<bool> stopped{false};
  auto* dialog = new TFolExpandDlg(Application);
  StartFolderExpansion(dialog, nullptr, [&](void*) { stopped = WorkerWaitsFor([] { return ExpandAbort.load() != 0; }); });
  delete dialog;
  EXPECT_TRUE(stopped);
  EXPECT_EQ(ExpandAbort.load(), 0);
  EXPECT_FALSE(ErrorQuiet);

  // Shown after the worker has ended: it closes at once.
  int handled = 0;
  ModalHandlerScope scope([&](TForm*) { ++handled; });
  TFolExpandDlg late(nullptr);
  StartFolderExpansion(&late, nullptr, [](void*) {});
  ASSERT_TRUE(PumpUntil([&] { return !late.Running(); }));
  EXPECT_FALSE(ErrorQuiet);
  EXPECT_EQ(late.ShowModal(), mrCancel);
  EXPECT_LE(handled, 1);
  // Pressing the button of a dialog without worker raises nothing.
  late.AbortBtnClick(nullptr);
  EXPECT_EQ(ExpandAbort.load(), 0);
}

