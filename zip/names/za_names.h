#pragma once
// Stored names: IBM 850 bytes, UTF-8 under flag bit 11, or a Unix tool's raw
// bytes; in memory and for callers they are UTF-8 with "/" separators.
#include <cstdint>
#include <string>
#include <string_view>

namespace zip {

// The longest path the platform holds: a longer stored name is kept cut there.
inline constexpr size_t kMaxNameLength = 4095;
inline constexpr uint8_t kHostUnix = 3;

// The name as kept in memory: at most kMaxNameLength stored bytes, cut at a
// zero byte, decoded, "\" turned into "/".
std::string ZADecodeStoredName(std::string_view stored, uint16_t flags, uint16_t versionMadeBy, bool oemFileNames);

// Whether a name kept in memory may have been cut: it is as long as the
// longest (less what a cut multi-byte sequence took).
inline bool ZAMayBeCut(std::string_view name) { return name.size() + 3 >= kMaxNameLength; }

// Whether stored bytes (up to a zero byte) are UTF-8 with characters beyond
// ASCII: what a Unix writer leaves unflagged, and an OEM name almost never is.
bool ZALooksLikeRawUtf8(std::string_view stored);

struct TZAStoredName {
  std::string Bytes;
  bool Utf8 = false;  // flag bit 11 goes with these bytes
};

// The bytes a name is written with, and whether bit 11 goes with them. With
// OEM names on, code page 850 when it holds the name and the entry is not
// UTF-8 already; otherwise UTF-8 flagged by bit 11. Names of entries made on
// Unix, and bytes that are not UTF-8, go back raw with the flag they had.
TZAStoredName ZAEncodeStoredName(std::string_view name, uint16_t versionMadeBy, uint16_t flags, bool oemFileNames);

}  // namespace zip
