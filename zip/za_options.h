#pragma once
// The archiver's behaviour switches (its Options property).
#include <cstdint>

namespace zip {

enum TZAStorePathMode : uint8_t { spNoPath, spRelativePath, spFullPath, spFullPathWithDrive };
enum TZAFileShareMode : uint8_t { smShareCompat, smShareExclusive, smShareDenyWrite, smShareDenyRead, smShareDenyNone };
enum TZAOverwriteMode : uint8_t { omPrompt, omAlways, omNever, omIfNewer, omIfOlder };

// The file-open share flag that a share mode stands for (0x00, 0x10, 0x20, 0x30, 0x40).
uint16_t ZAShareFlags(TZAFileShareMode mode);

class TZAOptions {
 public:
  TZAOptions() = default;
  void Assign(const TZAOptions& source) { *this = source; }

  bool Recurse = true;
  TZAStorePathMode StorePath = spRelativePath;
  TZAFileShareMode ShareMode = smShareDenyNone;
  TZAOverwriteMode OverwriteMode = omAlways;
  bool CreateDirs = true;
  bool ReplaceReadOnly = true;
  bool SetAttributes = true;
  int32_t SearchAttr = 0x28BF;
  bool FlushBuffers = true;
  bool OEMFileNames = true;

  bool operator==(const TZAOptions&) const = default;
};

}  // namespace zip
