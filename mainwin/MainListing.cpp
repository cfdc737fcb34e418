// The record listing: the selected folders' records read into the row list, inline for half a
// second and then in chunks on the listing worker under the progress dialog, summarised, sorted
// and shown in the list grid.
//
// While a listing runs, the grid shows only rows that ListRows already holds: the first screen as
// soon as it is read, laid out again before anything can repaint (the progress dialog, a message
// box), and the whole list at the end. The worker appends to a list of its own; its rows join
// ListRows once the chunk has ended. Rows a continuation takes off the screen move to KeptRows,
// where they stay alive for the summary until the next fresh listing deletes ListRows' rows.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <new>
#include <vector>

#include "folders/DbFolder.h"
#include "folders/FlowBox.h"
#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "foundation/CellFormat.h"
#include "foundation/CvMessageUnit.h"
#include "foundation/LogForm.h"
#include "foundation/StringsList.h"
#include "mainwin/GetListUnit.h"
#include "mainwin/ListViewRecids.h"
#include "mainwin/MainForm.h"
#include "platform/SysUtils.h"
#include "query/SummaryMod.h"

namespace {

using Clock = std::chrono::steady_clock;

void* const kUnfilledRow = reinterpret_cast<void*>(intptr_t(-1));

// A row for a listing of width columns.
TStringList* NewRow(int width) {
  auto* row = new TStringList;
  row->Reserve(width);
  return row;
}

// Whether the grid is laid out over these rows.
bool ShowsRows(TStringGridEx* grid, CStringsList* rows) {
  CCapInfoList* shownColumns = nullptr;
  CStringsList* shownRows = nullptr;
  return GetGridRows(grid, shownColumns, shownRows) && shownRows == rows;
}

CDbFolder* FolderOf(TTreeNode* node) { return node ? static_cast<CDbFolder*>(node->Data) : nullptr; }

int Milliseconds(Clock::time_point from, Clock::time_point to) {
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count());
}

TAlignment GridAlignment(int alignment) {
  switch (alignment) {
    case 1: return taCenter;
    case 2: return taRightJustify;
    default: return taLeftJustify;
  }
}

}  // namespace

void TFormMain::WatchListedRows() {
  if (!KeptRows) KeptRows = std::make_unique<CStringsList>();
  // When the shown rows are deleted, the summary lets go of its groups first (they name those
  // rows and the kept ones), then the kept rows go too. The summary's columns are not touched:
  // they may belong to a folder that is already gone.
  ListRows->SetReleaseHandler(this, [this](bool) {
    SumRows->DeleteAll();
    KeptRows->DeleteAll();
  });
}

void TFormMain::KeepListedRows() {
  WatchListedRows();
  for (int i = 0; i < ListRows->Count(); ++i) KeptRows->Add(ListRows->Items(i));
  ListRows->Clear();
}

void TFormMain::ShowRowsSoFar(CCapInfoList* columns) {
  const bool showsListing = ShowsRows(StringGridEx1, ListRows);
  if (ViewTab == 0 && StringGridEx1->Visible()) {
    if (reinterpret_cast<CCapInfoList*>(StringGridEx1->Tag) != columns) ClearStatusColumns();
    StringGridEx1->Tag = reinterpret_cast<intptr_t>(columns);
    if (columns) columns->Rows = ListRows;
    FillGridLayout();
    StringGridEx1->Repaint();
  } else if (showsListing) {
    FillGridLayout();
  }
}

