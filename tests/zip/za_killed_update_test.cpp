// Update passes killed at a point of their work, in a child process, over a
// tree holding an uncompressed archive whose entries are named like the
// tree's files: the next update leaves exactly the tree's files, whole.
#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/streams.h"
#include "support/random_bytes.h"
#include "support/temp_dir.h"
#include "zip/za_archive_fixture.h"
#include "zip/za_archiver.h"
#include "zip/zip_builder.h"
#include "zip/zip_test_reader.h"

using namespace zip;
using testsupport::randomBytes;
using testsupport::readFile;
using testsupport::writeFile;
using ziptest::runCommand;
using ziptest::shellQuote;

namespace fs = std::filesystem;

namespace {

using Files = std::map<std::string, std::string>;

constexpr const char* kInner = "b_inner.zip";

// An uncompressed archive of 8 KB random entries, the first ones named like
// the outer tree's files.
std::string innerArchive(int entries, unsigned seed) {
  ziptest::ZipBuilder b;
  b.addStored("c.bin", "PHANTOM " + randomBytes(8192, seed));
  b.addStored("a.bin", "PHANTOM " + randomBytes(8192, seed + 1));
  for (int i = 2; i < entries; ++i) b.addStored("f" + std::to_string(i) + ".bin", randomBytes(8192, seed + i));
  return b.build();
}

// Entries follow each other from the end of what stands in front of the ZIP
// data, and the directory follows the last: nothing that a killed pass left
// stays between them, where a later rebuild would read it.
void expectNoGaps(const std::string& bytes, uint64_t front) {
  const auto read = ziptest::readArchive(bytes);
  ASSERT_TRUE(read);
  std::vector<TDirItem> items = read->items;
  std::sort(items.begin(), items.end(),
            [](const TDirItem& l, const TDirItem& r) { return l.TrueLocalHeaderOffset() < r.TrueLocalHeaderOffset(); });
  uint64_t end = front;
  for (const TDirItem& item : items) {
    const uint64_t at = item.TrueLocalHeaderOffset();
    ASSERT_EQ(at, end) << item.FileName;
    ASSERT_LE(at + 30, bytes.size());
    const auto u16 = [&](uint64_t o) { return uint8_t(bytes[o]) | uint8_t(bytes[o + 1]) << 8; };
    end = at + 30 + u16(at + 26) + u16(at + 28) + item.TrueCompressedSize();
  }
  EXPECT_EQ(read->directoryOffset, end);
}

// What stands in front of the ZIP data.
enum class Front {
  nothing,
  stub,     // the component's SFXStub, offsets counting from the file's start
  foreign,  // bytes put in front afterwards: offsets count from the ZIP data
};

// Bytes that no entry owns, left in the file before the inner archive is added.
enum class DeadBytes {
  none,
  cutDirectory,  // the creation killed just before its end record, then an update that changes nothing
  olderVersion,  // a cut directory in front of a sound one, as earlier versions left it
  wholeEntry,    // a copy of the last entry's whole record in front of the directory
  wholeEntryBetween,  // a copy of the first entry's whole record in front of the inner archive's
};

// The file-size limit set once the pass is at name, to the archive's size then and the given bytes more.
std::function<void(TZipArchiver&)> limitFrom(const std::string& file, const std::string& name, TZAProgressPhase at,
                                             uint64_t more) {
  return [=](TZipArchiver& a) {
    a.OnFileProgress = [=](TZABaseArchiver*, const std::string& n, double, TZAProcessOperation,
                           TZAProgressPhase phase, bool&) {
      if (phase != at || !n.ends_with(name)) return;
      const rlim_t limit = fs::file_size(file) + more;
      const struct rlimit r = {limit, limit};
      setrlimit(RLIMIT_FSIZE, &r);
    };
  };
}

struct Settings {
  uint8_t mode = 0;  // compression mode: 0 stored
  TZip64Mode zip64 = zmAuto;
  bool oemNames = true;
  int innerEntries = 2560;  // about 20 MB: 1 MB steps of progress are 5 % of it
  Front front = Front::nothing;
  bool innerFirst = false;  // the inner archive is the first entry
  DeadBytes dead = DeadBytes::none;
};

// A 30 KB executable's stand-in: code-like bytes with a page of zeros.
std::string stubBytes() { return randomBytes(12000, 7) + std::string(4096, '\0') + randomBytes(13904, 8); }

class KilledUpdate {
 public:
  explicit KilledUpdate(const Settings& s) : s_(s) {
    fs::create_directories(src);
    fs::create_directories(temp);
    tree["a.bin"] = randomBytes(300000, 1);
    tree[kInner] = innerArchive(s.innerEntries, 100);
    tree["c.bin"] = randomBytes(300000, 2);
    for (const auto& [name, data] : tree) writeFile(src / name, data);
  }

