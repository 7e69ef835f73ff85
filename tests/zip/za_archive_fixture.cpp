#include "zip/za_archive_fixture.h"

#include <gtest/gtest.h>

#include "support/random_bytes.h"
#include "support/temp_dir.h"
#include "support/scoped_responder.h"
#include "zip/za_archiver.h"
#include "zip/za_failure_log.h"
#include "zip/zip_builder.h"

namespace ziptest {

namespace fs = std::filesystem;

// Every tool that reads ZIP files accepts the archive.
void expectSound(const std::string& archive, const std::string& password) {
  const std::string q = shellQuote(archive);
  const std::string pw = password.empty() ? "" : " -P " + shellQuote(password);
  EXPECT_EQ(runCommand("unzip -tq" + pw + " " + q + " 2>&1").status, 0) << runCommand("unzip -t" + pw + " " + q).out;
  // python's test takes no password: encrypted archives are read by contentsOf instead.
  if (password.empty()) {
    EXPECT_EQ(runCommand("/usr/bin/python3 -m zipfile -t " + q + " >/dev/null 2>&1").status, 0);
  }
  const std::string pw7 = password.empty() ? " -p-" : " -p" + shellQuote(password);
  EXPECT_EQ(runCommand("7z t" + pw7 + " " + q + " >/dev/null 2>&1").status, 0) << runCommand("7z t " + q).out;
}

void replaceOrAdd(zip::TZipArchiver& archiver, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    int32_t at = -1;
    for (int32_t i = 0; i < archiver.EntryCount() && at < 0; ++i)
      if (archiver.Entry(i).FileName() == name) at = i;
    if (at >= 0) archiver.AddItemForFile(at, name);
    else archiver.AddFile(name);
  }
}

Tree sampleTree() {
  const std::string noise = testsupport::randomBytes(300000, 42);
  std::string text;
  for (int i = 0; text.size() < 2500000; ++i) text += "ligne " + std::to_string(i) + " du journal de sauvegarde\n";
  return {
      {"a.txt", "bonjour\n"}, {"empty.txt", ""},          {"sub/", ""},  {"sub/noise.bin", noise},
      {"sub/deep/", ""},      {"sub/deep/log.txt", text}, {"vide/", ""},
  };
}

void writeTree(const fs::path& root, const Tree& tree) {
  for (const auto& [name, content] : tree) {
    if (name.back() == '/') fs::create_directories(root / name);
    else testsupport::writeFile(root / name, content);
  }
}

Tree readTree(const fs::path& root) {
  Tree out;
  if (!fs::exists(root)) return out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string rel = fs::relative(e.path(), root).string();
    if (e.is_directory()) out[rel + "/"] = "";
    else out[rel] = testsupport::readFile(e.path());
  }
  return out;
}

std::string treeDiff(const Tree& got, const Tree& want) {
  constexpr size_t kShown = 20;
  std::string out;
  size_t lines = 0;
  const auto line = [&](const std::string& text) {
    if (lines++ < kShown) out += text + "\n";
  };
  for (const auto& [name, content] : want) {
    const auto it = got.find(name);
    if (it == got.end()) line("missing " + name);
    else if (it->second != content) line("differs " + name + " (" + std::to_string(it->second.size()) + " bytes)");
  }
  for (const auto& [name, content] : got) {
    if (!want.count(name)) line("extra " + name);
  }
  if (lines > kShown) out += "and " + std::to_string(lines - kShown) + " more\n";
  return out;
}

int extractIgnoringFailures(const fs::path& archive, const fs::path& base, bool cancelWhileCopying) {
  using namespace zip;
  testsupport::ScopedResponder noDialogs;
  FailureLog failures;
  TZipArchiver a;
  a.FileName = archive.string();
  failures.listen(a);
  a.OnFileProgress = [&](TZABaseArchiver*, const std::string&, double, TZAProcessOperation, TZAProgressPhase phase,
                         bool& cancel) { cancel = cancelWhileCopying && phase == ppProcess; };
  a.OpenArchive(0x20);
  a.BaseDir = base.string();
  a.ExtractFiles("*.*", 0x28BF, "");
  a.CloseArchive();
  return static_cast<int>(failures.size());
}

std::string runIn(const fs::path& folder, const std::string& command) {
  const CommandResult r = runCommand("cd " + shellQuote(folder.string()) + " && " + command + " 2>&1");
  EXPECT_EQ(r.status, 0) << command << "\n" << r.out;
  return r.out;
}

}  // namespace ziptest
