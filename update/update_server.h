#pragma once
// The web server that publishes the version page and the update archive.
#include <QString>

namespace updater {

// Host name, with ":port" when it is not the default one.
QString updateHost();
// Tests point the updater at their own server; an empty text puts the default back.
void setUpdateHost(const QString& host);

QString versionUrl();                         // the version page
QString downloadUrl(const QString& zipName);  // the update archive

}  // namespace updater
