#include "platform/Graphics.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "platform/QtBridge.h"

bool HaveGuiApplication() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr; }

QString ToQ(const AnsiString& sjis) { return QString::fromStdString(SjisToUtf8(sjis)); }

AnsiString FromQ(const QString& s) { return Utf8ToSjis(s.toStdString()); }

QString StripAccelerators(const QString& s) {
  QString out;
  out.reserve(s.size());
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i] == u'&') {
      if (i + 1 < s.size() && s[i + 1] == u'&') {
        out += u'&';
        ++i;
      }
      continue;
    }
    out += s[i];
  }
  return out;
}

uint32_t ColorToRGB(TColor c) {
  uint32_t u = static_cast<uint32_t>(c);
  uint32_t bgr;
  if (u & 0x80000000u) {
    switch (u & 0xFF) {
      case 0x05: bgr = 0xFFFFFF; break;  // window
      case 0x06: bgr = 0x000000; break;  // window frame
      case 0x08: bgr = 0x000000; break;  // window text
      case 0x0D: bgr = 0x6A240A; break;  // highlight
      case 0x0E: bgr = 0xFFFFFF; break;  // highlight text
      case 0x0F: bgr = 0xC8D0D4; break;  // button face
      case 0x10: bgr = 0x808080; break;  // button shadow
      case 0x11: bgr = 0x808080; break;  // grey text
      case 0x12: bgr = 0x000000; break;  // button text
      case 0x14: bgr = 0xFFFFFF; break;  // button highlight
      case 0x15: bgr = 0x404040; break;  // 3-D dark shadow
      case 0x16: bgr = 0xD4D0C8; break;  // 3-D light
      default: bgr = 0xC0C0C0; break;
    }
  } else {
    bgr = u & 0xFFFFFF;
  }
  return ((bgr & 0xFF) << 16) | (bgr & 0xFF00) | ((bgr >> 16) & 0xFF);
}

QColor ToQColor(TColor c) {
  uint32_t rgb = ColorToRGB(c);
  return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

// ---- TFont ----

TFont::TFont() : name_(SJ("ＭＳ Ｐゴシック")) {}

void TFont::Changed() {
  if (OnChange) OnChange();
}

void TFont::SetName(const AnsiString& n) {
  if (n == name_) return;
  name_ = n;
  Changed();
}

void TFont::SetPixelSize(int px) {
  if (px == pixels_) return;
  pixels_ = px;
  Changed();
}

int TFont::Size() const { return static_cast<int>(std::lround(pixels_ * 72.0 / 96.0)); }

void TFont::SetSize(int points) { SetPixelSize(static_cast<int>(std::lround(points * 96.0 / 72.0))); }

void TFont::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  Changed();
}

void TFont::SetCharset(int c) {
  if (c == charset_) return;
  charset_ = c;
  Changed();
}

void TFont::SetPitch(TFontPitch p) {
  if (p == pitch_) return;
  pitch_ = p;
  Changed();
}

void TFont::SetStyle(TFontStyles s) {
  if (s == style_) return;
  style_ = s;
  Changed();
}

void TFont::Assign(const TFont& o) {
  if (o == *this) return;
  name_ = o.name_;
  pixels_ = o.pixels_;
  color_ = o.color_;
  charset_ = o.charset_;
  pitch_ = o.pitch_;
  style_ = o.style_;
  Changed();
}

bool TFont::operator==(const TFont& o) const {
  return name_ == o.name_ && pixels_ == o.pixels_ && color_ == o.color_ && charset_ == o.charset_ &&
         pitch_ == o.pitch_ && style_ == o.style_;
}

