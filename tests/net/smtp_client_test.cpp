// The SMTP client against aiosmtpd: what the server receives, and which
// step fails for each kind of trouble.
#include "net/smtp_client.h"
#include "net_test_support.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

using testsupport::ServerProcess;

struct Received {
  std::string from;
  std::vector<std::string> rcpts;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string raw;

  std::string header(const std::string& name) const {
    for (const auto& h : headers)
      if (h.first == name) return h.second;
    return "<none>";
  }
};

// The next mail the server accepted, as Python's email package read it.
Received nextMail(ServerProcess& server) {
  Received r;
  std::string line;
  while (!(line = server.readLine(5000)).empty() && line.rfind("MAIL ", 0) != 0) {
  }
  if (line.empty()) {
    ADD_FAILURE() << "no mail received";
    return r;
  }
  auto o = QJsonDocument::fromJson(QByteArray::fromStdString(line.substr(5))).object();
  r.from = o["from"].toString().toStdString();
  for (const auto& v : o["rcpts"].toArray()) r.rcpts.push_back(v.toString().toStdString());
  for (const auto& v : o["headers"].toArray())
    r.headers.emplace_back(v.toArray()[0].toString().toStdString(), v.toArray()[1].toString().toStdString());
  r.body = o["body"].toString().toStdString();
  for (auto i = r.body.find("\r\n"); i != std::string::npos; i = r.body.find("\r\n", i)) r.body.erase(i, 1);
  r.raw = o["raw"].toString().toStdString();
  return r;
}

net::MailMessage report() {
  net::MailMessage m;
  m.from = "palvren@example.org";
  m.subject = "Rapport de sauvegarde (Attention voir Erreur)";
  m.body = {"10/12/2026 10:00:00 : Démarrage de la sauvegarde", ".", " ", "Cordialement"};
  return m;
}

net::SmtpClient clientFor(const ServerProcess& server) {
  net::SmtpClient smtp;
  smtp.host = "127.0.0.1";
  smtp.port = server.port();
  return smtp;
}

TEST(Smtp, MailArrivesWithItsHeadersAndBody) {
  ServerProcess server("smtp_server.py");
  auto smtp = clientFor(server);
  auto m = report();
  m.subject = "Rapport de sauvegarde élève — été";
  m.to = {"admin@example.org"};
  smtp.connect(300);
  smtp.send(m);
  smtp.disconnect();
  Received r = nextMail(server);
  EXPECT_EQ(r.from, "palvren@example.org");
  EXPECT_EQ(r.rcpts, std::vector<std::string>{"admin@example.org"});
  EXPECT_EQ(r.header("From"), "palvren@example.org");
  EXPECT_EQ(r.header("To"), "admin@example.org");
  EXPECT_EQ(r.header("Subject"), m.subject);
  EXPECT_NE(r.header("Date"), "<none>");
  EXPECT_EQ(r.header("Content-Type"), "text/plain; charset=\"UTF-8\"");
  EXPECT_EQ(r.header("Bcc"), "<none>");
  EXPECT_EQ(r.body, "10/12/2026 10:00:00 : Démarrage de la sauvegarde\n.\n \nCordialement\n");
  // Every line of what went over the wire ends with CRLF.
  for (std::size_t i = r.raw.find('\n'); i != std::string::npos; i = r.raw.find('\n', i + 1))
    ASSERT_TRUE(i > 0 && r.raw[i - 1] == '\r') << "bare LF at " << i;
}

TEST(Smtp, BccRecipientsStayOutOfTheHeaders) {
  ServerProcess server("smtp_server.py");
  auto smtp = clientFor(server);
  auto m = report();
  // As cut from "a@example.org; b@example.org;;": blanks and empty pieces
  // are no addresses for the server.
  m.bcc = {"a@example.org", " b@example.org", ""};
  smtp.connect(300);
  smtp.send(m);
  Received r = nextMail(server);
  EXPECT_EQ(r.rcpts, (std::vector<std::string>{"a@example.org", "b@example.org"}));
  EXPECT_EQ(r.header("To"), "<none>");
  EXPECT_EQ(r.header("Bcc"), "<none>");
  EXPECT_FALSE(nettest::holdsAddress(r.raw, "a@example.org"));
  EXPECT_FALSE(nettest::holdsAddress(r.raw, "b@example.org"));
}

// The AUTH lines the server logged before the mail arrived; the mail must arrive.
std::vector<std::string> authsBeforeMail(ServerProcess& server) {
  std::vector<std::string> auths;
  std::string line;
  bool mail = false;
  while (!mail && !(line = server.readLine(5000)).empty()) {
    if (line.rfind("AUTH ", 0) == 0) auths.push_back(line);
    mail = line.rfind("MAIL ", 0) == 0;
  }
  EXPECT_TRUE(mail);
  return auths;
}

