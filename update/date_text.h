#pragma once
// Dates as the workstation writes them: the class library's DateToStr and StrToDate over the
// short date format of the platform's format settings.
#include <QString>

#include "platform/core/day_count.h"

namespace updater {

// The whole day of value in the short date format.
QString DateToStr(platform::TDateTime value);
// Day, month and year in the order of the short date format, split by its separator; one or two
// digit years fall in the hundred years around the clock's year, and a missing year is the
// clock's. Blanks around the text are allowed. Anything else raises EConvertError.
platform::TDateTime StrToDate(const QString& text);

}  // namespace updater
