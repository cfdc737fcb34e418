// The summary and ratio views' commands: summary columns added, inserted, edited and deleted on
// the column under the last press in the grid, the summary rebuilt over the listed rows, the way
// back from a summary of several folders to the listed folder's own, and the summary's popup menu.
//
// The summary columns belong to the listed folder (or to the ancestor it inherits them from), so
// every change made here is a change of the folder definition and marks the folder modified.
#include <cstdint>

#include "folders/DbFolder.h"
#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "foundation/StringsList.h"
#include "mainwin/MainForm.h"
#include "query/SummaryMod.h"

namespace {

enum : int { kSummaryView = 1, kRatioView = 2 };

CDbFolder* FolderOf(TTreeNode* node) { return node ? static_cast<CDbFolder*>(node->Data) : nullptr; }

void AddRows(CSummaryMod* summary, CStringsList* rows) {
  for (int i = 0; rows && i < rows->Count(); ++i) summary->AddSummaryRecord(rows->Row(i));
}

}  // namespace

bool TFormMain::EditsFolderSummary() {
  if (ViewTab != kSummaryView && ViewTab != kRatioView) return false;
  // A summary of several folders is the engine's own copy: an edit there would be thrown away by
  // the refresh that follows it.
  CDbFolder* folder = FolderOf(ListedNode);
  return !folder || folder->GetSumCapInfoList() == SumColumns;
}

int TFormMain::ClickedSummaryColumn() {
  int col = -1, row = -1;
  StringGridEx1->MouseToCell(MouseDownX, MouseDownY, col, row);
  if (col < 0 || col >= StringGridEx1->ColCount() || !SumColumns) return -1;
  // The grid shows only the shown columns: the heading's descriptor names the summary column.
  return SumColumns->IndexOf(StringGridEx1->Objects(col, 0));
}

void TFormMain::RunSummaryColumnCommand(const std::function<bool(CSummaryMod*, int)>& command) {
  if (!EditsFolderSummary()) return;
  if (command(Summary, ClickedSummaryColumn())) RefreshSummary();
}

void TFormMain::SCapInsExecute(TObject* sender) {
  RunSummaryColumnCommand([](CSummaryMod* s, int column) { return s->InsertColumn(column); });
}

void TFormMain::SCapEditExecute(TObject* sender) {
  RunSummaryColumnCommand([](CSummaryMod* s, int column) { return s->EditColumn(column); });
}

void TFormMain::SCapDeleteExecute(TObject* sender) {
  RunSummaryColumnCommand([](CSummaryMod* s, int column) { return s->DeleteColumn(column); });
}

void TFormMain::AddSummaryMethodColumn(int method) {
  RunSummaryColumnCommand([method](CSummaryMod* s, int column) { return s->AddMethodColumn(column, method); });
}

void TFormMain::SCapAddNumExecute(TObject* sender) { AddSummaryMethodColumn(0); }
void TFormMain::SCapAddMinExecute(TObject* sender) { AddSummaryMethodColumn(1); }
void TFormMain::SCapAddMaxExecute(TObject* sender) { AddSummaryMethodColumn(2); }
void TFormMain::SCapAddRangeExecute(TObject* sender) { AddSummaryMethodColumn(3); }
void TFormMain::SCapAddSumExecute(TObject* sender) { AddSummaryMethodColumn(4); }
void TFormMain::SCapAddAveExecute(TObject* sender) { AddSummaryMethodColumn(5); }

void TFormMain::ResummariseListedRows(CDbFolder* folder) {
  SumColumns = folder->GetSumCapInfoList();
  SumRows->DeleteAll();
  Summary->ResetSummary(SumRows, SumColumns);
  // A continued listing shows only its last rows; the earlier ones are kept and counted too.
  AddRows(Summary, KeptRows.get());
  AddRows(Summary, ListRows);
  ShowViewData();
}

void TFormMain::RefreshSummary() {
  // The clicked sort keys may name columns that were just freed, and the rebuilt rows stand in
  // the order of the group keys.
  ClearStatusColumns();
  CDbFolder* folder = FolderOf(ListedNode);
  const int listed = ListRows->Count() + (KeptRows ? KeptRows->Count() : 0);
  if (!folder || listed != SearchedCount) {
    // The rows at hand are not those of the last listing: list afresh, which summarises too. The
    // grid's headings may name columns that were just freed, and the listing's dialogs let it
    // repaint: it is emptied first.
    ClearGrid(StringGridEx1);
    SearchedCount = 0;
    RefreshListView(TreeView1->Selected(), false);
  } else {
    ResummariseListedRows(folder);
  }
  if (CDbFolder* listedFolder = FolderOf(ListedNode); listedFolder && listedFolder->Folder) {
    listedFolder->Folder->AddModified(1);
    FileSaveFol->SetEnabled(TopFolder && TopFolder->GetModified() > 0);
  }
}

void TFormMain::SCapCancelPluralExecute(TObject* sender) {
  if (CDbFolder* folder = FolderOf(ListedNode)) ResummariseListedRows(folder);
}

void TFormMain::PopupMenuSumPopup(TObject* sender) {
  SavedSelection = TGridRect{-1, -1, -1, -1};
  if (ViewTab != kSummaryView && ViewTab != kRatioView) return;
  if (!EditsFolderSummary()) {
    MiCacelPlural->Visible = true;
    for (TMenuItem* item : {MiAddSCap, MiEditSCap, MiInsSCap, MiDeleteSCap}) item->Enabled = false;
    return;
  }
  MiCacelPlural->Visible = false;
  MiInsSCap->Enabled = true;
  int col = -1, row = -1;
  StringGridEx1->MouseToCell(MouseDownX, MouseDownY, col, row);
  const bool onColumn = col >= 0 && col < StringGridEx1->ColCount();
  for (TMenuItem* item : {MiAddSCap, MiEditSCap, MiDeleteSCap}) item->Enabled = onColumn;
  if (!onColumn) return;
  // The column the commands act on stands out while the menu is open; the next release of a
  // button in the grid puts the selection back.
  SavedSelection = StringGridEx1->GetSelection();
  StringGridEx1->SetSelection(TGridRect{col, 0, col, 0});
}
