#pragma once
// The archiver's own state and work, behind its public face: the open
// archive's stream and directory, the volumes, the update pass and the
// extraction. The directory reads and writes through it.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/core/streams.h"
#include "zip/directory/za_dir_item.h"
#include "zip/directory/za_dir_manager.h"
#include "zip/directory/za_dir_settings.h"
#include "zip/directory/za_dir_volumes.h"
#include "zip/volumes/za_volume_number_info.h"
#include "zip/za_archiver.h"

namespace zip {

struct TZAExistingFile;
class TZAFolderGuard;
class TZAReplaceBatch;

class TZABaseArchiver::Impl : public TZADirVolumes, public TZADirSettings {
 public:
  explicit Impl(TZABaseArchiver& owner);
  ~Impl() override;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  // The work behind the public operations of the same names.
  void SetInMemory(bool value);
  void InternalOpenArchive();
  void CloseArchive() noexcept;
  void ApplyPendingUpdates();
  void ProcessSelectedItems(TZAProcessOperation operation);
  void GetVolumeFileName(std::string& name, int32_t index, bool checkExists);

  [[noreturn]] void raise(int32_t code) const;
  // The write error, with the system's reason for the write that failed
  // (errno, cleared by the caller before that write).
  [[noreturn]] void raiseWriteFailed() const;

  // Opening, by kind of archive.
  void OpenNewArchive();
  void OpenExistingArchive();
  void OpenSelfExtractingArchive();
  void FindLastVolume();
  void probeLastVolume(bool removableCheck);

  // The stream of the volume in use; null while closed.
  platform::TStream* ArchiveStream() override { return archiveStream_.get(); }
  void FillItemForFile(int32_t index, const std::string& fileName, bool fromDisk);

  // Volumes.
  TZAVolumeNumberInfo& VolumeInfo() override { return volumeInfo_; }
  void CreateVolumeFile(const std::string& name);
  void OpenVolume(TZAVolumeNumberInfo& info) override;
  int64_t WriteToVolumes(const void* buffer, int64_t count, platform::TMemoryStream* pending, int64_t reserve,
                         TZAVolumeNumberInfo& info, platform::TStream*& stream);
  void WriteArchiveBuffer(const void* buffer, int64_t count, platform::TMemoryStream* pending, int64_t reserve,
                          TZAVolumeNumberInfo& info, platform::TStream*& stream) override;
  const std::string& VolumeFileName() const override { return volumeFileName_; }
  const std::string& ArchiveFileName() const override { return a_.FileName; }
  std::string LastVolumeFileName() override;
  void CopyStreamToVolumes(platform::TStream& source, platform::TStream*& stream, bool progress,
                           platform::TMemoryStream* pending, int64_t reserve, int64_t count, bool& cancel,
                           TZAVolumeNumberInfo& info);
  static bool HasExeExtension(const std::string& name);
  // Reads from the archive stream, going on at the start of the next volume
  // when a volume ends; the bytes read.
  int64_t ReadFromVolumes(void* buffer, int64_t count);
  // After the archive was rewritten under a volume name: it takes its own name.
  void ReplaceStream(std::unique_ptr<platform::TStream> stream, const std::string& volumeFileName) override;

  // What the directory reads of the settings.
  const std::string& ComponentName() const override { return a_.Name; }
  bool MultiVolume() const override { return spanningMode_ != smNone; }
  bool OEMFileNames() const override { return options_->OEMFileNames; }
  bool AcceptsDamaged() const override { return allowDamagedOpen_; }
  const std::string& StubFileName() const override { return a_.SFXStub; }
  int64_t FirstVolumeLimit() const override;

  // Entry data.
  bool CompressItemData(platform::TStream& source, platform::TStream& archive, TDirItem& item);
  // archiveSize: the archive stream's size when the caller has it, else -1.
  bool ExtractItemToStream(platform::TStream& archive, platform::TStream& target, TDirItem& item,
                           int64_t archiveSize = -1);
  void InternalExtractItem(int32_t index, platform::TStream& target);

