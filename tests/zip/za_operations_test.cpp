// One operation over selected entries: the order of its events, names
// changed by a handler, testing entries, and the block layout of entry data.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <thread>
#include <string>
#include <vector>

#include "support/scoped_responder.h"
#include "support/temp_dir.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/archiver/za_lock.h"
#include "zip/za_failure_log.h"
#include "zip/zip_builder.h"

using namespace zip;
using ziptest::FailureLog;

namespace {

namespace fs = std::filesystem;

std::string deflated(ziptest::ZipBuilder& b, const std::string& name, const std::string& plain) {
  ziptest::ZipEntry& e = b.addStored(name, "");
  e.plain = plain;
  e.data = ziptest::rawDeflate(plain);
  e.method = 8;
  return name;
}

TEST(Events, OrderForOneExtractedEntry) {
  testsupport::TempDir dir;
  ziptest::ZipBuilder b;
  std::string big;
  for (int i = 0; big.size() < 3 * 0x100000; ++i) big += std::to_string(i * 7919LL) + ",";
  b.addStored("gros.bin", big);  // stored: three blocks of 1 MiB and a tail
  testsupport::writeFile(dir / "a.zip", b.build());
  fs::create_directories(dir / "base");
  testsupport::writeFile(dir / "base/gros.bin", "existant");

  std::vector<std::string> events;
  TZipArchiver a;
  a.Options().OverwriteMode = omPrompt;
  a.FileName = (dir / "a.zip").string();
  a.OpenArchive(0x20);
  a.BaseDir = (dir / "base").string();
  const auto phase = [](TZAProgressPhase p) { return p == ppStart ? "start" : p == ppProcess ? "process" : "end"; };
  a.OnConfirmProcessFile = [&](TZABaseArchiver*, const std::string&, TZAProcessOperation, bool& c) {
    events.push_back("confirm");
    c = true;
  };
  a.OnFileProgress = [&](TZABaseArchiver*, const std::string&, double p, TZAProcessOperation, TZAProgressPhase ph,
                         bool&) { events.push_back(std::string("file ") + phase(ph) + " " + std::to_string(int(p))); };
  a.OnOverallProgress = [&](TZABaseArchiver*, double p, TZAProcessOperation, TZAProgressPhase ph, bool&) {
    events.push_back(std::string("overall ") + phase(ph) + " " + std::to_string(int(p)));
  };
  a.OnExtractFile = [&](TZABaseArchiver*, std::string& name, uint32_t&, const std::string&) {
    events.push_back("extract " + name);
  };
  a.OnConfirmOverwrite = [&](TZABaseArchiver*, const std::string&, std::string&, bool& c) {
    events.push_back("overwrite");
    c = true;
  };
  a.ExtractFiles("*.*", 0x28BF, "");
  EXPECT_EQ(events,
            (std::vector<std::string>{"overall start 0", "confirm", "file start 0", "extract gros.bin", "overwrite",
                                      "file process 0", "overall process 0", "file process 33", "overall process 33",
                                      "file process 66", "overall process 66", "file process 99", "overall process 99",
                                      "file end 100", "overall end 100"}));
  EXPECT_EQ(testsupport::readFile(dir / "base/gros.bin"), big);
}

TEST(Events, HandlerRenamesTheTargetWithinTheBase) {
  testsupport::TempDir dir;
  ziptest::ZipBuilder b;
  b.addStored("dossier/a.txt", "a").externalAttributes = 0x20;
  b.addStored("b.txt", "b");
  testsupport::writeFile(dir / "a.zip", b.build());
  TZipArchiver a;
  a.FileName = (dir / "a.zip").string();
  a.OpenArchive(0x20);
  a.BaseDir = (dir / "base").string();
  a.OnExtractFile = [](TZABaseArchiver*, std::string& name, uint32_t& attr, const std::string&) {
    if (name == "dossier/a.txt") name = "renomme/a.txt";
    if (name == "b.txt") name = "../../evade.txt";
    attr = 0x21;
  };
  FailureLog failures;
  failures.listen(a);
  a.ExtractFiles("*.*", 0x28BF, "");
  EXPECT_EQ(testsupport::readFile(dir / "base/renomme/a.txt"), "a");
  EXPECT_EQ(fs::status(dir / "base/renomme/a.txt").permissions() & fs::perms::owner_write, fs::perms::none);
  EXPECT_EQ(failures.codes(), (std::vector<int32_t>{zeCannotCreateFile}));
  EXPECT_FALSE(fs::exists(dir / "evade.txt"));
}

TEST(TestEntries, SoundPassBrokenFailAndNoTemporaryStays) {
  testsupport::TempDir dir;
  ziptest::ZipBuilder b;
  deflated(b, "bon.txt", std::string(10000, 'b'));
  deflated(b, "casse.txt", std::string(10000, 'c'));
  b.entries[1].crc = 12345;
  b.addStored("dossier/", "").externalAttributes = 0x10;
  testsupport::writeFile(dir / "a.zip", b.build());
  fs::create_directories(dir / "tmp");
  TZipArchiver a;
  a.TempDir = (dir / "tmp").string();
  a.FileName = (dir / "a.zip").string();
  a.OpenArchive(0x20);
  FailureLog failures;
  failures.listen(a);
  a.SelectFiles("*.*", 0x28BF, "");
  a.ProcessSelectedItems(poTest);
  ASSERT_EQ(failures.fileNames(), (std::vector<std::string>{"casse.txt"}));
  EXPECT_EQ(failures.all[0].operation, poTest);
  EXPECT_EQ(failures.codes(), (std::vector<int32_t>{zeBadEntryData}));
  EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

TEST(TestEntries, CorruptedDataKeptOnRequest) {
  testsupport::TempDir dir;
  ziptest::ZipBuilder b;
  deflated(b, "casse.txt", "donnees intactes mais somme fausse");
  b.entries[0].crc = 1;
  testsupport::writeFile(dir / "a.zip", b.build());
  TZipArchiver a;
  a.ExtractCorruptedFiles = true;
  a.FileName = (dir / "a.zip").string();
  a.OpenArchive(0x20);
  a.BaseDir = (dir / "base").string();
  FailureLog failures;
  failures.listen(a);
  a.ExtractFiles("*.*", 0x28BF, "");
  EXPECT_TRUE(failures.empty()) << failures.first();
  EXPECT_EQ(testsupport::readFile(dir / "base/casse.txt"), "donnees intactes mais somme fausse");
}

// The block layout: a 50-byte header, then each block as its length and a zlib stream.
std::string blockData(const std::string& plain, uint32_t blockSize, bool packed) {
  std::string out(50, '\0');
  const auto put32 = [&](size_t at, uint32_t v) { out.replace(at, 4, ziptest::le32(v)); };
  const uint32_t count = static_cast<uint32_t>((plain.size() + blockSize - 1) / blockSize);
  put32(0, blockSize);
  put32(8, static_cast<uint32_t>(plain.size()));
  put32(16, count);
  out[20] = 0;
  out[21] = packed ? 1 : 0;
  out.replace(22, 2, ziptest::le16(0xFFFF));
  for (uint32_t i = 0; i < count; ++i) {
    const std::string part = plain.substr(i * blockSize, blockSize);
    std::string z(compressBound(part.size()), '\0');
    uLongf zlen = z.size();
    ::compress(reinterpret_cast<Bytef*>(z.data()), &zlen, reinterpret_cast<const Bytef*>(part.data()), part.size());
    z.resize(zlen);
    const std::string& stored = packed ? z : part;
    out += ziptest::le32(static_cast<uint32_t>(stored.size())) + stored;
  }
  return out;
}

TEST(BlockLayout, PackedAndPlainBlocksExtract) {
  std::string plain;
  for (int i = 0; plain.size() < 2500; ++i) plain += std::to_string(i);
  for (const bool packed : {true, false}) {
    testsupport::TempDir dir;
    ziptest::ZipBuilder b;
    ziptest::ZipEntry& e = b.addStored("blocs.bin", blockData(plain, 1000, packed));
    e.plain = plain;
    e.method = 20;
    e.versionNeeded = 11;
    testsupport::writeFile(dir / "a.zip", b.build());
    TZipArchiver a;
    a.FileName = (dir / "a.zip").string();
    a.OpenArchive(0x20);
    a.BaseDir = (dir / "base").string();
    a.ExtractFiles("*.*", 0x28BF, "");
    EXPECT_EQ(testsupport::readFile(dir / "base/blocs.bin"), plain) << packed;
  }
}

TEST(BlockLayout, UnreadableMethodsFailWithTheirCode) {
  struct Row {
    uint16_t method;
    uint16_t versionNeeded;
    const char* code;
  };
  for (const Row& r : {Row{6, 10, "00008"}, Row{9, 20, "00055"}, Row{9, 10, "00055"}}) {
    testsupport::TempDir dir;
    ziptest::ZipBuilder b;
    ziptest::ZipEntry& e = b.addStored("vieux.bin", "donnees");
    e.method = r.method;
    e.versionNeeded = r.versionNeeded;
    testsupport::writeFile(dir / "a.zip", b.build());
    testsupport::ScopedResponder answers({platform::MsgAnswer::Ignore});
    TZipArchiver a;
    a.FileName = (dir / "a.zip").string();
    a.OpenArchive(0x20);
    a.BaseDir = (dir / "base").string();
    a.ExtractFiles("*.*", 0x28BF, "");
    ASSERT_EQ(answers.asked().size(), 1u);
    EXPECT_NE(answers.asked()[0].text.toStdString().find(std::string("Native error: ") + r.code), std::string::npos)
        << answers.asked()[0].text.toStdString();
    EXPECT_FALSE(fs::exists(dir / "base/vieux.bin"));
  }
}

}  // namespace

namespace {

TEST(Lock, HeldByTheRunningOperationForEveryInstance) {
  testsupport::TempDir dir;
  ziptest::ZipBuilder b;
  b.addStored("a.txt", "a");
  testsupport::writeFile(dir / "a.zip", b.build());
  TZipArchiver a;
  a.FileName = (dir / "a.zip").string();
  a.OpenArchive(0x20);
  a.BaseDir = (dir / "base").string();
  std::vector<bool> otherThreadGotIt;
  bool nestedRan = false;
  a.OnFileProgress = [&](TZABaseArchiver*, const std::string&, double, TZAProcessOperation, TZAProgressPhase p, bool&) {
    if (p != ppStart) return;
    std::thread other([&] {
      const bool got = ZAComponentLock().try_lock();
      if (got) ZAComponentLock().unlock();
      otherThreadGotIt.push_back(got);
    });
    other.join();
    // The same thread may run a nested operation of another instance.
    TZipArchiver nested;
    nested.SetInMemory(true);
    nested.OpenArchive(kCreateMode);
    nested.ExtractFiles("*.*", 0x28BF, "");
    nestedRan = true;
  };
  a.ExtractFiles("*.*", 0x28BF, "");
  EXPECT_EQ(otherThreadGotIt, std::vector<bool>{false});
  EXPECT_TRUE(nestedRan);
  ASSERT_TRUE(ZAComponentLock().try_lock()) << "released after the operation";
  ZAComponentLock().unlock();
}

}  // namespace
