// Archives made by other tools, opened the way the update installer opens
// them and extracted byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/scoped_responder.h"
#include "support/temp_dir.h"
#include "zip/za_archive_fixture.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/za_failure_log.h"
#include "zip/zip_builder.h"

using namespace zip;
using ziptest::FailureLog;
using ziptest::runIn;
using ziptest::Tree;

namespace {

namespace fs = std::filesystem;

const char kPython[] = "/usr/bin/python3";

struct ToolCase {
  const char* label;
  const char* archive;  // file name made in the work folder
  const char* command;  // run in the work folder; the tree is in ./src
  const char* password;
  bool keepsEmptyFolders;
};

// python's zipfile over ./src into py.zip, entries deflated or stored, with
// Zip64 records forced or not; streamed through a pipe, python cannot seek
// back, so sizes and CRC follow the data in descriptors.
std::string pythonZip(const char* method, bool force, bool streamed = false) {
  return std::string(kPython) +
         " -c \"import zipfile,os,sys\n"
         "z=zipfile.ZipFile(" +
         (streamed ? "sys.stdout.buffer" : "'py.zip'") +
         ",'w')\n"
         "for d,ds,fs in sorted(os.walk('src')):\n"
         "  r=os.path.relpath(d,'src')\n"
         "  if r!='.': z.write(d, r)\n"
         "  for f in sorted(fs):\n"
         "    p=os.path.join(d,f); i=zipfile.ZipInfo.from_file(p, os.path.normpath(os.path.join(r,f)))\n"
         "    i.compress_type=zipfile." +
         method +
         "\n"
         "    with open(p,'rb') as s, z.open(i,'w',force_zip64=" +
         (force ? "True" : "False") +
         ") as o: o.write(s.read())\n"
         "z.close()\"" +
         (streamed ? " | cat > py.zip" : "");
}

void PrintTo(const ToolCase& c, std::ostream* os) { *os << c.label; }

class ToolArchives : public ::testing::TestWithParam<ToolCase> {};

TEST_P(ToolArchives, ExtractByteForByte) {
  const ToolCase& c = GetParam();
  testsupport::TempDir work;
  const Tree tree = ziptest::sampleTree();
  ziptest::writeTree(work / "src", tree);
  runIn(work.path(), c.command);

  testsupport::ScopedResponder noDialogs;
  TZipArchiver archiver;
  FailureLog failures;
  failures.listen(archiver);
  archiver.FileName = (work / c.archive).string();
  archiver.Password = c.password;
  std::vector<double> progress;
  archiver.OnFileProgress = [&](TZABaseArchiver*, const std::string&, double p, TZAProcessOperation op,
                                TZAProgressPhase, bool& cancel) {
    EXPECT_EQ(op, poExtract);
    progress.push_back(p);
    cancel = false;
  };
  archiver.OpenArchive(0x20);
  archiver.BaseDir = (work / "out").string();
  fs::create_directories(work / "out");
  archiver.ExtractFiles("*.*", 0x28BF, "");
  archiver.CloseArchive();

  EXPECT_TRUE(failures.empty()) << failures.first();
  Tree expected = tree;
  if (!c.keepsEmptyFolders) expected.erase("vide/");
  EXPECT_EQ(ziptest::treeDiff(ziptest::readTree(work / "out"), expected), "");
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front(), 0);
  EXPECT_EQ(progress.back(), 100);
  for (double p : progress) EXPECT_TRUE(p >= 0 && p <= 100) << p;
}

