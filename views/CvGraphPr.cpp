#include "views/CvGraphPr.h"

#include <cmath>

#include "platform/SysUtils.h"

namespace {

int Trunc(double v) { return static_cast<int>(std::trunc(v)); }

}  // namespace

int TCvGraphPr::GetPageCount() { return Chart ? 1 : TKelmGridPr::GetPageCount(); }

void TCvGraphPr::GoPrint() {
  if (!Chart) {
    TKelmGridPr::GoPrint();
    return;
  }
  canvas_ = GetPrinter()->Canvas();
  pvRatioX = pvRatioY = 1.0;
  UpdatePrinter();
  PrintChart();
}

void TCvGraphPr::BeginPreview(TBitmap* bitmap) {
  if (!Chart) {
    TKelmGridPr::BeginPreview(bitmap);
    return;
  }
  if (!TargetGrid() || !bitmap) return;
  canvas_ = bitmap->Canvas();
  UpdatePrinter();
  canvas_->Font()->Assign(*Chart->Font());
  pvRatioX = (kScreenPixelsPerInch * ScreenRatioX / 1000) / double(std::max(1, Xres()));
  pvRatioY = (kScreenPixelsPerInch * ScreenRatioY / 1000) / double(std::max(1, Yres()));
  TPrinter* printer = GetPrinter();
  bitmap->SetSize(Trunc(printer->PageWidth() * pvRatioX), Trunc(printer->PageHeight() * pvRatioY));
  canvas_ = bitmap->Canvas();
  previewRect_ = Rect(0, 0, bitmap->Width(), bitmap->Height());
  curX_ = curY_ = 1;
  ErasePV();
  PrintChart();
}

bool TCvGraphPr::PreviewNextPage() { return Chart ? false : TKelmGridPr::PreviewNextPage(); }

bool TCvGraphPr::PreviewPriorPage() { return Chart ? false : TKelmGridPr::PreviewPriorPage(); }

void TCvGraphPr::InitCanvas() {
  TFont font;
  font.Assign(*Chart->Font());
  int px = font.PixelSize();
  if (pvRatioY != 1.0) px = px * ScreenRatioY / 1000;
  if (Scale != 100) px = px * Scale / 100;
  font.SetPixelSize(std::max(1, px));
  canvas_->Font()->Assign(font);
}

void TCvGraphPr::PrintChart() {
  if (!Chart || !canvas_) return;
  InitCanvas();
  TPrinter* printer = GetPrinter();
  const TRect m = MarginPixels();
  const TRect area = Rect(Trunc(m.Left * pvRatioX), Trunc(m.Top * pvRatioY),
                          Trunc((printer->PageWidth() - m.Right) * pvRatioX),
                          Trunc((printer->PageHeight() - m.Bottom) * pvRatioY));
  Chart->Draw(canvas_, area);
}
