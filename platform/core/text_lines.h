#pragma once
// Text cut into lines the way the class library's string lists take a text.
#include <QStringList>
#include <string_view>

namespace platform {

// A carriage return, a line feed or the pair CR LF ends a line (LF CR is two breaks); a break at
// the very end adds no empty last line. The bytes are UTF-8.
QStringList splitTextLines(std::string_view text);

}  // namespace platform
