// The e-mail report against aiosmtpd on 127.0.0.1: what the server receives, which
// recipients and which login it sees, and what the log shows when the mail cannot go.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPlainTextEdit>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>

#include "fmmain_fixture.h"
#include "net/idle_pump.h"
#include "net/net_error.h"
#include "platform/ui/application.h"
#include "support/server_process.h"

using namespace backup;

namespace {

using testsupport::ServerProcess;

const QString guardLine = QStringLiteral(
    "Vous devez indiquer les renseignements suivant : Votre SMTP, Votre E-mail, L'e-mail du destinataire, "
    "Le sujet de l'E-mail, Ou décocher l'option \"Recevoir un rapport de sauvegarde par E-mail\" ");
const QString cannotSendLine = QStringLiteral("Impossible d'envoyer E-MAIL");
const QString warningSuffix = QStringLiteral(" (Attention voir Erreur)");

// A socket on 127.0.0.1 that is bound; listening, it takes connections into its backlog and
// never says a word, like a server that does not greet; closed, nothing listens on its port.
class LocalPort {
 public:
  explicit LocalPort(bool listening) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&a), len) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      ADD_FAILURE() << "no local port";
    port_ = ntohs(a.sin_port);
    if (listening) listen(fd_, 8);
    else close(std::exchange(fd_, -1));
  }
  ~LocalPort() {
    if (fd_ >= 0) close(fd_);
  }
  LocalPort(const LocalPort&) = delete;
  LocalPort& operator=(const LocalPort&) = delete;
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// One mail as the server took it, with the logins it saw on the way.
struct Received {
  QStringList logins;  // "AUTH <mechanism> <user>" lines before the mail
  QJsonObject mail;

  QString header(const QString& name) const {
    for (const auto& h : mail["headers"].toArray())
      if (h.toArray()[0].toString() == name) return h.toArray()[1].toString();
    return QStringLiteral("<none>");
  }
  QStringList rcpts() const {
    QStringList out;
    for (const auto& r : mail["rcpts"].toArray()) out << r.toString();
    return out;
  }
  QString body() const { return mail["body"].toString().remove(QLatin1Char('\r')); }
  QString raw() const { return mail["raw"].toString(); }
};

Received nextMail(ServerProcess& server) {
  Received r;
  for (std::string line; !(line = server.readLine(5000)).empty();) {
    if (line.rfind("AUTH ", 0) == 0) r.logins << QString::fromStdString(line);
    if (line.rfind("MAIL ", 0) != 0) continue;
    r.mail = QJsonDocument::fromJson(QByteArray::fromStdString(line.substr(5))).object();
    return r;
  }
  ADD_FAILURE() << "no mail received";
  return r;
}

class MailReport : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    // The window installs the pump itself; nothing is left from elsewhere.
    net::IdlePump::set({});
    buildWindows();
    f = config->ui.get();
    f->Email_v->setText("palvren@palvren.test");
    f->Email_D->setText("admin@example.org");
    f->Sujet_tov->setText("Rapport de sauvegarde");
  }
  void TearDown() override {
    platform::setExceptionHandler(nullptr);
    WindowsTest::TearDown();
  }

  void pointAt(int port) {
    f->Smtp_tov->setText("127.0.0.1");
    f->Port_tov->setText(QString::number(port));
  }
  // Errors that leave a handler reach the log as in the running program.
  void routeErrorsToTheLog() {
    platform::setExceptionHandler(
        [this](const std::string& m) { main->ApplicationEvents1Exception(QString::fromStdString(m)); });
  }
  QStringList memoLines() const { return main->ui->Memo1->text().split('\n'); }

  Ui::Form1* f = nullptr;
};

TEST_F(MailReport, TheTestButtonMailsTheLogWithTheSubjectAndItsSuffix) {
  ServerProcess server("smtp_server.py");
  pointAt(server.port());
  f->Sujet_tov->setText("Rapport de sauvegarde — poste été");
  f->signature_mail->setPlainText("Société Palvren\nTél. 01 02 03 04 05");
  main->logMessage("Démarrage de la sauvegarde");
  main->journal("-----------------------");
  main->SubjectSuffix = warningSuffix;
  const QString log = main->ui->Memo1->text();

  f->Button6->click();

  Received r = nextMail(server);
  EXPECT_EQ(r.mail["from"].toString(), "palvren@palvren.test");
  EXPECT_EQ(r.rcpts(), QStringList{"admin@example.org"});
  EXPECT_EQ(r.header("From"), "palvren@palvren.test");
  EXPECT_EQ(r.header("To"), "admin@example.org");
  EXPECT_EQ(r.header("Subject"), "Rapport de sauvegarde — poste été (Attention voir Erreur)");
  EXPECT_NE(r.header("Date"), "<none>");
  EXPECT_EQ(
      r.body(),
      stamp() + " : Démarrage de la sauvegarde\n-----------------------\n \nSociété Palvren\nTél. 01 02 03 04 05\n");
  EXPECT_TRUE(r.logins.isEmpty());
  // A sent report clears the warning; the log itself is left as it was.
  EXPECT_EQ(main->SubjectSuffix, "");
  EXPECT_EQ(main->ui->Memo1->text(), log);
}

