// The graph view of the main window: the customer ledger listed and summarised by department
// (a count per department), charted as 3-D bars, then as a pie with data labels set in the chart
// settings dialog; and that dialog on its data-label page.
#include <filesystem>

#include "folders/DbFolder.h"
#include "foundation/CapInfo.h"
#include "mainwin/ChartEditUnit.h"
#include "mainwin/MainForm.h"
#include "tools/screenshots/Shots.h"

namespace {

// The ledger summarised by "所属" with a count, listed, and the graph tab chosen.
bool ShowLedgerChart(TFormMain* main) {
  TTreeNode* top = main->TreeView1->Items()->GetFirstNode();
  TTreeNode* ledger = top && top->Count() > 0 ? top->Item(0) : nullptr;
  if (!ledger) return false;
  CCapInfoList* sum = static_cast<CDbFolder*>(ledger->Data)->GetSumCapInfoList();
  if (!sum) return false;
  auto* key = new CCapInfo;
  key->Name = ledger->Text() + "." + SJ("所属");
  key->Caption = SJ("所属");
  key->GroupKey = true;
  key->Shown = true;
  sum->Add(key);
  auto* count = new CCapInfo;
  count->Name = ledger->Text() + "." + SJ("氏名");
  count->Caption = SJ("件数");
  count->Shown = true;
  sum->Add(count);
  main->TreeView1->SetSelected(ledger);
  if (main->ListedNode != ledger) return false;
  main->TabControl1->UserSelect(3);
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
