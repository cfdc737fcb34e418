// The folder tree of the main window: expanding an enumeration folder, dragging folders, the
// refresh by name, node deletion, the popup menu, folder commands and dropped files, each driven
// through the real window offscreen.
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>

#include "folders/FlowBox.h"
#include "folders/FolExpandUnit.h"
#include "folders/ReadCsvUnit.h"
#include "folders/RuleFolForm.h"
#include "folders/RuleFolder.h"
#include "platform/Menus.h"
#include "query/ReadingDlgUnit.h"
#include "store/Kvobj.h"
#include "tests/mainwin/MainWindowTestSupport.h"

namespace {

// A work folder with two tables:
//   顧客 (name, unit, amount): A (condition), B (heading) with B1, C (condition) and 部署, an
//        enumeration over unit whose values are 営業, 開発 and 経理 (in byte order)
//   商品 (code, title): X
class TreeFolder : public FolderTree {
 public:
  TreeFolder() {
    customers = AddTable(SJ("顧客"), {"name", "unit", "amount:int"});
    const char* const people[][3] = {{"山田", "営業", "120"}, {"佐藤", "経理", "80"}, {"鈴木", "開発", "50"}, {"田中", "営業", "30"}};
    for (const auto& p : people)
      Insert(SJ("顧客"), {{"name", Utf8ToSjis(p[0])}, {"unit", Utf8ToSjis(p[1])}, {"amount", p[2]}});
    goods = AddTable(SJ("商品"), {"code", "title"});
    Add(customers, "A", FOLDER_CONDITION, "unit = '営業'");
    CRuleFolder* b = Add(customers, "B", FOLDER_HEADING);
    Add(b, "B1", FOLDER_CONDITION, "unit = '経理'");
    Add(customers, "C", FOLDER_CONDITION, "amount > 60");
    CRuleFolder* units = Add(customers, "部署", FOLDER_ENUMERATION);
    units->EnumItem = "unit";
    Add(goods, "X", FOLDER_CONDITION);
    Save();
  }
  static CRuleFolder* Add(CRuleFolder* parent, const char* name, int kind, const char* condition = "") {
    auto* folder = new CRuleFolder(parent);
    folder->Name = Utf8ToSjis(name);
    folder->Kind = kind;
    folder->Condition = Utf8ToSjis(condition);
    parent->AddChild(folder);
    return folder;
  }
  void Save() {
    root.WritePath = Base() + ".fld";
    root.AddModified(-root.GetModified());
    EXPECT_TRUE(root.SaveFolderFile());
    WriteFileBytes(Base() + ".ini", "");  // the settings file, which names the folder file
  }
  std::string Base() const { return dir.File("work"); }
  CRuleFolderTbl* customers;
  CRuleFolderTbl* goods;
};

// The folder model as text: "顧客(A B(B1)) 商品(X)" for the root's sub-folders.
std::string ModelText(const CRuleFolder* folder) {
  std::string out;
  for (int i = 0; i < folder->Children.Count(); ++i) {
    const CRuleFolder* child = folder->Children.Get(i);
    out += (i ? " " : "") + SjisToUtf8(child->Name);
    if (child->Children.Count() > 0) out += "(" + ModelText(child) + ")";
  }
  return out;
}

// The texts of the nodes in the listed-together list, in order.
std::string ListedTexts() {
  std::string out;
  TList* nodes = FormMain->Tv1NodeList->Nodes;
  for (int i = 0; i < nodes->Count(); ++i) out += (i ? " " : "") + SjisToUtf8(static_cast<TTreeNode*>(nodes->Items(i))->Text());
  return out;
}

// Plays the user: message boxes are noted and answered in turn (OK once the answers are used up),
// a folder dialog gets folderName (when set) and its first button, the import dialog notes its
// file name and starts, the expansion and reading dialogs run to their ends, the about box closes.
class TreeUser {
 public:
  explicit TreeUser(std::vector<const char*> answers = {}) : answers_(std::move(answers)) {}
  std::vector<std::string> boxes;        // "caption: text"
  std::vector<AnsiString> importedFiles;  // the file name each import dialog started with
  const char* folderName = nullptr;
  std::function<void()> whileExpanding;  // runs when the expansion's dialog shows

