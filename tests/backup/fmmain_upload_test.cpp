#include <QLabel>
#include <QListWidget>
#include <QProgressBar>

#include "backup/ftp_setup.h"
#include "backup/remote_folder.h"
#include "net/ftp_client.h"
#include "net/idle_pump.h"
#include "platform/core/exceptions.h"
#include "platform/core/format_settings.h"
#include "support/python_zip.h"
#include "support/random_bytes.h"
#include "upload_fixture.h"

using namespace backup;

namespace {

using Upload = UploadTest;

TEST(RemoteFolder, MainFolderAndDay) {
  struct Case {
    const char* main;
    bool days;
    QDate date;
    const char* folder;
  };
  const Case cases[] = {
      {"sauvegarde", true, QDate(2026, 12, 9), "/sauvegarde/mercredi"},
      {"/sauvegarde", true, QDate(2026, 12, 7), "/sauvegarde/lundi"},
      {"sauvegarde", true, QDate(2026, 12, 13), "/sauvegarde/dimanche"},
      {"a/b", false, QDate(2026, 12, 9), "/a/b"},
      {"", false, QDate(2026, 12, 9), ""},
      {"/", false, QDate(2026, 12, 9), ""},
      {"/", true, QDate(2026, 12, 12), "/samedi"},
      {"", true, QDate(2026, 12, 10), "/jeudi"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.main) + (c.days ? " days " : " ") + c.date.toString().toStdString());
    const QString folder = RemoteFolder(c.main, c.days, c.date);
    EXPECT_EQ(folder, c.folder);
    EXPECT_EQ(RemoteName(folder), QString(c.folder) + "/palvrenftp.zip");
  }
}

TEST_F(Upload, ClientSettingsFromTheConfigurationWindow) {
  Ui::Form1* f = config->ui.get();
  f->Port_ftp->setText("2121");
  f->hote_proxy->setText("proxy.local");
  f->utilisateur_proxy->setText("pu");
  f->passe_proxy->setText("pp");
  f->passive_ftp->setChecked(false);
  struct Case {
    const char* proxyPort;
    int proxyIndex;
    int port;
    net::FtpProxyType type;
  };
  // An empty proxy port is the FTP port, not port 0.
  const Case cases[] = {{"", 1, 21, net::fpcmUserSite},
                        {"8021", 3, 8021, net::fpcmOpen},
                        {"", -1, 21, net::fpcmNone},
                        {"21", 5, 21, net::fpcmTransparent}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.proxyIndex);
    f->port_proxy->setText(c.proxyPort);
    config->setType_proxyItemIndex(c.proxyIndex);
    net::FtpClient client;
    SetUpFtpClient(client, *config);
    EXPECT_EQ(client.host, "127.0.0.1");
    EXPECT_EQ(client.username, "user");
    EXPECT_EQ(client.password, "secret");
    EXPECT_EQ(client.port, 2121);
    EXPECT_EQ(client.proxy.host, "proxy.local");
    EXPECT_EQ(client.proxy.username, "pu");
    EXPECT_EQ(client.proxy.password, "pp");
    EXPECT_EQ(client.proxy.port, c.port);
    EXPECT_EQ(client.proxy.type, c.type);
    EXPECT_FALSE(client.passive);
  }
  for (const char* bad : {"", "21a"}) {
    f->Port_ftp->setText(bad);
    net::FtpClient client;
    EXPECT_THROW(SetUpFtpClient(client, *config), platform::EConvertError) << bad;
  }
}

TEST_F(Upload, StoresIntoTheWeekdayFolderCreatingEachLevel) {
  for (bool passive : {true, false}) {
    SCOPED_TRACE(passive ? "passive" : "active");
    std::filesystem::remove_all(ftpRoot / "sauvegarde");
    main->Button2Click();
    main->ui->derniere_sauv->clear();
    waits.clear();
    config->ui->passive_ftp->setChecked(passive);
    const std::string data = writeArchive(300000, passive ? 1 : 2);
    main->Button1Click();

    EXPECT_EQ(remoteContent(), data);
    const QStringList lines = memoLines();
    const qsizetype first = lines.indexOf(line("Création du répertoire /sauvegarde/"));
    const qsizetype second = lines.indexOf(line("Création du répertoire /sauvegarde/mercredi/"));
    ASSERT_GE(first, 0);
    EXPECT_GT(second, first);
    EXPECT_EQ(lines.first(), line("Derniére sauvegarde =  Octets "));
    EXPECT_EQ(lines[1], line("Sauvegarde actuelle = 300000 Octets "));
    EXPECT_EQ(count("Transfert de 300000 sur 300000 Octets (/sauvegarde/mercredi)"), 1);
    EXPECT_EQ(lines.last(), line("Sauvegarde terminée"));
    EXPECT_EQ(count("+++++ Attention votre sauvegarde n'est pas compléte"), 0);
    EXPECT_EQ(main->ui->derniere_sauv->text(), "300000");
    EXPECT_NE(testsupport::readFile(iniPath()).find("derniere_sauv=300000"), std::string::npos);
    EXPECT_EQ(waits, std::vector<int>{10000});
    EXPECT_TRUE(main->SubjectSuffix.isEmpty());
    EXPECT_EQ(main->RetryCount, 0);
    EXPECT_FALSE(retryArmed());
    EXPECT_TRUE(main->ui->bnStart->isEnabled());
    EXPECT_TRUE(main->Timer1->isActive());
    EXPECT_FALSE(main->ui->Label1->isVisibleTo(main.get()));
    EXPECT_EQ(main->ui->ProgressBar1->value(), 0);
  }
}

