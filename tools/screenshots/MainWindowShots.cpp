// The main window as it starts, and the about box that shows once after it. The window: a folder
// file with two tables and folders below them, the folder tree's first level, the empty list in
// the view tabs, the condition pane and the status bar. Then the same window listing the records
// of a condition folder: the tree expanded, the records in the list view and the folder's
// condition drawn in the diagram. Last the summary of the ledger by department, and two halves
// of April summarised side by side and shown as ratios.
#include <algorithm>
#include <filesystem>
#include <functional>
#include <initializer_list>

#include "folders/FlowBox.h"
#include "folders/RuleFolder.h"
#include "folders/RuleFolderTbl.h"
#include "foundation/CapInfo.h"
#include "foundation/StringsList.h"
#include "mainwin/Abount.h"
#include "mainwin/MainForm.h"
#include "platform/SysUtils.h"
#include "store/KvRecord.h"
#include "tools/screenshots/Shots.h"

namespace {

// A table file with its records, and a table folder over it under root. Columns are strings but
// for those named "name:int".
CRuleFolderTbl* AddTable(CTopRuleFolder& root, const std::string& dir, const char* table,
                         std::initializer_list<const char*> columns,
                         std::initializer_list<std::initializer_list<const char*>> records) {
  const AnsiString file = dir + "/" + Utf8ToSjis(table) + ".kvr";
  TStringList names;
  {
    CKvRecord t;
    t.SetFileName(file);
    for (const char* c : columns) {
      const std::string definition = c;
      const size_t colon = definition.find(':');
      names.Add(Utf8ToSjis(definition.substr(0, colon)));
      t.AddColumn(names[names.Count() - 1], colon == std::string::npos ? kvrString : kvrSigned, 40);
    }
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
      AddTable(root, dir, "顧客台帳", {"氏名", "所属", "金額:int", "日付"},
               {{"山田 太郎", "営業部", "12000", "2024/04/01"},
                {"鈴木 花子", "総務部", "8500", "2024/04/02"},
                {"佐藤 一郎", "開発部", "23400", "2024/04/03"},
                {"高橋 美咲", "営業部", "31200", "2024/04/05"},
                {"田中 健", "営業部", "4800", "2024/03/28"},
                {"伊藤 由紀", "営業部", "27650", "2024/04/08"},
                {"渡辺 翔", "開発部", "15000", "2024/04/09"},
                {"中村 さくら", "営業部", "9900", "2024/04/10"},
                {"小林 大輔", "営業部", "21000", "2024/03/15"},
                {"加藤 愛", "総務部", "6300", "2024/04/12"},
                {"吉田 拓也", "営業部", "18400", "2024/04/15"},
                {"山口 彩", "営業部", "7250", "2024/04/16"},
                {"松本 剛", "開発部", "12800", "2024/04/16"},
                {"井上 真理子", "営業部", "25000", "2024/04/18"},
                {"木村 亮", "営業部", "3600", "2024/04/19"},
                {"林 千尋", "総務部", "11100", "2024/04/22"},
                {"清水 誠", "営業部", "14300", "2024/04/23"},
                {"山崎 恵", "営業部", "22750", "2024/04/24"},
                {"森 和也", "営業部", "5400", "2024/04/25"},
                {"池田 陽子", "開発部", "19900", "2024/04/26"},
                {"橋本 悠斗", "営業部", "16000", "2024/04/30"},
                {"山下 理恵", "営業部", "8800", "2024/05/01"},
                {"石川 直樹", "営業部", "29300", "2024/05/02"}});
  // The display format a user gives the ledger: wide enough names and dates, amounts on the right
  // with thousands separators.
  for (int i = 0; i < customers->CapInfoList->Count(); ++i) {
    CCapInfo* column = customers->CapInfoList->GetItem(i);
    const std::string field = SjisToUtf8(GetFieldPart(column->Name));
    column->Width = field == "氏名" ? 120 : field == "日付" ? 100 : 90;
    if (field == "金額") {
      column->Alignment = 2;
      column->Flags |= CI_THOUSANDS;
    }
  }
  // The ledger summarised by department; the ratios of a comparison in percent.
  auto summaryColumn = [&](const char* caption, const char* field, int method) {
    auto* column = new CCapInfo;
    column->Caption = Utf8ToSjis(caption);
    column->Name = SJ("顧客台帳.") + Utf8ToSjis(field);
    column->Shown = true;
    column->GroupKey = method < 0;
    column->Aggregate = std::max(method, 0);
    column->Alignment = method < 0 ? 0 : 2;
    column->Width = method < 0 ? 110 : 100;
    column->Flags |= CI_PERCENT;
    customers->SumCapInfoList->Add(column);
  };
  summaryColumn("所属", "所属", -1);
  summaryColumn("件数", "氏名", 0);
  summaryColumn("金額合計", "金額", 4);
  summaryColumn("金額平均", "金額", 5);
  summaryColumn("最高額", "金額", 2);
  AddCondition(customers, "営業部", "所属 = '営業部'");
  AddCondition(customers, "高額", "金額 >= 20000");
  AddCondition(customers, "営業部の指定客", "所属 = '営業部' AND (日付 >= '2024/04/15' OR 氏名 LIKE '山%')");
  AddCondition(customers, "4月前半", "日付 >= '2024/04/01' AND 日付 < '2024/04/16'");
  AddCondition(customers, "4月後半", "日付 >= '2024/04/16' AND 日付 < '2024/05/01'");
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

namespace {

// The ledger's table folder, or its condition folder of that index (expanding the table folder).
TTreeNode* LedgerNode(TFormMain* main, int condition = -1) {
  TTreeNode* top = main->TreeView1->Items()->GetFirstNode();
  TTreeNode* ledger = top && top->Count() > 0 ? top->Item(0) : nullptr;
  if (!ledger || condition < 0) return ledger;
  ledger->Expand(false);
  return condition < ledger->Count() ? ledger->Item(condition) : nullptr;
}

// A click on the node, Ctrl held or not, as a user selects folders.
void ClickNode(TFormMain* main, TTreeNode* node, TShiftState keys) {
  const TRect r = node->DisplayRect(false);
  const int x = (r.Left + r.Right) / 2, y = (r.Top + r.Bottom) / 2;
  main->TreeView1->PressMouse(mbLeft, keys, x, y);
  main->TreeView1->ReleaseMouse(mbLeft, keys, x, y);
}

}  // namespace

bool ShotMainWindowListing(const std::string& file) {
  // A short folder, so that the folder file's path fits its status panel.
  return ShotStartedWindow(std::filesystem::temp_directory_path() / "cw_work", file, [](TFormMain* main) {
    TTreeNode* chosen = LedgerNode(main, 2);
    if (!chosen) return false;
    main->TreeView1->SetSelected(chosen);
    return main->ListedNode == chosen;
  });
}

bool ShotMainWindowSummary(const std::string& file) {
  return ShotStartedWindow(std::filesystem::temp_directory_path() / "cw_work", file, [](TFormMain* main) {
    TTreeNode* ledger = LedgerNode(main);
    if (!ledger) return false;
    ledger->Expand(false);
    ClickNode(main, ledger, 0);
    main->TabControl1->UserSelect(1);
    return main->ListedNode == ledger && main->SumRows->Count() == 3;
  });
}

bool ShotMainWindowRatio(const std::string& file) {
  return ShotStartedWindow(std::filesystem::temp_directory_path() / "cw_work", file, [](TFormMain* main) {
    TTreeNode* first = LedgerNode(main, 3);
    TTreeNode* second = LedgerNode(main, 4);
    if (!first || !second) return false;
    ClickNode(main, first, 0);
    ClickNode(main, second, ssCtrl);
    main->TabControl1->UserSelect(2);
    return main->Tv1NodeList->Nodes->Count() == 2 && main->SumRows->Count() == 3;
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
