// The tables of a select as its comparison nodes see them: for each table its open table object,
// its column names, the values of its current record and its result cache.
//
// The nodes fill a table's current values as they step (one record per table at a time; a
// combination of the select is the current records of all its tables). The pseudo table of the
// extended items has no table object: its column names are the item names and its values are
// computed per combination by the select.
#pragma once

#include "platform/Classes.h"
#include "query/CashData.h"
#include "store/KvRecord.h"
#include "store/Kvrvalue.h"

// Name of the pseudo table whose columns are the select's computed items.
const AnsiString& ExtendedItemsTableName();

// One table of a select. Owns everything it points to; deleting it closes the table object.
class CTableInfo {
 public:
  explicit CTableInfo(const AnsiString& name);
  CTableInfo(const CTableInfo&) = delete;
  CTableInfo& operator=(const CTableInfo&) = delete;
  ~CTableInfo();

  CKvRecord* Table = nullptr;  // null for the extended-items table
  AnsiString Name;
  TStringList* ColNames;       // in the table's column order
  TStringList* Texts;          // values collected for an insert
  CKvrValueList* Values;       // the current record, in column order
  TCashData* Cash;
};

// The tables of a select in their order; owns them.
class CTableInfoList : public TList {
 public:
  CTableInfoList() = default;
  CTableInfoList(const CTableInfoList&) = delete;
  CTableInfoList& operator=(const CTableInfoList&) = delete;
  ~CTableInfoList() override;
  void Clear() override;  // deletes every table information

  CTableInfo* Get(int i) const { return static_cast<CTableInfo*>(Items(i)); }
  // First table of that exact name; null / -1 when none.
  CTableInfo* Find(const AnsiString& name) const;
  int IndexOfName(const AnsiString& name) const;
  // The first table, in list order, with a column of exactly that name; false when none.
  bool FindColumn(const AnsiString& column, int& tableIndex, int& columnIndex) const;
};
