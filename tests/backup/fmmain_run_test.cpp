// The backup run on real folders and a real archive, read back by unzip and python's zipfile.
#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "archive_check.h"
#include "backup/stored_name.h"
#include "fmmain_fixture.h"
#include "platform/core/dos_datetime.h"
#include "support/child_process.h"
#include "support/python_zip.h"
#include "support/random_bytes.h"
#include "support/scoped_responder.h"

using namespace backup;

namespace fs = std::filesystem;
using testsupport::randomBytes;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

std::string text(std::size_t n, const std::string& word = "sauvegarde ") {
  std::string s;
  while (s.size() < n) s += word;
  s.resize(n);
  return s;
}

void setMtime(const fs::path& p, std::time_t t) {
  struct timeval tv[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(::utimes(p.c_str(), tv), 0) << p;
}

// The entry date python shows for a file of that modification time.
std::string entryDateOf(std::time_t t) {
  const platform::DosDateTime d = platform::dosDateTimeFromTime(t);
  const unsigned date = platform::dosDatePart(d), time = platform::dosTimePart(d);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (date >> 9), (date >> 5) & 15, date & 31,
                time >> 11, (time >> 5) & 63, (time & 31) * 2);
  return buf;
}

// A local port nothing listens on: the upload that ends the run fails at once, offline.
int closedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

class BackupRun : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    buildWindows();
    f = config->ui.get();
    f->hote_vesk->setText("127.0.0.1");
    f->utilisateur_vesk->setText("anonymous");
    f->Port_ftp->setText(QString::number(closedPort()));
    f->recevoir_mail->setChecked(false);
    f->reconstruire_zip->setChecked(false);
    f->Edit_1->clear();
    data = dir / "donnees";
    fs::create_directories(data);
  }

  void folders(const QStringList& lines) {
    f->Repertoires_sauv->clear();
    f->Repertoires_sauv->addItems(lines);
  }
  // The list entry that walks `folder` with the masks, subfolders or not.
  static QString entry(const fs::path& folder, const QString& masks = "*.*", const QString& sub = "oui") {
    return QString::fromStdString(folder.string()) + '|' + masks + '|' + sub;
  }

  // One run; `during` runs at every turn of the message pump while it goes.
  void run(std::function<void()> during = {}) {
    QTimer watcher;
    watcher.setInterval(0);
    if (during) {
      QObject::connect(&watcher, &QTimer::timeout, during);
      watcher.start();
    }
    main->bnStartClick();
    watcher.stop();
    // A failed upload arms its retry; the next run of a test is a fresh start.
    main->Timer4->stop();
    main->Timer5->stop();
  }

  std::string archive() const { return (dir / "palvrenftp.zip").string(); }
  static std::string nameOf(const fs::path& p) { return StoredArchiveName(p.string()); }
  std::map<std::string, testsupport::PythonZipEntry> entries(const std::string& password = "") const {
    EXPECT_EQ(archivecheck::unzipTest(archive(), password), 0);
    EXPECT_EQ(archivecheck::sevenZipTest(archive(), password), 0);
    return testsupport::readWithPython(archive(), password);
  }
  QStringList logLines() const { return main->ui->Memo1->text().split('\n'); }
  // Lines of the log after the date, " : " and the given code.
  QStringList logged(const QString& code) const {
    QStringList found;
    for (const QString& line : logLines())
      if (line.startsWith(stamp() + " : " + code)) found << line.mid(stamp().size() + 3);
    return found;
  }

  Ui::Form1* f = nullptr;
  fs::path data;
};

