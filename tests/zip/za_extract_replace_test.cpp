// Extraction over an existing file: the file is replaced only by data that
// checked out whole; on any failure or cancel it stays as it was, and no
// temporary file is left behind.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ptrace.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/core/posix_file.h"
#include "support/random_bytes.h"
#include "support/scoped_responder.h"
#include "support/temp_dir.h"
#include "zip/za_archive_fixture.h"
#include "zip/za_archiver.h"
#include "zip/za_failure_log.h"
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

// Many files over an older copy of each, all small enough for one batch.
struct OlderCopy {
  static constexpr int kFiles = 12;
  testsupport::TempDir work;
  fs::path base = work / "base";
  fs::path archive = work / "a.zip";
  std::vector<std::string> olds, news;

  OlderCopy() {
    fs::create_directories(base / "sub");
    ziptest::ZipBuilder b;
    for (int i = 0; i < kFiles; ++i) {
      olds.push_back(testsupport::randomBytes(3000 + i, 100 + i));
      news.push_back(testsupport::randomBytes(7000 + i, 200 + i));
      testsupport::writeFile(base / name(i), olds.back());
      b.addStored(name(i), news.back());
    }
    testsupport::writeFile(archive, b.build());
  }
  static std::string name(int i) { return (i % 2 ? "sub/f" : "f") + std::to_string(i); }
  // The files in the base's folders that a stopped extraction left.
  std::vector<fs::path> unfinished() const {
    std::vector<fs::path> out;
    for (const auto& f : fs::recursive_directory_iterator(base))
      if (f.is_regular_file() && f.path().filename().string().rfind("ZT", 0) == 0) out.push_back(f.path());
    return out;
  }
};

// What a traced extraction did before it was killed.
struct Traced {
  int renames = 0;  // renames that went through
  bool killed = false;
  bool flushedFirst = false;  // the first rename came after a flush, with no write between
};

bool isRename(long nr) { return nr == SYS_rename || nr == SYS_renameat || nr == SYS_renameat2; }
bool isFlush(long nr) { return nr == SYS_fsync || nr == SYS_fdatasync || nr == SYS_syncfs || nr == SYS_sync; }
bool isWrite(long nr) { return nr == SYS_write || nr == SYS_pwrite64 || nr == SYS_writev || nr == SYS_pwritev; }

// Extracts in a child process stopped at every system call, and kills it
// with SIGKILL as it enters its rename number killAt (from 0), before that
// rename is made.
Traced extractKilledAtRename(const OlderCopy& copy, int killAt) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
    ::raise(SIGSTOP);
    ziptest::extractIgnoringFailures(copy.archive, copy.base);
    ::_exit(0);
  }
  Traced t;
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::ptrace(PTRACE_SETOPTIONS, pid, nullptr, PTRACE_O_TRACESYSGOOD | PTRACE_O_EXITKILL);
  long current = -1;
  int flushes = 0;
  bool wroteSinceFlush = false;
  int signal = 0;
  for (;;) {
    ::ptrace(PTRACE_SYSCALL, pid, nullptr, signal);
    signal = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFSTOPPED(status)) break;
    if (WSTOPSIG(status) != (SIGTRAP | 0x80)) {
      signal = WSTOPSIG(status);  // handed on to the child
      continue;
    }
    __ptrace_syscall_info info{};
    ::ptrace(PTRACE_GET_SYSCALL_INFO, pid, sizeof info, &info);
    if (info.op == PTRACE_SYSCALL_INFO_ENTRY) {
      current = static_cast<long>(info.entry.nr);
      if (isWrite(current)) wroteSinceFlush = true;
      if (isRename(current)) {
        if (t.renames == 0) t.flushedFirst = flushes > 0 && !wroteSinceFlush;
        if (t.renames == killAt) {
          ::kill(pid, SIGKILL);
          ::waitpid(pid, &status, 0);
          t.killed = true;
          break;
        }
      }
    } else if (info.op == PTRACE_SYSCALL_INFO_EXIT && info.exit.rval == 0) {
      if (isFlush(current)) {
        ++flushes;
        wroteSinceFlush = false;
      }
      if (isRename(current)) ++t.renames;
    }
  }
  if (!t.killed) ::waitpid(pid, &status, 0);
  return t;
}

