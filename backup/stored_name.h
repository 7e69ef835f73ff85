#pragma once
#include <string>
#include <string_view>

namespace backup {

// The name under which a file is kept in the archive: its full path without the leading "/",
// with "." and ".." parts (and empty ones, from doubled slashes) left out. ".." is dropped,
// not resolved, so a stored name never climbs out of the place it is extracted to.
// The name keeps the path's bytes: a name that is not UTF-8 is stored as it is, without the
// UTF-8 flag, so that two files of one folder never share a stored name.
std::string StoredArchiveName(const std::string& fullPath);

// Whether text is well-formed UTF-8 (no surrogates, no overlong forms).
bool IsUtf8(std::string_view text);

}  // namespace backup
