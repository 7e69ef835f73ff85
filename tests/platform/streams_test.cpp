#include "platform/core/streams.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/core/exceptions.h"
#include "support/temp_dir.h"

using namespace platform;

namespace {

// Runs the same checks on both kinds of stream.
void exerciseStream(TStream& s) {
  const std::string text = "0123456789";
  s.WriteBuffer(text.data(), 10);
  EXPECT_EQ(s.Size(), 10);
  EXPECT_EQ(s.Position(), 10);
  EXPECT_EQ(s.Seek(-4, TSeekOrigin::soEnd), 6);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 4);  // short read at the end
  EXPECT_EQ(std::string(buf, 4), "6789");
  s.SetPosition(2);
  s.ReadBuffer(buf, 3);
  EXPECT_EQ(std::string(buf, 3), "234");
  EXPECT_EQ(s.Seek(1, TSeekOrigin::soCurrent), 6);
  EXPECT_THROW(s.ReadBuffer(buf, 5), EReadError);
  s.SetSize(4);
  EXPECT_EQ(s.Size(), 4);
  EXPECT_LE(s.Position(), 4);
  // Writing past the end leaves zeros in the gap.
  s.SetPosition(6);
  s.WriteBuffer("x", 1);
  s.SetPosition(0);
  char all[7];
  s.ReadBuffer(all, 7);
  EXPECT_EQ(std::string(all, 7), std::string("0123\0\0x", 7));
}

}  // namespace

TEST(Streams, MemoryStream) {
  TMemoryStream m;
  exerciseStream(m);
  EXPECT_THROW(m.Seek(-1, TSeekOrigin::soBeginning), EStreamError);
  m.Clear();
  EXPECT_EQ(m.Size(), 0);
  EXPECT_EQ(m.Position(), 0);
}

TEST(Streams, FileStream) {
  testsupport::TempDir dir;
  const std::string name = (dir / "f.bin").string();
  {
    TFileStream f(name, fmCreate);
    exerciseStream(f);
    EXPECT_TRUE(f.Flush());
  }
  TFileStream r(name, fmOpenRead | fmShareDenyWrite);
  EXPECT_EQ(r.Size(), 7);
  EXPECT_EQ(r.Write("z", 1), 0);  // read-only
  TMemoryStream copy;
  EXPECT_EQ(copy.CopyFrom(r, 0), 7);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(copy.Memory()), 7), std::string("0123\0\0x", 7));

  copy.SaveToFile((dir / "g.bin").string());
  TMemoryStream loaded;
  loaded.LoadFromFile((dir / "g.bin").string());
  EXPECT_EQ(loaded.Bytes(), copy.Bytes());
}

TEST(Streams, OpenAndCreateErrors) {
  testsupport::TempDir dir;
  const std::string missing = (dir / "absent.zip").string();
  try {
    TFileStream f(missing, fmOpenRead);
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.message().rfind("Impossible d'ouvrir le fichier \"" + missing + "\". ", 0), 0u);
  }
  EXPECT_THROW(TFileStream(dir.str(), fmOpenRead), EFOpenError);  // a folder is no file
  EXPECT_THROW(TFileStream((dir / "no/such/x").string(), fmCreate), EFCreateError);
  // A share flag beside fmCreate still creates.
  TFileStream made((dir / "made.zip").string(), fmCreate | fmShareExclusive);
  EXPECT_EQ(made.Write("PK", 2), 2);
}
