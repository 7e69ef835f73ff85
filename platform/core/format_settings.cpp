#include "platform/core/format_settings.h"

#include <langinfo.h>
#include <locale.h>

#include <cstdlib>
#include <optional>

namespace platform {

namespace {

std::optional<FormatSettings>& stored() {
  static std::optional<FormatSettings> s;
  return s;
}

QString localeName(const char* category) {
  for (const char* var : {"LC_ALL", category, "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return QString::fromLocal8Bit(v);
  }
  return QStringLiteral("C");
}

}  // namespace

QString qtPatternFromStrftime(const QString& pattern) {
  QString out;
  for (qsizetype i = 0; i < pattern.size(); ++i) {
    const QChar c = pattern[i];
    if (c != '%') {
      if (c.isLetter()) out += '\'' + QString(c) + '\'';
      else out += c;
      continue;
    }
    if (++i >= pattern.size()) return {};
    QChar f = pattern[i];
    if (f == 'E' || f == 'O') {  // alternative-representation modifiers
      if (++i >= pattern.size()) return {};
      f = pattern[i];
    }
    switch (f.unicode()) {
      case 'd': out += "dd"; break;
      case 'e': out += "d"; break;
      case 'm': out += "MM"; break;
      case 'Y': out += "yyyy"; break;
      case 'y': out += "yy"; break;
      case 'H': out += "HH"; break;
      case 'I': out += "hh"; break;
      case 'M': out += "mm"; break;
      case 'S': out += "ss"; break;
      case 'p': out += "AP"; break;
      case 'T': out += "HH:mm:ss"; break;
      case 'R': out += "HH:mm"; break;
      case 'D': out += "MM/dd/yy"; break;
      case 'F': out += "yyyy-MM-dd"; break;
      case 'r': out += "hh:mm:ss AP"; break;
      case '%': out += '%'; break;
      default: return {};
    }
  }
  return out;
}

FormatSettings localeFormatSettings() {
  FormatSettings s{QStringLiteral("dd/MM/yyyy"), QStringLiteral("HH:mm:ss"), QChar('.')};
  const QString timeName = localeName("LC_TIME");
  if (timeName != "C" && timeName != "POSIX" && !timeName.startsWith("C.")) {
    if (locale_t loc = newlocale(LC_TIME_MASK, timeName.toLocal8Bit().constData(), nullptr)) {
      const QString date = qtPatternFromStrftime(QString::fromUtf8(nl_langinfo_l(D_FMT, loc)));
      const QString time = qtPatternFromStrftime(QString::fromUtf8(nl_langinfo_l(T_FMT, loc)));
      if (!date.isEmpty()) s.shortDateFormat = date;
      if (!time.isEmpty()) s.longTimeFormat = time;
      freelocale(loc);
    }
  }
  const QString numName = localeName("LC_NUMERIC");
  if (locale_t loc = newlocale(LC_NUMERIC_MASK, numName.toLocal8Bit().constData(), nullptr)) {
    const QString radix = QString::fromUtf8(nl_langinfo_l(RADIXCHAR, loc));
    if (!radix.isEmpty()) s.decimalSeparator = radix[0];
    freelocale(loc);
  }
  return s;
}

const FormatSettings& formatSettings() {
  if (!stored()) stored() = localeFormatSettings();
  return *stored();
}

void setFormatSettings(const FormatSettings& s) { stored() = s; }

QString dateTimeToStr(const QDateTime& t) {
  const FormatSettings& f = formatSettings();
  QString text = t.date().toString(f.shortDateFormat);
  const QTime tm = t.time();
  if (tm.hour() != 0 || tm.minute() != 0 || tm.second() != 0) text += ' ' + t.time().toString(f.longTimeFormat);
  return text;
}

}  // namespace platform
