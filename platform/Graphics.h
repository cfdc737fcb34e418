// Colours, fonts and bitmaps as the program's forms describe them. Fonts are sized in pixels
// (character height) with the point size derived at 96 dots per inch; the Windows face names that
// the program stores are kept as they are and mapped to an installed Japanese font on display.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/AnsiString.h"
#include "platform/Classes.h"

// 0x00BBGGRR, or a system colour 0x800000nn (negative as a signed number).
using TColor = int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clGray = 0x808080;
constexpr TColor clScrollBar = static_cast<TColor>(0x80000000u);
constexpr TColor clWindow = static_cast<TColor>(0x80000005u);
constexpr TColor clWindowFrame = static_cast<TColor>(0x80000006u);
constexpr TColor clWindowText = static_cast<TColor>(0x80000008u);
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000Fu);
constexpr TColor clBtnShadow = static_cast<TColor>(0x80000010u);
constexpr TColor clBtnText = static_cast<TColor>(0x80000012u);
constexpr TColor clBtnHighlight = static_cast<TColor>(0x80000014u);
constexpr TColor clHighlight = static_cast<TColor>(0x8000000Du);
constexpr TColor clHighlightText = static_cast<TColor>(0x8000000Eu);
constexpr TColor clGrayText = static_cast<TColor>(0x80000011u);
constexpr TColor cl3DDkShadow = static_cast<TColor>(0x80000015u);
constexpr TColor cl3DLight = static_cast<TColor>(0x80000016u);
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;

// The RGB value of a colour (system colours resolved to this program's fixed palette).
uint32_t ColorToRGB(TColor c);

enum TFontStyle { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = int;  // bit set of TFontStyle
enum TFontPitch { fpDefault = 0, fpVariable = 1, fpFixed = 2 };
constexpr int DEFAULT_CHARSET = 1;
constexpr int SHIFTJIS_CHARSET = 128;

class TFont : public TObject {
 public:
  TFont();
  const AnsiString& Name() const { return name_; }  // Shift_JIS face name, e.g. "ＭＳ Ｐゴシック"
  void SetName(const AnsiString& n);
  int PixelSize() const { return pixels_; }  // character height in pixels
  void SetPixelSize(int px);
  int Size() const;  // points at 96 dpi
  void SetSize(int points);
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  int Charset() const { return charset_; }
  void SetCharset(int c);
  TFontPitch Pitch() const { return pitch_; }
  void SetPitch(TFontPitch p);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles s);
  void Assign(const TFont& other);
  bool operator==(const TFont& o) const;

  // The installed family that shows this face (the name itself when it is installed).
  std::string DisplayFamily() const;

  std::function<void()> OnChange;

 private:
  void Changed();
  AnsiString name_;
  int pixels_ = 12;
  TColor color_ = clWindowText;
  int charset_ = DEFAULT_CHARSET;
  TFontPitch pitch_ = fpDefault;
  TFontStyles style_ = 0;
};

// Whether an installed font family can show Japanese (the tests insist on one).
bool JapaneseFontInstalled();
// Whether the family that shows the font has a glyph for every character of text.
bool FontShowsText(const TFont& font, const AnsiString& text);

// ---- Geometry ----

struct TPoint {
  int x = 0, y = 0;
  bool operator==(const TPoint&) const = default;
};

struct TSize {
  int cx = 0, cy = 0;
  bool operator==(const TSize&) const = default;
};

// A rectangle whose right and bottom edges lie outside it, as the drawing calls take them.
struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool Empty() const { return Right <= Left || Bottom <= Top; }
  bool Contains(int x, int y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
  bool operator==(const TRect&) const = default;
};

inline TRect Rect(int left, int top, int right, int bottom) { return TRect{left, top, right, bottom}; }
// The rectangle moved inwards by dx on the left and right and dy at the top and bottom
// (outwards for negative values).
void InflateRect(TRect& r, int dx, int dy);
// The common part of a and b; false (and an empty rectangle) when they do not meet.
bool IntersectRect(TRect& out, const TRect& a, const TRect& b);

// ---- Pens and brushes ----

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
// How a pen's colour meets what is already there: copied, or combined bit by bit (screen and
// image canvases; a printer page only copies).
enum TPenMode { pmCopy, pmNot, pmXor, pmNotXor };

