#include <mutex>
#include <string>

#include "zip/archiver/za_archiver_impl.h"
#include "zip/za_archiver.h"
#include "zip/za_except.h"
#include "zip/archiver/za_extract_target.h"
#include "zip/archiver/za_lock.h"
#include "zip/archiver/za_replace_batch.h"
#include "zip/names/za_names.h"
#include "zip/names/za_paths.h"

namespace zip {

void TZABaseArchiver::ProcessSelectedItems(TZAProcessOperation operation) { impl_->ProcessSelectedItems(operation); }

void TZABaseArchiver::Impl::ProcessSelectedItems(TZAProcessOperation operation) {
  std::lock_guard<std::recursive_mutex> guard(ZAComponentLock());
  struct ProgressOff {
    bool& flag;
    ~ProgressOff() { flag = false; }
  } progressOff{progressEnabled_};
  TZADirArray* dir = dirManager_ ? &dirManager_->ArchiveDir : nullptr;
  itemsDone_ = 0;
  cancel_ = false;
  progressEnabled_ = true;
  selectedCount_ = 0;
  for (int32_t i = 0; dir && i < dir->Count(); ++i) selectedCount_ += dir->GetItemPtr(i)->Selected ? 1 : 0;
  const bool withProgress = operation == poExtract || operation == poTest;
  TZAAction action = fxaIgnore;
  folders_.reset();  // folders are checked anew by each operation
  writtenTargets_.reset();
  for (int32_t i = 0; operation == poExtract && dir && i < dir->Count() && !writtenTargets_; ++i) {
    const TDirItem& item = *dir->GetItemPtr(i);
    if (item.Selected && ZAMayBeCut(item.FileName)) writtenTargets_.emplace();
  }
  // Entries extracted before an error that leaves here stay extracted: their
  // waiting files still take their places, without events. An operation
  // started from an event handler keeps its own batch.
  struct Replacements {
    std::unique_ptr<TZAReplaceBatch>& batch;
    bool& oneByOne;
    std::unique_ptr<TZAReplaceBatch> outer;
    bool outerOneByOne;
    ~Replacements() {
      if (batch) batch->Commit(true);
      batch = std::move(outer);
      oneByOne = outerOneByOne;
    }
  } replacements{replacements_, replaceOneByOne_, std::move(replacements_), replaceOneByOne_};
  if (operation == poExtract) replacements_ = std::make_unique<TZAReplaceBatch>();
  replaceOneByOne_ = false;
  if (withProgress) a_.DoOnOverallProgress(0, operation, ppStart, cancel_);
  if (!cancel_) {
    for (int32_t i = 0; dir && i < dir->Count();) {
      if (!dir->GetItemPtr(i)->Selected) {
        ++i;
        continue;
      }
      dir->GetItemPtr(i)->PendingOperation = operation;
      bool removed = false;
      action = processEntry(i, operation, removed);
      if (action != fxaAbort && !cancel_ && replacements_ && replacements_->Full()) action = commitReplacements(false);
      if (action == fxaAbort || cancel_) break;
      if (!removed) ++i;
    }
    // What was extracted before the end, a cancel or an abort is in place before the end is told.
    if (replacements_ && !replacements_->Empty()) {
      const TZAAction last = commitReplacements(true);
      if (last == fxaAbort) action = fxaAbort;
    }
    const bool cancelled = cancel_;
    if (withProgress) a_.DoOnOverallProgress(100, operation, ppEnd, cancel_);
    cancel_ = cancel_ || cancelled;
  }
  if (cancel_ || action == fxaAbort) {
    // The batch is given up: the directory goes back to what the file holds.
    if (a_.IsUpdating() && dirManager_) dirManager_->ArchiveDir.Assign(dirManager_->RollbackDir);
    a_.ResetUpdateCount();
  }
}

TZAAction TZABaseArchiver::Impl::processEntry(int32_t i, TZAProcessOperation operation, bool& removed) {
  TZADirArray* dir = &dirManager_->ArchiveDir;
  const bool withProgress = operation == poExtract || operation == poTest;
  TZAAction action = fxaIgnore;
  do {
    action = fxaIgnore;
    const std::string stored = dir->GetItemPtr(i)->FileName;
    const std::string name = stored;  // names on disk use "/" as stored names do
    try {
      bool confirm = true;
      a_.DoOnConfirmProcessFile(name, operation, confirm);
      if (!confirm) break;
      const std::string baseFolder = AppendBackslashIfNotEmpty(a_.BaseDir);
      if (withProgress) {
        a_.DoOnFileProgress(stored, 0, operation, ppStart, cancel_);
        if (cancel_) break;
      }
      const int32_t countBefore = dir->Count();
      switch (operation) {
        case poDelete: processDeleteItem(i); break;
        case poUpdate: processUpdateItem(i, baseFolder); break;
        case poExtract: processExtractItem(i, name, baseFolder); break;
        case poTest: processTestItem(i); break;
        default: break;
      }
      removed = dir->Count() < countBefore;
      const bool cancelled = cancel_;
      if (withProgress) a_.DoOnFileProgress(stored, 100, operation, ppEnd, cancel_);
      cancel_ = cancel_ || cancelled;
      if (cancel_) break;
      ++itemsDone_;
    } catch (const EZAException& e) {
      a_.DoOnProcessFileFailure(name, operation, e.NativeError, e.ErrorCode, e.message(), action);
    }
  } while (action == fxaRetry);
  return action;
}

TZAAction TZABaseArchiver::Impl::commitReplacements(bool last) {
  TZAAction action = fxaIgnore;
  for (const TZAReplaceBatch::TFailure& f : replacements_->Commit(last)) {
    --itemsDone_;  // counted when its data checked out; it is not done after all
    const EZAException e = EZAException::CreateFmt(zeCannotCreateFile, a_.Name, {f.target});
    a_.DoOnProcessFileFailure(f.name, poExtract, e.NativeError, e.ErrorCode, e.message(), action);
    if (action == fxaRetry) {
      // Tried again on its own: written, flushed and put in place at once.
      replaceOneByOne_ = true;
      bool removed = false;
      action = processEntry(f.index, poExtract, removed);
      replaceOneByOne_ = false;
    }
    if (action == fxaAbort) break;
  }
  return action;
}

}  // namespace zip
