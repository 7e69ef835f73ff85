#pragma once
// The updater's answer to an error that no handler caught: a box with its message.
#include <string>

namespace updater {

void showApplicationError(const std::string& message);

}  // namespace updater
