#include <QPushButton>

#include "support/random_bytes.h"
#include "upload_fixture.h"

using namespace backup;

namespace {

class Resume : public UploadTest {
 protected:
  // A failed first attempt: nothing listens on the port any more, the retry is armed.
  void failFirstAttempt() {
    server.reset();
    main->Button1Click();
    ASSERT_EQ(main->RetryCount, 1);
    ASSERT_TRUE(retryArmed());
  }
  void serverHolds(const std::string& content) {
    std::filesystem::create_directories(remoteFile().parent_path());
    testsupport::writeFile(remoteFile(), content);
  }
  const QString remoteName = "/sauvegarde/mercredi/palvrenftp.zip";
};

TEST_F(Resume, WhatTheServerHoldsDecidesBetweenAppendAndStore) {
  struct Case {
    const char* name;
    bool ours;           // this run's transfer had begun to write that file
    int serverBytes;     // -1: no file
    bool marked;         // the server's bytes differ from the archive's first bytes
    const char* result;  // "tail": marked bytes + the archive's tail; "whole"; "untouched"
  };
  const Case cases[] = {
      // The marked prefix survives only when the tail alone was appended.
      {"own partial upload", true, 1000, true, "tail"},
      {"no file at all", true, -1, false, "whole"},
      {"own upload complete", true, 5000, true, "untouched"},
      {"server holds more", true, 6000, true, "whole"},
      // Last week's archive or an older run's: appending would build a damaged file.
      {"foreign file of the same size", false, 5000, true, "whole"},
  };
  startMailServer();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(ftpRoot / "sauvegarde");
    const std::string archive = writeArchive(5000, 3);
    std::string held;
    if (c.serverBytes >= 0) {
      held = c.marked ? testsupport::randomBytes(static_cast<std::size_t>(c.serverBytes), 9)
                      : archive.substr(0, c.serverBytes);
      serverHolds(held);
    }
    main->RetryCount = 1;
    main->StartedRemoteName = c.ours ? remoteName : QString();
    main->Timer5->start();
    main->Button2Click();
    waits.clear();
    main->Timer4Timer();

    const std::string result = c.result;
    if (result == "tail") EXPECT_EQ(remoteContent(), held + archive.substr(held.size()));
    else if (result == "whole") EXPECT_EQ(remoteContent(), archive);
    else EXPECT_EQ(remoteContent(), held);
    const QString sizes = QString("Transfert de %1 sur 5000 Octets (/sauvegarde/mercredi)")
                              .arg(result == "tail" || result == "whole" ? 5000 : c.serverBytes);
    EXPECT_EQ(count(sizes), 1);
    EXPECT_EQ(count("Sauvegarde terminée"), 1);
    EXPECT_EQ(count("Reprise du transfert après incident"), 1);
    // A complete file is not asked for again and costs no pause.
    EXPECT_EQ(waits.size(), result == "untouched" ? 0u : 1u);
    EXPECT_FALSE(std::filesystem::exists(slicePath()));
    EXPECT_EQ(main->RetryCount, 1);
    EXPECT_FALSE(retryArmed());
    EXPECT_TRUE(main->ui->bnStart->isEnabled());
    EXPECT_TRUE(main->Timer1->isActive());
    EXPECT_TRUE(main->ui->Button2->isEnabled());
    EXPECT_EQ(main->ui->Button2->text(), "Effacer");
    EXPECT_EQ(main->ui->derniere_sauv->text(), "5000");
    const auto mails = receivedMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].subject, "Rapport de sauvegarde");
  }
}

TEST_F(Resume, CutDataConnectionThenResumeGivesTheSameFile) {
  // Cut at several points of a 1 MiB archive; the server then works again.
  for (const char* cutAt : {"1", "300000", "1048000"}) {
    SCOPED_TRACE(cutAt);
    std::filesystem::remove_all(ftpRoot / "sauvegarde");
    main->RetryCount = 0;
    main->Button2Click();
    const std::string archive = writeArchive(1 << 20, 4);
    startServer({"--drop-after", cutAt});
    main->Button1Click();
    ASSERT_EQ(main->RetryCount, 1);
    ASSERT_TRUE(retryArmed());
    const std::string partial = remoteContent();
    ASSERT_LE(partial.size(), archive.size());
    EXPECT_EQ(partial, archive.substr(0, partial.size()));

    startServer();
    main->Timer4Timer();
    EXPECT_EQ(remoteContent(), archive);
    EXPECT_EQ(count("Transfert de 1048576 sur 1048576 Octets (/sauvegarde/mercredi)"), 1);
    EXPECT_FALSE(std::filesystem::exists(slicePath()));
    EXPECT_FALSE(retryArmed());
    EXPECT_EQ(main->RetryCount, 1);
  }
}

