#include "backup/archive_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <cstdio>
#include <filesystem>

#include "archive_check.h"
#include "backup/stored_name.h"
#include "support/python_zip.h"
#include "support/random_bytes.h"
#include "support/temp_dir.h"

using namespace backup;

namespace {

using archivecheck::crcOf;
using archivecheck::sevenZipTest;
using archivecheck::unzipTest;
using testsupport::randomBytes;
using testsupport::readFile;
using testsupport::readWithPython;
using testsupport::TempDir;
using testsupport::writeFile;

std::string text(std::size_t n) {
  std::string s;
  while (s.size() < n) s += "Sauvegarde quotidienne du poste, ligne de journal répétée. ";
  s.resize(n);
  return s;
}

void setMtime(const std::filesystem::path& p, std::time_t t) {
  struct timeval tv[2] = {{t, 0}, {t, 0}};
  ASSERT_EQ(utimes(p.c_str(), tv), 0);
}

std::string dosText(platform::DosDateTime d) {
  const unsigned date = platform::dosDatePart(d), time = platform::dosTimePart(d);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (date >> 9), (date >> 5) & 15, date & 31,
                time >> 11, (time >> 5) & 63, (time & 31) * 2);
  return buf;
}

struct stat statOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st;
}

std::vector<std::string> filesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// One run of the writer the way the backup run drives it: changed files replace their entry.
void update(ArchiveWriter& w, const std::vector<std::string>& files) {
  for (const auto& f : files) {
    const auto index = w.find(StoredArchiveName(f));
    if (index < 0) {
      w.add(f);
    } else if (!w.addedInRun(index) && ArchiveWriter::fileDate(f) != w.entryDate(index)) {
      w.remove(StoredArchiveName(f));
      w.add(f);
    }
  }
}

class ArchiveWriterTest : public ::testing::Test {
 protected:
  std::string file(const std::string& rel, const std::string& content, std::time_t mtime = 1700000000) {
    const auto p = dir / rel;
    writeFile(p, content);
    setMtime(p, mtime);
    return p.string();
  }
  std::string name(const std::string& path) { return StoredArchiveName(path); }
  void runOnce(const std::vector<std::string>& files, const std::string& password = "") {
    ArchiveWriter w;
    w.setPassword(password);
    w.open(archive);
    update(w, files);
    w.save();
  }

  TempDir dir;
  std::string archive = (dir / "palvrenftp.zip").string();
};

TEST_F(ArchiveWriterTest, WritesEntriesThatOtherToolsReadBack) {
  const std::string big = text(3 << 20), noise = randomBytes(3 << 20, 1), small = randomBytes(300, 2);
  const std::vector<std::string> files = {file("docs/lettre.txt", big), file("photos/été.jpg", noise),
                                          file("bruit.bin", small), file("vide/un.txt", "x")};
  runOnce(files);

  EXPECT_EQ(unzipTest(archive), 0);
  EXPECT_EQ(sevenZipTest(archive), 0);
  const auto entries = readWithPython(archive);
  ASSERT_EQ(entries.size(), 4u);
  const struct {
    std::string path, content;
    int method;
  } expected[] = {{files[0], big, 8}, {files[1], noise, 0}, {files[2], small, 0}, {files[3], "x", 0}};
  for (const auto& e : expected) {
    SCOPED_TRACE(e.path);
    ASSERT_EQ(entries.count(name(e.path)), 1u);
    const auto& entry = entries.at(name(e.path));
    EXPECT_EQ(entry.size, e.content.size());
    EXPECT_EQ(entry.crc, crcOf(e.content));
    EXPECT_EQ(entry.method, e.method);
    EXPECT_FALSE(entry.encrypted);
    EXPECT_EQ(entry.date, dosText(ArchiveWriter::fileDate(e.path)));
  }
  EXPECT_EQ(name(files[0]).front(), dir.str()[1]);  // no leading "/"
}

