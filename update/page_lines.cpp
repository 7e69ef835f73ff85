#include "update/page_lines.h"

#include "platform/core/text_lines.h"

namespace updater {

QStringList splitPageLines(std::string_view body) {
  if (body.empty()) return {QStringLiteral("0")};
  return platform::splitTextLines(body);
}

}  // namespace updater
