#pragma once
// What the archiver asks of the medium: free space and the device's flush.
#include <cstdint>
#include <string>

namespace zip {

// Bytes available to the program on the file system of path (or of its
// nearest existing parent); -1 when the query fails.
int64_t ZAFreeBytes(const std::string& path);

}  // namespace zip
