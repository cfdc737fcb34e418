#include "query/SumColUnit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "query/SummaryMod.h"
#include "tests/support/TestSupport.h"

namespace {

std::string U(const AnsiString& s) { return SjisToUtf8(s); }

std::vector<std::string> Items(TStrings* list) {
  std::vector<std::string> out;
  for (int i = 0; i < list->Count(); ++i) out.push_back(U((*list)[i]));
  return out;
}

// A summary over records of the columns t.金額 (real) and t.店 (text), with columns 店 (key) and
// one aggregate.
struct Shop {
  Shop() {
    auto* amount = new CCapInfo;
    amount->Name = Utf8ToSjis("t.金額");
    amount->Type = 2;
    amount->NumberFormat = "0.00";
    amount->Width = 100;
    source.Add(amount);
    auto* shop = new CCapInfo;
    shop->Name = Utf8ToSjis("t.店");
    source.Add(shop);

    auto* key = new CCapInfo;
    key->Caption = Utf8ToSjis("店");
    key->Name = Utf8ToSjis("t.店");
    key->GroupKey = true;
    columns.Add(key);
    auto* sales = new CCapInfo;
    sales->Caption = Utf8ToSjis("売上");
    sales->Name = Utf8ToSjis("t.金額");
    sales->Aggregate = 4;
    sales->Alignment = 2;
    sales->Width = 77;
    sales->Flags = CI_RATIO | CI_MARKS;
    sales->CompareBase = "1";
    sales->IncreaseMark = Utf8ToSjis("＋");
    sales->DecreaseMark = Utf8ToSjis("－");
    columns.Add(sales);
    sum.SetSummaryColumns(&rows, &columns, &source);
  }
  CCapInfoList source, columns;
  CStringsList rows;
  CSummaryMod sum;
};

TSumColDlg* AsDialog(TForm* f) {
  auto* d = dynamic_cast<TSumColDlg*>(f);
  EXPECT_NE(d, nullptr);
  return d;
}

}  // namespace

TEST(SumColDlg, EditFillsEveryControlAndOkWritesTheDialogBack) {
  Shop s;
  bool seen = false;
  ModalHandlerScope scope([&](TForm* f) {
    TSumColDlg* d = AsDialog(f);
    if (!d) return;
    seen = true;
    EXPECT_EQ(U(d->Caption()), "集計表示 - カラムの編集");
    EXPECT_EQ(Items(d->DbNameCBox->Items()), (std::vector<std::string>{"t.金額", "t.店"}));
    EXPECT_EQ(d->DbNameCBox->Items()->Objects(1), s.source.GetItem(1));
    EXPECT_EQ(d->DbNameCBox->ItemIndex(), 0);
    EXPECT_EQ(U(d->NameEdit->Text()), "売上");
    EXPECT_EQ(d->AlignRg->ItemIndex(), 2);
    EXPECT_EQ(d->SumKindRg->ItemIndex(), 1);
    EXPECT_EQ(Items(d->SumMethodRg->Items()), (std::vector<std::string>{"件数", "合計", "平均", "範囲", "最小", "最大"}));
    EXPECT_EQ(d->SumMethodRg->Columns(), 6);
    EXPECT_EQ(d->SumMethodRg->ItemIndex(), 1);
    EXPECT_TRUE(d->SumMethodRg->Enabled());
    EXPECT_TRUE(d->RatioCheck->Checked());
    EXPECT_FALSE(d->PercentCheck->Checked());
    EXPECT_TRUE(d->UpdownCheck->Checked());
    EXPECT_EQ(U(d->UpEdit->Text()), "＋");
    EXPECT_EQ(U(d->DownEdit->Text()), "－");
    EXPECT_EQ(U(d->RatioCombo->Text()), "先頭");

    d->SumMethodRg->SetItemIndex(2);  // a change of method proposes a heading
    EXPECT_EQ(U(d->NameEdit->Text()), "金額の平均");
    d->NameEdit->SetText(Utf8ToSjis("平均売上"));
    d->AlignRg->SetItemIndex(1);
    d->PercentCheck->SetChecked(true);
    d->RatioCombo->SetText("+1");
    PressButton(f, "OK");
  });
  ASSERT_TRUE(s.sum.EditColumn(1));
  ASSERT_TRUE(seen);
  const CCapInfo* c = s.sum.GetColumns()->GetItem(1);
  EXPECT_EQ(U(c->Name), "t.金額");
  EXPECT_EQ(U(c->Caption), "平均売上");
  EXPECT_EQ(c->Aggregate, 5);
  EXPECT_EQ(c->Alignment, 1);
  EXPECT_EQ(c->Flags & (CI_RATIO | CI_PERCENT | CI_MARKS), CI_RATIO | CI_PERCENT | CI_MARKS);
  EXPECT_EQ(c->CompareBase, "+1");
  EXPECT_EQ(U(c->IncreaseMark), "＋");
  EXPECT_EQ(c->Width, 77);            // the edited column's width stays
  EXPECT_EQ(c->NumberFormat, "0.00");  // the rest comes from the chosen item
  EXPECT_EQ(c->Type, 2);
  EXPECT_TRUE(c->Shown);
  EXPECT_FALSE(c->GroupKey);
}

