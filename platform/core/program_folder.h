#pragma once
// The program folder: settings, daily logs and the archive live beside the executable.
#include <QString>

namespace platform {

// With its trailing "/".
QString programFolder();
// Tests point the program at a folder of their own; an empty text puts the default back.
void setProgramFolder(const QString& folder);

}  // namespace platform
