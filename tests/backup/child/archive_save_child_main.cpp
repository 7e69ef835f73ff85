// Saves one file into an archive, slowly, so that a test can kill it in the middle of the save.
// Usage: archive_save_child ARCHIVE FILE. Prints "saving" when the save starts.
#include <unistd.h>

#include <cstdio>

#include "backup/archive_writer.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  backup::ArchiveWriter writer;
  writer.MessagePump = [] { ::usleep(20000); };
  writer.OnArchiveSaveProgress = [](int progress) {
    if (progress == 0) {
      std::puts("saving");
      std::fflush(stdout);
    }
  };
  writer.open(argv[1]);
  writer.add(argv[2]);
  writer.save();
  return 0;
}
