// The views' windows: the list grid (striped, marked, frozen), the appearance dialog, the colour
// and font dialogs, the print preview and the print dialogs.
#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/PrintDialogs.h"
#include "tools/screenshots/Shots.h"
#include "views/PreviewUnit.h"
#include "views/SetLooksUnit.h"
#include "views/StringGridEx.h"

namespace {

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

bool ShotListGrid(const std::string& file) {
  TForm list(Application);
  ListForm(&list);
  return SaveFormPicture(&list, file);
}

bool ShotListGridFrozen(const std::string& file) {
  TForm list(Application);
  TStringGridEx* grid = ListForm(&list);
  list.SetBounds(40, 40, 470, 300);
  grid->SetFixedColsEx(1, 1, 1);  // the names stay while the rest scrolls
  grid->SetLeftCol(3);
  return SaveFormPicture(&list, file);
}

static bool ShotLooks(const std::string& file, int page) {
  TForm list(Application);
  TStringGridEx* grid = ListForm(&list);
  TSetLooksDlg looks(Application);
  looks.MainForm = &list;
  looks.ListGrid = grid;
  looks.PageControl1->SetActivePageIndex(page);
  return SaveFormPicture(&looks, file);
}

bool ShotLooksTree(const std::string& file) { return ShotLooks(file, 0); }
bool ShotLooksList(const std::string& file) { return ShotLooks(file, 1); }

bool ShotColorDialog(const std::string& file) {
  TColorDialogForm colors(Application);
  colors.SetSelectedColor(0xE8F8FF);
  return SaveFormPicture(&colors, file);
}

bool ShotFontDialog(const std::string& file) {
  TFontDialogForm fonts(Application);
  fonts.SelectedFont()->SetName(SJ("ＭＳ Ｐゴシック"));
  fonts.SelectedFont()->SetSize(10);
  return SaveFormPicture(&fonts, file);
}

namespace {

// The list printer as the main window sets it up: the headings come with the cell texts.
void BindListPrinter(TKelmGridPr* printer, TStringGridEx* grid) {
  printer->SetTargetGrid(grid);
  printer->SetOnGetCellString([grid](AnsiString& text, bool&, int col, int row, bool) {
    text = row == 0 ? grid->GridColumns()->Items(col)->Caption() : grid->Cells(col, row);
  });
}

bool ShotPreview(const std::string& file, bool cards) {
  TForm list(Application);
  TStringGridEx* grid = ListForm(&list);
  TKelmGridPr printer(Application);
  BindListPrinter(&printer, grid);
  TPreviewForm preview(Application);
  preview.GridPr = &printer;
  preview.SetCardPanelVisible(cards);
  if (cards) {
    preview.SetBounds(0, 0, 760, 420);
    preview.LandscapeBtn->Click();
  } else {
    preview.SetBounds(0, 0, 860, 700);
  }
  return SaveFormPicture(&preview, file);
}

}  // namespace

bool ShotPreviewList(const std::string& file) { return ShotPreview(file, false); }
bool ShotPreviewCardsLandscape(const std::string& file) { return ShotPreview(file, true); }

// The list's first page printed to a PDF file beside the pictures.
bool ShotPrintListPdf(const std::string& file) {
  TForm list(Application);
  TStringGridEx* grid = ListForm(&list);
  TKelmGridPr printer(Application);
  BindListPrinter(&printer, grid);
  TPrinter pdf;
  pdf.SetFileName(file);
  printer.SetPrinter(&pdf);
  printer.SetToPage(1);
  if (!pdf.BeginDoc()) return false;
  printer.GoPrint();
  return pdf.EndDoc();
}

bool ShotPrintDialog(const std::string& file) {
  TPrintDialogForm print(Application);
  print.LoadTarget(Printer());
  print.ChooseFile(SJ("/home/user/一覧.pdf"));
  print.RangeGroup->SetItemIndex(1);
  print.FromEdit->SetText("1");
  print.ToEdit->SetText("3");
  return SaveFormPicture(&print, file);
}

bool ShotPrinterSetupDialog(const std::string& file) {
  TPrinterSetupDialogForm setup(Application);
  setup.LoadTarget(Printer());
  setup.ChooseFile(SJ("/home/user/一覧.pdf"));
  setup.PaperBox->SetItemIndex(dmA4);
  setup.OrientationGroup->SetItemIndex(0);
  return SaveFormPicture(&setup, file);
}
