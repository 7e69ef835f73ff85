// Every kept fuzz input, and every seed, replayed through the road that found it: no crash, no
// sanitizer report, and a clear result (read through, or refused by the component itself).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "fuzz/roads/fuzz_roads.h"

namespace {

namespace fs = std::filesystem;

struct Input {
  std::string road;
  fs::path file;
};

std::vector<Input> inputs() {
  std::vector<Input> all;
  for (const char* kind : {"regressions", "corpus"}) {
    const fs::path root = fs::path(PALVREN_FUZZ_DIR) / kind;
    if (!fs::is_directory(root)) continue;
    for (const auto& folder : fs::directory_iterator(root)) {
      if (!folder.is_directory()) continue;
      // The single-file archive seeds serve the three single-file roads.
      const std::string name = folder.path().filename().string();
      const std::vector<std::string> roads =
          name == "zip" ? std::vector<std::string>{"zip_list", "zip_test", "zip_extract"} : std::vector{name};
      for (const auto& file : fs::directory_iterator(folder.path()))
        for (const std::string& road : roads) all.push_back({road, file.path()});
    }
  }
  std::sort(all.begin(), all.end(),
            [](const Input& a, const Input& b) { return std::tie(a.road, a.file) < std::tie(b.road, b.file); });
  return all;
}

void PrintTo(const Input& in, std::ostream* os) { *os << in.road << " " << in.file.string(); }

class FuzzReplay : public ::testing::TestWithParam<Input> {};

TEST_P(FuzzReplay, EndsClearly) {
  const Input& in = GetParam();
  const fuzzroads::Road road = fuzzroads::roadNamed(in.road);
  ASSERT_NE(road, nullptr) << "no road named " << in.road;
  std::ifstream file(in.file, std::ios::binary);
  const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const fuzzroads::Outcome outcome = road(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  EXPECT_NE(outcome, fuzzroads::Outcome::StreamError) << in.file;
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzReplay, ::testing::ValuesIn(inputs()), [](const auto& info) {
  std::string name = info.param.road + "_" + info.param.file.parent_path().parent_path().filename().string() + "_" +
                     info.param.file.filename().string();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
});

}  // namespace
