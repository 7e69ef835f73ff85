// Extraction of the downloaded archive over the program folder.
#include "platform/exceptions.h"
#include "platform/program_folder.h"
#include "ui_updater_form.h"
#include "update/updater_form.h"

namespace updater {

void TForm1::Button3Click() {
  ui->ProgressBar->setRange(0, 100);
  if (!extractArchive) throw platform::Exception("Aucun composant d'extraction");
  extractArchive(ZipPath, platform::programFolder(),
                 [this](const QString& name, double progress, bool& cancel) { ZipArchiver1FileProgress(name, progress, cancel); });
}

}  // namespace updater
