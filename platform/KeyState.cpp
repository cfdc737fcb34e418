// Held keys and buttons, the drag pointer, and input forwarding from window-system widgets.
#include <QApplication>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include <array>

#include "platform/Forms.h"
#include "platform/QtBridge.h"

namespace {

std::array<bool, 256> g_held{};
TShiftState g_eventShift = 0;

bool Held(int vk) { return g_held[vk & 0xFF]; }

void SetModifier(uint16_t generic, uint16_t left, uint16_t right, bool on) {
  if (on) {
    g_held[generic] = true;
    return;
  }
  g_held[generic] = g_held[left] = g_held[right] = false;
}

// The modifiers an event reports are the truth about them (a key released in another program
// is never seen).
void SyncModifiers(Qt::KeyboardModifiers mods) {
  SetModifier(VK_SHIFT, VK_LSHIFT, VK_RSHIFT, mods & Qt::ShiftModifier);
  SetModifier(VK_CONTROL, VK_LCONTROL, VK_RCONTROL, mods & Qt::ControlModifier);
  g_held[VK_MENU] = mods & Qt::AltModifier;
}

void SyncButtons(Qt::MouseButtons buttons) {
  g_held[VK_LBUTTON] = buttons & Qt::LeftButton;
  g_held[VK_RBUTTON] = buttons & Qt::RightButton;
  g_held[VK_MBUTTON] = buttons & Qt::MiddleButton;
}

// X11 key symbols of the modifier keys on the right-hand side.
constexpr quint32 kShiftR = 0xffe2, kControlR = 0xffe4;

class InputStateFilter : public QObject {
 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    switch (e->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease: {
        auto* k = static_cast<QKeyEvent*>(e);
        const bool down = e->type() == QEvent::KeyPress;
        if (!down && k->isAutoRepeat()) break;
        const bool right = k->nativeVirtualKey() == kShiftR || k->nativeVirtualKey() == kControlR;
        if (k->key() == Qt::Key_Shift) {
          g_held[right ? VK_RSHIFT : VK_LSHIFT] = down;
          g_held[VK_SHIFT] = g_held[VK_LSHIFT] || g_held[VK_RSHIFT];
        } else if (k->key() == Qt::Key_Control) {
          g_held[right ? VK_RCONTROL : VK_LCONTROL] = down;
          g_held[VK_CONTROL] = g_held[VK_LCONTROL] || g_held[VK_RCONTROL];
        } else if (k->key() == Qt::Key_Alt) {
          g_held[VK_MENU] = down;
        } else {
          if (const uint16_t vk = KeyFromQt(k->key())) g_held[vk & 0xFF] = down;
          SyncModifiers(k->modifiers());
        }
        break;
      }
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick: {
        auto* m = static_cast<QMouseEvent*>(e);
        SyncButtons(m->buttons());
        SyncModifiers(m->modifiers());
        break;
      }
      case QEvent::InputMethod: {
        auto* im = static_cast<QInputMethodEvent*>(e);
        if (Application && (!im->preeditString().isEmpty() || !im->commitString().isEmpty()))
          Application->InputMethodComposing();
        break;
      }
      case QEvent::ApplicationDeactivate: g_held.fill(false); break;
      default: break;
    }
    return QObject::eventFilter(watched, e);
  }
};

}  // namespace

int16_t GetKeyState(int vk) {
  bool down = Held(vk);
  switch (vk) {
    case VK_SHIFT: down = down || Held(VK_LSHIFT) || Held(VK_RSHIFT) || (g_eventShift & ssShift); break;
    case VK_CONTROL: down = down || Held(VK_LCONTROL) || Held(VK_RCONTROL) || (g_eventShift & ssCtrl); break;
    case VK_MENU: down = down || (g_eventShift & ssAlt); break;
    case VK_LBUTTON: down = down || (g_eventShift & ssLeft); break;
    case VK_RBUTTON: down = down || (g_eventShift & ssRight); break;
    case VK_MBUTTON: down = down || (g_eventShift & ssMiddle); break;
    default: break;
  }
  return down ? static_cast<int16_t>(-128) : 0;
}