TEST_F(ArchiveWriterTest, UnchangedRunFindsEqualDatesAndLeavesTheFileAlone) {
  const std::vector<std::string> files = {file("a.txt", text(5000)),
                                          file("b/c.bin", randomBytes(70000, 3), 1700000001)};
  runOnce(files);
  const struct stat before = statOf(archive);
  const std::string bytes = readFile(archive);

  ArchiveWriter w;
  int itemEvents = 0;
  w.OnArchiveItemProgress = [&](const std::string&, int) { ++itemEvents; };
  w.open(archive);
  for (const auto& f : files) {
    const auto index = w.find(name(f));
    ASSERT_GE(index, 0);
    EXPECT_EQ(w.entryDate(index), ArchiveWriter::fileDate(f));
  }
  w.save();

  const struct stat after = statOf(archive);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(readFile(archive), bytes);
  EXPECT_EQ(itemEvents, 0);  // no file content read
}

TEST_F(ArchiveWriterTest, OlderAndNewerFilesReplaceTheirEntriesOthersAreKept) {
  const auto keep = file("garde.txt", "inchangé");
  const auto older = file("ancien.txt", "v1");
  const auto newer = file("nouveau.txt", "v1");
  const auto gone = file("disparu.txt", "reste dans l'archive");
  runOnce({keep, older, newer, gone});

  writeFile(older, "version 2 plus ancienne");
  setMtime(older, 1600000000);
  writeFile(newer, "version 2 plus récente");
  setMtime(newer, 1800000000);
  std::filesystem::remove(gone);
  runOnce({keep, older, newer});

  EXPECT_EQ(unzipTest(archive), 0);
  const auto entries = readWithPython(archive);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries.at(name(older)).crc, crcOf("version 2 plus ancienne"));
  EXPECT_EQ(entries.at(name(older)).date, dosText(ArchiveWriter::fileDate(older)));
  EXPECT_EQ(entries.at(name(newer)).crc, crcOf("version 2 plus récente"));
  EXPECT_EQ(entries.at(name(keep)).crc, crcOf("inchangé"));
  EXPECT_EQ(entries.at(name(gone)).crc, crcOf("reste dans l'archive"));
}

TEST_F(ArchiveWriterTest, AddingANameThatIsThereAddsNothing) {
  const auto a = file("a.txt", "premier", 1700000000);
  runOnce({a});
  writeFile(a, "second contenu");
  setMtime(a, 1700000100);

  ArchiveWriter w;
  w.open(archive);
  w.add(a);  // the entry is there and not marked for removal
  const auto b = file("b.txt", "bbb");
  w.add(b);
  w.add(b);  // a second report of a file added in this run
  const auto index = w.find(name(b));
  ASSERT_GE(index, 0);
  EXPECT_TRUE(w.addedInRun(index));
  EXPECT_EQ(w.entryDate(index), ArchiveWriter::fileDate(b));
  EXPECT_FALSE(w.addedInRun(w.find(name(a))));
  w.save();

  const auto entries = readWithPython(archive);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries.at(name(a)).crc, crcOf("premier"));
  EXPECT_EQ(entries.at(name(b)).crc, crcOf("bbb"));
}

TEST_F(ArchiveWriterTest, AFileThatCannotBeOpenedAtAddRaisesAndKeepsTheOldEntry) {
  const auto a = file("a.txt", "ancien");
  runOnce({a});
  std::filesystem::remove(a);

  ArchiveWriter w;
  w.open(archive);
  w.remove(name(a));
  EXPECT_EQ(w.find(name(a)), -1);
  try {
    w.add(a);
    FAIL() << "no error";
  } catch (const platform::EFOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("Impossible d'ouvrir le fichier \"" + a + "\""), std::string::npos);
  }
  EXPECT_GE(w.find(name(a)), 0);
  EXPECT_THROW(w.add((dir / "sous").string() + "/absent.txt"), platform::EFOpenError);
  std::filesystem::create_directories(dir / "dossier");
  EXPECT_THROW(w.add((dir / "dossier").string()), platform::EFOpenError);
  w.save();
  EXPECT_EQ(readWithPython(archive).at(name(a)).crc, crcOf("ancien"));
}

