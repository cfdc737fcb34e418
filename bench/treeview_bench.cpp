// The folder tree with many children under one node, as an enumeration folder gives them.
//
// The tree control alone: the nodes made (inside BeginUpdate and EndUpdate), the node expanded
// and the view drawn (tree_build_ms), the same children thrown away and made again
// (tree_control_refresh_ms), and the last child selected and drawn (tree_select_last_ms).
//
// The main window: a node whose folder gives n value nodes, expanded with one value selected and
// listed, refreshed by name (tree_refresh_ms: the folder's nodes built again on the expansion
// worker, the tree nodes made anew, expansion, listing and selection carried over); then the same
// over a real enumeration folder of n distinct values in a record table (tree_refresh_enum_ms,
// which includes reading the values from the table). Each is the median of five refreshes.
// There is no other system to compare with: the figures stand alone.
//
//   treeview_bench [children]   (default 10000)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "folders/DbFolder.h"
#include "folders/RuleFolder.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "mainwin/MainForm.h"
#include "mainwin/Startup.h"
#include "platform/ComCtrls.h"
#include "platform/ImgList.h"
#include "platform/SysUtils.h"
#include "store/KvRecord.h"
#include "store/Kvobj.h"

namespace {

double Ms(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since).count();
}

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "treeview_bench: %s failed\n", what);
  std::exit(1);
}

// Children named like the values of an enumeration folder, each marked as having children.
void MakeChildren(TTreeView* tree, TTreeNode* parent, int n) {
  tree->Items()->BeginUpdate();
  for (int i = 0; i < n; ++i) {
    TTreeNode* node = tree->Items()->AddChildObject(parent, Utf8ToSjis("値 ") + IntToStr(100000 + i), nullptr);
    node->SetImageIndex(0);
    node->SetSelectedIndex(1);
    node->SetHasChildren(true);
  }
  tree->Items()->EndUpdate();
}

void ControlFigures(int n) {
  TForm form(Application);
  form.SetBounds(0, 0, 400, 600);
  TImageList images(&form);
  TBitmap icon(16, 16);
  images.AddMasked(icon, clWhite);
  images.AddMasked(icon, clWhite);
  auto* tree = new TTreeView(&form);
  tree->SetParent(&form);
  tree->SetAlign(alClient);
  tree->SetImages(&images);
  TTreeNode* root = tree->Items()->Add(nullptr, "Cindervault");
  tree->PaintToImage();  // fonts loaded before anything is timed

  auto start = std::chrono::steady_clock::now();
  MakeChildren(tree, root, n);
  root->Expand(false);
  tree->PaintToImage();
  std::printf("figure tree_build_ms %.1f ms\n", Ms(start));

  start = std::chrono::steady_clock::now();
  tree->Items()->BeginUpdate();
  root->DeleteChildren();
  MakeChildren(tree, root, n);
  tree->Items()->EndUpdate();
  root->Expand(false);
  tree->PaintToImage();
  std::printf("figure tree_control_refresh_ms %.1f ms\n", Ms(start));

  start = std::chrono::steady_clock::now();
  tree->SetSelected(root->Item(root->Count() - 1));
  tree->PaintToImage();
  std::printf("figure tree_select_last_ms %.1f ms\n", Ms(start));
}

// A folder that stands as n value nodes, as an enumeration folder does, without a table.
class ValuesFolder : public CRuleFolder {
 public:
  ValuesFolder(CRuleFolder* parent, int n) : CRuleFolder(parent), n_(n) { Kind = FOLDER_ENUMERATION; }
  void AddNodes(CDbFolder* parent, CDbFolderList& out) override {
    for (int i = 0; i < n_; ++i) {
      auto* node = new CDbFolder(parent);
      node->Folder = this;
      node->Name = Utf8ToSjis("値 ") + IntToStr(100000 + i);
      node->Condition = "v = '" + node->Name + "'";
      node->NoChildren = true;
      out.Add(node);
    }
  }

 private:
  int n_;
};

// Expands node, selects and lists its value in the middle, then the median of five refreshes.
double MedianRefresh(TTreeNode* node, int n) {
  node->Expand(false);
  if (node->Count() < n) Die("expansion");
  FormMain->TreeView1->SetSelected(node->Item(n / 2));
  std::vector<double> times;
  for (int round = 0; round < 5; ++round) {
    const auto start = std::chrono::steady_clock::now();
    FormMain->RefreshTree(node);
    FormMain->TreeView1->PaintToImage();
    times.push_back(Ms(start));
    if (node->Count() < n || FormMain->TreeView1->Selected() != node->Item(n / 2) ||
        FormMain->Tv1NodeList->Nodes->Count() != 1)
      Die("refresh by name");
  }
  std::sort(times.begin(), times.end());
  return times[2];
}

void MakeTable(const std::string& path, int n) {
  CKvRecord table;
  table.SetFileName(path);
  if (!table.AddColumn("v", kvrString, 20)) Die("table column");
  TStringList names, texts;
  names.Add("v");
  texts.Add(AnsiString());
  CKorvaHold run(*table.File());
  for (int i = 0; i < n; ++i) {
    texts.SetString(0, Utf8ToSjis("値 ") + IntToStr(100000 + i));
    if (!table.InsertEx(names, texts, nullptr, 0)) Die("table insert");
  }
}

void WindowFigures(int n) {
  const std::string dir = std::filesystem::temp_directory_path() / ("treeview-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string base = dir + "/work";
  {
    CTopRuleFolder root;
    MakeTable(dir + "/t.kvr", n);
    auto* table = new CRuleFolderTbl(&root);
    table->Name = "t";
    table->TableName = "t";
    table->DataFile = dir + "/t.kvr";
    root.AddChild(table);
    CRuleFolder* values = table->AddNewChild();
    values->Name = "v";
    values->Kind = FOLDER_ENUMERATION;
    values->EnumItem = "v";
    root.WritePath = base + ".fld";
    if (!root.SaveFolderFile()) Die("folder file");
    TStringList settings;
    if (!settings.SaveToFile(base + ".ini")) Die("settings file");
  }
  SetParams({ExecutablePath(), base});
  CreateStartupForms();
  FormMain->Timer1->SetEnabled(false);  // no about box
  FormMain->Show();
  FormMain->Timer1->SetEnabled(false);

  auto* heading = new CRuleFolder(FormMain->TopFolder);
  heading->Name = Utf8ToSjis("一覧");
  heading->Kind = FOLDER_HEADING;
  FormMain->TopFolder->AddChild(heading);
  heading->AddChild(new ValuesFolder(heading, n));
  FormMain->RefreshTree(nullptr);
  TTreeNode* root = FormMain->TreeView1->Items()->GetFirstNode();
  std::printf("figure tree_refresh_ms %.1f ms\n", MedianRefresh(root->Item(1), n));
  std::printf("figure tree_refresh_enum_ms %.1f ms\n", MedianRefresh(root->Item(0), n));

  FormMain->TopFolder->AddModified(-FormMain->TopFolder->GetModified());
  FreeStartupForms();
  SetParams({});
  std::filesystem::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 10000;
  if (n <= 1) {
    std::fprintf(stderr, "usage: %s [children]\n", argv[0]);
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  InitApplication(argc, argv);
  Application->TestMode = true;
  ControlFigures(n);
  WindowFigures(n);
  DoneApplication();
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_mb %.1f\n", double(usage.ru_maxrss) / 1024.0);
  return 0;
}
