// The main window as it starts, and the about box that shows once after it. The window: a folder file with two tables and folders below them, the folder
// tree's first level, the empty list in the view tabs, the condition pane and the status bar.
#include <filesystem>
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
                {"佐藤 一郎", "開発部", "23,400", "2024/04/03"}});
  AddCondition(customers, "営業部", "所属 = '営業部'");
  AddCondition(customers, "高額", "金額 >= '20,000'");
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

bool ShotMainWindow(const std::string& file) {
  const std::string dir = std::filesystem::temp_directory_path() / "cw_main_window_shot";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  if (!MakeWorkFolder(dir)) return false;
  SetParams({ExecutablePath(), dir + "/work.txt"});
  auto* main = new TFormMain(Application);
  main->SetBounds(0, 0, 1280, 800);
  main->Show();
  main->Timer1->SetEnabled(false);  // the about box has its own picture
  const bool saved = SaveFormPicture(main, file);
  delete main->DiagramBox;
  delete main;
  std::filesystem::remove_all(dir);
  return saved;
}

bool ShotAboutBox(const std::string& file) {
  TAboutBox box(Application);
  return SaveFormPicture(&box, file);
}
