#pragma once
// The archive component: one open archive (a file, its volumes, or memory),
// its options and events, and the operations over its entries.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/streams.h"
#include "zip/za_archive_item.h"
#include "zip/directory/za_dir_item.h"
#include "zip/directory/za_dir_settings.h"
#include "zip/directory/za_dir_volumes.h"
#include "zip/za_options.h"
#include "zip/za_spanning_options.h"
#include "zip/za_types.h"
#include "zip/volumes/za_volume_number_info.h"

namespace zip {

struct TZAExistingFile;
class TZAFolderGuard;
class TZADirManager;

class TZABaseArchiver : private TZADirVolumes, private TZADirSettings {
 public:
  TZABaseArchiver();
  virtual ~TZABaseArchiver();
  TZABaseArchiver(const TZABaseArchiver&) = delete;
  TZABaseArchiver& operator=(const TZABaseArchiver&) = delete;

  // The component's name, put in front of its error messages when not empty.
  std::string Name;

  // Published properties.
  bool ExtractCorruptedFiles = false;
  TZACompressionLevel CompressionLevel() const { return compressionLevel_; }
  void SetCompressionLevel(TZACompressionLevel level);
  uint8_t CompressionMode() const { return compressionMode_; }
  void SetCompressionMode(uint8_t mode);
  // The component's version: "2.65 ", trailing blank included, whatever the
  // locale. Writing it is accepted and ignored, so a window that stores the
  // property loads without effect.
  std::string CurrentVersion() const;
  void SetCurrentVersion(const std::string&) {}
  std::string Password;
  std::string FileName;
  std::string BaseDir;
  std::string TempDir;
  TZASpanningMode SpanningMode() const { return spanningMode_; }
  void SetSpanningMode(TZASpanningMode mode);
  TZASpanningOptions& SpanningOptions() { return *spanningOptions_; }
  std::string SFXStub;
  TZAOptions& Options() { return *options_; }
  const std::vector<std::string>& FileMasks() const { return fileMasks_; }
  void SetFileMasks(const std::vector<std::string>& list) { fileMasks_ = list; }
  const std::vector<std::string>& ExclusionMasks() const { return exclusionMasks_; }
  void SetExclusionMasks(const std::vector<std::string>& list) { exclusionMasks_ = list; }
  const std::vector<std::string>& NoCompressionMasks() const { return noCompressionMasks_; }
  void SetNoCompressionMasks(const std::vector<std::string>& list) { noCompressionMasks_ = list; }
  bool InMemory() const { return inMemory_; }
  void SetInMemory(bool value);
  TZip64Mode Zip64Mode = zmAuto;

  // Events, in their order; an unassigned one runs its default.
  TZAFileProgressEvent OnFileProgress;
  TZAProgressEvent OnOverallProgress;
  TZACopyTempFileProgressEvent OnCopyTempFileProgress;
  TZAConfirmOverwriteEvent OnConfirmOverwrite;
  TZAConfirmProcessFileEvent OnConfirmProcessFile;
  TZANotifyEvent AfterOpen;
  TZAOnPasswordEvent OnPassword;
  TZAProcessFileFailureEvent OnProcessFileFailure;
  TZAOnRequestBlankVolumeEvent OnRequestBlankVolume;
  TZAOnRequestFirstVolumeEvent OnRequestFirstVolume;
  TZAOnRequestLastVolumeEvent OnRequestLastVolume;
  TZAOnRequestMiddleVolumeEvent OnRequestMiddleVolume;
  TZAOnDiskFullEvent OnDiskFull;
  TZAOnStoreFileEvent OnStoreFile;
  TZAOnExtractFileEvent OnExtractFile;
  TZAOnProcessVolumeFailureEvent OnProcessVolumeFailure;

  // Open and close.
  void OpenArchive(uint16_t mode);
  void OpenArchiveDefault();
  void CloseArchive() noexcept;
  bool Active() const { return active_; }
  void CheckActive() const;
  void CheckUpdateEnded() const;
  bool IsUpdating() const { return updateCount_ > 0; }
  void ResetUpdateCount();
  // A batched update: changes gather in the working directory and are written
  // in one pass when the outermost bracket ends (or the archive is closed).
  void BeginUpdate();
  void EndUpdate();
  void ApplyPendingUpdates();
  // Per-entry changes; they need an update in force.
  const TDirItem& AddItemForFile(int32_t index, const std::string& fileName);
  void MarkItemDeleted(int32_t index);
  // Appends a new entry for a file or folder on disk; its index, -1 when it
  // gives no stored name.
  int32_t AddFile(const std::string& fileName);
  // A new, empty file "ZT..." in TempDir or the system's temporary folder.
  std::string MakeTempFileName() const;
  static void Lock();
  static void Unlock();