TEST(SumColDlg, AddProposesHeadingsCancelKeepsTheColumnsAndAKeyKeepsTheMethodChoice) {
  Shop s;
  ModalHandlerScope cancel([&](TForm* f) {
    TSumColDlg* d = AsDialog(f);
    if (!d) return;
    EXPECT_EQ(U(d->Caption()), "集計表示 - カラムの追加");
    EXPECT_EQ(U(d->NameEdit->Text()), "件数");
    d->SumMethodRg->SetItemIndex(4);
    EXPECT_EQ(U(d->NameEdit->Text()), "金額の最小");
    d->SumKindRg->SetItemIndex(0);
    EXPECT_EQ(U(d->NameEdit->Text()), "金額");
    EXPECT_FALSE(d->SumMethodRg->Enabled());
    PressButton(f, Utf8ToSjis("キャンセル"));
  });
  EXPECT_FALSE(s.sum.InsertColumn(1));
  EXPECT_EQ(s.sum.GetColumns()->Count(), 2);

  ModalHandlerScope add([&](TForm* f) {
    TSumColDlg* d = AsDialog(f);
    if (!d) return;
    d->SumMethodRg->SetItemIndex(5);
    d->DbNameCBox->UserSelect(1);
    EXPECT_EQ(U(d->NameEdit->Text()), "店の最大");
    d->SumKindRg->SetItemIndex(0);
    PressButton(f, "OK");
  });
  ASSERT_TRUE(s.sum.InsertColumn(1));
  ASSERT_EQ(s.sum.GetColumns()->Count(), 3);
  const CCapInfo* c = s.sum.GetColumns()->GetItem(1);
  EXPECT_EQ(U(c->Name), "t.店");
  EXPECT_EQ(U(c->Caption), "店");
  EXPECT_TRUE(c->GroupKey);
  EXPECT_EQ(c->Aggregate, 2);
  EXPECT_EQ(c->CompareBase, "-1");
}

TEST(SumColDlg, WithoutSourceColumnsOrWithAVanishedItem) {
  TSumColDlg d(nullptr);
  d.SetCapInfo(nullptr, nullptr);
  EXPECT_EQ(d.DbNameCBox->Items()->Count(), 0);
  CCapInfo made;
  d.GetCapInfo(&made);
  EXPECT_EQ(made.Name, "");
  EXPECT_EQ(made.Width, 64);
  EXPECT_EQ(made.Type, 1);
  EXPECT_EQ(made.Aggregate, 0);
  EXPECT_EQ(U(made.IncreaseMark), "↑");
  EXPECT_EQ(U(made.DecreaseMark), "↓");
  EXPECT_EQ(made.CompareBase, "-1");

  Shop s;
  CCapInfo* gone = s.sum.GetColumns()->GetItem(1);
  gone->Name = "t.gone";
  gone->NumberFormat = "0.0";
  gone->CompareBase = "2";
  ModalHandlerScope scope([&](TForm* f) {
    TSumColDlg* dlg = AsDialog(f);
    if (!dlg) return;
    EXPECT_EQ(dlg->DbNameCBox->ItemIndex(), -1);
    EXPECT_EQ(dlg->DbNameCBox->Text(), "");
    EXPECT_EQ(dlg->RatioCombo->Text(), "2");
    PressButton(f, "OK");
  });
  ASSERT_TRUE(s.sum.EditColumn(1));
  const CCapInfo* c = s.sum.GetColumns()->GetItem(1);
  EXPECT_EQ(c->Name, "");
  EXPECT_EQ(c->NumberFormat, "");
  EXPECT_EQ(c->Width, 77);
  EXPECT_EQ(c->CompareBase, "2");
  EXPECT_EQ(U(c->Caption), "売上");
}
