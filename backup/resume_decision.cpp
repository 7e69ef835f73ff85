#include "backup/resume_decision.h"

namespace backup {

ResumeDecision DecideResume(std::int64_t serverSize, std::int64_t archiveSize, const QString& startedRemoteName,
                            const QString& remoteName) {
  const bool ours = !startedRemoteName.isEmpty() && startedRemoteName == remoteName;
  if (!ours) return {ResumeAction::StoreWhole, 0};
  if (serverSize == archiveSize) return {ResumeAction::Done, 0};
  // A larger file is no beginning of this archive, and an empty one leaves nothing to keep.
  if (serverSize > 0 && serverSize < archiveSize) return {ResumeAction::AppendFrom, serverSize};
  return {ResumeAction::StoreWhole, 0};
}

}  // namespace backup