TEST_F(Upload, FullRunSendsItsArchiveAndReports) {
  startMailServer();
  const std::filesystem::path data = dir / "donnees";
  testsupport::writeFile(data / "lettre.txt", std::string(200000, 'a'));
  testsupport::writeFile(data / "sous" / "photo.jpg", testsupport::randomBytes(300000, 5));
  config->ui->Repertoires_sauv->addItem(QString::fromStdString(data.string()) + "|*.*|oui");
  main->requestStart();

  const auto entries = testsupport::readWithPython(archivePath().string());
  EXPECT_EQ(entries.size(), 2u);
  const std::string local = testsupport::readFile(archivePath());
  EXPECT_EQ(remoteContent(), local);
  const QString size = QString::number(local.size());
  EXPECT_EQ(count("Création du répertoire /sauvegarde/mercredi/"), 1);
  EXPECT_EQ(count("Transfert de " + size + " sur " + size + " Octets (/sauvegarde/mercredi)"), 1);
  const auto mails = receivedMails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_EQ(mails[0].subject, "Rapport de sauvegarde");
  EXPECT_TRUE(mails[0].body.contains(line("Démarrage de la sauvegarde")));
  EXPECT_TRUE(mails[0].body.contains(line("Sauvegarde terminée")));
  EXPECT_TRUE(main->ui->bnStart->isEnabled());
  EXPECT_FALSE(main->isBusy());
}

// The pause before the closing disconnect lasts ten seconds on the clock while the window
// goes on handling its events; a start request made then is ignored.
TEST_F(Upload, ThePauseBeforeTheDisconnectKeepsTheWindowAliveAndTheRunBusy) {
  main->plainWait = nullptr;
  const std::filesystem::path data = dir / "donnees";
  testsupport::writeFile(data / "lettre.txt", std::string(2000, 'a'));
  config->ui->Repertoires_sauv->addItem(QString::fromStdString(data.string()) + "|*.*|oui");
  int starts = 0, pumps = 0;
  QObject::connect(main.get(), &TfmMain::runStarting, [&] { ++starts; });
  // Time moves only while the window's events are handled.
  net::ScopedIdlePump pump([&] {
    QCoreApplication::processEvents();
    ++pumps;
    clock.advanceSeconds(1);
    main->requestStart();
  });
  main->requestStart();
  EXPECT_EQ(starts, 1);
  const QStringList lines = main->ui->Memo1->text().split('\n');
  const auto indexOf = [&](const QString& text) {
    for (qsizetype i = 0; i < lines.size(); ++i)
      if (lines[i].endsWith(" : " + text)) return i;
    return qsizetype(-1);
  };
  const qsizetype sent = indexOf("Transfert terminé."), closing = indexOf("Déconnexion.");
  ASSERT_GE(sent, 0);
  ASSERT_EQ(closing, sent + 1) << lines.join('\n').toStdString();
  const auto stampOf = [](const QString& l) {
    const auto& f = platform::formatSettings();
    return QDateTime::fromString(l.section(" : ", 0, 0), f.shortDateFormat + ' ' + f.longTimeFormat);
  };
  // Time moved only in the window's event handling: the pause handled them all along.
  EXPECT_GE(stampOf(lines[sent]).secsTo(stampOf(lines[closing])), 10) << lines.join('\n').toStdString();
  EXPECT_GE(pumps, 10);
  EXPECT_FALSE(main->isBusy());
}

