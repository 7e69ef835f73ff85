// Opens an archive for reading and closes it: the cost of reading its directory alone.
#include <chrono>
#include <cstdio>

#include "zip/za_archiver.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s archive.zip\n", argv[0]);
    return 2;
  }
  const auto start = std::chrono::steady_clock::now();
  zip::TZipArchiver a;
  a.FileName = argv[1];
  a.OpenArchive(0x20);
  const int entries = a.EntryCount();
  a.CloseArchive();
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%.3f %d\n", s, entries);
  return 0;
}