void TFormMain::RefreshListView(TTreeNode* node, bool fromDiagram) {
  WriteLog("%s", SJ("RefreshListView(): 開始").c_str());
  const Clock::time_point t0 = Clock::now();
  CChangeCursor cursor;
  ++ListingCount;
  OpeContinue->SetEnabled(false);
  StatusBar1->Panels()->Items(1)->SetText(AnsiString());

  if (ListedNode && ListedNode != node)
    if (CDbFolder* listed = FolderOf(ListedNode)) listed->ListEnd();
  ListedNode = nullptr;
  UpdateActions();
  if (Tv1NodeList->Nodes->Count() > 1) node = static_cast<TTreeNode*>(Tv1NodeList->Nodes->Items(0));
  CDbFolder* folder = FolderOf(node);
  if (!folder) {
    ClearGrid(StringGridEx1);
    DiagramBox->SetExpression(AnsiString());
    ClearChart();
    return;
  }
  ListedNode = node;
  const Clock::time_point tA = Clock::now();

  if (!AddingToSelection) {
    // A continuation takes the shown rows off the screen but keeps them alive for the summary.
    if (SearchedCount > 0)
      KeepListedRows();
    else
      ListRows->DeleteAll();
    RecordIds->Clear();
    // The start of the listing may report an error, whose box lets the grid repaint: it must
    // not be laid out over rows that are gone.
    if (ShowsRows(StringGridEx1, ListRows)) FillGridLayout();
  }
  CCapInfoList* columns;
  if (!AddingToSelection && SearchedCount > 0) {
    columns = ListRows->ColumnList;
  } else {
    columns = folder->GetCapInfoList();
    CDbFolder* summaryFolder = folder;
    if (fromDiagram) {
      folder->ListStart_a(DiagramBox->GetExpression());
    } else {
      CDbFolderList* folders = CollectSelectedFolders(Tv1NodeList);
      SetDiagramFromSelection(columns, folder, DiagramBox, folders);
      if (AddingToSelection) {
        // The list borrows its folders: entries are dropped, never deleted.
        while (folders->Count() > 1) folders->TList::Delete(0);
        if (folders->Count() == 1) summaryFolder = folders->Get(0);
      }
      folder->ListStart(*folders);
    }
    if (AddingToSelection) {
      Summary->BuildOutputColumns(summaryFolder->Name);
      SumColumns = Summary->GetColumns();
    } else {
      SumRows->DeleteAll();
      SumColumns = folder->GetSumCapInfoList();
      Summary->SetSummaryColumns(SumRows, SumColumns, columns);
      Summary->SetTitle(summaryFolder->Name);
    }
  }
  ListRows->ColumnList = columns;
  RecordIds->SetColumns(columns);
  WatchListedRows();

  // Inline phase: small listings end here without any dialog.
  const Clock::time_point t1 = Clock::now();
  const int countBefore = ListRows->Count();
  const int firstScreen =
      countBefore + StringGridEx1->ClientHeight() / std::max(1, StringGridEx1->DefaultRowHeight()) + 1;
  bool shown = false, finished = false;
  const int width = columns ? columns->Count() : 0;
  auto* row = NewRow(width);
  do {
    const int r = folder->ListNextNB(*row);
    if (r < 0) {
      folder->ListEnd();
      finished = true;
      break;
    }
    if (r == 1 && RecordIds->AddKey(row)) {
      ListRows->Add(row);
      row = NewRow(width);
      if (!shown && ListRows->Count() >= firstScreen) {
        ShowRowsSoFar(columns);
        shown = true;
      }
    }
  } while (Clock::now() - t1 < std::chrono::milliseconds(InlinePhaseMs));
  delete row;
  if (!finished) ShowRowsSoFar(columns);  // before the dialog lets the grid repaint

  // Chunk phase: the worker reads up to the next multiple of the chunk size; the user is asked
  // before each further chunk.
  while (!finished) {
    CStringsList chunk;
    auto* worker = new TGetListTh(true);
    const int rows = ListRows->Count();
    worker->Count = rows;
    worker->Limit = (rows + ChunkSize) / ChunkSize * ChunkSize - 1;
    worker->Folder = folder;
    worker->Rows = &chunk;
    worker->Ids = RecordIds;
    worker->Width = width;
    worker->Progress = GetListDlg->Edit1;
    GetListDlg->Thread = worker;
    GetListDlg->ShowModal();
    for (int i = 0; i < chunk.Count(); ++i) ListRows->Add(chunk.Items(i));
    chunk.Clear();

    auto* probe = new (std::nothrow) TStringList;
    if (probe) probe->Reserve(width);
    if (!probe) {
      ReportError("%s", SJ("メモリが確保できません。").c_str());
      break;
    }
    const int r = folder->ListNextNB(*probe);
    if (r < 0) {
      delete probe;
      folder->ListEnd();
      finished = true;
      break;
    }
    if (r == 1 && RecordIds->AddKey(probe))
      ListRows->Add(probe);
    else
      delete probe;
    const AnsiString question = Format(SJ("検索データが %d を越えました。続けますか？").c_str(), ListRows->Count());
    if (GetListDlg->Aborted || CvMessageBox(question, SJ("継続の確認"), 4, this) != mrYes) {
      OpeContinue->SetEnabled(true);
      break;
    }
  }

  SearchedCount += ListRows->Count() - countBefore;
  for (int i = countBefore; i < ListRows->Count(); ++i) Summary->AddSummaryRecord(ListRows->Row(i));
  const Clock::time_point t3 = Clock::now();
  // The folder's command may run over the rows this listing added.
  folder->RunCommand(0, columns, ListRows, countBefore, nullptr);

  if (reinterpret_cast<CCapInfoList*>(StringGridEx1->Tag) != columns) ClearStatusColumns();
  StringGridEx1->Tag = reinterpret_cast<intptr_t>(columns);
  if (columns) columns->Rows = ListRows;
  if (columns && SortColumns->Count() > 0) {
    std::vector<TStrings*> sorted;
    sorted.reserve(size_t(ListRows->Count()));
    for (int i = 0; i < ListRows->Count(); ++i) sorted.push_back(ListRows->Row(i));
    // A stable sort: it stays within bounds even where a missing cell makes two rows compare
    // inconsistently, and equal rows keep their listing order.
    std::stable_sort(sorted.begin(), sorted.end(),
                     [this](TStrings* a, TStrings* b) { return CompareRowsBySortColumns(a, b) < 0; });
    for (size_t i = 0; i < sorted.size(); ++i) ListRows->SetItem(int(i), sorted[i]);
    StatusBar1->Panels()->Items(2)->SetText(SortOrderText());
  }
  if (StringGridEx1->Visible()) ShowViewData();
  const Clock::time_point t5 = Clock::now();
  StatusBar1->Panels()->Items(1)->SetText(Format(SJ("件数:%d  検索:%d(ミリ秒)  表示:%d(ミリ秒)").c_str(), SearchedCount,
                                                 Milliseconds(tA, t3), Milliseconds(t0, tA) + Milliseconds(t3, t5)));
}

