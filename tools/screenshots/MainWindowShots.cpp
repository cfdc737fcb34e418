// The main window as it starts, and the about box that shows once after it. The window: a folder
// file with two tables and folders below them, the folder tree's first level, the empty list in
// the view tabs, the condition pane and the status bar. Then the same window listing the records
// of a condition folder: the tree expanded, the records in the list view and the folder's
// condition drawn in the diagram.
#include <filesystem>
#include <functional>
#include <initializer_list>

#include "folders/FlowBox.h"
#include "folders/RuleFolder.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "mainwin/Abount.h"
#include "mainwin/MainForm.h"
#include "platform/SysUtils.h"
#include "store/KvRecord.h"
#include "tools/screenshots/Shots.h"

namespace {

// A table file of string columns with its records, and a table folder over it under root.
CRuleFolderTbl* AddTable(CTopRuleFolder& root, const std::string& dir, const char* table,
                         std::initializer_list<const char*> columns,
                         std::initializer_list<std::initializer_list<const char*>> records) {
  const AnsiString file = dir + "/" + Utf8ToSjis(table) + ".kvr";
  TStringList names;
  for (const char* c : columns) names.Add(Utf8ToSjis(c));
  {
    CKvRecord t;
    t.SetFileName(file);
    for (int i = 0; i < names.Count(); ++i) t.AddColumn(names[i], kvrString, 40);
    t.Close();
  }
  CKvRecord t;
  t.SetFileName(file);
  if (t.Open() >= 0) {
    for (const auto& record : records) {
      TStringList texts;
      for (const char* v : record) texts.Add(Utf8ToSjis(v));
      t.InsertEx(names, texts, nullptr, 0);
    }
    t.Close();
  }
  auto* folder = new CRuleFolderTbl(&root);
  folder->Name = Utf8ToSjis(table);
  folder->TableName = folder->Name;
  folder->DataFile = file;
  root.AddChild(folder);
  folder->ResetTables();
  folder->CapInfoList = new CCapInfoList;
  folder->SumCapInfoList = new CCapInfoList;
  folder->SyncCapInfoList();
  return folder;
}

void AddCondition(CRuleFolder* parent, const char* name, const char* condition) {
  auto* folder = new CRuleFolder(parent);
  folder->Name = Utf8ToSjis(name);
  folder->Condition = Utf8ToSjis(condition);
  parent->AddChild(folder);
}

// A work folder with "work.ini" and "work.fld" beside the tables, as a user's would be.
bool MakeWorkFolder(const std::string& dir) {
  CTopRuleFolder root;
  CRuleFolderTbl* customers =
      AddTable(root, dir, "顧客台帳", {"氏名", "所属", "金額", "日付"},
               {{"山田 太郎", "営業部", "12,000", "2024/04/01"},
                {"鈴木 花子", "総務部", "8,500", "2024/04/02"},
                {"佐藤 一郎", "開発部", "23,400", "2024/04/03"},
                {"高橋 美咲", "営業部", "31,200", "2024/04/05"},
                {"田中 健", "営業部", "4,800", "2024/03/28"},
                {"伊藤 由紀", "営業部", "27,650", "2024/04/08"},
                {"渡辺 翔", "開発部", "15,000", "2024/04/09"},
                {"中村 さくら", "営業部", "9,900", "2024/04/10"},
                {"小林 大輔", "営業部", "21,000", "2024/03/15"},
                {"加藤 愛", "総務部", "6,300", "2024/04/12"},
                {"吉田 拓也", "営業部", "18,400", "2024/04/15"},
                {"山口 彩", "営業部", "7,250", "2024/04/16"},
                {"松本 剛", "開発部", "12,800", "2024/04/16"},
                {"井上 真理子", "営業部", "25,000", "2024/04/18"},
                {"木村 亮", "営業部", "3,600", "2024/04/19"},
                {"林 千尋", "総務部", "11,100", "2024/04/22"},
                {"清水 誠", "営業部", "14,300", "2024/04/23"},
                {"山崎 恵", "営業部", "22,750", "2024/04/24"},
                {"森 和也", "営業部", "5,400", "2024/04/25"},
                {"池田 陽子", "開発部", "19,900", "2024/04/26"},
                {"橋本 悠斗", "営業部", "16,000", "2024/04/30"},
                {"山下 理恵", "営業部", "8,800", "2024/05/01"},
                {"石川 直樹", "営業部", "29,300", "2024/05/02"}});
  // The display format a user gives the ledger: wide enough names and dates, amounts on the right.
  for (int i = 0; i < customers->CapInfoList->Count(); ++i) {
    CCapInfo* column = customers->CapInfoList->GetItem(i);
    const std::string field = SjisToUtf8(GetFieldPart(column->Name));
    column->Width = field == "氏名" ? 120 : field == "日付" ? 100 : 90;
    if (field == "金額") column->Alignment = 2;
  }
  AddCondition(customers, "営業部", "所属 = '営業部'");
  AddCondition(customers, "高額", "金額 >= '20,000'");
  AddCondition(customers, "営業部の指定客", "所属 = '営業部' AND (日付 >= '2024/04/15' OR 氏名 LIKE '山%')");
  CRuleFolderTbl* access = AddTable(root, dir, "アクセスログ", {"日時", "ホスト", "要求", "ステータス"},
                                    {{"2024/04/01 09:12", "192.0.2.10", "GET /index.html", "200"}});
  AddCondition(access, "エラー", "ステータス >= '400'");
  root.WritePath = dir + "/work.fld";
  TStringList ini;
  ini.Add("[TreeView1]");
  ini.Add("Width=240");
  ini.Add("[ScrollBox1FB]");
  ini.Add("Visible=1");
  return root.SaveFolderFile() && ini.SaveToFile(dir + "/work.ini");
}

}  // namespace

// The window started on a work folder in dir at 1280 x 800 (the about box has its own picture),
// brought into the state to show by prepare, and saved; false when prepare found nothing to show.
bool ShotStartedWindow(const std::string& dir, const std::string& file, const std::function<bool(TFormMain*)>& prepare) {
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  if (!MakeWorkFolder(dir)) return false;
  SetParams({ExecutablePath(), dir + "/work.txt"});
  auto* main = new TFormMain(Application);
  main->SetBounds(0, 0, 1280, 800);
  main->Show();
  main->Timer1->SetEnabled(false);
  const bool saved = prepare(main) && SaveFormPicture(main, file);
  delete main->DiagramBox;
  delete main;
  std::filesystem::remove_all(dir);
  return saved;
}

bool ShotMainWindowListing(const std::string& file) {
  // A short folder, so that the folder file's path fits its status panel.
  return ShotStartedWindow(std::filesystem::temp_directory_path() / "cw_work", file, [](TFormMain* main) {
    TTreeNode* top = main->TreeView1->Items()->GetFirstNode();
    TTreeNode* customers = top && top->Count() > 0 ? top->Item(0) : nullptr;
    if (!customers) return false;
    customers->Expand(false);
    if (customers->Count() < 3) return false;
    main->TreeView1->SetSelected(customers->Item(2));
    return main->ListedNode == customers->Item(2);
  });
}

bool ShotMainWindow(const std::string& file) {
  return ShotStartedWindow(std::filesystem::temp_directory_path() / "cw_main_window_shot", file,
                           [](TFormMain*) { return true; });
}

bool ShotAboutBox(const std::string& file) {
  TAboutBox box(Application);
  return SaveFormPicture(&box, file);
}
