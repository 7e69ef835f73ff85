#pragma once
// The search for the header that a killed pass of ours left unfinished in
// bytes that no entry owns: a stub in front of the first entry, a directory
// cut short behind the last one.
#include <cstdint>

#include "platform/core/streams.h"

namespace zip {

// The first header at or after from and before to that a pass of ours left
// unfinished (kUnfinishedEntrySignature), -1 when there is none. Since these
// bytes may be anything, a header is taken only with the exact fields the
// pass writes: our versions, methods and flags, a valid DOS date and time and
// a name without zero bytes.
int64_t ZAFindUnfinishedEntry(platform::TStream& stream, int64_t from, int64_t to, uint64_t streamSize);

}  // namespace zip
