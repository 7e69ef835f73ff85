#pragma once
#include <QString>

namespace backup {

// Trims the working set of the process running under exeName, when that is this program.
// Under another file name (or other letter case) nothing is found and nothing is trimmed.
void LibererMemoireProcessus(const QString& exeName);

}  // namespace backup