TEST_F(Upload, SameArchiveAgainWarnsAndIsStillSent) {
  writeArchive(5000, 1);
  main->Button1Click();
  // Same size, other bytes: the server must end with the new ones.
  const std::string second = writeArchive(5000, 2);
  main->Button2Click();
  main->Button1Click();

  EXPECT_EQ(remoteContent(), second);
  const QStringList lines = memoLines();
  const QString sep = "-----------------------";
  const QStringList expected{line("Derniére sauvegarde = 5000 Octets "),
                             line("Sauvegarde actuelle = 5000 Octets "),
                             sep,
                             line("Attention votre sauvegarde semble être la même que la précédente."),
                             line("Si vous n'avez pas ajouté des données supplémentaires \" c'est normal ! \""),
                             sep};
  EXPECT_EQ(lines.mid(0, expected.size()), expected);
  EXPECT_FALSE(main->ui->Memo1->text().contains("Création du répertoire"));
  EXPECT_EQ(count("Transfert de 5000 sur 5000 Octets (/sauvegarde/mercredi)"), 1);
}

TEST_F(Upload, NoMainFolderAndNoDayFolderGoesToTheRoot) {
  config->ui->rep_principal->setText("/");
  config->ui->rep_auto->setChecked(false);
  const std::string data = writeArchive(1000);
  main->Button1Click();
  EXPECT_EQ(testsupport::readFile(ftpRoot / "palvrenftp.zip"), data);
  EXPECT_EQ(count("Transfert de 1000 sur 1000 Octets ()"), 1);
  EXPECT_FALSE(main->ui->Memo1->text().contains("Création du répertoire"));
}

TEST_F(Upload, MissingOrEmptyArchiveConnectsNowhere) {
  for (bool present : {false, true}) {
    SCOPED_TRACE(present);
    if (present) writeArchive(0);
    main->Button2Click();
    main->ui->derniere_sauv->setText("1234");
    main->ui->bnStart->setEnabled(false);
    main->Button1Click();
    EXPECT_EQ(memoLines(),
              QStringList({line("Derniére sauvegarde = 1234 Octets "), line("Sauvegarde actuelle = 0 Octets ")}));
    EXPECT_EQ(main->ui->derniere_sauv->text(), "0");
    EXPECT_NE(testsupport::readFile(iniPath()).find("derniere_sauv=0"), std::string::npos);
    EXPECT_TRUE(main->ui->bnStart->isEnabled());
    EXPECT_FALSE(retryArmed());
    EXPECT_EQ(main->RetryCount, 0);
  }
  EXPECT_FALSE(std::filesystem::exists(ftpRoot / "sauvegarde"));
}

TEST_F(Upload, FailuresArmTheRetryAndKeepTheStartOff) {
  struct Case {
    const char* name;
    std::vector<std::string> serverArgs;
    bool serverDown;
    bool folderBlocked;
  };
  const Case cases[] = {
      {"login refused", {"--refuse-login"}, false, false},
      {"nothing listens", {}, true, false},
      {"data connection cut", {"--drop-after", "100000"}, false, false},
      // A file where the main folder should be: CWD and MKD both fail.
      {"folder cannot be made", {}, false, true},
  };
  startMailServer();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(ftpRoot / "sauvegarde");
    if (c.folderBlocked) testsupport::writeFile(ftpRoot / "sauvegarde", "x");
    startServer(c.serverArgs);
    if (c.serverDown) server.reset();
    writeArchive(1 << 20);
    main->Button2Click();
    main->RetryCount = 0;
    main->Timer4->stop();
    main->Timer5->stop();
    waits.clear();
    main->Button1Click();

    EXPECT_EQ(main->RetryCount, 1);
    EXPECT_TRUE(retryArmed());
    EXPECT_EQ(main->RetryStartTime, clock.now());
    EXPECT_EQ(count("Reprise dans 3 minutes"), 1);
    // The error's own line comes just before.
    const QStringList lines = memoLines();
    const qsizetype retry = lines.indexOf(line("Reprise dans 3 minutes"));
    ASSERT_GT(retry, 0);
    EXPECT_TRUE(lines[retry - 1].startsWith(stamp() + " : ")) << lines[retry - 1].toStdString();
    EXPECT_FALSE(main->ui->Memo1->text().contains("Sauvegarde terminée"));
    EXPECT_TRUE(waits.empty());
    // The resume is pending: nothing may start a run before it.
    EXPECT_FALSE(main->ui->bnStart->isEnabled());
    EXPECT_FALSE(main->Timer1->isActive());
    EXPECT_TRUE(main->isBusy());
    // The resume decides on the report.
    EXPECT_TRUE(receivedMails().empty());
  }
}

