// The graph view of the main window, driven as a user does: the summary of a listing charted in
// the graph tab, the panel's boxes, check boxes and scroll bars, the chart settings dialog and the
// chart's image files.
#include <string>
#include <vector>

#include "foundation/StringsList.h"
#include "mainwin/ChartEditUnit.h"
#include "platform/Dialogs.h"
#include "platform/PrintDialogs.h"
#include "query/SummaryMod.h"
#include "tests/mainwin/MainWindowTestSupport.h"
#include "tests/support/PdfText.h"
#include "views/CvGraphPr.h"
#include "views/PreviewUnit.h"

namespace {

// The work folder's table with count more customers spread over four units, summarised by unit
// with a count, listed, and the graph tab chosen.
class GraphView {
 public:
  explicit GraphView(int count = 9) : program_({work_.Base() + ".txt"}) {
    form = FormMain;
    form->Timer1->SetEnabled(false);
    const char* units[] = {"営業", "総務", "開発", "経理"};
    for (int i = 1; i <= count; ++i)
      work_.Insert(SJ("顧客"), {{"name", SJ("顧客 ") + IntToStr(i)}, {"unit", Utf8ToSjis(units[i % 4])},
                               {"amount", IntToStr(i * 10)}});
    TTreeNode* table = form->TreeView1->Items()->GetFirstNode()->GetFirstChild();
    CCapInfoList* sum = static_cast<CDbFolder*>(table->Data)->GetSumCapInfoList();
    auto* key = Column(SJ("顧客.unit"));
    key->GroupKey = true;
    sum->Add(key);
    sum->Add(Column(SJ("顧客.name"), true, SJ("件数")));
    form->TreeView1->SetSelected(table);
    EXPECT_EQ(form->ListedNode, table);
    form->TabControl1->UserSelect(3);
  }
  TChart* Chart() const { return form->Chart2; }
  // The points of series i as "label=value" joined by blanks.
  std::string Points(int i = 0) const {
    TChartSeries* s = Chart()->Series(i);
    std::string out;
    for (int j = 0; j < s->Count(); ++j)
      out += (j ? " " : "") + SjisToUtf8(s->XLabel(j)) + "=" + SjisToUtf8(FloatToStr(s->YValue(j)));
    return out;
  }
  TFormMain* form;

 private:
  WorkFolder work_;
  StartedProgram program_;
};

int CountColor(const TBitmap& b, TColor c) {
  const uint32_t want = ColorToRGB(c);
  int n = 0;
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) n += b.Pixel(x, y) == want;
  return n;
}

}  // namespace

// 山田 of 営業 and nine customers: 営業 3, 開発 2, 経理 2, 総務 3, in the summary's key order.
TEST_F(MainWindowTest, GraphTabChartsTheSummaryOfTheListing) {
  GraphView view;
  TFormMain* form = view.form;
  EXPECT_TRUE(form->Panel3->Visible());
  EXPECT_TRUE(form->Chart2->Visible());
  EXPECT_TRUE(form->FileSaveChart->Visible());
  EXPECT_EQ(SjisToUtf8(form->ViewBox->Items()->Text()), "unit\r\n");
  EXPECT_EQ(SjisToUtf8(form->SumBox->Items()->Text()), "件数\r\n");
  ASSERT_EQ(view.Chart()->SeriesCount(), 1);
  TChartSeries* s = view.Chart()->Series(0);
  EXPECT_EQ(s->SeriesKind(), TChartSeries::skBar);
  EXPECT_EQ(SjisToUtf8(s->Title()), "件数");
  EXPECT_EQ(view.Points(), "営業=3 開発=2 経理=2 総務=3");
  EXPECT_EQ(s->SeriesColor(), 0x8080FF);
  EXPECT_EQ(static_cast<TBarSeries*>(s)->MultiBar(), mbNone);
  EXPECT_FALSE(s->Marks()->Visible());
  EXPECT_EQ(s->Marks()->ArrowLength(), 10);
  EXPECT_FALSE(view.Chart()->Legend()->Visible());  // one series
  EXPECT_EQ(view.Chart()->Title()->Text(), "unit\r\n");
  EXPECT_EQ(SjisToUtf8(view.Chart()->LeftAxis()->Title()), "件数");
  EXPECT_EQ(view.Chart()->BottomAxis()->Title(), "");
  EXPECT_TRUE(form->GraphBox->Visible());
  EXPECT_EQ(form->GraphBox->ItemIndex(), 0);
  EXPECT_GT(CountColor(view.Chart()->PaintToImage(), 0x8080FF), 500);

  // Rows and columns swapped: one series per unit, one point each.
  form->CheckBox2->SetChecked(true);
  ASSERT_EQ(view.Chart()->SeriesCount(), 1);
  EXPECT_EQ(view.Points(), "営業=3 開発=2 経理=2 総務=3");
  form->CheckBox2->SetChecked(false);

  // Back to the list and again: the chart is built afresh, not added to.
  form->TabControl1->UserSelect(0);
  EXPECT_FALSE(form->Chart2->Visible());
  EXPECT_FALSE(form->Panel3->Visible());
  form->TabControl1->UserSelect(3);
  EXPECT_EQ(view.Chart()->SeriesCount(), 1);

  // Another folder listed while the chart shows: the chart follows its summary.
  TTreeNode* table = form->TreeView1->Items()->GetFirstNode()->GetFirstChild();
  table->Expand(false);
  ASSERT_GT(table->Count(), 0);
  form->TreeView1->SetSelected(table->Item(0));  // 営業
  ASSERT_EQ(view.Chart()->SeriesCount(), 1);
  EXPECT_EQ(view.Points(), "営業=3");
}

