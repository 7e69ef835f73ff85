// The settings file road: what is read from a file is what the next save writes back.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/roads/fuzz_roads.h"
#include "fuzz/roads/scratch_folder.h"
#include "platform/core/exceptions.h"
#include "platform/core/ini_file.h"

namespace fuzzroads {

namespace {

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The section and key names the bytes spell, found by a loose look at their lines: the reader
// decides which of them exist; each is then read before and after a save.
std::vector<std::pair<std::string, std::string>> namesIn(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> names;
  std::string section;
  std::size_t start = 0;
  while (start < text.size() && names.size() < 64) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = trimmed(text.substr(start, end - start));
    start = end + 1;
    if (!line.empty() && line[0] == '[') {
      section = trimmed(line.substr(1, line.find(']') == std::string::npos ? std::string::npos : line.find(']') - 1));
      names.emplace_back(section, "");
    } else if (const auto eq = line.find('='); eq != std::string::npos) {
      names.emplace_back(section, trimmed(line.substr(0, eq)));
    }
  }
  return names;
}

}  // namespace

Outcome iniFile(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  ScratchFolder scratch;
  const std::string file = (scratch / "serie.ini").string();
  {
    std::ofstream out(file, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  const auto names = namesIn(text);
  struct Read {
    bool section, value;
    std::string text;
    int number;
  };
  auto readAll = [&](const platform::IniFile& ini) {
    std::vector<Read> reads;
    for (const auto& [section, key] : names)
      reads.push_back({ini.sectionExists(section), ini.valueExists(section, key), ini.readString(section, key, "?"),
                       ini.readInteger(section, key, -7)});
    return reads;
  };
  std::vector<Read> before;
  try {
    platform::IniFile ini(file);
    before = readAll(ini);
    // A value of the program's own, so that the save writes the file anew.
    ini.writeInteger("Fuzz", "Marque", 1);
    ini.flush();
  } catch (const platform::Exception&) {
    return Outcome::StreamError;
  }
  const platform::IniFile again(file);
  const std::vector<Read> after = readAll(again);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const Read& b = before[i];
    const Read& a = after[i];
    if (b.section != a.section || b.value != a.value || b.text != a.text || b.number != a.number) {
      std::fprintf(stderr, "fuzz road finding: [%s] %s read \"%s\" before the save and \"%s\" after\n",
                   names[i].first.c_str(), names[i].second.c_str(), b.text.c_str(), a.text.c_str());
      std::abort();
    }
  }
  return Outcome::Done;
}

}  // namespace fuzzroads
