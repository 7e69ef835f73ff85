#pragma once
// The updater's window over a temporary program folder, a real web server on 127.0.0.1, the
// shell's and the message boxes' test hooks, and a stand-in for the running backup program.
#include <gtest/gtest.h>

#include <QDateTime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fake_program.h"
#include "support/scoped_responder.h"
#include "support/server_process.h"
#include "support/temp_dir.h"
#include "update/updater_form.h"

namespace updatertest {

class UpdaterTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The version page and, when given, the update archive on the web server.
  void publish(const std::string& page, const std::optional<std::string>& archive = std::nullopt);
  void startServer(const std::vector<std::string>& extra = {});
  // The backup program's executable in the program folder, last written at that moment.
  void installBackupProgram(const QDateTime& lastWrite);
  // Starts the installed program; KillProcessByName sees only the programs a test started.
  FakeProgram& runBackupProgram();
  std::unique_ptr<updater::TForm1> makeForm();
  // The paths the server was asked for, in order.
  std::vector<std::string> requestedPaths();
  // The text of the single box of that icon shown so far; fails when there is none or more.
  QString onlyBox(platform::MsgIcon icon) const;
  std::filesystem::path zipPath() const { return programDir / "PalvrenFtp.zip"; }

  testsupport::TempDir scratch;
  // The program folder, a folder below scratch so that nothing that escapes it leaves the test's reach.
  std::filesystem::path programDir = scratch / "app";
  testsupport::TempDir webRoot;
  std::unique_ptr<testsupport::ServerProcess> server;
  std::vector<std::unique_ptr<FakeProgram>> programs;
  std::vector<QString> shellOpened;
  // How many boxes had been shown when each of those was started.
  std::vector<std::size_t> boxesBeforeOpen;
  std::unique_ptr<testsupport::ScopedResponder> boxes = std::make_unique<testsupport::ScopedResponder>();
};

struct ArchiveFile {
  std::string name;
  std::string content;
  bool executable = false;
};
// An archive made by the zip tool from these files; stored, not deflated, when store is set.
std::string zipOf(const std::vector<ArchiveFile>& files, bool store = false);
// An archive of entries with any stored name, made by python's zipfile.
std::string zipWithNames(const std::vector<ArchiveFile>& entries);

// A new version of many files over an installed old one: the archive (the executable first, then
// files data/dNN/fNNNN.bin of bytesEach random bytes, stored) and, in programDir, the old files of
// the same names. The executable's entry is dated 13 March 2007, 12:00.
void makeLargeUpdate(const std::filesystem::path& archive, const std::filesystem::path& programDir,
                     const std::string& newProgram, int files, int bytesEach);
// The data files of programDir that hold the old version, and the unfinished files left there.
struct InstallState {
  int oldFiles = 0;
  int newFiles = 0;
  int unfinished = 0;
};
InstallState installState(const std::filesystem::path& programDir);

// Texts of the road.
QString noNewVersionText();
QString finalMessageText();

}  // namespace updatertest
