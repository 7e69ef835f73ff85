#pragma once
// The class library's Format, as far as the message tables need it:
// %s, %d, %u, %x (upper-case hex), %% and an optional "-" and width ("%5d").
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace platform {

class FormatArg {
 public:
  FormatArg(int v) : value_(static_cast<int64_t>(v)) {}
  FormatArg(long v) : value_(static_cast<int64_t>(v)) {}
  FormatArg(long long v) : value_(static_cast<int64_t>(v)) {}
  FormatArg(unsigned v) : value_(static_cast<uint64_t>(v)) {}
  FormatArg(unsigned long v) : value_(static_cast<uint64_t>(v)) {}
  FormatArg(unsigned long long v) : value_(static_cast<uint64_t>(v)) {}
  FormatArg(const char* v) : value_(std::string(v)) {}
  FormatArg(std::string_view v) : value_(std::string(v)) {}
  FormatArg(const std::string& v) : value_(v) {}

  const std::variant<int64_t, uint64_t, std::string>& value() const { return value_; }

 private:
  std::variant<int64_t, uint64_t, std::string> value_;
};

// Raises EConvertError when a specifier is unknown, lacks its argument or
// does not suit it, as the class library does.
std::string Format(std::string_view format, std::initializer_list<FormatArg> args);

}  // namespace platform
