#include "platform/core/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/core/exceptions.h"
#include "support/temp_dir.h"

using platform::IniFile;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

TEST(IniFile, NamesMatchWithoutCaseValuesStayVerbatim) {
  TempDir dir;
  const auto path = dir / "serie.ini";
  writeFile(path, "[Form1]\r\nheure_sauv=13\r\nrep_principal=  /a=b ;c \r\n[Other]\nKey=x\n");
  IniFile ini(path.string());
  EXPECT_EQ(ini.readString("form1", "HEURE_SAUV", "?"), "13");
  EXPECT_EQ(ini.readString("Form1", "rep_principal", "?"), "  /a=b ;c ");
  EXPECT_EQ(ini.readString("other", "key", "?"), "x");
  EXPECT_EQ(ini.readString("Form1", "missing", "def"), "def");
  EXPECT_EQ(ini.readString("Nope", "key", "def"), "def");
  EXPECT_TRUE(ini.valueExists("FORM1", "Heure_Sauv"));
  EXPECT_FALSE(ini.valueExists("Form1", "other"));
}

TEST(IniFile, ReadsWholeNumbersOrTheDefault) {
  TempDir dir;
  const auto path = dir / "a.ini";
  writeFile(path, "[s]\na=12\nb=0x10\nc=douze\nd=\ne=-4\n");
  IniFile ini(path.string());
  const std::pair<const char*, int> cases[] = {{"a", 12}, {"b", 16}, {"c", 7}, {"d", 7}, {"e", -4}, {"missing", 7}};
  for (const auto& [key, expected] : cases) EXPECT_EQ(ini.readInteger("s", key, 7), expected) << key;
}

TEST(IniFile, WritesEraseAndReadBackAfterReopening) {
  TempDir dir;
  const auto path = dir / "serie.ini";
  {
    IniFile ini(path.string());
    ini.writeString("fmMain", "derniere_sauv", "1234");
    ini.writeString("Form1Repertoires_sauv", "L0", "/home/a|*.*|oui");
    ini.writeInteger("Form1Repertoires_sauv", "ItemIndex", -1);
    ini.writeString("Gone", "k", "v");
    ini.writeString("FMMAIN", "DERNIERE_SAUV", "99");  // same key, other case: replaced
    ini.eraseSection("gone");
    ini.flush();
  }
  IniFile again(path.string());
  EXPECT_EQ(again.readString("fmMain", "derniere_sauv", ""), "99");
  EXPECT_EQ(again.readInteger("Form1Repertoires_sauv", "ItemIndex", 0), -1);
  EXPECT_EQ(again.readString("Form1Repertoires_sauv", "L0", ""), "/home/a|*.*|oui");
  EXPECT_FALSE(again.sectionExists("Gone"));
  EXPECT_EQ(
      readFile(path),
      "[fmMain]\r\nderniere_sauv=99\r\n\r\n[Form1Repertoires_sauv]\r\nL0=/home/a|*.*|oui\r\nItemIndex=-1\r\n\r\n");
}

TEST(IniFile, ValuesAreCutAt2047Characters) {
  TempDir dir;
  IniFile ini((dir / "a.ini").string());
  ini.writeString("s", "k", std::string(3000, 'x'));
  EXPECT_EQ(ini.readString("s", "k", "").size(), 2047u);
}

TEST(IniFile, ALineBreakInAValueCannotStartAKey) {
  TempDir dir;
  const auto path = dir / "a.ini";
  {
    IniFile ini(path.string());
    ini.writeString("s", "k", "a\r\ninjected=1");
  }
  IniFile again(path.string());
  EXPECT_FALSE(again.valueExists("s", "injected"));
  EXPECT_EQ(again.readString("s", "k", ""), "a  injected=1");
}

TEST(IniFile, SaveReplacesTheFileWholeOwnerOnly) {
  TempDir dir;
  const auto path = dir / "serie.ini";
  writeFile(path, "[s]\r\nk=old\r\n");
  ::chmod(path.c_str(), 0644);
  // A second name on the old file shows whether it was rewritten in place or replaced.
  const auto witness = dir / "old.ini";
  std::filesystem::create_hard_link(path, witness);
  {
    IniFile ini(path.string());
    ini.writeString("s", "k", "new");
    ini.flush();
  }
  EXPECT_EQ(readFile(witness), "[s]\r\nk=old\r\n");
  EXPECT_EQ(IniFile(path.string()).readString("s", "k", ""), "new");
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) files += e.is_regular_file();
  EXPECT_EQ(files, 2);  // no temporary file left over
}

TEST(IniFile, AFailedSaveRaisesTheWriteErrorAndLeavesNoFile) {
  TempDir dir;
  const auto path = dir / "missing-folder" / "serie.ini";
  IniFile ini(path.string());
  ini.writeString("s", "k", "v");
  try {
    ini.flush();
    FAIL() << "flush succeeded";
  } catch (const platform::EWriteError& e) {
    EXPECT_EQ(e.message(), "Impossible d'écrire dans " + path.string());
  }
  EXPECT_FALSE(std::filesystem::exists(path.parent_path()));
}

TEST(IniFile, NothingWrittenWhenNothingChanged) {
  TempDir dir;
  const auto path = dir / "serie.ini";
  { IniFile ini(path.string()); }
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
