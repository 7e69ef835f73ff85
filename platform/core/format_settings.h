#pragma once
// The workstation's date, time and number formats, read once from the user's locale.
// Formats use Qt's pattern letters (dd/MM/yyyy, HH:mm:ss).
#include <QDateTime>
#include <QString>

namespace platform {

struct FormatSettings {
  QString shortDateFormat;
  QString longTimeFormat;
  QChar decimalSeparator;
};

const FormatSettings& formatSettings();
void setFormatSettings(const FormatSettings& s);
// Reads LC_TIME and LC_NUMERIC; a locale without formats of its own (C, POSIX, or one that is
// not installed) gives dd/MM/yyyy and HH:mm:ss.
FormatSettings localeFormatSettings();
// Translates a strftime pattern ("%d/%m/%Y") into Qt's letters; empty when a field is unknown.
QString qtPatternFromStrftime(const QString& pattern);

// The log's date and time: short date, a blank, long time; the date alone at 00:00:00.
QString dateTimeToStr(const QDateTime& t);

}  // namespace platform