TEST_F(MainWindowTest, ChartKindsFromTheKindBox) {
  GraphView view;
  TFormMain* form = view.form;
  const struct {
    int kind;
    TChartSeries::Kind seriesKind;
    const char* points;
  } cases[] = {
      {1, TChartSeries::skHorizBar, "営業=3 開発=2 経理=2 総務=3"},
      {2, TChartSeries::skLine, "営業=3 開発=2 経理=2 総務=3"},
      {3, TChartSeries::skPie, "総務=3 経理=2 開発=2 営業=3"},  // last to first
      {4, TChartSeries::skArea, "営業=3 開発=2 経理=2 総務=3"},
      {0, TChartSeries::skBar, "営業=3 開発=2 経理=2 総務=3"},
  };
  for (const auto& c : cases) {
    form->KindBox->UserSelect(c.kind);
    ASSERT_EQ(view.Chart()->SeriesCount(), 1) << c.kind;
    TChartSeries* s = view.Chart()->Series(0);
    EXPECT_EQ(s->SeriesKind(), c.seriesKind);
    EXPECT_EQ(view.Points(), c.points);
    EXPECT_EQ(form->GraphBox->Visible(), c.kind <= 1) << c.kind;
    const bool horizontal = c.kind == 1;
    EXPECT_EQ(SjisToUtf8(view.Chart()->LeftAxis()->Title()), horizontal ? "" : "件数");
    EXPECT_EQ(SjisToUtf8(view.Chart()->BottomAxis()->Title()), horizontal ? "件数" : "");
    EXPECT_EQ(view.Chart()->LeftAxis()->LabelStyle(), horizontal ? talText : talValue);
    if (c.kind == 3) {
      // Each slice in a colour of its own, from twelve o'clock.
      EXPECT_TRUE(s->ColorEachPoint());
      EXPECT_NE(s->ValueColor(0), s->ValueColor(1));
      EXPECT_EQ(static_cast<TPieSeries*>(s)->RotationAngle(), 90);
    } else {
      EXPECT_EQ(s->ValueColor(1), 0x8080FF);
    }
  }
}

// More points than the setting allows: the user is told and the chart stays empty; a single
// point as a line is shown as a bar.
TEST_F(MainWindowTest, ChartRefusesMorePointsThanAllowed) {
  GraphView view;
  TFormMain* form = view.form;
  form->MaxPoint = 3;
  {
    UserScript user;
    form->KindBox->UserSelect(1);
    ASSERT_EQ(user.shown.size(), 1u);
    EXPECT_EQ(SjisToUtf8(user.shown[0].caption), "棒グラフ表示");
    EXPECT_EQ(SjisToUtf8(user.shown[0].text), "データ数(4)が制限数(3)より大きいので、表示できません。");
  }
  EXPECT_EQ(view.Chart()->SeriesCount(), 0);
  view.Chart()->PaintToImage();
  form->MaxPoint = 4;
  {
    UserScript user;
    form->KindBox->UserSelect(0);
    EXPECT_TRUE(user.shown.empty());
  }
  EXPECT_EQ(view.Chart()->SeriesCount(), 1);
}

TEST_F(MainWindowTest, SinglePointLineIsDrawnAsBars) {
  GraphView view(0);  // 山田 alone
  TFormMain* form = view.form;
  for (int kind : {2, 4}) {
    UserScript user;
    form->KindBox->UserSelect(kind);
    ASSERT_EQ(user.shown.size(), 1u);
    EXPECT_EQ(SjisToUtf8(user.shown[0].text), "データが１つなので、棒グラフで表示します。");
    EXPECT_EQ(SjisToUtf8(user.shown[0].caption), "棒グラフ表示");
    ASSERT_EQ(view.Chart()->SeriesCount(), 1);
    EXPECT_EQ(view.Chart()->Series(0)->SeriesKind(), TChartSeries::skBar);
  }
}