 private:
  void Play(TForm* form) {
    if (AnswerMessages(form, boxes, answers_, next_)) return;
    if (auto* folder = dynamic_cast<TFolForm*>(form)) {
      if (folderName) folder->Edit1->SetText(Utf8ToSjis(folderName));
      folder->Button1->Click();
    } else if (auto* import = dynamic_cast<TReadCsvDlg*>(form)) {
      importedFiles.push_back(import->Edit3->Text());
      EXPECT_TRUE(PressButton(form, SJ("開始")));
    } else if (auto* expanding = dynamic_cast<TFolExpandDlg*>(form)) {
      // A slow expansion: the dialog closes itself when the worker ends.
      if (whileExpanding) whileExpanding();
      EXPECT_TRUE(PumpUntil([expanding] { return expanding->ModalResult() != mrNone; }, 60000));
    } else if (auto* reading = dynamic_cast<TReadingDlg*>(form)) {
      EXPECT_TRUE(PumpUntil([reading] { return reading->ModalResult() != mrNone; }, 60000));
    } else {
      ADD_FAILURE() << "unexpected dialog \"" << Show(form->Caption()) << "\"";
    }
  }
  std::vector<const char*> answers_;
  size_t next_ = 0;
  ModalHandlerScope scope_{[this](TForm* form) { Play(form); }};
};

// The program started on the work folder with 顧客, B and 商品 expanded.
struct OpenTree {
  explicit OpenTree(TreeFolder& work) : program({work.Base()}) {
    for (const char* path : {"顧客", "顧客/B", "商品"}) NodeAt(path)->Expand(false);
  }
  StartedProgram program;
};

// Every run-time folder node reachable from the top folder's root node.
void CollectLive(CDbFolder* node, std::set<const void*>& live) {
  live.insert(node);
  for (int i = 0; i < node->Children.Count(); ++i) CollectLive(node->Children.Get(i), live);
}

}  // namespace

// Expanding the table folder asks the enumeration folder for its values on the worker: one node
// per value, in order, without an expand button (the folder has no sub-folders), and the status
// bar says how many came.
TEST_F(MainWindowTest, ExpandingShowsTheValuesOfAnEnumerationFolder) {
  TreeFolder work;
  TreeUser user;
  StartedProgram program({work.Base()});
  TTreeNode* customers = NodeAt("顧客");
  customers->Expand(false);
  EXPECT_TRUE(customers->Expanded());
  EXPECT_EQ(ChildTexts(customers), "A B C 営業 開発 経理");
  TTreeNode* sales = NodeAt("顧客/営業");
  EXPECT_FALSE(sales->HasChildren());
  auto* value = static_cast<CDbFolder*>(sales->Data);
  EXPECT_EQ(SjisToUtf8(value->Condition), "unit = '営業'");
  EXPECT_TRUE(NodeAt("顧客/B")->HasChildren());
  const std::string status = SjisToUtf8(FormMain->StatusBar1->Panels()->Items(1)->Text());
  EXPECT_EQ(status.rfind("展開:6 検索:", 0), 0u) << status;

  // Collapsing drops the child nodes and the folder's; expanding again builds them anew.
  customers->Collapse(false);
  EXPECT_EQ(customers->Count(), 0);
  EXPECT_TRUE(customers->HasChildren());
  customers->Expand(false);
  EXPECT_EQ(ChildTexts(customers), "A B C 営業 開発 経理");

  // A node whose folder has nothing below it any more loses its button and stays closed.
  CRuleFolder* b = FormMain->TopFolder->Children.Get(0)->Children.Get(1);
  ASSERT_TRUE(b->RemoveChild(b->Children.Get(0)));
  TTreeNode* heading = NodeAt("顧客/B");
  heading->Expand(false);
  EXPECT_FALSE(heading->Expanded());
  EXPECT_FALSE(heading->HasChildren());
  EXPECT_EQ(SjisToUtf8(FormMain->StatusBar1->Panels()->Items(1)->Text()).rfind("展開:0 検索:", 0), 0u);
  EXPECT_TRUE(user.boxes.empty());
}

