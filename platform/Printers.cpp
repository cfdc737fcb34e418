#include "platform/Printers.h"

#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>

#include "platform/QtBridge.h"

namespace {

// A PDF file is laid out at the resolution of a common office printer.
constexpr int kFileResolution = 600;

// The paper sizes in the order of TPaperSize, with their names (UTF-8).
struct Paper {
  QPageSize::PageSizeId id;
  const char* name;
};
constexpr Paper kPapers[kPaperSizeCount] = {
    {QPageSize::A3, "A3"},    {QPageSize::A4, "A4"},         {QPageSize::A5, "A5"},         {QPageSize::JisB4, "B4"},
    {QPageSize::JisB5, "B5"}, {QPageSize::Letter, "レター"}, {QPageSize::Legal, "リーガル"},
};

const Paper& PaperOf(TPaperSize p) { return kPapers[p >= 0 && p < kPaperSizeCount ? p : dmA4]; }

}  // namespace

AnsiString PaperSizeName(TPaperSize size) { return Utf8ToSjis(PaperOf(size).name); }

// The paper as the target sees it. The window system's printer object exists only where a
// window system does; without one the page is measured from the paper alone.
struct TPrinter::Device {
  std::unique_ptr<QPrinter> printer;
  int width = 0, height = 0, xres = kFileResolution, yres = kFileResolution;
};

TPrinter::TPrinter(TCanvas* canvas)
    : own_(new TCanvas), canvas_(canvas ? canvas : own_), external_(canvas != nullptr) {}

TPrinter::~TPrinter() {
  ReleaseCanvas(own_);
  delete own_;
}

TStrings* TPrinter::Printers() {
  if (!printersRead_ && HaveGuiApplication()) {
    printersRead_ = true;
    for (const QString& name : QPrinterInfo::availablePrinterNames()) printers_.Add(FromQ(name));
  }
  return &printers_;
}

void TPrinter::SetPrinterIndex(int i) {
  if (i < -1 || i >= Printers()->Count()) i = -1;
  if (i == printerIndex_) return;
  printerIndex_ = i;
  SettingsChanged();
}

void TPrinter::SetFileName(const AnsiString& name) {
  if (name == fileName_) return;
  fileName_ = name;
  SettingsChanged();
}

AnsiString TPrinter::TargetName() {
  if (!fileName_.empty()) return fileName_;
  TStrings* list = Printers();
  if (printerIndex_ >= 0) return list->Strings(printerIndex_);
  if (list->Count() == 0) return AnsiString();
  const AnsiString def = HaveGuiApplication() ? FromQ(QPrinterInfo::defaultPrinterName()) : AnsiString();
  return def.empty() ? list->Strings(0) : def;
}

void TPrinter::SetOrientation(TPrinterOrientation o) {
  if (o == orientation_) return;
  orientation_ = o;
  SettingsChanged();
}

void TPrinter::SetPaperSize(TPaperSize p) {
  if (p == paper_) return;
  paper_ = p;
  SettingsChanged();
}

// A change of target or paper measures the page again, except in the middle of a job.
void TPrinter::SettingsChanged() {
  if (!printing_) device_.reset();
}

TPrinter::Device& TPrinter::Dev() {
  if (device_) return *device_;
  device_ = std::make_unique<Device>();
  Device& d = *device_;
  const QPageLayout::Orientation orientation =
      orientation_ == poLandscape ? QPageLayout::Landscape : QPageLayout::Portrait;
  const QPageSize size(PaperOf(paper_).id);
  if (!HaveGuiApplication()) {
    const QRect r = QPageLayout(size, orientation, QMarginsF()).fullRectPixels(kFileResolution);
    d.width = r.width();
    d.height = r.height();
    return d;
  }
  const AnsiString target = TargetName();
  if (fileName_.empty() && !target.empty()) {
    d.printer = std::make_unique<QPrinter>(QPrinterInfo::printerInfo(ToQ(target)), QPrinter::HighResolution);
  } else {
    d.printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    d.printer->setOutputFormat(QPrinter::PdfFormat);
    d.printer->setResolution(kFileResolution);
    if (!fileName_.empty()) d.printer->setOutputFileName(ToQ(fileName_));
  }
  // The program keeps its own margins: the page is the whole sheet.
  d.printer->setFullPage(true);
  d.printer->setPageSize(size);
  d.printer->setPageOrientation(orientation);
  d.width = d.printer->width();
  d.height = d.printer->height();
  d.xres = std::max(1, d.printer->logicalDpiX());
  d.yres = std::max(1, d.printer->logicalDpiY());
  return d;
}

int TPrinter::PageWidth() { return Dev().width; }
int TPrinter::PageHeight() { return Dev().height; }
int TPrinter::XResolution() { return Dev().xres; }
int TPrinter::YResolution() { return Dev().yres; }

TCanvas* TPrinter::Canvas() { return canvas_; }

bool TPrinter::BeginDoc() {
  lastError_.clear();
  if (printing_) {
    lastError_ = SJ("印刷中です");
    return false;
  }
  canvas_->SetPixelsPerInch(XResolution(), YResolution());
  if (external_) {
    printing_ = true;
    page_ = 1;
    return true;
  }
  Device& d = Dev();
  if (!d.printer) {
    lastError_ = SJ("印刷できる環境がありません");
    return false;
  }
  if (fileName_.empty() && TargetName().empty()) {
    lastError_ = SJ("プリンタがありません。PDF ファイルへ出力してください");
    return false;
  }
  if (!fileName_.empty()) {
    const QFileInfo file(ToQ(fileName_));
    const QFileInfo dir(file.absolutePath());
    if (file.isDir() || (file.exists() && !file.isWritable()) ||
        (!file.exists() && !(dir.isDir() && dir.isWritable()))) {
      lastError_ = SJ("ファイルに書き込めません：") + fileName_;
      return false;
    }
  }
  d.printer->setDocName(ToQ(Title));
  d.printer->setCreator(QStringLiteral("Cinderwatch"));
  // The painter opens at the first drawing, so a job that draws nothing sends no sheet.
  BindCanvasDevice(own_, d.printer.get());
  TCanvas::Impl* m = own_->impl();
  m->fontDpi = d.yres;
  m->fontDirty = true;
  printing_ = true;
  page_ = 1;
  return true;
}

void TPrinter::NewPage() {
  if (!printing_) return;
  ++page_;
  if (external_ || !device_ || !device_->printer) return;
  // A blank page before this one still counts as a sheet.
  QPainter* p = own_->impl()->Painter();
  if (p && p->isActive()) device_->printer->newPage();
}

bool TPrinter::EndDoc() {
  if (!printing_) return false;
  printing_ = false;
  page_ = 0;
  if (external_) return true;
  TCanvas::Impl* m = own_->impl();
  const bool opened = m->own != nullptr;
  const bool active = opened && m->own->isActive();
  ReleaseCanvas(own_);
  BindCanvasDevice(own_, nullptr);
  if (opened && (!active || !device_ || !device_->printer || device_->printer->printerState() == QPrinter::Error)) {
    lastError_ = SJ("印刷できませんでした：") + TargetName();
    device_.reset();
    return false;
  }
  return true;
}

TPrinter* Printer() {
  static TPrinter* printer = new TPrinter;
  return printer;
}
