#pragma once
// Ends the running backup program before its files are replaced.
#include <QString>
#include <functional>
#include <vector>

#include "platform/core/process_list.h"

namespace updater {

// Terminates the first process in the list whose executable name equals name, ASCII case
// ignored; at most one. True when that termination succeeded.
bool KillProcessByName(const QString& name);

// Where the list of running processes comes from: a test narrows it to the processes it started,
// so that a real program of that name elsewhere on the machine is never touched. Empty: all.
using ProcessSource = std::function<std::vector<platform::ProcessEntry>()>;
void setProcessSource(ProcessSource source);

}  // namespace updater