  // Search, selection and extraction.
  void ExtractFiles(const std::string& fileMask, int32_t searchAttr, const std::string& exclusionMask);
  bool FindFirst(const std::string& fileMask, TZAArchiveItem& item, int32_t searchAttr,
                 const std::string& exclusionMask);
  bool FindNext(TZAArchiveItem& item);
  void SelectFiles(const std::string& fileMask, int32_t searchAttr, const std::string& exclusionMask);
  void ProcessSelectedItems(TZAProcessOperation operation);

  // The entries of the open archive, read-only; no entries while closed.
  int32_t EntryCount() const;
  const TDirItem& Entry(int32_t index) const;

  uint16_t CompressionMethod() const { return compressionMethod_; }
  bool AllowDamagedOpen() const { return allowDamagedOpen_; }
  void SetAllowDamagedOpen(bool value) { allowDamagedOpen_ = value; }
  uint16_t FileOpenMode() const { return fileOpenMode_; }
  bool Cancelled() const { return cancel_; }
  bool Skipped() const { return skip_; }

  // Volumes: the file that holds the volume in use, and the name of volume index.
  const std::string& VolumeFileName() const override { return volumeFileName_; }
  void GetVolumeFileName(std::string& name, int32_t index, bool checkExists);

  // What the medium says; tests put a medium of their own in place.
  virtual int64_t DriveFreeBytes(const std::string& path) const;
  virtual bool DriveIsRemovable(const std::string& path) const;
  // A disk label; Linux cannot label a mounted medium, so this reports failure.
  virtual bool SetDriveLabel(const std::string& path, const std::string& label);

 protected:
  // Event operations: the event when assigned, else the default.
  virtual void DoOnOverallProgress(double progress, TZAProcessOperation operation, TZAProgressPhase phase,
                                   bool& cancel);
  virtual void DoOnFileProgress(const std::string& fileName, double progress, TZAProcessOperation operation,
                                TZAProgressPhase phase, bool& cancel);
  virtual void DoOnCopyTempFileProgress(double progress, TZAProgressPhase phase, bool& cancel);
  virtual void DoOnConfirmOverwrite(const std::string& sourceFileName, std::string& destFileName, bool& confirm);
  virtual void DoOnConfirmProcessFile(const std::string& fileName, TZAProcessOperation operation, bool& confirm);
  virtual void DoOnPassword(const std::string& fileName, std::string& newPassword, bool& skipFile);
  virtual void DoOnProcessFileFailure(const std::string& fileName, TZAProcessOperation operation, int32_t nativeError,
                                      int32_t errorCode, const std::string& errorMessage, TZAAction& action);
  virtual void DoOnRequestBlankVolume(int32_t volumeNumber, std::string& volumeFileName, bool& cancel);
  virtual void DoOnRequestFirstVolume(std::string& volumeFileName, bool& cancel);
  virtual void DoOnRequestLastVolume(std::string& volumeFileName, bool& cancel);
  virtual void DoOnRequestMiddleVolume(int32_t volumeNumber, std::string& volumeFileName, bool& cancel);
  virtual void DoOnDiskFull(int32_t volumeNumber, const std::string& volumeFileName, bool& cancel);
  virtual void DoOnProcessVolumeFailure(int32_t volumeNumber);
  virtual void DoOnStoreFile(std::string& fileName, uint32_t& fileAttr, std::string& comment,
                             const std::string& originalFileName);
  virtual void DoOnExtractFile(std::string& fileName, uint32_t& fileAttr, const std::string& comment);

  virtual void InitCompressionMethod();
  void InternalOpenArchive();
  void DoAfterOpen();
  void OpenNewArchive();
  void OpenExistingArchive();
  void OpenSelfExtractingArchive();
  void FindLastVolume();
  void probeLastVolume(bool removableCheck);

  bool zipFormat_ = false;
  uint16_t compressionMethod_ = 0xFFFF;

 private:
  friend struct TZAArchiverInternals;
  [[noreturn]] void raise(int32_t code) const;

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
  const std::string& ArchiveFileName() const override { return FileName; }
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
  const std::string& ComponentName() const override { return Name; }
  bool MultiVolume() const override { return spanningMode_ != smNone; }
  bool OEMFileNames() const override { return options_->OEMFileNames; }
  bool AcceptsDamaged() const override { return allowDamagedOpen_; }
  const std::string& StubFileName() const override { return SFXStub; }
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
  void processExtractItem(int32_t index, std::string name, const std::string& baseFolder);
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
};

class TZipArchiver : public TZABaseArchiver {
 public:
  TZipArchiver();

 protected:
  void InitCompressionMethod() override;
};

}  // namespace zip