  testsupport::TempDir dir;
  fs::path src = dir / "src";
  // Temporary files, the tail backup and those a killed pass leaves, stay in the test's folder.
  fs::path temp = dir / "temp";
  fs::path stub = dir / "stub.bin";
  std::string archive = (dir / "t.zip").string();
  Files tree;

  // What stands in front of the ZIP data, and stays there.
  std::string front() const { return s_.front == Front::nothing ? "" : stubBytes(); }

  // The archive of the tree, made as the settings say: what stands in front,
  // the inner archive first, bytes that no entry owns after the others.
  void create() {
    std::vector<std::string> names = all();
    if (s_.innerFirst) std::stable_partition(names.begin(), names.end(), [](const std::string& n) { return n == kInner; });
    // The inner archive then comes with the pass that is killed.
    if (s_.dead != DeadBytes::none && s_.dead != DeadBytes::wholeEntryBetween) std::erase(names, std::string(kInner));
    if (s_.front == Front::stub) writeFile(stub, front());
    if (s_.dead == DeadBytes::cutDirectory) {
      // Once the last entry is whole, the directory is written but not its end record.
      uint64_t directory = 0;
      for (const std::string& n : names) directory += 46 + n.size();
      EXPECT_EQ(killedUpdate(names, limitFrom(archive, names.back(), ppEnd, directory)), SIGXFSZ);
      EXPECT_FALSE(ziptest::readArchive(readFile(archive)));
      update({});
    } else {
      update(names);
    }
    if (s_.dead == DeadBytes::olderVersion) insertCutDirectory();
    if (s_.dead == DeadBytes::wholeEntry) insertLastRecord();
    if (s_.dead == DeadBytes::wholeEntryBetween) insertFirstRecordBeforeInner();
    if (s_.front == Front::foreign) writeFile(archive, front() + readFile(archive));
  }

  void setUp(TZipArchiver& a) const {
    a.FileName = archive;
    a.BaseDir = src.string();
    a.TempDir = temp.string();
    if (s_.front == Front::stub) a.SFXStub = stub.string();
    a.SetCompressionMode(s_.mode);
    a.Zip64Mode = s_.zip64;
    a.Options().OEMFileNames = s_.oemNames;
  }

  // A new file's content, on disk and in what the archive must end with.
  void change(const std::string& name, const std::string& data) {
    tree[name] = data;
    writeFile(src / name, data);
  }

  std::vector<std::string> all() const {
    std::vector<std::string> names;
    for (const auto& [name, data] : tree) names.push_back(name);
    return names;
  }

  // The tree's files that the archive, as it opens, lacks.
  std::vector<std::string> missing() const {
    TZipArchiver a;
    a.FileName = archive;
    a.OpenArchive(0x20);
    std::vector<std::string> names;
    for (const auto& [name, data] : tree) {
      bool there = false;
      for (int32_t i = 0; i < a.EntryCount() && !there; ++i) there = a.Entry(i).FileName() == name;
      if (!there) names.push_back(name);
    }
    return names;
  }

  // One pass over the given files: entries present are replaced, the others added.
  void update(const std::vector<std::string>& names, const std::function<void(TZipArchiver&)>& arm = {}) const {
    TZipArchiver a;
    setUp(a);
    if (arm) arm(a);
    a.OpenArchive(fs::exists(archive) ? platform::fmOpenReadWrite | platform::fmShareDenyWrite : kCreateMode);
    a.BeginUpdate();
    ziptest::replaceOrAdd(a, names);
    a.EndUpdate();
    a.CloseArchive();
  }

