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
  pumpOnce();
  if (closeAsked_) return false;
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
  pumpOnce();  // a close that came during the last files of the test still counts as one
  if (closeAsked_) return false;
  if (fault.isEmpty() && ZipArchiver1.Cancelled()) fault = QStringLiteral("test interrompu");
  if (!fault.isEmpty()) return false;

  // The executable goes in last, once every other file is new: its date is what the next road
  // compares with the version page, so an installation stopped by a kill is done again in full.
  installing_ = true;
  struct Installed {
    bool& flag;
    ~Installed() { flag = false; }
  } installed{installing_};
  ZipArchiver1.aborted = false;
  const std::string exe = ExeName.toStdString();
  ZipArchiver1.ExtractFiles("*.*", allAttributes, exe);
  if (!ZipArchiver1.aborted) ZipArchiver1.ExtractFiles(exe, allAttributes, "");
  return true;
}

}  // namespace updater
