#pragma once
// One reply of an FTP server: its three-digit code and its lines.
#include <string>
#include <vector>

namespace net {

struct FtpReply {
  int code = 0;
  std::vector<std::string> lines;  // as received, codes included

  // The reply's text without its codes, lines joined by blanks: the message
  // of an error raised for this reply.
  std::string text() const;
  bool isPreliminary() const { return code >= 100 && code < 200; }
};

// True when line is the last line of a reply that began with code, i.e.
// "ddd" followed by a blank or by nothing.
bool isFinalReplyLine(const std::string& line, int code);
// The code at the start of a reply's first line, or -1 when there is none.
int replyCodeOf(const std::string& line);

}  // namespace net