  // The pass over the given files, in a child that the armed event ends; the signal that ended it.
  int killedUpdate(const std::vector<std::string>& names, const std::function<void(TZipArchiver&)>& arm) const {
    const pid_t child = fork();
    if (child == 0) {
      try {
        update(names, arm);
      } catch (...) {
      }
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
  }

  // The archive holds the tree's files, each as on disk, and other tools
  // find it (or, for a split set, its volumes joined) sound.
  void expectTheTree(const std::string& forTools = {}) const {
    TZipArchiver a;
    a.FileName = archive;
    a.OpenArchive(0x20);
    std::vector<std::string> names;
    for (int32_t i = 0; i < a.EntryCount() && i < 10; ++i) names.push_back(a.Entry(i).FileName());
    EXPECT_EQ(a.EntryCount(), static_cast<int32_t>(tree.size()));
    std::vector<std::string> want;
    for (const auto& [name, data] : tree) want.push_back(name);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, want);
    a.CloseArchive();
    const std::string file = forTools.empty() ? archive : forTools;
    expectNoGaps(readFile(file), forTools.empty() ? front().size() : 0);
    EXPECT_TRUE(readFile(file).starts_with(front())) << "what stood in front is gone";
    ziptest::expectSound(file);
    const fs::path out = dir / "out";
    fs::remove_all(out);
    ASSERT_EQ(runCommand("/usr/bin/python3 -m zipfile -e " + shellQuote(file) + " " + shellQuote(out.string())).status, 0);
    EXPECT_EQ(ziptest::treeDiff(ziptest::readTree(out), tree), "");
  }

 private:
  Settings s_;

  // Bytes in front of the directory that hold a whole local record, a copy of the last entry's.
  void insertLastRecord() {
    const auto read = ziptest::readArchive(readFile(archive));
    ASSERT_TRUE(read);
    uint64_t last = 0;
    for (const TDirItem& item : read->items) last = std::max(last, item.TrueLocalHeaderOffset());
    insertBeforeDirectory(last, read->directoryOffset - last);
  }

  // A copy of the first entry's whole record in front of the inner archive's.
  void insertFirstRecordBeforeInner() {
    const auto read = ziptest::readArchive(readFile(archive));
    ASSERT_TRUE(read);
    std::vector<uint64_t> offsets;
    uint64_t inner = 0;
    for (const TDirItem& item : read->items) {
      offsets.push_back(item.TrueLocalHeaderOffset());
      if (item.FileName == kInner) inner = item.TrueLocalHeaderOffset();
    }
    std::sort(offsets.begin(), offsets.end());
    ASSERT_GT(inner, offsets[0]);
    insertCopy(offsets[0], *std::upper_bound(offsets.begin(), offsets.end(), offsets[0]) - offsets[0], inner);
  }

  // Inserts a copy of count bytes from from in front of the directory.
  void insertBeforeDirectory(size_t from, size_t count) {
    const auto read = ziptest::readArchive(readFile(archive));
    ASSERT_TRUE(read);
    insertCopy(from, count, read->directoryOffset);
  }

  // Inserts a copy of count bytes from from at at, in front of the
  // directory; the offsets of what follows (entries, directory) move with it.
  void insertCopy(size_t from, size_t count, size_t at) {
    std::string bytes = readFile(archive);
    const auto read = ziptest::readArchive(bytes);
    ASSERT_TRUE(read);
    ASSERT_LE(at, read->directoryOffset);
    const std::string copy = bytes.substr(from, count);
    bytes.insert(at, copy);
    const auto u16 = [&](size_t o) { return size_t(uint8_t(bytes[o])) | size_t(uint8_t(bytes[o + 1])) << 8; };
    const auto shift = [&](size_t field) {
      uint32_t v = 0;
      for (int i = 0; i < 4; ++i) v |= uint32_t(uint8_t(bytes[field + i])) << (8 * i);
      if (v < at) return;
      v += static_cast<uint32_t>(copy.size());
      for (int i = 0; i < 4; ++i) bytes[field + i] = static_cast<char>(v >> (8 * i));
    };
    const size_t end = read->endOffset + copy.size();
    for (size_t p = read->directoryOffset + copy.size(); p < end; p += 46 + u16(p + 28) + u16(p + 30) + u16(p + 32))
      shift(p + 42);
    shift(end + 16);
    writeFile(archive, bytes);
    ASSERT_TRUE(ziptest::readArchive(bytes));
  }

  // What earlier versions left after a kill in the directory write: the cut
  // directory in front of the one the next update wrote.
  void insertCutDirectory() {
    const auto read = ziptest::readArchive(readFile(archive));
    ASSERT_TRUE(read);
    insertBeforeDirectory(read->directoryOffset, read->endOffset - read->directoryOffset - 10);
  }
};

// From now on the kernel kills the process (SIGSYS) when it seeks a file
// back to offset: the point where a pass goes back to complete a header.
void killAtSeekBackTo(uint64_t offset) {
  constexpr uint32_t kArgs1 = offsetof(seccomp_data, args) + sizeof(uint64_t);
  constexpr uint32_t kArgs2 = offsetof(seccomp_data, args) + 2 * sizeof(uint64_t);
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 0, 9),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_lseek, 0, 7),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kArgs1),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(offset), 0, 5),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kArgs1 + 4),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<uint32_t>(offset >> 32), 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, kArgs2),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SEEK_SET, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program = {static_cast<unsigned short>(std::size(filter)), filter};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) != 0)
    _exit(2);
}

