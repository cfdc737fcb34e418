// Private to platform/: the meeting point of the program's state and Qt.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QString>

#include "platform/AnsiString.h"
#include "platform/Graphics.h"

QString ToQ(const AnsiString& sjis);
AnsiString FromQ(const QString& s);
QColor ToQColor(TColor c);
QFont ToQFont(const TFont& f);
// Caption text for display: single "&" dropped, "&&" shown as "&".
QString StripAccelerators(const QString& s);
bool HaveGuiApplication();

struct TBitmap::Impl {
  QImage image;
};
