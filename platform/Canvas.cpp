#include <QGuiApplication>
#include <QPaintEngine>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/Graphics.h"
#include "platform/Printers.h"
#include "platform/QtBridge.h"

// ---- Geometry ----

void InflateRect(TRect& r, int dx, int dy) {
  r.Left -= dx;
  r.Right += dx;
  r.Top -= dy;
  r.Bottom += dy;
}

bool IntersectRect(TRect& out, const TRect& a, const TRect& b) {
  out = TRect{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
  if (out.Empty()) {
    out = TRect{};
    return false;
  }
  return true;
}

// ---- Pens and brushes ----

void TPen::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  Changed();
}

void TPen::SetWidth(int w) {
  w = std::max(1, w);
  if (w == width_) return;
  width_ = w;
  Changed();
}

void TPen::SetStyle(TPenStyle s) {
  if (s == style_) return;
  style_ = s;
  Changed();
}

void TPen::SetMode(TPenMode m) {
  if (m == mode_) return;
  mode_ = m;
  Changed();
}

void TPen::Assign(const TPen& o) {
  color_ = o.color_;
  width_ = o.width_;
  style_ = o.style_;
  mode_ = o.mode_;
  Changed();
}

void TBrush::SetColor(TColor c) {
  if (c == color_) return;
  color_ = c;
  Changed();
}

void TBrush::SetStyle(TBrushStyle s) {
  if (s == style_) return;
  style_ = s;
  Changed();
}

void TBrush::Assign(const TBrush& o) {
  color_ = o.color_;
  style_ = o.style_;
  Changed();
}

// ---- Binding to painters ----

QPainter* TCanvas::Impl::Painter() {
  if (!painter && device) {
    own = std::make_unique<QPainter>(device);
    painter = own.get();
    painterFont = false;
    if (canvas->Clipped()) {
      const TRect& r = canvas->ClipRect();
      painter->setClipRect(QRect(r.Left, r.Top, std::max(0, r.Width()), std::max(0, r.Height())));
    }
  }
  return painter;
}

const QFontMetrics& TCanvas::Impl::Metrics() {
  if (fontDirty) {
    font = ToQFont(*canvas->Font());
    if (fontDpi > 0 && fontDpi != kScreenPixelsPerInch)
      font.setPixelSize(std::max(1, static_cast<int>(std::lround(font.pixelSize() * double(fontDpi) / kScreenPixelsPerInch))));
    fontDirty = false;
    painterFont = false;
    metrics.reset();
    widths.clear();
  }
  if (painter && !painterFont) {
    painter->setFont(font);
    painterFont = true;
  }
  if (!metrics) {
    QPaintDevice* d = painter ? painter->device() : device;
    if (d)
      metrics.emplace(font, d);
    else
      metrics.emplace(font);
  }
  return *metrics;
}

void ReleaseCanvas(TCanvas* canvas) {
  TCanvas::Impl* m = canvas->impl();
  if (!m->own) return;
  m->own->end();
  m->own.reset();
  m->painter = nullptr;
}

void BindCanvas(TCanvas* canvas, QPainter* painter) {
  TCanvas::Impl* m = canvas->impl();
  ReleaseCanvas(canvas);
  m->device = nullptr;
  m->painter = painter;
  m->painterFont = false;
  m->metrics.reset();
  m->widths.clear();
  if (painter) {
    if (canvas->Clipped())
      canvas->SetClipRect(canvas->ClipRect());
    else
      painter->setClipping(false);
  }
}

void BindCanvasDevice(TCanvas* canvas, QPaintDevice* device) {
  TCanvas::Impl* m = canvas->impl();
  if (m->device == device) return;
  ReleaseCanvas(canvas);
  m->painter = nullptr;
  m->device = device;
  m->metrics.reset();
  m->widths.clear();
}

// ---- TCanvas ----

