#pragma once
// Reads an archive back with python's zipfile, a reader apart from ours.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testsupport {

struct PythonZipEntry {
  std::string name;  // as python decodes it, in UTF-8
  std::uint64_t size = 0;
  int method = -1;  // 0 stored, 8 deflated
  bool encrypted = false;
  std::string date;       // "YYYY-MM-DD hh:mm:ss" as the entry holds it
  std::uint32_t crc = 0;  // of the data python read back (its own CRC check passed)
  std::string data;
};

// Every entry as python's zipfile reads it, by the bytes of its stored name; throws when python fails.
std::map<std::string, PythonZipEntry> readWithPython(const std::string& archive, const std::string& password = "");
// One entry's data as python's zipfile reads it by its name; throws when python fails.
std::string readEntryWithPython(const std::string& archive, const std::string& name, const std::string& password = "");
// The stored names in the order of the archive's directory.
std::vector<std::string> namesInOrder(const std::string& archive);

}  // namespace testsupport
