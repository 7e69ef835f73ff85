#include "backup/form2.h"

#include "platform/core/text_lines.h"

#include <cerrno>

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "backup/app_windows.h"
#include "backup/file_dialogs.h"
#include "backup/fmmain.h"
#include "platform/ui/application.h"
#include "platform/core/exceptions.h"
#include "platform/core/posix_file.h"
#include "platform/core/program_folder.h"
#include "platform/ui/window_placement.h"
#include "platform/ui/menu_bar_keys.h"
#include "ui_form2.h"

namespace backup {

namespace {

// Characters first..last (1-based, as many as there are) of a name.
QString slice(const std::u32string& chars, std::size_t first, std::size_t last) {
  if (chars.size() < first) return {};
  return QString::fromStdU32String(chars.substr(first - 1, last - first + 1));
}

}  // namespace

TForm2::TForm2(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::TForm2>()) {
  ui->setupUi(this);
  chooser_ = [this](const QString& folder) { return chosenPath(*newLogFileDialog(this, folder, logFileFilters())); };
  // An unreadable file's error goes to the application's error logging here, not through
  // Qt's signal delivery, which cannot carry an exception.
  connect(ui->Ouvrirfichiersjournaux1, &QAction::triggered, this,
          [this] { platform::deliverSafely([this] { Ouvrirfichiersjournaux1Click(); }); });
  connect(ui->Fermer1, &QAction::triggered, this, &TForm2::shutJournalClick);
  connect(ui->shutJournal, &QPushButton::clicked, this, &TForm2::shutJournalClick);
  // The menus from the keyboard too, captions unchanged.
  platform::openMenuBarFromKeyboard(this);
}

TForm2::~TForm2() = default;

QString TForm2::programFolder() { return platform::programFolder(); }

QString TForm2::logFileFilters() { return QStringLiteral("Fichiers journaux (*.log);;Fichiers (*.*)"); }

QString TForm2::captionForLogFile(const QString& path) {
  const std::u32string chars = QFileInfo(path).completeBaseName().toStdU32String();
  return QStringLiteral("Historique du ") + slice(chars, 7, 8) + QLatin1Char('/') + slice(chars, 5, 6) +
         QLatin1Char('/') + slice(chars, 1, 4);
}

QStringList TForm2::splitLogLines(const QByteArray& text) {
  return platform::splitTextLines(std::string_view(text.constData(), static_cast<size_t>(text.size())));
}

void TForm2::loadLogFile(const QString& path) {
  setWindowTitle(captionForLogFile(path));
  ui->Memo1->clear();

  // Non-blocking open and a type check: a FIFO or a device picked in the dialog would
  // otherwise block the window or read without end.
  const platform::FileDescriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.get() < 0) throw platform::EInOutError(errno);
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) throw platform::EInOutError(errno);
  if (S_ISDIR(info.st_mode)) throw platform::EInOutError(EISDIR);
  if (!S_ISREG(info.st_mode)) throw platform::EInOutError(EINVAL);
  QByteArray text;
  int readError = 0;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) readError = errno;
    if (got <= 0) break;
    text.append(buffer, got);
  }
  ui->Memo1->setPlainText(splitLogLines(text).join(QLatin1Char('\n')));
  if (readError != 0) throw platform::EInOutError(readError);
}

void TForm2::Ouvrirfichiersjournaux1Click() { openChosenLogFile(chooser_); }

void TForm2::openChosenLogFile(const FileChooser& chooser) {
  const QString path = chooser ? chooser(programFolder()) : QString();
  if (path.isEmpty()) return;
  showLogFile(path);
}

void TForm2::showLogFile(const QString& path) {
  loadLogFile(path);
  if (!isVisible()) centreOnOwner();
  show();
  raise();
  activateWindow();
}

void TForm2::shutJournalClick() { hide(); }

void TForm2::centreOnOwner() {
  // Built without a parent at start, the history window still centres on the main window.
  const QWidget* owner = parentWidget() ? parentWidget()->window() : static_cast<QWidget*>(fmMain);
  platform::centreOnOwner(this, owner);
}

QPlainTextEdit* TForm2::memo() const { return ui->Memo1; }
QPushButton* TForm2::shutJournalButton() const { return ui->shutJournal; }
QAction* TForm2::openAction() const { return ui->Ouvrirfichiersjournaux1; }
QAction* TForm2::closeAction() const { return ui->Fermer1; }

}  // namespace backup
