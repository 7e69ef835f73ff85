#include "zip/za_except.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "zip/za_error_table.h"

namespace zip {

namespace {

std::string compose(int32_t code, std::string_view componentName, std::string text) {
  if (!componentName.empty()) text = platform::Format("%s: %s", {componentName, text});
  std::string suffix = platform::Format("%5d", {code});
  std::replace(suffix.begin(), suffix.end(), ' ', '0');
  return text + " - Native error: " + suffix;
}

}  // namespace

int32_t ZAMessageNumber(int32_t code) {
  for (const TZAErrorPair& pair : TZipArchiverErrorTable::Codes) {
    if (pair.Code == code) {
      // Codes 57-60 stand in the table without a text: they read as unknown.
      return pair.MessageNumber >= 0 && pair.MessageNumber < TZipArchiverErrorTable::kMessageCount ? pair.MessageNumber
                                                                                                   : 0;
    }
  }
  return 0;
}

EZAException::EZAException(int32_t code, std::string_view componentName)
    : platform::Exception(
          compose(code, componentName, std::string(TZipArchiverErrorTable::Messages[ZAMessageNumber(code)]))),
      NativeError(code),
      ErrorCode(ZAMessageNumber(code)) {}

EZAException::EZAException(Formatted, int32_t code, std::string_view componentName,
                           std::initializer_list<platform::FormatArg> args)
    : platform::Exception(compose(code, componentName,
                                  platform::Format(TZipArchiverErrorTable::Messages[ZAMessageNumber(code)], args))),
      NativeError(code),
      ErrorCode(ZAMessageNumber(code)) {}

EZAException::EZAException(Reasoned, int32_t code, std::string_view componentName, int sysError)
    : platform::Exception(compose(code, componentName,
                                  std::string(TZipArchiverErrorTable::Messages[ZAMessageNumber(code)]) +
                                      (sysError != 0 ? std::string(". ") + std::strerror(sysError) : std::string()))),
      NativeError(code),
      ErrorCode(ZAMessageNumber(code)) {}

EZAException EZAException::WithSystemReason(int32_t code, std::string_view componentName, int sysError) {
  return EZAException(Reasoned{}, code, componentName, sysError);
}

EZAException EZAException::CreateFmt(int32_t code, std::string_view componentName,
                                     std::initializer_list<platform::FormatArg> args) {
  return EZAException(Formatted{}, code, componentName, args);
}

}  // namespace zip
