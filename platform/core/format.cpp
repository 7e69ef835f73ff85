#include "platform/core/format.h"

#include <vector>

#include "platform/core/exceptions.h"

namespace platform {

namespace {

[[noreturn]] void invalidFormat(std::string_view format) {
  throw EConvertError("Format '" + std::string(format) + "' incorrect ou incompatible avec l'argument");
}

std::string digits(uint64_t v, unsigned base) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  do {
    out.insert(out.begin(), kDigits[v % base]);
    v /= base;
  } while (v != 0);
  return out;
}

std::string convert(char type, const FormatArg& arg, std::string_view format) {
  const auto& v = arg.value();
  if (type == 's') {
    if (const auto* s = std::get_if<std::string>(&v)) return *s;
    invalidFormat(format);
  }
  if (std::holds_alternative<std::string>(v)) invalidFormat(format);
  const bool isSigned = std::holds_alternative<int64_t>(v);
  const int64_t s = isSigned ? std::get<int64_t>(v) : 0;
  const uint64_t u = isSigned ? static_cast<uint64_t>(s) : std::get<uint64_t>(v);
  switch (type) {
    case 'd':
      if (isSigned && s < 0) return "-" + digits(0 - u, 10);
      return digits(u, 10);
    case 'u':
      // A negative value shows as its 32-bit two's complement, like the class library.
      return digits(isSigned && s < 0 ? static_cast<uint32_t>(s) : u, 10);
    case 'x': return digits(isSigned && s < 0 && s >= INT32_MIN ? static_cast<uint32_t>(s) : u, 16);
    default: invalidFormat(format);
  }
}

}  // namespace

std::string Format(std::string_view format, std::initializer_list<FormatArg> args) {
  const std::vector<FormatArg> list(args);
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (++i >= format.size()) invalidFormat(format);
    if (format[i] == '%') {
      out += '%';
      continue;
    }
    bool left = false;
    if (format[i] == '-') {
      left = true;
      if (++i >= format.size()) invalidFormat(format);
    }
    size_t width = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
      width = width * 10 + static_cast<size_t>(format[i] - '0');
      if (width > 4096) invalidFormat(format);
      ++i;
    }
    if (i >= format.size()) invalidFormat(format);
    const char type = static_cast<char>(format[i] | 0x20);  // the class library takes %D as %d
    if (next >= list.size()) invalidFormat(format);
    std::string field = convert(type, list[next++], format);
    if (field.size() < width) {
      const std::string pad(width - field.size(), ' ');
      field = left ? field + pad : pad + field;
    }
    out += field;
  }
  return out;
}

}  // namespace platform
