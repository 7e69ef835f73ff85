#pragma once
// Reads an archive back with other tools: Info-ZIP's unzip and 7-Zip.
#include <cstdint>
#include <string>

namespace archivecheck {

// Exit status of `unzip -tqq` (with -P when a password is given).
int unzipTest(const std::string& archive, const std::string& password = "");

// Exit status of `7z t` (with -p when a password is given).
int sevenZipTest(const std::string& archive, const std::string& password = "");

std::uint32_t crcOf(const std::string& data);

}  // namespace archivecheck
