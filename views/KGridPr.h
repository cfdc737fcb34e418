// The grid printer and its page engine. It prints an extended string grid on a printer and draws
// the same pages into a bitmap for the print preview: the grid is cut into vertical pages (runs
// of rows) and horizontal strips (runs of columns) that fit inside the margins, the fixed rows and
// columns repeat on every page, and a footer carries the page number and the print date.
//
// Units: margins in millimetres; grid sizes in screen pixels; positions on a page in printer dots
// times pvRatio (1.0 on the printer; screen pixels per printer dot, times the zoom, in the
// preview). The five virtual operations are the interface of the whole printer family: the
// preview drives any printer through them alone. Pagination and drawing never throw: an unusable
// printer gives empty pages. User-interface thread only.
#pragma once

#include <functional>
#include <vector>

#include "platform/Printers.h"
#include "views/StringGridEx.h"

// Draws a printed cell in place of the printer.
using TDrawCellProc = std::function<void(int col, int row, const TRect& rect)>;
// Supplies a printed cell's text and whether its lines are drawn; firstLine is true for the
// cells of the first body row of each page.
using TGetCellStringProc = std::function<void(AnsiString& text, bool& drawLine, int col, int row, bool firstLine)>;

class TKelmGridPr : public TComponent {
 public:
  explicit TKelmGridPr(TComponent* owner);
  ~TKelmGridPr() override;

  // The page count of the last pagination (strips times vertical pages).
  virtual int GetPageCount();
  // Prints pages FromPage..ToPage of every strip on the printer, strip by strip; the caller
  // begins the printer's document before and ends it after.
  virtual void GoPrint();
  // Sizes the bitmap to a page, paginates and draws the first page of the first strip into it.
  virtual void BeginPreview(TBitmap* bitmap);
  // Draw the next (previous) page into the preview bitmap, across strips; true while pages
  // remain after (before) the one drawn. At the last (first) page nothing is drawn and the
  // result is false.
  virtual bool PreviewNextPage();
  virtual bool PreviewPriorPage();

  // Paginates the target grid for the printer as it is now.
  void UpdatePrinter();
  // Draws one page (strip and vertical page from 1) on the current canvas.
  void Print(bool preview, int strip, int page);
  // Fills the preview bitmap with white.
  void ErasePV();
  // Millimetres to pixels on the current output and back, truncated.
  int printerPixelsX(int mm) const;
  int printerPixelsY(int mm) const;
  int printerMmX(int px) const;
  int printerMmY(int px) const;

  // ---- Properties ----
  TNotifyEvent OnBeginPage;
  TNotifyEvent OnEndPage;
  int MojiTop = 2;   // text inset from a cell's top edge, in grid pixels
  int MojiLeft = 5;  // text inset from a cell's left and right edges, in grid pixels
  int LeftMargin = 10, TopMargin = 10, RightMargin = 5, BottomMargin = 10;  // mm
  int ScreenRatioX = 1000, ScreenRatioY = 1000;                             // preview zoom in thousandths
  TStringGridEx* TargetGrid() const { return grid_; }
  void SetTargetGrid(TStringGridEx* grid) { grid_ = grid; }
  // Multipliers of the grid's line width for data cells and for fixed cells and the frame;
  // values below 1 are ignored.
  int NormalGridWidth() const { return normalGridWidth_; }
  void SetNormalGridWidth(int w);
  int FixedGridWidth() const { return fixedGridWidth_; }
  void SetFixedGridWidth(int w);
  // Repeat the fixed rows and columns on every page; changing it paginates again.
  bool DrawFixedArea() const { return drawFixedArea_; }
  void SetDrawFixedArea(bool v);
  TDrawCellProc OnDrawCell;
  // Line style: open lines (a data cell's top and left edges, and an outer frame) or a full
  // rectangle around every cell.
  bool KelmLine = true;
  int StartPageNum = 1;  // the number of the first vertical page
  bool ShowPageNum = true;
  bool ShowPrintDate = true;
  bool DrawLine = true;
  TGetCellStringProc OnGetCellString;
  void SetOnGetCellString(TGetCellStringProc f) { OnGetCellString = std::move(f); }
  int Xres() const { return xres_; }
  int Yres() const { return yres_; }
  double pvRatioX = 1.0, pvRatioY = 1.0;

  // Vertical pages to print: FromPage below 1 is 1; ToPage below 1 is -1, to the last page.
  int FromPage() const { return fromPage_; }
  void SetFromPage(int p) { fromPage_ = p < 1 ? 1 : p; }
  int ToPage() const { return toPage_; }
  void SetToPage(int p) { toPage_ = p < 1 ? -1 : p; }
  int Scale = 100;  // percent; the next GoPrint or BeginPreview paginates with it
  int Orientation = 0;
  int SplitX = 1, SplitY = 1;  // cards per page across and down (card printers)
  int SkipNum = 0;             // card slots left empty at the start
  int RepeatNum = 1;           // copies of each card

  // The printer that takes the pages: the program's own unless another was given (not owned).
  TPrinter* GetPrinter() const { return printer_ ? printer_ : Printer(); }
  void SetPrinter(TPrinter* p) { printer_ = p; }
  // Where the pages are drawn: the printer's canvas or the preview bitmap's.
  TCanvas* Canvas() const { return canvas_; }

  // ---- Pagination ----
  int PageCountX() const { return pageCountX_; }
  int PageCountY() const { return pageCountY_; }
  int PageCount() const { return pageCountX_ * pageCountY_; }
  // The first column of strip i and the first row of vertical page i (from 1; 0 beyond the
  // last). Setting entry i drops the entries after it.
  int GetYokopageStartAt(int i) const;
  void SetYokopageStartAt(int i, int col);
  int GetTatepageStartAt(int i) const;
  void SetTatepageStartAt(int i, int row);
  double FactorX() const { return factorX_; }  // printer dots per grid pixel, Scale included
  double FactorY() const { return factorY_; }
  const TRect& MarginPixels() const { return marginPx_; }  // printer dots
  int CurrentStrip() const { return curX_; }
  int CurrentPage() const { return curY_; }
  const TRect& PreviewRect() const { return previewRect_; }

 protected:
  // The pen, brush and font at the start of a page.
  void SetUpCanvas();
  // The font scaled as the output asks (the preview's zoom, then Scale).
  void ScaleFont(TFont* font) const;
  // The canvas takes the font, scaled.
  void UseFont(const TFont& font);
  void PrintCell(int col, int row, bool fixed, bool firstLine, long double& x, long double y, long double h);
  void PrintFooter(int page);
  TCanvas* canvas_ = nullptr;
  TRect marginPx_;
  int printableWidth_ = 0, printableHeight_ = 0;
  int curX_ = 1, curY_ = 1;
  TRect previewRect_;
  int mx_ = 0, my_ = 0;  // text insets of the page being drawn

 private:
  TStringGridEx* grid_ = nullptr;
  TPrinter* printer_ = nullptr;
  int normalGridWidth_ = 1, fixedGridWidth_ = 2;
  bool drawFixedArea_ = true;
  int xres_ = 0, yres_ = 0;
  int fromPage_ = 1, toPage_ = -1;
  double factorX_ = 1.0, factorY_ = 1.0;
  std::vector<int> stripStarts_{0}, pageStarts_{0};  // entry 0 unused
  int pageCountX_ = 1, pageCountY_ = 1;
};
