#include "backup/remote_folder.h"

namespace backup {

const std::array<QString, 7> DayNames{QStringLiteral("lundi"),   QStringLiteral("mardi"),    QStringLiteral("mercredi"),
                                      QStringLiteral("jeudi"),   QStringLiteral("vendredi"), QStringLiteral("samedi"),
                                      QStringLiteral("dimanche")};

QString RemoteFolder(QString mainFolder, bool dayFolders, const QDate& today) {
  if (!mainFolder.startsWith('/')) mainFolder.prepend('/');
  if (mainFolder == QStringLiteral("/")) mainFolder.clear();
  QString day;
  if (dayFolders) day = '/' + DayNames[static_cast<std::size_t>(today.dayOfWeek() - 1)].trimmed();
  return mainFolder + day;
}

QString RemoteName(const QString& remoteFolder) { return remoteFolder + QStringLiteral("/palvrenftp.zip"); }

}  // namespace backup