TEST(Smtp, LoginOnlyWhenAsked) {
  ServerProcess server("smtp_server.py", {"--user", "alice", "--password", "pw"});
  for (bool login : {true, false}) {
    SCOPED_TRACE(login ? "login" : "no login");
    auto smtp = clientFor(server);
    if (login) {
      smtp.auth = net::SmtpAuth::Login;
      smtp.username = "alice";
      smtp.password = "pw";
    }
    auto m = report();
    m.to = {"admin@example.org"};
    smtp.connect(300);
    smtp.send(m);
    // One connection, one login.
    const std::vector<std::string> auths = authsBeforeMail(server);
    std::vector<std::string> expected;
    if (login) expected = {"AUTH LOGIN alice"};
    EXPECT_EQ(auths, expected);
  }
}

// A server that cannot be reached fails the connect step; one that stays silent, hangs up
// or refuses the login fails the session; one that refuses the mail fails the send.
TEST(Smtp, FailuresFallOnTheRightStep) {
  ServerProcess silent("ftp_proxy_server.py", {"--silent"});
  ServerProcess hangUp("smtp_server.py", {"--hang-up"});
  ServerProcess auth("smtp_server.py", {"--user", "alice", "--password", "pw", "--auth-required"});
  ServerProcess picky("smtp_server.py", {"--refuse", "nobody@example.org"});
  enum Step { Connect, Session, Send };
  struct Case {
    const char* name;
    int port;
    bool login;
    std::vector<std::string> to;
    Step fails;
    std::string sendMessage;  // part of the send error
  };
  for (const Case& c : std::vector<Case>{
           {"absent", nettest::closedPort(), false, {"a@example.org"}, Connect, ""},
           {"no greeting", silent.port(), false, {"a@example.org"}, Session, ""},
           {"hangs up", hangUp.port(), false, {"a@example.org"}, Session, ""},
           {"wrong password", auth.port(), true, {"a@example.org"}, Session, ""},
           {"login required", auth.port(), false, {"a@example.org"}, Send, "530"},
           {"refused recipient", picky.port(), false, {"nobody@example.org"}, Send, "Destinataire inconnu"},
           {"only blank recipients", picky.port(), false, {" ", ""}, Send, "Aucun destinataire"},
       }) {
    SCOPED_TRACE(c.name);
    net::SmtpClient smtp;
    smtp.host = "127.0.0.1";
    smtp.port = c.port;
    smtp.readTimeoutMs = 1000;
    if (c.login) {
      smtp.auth = net::SmtpAuth::Login;
      smtp.username = "alice";
      smtp.password = "wrong";
    }
    if (c.fails == Connect) {
      EXPECT_THROW(smtp.connect(300), net::EIdException);
      EXPECT_FALSE(smtp.connected());
      continue;
    }
    ASSERT_NO_THROW(smtp.connect(300));
    auto m = report();
    m.to = c.to;
    try {
      smtp.send(m);
      ADD_FAILURE() << "sent";
    } catch (const net::ESmtpSessionError& e) {
      EXPECT_EQ(c.fails, Session) << e.message();
    } catch (const net::EIdException& e) {
      EXPECT_EQ(c.fails, Send) << e.message();
      bool byCode = c.sendMessage == "530";
      EXPECT_TRUE(byCode ? e.replyCode() == 530 : e.message().find(c.sendMessage) != std::string::npos) << e.message();
    }
  }
}

// The time-out of connect() is the TCP connection's: a server that greets later than that
// still gets the mail, over one connection with one login.
TEST(Smtp, ASlowGreetingWaitsLikeAnyReply) {
  ServerProcess server("smtp_server.py", {"--user", "alice", "--password", "pw", "--greeting-delay", "0.6"});
  auto smtp = clientFor(server);
  smtp.auth = net::SmtpAuth::Login;
  smtp.username = "alice";
  smtp.password = "pw";
  auto m = report();
  m.to = {"admin@example.org"};
  smtp.connect(300);
  smtp.send(m);
  const std::vector<std::string> auths = authsBeforeMail(server);
  EXPECT_EQ(auths, std::vector<std::string>{"AUTH LOGIN alice"});
}

TEST(Smtp, SendWithoutConnectRaises) {
  net::SmtpClient smtp;
  EXPECT_THROW(smtp.send(report()), net::EIdException);
}

}  // namespace
