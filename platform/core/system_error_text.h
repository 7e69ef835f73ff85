#pragma once
// The reason of a failed system call in French, as the program's messages give it.
#include <string>

namespace platform {

// The French text of an errno value; the system's own text for one we do not translate.
std::string systemErrorText(int sysError);

}  // namespace platform