namespace {

Qt::PenStyle ToQPenStyle(TPenStyle s) {
  switch (s) {
    case psDash: return Qt::DashLine;
    case psDot: return Qt::DotLine;
    case psDashDot: return Qt::DashDotLine;
    case psDashDotDot: return Qt::DashDotDotLine;
    case psClear: return Qt::NoPen;
    default: return Qt::SolidLine;
  }
}

bool HasRasterOps(QPainter* p) { return p->paintEngine() && p->paintEngine()->hasFeature(QPaintEngine::RasterOpModes); }

// The composition that a pen mode asks for (lines and shapes only; fills and text always copy).
void ApplyPenMode(QPainter* p, TPenMode mode) {
  QPainter::CompositionMode cm = QPainter::CompositionMode_SourceOver;
  if (HasRasterOps(p)) {
    if (mode == pmXor) cm = QPainter::RasterOp_SourceXorDestination;
    if (mode == pmNotXor) cm = QPainter::RasterOp_NotSourceXorDestination;
    if (mode == pmNot) cm = QPainter::RasterOp_NotDestination;
  }
  if (p->compositionMode() != cm) p->setCompositionMode(cm);
}

void CopyMode(QPainter* p) {
  if (p->compositionMode() != QPainter::CompositionMode_SourceOver)
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

// The byte length of the character at p (a lead byte at the end of the text stands alone).
int CharLen(const char* p, const char* end) { return IsSjisLeadByte(static_cast<unsigned char>(*p)) && p + 1 < end ? 2 : 1; }

}  // namespace

TCanvas::TCanvas() : impl_(std::make_unique<Impl>(this)) {
  font_.OnChange = [this] {
    impl_->fontDirty = true;
    impl_->widths.clear();
  };
}

TCanvas::~TCanvas() {
  font_.OnChange = nullptr;
  ReleaseCanvas(this);
}

void TCanvas::LineTo(int x, int y) {
  const TPoint pts[2] = {penPos_, {x, y}};
  DevicePolyline(pts, 2);
  penPos_ = {x, y};
}

void TCanvas::Polyline(const TPoint* points, int count) {
  if (count >= 2) DevicePolyline(points, count);
}

void TCanvas::Polygon(const TPoint* points, int count) {
  if (count >= 2) DevicePolygon(points, count);
}

void TCanvas::Rectangle(int left, int top, int right, int bottom) { DeviceShape(skRectangle, Rect(left, top, right, bottom), 0, 0); }

void TCanvas::RoundRect(int left, int top, int right, int bottom, int ellipseWidth, int ellipseHeight) {
  DeviceShape(skRoundRect, Rect(left, top, right, bottom), ellipseWidth, ellipseHeight);
}

void TCanvas::Ellipse(int left, int top, int right, int bottom) { DeviceShape(skEllipse, Rect(left, top, right, bottom), 0, 0); }

void TCanvas::FillRect(const TRect& r) {
  if (brush_.Style() != bsClear && !r.Empty()) DeviceFill(r, brush_.Color());
}

void TCanvas::FrameRect(const TRect& r) {
  if (r.Empty()) return;
  const TColor c = brush_.Color();
  DeviceFill(Rect(r.Left, r.Top, r.Right, r.Top + 1), c);
  DeviceFill(Rect(r.Left, r.Bottom - 1, r.Right, r.Bottom), c);
  DeviceFill(Rect(r.Left, r.Top, r.Left + 1, r.Bottom), c);
  DeviceFill(Rect(r.Right - 1, r.Top, r.Right, r.Bottom), c);
}

void TCanvas::TextOut(int x, int y, const AnsiString& text) {
  DeviceText(x, y, text);
  penPos_ = {x + TextWidth(text), y};
}

void TCanvas::TextOutAngle(int x, int y, int degrees, const AnsiString& text) {
  degrees %= 360;
  if (degrees == 0)
    DeviceText(x, y, text);
  else
    DeviceTurnedText(x, y, degrees, text);
}

void TCanvas::TextRect(const TRect& r, int x, int y, const AnsiString& text) {
  TRect limit = r;
  if (clipped_ && !IntersectRect(limit, r, clip_)) return;
  DeviceClip(&limit);
  FillRect(r);
  const TBrushStyle keep = brush_.Style();
  if (keep != bsClear) brush_.SetStyle(bsClear);  // already filled
  DeviceText(x, y, text);
  if (keep != bsClear) brush_.SetStyle(keep);
  DeviceClip(clipped_ ? &clip_ : nullptr);
}

TSize TCanvas::TextExtent(const AnsiString& text) { return DeviceTextExtent(text); }

void TCanvas::SetPixelsPerInch(int x, int y) {
  ppiX_ = x > 0 ? x : kScreenPixelsPerInch;
  ppiY_ = y > 0 ? y : kScreenPixelsPerInch;
}

int TCanvas::CharWidth(const char* p, int len) {
  const uint32_t code = len == 2 ? (static_cast<unsigned char>(p[0]) << 8 | static_cast<unsigned char>(p[1]))
                                 : static_cast<unsigned char>(p[0]);
  auto it = impl_->widths.find(code);
  if (it != impl_->widths.end()) return it->second;
  const int w = DeviceTextExtent(AnsiString(p, len)).cx;
  impl_->widths.emplace(code, w);
  return w;
}

namespace {

struct Line {
  size_t begin, end;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

int TCanvas::DrawText(const AnsiString& input, TRect& r, unsigned format) {
  // Accelerator marks: "&&" is one "&", "&x" underlines x.
  AnsiString text;
  size_t underline = AnsiString::npos;
  if (format & DT_NOPREFIX) {
    text = input;
  } else {
    text.reserve(input.size());
    for (size_t i = 0; i < input.size(); ++i) {
      if (input[i] == '&' && i + 1 < input.size()) {
        ++i;
        if (input[i] != '&') underline = text.size();
      }
      const int n = CharLen(input.data() + i, input.data() + input.size());
      text.append(input, i, n);
      i += n - 1;
    }
  }

  std::vector<Line> lines;
  const char* const data = text.data();
  const size_t size = text.size();
  if (format & DT_SINGLELINE) {
    for (char& c : text)
      if (c == '\r' || c == '\n') c = ' ';
    lines.push_back({0, size});
  } else {
    size_t start = 0;
    for (size_t i = 0; i <= size; ++i) {
      if (i == size || data[i] == '\r' || data[i] == '\n') {
        lines.push_back({start, i});
        if (i < size && data[i] == '\r' && i + 1 < size && data[i + 1] == '\n') ++i;
        start = i + 1;
      } else if (IsSjisLeadByte(static_cast<unsigned char>(data[i])) && i + 1 < size) {
        ++i;
      }
    }
  }

  if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE)) {
    const int width = r.Width();
    std::vector<Line> wrapped;
    for (const Line& line : lines) {
      size_t pos = line.begin;
      for (;;) {
        if (pos == line.end || TextWidth(text.substr(pos, line.end - pos)) <= width) {
          wrapped.push_back({pos, line.end});
          break;
        }
        // The first character that does not fit, and the last place before it where a line may
        // end: after blanks, and before or after a double-byte character.
        int x = 0;
        size_t i = pos, breakAt = AnsiString::npos;
        bool prevDouble = false, prevBlank = false;
        while (i < line.end) {
          const int n = CharLen(data + i, data + line.end);
          if (i > pos && (n == 2 || prevDouble || prevBlank)) breakAt = i;
          const int w = CharWidth(data + i, n);
          if (x + w > width && i > pos) break;
          x += w;
          prevDouble = n == 2;
          prevBlank = IsBlank(data[i]);
          i += n;
        }
        size_t cut;
        if (i >= line.end) {
          cut = line.end;  // fits after all (the whole-line measure counted kerning)
        } else if (IsBlank(data[i])) {
          cut = i;
        } else if (breakAt != AnsiString::npos) {
          cut = breakAt;
        } else if (format & DT_EDITCONTROL) {
          cut = i;
        } else {
          // A word wider than the line stays whole, running past the edge.
          cut = i;
          while (cut < line.end && !IsBlank(data[cut])) cut += CharLen(data + cut, data + line.end);
        }
        size_t end = cut;
        while (end > pos && IsBlank(data[end - 1])) --end;
        wrapped.push_back({pos, end});
        pos = cut;
        while (pos < line.end && IsBlank(data[pos])) ++pos;
        if (pos == line.end) break;
      }
    }
    lines.swap(wrapped);
  }

