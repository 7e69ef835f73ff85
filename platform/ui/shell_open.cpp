#include "platform/ui/shell_open.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include "platform/ui/start_behind.h"

namespace platform {

namespace {
ShellOpenHook& hook() {
  static ShellOpenHook h;
  return h;
}
}  // namespace

void setShellOpenHook(ShellOpenHook h) { hook() = std::move(h); }

bool shellOpen(const QString& target) {
  if (hook()) return hook()(target);
  const QFileInfo info(target);
  if (info.isFile() && info.isExecutable()) return QProcess::startDetached(info.absoluteFilePath(), {});
  // A missing local file is not handed on: the desktop would report it in a window of its own.
  if (info.isAbsolute() && !info.exists()) return false;
  return QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

bool shellOpenBehind(const QString& target) {
  if (hook()) return hook()(target);
  const QFileInfo info(target);
  if (!info.isFile() || !info.isExecutable()) return false;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QString::fromLatin1(startBehindVariable), QStringLiteral("1"));
  QProcess process;
  process.setProgram(info.absoluteFilePath());
  process.setProcessEnvironment(env);
  return process.startDetached();
}

}  // namespace platform
