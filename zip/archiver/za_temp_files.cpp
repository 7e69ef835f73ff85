#include <filesystem>
#include <optional>
#include <string>

#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/archiver/za_extract_target.h"

namespace zip {

std::string TZABaseArchiver::MakeTempFileName() const { return makeTempFileIn(TempDir); }

std::string TZABaseArchiver::makeTempFileIn(const std::string& folder) const {
  const std::optional<std::string> name = ZAMakeTempFile(folder);
  if (!name) {
    std::error_code ec;
    const std::string shown = folder.empty() ? std::filesystem::temp_directory_path(ec).string() : folder;
    throw EZAException::CreateFmt(zeCannotCreateFile, Name, {shown + "/ZT"});
  }
  return *name;
}

std::string TZABaseArchiver::backupFolder() const {
  if (!TempDir.empty() || inMemory_ || FileName.empty()) return TempDir;
  // Beside the archive: a pass killed midway leaves the only copy of the old
  // tail there, where the system's cleaning at boot does not reach it.
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(FileName, ec);
  return ec ? TempDir : full.parent_path().string();
}

}  // namespace zip
