#include "platform/ImgList.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <cstdlib>

#include "platform/QtBridge.h"

// ---- TIcon ----

struct TIcon::Impl {
  QImage image;  // ARGB32, premultiplied
};

TIcon::TIcon() : impl_(std::make_unique<Impl>()) {}
TIcon::~TIcon() = default;
TIcon::TIcon(const TIcon& o) : impl_(std::make_unique<Impl>(*o.impl_)) {}
TIcon& TIcon::operator=(const TIcon& o) {
  *impl_ = *o.impl_;
  return *this;
}

int TIcon::Width() const { return impl_->image.width(); }
int TIcon::Height() const { return impl_->image.height(); }

bool TIcon::LoadFromFile(const std::string& path, int wanted) {
  QImageReader reader(QFile::decodeName(QByteArray::fromStdString(path)));
  QImage best;
  // An icon file may hold the same picture in several sizes; the reader steps through them.
  const int count = std::max(1, reader.imageCount());
  for (int i = 0; i < count && i < 64; ++i) {
    if (i > 0 && !reader.jumpToImage(i)) break;
    QImage img = reader.read();
    if (img.isNull()) continue;
    auto distance = [wanted](const QImage& m) {
      return wanted > 0 ? std::abs(m.width() - wanted) + std::abs(m.height() - wanted) : -(m.width() * m.height());
    };
    if (best.isNull() || distance(img) < distance(best)) best = img;
  }
  if (best.isNull()) return false;
  impl_->image = best.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  return true;
}

// ---- TImageList ----

struct TImageList::Picture {
  QImage image;  // ARGB32, premultiplied, the list's size
  QImage grey;   // the same, lighter and without colour: a disabled picture
};

TImageList::TImageList(TComponent* owner, int width, int height)
    : TComponent(owner), width_(std::max(1, width)), height_(std::max(1, height)) {}

TImageList::~TImageList() = default;

namespace {

QImage Greyed(const QImage& image) {
  QImage out = image.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < out.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const int g = 128 + qGray(line[x]) / 2;
      line[x] = qRgba(g, g, g, qAlpha(line[x]));
    }
  }
  return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

int TImageList::AddIcon(const TIcon& icon) {
  auto p = std::make_unique<Picture>();
  const QImage& src = icon.impl()->image;
  if (src.isNull()) {
    p->image = QImage(width_, height_, QImage::Format_ARGB32_Premultiplied);
    p->image.fill(Qt::transparent);
  } else if (src.width() != width_ || src.height() != height_) {
    p->image = src.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  } else {
    p->image = src;
  }
  p->grey = Greyed(p->image);
  images_.push_back(std::move(p));
  return Count() - 1;
}

QImage MaskedImage(const TBitmap& picture, TColor transparent) {
  QImage image = picture.impl()->Image().convertToFormat(QImage::Format_ARGB32);
  const QRgb clear = ToQColor(transparent).rgb() & 0xFFFFFF;
  for (int y = 0; y < image.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if ((line[x] & 0xFFFFFF) == clear) line[x] = 0;
  }
  return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

int TImageList::AddMasked(const TBitmap& picture, TColor transparent) {
  TIcon icon;
  icon.impl()->image = MaskedImage(picture, transparent);
  return AddIcon(icon);
}

void TImageList::Delete(int index) {
  if (index >= 0 && index < Count()) images_.erase(images_.begin() + index);
}

void TImageList::Clear() { images_.clear(); }

void TImageList::Draw(TCanvas* canvas, int x, int y, int index, bool enabled) const {
  if (!canvas || index < 0 || index >= Count()) return;
  const QImage& image = enabled ? images_[index]->image : images_[index]->grey;
  if (QPainter* p = canvas->impl()->Painter()) {
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
    p->drawImage(x, y, image);
    return;
  }
  // A canvas without a painter (one that records) takes the picture flattened on white.
  TBitmap flat(width_, height_);
  {
    QPainter p(&flat.impl()->Image());
    p.drawImage(0, 0, image);
  }
  canvas->Draw(x, y, flat);
}
