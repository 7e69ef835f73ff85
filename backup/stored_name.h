#pragma once
#include <string>

// The name under which a file is kept in the archive: its full path without the leading "/",
// with "." and ".." parts (and empty ones, from doubled slashes) left out. ".." is dropped,
// not resolved, so a stored name never climbs out of the place it is extracted to.
// Archive names are UTF-8: a byte of the path that is not part of a UTF-8 sequence is read
// as Latin-1, so that such a file is still saved, always under the same name.
std::string StoredArchiveName(const std::string& fullPath);
