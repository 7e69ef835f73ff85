#include "update/update_server.h"

namespace updater {

namespace {
const QString defaultHost = QStringLiteral("www.example.com");

QString& overridden() {
  static QString h;
  return h;
}
}  // namespace

QString updateHost() { return overridden().isEmpty() ? defaultHost : overridden(); }
void setUpdateHost(const QString& host) { overridden() = host; }

QString versionUrl() { return QStringLiteral("http://") + updateHost() + QStringLiteral("/palvrenftp/update.html"); }
QString downloadUrl(const QString& zipName) {
  return QStringLiteral("http://") + updateHost() + QStringLiteral("/rv/") + zipName;
}

}  // namespace updater
