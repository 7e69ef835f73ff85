#pragma once

namespace platform {

// Hands the process's free heap pages back to the system; the process can only trim itself.
void trimOwnWorkingSet();

}  // namespace platform
