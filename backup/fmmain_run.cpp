// Backup run and archive update.
#include <cerrno>
#include <memory>

#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <unistd.h>

#include "backup/app_windows.h"
#include "backup/archive_file.h"
#include "backup/archive_writer.h"
#include "backup/fmmain.h"
#include "backup/form1.h"
#include "backup/split_field.h"
#include "backup/stored_name.h"
#include "platform/core/dos_datetime.h"
#include "platform/core/exceptions.h"
#include "platform/core/paced_pump.h"
#include "platform/core/system_error_text.h"
#include "platform/ui/message_box.h"
#include "platform/ui/progress_value.h"
#include "ui_fmmain.h"
#include "ui_form1.h"

namespace backup {

namespace {

// Paced: a run calls it for every file, the windows need a pass only every slice.
void pump() { platform::pumpWindows(); }

std::string localPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// An add or save error as the run log codes it: "1 " for a file that cannot be opened,
// "2 " for any other.
QString codedMessage(const std::exception& e) {
  const bool openError = dynamic_cast<const platform::EFOpenError*>(&e) != nullptr;
  return QString::fromUtf8(openError ? "1 " : "2 ") + QString::fromUtf8(e.what());
}

// Deletes the archive before a rebuild; false when it is there and stays.
bool removeArchive(const QString& zipFileName) {
  return ::unlink(localPath(zipFileName).c_str()) == 0 || errno == ENOENT;
}

// The folder of a backup list entry: one trailing "/" dropped, the root kept.
QString entryFolder(QString folder) {
  if (!folder.endsWith('/')) folder += '/';
  if (folder.size() > 1) folder.chop(1);
  return folder;
}

void addFile(TfmMain& w, const std::string& nom) {
  try {
    w.RunWriter->add(nom);
  } catch (const std::exception& e) {
    w.logLoss(codedMessage(e));
  } catch (...) {
    w.logLoss(QStringLiteral("3 Erreur inconnue"));
  }
}

// Frees the run's archive writer however the archive step ends.
class WriterScope {
 public:
  explicit WriterScope(TfmMain& w) : w_(w), writer_(std::make_unique<ArchiveWriter>()) { w_.RunWriter = writer_.get(); }
  ~WriterScope() {
    writer_->close();
    w_.RunWriter = nullptr;
  }
  WriterScope(const WriterScope&) = delete;
  WriterScope& operator=(const WriterScope&) = delete;
  ArchiveWriter& writer() { return *writer_; }

