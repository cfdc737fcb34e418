// Containers: the panel and the scroll box.
#pragma once

#include "platform/Forms.h"

enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };

// A raised container with an optional centred caption, filled with its colour.
class TPanel : public TWinControl {
 public:
  explicit TPanel(TComponent* owner);
  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut b);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut b);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment a);
  int ClientWidth() const override;
  int ClientHeight() const override;

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;

 private:
  int BorderWidth() const;
  TBevelCut bevelOuter_ = bvRaised;
  TBevelCut bevelInner_ = bvNone;
  TAlignment alignment_ = taCenter;
};

class TScrollBox;

// One scroll bar of a scroll box: the extent of the content (Range) and the part scrolled out of
// view (Position, 0 to Range less the visible extent).
class TControlScrollBar {
 public:
  int Position() const { return position_; }
  void SetPosition(int p);
  int Range() const { return range_; }
  void SetRange(int r);
  // While tracking, the content follows the thumb as it is dragged.
  bool Tracking() const { return tracking_; }
  void SetTracking(bool t);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  int Increment = 8;
  // Whether the bar shows now (visible, and the content larger than the view).
  bool IsScrollBarVisible() const;

 private:
  friend class TScrollBox;
  TControlScrollBar(TScrollBox* box, bool horizontal) : box_(box), horizontal_(horizontal) {}
  int MaxPosition() const;
  TScrollBox* box_;
  bool horizontal_;
  int position_ = 0;
  int range_ = 0;
  bool tracking_ = false;
  bool visible_ = true;
};

// A container whose content scrolls. Children keep their coordinates in the content; the view
// shows the content moved by the scroll positions. With AutoScroll the ranges follow the
// children's extent.
class TScrollBox : public TWinControl {
 public:
  explicit TScrollBox(TComponent* owner);
  ~TScrollBox() override;
  TControlScrollBar* HorzScrollBar() { return &horz_; }
  TControlScrollBar* VertScrollBar() { return &vert_; }
  bool AutoScroll() const { return autoScroll_; }
  void SetAutoScroll(bool v);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle b);
  // The visible part of the content, inside the border and the scroll bars that show.
  int ClientWidth() const override;
  int ClientHeight() const override;
  QWidget* ClientWidget() const override { return content_; }

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void SyncWidget() override;
  void ControlBoundsChanged(TControl* c) override;
  // The wheel scrolls the content three steps a notch.
  bool DoMouseWheelDown(TShiftState shift, TPoint mousePos) override;
  bool DoMouseWheelUp(TShiftState shift, TPoint mousePos) override;

 private:
  friend class TControlScrollBar;
  void UpdateRange();
  void ScrollChanged();
  int Border() const { return borderStyle_ == bsNone ? 0 : 2; }
  TControlScrollBar horz_{this, true};
  TControlScrollBar vert_{this, false};
  bool autoScroll_ = true;
  TBorderStyle borderStyle_ = bsSingle;
  QWidget* content_ = nullptr;
  bool syncing_ = false;
};
