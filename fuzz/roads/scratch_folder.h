#pragma once
// A fresh folder for one input, in memory (/dev/shm) where the machine has it, removed with
// everything in it, whatever attributes an extracted entry gave its files and folders.
#include <filesystem>

namespace fuzzroads {

class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace fuzzroads
