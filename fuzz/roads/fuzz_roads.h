#pragma once
// The roads the fuzz targets drive, one per input kind. The normal test suite replays the kept
// inputs through the same functions, so a finding and its regression test run the same code.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fuzzroads {

// How one input ended. A road aborts (a finding) rather than return on anything else: an
// unexpected exception type, a file left where none may be, more bytes written than declared.
enum class Outcome {
  Done,         // read through without a refusal
  Refused,      // the component's own error (EZAException, a failure event, EIdException, EConvertError)
  StreamError,  // a stream error of the platform layer left the component
};
const char* outcomeName(Outcome outcome);

using Road = Outcome (*)(const uint8_t* data, std::size_t size);

struct NamedRoad {
  const char* name;  // also the folder of its seeds and kept inputs
  Road road;
};
// Every road by name, in a fixed order.
const std::vector<NamedRoad>& roads();
// The road of that name; null when there is none.
Road roadNamed(std::string_view name);

// Opens the bytes as an archive, as the updater does, and lists it.
Outcome zipList(const uint8_t* data, std::size_t size);
// Opens, lists and tests every entry.
Outcome zipTest(const uint8_t* data, std::size_t size);
// Opens, lists and extracts every entry below a fresh folder.
Outcome zipExtract(const uint8_t* data, std::size_t size);
// A split set: a 5-byte head (flags, two little-endian cut offsets) then the bytes cut into
// 2 or 3 volumes; opened from its last volume, listed, tested and extracted.
Outcome zipSplit(const uint8_t* data, std::size_t size);
// The settings file: read, every key found read back, saved and read again alike.
Outcome iniFile(const uint8_t* data, std::size_t size);
// The bytes as an FTP server's control connection: replies read until the connection ends.
Outcome ftpReply(const uint8_t* data, std::size_t size);
// The bytes as the body of the version page: read into the updater's memo, first line as a date.
Outcome versionPage(const uint8_t* data, std::size_t size);

}  // namespace fuzzroads
