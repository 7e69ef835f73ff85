// Runs that could not take everything: each loss is logged, and the run never ends in plain
// success. Real folders and files the program may not read, a real FTP and SMTP server.
#include <QListWidget>
#include <QScopeGuard>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <set>

#include "backup/stored_name.h"
#include "support/access_denied.h"
#include "support/python_zip.h"
#include "support/random_bytes.h"
#include "support/run_command.h"
#include "support/small_disk.h"
#include "upload_fixture.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const QString kSep = "-----------------------";

class RunLosses : public UploadTest {
 protected:
  void SetUp() override {
    UploadTest::SetUp();
    startMailServer();
    config->ui->reconstruire_zip->setChecked(true);
  }

  static QString entry(const fs::path& folder, const QString& sub = "oui") {
    return QString::fromStdString(folder.string()) + "|*.*|" + sub;
  }
  void run(const QStringList& list) {
    config->ui->Repertoires_sauv->clear();
    config->ui->Repertoires_sauv->addItems(list);
    main->requestStart();
  }
  // The log lines of the run's losses (code 1 or 2), without their date.
  QStringList losses() const {
    QStringList found;
    for (const QString& l : memoLines())
      if (l.startsWith(stamp() + " : 1 ") || l.startsWith(stamp() + " : 2 ")) found << l.mid(stamp().size() + 3);
    return found;
  }
  // The run's last lines and its report's subject: the warning after the end, or nothing.
  void expectEnd(bool warned) {
    const QString size = QString::number(fs::file_size(main->ZipFileName.toStdString()));
    QStringList tail{line("Transfert de " + size + " sur " + size + " Octets (/sauvegarde/mercredi)"),
                     line("Sauvegarde terminée")};
    if (warned) tail << kSep << line("+++++ Attention votre sauvegarde n'est pas compléte") << kSep;
    const QStringList lines = memoLines();
    EXPECT_EQ(lines.mid(lines.size() - tail.size()).join('\n').toStdString(), tail.join('\n').toStdString());
    const auto mails = receivedMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].subject.toStdString(),
              warned ? "Rapport de sauvegarde (Attention voir Erreur)" : "Rapport de sauvegarde");
  }
  std::set<std::string> stored() const {
    std::set<std::string> names;
    for (const auto& [name, e] : testsupport::readWithPython(main->ZipFileName.toStdString())) names.insert(name);
    return names;
  }
};

// A chain of folders below base whose deepest ones have paths longer than the system takes;
// returns the first folder that cannot be opened by its path. Made through descriptors.
fs::path deepChain(const fs::path& base, const std::string& fileName) {
  const std::string part(200, 'p');
  int fd = ::open(base.c_str(), O_RDONLY | O_DIRECTORY);
  fs::path path = base, first;
  for (int i = 0; i < 25; ++i) {
    ::mkdirat(fd, part.c_str(), 0755);
    const int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(fd);
    fd = next;
    path /= part;
    if (first.empty() && path.string().size() >= PATH_MAX) first = path;
  }
  const int file = ::openat(fd, fileName.c_str(), O_WRONLY | O_CREAT, 0644);
  ::write(file, "profond", 7);
  ::close(file);
  ::close(fd);
  return first;
}

