#include "mainwin/ListViewRecids.h"

#include <cstdint>

#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "foundation/Listfunc.h"

CListViewRecids::~CListViewRecids() { delete Columns; }

void CListViewRecids::Clear() {
  Columns->Clear();
  TStringList::Clear();
}

void CListViewRecids::SetColumns(CCapInfoList* columns) {
  Columns->Clear();
  if (!columns) return;
  for (int i = 0; i < columns->Count(); ++i)
    if (GetFieldPart(columns->GetItem(i)->Name) == REC_ID_COLUMN) Columns->Add(reinterpret_cast<void*>(intptr_t(i)));
}

int CListViewRecids::AddRecord(TStrings* row) {
  if (!row) return -1;
  AnsiString key;
  for (int i = 0; i < Columns->Count(); ++i) {
    const int column = static_cast<int>(reinterpret_cast<intptr_t>(Columns->Items(i)));
    if (i) key += ':';
    if (column < row->Count()) key += (*row)[column];
  }
  if (FindString(this, key, true) >= 0) return -1;
  return InsertSortedString(this, key);
}
