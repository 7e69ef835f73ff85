#pragma once
// The run log's view: lines wrap at their spaces only, never inside a path or a name.
#include <QPlainTextEdit>

namespace backup {

class LogView : public QPlainTextEdit {
  Q_OBJECT
 public:
  using QPlainTextEdit::QPlainTextEdit;

  // Adds one line as its own paragraph.
  void appendLine(const QString& line);
  // The lines as they were added (toPlainText() also holds the marks that keep words whole).
  QString text() const;

 protected:
  QMimeData* createMimeDataFromSelection() const override;
};

}  // namespace backup
