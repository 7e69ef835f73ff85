#include "fuzz/roads/fuzz_roads.h"

namespace fuzzroads {

const char* outcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::Done: return "done";
    case Outcome::Refused: return "refused";
    case Outcome::StreamError: return "stream error";
  }
  return "?";
}

const std::vector<NamedRoad>& roads() {
  static const std::vector<NamedRoad> all{
      {"zip_list", zipList}, {"zip_test", zipTest},   {"zip_extract", zipExtract},   {"zip_split", zipSplit},
      {"ini_file", iniFile}, {"ftp_reply", ftpReply}, {"version_page", versionPage},
  };
  return all;
}

Road roadNamed(std::string_view name) {
  for (const NamedRoad& r : roads())
    if (name == r.name) return r.road;
  return nullptr;
}

}  // namespace fuzzroads
