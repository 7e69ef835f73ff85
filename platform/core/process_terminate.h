#pragma once
// Ends another process of ours at once, as the updater does before it replaces the program files.
#include <sys/types.h>

#include <string>

namespace platform {

// Opens the process by a pidfd, so that a number reused by the system in the meantime is never
// hit, checks that it still runs expectedExe (base name of /proc/PID/exe; empty: no check) and
// kills it. False when it cannot be opened (gone, another user's) or the signal is refused.
bool terminateProcess(pid_t pid, const std::string& expectedExe = {});

}  // namespace platform
