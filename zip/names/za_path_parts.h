#pragma once
// Small text routines over names with "/" separators.
#include <string>

namespace zip {

// A regular file of that name exists.
bool ZAFileExists(const std::string& path);
// What follows the last "/"; the folder part up to and with it.
std::string ZAFilePart(const std::string& name);
std::string ZAFolderPart(const std::string& name);
std::string ZALowerAscii(std::string s);

}  // namespace zip
