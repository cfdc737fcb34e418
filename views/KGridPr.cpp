#include "views/KGridPr.h"

#include <algorithm>
#include <ctime>

namespace {

// The footer band: inset from each side of the paper, distance from its bottom edge, height (mm).
constexpr int kFooterSide = 10, kFooterBottom = 0, kFooterHeight = 8;

// Cuts items first..count-1 into runs that fit room beside the repeated part fixed. An item that
// fills the room exactly closes its run; one that overflows a run it shares starts the next run
// and is measured again there; one that overflows a run of its own stays there, cut off at the
// paper's edge. Writes the first item of every run into starts (from entry 1) and returns the
// number of runs.
template <class Size>
int Paginate(std::vector<int>& starts, int first, int count, long double fixed, long double room, const Size& size) {
  starts.assign({0, first});
  long double used = 0;
  bool alone = true;  // the item is the first of its run
  for (int i = first; i < count;) {
    used += size(i);
    const long double total = fixed + used;
    if (total < room) {
      alone = false;
      ++i;
      continue;
    }
    if (total == room || alone) ++i;
    if (i < count) starts.push_back(i);
    used = 0;
    alone = true;
  }
  return static_cast<int>(starts.size()) - 1;
}

// A length on the page, truncated. Settings texts from outside may hold any margin or scale: far
// beyond any page, a length stops at a billion dots, so that nothing overflows on the way.
int Trunc(long double v) {
  constexpr long double kLimit = 1e9;
  return static_cast<int>(std::clamp(v, -kLimit, kLimit));
}

int Entry(const std::vector<int>& list, int i) { return i >= 0 && i < static_cast<int>(list.size()) ? list[i] : 0; }

void SetEntry(std::vector<int>& list, int i, int value) {
  if (i < 0) return;
  list.resize(i + 1);
  list[i] = value;
}

}  // namespace

TKelmGridPr::TKelmGridPr(TComponent* owner) : TComponent(owner) { UpdatePrinter(); }

TKelmGridPr::~TKelmGridPr() = default;

void TKelmGridPr::SetNormalGridWidth(int w) {
  if (w >= 1) normalGridWidth_ = w;
}

void TKelmGridPr::SetFixedGridWidth(int w) {
  if (w >= 1) fixedGridWidth_ = w;
}

void TKelmGridPr::SetDrawFixedArea(bool v) {
  if (v == drawFixedArea_) return;
  drawFixedArea_ = v;
  UpdatePrinter();
}

int TKelmGridPr::GetYokopageStartAt(int i) const { return Entry(stripStarts_, i); }
void TKelmGridPr::SetYokopageStartAt(int i, int col) { SetEntry(stripStarts_, i, col); }
int TKelmGridPr::GetTatepageStartAt(int i) const { return Entry(pageStarts_, i); }
void TKelmGridPr::SetTatepageStartAt(int i, int row) { SetEntry(pageStarts_, i, row); }

int TKelmGridPr::printerPixelsX(int mm) const { return Trunc(pvRatioX * xres_ * static_cast<long double>(mm) / 25.4); }
int TKelmGridPr::printerPixelsY(int mm) const { return Trunc(pvRatioY * yres_ * static_cast<long double>(mm) / 25.4); }
int TKelmGridPr::printerMmX(int px) const {
  return pvRatioX > 0 && xres_ > 0 ? Trunc(px / pvRatioX / xres_ * 25.4) : 0;
}
int TKelmGridPr::printerMmY(int px) const {
  return pvRatioY > 0 && yres_ > 0 ? Trunc(px / pvRatioY / yres_ * 25.4) : 0;
}

// ---- Pagination ----