void TFormMain::OpeContinueExecute(TObject* sender) {
  // The next rows of the open listing replace the shown ones, which stay alive for the summary
  // (the summary counts every row listed, and its groups name them) until a fresh listing.
  KeepListedRows();
  RefreshListView(ListedNode, false);
}

CDbFolderList* TFormMain::CollectSelectedFolders(CTv1NodeList* list) {
  list->Folders->TList::Clear();
  for (int i = 0; i < list->Nodes->Count(); ++i)
    if (CDbFolder* folder = FolderOf(static_cast<TTreeNode*>(list->Nodes->Items(i)))) list->Folders->Add(folder);
  return list->Folders;
}

void TFormMain::SetDiagramFromSelection(CCapInfoList* columns, CDbFolder* folder, TFlowBox* diagram,
                                        CDbFolderList* folders) {
  AnsiString condition, columnList;
  if (folder && folder->MakeOrCondition(columns, folders, condition, columnList)) {
    const AnsiString joins = folder->Folder ? folder->Folder->MakeColumnCondition(condition, columnList) : AnsiString();
    diagram->SetExpression_a(condition, joins);
    diagram->SetDefTableName(folder->Folder ? folder->Folder->GetTableName() : AnsiString());
  } else {
    diagram->SetExpression(AnsiString());
  }
}