// A file may vanish or turn unreadable after the walk: before the save starts, or while the
// save writes the files before it.
TEST_F(ArchiveWriterTest, AFileUnreadableDuringTheSaveIsLeftOutAndReported) {
  const auto replaced = file("remplace.txt", "ancienne version");
  const auto kept = file("garde.txt", "garde");
  runOnce({replaced, kept});

  writeFile(replaced, "nouvelle version");
  setMtime(replaced, 1700000500);
  const auto good = file("bon.txt", text(100000));
  const auto fresh = file("nouveau.txt", "nouveau");
  const auto becomesDir = file("dossier.txt", "devient un dossier");
  const auto goneEarly = file("parti.txt", "parti avant");

  ArchiveWriter w;
  std::vector<std::string> skipped;
  w.OnFileSkipped = [&](const platform::EFOpenError& e) { skipped.push_back(e.what()); };
  bool struck = false;
  w.OnArchiveItemProgress = [&](const std::string& item, int) {
    if (struck || item != name(good)) return;
    struck = true;
    std::filesystem::remove(replaced);
    std::filesystem::remove(fresh);
    std::filesystem::remove(becomesDir);
    std::filesystem::create_directory(becomesDir);
  };
  w.open(archive);
  update(w, {good, replaced, kept, fresh, becomesDir, goneEarly});
  std::filesystem::remove(goneEarly);
  w.save();

  ASSERT_TRUE(struck);
  ASSERT_EQ(skipped.size(), 4u);
  for (const auto& path : {replaced, fresh, becomesDir, goneEarly}) {
    bool named = false;
    for (const auto& message : skipped) named |= message.find("Impossible d'ouvrir le fichier \"" + path + "\"") == 0;
    EXPECT_TRUE(named) << path;
  }
  EXPECT_EQ(unzipTest(archive), 0);
  const auto entries = readWithPython(archive);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries.at(name(replaced)).crc, crcOf("ancienne version"));
  EXPECT_EQ(entries.at(name(kept)).crc, crcOf("garde"));
  EXPECT_EQ(entries.at(name(good)).crc, crcOf(text(100000)));
  // No temporary file left behind by the writes given up.
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"bon.txt", "dossier.txt", "garde.txt", "palvrenftp.zip"}));
}

