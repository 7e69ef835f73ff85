#include "backup/log_view.h"

#include <QMimeData>
#include <QTextBoundaryFinder>
#include <QTextDocumentFragment>

namespace backup {

namespace {

// The text engine may break a line after "/", "-" and the like; a word joiner at every such
// place that follows no blank leaves the blanks as the only breaks. It has no width and no glyph.
constexpr QChar wordJoiner(0x2060);

QString unbreakableWords(const QString& line) {
  QString out;
  out.reserve(line.size() + line.size() / 8);
  QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, line);
  qsizetype from = 0;
  for (qsizetype at = breaks.toNextBoundary(); at > 0 && at < line.size(); at = breaks.toNextBoundary()) {
    out += QStringView(line).mid(from, at - from);
    if (!line.at(at - 1).isSpace()) out += wordJoiner;
    from = at;
  }
  out += QStringView(line).mid(from);
  return out;
}

QString withoutJoiners(QString text) { return text.remove(wordJoiner); }

}  // namespace

void LogView::appendLine(const QString& line) { appendPlainText(unbreakableWords(line)); }

QString LogView::text() const { return withoutJoiners(toPlainText()); }

QMimeData* LogView::createMimeDataFromSelection() const {
  // What is copied is the line as written.
  auto* data = new QMimeData;
  data->setText(withoutJoiners(textCursor().selection().toPlainText()));
  return data;
}

}  // namespace backup
