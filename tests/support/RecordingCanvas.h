// A canvas for tests that records what is drawn on it instead of drawing. Text is measured
// without fonts: a single-byte character is half the font's pixel size wide, a double-byte one
// the whole pixel size, and a line is the pixel size high. So layouts can be checked to the pixel
// on any machine.
#pragma once

#include <vector>

#include "platform/Graphics.h"

class TRecordingCanvas : public TCanvas {
 public:
  enum Kind { opLine, opPolygon, opRectangle, opEllipse, opRoundRect, opFill, opText, opFocusRect, opImage };
  struct Op {
    Kind kind;
    std::vector<TPoint> points;  // lines and polygons
    TRect rect;                  // shapes, fills, images; a text's extent
    AnsiString text;
    TColor color = clBlack;      // pen (lines, shapes), fill, or font colour (text)
    TColor brush = clWhite;      // shapes and polygons; text with a solid brush
    TBrushStyle brushStyle = bsSolid;
    TPenMode mode = pmCopy;
    int fontSize = 0;            // text: pixel size
    TFontStyles fontStyle = 0;
    bool clipped = false;        // the clip in force when drawn
    TRect clip;
  };
  std::vector<Op> Ops;

  // The texts drawn, in order.
  std::vector<AnsiString> Texts() const;
  // The first text op with exactly this text, or null.
  const Op* FindText(const AnsiString& text) const;
  void Clear() { Ops.clear(); }

 protected:
  void DevicePolyline(const TPoint* points, int count) override;
  void DevicePolygon(const TPoint* points, int count) override;
  void DeviceShape(TShapeKind kind, const TRect& r, int ellipseWidth, int ellipseHeight) override;
  void DeviceFill(const TRect& r, TColor color) override;
  void DeviceText(int x, int y, const AnsiString& text) override;
  TSize DeviceTextExtent(const AnsiString& text) override;
  void DeviceFocusRect(const TRect& r) override;
  void DeviceImage(const TRect& r, const TBitmap& picture) override;
  void DeviceClip(const TRect* r) override;

 private:
  Op& Add(Kind kind);
  bool clipped_ = false;
  TRect clip_;
};
