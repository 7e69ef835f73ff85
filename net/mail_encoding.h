#pragma once
// Encodings of a plain-text mail: header words, body, date.
#include <ctime>
#include <string>
#include <vector>

namespace net {

std::string base64(const std::string& bytes);
// A header value as is when it is printable ASCII, else as RFC 2047 UTF-8
// encoded words, folded so that no header line passes 76 characters.
std::string encodeHeaderValue(const std::string& text);
// True when the lines can travel as 7-bit text (ASCII, lines of at most 998 bytes).
bool fitsSevenBit(const std::vector<std::string>& lines);
// The lines as quoted-printable text with CRLF line ends.
std::string quotedPrintable(const std::vector<std::string>& lines);
// "Thu, 10 Dec 2026 10:15:00 +0100", in local time.
std::string mailDate(std::time_t when);

}  // namespace net
