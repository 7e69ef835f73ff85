#pragma once
// What a resume does with the file the server holds.
#include <QString>
#include <cstdint>

namespace backup {

enum class ResumeAction {
  Done,        // this run's upload is whole on the server already
  AppendFrom,  // this run's upload stopped short: send the archive's tail from `from` on
  StoreWhole,  // anything else: store the whole archive over what is there
};

struct ResumeDecision {
  ResumeAction action = ResumeAction::StoreWhole;
  std::int64_t from = 0;  // AppendFrom only: the server's size, where the tail starts

  bool operator==(const ResumeDecision&) const = default;
};

// serverSize: the server's answer to SIZE (-1 without a file). startedRemoteName: the file this
// run's own transfer began to write, empty when none reached the server. Only that file is a
// beginning of the local archive: last week's archive, or an older run's, would turn into a
// damaged file of the right size.
ResumeDecision DecideResume(std::int64_t serverSize, std::int64_t archiveSize, const QString& startedRemoteName,
                            const QString& remoteName);

}  // namespace backup
