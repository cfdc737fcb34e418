#include "mainwin/ChartEditUnit.h"

#include <initializer_list>

TChartEditDlg* ChartEditDlg = nullptr;

namespace {

constexpr TBarStyle kBarStyles[] = {bsRectangle, bsArrow, bsCilinder, bsPyramid, bsInvPyramid, bsEllipse, bsRectGradient};
constexpr TSeriesMarksStyle kMarksStyles[] = {smsLabel,        smsValue,        smsPercent,          smsLabelValue,
                                              smsLabelPercent, smsPercentTotal, smsLabelPercentTotal};
constexpr TLegendAlignment kLegendPlaces[] = {laLeft, laTop, laRight, laBottom};

template <class T>
T* Put(TComponent* owner, TWinControl* parent, int left, int top, int width, int height) {
  auto* c = new T(owner);
  c->SetParent(parent);
  c->SetBounds(left, top, width, height);
  return c;
}

TLabel* PutLabel(TComponent* owner, TWinControl* parent, const char* caption, int left, int top) {
  auto* label = new TLabel(owner);
  label->SetParent(parent);
  label->SetCaption(Utf8ToSjis(caption));
  label->SetLeft(left);
  label->SetTop(top);
  return label;
}

TCheckBox* PutCheckBox(TComponent* owner, TWinControl* parent, const char* caption, int left, int top, int width) {
  auto* box = Put<TCheckBox>(owner, parent, left, top, width, 20);
  box->SetCaption(Utf8ToSjis(caption));
  return box;
}

TRadioGroup* PutRadioGroup(TComponent* owner, TWinControl* parent, const char* caption,
                           std::initializer_list<const char*> items, int columns, const TRect& r) {
  auto* group = Put<TRadioGroup>(owner, parent, r.Left, r.Top, r.Width(), r.Height());
  group->SetCaption(Utf8ToSjis(caption));
  group->SetColumns(columns);
  for (const char* item : items) group->Items()->Add(Utf8ToSjis(item));
  group->SetItemIndex(0);
  return group;
}

// A number box: the edit and its up-down at its right.
TUpDown* PutNumber(TComponent* owner, TWinControl* parent, TEdit*& edit, int left, int top, int min, int max,
                   int position) {
  edit = Put<TEdit>(owner, parent, left, top, 48, 22);
  auto* upDown = Put<TUpDown>(owner, parent, left + 48, top, 17, 22);
  upDown->SetMin(min);
  upDown->SetMax(max);
  upDown->SetAssociate(edit);
  upDown->SetPosition(position);
  return upDown;
}

TTabSheet* PutPage(TComponent* owner, TPageControl* pages, const char* caption) {
  auto* sheet = new TTabSheet(owner);
  sheet->SetPageControl(pages);
  sheet->SetCaption(Utf8ToSjis(caption));
  return sheet;
}

}  // namespace

TBarStyle BarStyleOfChoice(int choice) { return choice >= 0 && choice < 7 ? kBarStyles[choice] : bsRectangle; }

int ChoiceOfBarStyle(TBarStyle style) {
  for (int i = 0; i < 7; ++i)
    if (kBarStyles[i] == style) return i;
  return -1;
}

TSeriesMarksStyle MarksStyleOfChoice(int choice) { return choice >= 0 && choice < 7 ? kMarksStyles[choice] : smsLabel; }

int ChoiceOfMarksStyle(TSeriesMarksStyle style) {
  for (int i = 0; i < 7; ++i)
    if (kMarksStyles[i] == style) return i;
  return -1;
}