class TPen : public TObject {
 public:
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  int Width() const { return width_; }
  void SetWidth(int w);
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle s);
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode m);
  void Assign(const TPen& o);
  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  TColor color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = psSolid;
  TPenMode mode_ = pmCopy;
};

enum TBrushStyle { bsSolid, bsClear };

class TBrush : public TObject {
 public:
  TColor Color() const { return color_; }
  void SetColor(TColor c);
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle s);
  void Assign(const TBrush& o);
  std::function<void()> OnChange;

 private:
  void Changed() {
    if (OnChange) OnChange();
  }
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
};

// ---- Text drawing formats (TCanvas::DrawText) ----

constexpr unsigned DT_LEFT = 0x0000;
constexpr unsigned DT_CENTER = 0x0001;
constexpr unsigned DT_RIGHT = 0x0002;
constexpr unsigned DT_VCENTER = 0x0004;     // single line only
constexpr unsigned DT_BOTTOM = 0x0008;      // single line only
constexpr unsigned DT_WORDBREAK = 0x0010;   // wrap lines wider than the rectangle
constexpr unsigned DT_SINGLELINE = 0x0020;  // line breaks do not start new lines
constexpr unsigned DT_NOCLIP = 0x0100;
constexpr unsigned DT_CALCRECT = 0x0400;    // measure only: the rectangle is fitted to the text
constexpr unsigned DT_NOPREFIX = 0x0800;    // "&" is an ordinary character
constexpr unsigned DT_EDITCONTROL = 0x2000; // a word wider than a line is broken; a partly visible last line is not drawn

// ---- Edges (TCanvas::DrawEdge) ----

constexpr unsigned BDR_RAISEDOUTER = 0x1;
constexpr unsigned BDR_SUNKENOUTER = 0x2;
constexpr unsigned BDR_RAISEDINNER = 0x4;
constexpr unsigned BDR_SUNKENINNER = 0x8;
constexpr unsigned EDGE_RAISED = BDR_RAISEDOUTER | BDR_RAISEDINNER;
constexpr unsigned EDGE_SUNKEN = BDR_SUNKENOUTER | BDR_SUNKENINNER;
constexpr unsigned EDGE_ETCHED = BDR_SUNKENOUTER | BDR_RAISEDINNER;
constexpr unsigned EDGE_BUMP = BDR_RAISEDOUTER | BDR_SUNKENINNER;
constexpr unsigned BF_LEFT = 0x1;
constexpr unsigned BF_TOP = 0x2;
constexpr unsigned BF_RIGHT = 0x4;
constexpr unsigned BF_BOTTOM = 0x8;
constexpr unsigned BF_TOPLEFT = BF_TOP | BF_LEFT;
constexpr unsigned BF_BOTTOMRIGHT = BF_BOTTOM | BF_RIGHT;
constexpr unsigned BF_RECT = BF_LEFT | BF_TOP | BF_RIGHT | BF_BOTTOM;
constexpr unsigned BF_MIDDLE = 0x800;   // fill the inside with the button face colour
constexpr unsigned BF_ADJUST = 0x2000;  // shrink the rectangle by the edges drawn

class TBitmap;

// A drawing surface with a pen, a brush and a font, in device pixels. The same drawing code
// reaches a control's image, a TBitmap, a printed page or a recording made by a test: the canvas
// keeps the state and the text layout, and a device behind it (a painter on any paint device, or
// a derived class overriding the Device* operations) puts the shapes down.
//
// Shapes follow the rules of the program's drawing code: a rectangle covers Left..Right-1 and
// Top..Bottom-1 (its frame drawn inside), a line leaves out its last point, text is placed by its
// top-left corner. Text is Shift_JIS. User-interface thread only (a printer's canvas: the thread
// that prints).
class TCanvas : public TObject {
 public:
  TCanvas();
  ~TCanvas() override;
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  TPen* Pen() { return &pen_; }
  TBrush* Brush() { return &brush_; }
  TFont* Font() { return &font_; }

  void MoveTo(int x, int y) { penPos_ = {x, y}; }
  void LineTo(int x, int y);
  TPoint PenPos() const { return penPos_; }
  void Polyline(const TPoint* points, int count);
  void Polygon(const TPoint* points, int count);  // filled with the brush, framed with the pen
  void Rectangle(int left, int top, int right, int bottom);
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void RoundRect(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight);
  void Ellipse(int left, int top, int right, int bottom);
  void FillRect(const TRect& r);   // with the brush, no frame
  void FrameRect(const TRect& r);  // a one-pixel frame in the brush colour

