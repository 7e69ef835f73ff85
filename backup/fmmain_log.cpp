// Run log and daily log files.
#include <QFile>
#include <QPlainTextEdit>
#include <QSpinBox>

#include <fcntl.h>
#include <sys/stat.h>

#include "backup/app_windows.h"
#include "backup/fmmain.h"
#include "backup/form1.h"
#include "backup/log_purge.h"
#include "platform/core/day_count.h"
#include "platform/core/posix_file.h"
#include "ui_fmmain.h"
#include "ui_form1.h"

namespace backup {

namespace {

// Appends one line to the daily log file; false when the file could not be written.
bool appendToLogFile(const QString& path, const QByteArray& bytes) {
  // Non-blocking: a FIFO of that name without a reader must not freeze the window.
  const platform::FileDescriptor fd(
      ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644));
  if (!fd.valid()) return false;
  struct stat info {};
  return ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode) &&
         platform::writeAll(fd.get(), bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

void TfmMain::journal(const QString& line) {
  ui->Memo1->appendLine(line);
  // The visible line is kept whatever happens to the file, and a file that cannot be
  // written raises nothing: the application-wide error handler logs through here too,
  // and a run must not stop for its log.
  appendToLogFile(programFolder() + now().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".log"),
                  line.toUtf8() + "\r\n");
}

void TfmMain::Button2Click() { ui->Memo1->clear(); }

void TfmMain::Button5Click() {
  // Raw bytes: a name that is not valid UTF-8 must still be found and purged.
  ScruteDossier3.OnFichier = [this](TScruteDossier&, const std::string& nom) { ScruteDossier3Fichier(nom); };
  ScruteDossier3.Dossier = QFile::encodeName(programFolder()).toStdString();
  ScruteDossier3.Filtre = "*.log";
  ScruteDossier3.Execute();
}

void TfmMain::ScruteDossier3Fichier(const std::string& nom) {
  // The kept days are read per file, as the configuration window shows them now.
  if (!Form1) return;
  const int keptDays = Form1->ui->SpinEdit_1->value();
  logpurge::purgeOldLogFile(nom, platform::toDayCount(now()), keptDays);
}

}  // namespace backup
