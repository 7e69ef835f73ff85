// Brings an archive up to date with a folder the way "zip -u -r" does: new files added, files
// whose date differs from their entry's replaced, in one update pass. Prints the time taken.
// No window is made: nothing here asks the user, and the figures are the component's alone.
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/dos_datetime.h"
#include "platform/core/streams.h"
#include "zip/za_archiver.h"
#include "zip/za_types.h"

namespace fs = std::filesystem;

namespace {

long peakKilobytes() {
  struct rusage u {};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s archive.zip folder\n", argv[0]);
    return 2;
  }
  // What the process holds before the pass: the libraries it is linked with.
  const long floorKb = peakKilobytes();
  const auto start = std::chrono::steady_clock::now();
  zip::TZipArchiver a;
  a.FileName = argv[1];
  a.BaseDir = argv[2];
  a.OpenArchive(fs::exists(a.FileName) ? platform::fmOpenReadWrite | platform::fmShareDenyWrite : zip::kCreateMode);
  a.BeginUpdate();
  // Entry indexes sorted by name: found by binary search, four bytes each.
  std::vector<int32_t> byName(static_cast<size_t>(a.EntryCount()));
  for (int32_t i = 0; i < a.EntryCount(); ++i) byName[static_cast<size_t>(i)] = i;
  auto nameOf = [&](int32_t i) -> const std::string& { return a.Entry(i).FileName(); };
  std::sort(byName.begin(), byName.end(), [&](int32_t x, int32_t y) { return nameOf(x) < nameOf(y); });
  int added = 0, replaced = 0;
  std::string root = argv[2];
  if (root.back() != '/') root += '/';
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    const std::string name = e.path().string().substr(root.size());
    const auto found = std::lower_bound(byName.begin(), byName.end(), name,
                                        [&](int32_t i, const std::string& n) { return nameOf(i) < n; });
    if (found == byName.end() || nameOf(*found) != name) {
      if (a.AddFile(name) >= 0) ++added;
      continue;
    }
    struct stat st {};
    if (::stat(e.path().c_str(), &st) != 0) continue;
    const zip::TZAEntry item = a.Entry(*found);
    if (platform::dosDateTimeFromTime(st.st_mtime) != platform::makeDosDateTime(item.ModDate(), item.ModTime())) {
      a.AddItemForFile(*found, name);
      ++replaced;
    }
  }
  a.EndUpdate();
  a.CloseArchive();
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // One line for the script: pass seconds, peak and start-up kilobytes, then the counts.
  std::printf("%.3f %ld %ld %d %d\n", s, peakKilobytes(), floorKb, added, replaced);
  return 0;
}
