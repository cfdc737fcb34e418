#include "query/SumColUnit.h"

namespace {

// SumMethodRg's radio index -> method code.
constexpr int kMethodCodes[] = {0, 4, 5, 3, 1, 2};

template <class T>
T* Make(TComponent* owner, TWinControl* parent, int left, int top, int width, int height) {
  auto* c = new T(owner);
  c->SetParent(parent);
  c->SetBounds(left, top, width, height);
  return c;
}

TLabel* MakeLabel(TComponent* owner, TWinControl* parent, int left, int top, const AnsiString& caption) {
  auto* l = new TLabel(owner);
  l->SetParent(parent);
  l->SetCaption(caption);
  l->SetBounds(left, top, l->Width(), l->Height());
  return l;
}

}  // namespace

int SumMethodCode(int radioIndex) { return radioIndex >= 0 && radioIndex < 6 ? kMethodCodes[radioIndex] : 0; }

int SumMethodRadio(int methodCode) {
  for (int i = 0; i < 6; ++i)
    if (kMethodCodes[i] == methodCode) return i;
  return 0;
}

TSumColDlg::TSumColDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("集計表示 - カラムの追加"));
  SetBorderStyle(bsDialog);
  SetPosition(poOwnerFormCenter);
  Font()->SetName(SJ("ＭＳ Ｐゴシック"));
  Font()->SetPixelSize(12);
  Font()->SetCharset(SHIFTJIS_CHARSET);
  SetBounds(Left(), Top(), 345, 425);

  Label1 = MakeLabel(this, this, 16, 19, SJ("対象項目"));
  DbNameCBox = Make<TComboBox>(this, this, 80, 15, 249, 20);
  DbNameCBox->Style = csDropDownList;
  DbNameCBox->DropDownCount = 16;

  Label2 = MakeLabel(this, this, 16, 51, SJ("見出し名"));
  NameEdit = Make<TEdit>(this, this, 80, 47, 249, 20);

  SumKindRg = Make<TRadioGroup>(this, this, 16, 80, 313, 46);
  SumKindRg->SetCaption(SJ("種類"));
  SumKindRg->SetColumns(2);
  SumKindRg->Items()->Add(SJ("視点"));
  SumKindRg->Items()->Add(SJ("集計"));
  SumKindRg->SetItemIndex(1);

  SumMethodRg = Make<TRadioGroup>(this, this, 16, 134, 313, 46);
  SumMethodRg->SetCaption(SJ("集計方法"));
  SumMethodRg->SetColumns(6);
  for (const char* m : {"件数", "合計", "平均", "範囲", "最小", "最大"}) SumMethodRg->Items()->Add(Utf8ToSjis(m));
  SumMethodRg->SetItemIndex(0);

  OKBtn = Make<TButton>(this, this, 168, 388, 75, 25);
  OKBtn->SetCaption("OK");
  OKBtn->Default = true;
  OKBtn->ModalResult = mrOk;
  CancelBtn = Make<TButton>(this, this, 254, 388, 75, 25);
  CancelBtn->SetCaption(SJ("キャンセル"));
  CancelBtn->Cancel = true;
  CancelBtn->ModalResult = mrCancel;

  AlignRg = Make<TRadioGroup>(this, this, 16, 188, 313, 46);
  AlignRg->SetCaption(SJ("位置揃え"));
  AlignRg->SetColumns(3);
  AlignRg->Items()->Add(SJ("左揃え"));
  AlignRg->Items()->Add(SJ("中央揃え"));
  AlignRg->Items()->Add(SJ("右揃え"));
  AlignRg->SetItemIndex(2);

  GroupBox1 = Make<TGroupBox>(this, this, 16, 242, 313, 126);
  GroupBox1->SetCaption(SJ("複数集計時"));
  RatioCheck = Make<TCheckBox>(this, GroupBox1, 12, 22, 90, 17);
  RatioCheck->SetCaption(SJ("比率表示"));
  PercentCheck = Make<TCheckBox>(this, GroupBox1, 112, 22, 90, 17);
  PercentCheck->SetCaption(SJ("％表示"));
  UpdownCheck = Make<TCheckBox>(this, GroupBox1, 212, 22, 90, 17);
  UpdownCheck->SetCaption(SJ("増減マーク"));
  Label3 = MakeLabel(this, GroupBox1, 12, 58, SJ("増加印"));
  UpEdit = Make<TEdit>(this, GroupBox1, 60, 54, 80, 20);
  UpEdit->SetText(SJ("↑"));
  Label4 = MakeLabel(this, GroupBox1, 164, 58, SJ("減少印"));
  DownEdit = Make<TEdit>(this, GroupBox1, 212, 54, 80, 20);
  DownEdit->SetText(SJ("↓"));
  Label5 = MakeLabel(this, GroupBox1, 12, 94, SJ("比較対象"));
  RatioCombo = Make<TComboBox>(this, GroupBox1, 72, 90, 120, 20);
  RatioCombo->Style = csDropDown;
  RatioCombo->Items()->Add(SJ("直前"));
  RatioCombo->Items()->Add(SJ("先頭"));
  RatioCombo->SetText(SJ("直前"));

  SumKindRg->OnClick = [this](TObject* s) { ChangeItem(s); };
  SumMethodRg->OnClick = [this](TObject* s) { ChangeItem(s); };
  DbNameCBox->OnChange = [this](TObject* s) { ChangeItem(s); };
  OnShow = [this](TObject* s) { FormShow(s); };
}

