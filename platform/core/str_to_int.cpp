#include "platform/core/str_to_int.h"

#include <cstdint>

#include "platform/core/exceptions.h"

namespace platform {

bool tryStrToInt(const std::string& text, int& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i == text.size()) return false;
  std::int64_t n = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    n = n * base + d;
    // Hexadecimal may spell the whole 32-bit pattern ("0xFFFFFFFF" is -1), decimal may not.
    if (n > (base == 16 ? 0xFFFFFFFFLL : 0x80000000LL)) return false;
  }
  if (base == 16) {
    value = static_cast<int>(static_cast<std::uint32_t>(n));
    if (negative) value = static_cast<int>(0u - static_cast<std::uint32_t>(value));
    return true;
  }
  if (negative) n = -n;
  if (n > INT32_MAX || n < INT32_MIN) return false;
  value = static_cast<int>(n);
  return true;
}

int strToInt(const std::string& text) {
  int v = 0;
  if (!tryStrToInt(text, v)) throw EConvertError::invalidInteger(text);
  return v;
}

int strToIntDef(const std::string& text, int def) {
  int v = 0;
  return tryStrToInt(text, v) ? v : def;
}

}  // namespace platform