// While the expansion worker reads the folders, the window offers nothing a user could start:
// the tree, the tool bars, the tabs and the diagram are off, and come back once it has ended.
TEST_F(MainWindowTest, NothingStartsFromTheWindowWhileAnExpansionRuns) {
  // A folder whose node takes its time to make, until the test lets it go on.
  struct SlowFolder : CRuleFolder {
    explicit SlowFolder(CRuleFolder* parent) : CRuleFolder(parent) { Name = "slow"; }
    void AddNodes(CDbFolder* parent, CDbFolderList& out) override {
      while (!go) Sleep(1);
      CRuleFolder::AddNodes(parent, out);
    }
    std::atomic<bool> go{false};
  };
  TreeFolder work;
  TreeUser user;
  StartedProgram program({work.Base()});
  CRuleFolder* heading = TreeFolder::Add(FormMain->TopFolder, "H", FOLDER_HEADING);
  auto* slow = new SlowFolder(heading);
  heading->AddChild(slow);
  FormMain->RefreshTree(nullptr);
  std::vector<bool> enabled;
  user.whileExpanding = [&] {
    for (TControl* c : std::initializer_list<TControl*>{FormMain->TreeView1, FormMain->CoolBar1, FormMain->TabControl1,
                                                        FormMain->DiagramBox})
      enabled.push_back(c->Enabled());
    slow->go = true;
  };
  NodeAt("H")->Expand(false);
  EXPECT_EQ(enabled, std::vector<bool>(4, false));
  EXPECT_EQ(ChildTexts(NodeAt("H")), "slow");
  EXPECT_TRUE(FormMain->TreeView1->Enabled() && FormMain->CoolBar1->Enabled() && FormMain->TabControl1->Enabled());
}

// More distinct values than an enumeration may show: the first 10,000 come, and the message
// comes once after the expansion.
TEST_F(MainWindowTest, AnEnumerationStoppedAtItsLimitSaysSoOnce) {
  TreeFolder work;
  {
    CKvRecord t;
    t.SetFileName(work.dir.File(SJ("商品") + ".kvr"));
    ASSERT_GE(t.Open(), 0);
    CKorvaHold run(*t.File());
    TStringList names, values;
    names.Add("code");
    values.Add(AnsiString());
    for (int i = 0; i <= FOLDER_MAX_ENUM_NODES; ++i) {
      values.SetString(0, Format("c%05d", i));
      ASSERT_TRUE(t.InsertEx(names, values, nullptr, 0));
    }
  }
  CRuleFolder* codes = TreeFolder::Add(work.goods, "品番", FOLDER_ENUMERATION);
  codes->EnumItem = "code";
  work.Save();
  TreeUser user;
  StartedProgram program({work.Base()});
  NodeAt("商品")->Expand(false);
  EXPECT_EQ(NodeAt("商品")->Count(), 1 + FOLDER_MAX_ENUM_NODES);
  EXPECT_EQ(user.boxes, (std::vector<std::string>{"Cindervault: フォルダの列挙を１万で中止しました。"}));
}

// Folders dragged in the tree: down lands after the target, up before it, Ctrl copies before the
// target; a folder never goes into its own subtree, to another table, beside the top folder, and
// a table folder is not copied.
TEST_F(MainWindowTest, DraggingFolders) {
  const std::string initial = "顧客(A B(B1) C 部署) 商品(X)";
  struct Case {
    const char* from;
    const char* to;
    bool ctrl;
    const char* model;  // after the drop; nullptr: unchanged
  } cases[] = {
      {"顧客/A", "顧客/C", false, "顧客(B(B1) C A 部署) 商品(X)"},
      {"顧客/C", "顧客/A", false, "顧客(C A B(B1) 部署) 商品(X)"},
      {"顧客/A", "顧客/C", true, "顧客(A B(B1) A C 部署) 商品(X)"},
      {"顧客/B/B1", "顧客/A", false, "顧客(B1 A B C 部署) 商品(X)"},
      {"顧客/B/B1", "顧客/A", true, "顧客(B1 A B(B1) C 部署) 商品(X)"},
      {"顧客/A", "顧客/営業", false, "顧客(B(B1) C 部署 A) 商品(X)"},
      {"顧客", "商品", false, "商品(X) 顧客(A B(B1) C 部署)"},
      {"顧客/B", "顧客/B/B1", false, nullptr},  // into its own subtree
      {"顧客/B", "顧客/B/B1", true, nullptr},
      {"顧客/A", "商品/X", false, nullptr},  // another table
      {"顧客/A", "商品/X", true, nullptr},
      {"顧客/A", "顧客", false, nullptr},  // beside a table folder: under the top folder
      {"顧客", "商品", true, nullptr},
      {"", "顧客", false, nullptr},
      {"顧客/A", "顧客/A", false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " -> " + c.to + (c.ctrl ? " with Ctrl" : ""));
    TreeFolder work;
    TreeUser user;
    OpenTree open(work);
    Drag(NodeAt(c.from), NodeAt(c.to), c.ctrl);
    EXPECT_EQ(ModelText(FormMain->TopFolder), c.model ? c.model : initial);
    EXPECT_EQ(FormMain->FileSaveFol->Enabled(), c.model != nullptr);
    EXPECT_EQ(FormMain->TreeView1->DragCursor, c.ctrl ? 2 : crDrag);  // the copy pointer with Ctrl
    // The tree shows the model again, the expanded nodes kept.
    if (c.model && std::string(c.from) != "顧客") {
      std::string shown;
      for (int i = 0; i < FormMain->TopFolder->Children.Get(0)->Children.Count(); ++i) {
        const AnsiString name = FormMain->TopFolder->Children.Get(0)->Children.Get(i)->Name;
        shown += (shown.empty() ? "" : " ") + (name == SJ("部署") ? std::string("営業 開発 経理") : SjisToUtf8(name));
      }
      EXPECT_EQ(ChildTexts(NodeAt("顧客")), shown);
    }
    EXPECT_TRUE(user.boxes.empty());
  }
}

