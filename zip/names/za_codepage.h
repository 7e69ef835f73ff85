#pragma once
// The 8-bit code pages the component meets: IBM 850 for stored names, the
// Windows pages of the fixed collation.
#include <cstdint>

namespace zip {

enum TZACodePage : uint8_t { cpOem850, cpWindows1252, cpWindows1254 };

uint32_t ZACodePointOf(uint8_t byte, TZACodePage page);
// The byte that stands for the code point in the page, -1 when the page lacks it.
int ZAPageByteOf(uint32_t codePoint, TZACodePage page);

}  // namespace zip
