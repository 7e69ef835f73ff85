#pragma once
// The lines of the version page's body.
#include <QStringList>
#include <string_view>

namespace updater {

// A carriage return, a line feed or the pair of them ends a line; a break at the very end adds no
// empty last line. An empty body reads as the single line "0".
QStringList splitPageLines(std::string_view body);

}  // namespace updater
