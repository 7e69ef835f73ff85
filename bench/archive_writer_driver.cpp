// Drives the archive writer over folders the way the backup run does (one lookup and two date
// reads per file, replace when the dates differ) and prints what it did and how long it took.
// Usage: archive_writer_driver [--rebuild] [--password P] ARCHIVE FOLDER...
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "backup/archive_writer.h"
#include "backup/file_size64.h"
#include "backup/stored_name.h"

namespace {

long long readChars() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long long value = 0;
  while (io >> key >> value)
    if (key == "rchar:") return value;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  bool rebuild = false;
  std::string password;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--rebuild") rebuild = true;
    else if (a == "--password" && i + 1 < argc) password = argv[++i];
    else args.push_back(a);
  }
  if (args.size() < 2) {
    std::cerr << "usage: archive_writer_driver [--rebuild] [--password P] ARCHIVE FOLDER...\n";
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  long long added = 0, replaced = 0, unchanged = 0, errors = 0;
  ArchiveWriter writer;
  writer.setPassword(password);
  writer.OnFileSkipped = [&](const platform::EFOpenError& e) { std::cerr << " : 1 " << e.what() << "\n"; };
  if (rebuild) std::filesystem::remove(args[0]);
  writer.open(args[0]);
  for (std::size_t f = 1; f < args.size(); ++f) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(args[f])) {
      if (!entry.is_regular_file()) continue;
      const std::string path = entry.path().string();
      if (FileSize64(path) < 1) continue;
      try {
        const std::string name = StoredArchiveName(path);
        const auto index = rebuild ? -1 : writer.find(name);
        if (index < 0) {
          writer.add(path);
          ++added;
        } else if (writer.addedInRun(index) || ArchiveWriter::fileDate(path) == writer.entryDate(index)) {
          ++unchanged;
        } else {
          writer.remove(name);
          writer.add(path);
          ++replaced;
        }
      } catch (const std::exception& e) {
        std::cerr << " : 2 " << e.what() << "\n";
        ++errors;
      }
    }
  }
  const auto walked = std::chrono::steady_clock::now();
  writer.save();
  writer.close();
  const auto saved = std::chrono::steady_clock::now();
  const auto seconds = [](auto a, auto b) { return std::chrono::duration<double>(b - a).count(); };
  std::printf("added %lld replaced %lld unchanged %lld errors %lld walk %.3f s save %.3f s total %.3f s read %lld bytes\n",
              added, replaced, unchanged, errors, seconds(start, walked), seconds(walked, saved), seconds(start, saved),
              readChars());
  return errors == 0 ? 0 : 1;
}
