// The folder dialogs (heading, condition and enumeration folders) and the display-format dialog,
// filled from a small tree over an access-log table as a user would meet them.
#include <memory>

#include "folders/CapEditForm.h"
#include "folders/FolCreateUnit1.h"
#include "folders/FolExpLogUnit.h"
#include "folders/RuleFolder.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "platform/ImgList.h"
#include "query/TableInfo.h"
#include "tools/screenshots/Shots.h"

namespace {

// Folder icons drawn in a few colours, closed and open, as the icon files would give them.
std::unique_ptr<TImageList> MakeFolderIcons() {
  auto images = std::make_unique<TImageList>(nullptr);
  const TColor colours[] = {0x40C0F0, 0x40A0F0, 0xE0A040, 0xE08030, 0x60C060, 0x40A040, 0x6060E0, 0x4040C0};
  for (int i = 0; i < 8; ++i) {
    TBitmap picture(16, 16);
    TCanvas* c = picture.Canvas();
    c->Brush()->SetColor(clFuchsia);
    c->FillRect(Rect(0, 0, 16, 16));
    c->Pen()->SetColor(0x305070);
    c->Brush()->SetColor(colours[i]);
    const bool open = i % 2 == 1;
    c->Rectangle(1, 3, 7, 6);
    c->Rectangle(1, 5, 15, 14);
    if (open) {
      const TPoint flap[] = {{1, 13}, {4, 8}, {15, 8}, {13, 13}};
      c->Brush()->SetColor(clWhite);
      c->Polygon(flap, 4);
    }
    images->AddMasked(picture, clFuchsia);
  }
  return images;
}

CCapInfo* Column(const char* table, const char* name, bool shown) {
  auto* info = new CCapInfo;
  info->Name = AnsiString(table) + "." + Utf8ToSjis(name);
  info->Caption = Utf8ToSjis(name);
  info->Shown = shown;
  return info;
}

// root ─┬─ アクセス (table "access": host, date, request, status, bytes, user)
//       │    ├─ エラー (condition folder, sub-folders 404, 500, 503)
//       │    └─ ステータス別 (enumeration folder over status)
//       └─ ユーザー (table "users": user, 氏名, 部署)
struct ShotTree {
  ShotTree() : icons(MakeFolderIcons()) {
    FolderImageList = icons.get();
    access = AddTable("access", Utf8ToSjis("アクセス"), {"host", "date", "request", "status", "bytes", "user"});
    access->Relations.Add("user");
    access->Relations.Add("users.user");
    access->ClosedImage = 2;
    access->OpenImage = 3;
    AddTable("users", Utf8ToSjis("ユーザー"), {"user", "氏名", "部署"});

    errors = access->AddNewChild();
    errors->Name = Utf8ToSjis("エラー");
    errors->Condition = "access.status >= '400' AND (access.request LIKE '/cgi-bin/%' OR access.host = 'gw.example.jp')";
    errors->ClosedImage = 6;
    errors->MaxSearchCount = 5000;
    errors->CommandName = Utf8ToSjis("担当者へ通知");
    errors->Description = Utf8ToSjis("エラーの行を選んで担当者に知らせます。");
    errors->Script = "$(SetValue(\"note\",\"checked\"))";
    errors->Flags |= 0x200;
    for (const char* status : {"404", "500", "503"}) {
      CRuleFolder* child = errors->AddNewChild();
      child->Name = status;
      child->Condition = AnsiString("access.status = '") + status + "'";
    }
    byStatus = access->AddNewChild();
    byStatus->Name = Utf8ToSjis("ステータス別");
    byStatus->Kind = FOLDER_ENUMERATION;
    byStatus->EnumItem = "access.status";
    byStatus->StrLength = 3;
    byStatus->MaxEnumCount = 50;
    byStatus->Condition = "access.date >= '2024/01/01'";
  }
  ~ShotTree() { FolderImageList = nullptr; }

