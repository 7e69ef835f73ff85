#pragma once
// The user's file masks ("*.doc", "rapport-??.txt"), matched the way the desktop's own
// file dialogs matched them: "*" and "?", ASCII case ignored, "*.*" for every name.
#include <string_view>

namespace platform {

// True when the file name (UTF-8, no folder) matches one mask. "*" stands for any run of
// characters, "?" for exactly one character (one UTF-8 sequence, not one byte); every other
// character stands for itself, ASCII letters in either case. An empty mask matches nothing.
bool matchesFileMask(std::string_view name, std::string_view mask);

}  // namespace platform
