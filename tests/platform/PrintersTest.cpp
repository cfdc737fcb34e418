#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/PrintDialogs.h"
#include "platform/Printers.h"
#include "platform/SysUtils.h"
#include "tests/support/PdfText.h"
#include "tests/support/TestSupport.h"

namespace {

std::string Squeezed(std::string s) {
  std::erase(s, ' ');
  return s;
}

TEST(Printer, ThePaperAndOrientationGiveThePageInDots) {
  TempDir dir;
  TPrinter p;
  p.SetFileName(dir.File("a.pdf"));
  EXPECT_EQ(p.XResolution(), 600);
  EXPECT_EQ(p.YResolution(), 600);
  const int w = p.PageWidth(), h = p.PageHeight();
  EXPECT_NEAR(w, 210 / 25.4 * 600, 3);
  EXPECT_NEAR(h, 297 / 25.4 * 600, 3);
  p.SetOrientation(poLandscape);
  EXPECT_EQ(p.PageWidth(), h);
  EXPECT_EQ(p.PageHeight(), w);
  p.SetOrientation(poPortrait);
  p.SetPaperSize(dmB5);
  EXPECT_NEAR(p.PageWidth(), 182 / 25.4 * 600, 6);  // Qt keeps paper sizes in points
  EXPECT_NEAR(p.PageHeight(), 257 / 25.4 * 600, 6);
  EXPECT_EQ(PaperSizeName(dmLetter), SJ("レター"));
}

TEST(Printer, PagesReachThePdfInOrderWithFontsAtTheirPointSize) {
  ASSERT_TRUE(JapaneseFontInstalled());
  TempDir dir;
  const std::string file = dir.File("pages.pdf");
  TPrinter p;
  p.SetFileName(file);
  p.Title = SJ("一覧");
  ASSERT_TRUE(p.BeginDoc()) << Show(p.LastError());
  EXPECT_TRUE(p.Printing());
  TCanvas* c = p.Canvas();
  c->Font()->SetName(SJ("ＭＳ ゴシック"));
  c->Font()->SetPixelSize(12);
  // 12 pixels at 96 dots per inch are 75 dots at 600.
  EXPECT_GE(c->TextHeight("A"), 75);
  EXPECT_LT(c->TextHeight("A"), 100);
  c->TextOut(600, 600, SJ("一頁目 A&B"));
  p.NewPage();
  p.NewPage();  // a blank sheet asked for in the middle stays
  c->TextOut(600, 600, SJ("三頁目"));
  EXPECT_EQ(p.PageNumber(), 3);
  ASSERT_TRUE(p.EndDoc()) << Show(p.LastError());
  EXPECT_FALSE(p.Printing());

  EXPECT_EQ(PdfPageCount(file), 3);
  const std::string text = Squeezed(PdfText(file));
  const size_t first = text.find("一頁目A&B"), third = text.find("三頁目");
  ASSERT_NE(first, std::string::npos) << text;
  ASSERT_NE(third, std::string::npos) << text;
  EXPECT_LT(first, third);
  EXPECT_NE(PdfFonts(file).find("IPAGothic"), std::string::npos) << PdfFonts(file);
}

TEST(Printer, AJobThatDrawsNothingLeavesNoFile) {
  TempDir dir;
  TPrinter p;
  p.SetFileName(dir.File("empty.pdf"));
  ASSERT_TRUE(p.BeginDoc());
  EXPECT_TRUE(p.EndDoc());
  EXPECT_FALSE(FileExists(dir.File("empty.pdf")));
  EXPECT_FALSE(p.EndDoc()) << "no job to end";
}

TEST(Printer, TargetsThatCannotTakePagesAreRefusedAtTheStart) {
  TempDir dir;
  mkdir(dir.File("folder").c_str(), 0755);
  for (const std::string& name : {dir.File("missing/x.pdf"), dir.File("folder")}) {
    TPrinter p;
    p.SetFileName(name);
    EXPECT_FALSE(p.BeginDoc()) << name;
    EXPECT_FALSE(p.Printing());
    EXPECT_NE(p.LastError().find(name), AnsiString::npos) << Show(p.LastError());
  }
  TPrinter p;
  if (p.Printers()->Count() == 0) {
    EXPECT_FALSE(p.BeginDoc()) << "neither a printer nor a file";
    EXPECT_FALSE(p.LastError().empty());
  }
  // The caller's canvas takes pages without a printer.
  TCanvas canvas;
  TPrinter recording(&canvas);
  EXPECT_TRUE(recording.BeginDoc());
  EXPECT_EQ(recording.Canvas(), &canvas);
  EXPECT_FALSE(recording.BeginDoc()) << "already printing";
  EXPECT_TRUE(recording.EndDoc());
}

// The print dialog refuses a missing file name and a page range outside its limits, and hands
// back what the user chose.
TEST(PrintDialog, ChoosesAFileAndAPageRange) {
  TempDir dir;
  TPrinter printer;
  TPrintDialog dialog(nullptr);
  dialog.Printer = &printer;
  dialog.Options = poPageNums;
  dialog.MinPage = 1;
  dialog.MaxPage = 9;
  dialog.FromPage = 1;
  dialog.ToPage = 5;
  int round = 0;
  AnsiString refusals;
  ModalHandlerScope scope([&](TForm* f) {
    auto* form = dynamic_cast<TPrintDialogForm*>(f);
    ASSERT_TRUE(form);
    EXPECT_EQ(form->Caption(), SJ("印刷"));
    if (round > 0) refusals += form->MessageLabel->Caption() + "|";
    switch (round++) {
      case 0:
        EXPECT_EQ(form->FromEdit->Text(), "1");
        EXPECT_EQ(form->ToEdit->Text(), "5");
        EXPECT_FALSE(form->FromEdit->Enabled());
        EXPECT_EQ(form->PrinterBox->Items()->Strings(form->PrinterBox->Items()->Count() - 1), SJ("PDF ファイル"));
        form->ChooseFile("");
        break;
      case 1:
        form->ChooseFile(dir.File("out.pdf"));
        form->RangeGroup->SetItemIndex(1);
        EXPECT_TRUE(form->FromEdit->Enabled());
        form->FromEdit->SetText("3");
        form->ToEdit->SetText("2");
        break;
      case 2:
        form->ToEdit->SetText("10");
        break;
      default:
        form->FromEdit->SetText("2");
        form->ToEdit->SetText("4");
        break;
    }
    PressButton(f, "OK");
  });
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(round, 4);
  EXPECT_EQ(refusals, SJ("ファイル名を入力してください|ページは 1 から 9 の範囲で指定してください|ページは 1 から 9 "
                         "の範囲で指定してください|"));
  EXPECT_EQ(dialog.PrintRange, prPageNums);
  EXPECT_EQ(dialog.FromPage, 2);
  EXPECT_EQ(dialog.ToPage, 4);
  EXPECT_EQ(printer.FileName(), dir.File("out.pdf"));
}

TEST(PrintDialog, AllPagesOrCancel) {
  TPrinter printer;
  printer.SetFileName("/tmp/before.pdf");
  TPrintDialog dialog(nullptr);
  dialog.Printer = &printer;
  dialog.PrintRange = prPageNums;
  {
    ModalHandlerScope scope([&](TForm* f) {
      auto* form = dynamic_cast<TPrintDialogForm*>(f);
      EXPECT_FALSE(form->RangeGroup->Enabled()) << "page numbers not offered";
      EXPECT_EQ(form->FileEdit->Text(), "/tmp/before.pdf");
      form->FileEdit->SetText("/tmp/other.pdf");
      PressButton(f, SJ("キャンセル"));
    });
    EXPECT_FALSE(dialog.Execute());
    EXPECT_EQ(printer.FileName(), "/tmp/before.pdf");
  }
  ModalHandlerScope scope([&](TForm* f) { PressButton(f, "OK"); });
  EXPECT_TRUE(dialog.Execute());
  EXPECT_EQ(dialog.PrintRange, prAllPages);
}

TEST(PrinterSetupDialog, SetsPaperAndOrientation) {
  TPrinter printer;
  TPrinterSetupDialog dialog(nullptr);
  dialog.Printer = &printer;
  ModalHandlerScope scope([&](TForm* f) {
    auto* form = dynamic_cast<TPrinterSetupDialogForm*>(f);
    ASSERT_TRUE(form);
    EXPECT_EQ(form->Caption(), SJ("プリンタの設定"));
    EXPECT_EQ(form->PaperBox->Text(), "A4");
    EXPECT_EQ(form->OrientationGroup->ItemIndex(), 0);
    form->PaperBox->UserSelect(dmB5);
    form->OrientationGroup->SetItemIndex(1);
    form->ChooseFile("/tmp/setup.pdf");
    PressButton(f, "OK");
  });
  ASSERT_TRUE(dialog.Execute());
  EXPECT_EQ(printer.PaperSize(), dmB5);
  EXPECT_EQ(printer.Orientation(), poLandscape);
  EXPECT_EQ(printer.FileName(), "/tmp/setup.pdf");
  EXPECT_GT(printer.PageWidth(), printer.PageHeight());
}

}  // namespace
