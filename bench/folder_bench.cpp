// The folder tree's cost over the query it runs, and the folder file's save and load.
//
//   node_listing   a condition folder under a table folder over a table t of N records (a code,
//                  a category of 20, a quantity 0-999, a Japanese name); the node's condition
//                  "t.qty >= 100" takes nine records in ten. Listed through the run-time node
//                  (CDbFolder::ListStart, ListNextNB, ListEnd) against the same condition and
//                  columns compiled by a CRecSelect alone and stepped under one hold of its
//                  files. Turns alternate; each side's best of three counts.
//   folder_file    a tree of 1,000 folders (10 table folders of 99 sub-folders each, up to three
//                  levels deep), each with 10 display columns, saved to the folder file and
//                  loaded back; the best of five.
//
//   folder_bench [records]   (default 100000)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "folders/DbFolder.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "query/RecFileList.h"
#include "query/RecSelect.h"
#include "store/KorvaCore.h"
#include "store/Kvobj.h"
#include "store/KvRecord.h"

namespace {

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "folder_bench: %s failed\n", what);
  std::exit(1);
}

void MakeTable(const std::string& path, uint64_t rows) {
  std::vector<AnsiString> family, given;
  for (const char* s : {"佐藤", "鈴木", "高橋", "田中", "伊藤", "渡辺", "山本", "中村"}) family.push_back(Utf8ToSjis(s));
  for (const char* s : {"太郎", "花子", "一郎", "美咲", "健太", "陽子"}) given.push_back(Utf8ToSjis(s));
  CKvRecord table;
  table.SetFileName(path);
  const char* columns[] = {"code", "cat", "qty", "name"};
  const char types[] = {kvrString, kvrString, kvrSigned, kvrString};
  for (int c = 0; c < 4; ++c)
    if (!table.AddColumn(columns[c], types[c], 20)) Die("table column");
  TStringList names, texts;
  for (const char* c : columns) {
    names.Add(c);
    texts.Add(AnsiString());
  }
  CKorvaHold run(*table.File());
  for (uint64_t i = 0; i < rows; ++i) {
    const uint64_t h = Mix(i + 1);
    texts.SetString(0, Format("C%05d", int(h % 10000)));
    texts.SetString(1, Format("K%02d", int((h >> 20) % 20)));
    texts.SetString(2, Format("%d", int((h >> 30) % 1000)));
    texts.SetString(3, family[(h >> 40) % family.size()] + given[(h >> 50) % given.size()]);
    if (!table.InsertEx(names, texts, nullptr, 0)) Die("table insert");
  }
}

// Rows of the node's listing and the seconds it took.
std::pair<uint64_t, double> ListNode(CDbFolder& node) {
  const auto start = std::chrono::steady_clock::now();
  TList selection;
  selection.Add(&node);
  node.ListStart(selection);
  TStringList row;
  uint64_t rows = 0;
  for (int r; (r = node.ListNextNB(row)) >= 0;) rows += r == 1;
  node.ListEnd();
  return {rows, Seconds(start)};
}

std::pair<uint64_t, double> ListSelect(CRecFileList& files, const AnsiString& columns, const AnsiString& condition) {
  const auto start = std::chrono::steady_clock::now();
  CRecSelect select(&files);
  if (!select.ListStart(columns, "t", condition)) Die("select start");
  CRecSelectHold hold(select);
  TStringList row;
  uint64_t rows = 0;
  for (int r; (r = select.NextNB(row)) >= 0; row.Clear()) rows += r == 1;
  return {rows, Seconds(start)};
}

CCapInfoList* TenColumns(int seed) {
  auto* list = new CCapInfoList;
  for (int c = 0; c < 10; ++c) {
    auto* info = new CCapInfo;
    info->Name = Format("t%d.column%d", seed % 10, c);
    info->Caption = Format("見出し%d", c);
    info->Shown = c % 3 != 0;
    info->Width = 40 + c;
    list->Add(info);
  }
  return list;
}

