#pragma once
// The windows over a real pyftpdlib server on 127.0.0.1, with the account filled in the
// configuration window, day folders on under "sauvegarde" and a Wednesday on the clock.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>

#include <memory>
#include <string>
#include <vector>

#include "fmmain_fixture.h"
#include "support/random_bytes.h"
#include "support/server_process.h"
#include "support/temp_dir.h"

class UploadTest : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    buildWindows();
    Ui::Form1* f = config->ui.get();
    f->hote_vesk->setText("127.0.0.1");
    f->utilisateur_vesk->setText("user");
    f->passe_vesk->setText("secret");
    f->passive_ftp->setChecked(true);
    f->rep_principal->setText("sauvegarde");
    f->rep_auto->setChecked(true);
    f->recevoir_mail->setChecked(false);
    main->plainWait = [this](int ms) { waits.push_back(ms); };
    startServer();
  }
  void TearDown() override {
    server.reset();
    smtp.reset();
    WindowsTest::TearDown();
  }

  // (Re)starts the server on the same root; the port goes into the configuration window.
  void startServer(const std::vector<std::string>& extra = {}) {
    server.reset();
    std::vector<std::string> args{"--root", ftpRoot.str()};
    args.insert(args.end(), extra.begin(), extra.end());
    server = std::make_unique<testsupport::ServerProcess>("ftp_server.py", args);
    config->ui->Port_ftp->setText(QString::number(server->port()));
  }

  // Reports go to a real SMTP server on 127.0.0.1.
  void startMailServer() {
    smtp = std::make_unique<testsupport::ServerProcess>("smtp_server.py");
    Ui::Form1* f = config->ui.get();
    f->Smtp_tov->setText("127.0.0.1");
    f->Port_tov->setText(QString::number(smtp->port()));
    f->Email_v->setText("palvren@palvren.test");
    f->Email_D->setText("admin@example.org");
    f->Sujet_tov->setText("Rapport de sauvegarde");
    f->recevoir_mail->setChecked(true);
  }
  struct Mail {
    QString subject;
    QString body;
  };
  // The mails the server took since the last call. A mail is taken before its sending returns,
  // so a short quiet time is enough to tell that none came.
  std::vector<Mail> receivedMails(int quietMs = 300) {
    std::vector<Mail> mails;
    for (std::string l; !(l = smtp->readLine(quietMs)).empty();) {
      if (l.rfind("MAIL ", 0) != 0) continue;
      const QJsonObject mail = QJsonDocument::fromJson(QByteArray::fromStdString(l.substr(5))).object();
      Mail m;
      for (const auto& h : mail["headers"].toArray())
        if (h.toArray()[0].toString() == "Subject") m.subject = h.toArray()[1].toString();
      m.body = mail["body"].toString().remove('\r');
      mails.push_back(m);
    }
    return mails;
  }

  std::string writeArchive(std::size_t size, unsigned seed = 1) {
    std::string data = testsupport::randomBytes(size, seed);
    testsupport::writeFile(archivePath(), data);
    return data;
  }
  std::filesystem::path archivePath() const { return dir / "palvrenftp.zip"; }
  std::filesystem::path slicePath() const { return dir / "palvrenftp2.zip"; }
  std::filesystem::path remoteFile(const std::string& day = "mercredi") const {
    return ftpRoot.path() / "sauvegarde" / day / "palvrenftp.zip";
  }
  std::string remoteContent(const std::string& day = "mercredi") const {
    return std::filesystem::exists(remoteFile(day)) ? testsupport::readFile(remoteFile(day)) : std::string("<none>");
  }

  QStringList memoLines() const { return main->ui->Memo1->text().split('\n'); }
  // A dated line: the stamp, " : " and the message.
  QString line(const QString& message) const { return stamp() + " : " + message; }
  int count(const QString& message) const { return static_cast<int>(memoLines().count(line(message))); }
  bool retryArmed() const { return main->Timer4->isActive() && main->Timer5->isActive(); }

  testsupport::TempDir ftpRoot;
  std::unique_ptr<testsupport::ServerProcess> server;
  std::unique_ptr<testsupport::ServerProcess> smtp;
  std::vector<int> waits;
};
