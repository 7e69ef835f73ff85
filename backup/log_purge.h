#pragma once
// The rule that removes old daily log files at the start of a run. Dates are day counts
// (days since 30 December 1899 plus the time as a fraction of a day), in local time.
#include <ctime>
#include <string>

namespace backup::logpurge {

// A file's last-write time as a local day count, in the two-second steps of DOS file
// dates (an odd second is cut to the even second below, fractions of a second dropped).
double dosFileDayCount(std::time_t lastWrite);

// True when a file time is strictly earlier than now minus the kept days.
bool isPastKeptDays(double fileDayCount, double now, int keptDays);

// Deletes the file when it is past the kept days; true when it was deleted. Only a
// regular file is ever deleted, never a symbolic link or what it points to; a failed
// deletion leaves the file in place and is not reported.
bool purgeOldLogFile(const std::string& path, double now, int keptDays);

}  // namespace backup::logpurge
