#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "zip/directory/za_central_entry.h"
#include "zip/format/za_records.h"
#include "zip/zip_builder.h"
#include "zip/zip_test_reader.h"

using namespace zip;
using ziptest::shellQuote;

namespace {

// What "zipinfo -v" prints about one central directory entry.
struct ZipinfoEntry {
  std::string name;
  std::map<std::string, std::string> fields;
  std::string comment;
};

struct Zipinfo {
  std::vector<ZipinfoEntry> entries;
  std::string endSection;
};

std::string trim(const std::string& s) {
  const size_t a = s.find_first_not_of(' ');
  const size_t b = s.find_last_not_of(' ');
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

Zipinfo parseZipinfo(const std::string& out) {
  Zipinfo z;
  std::istringstream in(out);
  std::string line;
  bool inEntry = false, wantName = false, inComment = false;
  while (std::getline(in, line)) {
    if (line.rfind("Central directory entry #", 0) == 0) {
      z.entries.emplace_back();
      inEntry = true;
      wantName = true;
      continue;
    }
    if (!inEntry) {
      z.endSection += line + "\n";
      continue;
    }
    ZipinfoEntry& e = z.entries.back();
    if (wantName) {
      if (line.empty() || line[0] == '-' || line.rfind("  There are an extra", 0) == 0) continue;
      e.name = line.substr(2);
      wantName = false;
      continue;
    }
    if (line.find("file comment begins") != std::string::npos) {
      inComment = true;
      continue;
    }
    if (line.find("file comment ends") != std::string::npos) {
      inComment = false;
      if (!e.comment.empty()) e.comment.pop_back();
      continue;
    }
    if (inComment) {
      e.comment += line + "\n";
      continue;
    }
    const size_t colon = line.find(':');
    if (line.rfind("  ", 0) == 0 && colon != std::string::npos && line[2] != ' ')
      e.fields.emplace(trim(line.substr(0, colon)), trim(line.substr(colon + 1)));
  }
  return z;
}

uint64_t leadingNumber(const std::string& s) { return std::stoull(s); }

std::string dosDateTime(uint16_t date, uint16_t time) {
  static const char* months[] = {"?",   "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul",
                                 "Aug", "Sep", "Oct", "Nov", "Dec", "?",   "?",   "?"};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%d %s %d %02d:%02d:%02d", (date >> 9) + 1980, months[(date >> 5) & 15], date & 31,
                time >> 11, (time >> 5) & 63, (time & 31) * 2);
  return buf;
}

std::string versionText(uint16_t v) {
  const int low = v & 0xFF;
  return std::to_string(low / 10) + "." + std::to_string(low % 10);
}

// Our decoded fields against what zipinfo reports for the same entry.
void expectSameAsZipinfo(const TDirItem& item, const ZipinfoEntry& z) {
  SCOPED_TRACE(z.name);
  const auto f = [&](const std::string& key) {
    const auto it = z.fields.find(key);
    EXPECT_NE(it, z.fields.end()) << key;
    return it == z.fields.end() ? std::string() : it->second;
  };
  EXPECT_EQ(item.FileName, z.name);
  EXPECT_EQ(item.TrueLocalHeaderOffset(), leadingNumber(f("offset of local header from start of archive")));
  EXPECT_EQ(versionText(item.VersionMadeBy), f("version of encoding software"));
  EXPECT_EQ(versionText(item.VersionNeeded), f("minimum software version required to extract"));
  const std::string origin = f("file system or operating system of origin");
  if (origin == "Unix") {
    EXPECT_EQ(item.VersionMadeBy >> 8, 3);
  } else if (origin == "MS-DOS, OS/2 or NT FAT") {
    EXPECT_EQ(item.VersionMadeBy >> 8, 0);
  }
  const std::string method = f("compression method");
  EXPECT_EQ(item.Method, method == "none (stored)" ? 0 : method == "deflated" ? 8 : -1) << method;
  EXPECT_EQ((item.Flags & kFlagEncrypted) != 0, f("file security status") == "encrypted");
  EXPECT_EQ((item.Flags & kFlagDataDescriptor) != 0, f("extended local header") == "yes");
  EXPECT_EQ(dosDateTime(item.ModDate, item.ModTime), f("file last modified on (DOS date/time)"));
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08x", item.Crc);
  EXPECT_EQ(crc, f("32-bit CRC value (hex)"));
  EXPECT_EQ(item.TrueCompressedSize(), leadingNumber(f("compressed size")));
  EXPECT_EQ(item.TrueUncompressedSize(), leadingNumber(f("uncompressed size")));
  EXPECT_EQ(item.NameLength, leadingNumber(f("length of filename")));
  EXPECT_EQ(item.ExtraLength, leadingNumber(f("length of extra field")));
  EXPECT_EQ(item.CommentLength, leadingNumber(f("length of file comment")));
  EXPECT_EQ("disk " + std::to_string(item.TrueDiskNumberStart() + 1), f("disk number on which file begins"));
  EXPECT_EQ(item.Extras().Comment, z.comment);
  for (const auto& [key, value] : z.fields) {
    const auto inParens = [&](const std::string& prefix, int base) {
      return std::stoul(key.substr(prefix.size()), nullptr, base);
    };
    if (key.rfind("MS-DOS file attributes (", 0) == 0) {
      EXPECT_EQ(item.ExternalAttributes & 0xFF, inParens("MS-DOS file attributes (", 16));
    } else if (key.rfind("Unix file attributes (", 0) == 0) {
      EXPECT_EQ(item.ExternalAttributes >> 16, inParens("Unix file attributes (", 8));
    }
  }
}

// The number printed right after the first occurrence of the marker text.
uint64_t numberAfter(const std::string& section, const std::string& marker) {
  const size_t at = section.find(marker);
  if (at == std::string::npos) {
    ADD_FAILURE() << "zipinfo printed no " << marker;
    return UINT64_MAX;
  }
  return std::stoull(section.substr(at + marker.size()));
}

struct Maker {
  const char* what;
  std::string command;  // run in the work folder; makes "t.zip"
  bool zip64;
};

void PrintTo(const Maker& m, std::ostream* os) { *os << m.what; }

class ZAInterop : public ::testing::TestWithParam<Maker> {};

}  // namespace

