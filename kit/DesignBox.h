// A generic layout design surface, a stand-alone component. Given a container of controls as its
// parent (the target) and made visible, it hides the target's labels, edit boxes and memos, paints
// an image of each on itself, and lets the user select them (click, Ctrl+click, rubber band), move
// them by dragging and resize them by eight handles, with an optional snap grid. Made invisible,
// it gives the controls back their visibility in their new places, with the tab order following
// their places.
//
// Item rectangles are in the surface's client coordinates; the surface sits at (0, 0) of the
// target while designing. The surface never frees the designed controls. Descendants put a
// control in place their own way by overriding MoveControl and ResizeControl.
// User-interface thread only.
#pragma once

#include <cstdint>

#include "platform/Classes.h"
#include "platform/Controls.h"
#include "platform/StdCtrls.h"

// One designed control.
struct TDesignItem {
  TControl* Control = nullptr;  // not owned
  TRect Rect;                   // its bounds on the surface
  bool Selected = false;
  bool Visible = true;          // its visibility when designing started
};

// The items of a design surface, owned: Clear frees them, last first.
class TDesignItems : public TList {
 public:
  TDesignItems() = default;
  TDesignItems(const TDesignItems&) = delete;
  TDesignItems& operator=(const TDesignItems&) = delete;
  ~TDesignItems() override;
  TDesignItem* Items(int i) const { return static_cast<TDesignItem*>(TList::Items(i)); }
  // Takes ownership of the item.
  int Add(TDesignItem* item) { return TList::Add(item); }
  void Clear() override;
};

class TDesignBox : public TPaintBox {
 public:
  static constexpr int kHandleSize = 6;

  explicit TDesignBox(TComponent* owner);
  ~TDesignBox() override;

  // The parent becomes the target.
  void SetParent(TWinControl* parent) override;
  // Only with a target: showing starts designing, hiding stops it.
  void SetVisible(bool v) override;
  TWinControl* Target() const { return target_; }
  bool Running() const { return running_; }
  // Grid dots, and moves snapped to the grid.
  bool Grid() const { return grid_; }
  void SetGrid(bool v);
  int GridSize() const { return gridSize_; }

  void Start();
  void Stop();

  TDesignItems* Items() { return &items_; }
  bool IsSelected(TControl* control);
  TDesignItem* ItemOf(TControl* control);
  // The last item whose rectangle holds the point, else the last with a handle there, else null.
  TDesignItem* ItemAt(int x, int y);
  void SetSelect(TDesignItem* item, bool selected);
  void SetSelectAll(bool selected);
  // The item's rectangle from its control's bounds now.
  void SetBRect(TDesignItem* item);
  // The surface covers the target's client area and every item.
  void CheckSize();
  // Windowed controls get tab positions by their rectangles: top, then left.
  void ResetTabOrder();
  // The square of sizing handle 0-7 of a rectangle.
  static TRect GetSizingRect(const TRect& r, int handle);

  // Put a control at a rectangle given in the target's coordinates: MoveControl keeps its size.
  virtual void MoveControl(TControl* control, const TRect& r);
  virtual void ResizeControl(TControl* control, const TRect& r);

  // A control's image: with frame, a sunken two-pixel edge; the inside filled with the brush and
  // the text drawn in the font, aligned, wrapped or on one line standing at the bottom.
  static void TextFrameRect(TCanvas* canvas, TRect r, const AnsiString& text, const TFont* font,
                            const TBrush* brush, TAlignment alignment, bool wordWrap, bool singleLine,
                            bool frame);

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

  // Surface coordinates to the target's.
  TRect TransRect(const TRect& r) const;

 private:
  enum : uint8_t { dmNone = 0, dmBand = 1, dmMove = 2, dmResize = 3 };
  void PaintControl(TDesignItem* item);
  // The first handle of the item's rectangle holding the point, or -1.
  int CheckResizePos(TDesignItem* item, int x, int y);
  // A moved rectangle put on the grid.
  TRect AdjustMoveRect(const TRect& r) const;
  TRect GetResizeRect(TDesignItem* item, int dx, int dy, int handle) const;
  void MoveControls(int dx, int dy);
  void ResizeControls(int dx, int dy, int handle);
  void DrawDragFigure();

  TDesignItems items_;
  TWinControl* target_ = nullptr;
  bool running_ = false;
  bool grid_ = true;
  int gridSize_ = 8;
  uint8_t dragMode_ = dmNone;
  bool dragging_ = false;
  TPoint start_;
  TPoint current_;
  int handle_ = -1;
};

