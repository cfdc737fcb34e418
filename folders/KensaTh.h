// The worker of the relation check: reads every record of a table folder's table and keeps the
// rows whose value in the checked column has no counterpart in the related table.
//
// The pair checked is the one at PairIndex of the table folder's relations (own column at
// PairIndex, "table.column" at PairIndex + 1). Each distinct value is looked up once, with one
// equality condition on the related column; the values found and missing are remembered. A
// lookup that yields no row, whatever the reason, counts as missing.
//
// The scan and the lookups run on copies of the two tables' database handles, so that a listing
// the main window keeps open on either handle is left as it was.
//
// Made suspended; frees itself when it ends. It reaches the dialog only through the synchronised
// ShowCounts and its end event; the row list is the dialog's, which reads it after the end.
#pragma once

#include "platform/StdCtrls.h"
#include "platform/Thread.h"

class CCapInfoList;
class CRuleFolderTbl;
class CStringsList;

class TKensaTh : public TThread {
 public:
  explicit TKensaTh(bool createSuspended);

  // The table folder whose relation is checked, the list that takes the rows without
  // counterpart, the columns the rows hold (in that order), and the relation's position.
  void SetTarget(CRuleFolderTbl* folder, CStringsList* rows, CCapInfoList* columns, int pairIndex);
  // Writes the two counts into Edit1 and Edit2 (user-interface thread).
  void ShowCounts();

  TEdit* Edit1 = nullptr;  // records checked
  TEdit* Edit2 = nullptr;  // records without counterpart

  // Written by the worker; read on the user-interface thread only inside ShowCounts or after
  // the end.
  int CheckedCount = 0;
  int UnmatchedCount = 0;

 protected:
  void Execute() override;

 private:
  CRuleFolderTbl* folder_ = nullptr;
  CStringsList* rows_ = nullptr;
  CCapInfoList* columns_ = nullptr;
  int pairIndex_ = -1;
};

// The condition that finds value in the related item ("table.column"): a bare number for an
// integer or real column (declaredType 1 or 2; '' for the empty value), a quoted text otherwise.
AnsiString KensaLookupCondition(const AnsiString& relatedItem, const AnsiString& value, int declaredType);
