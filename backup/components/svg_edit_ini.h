#pragma once
// Settings store: the values of a window's controls kept in "serie.ini" in the program folder.
// One section per window, one key per control; memos and list boxes get a section of their own.
// Every control of a handled kind is loaded; only those whose name holds "_" are saved.
#include <QObject>
#include <QPointer>
#include <QStringList>

class QCloseEvent;
class QWidget;

namespace platform {
class IniFile;
}

namespace backup {

class TSvgEditIni : public QObject {
  Q_OBJECT
 public:
  // The store of the first window built hooks that window's close to save all windows.
  explicit TSvgEditIni(QWidget* owner);
  ~TSvgEditIni() override;

  bool SauveEdit = true;
  bool SauveDateTimePicker = true;
  bool SauveCheckBox = true;
  bool SauveRadioButton = true;
  bool SauveSpinEdit = true;
  bool SauveMemo = false;
  bool SauveRichEdit = false;
  bool SauveComboBox = false;
  bool SauveListBox = false;
  bool SauveStringGrid = false;

  // The store of the program's windows (memos and list boxes on, date pickers and radio buttons
  // off), created once the window has built its controls, so it loads them at once.
  static TSvgEditIni* forWindow(QWidget* window);

  // The owner has finished building its controls.
  void Loaded();
  // Both act on every window that carries a store, whichever store they are called on.
  void Load();
  void Save();

  static bool FormHasEditIni(const QWidget* form);
  static TSvgEditIni* GetFormEditIni(const QWidget* form);
  static void SaveStrings(platform::IniFile& ini, const QString& section, const QStringList& lines, int itemIndex);
  static int LoadStrings(const platform::IniFile& ini, const QString& section, QStringList& lines);
  static QString fileName();

  // An edit whose stored text is this counts as missing.
  static inline const QString missingMark = QStringLiteral("%ù@à*£");

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OwnerFormClose(QCloseEvent* event);
  static void loadForm(const platform::IniFile& ini, QWidget* form);
  static void saveForm(platform::IniFile& ini, QWidget* form);

  QPointer<QWidget> hookedForm_;
};

}  // namespace backup
