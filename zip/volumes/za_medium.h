#pragma once
// What the archiver asks of the medium a path lies on: its free space and its
// kind, for the flush and volume decisions.
#include <cstdint>
#include <string>

namespace zip {

// Bytes available to the program on the file system of path (or of its
// nearest existing parent); -1 when the query fails.
int64_t ZAFreeBytes(const std::string& path);
// The path (or its nearest existing parent) lies on a floppy disk drive.
bool IsFloppyDrive(const std::string& path);
// A floppy, or a block device the kernel reports as removable (USB keys, cards).
bool IsRemovableDrive(const std::string& path);

}  // namespace zip
