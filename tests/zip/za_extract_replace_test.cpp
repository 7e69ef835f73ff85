// Extraction over an existing file: the file is replaced only by data that
// checked out whole; on any failure or cancel it stays as it was, and no
// temporary file is left behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "support/random_bytes.h"
#include "support/temp_dir.h"
#include "zip/za_archive_fixture.h"
#include "zip/za_archiver.h"
#include "zip/zip_builder.h"

using namespace zip;

namespace {

namespace fs = std::filesystem;

enum class Place { File, RunningProgram, Link };
enum class Left { Old, New };

struct ReplaceCase {
  const char* label;
  Place place;
  std::function<void(ziptest::ZipEntry&)> spoil;
  bool cancelWhileCopying;
  Left left;
};

// A child process that runs the file at path until it is stopped.
class Running {
 public:
  explicit Running(const fs::path& program) {
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execl(program.c_str(), program.c_str(), "30", static_cast<char*>(nullptr));
      ::_exit(127);
    }
  }
  ~Running() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  bool alive() const { return ::waitpid(pid_, nullptr, WNOHANG) == 0; }
  // Waits until the child's image is the program (a second at most).
  bool runs(const fs::path& program) const {
    const fs::path exe = "/proc/" + std::to_string(pid_) + "/exe";
    for (int i = 0; i < 100; ++i) {
      std::error_code ec;
      if (fs::read_symlink(exe, ec) == program) return true;
      ::usleep(10000);
    }
    return false;
  }

 private:
  pid_t pid_ = -1;
};

TEST(ExtractReplace, TargetIsTheOldFileOrTheNewOneWhole) {
  const std::string fresh = testsupport::randomBytes(300000, 11);
  const ReplaceCase cases[] = {
      {"good entry", Place::File, nullptr, false, Left::New},
      {"CRC damaged", Place::File, [](auto& e) { e.crc = ziptest::crcOf(e.plain) ^ 1u; }, false, Left::Old},
      {"data cut short", Place::File,
       [](auto& e) {
         e.data = ziptest::rawDeflate(e.plain.substr(0, e.plain.size() / 2));
         e.method = 8;
       },
       false, Left::Old},
      {"entry past the end", Place::File, [](auto& e) { e.compressedSize = 0x7FFFFFF0u; }, false, Left::Old},
      {"cancel while copying", Place::File, nullptr, true, Left::Old},
      {"running program", Place::RunningProgram, nullptr, false, Left::New},
      {"symbolic link", Place::Link, nullptr, false, Left::New},
      {"symbolic link, CRC damaged", Place::Link, [](auto& e) { e.crc = ziptest::crcOf(e.plain) ^ 1u; }, false,
       Left::Old},
  };
  for (const ReplaceCase& c : cases) {
    SCOPED_TRACE(c.label);
    testsupport::TempDir work;
    const fs::path base = work / "base";
    const fs::path target = base / "prog";
    fs::create_directories(base);
    testsupport::writeFile(work / "outside", "hors de la base");
    std::string old;
    std::unique_ptr<Running> running;
    switch (c.place) {
      case Place::File:
        old = testsupport::randomBytes(5000, 3);
        testsupport::writeFile(target, old);
        break;
      case Place::RunningProgram:
        fs::copy_file("/bin/sleep", target);
        old = testsupport::readFile(target);
        running = std::make_unique<Running>(target);
        break;
      case Place::Link: fs::create_symlink(work / "outside", target); break;
    }
    if (c.place != Place::Link) fs::permissions(target, fs::perms(0755));
    if (running) {
      ASSERT_TRUE(running->runs(target));
    }

    ziptest::ZipBuilder b;
    ziptest::ZipEntry& e = b.addStored("prog", fresh);
    e.plain = fresh;
    if (c.spoil) c.spoil(e);
    testsupport::writeFile(work / "a.zip", b.build());

    const int failures = ziptest::extractIgnoringFailures(work / "a.zip", base, c.cancelWhileCopying);

    EXPECT_EQ(failures, c.left == Left::Old && !c.cancelWhileCopying ? 1 : 0);
    if (c.left == Left::New) {
      EXPECT_FALSE(fs::is_symlink(target));
      EXPECT_EQ(testsupport::readFile(target), fresh);
      if (c.place != Place::Link) {
        EXPECT_EQ(fs::status(target).permissions(), fs::perms(0755));
      }
    } else if (c.place == Place::Link) {
      EXPECT_TRUE(fs::is_symlink(target));
    } else {
      EXPECT_EQ(testsupport::readFile(target), old);
    }
    EXPECT_EQ(testsupport::readFile(work / "outside"), "hors de la base");
    if (running) {
      EXPECT_TRUE(running->alive());
    }
    for (const auto& f : fs::directory_iterator(base)) {
      EXPECT_NE(f.path().filename().string().rfind("ZT", 0), 0u) << f.path();
    }
  }
}

}  // namespace
