#include "updater_fixture.h"

#include <sys/stat.h>
#include <utime.h>

#include "platform/ui/application.h"
#include "platform/core/format_settings.h"
#include "platform/core/program_folder.h"
#include "platform/ui/shell_open.h"
#include "support/run_command.h"
#include "update/application_error.h"
#include "update/kill_process.h"
#include "update/update_server.h"

namespace updatertest {

void UpdaterTest::SetUp() {
  platform::setFormatSettings({QStringLiteral("dd/MM/yyyy"), QStringLiteral("HH:mm:ss"), ','});
  std::filesystem::create_directories(programDir);
  platform::setProgramFolder(QString::fromStdString(programDir.string()));
  platform::setShellOpenHook([this](const QString& target) {
    shellOpened.push_back(target);
    boxesBeforeOpen.push_back(boxes ? boxes->asked().size() : 0);
    return true;
  });
  platform::setExceptionHandler(&updater::showApplicationError);
  updater::setProcessSource([this] {
    std::vector<pid_t> pids;
    for (const auto& p : programs) pids.push_back(p->pid());
    return processesAmong(pids);
  });
}

void UpdaterTest::TearDown() {
  updater::setProcessSource(nullptr);
  updater::setUpdateHost(QString());
  platform::setExceptionHandler(nullptr);
  platform::setShellOpenHook(nullptr);
  platform::setProgramFolder(QString());
  platform::setFormatSettings(platform::localeFormatSettings());
}

void UpdaterTest::publish(const std::string& page, const std::optional<std::string>& archive) {
  testsupport::writeFile(webRoot / "palvrenftp" / "update.html", page);
  if (archive) testsupport::writeFile(webRoot / "rv" / "PalvrenFtp.zip", *archive);
}

void UpdaterTest::startServer(const std::vector<std::string>& extra) {
  std::vector<std::string> args{"--root", webRoot.str()};
  args.insert(args.end(), extra.begin(), extra.end());
  server = std::make_unique<testsupport::ServerProcess>("http_server.py", args);
  updater::setUpdateHost(QStringLiteral("127.0.0.1:%1").arg(server->port()));
}

void UpdaterTest::installBackupProgram(const QDateTime& lastWrite) {
  const auto exe = programDir / "PalvrenFtp";
  installSleepCopy(exe);
  utimbuf times{};
  times.actime = times.modtime = static_cast<time_t>(lastWrite.toSecsSinceEpoch());
  ASSERT_EQ(utime(exe.c_str(), &times), 0);
}

FakeProgram& UpdaterTest::runBackupProgram() {
  programs.push_back(std::make_unique<FakeProgram>(programDir / "PalvrenFtp"));
  return *programs.back();
}

std::unique_ptr<updater::TForm1> UpdaterTest::makeForm() {
  auto form = std::make_unique<updater::TForm1>();
  form->show();
  return form;
}

std::vector<std::string> UpdaterTest::requestedPaths() {
  std::vector<std::string> paths;
  if (!server) return paths;
  // The server prints each request before it answers it: every request made so far is there.
  for (std::string line = server->readLine(200); !line.empty(); line = server->readLine(200)) {
    if (line.rfind("GET ", 0) == 0) paths.push_back(line.substr(4));
  }
  return paths;
}

QString UpdaterTest::onlyBox(platform::MsgIcon icon) const {
  QStringList texts;
  for (const auto& r : boxes->asked()) {
    if (r.icon == icon) texts << r.text;
  }
  EXPECT_EQ(texts.size(), 1) << texts.join(" | ").toStdString();
  return texts.value(0);
}

std::string zipOf(const std::vector<ArchiveFile>& files, bool store) {
  testsupport::TempDir staging;
  std::string names;
  for (const ArchiveFile& f : files) {
    testsupport::writeFile(staging / f.name, f.content);
    std::filesystem::permissions(
        staging / f.name, f.executable ? std::filesystem::perms::owner_all
                                       : std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    names += " '" + f.name + "'";
  }
  const std::string command = "cd '" + staging.str() + "' && zip -q -X " + (store ? "-0 " : "") + "out.zip" + names;
  EXPECT_EQ(testsupport::runCommand(command).status, 0) << command;
  return testsupport::readFile(staging / "out.zip");
}

std::string zipWithNames(const std::vector<ArchiveFile>& entries) {
  testsupport::TempDir staging;
  std::string script = "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1], 'w')\n";
  for (const ArchiveFile& e : entries)
    script += "z.writestr(" + std::string("'") + e.name + "', '" + e.content + "')\n";
  script += "z.close()\n";
  testsupport::writeFile(staging / "make.py", script);
  const std::string command =
      testsupport::pythonPath() + " '" + (staging / "make.py").string() + "' '" + (staging / "out.zip").string() + "'";
  EXPECT_EQ(testsupport::runCommand(command).status, 0) << command;
  return testsupport::readFile(staging / "out.zip");
}

void makeLargeUpdate(const std::filesystem::path& archive, const std::filesystem::path& programDir,
                     const std::string& newProgram, int files, int bytesEach) {
  testsupport::TempDir staging;
  testsupport::writeFile(staging / "program", newProgram);
  testsupport::writeFile(staging / "make.py", R"(import os, sys, zipfile
archive, folder, program, files, size = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
os.makedirs(os.path.dirname(archive), exist_ok=True)
with zipfile.ZipFile(archive, 'w', zipfile.ZIP_STORED) as z:
    exe = zipfile.ZipInfo('PalvrenFtp', (2007, 3, 13, 12, 0, 0))
    exe.external_attr = 0o100755 << 16
    exe.create_system = 3
    z.writestr(exe, open(program, 'rb').read())
    for i in range(files):
        name = 'data/d%02d/f%04d.bin' % (i % 8, i)
        os.makedirs(os.path.join(folder, os.path.dirname(name)), exist_ok=True)
        with open(os.path.join(folder, name), 'wb') as old:
            old.write(b'ancien %d' % i)
        z.writestr(zipfile.ZipInfo(name, (2007, 3, 13, 12, 0, 0)), b'NEW!' + os.urandom(size))
)");
  const std::string command = testsupport::pythonPath() + " " + testsupport::shellQuote((staging / "make.py").string()) +
                              " " + testsupport::shellQuote(archive.string()) + " " +
                              testsupport::shellQuote(programDir.string()) + " " +
                              testsupport::shellQuote((staging / "program").string()) + " " + std::to_string(files) +
                              " " + std::to_string(bytesEach);
  ASSERT_EQ(testsupport::runCommand(command).status, 0) << command;
}

InstallState installState(const std::filesystem::path& programDir) {
  InstallState state;
  for (const auto& e : std::filesystem::recursive_directory_iterator(programDir / "data")) {
    if (!e.is_regular_file()) continue;
    const std::string name = e.path().filename().string();
    if (name.size() == 19 && name.rfind("ZT", 0) == 0 && name.ends_with(".unfinished")) {
      ++state.unfinished;
      continue;
    }
    const std::string head = testsupport::readFile(e.path()).substr(0, 4);
    if (head == "NEW!") ++state.newFiles;
    else if (head == "anci") ++state.oldFiles;
  }
  return state;
}

QString noNewVersionText() {
  return QStringLiteral("Aucune nouvelle version de PalvrenFtp\nn'est disponible sur internet.");
}

QString finalMessageText() {
  return QStringLiteral(
      "La mise à jour de PalvrenFtp est terminée et installée.\nPalvrenFtp à été redémarré automatiquement.");
}

}  // namespace updatertest
