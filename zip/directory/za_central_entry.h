#pragma once
// A whole central directory entry: the fixed header, the name, the extra
// field and the comment.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "zip/directory/za_dir_item.h"

namespace zip {

// Reads the entry at pos into item and moves pos past it. Gives false, with
// item and pos untouched, when the entry runs past the end of the buffer.
bool ReadCentralEntry(std::span<const uint8_t> buffer, size_t& pos, bool oemFileNames, TDirItem& item);

// Reads the fields after the fixed header: tail holds exactly the name, extra
// field and comment that the header announces (false when it does not).
bool ReadCentralEntryTail(const TZipCentralHeader& header, std::span<const uint8_t> tail, bool oemFileNames,
                          TDirItem& item);

// Takes the values a Zip64 block holds for the fields that carry their marker;
// a value whose full width is missing stays 0.
void ApplyZip64Block(TDirItem& item, const ExtraBlock& block);

// Bytes of the Zip64 block (head included) that the item's markers call for; 0 when none.
uint16_t Zip64ExtraSize(const TZipCentralHeader& header);
// The central extra field as written: a Zip64 block rebuilt from the item's
// values first, then its other blocks in their order. Blocks that would push
// the field past 65535 bytes are left out, so the length always fits its field.
std::vector<uint8_t> EncodeCentralExtraField(const TDirItem& item);
uint16_t CentralExtraFieldLength(const TDirItem& item);

// The entry as the directory writer puts it down, with its extra-field and
// comment lengths set from what follows the header.
std::vector<uint8_t> EncodeCentralEntry(const TDirItem& item, bool oemFileNames);

}  // namespace zip