// A file written while the save reads it: read once more; when it changes again, what the
// second read found is kept and reported. Never a copy mixing two states unannounced.
TEST_F(ArchiveWriterTest, AFileChangedWhileReadIsReadAgainOrKeptAndReported) {
  struct Case {
    const char* what;
    bool everyStep;  // else truncated once, in the middle of its first read
  };
  const Case cases[] = {{"truncated once while read", false}, {"grows at every step of its reads", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(archive);
    const std::string original = randomBytes(6 << 20, 11);  // read by the save itself, in steps
    const auto moving = file("mouvant.bin", original);
    const auto calm = file("calme.txt", text(50000));
    ArchiveWriter w;
    std::vector<std::string> changed, skipped;
    w.OnFileChanged = [&](const std::string& path) { changed.push_back(path); };
    w.OnFileSkipped = [&](const platform::EFOpenError& e) { skipped.push_back(e.what()); };
    int strikes = 0;
    w.OnArchiveItemProgress = [&](const std::string& item, int progress) {
      if (item != name(moving) || progress < 10 || progress == 100 || (!c.everyStep && strikes > 0)) return;
      ++strikes;
      if (c.everyStep) {
        std::FILE* f = std::fopen(moving.c_str(), "ab");
        std::fputs("encore", f);
        std::fclose(f);
      } else {
        std::filesystem::resize_file(moving, 1000);
      }
    };
    w.open(archive);
    update(w, {moving, calm});
    w.save();

    ASSERT_GT(strikes, 0);
    EXPECT_TRUE(skipped.empty());
    EXPECT_EQ(unzipTest(archive), 0);
    EXPECT_EQ(sevenZipTest(archive), 0);
    const auto entries = readWithPython(archive);
    EXPECT_EQ(entries.at(name(calm)).data, text(50000));
    const std::string stored = entries.at(name(moving)).data;
    if (c.everyStep) {
      EXPECT_EQ(changed, std::vector<std::string>{moving});
      // What was read: a state the file went through, its start and what was added to it.
      const std::string now = readFile(moving);
      EXPECT_GT(stored.size(), original.size());
      EXPECT_EQ(stored, now.substr(0, stored.size()));
    } else {
      EXPECT_TRUE(changed.empty());
      EXPECT_EQ(stored, original.substr(0, 1000));
    }
  }
}

TEST_F(ArchiveWriterTest, AnArchiveWithoutEntriesIsAnEmptyZipFile) {
  ArchiveWriter empty;
  empty.open(archive);
  empty.save();
  EXPECT_EQ(readFile(archive).size(), 22u);
  EXPECT_TRUE(readWithPython(archive).empty());

  const auto a = file("a.txt", "a");
  runOnce({a});
  ASSERT_EQ(readWithPython(archive).size(), 1u);
  ArchiveWriter w;
  w.open(archive);
  w.remove(name(a));
  w.save();
  EXPECT_EQ(readFile(archive).size(), 22u);
  EXPECT_TRUE(readWithPython(archive).empty());

  writeFile(archive, "");  // a zero-length file left by an earlier failure
  ArchiveWriter fromZeroLength;
  fromZeroLength.open(archive);
  fromZeroLength.save();
  EXPECT_EQ(readFile(archive).size(), 22u);
}

TEST_F(ArchiveWriterTest, AFileThatIsNotAZipArchiveIsRefusedAndLeftAsItIs) {
  for (const std::string& content : {std::string("ceci n'est pas une archive, juste du texte"), randomBytes(5000, 9)}) {
    writeFile(archive, content);
    ArchiveWriter w;
    try {
      w.open(archive);
      FAIL() << "opened";
    } catch (const EArchiveError& e) {
      EXPECT_EQ(std::string(e.what()), "Le fichier " + archive + " n'est pas une archive ZIP");
    }
    EXPECT_EQ(readFile(archive), content);
  }
}

TEST_F(ArchiveWriterTest, APasswordEncryptsTheEntriesAddedWhileItIsSet) {
  const auto plain = file("clair.txt", text(20000));
  runOnce({plain});
  const auto secret = file("secret.txt", text(50000));
  const auto secretNoise = file("secret.bin", randomBytes(200000, 4));
  runOnce({plain, secret, secretNoise}, "motdepasse");

  EXPECT_EQ(unzipTest(archive, "motdepasse"), 0);
  EXPECT_NE(unzipTest(archive, "mauvais"), 0);
  EXPECT_EQ(sevenZipTest(archive, "motdepasse"), 0);
  EXPECT_NE(sevenZipTest(archive, "mauvais"), 0);
  const auto entries = readWithPython(archive, "motdepasse");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_FALSE(entries.at(name(plain)).encrypted);
  EXPECT_TRUE(entries.at(name(secret)).encrypted);
  EXPECT_EQ(entries.at(name(secret)).method, 8);
  EXPECT_EQ(entries.at(name(secret)).crc, crcOf(text(50000)));
  EXPECT_TRUE(entries.at(name(secretNoise)).encrypted);
  EXPECT_EQ(entries.at(name(secretNoise)).method, 0);
  EXPECT_EQ(entries.at(name(secretNoise)).crc, crcOf(readFile(secretNoise)));
}

TEST_F(ArchiveWriterTest, TheArchiveIsNeverAddedToItself) {
  const auto a = file("a.txt", "a");
  runOnce({a});
  ArchiveWriter w;
  w.open(archive);
  w.add(archive);
  w.add(dir.str() + "/./palvrenftp.zip");
  w.add(dir.str() + "//palvrenftp.zip");
  w.save();
  EXPECT_EQ(readWithPython(archive).size(), 1u);
}

TEST_F(ArchiveWriterTest, DatesOutsideTheDosRangeStayStableAcrossRuns) {
  const auto old = file("ancien.txt", "1970", 86400 * 365);
  const auto future = file("futur.txt", "2200", static_cast<std::time_t>(7258118400));  // 2200-01-01
  runOnce({old, future});
  const std::string bytes = readFile(archive);
  runOnce({old, future});  // equal dates: nothing replaced, nothing written
  EXPECT_EQ(readFile(archive), bytes);
  const auto entries = readWithPython(archive);
  EXPECT_EQ(entries.at(name(old)).date, "1980-01-01 00:00:00");
  EXPECT_EQ(entries.at(name(future)).date, "2107-12-31 23:59:58");
  EXPECT_EQ(unzipTest(archive), 0);
}

TEST_F(ArchiveWriterTest, ASaveReplacesTheArchiveInOneStepAndKeepsItsMode) {
  const auto a = file("a.txt", "a");
  runOnce({a});
  ASSERT_EQ(chmod(archive.c_str(), 0640), 0);
  const auto inode = statOf(archive).st_ino;
  runOnce({a, file("b.txt", "b")});
  EXPECT_NE(statOf(archive).st_ino, inode);  // a new file put in place by a rename
  EXPECT_EQ(statOf(archive).st_mode & 07777, 0640u);
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"a.txt", "b.txt", "palvrenftp.zip"}));
  EXPECT_EQ(readWithPython(archive).size(), 2u);
}

