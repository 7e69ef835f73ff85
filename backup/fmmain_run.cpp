// Backup run and archive update.
#include "backup/fmmain.h"

void TfmMain::bnStartClick() {}

void TfmMain::ScruteDossier1Execute() {}

void TfmMain::ScruteDossier1Dossier(const QString&) {}

void TfmMain::ScruteDossier1Fichier(const QString&) {}

void TfmMain::ScruteDossier1FinExecute() {}

void TfmMain::AbZipper1ArchiveProgress(int, bool&) {}

void TfmMain::AbZipper1ArchiveItemProgress(const QString&, int, bool&) {}

void TfmMain::AbZipper1ArchiveSaveProgress(int, bool&) {}