  void TextOut(int x, int y, const AnsiString& text);
  // Text turned counter-clockwise by degrees about its top-left corner (x, y).
  void TextOutAngle(int x, int y, int degrees, const AnsiString& text);
  // Text at (x, y) clipped to r; a solid brush fills r first.
  void TextRect(const TRect& r, int x, int y, const AnsiString& text);
  TSize TextExtent(const AnsiString& text);  // one line; cy is the font's line height
  int TextWidth(const AnsiString& text) { return TextExtent(text).cx; }
  int TextHeight(const AnsiString& text) { return TextExtent(text).cy; }
  // Lines of text in r by the DT_ format: line breaks (CR LF, CR or LF) start new lines unless
  // DT_SINGLELINE; DT_WORDBREAK wraps after blanks and between double-byte characters; without
  // DT_NOPREFIX "&&" shows "&" and "&x" underlines x. With DT_CALCRECT nothing is drawn and r
  // takes the size of the text. The height of the text.
  int DrawText(const AnsiString& text, TRect& r, unsigned format);
  // Three-dimensional edges (BDR_ / EDGE_ kinds) on the sides named by BF_ flags.
  void DrawEdge(TRect& r, unsigned edge, unsigned flags);
  // A dotted frame combined with what is there, so that drawing it twice takes it away.
  void DrawFocusRect(const TRect& r);
  void Draw(int x, int y, const TBitmap& picture);
  void StretchDraw(const TRect& r, const TBitmap& picture);

  // Drawing is limited to one rectangle until ResetClip (a device's own limit stays).
  void SetClipRect(const TRect& r);
  void ResetClip();
  bool Clipped() const { return clipped_; }
  const TRect& ClipRect() const { return clip_; }

  // The dots per inch of the device behind the canvas, across and down: the screen's 96 unless
  // the device says otherwise (a printer's canvas while a job runs).
  int PixelsPerInchX() const { return ppiX_; }
  int PixelsPerInchY() const { return ppiY_; }
  void SetPixelsPerInch(int x, int y);

  struct Impl;
  Impl* impl() const { return impl_.get(); }

 protected:
  // The device. The default puts the shapes down through the painter the canvas is bound to
  // (nothing happens while it is bound to none); a recording canvas overrides them all.
  virtual void DevicePolyline(const TPoint* points, int count);
  virtual void DevicePolygon(const TPoint* points, int count);
  enum TShapeKind { skRectangle, skEllipse, skRoundRect };
  virtual void DeviceShape(TShapeKind kind, const TRect& r, int ellipseWidth, int ellipseHeight);
  virtual void DeviceFill(const TRect& r, TColor color);
  virtual void DeviceText(int x, int y, const AnsiString& text);
  virtual void DeviceTurnedText(int x, int y, int degrees, const AnsiString& text);
  virtual TSize DeviceTextExtent(const AnsiString& text);
  virtual void DeviceFocusRect(const TRect& r);
  virtual void DeviceImage(const TRect& r, const TBitmap& picture);
  virtual void DeviceClip(const TRect* r);

 private:
  int CharWidth(const char* p, int len);
  TPen pen_;
  TBrush brush_;
  TFont font_;
  TPoint penPos_;
  bool clipped_ = false;
  TRect clip_;
  int ppiX_ = 96, ppiY_ = 96;
  std::unique_ptr<Impl> impl_;
};

// A picture in memory, 32-bit RGB. Used for rendering controls in tests and for images.
class TBitmap : public TObject {
 public:
  TBitmap();
  TBitmap(int width, int height);
  ~TBitmap() override;
  TBitmap(const TBitmap& o);
  TBitmap& operator=(const TBitmap& o);
  int Width() const;
  int Height() const;
  // A new size; the picture is white again.
  void SetSize(int width, int height);
  bool Empty() const { return Width() == 0 || Height() == 0; }
  // Draws into the picture; what is drawn shows in Pixel, SaveToFile and copies.
  TCanvas* Canvas();
  uint32_t Pixel(int x, int y) const;  // 0xRRGGBB
  bool SaveToFile(const std::string& path) const;  // format from the extension (png, bmp, jpg)
  bool LoadFromFile(const std::string& path);

  struct Impl;
  Impl* impl() const { return impl_.get(); }

 private:
  std::unique_ptr<Impl> impl_;
};
