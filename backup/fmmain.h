#pragma once
// Main window: tray icon, timers, progress, the run log and the daily schedule.
#include <QDateTime>
#include <QMainWindow>
#include <functional>
#include <memory>

#include "backup/components/scrute_dossier.h"

class QAction;
class QCloseEvent;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace Ui {
class fmMain;
}
namespace net {
class FtpClient;
}

namespace backup {

class ArchiveWriter;
class TSvgEditIni;

class TfmMain : public QMainWindow {
  Q_OBJECT
 public:
  explicit TfmMain(QWidget* parent = nullptr);
  ~TfmMain() override;

  std::unique_ptr<Ui::fmMain> ui;
  TSvgEditIni* SvgEditIni1;
  QTimer* Timer1;  // daily schedule tick
  QTimer* Timer2;  // working-set trim
  QTimer* Timer3;  // start-up step, once
  QTimer* Timer4;  // resume after a failed upload
  QTimer* Timer5;  // retry clock
  QSystemTrayIcon* RxTrayIcon1;
  QMenu* PopupMenu1;
  QAction* Affiche1;
  QAction* Rduire1;
  QAction* Demarrer1;
  QAction* N1;

  // Run state shared by the run, the upload, the resume and the report.
  QString ZipFileName;
  QString SubjectSuffix;
  int RetryCount = 0;
  // Something of the configured folders did not reach the archive in this run: the run then
  // never ends in plain success.
  bool RunIncomplete = false;

  // Whether the desktop has a tray to hide into; without one, hiding minimises.
  std::function<bool()> trayAvailable;

  // Panel 0 of the status bar.
  QString statusPanelText() const;
  void setStatusPanelText(const QString& text);

  QString programFolder() const;  // with its trailing "/"
  QDateTime now() const;          // from the program's clock
  // A log line's start: the date and time as the workstation writes them.
  QString logStamp() const;
  // Logs stamp + " : " + message.
  void logMessage(const QString& message);

  // Start requests from the button, the tray and the schedule come here: one run at a time.
  bool isBusy() const;
  void requestStart();
  // Held by whatever must not be overlapped by a new start (a run, an upload, a resume).
  class BusyScope {
   public:
    explicit BusyScope(TfmMain& w) : w_(w) { ++w_.busyDepth_; }
    ~BusyScope() { --w_.busyDepth_; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    TfmMain& w_;
  };

  // Program entry, main window and schedule.
  void FormCreate();
  void Timer1Timer();
  void Timer2Timer();
  void Timer3Timer();
  void SpeedButton2Click();
  void Affiche1Click();
  void Rduire1Click();
  void BitBtn1Click();
  void Devant();
  void N1Click();
  void RxTrayIcon1Click();
  void FormClose(QCloseEvent* event);
  void ApplicationEvents1Exception(const QString& message);

  // Run log and daily log files.
  void journal(const QString& line);
  void Button2Click();
  void Button5Click();
  void ScruteDossier3Fichier(const std::string& nom);
  // Walks the program folder and all below it for "*.log" files (subfolders, depth 10000).
  TScruteDossier ScruteDossier3;

  // Backup run and archive update. Reached through requestStart(), which keeps runs apart.
  void bnStartClick();
  void ScruteDossier1Execute();
  void ScruteDossier1Dossier(const std::string& nom);
  // nom: the full path as the file system spells it (any bytes), as the walker reports it.
  void ScruteDossier1Fichier(const std::string& nom);
  void ScruteDossier1FinExecute();
  // A folder of the backup list, or below it, that could not be listed.
  void ScruteDossier1Erreur(const std::string& nom, int sysError);
  // Logs a loss of the run (a folder or file left out, a save that failed) and marks the run.
  void logLoss(const QString& message);
  // Walks the folders of the backup list, one entry after the other.
  TScruteDossier ScruteDossier1;
  // The archive writer of the run under way; none outside the archive step.
  ArchiveWriter* RunWriter = nullptr;
  void AbZipper1ArchiveProgress(int progress, bool& abort);
  void AbZipper1ArchiveItemProgress(const QString& item, int progress, bool& abort);
  void AbZipper1ArchiveSaveProgress(int progress, bool& abort);

  // FTP upload and size check.
  void Button1Click();
  void Button7Click();
  void ForceFtpDirectories(const QString& path, net::FtpClient& client);
  void IdFTP1Status(const QString& status);
  void IdFTP1WorkBegin(qint64 countMax);
  void IdFTP1Work(qint64 count);
  void IdFTP1WorkEnd();

  // Resume after incident.
  void Button12Click();
  void Timer4Timer();
  void Timer5Timer();

  // Upload and resume state.
  static constexpr int maxUploadAttempts = 4;  // the first upload and three resumes
  qint64 ArchiveSize = 0;
  QDateTime TransferStartTime;
  QDateTime RetryStartTime;
  // The remote file that this run's own STOR or APPE began to write: the only one a resume may
  // append to. Empty when no transfer of this run reached the server.
  QString StartedRemoteName;
  // The wait before the closing disconnect (the window keeps painting); tests may replace it.
  std::function<void(int ms)> plainWait;

  // E-mail report.
  void Button11Click();

 signals:
  // The close went on: the program ends.
  void closed();
  // A start request was accepted and the run begins.
  void runStarting();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildTray();
  void startTimers();

  // Upload and resume steps.
  void uploadAttempt();
  void resumeAttempt();
  // One upload or resume: its client, where its file goes, and whether a step has failed.
  struct UploadAttempt {
    std::unique_ptr<net::FtpClient> client;
    int startCount = 0;
    QString folder;
    QString remoteName;
    bool failed = false;
  };
  // The opening both share: a fresh client, the archive's size measured and shown (showSize
  // logs and shows it), then the connection and the remote folder. False for an empty archive.
  bool openAttempt(UploadAttempt& attempt, const std::function<void()>& showSize);
  // Runs work unless a step has failed already; its failure is the attempt's (logged unless
  // logAll is false and the message is an access violation).
  void attemptStep(UploadAttempt& attempt, const std::function<void()>& work, bool logAll = true);
  std::unique_ptr<net::FtpClient> newUploadClient();
  void sendArchive(net::FtpClient& client, const QString& localFile, const QString& remoteName, bool append);
  void failureStep(net::FtpClient& client, const QString& message, bool logIt = true);
  void sizeCheck(net::FtpClient& client, const QString& remoteFolder, const QString& remoteName);
  // The run's closing lines once the server holds a copy: the transfer, the end, and the
  // warning when the copy is short or the archive misses something.
  void closingLines(qint64 serverSize, const QString& remoteFolder);
  void endAttempt();
  // Runs work; an error it lets through becomes the application-wide handler's log line.
  void handOverErrors(const std::function<void()>& work);

  QLabel* statusPanel_;
  // Where the window was when hidden: shown again there, not where the window manager likes.
  QRect hiddenGeometry_;
  int busyDepth_ = 0;
  QDateTime lastScheduledMinute_;
};

}  // namespace backup
