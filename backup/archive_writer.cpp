#include "backup/archive_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "backup/archive_file.h"
#include "backup/stored_name.h"
#include "platform/core/zone_file_hold.h"

namespace backup {

namespace {

std::string zipErrorText(zip_error_t* error) { return zip_error_strerror(error); }

// Raises the error of a failed open of the archive.
[[noreturn]] void raiseOpenError(const std::string& fileName, zip_error_t* error) {
  const int code = zip_error_code_zip(error);
  if (code == ZIP_ER_NOZIP) throw EArchiveError("Le fichier " + fileName + " n'est pas une archive ZIP");
  if (code == ZIP_ER_INCONS || code == ZIP_ER_MULTIDISK)
    throw EArchiveError("L'archive " + fileName + " est endommagée ou illisible (" + zipErrorText(error) + ")");
  if (code == ZIP_ER_OPEN || code == ZIP_ER_READ || code == ZIP_ER_SEEK)
    throw platform::EFOpenError(fileName, zip_error_code_system(error));
  throw EArchiveError("Impossible d'ouvrir l'archive " + fileName + " (" + zipErrorText(error) + ")");
}

[[noreturn]] void raiseArchiveError(zip_t* za, const std::string& what) {
  throw EArchiveError(what + " (" + zipErrorText(zip_get_error(za)) + ")");
}

}  // namespace

// Events run inside libzip's C code, which an exception must not cross: the first one is
// kept, the save stopped, and the error raised again once libzip has returned.
template <class Event>
void ArchiveWriter::guarded(Event&& event) noexcept {
  try {
    event();
  } catch (...) {
    if (!eventError_) eventError_ = std::current_exception();
    shared_.cancelled = true;
  }
}

ArchiveWriter::ArchiveWriter() {
  shared_.itemProgress = [this](const std::string& name, int progress) {
    guarded([&] {
      if (OnArchiveItemProgress) OnArchiveItemProgress(name, progress);
    });
  };
  shared_.pump = [this] {
    guarded([&] {
      if (MessagePump) MessagePump();
    });
  };
}

void ArchiveWriter::refuseWhileSaving() const {
  if (saving_) throw EArchiveError("L'archive " + fileName_ + " est en cours d'enregistrement");
}

ArchiveWriter::~ArchiveWriter() { discard(); }

void ArchiveWriter::open(const std::string& fileName) {
  refuseWhileSaving();
  discard();
  fileName_ = fileName;
  additions_.clear();
  additionByName_.clear();
  removals_.clear();
  struct stat st {};
  archiveIdentity_ = ::stat(fileName.c_str(), &st) == 0;
  archiveDev_ = st.st_dev;
  archiveIno_ = st.st_ino;
  reopen();
}

void ArchiveWriter::reopen() {
  zip_error_t error;
  zip_error_init(&error);
  auto file = std::make_unique<ArchiveFile>(fileName_);
  zip_source_t* source = file->makeSource(&error);
  zip_t* za = nullptr;
  if (source != nullptr) {
    // libzip turns every entry's date into a time_t through mktime as it opens.
    const platform::ZoneFileHold zone;
    za = zip_open_from_source(source, ZIP_CREATE, &error);
  }
  if (za == nullptr) {
    if (source != nullptr) zip_source_free(source);
    try {
      raiseOpenError(fileName_, &error);
    } catch (...) {
      zip_error_fini(&error);
      throw;
    }
  }
  zip_error_fini(&error);
  za_ = za;
  file_ = std::move(file);
  storedCount_ = zip_get_num_entries(za_, 0);
  rawNames_.clear();
  for (std::int64_t i = 0; i < storedCount_; ++i)
    if (const char* raw = zip_get_name(za_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        raw != nullptr && !IsUtf8(raw))
      rawNames_.emplace(raw, i);
}

// libzip's own lookup reads a name stored without the UTF-8 flag as code page 437 when it is
// not UTF-8: such names are found here by their bytes, and a hit of libzip's is checked
// against the bytes stored.
std::int64_t ArchiveWriter::locate(const std::string& storedName) const {
  if (!IsUtf8(storedName)) {
    const auto raw = rawNames_.find(storedName);
    return raw == rawNames_.end() ? -1 : raw->second;
  }
  const zip_int64_t index = zip_name_locate(za_, storedName.c_str(), 0);
  if (index < 0) return -1;
  const auto sameBytes = [&](zip_int64_t i) {
    const char* raw = zip_get_name(za_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    return raw != nullptr && storedName == raw;
  };
  if (sameBytes(index)) return index;
  // The key belonged to another spelling: a UTF-8 name that reads like a code page 437 one.
  for (std::int64_t i = 0; i < storedCount_; ++i)
    if (sameBytes(i)) return i;
  return -1;
}

void ArchiveWriter::close() {
  if (!saving_) discard();  // from an event, the save closes the archive itself
}

void ArchiveWriter::discard() {
  if (za_ != nullptr) zip_discard(za_);
  za_ = nullptr;
  sources_.clear();
  file_.reset();
}

std::int64_t ArchiveWriter::stored(const std::string& storedName) const {
  if (za_ == nullptr || removals_.count(storedName) != 0) return -1;
  return locate(storedName);
}

std::int64_t ArchiveWriter::find(const std::string& storedName) const {
  const auto added = additionByName_.find(storedName);
  if (added != additionByName_.end()) return storedCount_ + static_cast<std::int64_t>(added->second);
  return stored(storedName);
}

platform::DosDateTime ArchiveWriter::entryDate(std::int64_t index) const {
  if (index >= storedCount_ && index - storedCount_ < static_cast<std::int64_t>(additions_.size()))
    return additions_[static_cast<std::size_t>(index - storedCount_)].date;
  zip_stat_t st;
  if (za_ == nullptr || index < 0 || zip_stat_index(za_, static_cast<zip_uint64_t>(index), 0, &st) != 0 ||
      (st.valid & ZIP_STAT_MTIME) == 0)
    throw EArchiveError("Entrée " + std::to_string(index) + " introuvable dans l'archive " + fileName_);
  return platform::dosDateTimeFromTime(st.mtime);
}

bool ArchiveWriter::addedInRun(std::int64_t index) const {
  return index >= storedCount_ && index - storedCount_ < static_cast<std::int64_t>(additions_.size());
}

void ArchiveWriter::remove(const std::string& storedName) {
  refuseWhileSaving();
  const auto added = additionByName_.find(storedName);
  if (added != additionByName_.end()) {
    additions_[added->second].dropped = true;
    additionByName_.erase(added);
    return;
  }
  if (stored(storedName) >= 0) removals_.insert(storedName);
}

platform::DosDateTime ArchiveWriter::fileDate(const std::string& fullPath) {
  struct stat st {};
  if (::stat(fullPath.c_str(), &st) != 0) return 0;
  return platform::dosDateTimeFromTime(st.st_mtime);
}

// errno of opening the file for reading, 0 when it opens as a file; st receives its status.
static int openError(const std::string& path, struct stat* st) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = ::fstat(fd, st) != 0 ? errno : 0;
  ::close(fd);
  if (error == 0 && S_ISDIR(st->st_mode)) error = EISDIR;
  return error;
}

void ArchiveWriter::add(const std::string& fullPath) {
  refuseWhileSaving();
  if (fullPath == fileName_) return;
  const std::string name = StoredArchiveName(fullPath);
  struct stat st {};
  if (const int error = openError(fullPath, &st)) {
    // The entry this file was to replace stays: an old copy is better than none.
    removals_.erase(name);
    throw platform::EFOpenError(fullPath, error);
  }
  // The archive under another spelling of its path would be stored inside itself.
  if (archiveIdentity_ && st.st_dev == archiveDev_ && st.st_ino == archiveIno_) return;
  if (name.empty() || find(name) >= 0) return;
  const bool replaces = removals_.count(name) != 0;
  additions_.push_back({name, fullPath, platform::dosDateTimeFromTime(st.st_mtime), password_, replaces, false});
  additionByName_.emplace(additions_.back().name, additions_.size() - 1);
}

void ArchiveWriter::leaveOut(Addition& addition, int sysError, std::vector<platform::EFOpenError>& skipped) {
  addition.dropped = true;
  additionByName_.erase(addition.name);
  if (addition.replaces) removals_.erase(addition.name);
  skipped.emplace_back(addition.path, sysError);
}

bool ArchiveWriter::hasChanges() const {
  if (!removals_.empty()) return true;
  for (const auto& addition : additions_)
    if (!addition.dropped) return true;
  return false;
}

void ArchiveWriter::applyChanges() {
  for (const auto& name : removals_) {
    const zip_int64_t index = locate(name);
    if (index >= 0 && zip_delete(za_, static_cast<zip_uint64_t>(index)) != 0)
      raiseArchiveError(za_, "Impossible de retirer " + name + " de l'archive " + fileName_);
  }
  for (const auto& addition : additions_) {
    if (addition.dropped) continue;
    auto source = std::make_unique<ArchiveFileSource>(addition.path, addition.name, addition.date, &shared_);
    source->keepChanged(addition.reread);
    zip_source_t* zs = source->makeSource(zip_get_error(za_));
    if (zs == nullptr) raiseArchiveError(za_, "Impossible d'ajouter " + addition.path);
    // A name that is not UTF-8 keeps its bytes and goes without the UTF-8 flag.
    const zip_int64_t index =
        zip_file_add(za_, addition.name.c_str(), zs, IsUtf8(addition.name) ? ZIP_FL_ENC_UTF_8 : ZIP_FL_ENC_RAW);
    if (index < 0) {
      zip_source_free(zs);
      if (zip_error_code_zip(zip_get_error(za_)) == ZIP_ER_EXISTS) continue;
      raiseArchiveError(za_, "Impossible d'ajouter " + addition.path);
    }
    sources_.push_back(std::move(source));
    const auto i = static_cast<zip_uint64_t>(index);
    // The source deflates itself (or stores); libzip must not compress again.
    if (zip_set_file_compression(za_, i, ZIP_CM_DEFLATE, 0) != 0 ||
        zip_file_set_dostime(za_, i, platform::dosTimePart(addition.date), platform::dosDatePart(addition.date), 0) !=
            0 ||
        (addition.password && zip_file_set_encryption(za_, i, ZIP_EM_TRAD_PKWARE, addition.password->c_str()) != 0))
      raiseArchiveError(za_, "Impossible d'ajouter " + addition.path);
  }
}

std::vector<const ArchiveFileSource*> ArchiveWriter::failedSources() const {
  std::vector<const ArchiveFileSource*> failed;
  for (const auto& source : sources_)
    if (source->failed()) failed.push_back(source.get());
  return failed;
}

void ArchiveWriter::progressCallback(zip_t*, double progress, void* self) {
  auto* writer = static_cast<ArchiveWriter*>(self);
  writer->guarded([&] {
    if (writer->OnArchiveProgress) writer->OnArchiveProgress(static_cast<int>(progress * 100.0 + 0.5));
    if (writer->MessagePump) writer->MessagePump();
  });
}

int ArchiveWriter::cancelCallback(zip_t*, void* self) {
  return static_cast<ArchiveWriter*>(self)->shared_.cancelled ? 1 : 0;
}

void ArchiveWriter::ensureFileExists() {
  struct stat st {};
  if (::stat(fileName_.c_str(), &st) == 0 && st.st_size > 0) return;
  // libzip writes no file for an archive that never had entries; the upload needs one.
  int error = 0;
  if (!ArchiveFile::writeEmpty(fileName_, &error)) throw platform::EFCreateError(fileName_, error);
}

void ArchiveWriter::save() {
  refuseWhileSaving();
  if (za_ == nullptr) throw EArchiveError("Aucune archive ouverte");
  saving_ = true;
  eventError_ = nullptr;
  shared_.cancelled = false;
  std::vector<platform::EFOpenError> skipped;
  std::vector<std::string> changed;
  try {
    write(skipped, changed);
  } catch (...) {
    saving_ = false;
    discard();
    throw;
  }
  saving_ = false;
  discard();
  if (eventError_) std::rethrow_exception(std::exchange(eventError_, nullptr));
  ensureFileExists();
  if (OnArchiveSaveProgress) OnArchiveSaveProgress(100);
  if (OnFileSkipped)
    for (const auto& error : skipped) OnFileSkipped(error);
  if (OnFileChanged)
    for (const auto& path : changed) OnFileChanged(path);
}

// The files to add are compressed ahead on a pool of threads while libzip writes.
bool ArchiveWriter::closeWithCompressor() {
  std::vector<const std::string*> paths;
  paths.reserve(sources_.size());
  for (const auto& source : sources_) {
    source->setCompressorJob(paths.size());
    paths.push_back(&source->path());
  }
  ArchiveCompressor compressor(paths);
  shared_.compressor = &compressor;
  const bool closed = zip_close(za_) == 0;
  shared_.compressor = nullptr;
  for (const auto& source : sources_) source->detachCompressor();
  return closed;
}

void ArchiveWriter::write(std::vector<platform::EFOpenError>& skipped, std::vector<std::string>& changed) {
  if (OnArchiveSaveProgress) OnArchiveSaveProgress(0);
  if (!hasChanges()) return;  // nothing to write: the archive file is left as it is
  // The lookup by name served the walk; its memory goes before libzip's entries take theirs.
  decltype(additionByName_)().swap(additionByName_);
  // Files gone since the walk are left out before writing: each failure found by the
  // write itself costs one more write of the archive.
  for (auto& addition : additions_)
    if (!addition.dropped && ::access(addition.path.c_str(), R_OK) != 0) leaveOut(addition, errno, skipped);
  for (;;) {
    applyChanges();
    zip_register_progress_callback_with_state(za_, 0.01, &ArchiveWriter::progressCallback, nullptr, this);
    zip_register_cancel_callback_with_state(za_, &ArchiveWriter::cancelCallback, nullptr, this);
    if (closeWithCompressor()) {
      za_ = nullptr;
      for (const auto& source : sources_)
        if (source->changedKept()) changed.push_back(source->path());
      return;
    }
    if (eventError_) return;
    const std::size_t skippedBefore = skipped.size();
    bool rereads = false;
    for (const ArchiveFileSource* source : failedSources())
      for (auto& addition : additions_) {
        if (addition.dropped || addition.path != source->path()) continue;
        if (source->changedWhileRead() && !addition.reread) rereads = addition.reread = true;
        else leaveOut(addition, source->sysError(), skipped);
      }
    if (skipped.size() == skippedBefore && !rereads)
      throw EArchiveError("Impossible d'enregistrer l'archive " + fileName_ + " (" + zipErrorText(zip_get_error(za_)) +
                          ")");
    // libzip gives up the whole save for one unreadable file: with those files left out (and
    // those that changed while read marked to be read again), write again from the archive
    // as it was, keeping the entries they were to replace.
    discard();
    reopen();
  }
}

}  // namespace backup
