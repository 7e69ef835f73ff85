#include "platform/core/program_folder.h"

#include <QCoreApplication>

namespace platform {

namespace {
QString& overridden() {
  static QString f;
  return f;
}
QString withSlash(QString f) {
  if (!f.endsWith('/')) f += '/';
  return f;
}
}  // namespace

QString programFolder() {
  if (!overridden().isEmpty()) return overridden();
  return withSlash(QCoreApplication::applicationDirPath());
}

void setProgramFolder(const QString& folder) { overridden() = folder.isEmpty() ? QString() : withSlash(folder); }

}  // namespace platform
