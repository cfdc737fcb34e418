// A small tree of two related tables made in a temporary folder, for the screenshots of the table
// and relation dialogs:
//
// root ─┬─ 顧客 (table 顧客: 番号, 氏名, 住所, 登録日 with the date as automatic value)
//       │   ├─ 東京
//       │   └─ 大阪
//       └─ 注文 (table 注文: 注文番号, 顧客番号 -> 顧客.番号, 金額)
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "platform/ImgList.h"
#include "query/DbHandle.h"

namespace shots {

inline TBitmap FolderPicture(TColor color) {
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

}  // namespace shots
