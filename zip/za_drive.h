#pragma once
// Kind of medium a path lies on, for the flush and volume decisions.
#include <string>

namespace zip {

// The path (or its nearest existing parent) lies on a floppy disk drive.
bool IsFloppyDrive(const std::string& path);
// A floppy, or a block device the kernel reports as removable (USB keys, cards).
bool IsRemovableDrive(const std::string& path);

}  // namespace zip