// Where the entry about to be stored gets its header: the end of the file,
// or the unfinished header of one byte's name that a cut laid there.
uint64_t nextHeaderAt(const std::string& file) {
  const std::string bytes = readFile(file);
  constexpr size_t kMark = 31;
  if (bytes.size() < kMark) return bytes.size();
  const std::string tail = bytes.substr(bytes.size() - kMark);
  const bool mark = tail.starts_with(std::string(4, '\0')) && tail[26] == 1 && tail[27] == 0 && tail.back() == '-';
  return bytes.size() - (mark ? kMark : 0);
}

// A kill at a share of the inner archive's storing.
std::function<void(TZipArchiver&)> killAt(double percent) {
  return [percent](TZipArchiver& a) {
    a.OnFileProgress = [percent](TZABaseArchiver*, const std::string& name, double progress, TZAProcessOperation,
                                 TZAProgressPhase phase, bool&) {
      if (phase == ppProcess && name.ends_with(kInner) && progress >= percent) ::kill(::getpid(), SIGKILL);
    };
  };
}

struct KillCase {
  const char* what;
  Settings settings;
  double percent;
};

TEST(KilledUpdate, InsideAStoredEntryTheNextUpdateLeavesExactlyTheTree) {
  const std::vector<KillCase> cases = {
      {"stored 5%", {0}, 4},
      {"stored 50%", {0}, 50},
      {"stored 95%", {0}, 95},
      {"deflated 5%", {6}, 4},
      {"deflated 50%", {6}, 50},
      {"deflated 95%", {6}, 95},
      {"deflated, Zip64 headers, 50%", {6, zmAlways}, 50},
      {"stored, names not OEM, 50%", {0, zmAuto, false}, 50},
      // The pass writes the inner archive where the stub ends.
      {"stub in front, inner archive first, stored 50%", {.front = Front::stub, .innerFirst = true}, 50},
      {"stub in front, inner archive first, deflated 50%", {.mode = 6, .front = Front::stub, .innerFirst = true}, 50},
      {"foreign bytes in front, inner archive first, stored 10%", {.front = Front::foreign, .innerFirst = true}, 10},
      // The inner archive is added after bytes that no entry owns.
      {"after a kill before the end record, stored 50%", {.dead = DeadBytes::cutDirectory}, 50},
      {"after a cut directory an earlier version left, stored 50%", {.dead = DeadBytes::olderVersion}, 50},
      {"after a whole record that no entry owns, stored 50%", {.dead = DeadBytes::wholeEntry}, 50},
      // The pass rewrites from the inner archive on.
      {"after a whole record that no entry owns in front of the inner archive, stored 50%",
       {.dead = DeadBytes::wholeEntryBetween},
       50},
      {"stub in front, after a whole record that no entry owns, stored 5%",
       {.front = Front::stub, .dead = DeadBytes::wholeEntry},
       4},
  };
  for (const KillCase& c : cases) {
    SCOPED_TRACE(c.what);
    KilledUpdate t(c.settings);
    t.create();
    t.change(kInner, innerArchive(c.settings.innerEntries, 200));
    EXPECT_EQ(t.killedUpdate({kInner}, killAt(c.percent)), SIGKILL);
    // The next pass appends what is missing, or rewrites every entry.
    const std::string killed = readFile(t.archive);
    for (const bool everything : {false, true}) {
      SCOPED_TRACE(everything ? "then every file" : "then the missing files");
      writeFile(t.archive, killed);
      t.update(everything ? t.all() : t.missing());
      t.expectTheTree();
    }
  }
}

