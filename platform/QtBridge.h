// Private to platform/: the meeting point of the program's state and Qt.
#pragma once

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QImage>
#include <QFontMetrics>
#include <QPainter>
#include <QString>

#include <memory>
#include <optional>
#include <unordered_map>

#include "platform/AnsiString.h"
#include "platform/Controls.h"
#include "platform/Graphics.h"

QString ToQ(const AnsiString& sjis);
AnsiString FromQ(const QString& s);
QColor ToQColor(TColor c);
QFont ToQFont(const TFont& f);
QCursor ToQCursor(int cursor);
// The width of a vertical scroll bar (the height of a horizontal one) in the current style.
int ScrollBarExtent();
// Caption text for display: single "&" dropped, "&&" shown as "&".
QString StripAccelerators(const QString& s);
bool HaveGuiApplication();

// A canvas draws through a painter: one bound from outside (a widget's paint, a printer's page),
// or one it opens on a device when it first draws (a picture, a control's image) and ends when
// the device is needed whole again (ReleaseCanvas).
struct TCanvas::Impl {
  explicit Impl(TCanvas* c) : canvas(c) {}
  TCanvas* canvas;
  QPainter* painter = nullptr;
  std::unique_ptr<QPainter> own;
  QPaintDevice* device = nullptr;
  bool fontDirty = true;      // font_ changed since the QFont was made
  bool painterFont = false;   // the painter holds the QFont
  int fontDpi = 0;            // a printer's dots per inch: fonts keep their point size there
  QFont font;
  std::optional<QFontMetrics> metrics;
  std::unordered_map<uint32_t, int> widths;  // character widths in the current font
  // The painter to draw with, opened on the device when there is none; null when unbound.
  QPainter* Painter();
  // The current font made ready on the painter (if any) and measured.
  const QFontMetrics& Metrics();
};

// Binds the canvas to a painter that the caller opened and will end; null unbinds.
void BindCanvas(TCanvas* canvas, QPainter* painter);
// Binds the canvas to a device on which it opens its own painter at the first drawing.
void BindCanvasDevice(TCanvas* canvas, QPaintDevice* device);
// Ends the painter the canvas opened itself, so that the device can be read or painted whole.
void ReleaseCanvas(TCanvas* canvas);

struct TBitmap::Impl {
  Impl() = default;
  Impl(const Impl& o) : image(o.Image()) {}
  Impl& operator=(const Impl& o) {
    if (this != &o) {
      if (canvas) ReleaseCanvas(canvas.get());
      image = o.Image();
    }
    return *this;
  }
  // The picture with everything its canvas drew so far.
  const QImage& Image() const {
    if (canvas) ReleaseCanvas(canvas.get());
    return image;
  }
  QImage& Image() {
    if (canvas) ReleaseCanvas(canvas.get());
    return image;
  }
  QImage image;
  std::unique_ptr<TCanvas> canvas;
};

class QEvent;
class QPoint;
class TWinControl;
// Window-system input: modifier and button state, key codes, and the delivery of a mouse, wheel,
// key or input-method event to a control (offset: where the event's widget sits in the control's
// client area). True when the event was taken.
TShiftState ShiftFromQt(Qt::KeyboardModifiers mods, Qt::MouseButtons buttons);
uint16_t KeyFromQt(int key);
bool ForwardInput(TWinControl* control, QEvent* e, QPoint offset);

// The held keys and buttons behind GetKeyState: input delivered through the framework notes them,
// and the modifiers of the event being handled count as held for its duration.
void NoteKey(uint16_t vk, bool down);
void NoteButton(TMouseButton button, bool down);
class EventShiftScope {
 public:
  explicit EventShiftScope(TShiftState shift);
  ~EventShiftScope();
  EventShiftScope(const EventShiftScope&) = delete;
  EventShiftScope& operator=(const EventShiftScope&) = delete;

 private:
  TShiftState saved_;
};
// Watches the window system's keys and buttons for GetKeyState, wherever they go.
void InstallInputStateFilter();

// The pointer shape of a drag: shown over every window while *shown, or taken away for crDefault.
void SetDragCursor(bool* shown, TCursor cursor);
// A pointer shape installed in the screen's list under a positive number, or null.
const QCursor* RegisteredCursor(int index);

// Keys typed into a window-system widget (a line edit) reach the control's key events first; a
// key they swallow does not reach the widget.
void ForwardKeys(QWidget* widget, TWinControl* control);
// Mouse presses and releases on the widget of a control without a window of its own reach its
// mouse events (and so its click).
void ForwardMouse(QWidget* widget, TControl* control);

class TComboBox;
// The widget of a combo box: a Qt combo box that lets the control draw owner-drawn items.
QWidget* MakeComboWidget(TComboBox* combo, QWidget* parent);

// The picture with its pixels of the transparent colour left out (ARGB, premultiplied).
QImage MaskedImage(const TBitmap& picture, TColor transparent);