  const int lineHeight = TextExtent(AnsiString()).cy;
  const int count = static_cast<int>(lines.size());
  int top = r.Top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) top = r.Top + (r.Height() - lineHeight) / 2;
    if (format & DT_BOTTOM) top = r.Bottom - lineHeight;
  }
  const int height = (top - r.Top) + count * lineHeight;

  if (format & DT_CALCRECT) {
    int widest = 0;
    for (const Line& line : lines) widest = std::max(widest, TextWidth(text.substr(line.begin, line.end - line.begin)));
    r.Right = r.Left + widest;
    r.Bottom = r.Top + count * lineHeight;
    return height;
  }

  const bool clip = !(format & DT_NOCLIP);
  if (clip) {
    TRect limit = r;
    if (clipped_ && !IntersectRect(limit, r, clip_)) return height;
    DeviceClip(&limit);
  }
  for (int k = 0; k < count; ++k) {
    const int y = top + k * lineHeight;
    if (k > 0 && (format & DT_EDITCONTROL) && y + lineHeight > r.Bottom) break;
    if (clip && y >= r.Bottom) break;
    const Line& line = lines[k];
    const AnsiString part = text.substr(line.begin, line.end - line.begin);
    int x = r.Left;
    if (format & (DT_CENTER | DT_RIGHT)) {
      const int w = TextWidth(part);
      x = (format & DT_CENTER) ? r.Left + (r.Width() - w) / 2 : r.Right - w;
    }
    if (!part.empty()) DeviceText(x, y, part);
    if (underline >= line.begin && underline < line.end) {
      const int ux = x + TextWidth(text.substr(line.begin, underline - line.begin));
      const int uw = CharWidth(data + underline, CharLen(data + underline, data + line.end));
      DeviceFill(Rect(ux, y + lineHeight - 1, ux + uw, y + lineHeight), font_.Color());
    }
  }
  if (clip) DeviceClip(clipped_ ? &clip_ : nullptr);
  return height;
}

