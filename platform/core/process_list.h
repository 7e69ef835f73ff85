#pragma once
// The running processes, read from /proc.
#include <sys/types.h>

#include <string>
#include <vector>

namespace platform {

struct ProcessEntry {
  pid_t pid;
  std::string exeName;  // base name of /proc/PID/exe
};

// Processes whose executable can be read (other users' are left out), in /proc order.
std::vector<ProcessEntry> processList();
// Base name of a process's executable; empty when it cannot be read.
std::string executableName(pid_t pid);
// Base name of this process's executable.
std::string currentExecutableName();

}  // namespace platform
