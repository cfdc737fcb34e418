// The table-definition dialog (each of its pages), the top-folder dialog and the single-comparison
// dialog, over a small tree of two related tables made in a temporary folder.
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "folders/CondUnit.h"
#include "folders/EditTableUnit.h"
#include "folders/EditTopFolderUnit.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "query/DbHandle.h"
#include "tools/screenshots/Shots.h"

namespace {

TBitmap FolderPicture(TColor color) {
  TBitmap b(16, 16);
  TCanvas* c = b.Canvas();
  c->Brush()->SetColor(clFuchsia);
  c->FillRect(Rect(0, 0, 16, 16));
  c->Brush()->SetColor(color);
  c->FillRect(Rect(1, 3, 7, 5));
  c->FillRect(Rect(1, 5, 15, 14));
  c->Brush()->SetColor(clGray);
  c->FrameRect(Rect(1, 5, 15, 14));
  return b;
}

// root ─┬─ 顧客 (table 顧客: 番号, 氏名, 住所, 登録日 with the date as automatic value)
//       │   ├─ 東京
//       │   └─ 大阪
//       └─ 注文 (table 注文: 注文番号, 顧客番号 -> 顧客.番号, 金額)
struct ShotTree {
  ShotTree() : images(nullptr) {
    char pattern[] = "/tmp/cw_shots_XXXXXX";
    if (const char* made = mkdtemp(pattern)) dir = made;
    for (TColor color : {clYellow, clAqua, clLime, clSilver}) images.AddMasked(FolderPicture(color), clFuchsia);
    FolderImageList = &images;
    customers = AddTable("顧客", {{"番号", "int", ""}, {"氏名", "string", ""}, {"住所", "string", ""},
                                  {"登録日", "string", "36,,"}});
    customers->ClosedImage = 0;
    customers->OpenImage = 1;
    for (const char* name : {"東京", "大阪"}) customers->AddNewChild()->Name = Utf8ToSjis(name);
    orders = AddTable("注文", {{"注文番号", "int", "3,,"}, {"顧客番号", "int", ""}, {"金額", "real", ""}});
    orders->Relations.Add(Utf8ToSjis("顧客番号"));
    orders->Relations.Add(Utf8ToSjis("顧客.番号"));
  }
  ~ShotTree() {
    FolderImageList = nullptr;
    if (!dir.empty()) std::filesystem::remove_all(dir);
  }

  struct ColumnDef {
    const char* name;
    const char* type;
    const char* options;
  };
  CRuleFolderTbl* AddTable(const char* name, std::initializer_list<ColumnDef> columns) {
    auto* folder = new CRuleFolderTbl(&root);
    folder->Name = Utf8ToSjis(name);
    folder->TableName = folder->Name;
    folder->DataFile = dir + "/" + folder->Name + ".kvr";
    root.AddChild(folder);
    folder->ResetTables();
    TStringList names, options;
    for (const ColumnDef& c : columns) {
      folder->DbHandle->AddColumn(folder->TableName, Utf8ToSjis(c.name), c.type, 16);
      names.Add(Utf8ToSjis(c.name));
      options.Add(c.options);
    }
    folder->DbHandle->SetColumnInfo(folder->TableName, names, options);
    folder->CapInfoList = new CCapInfoList;
    for (const ColumnDef& c : columns) {
      auto* info = new CCapInfo;
      info->Name = folder->TableName + "." + Utf8ToSjis(c.name);
      info->Caption = Utf8ToSjis(c.name);
      info->Shown = true;
      folder->CapInfoList->Add(info);
    }
    folder->SyncCapInfoList();
    return folder;
  }

  std::string dir;
  TImageList images;
  CTopRuleFolder root;
  CRuleFolderTbl* customers = nullptr;
  CRuleFolderTbl* orders = nullptr;
};

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
