#include "net/ftp_reply.h"

#include <cctype>

namespace net {

int replyCodeOf(const std::string& line) {
  if (line.size() < 3) return -1;
  for (int i = 0; i < 3; ++i)
    if (!std::isdigit(static_cast<unsigned char>(line[i]))) return -1;
  if (line.size() > 3 && line[3] != ' ' && line[3] != '-') return -1;
  return std::stoi(line.substr(0, 3));
}

bool isFinalReplyLine(const std::string& line, int code) {
  return replyCodeOf(line) == code && (line.size() == 3 || line[3] == ' ');
}

std::string FtpReply::text() const {
  std::string out;
  for (const auto& line : lines) {
    std::string part = replyCodeOf(line) == code ? line.substr(line.size() > 3 ? 4 : 3) : line;
    while (!part.empty() && std::isspace(static_cast<unsigned char>(part.front()))) part.erase(0, 1);
    while (!part.empty() && std::isspace(static_cast<unsigned char>(part.back()))) part.pop_back();
    if (part.empty()) continue;
    if (!out.empty()) out += ' ';
    out += part;
  }
  return out;
}

}  // namespace net
