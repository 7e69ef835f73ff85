#pragma once
// The history window: shows one daily log file, picked through an open dialog.
#include <functional>
#include <memory>

#include <QMainWindow>
#include <QString>
#include <QStringList>

class QAction;
class QPlainTextEdit;
class QPushButton;

namespace Ui {
class TForm2;
}

namespace backup {

class TForm2 : public QMainWindow {
  Q_OBJECT

 public:
  // Shows the open dialog in the given folder; the chosen file's path, or empty on cancel.
  using FileChooser = std::function<QString(const QString& folder)>;

  explicit TForm2(QWidget* parent = nullptr);
  ~TForm2() override;

  // The filters of the open dialog, in the dialog's own notation.
  static QString logFileFilters();
  // "Historique du " and the date read from a daily log file's name (yyyymmdd).
  static QString captionForLogFile(const QString& path);
  // Splits a log file's text into lines at CR, LF or CRLF.
  static QStringList splitLogLines(const QByteArray& text);

  void setFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
  // The folder the open dialog starts in.
  static QString programFolder();

  // Sets the caption, then fills the memo with the file's lines. An unreadable file
  // raises platform::EInOutError with the system's error number; the caption and the
  // lines read so far stay.
  void loadLogFile(const QString& path);
  // Loads the file, then shows the window (not modal); what both open entries end with,
  // this window's menu and the configuration window's.
  void showLogFile(const QString& path);
  // Asks the chooser for a file in the program folder and shows it; a cancel changes nothing.
  // The configuration window's menu entry comes here with its own dialog.
  void openChosenLogFile(const FileChooser& chooser);

  QPlainTextEdit* memo() const;
  QPushButton* shutJournalButton() const;
  QAction* openAction() const;
  QAction* closeAction() const;

 public slots:
  void Ouvrirfichiersjournaux1Click();
  void shutJournalClick();

 private:
  void centreOnOwner();

  std::unique_ptr<Ui::TForm2> ui;
  FileChooser chooser_;
};

}  // namespace backup
