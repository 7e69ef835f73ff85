#include "platform/core/ini_file.h"

#include <fstream>
#include <sstream>

#include "platform/core/exceptions.h"
#include "platform/core/posix_file.h"
#include "platform/core/str_to_int.h"

namespace platform {

namespace {

bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t");
  return s.substr(first, last - first + 1);
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
  std::ifstream in(fileName_, std::ios::binary);
  if (!in) return;
  std::string line;
  Section* current = nullptr;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string t = trimmed(line);
    if (t.empty() || t[0] == ';') continue;
    if (t[0] == '[') {
      const auto close = t.find(']');
      const std::string name = trimmed(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      current = findSection(name);
      if (!current) {
        sections_.push_back({name, {}});
        current = &sections_.back();
      }
      continue;
    }
    const auto eq = line.find('=');
    if (!current || eq == std::string::npos) continue;
    const std::string key = trimmed(line.substr(0, eq));
    if (key.empty()) continue;
    bool seen = false;
    for (const Entry& e : current->entries) seen = seen || sameName(e.key, key);
    if (!seen) current->entries.push_back({key, line.substr(eq + 1)});
  }
}

const IniFile::Section* IniFile::findSection(const std::string& name) const {
  for (const Section& s : sections_)
    if (sameName(s.name, name)) return &s;
  return nullptr;
}

IniFile::Section* IniFile::findSection(const std::string& name) {
  for (Section& s : sections_)
    if (sameName(s.name, name)) return &s;
  return nullptr;
}

const IniFile::Entry* IniFile::findEntry(const std::string& section, const std::string& key) const {
  const Section* s = findSection(section);
  if (!s) return nullptr;
  for (const Entry& e : s->entries)
    if (sameName(e.key, key)) return &e;
  return nullptr;
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
  if (!s) {
    sections_.push_back({section, {}});
    s = &sections_.back();
  }
  dirty_ = true;
  for (Entry& e : s->entries)
    if (sameName(e.key, key)) {
      e.value = oneLine(value);
      return;
    }
  s->entries.push_back({key, oneLine(value)});
}

void IniFile::writeInteger(const std::string& section, const std::string& key, int value) {
  writeString(section, key, std::to_string(value));
}

void IniFile::eraseSection(const std::string& section) {
  for (auto it = sections_.begin(); it != sections_.end(); ++it)
    if (sameName(it->name, section)) {
      sections_.erase(it);
      dirty_ = true;
      return;
    }
}

void IniFile::flush() {
  if (!dirty_) return;
  std::ostringstream out;
  for (const Section& s : sections_) {
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
