#include "mainwin/NodePath.h"

#include <vector>

#include "folders/DbFolder.h"
#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "platform/ComCtrls.h"
#include "query/CondText.h"

AnsiString NodePathText(TTreeNode* node) {
  std::vector<TTreeNode*> path;
  for (TTreeNode* n = node; n; n = n->Parent()) path.push_back(n);
  AnsiString text;
  for (auto it = path.rbegin(); it != path.rend(); ++it) text += "/" + (*it)->Text();
  return text;
}

CRuleFolder* NodeRuleFolder(TTreeNode* node) {
  auto* folder = node ? static_cast<CDbFolder*>(node->Data) : nullptr;
  return folder ? folder->Folder : nullptr;
}

TTreeNode* FindNodeOfFolder(CRuleFolder* folder, TTreeNode* node) {
  if (!node) return nullptr;
  if (NodeRuleFolder(node) == folder) return node;
  for (int i = node->Count() - 1; i >= 0; --i)
    if (TTreeNode* found = FindNodeOfFolder(folder, node->Item(i))) return found;
  return nullptr;
}

TTreeNode* FindNodeOfFolderPath(CRuleFolder* folder, TTreeNode* start) {
  if (!folder) return nullptr;
  std::vector<CRuleFolder*> chain;
  for (CRuleFolder* f = folder; f; f = f->Parent) chain.push_back(f);
  TTreeNode* node = start;
  for (auto it = chain.rbegin(); it != chain.rend() && node; ++it) node = FindNodeOfFolder(*it, node);
  return node;
}

void FillColumnNames(TStrings* names, TTreeNode* node) {
  names->Clear();
  CRuleFolder* folder = NodeRuleFolder(node);
  CCapInfoList* columns = folder ? folder->GetCapInfoList() : nullptr;
  if (!columns) return;
  const AnsiString table = folder->GetTableName();
  for (int i = 0; i < columns->Count(); ++i) names->Add(UnqualifyColumnName(table, columns->GetItem(i)->Name));
}