TChartEditDlg::TChartEditDlg(TComponent* owner) : TForm(owner) {
  SetCaption(SJ("グラフの設定"));
  SetBorderStyle(bsDialog);
  SetPosition(poOwnerFormCenter);
  SetClientWidth(440);
  SetClientHeight(360);

  PageControl1 = Put<TPageControl>(this, this, 8, 8, 424, 312);
  TabSheet1 = PutPage(this, PageControl1, "棒グラフ");
  TabSheet2 = PutPage(this, PageControl1, "線幅");
  TabSheet3 = PutPage(this, PageControl1, "横軸");
  TabSheet4 = PutPage(this, PageControl1, "データラベル");
  TabSheet5 = PutPage(this, PageControl1, "凡例");
  TabSheet6 = PutPage(this, PageControl1, "タイトル");
  const int pw = PageControl1->ClientWidth();

  RadioGroup2 = PutRadioGroup(this, TabSheet1, "棒の種類",
                              {"四角形", "矢印", "円筒", "四角錘", "逆四角錘", "楕円", "グラデーション"}, 2,
                              Rect(8, 8, pw - 8, 120));
  CheckBox2 = PutCheckBox(this, TabSheet1, "影を付ける", 16, 132, 200);
  CheckBox3 = PutCheckBox(this, TabSheet1, "余白をあける", 16, 158, 200);

  Label5 = PutLabel(this, TabSheet2, "折れ線グラフの線幅", 16, 16);
  UpDown4 = PutNumber(this, TabSheet2, Edit5, 150, 12, 0, 20, 0);

  CheckBox1 = PutCheckBox(this, TabSheet3, "視点項目の内容を表示する", 16, 12, 260);
  Label1 = PutLabel(this, TabSheet3, "文字の回転角度", 16, 48);
  UpDown1 = PutNumber(this, TabSheet3, Edit1, 150, 44, 0, 360, 0);
  UpDown1->Increment = 90;

  RadioGroup3 = PutRadioGroup(this, TabSheet4, "内容",
                              {"視点項目の内容", "集計値", "比率", "視点項目の内容と集計値", "視点項目の内容と比率",
                               "合計値と比率", "視点項目の内容と合計値と比率"},
                              1, Rect(8, 8, pw - 8, 200));
  Label2 = PutLabel(this, TabSheet4, "引出線の長さ", 16, 216);
  UpDown2 = PutNumber(this, TabSheet4, Edit2, 150, 212, 0, 200, 10);
  CheckBox4 = PutCheckBox(this, TabSheet4, "表示する", 16, 244, 200);

  CheckBox5 = PutCheckBox(this, TabSheet5, "複数集計時に表示する", 16, 12, 260);
  CheckBox5->SetChecked(true);
  RadioGroup4 = PutRadioGroup(this, TabSheet5, "位置", {"左", "上", "右", "下"}, 4, Rect(8, 40, pw - 8, 92));
  Label3 = PutLabel(this, TabSheet5, "色の幅", 16, 108);
  UpDown3 = PutNumber(this, TabSheet5, Edit3, 150, 104, 1, 200, 12);

  Label4 = PutLabel(this, TabSheet6, "タイトル", 8, 8);
  Memo1 = Put<TMemo>(this, TabSheet6, 8, 26, pw - 16, 90);
  Label6 = PutLabel(this, TabSheet6, "Y軸見出し", 8, 128);
  Edit4 = Put<TEdit>(this, TabSheet6, 8, 146, pw - 16, 22);
  Button1 = Put<TButton>(this, TabSheet6, pw - 83, 180, 75, 25);
  Button1->SetCaption(SJ("適用"));

  CloseBtn = Put<TButton>(this, this, 357, 328, 75, 25);
  CloseBtn->SetCaption(SJ("閉じる"));
  CloseBtn->ModalResult = mrOk;
  CloseBtn->Default = true;
  PageControl1->SetActivePageIndex(0);

  for (TCheckBox* box : {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5})
    box->OnClick = [this](TObject* s) { CheckBox1Click(s); };
  for (TUpDown* upDown : {UpDown1, UpDown2, UpDown3, UpDown4}) {
    upDown->OnButtonClick = [this](TObject* s, TUDBtnType b) { UpDown1Click(s, b); };
    // A number typed into the edit counts as soon as it is a valid position.
    upDown->Associate()->OnChange = [this, upDown](TObject*) { UpDown1Click(upDown, btNext); };
  }
  for (TRadioGroup* group : {RadioGroup2, RadioGroup3, RadioGroup4})
    group->OnClick = [this](TObject* s) { RadioGroup2Click(s); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
}

TChartEditDlg::~TChartEditDlg() {
  if (ChartEditDlg == this) ChartEditDlg = nullptr;
}

void TChartEditDlg::ReadFromChart(TChart* chart) {
  Chart = chart;
  if (!chart) return;
  reading_ = true;
  CheckBox1->SetChecked(chart->BottomAxis()->Visible());
  UpDown1->SetPosition(chart->BottomAxis()->LabelsAngle());
  TBarSeries* bar = nullptr;
  TLineSeries* line = nullptr;
  for (int i = 0; i < chart->SeriesCount(); ++i) {
    if (!bar) bar = dynamic_cast<TBarSeries*>(chart->Series(i));
    if (!line) line = dynamic_cast<TLineSeries*>(chart->Series(i));
  }
  if (bar) {
    CheckBox2->SetChecked(bar->Dark3D());
    CheckBox3->SetChecked(bar->SideMargins());
    if (bar->BarStyle() != bsRectGradient) RadioGroup2->SetItemIndex(ChoiceOfBarStyle(bar->BarStyle()));
  }
  if (chart->SeriesCount() > 0) {
    TSeriesMarks* marks = chart->Series(0)->Marks();
    CheckBox4->SetChecked(marks->Visible());
    UpDown2->SetPosition(marks->ArrowLength());
    const int choice = ChoiceOfMarksStyle(marks->Style());
    if (choice >= 0) RadioGroup3->SetItemIndex(choice);
  }
  for (int i = 0; i < 4; ++i)
    if (kLegendPlaces[i] == chart->Legend()->Alignment()) RadioGroup4->SetItemIndex(i);
  if (chart->SeriesCount() > 1) CheckBox5->SetChecked(chart->Legend()->Visible());
  Memo1->Lines()->Assign(*chart->Title());
  Edit4->SetText(chart->LeftAxis()->Title());
  UpDown3->SetPosition(chart->Legend()->ColorWidth());
  if (line) UpDown4->SetPosition(line->LinePenWidth());
  reading_ = false;
}

void TChartEditDlg::ApplyToChart(TChart* chart) {
  TChart* saved = Chart;
  Chart = chart;
  for (TCheckBox* box : {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5}) CheckBox1Click(box);
  for (TUpDown* upDown : {UpDown1, UpDown2, UpDown3, UpDown4}) UpDown1Click(upDown, btNext);
  for (TRadioGroup* group : {RadioGroup2, RadioGroup3, RadioGroup4}) RadioGroup2Click(group);
  Chart = saved;
}

void TChartEditDlg::CheckBox1Click(TObject* sender) {
  if (!Chart || reading_) return;
  if (sender == CheckBox1) {
    Chart->BottomAxis()->SetVisible(CheckBox1->Checked());
  } else if (sender == CheckBox2 || sender == CheckBox3) {
    for (int i = 0; i < Chart->SeriesCount(); ++i) {
      auto* bar = dynamic_cast<TBarSeries*>(Chart->Series(i));
      if (!bar) continue;
      if (sender == CheckBox2)
        bar->SetDark3D(CheckBox2->Checked());
      else
        bar->SetSideMargins(CheckBox3->Checked());
    }
  } else if (sender == CheckBox4) {
    if (Chart->SeriesCount() > 0) Chart->Series(0)->Marks()->SetVisible(CheckBox4->Checked());
  } else if (sender == CheckBox5) {
    if (Chart->SeriesCount() > 1) Chart->Legend()->SetVisible(CheckBox5->Checked());
  }
}

void TChartEditDlg::UpDown1Click(TObject* sender, TUDBtnType) {
  if (!Chart || reading_) return;
  if (sender == UpDown1) {
    Chart->BottomAxis()->SetLabelsAngle(UpDown1->Position());
  } else if (sender == UpDown2) {
    for (int i = 0; i < Chart->SeriesCount(); ++i) Chart->Series(i)->Marks()->SetArrowLength(UpDown2->Position());
  } else if (sender == UpDown3) {
    Chart->Legend()->SetColorWidth(UpDown3->Position());
  } else if (sender == UpDown4) {
    for (int i = 0; i < Chart->SeriesCount(); ++i)
      if (auto* line = dynamic_cast<TLineSeries*>(Chart->Series(i))) line->SetLinePenWidth(UpDown4->Position());
  }
}

void TChartEditDlg::RadioGroup2Click(TObject* sender) {
  if (!Chart || reading_) return;
  if (sender == RadioGroup2) {
    if (RadioGroup2->ItemIndex() < 0) return;
    const TBarStyle style = BarStyleOfChoice(RadioGroup2->ItemIndex());
    for (int i = 0; i < Chart->SeriesCount(); ++i)
      if (auto* bar = dynamic_cast<TBarSeries*>(Chart->Series(i))) bar->SetBarStyle(style);
    Chart->SetOrthogonal(style == bsRectGradient);
  } else if (sender == RadioGroup3) {
    if (RadioGroup3->ItemIndex() < 0) return;
    for (int i = 0; i < Chart->SeriesCount(); ++i)
      Chart->Series(i)->Marks()->SetStyle(MarksStyleOfChoice(RadioGroup3->ItemIndex()));
  } else if (sender == RadioGroup4) {
    const int i = RadioGroup4->ItemIndex();
    if (i >= 0 && i < 4) Chart->Legend()->SetAlignment(kLegendPlaces[i]);
  }
}

void TChartEditDlg::Button1Click(TObject*) {
  if (!Chart) return;
  Chart->Title()->Assign(*Memo1->Lines());
  Chart->LeftAxis()->SetTitle(Edit4->Text());
}
