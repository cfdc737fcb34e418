// The record listing: the selected folders' records read into the row list, inline for half a
// second and then in chunks on the listing worker.
#include "folders/DbFolder.h"
#include "mainwin/MainForm.h"

void TFormMain::RefreshListView(TTreeNode* node, bool fromDiagram) {}

void TFormMain::OpeContinueExecute(TObject* sender) {}

CDbFolderList* TFormMain::CollectSelectedFolders(CTv1NodeList* list) { return list->Folders; }

void TFormMain::SetDiagramFromSelection(CCapInfoList* columns, CDbFolder* folder, TFlowBox* diagram,
                                        CDbFolderList* folders) {}

int TFormMain::CompareRowsBySortColumns(TStrings* a, TStrings* b) { return 0; }

AnsiString TFormMain::SortOrderText() { return AnsiString(); }

void TFormMain::FillGridLayout() {}

void TFormMain::FillGridRow(TStrings* row, int index) {}

AnsiString RemoveLineBreaks(const AnsiString& text) {
  AnsiString out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '\r' && c != '\n') out += c;
  return out;
}
