#include "update/update_archiver.h"

namespace updater {

void TUpdateArchiver::DoOnProcessFileFailure(const std::string& fileName, zip::TZAProcessOperation operation,
                                             int32_t nativeError, int32_t errorCode, const std::string& errorMessage,
                                             zip::TZAAction& action) {
  zip::TZipArchiver::DoOnProcessFileFailure(fileName, operation, nativeError, errorCode, errorMessage, action);
  if (action == zip::fxaAbort) aborted = true;
}

}  // namespace updater