TEST_F(BackupRun, FirstRunStoresEveryFileThatHasBytes) {
  writeFile(data / "lettre.txt", text(200000));
  writeFile(data / "photo.jpg", randomBytes(300000, 1));
  writeFile(data / "sous" / "profond" / "note.txt", "une note");
  writeFile(data / "vide.txt", "");
  writeFile(data / "caf\xe9.txt", "nom en Latin-1");  // not UTF-8: saved all the same
  setMtime(data / "lettre.txt", 1700000000);
  folders({entry(data)});
  std::set<QString> panels;
  int highestProgress = 0;
  QObject::connect(main->ui->ProgressBar1, &QProgressBar::valueChanged,
                   [&](int v) { highestProgress = std::max(highestProgress, v); });
  bool lockedOut = true;
  run([&] {
    panels.insert(main->statusPanelText());
    if (main->RunWriter != nullptr)
      lockedOut = lockedOut && !main->ui->bnStart->isEnabled() && !main->Timer1->isActive();
  });

  const QStringList lines = logLines();
  ASSERT_GE(lines.size(), 3);
  EXPECT_EQ(lines[0], "-----------------------");
  EXPECT_EQ(lines[1], stamp() + " : Démarrage de la sauvegarde");
  EXPECT_EQ(lines[2], stamp() + " : Compression des données");
  EXPECT_TRUE(logged("1 ").isEmpty() && logged("2 ").isEmpty() && logged("3 ").isEmpty())
      << lines.join('\n').toStdString();

  const auto e = entries();
  ASSERT_EQ(e.size(), 4u);
  EXPECT_EQ(e.count(data.string().substr(1) + "/caf\xe9.txt"), 1u);  // its own bytes
  const auto& lettre = e.at(nameOf(data / "lettre.txt"));
  EXPECT_EQ(lettre.size, 200000u);
  EXPECT_EQ(lettre.method, 8);
  EXPECT_EQ(lettre.crc, archivecheck::crcOf(text(200000)));
  EXPECT_EQ(lettre.date, entryDateOf(1700000000));
  EXPECT_FALSE(lettre.encrypted);
  // Incompressible data is stored rather than grown by deflate.
  EXPECT_EQ(e.at(nameOf(data / "photo.jpg")).method, 0);
  EXPECT_EQ(e.at(nameOf(data / "photo.jpg")).crc, archivecheck::crcOf(randomBytes(300000, 1)));
  EXPECT_EQ(e.count(nameOf(data / "sous" / "profond" / "note.txt")), 1u);
  EXPECT_EQ(nameOf(data / "lettre.txt"), data.string().substr(1) + "/lettre.txt");

  EXPECT_TRUE(lockedOut);
  EXPECT_TRUE(panels.count("Compression  " + QString::fromStdString(nameOf(data / "lettre.txt"))));
  EXPECT_TRUE(panels.count(QString::fromStdString((data / "photo.jpg").string())));
  EXPECT_EQ(highestProgress, 100);
  EXPECT_EQ(main->statusPanelText(), "");
  EXPECT_EQ(main->ui->ProgressBar1->value(), 0);
  EXPECT_EQ(main->ui->ProgressBar2->value(), 0);
  EXPECT_NE(main->cursor().shape(), Qt::WaitCursor);
}

TEST_F(BackupRun, NextRunReplacesFilesWhoseDateDiffersAndKeepsTheOthers) {
  const std::time_t t = 1700000000;
  const char* names[] = {"plus_ancien.txt", "plus_recent.txt", "efface.txt", "pareil.txt", "vide_ensuite.txt"};
  for (const char* n : names) {
    writeFile(data / n, std::string("ancien ") + n);
    setMtime(data / n, t);
  }
  folders({entry(data)});
  run();
  ASSERT_EQ(entries().size(), 5u);

  writeFile(data / "plus_ancien.txt", "nouveau contenu, date plus ancienne");
  setMtime(data / "plus_ancien.txt", t - 86400);
  writeFile(data / "plus_recent.txt", "nouveau contenu, date plus récente");
  setMtime(data / "plus_recent.txt", t + 86400);
  fs::remove(data / "efface.txt");
  writeFile(data / "vide_ensuite.txt", "");
  writeFile(data / "nouveau.txt", "arrivé depuis");
  run();

  const auto e = entries();
  ASSERT_EQ(e.size(), 6u);
  EXPECT_EQ(e.at(nameOf(data / "plus_ancien.txt")).crc, archivecheck::crcOf("nouveau contenu, date plus ancienne"));
  EXPECT_EQ(e.at(nameOf(data / "plus_ancien.txt")).date, entryDateOf(t - 86400));
  EXPECT_EQ(e.at(nameOf(data / "plus_recent.txt")).crc, archivecheck::crcOf("nouveau contenu, date plus récente"));
  EXPECT_EQ(e.at(nameOf(data / "plus_recent.txt")).date, entryDateOf(t + 86400));
  // Gone from the disk, or emptied: the last copy stays in the archive.
  EXPECT_EQ(e.at(nameOf(data / "efface.txt")).crc, archivecheck::crcOf("ancien efface.txt"));
  EXPECT_EQ(e.at(nameOf(data / "vide_ensuite.txt")).crc, archivecheck::crcOf("ancien vide_ensuite.txt"));
  EXPECT_EQ(e.at(nameOf(data / "pareil.txt")).crc, archivecheck::crcOf("ancien pareil.txt"));
  EXPECT_EQ(e.at(nameOf(data / "nouveau.txt")).crc, archivecheck::crcOf("arrivé depuis"));
  EXPECT_TRUE(logged("1 ").isEmpty() && logged("2 ").isEmpty());
}

