// The relation check after a run over orders whose customers are partly missing, and the record
// edit dialog holding the orders it found.
#include <memory>

#include "folders/DbFolder.h"
#include "folders/KensaUnit.h"
#include "foundation/StringsList.h"
#include "platform/SysUtils.h"
#include "tools/screenshots/Shots.h"
#include "tools/screenshots/TableShotTree.h"
#include "views/EditForm.h"

namespace {

// The shots' two tables with customers 1 to 3 and orders of customers 1, 2, 3, 7 and 12.
struct Shop : shots::ShotTree {
  Shop() {
    const char* const people[][3] = {{"1", "山田 太郎", "東京都"}, {"2", "鈴木 花子", "大阪府"}, {"3", "佐藤 一郎", "京都府"}};
    for (const auto& p : people) Insert(customers, "番号,氏名,住所", {p[0], p[1], p[2]});
    const char* const rows[][2] = {{"1", "1200"}, {"7", "350"}, {"2", "980"}, {"7", "4500"},
                                   {"12", "60"},  {"3", "720"}, {"0", "1500"}};
    for (const auto& r : rows) Insert(orders, "顧客番号,金額", {r[0], r[1]});
    node = std::make_unique<CDbFolder>(nullptr);
    node->Folder = orders;
    node->Name = orders->Name;
  }
  void Insert(CRuleFolderTbl* folder, const char* names, std::initializer_list<const char*> values) {
    TStringList texts;
    for (const char* v : values) texts.Add(Utf8ToSjis(v));
    folder->DbHandle->InsertRecord(Utf8ToSjis(names), folder->TableName, texts);
  }
  std::unique_ptr<CDbFolder> node;
};

// The dialog bound to the orders, its relation checked to the end.
bool Checked(Shop& shop, TKensaDlg& dialog) {
  if (shop.dir.empty() || !dialog.SetFolder(shop.node.get())) return false;
  dialog.Show();
  dialog.StartBtnClick(nullptr);
  for (int i = 0; i < 10000 && dialog.Running(); ++i) {
    Application->ProcessMessages();
    Sleep(1);
  }
  return !dialog.Running() && dialog.Rows()->Count() > 0;
}

}  // namespace

bool ShotKensaDlg(const std::string& file) {
  Shop shop;
  TKensaDlg dialog(Application);
  return Checked(shop, dialog) && SaveFormPicture(&dialog, file);
}

bool ShotKensaEdit(const std::string& file) {
  Shop shop;
  TKensaDlg dialog(Application);
  if (!Checked(shop, dialog)) return false;
  TEditDlg* const saved = EditDlg;
  EditDlg = new TEditDlg(Application);
  EditDlg->SetBounds(60, 60, 420, 200);
  dialog.FillSheet();
  EditDlg->SetCaption(SJ("データの編集"));
  const bool shot = SaveFormPicture(EditDlg, file);
  delete EditDlg;
  EditDlg = saved;
  return shot;
}