TEST_P(ZAInterop, RecordsReadAsZipinfoPrintsThemAndWriteBack) {
  const Maker& maker = GetParam();
  testsupport::TempDir dir;
  const std::string d = shellQuote(dir.str());
  std::string text;
  for (int i = 0; text.size() < 8000; ++i) text += "ligne " + std::to_string(i) + "\n";
  testsupport::writeFile(dir / "a.txt", "123456789");
  testsupport::writeFile(dir / "long.txt", text);
  std::filesystem::create_directories(dir / "d");
  testsupport::writeFile(dir / "d" / "é ü.txt", "accents");
  testsupport::writeFile(dir / "mk.py", R"(import zipfile, sys
with zipfile.ZipFile('t.zip', 'w') as z:
    z.comment = b'archive comment'
    i = zipfile.ZipInfo('stored.txt', (2024, 2, 29, 23, 59, 58)); i.comment = b'entry comment'
    z.writestr(i, b'123456789')
    i = zipfile.ZipInfo('dossier/été €.txt', (2001, 1, 2, 3, 4, 6)); i.compress_type = zipfile.ZIP_DEFLATED
    z.writestr(i, b'x' * 5000)
    z.writestr(zipfile.ZipInfo('dossier/'), b'')
    with z.open(zipfile.ZipInfo('forced64.bin', (2010, 6, 7, 8, 9, 10)), 'w', force_zip64=True) as f:
        f.write(b'abc' * 100)
)");
  ASSERT_EQ(ziptest::runCommand("cd " + d + " && " + maker.command + " >/dev/null 2>&1").status, 0) << maker.command;
  const std::string archive = (dir / "t.zip").string();
  const std::string bytes = ziptest::readBytes(archive);
  const auto a = ziptest::readArchive(bytes);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->zip64.has_value(), maker.zip64);

  const auto info = ziptest::runCommand("zipinfo -v " + shellQuote(archive));
  ASSERT_EQ(info.status, 0);
  const Zipinfo z = parseZipinfo(info.out);
  ASSERT_EQ(z.entries.size(), a->items.size());
  for (size_t i = 0; i < a->items.size(); ++i) expectSameAsZipinfo(a->items[i], z.entries[i]);

  const uint64_t count = a->zip64 ? a->zip64->TotalEntries : a->end.TotalEntries;
  const uint64_t dirSize = a->zip64 ? a->zip64->DirSize : a->end.DirSize;
  const uint64_t dirOffset = a->zip64 ? a->zip64->DirOffset : a->end.DirOffset;
  EXPECT_EQ(count, numberAfter(z.endSection, "central directory contains "));
  EXPECT_EQ(dirSize, numberAfter(z.endSection, "The central directory is "));
  EXPECT_EQ(dirOffset, numberAfter(z.endSection, "from the beginning of the zipfile\n  is "));
  EXPECT_EQ(a->endOffset + 22 + a->comment.size(), bytes.size());
  if (a->comment.empty()) {
    EXPECT_NE(z.endSection.find("There is no zipfile comment."), std::string::npos);
  } else {
    EXPECT_EQ(a->comment.size(), numberAfter(z.endSection, "The zipfile comment is "));
  }

  // Written back: the same bytes, but for a name made UTF-8-flagged and the
  // Zip64 block, rebuilt in front of the other blocks (and left out where no
  // marker calls for it).
  std::string directory;
  for (size_t i = 0; i < a->items.size(); ++i) {
    const TDirItem& item = a->items[i];
    const std::vector<uint8_t> written = EncodeCentralEntry(item, true);
    const std::string& raw = a->rawEntries[i];
    std::string zip64, others;
    for (const ExtraBlock& b : item.ExtraBlocks) {
      const std::string block = ziptest::extraBlock(b.HeaderId, std::string(b.Data.begin(), b.Data.end()));
      (b.HeaderId == kZip64ExtraId ? zip64 : others) += block;
    }
    if (Zip64ExtraSize(item) == 0) zip64.clear();
    std::string header = raw.substr(0, 46);
    header.replace(8, 2, ziptest::le16(item.Flags));
    header.replace(30, 2, ziptest::le16(static_cast<uint16_t>(zip64.size() + others.size())));
    const std::string expected =
        header + raw.substr(46, item.NameLength) + zip64 + others + raw.substr(46 + item.NameLength + item.ExtraLength);
    EXPECT_EQ(std::string(written.begin(), written.end()), expected) << item.FileName;
    directory += std::string(written.begin(), written.end());
  }
  TZipEndOfCentralDir end;
  end.EntriesOnDisk = end.TotalEntries = static_cast<uint16_t>(a->items.size());
  end.DirSize = static_cast<uint32_t>(directory.size());
  end.DirOffset = static_cast<uint32_t>(a->directoryOffset);
  end.CommentLength = static_cast<uint16_t>(a->comment.size());
  const auto endBytes = EncodeEndOfCentralDir(end);
  const std::string rewritten = (dir / "rewritten.zip").string();
  testsupport::writeFile(rewritten, bytes.substr(0, a->directoryOffset) + directory +
                                        std::string(endBytes.begin(), endBytes.end()) + a->comment);
  const auto test = ziptest::runCommand("unzip -t " + shellQuote(rewritten) + " 2>&1");
  EXPECT_EQ(test.status, 0) << test.out;
  const auto names = ziptest::runCommand("zipinfo -1 " + shellQuote(rewritten));
  std::string expectedNames;
  for (const TDirItem& item : a->items) expectedNames += item.FileName + "\n";
  EXPECT_EQ(names.out, expectedNames);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ZAInterop,
    ::testing::Values(
        Maker{
            "InfoZip",
            "printf 'first comment\\nsecond\\n\\nthird\\nfourth\\n' | zip -q -c t.zip a.txt long.txt d 'd/é ü.txt' && "
            "printf 'archive comment' | zip -q -z t.zip",
            false},
        Maker{"InfoZipZip64", "zip -q -fz t.zip a.txt long.txt d 'd/é ü.txt'", true},
        Maker{"PythonZipfile", "/usr/bin/python3 mk.py", false},
        Maker{"SevenZip", "7z a -tzip t.zip a.txt long.txt d", false}),
    [](const ::testing::TestParamInfo<Maker>& info) { return std::string(info.param.what); });