TEST_F(MailReport, BodyIsTheLogThenOneBlankLineThenTheSignature) {
  ServerProcess server("smtp_server.py");
  pointAt(server.port());
  const struct {
    const char* log;
    const char* signature;
    const char* body;
  } cases[] = {
      {"", "", " \n"},
      {"ligne 1\nligne 2", "", "ligne 1\nligne 2\n \n"},
      {"", "Cordialement\n\nPalvren", " \nCordialement\n\nPalvren\n"},
      // A lone dot is a line of the log, not the end of the mail.
      {".\n..", "-- ", ".\n..\n \n-- \n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.log);
    main->ui->Memo1->setPlainText(c.log);
    f->signature_mail->setPlainText(c.signature);
    main->Button11Click();
    EXPECT_EQ(nextMail(server).body(), c.body);
  }
}

TEST_F(MailReport, OneAddressGoesToToAndAListGoesToBccOnly) {
  ServerProcess server("smtp_server.py");
  pointAt(server.port());
  const struct {
    const char* recipients;
    QStringList rcpts;
    const char* to;
  } cases[] = {
      {"admin@example.org", {"admin@example.org"}, "admin@example.org"},
      {"  admin@example.org ", {"admin@example.org"}, "admin@example.org"},
      {"admin@example.org;", {"admin@example.org"}, "<none>"},
      {"a@example.org; b@example.org", {"a@example.org", "b@example.org"}, "<none>"},
      {"a@example.org;;b@example.org; ;", {"a@example.org", "b@example.org"}, "<none>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.recipients);
    f->Email_D->setText(c.recipients);
    main->Button11Click();
    Received r = nextMail(server);
    EXPECT_EQ(r.rcpts(), c.rcpts);
    EXPECT_EQ(r.header("To"), c.to);
    EXPECT_EQ(r.header("Bcc"), "<none>");
    if (QString(c.to) == "<none>") {
      EXPECT_FALSE(r.raw().contains("@example.org")) << r.raw().toStdString();
    }
  }
}

TEST_F(MailReport, LogsInOnlyWhenUserAndPasswordAreBothSet) {
  ServerProcess server("smtp_server.py", {"--user", "alice", "--password", "mot secret"});
  pointAt(server.port());
  const struct {
    const char* user;
    const char* password;
    bool login;
  } cases[] = {
      {"alice", "mot secret", true},
      {"alice", "", false},
      {"", "mot secret", false},
      {"", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.user) + "/" + c.password);
    f->user_name->setText(c.user);
    f->mot_de_passe->setText(c.password);
    main->Button11Click();
    Received r = nextMail(server);
    EXPECT_EQ(r.rcpts(), QStringList{"admin@example.org"});
    if (c.login) {
      EXPECT_EQ(r.logins, QStringList{"AUTH LOGIN alice"});  // one connection, one login
    } else {
      EXPECT_TRUE(r.logins.isEmpty()) << r.logins.join(", ").toStdString();
    }
  }
}

TEST_F(MailReport, AServerThatCannotBeReachedOrRefusesTheLoginGivesTheUndatedLine) {
  const struct {
    const char* name;
    std::function<int(std::unique_ptr<ServerProcess>&, std::unique_ptr<LocalPort>&)> port;
  } cases[] = {
      {"nothing listens", [](auto&, auto& socket) { return (socket = std::make_unique<LocalPort>(false))->port(); }},
      {"hangs up before the greeting",
       [](auto& server, auto&) {
         server = std::make_unique<ServerProcess>("smtp_server.py", std::vector<std::string>{"--hang-up"});
         return server->port();
       }},
      {"wrong password",
       [](auto& server, auto&) {
         server = std::make_unique<ServerProcess>("smtp_server.py",
                                                  std::vector<std::string>{"--user", "alice", "--password", "juste"});
         return server->port();
       }},
  };
  f->user_name->setText("alice");
  f->mot_de_passe->setText("faux");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<ServerProcess> server;
    std::unique_ptr<LocalPort> socket;
    pointAt(c.port(server, socket));
    main->SubjectSuffix = warningSuffix;
    main->ui->Memo1->clear();
    EXPECT_NO_THROW(main->Button11Click());
    EXPECT_EQ(memoLines(), QStringList{cannotSendLine});
    EXPECT_EQ(main->SubjectSuffix, warningSuffix);
  }
}

