#include "support/small_disk.h"

#include <unistd.h>

#include <string>

#include "support/run_command.h"

namespace testsupport {

bool mountSmallDisk(const std::filesystem::path& folder, const char* size) {
  std::filesystem::create_directories(folder);
  return ::geteuid() == 0 &&
         runCommand(std::string("mount -t tmpfs -o size=") + size + " tmpfs " + shellQuote(folder.string())).status ==
             0;
}

void unmountDisk(const std::filesystem::path& folder) { runCommand("umount " + shellQuote(folder.string())); }

}  // namespace testsupport
