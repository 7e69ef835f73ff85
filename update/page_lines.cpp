#include "update/page_lines.h"

namespace updater {

QStringList splitPageLines(std::string_view body) {
  QStringList lines;
  if (body.empty()) {
    lines << QStringLiteral("0");
    return lines;
  }
  std::size_t pos = 0;
  while (pos < body.size()) {
    std::size_t end = body.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = body.size();
    lines << QString::fromUtf8(body.data() + pos, static_cast<qsizetype>(end - pos));
    pos = end;
    if (pos < body.size()) {
      // CR LF is one break; LF CR is two, with an empty line between them.
      if (body[pos] == '\r' && pos + 1 < body.size() && body[pos + 1] == '\n') ++pos;
      ++pos;
    }
  }
  return lines;
}

}  // namespace updater
