// The main window's folder tree with an enumeration folder expanded: one node per department
// found in the table, beside a condition folder and a heading with a folder below it.
#include <filesystem>

#include "folders/FlowBox.h"
#include "folders/RuleFolder.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "mainwin/MainForm.h"
#include "platform/SysUtils.h"
#include "store/KvRecord.h"
#include "tools/screenshots/Shots.h"

namespace {

CRuleFolder* AddFolder(CRuleFolder* parent, const char* name, int kind, const char* condition = "") {
  auto* folder = new CRuleFolder(parent);
  folder->Name = Utf8ToSjis(name);
  folder->Kind = kind;
  folder->Condition = Utf8ToSjis(condition);
  parent->AddChild(folder);
  return folder;
}

// The staff table with its records, its table folder and the folders below it, and the settings.
bool MakeStaffFolder(const std::string& dir) {
  const AnsiString file = dir + "/" + Utf8ToSjis("社員名簿") + ".kvr";
  const char* const columns[] = {"氏名", "所属", "入社年"};
  const char* const staff[][3] = {
      {"山田 太郎", "営業部", "2015"}, {"鈴木 花子", "総務部", "2018"}, {"佐藤 一郎", "開発部", "2012"},
      {"田中 美咲", "営業部", "2020"}, {"高橋 健", "経理部", "2016"},   {"伊藤 さくら", "人事部", "2019"},
      {"渡辺 翔", "開発部", "2021"},   {"中村 陽子", "広報部", "2014"}, {"小林 大輔", "品質保証部", "2017"},
  };
  TStringList names;
  for (const char* c : columns) names.Add(Utf8ToSjis(c));
  {
    CKvRecord t;
    t.SetFileName(file);
    for (int i = 0; i < names.Count(); ++i)
      if (!t.AddColumn(names[i], kvrString, 40)) return false;
    for (const auto& person : staff) {
      TStringList texts;
      for (const char* v : person) texts.Add(Utf8ToSjis(v));
      if (!t.InsertEx(names, texts, nullptr, 0)) return false;
    }
    t.Close();
  }
  CTopRuleFolder root;
  auto* table = new CRuleFolderTbl(&root);
  table->Name = Utf8ToSjis("社員名簿");
  table->TableName = table->Name;
  table->DataFile = file;
  root.AddChild(table);
  table->ResetTables();
  table->CapInfoList = new CCapInfoList;
  table->SumCapInfoList = new CCapInfoList;
  table->SyncCapInfoList();
  AddFolder(table, "最近の入社", FOLDER_CONDITION, "入社年 >= '2019'");
  CRuleFolder* byYear = AddFolder(table, "年代別", FOLDER_HEADING);
  AddFolder(byYear, "2010年代", FOLDER_CONDITION, "入社年 < '2020'");
  CRuleFolder* departments = AddFolder(table, "所属別", FOLDER_ENUMERATION);
  departments->EnumItem = Utf8ToSjis("所属");
  root.WritePath = dir + "/work.fld";
  TStringList ini;
  ini.Add("[TreeView1]");
  ini.Add("Width=220");
  return root.SaveFolderFile() && ini.SaveToFile(dir + "/work.ini");
}

}  // namespace

bool ShotMainTreeEnum(const std::string& file) {
  const std::string dir = std::filesystem::temp_directory_path() / "cw_main_tree_shot";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  if (!MakeStaffFolder(dir)) return false;
  SetParams({ExecutablePath(), dir + "/work.txt"});
  auto* main = new TFormMain(Application);
  main->SetBounds(0, 0, 1280, 800);
  main->Show();
  main->Timer1->SetEnabled(false);  // the about box has its own picture
  TTreeNode* table = main->TreeView1->Items()->GetFirstNode()->Item(0);
  table->Expand(false);
  table->Item(1)->Expand(false);
  main->TreeView1->SetSelected(table->Item(table->Count() - 2));
  const bool saved = SaveFormPicture(main, file);
  delete main->DiagramBox;
  delete main;
  SetParams({});
  std::filesystem::remove_all(dir);
  return saved;
}