void TSumColDlg::SetCapInfo(CCapInfoList* sourceColumns, CCapInfo* column) {
  Updating = true;
  DbNameCBox->Items()->Clear();
  for (int i = 0; sourceColumns && i < sourceColumns->Count(); ++i) {
    CCapInfo* s = sourceColumns->GetItem(i);
    if (!s) continue;
    DbNameCBox->Items()->AddObject(s->Name, s);
    if (DbNameCBox->Items()->Count() == 1) DbNameCBox->SetItemIndex(0);
  }
  if (column) {
    DbNameCBox->SetItemIndex(DbNameCBox->Items()->IndexOf(column->Name));
    NameEdit->SetText(column->Caption);
    AlignRg->SetItemIndex(column->Alignment);
    SumKindRg->SetItemIndex(column->GroupKey ? 0 : 1);
    const int method = column->Aggregate < 0 ? column->Aggregate + 10000 : column->Aggregate;
    SumMethodRg->SetItemIndex(SumMethodRadio(method));
    RatioCheck->SetChecked(column->Flags & CI_RATIO);
    PercentCheck->SetChecked(column->Flags & CI_PERCENT);
    UpdownCheck->SetChecked(column->Flags & CI_MARKS);
    UpEdit->SetText(column->IncreaseMark);
    DownEdit->SetText(column->DecreaseMark);
    if (column->CompareBase == "-1" || column->CompareBase.empty()) {
      RatioCombo->SetItemIndex(0);
    } else if (column->CompareBase == "1") {
      RatioCombo->SetItemIndex(1);
    } else {
      RatioCombo->SetItemIndex(-1);
      RatioCombo->SetText(column->CompareBase);
    }
  }
  Updating = false;
}

void TSumColDlg::FormShow(TObject*) {
  SetCaption(EditMode ? SJ("集計表示 - カラムの編集") : SJ("集計表示 - カラムの追加"));
  if (NameEdit->Text().empty()) ChangeItem(this);
  SumMethodRg->SetEnabled(SumKindRg->ItemIndex() == 1);
}

// Proposes a heading for the chosen item, kind and method; it replaces whatever was typed.
void TSumColDlg::ChangeItem(TObject*) {
  if (Updating) return;
  const bool aggregate = SumKindRg->ItemIndex() == 1;
  SumMethodRg->SetEnabled(aggregate);
  AnsiString heading = GetFieldPart(DbNameCBox->Text());
  if (aggregate) {
    const int radio = SumMethodRg->ItemIndex();
    if (radio <= 0) heading = SJ("件数");
    else heading += SJ("の") + SumMethodRg->Items()->Strings(radio);
  }
  NameEdit->SetText(heading);
}

void TSumColDlg::GetCapInfo(CCapInfo* out) {
  const int item = DbNameCBox->ItemIndex();
  if (item >= 0) out->Assign(static_cast<const CCapInfo*>(DbNameCBox->Items()->Objects(item)));
  out->Shown = true;
  out->Name = DbNameCBox->Text();
  out->Caption = NameEdit->Text();
  out->Alignment = AlignRg->ItemIndex() < 0 ? 0 : AlignRg->ItemIndex();
  out->GroupKey = SumKindRg->ItemIndex() == 0;
  out->Aggregate = SumMethodCode(SumMethodRg->ItemIndex());
  if (!out->GroupKey && out->Aggregate == 0) out->Type = 1;
  auto setFlag = [out](unsigned bit, bool on) { out->Flags = on ? (out->Flags | bit) : (out->Flags & ~bit); };
  setFlag(CI_RATIO, RatioCheck->Checked());
  setFlag(CI_PERCENT, PercentCheck->Checked());
  setFlag(CI_MARKS, UpdownCheck->Checked());
  out->IncreaseMark = UpEdit->Text();
  out->DecreaseMark = DownEdit->Text();
  const AnsiString& base = RatioCombo->Text();
  if (base == SJ("直前")) out->CompareBase = "-1";
  else if (base == SJ("先頭")) out->CompareBase = "1";
  else out->CompareBase = base;
}
