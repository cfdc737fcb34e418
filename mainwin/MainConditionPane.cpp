// The condition pane, the view tabs and printing: the diagram's edit commands list the records
// again under the diagram's condition; the tabs switch the grid between the list and the summary
// views; the list is previewed and printed through the list printer.
#include <algorithm>
#include <cstdint>
#include <unordered_set>

#include "folders/CondUnit.h"
#include "folders/DbFolder.h"
#include "folders/FlowBox.h"
#include "folders/RuleFolder.h"
#include "foundation/CapInfo.h"
#include "foundation/CellFormat.h"
#include "foundation/LogForm.h"
#include "foundation/StringsList.h"
#include "mainwin/MainForm.h"
#include "mainwin/NodePath.h"
#include "query/SummaryMod.h"
#include "views/CvGraphPr.h"
#include "views/PreviewUnit.h"

namespace {

enum : int { kListView = 0, kSummaryView = 1, kRatioView = 2, kGraphView = 3 };

}  // namespace

// ---- The condition diagram ----

void TFormMain::FlipFlowBoxExecute(TObject* sender) {
  const bool show = !DiagramBox->Visible();
  // The splitter belongs above the diagram: placed there before both show, the bottom alignment
  // keeps that order.
  if (show) Splitter2->SetTop(DiagramBox->Top() - Splitter2->Height());
  DiagramBox->SetVisible(show);
  Splitter2->SetVisible(show);
}

namespace {

bool HasListedFolder(TTreeNode* node) { return node && node->Data; }

// The comparison dialog over the listed folder's columns: edits the first selected comparison
// (kind 0) or joins a new one by kind; true when the diagram changed.
bool RunComparisonDialog(TFormMain* form, int kind) {
  TCondDlg dialog(form);
  FillColumnNames(dialog.ComboBox1->Items(), form->ListedNode);
  return kind == 0 ? EditFlowNode(form->DiagramBox, &dialog) : AddFlowNode(form->DiagramBox, &dialog, kind);
}

// A fresh listing of the listed node under the diagram's condition.
void ListUnderDiagram(TFormMain* form) {
  form->SearchedCount = 0;
  form->RefreshListView(form->ListedNode, true);
}

}  // namespace

void TFormMain::FlowEditExecute(TObject* sender) {
  if (HasListedFolder(ListedNode) && DiagramBox->GetSelCount() > 0 && RunComparisonDialog(this, 0))
    ListUnderDiagram(this);
}

void TFormMain::FlowAndExecute(TObject* sender) {
  if (HasListedFolder(ListedNode) && RunComparisonDialog(this, CLgNode::AndNode)) ListUnderDiagram(this);
}

void TFormMain::FlowOrExecute(TObject* sender) {
  if (HasListedFolder(ListedNode) && RunComparisonDialog(this, CLgNode::OrNode)) ListUnderDiagram(this);
}

void TFormMain::FlowDelExecute(TObject* sender) {
  if (!HasListedFolder(ListedNode)) return;
  int deleted = 0;
  while (DiagramBox->GetSelCount() > 0 && DiagramBox->DeleteNode(DiagramBox->GetSelNode(0))) ++deleted;
  if (deleted > 0) ListUnderDiagram(this);
}

void TFormMain::FlowRevExecute(TObject* sender) {
  DiagramBox->ReverseExpression();
  ListUnderDiagram(this);
}

void TFormMain::FlowCopyExecute(TObject* sender) { DiagramBox->CopyExpression(); }

void TFormMain::FloxBox1DblClick(TObject* sender) { FlowEditExecute(sender); }

// ---- The view tabs ----

void TFormMain::TabControl1Change(TObject* sender) {
  const int tab = TabControl1->TabIndex();
  // Going back to the list after marking summary rows: their groups' records are marked there.
  std::unordered_set<const TStrings*> records;
  if (tab == kListView && GridClickCount > 0 && (ViewTab == kSummaryView || ViewTab == kRatioView)) {
    const int last = std::min(StringGridEx1->RowCount() - 1, SumRows->Count());
    for (int g = 1; g <= last; ++g) {
      if (!StringGridEx1->GetRowSelects(g)) continue;
      if (TList* group = Summary->GetRecordGroup(SumRows->Row(g - 1)))
        for (int i = 0; i < group->Count(); ++i) records.insert(static_cast<const TStrings*>(group->Items(i)));
    }
  }
  GridClickCount = 0;
  ViewTab = tab;

  const bool graph = tab == kGraphView;
  FilePrint->SetCaption(graph ? SJ("グラフの印刷") : SJ("リストの印刷"));
  FilePreview->SetCaption(graph ? SJ("グラフの印刷プレビュー") : SJ("リストの印刷プレビュー"));
  GraphPrinter->Chart = graph ? Chart2 : nullptr;
  Panel3->SetVisible(graph);
  FileSaveChart->SetVisible(graph);
  Chart2->SetVisible(graph);
  if (graph) {
    Chart2->BringToFront();
  } else {
    Chart2->SendToBack();
    const bool list = tab == kListView;
    StringGridEx1->SetPopupMenu(list ? PopupMenu1 : PopupMenuSum);
    const int options = StringGridEx1->Options();
    StringGridEx1->SetOptions(list ? options & ~goColMoving : options | goColMoving);
  }
  {
    CChangeCursor hourglass;
    ShowViewData();
  }
  if (records.empty()) return;

  int first = -1;
  for (int r = 1; r < StringGridEx1->RowCount(); ++r) {
    const auto at = reinterpret_cast<intptr_t>(StringGridEx1->Objects(0, r));
    const int index = at < 0 ? r - 1 : static_cast<int>(at);
    const bool marked = index < ListRows->Count() && records.count(ListRows->Row(index)) > 0;
    StringGridEx1->SetRowSelects(r, marked);
    if (marked && first < 0) first = r;
  }
  if (first < 0) return;
  TGridRect selection = StringGridEx1->GetSelection();
  selection.Top = selection.Bottom = first;
  StringGridEx1->SetSelection(selection);
  StringGridEx1->SetTopRow(first);
}

