#include "platform/core/text_lines.h"

namespace platform {

QStringList splitTextLines(std::string_view text) {
  QStringList lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    lines << QString::fromUtf8(text.data() + pos, static_cast<qsizetype>(end - pos));
    pos = end;
    if (pos < text.size()) {
      if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
      ++pos;
    }
  }
  return lines;
}

std::optional<std::string> takeReceivedLine(std::string& buffer) {
  const std::size_t nl = buffer.find('\n');
  if (nl == std::string::npos) return std::nullopt;
  std::string line = buffer.substr(0, nl);
  buffer.erase(0, nl + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace platform
