// The update road of the "Mise à jour" button.
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <exception>
#include <optional>

#include "net/net_error.h"
#include "platform/core/exceptions.h"
#include "platform/ui/application.h"
#include "platform/ui/message_box.h"
#include "platform/ui/shell_open.h"
#include "platform/core/streams.h"
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
  if (IdHTTP1.cancelled()) return;  // closed during the version check: nothing was stopped yet
  Button2Click();
  if (!(PageDate > ExeDate)) {
    ui->Label1->setText(noNewVersionText());
    ui->BitBtn1->setEnabled(true);
    return;
  }

  KillProcessByName(ExeName);
  try {
    ui->Label1->setText(QStringLiteral("Téléchargement des mises à jour ") + ProductName + QStringLiteral("."));
    if (const std::optional<QString> error = downloadArchive()) {
      if (IdHTTP1.cancelled()) {
        abandonOnClose();
        return;
      }
      abandonDownload(
          QStringLiteral("Le téléchargement de la mise à jour ") + ProductName + QStringLiteral(" a échoué."), *error);
      return;
    }
    ui->Label1->setText(QStringLiteral("Installation de la mise à jour ") + ProductName + QStringLiteral("."));
    pumpOnce();
    QThread::msleep(stepPauseMs);
    QString fault;
    if (!Button3Click(fault)) {
      if (closeAsked_) {
        abandonOnClose();
        return;
      }
      // Only a whole archive is installed: one that does not open or test is a failed download.
      abandonDownload(
          QStringLiteral("L'archive de la mise à jour ") + ProductName +
              QStringLiteral(" est incomplète ou endommagée."),
          QStringLiteral("Erreur durant le téléchargement : l'archive reçue est incomplète ou endommagée (") + fault +
              QStringLiteral(")."));
      return;
    }
  } catch (const platform::EFCreateError&) {
    ui->Label1->setText(QStringLiteral("L'archive de la mise à jour ") + ProductName +
                        QStringLiteral(" n'a pas pu être créée.\n") + restartedText());
    restartThenReport();
    return;
  } catch (...) {
    // Whatever ends the road here, the program that was stopped for it runs again.
    ui->Label1->setText(QStringLiteral("L'installation de la mise à jour ") + ProductName +
                        QStringLiteral(" a été interrompue.\n") + ProductName + QStringLiteral(" a été redémarré."));
    restartThenReport();
    return;
  }
  ui->Label1->setText(QStringLiteral("Mise à jour de ") + ProductName + QStringLiteral(" terminée."));
  pumpOnce();
  QThread::msleep(stepPauseMs);
  restartBackupProgram();
  if (QFile::exists(ZipPath)) QFile::remove(ZipPath);
  ui->BitBtn1->setEnabled(true);
  // Closed during the installation: the user has seen the window go, no box waits for "OK".
  if (!closeAsked_) {
    platform::showMessage(QStringLiteral("La mise à jour de ") + ProductName +
                              QStringLiteral(" est terminée et installée.\n") + ProductName +
                              QStringLiteral(" à été redémarré automatiquement."),
                          this);
  }
  close();
}

std::optional<QString> TForm1::downloadArchive() {
  platform::TFileStream file(ZipPath.toStdString(), platform::fmCreate);
  try {
    IdHTTP1.get(DownloadUrl.toStdString(),
                [&file](const char* data, std::size_t size) { file.WriteBuffer(data, static_cast<int64_t>(size)); });
  } catch (const net::EIdException& e) {
    return QStringLiteral("Erreur durant le téléchargement : ") + QString::fromStdString(e.message());
  } catch (const std::exception& e) {
    return QStringLiteral("Erreur inconnue : ") + QString::fromUtf8(e.what());
  }
  return std::nullopt;
}

void TForm1::abandonDownload(const QString& what, const QString& error) {
  // An incomplete archive is never extracted: the installed version stays as it was.
  QFile::remove(ZipPath);
  ui->ProgressBar->setValue(0);
  ui->Label1->setText(what + QStringLiteral("\n") + restartedText());
  restartBackupProgram();
  platform::showMessage(error, this);
}

void TForm1::abandonOnClose() {
  // Closed: the old version runs again, without the archive and without a box.
  QFile::remove(ZipPath);
  restartBackupProgram();
}

void TForm1::restartThenReport() {
  const std::exception_ptr error = std::current_exception();
  restartBackupProgram();
  platform::deliverSafely([error] { std::rethrow_exception(error); });
}

QString TForm1::restartedText() const {
  return QStringLiteral("L'ancienne version de ") + ProductName + QStringLiteral(" a été redémarrée.");
}

void TForm1::restartBackupProgram() { platform::shellOpenBehind(exePath()); }

}  // namespace updater
