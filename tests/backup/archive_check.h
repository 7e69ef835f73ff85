#pragma once
// Reads an archive back with other tools: Info-ZIP's unzip and python's zipfile.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace archivecheck {

struct Entry {
  std::uint64_t size = 0;
  int method = -1;  // 0 stored, 8 deflated
  bool encrypted = false;
  std::string date;  // "YYYY-MM-DD hh:mm:ss" as the entry holds it
  std::uint32_t crc = 0;  // of the data python read back (its own CRC check passed)
};

// Every entry as python's zipfile reads it, by the bytes of its stored name; throws with python's message when it fails.
std::map<std::string, Entry> readWithPython(const std::string& archive, const std::string& password = "");
// The stored names in the order of the archive's directory.
std::vector<std::string> namesInOrder(const std::string& archive);
// Exit status of `unzip -tqq` (with -P when a password is given).
int unzipTest(const std::string& archive, const std::string& password = "");

// Exit status of `7z t` (with -p when a password is given).
int sevenZipTest(const std::string& archive, const std::string& password = "");

std::uint32_t crcOf(const std::string& data);

}  // namespace archivecheck
