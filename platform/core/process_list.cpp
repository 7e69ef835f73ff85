#include "platform/core/process_list.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace platform {

namespace {
std::string exeBaseName(const std::string& link) {
  std::error_code ec;
  const std::filesystem::path target = std::filesystem::read_symlink(link, ec);
  if (ec) return {};
  std::string name = target.filename().string();
  // A replaced executable reads as "name (deleted)".
  const std::string deleted = " (deleted)";
  if (name.size() > deleted.size() && name.ends_with(deleted)) name.resize(name.size() - deleted.size());
  return name;
}
}  // namespace

std::vector<ProcessEntry> processList() {
  std::vector<ProcessEntry> out;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string exe = exeBaseName(entry.path().string() + "/exe");
    if (exe.empty()) continue;
    out.push_back({static_cast<pid_t>(std::atoi(name.c_str())), std::move(exe)});
  }
  return out;
}

std::string executableName(pid_t pid) { return exeBaseName("/proc/" + std::to_string(pid) + "/exe"); }

std::string currentExecutableName() { return exeBaseName("/proc/self/exe"); }

}  // namespace platform
