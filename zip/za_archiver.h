#pragma once
// The archive component: one open archive (a file, its volumes, or memory),
// its options and events, and the operations over its entries.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zip/za_archive_item.h"
#include "zip/za_entry.h"
#include "zip/za_options.h"
#include "zip/za_spanning_options.h"
#include "zip/za_types.h"

namespace zip {

class TZABaseArchiver {
 public:
  TZABaseArchiver();
  virtual ~TZABaseArchiver();
  TZABaseArchiver(const TZABaseArchiver&) = delete;
  TZABaseArchiver& operator=(const TZABaseArchiver&) = delete;

  // The component's name, put in front of its error messages when not empty.
  std::string Name;

  // Published properties.
  bool ExtractCorruptedFiles = false;
  TZACompressionLevel CompressionLevel() const;
  void SetCompressionLevel(TZACompressionLevel level);
  uint8_t CompressionMode() const;
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
  TZASpanningMode SpanningMode() const;
  void SetSpanningMode(TZASpanningMode mode);
  TZASpanningOptions& SpanningOptions();
  std::string SFXStub;
  TZAOptions& Options();
  const std::vector<std::string>& FileMasks() const;
  void SetFileMasks(const std::vector<std::string>& list);
  const std::vector<std::string>& ExclusionMasks() const;
  void SetExclusionMasks(const std::vector<std::string>& list);
  const std::vector<std::string>& NoCompressionMasks() const;
  void SetNoCompressionMasks(const std::vector<std::string>& list);
  bool InMemory() const;
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
  bool Active() const;
  void CheckActive() const;
  void CheckUpdateEnded() const;
  bool IsUpdating() const;
  void ResetUpdateCount();
  // A batched update: changes gather in the working directory and are written
  // in one pass when the outermost bracket ends (or the archive is closed).
  void BeginUpdate();
  void EndUpdate();
  void ApplyPendingUpdates();
  // Per-entry changes; they need an update in force. The entry as marked.
  TZAEntry AddItemForFile(int32_t index, const std::string& fileName);
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
  TZAEntry Entry(int32_t index) const;

  uint16_t CompressionMethod() const;
  bool AllowDamagedOpen() const;
  void SetAllowDamagedOpen(bool value);
  uint16_t FileOpenMode() const;
  bool Cancelled() const;

  // Volumes: the file that holds the volume in use, and the name of volume index.
  const std::string& VolumeFileName() const;
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
  // For a format's own archiver: the method InitCompressionMethod chose, and the ZIP format.
  void SetCompressionMethod(uint16_t method);
  void SelectZipFormat();

 private:
  // The open archive's state and the work over it (archiver/za_archiver_impl.h).
  class Impl;
  friend struct TZAArchiverInternals;
  std::unique_ptr<Impl> impl_;
};

class TZipArchiver : public TZABaseArchiver {
 public:
  TZipArchiver();

 protected:
  void InitCompressionMethod() override;
};

}  // namespace zip
