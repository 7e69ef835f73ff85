// The text composed for a mail, before any server sees it.
#include "net/mail_message.h"
#include "net_test_support.h"

#include <QByteArray>
#include <QString>
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace {

std::vector<std::string> crlfLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i; (i = text.find("\r\n", start)) != std::string::npos; start = i + 2)
    lines.push_back(text.substr(start, i - start));
  EXPECT_EQ(start, text.size()) << "text does not end with CRLF";
  return lines;
}

std::string headerBlock(const std::string& mail) { return mail.substr(0, mail.find("\r\n\r\n") + 2); }

net::MailMessage mail() {
  net::MailMessage m;
  m.from = "palvren@example.org";
  m.to = {"admin@example.org"};
  m.subject = "Rapport de sauvegarde";
  return m;
}

TEST(MailText, NoCallerTextCanAddAHeader) {
  auto m = mail();
  m.subject = "Rapport\r\nBcc: spy@example.org";
  m.from = "palvren@example.org\nX-Evil: 1";
  m.to = {"admin@example.org\r\nCc: spy@example.org"};
  m.body = {"ligne\nBcc: pas un en-tête", "fin\r"};
  std::string text = net::composeMail(m, 0);
  for (const auto& line : crlfLines(headerBlock(text))) {
    EXPECT_NE(line.rfind("Bcc", 0), 0u) << line;
    EXPECT_NE(line.rfind("Cc", 0), 0u) << line;
    EXPECT_NE(line.rfind("X-Evil", 0), 0u) << line;
  }
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      ASSERT_EQ(text[i - 1], '\r') << i;
    }
    if (text[i] == '\r') {
      ASSERT_EQ(text[i + 1], '\n') << i;
    }
  }
}

TEST(MailText, LongAccentedSubjectIsEncodedInWholeCharacters) {
  auto m = mail();
  m.subject = "Rapport de sauvegarde — élève à l'été, déjà réalisé, très complète (Attention voir Erreur)";
  std::string headers = headerBlock(net::composeMail(m, 0));
  std::string decoded;
  bool inSubject = false;
  for (const auto& line : crlfLines(headers)) {
    EXPECT_LE(line.size(), 76u) << line;
    if (line.rfind("Subject: ", 0) == 0) inSubject = true;
    else if (line.empty() || line[0] != ' ') inSubject = false;
    if (!inSubject) continue;
    const std::string open = "=?UTF-8?B?";
    for (auto at = line.find(open); at != std::string::npos; at = line.find(open, at + 1)) {
      auto stop = line.find("?=", at + open.size());
      ASSERT_NE(stop, std::string::npos) << line;
      QByteArray piece =
          QByteArray::fromBase64(QByteArray::fromStdString(line.substr(at + open.size(), stop - at - open.size())));
      // Each word holds whole characters: it decodes alone without loss.
      EXPECT_EQ(QString::fromUtf8(piece).toUtf8(), piece);
      decoded += piece.toStdString();
    }
  }
  EXPECT_EQ(decoded, m.subject);
}

TEST(MailText, BodyEncodingFollowsItsContent) {
  struct Case {
    std::vector<std::string> body;
    const char* encoding;
    std::vector<std::string> lines;  // body lines as sent
  };
  std::string longLine(1200, 'x');
  for (const Case& c : std::vector<Case>{
           {{"ligne", " ", "signature"}, "7bit", {"ligne", " ", "signature"}},
           {{"été", " "}, "quoted-printable", {"=C3=A9t=C3=A9", "=20"}},
           {{"a=b", "tab\t"}, "7bit", {"a=b", "tab\t"}},
       }) {
    auto m = mail();
    m.body = c.body;
    std::string text = net::composeMail(m, 0);
    EXPECT_NE(headerBlock(text).find(std::string("Content-Transfer-Encoding: ") + c.encoding), std::string::npos);
    auto lines = crlfLines(text.substr(text.find("\r\n\r\n") + 4));
    EXPECT_EQ(lines, c.lines);
  }
  auto m = mail();
  m.body = {longLine};
  std::string body = net::composeMail(m, 0);
  body = body.substr(body.find("\r\n\r\n") + 4);
  std::string joined;
  for (const auto& line : crlfLines(body)) {
    EXPECT_LE(line.size(), 76u);
    joined += line.size() && line.back() == '=' ? line.substr(0, line.size() - 1) : line;
  }
  EXPECT_EQ(joined, longLine);
}

TEST(MailText, DateAndRecipients) {
  auto m = mail();
  m.to.clear();
  m.bcc = {" a@example.org", "", "b@example.org ", " "};
  std::string headers = headerBlock(net::composeMail(m, 1765361700));
  // "Date: Wed, 10 Dec 2025 10:15:00 +0100" whatever the zone.
  char day[4] = {}, month[4] = {}, sign = 0;
  int mday = 0, year = 0, hh = 0, mm = 0, ss = 0, zone = -1, used = 0;
  ASSERT_EQ(std::sscanf(headers.c_str(), "Date: %3s, %d %3s %d %d:%d:%d %c%4d\r\n%n", day, &mday, month, &year, &hh,
                        &mm, &ss, &sign, &zone, &used),
            9)
      << headers;
  EXPECT_NE(std::string("MonTueWedThuFriSatSun").find(day), std::string::npos) << day;
  EXPECT_NE(std::string("JanFebMarAprMayJunJulAugSepOctNovDec").find(month), std::string::npos) << month;
  EXPECT_EQ(year, 2025);
  EXPECT_TRUE(sign == '+' || sign == '-');
  EXPECT_EQ(headers.compare(used - 2, 2, "\r\n"), 0);
  EXPECT_EQ(headers.find("To:"), std::string::npos);
  // Bcc addresses never reach the headers.
  EXPECT_FALSE(nettest::holdsAddress(headers, "a@example.org"));
  EXPECT_FALSE(nettest::holdsAddress(headers, "b@example.org"));
  EXPECT_EQ(net::envelopeRecipients(m), (std::vector<std::string>{"a@example.org", "b@example.org"}));
}

// Each mail carries its own Message-ID, on the sender's domain when it is a plain host name.
TEST(MailText, MessageIdIsUniqueAndOnTheSendersDomain) {
  struct Case {
    const char* from;
    const char* domain;
  };
  const Case cases[] = {
      {"palvren@example.org", "example.org"},
      {" Palvren <palvren@mail.example.org> ", "mail.example.org"},
      {"sans-domaine", "localhost"},
      {"x@[127.0.0.1]", "localhost"},
      {"x@a b", "localhost"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.from);
    auto m = mail();
    m.from = c.from;
    std::vector<std::string> ids;
    for (int i = 0; i < 2; ++i) {
      const std::string headers = headerBlock(net::composeMail(m, 1765361700));
      const auto at = headers.find("\r\nMessage-ID: <");
      ASSERT_NE(at, std::string::npos) << headers;
      EXPECT_EQ(headers.find("Message-ID:", at + 4), std::string::npos);
      const std::string id = headers.substr(at + 14, headers.find("\r\n", at + 2) - at - 14);
      EXPECT_EQ(id.back(), '>');
      EXPECT_EQ(id.substr(id.find('@') + 1), std::string(c.domain) + ">");
      EXPECT_EQ(id.find_first_of(" \t"), std::string::npos);
      ids.push_back(id);
    }
    EXPECT_NE(ids[0], ids[1]);
  }
}

}  // namespace