TEST_F(Upload, ServerSizeDifferentFromTheArchiveWarns) {
  struct Case {
    const char* name;
    std::vector<std::string> serverArgs;
    const char* transferLine;
  };
  const Case cases[] = {
      // The server keeps an empty file.
      {"server keeps nothing", {"--discard"}, "Transfert de 0 sur 70000 Octets (/sauvegarde/mercredi)"},
      // The connection goes at the size query: size unknown, the run still ends normally.
      {"size query fails", {"--drop-on-size"}, "Transfert de -1 sur 70000 Octets (/sauvegarde/mercredi)"},
  };
  startMailServer();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    startServer(c.serverArgs);
    writeArchive(70000);
    main->Button2Click();
    main->SubjectSuffix.clear();
    main->Button1Click();
    const QString sep = "-----------------------";
    const QStringList lines = memoLines();
    const QStringList tail{line(c.transferLine), line("Sauvegarde terminée"), sep,
                           line("+++++ Attention votre sauvegarde n'est pas compléte"), sep};
    EXPECT_EQ(lines.mid(lines.size() - tail.size()), tail);
    // The report still goes, with the warning in its subject.
    const auto mails = receivedMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails[0].subject, "Rapport de sauvegarde (Attention voir Erreur)");
    EXPECT_EQ(main->RetryCount, 0);
    EXPECT_FALSE(retryArmed());
    EXPECT_TRUE(main->ui->bnStart->isEnabled());
  }
}

TEST_F(Upload, PortTextThatIsNoNumberStopsBeforeAnything) {
  config->ui->Port_ftp->setText("vingt-et-un");
  writeArchive(1000);
  main->ui->bnStart->setEnabled(false);
  main->Button1Click();
  EXPECT_EQ(memoLines(), QStringList{line("'vingt-et-un' n'est pas une valeur entière correcte")});
  EXPECT_TRUE(main->ui->bnStart->isEnabled());
  EXPECT_FALSE(retryArmed());
  EXPECT_EQ(main->ui->derniere_sauv->text(), "");
}

TEST_F(Upload, ProgressAndRate) {
  struct Case {
    qint64 archive;
    qint64 count;
    int seconds;
    int position;
    const char* label;
  };
  const qint64 gib = qint64(1) << 30;
  const Case cases[] = {
      {200, 1, 0, 0, ""},  // 0.5 rounds to the even 0
      {200, 3, 0, 2, ""},  // 1.5 rounds to the even 2
      {1000, 999, 1, 100, "Taux de transfert : 0,98 Ko/S "},
      {5 * gib, 4 * gib, 2048, 80, "Taux de transfert : 2048,00 Ko/S "},
      {3 * gib, 3 * gib, 3, 100, "Taux de transfert : 1048576,00 Ko/S "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    main->ArchiveSize = c.archive;
    main->IdFTP1WorkBegin(c.archive);
    EXPECT_TRUE(main->ui->Label1->isVisibleTo(main.get()));
    EXPECT_FALSE(main->ui->ProgressBar2->isVisibleTo(main.get()));
    clock.advanceSeconds(c.seconds);
    main->IdFTP1Work(c.count);
    EXPECT_EQ(main->ui->ProgressBar1->value(), c.position);
    EXPECT_EQ(main->ui->Label1->text(), c.label);
    main->IdFTP1WorkEnd();
    // The last rate reaches the log; a transfer under a second logs dashes.
    EXPECT_EQ(memoLines().last(), line(*c.label ? c.label : "-------------"));
    EXPECT_EQ(main->ui->ProgressBar1->value(), 0);
    EXPECT_FALSE(main->ui->Label1->isVisibleTo(main.get()));
    EXPECT_TRUE(main->ui->ProgressBar2->isVisibleTo(main.get()));
  }
}

TEST_F(Upload, ConnectionTest) {
  struct Case {
    const char* name;
    const char* host;
    const char* user;
    const char* port;   // nullptr: the server's
    const char* label;  // nullptr: any error message
    const char* handlerLine;
  };
  const char* configure = " Vous devez configurer (host, login) ou Mettre \"anonymous\" dans l'utilisateur .";
  const Case cases[] = {
      {"works", "127.0.0.1", "user", nullptr, "Connexion OK", nullptr},
      {"no host", "", "user", nullptr, configure, nullptr},
      {"no user", "127.0.0.1", "", nullptr, configure, nullptr},
      {"wrong password", "127.0.0.1", "nobody", nullptr, nullptr, nullptr},
      {"port text", "127.0.0.1", "user", "x21", "unchanged", "'x21' n'est pas une valeur entière correcte"},
  };
  const QString port = config->ui->Port_ftp->text();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    config->ui->hote_vesk->setText(c.host);
    config->ui->utilisateur_vesk->setText(c.user);
    config->ui->Port_ftp->setText(c.port ? c.port : port);
    config->ui->Label23->setText("unchanged");
    main->Button2Click();
    main->Button7Click();
    const QString label = config->ui->Label23->text();
    if (c.label) EXPECT_EQ(label, c.label);
    else EXPECT_FALSE(label.isEmpty() || label == "unchanged" || label == "Connexion OK") << label.toStdString();
    QStringList expected{line("Essai de connexion")};
    if (c.handlerLine) expected << line(c.handlerLine);
    EXPECT_EQ(memoLines(), expected);
  }
}

}  // namespace
