#include "update/kill_process.h"

#include <cctype>

#include "platform/core/process_terminate.h"

namespace updater {

namespace {
ProcessSource& source() {
  static ProcessSource s;
  return s;
}

// The system's limit on the executable name of a process entry.
constexpr qsizetype maxExeName = 260;

bool sameAsciiIgnoringCase(const std::string& a, const QString& b) {
  const QString name = QString::fromStdString(a).left(maxExeName);
  if (name.size() != b.size()) return false;
  for (qsizetype i = 0; i < name.size(); ++i) {
    QChar x = name[i], y = b[i];
    if (x.unicode() < 128) x = QChar(static_cast<char16_t>(std::tolower(x.unicode())));
    if (y.unicode() < 128) y = QChar(static_cast<char16_t>(std::tolower(y.unicode())));
    if (x != y) return false;
  }
  return true;
}
}  // namespace

void setProcessSource(ProcessSource s) { source() = std::move(s); }

bool KillProcessByName(const QString& name) {
  const std::vector<platform::ProcessEntry> processes = source() ? source()() : platform::processList();
  for (const platform::ProcessEntry& p : processes) {
    if (sameAsciiIgnoringCase(p.exeName, name)) return platform::terminateProcess(p.pid, p.exeName);
  }
  return false;
}

}  // namespace updater
