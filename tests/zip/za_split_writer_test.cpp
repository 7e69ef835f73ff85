// A split archive written through the volume writer and the directory
// writer: volumes of the set size, the last one under the archive's name,
// read back by zip and by the component.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/random_bytes.h"
#include "support/temp_dir.h"
#include "zip/archiver/za_archiver_internals.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/zip_builder.h"

using namespace zip;
using ziptest::shellQuote;

namespace {

namespace fs = std::filesystem;

struct Piece {
  std::string name;
  std::string data;
};

void writeSplit(TZipArchiver& a, const std::vector<Piece>& pieces) {
  platform::TStream* stream = TZAArchiverInternals::ArchiveStream(a);
  TZADirArray& dir = TZAArchiverInternals::DirManager(a).ArchiveDir;
  for (const Piece& p : pieces) {
    // The entry is compressed aside, then laid down across the volumes.
    TZipArchiver aside;
    aside.SetInMemory(true);
    aside.OpenArchive(kCreateMode);
    TDirItem item;
    item.VersionMadeBy = item.VersionNeeded = 20;
    item.Method = kMethodDeflated;
    item.CompressionMode = 6;
    item.ModDate = 0x5D8A;
    item.ExternalAttributes = 0x20;
    ZASetStoredName(item, p.name, true);
    platform::TMemoryStream in;
    in.Write(p.data.data(), static_cast<int64_t>(p.data.size()));
    ASSERT_TRUE(TZAArchiverInternals::CompressItemData(aside, in, *TZAArchiverInternals::ArchiveStream(aside), item));
    auto& packed = static_cast<platform::TMemoryStream&>(*TZAArchiverInternals::ArchiveStream(aside));

    TZipLocalHeader lh = ZALocalHeaderFor(item);
    lh.NameLength = static_cast<uint16_t>(p.name.size());
    const auto head = EncodeLocalHeader(lh);
    TZAArchiverInternals::WriteArchiveBuffer(a, head.data(), head.size(), lh.NameLength, stream);
    item.DiskNumberStart = static_cast<uint16_t>(TZAArchiverInternals::VolumeInfo(a).VolumeNumber);
    item.LocalHeaderOffset = static_cast<uint32_t>(stream->Position() - static_cast<int64_t>(head.size()));
    TZAArchiverInternals::WriteArchiveBuffer(a, p.name.data(), lh.NameLength, 0, stream);
    TZAArchiverInternals::WriteArchiveBuffer(a, packed.Memory(), packed.Size(), -1, stream);
    dir.SetCount(dir.Count() + 1);
    *dir.GetItemPtr(dir.Count() - 1) = item;
  }
  TZAArchiverInternals::DirManager(a).WriteDirectory();
}

TEST(SplitWriter, VolumesReadBackByZipAndByTheComponent) {
  testsupport::TempDir dir;
  std::vector<Piece> pieces;
  for (int i = 0; i < 5; ++i)
    pieces.push_back({"piece" + std::to_string(i) + ".bin", testsupport::randomBytes(50000, 3 + i)});
  const std::string archive = (dir / "d.zip").string();
  {
    TZipArchiver a;
    a.FileName = archive;
    a.SetSpanningMode(smSplitting);
    a.SpanningOptions().AdvancedNaming = false;
    a.SpanningOptions().VolumeSize = vsCustom;
    a.SpanningOptions().SetCustomVolumeSize(65536);
    a.OpenArchive(kCreateMode);
    writeSplit(a, pieces);
    a.CloseArchive();
  }
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path())) {
    names.push_back(e.path().filename().string());
    EXPECT_LE(fs::file_size(e.path()), 65536u) << names.back();
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"d.Z01", "d.Z02", "d.Z03", "d.zip"}));

  // Info-ZIP looks for lower-case volume names.
  fs::create_directories(dir / "infozip");
  for (const std::string& n : names) {
    std::string lower = n;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    fs::copy_file(dir / n, dir / "infozip" / lower);
  }
  const auto joined = ziptest::runCommand("cd " + shellQuote((dir / "infozip").string()) +
                                          " && zip -q -s 0 d.zip --out joint.zip && unzip -t joint.zip 2>&1");
  EXPECT_EQ(joined.status, 0) << joined.out;

  TZipArchiver back;
  back.FileName = archive;
  back.OpenArchive(0x20);
  EXPECT_EQ(back.SpanningMode(), smSplitting);
  back.BaseDir = (dir / "out").string();
  back.ExtractFiles("*.*", 0x28BF, "");
  for (const Piece& p : pieces) EXPECT_EQ(testsupport::readFile(dir / "out" / p.name), p.data) << p.name;
}

}  // namespace
