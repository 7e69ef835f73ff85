#pragma once
// The updater's window: one button that checks the version page and installs a newer version.
#include <QDateTime>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

#include "net/http_client.h"
#include "net/idle_pump.h"
#include "platform/core/day_count.h"
#include "update/update_archiver.h"

class QPlainTextEdit;

namespace platform {
class TMemoryStream;
}

namespace Ui {
class UpdaterForm1;
}

namespace updater {

class TForm1 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  std::unique_ptr<Ui::UpdaterForm1> ui;
  net::HttpClient IdHTTP1;
  TUpdateArchiver ZipArchiver1;

  QString ExeName;
  QString ZipName;
  QString ZipPath;
  QString VersionUrl;
  QString DownloadUrl;
  QString ProductName;
  platform::TDateTime PageDate = 0;
  platform::TDateTime ExeDate = 0;
  QDateTime StartTime;

  void FormCreate();
  void BitBtn1Click();
  void BitBtn2Click();
  void Button5Click();
  void Button2Click();
  // Opens the archive, tests every entry and extracts them all over the program folder, the backup
  // program's executable last. False, with the reason in fault and nothing extracted, when the archive
  // does not open, an entry fails its test or the window was closed during the test (fault empty).
  bool Button3Click(QString& fault);
  void LoadMemoFromMemoryStream(QPlainTextEdit* memo, const platform::TMemoryStream& stream);
  void IdHTTP1WorkBegin(net::WorkMode AWorkMode, std::int64_t AWorkCountMax);
  void IdHTTP1Work(net::WorkMode AWorkMode, std::int64_t AWorkCount);
  void IdHTTP1WorkEnd(net::WorkMode AWorkMode);
  void ZipArchiver1FileProgress(zip::TZABaseArchiver* Sender, const std::string& FileName, double Progress,
                                zip::TZAProcessOperation Operation, zip::TZAProgressPhase ProgressPhase, bool& Cancel);

  // The lines of Memo1 (none when it is empty).
  QStringList memoLines() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QString exePath() const;
  QString missingExeText() const;
  QString noNewVersionText() const;
  // Downloads the archive into ZipPath; the error's text when the download failed.
  std::optional<QString> downloadArchive();
  // The road after a failed download: the partial file goes, the status line says what happened,
  // the box shows the error and the old version runs again. "Mise à jour" stays disabled:
  // only "Quitter" is left.
  void abandonDownload(const QString& what, const QString& error);
  QString restartedText() const;
  // As soon as the road ends, before its box: backups must not wait for the user's "OK". The
  // program starts behind this window, so that its own window does not take that "OK".
  void restartBackupProgram();
  // Inside a catch: the restart, then the error's box.
  void restartThenReport();
  // The road after a close that came before the first file was written: the old version runs
  // again, the archive goes, no box.
  void abandonOnClose();
  // Lets the window paint and take its close at the start of a long step.
  void pumpOnce();

  std::unique_ptr<net::ScopedIdlePump> IdAntiFreeze1;
  // Byte counts above the bar's int range are shifted down by this many bits.
  int progressShift_ = 0;
  // False while a transfer of unknown length runs: the bar then stays empty.
  bool lengthKnown_ = false;
  // The window was asked to close while the road ran.
  bool closeAsked_ = false;
  // From the first file written over the program folder to the end of the extraction: a close
  // then waits for the end, since stopping half way would leave two versions mixed.
  bool installing_ = false;
};

}  // namespace updater