void TFormMain::ShowViewData() {
  if (ViewTab == kListView) {
    CCapInfoList* columns = ListRows->ColumnList;
    if (columns) columns->Rows = ListRows;
    StringGridEx1->Tag = reinterpret_cast<intptr_t>(columns);
    FillGridLayout();
    return;
  }
  Summary->SetRatioMode(ViewTab == kRatioView);
  Summary->Calculate();
  if (SumColumns) {
    SumColumns->Rows = SumRows;
    SumRows->ColumnList = SumColumns;
  }
  StringGridEx1->Tag = reinterpret_cast<intptr_t>(SumColumns);
  // The chart is built in its own view; the grid stays behind it.
  if (ViewTab == kGraphView)
    ShowGraphView();
  else
    FillGridLayout();
}

// ---- Printing ----

void TFormMain::GetPrintCellText(AnsiString& text, bool& drawLine, int col, int row, bool firstRow) {
  text.clear();
  drawLine = true;
  CCapInfoList* columns;
  CStringsList* rows;
  if (!GetGridRows(StringGridEx1, columns, rows)) return;
  if (col < 0 || col >= StringGridEx1->ColCount() || row < 0 || row > rows->Count()) return;
  const auto* column = static_cast<const CCapInfo*>(StringGridEx1->Objects(col, 0));
  if (!column) return;
  if (row == 0) {
    text = column->Caption;
    return;
  }
  const int position = column->Position;
  if (firstRow) {
    // A page never begins with ditto marks.
    const TStrings* record = rows->Row(row - 1);
    if (position >= 0 && position < record->Count())
      text = RemoveLineBreaks(FormatCellValue(column, (*record)[position]));
    return;
  }
  TStringList shown;
  if (MakeDisplayRow(shown, columns, rows, row - 1) <= 0) return;
  if (position >= 0 && position < shown.Count()) text = RemoveLineBreaks(FormatCellValue(column, shown[position]));
  const TStrings* record = rows->Row(row - 1);
  const auto breakColumn = record->Count() > 0 ? reinterpret_cast<intptr_t>(record->Objects(0)) : -1;
  drawLine = column->Borders && !(column->Ditto && breakColumn > col);
}

void TFormMain::UsePrintCellTexts() {
  ListPrinter->SetOnGetCellString(
      [this](AnsiString& text, bool& line, int col, int row, bool first) { GetPrintCellText(text, line, col, row, first); });
}

void TFormMain::FilePreviewExecute(TObject* sender) {
  UsePrintCellTexts();
  auto* preview = new TPreviewForm(this);
  preview->GridPr = ListPrinter;
  preview->SetCardPanelVisible(false);
  preview->ShowModal();
  delete preview;
}

void TFormMain::FilePrintExecute(TObject* sender) {
  PrintDialog->Options = poPageNums;
  // A range chosen for the last job is not offered again: it would print only its pages.
  PrintDialog->PrintRange = prAllPages;
  PrintDialog->FromPage = 1;
  PrintDialog->ToPage = -1;
  PrintDialog->MinPage = 1;
  PrintDialog->MaxPage = -1;
  TPrinter* printer = ListPrinter->GetPrinter();
  PrintDialog->Printer = printer;
  if (!PrintDialog->Execute()) return;
  const bool range = PrintDialog->PrintRange == prPageNums;
  UsePrintCellTexts();
  ListPrinter->SetFromPage(range ? PrintDialog->FromPage : 1);
  ListPrinter->SetToPage(range ? PrintDialog->ToPage : -1);
  if (!printer->BeginDoc()) {
    ReportError(SJ("印刷を始められません。\n%s").c_str(), printer->LastError().c_str());
    return;
  }
  ListPrinter->GoPrint();
  if (!printer->EndDoc()) ReportError(SJ("印刷できませんでした。\n%s").c_str(), printer->LastError().c_str());
}

// ---- Table definitions ----

void TFormMain::FileTblCreateExecute(TObject* sender) {
  if (TopFolder && TopFolder->CreateTable()) RefreshTree(nullptr);
}

void TFormMain::FileTblReadExecute(TObject* sender) {
  if (TopFolder && ReadTableDefinitionFile(AnsiString())) RefreshTree(nullptr);
}

void TFormMain::FileTblWriteExecute(TObject* sender) {
  if (TopFolder) WriteTableDefinitionFile();
}