 private:
  TfmMain& w_;
  std::unique_ptr<ArchiveWriter> writer_;
};

void setUpWriter(TfmMain& w, ArchiveWriter& writer) {
  writer.OnArchiveProgress = [&w](int progress) {
    bool abort = false;
    w.AbZipper1ArchiveProgress(progress, abort);
  };
  writer.OnArchiveItemProgress = [&w](const std::string& item, int progress) {
    bool abort = false;
    w.AbZipper1ArchiveItemProgress(QString::fromStdString(item), progress, abort);
  };
  writer.OnArchiveSaveProgress = [&w](int progress) {
    bool abort = false;
    w.AbZipper1ArchiveSaveProgress(progress, abort);
  };
  writer.OnFileSkipped = [&w](const platform::EFOpenError& e) { w.logLoss(codedMessage(e)); };
  writer.OnFileChanged = [&w](const std::string& path) {
    w.logLoss(QStringLiteral("2 Le fichier \"") + QFile::decodeName(QByteArray::fromStdString(path)) +
              QStringLiteral("\" a changé pendant sa lecture : sa copie peut être incohérente"));
  };
  writer.MessagePump = pump;
  writer.setPassword(Form1->ui->Edit_1->text().toStdString());
  writer.open(localPath(w.ZipFileName));
}

void walkFolders(TfmMain& w) {
  QListWidget* list = Form1->ui->Repertoires_sauv;
  // The list may change while the pump runs: its count is read again at every step.
  for (int i = 0; i < list->count(); ++i) {
    const QString line = list->item(i)->text();
    if (line.isEmpty()) continue;
    const QString fields = line + '|';
    const QString folder = SplitField(fields, '|', 2);
    if (folder.isEmpty()) {
      // Walked as "/", it would back up the whole system.
      w.logMessage(QStringLiteral("Aucun dossier dans la ligne « ") + line + QStringLiteral(" » : ligne ignorée"));
      continue;
    }
    w.ScruteDossier1.Dossier = localPath(entryFolder(folder));
    w.ScruteDossier1.Filtre = SplitField(fields, '|', 3).toStdString();
    w.ScruteDossier1.MaxPenetration = SplitField(fields, '|', 4) == QStringLiteral("oui") ? 10000 : 0;
    w.ScruteDossier1.Execute();
  }
}

// Brings the archive up to date and saves it. An error that ends the step early goes
// out of here, the writer freed.
void archiveStep(TfmMain& w) {
  // A save killed midway left its copy of the archive: nothing else will ever remove it.
  ArchiveFile::removeLeftovers(localPath(w.ZipFileName));
  WriterScope scope(w);
  setUpWriter(w, scope.writer());
  w.logMessage(QStringLiteral("Compression") +
               (Form1->ui->Edit_1->text().isEmpty() ? QString() : QStringLiteral(" et cryptage")) +
               QStringLiteral(" des données"));
  w.setCursor(Qt::WaitCursor);
  QThread::msleep(50);
  walkFolders(w);
  try {
    scope.writer().save();
  } catch (const std::exception& e) {
    // The old archive stays on disk, and goes to the server: the log must not let it pass
    // for this run's.
    w.logLoss(codedMessage(e));
    if (QFile::exists(w.ZipFileName))
      w.logMessage(QStringLiteral("L'archive n'a pas été mise à jour : l'archive précédente est envoyée à sa place"));
  }
  w.setStatusPanelText(QString());
}

}  // namespace

void TfmMain::bnStartClick() {
  // The run under way owns the archive: a second one must not even delete it.
  if (RunWriter != nullptr || Form1 == nullptr) return;
  Ui::Form1* f = Form1->ui.get();
  const bool removeFailed = f->reconstruire_zip->isChecked() && !removeArchive(ZipFileName);
  RetryCount = 0;
  SubjectSuffix.clear();
  RunIncomplete = false;
  Button2Click();
  Button5Click();
  // Logged once the view is emptied, so that the report shows it.
  // The old entries then stay in place of this run's files: the run is not a whole rebuild.
  if (removeFailed) logLoss(QStringLiteral("Impossible de supprimer l'archive ") + ZipFileName);

  if (f->hote_vesk->text().isEmpty() || f->utilisateur_vesk->text().isEmpty()) {
    logMessage(QStringLiteral("Vous devez configurer (host, login) ou Mettre \"anonymous\" dans l'utilisateur ."));
    Affiche1Click();
    return;
  }
  if (f->Repertoires_sauv->count() == 0) {
    const QString text = QStringLiteral("Vous devez choisir le ou les réperoires à sauvegarder.");
    Affiche1Click();
    logMessage(text);
    platform::showMessage(text, this);
    return;
  }

  ui->bnStart->setEnabled(false);
  Timer1->stop();
  journal(QStringLiteral("-----------------------"));
  logMessage(QStringLiteral("Démarrage de la sauvegarde"));

  ScruteDossier1.OnExecute = [this](TScruteDossier&) { ScruteDossier1Execute(); };
  ScruteDossier1.OnDossier = [this](TScruteDossier&, const std::string& nom) { ScruteDossier1Dossier(nom); };
  ScruteDossier1.OnFichier = [this](TScruteDossier&, const std::string& nom) { ScruteDossier1Fichier(nom); };
  ScruteDossier1.OnFinExecute = [this](TScruteDossier&) { ScruteDossier1FinExecute(); };
  ScruteDossier1.OnErreur = [this](TScruteDossier&, const std::string& nom, int sysError) {
    ScruteDossier1Erreur(nom, sysError);
  };

  bool ended = false;
  try {
    archiveStep(*this);
  } catch (const std::exception& e) {
    // As any error no handler caught: logged by the program's own error handler.
    ApplicationEvents1Exception(QString::fromUtf8(e.what()));
    ended = true;
  } catch (...) {
    logMessage(QStringLiteral("3 Erreur inconnue"));
    ended = true;
  }

  ui->Memo1->moveCursor(QTextCursor::End);
  ui->Memo1->ensureCursorVisible();
  unsetCursor();
  ui->ProgressBar1->setValue(0);
  ui->ProgressBar2->setValue(0);
  if (ended) {
    // No upload: an archive left in doubt must not replace the server's copy. The next
    // run may start.
    setStatusPanelText(QString());
    ui->bnStart->setEnabled(true);
    Timer1->start();
    return;
  }
  Button1Click();
}

void TfmMain::ScruteDossier1Execute() { pump(); }

void TfmMain::ScruteDossier1Dossier(const std::string&) { pump(); }

void TfmMain::ScruteDossier1Fichier(const std::string& nom) {
  // Size and date as the walk's listing found them: no second look at the file.
  const TFichierVu seen = ScruteDossier1.FichierVu();
  if (seen.Taille < 1) return;
  // The panel is seen only when the window paints: it is set for the file that is there then.
  if (platform::pumpDue()) {
    setStatusPanelText(QFile::decodeName(QByteArray::fromStdString(nom)));
    pump();
  }
  if (RunWriter == nullptr || Form1 == nullptr) return;
  if (Form1->ui->reconstruire_zip->isChecked()) {
    addFile(*this, nom);
    return;
  }
  const std::string name = StoredArchiveName(nom);
  const std::int64_t index = RunWriter->find(name);
  if (index < 0) {
    addFile(*this, nom);
    return;
  }
  // Reached twice in this run (overlapping folders, two masks): its entry is already new.
  if (RunWriter->addedInRun(index)) return;
  if (platform::dosDateTimeFromTime(seen.Modifie) == RunWriter->entryDate(index)) return;
  RunWriter->remove(name);
  addFile(*this, nom);
}

void TfmMain::ScruteDossier1FinExecute() { pump(); }

void TfmMain::ScruteDossier1Erreur(const std::string& nom, int sysError) {
  logLoss(QStringLiteral("1 Impossible de lire le dossier \"") + QFile::decodeName(QByteArray::fromStdString(nom)) +
          QStringLiteral("\". ") + QString::fromStdString(platform::systemErrorText(sysError)));
}

void TfmMain::logLoss(const QString& message) {
  RunIncomplete = true;
  logMessage(message);
}

void TfmMain::AbZipper1ArchiveProgress(int progress, bool&) {
  pump();
  setCursor(Qt::WaitCursor);
  platform::setProgressValue(ui->ProgressBar1, progress);
}

void TfmMain::AbZipper1ArchiveItemProgress(const QString& item, int progress, bool&) {
  pump();
  setStatusPanelText(QStringLiteral("Compression  ") + item);
  platform::setProgressValue(ui->ProgressBar2, progress);
}

void TfmMain::AbZipper1ArchiveSaveProgress(int, bool&) { pump(); }

}  // namespace backup
