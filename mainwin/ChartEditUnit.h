// The chart settings dialog "グラフの設定": the finer looks of a chart (bar shape, shadow and
// margins, line width, the label axis, data labels, legend, titles). Its controls act on the chart
// at once; ApplyToChart puts the same choices on a chart built afresh. One dialog serves the main
// window for its whole life (ChartEditDlg, made on first use, owned by the window).
#pragma once

#include "platform/Chart.h"
#include "platform/ComCtrls.h"
#include "platform/Forms.h"
#include "platform/Memo.h"
#include "platform/StdCtrls.h"
#include "platform/UpDown.h"

class TChartEditDlg : public TForm {
 public:
  explicit TChartEditDlg(TComponent* owner);
  ~TChartEditDlg() override;

  // The chart the controls act on (not owned); null until first read.
  TChart* Chart = nullptr;
  // Remembers the chart and sets the controls from it, changing nothing on it.
  void ReadFromChart(TChart* chart);
  // Every control but the title page's, applied to chart.
  void ApplyToChart(TChart* chart);

  TPageControl* PageControl1;
  TTabSheet *TabSheet1, *TabSheet2, *TabSheet3, *TabSheet4, *TabSheet5, *TabSheet6;
  TRadioGroup* RadioGroup2;  // "棒の種類"
  TCheckBox* CheckBox2;      // "影を付ける"
  TCheckBox* CheckBox3;      // "余白をあける"
  TLabel* Label5;
  TEdit* Edit5;
  TUpDown* UpDown4;          // line width
  TCheckBox* CheckBox1;      // "視点項目の内容を表示する"
  TLabel* Label1;
  TEdit* Edit1;
  TUpDown* UpDown1;          // label angle
  TRadioGroup* RadioGroup3;  // "内容"
  TLabel* Label2;
  TEdit* Edit2;
  TUpDown* UpDown2;          // arrow length
  TCheckBox* CheckBox4;      // "表示する"
  TCheckBox* CheckBox5;      // "複数集計時に表示する"
  TRadioGroup* RadioGroup4;  // "位置"
  TLabel* Label3;
  TEdit* Edit3;
  TUpDown* UpDown3;          // legend colour width
  TLabel* Label4;
  TMemo* Memo1;              // title lines
  TLabel* Label6;
  TEdit* Edit4;              // left axis title
  TButton* Button1;          // "適用"
  TButton* CloseBtn;         // "閉じる"

  // Shared handlers: each acts for the control that sends it.
  void CheckBox1Click(TObject* sender);
  void UpDown1Click(TObject* sender, TUDBtnType button);
  void RadioGroup2Click(TObject* sender);
  void Button1Click(TObject* sender);

 private:
  bool reading_ = false;
};

extern TChartEditDlg* ChartEditDlg;

// The dialog's choices and the chart's settings, by choice index.
TBarStyle BarStyleOfChoice(int choice);
int ChoiceOfBarStyle(TBarStyle style);
TSeriesMarksStyle MarksStyleOfChoice(int choice);
int ChoiceOfMarksStyle(TSeriesMarksStyle style);
