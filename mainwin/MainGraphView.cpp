// The graph view: the chart built from the summary, its control panel, the chart settings dialog
// and the chart's image files.
#include <algorithm>
#include <climits>

#include "foundation/CvMessageUnit.h"
#include "foundation/LogForm.h"
#include "mainwin/ChartEditUnit.h"
#include "mainwin/MainForm.h"
#include "platform/SysUtils.h"
#include "query/SummaryMod.h"

namespace {

// Series colours, blue-green-red.
constexpr TColor kSeriesColors[32] = {
    0x8080FF, 0x80FFFF, 0x80FF80, 0xFFFF80, 0xC080FF, 0x80FF00, 0xFF8000, 0xFF80FF, 0x404080, 0x4080FF, 0x00FF00,
    0x808000, 0x804000, 0xFF8080, 0x400080, 0x8000FF, 0x0000FF, 0x00FFFF, 0x00FF80, 0x40FF00, 0xFFFF00, 0xC08000,
    0xC08080, 0xFF00FF, 0x000080, 0x0080FF, 0x008000, 0x408000, 0xFF0000, 0xA00000, 0x800080, 0xFF0080};

constexpr int kBarKind = 0, kHorizBarKind = 1, kLineKind = 2, kPieKind = 3, kAreaKind = 4;

bool IsBarSeries(const TChartSeries* s) { return s && dynamic_cast<const TBarSeries*>(s); }
bool IsPieSeries(const TChartSeries* s) { return s && s->SeriesKind() == TChartSeries::skPie; }

// The file name's extension with its dot, or empty.
AnsiString ExtensionOf(const AnsiString& path) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot == AnsiString::npos || (slash != AnsiString::npos && dot < slash)) return AnsiString();
  return path.substr(dot);
}

}  // namespace

TColor TFormMain::SeriesColor(int index) { return kSeriesColors[((index % 32) + 32) % 32]; }

TChartSeries* TFormMain::MakeSeries(int kind) {
  TChartSeries* series;
  switch (kind) {
    case kHorizBarKind: series = new THorizBarSeries(this); break;
    case kLineKind: series = new TLineSeries(this); break;
    case kPieKind: series = new TPieSeries(this); break;
    case kAreaKind: series = new TAreaSeries(this); break;
    default: series = new TBarSeries(this); break;
  }
  TSeriesMarks* marks = series->Marks();
  marks->SetVisible(false);
  marks->Font()->Assign(*Font());
  marks->SetArrowVisible(true);
  marks->SetArrowLength(10);
  if (auto* bar = dynamic_cast<TBarSeries*>(series)) bar->SetMultiBar(mbNone);
  if (auto* pie = dynamic_cast<TPieSeries*>(series)) {
    pie->SetColorEachPoint(true);
    pie->SetRotationAngle(90);
  }
  return series;
}

void TFormMain::ClearChart() {
  while (Chart2->SeriesCount() > 0) delete Chart2->Series(Chart2->SeriesCount() - 1);
}

void TFormMain::ShowGraphView() {
  TStringList keys, values;
  ViewBox->Items()->Clear();
  if (Summary->GetKeyHeadings(&keys)) ViewBox->Items()->Assign(keys);
  ViewBox->SetItemIndex(ViewBox->Items()->Count() > 0 ? 0 : -1);
  SumBox->Items()->Clear();
  if (Summary->GetValueHeadings(0, &values)) SumBox->Items()->Assign(values);
  SumBox->SetItemIndex(SumBox->Items()->Count() > 0 ? 0 : -1);
  BuildChart();
}

void TFormMain::BuildChart() {
  Summary->SelectSeries(ViewBox->ItemIndex(), SumBox->ItemIndex());
  ClearChart();
  int kind = KindBox->ItemIndex();
  Chart2->Title()->Clear();
  Chart2->Title()->Add(Summary->GetKeyHeading());
  Chart2->Foot()->Clear();
  TStringList labels, names;
  Summary->GetChartLabels(&labels);
  Summary->GetChartSeries(&names);
  const long long points = static_cast<long long>(labels.Count()) * names.Count();
  if (points > MaxPoint) {
    CvMessageBox(Format(SJ("データ数(%d)が制限数(%d)より大きいので、表示できません。").c_str(),
                        static_cast<int>(std::min<long long>(points, INT_MAX)), MaxPoint),
                 SJ("棒グラフ表示"), 0, this);
    return;
  }
  if ((kind == kLineKind || kind == kAreaKind) && points == 1) {
    CvMessageBox(SJ("データが１つなので、棒グラフで表示します。"), SJ("棒グラフ表示"), 0, this);
    kind = kBarKind;
  }
  const AnsiString valueHeading = Summary->GetValueHeading();
  if (kind == kHorizBarKind) {
    Chart2->LeftAxis()->SetTitle("");
    Chart2->BottomAxis()->SetTitle(valueHeading);
    Chart2->LeftAxis()->SetLabelStyle(talText);
    Chart2->BottomAxis()->SetLabelStyle(talValue);
  } else {
    Chart2->LeftAxis()->SetTitle(valueHeading);
    Chart2->BottomAxis()->SetTitle("");
    Chart2->LeftAxis()->SetLabelStyle(talValue);
    Chart2->BottomAxis()->SetLabelStyle(talText);
  }
  // The shorter list gives the series, the longer the points of each.
  const bool seriesPerLabel = labels.Count() < names.Count();
  TStrings& seriesTitles = seriesPerLabel ? static_cast<TStrings&>(labels) : names;
  TStrings& pointLabels = seriesPerLabel ? static_cast<TStrings&>(names) : labels;
  Chart2->Legend()->SetVisible(seriesTitles.Count() > 1);
  Chart2->Legend()->SetColorWidth(12);
  for (int i = 0; i < seriesTitles.Count(); ++i) {
    TChartSeries* series = MakeSeries(kind);
    series->SetTitle(seriesTitles[i]);
    series->SetSeriesColor(SeriesColor(i));
    Chart2->AddSeries(series);
    auto value = [&](int j) { return seriesPerLabel ? Summary->GetChartValue(j, i) : Summary->GetChartValue(i, j); };
    if (kind == kPieKind) {
      for (int j = pointLabels.Count() - 1; j >= 0; --j) series->Add(value(j), pointLabels[j], clChartDefault);
    } else {
      for (int j = 0; j < pointLabels.Count(); ++j) series->Add(value(j), pointLabels[j], SeriesColor(i));
    }
  }

  // The panel follows the chart.
  CheckBox1->SetChecked(Chart2->View3D());
  for (TScrollBar* bar : {ScrollBar2, ScrollBar3, ScrollBar4, ScrollBar5}) bar->SetEnabled(Chart2->View3D());
  ScrollBar2->SetPosition(Chart2->Chart3DPercent());
  ScrollBar4->SetPosition(Chart2->Elevation());
  if (Chart2->SeriesCount() > 0) {
    if (IsPieSeries(Chart2->Series(0)))
      ScrollBar3->SetPosition(Chart2->Elevation());
    else
      ScrollBar3->SetPosition(Chart2->Rotation() == 360 ? 345 : Chart2->Rotation());
  }
  TChartSeries* first = Chart2->SeriesCount() > 0 ? Chart2->Series(0) : nullptr;
  GraphBox->SetVisible(IsBarSeries(first));
  if (IsBarSeries(first)) GraphBox->SetItemIndex(static_cast<TBarSeries*>(first)->MultiBar());
  if (ChartEditDlg) ChartEditDlg->ApplyToChart(Chart2);
}

