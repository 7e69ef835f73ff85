#pragma once
#include <cstddef>
#include <string>

namespace testsupport {

// Bytes that do not compress, the same for the same seed.
std::string randomBytes(std::size_t n, unsigned seed);

}  // namespace testsupport
