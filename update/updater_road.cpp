// The update road of the "Mise à jour" button.
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include "net/net_error.h"
#include "platform/message_box.h"
#include "platform/shell_open.h"
#include "platform/streams.h"
#include "ui_updater_form.h"
#include "update/kill_process.h"
#include "update/updater_form.h"

namespace updater {

namespace {
constexpr unsigned long stepPauseMs = 300;
}

void TForm1::BitBtn1Click() {
  ui->BitBtn1->setEnabled(false);
  if (!QFileInfo(exePath()).isFile()) {
    ui->Label1->setText(missingExeText());
    return;
  }
  Button5Click();
  Button2Click();
  if (!(PageDate > ExeDate)) {
    ui->Label1->setText(noNewVersionText());
    ui->BitBtn1->setEnabled(true);
    return;
  }

  KillProcessByName(ExeName);
  try {
    ui->Label1->setText(QStringLiteral("Téléchargement des mises à jour ") + ProductName + QStringLiteral("."));
    if (!downloadArchive()) {
      abandonDownload();
      return;
    }
    ui->Label1->setText(QStringLiteral("Installation de la mise à jour ") + ProductName + QStringLiteral("."));
    QThread::msleep(stepPauseMs);
    Button3Click();
  } catch (...) {
    // Whatever ends the road here, the program that was stopped for it runs again.
    restartBackupProgram();
    throw;
  }
  ui->Label1->setText(QStringLiteral("Mise à jour de ") + ProductName + QStringLiteral(" terminée."));
  QThread::msleep(stepPauseMs);
  restartBackupProgram();
  if (QFile::exists(ZipPath)) QFile::remove(ZipPath);
  ui->BitBtn1->setEnabled(true);
  platform::showMessage(QStringLiteral("La mise à jour de ") + ProductName + QStringLiteral(" est terminée et installée.\n") +
                            ProductName + QStringLiteral(" à été redémarré automatiquement."),
                        this);
  close();
}

bool TForm1::downloadArchive() {
  platform::TFileStream file(ZipPath.toStdString(), platform::fmCreate);
  try {
    IdHTTP1.get(DownloadUrl.toStdString(),
                [&file](const char* data, std::size_t size) { file.WriteBuffer(data, static_cast<int64_t>(size)); });
  } catch (const net::EIdException& e) {
    platform::showMessage(QStringLiteral("Erreur durant le téléchargement : ") + QString::fromStdString(e.message()), this);
    return false;
  } catch (const std::exception& e) {
    platform::showMessage(QStringLiteral("Erreur inconnue : ") + QString::fromUtf8(e.what()), this);
    return false;
  }
  return true;
}

void TForm1::abandonDownload() {
  // An incomplete archive is never extracted: the installed version stays as it was.
  restartBackupProgram();
  QFile::remove(ZipPath);
  ui->Label1->setText(QStringLiteral("Le téléchargement de la mise à jour ") + ProductName +
                      QStringLiteral(" a échoué.\nVeuillez réessayer dans un moment."));
  ui->BitBtn1->setEnabled(true);
}

void TForm1::restartBackupProgram() { platform::shellOpen(exePath()); }

}  // namespace updater
