// The base of the controls that draw a scrolled list of lines themselves (tree view, list boxes).
#pragma once

#include <memory>

#include "platform/Forms.h"

class QScrollBar;

// A control that draws a view of its content inside an optional sunken border, with scroll bars
// that show when the content does not fit: the vertical one steps in lines of LineHeight pixels
// (TopLine is the first line shown), the horizontal one in pixels (ScrollLeft). The derived
// control reports the content's extent through ContentLines and ContentWidth, and calls
// ContentChanged whenever that may have changed; the bars catch up when the event loop next runs.
class TCustomScrollView : public TCustomControl {
 public:
  explicit TCustomScrollView(TComponent* owner);
  ~TCustomScrollView() override;

  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle b);
  int TopLine() const { return topLine_; }
  void SetTopLine(int line);
  int ScrollLeft() const { return scrollLeft_; }
  void SetScrollLeft(int x);
  // Where the content shows, in client coordinates (inside the border and the scroll bars).
  TRect ViewRect();
  // Lines that fit whole in the view (at least 1).
  int VisibleLines();

 protected:
  int LineHeight() const { return lineHeight_; }
  void SetLineHeight(int h);
  virtual int ContentLines() = 0;
  virtual int ContentWidth() { return 0; }
  void ContentChanged();
  // Scrolls as little as needed for the line to show whole.
  void ScrollIntoView(int line);
  // Draws the content into the view rectangle (the canvas is clipped to it).
  virtual void PaintView(TCanvas* canvas, const TRect& view) = 0;
  void Paint() override;
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;
  void Resize() override;
  bool DoMouseWheelDown(TShiftState shift, TPoint mousePos) override;
  bool DoMouseWheelUp(TShiftState shift, TPoint mousePos) override;

 private:
  struct Layout {
    TRect view;
    bool vertical = false, horizontal = false;
  };
  Layout ComputeLayout();
  void ClampScroll();
  void SyncBars();
  TBorderStyle borderStyle_ = bsSingle;
  int lineHeight_ = 16;
  int topLine_ = 0;
  int scrollLeft_ = 0;
  QScrollBar* vbar_ = nullptr;
  QScrollBar* hbar_ = nullptr;
  bool syncing_ = false;
  bool syncPosted_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
