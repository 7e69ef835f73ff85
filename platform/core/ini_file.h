#pragma once
// INI profile file: sections and keys match without regard to ASCII case, values are kept verbatim.
// Writes stay in memory until flush(), which replaces the whole file atomically so that a crash
// in the middle of a save never leaves a half-written settings file behind. Sections and keys
// are found through indexes, so that loading and saving stay linear in the file's size.
#include <string>
#include <deque>
#include <unordered_map>
#include <vector>

namespace platform {

class IniFile {
 public:
  explicit IniFile(std::string fileName);
  ~IniFile();  // flushes pending writes; errors are dropped here, call flush() to see them
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  const std::string& fileName() const { return fileName_; }

  // A value read back is cut at 2047 characters, as the profile functions did.
  std::string readString(const std::string& section, const std::string& key, const std::string& def) const;
  // Delphi-style whole number ("0x" hexadecimal allowed); anything else gives def.
  int readInteger(const std::string& section, const std::string& key, int def) const;
  bool valueExists(const std::string& section, const std::string& key) const;
  bool sectionExists(const std::string& section) const;

  void writeString(const std::string& section, const std::string& key, const std::string& value);
  void writeInteger(const std::string& section, const std::string& key, int value);
  void eraseSection(const std::string& section);

  // Writes the whole file through a temporary file, flush and rename; mode 0600.
  // Raises EWriteError "Impossible d'écrire dans %s" when that fails.
  void flush();

  static constexpr std::size_t maxValueLength = 2047;

 private:
  struct Entry {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Entry> entries;
    std::unordered_map<std::string, std::size_t> byKey;  // lower-case key -> entry
    bool erased = false;                                  // left out of the file and of lookups
  };
  const Section* findSection(const std::string& name) const;
  Section* findSection(const std::string& name);
  Section& addSection(const std::string& name);
  const Entry* findEntry(const std::string& section, const std::string& key) const;
  void load();

  std::string fileName_;
  std::deque<Section> sections_;  // grows without moving what it holds
  std::unordered_map<std::string, std::size_t> byName_;  // lower-case name -> live section
  bool dirty_ = false;
};

}  // namespace platform
