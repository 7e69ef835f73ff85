#include "net/mail_message.h"

#include <cstdio>
#include <random>

#include "net/mail_encoding.h"

namespace net {

namespace {

std::string trimmed(const std::string& s) {
  auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

// A header value on one line: a line break in it would start a header of
// the caller's text.
std::string oneLine(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

// The body as lines without any CR or LF inside them.
std::vector<std::string> bodyLines(const std::vector<std::string>& body) {
  std::vector<std::string> lines;
  for (const auto& item : body) {
    std::size_t start = 0;
    for (;;) {
      auto brk = item.find_first_of("\r\n", start);
      if (brk == std::string::npos) {
        lines.push_back(item.substr(start));
        break;
      }
      lines.push_back(item.substr(start, brk - start));
      start = brk + (item[brk] == '\r' && brk + 1 < item.size() && item[brk + 1] == '\n' ? 2 : 1);
    }
  }
  return lines;
}

// The right-hand side of a Message-ID: the sender's domain when it is a plain host name, as
// mail clients do, else "localhost".
std::string idDomain(const std::string& from) {
  const auto at = from.rfind('@');
  std::string domain = at == std::string::npos ? std::string() : trimmed(from.substr(at + 1));
  if (!domain.empty() && domain.back() == '>') domain.pop_back();
  bool plain = !domain.empty() && domain.front() != '.' && domain.back() != '.';
  for (const char c : domain)
    plain = plain && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-');
  return plain ? domain : "localhost";
}

// Unique for every mail: the date, and 64 random bits so that two reports of one second
// still differ.
std::string messageId(const std::string& from, std::time_t date) {
  std::random_device random;
  const unsigned long long bits = (static_cast<unsigned long long>(random()) << 32) ^ random();
  char left[64];
  std::snprintf(left, sizeof left, "%lld.%016llx", static_cast<long long>(date), bits);
  return "<" + std::string(left) + "@" + idDomain(from) + ">";
}

}  // namespace

std::vector<std::string> envelopeRecipients(const MailMessage& message) {
  std::vector<std::string> out;
  for (const auto* list : {&message.to, &message.bcc})
    for (const auto& address : *list) {
      std::string a = trimmed(oneLine(address));
      if (!a.empty()) out.push_back(a);
    }
  return out;
}

std::string composeMail(const MailMessage& message, std::time_t date) {
  std::string to;
  for (const auto& address : message.to) {
    std::string a = trimmed(oneLine(address));
    if (a.empty()) continue;
    if (!to.empty()) to += ", ";
    to += a;
  }
  auto lines = bodyLines(message.body);
  bool plain = fitsSevenBit(lines);

  std::string out;
  out += "Date: " + mailDate(date) + "\r\n";
  out += "Message-ID: " + messageId(oneLine(message.from), date) + "\r\n";
  out += "From: " + trimmed(oneLine(message.from)) + "\r\n";
  if (!to.empty()) out += "To: " + to + "\r\n";
  out += "Subject: " + encodeHeaderValue(oneLine(message.subject)) + "\r\n";
  out += "MIME-Version: 1.0\r\n";
  out += "Content-Type: text/plain; charset=UTF-8\r\n";
  out += std::string("Content-Transfer-Encoding: ") + (plain ? "7bit" : "quoted-printable") + "\r\n";
  out += "\r\n";
  if (plain) {
    for (const auto& line : lines) out += line + "\r\n";
  } else {
    out += quotedPrintable(lines);
  }
  return out;
}

}  // namespace net
