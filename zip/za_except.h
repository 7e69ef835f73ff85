#pragma once
// The component's one exception: a numbered code with its text from the table.
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "platform/core/exceptions.h"
#include "platform/core/format.h"
#include "zip/za_error_table.h"

namespace zip {

class EZAException : public platform::Exception {
 public:
  // componentName: the raising archiver's Name, empty when there is none.
  EZAException(int32_t code, std::string_view componentName = {});

  // The text is formatted with the arguments first ("%s" a text, "%d" a number).
  static EZAException CreateFmt(int32_t code, std::string_view componentName,
                                std::initializer_list<platform::FormatArg> args);

  // The code's text followed by the system's reason for the failure, when there is one (sysError not 0).
  static EZAException WithSystemReason(int32_t code, std::string_view componentName, int sysError);

  int32_t NativeError;
  int32_t ErrorCode;

 private:
  struct Formatted {};
  EZAException(Formatted, int32_t code, std::string_view componentName,
               std::initializer_list<platform::FormatArg> args);
  struct Reasoned {};
  EZAException(Reasoned, int32_t code, std::string_view componentName, int sysError);
};

// The message number of a code: 0 for a code outside the table or without a text.
int32_t ZAMessageNumber(int32_t code);

}  // namespace zip