  CRuleFolderTbl* AddTable(const char* table, const AnsiString& name, std::initializer_list<const char*> columns) {
    auto* folder = new CRuleFolderTbl(&root);
    folder->Name = name;
    folder->TableName = table;
    folder->CapInfoList = new CCapInfoList;
    for (const char* c : columns) folder->CapInfoList->Add(Column(table, c, true));
    folder->CapInfoList->Add(Column(table, "__REC__ID__", false));
    root.AddChild(folder);
    return folder;
  }

  std::unique_ptr<TImageList> icons;
  CTopRuleFolder root;
  CRuleFolderTbl* access;
  CRuleFolder* errors;
  CRuleFolder* byStatus;
};

bool ShotFolderDialog(TFolForm* dialog, int editMode, CRuleFolder* folder, int page, const std::string& file) {
  dialog->EditMode = editMode;
  dialog->SetFolder(folder);
  dialog->PageControl1->SetActivePageIndex(page);
  const bool saved = SaveFormPicture(dialog, file);
  delete dialog;
  return saved;
}

}  // namespace

bool ShotFolderHeadingDlg(const std::string& file) {
  ShotTree tree;
  CRuleFolder* heading = tree.root.AddNewChild();
  heading->Name = Utf8ToSjis("月別の集計");
  heading->Kind = FOLDER_HEADING;
  for (const char* name : {"１月", "２月", "３月", "４月"}) heading->AddNewChild()->Name = Utf8ToSjis(name);
  return ShotFolderDialog(new TFolCreate1(Application), 1, heading, 0, file);
}

bool ShotFolderConditionDlg(const std::string& file) {
  ShotTree tree;
  return ShotFolderDialog(new TFolLogiDlg(Application), 1, tree.errors, 0, file);
}

bool ShotFolderCommandPage(const std::string& file) {
  ShotTree tree;
  return ShotFolderDialog(new TFolLogiDlg(Application), 1, tree.errors, 1, file);
}

bool ShotFolderEnumCreateDlg(const std::string& file) {
  ShotTree tree;
  return ShotFolderDialog(new TFolExpLogDlg(Application), 0, tree.access, 0, file);
}

bool ShotFolderEnumEditDlg(const std::string& file) {
  ShotTree tree;
  return ShotFolderDialog(new TFolExpLogDlg(Application), 1, tree.byStatus, 0, file);
}

namespace {

bool ShotCapEdit(int page, const std::string& file) {
  ShotTree tree;
  CCapInfoList* columns = tree.access->CapInfoList;
  columns->GetItem(4)->Type = 1;
  columns->GetItem(4)->Alignment = 2;
  columns->GetItem(4)->Flags |= CI_THOUSANDS;
  auto* extended = new CCapInfo;
  extended->Name = ExtendedItemsTableName() + "." + Utf8ToSjis("応答量");
  extended->Caption = Utf8ToSjis("応答量");
  extended->Flags |= CI_EXTENDED;
  extended->Shown = true;
  extended->Editable = false;
  extended->Expression = "$(If($(access.bytes) > 100000, \"large\", \"small\"))";
  columns->Insert(5, extended);
  auto* dialog = new TFormCapEdit(Application);
  dialog->Folder = tree.access;
  dialog->SetCaption(Format(Utf8ToSjis("表示書式設定 - %s").c_str(), GetFolderPath(tree.access).c_str()));
  dialog->SetCapInfoList(columns);
  dialog->PageControl1->SetActivePageIndex(page);
  dialog->Show();
  // The extended item chosen, so that its expression shows.
  dialog->CheckListBox1->SetItemIndex(5);
  dialog->CheckListBox1Click(dialog->CheckListBox1);
  if (page == 1)
    for (int i = 0; i < dialog->ListBox1->Items()->Count(); i += 2) dialog->ListBox1->SetSelected(i, true);
  const bool saved = SaveFormPicture(dialog, file);
  delete dialog;
  return saved;
}

}  // namespace

bool ShotCapEditDlg(const std::string& file) { return ShotCapEdit(0, file); }
bool ShotCapEditOtherTables(const std::string& file) { return ShotCapEdit(1, file); }
