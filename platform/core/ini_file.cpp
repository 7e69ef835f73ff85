#include "platform/core/ini_file.h"

#include <fstream>
#include <sstream>
#include <string_view>

#include "platform/core/exceptions.h"
#include "platform/core/posix_file.h"
#include "platform/core/str_to_int.h"

namespace platform {

namespace {

void lowerAscii(std::string& s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
}

// Names match without regard to ASCII case: the indexes hold them lower-cased.
std::string nameKey(const std::string& name) {
  std::string key = name;
  lowerAscii(key);
  return key;
}

std::string_view trimmedView(std::string_view s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
}

bool readWholeFile(const std::string& fileName, std::string& text) {
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  text = std::move(all).str();
  return true;
}

// A line break inside a value would start a new key in the file.
std::string oneLine(std::string value) {
  for (char& c : value)
    if (c == '\r' || c == '\n') c = ' ';
  return value;
}

}  // namespace

IniFile::IniFile(std::string fileName) : fileName_(std::move(fileName)) { load(); }

IniFile::~IniFile() {
  try {
    flush();
  } catch (...) {
  }
}

void IniFile::load() {
  // Read whole and cut in place: no copy of a line that is not kept.
  std::string text;
  if (!readWholeFile(fileName_, text)) return;
  Section* current = nullptr;
  std::string lowered;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view t = trimmedView(line);
    if (t.empty() || t[0] == ';') continue;
    if (t[0] == '[') {
      const auto close = t.find(']');
      const std::string name(trimmedView(t.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1)));
      current = findSection(name);
      if (!current) current = &addSection(name);
      continue;
    }
    const auto eq = line.find('=');
    if (!current || eq == std::string_view::npos) continue;
    const std::string_view key = trimmedView(line.substr(0, eq));
    if (key.empty()) continue;
    // The first of two keys of one name is the one read.
    lowered.assign(key);
    lowerAscii(lowered);
    if (current->byKey.emplace(lowered, current->entries.size()).second)
      current->entries.push_back({std::string(key), std::string(line.substr(eq + 1))});
  }
}

IniFile::Section& IniFile::addSection(const std::string& name) {
  sections_.push_back({name, {}, {}, false});
  byName_[nameKey(name)] = sections_.size() - 1;
  return sections_.back();
}

const IniFile::Section* IniFile::findSection(const std::string& name) const {
  const auto found = byName_.find(nameKey(name));
  return found == byName_.end() ? nullptr : &sections_[found->second];
}

IniFile::Section* IniFile::findSection(const std::string& name) {
  const auto found = byName_.find(nameKey(name));
  return found == byName_.end() ? nullptr : &sections_[found->second];
}

const IniFile::Entry* IniFile::findEntry(const std::string& section, const std::string& key) const {
  const Section* s = findSection(section);
  if (!s) return nullptr;
  const auto found = s->byKey.find(nameKey(key));
  return found == s->byKey.end() ? nullptr : &s->entries[found->second];
}

std::string IniFile::readString(const std::string& section, const std::string& key, const std::string& def) const {
  const Entry* e = findEntry(section, key);
  const std::string& v = e ? e->value : def;
  return v.size() > maxValueLength ? v.substr(0, maxValueLength) : v;
}

int IniFile::readInteger(const std::string& section, const std::string& key, int def) const {
  const Entry* e = findEntry(section, key);
  if (!e) return def;
  return strToIntDef(readString(section, key, ""), def);
}

bool IniFile::valueExists(const std::string& section, const std::string& key) const {
  return findEntry(section, key) != nullptr;
}

bool IniFile::sectionExists(const std::string& section) const { return findSection(section) != nullptr; }

void IniFile::writeString(const std::string& section, const std::string& key, const std::string& value) {
  Section* s = findSection(section);
  if (!s) s = &addSection(section);
  dirty_ = true;
  const auto [found, added] = s->byKey.emplace(nameKey(key), s->entries.size());
  if (!added) {
    s->entries[found->second].value = oneLine(value);
    return;
  }
  s->entries.push_back({key, oneLine(value)});
}

void IniFile::writeInteger(const std::string& section, const std::string& key, int value) {
  writeString(section, key, std::to_string(value));
}

void IniFile::eraseSection(const std::string& section) {
  const auto found = byName_.find(nameKey(section));
  if (found == byName_.end()) return;
  // Left in place, out of the file: a section written again goes at the end, as before.
  Section& s = sections_[found->second];
  s.erased = true;
  s.entries.clear();
  s.byKey.clear();
  byName_.erase(found);
  dirty_ = true;
}

void IniFile::flush() {
  if (!dirty_) return;
  std::ostringstream out;
  for (const Section& s : sections_) {
    if (s.erased) continue;
    out << '[' << s.name << "]\r\n";
    for (const Entry& e : s.entries) out << e.key << '=' << e.value << "\r\n";
    out << "\r\n";
  }
  // Flushed to the disk with its folder: a power cut brings back the old file or the new one, never an empty one.
  if (!replaceFile(fileName_, out.str(), {.mode = std::nullopt, .sync = true}))
    throw EWriteError("Impossible d'écrire dans " + fileName_);
  dirty_ = false;
}

}  // namespace platform