  bool isSelfExtracting(const std::string& name) const;
  // The label a spanned volume gets on its disk.
  static std::string spanningLabel(int32_t volumeNumber);
  void dropDirManager();
  void makeDirManager(bool newArchive);
  bool searchStep(TZAArchiveItem& item);
  bool nameMatchesSearch(const TDirItem& entry, const TZAArchiveItem& item) const;
  // One selected entry, tried again for as long as the failure event says so; the last action.
  TZAAction processEntry(int32_t index, TZAProcessOperation operation, bool& removed);
  // Puts the waiting new files in their targets' places (last: for good, the
  // new names flushed); a file that did not take its place goes to the
  // failure event under its entry's name.
  TZAAction commitReplacements(bool last);
  void processExtractItem(int32_t index, std::string name, const std::string& baseFolder);
  // What stands at target for the overwrite rules: the file about to take its place, if one waits.
  TZAExistingFile inspectTarget(const std::string& target) const;
  void processTestItem(int32_t index);
  void writeEntryFile(int32_t index, const std::string& target, uint32_t attributes, const TZAExistingFile& existing);
  int32_t FindFirstChangedItem() const;
  void BackupArchiveTail(uint64_t offset);
  bool StoreItem(int32_t index, TZAAction& action);
  void CopyUnchangedItem(int32_t index);
  void RollbackUpdate();
  void RestoreArchiveTail();
  void DeleteBackupFile();
  int64_t updateStartPosition() const;
  // The end of the kept entries' records: where a pass that only appends writes.
  uint64_t liveEntriesEnd() const;
  // Cuts the archive back to at, where the pass writes next; entriesBelow:
  // whole entries lie below at (see the definition).
  void cutBackTo(int64_t at, int64_t entriesEnd, bool entriesBelow);
  // Where the pass writes its next record; the stream is positioned there.
  int64_t nextRecordPosition();
  int32_t firstRewrittenItem(uint64_t& tailStart) const;
  bool writeItemsFrom(int32_t first, std::vector<std::string>& movedSources);
  void deleteMovedSources(const std::vector<std::string>& movedSources);
  bool noCompression(const std::string& storedName) const;
  // Lays an entry written to a temporary file down across the volumes; whether the copy was cancelled.
  bool copyEntryToVolumes(platform::TStream& temp, TDirItem& item, int64_t headerLength);
  void copyBackupBytes(int64_t from, int64_t count);
  // Positions are known to the caller: a pass over many kept entries asks the file for none.
  void queueBackupCopy(int64_t from, int64_t count, int64_t to);
  void flushBackupCopy();
  // Reads from the backup through a window kept in memory; the bytes read.
  int64_t readBackupAt(int64_t at, uint8_t* buffer, int64_t count);
  std::string makeTempFileIn(const std::string& folder) const;
  // Where the backup of the rewritten tail goes: TempDir, else the archive's own folder.
  std::string backupFolder() const;
  // The rollback entry whose data a kept entry takes; -1 when there is none.
  int32_t findRollbackItem(const std::string& name, uint64_t offset) const;
  void indexRollbackDir();
  // Where a kept entry's record ends in the archive: its header, name, extra
  // field, data and data descriptor (the local header is read when exact).
  uint64_t keptDataEnd(const TDirItem& entry, bool exact) const;
  void processUpdateItem(int32_t index, const std::string& baseFolder);
  void processDeleteItem(int32_t index);
  void progressStep(const std::string& fileName, double done, double total, TZAProcessOperation operation);
  // Reads entry bytes; the archive's own stream is looked up anew on every
  // read, as a read that runs past a volume's end replaces it.
  using ReadEntryBytes = std::function<int64_t(void*, int64_t)>;
  // The next n entry bytes where they all lie in memory already, without a copy: n, and
  // they are taken as read; else 0.
  using LendEntryBytes = std::function<int64_t(uint8_t*&, int64_t)>;
  bool extractStreamPath(const ReadEntryBytes& read, const LendEntryBytes& lend, platform::TStream& target,
                         TDirItem& item, bool encrypted, uint64_t compressedSize, uint32_t& crc, uint64_t& written,
                         const TZipLocalHeader& lh);
  bool extractBlockPath(const ReadEntryBytes& read, platform::TStream& target, TDirItem& item, uint32_t& crc,
                        uint64_t& written);

  // The archiver whose state this is: its properties and events.
  TZABaseArchiver& a_;
  bool zipFormat_ = false;
  uint16_t compressionMethod_ = 0xFFFF;
  std::unique_ptr<TZAOptions> options_;
  std::unique_ptr<TZASpanningOptions> spanningOptions_;
  std::vector<std::string> fileMasks_, exclusionMasks_, noCompressionMasks_;
  TZACompressionLevel compressionLevel_ = clFastest;
  uint8_t compressionMode_ = 1;
  TZASpanningMode spanningMode_ = smNone;
  bool inMemory_ = false;
  bool active_ = false;
  bool allowDamagedOpen_ = true;
  uint16_t fileOpenMode_ = 0;
  std::unique_ptr<platform::TStream> archiveStream_;
  std::unique_ptr<TZADirManager> dirManager_;
  TZAVolumeNumberInfo volumeInfo_;
  std::string volumeFileName_;
  int32_t updateCount_ = 0;
  // The update pass: where the archive is rewritten from, and the copy of
  // what lay there.
  int64_t startPosition_ = 0;
  // Where the mark laid by the last cut lies until a record covers it; -1 when none does.
  int64_t cutMarkAt_ = -1;
  // Kept entries lie below the start position.
  bool keptBelowStart_ = false;
  std::unique_ptr<platform::TFileStream> backupStream_;
  int64_t backupSize_ = 0;
  std::string backupFileName_;
  // Kept entries' bytes not yet copied from the backup, and a read window on it.
  struct PendingCopy {
    int64_t from = 0;
    int64_t count = 0;
    int64_t to = 0;  // where the run goes in the archive
  };
  PendingCopy pendingCopy_;
  std::vector<uint8_t> backupWindow_;
  int64_t backupWindowAt_ = -1;
  // Volumes this archiver created: a failed creation of a multi-volume set
  // takes them away. Whether one of them replaced a file of an older set.
  std::vector<std::string> createdVolumes_;
  bool overwroteVolume_ = false;
  // Staging for a spanned archive on a floppy disk, handed to the volume writer.
  std::unique_ptr<platform::TMemoryStream> updateBuffer_;
  // The rollback directory by stored name for one pass: a hash table of
  // indexes, the entries of one name chained from the first.
  std::vector<int32_t> rollbackSlots_;
  std::vector<int32_t> rollbackSameName_;
  int32_t selectedCount_ = 0;
  int32_t itemsDone_ = 0;
  bool cancel_ = false;
  bool progressEnabled_ = false;
  bool skip_ = false;
  // The folders the running extraction has checked below its base.
  std::unique_ptr<TZAFolderGuard> folders_;
  // The running extraction's new files that wait to replace existing ones
  // (null outside an extraction), and whether the entry being written takes
  // its target's place on its own, as one tried again after its batch failed.
  std::unique_ptr<TZAReplaceBatch> replacements_;
  bool replaceOneByOne_ = false;
  // The files the running extraction wrote, kept while a selected name may
  // have been cut: two names cut alike must not land in one file.
  std::optional<std::unordered_set<std::string>> writtenTargets_;
};

}  // namespace zip