// A refresh builds the nodes again from the folders, keeping by name what was expanded, listed
// and selected; a listed node whose folder went is gone from the list, and the selection passes
// to the top, which is listed then.
TEST_F(MainWindowTest, RefreshKeepsExpansionListingAndSelectionByName) {
  TreeFolder work;
  TreeUser user;
  OpenTree open(work);
  Click(NodeAt("顧客/B/B1"));
  Click(NodeAt("顧客/経理"), ssCtrl);
  Click(NodeAt("顧客/A"), ssCtrl);
  EXPECT_EQ(ListedTexts(), "B1 経理 A");
  CRuleFolder* customers = FormMain->TopFolder->Children.Get(0);
  TreeFolder::Add(customers, "D", FOLDER_CONDITION);

  FormMain->RefreshTree(nullptr);
  EXPECT_EQ(TreeText(FormMain->TreeView1),
            "Cindervault\n  顧客\n    A\n    B\n      B1\n    C\n    営業\n    開発\n    経理\n    D\n  商品\n    X\n");
  EXPECT_TRUE(NodeAt("顧客/B")->Expanded());
  EXPECT_FALSE(NodeAt("顧客/C")->Expanded());
  EXPECT_EQ(ListedTexts(), "A B1 経理");  // in tree order
  EXPECT_EQ(FormMain->TreeView1->Selected(), NodeAt("顧客/A"));
  EXPECT_EQ(NodeAt("顧客/A")->ImageIndex(), static_cast<CDbFolder*>(NodeAt("顧客/A")->Data)->GetImageIndex(true));

  // A deleted through its command, the listing kept as it is.
  FormMain->PopupNode = NodeAt("顧客/A");
  FormMain->PopupFolder = static_cast<CDbFolder*>(FormMain->PopupNode->Data);
  FormMain->FolDelete->Execute();
  EXPECT_EQ(ChildTexts(NodeAt("顧客")), "B C 営業 開発 経理 D");
  EXPECT_EQ(FormMain->TreeView1->Selected(), NodeAt(""));
  EXPECT_EQ(ListedTexts(), "B1 経理 Cindervault");

  // A plain click lists only the clicked node and gives the others their closed pictures back.
  Click(NodeAt("顧客/C"));
  EXPECT_EQ(ListedTexts(), "C");
  TTreeNode* b1 = NodeAt("顧客/B/B1");
  EXPECT_EQ(b1->ImageIndex(), static_cast<CDbFolder*>(b1->Data)->GetImageIndex(false));
  EXPECT_EQ(user.boxes, (std::vector<std::string>{"削除の確認: フォルダ A を削除します。よろしいですか？"}));
}

