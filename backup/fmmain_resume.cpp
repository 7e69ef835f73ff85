// Resume after incident.
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTime>
#include <QTimer>

#include "backup/app_windows.h"
#include "backup/archive_slice.h"
#include "backup/file_size64.h"
#include "backup/fmmain.h"
#include "backup/form1.h"
#include "backup/remote_folder.h"
#include "net/ftp_client.h"
#include "ui_fmmain.h"
#include "ui_form1.h"

void TfmMain::Timer5Timer() {
  Timer1->stop();
  ui->Button2->setEnabled(false);
  ui->bnStart->setEnabled(false);
  const qint64 elapsed = std::max<qint64>(0, RetryStartTime.secsTo(now()));
  ui->Button2->setText(QTime(0, 0).addSecs(static_cast<int>(elapsed % 86400)).toString(QStringLiteral("hh:mm:ss")));
}

void TfmMain::Timer4Timer() {
  Timer1->stop();
  Timer4->stop();
  Button12Click();
}

void TfmMain::Button12Click() {
  handOverErrors([this] { resumeAttempt(); });
}

void TfmMain::resumeAttempt() {
  Timer5->stop();
  ui->Button2->setEnabled(true);
  ui->Button2->setText(QStringLiteral("Effacer"));
  if (!Form1) return;

  const QString slice = programFolder() + QStringLiteral("palvrenftp2.zip");
  bool sliceMade = false;
  std::unique_ptr<net::FtpClient> client;
  const auto end = qScopeGuard([&] {
    if (sliceMade && QFile::exists(slice)) QFile::remove(slice);
    client.reset();
    endAttempt();
  });
  client = newUploadClient();
  const int startCount = RetryCount;
  ui->ProgressBar1->setValue(0);
  ArchiveSize = FileSize64(ZipFileName.toStdString());
  logMessage(QStringLiteral("Reprise du transfert après incident"));
  ui->derniere_sauv->setText(QString::number(ArchiveSize));
  ui->ProgressBar1->setMaximum(100);
  if (ArchiveSize == 0) return;

  const QString folder = RemoteFolder(Form1->ui->rep_principal->text(), Form1->ui->rep_auto->isChecked(), now().date());
  const QString remoteName = RemoteName(folder);
  const bool mail = Form1->ui->recevoir_mail->isChecked();
  bool failed = false;
  const auto step = [&](const std::function<void()>& work) {
    if (failed) return;
    try {
      work();
    } catch (const std::exception& e) {
      failed = true;
      failureStep(*client, QString::fromUtf8(e.what()));
    }
  };
  qint64 serverSize = -1;
  step([&] { client->connect(); });
  step([&] { ForceFtpDirectories(folder, *client); });
  step([&] { serverSize = client->size(remoteName.toStdString()); });

  if (!failed) {
    // Only a file this run began to write is a beginning of the local archive; last week's
    // archive or an older run's would turn into a damaged file of the right size.
    const bool ours = StartedRemoteName == remoteName;
    if (ours && serverSize == ArchiveSize) {
      logMessage(QStringLiteral("Transfert de %1 sur %2 Octets (%3)").arg(serverSize).arg(ArchiveSize).arg(folder));
      logMessage(QStringLiteral("Sauvegarde terminée"));
      if (mail) Button11Click();
      client->disconnect();
      return;
    }
    const bool appendTail = ours && serverSize > 0 && serverSize < ArchiveSize;
    if (appendTail) {
      step([&] {
        sliceMade = true;
        WriteArchiveSlice(ZipFileName, slice, serverSize, ArchiveSize);
      });
    }
    step([&] {
      if (appendTail) sendArchive(*client, slice, remoteName, true);
      else sendArchive(*client, ZipFileName, remoteName, false);
    });
  }

  if (client->connected()) sizeCheck(*client, folder, remoteName);
  if (RetryCount == maxUploadAttempts) {
    logMessage(QStringLiteral("+++++ Attention le transfert n'est pas effectué."));
    SubjectSuffix = QStringLiteral(" (Attention voir Erreur)");
  }
  if (mail && (RetryCount == startCount || RetryCount == maxUploadAttempts)) Button11Click();
}