TEST_F(RunLosses, WhatCannotBeReadIsLoggedAndTheRunWarns) {
  {
    const testsupport::AccessDenied probe;
    if (!probe.works()) GTEST_SKIP() << "file permissions cannot be enforced on this process";
  }
  const fs::path data = dir / "donnees";
  struct Case {
    const char* what;
    // Makes the case's trouble under data; returns the loss line expected, empty for none.
    std::function<QString()> make;
    QStringList list;
  };
  const auto q = [](const fs::path& p) { return QString::fromStdString(p.string()); };
  const auto folderLine = [&](const fs::path& p, const char* reason) {
    return "1 Impossible de lire le dossier \"" + q(p) + "\". " + reason;
  };
  // A folder holding a file, then closed with that mode.
  const auto closedFolder = [&](const fs::path& folder, mode_t mode) {
    writeFile(folder / "x.txt", "x");
    ::chmod(folder.c_str(), mode);
    return folderLine(folder, "Accès refusé");
  };
  const Case cases[] = {
      {"nothing lost", [] { return QString(); }, {entry(data)}},
      {"listed folder missing", [&] { return folderLine(data / "absent", "Fichier ou dossier introuvable"); },
       {entry(data), entry(data / "absent")}},
      {"listed folder mode 000", [&] { return closedFolder(data / "ferme", 0); }, {entry(data, "non"), entry(data / "ferme")}},
      {"listed folder mode 311: entered, not listed", [&] { return closedFolder(data / "ferme", 0311); },
       {entry(data, "non"), entry(data / "ferme")}},
      {"subfolder mode 000", [&] { return closedFolder(data / "sous", 0); }, {entry(data)}},
      {"subfolder mode 311", [&] { return closedFolder(data / "sous", 0311); }, {entry(data)}},
      {"file mode 000",
       [&] {
         writeFile(data / "secret.txt", "secret");
         ::chmod((data / "secret.txt").c_str(), 0);
         return "1 Impossible d'ouvrir le fichier \"" + q(data / "secret.txt") + "\". Accès refusé";
       },
       {entry(data)}},
      {"path too long to open",
       [&] { return folderLine(deepChain(data, "profond.txt"), "Nom de fichier trop long"); }, {entry(data)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::runCommand("chmod -R u+rwx " + testsupport::shellQuote(data.string()) + " 2>/dev/null; rm -rf " +
                            testsupport::shellQuote(data.string()));
    writeFile(data / "garde.txt", "gardé");
    const QString expected = c.make();
    {
      const testsupport::AccessDenied denied;
      run(c.list);
    }
    EXPECT_EQ(losses().join('\n').toStdString(), expected.toStdString());
    // The walk went on with the rest.
    EXPECT_EQ(stored(), std::set<std::string>{backup::StoredArchiveName((data / "garde.txt").string())});
    expectEnd(!expected.isEmpty());
  }
  testsupport::runCommand("chmod -R u+rwx " + testsupport::shellQuote(data.string()) + "; rm -rf " +
                          testsupport::shellQuote(data.string()));
}

// The archive cannot be written (a full disk): the previous one goes to the server, and the
// log says so.
TEST_F(RunLosses, AFailedSaveSendsThePreviousArchiveAndWarns) {
  const fs::path disk = dir / "disque";
  if (!testsupport::mountSmallDisk(disk, "1m")) GTEST_SKIP() << "a small tmpfs cannot be mounted here (needs root)";
  const auto unmount = qScopeGuard([&] { testsupport::unmountDisk(disk); });
  config->ui->reconstruire_zip->setChecked(false);
  main->ZipFileName = QString::fromStdString((disk / "palvrenftp.zip").string());
  const fs::path data = dir / "donnees";
  writeFile(data / "petit.txt", "petit");
  run({entry(data)});
  expectEnd(false);
  const std::string previous = readFile(disk / "palvrenftp.zip");

  writeFile(data / "gros.bin", testsupport::randomBytes(3 << 20, 7));
  run({entry(data)});
  const QStringList lost = losses();
  ASSERT_EQ(lost.size(), 1) << memoLines().join('\n').toStdString();
  EXPECT_TRUE(lost[0].startsWith("2 Impossible d'enregistrer l'archive ")) << lost[0].toStdString();
  EXPECT_EQ(count("L'archive n'a pas été mise à jour : l'archive précédente est envoyée à sa place"), 1);
  EXPECT_EQ(readFile(disk / "palvrenftp.zip"), previous);
  EXPECT_EQ(remoteContent(), previous);
  // Only the archive is left on the disk: no temporary copy of it.
  EXPECT_EQ(std::distance(fs::directory_iterator(disk), fs::directory_iterator()), 1);
  expectEnd(true);
}

}  // namespace
