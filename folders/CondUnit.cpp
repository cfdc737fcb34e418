#include "folders/CondUnit.h"

#include "query/CondText.h"

namespace {

const char* const kMethods[] = {
    "で始まる",
    "と等しい",
    "を含む",
    "と等しいか大きい ( >= )",
    "より大きい ( > )",
    "と等しいか小さい ( <= )",
    "より小さい ( < )",
    "で始まらない",
    "と等しくない",
    "含まない",
};

}  // namespace

AnsiString MakeConditionText(const AnsiString& column, int method, const AnsiString& value) {
  if (column.empty() || value.empty()) return AnsiString();
  const AnsiString quoted = EscapeQuotes(value);
  const AnsiString pattern = EscapeQuotes(EscapeLikeText(value));
  switch (method) {
    case 1: return column + " = '" + quoted + "'";
    case 2: return column + " LIKE '%" + pattern + "%'";
    case 3: return column + " >= '" + quoted + "'";
    case 4: return column + " > '" + quoted + "'";
    case 5: return column + " <= '" + quoted + "'";
    case 6: return column + " < '" + quoted + "'";
    case 7: return column + " UNLIKE '" + pattern + "%'";
    case 8: return column + " <> '" + quoted + "'";
    case 9: return column + " UNLIKE '%" + pattern + "%'";
    default: return column + " LIKE '" + pattern + "%'";
  }
}

TCondDlg::TCondDlg(TComponent* owner) : TFlowCondDialog(owner) {
  SetCaption(SJ("検索条件"));
  SetBorderStyle(bsDialog);
  SetPosition(poOwnerFormCenter);
  SetClientWidth(337);
  SetClientHeight(276);

  Label1 = new TLabel(this);
  Label1->SetParent(this);
  Label1->SetCaption(SJ("検索項目"));
  Label1->SetLeft(8);
  Label1->SetTop(15);
  ComboBox1 = new TComboBox(this);
  ComboBox1->SetParent(this);
  ComboBox1->DropDownCount = 16;
  ComboBox1->SetBounds(80, 10, 249, 22);

  Label2 = new TLabel(this);
  Label2->SetParent(this);
  Label2->SetCaption(SJ("比較文字列"));
  Label2->SetLeft(8);
  Label2->SetTop(45);
  Edit2 = new TEdit(this);
  Edit2->SetParent(this);
  Edit2->SetBounds(80, 40, 249, 22);

  RadioGroup2 = new TRadioGroup(this);
  RadioGroup2->SetParent(this);
  RadioGroup2->SetCaption(SJ("比較方法"));
  RadioGroup2->SetBounds(8, 72, 321, 158);
  RadioGroup2->SetColumns(2);
  for (const char* method : kMethods) RadioGroup2->Items()->Add(Utf8ToSjis(method));
  RadioGroup2->SetItemIndex(0);

  OKBtn = new TButton(this);
  OKBtn->SetParent(this);
  OKBtn->SetCaption("OK");
  OKBtn->ModalResult = mrOk;
  OKBtn->Default = true;
  OKBtn->SetBounds(168, 242, 75, 25);
  CancelBtn = new TButton(this);
  CancelBtn->SetParent(this);
  CancelBtn->SetCaption(SJ("キャンセル"));
  CancelBtn->ModalResult = mrCancel;
  CancelBtn->Cancel = true;
  CancelBtn->SetBounds(254, 242, 75, 25);

  OnShow = [this](TObject* s) { FormShow(s); };
}

TCondDlg::~TCondDlg() { Destroying(); }

void TCondDlg::SetConditionText(const AnsiString& text) {
  AnsiString column, value;
  int method = 0;
  SplitCondition(text, column, method, value);
  if (ComboBox1->Items()->Count() == 0) ComboBox1->Items()->Add(column);
  ComboBox1->SetItemIndex(ComboBox1->Items()->IndexOf(column));
  ComboBox1->SetText(column);
  Edit2->SetText(value);
  RadioGroup2->SetItemIndex(method);
}

AnsiString TCondDlg::GetConditionText() {
  return MakeConditionText(ComboBox1->Text(), RadioGroup2->ItemIndex(), Edit2->Text());
}

void TCondDlg::FormShow(TObject*) { Edit2->SetFocus(); }

void TCondDlg::SetFieldList(const TStrings& fields, const AnsiString& field) {
  ComboBox1->Items()->Assign(fields);
  ComboBox1->SetText(field);
}
