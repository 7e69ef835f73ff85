#include "platform/ui/qt_translations.h"

#include <QCoreApplication>
#include <QTranslator>

namespace platform {

namespace {

// Qt 6 moved the file type names of the file system model ("Folder", "%1 File", "Drive") to the
// icon provider's context; the French catalogue still files them under the file dialog's.
class QtFrenchTranslator : public QTranslator {
 public:
  using QTranslator::QTranslator;
  QString translate(const char* context, const char* sourceText, const char* disambiguation,
                    int n) const override {
    QString text = QTranslator::translate(context, sourceText, disambiguation, n);
    if (text.isEmpty() && qstrcmp(context, "QAbstractFileIconProvider") == 0)
      text = QTranslator::translate("QFileDialog", sourceText, disambiguation, n);
    return text;
  }
};

}  // namespace

QTranslator* installQtTranslations(const QString& folder) {
  auto* translator = new QtFrenchTranslator(QCoreApplication::instance());
  if (!translator->load(QStringLiteral("qtbase_fr"), folder) || !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return nullptr;
  }
  return translator;
}

}  // namespace platform
