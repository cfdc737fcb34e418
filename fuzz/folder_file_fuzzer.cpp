// Whole folder files from arbitrary bytes. Whatever loads must survive the tree's own walks, and
// the tree written from it must read back without a skipped item and write the same bytes again
// from the second round on (the first round drops what the file held without a meaning).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "folders/ExtendedItems.h"
#include "folders/RuleFolder.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "foundation/LogForm.h"

namespace {

std::string Saved(CRuleFolder& root) {
  TMemoryStream out;
  if (!root.Save(&out)) __builtin_trap();
  return out.Bytes();
}

// Loads bytes that the folders wrote themselves: nothing may be left out.
std::string Reread(const std::string& bytes) {
  TMemoryStream in(bytes);
  CTopRuleFolder root;
  if (!root.Load(&in) || root.LoadSkipped != 0 || in.Position() != in.Size()) __builtin_trap();
  return Saved(root);
}

// The walks that need no table: listed columns, joins over the relations, extended items, table
// names, copies.
void Walk(CRuleFolder* folder) {
  folder->MakeDefaultCapInfoList();
  CCapInfoList* columns = folder->GetCapInfoList();
  if (columns) {
    folder->ResolveExtendedItems(folder->Condition, *columns);
    CCapInfoList defs;
    folder->GetExtendedItemDefs(defs);
  }
  TStringList related;
  folder->CollectRelatedTables(related);
  folder->MakeJoinCondition_a(folder->GetTableName(), folder->EnumItem);
  for (int i = 0; i < folder->Children.Count(); ++i) Walk(folder->Children.Get(i));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ErrorQuiet = true;
  TMemoryStream in(std::string(reinterpret_cast<const char*>(data), size));
  CTopRuleFolder root;
  if (!root.Load(&in)) return 0;
  const std::string second = Reread(Saved(root));
  if (Reread(second) != second) __builtin_trap();

  Walk(&root);
  for (int i = 0; i < root.Children.Count(); ++i) {
    std::unique_ptr<CRuleFolder> copy(root.Children.Get(i)->Clone(&root));
    copy->ReplaceTableName(copy->GetTableName(), "renamed");
    CCapInfoList list;
    CollectExpressionColumns(root.Children.Get(i), root.Children.Get(i)->Condition, list);
  }
  TStringList tables;
  root.GetTableList(tables);
  return 0;
}