int TFormMain::CompareRowsBySortColumns(TStrings* a, TStrings* b) {
  for (int i = 0; i < SortColumns->Count(); ++i) {
    const CCapInfo* column = SortColumns->GetItem(i);
    if (!column) continue;
    if (const int r = CompareCellValues(column, a, b)) return r;
  }
  return 0;
}

AnsiString TFormMain::SortOrderText() {
  AnsiString text = SJ("ソート: ");
  for (int i = 0; i < SortColumns->Count(); ++i) {
    const CCapInfo* column = SortColumns->GetItem(i);
    if (!column) break;
    if (i) text += "  ";
    const bool flipped = (column->Flags & CI_SORT_FLIPPED) != 0;
    text += column->Caption + (column->Ascending != flipped ? SJ("△") : SJ("▽"));
  }
  return text;
}

void TFormMain::FillGridLayout() {
  TStringGridEx* grid = StringGridEx1;
  UpdateActions();
  CCapInfoList* columns = nullptr;
  CStringsList* rows = nullptr;
  if (!GetGridRows(grid, columns, rows) || columns->Count() < 1) {
    ClearGrid(grid);
    ClearChart();
    return;
  }
  const TNotifyEvent topLeft = grid->OnTopLeftChanged;
  grid->OnTopLeftChanged = nullptr;
  grid->SetRowCount(std::max(2, rows->Count() + 1));
  int shownCount = 0;
  for (int i = 0; i < columns->Count(); ++i) {
    columns->GetItem(i)->Position = i;
    if (columns->GetItem(i)->Shown) ++shownCount;
  }
  grid->SetColCount(shownCount);
  grid->SetFixedCols(0);
  grid->SetFixedRows(1);
  grid->SetDataRowObjects(0, kUnfilledRow);
  for (int i = 0, c = 0; i < columns->Count(); ++i) {
    CCapInfo* column = columns->GetItem(i);
    if (!column->Shown) continue;
    grid->SetObjects(c, 0, column);
    grid->SetCells(c, 0, column->Caption);
    grid->SetColWidths(c, column->Width);
    grid->GridColumns()->GetItems(c)->SetAlignment(GridAlignment(column->Alignment));
    ++c;
  }
  grid->OnTopLeftChanged = topLeft;
  LastTopRow = LastFrozenRow = 0;
  if (rows->Count() > 0) {
    grid->SetRowHeights(1, grid->DefaultRowHeight());
    grid->AdjustRowHeight(0);
    StringGridEx1TopLeftChanged(grid);
    TGridRect selection = grid->GetSelection();
    selection.Left = selection.Right = grid->GetFixedCols();
    grid->SetSelection(selection);
  } else {
    grid->SetRowHeights(1, -grid->GridLineWidth());
    for (int c = 0; c < grid->ColCount(); ++c) {
      grid->SetCells(c, 1, AnsiString());
      grid->SetObjects(c, 1, nullptr);
    }
  }
}

void TFormMain::FillGridRow(TStrings* row, int index) {
  TStringGridEx* grid = StringGridEx1;
  if (grid->RowHeights(index + 1) < 1) grid->SetRowHeights(index + 1, grid->DefaultRowHeight());
  for (int c = grid->ColCount() - 1; c >= 0; --c) {
    const auto* column = static_cast<const CCapInfo*>(grid->Objects(c, 0));
    if (!column) continue;
    if (column->Position >= 0 && column->Position < row->Count())
      grid->SetCells(c, index + 1, RemoveLineBreaks(FormatCellValue(column, (*row)[column->Position])));
  }
  grid->SetObjects(0, index + 1, reinterpret_cast<void*>(intptr_t(index)));
}

AnsiString RemoveLineBreaks(const AnsiString& text) {
  AnsiString out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}