TEST_F(Resume, AfterMidnightTheNewDayFolderGetsTheWholeArchive) {
  // An older archive waits in the next day's folder; appending to it would match the size.
  const std::string lastWeek = testsupport::randomBytes(1 << 20, 8);
  std::filesystem::create_directories(remoteFile("jeudi").parent_path());
  testsupport::writeFile(remoteFile("jeudi"), lastWeek.substr(0, 300000));
  const std::string archive = writeArchive(1 << 20, 4);
  clock.set(QDateTime(QDate(2026, 12, 9), QTime(23, 59, 0)));
  startServer({"--drop-after", "300000"});
  main->Button1Click();
  ASSERT_TRUE(retryArmed());
  ASSERT_GT(remoteContent("mercredi").size(), 0u);

  clock.set(QDateTime(QDate(2026, 12, 10), QTime(0, 2, 0)));
  startServer();
  main->Timer4Timer();
  EXPECT_EQ(remoteContent("jeudi"), archive);
  EXPECT_EQ(count("Transfert de 1048576 sur 1048576 Octets (/sauvegarde/jeudi)"), 1);
}

TEST_F(Resume, FourFailedConnectsEndWithTheFinalWarning) {
  startMailServer();
  writeArchive(5000);
  failFirstAttempt();
  EXPECT_TRUE(receivedMails().empty());
  for (int resume = 1; resume <= 3; ++resume) {
    SCOPED_TRACE(resume);
    main->Timer4Timer();
    // One report, after the last resume.
    const auto mails = receivedMails();
    ASSERT_EQ(mails.size(), resume == 3 ? 1u : 0u);
    if (resume == 3) {
      EXPECT_EQ(mails[0].subject, "Rapport de sauvegarde (Attention voir Erreur)");
      EXPECT_TRUE(mails[0].body.contains(line("+++++ Attention le transfert n'est pas effectué.")));
    }
    EXPECT_EQ(main->RetryCount, resume + 1);
    EXPECT_EQ(retryArmed(), resume < 3);
    EXPECT_EQ(main->ui->bnStart->isEnabled(), resume == 3);
    EXPECT_EQ(main->Timer1->isActive(), resume == 3);
  }
  EXPECT_EQ(count("Reprise dans 3 minutes"), 3);
  EXPECT_EQ(count("Reprise du transfert après incident"), 3);
  const QStringList lines = memoLines();
  const QString error = lines[lines.indexOf(line("Reprise dans 3 minutes")) - 1];
  EXPECT_EQ(lines.count(error), 4) << error.toStdString();
  EXPECT_EQ(memoLines().last(), line("+++++ Attention le transfert n'est pas effectué."));
  EXPECT_FALSE(main->isBusy());
  EXPECT_EQ(remoteContent(), "<none>");
}

TEST_F(Resume, WaitingShowsTheTimeAndHoldsEverythingOff) {
  writeArchive(5000);
  failFirstAttempt();
  EXPECT_FALSE(main->ui->bnStart->isEnabled());
  EXPECT_FALSE(main->Timer1->isActive());
  struct Tick {
    int seconds;
    const char* shown;
  };
  for (const Tick t : {Tick{0, "00:00:00"}, Tick{75, "00:01:15"}, Tick{104, "00:02:59"}}) {
    clock.advanceSeconds(t.seconds);
    main->ui->bnStart->setEnabled(true);
    main->Timer1->start();
    main->Timer5Timer();
    EXPECT_EQ(main->ui->Button2->text(), t.shown);
    EXPECT_FALSE(main->ui->Button2->isEnabled());
    EXPECT_FALSE(main->ui->bnStart->isEnabled());
    EXPECT_FALSE(main->Timer1->isActive());
  }
  startServer();
  main->Timer4Timer();
  EXPECT_EQ(main->ui->Button2->text(), "Effacer");
  EXPECT_TRUE(main->ui->Button2->isEnabled());
  EXPECT_TRUE(main->ui->bnStart->isEnabled());
  EXPECT_TRUE(main->Timer1->isActive());
  EXPECT_FALSE(main->isBusy());
}

TEST_F(Resume, ArchiveGoneEndsTheChainQuietly) {
  writeArchive(5000);
  failFirstAttempt();
  std::filesystem::remove(archivePath());
  main->Button2Click();
  main->Timer4Timer();
  EXPECT_EQ(memoLines(), QStringList{line("Reprise du transfert après incident")});
  EXPECT_EQ(main->RetryCount, 1);
  EXPECT_FALSE(retryArmed());
  EXPECT_TRUE(main->ui->bnStart->isEnabled());
  EXPECT_EQ(main->ui->derniere_sauv->text(), "0");
}

TEST_F(Resume, SliceThatCannotBeMadeArmsTheNextRetry) {
  const std::string archive = writeArchive(5000);
  serverHolds(archive.substr(0, 1000));
  std::filesystem::create_directories(slicePath());  // a folder in the slice's place
  main->RetryCount = 1;
  main->StartedRemoteName = remoteName;
  main->Button2Click();
  main->Timer4Timer();
  EXPECT_EQ(main->RetryCount, 2);
  EXPECT_TRUE(retryArmed());
  EXPECT_EQ(count("Reprise dans 3 minutes"), 1);
  EXPECT_EQ(remoteContent(), archive.substr(0, 1000));
  EXPECT_TRUE(std::filesystem::is_directory(slicePath()));
  EXPECT_FALSE(main->ui->bnStart->isEnabled());
}

}  // namespace
