#pragma once
#include <string>

// The name under which a file is kept in the archive: its full path without the leading "/",
// with "." and ".." parts (and empty ones, from doubled slashes) left out. ".." is dropped,
// not resolved, so a stored name never climbs out of the place it is extracted to.
std::string StoredArchiveName(const std::string& fullPath);
