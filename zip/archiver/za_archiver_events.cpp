#include <filesystem>

#include "platform/core/format.h"
#include "platform/core/prompter.h"
#include "zip/za_archiver.h"
#include "zip/names/za_path_parts.h"
#include "zip/volumes/za_volume_number_info.h"

namespace zip {

namespace {

using platform::MsgAnswer;
using platform::MsgButtons;

MsgAnswer ask(const std::string& text, MsgButtons buttons) {
  platform::MessageRequest request{QStringLiteral("Confirmation"), QString::fromStdString(text), buttons,
                                   platform::MsgIcon::Question};
  return platform::prompt(request);
}

bool okCancelled(const std::string& text) { return ask(text, MsgButtons::OkCancel) != MsgAnswer::Ok; }

}  // namespace

void TZABaseArchiver::DoOnOverallProgress(double progress, TZAProcessOperation operation, TZAProgressPhase phase,
                                          bool& cancel) {
  if (OnOverallProgress) OnOverallProgress(this, progress, operation, phase, cancel);
  else cancel = false;
}

void TZABaseArchiver::DoOnFileProgress(const std::string& fileName, double progress, TZAProcessOperation operation,
                                       TZAProgressPhase phase, bool& cancel) {
  if (OnFileProgress) OnFileProgress(this, fileName, progress, operation, phase, cancel);
  else cancel = false;
}

void TZABaseArchiver::DoOnCopyTempFileProgress(double progress, TZAProgressPhase phase, bool& cancel) {
  cancel = false;
  if (OnCopyTempFileProgress) OnCopyTempFileProgress(this, progress, phase, cancel);
}

void TZABaseArchiver::DoOnConfirmOverwrite(const std::string& sourceFileName, std::string& destFileName,
                                           bool& confirm) {
  if (OnConfirmOverwrite) {
    OnConfirmOverwrite(this, sourceFileName, destFileName, confirm);
    return;
  }
  confirm = false;
  switch (ask(platform::Format("Overwrite file \"%s\" with \"%s\"", {destFileName, sourceFileName}),
              MsgButtons::YesNoNoAllYesAll)) {
    case MsgAnswer::Yes: confirm = true; break;
    case MsgAnswer::NoToAll: Options().OverwriteMode = omNever; break;
    case MsgAnswer::YesToAll:
      confirm = true;
      Options().OverwriteMode = omAlways;
      break;
    default: break;
  }
}

void TZABaseArchiver::DoOnConfirmProcessFile(const std::string& fileName, TZAProcessOperation operation,
                                             bool& confirm) {
  confirm = true;
  if (OnConfirmProcessFile) OnConfirmProcessFile(this, fileName, operation, confirm);
}

void TZABaseArchiver::DoOnPassword(const std::string& fileName, std::string& newPassword, bool& skipFile) {
  if (OnPassword) {
    OnPassword(this, fileName, newPassword, skipFile);
    return;
  }
  platform::MessageRequest request{QString::fromStdString(platform::Format("Password for \"%s\"", {fileName})),
                                   QStringLiteral("Enter password: "),
                                   MsgButtons::OkCancel,
                                   platform::MsgIcon::None,
                                   true,
                                   QString::fromStdString(newPassword)};
  const bool ok = platform::prompt(request) == MsgAnswer::Ok;
  skipFile = !ok;
  if (ok) newPassword = request.value.toStdString();
}

void TZABaseArchiver::DoOnProcessFileFailure(const std::string& fileName, TZAProcessOperation operation,
                                             int32_t nativeError, int32_t errorCode, const std::string& errorMessage,
                                             TZAAction& action) {
  action = fxaIgnore;
  if (OnProcessFileFailure) {
    OnProcessFileFailure(this, fileName, operation, nativeError, errorCode, errorMessage, action);
    return;
  }
  switch (ask(platform::Format("%s. File processing error, possibly disk is full", {errorMessage}),
              MsgButtons::AbortRetryIgnore)) {
    case MsgAnswer::Retry: action = fxaRetry; break;
    case MsgAnswer::Ignore: action = fxaIgnore; break;
    default: action = fxaAbort; break;
  }
}

void TZABaseArchiver::DoOnRequestBlankVolume(int32_t volumeNumber, std::string& volumeFileName, bool& cancel) {
  if (volumeNumber < 0) volumeNumber = 0;
  GetVolumeFileName(volumeFileName, volumeNumber, false);
  cancel = false;
  if (OnRequestBlankVolume) {
    OnRequestBlankVolume(this, volumeNumber + 1, volumeFileName, cancel);
  } else if (SpanningMode() == smSpanning) {
    cancel = okCancelled(platform::Format("Please insert a blank disk #%d", {volumeNumber + 1}));
  }
}

void TZABaseArchiver::DoOnRequestFirstVolume(std::string& volumeFileName, bool& cancel) {
  const std::string passed = volumeFileName;
  GetVolumeFileName(volumeFileName, 0, true);
  cancel = false;
  if (OnRequestFirstVolume) {
    OnRequestFirstVolume(this, volumeFileName, cancel);
  } else if (SpanningMode() == smSpanning) {
    cancel = okCancelled("Please insert the first disk");
    volumeFileName = passed;
    GetVolumeFileName(volumeFileName, 0, true);
  } else {
    cancel = FileOpenMode() != kCreateMode && !ZAFileExists(volumeFileName);
  }
}

void TZABaseArchiver::DoOnRequestLastVolume(std::string& volumeFileName, bool& cancel) {
  GetVolumeFileName(volumeFileName, -1, true);
  cancel = false;
  if (OnRequestLastVolume) {
    OnRequestLastVolume(this, volumeFileName, cancel);
  } else if (SpanningMode() == smSpanning) {
    std::string text = "Please insert the last disk";
    while (!(cancel = okCancelled(text)) && !ZAFileExists(volumeFileName))
      text = platform::Format("File '%s' not found on inserted disk. Please insert last disk with required file",
                              {volumeFileName});
  } else {
    cancel = !ZAFileExists(volumeFileName);
  }
}

void TZABaseArchiver::DoOnRequestMiddleVolume(int32_t volumeNumber, std::string& volumeFileName, bool& cancel) {
  const std::string passed = volumeFileName;
  GetVolumeFileName(volumeFileName, volumeNumber, true);
  cancel = false;
  if (OnRequestMiddleVolume) {
    OnRequestMiddleVolume(this, volumeNumber + 1, volumeFileName, cancel);
    return;
  }
  if (SpanningMode() == smSpanning)
    cancel = okCancelled(platform::Format("Please insert disk #%d", {volumeNumber + 1}));
  else cancel = !ZAFileExists(volumeFileName);
  volumeFileName = passed;
  GetVolumeFileName(volumeFileName, volumeNumber, true);
}

void TZABaseArchiver::DoOnDiskFull(int32_t volumeNumber, const std::string& volumeFileName, bool& cancel) {
  cancel = false;
  if (OnDiskFull) {
    OnDiskFull(this, volumeNumber + 1, volumeFileName, cancel);
  } else if (SpanningMode() == smSpanning) {
    TZAVolumeNumberInfo info;
    info.SetVolumeNumber(volumeNumber);
    const int64_t required = SpanningOptions().GetVolumeSizeBytes(info);
    const int64_t available = DriveFreeBytes(volumeFileName);
    cancel = okCancelled(platform::Format(
        "Disk is full. Required free space: %d bytes, but available only: %d bytes. Clean the disk or find another "
        "blank disk",
        {static_cast<long long>(required), static_cast<long long>(available)}));
  } else {
    cancel = true;
  }
}

void TZABaseArchiver::DoOnProcessVolumeFailure(int32_t volumeNumber) {
  if (OnProcessVolumeFailure) OnProcessVolumeFailure(this, volumeNumber);
}

void TZABaseArchiver::DoOnStoreFile(std::string& fileName, uint32_t& fileAttr, std::string& comment,
                                    const std::string& originalFileName) {
  if (OnStoreFile) OnStoreFile(this, fileName, fileAttr, comment, originalFileName);
}

void TZABaseArchiver::DoOnExtractFile(std::string& fileName, uint32_t& fileAttr, const std::string& comment) {
  if (OnExtractFile) OnExtractFile(this, fileName, fileAttr, comment);
}

}  // namespace zip
