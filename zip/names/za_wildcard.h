#pragma once
#include <string_view>

namespace zip {

// "*" any run of characters, "?" one character (not one byte); the whole mask
// "*.*" matches every name. Other characters compare in the locale's order.
bool MatchWildcardRec(std::string_view name, std::string_view mask, bool ignoreCase);

}  // namespace zip
