#include "archive_check.h"

#include "support/run_command.h"

#include <zlib.h>

namespace archivecheck {

using testsupport::runCommand;
using testsupport::shellQuote;

int unzipTest(const std::string& archive, const std::string& password) {
  std::string command = "/usr/bin/unzip -tqq";
  if (!password.empty()) command += " -P " + shellQuote(password);
  return runCommand(command + " " + shellQuote(archive)).status;
}

int sevenZipTest(const std::string& archive, const std::string& password) {
  // An empty -p answers 7z's password question instead of waiting for one.
  return runCommand("/usr/bin/7z t -bd " + shellQuote("-p" + password) + " " + shellQuote(archive)).status;
}

std::uint32_t crcOf(const std::string& data) {
  return static_cast<std::uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

}  // namespace archivecheck