TEST_F(MainWindowTest, PanelControlsTurnTheChart) {
  GraphView view;
  TFormMain* form = view.form;
  TChart* chart = view.Chart();
  EXPECT_TRUE(chart->View3D());
  EXPECT_EQ(form->ScrollBar3->Position(), 345);  // the rotation
  form->ScrollBar3->SetPosition(300);
  EXPECT_EQ(chart->Rotation(), 300);
  EXPECT_FALSE(chart->Orthogonal());
  form->ScrollBar4->SetPosition(280);
  EXPECT_EQ(chart->Elevation(), 280);
  form->ScrollBar5->SetPosition(150);
  EXPECT_EQ(chart->Zoom(), 150);
  form->ScrollBar2->SetPosition(40);
  EXPECT_EQ(chart->Chart3DPercent(), 40);
  // A pie turns by its elevation.
  form->KindBox->UserSelect(3);
  form->ScrollBar3->SetPosition(320);
  EXPECT_EQ(chart->Elevation(), 320);
  EXPECT_EQ(chart->Rotation(), 300);
  // Flat: the scroll bars rest.
  form->CheckBox1->SetChecked(false);
  EXPECT_FALSE(chart->View3D());
  for (TScrollBar* bar : {form->ScrollBar2, form->ScrollBar3, form->ScrollBar4, form->ScrollBar5})
    EXPECT_FALSE(bar->Enabled());
  form->ScrollBar5->SetPosition(60);
  EXPECT_EQ(chart->Zoom(), 150);
  // The bars' arrangement.
  form->KindBox->UserSelect(0);
  form->GraphBox->UserSelect(2);
  EXPECT_EQ(static_cast<TBarSeries*>(chart->Series(0))->MultiBar(), mbStacked);
}

// The settings dialog shows the chart's settings, acts on the chart at once, and its choices
// (but not an unapplied title) survive the chart's rebuilding.
TEST_F(MainWindowTest, ChartSettingsDialogRoundTrip) {
  GraphView view;
  TFormMain* form = view.form;
  TChart* chart = view.Chart();
  chart->Legend()->SetAlignment(laTop);
  int shown = 0;
  {
    ModalHandlerScope user([&](TForm* f) {
      auto* d = dynamic_cast<TChartEditDlg*>(f);
      ASSERT_NE(d, nullptr);
      ++shown;
      EXPECT_EQ(SjisToUtf8(d->Caption()), "グラフの設定");
      EXPECT_EQ(d->Chart, chart);
      EXPECT_TRUE(d->CheckBox1->Checked());
      EXPECT_EQ(d->RadioGroup2->ItemIndex(), 0);
      EXPECT_EQ(d->RadioGroup4->ItemIndex(), 1);  // read from the chart
      EXPECT_EQ(d->UpDown2->Position(), 10);
      EXPECT_EQ(d->Memo1->Lines()->Text(), "unit\r\n");
      EXPECT_EQ(SjisToUtf8(d->Edit4->Text()), "件数");
      d->RadioGroup2->SetItemIndex(6);  // グラデーション
      EXPECT_EQ(static_cast<TBarSeries*>(chart->Series(0))->BarStyle(), bsRectGradient);
      EXPECT_TRUE(chart->Orthogonal());
      d->CheckBox4->SetChecked(true);
      d->RadioGroup3->SetItemIndex(1);  // 集計値
      d->RadioGroup4->SetItemIndex(3);  // 下
      d->UpDown1->Step(btNext);         // 90 degrees
      d->CheckBox1->SetChecked(false);
      d->Memo1->Lines()->SetText(SJ("顧客の部署"));
      d->Edit4->SetText(SJ("人数"));
      PressButton(d, SJ("適用"));
      EXPECT_EQ(SjisToUtf8(chart->Title()->Text()), "顧客の部署\r\n");
      EXPECT_EQ(SjisToUtf8(chart->LeftAxis()->Title()), "人数");
      PressButton(d, SJ("閉じる"));
    });
    form->Button1->Click();
  }
  ASSERT_EQ(shown, 1);
  TChartEditDlg* dialog = ChartEditDlg;
  ASSERT_NE(dialog, nullptr);
  // A new chart: the dialog's choices again, the typed title not.
  form->KindBox->UserSelect(0);
  TChartSeries* s = chart->Series(0);
  EXPECT_EQ(static_cast<TBarSeries*>(s)->BarStyle(), bsRectGradient);
  EXPECT_TRUE(s->Marks()->Visible());
  EXPECT_EQ(s->Marks()->Style(), smsValue);
  EXPECT_EQ(chart->Legend()->Alignment(), laBottom);
  EXPECT_EQ(chart->BottomAxis()->LabelsAngle(), 90);
  EXPECT_FALSE(chart->BottomAxis()->Visible());
  EXPECT_EQ(chart->Title()->Text(), "unit\r\n");
  {
    ModalHandlerScope user([&](TForm* f) {
      auto* d = static_cast<TChartEditDlg*>(f);
      EXPECT_EQ(d, dialog);  // kept for the next use
      EXPECT_EQ(d->RadioGroup2->ItemIndex(), 6);
      d->RadioGroup2->SetItemIndex(0);  // 四角形
      EXPECT_FALSE(chart->Orthogonal());
      PressButton(d, SJ("閉じる"));
    });
    form->SetChartAttr->Execute();
  }
  EXPECT_EQ(static_cast<TBarSeries*>(chart->Series(0))->BarStyle(), bsRectangle);
}

