// The image control: a picture on a form.
#pragma once

#include "platform/Controls.h"

// Shows its picture at the top-left corner, or stretched over the control with Stretch; with
// AutoSize the control takes the picture's size. After drawing on Picture() the program calls
// Invalidate (setting a picture shows it at once).
class TImage : public TCustomControl {
 public:
  explicit TImage(TComponent* owner);
  TBitmap* Picture() { return &picture_; }
  void SetPicture(const TBitmap& picture);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  bool Stretch() const { return stretch_; }
  void SetStretch(bool v);

 protected:
  void Paint() override;

 private:
  void Fit();
  TBitmap picture_;
  bool autoSize_ = false;
  bool stretch_ = false;
};
