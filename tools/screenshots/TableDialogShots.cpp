// The table-definition dialog (each of its pages), the top-folder dialog and the single-comparison
// dialog, over a small tree of two related tables made in a temporary folder.
#include <filesystem>
#include <memory>

#include "folders/CondUnit.h"
#include "folders/EditTableUnit.h"
#include "folders/EditTopFolderUnit.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "query/DbHandle.h"
#include "tools/screenshots/Shots.h"
#include "tools/screenshots/TableShotTree.h"

using shots::ShotTree;

namespace {

// The dialog of an existing table on one of its pages.
bool ShotExistingTable(const std::string& file, CRuleFolderTbl* ShotTree::*which, int page) {
  ShotTree tree;
  if (tree.dir.empty()) return false;
  TEditTableDlg dialog(Application);
  dialog.SetImageList(FolderImageList);
  CRuleFolderTbl* folder = tree.*which;
  dialog.SetTableFolder(folder, folder->CapInfoList);
  dialog.PageControl1->SetActivePageIndex(page);
  return SaveFormPicture(&dialog, file);
}

}  // namespace

bool ShotTableDialog(const std::string& file) { return ShotExistingTable(file, &ShotTree::customers, 0); }

bool ShotTableDialogValues(const std::string& file) {
  ShotTree tree;
  if (tree.dir.empty()) return false;
  TEditTableDlg dialog(Application);
  dialog.SetImageList(FolderImageList);
  dialog.SetTableFolder(tree.customers, tree.customers->CapInfoList);
  dialog.PageControl1->SetActivePageIndex(2);
  const bool shown = SaveFormPicture(&dialog, file + ".tmp.png");
  std::filesystem::remove(file + ".tmp.png");
  // The date column, whose automatic value the page shows.
  dialog.ListBox4->SetItemIndex(3);
  dialog.ListBox3Click(dialog.ListBox4);
  return shown && SaveFormPicture(&dialog, file);
}

bool ShotTableDialogRelations(const std::string& file) { return ShotExistingTable(file, &ShotTree::orders, 3); }

bool ShotTableDialogNew(const std::string& file) {
  ShotTree tree;
  if (tree.dir.empty()) return false;
  TEditTableDlg dialog(Application);
  dialog.SetImageList(FolderImageList);
  TStringList existing;
  tree.root.GetTableList(existing);
  dialog.NewTable = true;
  dialog.CanDeleteColumns = true;
  dialog.ExistingTables = &existing;
  dialog.Edit1->SetText(SJ("アクセス"));
  for (const char* name : {"日時", "ホスト", "要求", "状態", "バイト数"}) {
    dialog.ColNameEdit->SetText(Utf8ToSjis(name));
    dialog.ColAddBtnClick(dialog.ColAddBtn);
  }
  dialog.ColNameEdit->SetText(SJ("参照元"));
  dialog.PageControl1->SetActivePageIndex(1);
  return SaveFormPicture(&dialog, file);
}

bool ShotTopFolderDialog(const std::string& file) {
  ShotTree tree;
  if (tree.dir.empty()) return false;
  tree.root.ClosedImage = 2;
  TEditTopFolderDlg dialog(Application);
  dialog.SetImageList(FolderImageList);
  dialog.SetFolder(&tree.root);
  return SaveFormPicture(&dialog, file);
}

bool ShotCondDialog(const std::string& file) {
  TCondDlg dialog(Application);
  for (const char* name : {"日時", "ホスト", "要求", "状態", "バイト数", "参照元"})
    dialog.ComboBox1->Items()->Add(Utf8ToSjis(name));
  dialog.SetConditionText(SJ("要求 UNLIKE '%/画像/%'"));
  return SaveFormPicture(&dialog, file);
}
