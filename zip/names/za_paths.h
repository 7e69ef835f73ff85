#pragma once
// Folder routines and the rules that map files on disk to stored names and
// stored names to files below a base folder. Paths resolve lexically against
// the base: no routine changes the process's current folder.
#include <optional>
#include <string>

#include "zip/za_options.h"

namespace zip {

std::string ZAIncludeTrailingBackslash(const std::string& path);
std::string ZAExcludeTrailingBackslash(const std::string& path);
bool ZADirectoryExists(const std::string& path);
bool ZAForceDirectories(const std::string& path);
// The folder with a trailing "/"; an empty folder stands for the current folder.
std::string AppendBackslashIfNotEmpty(const std::string& folder);

// Full path of a file name given relative to Base (an absolute Path stands
// alone). With an empty Path: Base resolved when it is a folder (or empty),
// else Base unchanged; an absolute Base is returned as given.
std::string ExpandPathFromBase(const std::string& base, const std::string& path);

// Full path below Base for a name taken from an archive: a leading drive,
// server share or separator is dropped; nothing when a ".." would climb out
// of Base. A trailing "/" (a folder entry) is kept.
std::optional<std::string> ExpandArchivePathFromBase(const std::string& base, const std::string& storedName);

// The name under which a file is stored, by the StorePath option.
std::string NormalizeStoredPath(const std::string& fileName, const std::string& baseDir, TZAStorePathMode storePath);

}  // namespace zip
