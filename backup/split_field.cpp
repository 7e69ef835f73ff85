#include "backup/split_field.h"

namespace backup {

QString SplitField(const QString& text, QChar separator, int n) {
  int counter = 1;
  QString field;
  for (const QChar c : text) {
    if (c != separator) {
      field += c;
      continue;
    }
    if (++counter == n) return field;
    field.clear();
  }
  return {};
}

}  // namespace backup
