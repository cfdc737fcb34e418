#include "platform/ShellApi.h"

#include <QDesktopServices>
#include <QFile>
#include <QUrl>

#include "platform/Forms.h"
#include "platform/QtBridge.h"

namespace {
AnsiString& Last() {
  static AnsiString last;
  return last;
}
}  // namespace

const AnsiString& ShellOpenedLast() { return Last(); }

bool ShellOpen(const AnsiString& target) {
  Last() = target;
  if (target.empty()) return false;
  if (!HaveGuiApplication() || (Application && Application->TestMode)) return true;
  const QString t = ToQ(target);
  const QUrl url = t.contains(QLatin1String("://")) ? QUrl(t) : QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(target)));
  return QDesktopServices::openUrl(url);
}
