#pragma once
// The one lock that every archiver instance of the program shares: an
// operation over selected entries holds it from start to end.
#include <mutex>

namespace zip {

std::recursive_mutex& ZAComponentLock();

}  // namespace zip
