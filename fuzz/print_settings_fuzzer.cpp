// Print settings texts, kept in the folder file for the card windows: read into a printer through
// the preview window, written back and read again; then the printer paginates a small list and
// draws its pages with whatever margins and scale the text held.
#include <cstddef>
#include <cstdint>
#include <string>

#include "views/PreviewUnit.h"

namespace {

struct Setup {
  TCanvas canvas;  // bound to no device: the pages are laid out and drawn into nothing
  TPrinter printer{&canvas};
  TForm owner{nullptr};
  TStringGridEx* grid = new TStringGridEx(&owner);
  TKelmGridPr* pr = new TKelmGridPr(&owner);
  TPreviewForm* form = new TPreviewForm(&owner);
  Setup() {
    grid->SetColCount(4);
    grid->SetRowCount(6);
    for (int r = 0; r < 6; ++r)
      for (int c = 0; c < 4; ++c) grid->SetCells(c, r, Format("%d&%d", r, c));
    pr->SetPrinter(&printer);
    pr->SetTargetGrid(grid);
    form->GridPr = pr;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup s;
  const AnsiString text(reinterpret_cast<const char*>(data), size);
  s.form->SetPrintSettings("10,10,5,10,0,100,1,1,0,1");
  s.form->SetPrintSettings(text);
  const AnsiString written = s.form->GetPrintSettings();
  TStringList values;
  values.SetCommaText(written);
  if (values.Count() != 10) __builtin_trap();
  for (int i = 0; i < 10; ++i) {
    int v = 0;
    if (!TryStrToInt(values[i], v) || IntToStr(v) != values[i]) __builtin_trap();
  }
  s.form->SetPrintSettings(written);
  if (s.form->GetPrintSettings() != written) __builtin_trap();

  if (!s.printer.BeginDoc()) __builtin_trap();
  s.pr->GoPrint();
  s.printer.EndDoc();
  if (s.pr->GetPageCount() < 1 || s.pr->GetPageCount() > 6 * 4) __builtin_trap();
  return 0;
}