void TKelmGridPr::UpdatePrinter() {
  marginPx_ = Rect(LeftMargin, TopMargin, RightMargin, BottomMargin);
  if (!grid_) return;
  try {
    TPrinter* printer = GetPrinter();
    xres_ = std::max(1, printer->XResolution());
    yres_ = std::max(1, printer->YResolution());
    factorX_ = double(xres_) / kScreenPixelsPerInch * Scale / 100.0;
    factorY_ = double(yres_) / kScreenPixelsPerInch * Scale / 100.0;
    auto dots = [](int dpi, int mm) { return Trunc(dpi * static_cast<long double>(mm) / 25.4); };
    marginPx_ =
        Rect(dots(xres_, LeftMargin), dots(yres_, TopMargin), dots(xres_, RightMargin), dots(yres_, BottomMargin));
    printableWidth_ = printer->PageWidth() - marginPx_.Left - marginPx_.Right;
    printableHeight_ = printer->PageHeight() - marginPx_.Top - marginPx_.Bottom;

    const TStringGridEx& g = *grid_;
    const long double fy = factorY_, fx = factorX_;
    long double fixedHeight = 0, fixedWidth = 0;
    if (drawFixedArea_) {
      for (int r = 0; r < g.FixedRows(); ++r) fixedHeight += fy * g.RowHeights(r);
      for (int c = 0; c < g.FixedCols(); ++c) fixedWidth += fx * g.ColWidths(c);
    }
    pageCountY_ = Paginate(pageStarts_, drawFixedArea_ ? g.FixedRows() : 0, g.RowCount(), fixedHeight, printableHeight_,
                           [&](int r) { return fy * g.RowHeights(r); });
    pageCountX_ = Paginate(stripStarts_, drawFixedArea_ ? g.FixedCols() : 0, g.ColCount(), fixedWidth, printableWidth_,
                           [&](int c) { return fx * g.ColWidths(c); });
  } catch (...) {
  }
}

int TKelmGridPr::GetPageCount() { return PageCount(); }

// ---- Drawing ----

void TKelmGridPr::ScaleFont(TFont* font) const {
  int px = font->PixelSize();
  if (pvRatioY != 1.0 && ScreenRatioY != 1000) px = Trunc(static_cast<long double>(px) * ScreenRatioY / 1000);
  if (Scale != 100) px = Trunc(static_cast<long double>(Scale) * px / 100 + 0.5);
  font->SetPixelSize(std::max(1, px));
}

void TKelmGridPr::UseFont(const TFont& font) {
  // Scaled before it reaches the canvas, so that cells in the same font keep the canvas's
  // measures.
  TFont scaled;
  scaled.Assign(font);
  ScaleFont(&scaled);
  canvas_->Font()->Assign(scaled);
}

void TKelmGridPr::SetUpCanvas() {
  canvas_->Pen()->SetColor(clBlack);
  canvas_->Brush()->SetStyle(bsClear);
  UseFont(*grid_->Font());
}

void TKelmGridPr::Print(bool preview, int strip, int page) {
  if (!grid_ || !canvas_) return;
  try {
    const TStringGridEx& g = *grid_;
    // Text insets follow the printed size of the cells.
    mx_ = Trunc(pvRatioX * MojiLeft * factorX_ + 0.5);
    my_ = Trunc(pvRatioY * MojiTop * factorY_ + 0.5);
    curX_ = strip;
    curY_ = page;
    SetUpCanvas();
    if (OnBeginPage) {
      OnBeginPage(this);
      SetUpCanvas();
    }
    const int lastRow = page < pageCountY_ ? GetTatepageStartAt(page + 1) - 1 : g.RowCount() - 1;
    const int lastCol = strip < pageCountX_ ? GetYokopageStartAt(strip + 1) - 1 : g.ColCount() - 1;
    const int firstCol = GetYokopageStartAt(strip);
    const long double left = pvRatioX * marginPx_.Left;
    long double y = pvRatioY * marginPx_.Top, x = left;

    auto printRow = [&](int row, bool headRow, bool firstLine) {
      const long double h = static_cast<long double>(g.RowHeights(row)) * factorY_ * pvRatioY;
      x = left;
      if (drawFixedArea_)
        for (int c = 0; c < g.FixedCols(); ++c) PrintCell(c, row, true, firstLine, x, y, h);
      for (int c = firstCol; c <= lastCol; ++c)
        PrintCell(c, row, headRow || c < g.FixedCols() || row < g.FixedRows(), firstLine, x, y, h);
      y += h;
    };
    if (drawFixedArea_)
      for (int r = 0; r < g.FixedRows(); ++r) printRow(r, true, false);
    for (int r = GetTatepageStartAt(page); r <= lastRow; ++r) printRow(r, false, r == GetTatepageStartAt(page));

    if (DrawLine && KelmLine) {
      const int keep = canvas_->Pen()->Width();
      canvas_->Pen()->SetWidth(Trunc(pvRatioX * g.GridLineWidth() * fixedGridWidth_ * factorX_));
      canvas_->Brush()->SetStyle(bsClear);
      canvas_->Rectangle(Trunc(left), Trunc(pvRatioY * marginPx_.Top), Trunc(x) + 1, Trunc(y) + 1);
      canvas_->Pen()->SetWidth(keep);
    }
    PrintFooter(page);
    if (OnEndPage) OnEndPage(this);
  } catch (...) {
  }
}

