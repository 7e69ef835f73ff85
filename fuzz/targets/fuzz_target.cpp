// One libFuzzer target; FUZZ_ROAD names its road (see fuzz_roads.h).
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "fuzz/roads/fuzz_roads.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // The version page road builds a window; no road ever shows one.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // Kept to the end: the road's window must never outlive it in a static destructor.
  new QApplication(*argc, *argv);
  if (!fuzzroads::roadNamed(FUZZ_ROAD)) {
    std::fprintf(stderr, "no road named %s\n", FUZZ_ROAD);
    std::exit(2);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzzroads::Road road = fuzzroads::roadNamed(FUZZ_ROAD);
  const fuzzroads::Outcome outcome = road(data, size);
  // PALVREN_FUZZ_VERBOSE=1 shows how each input ended, to check seeds and kept inputs.
  static const bool verbose = std::getenv("PALVREN_FUZZ_VERBOSE") != nullptr;
  if (verbose) std::fprintf(stderr, "%s: %s (%zu bytes)\n", FUZZ_ROAD, fuzzroads::outcomeName(outcome), size);
  return 0;
}