// A write that fails half way (here: the file size limit) leaves the old archive whole.
TEST_F(ArchiveWriterTest, ASaveThatCannotWriteRaisesAndLeavesTheOldArchive) {
  const auto a = file("a.txt", "a");
  runOnce({a});
  const std::string bytes = readFile(archive);
  const auto big = file("gros.bin", randomBytes(600000, 5));

  const pid_t pid = fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{200000, 200000};
    setrlimit(RLIMIT_FSIZE, &limit);
    int status = 3;
    try {
      ArchiveWriter w;
      w.open(archive);
      w.add(big);
      w.save();
      status = 1;
    } catch (const EArchiveError& e) {
      status = std::string(e.what()).rfind("Impossible d'enregistrer l'archive " + archive, 0) == 0 ? 0 : 2;
    } catch (...) {
    }
    _exit(status);
  }
  int status = -1;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readFile(archive), bytes);
  EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"a.txt", "gros.bin", "palvrenftp.zip"}));
}

// Events pump window messages, which may call back into the writer while it saves.
TEST_F(ArchiveWriterTest, CallsFromEventsDuringTheSaveAreRefusedAndAFailingEventStopsIt) {
  const auto a = file("a.txt", "a");
  runOnce({a});
  const std::string bytes = readFile(archive);
  const auto b = file("b.txt", text(300000));

  ArchiveWriter w;
  int refused = 0;
  w.MessagePump = [&] {
    try {
      w.add(a);
    } catch (const EArchiveError&) {
      ++refused;
    }
    w.close();  // ignored while saving
  };
  w.open(archive);
  w.add(b);
  w.save();
  EXPECT_GT(refused, 0);
  EXPECT_EQ(readWithPython(archive).size(), 2u);

  writeFile(b, "changé");
  setMtime(b, 1700000900);
  const std::string saved = readFile(archive);
  for (const bool fromItem : {false, true}) {
    SCOPED_TRACE(fromItem);
    ArchiveWriter failing;
    if (fromItem)
      failing.OnArchiveItemProgress = [](const std::string&, int) { throw std::runtime_error("événement"); };
    else failing.OnArchiveProgress = [](int) { throw std::runtime_error("événement"); };
    failing.open(archive);
    update(failing, {a, b});
    EXPECT_THROW(failing.save(), std::runtime_error);
    EXPECT_EQ(readFile(archive), saved);
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"a.txt", "b.txt", "palvrenftp.zip"}));
  }
  EXPECT_NE(saved, bytes);
}