TEST_F(MainWindowTest, ChartSavedAsImageFiles) {
  GraphView view;
  TFormMain* form = view.form;
  TempDir dir;
  form->Chart2->SetBounds(0, 0, 480, 300);
  std::vector<std::string> errors;
  auto save = [&](const std::string& name) {
    ModalHandlerScope user([&](TForm* f) {
      if (auto* box = dynamic_cast<TCvMessageDlg*>(f)) {
        errors.push_back(SjisToUtf8(box->Label1->Caption()));
        PressButton(box, SJ("ＯＫ"));
        return;
      }
      auto* d = dynamic_cast<TFileDialogForm*>(f);
      ASSERT_NE(d, nullptr) << Show(f->Caption());
      d->FileNameEdit->SetText(name.empty() ? "" : dir.File(name));
      PressButton(d, name.empty() ? SJ("キャンセル") : "OK");
    });
    form->FileSaveChart->Execute();
  };
  save("chart.Bmp");
  TBitmap back;
  ASSERT_TRUE(back.LoadFromFile(dir.File("chart.Bmp")));
  EXPECT_EQ(back.Width(), form->Chart2->ClientWidth());
  EXPECT_EQ(back.Height(), form->Chart2->ClientHeight());
  EXPECT_GT(CountColor(back, 0x8080FF), 500);
  save("chart.emf");
  EXPECT_EQ(ReadFileBytes(dir.File("chart.emf")).substr(40, 4), " EMF");
  save("chart.png");  // not a bitmap name: a metafile
  EXPECT_EQ(ReadFileBytes(dir.File("chart.png")).substr(0, 4), "\xD7\xCD\xC6\x9A");
  save("plain");
  EXPECT_EQ(ReadFileBytes(dir.File("plain.wmf")).substr(0, 4), "\xD7\xCD\xC6\x9A");
  save("");
  EXPECT_TRUE(errors.empty());
  save("missing/chart.bmp");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("に書き込めません"), std::string::npos) << errors[0];
}

// In the graph view the print commands print and preview the chart as one page.
TEST_F(MainWindowTest, GraphViewPrintsTheChart) {
  ASSERT_TRUE(JapaneseFontInstalled());
  GraphView view;
  TFormMain* form = view.form;
  TempDir dir;
  const std::string file = dir.File("chart.pdf");
  TPrinter printer;
  form->ListPrinter->SetPrinter(&printer);
  int dialogs = 0;
  {
    ModalHandlerScope user([&](TForm* f) {
      auto* dialog = dynamic_cast<TPrintDialogForm*>(f);
      ASSERT_NE(dialog, nullptr) << Show(f->Caption());
      ++dialogs;
      dialog->ChooseFile(file);
      PressButton(dialog, "OK");
    });
    form->FilePrint->Execute();
  }
  EXPECT_EQ(dialogs, 1);
  EXPECT_EQ(PdfPageCount(file), 1);
  std::string text = PdfText(file);
  std::erase(text, ' ');
  for (const char* expected : {"unit", "件数", "営業", "総務", "開発", "経理"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << " in\n" << text;
  EXPECT_EQ(text.find("山田"), std::string::npos) << "the list is not printed";

  int previews = 0;
  {
    ModalHandlerScope user([&](TForm* f) {
      auto* preview = dynamic_cast<TPreviewForm*>(f);
      ASSERT_NE(preview, nullptr) << Show(f->Caption());
      ++previews;
      EXPECT_EQ(preview->GridPr->GetPageCount(), 1);
      EXPECT_FALSE(preview->GridPr->PreviewNextPage());
      PressButton(preview, SJ("閉じる"));
    });
    form->FilePreview->Execute();
  }
  EXPECT_EQ(previews, 1);
  form->ListPrinter->SetPrinter(nullptr);
}
