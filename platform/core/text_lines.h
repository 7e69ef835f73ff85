#pragma once
// Text cut into lines the way the class library's string lists take a text.
#include <QStringList>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A carriage return, a line feed or the pair CR LF ends a line (LF CR is two breaks); a break at
// the very end adds no empty last line. The bytes are UTF-8.
QStringList splitTextLines(std::string_view text);

// The first whole line of bytes received so far, taken out of the buffer without its LF (or CR LF);
// nothing while no LF has arrived.
std::optional<std::string> takeReceivedLine(std::string& buffer);

}  // namespace platform
