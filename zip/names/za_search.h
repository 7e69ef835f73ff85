#pragma once
// The name and attribute tests of the entry search.
#include <cstdint>
#include <string>

namespace zip {

// A user's mask against a stored name: "*" and "?", ASCII case ignored, "*.*"
// matches every name, a final "." asks for a name without extension.
bool MatchesMask(const std::string& name, const std::string& mask);
// The mask matches the whole stored name or its file part alone.
bool MatchesNameOrFile(const std::string& name, const std::string& mask);
// Hidden, system, volume and folder entries pass only when the search asks for them.
bool AttrMatches(uint32_t entryAttr, int32_t searchAttr);
// A mask without its drive ("X:") or network share ("\\server\share\").
std::string ZAStripMaskDrive(const std::string& mask);

}  // namespace zip
