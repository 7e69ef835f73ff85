#pragma once
// Enumerations of the archiver and the signatures of its events.
#include <cstdint>
#include <functional>
#include <string>

namespace zip {

class TZABaseArchiver;

enum TZASpanningMode : uint8_t { smNone, smSpanning, smSplitting };
enum TZACompressionLevel : uint8_t { clNone, clFastest, clNormal, clMax };
enum TZip64Mode : uint8_t { zmDisabled, zmAuto, zmAlways };
enum TZAProcessOperation : uint8_t {
  poAdd,
  poMove,
  poDelete,
  poUpdate,
  poExtract,
  poTest,
  poRename,
  poChangeAttr,
  poChangeComment,
  poMakeSFX
};
enum TZAProgressPhase : uint8_t { ppStart, ppProcess, ppEnd };
enum TZAAction : uint8_t { fxaRetry, fxaIgnore, fxaAbort };

// The file open mode that creates a new archive.
inline constexpr uint16_t kCreateMode = 0xFFFF;

using TZAFileProgressEvent = std::function<void(TZABaseArchiver* sender, const std::string& fileName, double progress,
                                                TZAProcessOperation operation, TZAProgressPhase phase, bool& cancel)>;
using TZAProgressEvent = std::function<void(TZABaseArchiver* sender, double progress, TZAProcessOperation operation,
                                            TZAProgressPhase phase, bool& cancel)>;
using TZACopyTempFileProgressEvent =
    std::function<void(TZABaseArchiver* sender, double progress, TZAProgressPhase phase, bool& cancel)>;
using TZAConfirmOverwriteEvent = std::function<void(TZABaseArchiver* sender, const std::string& sourceFileName,
                                                    std::string& destFileName, bool& confirm)>;
using TZAConfirmProcessFileEvent = std::function<void(TZABaseArchiver* sender, const std::string& fileName,
                                                      TZAProcessOperation operation, bool& confirm)>;
using TZANotifyEvent = std::function<void(TZABaseArchiver* sender)>;
using TZAOnPasswordEvent =
    std::function<void(TZABaseArchiver* sender, const std::string& fileName, std::string& newPassword, bool& skipFile)>;
using TZAProcessFileFailureEvent =
    std::function<void(TZABaseArchiver* sender, const std::string& fileName, TZAProcessOperation operation,
                       int32_t nativeError, int32_t errorCode, const std::string& errorMessage, TZAAction& action)>;
using TZAOnRequestBlankVolumeEvent =
    std::function<void(TZABaseArchiver* sender, int32_t volumeNumber, std::string& volumeFileName, bool& cancel)>;
using TZAOnRequestFirstVolumeEvent =
    std::function<void(TZABaseArchiver* sender, std::string& volumeFileName, bool& cancel)>;
using TZAOnRequestLastVolumeEvent = TZAOnRequestFirstVolumeEvent;
using TZAOnRequestMiddleVolumeEvent = TZAOnRequestBlankVolumeEvent;
using TZAOnDiskFullEvent =
    std::function<void(TZABaseArchiver* sender, int32_t volumeNumber, const std::string& volumeFileName, bool& cancel)>;
using TZAOnProcessVolumeFailureEvent = std::function<void(TZABaseArchiver* sender, int32_t volumeNumber)>;
using TZAOnStoreFileEvent = std::function<void(TZABaseArchiver* sender, std::string& fileName, uint32_t& fileAttr,
                                               std::string& comment, const std::string& originalFileName)>;
using TZAOnExtractFileEvent =
    std::function<void(TZABaseArchiver* sender, std::string& fileName, uint32_t& fileAttr, const std::string& comment)>;

}  // namespace zip
