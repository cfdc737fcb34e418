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
constexpr TColor clWindowText = static_cast<TColor>(0x80000008u);
constexpr TColor clBtnFace = static_cast<TColor>(0x8000000Fu);
constexpr TColor clBtnShadow = static_cast<TColor>(0x80000010u);
constexpr TColor clBtnText = static_cast<TColor>(0x80000012u);
constexpr TColor clBtnHighlight = static_cast<TColor>(0x80000014u);
constexpr TColor clHighlight = static_cast<TColor>(0x8000000Du);
constexpr TColor clHighlightText = static_cast<TColor>(0x8000000Eu);

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
  bool Empty() const { return Width() == 0 || Height() == 0; }
  uint32_t Pixel(int x, int y) const;  // 0xRRGGBB
  bool SaveToFile(const std::string& path) const;  // format from the extension (png, bmp, jpg)
  bool LoadFromFile(const std::string& path);

  struct Impl;
  Impl* impl() const { return impl_.get(); }

 private:
  std::unique_ptr<Impl> impl_;
};
