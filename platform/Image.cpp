#include "platform/Image.h"

TImage::TImage(TComponent* owner) : TCustomControl(owner) {
  SetBounds(0, 0, 105, 105);
  SetParentColor(true);
}

void TImage::SetPicture(const TBitmap& picture) {
  picture_ = picture;
  Fit();
  Invalidate();
}

void TImage::SetAutoSize(bool v) {
  autoSize_ = v;
  Fit();
}

void TImage::SetStretch(bool v) {
  stretch_ = v;
  Invalidate();
}

void TImage::Fit() {
  if (autoSize_ && !picture_.Empty()) SetBounds(Left(), Top(), picture_.Width(), picture_.Height());
}

void TImage::Paint() {
  if (picture_.Empty()) return;
  if (stretch_)
    Canvas()->StretchDraw(Rect(0, 0, Width(), Height()), picture_);
  else
    Canvas()->Draw(0, 0, picture_);
}
