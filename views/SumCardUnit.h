// The summary-card window, made once at start-up.
#pragma once

#include "views/CardUnit.h"

class TSumCardDlg : public TCardDlg {
 public:
  explicit TSumCardDlg(TComponent* owner) : TCardDlg(owner) { Name = "SumCardDlg"; }
};

inline TSumCardDlg* SumCardDlg = nullptr;
