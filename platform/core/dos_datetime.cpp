#include "platform/core/dos_datetime.h"

#include <algorithm>
#include <climits>

namespace platform {

namespace {

int daysInMonth(int year, int month) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

DosDateTime pack(int year, int month, int day, int hour, int minute, int second) {
  const auto date = static_cast<std::uint16_t>(((year - 1980) << 9) | (month << 5) | day);
  const auto time = static_cast<std::uint16_t>((hour << 11) | (minute << 5) | (second / 2));
  return makeDosDateTime(date, time);
}

}  // namespace

DosDateTime dosDateTimeFromTime(std::time_t t) {
  std::tm tm{};
  if (localtime_r(&t, &tm) == nullptr) return t < 0 ? kDosDateTimeMin : kDosDateTimeMax;
  const int year = tm.tm_year + 1900;
  if (year < 1980) return kDosDateTimeMin;
  if (year > 2107) return kDosDateTimeMax;
  // A leap second (tm_sec 60) stays within the minute.
  return pack(year, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, std::min(tm.tm_sec, 59));
}

DosDateTime normalizeDosDateTime(DosDateTime d) {
  const std::uint16_t date = dosDatePart(d);
  const std::uint16_t time = dosTimePart(d);
  const int year = 1980 + (date >> 9);
  const int month = std::clamp((date >> 5) & 0x0F, 1, 12);
  const int day = std::clamp(date & 0x1F, 1, daysInMonth(year, month));
  const int hour = std::min(time >> 11, 23);
  const int minute = std::min((time >> 5) & 0x3F, 59);
  const int second = std::min((time & 0x1F) * 2, 58);
  return pack(year, month, day, hour, minute, second);
}

std::time_t timeFromDosDateTime(DosDateTime d) {
  d = normalizeDosDateTime(d);
  const std::uint16_t date = dosDatePart(d);
  const std::uint16_t time = dosTimePart(d);
  std::tm tm{};
  tm.tm_year = 80 + (date >> 9);
  tm.tm_mon = ((date >> 5) & 0x0F) - 1;
  tm.tm_mday = date & 0x1F;
  tm.tm_hour = time >> 11;
  tm.tm_min = (time >> 5) & 0x3F;
  tm.tm_sec = (time & 0x1F) * 2;
  // mktime looks at the zone file on every call: an archive of many entries
  // paid one stat each. The offset comes from localtime_r instead, which
  // reads the zone once; timegm reads none.
  std::tm fields = tm;
  const std::time_t asUtc = timegm(&fields);
  if (asUtc != -1) {
    const auto offsetAt = [](std::time_t t, std::tm& out) {
      return localtime_r(&t, &out) != nullptr ? out.tm_gmtoff : LONG_MIN;
    };
    // The moment lies within a day of asUtc, whatever the zone: the same
    // offset at both ends means no change of offset in between.
    std::tm around{};
    const long before = offsetAt(asUtc - 86400, around);
    if (before != LONG_MIN && before == offsetAt(asUtc + 86400, around)) {
      const std::time_t t = asUtc - before;
      if (offsetAt(t, around) == before && around.tm_mday == tm.tm_mday && around.tm_hour == tm.tm_hour &&
          around.tm_min == tm.tm_min && around.tm_sec == tm.tm_sec)
        return t;
    }
  }
  // Near a change of offset (summer time, a new rule of the zone), mktime
  // settles the skipped and the repeated hours.
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

}  // namespace platform
