// FTP upload and size check.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <cmath>

#include "backup/app_windows.h"
#include "backup/components/svg_edit_ini.h"
#include "backup/file_size64.h"
#include "backup/fmmain.h"
#include "backup/form1.h"
#include "backup/ftp_setup.h"
#include "backup/remote_folder.h"
#include "net/ftp_client.h"
#include "net/idle_pump.h"
#include "platform/core/clock.h"
#include "platform/core/format_settings.h"
#include "platform/ui/progress_value.h"
#include "ui_fmmain.h"
#include "ui_form1.h"

namespace backup {

namespace {
const QString separator = QStringLiteral("-----------------------");
constexpr int closingWaitMs = 10000;

QString errorText(const std::exception& e) { return QString::fromUtf8(e.what()); }

// The pause keeps its length on the program's clock (and never outlasts it on the system's
// steady one), while the window keeps painting and its timers firing. The run stays busy
// meanwhile, so a start request is still ignored.
void pumpingWait(int ms) {
  const QDateTime end = platform::clock().now().addMSecs(ms);
  QElapsedTimer steady;
  steady.start();
  for (;;) {
    const qint64 left = std::min(platform::clock().now().msecsTo(end), ms - steady.elapsed());
    if (left <= 0) return;
    QThread::msleep(static_cast<unsigned long>(std::min<qint64>(left, net::IdlePump::sliceMs)));
    net::IdlePump::tick();
  }
}
}  // namespace

void TfmMain::handOverErrors(const std::function<void()>& work) {
  try {
    work();
  } catch (const std::exception& e) {
    ApplicationEvents1Exception(errorText(e));
  } catch (...) {
    ApplicationEvents1Exception(QStringLiteral("Exception inconnue"));
  }
}

std::unique_ptr<net::FtpClient> TfmMain::newUploadClient() {
  auto client = std::make_unique<net::FtpClient>();
  client->readTimeoutMs = 19000;
  client->binary = true;
  SetUpFtpClient(*client, *Form1);
  client->events.onWorkBegin = [this](net::WorkMode, std::int64_t countMax) { IdFTP1WorkBegin(countMax); };
  client->events.onWorkEnd = [this](net::WorkMode) { IdFTP1WorkEnd(); };
  client->onStatus = [this](const std::string& text) { IdFTP1Status(QString::fromStdString(text)); };
  client->events.onWork = [this](net::WorkMode, std::int64_t count) { IdFTP1Work(count); };
  return client;
}

void TfmMain::sendArchive(net::FtpClient& client, const QString& localFile, const QString& remoteName, bool append) {
  // Once the server has accepted the transfer, the file there is this run's own.
  auto begin = client.events.onWorkBegin;
  client.events.onWorkBegin = [this, begin, remoteName](net::WorkMode mode, std::int64_t countMax) {
    StartedRemoteName = remoteName;
    if (begin) begin(mode, countMax);
  };
  if (append) client.append(localFile.toStdString(), remoteName.toStdString());
  else client.store(localFile.toStdString(), remoteName.toStdString());
}

void TfmMain::failureStep(net::FtpClient& client, const QString& message, bool logIt) {
  if (logIt) logMessage(message);
  ++RetryCount;
  if (RetryCount < maxUploadAttempts) {
    logMessage(QStringLiteral("Reprise dans 3 minutes"));
    Timer4->start();
    RetryStartTime = now();
    Timer5->start();
    // Held off at once, not at the clock's first tick: nothing may start a run over the resume.
    Timer1->stop();
    ui->bnStart->setEnabled(false);
  }
  client.disconnect();
}

void TfmMain::sizeCheck(net::FtpClient& client, const QString& remoteFolder, const QString& remoteName) {
  qint64 serverSize = -1;
  try {
    serverSize = client.size(remoteName.toStdString());
  } catch (const std::exception& e) {
    // A lost connection here still ends in the report, with the size unknown.
    logMessage(errorText(e));
  }
  if (plainWait) plainWait(closingWaitMs);
  else pumpingWait(closingWaitMs);
  client.disconnect();
  closingLines(serverSize, remoteFolder);
}

void TfmMain::closingLines(qint64 serverSize, const QString& remoteFolder) {
  logMessage(QStringLiteral("Transfert de %1 sur %2 Octets (%3)").arg(serverSize).arg(ArchiveSize).arg(remoteFolder));
  logMessage(QStringLiteral("Sauvegarde terminée"));
  if (QString::number(serverSize) != QString::number(ArchiveSize) || RunIncomplete) {
    Affiche1Click();
    journal(separator);
    logMessage(QStringLiteral("+++++ Attention votre sauvegarde n'est pas compléte"));
    journal(separator);
    SubjectSuffix = QStringLiteral(" (Attention voir Erreur)");
  }
}

void TfmMain::endAttempt() {
  // A pending resume keeps the schedule and the start button off until it has run.
  if (Timer4->isActive()) return;
  ui->bnStart->setEnabled(true);
  Timer1->start();
}

void TfmMain::Button1Click() {
  handOverErrors([this] { uploadAttempt(); });
}

bool TfmMain::openAttempt(UploadAttempt& attempt, const std::function<void()>& showSize) {
  attempt.client = newUploadClient();
  attempt.startCount = RetryCount;
  ui->ProgressBar1->setValue(0);
  ArchiveSize = FileSize64(ZipFileName.toStdString());
  showSize();
  ui->ProgressBar1->setMaximum(100);
  if (ArchiveSize == 0) return false;

  attempt.folder = RemoteFolder(Form1->ui->rep_principal->text(), Form1->ui->rep_auto->isChecked(), now().date());
  attempt.remoteName = RemoteName(attempt.folder);
  attemptStep(attempt, [&] { attempt.client->connect(); });
  attemptStep(attempt, [&] { ForceFtpDirectories(attempt.folder, *attempt.client); });
  return true;
}

void TfmMain::attemptStep(UploadAttempt& attempt, const std::function<void()>& work, bool logAll) {
  if (attempt.failed) return;
  try {
    work();
  } catch (const std::exception& e) {
    attempt.failed = true;
    const QString message = errorText(e);
    failureStep(*attempt.client, message, logAll || !message.contains(QStringLiteral("Violation")));
  }
}

void TfmMain::uploadAttempt() {
  if (!Form1) return;
  UploadAttempt a;
  const auto end = qScopeGuard([&] {
    a.client.reset();
    endAttempt();
  });
  // A new run: whatever the server holds was not written by it yet.
  StartedRemoteName.clear();
  const bool opened = openAttempt(a, [this] {
    const QString previous = ui->derniere_sauv->text();
    logMessage(QStringLiteral("Derniére sauvegarde = ") + previous + QStringLiteral(" Octets "));
    logMessage(QStringLiteral("Sauvegarde actuelle = %1 Octets ").arg(ArchiveSize));
    if (previous == QString::number(ArchiveSize)) {
      Affiche1Click();
      journal(separator);
      logMessage(QStringLiteral("Attention votre sauvegarde semble être la même que la précédente."));
      logMessage(QStringLiteral("Si vous n'avez pas ajouté des données supplémentaires \" c'est normal ! \""));
      journal(separator);
    }
    ui->derniere_sauv->setText(QString::number(ArchiveSize));
    SvgEditIni1->Save();
  });
  if (!opened) return;
  attemptStep(
      a, [&] { sendArchive(*a.client, ZipFileName, a.remoteName, false); }, false);

  if (a.client->connected()) sizeCheck(*a.client, a.folder, a.remoteName);
  // After a failure the resume decides on the report.
  if (RetryCount == a.startCount && Form1->ui->recevoir_mail->isChecked()) Button11Click();
}

void TfmMain::ForceFtpDirectories(const QString& path, net::FtpClient& client) {
  const QString full = path + '/';
  try {
    client.changeDir(full.toStdString());
    return;
  } catch (const std::exception&) {
  }
  // Level by level, each one absolute: /a/, /a/b/, ...
  QString level = QStringLiteral("/");
  while (level != full) {
    const qsizetype slash = full.indexOf('/', level.size());
    level = full.left(slash + 1);
    try {
      client.changeDir(level.toStdString());
    } catch (const std::exception&) {
      client.makeDir(level.toStdString());
      logMessage(QStringLiteral("Création du répertoire ") + level);
    }
  }
}

void TfmMain::IdFTP1Status(const QString& status) { logMessage(status); }

void TfmMain::IdFTP1WorkBegin(qint64) {
  TransferStartTime = now();
  ui->ProgressBar2->hide();
  ui->Label1->clear();
  ui->Label1->show();
}

void TfmMain::IdFTP1Work(qint64 count) {
  if (ArchiveSize > 0) {
    // Ties go to the even percentage.
    const double percent = std::nearbyint(static_cast<double>(count) / static_cast<double>(ArchiveSize) * 100.0);
    platform::setProgressValue(ui->ProgressBar1, static_cast<int>(std::clamp(percent, 0.0, 100.0)));
  }
  const qint64 elapsed = TransferStartTime.secsTo(now());
  if (elapsed <= 0) return;
  const double rate = static_cast<double>(count) / 1024.0 / static_cast<double>(elapsed);
  const QString shown = QString::number(rate, 'f', 2).replace('.', platform::formatSettings().decimalSeparator);
  ui->Label1->setText(QStringLiteral("Taux de transfert : %1 Ko/S ").arg(shown));
}

void TfmMain::IdFTP1WorkEnd() {
  ui->ProgressBar1->setValue(0);
  if (ui->Label1->text().isEmpty()) ui->Label1->setText(QStringLiteral("-------------"));
  logMessage(ui->Label1->text());
  ui->ProgressBar2->show();
  ui->Label1->hide();
}

void TfmMain::Button7Click() {
  if (!Form1) return;
  handOverErrors([this] {
    net::FtpClient client;
    logMessage(QStringLiteral("Essai de connexion"));
    SetUpFtpClient(client, *Form1);
    Ui::Form1* f = Form1->ui.get();
    if (f->hote_vesk->text().isEmpty() || f->utilisateur_vesk->text().isEmpty()) {
      f->Label23->setText(
          QStringLiteral(" Vous devez configurer (host, login) ou Mettre \"anonymous\" dans l'utilisateur ."));
      return;
    }
    try {
      client.connect();
      client.disconnect();
      f->Label23->setText(QStringLiteral("Connexion OK"));
    } catch (const std::exception& e) {
      f->Label23->setText(errorText(e));
    }
    client.disconnect();
  });
}

}  // namespace backup
