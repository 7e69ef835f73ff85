// Runs one backup the way the program does (TfmMain::bnStartClick over the folder list) and
// prints how long it took and how many bytes the process read meanwhile.
// Usage: backup_run_driver PROGRAM_FOLDER FOLDER...   (the archive is PROGRAM_FOLDER/palvrenftp.zip)
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "backup/app_windows.h"
#include "backup/fmmain.h"
#include "backup/form1.h"
#include "backup/form2.h"
#include "platform/core/program_folder.h"
#include "ui_fmmain.h"
#include "ui_form1.h"

using namespace backup;

namespace {

long long readChars() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: backup_run_driver PROGRAM_FOLDER FOLDER...\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QString folder = QString::fromLocal8Bit(argv[1]);
  if (!folder.endsWith('/')) folder += '/';
  platform::setProgramFolder(folder);

  fmMain = new TfmMain;
  Form1 = new TForm1;
  Form2 = new TForm2;
  for (QTimer* t : {fmMain->Timer1, fmMain->Timer2, fmMain->Timer3}) t->stop();
  Ui::Form1* f = Form1->ui.get();
  // A local host with no server: the upload at the end fails at once and costs nothing.
  f->hote_vesk->setText(QStringLiteral("127.0.0.1"));
  f->Port_ftp->setText(QStringLiteral("1"));
  f->utilisateur_vesk->setText(QStringLiteral("anonymous"));
  f->recevoir_mail->setChecked(false);
  f->reconstruire_zip->setChecked(false);
  f->Repertoires_sauv->clear();
  for (int i = 2; i < argc; ++i)
    f->Repertoires_sauv->addItem(QString::fromLocal8Bit(argv[i]) + QStringLiteral("|*.*|oui"));

  const long long readBefore = readChars();
  const auto start = std::chrono::steady_clock::now();
  fmMain->bnStartClick();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long long read = readChars() - readBefore;

  int errors = 0;
  for (const QString& line : fmMain->ui->Memo1->text().split('\n'))
    if (line.contains(QStringLiteral(" : 1 ")) || line.contains(QStringLiteral(" : 2 ")) ||
        line.contains(QStringLiteral(" : 3 "))) {
      ++errors;
      std::fprintf(stderr, "%s\n", line.toUtf8().constData());
    }
  std::printf("%.3f %lld %d\n", seconds, read, errors);
  delete Form2;
  delete Form1;
  delete fmMain;
  return errors == 0 ? 0 : 1;
}
