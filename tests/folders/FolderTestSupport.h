// Shared pieces of the folder tests: a folder tree whose table folders stand on real tables in a
// temporary directory, display columns made in one line, and rows read back as "a|b|c" texts.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "folders/DbFolder.h"
#include "folders/RuleFolder.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "query/DbHandle.h"
#include "store/KvRecord.h"
#include "tests/store/KvRecordTestSupport.h"
#include "tests/support/TestSupport.h"

inline std::string Joined(const TStrings& row) {
  std::string out;
  for (int i = 0; i < row.Count(); ++i) out += (i ? "|" : "") + row[i];
  return out;
}

// A descriptor with a heading and an item name, shown unless said otherwise.
inline CCapInfo* Column(const AnsiString& name, bool shown = true, const AnsiString& caption = AnsiString()) {
  auto* info = new CCapInfo;
  info->Name = name;
  info->Caption = caption.empty() ? GetFieldPart(name) : caption;
  info->Shown = shown;
  return info;
}

// An extended item "__拡張項目__.name" computing expression.
inline CCapInfo* ExtendedItem(const std::string& name, const AnsiString& expression) {
  CCapInfo* info = Column(SJ("__拡張項目__") + "." + name);
  info->Flags |= CI_EXTENDED;
  info->Expression = expression;
  return info;
}

inline CCapInfoList* Columns(std::initializer_list<CCapInfo*> items) {
  auto* list = new CCapInfoList;
  for (CCapInfo* item : items) list->Add(item);
  return list;
}

inline std::vector<std::string> Names(const CCapInfoList* list) {
  std::vector<std::string> out;
  for (int i = 0; list && i < list->Count(); ++i) out.push_back(list->GetItem(i)->Name);
  return out;
}

// A root with table folders bound to tables of string columns (a column "n:int" is an integer).
class FolderTree {
 public:
  FolderTree() {
    root.ReadPath = dir.File("tree.fld");
    root.WritePath = root.ReadPath;
  }

  // Makes the table's file, a table folder for it under the root (own display columns: every
  // column, shown) and binds it. relations: column, "table.column", ...
  CRuleFolderTbl* AddTable(const AnsiString& table, std::initializer_list<const char*> columns,
                           std::initializer_list<const char*> relations = {}) {
    const AnsiString file = dir.File(table + ".kvr");
    {
      CKvRecord t;
      t.SetFileName(file);
      for (const char* c : columns) {
        const std::string definition = c;
        const size_t colon = definition.find(':');
        const bool integer = colon != std::string::npos && definition.substr(colon + 1) == "int";
        EXPECT_TRUE(t.AddColumn(definition.substr(0, colon), integer ? kvrSigned : kvrString, 40)) << definition;
      }
      t.Close();
    }
    auto* folder = new CRuleFolderTbl(&root);
    folder->Name = table;
    folder->TableName = table;
    folder->DataFile = file;
    for (const char* r : relations) folder->Relations.Add(r);
    root.AddChild(folder);
    EXPECT_TRUE(folder->ResetTables());
    folder->CapInfoList = new CCapInfoList;
    folder->SumCapInfoList = new CCapInfoList;
    folder->SyncCapInfoList();
    return folder;
  }

  // Inserts one record from values in the order the table's columns were given.
  void Insert(const AnsiString& table, std::initializer_list<std::pair<const char*, AnsiString>> fields) {
    TStringList names, texts;
    for (const auto& f : fields) {
      names.Add(f.first);
      texts.Add(f.second);
    }
    CKvRecord t;
    t.SetFileName(dir.File(table + ".kvr"));
    ASSERT_GE(t.Open(), 0);
    ASSERT_TRUE(t.InsertEx(names, texts, nullptr, 0));
    t.Close();
  }

  TempDir dir;
  CTopRuleFolder root;
};

// The selected nodes, as the main window hands them over.
inline TList Selection(std::initializer_list<CDbFolder*> nodes) {
  TList list;
  for (CDbFolder* node : nodes) list.Add(node);
  return list;
}

// Every row of a node's listing, in listing order.
inline std::vector<std::string> ListAll(CDbFolder& node, std::initializer_list<CDbFolder*> selection) {
  node.ListStart(Selection(selection));
  std::vector<std::string> rows;
  TStringList row;
  for (int r; (r = node.ListNextNB(row)) >= 0;)
    if (r == 1) rows.push_back(Joined(row));
  node.ListEnd();
  return rows;
}

// A run-time node for folder under parent (none: a top node), with the folder's name and
// condition, as the tree builds it.
inline CDbFolder* NodeFor(CRuleFolder* folder, CDbFolder* parent) {
  auto* node = new CDbFolder(parent);
  node->Folder = folder;
  node->Name = folder->Name;
  node->Condition = folder->Condition;
  if (parent) parent->Children.Add(node);
  return node;
}
