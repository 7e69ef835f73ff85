#pragma once
// The windows over a real pyftpdlib server on 127.0.0.1, with the account filled in the
// configuration window, day folders on under "sauvegarde" and a Wednesday on the clock.
#include <QPlainTextEdit>

#include <memory>
#include <string>
#include <vector>

#include "fmmain_fixture.h"
#include "support/server_process.h"
#include "support/temp_dir.h"

class UploadTest : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    buildWindows();
    Ui::Form1* f = config->ui;
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

  // Bytes that differ from one position and one seed to the next.
  static std::string pattern(std::size_t size, unsigned seed = 1) {
    std::string data(size, '\0');
    unsigned x = seed * 2654435761u + 7;
    for (char& c : data) {
      x = x * 1103515245u + 12345u;
      c = static_cast<char>(x >> 16);
    }
    return data;
  }
  std::string writeArchive(std::size_t size, unsigned seed = 1) {
    std::string data = pattern(size, seed);
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

  QStringList memoLines() const { return main->ui->Memo1->toPlainText().split('\n'); }
  // A dated line: the stamp, " : " and the message.
  QString line(const QString& message) const { return stamp() + " : " + message; }
  int count(const QString& message) const { return static_cast<int>(memoLines().count(line(message))); }
  bool retryArmed() const { return main->Timer4->isActive() && main->Timer5->isActive(); }

  testsupport::TempDir ftpRoot;
  std::unique_ptr<testsupport::ServerProcess> server;
  std::vector<int> waits;
};
