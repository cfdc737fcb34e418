// Expanding a node of the folder tree whose sub-folder is an enumeration folder.
//
//   enum_expansion         a table folder over a table t of 3 N records (an address column of N
//                          distinct values, each three times, inserted in mixed order, and a
//                          category); its enumeration folder on the address column. The table
//                          folder's node is expanded as the tree does it: on the expansion worker
//                          (StartFolderExpansion) while the user-interface thread serves it, until
//                          the worker's end handler has run. The best of three.
//   enum_expansion_direct  the same expansion called on the user-interface thread alone
//                          (CDbFolder::Expand), the best of three.
//
// With more than 10,000 values the enumeration stops at 10,000, as the tree's does.
//
//   expand_bench [values]   (default 10000)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "folders/DbFolder.h"
#include "folders/FolExpandUnit.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/LogForm.h"
#include "platform/Forms.h"
#include "platform/SysUtils.h"
#include "store/Kvobj.h"
#include "store/KvRecord.h"

namespace {

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "expand_bench: %s failed\n", what);
  std::exit(1);
}

void MakeTable(const std::string& path, uint64_t values) {
  CKvRecord table;
  table.SetFileName(path);
  if (!table.AddColumn("addr", kvrString, 20) || !table.AddColumn("cat", kvrString, 20)) Die("table column");
  TStringList names, texts;
  names.Add("addr");
  names.Add("cat");
  texts.Add(AnsiString());
  texts.Add(AnsiString());
  CKorvaHold run(*table.File());
  std::vector<uint64_t> order(values * 3);
  for (uint64_t i = 0; i < order.size(); ++i) order[i] = i % values;
  std::shuffle(order.begin(), order.end(), std::mt19937_64(7));
  for (uint64_t i = 0; i < order.size(); ++i) {
    const uint64_t v = order[i];
    texts.SetString(0, Format("10.%d.%d.%d", int(v >> 16 & 255), int(v >> 8 & 255), int(v & 255)));
    texts.SetString(1, Format("K%02d", int(Mix(i + 7) % 20)));
    if (!table.InsertEx(names, texts, nullptr, 0)) Die("table insert");
  }
}

// Seconds of one expansion of node on the worker, the user-interface thread serving it.
double ExpandOnWorker(CDbFolder& node) {
  auto* dialog = new TFolExpandDlg(Application);
  const auto start = std::chrono::steady_clock::now();
  StartFolderExpansion(dialog, &node, [](void* argument) { static_cast<CDbFolder*>(argument)->Expand(); });
  while (dialog->Running()) {
    Application->ProcessMessages();
    if (dialog->Running()) Sleep(1);
  }
  const double seconds = Seconds(start);
  delete dialog;
  return seconds;
}

double ExpandDirect(CDbFolder& node) {
  const auto start = std::chrono::steady_clock::now();
  node.Expand();
  return Seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const long long arg = argc > 1 ? std::atoll(argv[1]) : 10000;
  if (arg <= 0) {
    std::fprintf(stderr, "usage: %s [values]\n", argv[0]);
    return 2;
  }
  const uint64_t values = uint64_t(arg);
  const std::string dir = std::filesystem::temp_directory_path() / ("expand-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  // No window system: the application object alone; the expansion dialog is never shown.
  SetMainThread();
  Application = new TApplication;
  ErrorQuiet = true;

  const std::string file = dir + "/t.kvr";
  MakeTable(file, values);
  double onWorker = 1e9, direct = 1e9;
  int children = 0;
  {
    CTopRuleFolder root;
    auto* table = new CRuleFolderTbl(&root);
    root.Children.Add(table);
    table->TableName = "t";
    table->DataFile = file;
    if (!table->ResetTables()) Die("binding");
    CRuleFolder* e = table->AddNewChild();
    e->Kind = FOLDER_ENUMERATION;
    e->EnumItem = "addr";
    CDbFolder node(root.RootNode);
    node.Folder = table;
    for (int round = 0; round < 3; ++round) {
      onWorker = std::min(onWorker, ExpandOnWorker(node));
      children = node.Children.Count();
      direct = std::min(direct, ExpandDirect(node));
      if (node.Children.Count() != children) Die("the same expansion twice");
    }
  }
  std::filesystem::remove_all(dir);
  if (uint64_t(children) != std::min<uint64_t>(values, FOLDER_MAX_ENUM_NODES)) Die("value nodes");

  std::printf("figure values %llu count\n", static_cast<unsigned long long>(values));
  std::printf("figure value_nodes %d count\n", children);
  std::printf("figure enum_expansion %.3f s\n", onWorker);
  std::printf("figure enum_expansion_direct %.3f s\n", direct);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_mb %.1f\n", double(usage.ru_maxrss) / 1024.0);
  delete Application;
  Application = nullptr;
  return 0;
}