TEST_F(BackupRun, FilesOfAnyDateAreStoredOnceAndLeftAloneAfter) {
  struct Case {
    const char* name;
    std::time_t mtime;
    const char* stored;  // the entry's date, clamped to what the ZIP form holds
  };
  const Case cases[] = {
      {"annees_70.txt", 157766400 /* 1975 */, "1980-01-01 00:00:00"},
      {"an_2110.txt", 4418064000 /* 2110 */, "2107-12-31 23:59:58"},
      {"ordinaire.txt", 1700000000, nullptr},
  };
  for (const Case& c : cases) {
    writeFile(data / c.name, std::string("contenu ") + c.name);
    setMtime(data / c.name, c.mtime);
  }
  folders({entry(data)});
  run();
  const auto first = entries();
  ASSERT_EQ(first.size(), 3u);
  for (const Case& c : cases)
    EXPECT_EQ(first.at(nameOf(data / c.name)).date, c.stored ? c.stored : entryDateOf(c.mtime)) << c.name;

  struct stat before {};
  ASSERT_EQ(::stat(archive().c_str(), &before), 0);
  const std::string bytes = readFile(archive());
  run();
  struct stat after {};
  ASSERT_EQ(::stat(archive().c_str(), &after), 0);
  // Nothing changed: nothing replaced, the archive file not even rewritten.
  EXPECT_EQ(readFile(archive()), bytes);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_TRUE(logged("1 ").isEmpty() && logged("2 ").isEmpty());
}

TEST_F(BackupRun, RebuildWritesTheArchiveAnew) {
  writeFile(data / "garde.txt", "garde");
  writeFile(data / "parti.txt", "parti");
  folders({entry(data)});
  run();
  ASSERT_EQ(entries().size(), 2u);
  fs::remove(data / "parti.txt");
  writeFile(data / "garde.txt", "garde, deuxième version");
  f->reconstruire_zip->setChecked(true);
  run();
  const auto e = entries();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e.at(nameOf(data / "garde.txt")).crc, archivecheck::crcOf("garde, deuxième version"));
}

