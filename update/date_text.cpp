#include "update/date_text.h"

#include <cmath>

#include "platform/core/clock.h"
#include "platform/core/exceptions.h"
#include "platform/core/format_settings.h"

namespace updater {

namespace {

const QDate epoch(1899, 12, 30);
// Years written with two digits land within this many years before the current one, or after.
constexpr int twoDigitYearWindow = 50;

enum class Order { DMY, MDY, YMD };

Order orderOf(const QString& format) {
  bool quoted = false;
  for (QChar c : format) {
    if (c == '\'') quoted = !quoted;
    if (quoted) continue;
    switch (c.toLower().unicode()) {
      case 'd': return Order::DMY;
      case 'm': return Order::MDY;
      case 'y': return Order::YMD;
      default: break;
    }
  }
  return Order::DMY;
}

QChar separatorOf(const QString& format) {
  bool quoted = false;
  for (QChar c : format) {
    if (c == '\'') quoted = !quoted;
    else if (!quoted && !c.isLetter()) return c;
  }
  return '/';
}

struct Scanner {
  const QString& s;
  qsizetype pos = 0;

  void blanks() {
    while (pos < s.size() && s[pos] == ' ') ++pos;
  }
  // Digits as a number; digits: how many were read.
  bool number(int& value, int& digits) {
    blanks();
    value = 0;
    digits = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && value < 1000) {
      value = value * 10 + (s[pos].unicode() - '0');
      ++digits;
      ++pos;
    }
    return digits > 0;
  }
  bool separator(QChar sep) {
    blanks();
    if (pos < s.size() && s[pos] == sep) {
      ++pos;
      return true;
    }
    return false;
  }
};

platform::EConvertError invalidDate(const QString& text) {
  return platform::EConvertError("'" + text.toStdString() + "' n'est pas une date correcte");
}

}  // namespace

QString DateToStr(platform::TDateTime value) {
  return epoch.addDays(static_cast<qint64>(std::floor(value))).toString(platform::formatSettings().shortDateFormat);
}

platform::TDateTime StrToDate(const QString& text) {
  const QString& format = platform::formatSettings().shortDateFormat;
  const QChar sep = separatorOf(format);
  const Order order = orderOf(format);
  const int currentYear = platform::clock().now().date().year();

  Scanner in{text};
  int n1 = 0, n2 = 0, n3 = 0, l1 = 0, l2 = 0, l3 = 0;
  if (!in.number(n1, l1) || !in.separator(sep) || !in.number(n2, l2)) throw invalidDate(text);
  int y = 0, m = 0, d = 0, yearDigits = 0;
  if (in.separator(sep)) {
    if (!in.number(n3, l3)) throw invalidDate(text);
    in.separator(sep);  // formats such as "yyyy. MM. dd." close with the separator
    switch (order) {
      case Order::DMY: d = n1, m = n2, y = n3, yearDigits = l3; break;
      case Order::MDY: m = n1, d = n2, y = n3, yearDigits = l3; break;
      case Order::YMD: y = n1, m = n2, d = n3, yearDigits = l1; break;
    }
  } else {
    y = currentYear;
    yearDigits = 4;
    if (order == Order::DMY) d = n1, m = n2;
    else m = n1, d = n2;
  }
  in.blanks();
  if (in.pos != text.size()) throw invalidDate(text);
  if (yearDigits <= 2) {
    const int base = currentYear - twoDigitYearWindow;
    y += base / 100 * 100;
    if (y < base) y += 100;
  }
  const QDate date(y, m, d);
  if (y < 1 || !date.isValid()) throw invalidDate(text);
  return static_cast<platform::TDateTime>(epoch.daysTo(date));
}

}  // namespace updater