void TCanvas::DrawEdge(TRect& r, unsigned edge, unsigned flags) {
  struct Border {
    unsigned raised, sunken;
    TColor raisedTL, raisedBR, sunkenTL, sunkenBR;
  };
  static const Border borders[2] = {
      {BDR_RAISEDOUTER, BDR_SUNKENOUTER, cl3DLight, cl3DDkShadow, clBtnShadow, clBtnHighlight},
      {BDR_RAISEDINNER, BDR_SUNKENINNER, clBtnHighlight, clBtnShadow, cl3DDkShadow, cl3DLight},
  };
  TRect in = r;
  for (const Border& b : borders) {
    if (!(edge & (b.raised | b.sunken))) continue;
    const bool raised = edge & b.raised;
    const TColor tl = raised ? b.raisedTL : b.sunkenTL;
    const TColor br = raised ? b.raisedBR : b.sunkenBR;
    if (in.Empty()) break;
    if (flags & BF_LEFT) DeviceFill(Rect(in.Left, in.Top, in.Left + 1, in.Bottom), tl);
    if (flags & BF_TOP) DeviceFill(Rect(in.Left, in.Top, in.Right, in.Top + 1), tl);
    if (flags & BF_RIGHT) DeviceFill(Rect(in.Right - 1, in.Top, in.Right, in.Bottom), br);
    if (flags & BF_BOTTOM) DeviceFill(Rect(in.Left, in.Bottom - 1, in.Right, in.Bottom), br);
    if (flags & BF_LEFT) ++in.Left;
    if (flags & BF_TOP) ++in.Top;
    if (flags & BF_RIGHT) --in.Right;
    if (flags & BF_BOTTOM) --in.Bottom;
  }
  if ((flags & BF_MIDDLE) && !in.Empty()) DeviceFill(in, clBtnFace);
  if (flags & BF_ADJUST) r = in;
}

