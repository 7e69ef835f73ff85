// The real updater, run as a child by the tests, on the web server named by its argument. It
// reports on stdout what a test waits for: "test" when the archive's test starts, "extracted N"
// after each file written, "box TEXT" for each box (answered OK), "open TARGET" for each program
// started, "end CODE" when its loop ends. It stops only the backup program of its own folder.
// With a second argument "on-screen" its boxes are real and it really starts the program.
#include <unistd.h>

#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <string>

#include "platform/core/process_list.h"
#include "platform/core/program_folder.h"
#include "platform/core/prompter.h"
#include "platform/ui/shell_open.h"
#include "ui_updater_form.h"
#include "update/kill_process.h"
#include "update/update_server.h"
#include "update/updater_form.h"
#include "update/updater_program.h"

namespace {

void say(const std::string& line) {
  const std::string text = line + "\n";
  [[maybe_unused]] const ssize_t written = write(1, text.data(), text.size());
}

std::vector<platform::ProcessEntry> ownBackupProgram() {
  const std::filesystem::path own = platform::programFolder().toStdString() + "PalvrenFtp";
  std::vector<platform::ProcessEntry> out;
  for (const platform::ProcessEntry& p : platform::processList()) {
    std::error_code ec;
    if (std::filesystem::read_symlink("/proc/" + std::to_string(p.pid) + "/exe", ec) == own) out.push_back(p);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const bool onScreen = argc == 3 && std::string(argv[2]) == "on-screen";
  if (argc != 2 && !onScreen) return 2;
  updater::setUpdateHost(QString::fromLocal8Bit(argv[1]));
  updater::setProcessSource(&ownBackupProgram);
  if (!onScreen) {
    platform::setShellOpenHook([](const QString& target) {
      say("open " + target.toStdString());
      return true;
    });
    platform::setMessageResponder([](platform::MessageRequest& r) {
      say("box " + r.text.toStdString());
      return platform::MsgAnswer::Ok;
    });
  }
  int extracted = 0;
  bool testing = false;
  const int code = updater::runUpdater(argc, argv, [&](updater::TForm1& form) {
    const zip::TZAFileProgressEvent original = form.ZipArchiver1.OnFileProgress;
    form.ZipArchiver1.OnFileProgress = [&, original](zip::TZABaseArchiver* sender, const std::string& name,
                                                     double progress, zip::TZAProcessOperation operation,
                                                     zip::TZAProgressPhase phase, bool& cancel) {
      if (operation == zip::poTest && !testing) {
        testing = true;
        say("test");
      }
      original(sender, name, progress, operation, phase, cancel);
      if (operation == zip::poExtract && phase == zip::ppEnd) say("extracted " + std::to_string(++extracted));
    };
    QTimer::singleShot(0, &form, [&form] { form.ui->BitBtn1->click(); });
  });
  say("end " + std::to_string(code));
  return code;
}
