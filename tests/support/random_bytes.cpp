#include "support/random_bytes.h"

#include <random>

namespace testsupport {

std::string randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

}  // namespace testsupport
