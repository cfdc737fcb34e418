#include "tests/support/RecordingCanvas.h"

std::vector<AnsiString> TRecordingCanvas::Texts() const {
  std::vector<AnsiString> out;
  for (const Op& op : Ops)
    if (op.kind == opText) out.push_back(op.text);
  return out;
}

const TRecordingCanvas::Op* TRecordingCanvas::FindText(const AnsiString& text) const {
  for (const Op& op : Ops)
    if (op.kind == opText && op.text == text) return &op;
  return nullptr;
}

TRecordingCanvas::Op& TRecordingCanvas::Add(Kind kind) {
  Op& op = Ops.emplace_back();
  op.kind = kind;
  op.color = Pen()->Color();
  op.brush = Brush()->Color();
  op.brushStyle = Brush()->Style();
  op.mode = Pen()->Mode();
  op.clipped = clipped_;
  op.clip = clip_;
  return op;
}

void TRecordingCanvas::DevicePolyline(const TPoint* points, int count) { Add(opLine).points.assign(points, points + count); }

void TRecordingCanvas::DevicePolygon(const TPoint* points, int count) {
  Add(opPolygon).points.assign(points, points + count);
}

void TRecordingCanvas::DeviceShape(TShapeKind kind, const TRect& r, int, int) {
  Add(kind == skRectangle ? opRectangle : kind == skEllipse ? opEllipse : opRoundRect).rect = r;
}

void TRecordingCanvas::DeviceFill(const TRect& r, TColor color) {
  Op& op = Add(opFill);
  op.rect = r;
  op.color = color;
}

void TRecordingCanvas::DeviceText(int x, int y, const AnsiString& text) {
  Op& op = Add(opText);
  const TSize size = DeviceTextExtent(text);
  op.rect = Rect(x, y, x + size.cx, y + size.cy);
  op.text = text;
  op.color = Font()->Color();
  op.fontSize = Font()->PixelSize();
  op.fontStyle = Font()->Style();
}

TSize TRecordingCanvas::DeviceTextExtent(const AnsiString& text) {
  const int px = Font()->PixelSize();
  int w = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool dbcs = IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size();
    w += dbcs ? px : px / 2;
    i += dbcs;
  }
  return {w, px};
}

void TRecordingCanvas::DeviceFocusRect(const TRect& r) { Add(opFocusRect).rect = r; }

void TRecordingCanvas::DeviceImage(const TRect& r, const TBitmap&) { Add(opImage).rect = r; }

void TRecordingCanvas::DeviceClip(const TRect* r) {
  clipped_ = r != nullptr;
  clip_ = r ? *r : TRect{};
}