void TCanvas::DrawFocusRect(const TRect& r) {
  if (!r.Empty()) DeviceFocusRect(r);
}

void TCanvas::Draw(int x, int y, const TBitmap& picture) {
  DeviceImage(Rect(x, y, x + picture.Width(), y + picture.Height()), picture);
}

void TCanvas::StretchDraw(const TRect& r, const TBitmap& picture) { DeviceImage(r, picture); }

void TCanvas::SetClipRect(const TRect& r) {
  clipped_ = true;
  clip_ = r;
  DeviceClip(&clip_);
}

void TCanvas::ResetClip() {
  clipped_ = false;
  clip_ = TRect{};
  DeviceClip(nullptr);
}

// ---- The painter device ----

namespace {

QPen MakePen(TPen& pen) {
  QPen q(ToQColor(pen.Color()));
  q.setStyle(ToQPenStyle(pen.Style()));
  q.setWidth(pen.Width() <= 1 ? 0 : pen.Width());  // 0: one pixel wide at any scale
  q.setCapStyle(Qt::FlatCap);
  q.setJoinStyle(Qt::MiterJoin);
  return q;
}

}  // namespace

void TCanvas::DevicePolyline(const TPoint* points, int count) {
  QPainter* p = impl_->Painter();
  if (!p || pen_.Style() == psClear) return;
  std::vector<QPoint> q(count);
  for (int i = 0; i < count; ++i) q[i] = QPoint(points[i].x, points[i].y);
  // A one-pixel pen with flat caps leaves the last point out, as the program's rubber bands drawn
  // twice in XOR expect.
  p->setRenderHint(QPainter::Antialiasing, false);
  p->setPen(MakePen(pen_));
  ApplyPenMode(p, pen_.Mode());
  p->drawPolyline(q.data(), count);
}

void TCanvas::DevicePolygon(const TPoint* points, int count) {
  QPainter* p = impl_->Painter();
  if (!p) return;
  std::vector<QPoint> q(count);
  for (int i = 0; i < count; ++i) q[i] = QPoint(points[i].x, points[i].y);
  p->setRenderHint(QPainter::Antialiasing, false);
  p->setPen(pen_.Style() == psClear ? QPen(Qt::NoPen) : MakePen(pen_));
  p->setBrush(brush_.Style() == bsClear ? QBrush(Qt::NoBrush) : QBrush(ToQColor(brush_.Color())));
  ApplyPenMode(p, pen_.Mode());
  p->drawPolygon(q.data(), count);
}

void TCanvas::DeviceShape(TShapeKind kind, const TRect& r, int ellipseWidth, int ellipseHeight) {
  QPainter* p = impl_->Painter();
  if (!p || r.Empty()) return;
  const bool noPen = pen_.Style() == psClear;
  p->setPen(noPen ? QPen(Qt::NoPen) : MakePen(pen_));
  p->setBrush(brush_.Style() == bsClear ? QBrush(Qt::NoBrush) : QBrush(ToQColor(brush_.Color())));
  ApplyPenMode(p, pen_.Mode());
  // Outlines are drawn inside the rectangle; curves are smoothed unless bits are being combined.
  const bool smooth = kind != skRectangle && pen_.Mode() == pmCopy;
  p->setRenderHint(QPainter::Antialiasing, smooth);
  const int w = r.Width() - (noPen ? 0 : 1), h = r.Height() - (noPen ? 0 : 1);
  if (kind == skRectangle) {
    p->drawRect(QRect(r.Left, r.Top, w, h));
  } else {
    const QRectF box(r.Left + (smooth ? 0.5 : 0), r.Top + (smooth ? 0.5 : 0), w, h);
    if (kind == skEllipse)
      p->drawEllipse(box);
    else
      p->drawRoundedRect(box, ellipseWidth / 2.0, ellipseHeight / 2.0, Qt::AbsoluteSize);
  }
  p->setRenderHint(QPainter::Antialiasing, false);
}