namespace {

const char* const kProportional = "IPAPGothic";
const char* const kFixed = "IPAGothic";

bool FamilyInstalled(const QString& family) {
  return HaveGuiApplication() && QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

}  // namespace

std::string TFont::DisplayFamily() const {
  const std::string face = SjisToUtf8(name_);
  // The Windows Japanese faces: "Ｐ" and "UI" faces are proportional, the others fixed.
  const bool windowsJapanese = face.find("ゴシック") != std::string::npos ||
                               face.find("明朝") != std::string::npos || face.find("MS UI") != std::string::npos ||
                               face.find("Meiryo") != std::string::npos || face.find("メイリオ") != std::string::npos;
  if (!windowsJapanese && FamilyInstalled(QString::fromStdString(face))) return face;
  const bool proportional = face.find("Ｐ") != std::string::npos || face.find("UI") != std::string::npos ||
                            face.find("Meiryo") != std::string::npos || face.find("メイリオ") != std::string::npos;
  if (windowsJapanese) return proportional ? kProportional : kFixed;
  return pitch_ == fpFixed ? kFixed : kProportional;
}

QFont ToQFont(const TFont& f) {
  QFont q;
  q.setFamilies(QStringList{QString::fromStdString(f.DisplayFamily()), kProportional});
  q.setPixelSize(f.PixelSize() > 0 ? f.PixelSize() : 12);
  q.setBold(f.Style() & fsBold);
  q.setItalic(f.Style() & fsItalic);
  q.setUnderline(f.Style() & fsUnderline);
  q.setStrikeOut(f.Style() & fsStrikeOut);
  if (f.Pitch() == fpFixed) q.setFixedPitch(true);
  return q;
}

bool JapaneseFontInstalled() {
  if (!HaveGuiApplication()) return false;
  return !QFontDatabase::families(QFontDatabase::Japanese).isEmpty() &&
         (FamilyInstalled(kProportional) || FamilyInstalled(kFixed));
}

bool FontShowsText(const TFont& font, const AnsiString& text) {
  if (!HaveGuiApplication()) return false;
  QFont q = ToQFont(font);
  q.setFamilies({QString::fromStdString(font.DisplayFamily())});
  const QFontMetrics fm(q);
  for (char32_t c : ToQ(text).toUcs4())
    if (!fm.inFontUcs4(c)) return false;
  return true;
}

// ---- TBitmap ----

TBitmap::TBitmap() : impl_(std::make_unique<Impl>()) {}

TBitmap::TBitmap(int width, int height) : impl_(std::make_unique<Impl>()) {
  impl_->image = QImage(width, height, QImage::Format_RGB32);
  impl_->image.fill(Qt::white);
}

TBitmap::~TBitmap() = default;

TBitmap::TBitmap(const TBitmap& o) : impl_(std::make_unique<Impl>(*o.impl_)) {}

TBitmap& TBitmap::operator=(const TBitmap& o) {
  *impl_ = *o.impl_;
  return *this;
}

int TBitmap::Width() const { return impl_->image.width(); }
int TBitmap::Height() const { return impl_->image.height(); }

void TBitmap::SetSize(int width, int height) {
  QImage& img = impl_->Image();
  img = QImage(std::max(0, width), std::max(0, height), QImage::Format_RGB32);
  img.fill(Qt::white);
}

TCanvas* TBitmap::Canvas() {
  if (!impl_->canvas) impl_->canvas = std::make_unique<TCanvas>();
  BindCanvasDevice(impl_->canvas.get(), &impl_->Image());
  return impl_->canvas.get();
}

uint32_t TBitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width() || y >= Height()) return 0;
  return impl_->Image().pixel(x, y) & 0xFFFFFF;
}

bool TBitmap::SaveToFile(const std::string& path) const { return impl_->Image().save(QString::fromStdString(path)); }

bool TBitmap::LoadFromFile(const std::string& path) {
  // The path is the file system's bytes (a Shift_JIS name among them): read them as they are.
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  QImage img;
  if (in.bad() || bytes.size() > static_cast<size_t>(INT32_MAX) ||
      !img.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size())))
    return false;
  impl_->Image() = img.convertToFormat(QImage::Format_RGB32);
  return true;
}
