#include <gtest/gtest.h>

#include <vector>

#include "zip/za_options.h"
#include "zip/za_spanning_options.h"
#include "zip/volumes/za_volume_number_info.h"

using namespace zip;

TEST(ZAOptions, DefaultsAndAssign) {
  const TZAOptions o;
  EXPECT_TRUE(o.Recurse);
  EXPECT_EQ(o.StorePath, spRelativePath);
  EXPECT_EQ(o.ShareMode, smShareDenyNone);
  EXPECT_EQ(o.OverwriteMode, omAlways);
  EXPECT_TRUE(o.CreateDirs);
  EXPECT_TRUE(o.ReplaceReadOnly);
  EXPECT_TRUE(o.SetAttributes);
  EXPECT_EQ(o.SearchAttr, 0x28BF);
  EXPECT_TRUE(o.FlushBuffers);
  EXPECT_TRUE(o.OEMFileNames);

  TZAOptions changed;
  changed.Recurse = false;
  changed.StorePath = spFullPathWithDrive;
  changed.ShareMode = smShareExclusive;
  changed.OverwriteMode = omIfOlder;
  changed.CreateDirs = changed.ReplaceReadOnly = changed.SetAttributes = false;
  changed.SearchAttr = 0x10;
  changed.FlushBuffers = changed.OEMFileNames = false;
  TZAOptions target;
  target.Assign(changed);
  EXPECT_EQ(target, changed);
}

TEST(ZAOptions, ShareFlags) {
  EXPECT_EQ(ZAShareFlags(smShareCompat), 0x00);
  EXPECT_EQ(ZAShareFlags(smShareExclusive), 0x10);
  EXPECT_EQ(ZAShareFlags(smShareDenyWrite), 0x20);
  EXPECT_EQ(ZAShareFlags(smShareDenyRead), 0x30);
  EXPECT_EQ(ZAShareFlags(smShareDenyNone), 0x40);
}

TEST(ZASpanningOptions, CustomSizeIsClamped) {
  TZASpanningOptions s;
  EXPECT_EQ(s.CustomVolumeSize(), 0);
  for (auto [in, out] : std::vector<std::pair<int64_t, int64_t>>{
           {1000, 65536}, {-5, 65536}, {0, 65536}, {65535, 65536}, {65536, 65536}, {5000000000LL, 5000000000LL}}) {
    s.SetCustomVolumeSize(in);
    EXPECT_EQ(s.CustomVolumeSize(), out) << in;
  }
}

TEST(ZASpanningOptions, VolumeSizeBytes) {
  TZAVolumeNumberInfo first, later;
  first.SetFirstVolume(true);
  later.SetVolumeNumber(3);
  struct Case {
    TZAVolumeSize size;
    int64_t bytes;
  };
  for (const Case& c : std::vector<Case>{{vsAutoDetect, -1},
                                         {vsCustom, 0},
                                         {vs1_44MB, 1457664},
                                         {vs100MB, 104857600},
                                         {vs200MB, 209715200},
                                         {vs250MB, 262144000},
                                         {vs600MB, 629145600},
                                         {vs650MB, 681574400},
                                         {vs700MB, 734003200},
                                         {vs4700MB, 4928307200LL}}) {
    TZASpanningOptions s;
    s.VolumeSize = c.size;
    EXPECT_EQ(s.GetVolumeSizeBytes(later), c.bytes) << int(c.size);
    EXPECT_EQ(s.GetVolumeSizeBytes(first), c.bytes) << int(c.size);
  }

  TZASpanningOptions s;
  s.VolumeSize = vs1_44MB;
  s.FirstVolumeSize = 5000000;
  EXPECT_EQ(s.GetVolumeSizeBytes(first), 5000000);
  EXPECT_EQ(s.GetVolumeSizeBytes(later), 1457664);
  for (int64_t none : {0LL, -1LL}) {
    s.FirstVolumeSize = none;
    EXPECT_EQ(s.GetVolumeSizeBytes(first), 1457664);
  }

  TZASpanningOptions copy;
  s.SetCustomVolumeSize(70000);
  s.AdvancedNaming = false;
  copy.Assign(s);
  EXPECT_EQ(copy.CustomVolumeSize(), 70000);
  EXPECT_FALSE(copy.AdvancedNaming);
  EXPECT_EQ(copy.VolumeSize, vs1_44MB);
  EXPECT_EQ(copy.FirstVolumeSize, -1);
}

TEST(ZAVolumeNumberInfo, Designations) {
  TZAVolumeNumberInfo v;
  EXPECT_EQ(v.Kind, vkUnknown);
  EXPECT_EQ(v.VolumeNumber, -1);
  EXPECT_EQ(v.LastVolumeNumber, -1);
  EXPECT_FALSE(v.GetFirstVolume());
  EXPECT_FALSE(v.GetLastVolume());

  v.SetFirstVolume(false);
  EXPECT_EQ(v.Kind, vkUnknown);
  v.SetFirstVolume(true);
  EXPECT_TRUE(v.GetFirstVolume());
  EXPECT_EQ(v.Kind, vkFirst);

  // Last while the last number is unknown: by kind only.
  TZAVolumeNumberInfo last;
  last.SetLastVolume(false);
  EXPECT_FALSE(last.GetLastVolume());
  last.SetLastVolume(true);
  EXPECT_EQ(last.VolumeNumber, -1);
  EXPECT_TRUE(last.GetLastVolume());
  // Once the last number is known only that volume is the last.
  last.LastVolumeNumber = 4;
  EXPECT_FALSE(last.GetLastVolume());
  last.SetVolumeNumber(4);
  EXPECT_TRUE(last.GetLastVolume());
  EXPECT_EQ(last.Kind, vkNumbered);

  v.Reset();
  EXPECT_EQ(v.Kind, vkUnknown);
  EXPECT_EQ(v.VolumeNumber, -1);
}

TEST(ZAVolumeNumberInfo, SameVolume) {
  TZAVolumeNumberInfo a, b;
  EXPECT_TRUE(a.SameVolume(b));  // both unknown: kinds compared
  a.Kind = vkNumbered;
  EXPECT_FALSE(a.SameVolume(b));

  TZAVolumeNumberInfo lastA, lastB;
  lastA.SetLastVolume(true);
  lastB.SetLastVolume(true);
  EXPECT_TRUE(lastA.SameVolume(lastB));
  EXPECT_FALSE(lastA.SameVolume(a));

  TZAVolumeNumberInfo first, numberedZero;
  first.SetFirstVolume(true);
  numberedZero.SetVolumeNumber(0);
  EXPECT_TRUE(first.SameVolume(numberedZero));

  TZAVolumeNumberInfo two, otherTwo, three;
  two.SetVolumeNumber(2);
  otherTwo.SetVolumeNumber(2);
  three.SetVolumeNumber(3);
  EXPECT_TRUE(two.SameVolume(otherTwo));
  EXPECT_FALSE(two.SameVolume(three));
}
