#pragma once
// The archive's directory in memory: read from the archive stream on open,
// written back at its end.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/streams.h"
#include "zip/directory/za_dir_array.h"
#include "zip/directory/za_dir_settings.h"
#include "zip/directory/za_dir_volumes.h"
#include "zip/format/za_records.h"
#include "zip/volumes/za_volume_number_info.h"

namespace zip {

struct TZAChainEntry;

class TZADirManager {
 public:
  TZADirManager(platform::TStream* stream, TZADirVolumes& volumes, const TZADirSettings& settings, bool newArchive);
  TZADirManager(const TZADirManager&) = delete;
  TZADirManager& operator=(const TZADirManager&) = delete;

  void ClearEndOfCentralDir();
  void CopySFXStub();
  void ReadDirectory();
  // The backward search of the end record; position -1 when not found.
  bool FindEndOfCentralDir(uint32_t signature, TZipEndOfCentralDir& record, int64_t& position, std::string& comment);
  bool HasEndOfCentralDir();

  void WriteDirectory(platform::TStream* stream = nullptr);
  void RequestVolume(TZAVolumeNumberInfo& info);
  void AddStubOffset();

  platform::TStream* ArchiveStream() const { return stream_; }
  void SetArchiveStream(platform::TStream* stream) { stream_ = stream; }
  bool CustomStream() const { return customStream_; }

  TZADirArray RollbackDir;
  TZADirArray ArchiveDir;
  std::string ArchiveComment;
  TZip64Locator Zip64Locator;
  TZip64EndOfCentralDir Zip64EndOfCentralDir;
  TZipEndOfCentralDir EndOfCentralDir;
  int64_t StubSize = 0;
  bool IsZip64 = false;
  int64_t CentralDirStart = 0;
  // Whether the last search of the end record found one.
  bool EndRecordFound = false;
  // The directory was rebuilt from the local headers: the file holds none
  // that lists these entries until one is written.
  bool Rebuilt = false;

 private:
  bool multiVolume() const;
  bool oemFileNames() const;
  // Whether the directory that the end record at position describes is there, entry for entry.
  bool directoryChecksOut(int64_t position, const TZipEndOfCentralDir& record);
  // False when the directory runs past the end of its volume.
  bool readEntries(int64_t count, TZAVolumeNumberInfo& info);
  // A directory that does not read as its end record says: rebuilt from the
  // local headers when damaged archives are accepted, else zeDamagedArchive.
  void damagedDirectory();
  // Whether the data of one entry lie over another's.
  bool dataOverlap();
  // Sets the stub size; gives how far the entries' offsets fall short of their headers.
  int64_t findFirstLocalHeader(int64_t endPosition);
  void rebuildFromLocalHeaders();
  // The rebuild, where an end record counted entries: none recovered is damage, not an empty archive.
  void rebuildCounting(uint64_t namedEntries);
  TDirItem rebuiltItem(const TZAChainEntry& entry);
  // Whether position may lie inside the data of an entry whose local header
  // stands before it: ZIP data there belong to an archive stored in that
  // entry. Only where the chain of entries from the start reaches position
  // whole does it not.
  bool insideAnEntry(uint64_t position);
  // The most entries an end record found by the last search counted, taken or not.
  uint64_t namedEntries_ = 0;
  // The last rebuild stopped at an entry that a pass of ours was killed in:
  // an end record found behind it is that of an archive stored in the entry.
  bool stoppedAtUnfinished_ = false;
  void writeZip64EndRecord(int64_t dirStart, uint32_t volume, uint32_t dirStartDisk, int64_t entries);
  void writeZip64Locator(uint32_t volume);
  // The volume being written; 0 for a single file.
  int32_t currentVolume() const;
  int64_t zip64EndOffset_ = 0;

  platform::TStream* stream_;
  bool customStream_;
  TZADirVolumes& volumes_;
  const TZADirSettings& settings_;
};

}  // namespace zip
