#include "zip/names/za_names.h"

#include <algorithm>

#include "zip/names/za_utf8.h"

namespace zip {

namespace {

bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<uint8_t>(c) < 0x80; });
}

// Drops a multi-byte sequence that the cut left incomplete at the end.
void trimCutSequence(std::string& s) {
  size_t lead = s.size();
  for (size_t k = 0; k < 4 && lead > 0; ++k) {
    --lead;
    if ((static_cast<uint8_t>(s[lead]) & 0xC0) != 0x80) break;
  }
  if (lead < s.size() && !ZAIsValidUtf8(std::string_view(s).substr(lead)) &&
      ZAIsValidUtf8(std::string_view(s).substr(0, lead)))
    s.resize(lead);
}

}  // namespace

std::string ZADecodeStoredName(std::string_view stored, uint16_t flags, uint16_t versionMadeBy, bool oemFileNames) {
  const bool cut = stored.size() > kMaxNameLength;
  std::string raw(stored.substr(0, kMaxNameLength));
  const size_t zero = raw.find('\0');
  if (zero != std::string::npos) raw.resize(zero);
  const bool utf8 = (flags & 0x0800) != 0;
  const bool unixRaw = (versionMadeBy >> 8) == kHostUnix;
  std::string name;
  if (!oemFileNames || utf8 || unixRaw) {
    name = std::move(raw);
    if (cut && zero == std::string::npos) trimCutSequence(name);
  } else {
    name = ZAUtf8FromPage(raw, cpOem850);
  }
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

bool ZALooksLikeRawUtf8(std::string_view stored) {
  const std::string_view name = stored.substr(0, stored.find('\0'));
  return !isAscii(name) && ZAIsValidUtf8(name);
}

TZAStoredName ZAEncodeStoredName(std::string_view name, uint16_t versionMadeBy, uint16_t flags, bool oemFileNames) {
  const bool flagged = (flags & 0x0800) != 0;
  // ASCII reads the same either way, bytes that are not UTF-8 came raw from an
  // archive, and Unix readers take the bytes raw: all go back as they are,
  // flagged as the entry was, so the local header still agrees.
  if (isAscii(name) || !ZAIsValidUtf8(name) || (versionMadeBy >> 8) == kHostUnix) return {std::string(name), flagged};
  if (oemFileNames && !flagged) {
    if (auto oem = ZAPageFromUtf8(name, cpOem850)) return {std::move(*oem), false};
  }
  return {std::string(name), true};
}

}  // namespace zip