// Whenever tree nodes go (a refresh that drops a subtree, a collapse, a deleted folder), none of
// them still links to a freed folder node, and a listing open on one of them ends with it.
TEST_F(MainWindowTest, NodesThatGoEndTheirListingAndLinkToNoFreedFolder) {
  struct Case {
    const char* what;
    const char* listed;
    bool folderStays;
    std::function<void()> act;
  } cases[] = {
      {"a refresh after the listed node's grandparent was renamed", "顧客/B/B1", true,
       [] {
         FormMain->TopFolder->Children.Get(0)->Children.Get(1)->Name = SJ("B改");
         FormMain->RefreshTree(nullptr);
       }},
      {"a refresh that keeps the listed node", "顧客/A", true, [] { FormMain->RefreshTree(nullptr); }},
      {"a collapse above the listed node", "顧客/B/B1", true, [] { NodeAt("顧客")->Collapse(false); }},
      {"the listed folder's parent deleted", "顧客/B/B1", false,
       [] {
         FormMain->PopupNode = NodeAt("顧客/B");
         FormMain->PopupFolder = static_cast<CDbFolder*>(FormMain->PopupNode->Data);
         FormMain->FolDelete->Execute();
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TreeFolder work;
    TreeUser user;
    OpenTree open(work);
    TTreeNode* listed = NodeAt(c.listed);
    auto* node = static_cast<CDbFolder*>(listed->Data);
    CRuleFolder* folder = node->Folder;
    node->ListStart(Selection({node}));
    ASSERT_NE(folder->ListHandle, nullptr);
    FormMain->ListedNode = listed;
    int gone = 0;
    const TTVChangedEvent deletion = FormMain->TreeView1->OnDeletion;
    FormMain->TreeView1->OnDeletion = [&](TObject* sender, TTreeNode* n) {
      std::set<const void*> live;
      CollectLive(FormMain->TopFolder->RootNode, live);
      EXPECT_TRUE(!n->Data || live.count(n->Data)) << Show(n->Text());
      ++gone;
      deletion(sender, n);
    };
    c.act();
    FormMain->TreeView1->OnDeletion = deletion;
    EXPECT_GT(gone, 0);
    EXPECT_EQ(FormMain->ListedNode, nullptr);
    if (c.folderStays) {
      EXPECT_EQ(folder->ListHandle, nullptr);
    }
  }
}

// The popup menu offers the commands that fit the folder: the top folder its own menu, a table
// folder its checks, each folder's lock bits switch commands off, and pasting needs a copy.
TEST_F(MainWindowTest, PopupMenuPerFolderKind) {
  // Each item's caption, "×" when it is disabled, its sub-items in brackets; hidden items left out.
  std::function<std::string(TMenuItem*)> text = [&](TMenuItem* menu) {
    std::string out;
    for (int i = 0; i < menu->Count(); ++i) {
      TMenuItem* item = menu->Items(i);
      TAction* action = item->Action();
      if (!(action ? action->Visible() : item->Visible)) continue;
      out += (out.empty() ? "" : " ") + SjisToUtf8(action ? action->Caption() : item->Caption());
      if (!(action ? action->Enabled() : item->Enabled)) out += "×";
      if (item->Count() > 0) out += "(" + text(item) + ")";
    }
    return out;
  };
  const std::string create = "新規作成(見出し 条件 列挙)";
  struct Case {
    const char* node;
    int flags;  // -1: as the folder has them
    bool copied;
    std::string menu;
  } cases[] = {
      {"", -1, false, "表作成 編集 - 表定義の書き出し× 表定義の読み込み×"},
      {"顧客", -1, false,
       "表示書式設定 表示書式削除× - " + create + " 編集 - 関連付け検査 データ検査× - 切り取り× コピー× 貼り付け× - 削除"},
      {"顧客/A", -1, false, "表示書式設定 表示書式削除× - " + create + " 編集 - 切り取り コピー 貼り付け× - 削除"},
      {"顧客/経理", -1, true, "表示書式設定 表示書式削除× - " + create + " 編集 - 切り取り コピー 貼り付け - 削除"},
      {"顧客/C", 0x15, true,
       "表示書式設定 表示書式削除× - 新規作成×(見出し× 条件× 列挙×) 編集× - 切り取り コピー 貼り付け× - 削除×"},
      {"顧客/C", 0x6A, false,
       "表示書式設定× 表示書式削除× - " + create + " 編集 - 切り取り× コピー× 貼り付け× - 削除"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.node) + " flags " + std::to_string(c.flags));
    TreeFolder work;
    TreeUser user;
    OpenTree open(work);
    TTreeNode* node = NodeAt(c.node);
    if (c.flags >= 0) static_cast<CDbFolder*>(node->Data)->Folder->Flags = c.flags;
    if (c.copied) {
      RightClick(NodeAt("顧客/B"));
      FormMain->FolCopy->Execute();
    }
    RightClick(node);
    EXPECT_EQ(FormMain->PopupNode, node);
    EXPECT_EQ(text(FormMain->PopupMenuTV->Items()), c.menu);
  }
  // Without a folder under the pointer every command is off.
  TreeFolder work;
  TreeUser user;
  OpenTree open(work);
  FormMain->TreeView1->Items()->AddChild(NodeAt(""), "bare");
  RightClick(NodeAt("bare"));
  EXPECT_EQ(FormMain->PopupFolder, nullptr);
  EXPECT_EQ(text(FormMain->PopupMenuTV->Items()),
            "表示書式設定× 表示書式削除× - 新規作成×(見出し× 条件× 列挙×) 編集× - 切り取り× コピー× 貼り付け× - 削除×");
}

// The folder commands: each asks first or opens its dialog, and changes the folders only when the
// user goes on; the tree follows. A cut folder pasted under another table takes that table's name
// and columns; pasting twice gives two copies.
TEST_F(MainWindowTest, FolderCommandsAskThenChangeTheFolders) {
  const std::string initial = "顧客(A B(B1) C 部署) 商品(X)";
  struct Step {
    const char* node;
    TAction* TFormMain::*command;
  };
  struct Case {
    std::vector<Step> steps;
    std::vector<const char*> answers;
    const char* folderName;
    std::vector<std::string> boxes;
    std::string model;
    bool changed;
    const char* underB;  // the nodes shown under B afterwards
  } cases[] = {
      {{{"顧客/A", &TFormMain::FolDelete}}, {"ＯＫ"}, nullptr,
       {"削除の確認: フォルダ A を削除します。よろしいですか？"}, "顧客(B(B1) C 部署) 商品(X)", true, "B1"},
      {{{"顧客/A", &TFormMain::FolDelete}}, {"キャンセル"}, nullptr,
       {"削除の確認: フォルダ A を削除します。よろしいですか？"}, initial, false, "B1"},
      {{{"顧客/B", &TFormMain::FolCut}, {"商品/X", &TFormMain::FolPaste}}, {"ＯＫ"}, nullptr,
       {"切り取りの確認: フォルダ B を切り取ります。よろしいですか？"}, "顧客(A C 部署) 商品(X(B(B1)))", true, nullptr},
      {{{"顧客/A", &TFormMain::FolCopy}, {"顧客/C", &TFormMain::FolPaste}, {"顧客/C", &TFormMain::FolPaste}}, {},
       nullptr, {}, "顧客(A B(B1) C(A A) 部署) 商品(X)", true, "B1"},
      {{{"顧客/B", &TFormMain::FolCreate2}}, {}, "新条件", {}, "顧客(A B(B1 新条件) C 部署) 商品(X)", true, "B1 新条件"},
      {{{"顧客/B/B1", &TFormMain::FolEdit}}, {}, "B1改", {}, "顧客(A B(B1改) C 部署) 商品(X)", true, "B1改"},
      {{{"顧客/B", &TFormMain::FolDelCapInfo}}, {"ＯＫ"}, nullptr,
       {"削除の確認: フォルダ B の表示書式を削除します。よろしいですか？"}, initial, true, "B1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.steps[0].node) + " answered " + (c.answers.empty() ? "-" : c.answers[0]) + ", then " +
                 c.model);
    TreeFolder work;
    work.customers->Children.Get(1)->CapInfoList = Columns({Column(SJ("顧客.name")), Column(SJ("顧客.unit"))});
    work.Save();
    TreeUser user(c.answers);
    user.folderName = c.folderName;
    OpenTree open(work);
    for (const Step& step : c.steps) {
      RightClick(NodeAt(step.node));
      EXPECT_TRUE((FormMain->*step.command)->Execute());
    }
    // What the user sees next reads nothing that went with a folder.
    FormMain->StringGridEx1->PaintToImage();
    FormMain->TabControl1->UserSelect(1);
    FormMain->TabControl1->UserSelect(0);
    EXPECT_EQ(user.boxes, c.boxes);
    EXPECT_EQ(ModelText(FormMain->TopFolder), c.model);
    EXPECT_EQ(FormMain->FileSaveFol->Enabled(), c.changed);
    if (c.underB) {
      EXPECT_EQ(ChildTexts(NodeAt("顧客/B")), c.underB);
    }
  }
  // The display format deleted: the folder takes its table's again.
  {
    TreeFolder work;
    work.customers->Children.Get(1)->CapInfoList = Columns({Column(SJ("顧客.name"))});
    work.Save();
    TreeUser user;
    OpenTree open(work);
    RightClick(NodeAt("顧客/B"));
    FormMain->FolDelCapInfo->Execute();
    CRuleFolder* b = FormMain->TopFolder->Children.Get(0)->Children.Get(1);
    EXPECT_EQ(b->CapInfoList, nullptr);
    EXPECT_EQ(b->GetCapInfoList(), FormMain->TopFolder->Children.Get(0)->CapInfoList);
  }
  // The cut heading under 商品 lists 商品's columns.
  TreeFolder work;
  work.customers->Children.Get(1)->CapInfoList = Columns({Column(SJ("顧客.name")), Column(SJ("顧客.unit"))});
  work.Save();
  TreeUser user;
  OpenTree open(work);
  RightClick(NodeAt("顧客/B"));
  FormMain->FolCut->Execute();
  RightClick(NodeAt("商品/X"));
  FormMain->FolPaste->Execute();
  CRuleFolder* pasted = FormMain->TopFolder->Children.Get(1)->Children.Get(0)->Children.Get(0);
  EXPECT_EQ(pasted->GetTableName(), SJ("商品"));
  for (const std::string& name : Names(pasted->CapInfoList)) EXPECT_EQ(name.rfind(SJ("商品."), 0), 0u) << Show(name);
}

// A folder below an enumeration stands under every value: renamed, it is renamed under each value
// node that is expanded, and a collapsed value node shows it anew when it opens.
TEST_F(MainWindowTest, AFolderShownUnderEveryValueChangesUnderEachExpandedValue) {
  TreeFolder work;
  TreeFolder::Add(work.customers->Children.Get(3), "大口", FOLDER_CONDITION, "amount > 100");
  work.Save();
  TreeUser user;
  user.folderName = "大口顧客";
  OpenTree open(work);
  NodeAt("顧客/営業")->Expand(false);
  NodeAt("顧客/経理")->Expand(false);
  RightClick(NodeAt("顧客/経理/大口"));
  FormMain->FolEdit->Execute();
  EXPECT_EQ(ChildTexts(NodeAt("顧客/営業")), "大口顧客");
  EXPECT_EQ(ChildTexts(NodeAt("顧客/経理")), "大口顧客");
  EXPECT_FALSE(NodeAt("顧客/開発")->Expanded());
  NodeAt("顧客/開発")->Expand(false);
  EXPECT_EQ(ChildTexts(NodeAt("顧客/開発")), "大口顧客");
}

// Files dropped on the window go to the selected folder, however long their paths; with no
// folder selected, or after a table definition file that cannot be read, the rest is refused.
TEST_F(MainWindowTest, DroppedFiles) {
  TreeFolder work;
  std::string deep = work.dir.Path();
  for (int i = 0; i < 3; ++i) deep += "/" + std::string(120, 'd');
  std::filesystem::create_directories(deep);
  const std::string csv = deep + "/" + SJ("追加.csv");
  ASSERT_GT(csv.size(), 300u);
  WriteFileBytes(csv, SJ("小林,経理,70\n"));
  const std::string tld = work.dir.File("table.tld");
  WriteFileBytes(tld, "x");

  struct Case {
    const char* selected;  // nullptr: nothing selected
    std::vector<std::string> files;
    std::vector<std::string> boxes;
    size_t imports;
  } cases[] = {
      {"顧客", {csv}, {"読込成功: 読込成功 1 件、エラー 0 件"}, 1},
      {nullptr, {csv}, {"エラー: 選択中のフォルダには取りこめません。"}, 0},
      {"顧客", {tld, csv}, {"エラー: 表定義の読み込みはできません。"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files.size());
    TreeFolder fresh;
    TreeUser user;
    StartedProgram program({fresh.Base()});
    if (c.selected) Click(NodeAt(c.selected));
    std::vector<AnsiString> paths(c.files.begin(), c.files.end());
    FormMain->DropFiles(paths);
    EXPECT_EQ(user.boxes, c.boxes);
    ASSERT_EQ(user.importedFiles.size(), c.imports);
    if (c.imports) {
      EXPECT_EQ(user.importedFiles[0], csv);
    }
    std::unique_ptr<CDbFolder> table(NodeFor(FormMain->TopFolder->Children.Get(0), nullptr));
    EXPECT_EQ(ListAll(*table, {table.get()}).size(), 4 + c.imports);
  }
}