void TCanvas::DeviceFill(const TRect& r, TColor color) {
  QPainter* p = impl_->Painter();
  if (!p || r.Empty()) return;
  CopyMode(p);
  p->fillRect(QRect(r.Left, r.Top, r.Width(), r.Height()), ToQColor(color));
}

void TCanvas::DeviceText(int x, int y, const AnsiString& text) {
  QPainter* p = impl_->Painter();
  if (!p) return;
  const QString s = ToQ(text);
  const QFontMetrics& fm = impl_->Metrics();
  CopyMode(p);
  if (brush_.Style() != bsClear) p->fillRect(QRect(x, y, fm.horizontalAdvance(s), fm.height()), ToQColor(brush_.Color()));
  p->setPen(ToQColor(font_.Color()));
  p->drawText(QPoint(x, y + fm.ascent()), s);
}

void TCanvas::DeviceTurnedText(int x, int y, int degrees, const AnsiString& text) {
  QPainter* p = impl_->Painter();
  if (!p) return;
  const QString s = ToQ(text);
  const QFontMetrics& fm = impl_->Metrics();
  CopyMode(p);
  p->save();
  p->translate(x, y);
  p->rotate(-degrees);
  if (brush_.Style() != bsClear) p->fillRect(QRect(0, 0, fm.horizontalAdvance(s), fm.height()), ToQColor(brush_.Color()));
  p->setPen(ToQColor(font_.Color()));
  p->drawText(QPoint(0, fm.ascent()), s);
  p->restore();
}

TSize TCanvas::DeviceTextExtent(const AnsiString& text) {
  if (!HaveGuiApplication()) {  // no fonts without a window system: a fixed estimate
    int w = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      const bool dbcs = IsSjisLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size();
      w += dbcs ? font_.PixelSize() : font_.PixelSize() / 2;
      i += dbcs;
    }
    return {w, font_.PixelSize()};
  }
  const QFontMetrics& fm = impl_->Metrics();
  return {text.empty() ? 0 : fm.horizontalAdvance(ToQ(text)), fm.height()};
}

void TCanvas::DeviceFocusRect(const TRect& r) {
  QPainter* p = impl_->Painter();
  if (!p) return;
  std::vector<QPoint> dots;
  auto dot = [&](int x, int y) {
    if (((x + y) & 1) == 0) dots.emplace_back(x, y);
  };
  for (int x = r.Left; x < r.Right; ++x) {
    dot(x, r.Top);
    if (r.Bottom - 1 > r.Top) dot(x, r.Bottom - 1);
  }
  for (int y = r.Top + 1; y < r.Bottom - 1; ++y) {
    dot(r.Left, y);
    if (r.Right - 1 > r.Left) dot(r.Right - 1, y);
  }
  p->setRenderHint(QPainter::Antialiasing, false);
  if (HasRasterOps(p)) {
    p->setPen(QPen(Qt::white, 0));
    p->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  } else {
    p->setPen(QPen(Qt::gray, 0));
    CopyMode(p);
  }
  p->drawPoints(dots.data(), static_cast<int>(dots.size()));
  CopyMode(p);
}

void TCanvas::DeviceImage(const TRect& r, const TBitmap& picture) {
  QPainter* p = impl_->Painter();
  if (!p || r.Empty() || picture.Empty()) return;
  CopyMode(p);
  p->drawImage(QRect(r.Left, r.Top, r.Width(), r.Height()), picture.impl()->Image());
}

void TCanvas::DeviceClip(const TRect* r) {
  QPainter* p = impl_->Painter();
  if (!p) return;
  if (r)
    p->setClipRect(QRect(r->Left, r->Top, std::max(0, r->Width()), std::max(0, r->Height())));
  else
    p->setClipping(false);
}