void NoteKey(uint16_t vk, bool down) {
  g_held[vk & 0xFF] = down;
  if (vk == VK_LSHIFT || vk == VK_RSHIFT) g_held[VK_SHIFT] = g_held[VK_LSHIFT] || g_held[VK_RSHIFT];
  if (vk == VK_LCONTROL || vk == VK_RCONTROL) g_held[VK_CONTROL] = g_held[VK_LCONTROL] || g_held[VK_RCONTROL];
}

void NoteButton(TMouseButton button, bool down) {
  g_held[button == mbRight ? VK_RBUTTON : button == mbMiddle ? VK_MBUTTON : VK_LBUTTON] = down;
}

EventShiftScope::EventShiftScope(TShiftState shift) : saved_(g_eventShift) { g_eventShift = shift; }

EventShiftScope::~EventShiftScope() { g_eventShift = saved_; }

void InstallInputStateFilter() {
  static InputStateFilter* filter = nullptr;
  if (filter || !QCoreApplication::instance()) return;
  filter = new InputStateFilter;
  filter->setParent(QCoreApplication::instance());
  QCoreApplication::instance()->installEventFilter(filter);
}

void SetDragCursor(bool* shown, TCursor cursor) {
  if (!HaveGuiApplication()) return;
  if (cursor == crDefault) {
    if (*shown) QGuiApplication::restoreOverrideCursor();
    *shown = false;
  } else if (*shown) {
    QGuiApplication::changeOverrideCursor(ToQCursor(cursor));
  } else {
    QGuiApplication::setOverrideCursor(ToQCursor(cursor));
    *shown = true;
  }
}

namespace {

class KeyForwarder : public QObject {
 public:
  KeyForwarder(QObject* parent, TWinControl* control) : QObject(parent), control_(control) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::KeyPress) {
      auto* k = static_cast<QKeyEvent*>(e);
      const TShiftState shift = ShiftFromQt(k->modifiers(), Qt::NoButton);
      if (const uint16_t vk = KeyFromQt(k->key()); vk && !control_->PressKey(vk, shift)) return true;
      for (char ch : FromQ(k->text()))
        if (ch != 0 && !control_->TypeChar(ch)) return true;
    } else if (e->type() == QEvent::KeyRelease) {
      auto* k = static_cast<QKeyEvent*>(e);
      if (const uint16_t vk = KeyFromQt(k->key());
          vk && !control_->ReleaseKey(vk, ShiftFromQt(k->modifiers(), Qt::NoButton)))
        return true;
    }
    return QObject::eventFilter(watched, e);
  }

 private:
  TWinControl* control_;
};

class MouseForwarder : public QObject {
 public:
  MouseForwarder(QObject* parent, TControl* control) : QObject(parent), control_(control) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    switch (e->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonDblClick:
      case QEvent::MouseButtonRelease: {
        auto* m = static_cast<QMouseEvent*>(e);
        const QPoint p = m->position().toPoint();
        const TMouseButton b = m->button() == Qt::RightButton ? mbRight : m->button() == Qt::MiddleButton ? mbMiddle : mbLeft;
        const TShiftState s = ShiftFromQt(m->modifiers(), m->buttons());
        if (e->type() == QEvent::MouseButtonRelease)
          control_->ReleaseMouse(b, s, p.x(), p.y());
        else
          control_->PressMouse(b, s, p.x(), p.y(), e->type() == QEvent::MouseButtonDblClick);
        return true;
      }
      case QEvent::MouseMove: {
        auto* m = static_cast<QMouseEvent*>(e);
        const QPoint p = m->position().toPoint();
        control_->MoveMouse(ShiftFromQt(m->modifiers(), m->buttons()), p.x(), p.y());
        return true;
      }
      default: return QObject::eventFilter(watched, e);
    }
  }

 private:
  TControl* control_;
};

}  // namespace

void ForwardKeys(QWidget* widget, TWinControl* control) { widget->installEventFilter(new KeyForwarder(widget, control)); }

void ForwardMouse(QWidget* widget, TControl* control) {
  widget->installEventFilter(new MouseForwarder(widget, control));
  widget->setAttribute(Qt::WA_TransparentForMouseEvents, false);
}
