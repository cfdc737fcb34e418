#include "folders/ExtendedItems.h"

#include <algorithm>

#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "query/DbHandle.h"
#include "query/TableInfo.h"

namespace {

bool IsExtendedName(const AnsiString& name) { return GetTablePart(name) == ExtendedItemsTableName(); }

bool Holds(const std::vector<AnsiString>& names, const AnsiString& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// The names of extended items that an expression names, in order.
class ItemNameWalker : public TCvStrMacro {
 public:
  AnsiString GetValue(const AnsiString& name) override {
    if (IsExtendedName(name)) Names.push_back(name);
    return AnsiString();
  }
  std::vector<AnsiString> Names;
};

// A registration of the items one listing names: those done, those being walked now (outermost
// first) and those found on a cycle.
struct Registration {
  CRuleFolder* folder;
  CDbHandle* handle;
  std::vector<AnsiString>& done;
  std::vector<AnsiString> walking;
  std::vector<AnsiString> cyclic;
};

void Register(Registration& r, CCapInfo* item) {
  const AnsiString name = item->Name;
  if (Holds(r.done, name)) return;
  const auto on = std::find(r.walking.begin(), r.walking.end(), name);
  if (on != r.walking.end()) {
    for (auto it = on; it != r.walking.end(); ++it)
      if (!Holds(r.cyclic, *it)) r.cyclic.push_back(*it);
    return;
  }
  if (static_cast<int>(r.walking.size()) < EXTENDED_MAX_NESTING) {
    ItemNameWalker walker;
    walker.ParseOnly = true;
    int consumed = 0;
    AnsiString ignored;
    walker.EvalMacro(item->Expression.c_str(), consumed, ignored);
    r.walking.push_back(name);
    for (const AnsiString& inner : walker.Names)
      if (CCapInfo* other = r.folder->GetExtendedItemValue(inner)) Register(r, other);
    r.walking.pop_back();
  }
  r.done.push_back(name);
  if (!Holds(r.cyclic, name)) {
    r.handle->GetExtendedValue(item);
    return;
  }
  // An item that needs its own value has none to compute from: it computes as the empty text.
  CCapInfo blank;
  blank.Assign(item);
  blank.Expression = "''";
  r.handle->GetExtendedValue(&blank);
}

}  // namespace

// ---- The evaluators ----------------------------------------------------------------------------

AnsiString TCvStrMacro_a::GetValue(const AnsiString& name) {
  if (!folder_) return AnsiString();
  return folder_->MakeExtendedMacro(name, *static_cast<CCapInfoList*>(context_));
}

void TCvStrMacro_a::Evaluate(const AnsiString& text, CRuleFolder* folder, void* context) {
  folder_ = folder;
  context_ = context;
  ParseOnly = true;
  int consumed = 0;
  AnsiString ignored;
  EvalMacro(text.c_str(), consumed, ignored);
}

AnsiString TCvStrMacro_b::GetValue(const AnsiString& name) {
  if (!folder_ || !IsExtendedName(name)) return AnsiString();
  CCapInfo* item = folder_->GetExtendedItemValue(name);
  auto* handle = static_cast<CDbHandle*>(context_);
  if (!handle || !item) return AnsiString();
  std::vector<AnsiString> local;
  folder_->RegisterExtendedItem(handle, item, Registered ? *Registered : local);
  return item->Expression;
}

void CollectExpressionColumns(CRuleFolder* folder, const AnsiString& expression, CCapInfoList& list) {
  TCvStrMacro_a collector;
  collector.Evaluate(expression, folder, &list);
}

// ---- The folder's operations -------------------------------------------------------------------

void CRuleFolder::RegisterExtendedItem(CDbHandle* handle, CCapInfo* item, std::vector<AnsiString>& registered) {
  if (!handle || !item) return;
  Registration r{this, handle, registered, {}, {}};
  Register(r, item);
}

void CRuleFolder::GetExtendedValue(CCapInfo* item) {
  if (ListHandle) ListHandle->GetExtendedValue(item);
}

CCapInfo* CRuleFolder::GetExtendedItemValue(const AnsiString& name) {
  if (CapInfoList) {
    const int i = CapInfoList->IndexOfName(name);
    if (i >= 0) return CapInfoList->GetItem(i);
  }
  return Parent ? Parent->GetExtendedItemValue(name) : nullptr;
}

CCapInfo* CRuleFolder::GetExtendedItemValue_a(const AnsiString& name) {
  if (CapInfoList) {
    const int i = CapInfoList->IndexOfName(name);
    if (i >= 0) return CapInfoList->GetItem(i);
  }
  for (int i = Children.Count() - 1; i >= 0; --i)
    if (CCapInfo* item = Children.Get(i)->GetExtendedItemValue_a(name)) return item;
  return nullptr;
}

AnsiString CRuleFolder::MakeExtendedMacro(const AnsiString& name, CCapInfoList& list) {
  if (IsExtendedName(name)) {
    const CCapInfo* item = GetExtendedItemValue(name);
    // An item met again inside its own expression ends that branch of the walk.
    if (item && !Holds(extWalking_, name) && static_cast<int>(extWalking_.size()) < EXTENDED_MAX_NESTING) {
      const AnsiString expression = item->Expression;
      extWalking_.push_back(name);
      TCvStrMacro_a collector;
      collector.Evaluate(expression, this, &list);
      extWalking_.pop_back();
    }
  } else if (list.IndexOfName(name) < 0) {
    auto* info = new CCapInfo;
    info->Caption = name;
    info->Name = name;
    list.Add(info);
  }
  return name;
}

void CRuleFolder::GetExtendedItemTable() {
  if (!CapInfoList) return;
  CRuleFolder* table = this;
  while (table && table->GetTypeName() != "table") table = table->Parent;
  if (!table) return;
  for (int i = CapInfoList->Count() - 1; i >= 0; --i) {
    CCapInfo* item = CapInfoList->GetItem(i);
    if (IsExtendedName(item->Name)) table->GetExtendedItemTable_a(item);
  }
}

void CRuleFolder::GetExtendedItemTable_a(CCapInfo* item) {
  for (int i = Children.Count() - 1; i >= 0; --i) Children.Get(i)->GetExtendedItemTable_a(item);
  for (int i = CapInfoList ? CapInfoList->Count() - 1 : -1; i >= 0; --i) {
    CCapInfo* other = CapInfoList->GetItem(i);
    if (other != item && other->Name == item->Name) other->Expression = item->Expression;
  }
}

int CRuleFolder::CollectExtendedCapInfos(CCapInfoList& list) {
  int added = 0;
  for (int i = 0; CapInfoList && i < CapInfoList->Count(); ++i) {
    const CCapInfo* item = CapInfoList->GetItem(i);
    if (!(item->Flags & CI_EXTENDED) || list.IndexOfName(item->Name) >= 0) continue;
    list.Add(CCapInfo::Clone(item));
    ++added;
  }
  for (int i = 0; i < Children.Count(); ++i) added += Children.Get(i)->CollectExtendedCapInfos(list);
  return added;
}
