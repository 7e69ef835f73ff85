#include "fuzz/roads/scratch_folder.h"

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <system_error>

namespace fuzzroads {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder() {
  std::error_code ec;
  const fs::path root = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
  // The process id lets the run script clear what a crashed process left.
  std::string pattern = (root / ("palvren-fuzz-" + std::to_string(::getpid()) + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("no scratch folder in " + root.string());
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  // An entry's attributes may have left a folder without write or search rights.
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

}  // namespace fuzzroads