void TKelmGridPr::PrintCell(int col, int row, bool fixed, bool firstLine, long double& x, long double y,
                            long double h) {
  const TStringGridEx& g = *grid_;
  const long double w = static_cast<long double>(g.ColWidths(col)) * factorX_ * pvRatioX;
  const TRect rect = Rect(Trunc(x), Trunc(y), Trunc(x + w), Trunc(y + h));
  x += w;
  if (OnDrawCell) {
    OnDrawCell(col, row, rect);
    return;
  }
  AnsiString text;
  bool drawLine = true;
  if (OnGetCellString)
    OnGetCellString(text, drawLine, col, row, firstLine);
  else
    text = g.Cells(col, row);

  TGridColumn* column = col < grid_->GridColumns()->Count() ? grid_->GridColumns()->Items(col) : nullptr;
  // Record data may hold "&": it is printed as it stands, never as an accelerator mark.
  unsigned format = DT_EDITCONTROL | DT_NOPREFIX;
  if (column && column->Wordwrap()) format |= DT_WORDBREAK;
  if (fixed) {
    format |= DT_CENTER;
  } else if (column) {
    if (column->Alignment() == taRightJustify) format |= DT_RIGHT;
    if (column->Alignment() == taCenter) format |= DT_CENTER;
  }

  if (fixed) {
    UseFont(column ? *column->FixCellFont() : *g.Font());
    canvas_->Brush()->SetColor(g.FixedColor());
  } else {
    UseFont(column ? *column->Font() : *g.Font());
    canvas_->Brush()->SetColor(row % 2 == 0 ? g.StripeColor() : g.Color());
  }
  canvas_->Brush()->SetStyle(bsSolid);
  canvas_->FillRect(rect);

  if (DrawLine) {
    const long double lw = pvRatioX * g.GridLineWidth() * factorX_;
    TPen* pen = canvas_->Pen();
    const int keep = pen->Width();
    pen->SetWidth(Trunc(lw * (fixed ? fixedGridWidth_ : normalGridWidth_)));
    canvas_->Brush()->SetStyle(bsClear);
    if (fixed || !KelmLine) {
      canvas_->Rectangle(rect.Left, rect.Top, rect.Right + 1, rect.Bottom + 1);
    } else {
      if (drawLine) {
        canvas_->MoveTo(rect.Left, rect.Top);
        canvas_->LineTo(rect.Right, rect.Top);
      }
      canvas_->MoveTo(rect.Left, rect.Top);
      canvas_->LineTo(rect.Left, rect.Bottom);
    }
    pen->SetWidth(keep);
  }

  TRect textRect = Rect(rect.Left + mx_, rect.Top + my_, rect.Right - mx_, rect.Bottom);
  canvas_->Brush()->SetStyle(bsClear);
  canvas_->DrawText(text, textRect, format);
}

