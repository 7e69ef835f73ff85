// One update pass of the ZIP component, run as a child by the tests that kill
// it at a system call: zip_update_child ARCHIVE BASEDIR TEMPDIR STUB MODE NAME...
// Each named file replaces the entry of its name or is added; STUB "-" is none.
// It prints only what fails: a file passed over, or the pass's error (status 1).
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "platform/core/exceptions.h"
#include "platform/core/streams.h"
#include "zip/za_archiver.h"

int main(int argc, char** argv) {
  if (argc < 6) return 2;
  try {
    zip::TZipArchiver a;
    a.FileName = argv[1];
    a.BaseDir = argv[2];
    a.TempDir = argv[3];
    if (std::string(argv[4]) != "-") a.SFXStub = argv[4];
    a.SetCompressionMode(static_cast<uint8_t>(std::stoi(argv[5])));
    // A file that cannot be stored is passed over, as the backup does.
    a.OnProcessFileFailure = [](zip::TZABaseArchiver*, const std::string&, zip::TZAProcessOperation, int32_t, int32_t,
                                const std::string& message, zip::TZAAction& action) {
      std::cerr << message << "\n";
      action = zip::fxaIgnore;
    };
    a.OpenArchive(std::filesystem::exists(argv[1]) ? platform::fmOpenReadWrite | platform::fmShareDenyWrite
                                                   : zip::kCreateMode);
    a.BeginUpdate();
    for (int k = 6; k < argc; ++k) {
      const std::string name = argv[k];
      int32_t at = -1;
      for (int32_t i = 0; i < a.EntryCount() && at < 0; ++i)
        if (a.Entry(i).FileName() == name) at = i;
      if (at >= 0) a.AddItemForFile(at, name);
      else a.AddFile(name);
    }
    a.EndUpdate();
    a.CloseArchive();
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
