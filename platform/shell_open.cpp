#include "platform/shell_open.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

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
  return QDesktopServices::openUrl(QUrl::fromUserInput(target));
}

}  // namespace platform
