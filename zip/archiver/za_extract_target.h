#pragma once
// The files extraction writes, as Linux keeps them: symbolic links that
// leave the base folder are never followed, and DOS attributes map onto the
// permission bits.
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

#include "platform/core/posix_file.h"

namespace zip {

// Whether path, with every symbolic link of its existing part resolved,
// still lies in base (or is base itself).
bool ZAStaysInside(const std::string& base, const std::string& path);

// The folders of one extraction below its base folder, each checked (or
// made) once: a part below the base must be a real folder, or a link that
// stays inside the base. What was found good is remembered for the rest of
// the operation, so an entry costs no path resolution of its own.
class TZAFolderGuard {
 public:
  enum TResult { frOk, frOutside, frCannotCreate };
  // baseFolder: as the operation was given it; base: the same, absolute;
  // removable: whether it lies on a removable drive.
  TZAFolderGuard(const std::string& baseFolder, const std::string& base, bool removable);
  const std::string& BaseFolder() const { return baseFolder_; }
  const std::string& Base() const { return base_; }
  bool Removable() const { return removable_; }
  // The process's umask, read once for the operation.
  uint32_t Umask() const { return umask_; }
  // folder lies lexically below the base (names are expanded so); with
  // create, its missing parts are made.
  TResult Check(const std::string& folder, bool create);

 private:
  std::string baseFolder_;
  std::string base_;  // without a trailing "/", but the root's
  bool removable_;
  uint32_t umask_;
  std::unordered_set<std::string> known_;
};

struct TZAExistingFile {
  bool exists = false;
  bool isDirectory = false;
  bool isLink = false;
  bool readOnly = false;  // no write permission for its owner
  uint32_t mode = 0;      // permission bits
  int64_t modified = 0;   // last write, seconds since 1970
};
TZAExistingFile ZAInspect(const std::string& path);

// The process's umask, and the bits a new file gets by it.
uint32_t ZAUmask();
inline uint32_t ZADefaultFileMode(uint32_t umask = ZAUmask()) { return 0666 & ~umask; }

// The permission bits a file extracted with these attributes gets: a Unix
// mode in the high 16 bits stands as stored; otherwise the replaced file's
// bits (or the usual ones by umask) with the read-only bit applied.
uint32_t ZAModeForAttributes(uint32_t attributes, const TZAExistingFile& replaced, uint32_t umask = ZAUmask());

// A fresh temporary file named "ZT..." in folder (the system's when empty),
// open for reading and writing; name receives its name.
platform::FileDescriptor ZAOpenTempFile(const std::string& folder, std::string& name);
// The same, closed again; its name.
std::optional<std::string> ZAMakeTempFile(const std::string& folder);

}  // namespace zip
