#include "mainwin/ListViewRecids.h"

#include <cstdint>

#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"

CListViewRecids::~CListViewRecids() { delete Columns; }

void CListViewRecids::Clear() {
  Columns->Clear();
  keys_.clear();
  TStringList::Clear();
  synced_ = true;
}

void CListViewRecids::SetColumns(CCapInfoList* columns) {
  Columns->Clear();
  if (!columns) return;
  for (int i = 0; i < columns->Count(); ++i)
    if (GetFieldPart(columns->GetItem(i)->Name) == REC_ID_COLUMN) Columns->Add(reinterpret_cast<void*>(intptr_t(i)));
}

std::string CListViewRecids::KeyOf(const TStrings& row) const {
  std::string key;
  for (int i = 0; i < Columns->Count(); ++i) {
    const int column = static_cast<int>(reinterpret_cast<intptr_t>(Columns->Items(i)));
    if (i) key += ':';
    if (column < row.Count()) key += row[column];
  }
  return key;
}

int CListViewRecids::AddRecord(TStrings* row) {
  if (!row) return -1;
  const auto [at, added] = keys_.insert(KeyOf(*row));
  if (!added) return -1;
  synced_ = false;
  return static_cast<int>(keys_.order_of_key(*at));
}

bool CListViewRecids::AddKey(TStrings* row) {
  if (!row || !keys_.insert(KeyOf(*row)).second) return false;
  synced_ = false;
  return true;
}

void CListViewRecids::Sync() const {
  if (synced_) return;
  // The items are a copy of the tree, made when they are read.
  auto* self = const_cast<CListViewRecids*>(this);
  self->items_.clear();
  self->items_.reserve(keys_.size());
  for (const std::string& key : keys_) self->items_.push_back({key, nullptr});
  synced_ = true;
}

int CListViewRecids::Count() const {
  Sync();
  return TStringList::Count();
}

AnsiString CListViewRecids::CommaText() const {
  Sync();
  return TStringList::CommaText();
}