TEST_F(ArchiveWriterTest, ANameThatIsNotUtf8KeepsItsBytesBesideItsUtf8Twin) {
  const auto latin1 = file("caf\xE9.txt", "Latin-1");
  const auto utf8 = file("caf\xC3\xA9.txt", "UTF-8");
  runOnce({latin1, utf8});
  ASSERT_NE(name(latin1), name(utf8));
  const auto entries = readWithPython(archive);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries.at(name(latin1)).crc, crcOf("Latin-1"));
  EXPECT_EQ(entries.at(name(utf8)).crc, crcOf("UTF-8"));
  EXPECT_EQ(unzipTest(archive), 0);

  // The next run finds both entries again: nothing to write.
  const std::string bytes = readFile(archive);
  const auto before = statOf(archive);
  ArchiveWriter w;
  w.open(archive);
  for (const auto& f : {latin1, utf8}) {
    const auto index = w.find(name(f));
    ASSERT_GE(index, 0) << f;
    EXPECT_EQ(w.entryDate(index), ArchiveWriter::fileDate(f));
  }
  update(w, {latin1, utf8});
  w.save();
  EXPECT_EQ(readFile(archive), bytes);
  EXPECT_EQ(statOf(archive).st_ino, before.st_ino);

  // A changed one is replaced under its own bytes, its twin kept.
  file("caf\xE9.txt", "Latin-1, second version", 1800000000);
  runOnce({latin1, utf8});
  const auto after = readWithPython(archive);
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after.at(name(latin1)).crc, crcOf("Latin-1, second version"));
  EXPECT_EQ(after.at(name(utf8)).crc, crcOf("UTF-8"));
}

// Many files compressed at once on other threads: each entry holds its own file, encrypted,
// in the order the files were added.
TEST_F(ArchiveWriterTest, ManyFilesKeepTheirOrderAndTheirBytes) {
  std::vector<std::string> files, contents;
  for (int i = 0; i < 120; ++i) {
    const std::size_t size = static_cast<std::size_t>(1 + (i * 7919) % (i % 10 == 0 ? 2500000 : 40000));
    contents.push_back(i % 3 == 0 ? randomBytes(size, static_cast<unsigned>(i)) : text(size) + std::to_string(i));
    files.push_back(file("lot/" + std::to_string((i * 37) % 120) + ".dat", contents.back()));
  }
  runOnce(files, "secret");
  std::vector<std::string> names;
  for (const auto& f : files) names.push_back(name(f));
  EXPECT_EQ(testsupport::namesInOrder(archive), names);
  const auto entries = readWithPython(archive, "secret");
  ASSERT_EQ(entries.size(), files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(entries.at(names[i]).crc, crcOf(contents[i])) << files[i];
    EXPECT_TRUE(entries.at(names[i]).encrypted);
  }
  EXPECT_EQ(unzipTest(archive, "secret"), 0);
}

TEST_F(ArchiveWriterTest, SaveReportsProgressOfTheArchiveAndOfEachFile) {
  const auto big = file("gros.txt", text(3 << 20));
  const auto small = file("petit.txt", "petit");
  ArchiveWriter w;
  std::map<std::string, std::vector<int>> items;
  std::vector<int> overall, saving;
  int pumps = 0;
  w.OnArchiveItemProgress = [&](const std::string& n, int p) { items[n].push_back(p); };
  w.OnArchiveProgress = [&](int p) { overall.push_back(p); };
  w.OnArchiveSaveProgress = [&](int p) { saving.push_back(p); };
  w.MessagePump = [&] { ++pumps; };
  w.open(archive);
  w.add(big);
  w.add(small);
  w.save();

  ASSERT_EQ(items.size(), 2u);
  for (const auto& [n, progress] : items) {
    SCOPED_TRACE(n);
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  }
  EXPECT_GT(items.at(name(big)).size(), 3u);  // intermediate steps for a large file
  ASSERT_FALSE(overall.empty());
  EXPECT_EQ(overall.back(), 100);
  EXPECT_EQ(saving, (std::vector<int>{0, 100}));
  EXPECT_GT(pumps, 5);
}

}  // namespace
