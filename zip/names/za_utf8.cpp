#include "zip/names/za_utf8.h"

namespace zip {

namespace {

// Length of the valid sequence at text[i] and its code point; 0 when invalid.
size_t sequenceAt(std::string_view text, size_t i, uint32_t& cp) {
  const auto b0 = static_cast<uint8_t>(text[i]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  size_t len;
  uint32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (text.size() - i < len) return 0;
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<uint8_t>(text[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::vector<uint32_t> ZADecodeUtf8(std::string_view text) {
  std::vector<uint32_t> out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    const size_t len = sequenceAt(text, i, cp);
    if (len == 0) {
      out.push_back(kRawByteBase + static_cast<uint8_t>(text[i]));
      ++i;
    } else {
      out.push_back(cp);
      i += len;
    }
  }
  return out;
}

bool ZAIsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    uint32_t cp = 0;
    const size_t len = sequenceAt(text, i, cp);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

void ZAAppendUtf8(std::string& out, uint32_t cp) {
  if (cp >= kRawByteBase) {
    out += static_cast<char>(cp - kRawByteBase);
  } else if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string ZAUtf8FromPage(std::string_view bytes, TZACodePage page) {
  std::string out;
  out.reserve(bytes.size());
  for (char c : bytes) ZAAppendUtf8(out, ZACodePointOf(static_cast<uint8_t>(c), page));
  return out;
}

std::optional<std::string> ZAPageFromUtf8(std::string_view text, TZACodePage page) {
  std::string out;
  out.reserve(text.size());
  for (uint32_t cp : ZADecodeUtf8(text)) {
    const int b = cp >= kRawByteBase ? -1 : ZAPageByteOf(cp, page);
    if (b < 0) return std::nullopt;
    out += static_cast<char>(b);
  }
  return out;
}

}  // namespace zip
