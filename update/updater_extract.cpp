// Extraction of the downloaded archive over the program folder, once every entry has read back whole.
#include <exception>

#include "platform/core/program_folder.h"
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

// The test reports failures to the road; the extraction puts them to the user again.
struct FailureHandlerOff {
  zip::TZipArchiver& archiver;
  ~FailureHandlerOff() { archiver.OnProcessFileFailure = nullptr; }
};
}  // namespace

bool TForm1::Button3Click(QString& fault) {
  ui->ProgressBar->setRange(0, 100);
  ZipArchiver1.FileName = ZipPath.toStdString();
  try {
    ZipArchiver1.OpenArchive(openForReadingDenyWrite);
  } catch (const std::exception& e) {
    fault = QString::fromStdString(e.what());
    return false;
  }
  ClosesArchive closes{ZipArchiver1};
  ZipArchiver1.BaseDir = platform::programFolder().toStdString();

  // Every entry is read and its CRC checked before one byte of the program folder changes.
  {
    FailureHandlerOff off{ZipArchiver1};
    ZipArchiver1.OnProcessFileFailure = [&fault](zip::TZABaseArchiver*, const std::string& fileName,
                                                 zip::TZAProcessOperation, int32_t, int32_t,
                                                 const std::string& errorMessage, zip::TZAAction& action) {
      fault = QString::fromStdString(fileName + " : " + errorMessage);
      action = zip::fxaAbort;
    };
    ZipArchiver1.SelectFiles("*.*", allAttributes, "");
    ZipArchiver1.ProcessSelectedItems(zip::poTest);
  }
  if (fault.isEmpty() && ZipArchiver1.Cancelled()) fault = QStringLiteral("test interrompu");
  if (!fault.isEmpty()) return false;

  ZipArchiver1.ExtractFiles("*.*", allAttributes, "");
  return true;
}

}  // namespace updater
