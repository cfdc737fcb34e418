// The graph view of the main window: the customer ledger listed and summarised by department,
// the sum of the amounts charted as 3-D bars, then as a pie with data labels set in the chart
// settings dialog; and that dialog on its data-label page.
#include <filesystem>

#include "mainwin/ChartEditUnit.h"
#include "mainwin/MainForm.h"
#include "tools/screenshots/Shots.h"

namespace {

// The ledger (which the work folder summarises by "所属") listed, the graph tab chosen, and the
// sum of the amounts charted.
bool ShowLedgerChart(TFormMain* main) {
  TTreeNode* top = main->TreeView1->Items()->GetFirstNode();
  TTreeNode* ledger = top && top->Count() > 0 ? top->Item(0) : nullptr;
  if (!ledger) return false;
  main->TreeView1->SetSelected(ledger);
  if (main->ListedNode != ledger) return false;
  main->TabControl1->UserSelect(3);
  const int sum = main->SumBox->Items()->IndexOf(SJ("金額合計"));
  if (sum >= 0) main->SumBox->UserSelect(sum);
  return main->Chart2->SeriesCount() > 0;
}

// The chart as a pie whose slices carry their department and share, chosen in the settings
// dialog as a user would.
bool ShowLedgerPie(TFormMain* main) {
  if (!ShowLedgerChart(main)) return false;
  main->KindBox->UserSelect(3);
  if (!ChartEditDlg) ChartEditDlg = new TChartEditDlg(main);
  ChartEditDlg->ReadFromChart(main->Chart2);
  ChartEditDlg->CheckBox4->SetChecked(true);
  ChartEditDlg->RadioGroup3->SetItemIndex(4);  // 視点項目の内容と比率
  return main->Chart2->Series(0)->Marks()->Visible();
}

}  // namespace

bool ShotGraphBars(const std::string& file) {
  return ShotStartedWindow(std::filesystem::temp_directory_path() / "cw_graph_bars", file, ShowLedgerChart);
}

bool ShotGraphPie(const std::string& file) {
  return ShotStartedWindow(std::filesystem::temp_directory_path() / "cw_graph_pie", file, ShowLedgerPie);
}

bool ShotChartEditDlg(const std::string& file) {
  bool saved = false;
  ShotStartedWindow(std::filesystem::temp_directory_path() / "cw_chart_dialog", "", [&](TFormMain* main) {
    if (!ShowLedgerPie(main)) return false;
    ChartEditDlg->PageControl1->SetActivePageIndex(3);
    saved = SaveFormPicture(ChartEditDlg, file);
    ChartEditDlg->Hide();
    return false;  // the window itself is not wanted
  });
  return saved;
}
