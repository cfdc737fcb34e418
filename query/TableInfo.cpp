#include "query/TableInfo.h"

const AnsiString& ExtendedItemsTableName() { return SJ("__拡張項目__"); }

CTableInfo::CTableInfo(const AnsiString& name)
    : Name(name), ColNames(new TStringList), Texts(new TStringList), Values(new CKvrValueList), Cash(new TCashData) {}

CTableInfo::~CTableInfo() {
  if (Table) Table->Close();
  delete Table;
  delete ColNames;
  delete Texts;
  delete Values;
  delete Cash;
}

CTableInfoList::~CTableInfoList() { Clear(); }

void CTableInfoList::Clear() {
  for (int i = Count() - 1; i >= 0; --i) delete Get(i);
  TList::Clear();
}

int CTableInfoList::IndexOfName(const AnsiString& name) const {
  for (int i = 0; i < Count(); ++i)
    if (Get(i)->Name == name) return i;
  return -1;
}

CTableInfo* CTableInfoList::Find(const AnsiString& name) const {
  const int i = IndexOfName(name);
  return i < 0 ? nullptr : Get(i);
}

bool CTableInfoList::FindColumn(const AnsiString& column, int& tableIndex, int& columnIndex) const {
  for (int i = 0; i < Count(); ++i) {
    const int c = Get(i)->ColNames->IndexOf(column);
    if (c >= 0) {
      tableIndex = i;
      columnIndex = c;
      return true;
    }
  }
  return false;
}
