#include "net/mail_encoding.h"

#include <algorithm>
#include <cstdio>

namespace net {

namespace {

bool printableAscii(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 || c > 0x7e) return false;
  return true;
}

// Length of the UTF-8 sequence that starts with lead (1 for stray bytes).
std::size_t sequenceLength(unsigned char lead) {
  if (lead >= 0xf0 && lead < 0xf8) return 4;
  if (lead >= 0xe0) return 3;
  if (lead >= 0xc0) return 2;
  return 1;
}

}  // namespace

std::string base64(const std::string& bytes) {
  static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    unsigned v = (unsigned char)bytes[i] << 16 | (unsigned char)bytes[i + 1] << 8 | (unsigned char)bytes[i + 2];
    out += digits[v >> 18];
    out += digits[(v >> 12) & 63];
    out += digits[(v >> 6) & 63];
    out += digits[v & 63];
  }
  if (i < bytes.size()) {
    unsigned v = (unsigned char)bytes[i] << 16;
    if (i + 1 < bytes.size()) v |= (unsigned char)bytes[i + 1] << 8;
    out += digits[v >> 18];
    out += digits[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string encodeHeaderValue(const std::string& text) {
  if (printableAscii(text)) return text;
  // Each encoded word holds at most 39 bytes (52 base64 characters), whole
  // UTF-8 characters only, so that a word after "Subject: " fits a line.
  const std::size_t maxBytes = 39;
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = i;
    while (end < text.size()) {
      std::size_t len = sequenceLength(static_cast<unsigned char>(text[end]));
      if (end + len - i > maxBytes) break;
      end += len;
    }
    if (end == i) end = std::min(text.size(), i + maxBytes);
    if (!out.empty()) out += "\r\n ";
    out += "=?UTF-8?B?" + base64(text.substr(i, end - i)) + "?=";
    i = end;
  }
  return out;
}

bool fitsSevenBit(const std::vector<std::string>& lines) {
  for (const auto& line : lines) {
    if (line.size() > 998) return false;
    for (unsigned char c : line)
      if (c >= 0x80 || (c < 0x20 && c != '\t')) return false;
  }
  return true;
}

std::string quotedPrintable(const std::vector<std::string>& lines) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (const auto& line : lines) {
    std::size_t column = 0;
    auto put = [&](const std::string& piece) {
      if (column + piece.size() > 75) {
        out += "=\r\n";
        column = 0;
      }
      out += piece;
      column += piece.size();
    };
    for (std::size_t i = 0; i < line.size(); ++i) {
      unsigned char c = static_cast<unsigned char>(line[i]);
      bool last = i + 1 == line.size();
      bool literal = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
      if (literal) put(std::string(1, static_cast<char>(c)));
      else put(std::string{'=', hex[c >> 4], hex[c & 15]});
    }
    out += "\r\n";
  }
  return out;
}

std::string mailDate(std::time_t when) {
  static const char* days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm t{};
  localtime_r(&when, &t);
  long offset = t.tm_gmtoff / 60;
  char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  char text[64];
  std::snprintf(text, sizeof text, "%s, %d %s %04d %02d:%02d:%02d %c%02ld%02ld", days[t.tm_wday], t.tm_mday,
                months[t.tm_mon], t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec, sign, offset / 60, offset % 60);
  return text;
}

}  // namespace net
