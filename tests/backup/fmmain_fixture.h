#pragma once
// The program's three windows on a temporary program folder, with a fixed clock and the
// French formats. Timers are stopped: tests call their handlers. The clock's steady count
// moves a pump slice at every read, so every call of the paced pump passes the events.
#include <QDateTime>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

#include "backup/app_windows.h"
#include "backup/fmmain.h"
#include "backup/form1.h"
#include "backup/form2.h"
#include "platform/core/clock.h"
#include "platform/core/format_settings.h"
#include "platform/core/paced_pump.h"
#include "platform/core/program_folder.h"
#include "support/temp_dir.h"
#include "ui_fmmain.h"
#include "ui_form1.h"

class WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clock.stepSteadyMs(platform::kPumpSliceMs);
    platform::setProgramFolder(QString::fromStdString(dir.str()));
    platform::setFormatSettings({"dd/MM/yyyy", "HH:mm:ss", ','});
  }
  void TearDown() override {
    destroyWindows();
    platform::setProgramFolder(QString());
  }

  void buildWindows() {
    main = std::make_unique<backup::TfmMain>();
    backup::fmMain = main.get();
    main->trayAvailable = [this] { return tray; };
    config = std::make_unique<backup::TForm1>();
    backup::Form1 = config.get();
    history = std::make_unique<backup::TForm2>();
    backup::Form2 = history.get();
    main->Timer1->stop();
    main->Timer3->stop();
  }
  void destroyWindows() {
    history.reset();
    backup::Form2 = nullptr;
    config.reset();
    backup::Form1 = nullptr;
    main.reset();
    backup::fmMain = nullptr;
  }

  std::filesystem::path iniPath() const { return dir / "serie.ini"; }
  std::filesystem::path logPath(const QDate& d) const { return dir / (d.toString("yyyyMMdd").toStdString() + ".log"); }
  QString stamp() const { return platform::dateTimeToStr(clock.now()); }
  QString lastMemoLine() const { return main->ui->Memo1->text().section('\n', -1); }

  testsupport::TempDir dir;
  platform::FixedClock clock{QDateTime(QDate(2026, 12, 9), QTime(10, 30, 15))};
  platform::ScopedClock useClock{clock};
  bool tray = true;
  std::unique_ptr<backup::TfmMain> main;
  std::unique_ptr<backup::TForm1> config;
  std::unique_ptr<backup::TForm2> history;
};
