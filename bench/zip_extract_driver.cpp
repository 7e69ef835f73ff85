// Extracts an archive the way the update installer does and prints the time taken.
#include <QApplication>
#include <chrono>
#include <cstdio>

#include "zip/za_archiver.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s archive.zip folder\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  const auto start = std::chrono::steady_clock::now();
  zip::TZipArchiver a;
  a.FileName = argv[1];
  a.OpenArchive(0x20);
  a.BaseDir = argv[2];
  a.ExtractFiles("*.*", 0x28BF, "");
  a.CloseArchive();
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("component extraction: %.2f s\n", s);
  return 0;
}
