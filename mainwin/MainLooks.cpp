// The window's looks: the appearance dialog, the list font command, and the font the list grid
// shares with the record edit dialog's sheet.
#include "folders/FlowBox.h"
#include "mainwin/MainForm.h"
#include "views/EditForm.h"
#include "views/SetLooksUnit.h"

namespace {

// The edit dialog's sheet is its only grid.
void SetEditSheetFont(const TFont* font) {
  if (!EditDlg) return;
  for (int i = 0; i < EditDlg->ComponentCount(); ++i)
    if (auto* grid = dynamic_cast<TStringGridEx*>(EditDlg->Components(i))) SetGridFont(grid, font);
}

}  // namespace

void TFormMain::SetListFonts(const TFont* font) {
  SetGridFont(StringGridEx1, font);
  SetEditSheetFont(font);
}

void TFormMain::SetLooksExecute(TObject* sender) {
  const TTVChangedEvent selection = TreeView1->OnChange;
  TreeView1->OnChange = nullptr;
  ListedNode = nullptr;
  Tv1NodeList->Nodes->Clear();
  ++Tv1NodeList->ChangeCount;
  auto* dialog = new TSetLooksDlg(this);
  dialog->MainForm = this;
  dialog->FolderTree = TreeView1;
  dialog->ListGrid = StringGridEx1;
  dialog->FlowBox = DiagramBox;
  dialog->ShowModal();
  const int changes = dialog->GetLooksChangeCount();
  delete dialog;
  TreeView1->OnChange = selection;
  if (changes <= 0) return;
  SetEditSheetFont(StringGridEx1->Font());
  RefreshTree(nullptr);
  TreeView1Change(TreeView1, TreeView1->Selected());
}

void TFormMain::ChangeFontExecute(TObject* sender) {
  TFontDialog dialog(this);
  dialog.Font()->Assign(*TreeView1->Font());
  if (!dialog.Execute()) return;
  SetListFonts(dialog.Font());
  TreeView1->Font()->Assign(*dialog.Font());
}
