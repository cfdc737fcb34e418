// A layout design surface. Put on a container of controls (its parent, the target) and made
// visible, it hides the target's labels, edit boxes, string grids, pictures and memos, paints an
// image of each on itself, and lets the user select them (click, Ctrl+click, rubber band), move
// them by dragging and resize them by eight handles, with an 8-pixel grid. Made invisible, it
// shows the controls again where the user put them, with the tab order following their places.
//
// Rectangles of the designed controls are in the surface's client coordinates; the surface sits
// at (0, 0) of the target while designing. The surface never frees the target's controls; a
// control must not be freed while it is designed unless its item is removed first.
// User-interface thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Controls.h"
#include "platform/StdCtrls.h"

class TStringGrid;

// The square of side size of sizing handle 0-7 inside r: 0 top-left, 1 bottom-left, 2
// bottom-right, 3 top-right, 4 left middle, 5 bottom middle, 6 right middle, 7 top middle.
void SizingHandleRect(TRect& out, const TRect& r, int handle, int size);
// r with left <= right and top <= bottom.
void NormalizeRect(const TRect& in, TRect& out);
TRect MovedRect(const TRect& r, int dx, int dy);
// Whether the rectangles share some area; touching edges do not count.
bool RectsOverlap(const TRect& a, const TRect& b);
// A moved rectangle put on a grid of g pixels: left and top to the nearest grid line (halfway
// going back), and not above or left of 0; its size is kept.
TRect SnapToGrid(const TRect& r, int g);
// The pointer shape over sizing handle 0-7.
TCursor SizingHandleCursor(int handle);
// The selection mark of a designed control: a two-pixel black frame inside r and its eight
// sizing handles filled black.
void DrawSelectionMark(TCanvas* canvas, const TRect& r, int handleSize);
// One-pixel grid dots every g pixels, from one step on, inside width x height.
void DrawGridDots(TCanvas* canvas, int width, int height, int g);

// One designed control.
struct TCvDesignItem {
  TControl* Control = nullptr;  // not owned
  TRect Rect;                   // its bounds on the surface
  bool Selected = false;
  bool Visible = true;          // its visibility when designing ends
};

// The designed controls' items, owned.
class TCvDesignItems {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  TCvDesignItem* Items(int i) const { return items_.at(i).get(); }
  TCvDesignItem* Add(TControl* control, const TRect& rect, bool visible);
  // Frees the item.
  void Remove(TCvDesignItem* item);
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TCvDesignItem>> items_;
};

class TCvDesignBox : public TPaintBox {
 public:
  static constexpr int kHandleSize = 6;

  explicit TCvDesignBox(TComponent* owner);
  ~TCvDesignBox() override;

  // The parent becomes the target.
  void SetParent(TWinControl* parent) override;
  // With a target: showing starts designing, hiding stops it.
  void SetVisible(bool v) override;
  TWinControl* Target() const { return target_; }
  bool Active() const { return active_; }
  // Grid dots, and moves snapped to the grid.
  bool Grid() const { return grid_; }
  void SetGrid(bool v);
  int GridSize() const { return gridSize_; }

  void Start();
  void Stop();
  // The target changed its size.
  void DoResize() { CheckSize(); }

  TCvDesignItems* Items() { return &items_; }
  bool IsSelected(TControl* control);
  TCvDesignItem* ItemOf(TControl* control);
  // The last item whose rectangle holds the point, else the last with a handle there, else null.
  TCvDesignItem* ItemAt(int x, int y);
  void SetSelect(TCvDesignItem* item, bool selected);
  void SetSelectAll(bool selected);
  // The item's rectangle from its control's bounds now.
  void SetBRect(TCvDesignItem* item);
  // The surface covers the target's client area and every item.
  void CheckSize();
  // Windowed controls get tab positions by their rectangles: top, then left.
  void ResetTabOrder();

  // Put a control at a rectangle given in the target's coordinates.
  virtual void MoveControl(TControl* control, const TRect& r);
  virtual void ResizeControl(TControl* control, const TRect& r);

  // A control's image: with frame, a sunken two-pixel edge; the inside filled with the brush and
  // the text drawn in the font, aligned, wrapped or on one line standing at the bottom.
  static void TextFrameRect(TCanvas* canvas, TRect r, const AnsiString& text, const TFont* font,
                            const TBrush* brush, TAlignment alignment, bool wordWrap, bool singleLine,
                            bool frame);
  // A string grid's image: its colour, and the cells of its first row as framed, centred texts.
  static void PaintGrid(TCanvas* canvas, const TRect& r, TStringGrid* grid);

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

  // Surface coordinates to the target's.
  TRect ToTarget(const TRect& r) const;
  // The target's coordinates to the surface's.
  TPoint FromTarget(TPoint p) const;

 private:
  enum : uint8_t { dmNone = 0, dmBand = 1, dmMove = 2, dmResize = 3 };
  void PaintControl(TCvDesignItem* item);
  // The handle of the item's rectangle at the point, or -1.
  int CheckResizePos(TCvDesignItem* item, int x, int y);
  TRect SnapMove(const TRect& r) const { return SnapToGrid(r, gridSize_); }
  TRect GetResizeRect(TCvDesignItem* item, int dx, int dy, int handle) const;
  void MoveControls(int dx, int dy);
  void ResizeControls(int dx, int dy, int handle);
  void DrawDragFigure();

  TWinControl* target_ = nullptr;
  bool active_ = false;
  bool grid_ = true;
  int gridSize_ = 8;
  uint8_t dragMode_ = dmNone;
  bool moved_ = false;
  TPoint dragStart_;
  TPoint dragPoint_;
  int handle_ = 0;
  TCvDesignItems items_;
};
