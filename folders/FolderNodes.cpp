// The nodes a folder adds under a node of the folder tree: single nodes, the value nodes of an
// enumeration folder with their page nodes, and the nodes of group siblings.
#include <algorithm>

#include "folders/DbFolder.h"
#include "folders/ExtendedItems.h"
#include "folders/FolExpandUnit.h"
#include "foundation/CapInfo.h"
#include "foundation/Listfunc.h"
#include "query/CondText.h"
#include "query/DbHandle.h"
#include "query/TableInfo.h"
#include "store/KvRecord.h"

namespace {

// Whether a node of folder can have no child: the folder has no sub-folders and no group sibling
// may stand under node.
bool HasNoChildNodes(CRuleFolder* folder, CDbFolder* node) {
  if (folder->Children.Count() > 0) return false;
  std::vector<CRuleFolder*> siblings;
  CollectGroupSiblings(folder, node, siblings);
  return siblings.empty();
}

// Appends every node of from to to, leaving from empty.
void MoveNodes(CDbFolderList& from, CDbFolderList& to) {
  for (int i = 0; i < from.Count(); ++i) {
    to.Add(from.Get(i));
    from.SetItem(i, nullptr);
  }
  from.Clear();
}

// A value node of the enumeration item: its caption and the condition that selects the value.
void SetValueNode(CDbFolder* node, const AnsiString& item, const AnsiString& value, bool cut, bool textual) {
  if (!textual) {
    node->Name = value;
    node->Condition = item + " = " + value;
  } else if (!cut) {
    node->Name = CutTextBytes(value);
    node->Condition = item + " = '" + EscapeQuotes(value) + "'";
  } else if (value.empty()) {
    node->Name = value;
    node->Condition = item + " = ''";
  } else {
    // The store shortened the value: the node stands for every value that begins with it.
    node->Name = value + SJ("＊");
    node->Condition = item + " LIKE '" + EscapeQuotes(EscapeLikeText(value)) + "%'";
  }
}

}  // namespace

void CRuleFolder::AddNodes(CDbFolder* parent, CDbFolderList& out) {
  if (Kind <= 0)
    AddSingleNode(this, parent, out);
  else if (Kind == FOLDER_ENUMERATION)
    EnumerateChildFolders(this, parent, out);
}

void CRuleFolder::MakeChildNodes(CDbFolder* node) {
  if (Children.Count() > 0) {
    for (int i = 0; i < Children.Count(); ++i) Children.Get(i)->AddNodes(node, node->Children);
  } else if (!node->NoChildren) {
    AddGroupSiblingNodes(this, node, node->Children);
  }
}

void AddSingleNode(CRuleFolder* folder, CDbFolder* parent, CDbFolderList& out) {
  auto* node = new CDbFolder(parent);
  out.Add(node);
  node->Name = folder->Name;
  node->Condition = folder->Condition;
  node->Folder = folder;
  node->NoChildren = HasNoChildNodes(folder, node);
}

void CollectGroupSiblings(CRuleFolder*, CDbFolder* node, std::vector<CRuleFolder*>& out) {
  CRuleFolder* grouped = nullptr;
  for (CDbFolder* n = node; n && !grouped; n = n->Parent)
    if (n->Folder && !n->Folder->Group.empty()) grouped = n->Folder;
  if (!grouped || !grouped->Parent) return;
  const CRuleFolderList& siblings = grouped->Parent->Children;
  for (int i = 0; i < siblings.Count(); ++i)
    if (siblings.Get(i)->Group == grouped->Group) out.push_back(siblings.Get(i));
  for (CDbFolder* n = node; n; n = n->Parent) out.erase(std::remove(out.begin(), out.end(), n->Folder), out.end());
}

void AddGroupSiblingNodes(CRuleFolder* folder, CDbFolder* node, CDbFolderList& out) {
  std::vector<CRuleFolder*> siblings;
  CollectGroupSiblings(folder, node, siblings);
  for (CRuleFolder* sibling : siblings) sibling->AddNodes(node, out);
}

void EnumerateChildFolders(CRuleFolder* folder, CDbFolder* parent, CDbFolderList& out) {
  CDbHandle* handle = folder->GetDbHandle();
  if (!handle) return;
  // The folder's own condition narrows which values come; the value nodes do not carry it.
  AnsiString condition = parent ? parent->GetNodeCondition() : AnsiString();
  if (!folder->Condition.empty())
    condition = condition.empty() ? folder->Condition : condition + " AND (" + folder->Condition + ")";
  AnsiString item = folder->EnumItem;
  if (GetTablePart(item).empty()) item = folder->GetTableName() + "." + folder->EnumItem;
  if (GetTablePart(item) == ExtendedItemsTableName()) {
    AddSingleNode(folder, parent, out);
    return;
  }
  {
    CCapInfoList columns;
    auto* column = new CCapInfo;
    column->Caption = item;
    column->Name = item;
    columns.Add(column);
    const AnsiString extra = folder->ResolveExtendedItems(condition, columns);
    if (!extra.empty()) condition = condition.empty() ? extra : "(" + condition + ") AND " + extra;
  }
  TStringList conditions;
  conditions.Add(condition);
  folder->AddReferencedTables(conditions, item);

  handle->EnumStartCond(condition, item, folder->StrLength);
  {
    std::vector<AnsiString> registered;
    TCvStrMacro_b registrar;
    registrar.Registered = &registered;
    registrar.Evaluate(condition, folder, handle);
  }
  TStringList values;
  int count = 0;
  while (ExpandAbort.load() == 0) {
    const int r = handle->EnumNextNB(values);
    if (r < 0) break;
    if (r == 1 && ++count >= FOLDER_MAX_ENUM_NODES) break;
  }
  handle->EnumEnd();
  if (count >= FOLDER_MAX_ENUM_NODES && ExpandAbort.load() == 0) ExpandMessage = &SJ("フォルダの列挙を１万で中止しました。");
  if (values.Count() == 0) {
    AddSingleNode(folder, parent, out);
    return;
  }

  QuickSortStrings(&values);
  const AnsiString type = handle->GetColumnType(item);
  const bool textual = type == "string" || type == "keyword";
  CDbFolderList made;
  for (int i = 0; i < values.Count(); ++i) {
    auto* node = new CDbFolder(parent);
    made.Add(node);
    node->Folder = folder;
    SetValueNode(node, folder->EnumItem, values[i], values.Objects(i) != nullptr, textual);
    node->NoChildren = i == 0 ? HasNoChildNodes(folder, node) : made.Get(0)->NoChildren;
  }
  MakePageNodes(folder, parent, made);
  MoveNodes(made, out);
}

void MakePageNodes(CRuleFolder* folder, CDbFolder* parent, CDbFolderList& nodes) {
  const int m = folder->MaxEnumCount;
  if (m <= 1) return;
  AnsiString suffix = SJ("～");
  while (nodes.Count() > m) {
    CDbFolderList pages;
    for (int i = 0; i < nodes.Count(); i += m) {
      auto* page = new CDbFolder(parent);
      pages.Add(page);
      page->PageNode = true;
      page->Fixed = true;
      page->Folder = folder;
      page->Name = nodes.Get(i)->Name + suffix;
      for (int k = i; k < std::min(i + m, nodes.Count()); ++k) {
        CDbFolder* node = nodes.Get(k);
        nodes.SetItem(k, nullptr);
        node->Parent = page;
        page->Children.Add(node);
        if (k > i) page->Condition += " OR ";
        page->Condition += node->Condition;
      }
    }
    nodes.Clear();
    MoveNodes(pages, nodes);
    suffix.clear();
  }
}
