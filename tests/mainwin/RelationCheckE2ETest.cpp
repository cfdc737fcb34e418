// The relation check as a user reaches it: the orders table listed, its popup menu's "関連付け検査"
// chosen, the check run, the order whose customer does not exist corrected in the record edit
// dialog, and the orders listed again with the correction.
#include "folders/KensaUnit.h"
#include "tests/mainwin/MainWindowTestSupport.h"
#include "views/EditForm.h"

namespace {

// 顧客 (name, unit) and 注文 (item, who), who referring to 顧客.name; the paper was ordered by
// 鈴木, who is no customer.
class ShopFolder : public FolderTree {
 public:
  ShopFolder() {
    AddTable(SJ("顧客"), {"name", "unit"});
    AddTable(SJ("注文"), {"item", "who"}, {"who", SJ("顧客.name").c_str()});
    Insert(SJ("顧客"), {{"name", SJ("山田")}, {"unit", SJ("営業")}});
    Insert(SJ("顧客"), {{"name", SJ("佐藤")}, {"unit", SJ("総務")}});
    Insert(SJ("注文"), {{"item", SJ("ペン")}, {"who", SJ("山田")}});
    Insert(SJ("注文"), {{"item", SJ("紙")}, {"who", SJ("鈴木")}});
    Insert(SJ("注文"), {{"item", SJ("糊")}, {"who", SJ("佐藤")}});
    root.WritePath = dir.File("work.fld");
    EXPECT_TRUE(root.SaveFolderFile());
  }
  std::string Base() const { return dir.File("work"); }
};

// The listed rows' values of one column ("table.column").
std::vector<std::string> ListedColumn(const AnsiString& name) {
  std::vector<std::string> out;
  CCapInfoList* columns = FormMain->ListRows->ColumnList;
  const int k = columns ? columns->IndexOfName(name) : -1;
  for (int r = 0; k >= 0 && r < FormMain->ListRows->Count(); ++r)
    out.push_back(SjisToUtf8(FormMain->ListRows->Row(r)->Strings(k)));
  return out;
}

}  // namespace

TEST_F(MainWindowTest, RelationCheckFromTheTreeCorrectsTheRecordsFound) {
  ShopFolder work;
  StartedProgram program({work.Base()});
  TTreeNode* orders = TopLevelNode(SJ("注文"));
  ASSERT_EQ(ListAllRecords(orders), 3);
  EXPECT_EQ(ListedColumn(SJ("注文.who")), (std::vector<std::string>{"山田", "鈴木", "佐藤"}));

  int checks = 0, edits = 0;
  ModalHandlerScope user([&](TForm* form) {
    if (LetListingFinish(form) || CloseAboutBox(form)) return;
    if (auto* d = dynamic_cast<TKensaDlg*>(form)) {
      ++checks;
      EXPECT_EQ(SjisToUtf8(d->StringGrid1->Cells(0, 1)), "who");
      PressButton(d, SJ("開始"));
      ASSERT_TRUE(PumpUntil([d] { return !d->Running(); }, 30000));
      EXPECT_EQ(d->Edit1->Text() + "/" + d->Edit2->Text(), "3/1");
      PressButton(d, SJ("編集"));
      EXPECT_EQ(d->GetEditCount(), 1);
      PressButton(d, SJ("閉じる"));
    } else if (form == EditDlg) {
      ++edits;
      TKelmGrid* sheet = EditDlg->Sheet;
      ASSERT_EQ(sheet->RowCount(), 2);
      EXPECT_EQ(SjisToUtf8(sheet->Cells(1, 1)), "鈴木");
      sheet->SetCells(1, 1, SJ("佐藤"));
      PressButton(form, "OK");
    } else {
      ADD_FAILURE() << "unexpected dialog \"" << Show(form->Caption()) << "\"";
      form->SetModalResult(mrCancel);
    }
  });
  RightClick(orders);
  ASSERT_TRUE(FormMain->FolRelKensa->Enabled());
  ASSERT_TRUE(ClickTreePopupItem(SJ("関連付け検査")));
  EXPECT_EQ(checks, 1);
  EXPECT_EQ(edits, 1);
  // The change is listed at once.
  EXPECT_EQ(FormMain->ListedNode, TopLevelNode(SJ("注文")));
  EXPECT_EQ(ListedColumn(SJ("注文.who")), (std::vector<std::string>{"山田", "佐藤", "佐藤"}));
}