void TFormMain::ViewBoxChange(TObject* sender) {
  if (sender == ViewBox) {
    TStringList values;
    SumBox->Items()->Clear();
    if (Summary->GetValueHeadings(ViewBox->ItemIndex(), &values)) SumBox->Items()->Assign(values);
    SumBox->SetItemIndex(SumBox->Items()->Count() > 0 ? 0 : -1);
  }
  BuildChart();
}

void TFormMain::GraphBoxClick(TObject*) {
  TChartSeries* first = Chart2->SeriesCount() > 0 ? Chart2->Series(0) : nullptr;
  if (IsBarSeries(first) && GraphBox->ItemIndex() >= 0)
    static_cast<TBarSeries*>(first)->SetMultiBar(static_cast<TMultiBar>(GraphBox->ItemIndex()));
}

void TFormMain::CheckBox1Click(TObject*) {
  Chart2->SetView3D(CheckBox1->Checked());
  for (TScrollBar* bar : {ScrollBar2, ScrollBar3, ScrollBar4, ScrollBar5}) bar->SetEnabled(CheckBox1->Checked());
}

void TFormMain::CheckBox2Click(TObject*) {
  Summary->SetTranspose(CheckBox2->Checked());
  BuildChart();
}

void TFormMain::ScrollBar2Change(TObject*) { Chart2->SetChart3DPercent(ScrollBar2->Position()); }

void TFormMain::ScrollBar3Change(TObject*) {
  if (ScrollBar3->Enabled()) Chart2->SetOrthogonal(false);
  if (Chart2->SeriesCount() > 0 && IsPieSeries(Chart2->Series(0)))
    Chart2->SetElevation(ScrollBar3->Position());
  else
    Chart2->SetRotation(ScrollBar3->Position());
}

void TFormMain::ScrollBar4Change(TObject*) {
  if (!ScrollBar4->Enabled()) return;
  Chart2->SetOrthogonal(false);
  Chart2->SetElevation(ScrollBar4->Position());
}

void TFormMain::ScrollBar5Change(TObject*) {
  if (ScrollBar5->Enabled()) Chart2->SetZoom(ScrollBar5->Position());
}

void TFormMain::FileSaveChartExecute(TObject*) {
  if (!ChartSaveDialog) {
    ChartSaveDialog = new TSaveDialog(this);
    ChartSaveDialog->Filter =
        SJ("Windows Metafile (*.wmf)|*.wmf|Enhanced Metafile (*.emf)|*.emf|Windows Bitmap (*.bmp)|*.bmp|"
           "すべてのファイル(*.*)|*.*|");
    ChartSaveDialog->DefaultExt = "wmf";
    ChartSaveDialog->Options |= ofOverwritePrompt;
  }
  if (!ChartSaveDialog->Execute()) return;
  const AnsiString path = ChartSaveDialog->FileName;
  const AnsiString ext = UpperCase(ExtensionOf(path));
  bool saved;
  if (ext == ".BMP")
    saved = Chart2->SaveToBitmapFile(path);
  else if (ext == ".EMF")
    saved = Chart2->SaveToMetafileEnh(path);
  else
    saved = Chart2->SaveToMetafile(path);
  if (!saved) ReportError("%s", Format(SJ("ファイル %s に書き込めません。").c_str(), path.c_str()).c_str());
}

void TFormMain::SetChartAttrExecute(TObject*) {
  if (!ChartEditDlg) ChartEditDlg = new TChartEditDlg(this);
  ChartEditDlg->ReadFromChart(Chart2);
  ChartEditDlg->ShowModal();
}
