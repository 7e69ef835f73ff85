// Entries compressed by the component and directories it writes, read back
// by unzip and python's zipfile.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/python_zip.h"
#include "support/random_bytes.h"
#include "support/temp_dir.h"
#include "zip/archiver/za_archiver_internals.h"
#include "zip/za_archiver.h"
#include "zip/format/za_compression_tables.h"
#include "zip/za_except.h"
#include "zip/format/za_records.h"
#include "zip/zip_builder.h"
#include "zip/zip_test_reader.h"

using namespace zip;
using ziptest::shellQuote;

namespace {

struct Source {
  std::string name;
  std::string data;
  std::string password;
  uint8_t mode = 6;
};

// Writes each source as the update pass would: local header, data, then the
// directory at the end.
void writeArchive(TZipArchiver& a, const std::vector<Source>& sources) {
  platform::TStream& s = *TZAArchiverInternals::ArchiveStream(a);
  for (const Source& src : sources) {
    TDirItem item;
    item.VersionMadeBy = item.VersionNeeded = 20;
    item.ModDate = 0x5D8A;
    item.ModTime = 0x4A3D;
    item.ExternalAttributes = 0x20;
    item.CompressionMode = src.mode;
    item.Method = src.mode == 0 ? kMethodStored : kMethodDeflated;
    item.EditExtras().Password = src.password;
    if (!src.password.empty()) item.Flags |= kFlagEncrypted;
    ZASetStoredName(item, src.name, true);
    item.LocalHeaderOffset = static_cast<uint32_t>(s.Position());
    const std::string stored = src.name;  // ASCII names store as they are
    s.Seek(TZipLocalHeader::kSize + static_cast<int64_t>(stored.size()), platform::TSeekOrigin::soCurrent);
    platform::TMemoryStream in;
    in.Write(src.data.data(), static_cast<int64_t>(src.data.size()));
    ASSERT_TRUE(TZAArchiverInternals::CompressItemData(a, in, s, item));
    const int64_t end = s.Position();
    TZipLocalHeader lh = ZALocalHeaderFor(item);
    lh.NameLength = static_cast<uint16_t>(stored.size());
    s.SetPosition(item.LocalHeaderOffset);
    const auto head = EncodeLocalHeader(lh);
    s.WriteBuffer(head.data(), head.size());
    s.WriteBuffer(stored.data(), static_cast<int64_t>(stored.size()));
    s.SetPosition(end);
    TZADirArray& dir = TZAArchiverInternals::DirManager(a).ArchiveDir;
    dir.SetCount(dir.Count() + 1);
    *dir.GetItemPtr(dir.Count() - 1) = item;
  }
  TZAArchiverInternals::DirManager(a).WriteDirectory();
}

std::string pythonRead(const std::string& archive, const std::string& name, const std::string& password = "") {
  try {
    return testsupport::readEntryWithPython(archive, name, password);
  } catch (const std::exception& e) {
    ADD_FAILURE() << e.what();
    return {};
  }
}

TEST(Writer, EntriesReadBackByOtherTools) {
  testsupport::TempDir dir;
  const std::string path = (dir / "w.zip").string();
  std::string text;
  while (text.size() < 0x180000 + 1) text += "une ligne de texte pour le compresseur\n";
  const std::string noise = testsupport::randomBytes(0x80000 + 7, 1);
  const std::vector<Source> sources = {
      {"vide.txt", "", "", 6},
      {"court.txt", "bonjour", "", 6},
      {"stocke.bin", noise, "", 0},
      {"bloc_exact.txt", text.substr(0, 0x100000), "", 6},  // one work buffer, one Z_FINISH block
      {"deux_blocs.txt", text.substr(0, 0x80001), "", 1},   // one byte past the buffer: two blocks
      {"trois_blocs.txt", text, "", 9},
      {"bruit.bin", noise, "", 6},
      {"secret.txt", text.substr(0, 5000), "mot de passe", 6},
  };
  {
    TZipArchiver a;
    a.FileName = path;
    a.OpenArchive(kCreateMode);
    writeArchive(a, sources);
    a.CloseArchive();
  }
  const ziptest::CommandResult t = ziptest::runCommand("unzip -t -P 'mot de passe' " + shellQuote(path) + " 2>&1");
  EXPECT_EQ(t.status, 0) << t.out;
  for (const Source& s : sources) EXPECT_EQ(pythonRead(path, s.name, s.password), s.data) << s.name;

  const auto read = ziptest::readArchive(ziptest::readBytes(path));
  ASSERT_TRUE(read);
  const TDirItem& empty = read->items[0];
  EXPECT_EQ(empty.Method, kMethodStored);
  EXPECT_EQ(empty.CompressedSize, 0u);
  EXPECT_EQ(empty.Crc, 0u);
  const TDirItem& secret = read->items[7];
  EXPECT_EQ(secret.CompressedSize, ziptest::rawDeflate(text.substr(0, 5000)).size() + 12)
      << "the deflated size plus the encryption header";

  // And by the component itself, the way the update installer reads.
  TZipArchiver back;
  back.FileName = path;
  back.Password = "mot de passe";
  back.OpenArchive(0x20);
  back.BaseDir = (dir / "out").string();
  back.ExtractFiles("*.*", 0x28BF, "");
  for (const Source& s : sources) EXPECT_EQ(testsupport::readFile(dir / "out" / s.name), s.data) << s.name;
}

TEST(Writer, NewArchiveClosedEmptyIsAValidZip) {
  testsupport::TempDir dir;
  const std::string path = (dir / "vide.zip").string();
  testsupport::writeFile(path, "ancien contenu tronqué à l'ouverture");
  TZipArchiver a;
  a.FileName = path;
  a.OpenArchive(kCreateMode);
  a.CloseArchive();
  const std::string bytes = ziptest::readBytes(path);
  EXPECT_EQ(bytes, ziptest::le32(0x06054b50) + std::string(18, '\0'));
  a.OpenArchive(0x20);
  EXPECT_EQ(a.EntryCount(), 0);
  EXPECT_EQ(ziptest::runCommand("/usr/bin/python3 -m zipfile -t " + shellQuote(path)).status, 0);
}

// The in-memory archive's bytes after its directory is written.
std::string directoryWritten(TZipArchiver& a) {
  TZAArchiverInternals::DirManager(a).WriteDirectory();
  platform::TStream& s = *TZAArchiverInternals::ArchiveStream(a);
  std::string bytes(static_cast<size_t>(s.Size()), '\0');
  s.SetPosition(0);
  s.ReadBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

TEST(Writer, Zip64RecordsFromTheEntryCount) {
  for (const int count : {65534, 65535}) {
    SCOPED_TRACE(count);
    TZipArchiver a;
    a.SetInMemory(true);
    a.OpenArchive(kCreateMode);
    TZADirArray& dir = TZAArchiverInternals::DirManager(a).ArchiveDir;
    dir.SetCount(count);
    for (int i = 0; i < count; ++i) ZASetStoredName(*dir.GetItemPtr(i), "f" + std::to_string(i), true);
    const auto read = ziptest::readArchive(directoryWritten(a));
    ASSERT_TRUE(read);
    EXPECT_EQ(read->items.size(), static_cast<size_t>(count));
    EXPECT_EQ(read->zip64.has_value(), count == 65535);
    EXPECT_EQ(read->end.TotalEntries, count == 65535 ? 0xFFFF : count);
    if (read->zip64) {
      EXPECT_EQ(read->zip64->TotalEntries, 65535u);
    }
  }
}

TEST(Writer, Zip64BlockRebuiltFirstOtherBlocksKept) {
  TZipArchiver a;
  a.SetInMemory(true);
  a.OpenArchive(kCreateMode);
  TZADirArray& dir = TZAArchiverInternals::DirManager(a).ArchiveDir;
  dir.SetCount(1);
  TDirItem& item = *dir.GetItemPtr(0);
  ZASetStoredName(item, "grand.bin", true);
  item.UncompressedSize = kMarker32;
  item.UncompressedSize64 = 0x123456789ull;
  item.ExtraBlocks = {{0x5455, {1, 2, 3}}, {0x0001, {9, 9, 9, 9}}, {0x7875, {4}}};
  const auto read = ziptest::readArchive(directoryWritten(a));
  ASSERT_TRUE(read);
  const TDirItem& back = read->items[0];
  ASSERT_EQ(back.ExtraBlocks.size(), 3u);
  EXPECT_EQ(back.ExtraBlocks[0].HeaderId, 0x0001);
  EXPECT_EQ(back.UncompressedSize64, 0x123456789ull);
  EXPECT_EQ(back.ExtraBlocks[1].HeaderId, 0x5455);
  EXPECT_EQ(back.ExtraBlocks[2].HeaderId, 0x7875);
}

TEST(Compression, TablesOfModes) {
  struct Row {
    uint8_t mode;
    TZACompressionLevel level;
    int64_t buffer;
    uint16_t header;
  };
  for (const Row& r :
       {Row{0, clNone, 0x100000, 0x78DA}, Row{1, clFastest, 0x80000, 0x7801}, Row{3, clFastest, 0x80000, 0x785E},
        Row{4, clNormal, 0x100000, 0x785E}, Row{6, clNormal, 0x100000, 0x789C}, Row{7, clMax, 0x180000, 0x78DA},
        Row{9, clMax, 0x180000, 0x78DA}, Row{10, clNone, 0x100000, 0}}) {
    EXPECT_EQ(CompressionLevelForMode(r.mode), r.level) << int{r.mode};
    EXPECT_EQ(BufferSizeForCompressionMode(r.mode), r.buffer) << int{r.mode};
    EXPECT_EQ(ZlibHeaderForMode(r.mode), r.header) << int{r.mode};
  }
}

TEST(Compression, Zip64ModeAlwaysMarksTheSizes) {
  TZipArchiver a;
  a.SetInMemory(true);
  a.OpenArchive(kCreateMode);
  a.Zip64Mode = zmAlways;
  TDirItem item;
  item.FileName = "toujours.txt";
  item.Method = kMethodDeflated;
  item.CompressionMode = 6;
  platform::TMemoryStream in;
  in.Write("abc", 3);
  ASSERT_TRUE(TZAArchiverInternals::CompressItemData(a, in, *TZAArchiverInternals::ArchiveStream(a), item));
  EXPECT_EQ(item.CompressedSize, kMarker32);
  EXPECT_EQ(item.UncompressedSize64, 3u);
}

}  // namespace

namespace {

TEST(Writer, StubCopiedInFrontOfANewArchive) {
  testsupport::TempDir dir;
  const std::string stub = "MZ" + std::string(70000, 's');
  testsupport::writeFile(dir / "stub.bin", stub);
  {
    TZipArchiver a;
    a.FileName = (dir / "setup.exe").string();
    a.SFXStub = (dir / "stub.bin").string();
    a.OpenArchive(kCreateMode);
    EXPECT_EQ(TZAArchiverInternals::DirManager(a).StubSize, static_cast<int64_t>(stub.size()));
    writeArchive(a, {{"lisezmoi.txt", "bonjour", "", 6}});
    a.CloseArchive();
  }
  const std::string bytes = ziptest::readBytes((dir / "setup.exe").string());
  EXPECT_EQ(bytes.substr(0, stub.size()), stub);
  EXPECT_EQ(pythonRead((dir / "setup.exe").string(), "lisezmoi.txt"), "bonjour");

  TZipArchiver split;
  split.FileName = (dir / "d.zip").string();
  split.SFXStub = (dir / "stub.bin").string();
  split.SetSpanningMode(smSplitting);
  split.SpanningOptions().VolumeSize = vsCustom;
  split.SpanningOptions().SetCustomVolumeSize(65536);
  try {
    split.OpenArchive(kCreateMode);
    ADD_FAILURE() << "the stub is larger than the first volume";
  } catch (const EZAException& e) {
    EXPECT_EQ(e.NativeError, zeStubTooLarge);
  }
}

}  // namespace
