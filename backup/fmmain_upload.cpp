// FTP upload and size check.
#include "backup/fmmain.h"

void TfmMain::Button1Click() {}

void TfmMain::Button7Click() {}

void TfmMain::ForceFtpDirectories(const QString&, net::FtpClient&) {}

void TfmMain::IdFTP1Status(const QString&) {}

void TfmMain::IdFTP1WorkBegin(qint64) {}

void TfmMain::IdFTP1Work(qint64) {}

void TfmMain::IdFTP1WorkEnd() {}
