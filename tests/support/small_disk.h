#pragma once
// A small tmpfs stands for a full disk.
#include <filesystem>

namespace testsupport {

// Mounts a tmpfs of that size ("2m") at folder, made if missing; false when none can be
// mounted (needs root).
bool mountSmallDisk(const std::filesystem::path& folder, const char* size);
void unmountDisk(const std::filesystem::path& folder);

}  // namespace testsupport
