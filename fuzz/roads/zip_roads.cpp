// The archive roads: the updater's way of opening and extracting, and the test operation,
// over one file or a split set written into a scratch folder.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/roads/fuzz_roads.h"
#include "fuzz/roads/prompt_answers.h"
#include "fuzz/roads/scratch_folder.h"
#include "platform/core/exceptions.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"

namespace fuzzroads {

namespace {

namespace fs = std::filesystem;
using namespace zip;

// The updater's open mode: read only, others kept from writing.
constexpr uint16_t kOpenForReading = 0x20;
constexpr int32_t kAllAttributes = 0x28BF;
// An input may declare terabytes in a few bytes: an archive declaring more than this in all is
// listed but neither tested nor extracted, so that no run can fill the disk.
constexpr int64_t kMaxDeclaredBytes = int64_t{32} << 20;

[[noreturn]] void finding(const std::string& what) {
  std::fprintf(stderr, "fuzz road finding: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// The medium is what the split set's flags say; a single file lies on a fixed disk.
class FuzzArchiver : public TZipArchiver {
 public:
  bool removable = false;
  bool DriveIsRemovable(const std::string&) const override { return removable; }
};

// As the updater's window sets its archiver up.
void setUpLikeTheUpdater(FuzzArchiver& a) {
  a.Name = "ZipArchiver1";
  a.ExtractCorruptedFiles = false;
  a.SetCompressionLevel(clFastest);
  a.SetCompressionMode(1);
  a.SpanningOptions().AdvancedNaming = true;
  a.SpanningOptions().VolumeSize = vsAutoDetect;
  a.Options().FlushBuffers = true;
  a.Options().OEMFileNames = true;
  a.Zip64Mode = zmDisabled;
}

struct Volume {
  std::string name;
  std::string bytes;
};

struct Steps {
  bool test = false;
  bool extract = false;
  bool removable = false;
};

// Runs from a folder of its own, so that a name taken for relative lands where it is seen.
class ScopedCurrentFolder {
 public:
  explicit ScopedCurrentFolder(const fs::path& folder) : previous_(fs::current_path()) {
    fs::create_directories(folder);
    fs::current_path(folder);
  }
  ~ScopedCurrentFolder() {
    std::error_code ec;
    fs::current_path(previous_, ec);
  }
  ScopedCurrentFolder(const ScopedCurrentFolder&) = delete;
  ScopedCurrentFolder& operator=(const ScopedCurrentFolder&) = delete;

 private:
  fs::path previous_;
};

std::string readWhole(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What the run may have left: the volumes as they were written, the empty current folder, and
// below the base folder (extraction only) no link and no more bytes than the entries declare.
void checkLeftovers(const ScratchFolder& scratch, const std::vector<Volume>& volumes, bool extracted,
                    int64_t declared) {
  std::error_code ec;
  for (const Volume& v : volumes)
    if (readWhole(scratch / v.name) != v.bytes) finding("volume " + v.name + " changed by reading it");
  int64_t written = 0;
  for (auto it = fs::recursive_directory_iterator(scratch.path(), fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string rel = fs::relative(it->path(), scratch.path()).generic_string();
    if (rel == "base" || rel == "cwd") continue;
    if (std::any_of(volumes.begin(), volumes.end(), [&](const Volume& v) { return v.name == rel; })) continue;
    if (!extracted || rel.rfind("base/", 0) != 0) finding("left behind: " + rel);
    if (it->is_symlink(ec)) finding("a link was written: " + rel);
    if (it->is_regular_file(ec)) written += static_cast<int64_t>(it->file_size(ec));
  }
  if (written > declared)
    finding("wrote " + std::to_string(written) + " bytes where the entries declare " + std::to_string(declared));
}

Outcome runArchive(const std::vector<Volume>& volumes, const Steps& steps) {
  ScratchFolder scratch;
  for (const Volume& v : volumes) {
    std::ofstream out(scratch / v.name, std::ios::binary);
    out.write(v.bytes.data(), static_cast<std::streamsize>(v.bytes.size()));
  }
  fs::create_directories(scratch / "base");
  Outcome outcome = Outcome::Done;
  int64_t declared = 0;
  bool extracted = false;
  {
    ScopedCurrentFolder here(scratch / "cwd");
    ScopedAnswers answers;
    FuzzArchiver a;
    setUpLikeTheUpdater(a);
    a.removable = steps.removable;
    a.FileName = (scratch / volumes.back().name).string();
    a.TempDir = scratch.path().string();
    const char* stage = "open";
    try {
      a.OpenArchive(kOpenForReading);
      stage = "list";
      a.BaseDir = (scratch / "base").string();
      TZAArchiveItem item;
      bool tooLarge = false;
      for (bool found = a.FindFirst("*.*", item, kAllAttributes, ""); found; found = a.FindNext(item)) {
        if (item.UncompressedSize < 0 || item.UncompressedSize > kMaxDeclaredBytes - declared) tooLarge = true;
        else declared += item.UncompressedSize;
      }
      if (!tooLarge && steps.test) {
        stage = "test";
        a.SelectFiles("*.*", kAllAttributes, "");
        a.ProcessSelectedItems(poTest);
      }
      if (!tooLarge && steps.extract) {
        stage = "extract";
        extracted = true;
        a.ExtractFiles("*.*", kAllAttributes, "");
      }
    } catch (const EZAException&) {
      outcome = Outcome::Refused;
    } catch (const platform::Exception& e) {
      outcome = Outcome::StreamError;
      if (std::getenv("PALVREN_FUZZ_VERBOSE")) std::fprintf(stderr, "stream error at %s: %s\n", stage, e.what());
    }
    a.CloseArchive();
    if (outcome == Outcome::Done && answers.failures() > 0) outcome = Outcome::Refused;
  }
  checkLeftovers(scratch, volumes, extracted, declared);
  return outcome;
}

std::vector<Volume> single(const uint8_t* data, std::size_t size) {
  return {{"PalvrenFtp.zip", std::string(reinterpret_cast<const char*>(data), size)}};
}

uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace

Outcome zipList(const uint8_t* data, std::size_t size) { return runArchive(single(data, size), {}); }

Outcome zipTest(const uint8_t* data, std::size_t size) { return runArchive(single(data, size), {.test = true}); }

Outcome zipExtract(const uint8_t* data, std::size_t size) { return runArchive(single(data, size), {.extract = true}); }

// Head: flags (bit 0: three volumes, else two; bit 1: Info-ZIP names "a.z01", else "a_001.zip";
// bit 2: a removable medium), then the two cut offsets into the rest, little-endian.
Outcome zipSplit(const uint8_t* data, std::size_t size) {
  constexpr std::size_t kHead = 5;
  if (size < kHead) return Outcome::Done;
  const uint8_t flags = data[0];
  const std::string bytes(reinterpret_cast<const char*>(data + kHead), size - kHead);
  std::size_t cut1 = std::min<std::size_t>(le16(data + 1), bytes.size());
  std::size_t cut2 = std::min<std::size_t>(le16(data + 3), bytes.size());
  if (cut2 < cut1) std::swap(cut1, cut2);
  const bool three = (flags & 1) != 0;
  const bool infoZip = (flags & 2) != 0;
  std::vector<std::size_t> cuts{0, cut1};
  if (three) cuts.push_back(cut2);
  cuts.push_back(bytes.size());
  std::vector<Volume> volumes;
  for (std::size_t i = 0; i + 1 < cuts.size(); ++i) {
    char number[16];
    std::snprintf(number, sizeof number, infoZip ? ".z%02zu" : "_%03zu.zip", i + 1);
    const bool last = i + 2 == cuts.size();
    volumes.push_back({last ? "a.zip" : "a" + std::string(number), bytes.substr(cuts[i], cuts[i + 1] - cuts[i])});
  }
  return runArchive(volumes, {.test = true, .extract = true, .removable = (flags & 4) != 0});
}

}  // namespace fuzzroads
