// Renders the windows of the views into PNG files for a look: screenshots_views DIR.
// scripts/screenshots.sh runs it under xvfb-run; without a display it draws off screen.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/PrintDialogs.h"
#include "views/PreviewUnit.h"
#include "views/SetLooksUnit.h"
#include "views/StringGridEx.h"

namespace {

std::string g_dir;
int g_failures = 0;

void Save(TControl* c, const char* name) {
  for (int i = 0; i < 5; ++i) Application->ProcessMessages();
  const std::string path = g_dir + "/" + name + ".png";
  if (c->GrabImage().SaveToFile(path)) {
    std::printf("%s\n", path.c_str());
  } else {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    ++g_failures;
  }
}

// A list like the main window's: a striped grid of Japanese records with marked rows.
TStringGridEx* ListForm(TForm* form) {
  form->SetCaption(SJ("一覧"));
  form->SetBounds(40, 40, 640, 360);
  auto* grid = new TStringGridEx(form);
  grid->SetParent(form);
  grid->SetAlign(alClient);
  grid->SetOptions(grid->Options() | goRowSelect | goColSizing);
  grid->SetColCount(6);
  grid->SetRowCount(41);
  grid->SetGridStyle(gsStriped);
  grid->SetColor(clWhite);
  grid->SetStripeColor(0xE8F8FF);
  grid->SetFixedCenter(true);
  const char* heads[] = {"", "氏名", "所属", "金額", "日付", "備考"};
  const int widths[] = {36, 110, 120, 90, 90, 170};
  const char* names[] = {"山田 太郎", "鈴木 花子", "佐藤 一郎", "高橋 美咲", "渡辺 健", "伊藤 さくら"};
  const char* units[] = {"営業部", "総務部", "開発部 第二課", "経理部", "ｼｽﾃﾑ管理"};
  const char* notes[] = {"申込書あり", "表示確認済み", "予定変更 & 連絡待ち", "ソフト更新", "―"};
  for (int c = 0; c < 6; ++c) {
    grid->SetColWidths(c, widths[c]);
    grid->GridColumns()->Items(c)->SetCaption(Utf8ToSjis(heads[c]));
  }
  grid->GridColumns()->Items(3)->SetAlignment(taRightJustify);
  for (int r = 1; r < 41; ++r) {
    grid->SetCells(0, r, IntToStr(r));
    grid->SetCells(1, r, Utf8ToSjis(names[r % 6]));
    grid->SetCells(2, r, Utf8ToSjis(units[r % 5]));
    grid->SetCells(3, r, Format("%d,%03d", r * 7 % 90 + 1, r * 137 % 1000));
    grid->SetCells(4, r, Format("2024/%02d/%02d", r % 12 + 1, r % 28 + 1));
    grid->SetCells(5, r, Utf8ToSjis(notes[r % 5]));
  }
  grid->SetRowSelects(3, true);
  grid->SetRowSelects(4, true);
  grid->SetSelection(TGridRect{1, 7, 5, 7});
  return grid;
}

}  // namespace

int main(int argc, char** argv) {
  g_dir = argc > 1 ? argv[1] : "build/screenshots";
  mkdir(g_dir.c_str(), 0755);
  if (!getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  if (!getenv("XDG_RUNTIME_DIR")) {
    const std::string dir = "/tmp/cw-runtime-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  }
  InitApplication(argc, argv);
  {
    auto* list = new TForm(Application);
    TStringGridEx* grid = ListForm(list);
    list->Show();
    Save(list, "views_list_grid");

    // The list's print preview, and the same page printed to a PDF file beside the pictures.
    auto* printer = new TKelmGridPr(Application);
    printer->SetTargetGrid(grid);
    // As the main window does: the headings come with the texts.
    printer->SetOnGetCellString([grid](AnsiString& text, bool&, int col, int row, bool) {
      text = row == 0 ? grid->GridColumns()->Items(col)->Caption() : grid->Cells(col, row);
    });
    TPrinter pdf;
    pdf.SetFileName(g_dir + "/views_print_list.pdf");
    printer->SetPrinter(&pdf);
    printer->SetToPage(1);
    if (pdf.BeginDoc()) {
      printer->GoPrint();
      if (pdf.EndDoc()) std::printf("%s\n", pdf.FileName().c_str());
    }
    auto* preview = new TPreviewForm(Application);
    preview->GridPr = printer;
    preview->SetCardPanelVisible(false);
    preview->SetBounds(0, 0, 860, 700);
    preview->Show();
    Save(preview, "views_preview");
    preview->Hide();
    preview->SetCardPanelVisible(true);
    preview->SetBounds(0, 0, 760, 420);
    preview->LandscapeBtn->Click();
    preview->Show();
    Save(preview, "views_preview_cards_landscape");
    preview->Hide();

    auto* print = new TPrintDialogForm(Application);
    print->LoadTarget(Printer());
    print->ChooseFile(SJ("/home/user/一覧.pdf"));
    print->RangeGroup->SetItemIndex(1);
    print->FromEdit->SetText("1");
    print->ToEdit->SetText("3");
    print->Show();
    Save(print, "platform_print_dialog");
    print->Hide();
    auto* setup = new TPrinterSetupDialogForm(Application);
    setup->LoadTarget(Printer());
    setup->ChooseFile(SJ("/home/user/一覧.pdf"));
    setup->PaperBox->SetItemIndex(dmA4);
    setup->OrientationGroup->SetItemIndex(0);
    setup->Show();
    Save(setup, "platform_printer_setup_dialog");
    setup->Hide();
    list->SetBounds(40, 40, 470, 300);
    grid->SetFixedColsEx(1, 1, 1);  // the names stay while the rest scrolls
    grid->SetLeftCol(3);
    Save(list, "views_list_grid_frozen");

    auto* looks = new TSetLooksDlg(Application);
    looks->MainForm = list;
    looks->ListGrid = grid;
    looks->Show();
    looks->PageControl1->SetActivePageIndex(1);
    Save(looks, "views_looks_list");
    looks->PageControl1->SetActivePageIndex(0);
    Save(looks, "views_looks_tree");
    looks->Hide();

    auto* colors = new TColorDialogForm(Application);
    colors->SetSelectedColor(0xE8F8FF);
    colors->Show();
    Save(colors, "platform_color_dialog");
    colors->Hide();
    auto* fonts = new TFontDialogForm(Application);
    fonts->SelectedFont()->SetName(SJ("ＭＳ Ｐゴシック"));
    fonts->SelectedFont()->SetSize(10);
    fonts->Show();
    Save(fonts, "platform_font_dialog");
    fonts->Hide();
  }
  DoneApplication();
  return g_failures ? 1 : 0;
}