// The other points where a pass can die: while a kept entry is copied,
// while the directory is written, and between two volumes of a split set
// (a split set is written by one pass from its creation: the next pass
// makes it anew).
TEST(KilledUpdate, ElsewhereInThePassTheNextUpdateLeavesExactlyTheTree) {
  struct Case {
    const char* what;
    Settings settings;
    std::function<void(KilledUpdate&)> kill;
  };
  // Killed once the inner archive's data are whole, before its header is
  // signed: the file then ends with the inner archive's end record.
  const auto killBeforeSigning = [](KilledUpdate& t) {
    t.change(kInner, innerArchive(Settings{}.innerEntries, 300));
    const std::string file = t.archive;
    EXPECT_EQ(t.killedUpdate({kInner},
                             [file](TZipArchiver& a) {
                               a.OnFileProgress = [file](TZABaseArchiver*, const std::string& n, double,
                                                         TZAProcessOperation, TZAProgressPhase phase, bool&) {
                                 if (phase == ppStart && n.ends_with(kInner)) killAtSeekBackTo(nextHeaderAt(file));
                               };
                             }),
              SIGSYS);
    EXPECT_TRUE(readFile(t.archive).ends_with(t.tree[kInner])) << "killed before the data were complete";
  };
  // a.bin keeps its size: once it is stored, the inner archive is copied
  // where it was, and the file stops halfway through it.
  const auto killInTheCopy = [](KilledUpdate& t) {
    t.change("a.bin", randomBytes(300000, 3));
    EXPECT_EQ(
        t.killedUpdate({"a.bin"}, limitFrom(t.archive, "a.bin", ppStart, 300000 + 30 + 5 + t.tree[kInner].size() / 2)),
        SIGXFSZ);
  };
  const std::vector<Case> cases = {
      {"copying the kept inner archive", {0}, killInTheCopy},
      {"copying the kept inner archive, names not OEM", {0, zmAuto, false}, killInTheCopy},
      {"after the inner archive's data, before its header is completed", {0}, killBeforeSigning},
      {"stub in front, inner archive first, after its data, before its header is completed",
       {.front = Front::stub, .innerFirst = true},
       killBeforeSigning},
      {"writing the directory",
       {6},
       [](KilledUpdate& t) {
         t.change("c.bin", randomBytes(300000, 4));
         // Once the last entry is whole, the directory is all that the file still takes.
         EXPECT_EQ(t.killedUpdate({"c.bin"}, limitFrom(t.archive, "c.bin", ppEnd, 70)), SIGXFSZ);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KilledUpdate t(c.settings);
    t.create();
    c.kill(t);
    t.update(t.missing());
    t.expectTheTree();
  }
}

TEST(KilledUpdate, BetweenTwoVolumesTheNextCreationLeavesExactlyTheTree) {
  KilledUpdate t(Settings{6, zmAuto, true, 60});
  const auto split = [](TZipArchiver& a) {
    a.SetSpanningMode(smSplitting);
    a.SpanningOptions().AdvancedNaming = false;
    a.SpanningOptions().VolumeSize = vsCustom;
    a.SpanningOptions().SetCustomVolumeSize(400000);
  };
  EXPECT_EQ(t.killedUpdate(t.all(),
                           [&](TZipArchiver& a) {
                             split(a);
                             a.OnRequestBlankVolume = [](TZABaseArchiver*, int32_t number, std::string&, bool&) {
                               // Disks count from 1: the second volume's.
      if (number == 2) ::kill(::getpid(), SIGKILL);
                             };
                           }),
            SIGKILL);
  // The first volume is whole; the last, under the archive's name, never came.
  EXPECT_TRUE(fs::exists(t.dir / "t.Z01"));
  EXPECT_FALSE(fs::exists(t.archive));
  t.update(t.all(), split);
  // Info-ZIP joins the volumes under lower-case names.
  const fs::path joint = t.dir / "joint";
  fs::create_directories(joint);
  size_t volumes = 0;
  for (const auto& e : fs::directory_iterator(t.dir.path())) {
    if (!e.is_regular_file()) continue;
    std::string lower = e.path().filename().string();
    for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    fs::copy_file(e.path(), joint / lower);
    ++volumes;
  }
  EXPECT_GT(volumes, 2u);
  ASSERT_EQ(runCommand("cd " + shellQuote(joint.string()) + " && zip -q -s 0 t.zip --out whole.zip").status, 0);
  t.expectTheTree((joint / "whole.zip").string());
}

}  // namespace

namespace {

// The system calls of a pass that change files: a kill may land before any of them.
constexpr const char* kChangingCalls[] = {"write", "ftruncate", "rename", "renameat", "renameat2", "unlink", "unlinkat"};

// A small tree whose first entry the pass rewrites: the whole archive goes through the backup.
struct SmallPass {
  explicit SmallPass(Front front) : t(Settings{.mode = 6, .innerEntries = 4, .front = front}) {
    t.change("a.bin", randomBytes(20000, 11));
    t.change("c.bin", randomBytes(20000, 12));
    t.create();
    t.change("a.bin", randomBytes(24000, 13));
  }
  KilledUpdate t;

  // The files the next pass takes, as the backup takes them: those missing and the changed one.
  std::vector<std::string> next() const {
    std::vector<std::string> names;
    try {
      names = t.missing();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "the archive does not open: " << e.what();
      return t.all();
    }
    if (std::find(names.begin(), names.end(), "a.bin") == names.end()) names.push_back("a.bin");
    return names;
  }

  // The pass over names as a child under strace, killed at the nth call of
  // call (none when n is 0); how many calls of each kind it made.
  std::map<std::string, int> run(const std::vector<std::string>& names, bool stub, const std::string& call = {},
                                 int n = 0) const {
    const std::string log = (t.dir / "strace.log").string();
    std::string calls;
    for (const char* c : kChangingCalls) calls += std::string(calls.empty() ? "" : ",") + c;
    // The leak checker of a sanitized build does not run under a tracer.
    std::string command = "ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o " + shellQuote(log) + " -e trace=" + calls;
    if (n > 0) command += " -e inject=" + call + ":signal=KILL:when=" + std::to_string(n);
    command += " " + shellQuote(PALVREN_ZIP_CHILD) + " " + shellQuote(t.archive) + " " + shellQuote(t.src.string()) +
               " " + shellQuote(t.temp.string()) + " " + (stub ? shellQuote(t.stub.string()) : "-") + " 6";
    for (const std::string& name : names) command += " " + shellQuote(name);
    const int status = runCommand(command + " 2>&1").status;
    if (n == 0) {
      EXPECT_EQ(status, 0) << command;
    }
    std::map<std::string, int> counts;
    std::istringstream lines(readFile(log));
    for (std::string line; std::getline(lines, line);) {
      const size_t open = line.find('(');
      if (open == std::string::npos) continue;
      const size_t start = line.find_last_of(' ', open);
      ++counts[line.substr(start == std::string::npos ? 0 : start + 1, open - start - 1)];
    }
    return counts;
  }
};

// One more pass, as the backup makes it; whether it could run.
bool nextPassLeavesTheTree(const SmallPass& p) {
  try {
    p.t.update(p.next());
  } catch (const std::exception& e) {
    ADD_FAILURE() << "the next pass fails: " << e.what();
    return false;
  }
  p.t.expectTheTree();
  return true;
}

}  // namespace

// A pass that rewrites the first entry, over an archive with nothing, the
// component's stub, or bytes put in front afterwards, killed at each system
// call that changes a file; then one more pass, itself killed at each call
// once a first kill has left the archive without its directory: whatever the kills hit, the
// last pass leaves exactly the tree, with what stood in front.
TEST(KilledUpdate, AtEveryCallThatChangesAFileTheNextUpdateLeavesExactlyTheTree) {
  if (runCommand("strace -V >/dev/null 2>&1").status != 0) GTEST_SKIP() << "strace is not installed";
  for (const Front front : {Front::nothing, Front::stub, Front::foreign}) {
    SCOPED_TRACE(front == Front::nothing ? "nothing in front" : front == Front::stub ? "stub" : "foreign bytes");
    const bool stub = front == Front::stub;
    std::map<std::string, int> counts;
    {
      SmallPass probe(front);
      counts = probe.run({"a.bin"}, stub);
    }
    ASSERT_GT(counts["write"], 3);
    ASSERT_GT(counts["ftruncate"], 0);
    bool recoveryKilled = false;
    for (const auto& [call, count] : counts) {
      for (int n = 1; n <= count; ++n) {
        SCOPED_TRACE(call + " " + std::to_string(n));
        SmallPass p(front);
        p.run({"a.bin"}, stub, call, n);
        const std::string killed = readFile(p.t.archive);
        if (!nextPassLeavesTheTree(p)) continue;
        // Once per front, the pass that recovers an archive left without its directory is killed in turn.
        if (recoveryKilled || ziptest::readArchive(killed)) continue;
        recoveryKilled = true;
        writeFile(p.t.archive, killed);
        const std::map<std::string, int> again = p.run(p.next(), stub);
        for (const auto& [call2, count2] : again) {
          for (int m = 1; m <= count2; ++m) {
            SCOPED_TRACE("then " + call2 + " " + std::to_string(m));
            writeFile(p.t.archive, killed);
            p.run(p.next(), stub, call2, m);
            nextPassLeavesTheTree(p);
          }
        }
      }
    }
  }
}
