// Resume after incident.
#include <QFile>
#include <QPushButton>
#include <QScopeGuard>
#include <QTime>
#include <QTimer>

#include "backup/app_windows.h"
#include "backup/archive_slice.h"
#include "backup/fmmain.h"
#include "backup/form1.h"
#include "backup/resume_decision.h"
#include "net/ftp_client.h"
#include "ui_fmmain.h"
#include "ui_form1.h"

namespace backup {

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
  UploadAttempt a;
  const auto end = qScopeGuard([&] {
    if (sliceMade && QFile::exists(slice)) QFile::remove(slice);
    a.client.reset();
    endAttempt();
  });
  // Read before the connection, whose wait lets the window change it.
  const bool mail = Form1->ui->recevoir_mail->isChecked();
  const bool opened = openAttempt(a, [this] {
    logMessage(QStringLiteral("Reprise du transfert après incident"));
    ui->derniere_sauv->setText(QString::number(ArchiveSize));
  });
  if (!opened) return;
  qint64 serverSize = -1;
  attemptStep(a, [&] { serverSize = a.client->size(a.remoteName.toStdString()); });

  if (!a.failed) {
    const ResumeDecision next = DecideResume(serverSize, ArchiveSize, StartedRemoteName, a.remoteName);
    if (next.action == ResumeAction::Done) {
      closingLines(serverSize, a.folder);
      if (mail) Button11Click();
      a.client->disconnect();
      return;
    }
    const bool appendTail = next.action == ResumeAction::AppendFrom;
    if (appendTail) {
      attemptStep(a, [&] {
        sliceMade = true;
        WriteArchiveSlice(ZipFileName, slice, next.from, ArchiveSize);
      });
    }
    attemptStep(a, [&] {
      if (appendTail) sendArchive(*a.client, slice, a.remoteName, true);
      else sendArchive(*a.client, ZipFileName, a.remoteName, false);
    });
  }

  if (a.client->connected()) sizeCheck(*a.client, a.folder, a.remoteName);
  if (RetryCount == maxUploadAttempts) {
    logMessage(QStringLiteral("+++++ Attention le transfert n'est pas effectué."));
    SubjectSuffix = QStringLiteral(" (Attention voir Erreur)");
  }
  if (mail && (RetryCount == a.startCount || RetryCount == maxUploadAttempts)) Button11Click();
}

}  // namespace backup
