#pragma once
// Where the archive goes on the FTP server.
#include <QDate>
#include <QString>
#include <array>

namespace backup {

// Weekday folder names, Monday first.
extern const std::array<QString, 7> DayNames;

// The main folder as an absolute path ("" for the root), followed by the day's folder when day
// folders are chosen: "sauvegarde" on a Wednesday gives "/sauvegarde/mercredi".
QString RemoteFolder(QString mainFolder, bool dayFolders, const QDate& today);
// The archive's absolute name in that folder.
QString RemoteName(const QString& remoteFolder);

}  // namespace backup