TEST(ExtractReplace, AKilledExtractionLeavesEachFileOldOrNewWhole) {
  struct Case {
    const char* label;
    int killAt;
  };
  const Case cases[] = {
      {"killed between the flush and the renames", 0},
      {"killed during the renames", OlderCopy::kFiles / 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    OlderCopy copy;
    const Traced t = extractKilledAtRename(copy, c.killAt);
    ASSERT_TRUE(t.killed);
    EXPECT_TRUE(t.flushedFirst);
    int renewed = 0;
    for (int i = 0; i < OlderCopy::kFiles; ++i) {
      const std::string got = testsupport::readFile(copy.base / OlderCopy::name(i));
      EXPECT_TRUE(got == copy.olds[i] || got == copy.news[i]) << OlderCopy::name(i);
      renewed += got == copy.news[i] ? 1 : 0;
    }
    EXPECT_EQ(renewed, c.killAt);
    // Every file not yet in place was written and flushed with the others.
    const std::vector<fs::path> left = copy.unfinished();
    EXPECT_EQ(static_cast<int>(left.size()), OlderCopy::kFiles - c.killAt);
    // Named as the README tells, for the user who removes them by hand.
    const std::regex documented("ZT[A-Za-z0-9]{6}\\.unfinished");
    for (const fs::path& p : left) {
      EXPECT_TRUE(std::regex_match(p.filename().string(), documented)) << p;
    }
  }
}

TEST(ExtractReplace, TheNextExtractionRemovesWhatAKilledOneLeft) {
  OlderCopy copy;
  ASSERT_TRUE(extractKilledAtRename(copy, 0).killed);
  ASSERT_FALSE(copy.unfinished().empty());
  // One that a running extraction holds, and a file of the user's that only looks alike.
  const fs::path held = copy.base / "ZTabc123.unfinished";
  testsupport::writeFile(held, "en cours");
  const platform::FileDescriptor holder(::open(held.c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(::flock(holder.get(), LOCK_EX | LOCK_NB), 0);
  testsupport::writeFile(copy.base / "ZTabc123.unfinished.txt", "à garder");

  EXPECT_EQ(ziptest::extractIgnoringFailures(copy.archive, copy.base), 0);

  for (int i = 0; i < OlderCopy::kFiles; ++i)
    EXPECT_EQ(testsupport::readFile(copy.base / OlderCopy::name(i)), copy.news[i]) << OlderCopy::name(i);
  std::set<std::string> left;
  for (const fs::path& p : copy.unfinished()) left.insert(p.filename().string());
  EXPECT_EQ(left, (std::set<std::string>{"ZTabc123.unfinished", "ZTabc123.unfinished.txt"}));
}

// A new file that cannot take its place when its batch is put in place (a
// folder now stands there) is reported under its entry's name; the others go in.
TEST(ExtractReplace, AFileThatCannotTakeItsPlaceIsReported) {
  struct Case {
    const char* label;
    zip::TZAAction answer;
    bool clearsTheWay;  // the failure handler removes the folder before its answer
  };
  const Case cases[] = {
      {"ignored", zip::fxaIgnore, false},
      {"tried again", zip::fxaRetry, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    OlderCopy copy;
    const fs::path blocked = copy.base / OlderCopy::name(0);
    testsupport::ScopedResponder noDialogs;
    ziptest::FailureLog failures;
    zip::TZipArchiver a;
    a.FileName = copy.archive.string();
    failures.listen(a, [&](const ziptest::FailureLog&) {
      if (c.clearsTheWay) fs::remove_all(blocked);
      return failures.size() == 1 ? c.answer : zip::fxaIgnore;
    });
    const std::string last = OlderCopy::name(OlderCopy::kFiles - 1);
    a.OnFileProgress = [&](zip::TZABaseArchiver*, const std::string& name, double, zip::TZAProcessOperation,
                           zip::TZAProgressPhase phase, bool&) {
      if (phase != zip::ppEnd || name != last) return;
      fs::remove(blocked);
      fs::create_directories(blocked / "dedans");
    };
    a.OpenArchive(0x20);
    a.BaseDir = copy.base.string();
    a.ExtractFiles("*.*", 0x28BF, "");
    a.CloseArchive();

    ASSERT_EQ(failures.fileNames(), std::vector<std::string>{OlderCopy::name(0)});
    EXPECT_NE(failures.first().find(blocked.string()), std::string::npos) << failures.first();
    if (c.clearsTheWay) {
      EXPECT_EQ(testsupport::readFile(blocked), copy.news[0]);
    } else {
      EXPECT_TRUE(fs::is_directory(blocked / "dedans"));
    }
    for (int i = 1; i < OlderCopy::kFiles; ++i)
      EXPECT_EQ(testsupport::readFile(copy.base / OlderCopy::name(i)), copy.news[i]) << OlderCopy::name(i);
    EXPECT_TRUE(copy.unfinished().empty());
  }
}

}  // namespace
