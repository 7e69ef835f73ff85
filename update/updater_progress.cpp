// Download and extraction progress on the window's bar.
#include <QCoreApplication>
#include <climits>

#include "platform/clock.h"
#include "ui_updater_form.h"
#include "update/updater_form.h"

namespace updater {

void TForm1::IdHTTP1WorkBegin(net::WorkMode AWorkMode, std::int64_t AWorkCountMax) {
  if (AWorkMode != net::wmRead) return;
  progressShift_ = 0;
  while ((AWorkCountMax >> progressShift_) > INT_MAX) ++progressShift_;
  ui->ProgressBar->setRange(0, static_cast<int>(AWorkCountMax >> progressShift_));
  ui->ProgressBar->setValue(0);
  StartTime = platform::clock().now();
  QCoreApplication::processEvents();
}

void TForm1::IdHTTP1Work(net::WorkMode AWorkMode, std::int64_t AWorkCount) {
  if (AWorkMode != net::wmRead) return;
  ui->ProgressBar->setValue(static_cast<int>(std::min<std::int64_t>(AWorkCount >> progressShift_, INT_MAX)));
  // StartTime stays: after the first second every block lets the window paint.
  if (StartTime.secsTo(platform::clock().now()) >= 1) QCoreApplication::processEvents();
}

void TForm1::IdHTTP1WorkEnd(net::WorkMode) { ui->ProgressBar->setValue(0); }

void TForm1::ZipArchiver1FileProgress(zip::TZABaseArchiver*, const std::string&, double Progress, zip::TZAProcessOperation,
                                      zip::TZAProgressPhase, bool&) {
  ui->ProgressBar->setRange(0, 100);
  ui->ProgressBar->setValue(static_cast<int>(Progress));
}

}  // namespace updater
