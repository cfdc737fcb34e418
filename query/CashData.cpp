#include "query/CashData.h"

TCashDataItem::~TCashDataItem() {
  delete Values;
  delete EnumValues;
}

TCashDataItem* TCashDataItem::Copy() const {
  auto* item = new TCashDataItem;
  item->Values = Values ? Values->Clone() : new CKvrValueList;
  if (EnumValues) {
    item->EnumValues = new TStringList;
    item->EnumValues->Assign(*EnumValues);
  }
  return item;
}

TCashDataItemList::~TCashDataItemList() { Clear(); }

void TCashDataItemList::Clear() {
  for (int i = Count() - 1; i >= 0; --i) delete Get(i);
  TList::Clear();
}

TCashDataItemList* TCashDataItemList::Copy() const {
  auto* list = new TCashDataItemList;
  for (int i = 0; i < Count(); ++i) list->Add(Get(i)->Copy());
  return list;
}

TCashData::~TCashData() { Clear(); }

void TCashData::DeleteRow(int row) {
  delete static_cast<TCashDataItemList*>(rows_.Objects(row));
  rows_.Delete(row);
}

void TCashData::Clear() {
  for (int i = rows_.Count() - 1; i >= 0; --i) DeleteRow(i);
}

int TCashData::Put(const AnsiString& key, TCashDataItemList* list) {
  if (key.empty() || !list || list->Count() == 0) return -1;
  const int row = rows_.IndexOf(key);
  if (row >= 0) {
    auto* old = static_cast<TCashDataItemList*>(rows_.Objects(row));
    if (old != list) delete old;
    rows_.SetObject(row, list);
    return row;
  }
  while (rows_.Count() >= kMaxRows) DeleteRow(rows_.Count() - 1);
  return rows_.AddObject(key, list);
}

TCashDataItemList* TCashData::Get(const AnsiString& key) {
  int row = -1;
  for (int i = rows_.Count() - 1; i >= 0; --i)
    if (rows_[i] == key) {
      row = i;
      break;
    }
  if (row < 0) return nullptr;
  rows_.Exchange(0, row);
  return static_cast<TCashDataItemList*>(rows_.Objects(0))->Copy();
}

void TCashData::RemoveTexts(const TStrings& texts) {
  for (int r = 0; r < rows_.Count(); ++r) {
    auto* list = static_cast<TCashDataItemList*>(rows_.Objects(r));
    for (int i = 0; i < list->Count(); ++i) {
      TStringList* values = list->Get(i)->EnumValues;
      if (!values) continue;
      for (int j = values->Count() - 1; j >= 0; --j)
        if (texts.IndexOf((*values)[j]) >= 0) values->Delete(j);
    }
  }
}
