#pragma once
// The resume's slice: the part of the archive that the server does not hold yet.
#include <QString>
#include <cstdint>

namespace backup {

// Writes bytes [from, to) of the archive into the slice file, replacing it. Raises the stream
// errors (EFOpenError, EFCreateError, EReadError, EWriteError).
void WriteArchiveSlice(const QString& archive, const QString& slice, std::int64_t from, std::int64_t to);

}  // namespace backup
