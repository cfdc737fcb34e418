// The main window's printer: the grid printer, or, while Chart is set, that chart as one page
// filling the area inside the margins (printed, and previewed with the same drawing).
// User-interface thread only.
#pragma once

#include "platform/Chart.h"
#include "views/KGridPr.h"

class TCvGraphPr : public TKelmGridPr {
 public:
  explicit TCvGraphPr(TComponent* owner) : TKelmGridPr(owner) {}

  TChart* Chart = nullptr;  // not owned; null prints the target grid

  int GetPageCount() override;
  void GoPrint() override;
  // A chart preview draws nothing without a target grid (the pagination gives the margins).
  void BeginPreview(TBitmap* bitmap) override;
  bool PreviewNextPage() override;
  bool PreviewPriorPage() override;

  // The canvas takes the chart's font, scaled for the preview's zoom and Scale.
  void InitCanvas();
  // Draws the chart page on the current canvas.
  void PrintChart();
};
