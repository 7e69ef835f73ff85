#include "net/ftp_passive_reply.h"

#include <charconv>
#include <string_view>
#include <system_error>

namespace net {

namespace {

// Reads a decimal number of at most max at the front of text and moves past it.
std::optional<unsigned> takeNumber(std::string_view& text, unsigned max) {
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || value > max) return std::nullopt;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return value;
}

bool takeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

std::optional<int> port227(std::string_view line) {
  const auto digit = line.find_first_of("0123456789", 4);
  // A sign in front would otherwise be skipped and "-1" read as 1.
  if (digit == std::string_view::npos || line[digit - 1] == '-' || line[digit - 1] == '+') return std::nullopt;
  std::string_view rest = line.substr(digit);
  unsigned numbers[6] = {};
  for (int i = 0; i < 6; ++i) {
    if (i > 0) {
      if (!takeChar(rest, ',')) return std::nullopt;
      while (takeChar(rest, ' ')) {
      }
    }
    const auto n = takeNumber(rest, 255);
    if (!n) return std::nullopt;
    numbers[i] = *n;
  }
  const unsigned port = numbers[4] * 256 + numbers[5];
  if (port == 0) return std::nullopt;
  return static_cast<int>(port);
}

std::optional<int> port229(std::string_view line) {
  const auto open = line.find("(|||");
  if (open == std::string_view::npos) return std::nullopt;
  std::string_view rest = line.substr(open + 4);
  const auto port = takeNumber(rest, 65535);
  if (!port || *port == 0 || !takeChar(rest, '|')) return std::nullopt;
  return static_cast<int>(*port);
}

}  // namespace

std::optional<int> passiveReplyPort(const FtpReply& reply) {
  if (reply.lines.empty()) return std::nullopt;
  if (reply.code == 227) return port227(reply.lines.front());
  if (reply.code == 229) return port229(reply.lines.front());
  return std::nullopt;
}

}  // namespace net
