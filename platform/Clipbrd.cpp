#include "platform/Clipbrd.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "platform/QtBridge.h"

namespace {

// What the program put on the clipboard last, with its bytes, and the text it became there.
struct Last {
  AnsiString bytes;
  QString text;
  bool set = false;
};

Last& LastSet() {
  static Last last;
  return last;
}

}  // namespace

TClipboard* Clipboard() {
  static TClipboard clipboard;
  return &clipboard;
}

AnsiString TClipboard::AsText() const {
  const Last& last = LastSet();
  if (!HaveGuiApplication()) return last.set ? last.bytes : AnsiString();
  const QString text = QGuiApplication::clipboard()->text();
  if (last.set && text == last.text) return last.bytes;
  return FromQ(text);
}

void TClipboard::SetAsText(const AnsiString& text) {
  Last& last = LastSet();
  last.bytes = text;
  last.set = true;
  if (!HaveGuiApplication()) return;
  last.text = ToQ(text);
  QGuiApplication::clipboard()->setText(last.text);
  last.text = QGuiApplication::clipboard()->text();  // as the clipboard keeps it
}

void TClipboard::SetTextBuf(const char* buffer) { SetAsText(buffer ? AnsiString(buffer) : AnsiString()); }

bool TClipboard::HasFormat(int format) const {
  if (format != CF_TEXT) return false;
  if (!HaveGuiApplication()) return LastSet().set;
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  return data && data->hasText();
}

void TClipboard::Clear() {
  LastSet() = Last();
  if (HaveGuiApplication()) QGuiApplication::clipboard()->clear();
}
