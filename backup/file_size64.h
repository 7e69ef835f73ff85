#pragma once
#include <cstdint>
#include <string>

namespace backup {

// Size in bytes of the file of that name; 0 when there is none, and for a folder.
std::int64_t FileSize64(const std::string& fileName);

}  // namespace backup
