#pragma once
// The directory of an archive stored whole in an entry of another, met in a
// file whose own directory is lost: it lists that archive's local headers,
// which are never entries of the file.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/core/streams.h"

namespace zip {

// The positions in the stream of the local headers that the directory ended
// by the end record at position lists. Empty unless that directory reads back
// record for record up to the end record (or its Zip64 end record) and its
// offsets count from a point after the start of the stream, where an archive
// stored in an entry begins (this file's own directory counts from its start
// or from the end of a stub).
std::vector<uint64_t> ZAStoredArchiveHeaders(platform::TStream& stream, uint64_t position, uint64_t streamSize);

// Of the local headers a rebuild took (their positions, in file order), the
// first that the directory of an archive stored in an entry lists, where that
// directory stands before last, a header of this archive: nothing when none.
// A walk that meets such headers has lost its way into an entry's data, its
// header damaged.
std::optional<size_t> ZAFirstStoredArchiveEntry(platform::TStream& stream, const std::vector<uint64_t>& positions,
                                                uint64_t last, uint64_t streamSize);

// Whether a signed local header that a writer could have made stands at or after position.
bool ZALocalHeaderFrom(platform::TStream& stream, uint64_t position, uint64_t streamSize);

}  // namespace zip