// 10 table folders, each with 99 folders below it in chains of three.
void BuildTree(CTopRuleFolder& root) {
  for (int t = 0; t < 10; ++t) {
    auto* table = new CRuleFolderTbl(&root);
    root.Children.Add(table);
    table->Name = Format("table %d", t);
    table->TableName = Format("t%d", t);
    table->DataFile = Format("t%d.kvr", t);
    table->Relations.Add("column1");
    table->Relations.Add(Format("t%d.column2", (t + 1) % 10));
    table->CapInfoList = TenColumns(t);
    table->SumCapInfoList = new CCapInfoList;
    CRuleFolder* parent = table;
    for (int f = 0; f < 99; ++f) {
      if (f % 3 == 0) parent = table;
      auto* folder = new CRuleFolder(parent);
      parent->Children.Add(folder);
      folder->Name = Format("folder %d-%d", t, f);
      folder->Condition = Format("t%d.column%d = 'value %d'", t, f % 10, f);
      folder->CapInfoList = TenColumns(t);
      parent = folder;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t n = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100000;
  const std::string dir = std::filesystem::temp_directory_path() / ("folder-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  db_cache_limit(size_t(36) << 20);
  MakeTable(dir + "/t.kvr", n);

  CTopRuleFolder root;
  auto* table = new CRuleFolderTbl(&root);
  root.Children.Add(table);
  table->TableName = "t";
  table->DataFile = dir + "/t.kvr";
  if (!table->ResetTables()) Die("binding");
  table->CapInfoList = new CCapInfoList;
  table->SyncCapInfoList();
  CRuleFolder* condition = table->AddNewChild();
  condition->Condition = "t.qty >= 100";
  CDbFolder tableNode(root.RootNode);
  tableNode.Folder = table;
  auto* node = new CDbFolder(&tableNode);
  tableNode.Children.Add(node);
  node->Folder = condition;
  node->Condition = condition->Condition;

  AnsiString nodeCondition, columns;
  TList selection;
  selection.Add(node);
  node->MakeOrCondition(node->GetCapInfoList(), &selection, nodeCondition, columns);
  CRecFileList files;
  files.AddTable(dir + "/t.kvr", "t");

  double ours = 1e30, theirs = 1e30;
  uint64_t ourRows = 0, theirRows = 0;
  for (int turn = 0; turn < 3; ++turn) {
    const auto [r1, s1] = ListNode(*node);
    const auto [r2, s2] = ListSelect(files, columns, nodeCondition);
    ours = std::min(ours, s1);
    theirs = std::min(theirs, s2);
    ourRows = r1;
    theirRows = r2;
  }
  if (ourRows != theirRows || ourRows == 0) {
    std::fprintf(stderr, "folder_bench: rows differ (%llu / %llu)\n", (unsigned long long)ourRows,
                 (unsigned long long)theirRows);
    return 1;
  }

  CTopRuleFolder tree;
  BuildTree(tree);
  tree.ReadPath = tree.WritePath = dir + "/tree.fld";
  double save = 1e30, load = 1e30;
  int folders = 0;
  for (int turn = 0; turn < 5; ++turn) {
    auto start = std::chrono::steady_clock::now();
    if (!tree.SaveFolderFile()) Die("save");
    save = std::min(save, Seconds(start));
    CTopRuleFolder back;
    back.ReadPath = back.WritePath = tree.WritePath;
    start = std::chrono::steady_clock::now();
    if (!back.LoadFolderFile() || back.LoadSkipped != 0) Die("load");
    load = std::min(load, Seconds(start));
    folders = 0;
    std::vector<CRuleFolder*> stack{&back};
    while (!stack.empty()) {
      CRuleFolder* f = stack.back();
      stack.pop_back();
      ++folders;
      for (int i = 0; i < f->Children.Count(); ++i) stack.push_back(f->Children.Get(i));
    }
  }
  const auto fileBytes = std::filesystem::file_size(tree.WritePath);
  std::filesystem::remove_all(dir);

  std::printf("figure records %llu count\n", (unsigned long long)n);
  std::printf("figure listed_rows %llu count\n", (unsigned long long)ourRows);
  std::printf("figure node_listing_rows_per_s %.0f rows/s\n", double(ourRows) / ours);
  std::printf("figure select_listing_rows_per_s %.0f rows/s\n", double(theirRows) / theirs);
  std::printf("ratio node_vs_select %.3f\n", ours / theirs);
  std::printf("figure folder_file_folders %d count\n", folders - 1);
  std::printf("figure folder_file_bytes %llu bytes\n", (unsigned long long)fileBytes);
  std::printf("figure folder_save_ms %.2f ms\n", save * 1000);
  std::printf("figure folder_load_ms %.2f ms\n", load * 1000);
  std::printf("figure folder_save_load_ms %.2f ms\n", (save + load) * 1000);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_mb %.1f\n", double(usage.ru_maxrss) / 1024.0);
  return 0;
}
