#include <filesystem>
#include <optional>
#include <string>

#include "zip/archiver/za_archiver_impl.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/archiver/za_extract_target.h"

namespace zip {

std::string TZABaseArchiver::MakeTempFileName() const { return impl_->makeTempFileIn(TempDir); }

std::string TZABaseArchiver::Impl::makeTempFileIn(const std::string& folder) const {
  const std::optional<std::string> name = ZAMakeTempFile(folder);
  if (!name) {
    std::error_code ec;
    const std::string shown = folder.empty() ? std::filesystem::temp_directory_path(ec).string() : folder;
    throw EZAException::CreateFmt(zeCannotCreateFile, a_.Name, {shown + "/ZT"});
  }
  return *name;
}

std::string TZABaseArchiver::Impl::backupFolder() const {
  if (!a_.TempDir.empty() || inMemory_ || a_.FileName.empty()) return a_.TempDir;
  // Beside the archive: a pass killed midway leaves the only copy of the old
  // tail there, where the system's cleaning at boot does not reach it.
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(a_.FileName, ec);
  return ec ? a_.TempDir : full.parent_path().string();
}

}  // namespace zip
