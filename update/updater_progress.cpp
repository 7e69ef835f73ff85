// Download and extraction progress on the window's bar.
#include <QCoreApplication>
#include <algorithm>
#include <climits>

#include "platform/core/clock.h"
#include "platform/core/paced_pump.h"
#include "platform/ui/progress_value.h"
#include "ui_updater_form.h"
#include "update/updater_form.h"

namespace updater {

void TForm1::IdHTTP1WorkBegin(net::WorkMode AWorkMode, std::int64_t AWorkCountMax) {
  if (AWorkMode != net::wmRead) return;
  progressShift_ = 0;
  lengthKnown_ = AWorkCountMax > 0;
  if (lengthKnown_) {
    while ((AWorkCountMax >> progressShift_) > INT_MAX) ++progressShift_;
    ui->ProgressBar->setRange(0, static_cast<int>(AWorkCountMax >> progressShift_));
  } else {
    // No length (or nothing to read): an empty bar, never Qt's busy bar of a 0 to 0 range.
    ui->ProgressBar->setRange(0, 100);
  }
  ui->ProgressBar->setValue(0);
  StartTime = platform::clock().now();
  QCoreApplication::processEvents();
}

void TForm1::IdHTTP1Work(net::WorkMode AWorkMode, std::int64_t AWorkCount) {
  if (AWorkMode != net::wmRead) return;
  if (lengthKnown_) {
    platform::setProgressValue(
        ui->ProgressBar,
        static_cast<int>(std::min<std::int64_t>(AWorkCount >> progressShift_, ui->ProgressBar->maximum())));
  }
  // StartTime stays: after the first second every block lets the window paint.
  if (StartTime.secsTo(platform::clock().now()) >= 1) QCoreApplication::processEvents();
}

void TForm1::IdHTTP1WorkEnd(net::WorkMode) { ui->ProgressBar->setValue(0); }

void TForm1::ZipArchiver1FileProgress(zip::TZABaseArchiver*, const std::string&, double Progress,
                                      zip::TZAProcessOperation, zip::TZAProgressPhase, bool& Cancel) {
  ui->ProgressBar->setRange(0, 100);
  platform::setProgressValue(ui->ProgressBar, static_cast<int>(Progress));
  // The test and the extraction block the window's thread as a transfer does: between files and
  // blocks the window paints and takes its close.
  platform::pumpWindows();
  // A close before the first file is written stops the road as a close during the download does.
  if (closeAsked_ && !installing_) Cancel = true;
}

void TForm1::pumpOnce() { QCoreApplication::processEvents(); }

}  // namespace updater
