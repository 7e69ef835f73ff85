#pragma once
// A plain-text mail and the text we send for it.
#include <ctime>
#include <string>
#include <vector>

namespace net {

struct MailMessage {
  std::string from;
  std::string subject;
  std::vector<std::string> to;
  std::vector<std::string> bcc;   // in the envelope only, never in the headers
  std::vector<std::string> body;  // lines
};

// Headers and body with CRLF line ends: Date, Message-ID (new for every call), From, To (when there is one),
// Subject (RFC 2047 when not ASCII), MIME headers of a UTF-8 text body.
std::string composeMail(const MailMessage& message, std::time_t date);

// The addresses to give the server: To then Bcc, blanks trimmed, empty
// ones left out (a strict server refuses the whole mail for one of those).
std::vector<std::string> envelopeRecipients(const MailMessage& message);

}  // namespace net
