// While a client waits on a slow server, the installed pump keeps running,
// so a window's timers fire during the transfer.
#include "net/ftp_client.h"
#include "net/http_client.h"
#include "net/smtp_client.h"
#include "net_test_support.h"
#include "support/random_bytes.h"

#include <QCoreApplication>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using testsupport::ServerProcess;
using testsupport::TempDir;

// A store that the server reads at 256 KiB/s: about two seconds of waiting.
void slowStore(const std::function<void()>& during) {
  TempDir root, work;
  ServerProcess server("ftp_server.py", {"--root", root.str(), "--read-limit", "262144"});
  testsupport::writeFile(work / "a.zip", testsupport::randomBytes(512 * 1024, 1));
  net::FtpClient ftp;
  nettest::useTestAccount(ftp, server);
  ftp.connect();
  during();
  ftp.store((work / "a.zip").string(), "/a.zip");
  EXPECT_EQ(ftp.size("/a.zip"), 512 * 1024);
}

TEST(IdlePump, RunsDuringASlowStore) {
  int before = 0;
  nettest::PumpCounter pump;
  slowStore([&] { before = pump.count(); });
  EXPECT_GT(pump.count() - before, 5);
}

TEST(IdlePump, WindowTimersFireDuringASlowStore) {
  net::ScopedIdlePump pump([] { QCoreApplication::processEvents(); });
  int ticks = 0;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  slowStore([&] {
    ticks = 0;
    timer.start(20);
  });
  timer.stop();
  EXPECT_GT(ticks, 3);
}

// A client connected to a server that takes a second to accept each mail.
struct SlowSmtp {
  ServerProcess server{"smtp_server.py", {"--delay", "1"}};
  net::SmtpClient smtp;
  net::MailMessage mail;
  SlowSmtp() {
    smtp.host = "127.0.0.1";
    smtp.port = server.port();
    mail.from = "palvren@example.org";
    mail.to = {"admin@example.org"};
    mail.subject = "Rapport de sauvegarde";
    mail.body = {"ligne"};
    smtp.connect(300);
  }
};

TEST(IdlePump, RunsWhileASlowSmtpServerThinks) {
  SlowSmtp slow;
  nettest::PumpCounter pump;
  slow.smtp.send(slow.mail);
  EXPECT_GT(pump.count(), 5);
}

TEST(IdlePump, RunsDuringASlowDownload) {
  TempDir root;
  testsupport::writeFile(root / "rv" / "PalvrenFtp.zip", testsupport::randomBytes(256 * 1024, 1));
  ServerProcess server("http_server.py", {"--root", root.str(), "--chunk-delay", "30"});
  net::HttpClient http;
  std::size_t got = 0;
  nettest::PumpCounter pump;
  http.get("http://127.0.0.1:" + std::to_string(server.port()) + "/rv/PalvrenFtp.zip",
           [&](const char*, std::size_t size) { got += size; });
  EXPECT_EQ(got, 256u * 1024);
  EXPECT_GT(pump.count(), 5);
}

// What the pump raises (a window handler's error) leaves the call and the
// client can be used again.
TEST(IdlePump, ErrorOfThePumpLeavesTheCall) {
  TempDir root;
  testsupport::writeFile(root / "page.html", testsupport::randomBytes(64 * 1024, 1));
  ServerProcess server("http_server.py", {"--root", root.str(), "--chunk-delay", "30"});
  std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/page.html";
  net::HttpClient http;
  {
    net::ScopedIdlePump pump([] { throw std::runtime_error("fenêtre"); });
    EXPECT_THROW(http.get(url, [](const char*, std::size_t) {}), std::runtime_error);
  }
  std::size_t got = 0;
  http.get(url, [&](const char*, std::size_t size) { got += size; });
  EXPECT_EQ(got, 64u * 1024);

  SlowSmtp slow;
  net::ScopedIdlePump pump([] { throw std::runtime_error("fenêtre"); });
  EXPECT_THROW(slow.smtp.send(slow.mail), std::runtime_error);
}

}  // namespace
