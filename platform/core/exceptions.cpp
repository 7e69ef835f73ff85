#include "platform/core/exceptions.h"

#include <cerrno>
#include <cstring>

#include "platform/core/system_error_text.h"

namespace platform {

namespace {
// With the system's reason the name is quoted, so that it stands apart from the reason.
std::string withReason(const std::string& text, const std::string& fileName, int sysError) {
  if (sysError == 0) return text + fileName;
  return text + "\"" + fileName + "\". " + systemErrorText(sysError);
}
}  // namespace

EConvertError EConvertError::invalidInteger(const std::string& text) {
  return EConvertError("'" + text + "' n'est pas une valeur entière correcte");
}

EInOutError::EInOutError(int code) : Exception("Erreur E/S " + std::to_string(code)), code_(code) {}

EFOpenError::EFOpenError(const std::string& fileName, int sysError)
    : EStreamError(withReason("Impossible d'ouvrir le fichier ", fileName, sysError)), sysError_(sysError) {}

EFCreateError::EFCreateError(const std::string& fileName, int sysError)
    : EStreamError(withReason("Impossible de créer le fichier ", fileName, sysError)), sysError_(sysError) {}

}  // namespace platform
