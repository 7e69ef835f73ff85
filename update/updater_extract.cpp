// Extraction of the downloaded archive over the program folder.
#include "platform/program_folder.h"
#include "ui_updater_form.h"
#include "update/updater_form.h"

namespace updater {

namespace {
// Read only; others may not write the archive meanwhile.
constexpr uint16_t openForReadingDenyWrite = 0x20;
// Every entry, whatever its attributes.
constexpr int32_t allAttributes = 0x28BF;

// An extraction that ends in an error still lets the archive go.
struct ClosesArchive {
  zip::TZipArchiver& archiver;
  ~ClosesArchive() { archiver.CloseArchive(); }
};
}  // namespace

void TForm1::Button3Click() {
  ui->ProgressBar->setRange(0, 100);
  ZipArchiver1.FileName = ZipPath.toStdString();
  ZipArchiver1.OpenArchive(openForReadingDenyWrite);
  ClosesArchive closes{ZipArchiver1};
  ZipArchiver1.BaseDir = platform::programFolder().toStdString();
  ZipArchiver1.ExtractFiles("*.*", allAttributes, "");
}

}  // namespace updater