std::vector<ToolCase> toolCases() {
  static const std::string py = pythonZip("ZIP_DEFLATED", false);
  static const std::string py64 = pythonZip("ZIP_DEFLATED", true);
  static const std::string py64Stored = pythonZip("ZIP_STORED", true);
  static const std::string streamed = pythonZip("ZIP_DEFLATED", false, true);
  return {
      {"zip_deflated", "z.zip", "cd src && zip -q -r ../z.zip .", "", true},
      {"zip_stored", "z.zip", "cd src && zip -q -r -0 ../z.zip .", "", true},
      {"zip_zip64", "z.zip", "cd src && zip -q -r -fz ../z.zip .", "", true},
      {"zip_encrypted", "z.zip", "cd src && zip -q -r -P 'mot de passe' ../z.zip .", "mot de passe", true},
      {"zip_split", "z.zip", "cd src && zip -q -r -s 64k ../z.zip . && ls ../z.z01 ../z.z02", "", true},
      {"zip_sfx_adjusted", "setup.exe",
       "head -c 5000 /dev/urandom > stub && (cd src && zip -q -r ../z.zip .) && cat stub z.zip > setup.exe && zip -q "
       "-A "
       "setup.exe",
       "", true},
      {"zip_sfx_raw", "setup.exe",
       "printf 'MZ stub without ZIP offsets' > stub && (cd src && zip -q -r ../z.zip .) && cat stub z.zip > setup.exe",
       "", true},
      {"sevenzip", "s.zip", "cd src && 7z a -tzip -bd ../s.zip . > /dev/null", "", true},
      {"sevenzip_encrypted", "s.zip", "cd src && 7z a -tzip -psecret -mem=ZipCrypto -bd ../s.zip . > /dev/null",
       "secret", true},
      {"python_streamed", "py.zip", streamed.c_str(), "", true},
      {"sevenzip_stored", "s.zip", "cd src && 7z a -tzip -mx=0 -bd ../s.zip . > /dev/null", "", true},
      {"python_deflated", "py.zip", py.c_str(), "", true},
      {"python_zip64", "py.zip", py64.c_str(), "", true},
      {"python_zip64_stored", "py.zip", py64Stored.c_str(), "", true},
      {"sevenzip_sfx_raw", "setup.exe",
       "(cd src && 7z a -tzip -bd ../s.zip . > /dev/null) && printf 'MZ' > stub && cat stub s.zip > setup.exe", "",
       true},
  };
}

INSTANTIATE_TEST_SUITE_P(Tools, ToolArchives, ::testing::ValuesIn(toolCases()),
                         [](const auto& info) { return std::string(info.param.label); });

// Shapes of foreign archives met in the field: bytes after the end record, a
// stub in front of Zip64 records, and other writers' layouts.
std::vector<ToolCase> shapeCases() {
  static const std::string py64Stub =
      pythonZip("ZIP_DEFLATED", true) + " && printf 'MZ stub' > stub && cat stub py.zip > stubbed.zip";
  return {
      {"zip_trailing_bytes", "z.zip", "cd src && zip -q -r ../z.zip . && head -c 5000 /dev/zero >> ../z.zip", "", true},
      {"zip_zip64_stub", "stubbed.zip",
       "printf 'MZ stub' > stub && (cd src && zip -q -r -fz ../z.zip .) && cat stub z.zip > stubbed.zip", "", true},
      {"zip_zip64_stub_exe", "setup.exe",
       "head -c 3000 /dev/zero > stub && (cd src && zip -q -r -fz ../z.zip .) && cat stub z.zip > setup.exe", "", true},
      {"python_zip64_stub", "stubbed.zip", py64Stub.c_str(), "", true},
      {"bsdtar", "b.zip", "cd src && bsdtar -a -cf ../b.zip .", "", true},
      {"bsdtar_stored", "b.zip", "cd src && bsdtar --format zip --options zip:compression=store -cf ../b.zip .", "",
       true},
      {"sevenzip_zip64_stub", "stubbed.zip",
       "(cd src && 7z a -tzip -bd ../s.zip . > /dev/null) && printf 'MZ' > stub && cat stub s.zip > stubbed.zip", "",
       true},
  };
}

INSTANTIATE_TEST_SUITE_P(Shapes, ToolArchives, ::testing::ValuesIn(shapeCases()),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
