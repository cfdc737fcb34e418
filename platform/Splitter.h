// The splitter: a bar between two aligned controls that the user drags to share the space.
#pragma once

#include "platform/Controls.h"

// Stands aligned beside the control it resizes: dragging it with the left button changes that
// control's width (aligned left or right) or height (aligned top or bottom), leaving each side at
// least MinSize pixels.
class TSplitter : public TCustomControl {
 public:
  explicit TSplitter(TComponent* owner);
  int MinSize = 30;
  TNotifyEvent OnMoved;
  // The control the splitter resizes: the one aligned the same way whose edge touches it.
  TControl* Neighbour();

 protected:
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void SyncWidget() override;

 private:
  bool Horizontal() const { return Align() == alTop || Align() == alBottom; }
  TControl* dragged_ = nullptr;
  int startSize_ = 0;
  TPoint start_;
};
