#pragma once
// UTF-8, the text of names on disk and of every name handed to callers.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zip/names/za_codepage.h"

namespace zip {

// A byte that is not part of a valid sequence decodes to kRawByteBase + byte,
// so that raw names still compare and match character by character.
inline constexpr uint32_t kRawByteBase = 0x110000;

std::vector<uint32_t> ZADecodeUtf8(std::string_view text);
bool ZAIsValidUtf8(std::string_view text);
void ZAAppendUtf8(std::string& out, uint32_t codePoint);

// 8-bit text of a page to UTF-8, and back (nothing when a character has no byte there).
std::string ZAUtf8FromPage(std::string_view bytes, TZACodePage page);
std::optional<std::string> ZAPageFromUtf8(std::string_view text, TZACodePage page);

}  // namespace zip
