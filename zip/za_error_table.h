#pragma once
// The component's message list and its code table.
#include <cstdint>
#include <string_view>

namespace zip {

// The codes the component raises (EZAException's NativeError); the table
// below gives each its message.
enum TZAErrorCode : int32_t {
  zeSetItemIndex = 1,       // a directory item set out of range
  zeGetItemIndex = 2,       // a directory item read out of range
  zeItemPtrIndex = 3,       // a directory item reached out of range
  zeDeleteItemIndex = 4,    // a directory item deleted out of range
  zeCompressionMode = 5,    // a compression mode outside 0-9
  zeKeptEntryMissing = 7,   // a kept entry has no data to copy from
  zeBadEntryData = 8,       // sizes, check or method of an entry do not hold
  zeDefaultOpenNoName = 9,  // opening without a file name
  zeOpenNoName = 10,        // opening in a given mode without a file name
  zeArchiveNotFound = 12,   // opening a file that is not there
  zeNotActive = 13,         // the archive is not open
  zeExtractIndex = 16,      // extracting an entry out of range
  zeCannotCreateFile = 19,
  zeCannotCreateFolder = 20,
  zeDeleteIndex = 21,        // deleting an entry out of range
  zeDeleteNotUpdating = 22,  // deleting outside an update
  zeAddItemIndex = 24,       // replacing an entry out of range
  zeAddNotUpdating = 25,     // adding or replacing outside an update
  zeUpdateNotEnded = 26,
  zeCannotDeleteFile = 27,
  zeNotInMemoryOnly = 28,  // an in-memory archive can only be created
  zeInMemoryNoName = 29,   // leaving memory without a file name
  zeReadOnly = 32,
  zeCannotOpenFile = 33,
  zeCompressedSize = 34,  // a source read short of its size
  zeInvalidArchive = 35,
  zeZip64EndMissing = 40,
  zeZip64OffCompressed = 41,  // a compressed entry outgrew the 32-bit fields
  zeZip64Off = 43,            // an entry needs Zip64 and it is off
  zeOpenFailed = 44,          // a multi-volume archive without its end record
  zeVolumeCancelled = 45,     // a volume was asked for and not given
  zeWriteFailed = 46,
  zeStubTooLarge = 47,  // the SFX stub does not fit on a volume
  zeDamagedArchive = 48,
  zeSpannedModification = 52,  // a spanned archive changed outside one update
  zeDeflate64 = 55,
};

struct TZAErrorPair {
  int32_t Code;
  int32_t MessageNumber;  // -1: the code has no text of its own
};

struct TZipArchiverErrorTable {
  static constexpr int kMessageCount = 34;
  static constexpr int kCodeCount = 61;
  static const std::string_view Messages[kMessageCount];
  static const TZAErrorPair Codes[kCodeCount];
};

inline constexpr TZipArchiverErrorTable ZipArchiverErrorTable{};

}  // namespace zip
