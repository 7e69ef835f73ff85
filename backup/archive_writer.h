#pragma once
// The backup run's archive writer: one ZIP file brought up to date in one save. Additions and
// removals are only noted until save(), which writes the archive once, into a temporary file
// beside it that replaces the old archive when complete. save() ends the session: only
// close() may follow.
#include <sys/types.h>
#include <zip.h>

#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "backup/archive_file.h"
#include "backup/archive_source.h"
#include "platform/core/dos_datetime.h"
#include "platform/core/exceptions.h"

namespace backup {

// An archive that cannot be read as a ZIP file, or cannot be written.
class EArchiveError : public platform::Exception {
 public:
  using Exception::Exception;
};

class ArchiveWriter {
 public:
  ArchiveWriter();
  ~ArchiveWriter();
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Progress of the whole save, 0 to 100.
  std::function<void(int progress)> OnArchiveProgress;
  // Progress of one file while it is compressed, 0 to 100, with its stored name.
  std::function<void(const std::string& storedName, int progress)> OnArchiveItemProgress;
  // 0 when the archive file starts being written, 100 when it is in place.
  std::function<void(int progress)> OnArchiveSaveProgress;
  // A file that could not be read during the save: it was left out, and the entry it was to
  // replace kept. Called after the save, once per such file.
  std::function<void(const platform::EFOpenError& error)> OnFileSkipped;
  // A file that changed while it was read, and again when read once more: its entry holds
  // what the second read found. Called after the save, once per such file, with its path.
  std::function<void(const std::string& path)> OnFileChanged;
  // Run between blocks of file data and entries, so that windows keep painting. Events run
  // inside the save: calls back into this writer from them are refused (EArchiveError), and
  // an error raised by an event stops the save (the old archive stays) and leaves save().
  std::function<void()> MessagePump;

  // Files added from now on are encrypted with this password (traditional ZIP encryption);
  // empty: not encrypted.
  void setPassword(const std::string& password) {
    password_ = password.empty() ? nullptr : std::make_shared<const std::string>(password);
  }

  // Opens the archive with its entries; a missing file gives an archive with none.
  // EArchiveError when the file is not a ZIP archive, EFOpenError when it cannot be read.
  void open(const std::string& fileName);
  const std::string& fileName() const { return fileName_; }

  // Index of the entry of that stored name (exact match), -1 when there is none.
  std::int64_t find(const std::string& storedName) const;
  // The entry's modification date-time.
  platform::DosDateTime entryDate(std::int64_t index) const;
  // Whether the entry was added (or replaced) since the archive was opened.
  bool addedInRun(std::int64_t index) const;
  // Marks the entry of that name for removal by the save; no entry, nothing done.
  void remove(const std::string& storedName);
  // Adds the file under its stored name with its date. Nothing is added when an entry of
  // that name exists or when the file is the archive itself. EFOpenError when the file
  // cannot be opened; an entry of that name marked for removal is then kept.
  void add(const std::string& fullPath);
  // Writes the archive. EArchiveError when it cannot be written; the old file then stays.
  void save();
  // Drops what was not saved and releases the archive.
  void close();

  // A file's date as an entry would carry it; 0 (no date) when the file is missing.
  static platform::DosDateTime fileDate(const std::string& fullPath);

 private:
  struct Addition {
    std::string name;
    std::string path;
    platform::DosDateTime date;
    std::shared_ptr<const std::string> password;  // shared by the files added under it; null: none
    bool replaces = false;
    bool dropped = false;
    bool reread = false;  // changed while read: read again, and kept if it changes again
  };

  std::int64_t stored(const std::string& storedName) const;
  std::int64_t locate(const std::string& storedName) const;
  void leaveOut(Addition& addition, int sysError, std::vector<platform::EFOpenError>& skipped);
  void reopen();
  void discard();
  bool hasChanges() const;
  void applyChanges();
  void write(std::vector<platform::EFOpenError>& skipped, std::vector<std::string>& changed);
  bool closeWithCompressor();
  std::vector<const ArchiveFileSource*> failedSources() const;
  void ensureFileExists();
  static void progressCallback(zip_t* za, double progress, void* self);
  static int cancelCallback(zip_t* za, void* self);
  template <class Event>
  void guarded(Event&& event) noexcept;
  void refuseWhileSaving() const;

  zip_t* za_ = nullptr;
  std::unique_ptr<ArchiveFile> file_;  // read and written by za_
  std::string fileName_;
  std::shared_ptr<const std::string> password_;
  dev_t archiveDev_ = 0;
  ino_t archiveIno_ = 0;
  bool archiveIdentity_ = false;
  std::int64_t storedCount_ = 0;                            // entries of the archive as opened
  std::unordered_map<std::string, std::int64_t> rawNames_;  // stored names that are not UTF-8

  // A deque: grows without copying or spare capacity, and its elements stay where they are,
  // so the map's keys and the sources can point at their strings.
  std::deque<Addition> additions_;  // index storedCount_ + i
  std::unordered_map<std::string_view, std::size_t> additionByName_;
  std::unordered_set<std::string> removals_;  // stored entries to drop

  ArchiveSourceShared shared_;
  bool saving_ = false;
  std::exception_ptr eventError_;  // first error an event raised inside libzip
  std::vector<std::unique_ptr<ArchiveFileSource>> sources_;
};

}  // namespace backup
