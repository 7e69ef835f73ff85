#pragma once
// The header that a killed pass of ours leaves unfinished: everything from
// there on is what that pass wrote, not entries.
#include <cstddef>
#include <cstdint>
#include <span>

namespace zip {

// Bytes a header must start with to be worth a closer look: the signature
// the pass writes until the entry is whole, then our versions, flags and
// methods. Most bytes fail this at once.
inline constexpr size_t kUnfinishedSifted = 10;
bool ZAMayBeUnfinishedEntry(const uint8_t* first);

// Whether bytes (the 30 fixed bytes of a header, its name and extra field,
// or less) begin with a header of ours whose entry was still being written
// (kUnfinishedEntrySignature). Since bytes that no entry owns may be
// anything, a header is taken only with the exact fields the pass writes:
// our versions, methods and flags, a valid DOS date and time, a name without
// zero bytes, and the sizes that come before the data: a compressed size of
// 0, or the marker of the Zip64 block that the header alone carries.
// needed is set to how many bytes the answer takes when bytes hold fewer.
bool ZAUnfinishedEntryIn(std::span<const uint8_t> bytes, size_t& needed);

}  // namespace zip