TEST_F(BackupRun, RefusedRunsSayWhyAndLeaveTheControlsAlone) {
  writeFile(data / "a.txt", "a");
  struct Case {
    const char* what;
    QString host, user;
    bool withFolders;
    QString message;
    bool box;
  };
  const QString config = "Vous devez configurer (host, login) ou Mettre \"anonymous\" dans l'utilisateur .";
  const QString noFolder = "Vous devez choisir le ou les réperoires à sauvegarder.";
  const Case cases[] = {
      {"no host", "", "anonymous", true, config, false},
      {"no user", "127.0.0.1", "", true, config, false},
      // Blanks are not trimmed: a blank host passes this guard.
      {"no folder", " ", "anonymous", false, noFolder, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    f->hote_vesk->setText(c.host);
    f->utilisateur_vesk->setText(c.user);
    folders(c.withFolders ? QStringList{entry(data)} : QStringList{});
    // With rebuild on, the archive goes before the guards.
    f->reconstruire_zip->setChecked(true);
    writeFile(archive(), "ancienne archive");
    main->hide();
    main->ui->bnStart->setEnabled(true);
    main->Timer1->start();
    main->logMessage("ligne d'avant");
    testsupport::ScopedResponder answers;
    run();
    EXPECT_EQ(logLines(), QStringList{stamp() + " : " + c.message});
    ASSERT_EQ(answers.asked().size(), c.box ? 1u : 0u);
    if (c.box) {
      EXPECT_EQ(answers.asked()[0].text, c.message);
    }
    EXPECT_TRUE(main->isVisible());
    EXPECT_TRUE(main->ui->bnStart->isEnabled());
    EXPECT_TRUE(main->Timer1->isActive());
    EXPECT_FALSE(fs::exists(archive()));
  }
  main->Timer1->stop();
}

TEST_F(BackupRun, AnArchiveThatCannotBeDeletedForARebuildIsReported) {
  writeFile(data / "a.txt", "a");
  folders({entry(data)});
  f->reconstruire_zip->setChecked(true);
  fs::create_directories(archive());  // a folder in its place cannot be unlinked
  run();
  EXPECT_TRUE(logged("Impossible de supprimer l'archive " + QString::fromStdString(archive())).size() == 1)
      << logLines().join('\n').toStdString();
  EXPECT_TRUE(main->RunIncomplete);
  EXPECT_TRUE(main->ui->bnStart->isEnabled());
  main->Timer1->stop();
}

TEST_F(BackupRun, AFileReachedTwiceInOneRunGetsOneEntry) {
  struct Case {
    const char* what;
    bool rebuild;
    bool twoMasks;  // else overlapping folders
  };
  const Case cases[] = {
      {"two masks", false, true},
      {"overlapping folders", false, false},
      {"two masks, rebuild", true, true},
      {"overlapping folders, rebuild", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(archive());
    f->reconstruire_zip->setChecked(c.rebuild);
    writeFile(data / "sous" / "rapport.txt", "première version");
    writeFile(data / "sous" / "autre.doc", "autre");
    setMtime(data / "sous" / "rapport.txt", 1700000000);
    const QStringList list = c.twoMasks ? QStringList{entry(data, "*.txt;*.doc;rapport*")}
                                        : QStringList{entry(data), entry(data / "sous", "*.*", "non")};
    folders(list);
    run();  // every name new in this run
    auto e = entries();
    EXPECT_EQ(e.size(), 2u);
    // Changed: the first report replaces it, the second finds the new entry.
    writeFile(data / "sous" / "rapport.txt", "deuxième version");
    setMtime(data / "sous" / "rapport.txt", 1700000100);
    run();
    e = entries();
    EXPECT_EQ(e.size(), 2u);
    EXPECT_EQ(e.at(nameOf(data / "sous" / "rapport.txt")).crc, archivecheck::crcOf("deuxième version"));
    EXPECT_TRUE(logged("1 ").isEmpty() && logged("2 ").isEmpty() && logged("3 ").isEmpty())
        << logLines().join('\n').toStdString();
    EXPECT_TRUE(logLines().size() >= 3 && logLines()[1].endsWith("Démarrage de la sauvegarde"));
  }
}

TEST_F(BackupRun, APasswordEncryptsWhatThisRunAdds) {
  writeFile(data / "avant.txt", text(5000, "clair "));
  folders({entry(data)});
  run();
  f->Edit_1->setText("s3cret");
  writeFile(data / "apres.txt", text(5000, "secret "));
  writeFile(data / "photo.bin", randomBytes(20000, 2));
  run();
  EXPECT_EQ(logLines()[2], stamp() + " : Compression et cryptage des données");
  const auto e = entries("s3cret");
  ASSERT_EQ(e.size(), 3u);
  EXPECT_FALSE(e.at(nameOf(data / "avant.txt")).encrypted);  // kept from before, as it was
  EXPECT_TRUE(e.at(nameOf(data / "apres.txt")).encrypted);
  EXPECT_EQ(e.at(nameOf(data / "apres.txt")).crc, archivecheck::crcOf(text(5000, "secret ")));
  EXPECT_TRUE(e.at(nameOf(data / "photo.bin")).encrypted);
  EXPECT_EQ(e.at(nameOf(data / "photo.bin")).crc, archivecheck::crcOf(randomBytes(20000, 2)));
  EXPECT_NE(archivecheck::unzipTest(archive(), "mauvais"), 0);
}

TEST_F(BackupRun, TheArchiveInABackedUpFolderIsNotStoredInItself) {
  writeFile(dir / "dans_le_dossier.txt", "x");
  const fs::path link = dir.path().parent_path() / (dir.path().filename().string() + "-lien");
  fs::create_directory_symlink(dir.path(), link);
  const fs::path spellings[] = {dir.path(), link};
  for (const fs::path& folder : spellings) {
    SCOPED_TRACE(folder.string());
    fs::remove(archive());
    folders({entry(folder, "*.*", "non")});
    run();
    run();
    for (const auto& [name, entry] : entries()) EXPECT_EQ(name.find("palvrenftp.zip"), std::string::npos) << name;
    EXPECT_EQ(entries().count(nameOf(folder / "dans_le_dossier.txt")), 1u);
  }
  fs::remove(link);
}

TEST_F(BackupRun, AnArchiveThatIsNotZipEndsTheRunWithItsMessage) {
  writeFile(data / "a.txt", "a");
  folders({entry(data)});
  const std::string garbage = text(4000, "pas une archive ");
  writeFile(archive(), garbage);
  run();
  EXPECT_TRUE(lastMemoLine().startsWith(stamp() + " : ")) << lastMemoLine().toStdString();
  EXPECT_TRUE(lastMemoLine().contains("n'est pas une archive ZIP")) << lastMemoLine().toStdString();
  // No upload: the server's good copy must not be replaced by this one; the next run may start.
  EXPECT_EQ(readFile(archive()), garbage);
  EXPECT_TRUE(main->ui->bnStart->isEnabled());
  EXPECT_TRUE(main->Timer1->isActive());
  EXPECT_EQ(main->RunWriter, nullptr);
  EXPECT_NE(main->cursor().shape(), Qt::WaitCursor);
  main->Timer1->stop();
}

TEST_F(BackupRun, AFileThatVanishesKeepsWhatTheArchiveHadOfIt) {
  // Two folders walked in list order; a file of the first goes while the second is walked
  // (before the save) or while the other file is compressed (during the save).
  const fs::path first = data / "un", second = data / "deux";
  struct Case {
    const char* what;
    bool beforeSave;
    bool changed;  // else new in this run
  };
  const Case cases[] = {
      {"new file, gone before the save", true, false},
      {"changed file, gone before the save", true, true},
      {"new file, gone during the save", false, false},
      {"changed file, gone during the save", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(data);
    fs::remove(archive());
    const fs::path victim = first / "fragile.txt", other = second / "gros.txt";
    writeFile(other, text(3000000, "autre fichier "));
    if (c.changed) {
      writeFile(victim, "ancienne version");
      setMtime(victim, 1700000000);
    }
    // The victim is reported before the trigger file, and compressed after it.
    folders(c.beforeSave ? QStringList{entry(first), entry(second)} : QStringList{entry(second), entry(first)});
    run();
    writeFile(victim, "nouvelle version");
    setMtime(victim, 1700000100);
    writeFile(other, text(3000000, "autre fichier, changé "));
    setMtime(other, 1700000100);
    const QString trigger =
        c.beforeSave ? QString::fromStdString(other.string()) : "Compression  " + QString::fromStdString(nameOf(other));
    run([&] {
      if (main->statusPanelText() == trigger) fs::remove(victim);
    });
    const QStringList skipped = logged("1 ");
    ASSERT_EQ(skipped.size(), 1) << logLines().join('\n').toStdString();
    EXPECT_TRUE(skipped[0].contains(QString::fromStdString(victim.string()))) << skipped[0].toStdString();
    EXPECT_TRUE(logged("2 ").isEmpty());
    const auto e = entries();
    EXPECT_EQ(e.at(nameOf(other)).crc, archivecheck::crcOf(text(3000000, "autre fichier, changé ")));
    if (c.changed) EXPECT_EQ(e.at(nameOf(victim)).crc, archivecheck::crcOf("ancienne version"));
    else EXPECT_EQ(e.count(nameOf(victim)), 0u);
  }
}

TEST_F(BackupRun, AFileGoneBetweenItsSizeAndItsAddIsLoggedAndTheWalkGoesOn) {
  writeFile(data / "a_part.txt", "s'en va");
  writeFile(data / "b_reste.txt", "reste");
  folders({entry(data)});
  const QString reported = QString::fromStdString((data / "a_part.txt").string());
  run([&] {
    if (main->statusPanelText() == reported) fs::remove(data / "a_part.txt");
  });
  const QStringList failed = logged("1 ");
  ASSERT_EQ(failed.size(), 1) << logLines().join('\n').toStdString();
  EXPECT_TRUE(failed[0].contains(reported));
  const auto e = entries();
  EXPECT_EQ(e.size(), 1u);
  EXPECT_EQ(e.count(nameOf(data / "b_reste.txt")), 1u);
}

TEST_F(BackupRun, ListEntriesAreReadFieldByField) {
  writeFile(data / "haut.txt", "haut");
  writeFile(data / "haut.doc", "doc");
  writeFile(data / "sous" / "bas.txt", "bas");
  struct Case {
    const char* what;
    QStringList list;
    std::set<std::string> stored;
    bool skippedLine;
  };
  const std::string haut = nameOf(data / "haut.txt"), doc = nameOf(data / "haut.doc"),
                    bas = nameOf(data / "sous" / "bas.txt");
  const QString d = QString::fromStdString(data.string());
  const Case cases[] = {
      {"oui walks below", {d + "|*.txt|oui"}, {haut, bas}, false},
      {"non stays on top", {d + "|*.txt|non"}, {haut}, false},
      {"Oui is not oui", {d + "|*.txt|Oui"}, {haut}, false},
      {"a blank after oui", {d + "|*.txt|oui "}, {haut}, false},
      {"no third field", {d + "|*.txt"}, {haut}, false},
      {"trailing slash", {d + "/|*.doc|non"}, {doc}, false},
      {"empty line skipped", {"", d + "|*.doc|non"}, {doc}, false},
      {"two masks, masks ignore case", {d + "|*.TXT;*.doc|non"}, {haut, doc}, false},
      {"no folder: skipped, not the root", {"|*.txt|oui", d + "|*.doc|non"}, {doc}, true},
      {"missing folder", {d + "/absent|*.*|oui", d + "|*.doc|non"}, {doc}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(archive());
    folders(c.list);
    run();
    std::set<std::string> names;
    for (const auto& [name, entry] : entries()) names.insert(name);
    EXPECT_EQ(names, c.stored);
    const QString skipLine = "Aucun dossier dans la ligne « |*.txt|oui » : ligne ignorée";
    EXPECT_EQ(logged(skipLine).size(), c.skippedLine ? 1 : 0);
  }
}

// A save killed midway leaves its temporary copy of the archive beside it; the next run
// removes it, and nothing else.
TEST_F(BackupRun, TheCopyLeftByAKilledSaveGoesAtTheNextRun) {
  writeFile(data / "a.txt", "a");
  folders({entry(data)});
  run();
  const fs::path big = data / "gros.bin";
  writeFile(big, randomBytes(8 << 20, 3));
  testsupport::ChildProcess child({PALVREN_ARCHIVE_SAVE_CHILD, archive(), big.string()});
  ASSERT_EQ(child.readLine(), "saving");
  const auto leftovers = [&] {
    std::vector<fs::path> found;
    for (const auto& e : fs::directory_iterator(dir.path())) {
      const std::string name = e.path().filename().string();
      if (name.rfind("palvrenftp.zip.", 0) == 0 && name.size() == 21) found.push_back(e.path());
    }
    return found;
  };
  // Killed once its copy holds data.
  for (int i = 0; i < 500 && (leftovers().empty() || fs::file_size(leftovers()[0]) == 0); ++i) ::usleep(10000);
  child.signal(SIGKILL);
  child.wait(5000);
  const auto left = leftovers();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_GT(fs::file_size(left[0]), 0u);
  const std::vector<std::string> others{"palvrenftp.zip.old", "palvrenftp.zip.1234567", "autre.zip.A1b2C3"};
  for (const auto& o : others) writeFile(dir / o, "garder");
  fs::create_directory(dir / "palvrenftp.zip.D0ssie");
  run();
  EXPECT_FALSE(fs::exists(left[0]));
  for (const auto& o : others) EXPECT_TRUE(fs::exists(dir / o)) << o;
  EXPECT_TRUE(fs::is_directory(dir / "palvrenftp.zip.D0ssie"));
  const auto e = entries();
  EXPECT_EQ(e.size(), 2u);
  EXPECT_EQ(e.count(nameOf(big)), 1u);
}

// A file that changes at every step of its reads is kept as read the second time, and the
// run says so and is marked; the other files go in as they are.
TEST_F(BackupRun, AFileThatKeepsChangingWhileReadIsLoggedAndMarksTheRun) {
  const fs::path moving = data / "mouvant.bin";
  writeFile(moving, randomBytes(6 << 20, 5));
  writeFile(data / "calme.txt", "calme");
  folders({entry(data)});
  const QString panel = "Compression  " + QString::fromStdString(nameOf(moving));
  int strikes = 0;
  run([&] {
    if (main->statusPanelText() != panel) return;
    ++strikes;
    std::FILE* f = std::fopen(moving.c_str(), "ab");
    std::fputs("encore", f);
    std::fclose(f);
  });
  ASSERT_GT(strikes, 0);
  EXPECT_EQ(logged("2 ").join('\n').toStdString(),
            "2 Le fichier \"" + moving.string() + "\" a changé pendant sa lecture : sa copie peut être incohérente");
  EXPECT_TRUE(main->RunIncomplete);
  const auto e = entries();
  EXPECT_EQ(e.at(nameOf(data / "calme.txt")).data, "calme");
  EXPECT_EQ(e.at(nameOf(moving)).data, readFile(moving).substr(0, e.at(nameOf(moving)).data.size()));
}

TEST_F(BackupRun, AStartRequestDuringARunIsRefused) {
  for (int i = 0; i < 5; ++i) writeFile(data / ("f" + std::to_string(i) + ".txt"), text(1000));
  folders({entry(data)});
  int starts = 0;
  QObject::connect(main.get(), &TfmMain::runStarting, [&] { ++starts; });
  QTimer during;
  during.setInterval(0);
  QObject::connect(&during, &QTimer::timeout, [&] {
    if (main->RunWriter != nullptr) main->Demarrer1->trigger();
  });
  during.start();
  main->ui->bnStart->click();
  during.stop();
  main->Timer4->stop();
  main->Timer5->stop();
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(logLines().filter("Démarrage de la sauvegarde").size(), 1);
  EXPECT_EQ(entries().size(), 5u);
}

// Counts the paints of the widgets it watches.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(std::initializer_list<QWidget*> widgets) {
    for (QWidget* w : widgets) w->installEventFilter(this);
  }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// A bar repaints at once when its value changes: with one paint per file the window's thread
// spends the run painting. The window on screen shows the progress when its events run.
TEST_F(BackupRun, AShownWindowPaintsTheProgressAtThePacedPumpsTurns) {
  const int files = 3000;
  for (int i = 0; i < files; ++i)
    writeFile(data / ("d" + std::to_string(i % 30)) / ("f" + std::to_string(i) + ".txt"), text(40 + i % 200));
  folders({entry(data)});
  main->show();
  QCoreApplication::processEvents();
  ASSERT_TRUE(main->isVisible());
  // Time moves with the work: a slice passes every few files.
  clock.stepSteadyMs(1);
  PaintCounter counter{main->ui->ProgressBar1, main->ui->ProgressBar2, main->findChild<QLabel*>("StatusPanel0")};
  int passes = 0;
  run([&] { ++passes; });
  EXPECT_EQ(testsupport::readWithPython(archive()).size(), static_cast<std::size_t>(files));
  EXPECT_LT(passes, files / 4);
  // Each of the three widgets paints at most once per pass of the events, and once more at the end.
  EXPECT_LE(counter.paints, 3 * (passes + 2)) << passes << " passes";
}

}  // namespace
