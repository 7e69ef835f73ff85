#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "zip/za_except.h"

using zip::EZAException;

namespace {

struct Row {
  std::vector<int> codes;
  int messageNumber;
  std::string text;
};

// Each code with the text it must carry, typed out from the component's table.
const std::vector<Row> kTable = {
    {{0}, 0, "Unknown error"},
    {{1, 2, 3, 4, 7, 16, 21, 24}, 1, "Index out of bounds"},
    {{5}, 2, "Invalid compression mode. Mode must be in [0-9] range"},
    {{6}, 3, "Unexpected nil pointer"},
    {{8}, 4, "Invalid size or check sum of file or unsupported compression format"},
    {{9, 10, 29}, 5, "File name is blank. Specify appropriate file name"},
    {{11, 12, 15, 18, 30, 31, 38, 42, 53, 54}, 6, "File \"%s\" not found"},
    {{13, 14}, 7, "Archive is not open"},
    {{17}, 8, "SFXStub property is not specified"},
    {{19, 23}, 9, "Cannot create file \"%s\""},
    {{20}, 10, "Cannot create directory \"%s\""},
    {{22, 25}, 11, "Internal error. Update is not started"},
    {{33}, 12, "Cannot open file \"%s\""},
    {{26}, 13, "Cannot proceed when update is not ended. Preceding EndUpdate call is required."},
    {{27}, 14, "Cannot delete file \"%s\""},
    {{28}, 15, "In-memory archive can be created only"},
    {{32}, 16, "File is open in read-only mode"},
    {{34}, 17, "Invalid compressed size, rfs.size = %d, count = %d"},
    {{35}, 18, "Invalid archive file."},
    {{36}, 19, "Cannot create output file. Probably file is locked by another process. FileName = '%s'."},
    {{37}, 20, "Archive is open. You should close it beore performing this operation."},
    {{39}, 21, "Unable to create directory"},
    {{40}, 22, "Cannot find Zip64 directory end record"},
    {{41, 43}, 23, "Cannot compress file '%s'. Zip64 mode is not enabled"},
    {{44, 45}, 24, "Cannot open archive file. Opening aborted or invalid file"},
    {{46}, 25, "Write to stream error"},
    {{47}, 26, "Cannot place SFX stub on volume. Volume size limit is too small"},
    {{48}, 27, "Archive is damaged. Open failed"},
    {{49},
     28,
     "MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive creation instead of MakeSFX"},
    {{50}, 29, "Archive already has SFX stub"},
    {{51}, 30, "Multi-volume archive is not allowed for custom stream"},
    {{52},
     31,
     "Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods to add files several "
     "times"},
    {{55}, 32, "Deflate64 compression method is not supported"},
    {{56}, 33, "MakeSFX error"},
    // No text of their own: they read as unknown.
    {{57, 58, 59, 60}, 0, "Unknown error"},
};

std::string suffix(int code) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%05d", code);
  return buf;
}

}  // namespace

TEST(ZAErrors, EveryCodeCarriesItsTextAndNumber) {
  std::map<int, int> seen;
  for (const Row& row : kTable) {
    for (int code : row.codes) {
      SCOPED_TRACE(code);
      ++seen[code];
      const EZAException e(code);
      EXPECT_EQ(e.NativeError, code);
      EXPECT_EQ(e.ErrorCode, row.messageNumber);
      EXPECT_EQ(e.message(), row.text + " - Native error: " + suffix(code));
    }
  }
  ASSERT_EQ(seen.size(), 61u);
  EXPECT_EQ(seen.begin()->first, 0);
  EXPECT_EQ(seen.rbegin()->first, 60);
}

TEST(ZAErrors, MessageLayout) {
  struct Case {
    int code;
    std::string component;
    std::string message;
    int errorCode;
  };
  const std::vector<Case> cases = {
      {99, "ZipArchiver1", "ZipArchiver1: Unknown error - Native error: 00099", 0},
      {13, "ZipArchiver1", "ZipArchiver1: Archive is not open - Native error: 00013", 7},
      {13, "", "Archive is not open - Native error: 00013", 7},
      {-1, "", "Unknown error - Native error: 000-1", 0},
      {-12345, "", "Unknown error - Native error: -12345", 0},
      {123456, "", "Unknown error - Native error: 123456", 0},
      {2, "", "Index out of bounds - Native error: 00002", 1},
      {24, "", "Index out of bounds - Native error: 00024", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    const EZAException e(c.code, c.component);
    EXPECT_EQ(e.message(), c.message);
    EXPECT_STREQ(e.what(), c.message.c_str());
    EXPECT_EQ(e.ErrorCode, c.errorCode);
    EXPECT_EQ(e.NativeError, c.code);
  }
}

TEST(ZAErrors, FormattedTexts) {
  EXPECT_EQ(EZAException::CreateFmt(12, "", {"/tmp/été.zip"}).message(),
            "File \"/tmp/été.zip\" not found - Native error: 00012");
  EXPECT_EQ(EZAException::CreateFmt(34, "Zip", {100, 7}).message(),
            "Zip: Invalid compressed size, rfs.size = 100, count = 7 - Native error: 00034");
  // Create leaves placeholders as they stand.
  EXPECT_EQ(EZAException(12).message(), "File \"%s\" not found - Native error: 00012");
  // A missing argument is the formatter's conversion error, as in the class library.
  EXPECT_THROW(EZAException::CreateFmt(34, "", {1}), platform::EConvertError);
}

TEST(ZAErrors, IsTheClassLibrarysException) {
  try {
    throw EZAException(35, "ZipArchiver1");
  } catch (const platform::Exception& e) {
    EXPECT_EQ(e.message(), "ZipArchiver1: Invalid archive file. - Native error: 00035");
  }
}
