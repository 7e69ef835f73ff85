// Run log and daily log files.
#include <QFile>
#include <QPlainTextEdit>

#include "backup/fmmain.h"
#include "ui_fmmain.h"

void TfmMain::journal(const QString& line) {
  ui->Memo1->appendPlainText(line);
  // The visible line stays whatever happens to the file; logging never raises, since the
  // application-wide error handler logs through here too.
  try {
    QFile file(programFolder() + now().toString(QStringLiteral("yyyyMMdd")) + QStringLiteral(".log"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return;
    file.write(line.toUtf8() + "\r\n");
    file.close();
  } catch (...) {
  }
}

void TfmMain::Button2Click() { ui->Memo1->clear(); }

void TfmMain::Button5Click() {}

void TfmMain::ScruteDossier3Fichier(const QString&) {}