// 300 ms is the TCP connection's limit: a server that greets after 600 ms gets the report.
TEST_F(MailReport, AServerThatGreetsLateStillGetsTheReportWithOneLogin) {
  ServerProcess server("smtp_server.py", {"--user", "alice", "--password", "mot secret", "--greeting-delay", "0.6"});
  pointAt(server.port());
  f->user_name->setText("alice");
  f->mot_de_passe->setText("mot secret");
  main->SubjectSuffix = warningSuffix;
  main->Button11Click();
  Received r = nextMail(server);
  EXPECT_EQ(r.rcpts(), QStringList{"admin@example.org"});
  EXPECT_EQ(r.logins, QStringList{"AUTH LOGIN alice"});
  EXPECT_TRUE(main->SubjectSuffix.isEmpty());
  EXPECT_FALSE(main->ui->Memo1->text().contains(cannotSendLine));
}

TEST_F(MailReport, MissingSettingsAreLoggedWithoutTrying) {
  LocalPort nothing(false);
  pointAt(nothing.port());
  const struct {
    QLineEdit* field;
    const char* text;
    QString line;
  } cases[] = {
      {f->Smtp_tov, "", guardLine},
      {f->Email_v, "", guardLine},
      {f->Email_D, "", guardLine},
      {f->Sujet_tov, "", guardLine},
      // A blank is content: the mail is tried, and here it cannot go.
      {f->Smtp_tov, " ", cannotSendLine},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field->objectName().toStdString() + " '" + c.text + "'");
    const QString kept = c.field->text();
    c.field->setText(c.text);
    main->ui->Memo1->clear();
    main->Button11Click();
    EXPECT_EQ(memoLines(), QStringList{c.line});
    c.field->setText(kept);
  }
}

TEST_F(MailReport, ARefusedRecipientRaisesToTheCallerAndKeepsTheSuffix) {
  ServerProcess server("smtp_server.py", {"--refuse", "inconnu@example.org"});
  pointAt(server.port());
  f->Email_D->setText("inconnu@example.org");
  main->SubjectSuffix = warningSuffix;
  main->ui->Memo1->clear();
  try {
    main->Button11Click();
    ADD_FAILURE() << "no error";
  } catch (const net::EIdException& e) {
    EXPECT_NE(std::string(e.what()).find("Destinataire inconnu"), std::string::npos) << e.what();
  }
  EXPECT_EQ(main->ui->Memo1->text(), "");
  EXPECT_EQ(main->SubjectSuffix, warningSuffix);

  // From the test button the error is logged with its date, and one refused address in a
  // list stops the whole mail: the next mail the server takes is the one that follows.
  routeErrorsToTheLog();
  f->Email_D->setText("admin@example.org;inconnu@example.org");
  f->Button6->click();
  EXPECT_TRUE(lastMemoLine().startsWith(stamp() + " : ")) << lastMemoLine().toStdString();
  EXPECT_TRUE(lastMemoLine().contains("Destinataire inconnu")) << lastMemoLine().toStdString();
  EXPECT_EQ(main->SubjectSuffix, warningSuffix);
  f->Email_D->setText("admin@example.org");
  f->Sujet_tov->setText("Suivant");
  f->Button6->click();
  Received r = nextMail(server);
  EXPECT_EQ(r.header("Subject"), "Suivant (Attention voir Erreur)");
  EXPECT_EQ(main->SubjectSuffix, "");
}

TEST_F(MailReport, APortThatIsNoNumberIsLoggedBeforeAnyConnection) {
  LocalPort silent(true);
  pointAt(silent.port());
  f->Port_tov->setText("vingt-cinq");
  routeErrorsToTheLog();
  main->ui->Memo1->clear();
  f->Button6->click();
  EXPECT_EQ(memoLines(), QStringList{stamp() + " : 'vingt-cinq' n'est pas une valeur entière correcte"});
}

TEST_F(MailReport, WindowTimersKeepFiringDuringASlowSend) {
  ServerProcess server("smtp_server.py", {"--delay", "1"});
  pointAt(server.port());
  int ticks = 0;
  QTimer timer(main.get());
  timer.setInterval(10);
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start();
  main->Button11Click();
  timer.stop();
  EXPECT_EQ(nextMail(server).rcpts(), QStringList{"admin@example.org"});
  // The server holds its answer to the mail for a second; a frozen window would see none.
  EXPECT_GE(ticks, 5);
}

}  // namespace
