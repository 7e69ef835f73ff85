#pragma once
// The updater's archive component: the component itself, which also remembers whether the user
// answered "Abandonner" to a failed entry, since an installation given up must not look finished.
#include "zip/za_archiver.h"

namespace updater {

class TUpdateArchiver : public zip::TZipArchiver {
 public:
  // Whether an entry's failure was answered with abort since the last reset.
  bool aborted = false;

 protected:
  void DoOnProcessFileFailure(const std::string& fileName, zip::TZAProcessOperation operation, int32_t nativeError,
                              int32_t errorCode, const std::string& errorMessage, zip::TZAAction& action) override;
};

}  // namespace updater