void TKelmGridPr::PrintFooter(int page) {
  if (!ShowPageNum && !ShowPrintDate) return;
  TPrinter* printer = GetPrinter();
  TFont keep;
  keep.Assign(*canvas_->Font());
  canvas_->Font()->Assign(*grid_->Font());
  canvas_->Brush()->SetStyle(bsClear);
  TRect band;
  band.Left = printerPixelsX(kFooterSide);
  band.Right = Trunc(printer->PageWidth() * pvRatioX) - printerPixelsX(kFooterSide);
  band.Bottom = Trunc(printer->PageHeight() * pvRatioY) - printerPixelsY(kFooterBottom);
  band.Top = band.Bottom - printerPixelsY(kFooterHeight);
  if (ShowPageNum) {
    TRect r = band;
    canvas_->DrawText(SJ("－ ") + IntToStr(page + StartPageNum - 1) + SJ(" －"), r, DT_CENTER | DT_NOPREFIX);
  }
  if (ShowPrintDate) {
    TRect r = band;
    canvas_->DrawText(SJ("印刷日：") + DateTimeToStr(std::time(nullptr)).substr(0, 10), r, DT_RIGHT | DT_NOPREFIX);
  }
  canvas_->Font()->Assign(keep);
}

// ---- Printing and preview ----

void TKelmGridPr::GoPrint() {
  if (!grid_) return;
  canvas_ = GetPrinter()->Canvas();
  pvRatioX = pvRatioY = 1.0;
  UpdatePrinter();
  // Pages past the end are never asked for: no blank sheets.
  const int last = toPage_ >= 1 && toPage_ <= pageCountY_ ? toPage_ : pageCountY_;
  bool first = true;
  for (int x = 1; x <= pageCountX_; ++x) {
    for (int y = fromPage_; y <= last; ++y) {
      if (!first) GetPrinter()->NewPage();
      first = false;
      Print(false, x, y);
    }
  }
}

void TKelmGridPr::ErasePV() {
  if (!canvas_) return;
  canvas_->Brush()->SetColor(clWhite);
  canvas_->Brush()->SetStyle(bsSolid);
  canvas_->FillRect(previewRect_);
  canvas_->Brush()->SetStyle(bsClear);
}

void TKelmGridPr::BeginPreview(TBitmap* bitmap) {
  if (!grid_ || !bitmap) return;
  canvas_ = bitmap->Canvas();
  UpdatePrinter();
  canvas_->Font()->Assign(*grid_->Font());
  pvRatioX = Trunc(static_cast<long double>(kScreenPixelsPerInch) * ScreenRatioX / 1000) / double(xres_);
  pvRatioY = Trunc(static_cast<long double>(kScreenPixelsPerInch) * ScreenRatioY / 1000) / double(yres_);
  TPrinter* printer = GetPrinter();
  bitmap->SetSize(Trunc(printer->PageWidth() * pvRatioX), Trunc(printer->PageHeight() * pvRatioY));
  canvas_ = bitmap->Canvas();
  previewRect_ = Rect(0, 0, bitmap->Width(), bitmap->Height());
  curX_ = curY_ = 1;
  ErasePV();
  Print(true, 1, 1);
}

bool TKelmGridPr::PreviewNextPage() {
  if (!grid_ || !canvas_) return false;
  int x = curX_, y = curY_ + 1;
  if (y > pageCountY_) {
    ++x;
    y = 1;
  }
  if (x > pageCountX_) return false;
  ErasePV();
  Print(true, x, y);
  return !(x == pageCountX_ && y == pageCountY_);
}

bool TKelmGridPr::PreviewPriorPage() {
  if (!grid_ || !canvas_) return false;
  int x = curX_, y = curY_ - 1;
  if (y < 1) {
    --x;
    y = pageCountY_;
  }
  if (x < 1) return false;
  ErasePV();
  Print(true, x, y);
  return !(x == 1 && y == 1);
}
