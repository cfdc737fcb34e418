// NW-7 barcodes: a renderer that measures and draws one barcode on any canvas, and a label that
// shows its caption as a barcode.
//
// An NW-7 barcode is a quiet zone (5 narrow and 2 wide widths of space), the start character
// "A", the text's characters, the stop character "A" and the quiet zone again. Each character is
// a narrow gap and seven elements (bar, space, bar, space, bar, space, bar), each narrow or wide;
// there is no check character. Widths and heights are millimetres turned into the canvas's dots:
// bars 5 mm high, the narrow element 0.25 mm (at least one dot) and the wide one three narrow.
#pragma once

#include <memory>

#include "platform/StdCtrls.h"

class TCvBarcode {
 public:
  // Measures in the canvas's dots per inch; the canvas is not owned and must outlive the renderer.
  explicit TCvBarcode(TCanvas* canvas);

  // Draws the text's barcode with its top-left corner at (x, y), and under the bars, while
  // ShowText is on, each character where its gap begins. 0, or -1 when a character cannot be
  // encoded: drawing stops after that character's glyph, without the stop character.
  int Draw(int x, int y, const AnsiString& text);
  // The size Draw would cover at (0, 0): the width up to where it stops; the bar height, plus
  // the text height of "0" in the canvas font while ShowText is on.
  void Measure(const AnsiString& text, int& width, int& height);
  // Multiplies the bar height and the narrow width (at least one dot); wide stays 3 x narrow.
  void Scale(double heightFactor, double widthFactor);

  bool ShowText = true;
  int BarHeight() const { return barHeight_; }
  int Narrow() const { return narrow_; }
  int Wide() const { return wide_; }

 private:
  void Space(int width, int count);
  void Bar(int width, int height, int count);
  void QuietZone();
  // One character (its glyph: one byte, or a double-byte character) with its gap; false when it
  // cannot be encoded.
  bool Character(const AnsiString& glyph);

  bool measuring_ = false;
  int x_ = 0;
  int y_ = 0;
  TCanvas* canvas_;
  int xres_;
  int yres_;
  int narrow_;
  int wide_;
  int barHeight_;
};

// A label that draws its caption as an NW-7 barcode and always takes the barcode's size. White,
// with an 8-point font for the characters under the bars.
class TCvBcLabel : public TLabel {
 public:
  explicit TCvBcLabel(TComponent* owner);
  ~TCvBcLabel() override;
  // The label's barcode drawn into r of another canvas (a page, a design surface), stretched to
  // fill it: the bars as high and the elements as wide as r asks, each at least one dot.
  void PaintTo(TCanvas* canvas, const TRect& r);
  // Takes over a label's place, looks, caption and mouse and click handlers; other sources are
  // ignored.
  using TLabel::Assign;
  void Assign(TControl* source);

 protected:
  void Paint() override;
  void CaptionChanged() override;
  void FontChanged() override;

 private:
  TCvBarcode* Renderer();
  void FitToBarcode();
  std::unique_ptr<TCvBarcode> renderer_;
};
