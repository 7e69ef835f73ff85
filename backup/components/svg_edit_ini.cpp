#include "backup/components/svg_edit_ini.h"

#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QStringDecoder>
#include <QTextEdit>
#include <QWidget>
#include <vector>

#include "platform/core/ini_file.h"
#include "platform/core/program_folder.h"

namespace backup {

namespace {

// Windows that carry a store, in the order they were built.
std::vector<QPointer<QWidget>>& forms() {
  static std::vector<QPointer<QWidget>> f;
  return f;
}

std::string u8(const QString& s) { return s.toStdString(); }
// The Windows program wrote "serie.ini" in its code page: a value that is not UTF-8 is read as
// Windows-1252, so that the user's text survives and the next save writes it back whole.
QString fromU8(const std::string& s) {
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  const QString text = utf8(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
  if (!utf8.hasError()) return text;
  QStringDecoder cp1252("windows-1252", QStringConverter::Flag::Stateless);
  if (!cp1252.isValid()) return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
  return cp1252(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
}

// The pieces of a composite widget (the edit inside a spin box) are not controls of the window.
bool isInnerPiece(const QWidget* w) {
  for (const QObject* p = w->parent(); p; p = p->parent())
    if (qobject_cast<const QAbstractSpinBox*>(p) || qobject_cast<const QComboBox*>(p)) return true;
  return false;
}

// The window's controls in creation order.
QList<QWidget*> controlsOf(QWidget* form) {
  QList<QWidget*> out;
  for (QWidget* w : form->findChildren<QWidget*>())
    if (!isInnerPiece(w)) out.push_back(w);
  return out;
}

// A memo's lines: a final line break ends the last line rather than starting an empty one.
QStringList memoLines(const QString& text) {
  if (text.isEmpty()) return {};
  QStringList lines = text.split('\n');
  if (text.endsWith('\n')) lines.removeLast();
  return lines;
}

template <typename Fn>
void eachControl(Fn&& fn) {
  // Quietly: one control that fails is left as it is and the others go on.
  try {
    fn();
  } catch (...) {
  }
}

}  // namespace

TSvgEditIni::TSvgEditIni(QWidget* owner) : QObject(owner) {
  setObjectName(QStringLiteral("SvgEditIni1"));
  auto& f = forms();
  std::erase_if(f, [](const QPointer<QWidget>& p) { return p.isNull(); });
  if (f.empty()) {
    hookedForm_ = owner;
    owner->installEventFilter(this);
  }
  bool known = false;
  for (const auto& p : f) known = known || p == owner;
  if (!known) f.push_back(owner);
}

TSvgEditIni::~TSvgEditIni() {
  QWidget* owner = qobject_cast<QWidget*>(parent());
  auto& f = forms();
  std::erase_if(f, [owner](const QPointer<QWidget>& p) { return p.isNull() || p == owner; });
}

TSvgEditIni* TSvgEditIni::forWindow(QWidget* window) {
  auto* store = new TSvgEditIni(window);
  store->SauveDateTimePicker = false;
  store->SauveRadioButton = false;
  store->SauveMemo = true;
  store->SauveListBox = true;
  store->Loaded();
  return store;
}

QString TSvgEditIni::fileName() { return platform::programFolder() + QStringLiteral("serie.ini"); }

bool TSvgEditIni::FormHasEditIni(const QWidget* form) { return GetFormEditIni(form) != nullptr; }

TSvgEditIni* TSvgEditIni::GetFormEditIni(const QWidget* form) {
  const auto stores = form->findChildren<TSvgEditIni*>(Qt::FindDirectChildrenOnly);
  return stores.isEmpty() ? nullptr : stores.last();
}

void TSvgEditIni::Loaded() { Load(); }

void TSvgEditIni::Load() {
  const platform::IniFile ini(u8(fileName()));
  for (const QPointer<QWidget>& form : std::vector<QPointer<QWidget>>(forms()))
    if (form && FormHasEditIni(form)) loadForm(ini, form);
}

void TSvgEditIni::Save() {
  platform::IniFile ini(u8(fileName()));
  for (const QPointer<QWidget>& form : std::vector<QPointer<QWidget>>(forms()))
    if (form && FormHasEditIni(form)) saveForm(ini, form);
  try {
    ini.flush();
  } catch (...) {
    // A settings file that cannot be written is not reported; the windows keep their values.
  }
}

void TSvgEditIni::loadForm(const platform::IniFile& ini, QWidget* form) {
  const TSvgEditIni* rule = GetFormEditIni(form);
  const std::string section = u8(form->objectName());
  for (QWidget* w : controlsOf(form)) {
    const std::string key = u8(w->objectName());
    const QString listSection = form->objectName() + w->objectName();
    eachControl([&] {
      if (auto* spin = qobject_cast<QSpinBox*>(w)) {
        if (rule->SauveSpinEdit) spin->setValue(ini.readInteger(section, key, 0));
      } else if (qobject_cast<QDateTimeEdit*>(w) || qobject_cast<QAbstractSpinBox*>(w)) {
        // Date-time pickers: no window holds one.
      } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
        if (rule->SauveRadioButton) radio->setChecked(ini.readInteger(section, key, 1) != 0);
      } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
        if (rule->SauveCheckBox) box->setChecked(ini.readInteger(section, key, 1) != 0);
      } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (rule->SauveEdit && ini.readString(section, key, u8(missingMark)) != u8(missingMark))
          edit->setText(fromU8(ini.readString(section, key, "")));
      } else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
        if (rule->SauveMemo) {
          QStringList lines;
          LoadStrings(ini, listSection, lines);
          memo->setPlainText(lines.join('\n'));
        }
      } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        if (rule->SauveListBox) {
          QStringList lines;
          LoadStrings(ini, listSection, lines);
          list->clear();
          list->addItems(lines);
          const int index = ini.readInteger(u8(listSection), "ItemIndex", 0);
          if (index <= list->count() - 1) list->setCurrentRow(index);
        }
      }
    });
  }
}

void TSvgEditIni::saveForm(platform::IniFile& ini, QWidget* form) {
  const TSvgEditIni* rule = GetFormEditIni(form);
  const std::string section = u8(form->objectName());
  for (QWidget* w : controlsOf(form)) {
    if (!w->objectName().contains('_')) continue;
    const std::string key = u8(w->objectName());
    const QString listSection = form->objectName() + w->objectName();
    eachControl([&] {
      if (auto* spin = qobject_cast<QSpinBox*>(w)) {
        if (rule->SauveSpinEdit) ini.writeInteger(section, key, spin->value());
      } else if (qobject_cast<QAbstractSpinBox*>(w)) {
      } else if (auto* radio = qobject_cast<QRadioButton*>(w)) {
        if (rule->SauveRadioButton) ini.writeString(section, key, radio->isChecked() ? "1" : "0");
      } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
        if (rule->SauveCheckBox) ini.writeString(section, key, box->isChecked() ? "1" : "0");
      } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
        if (rule->SauveEdit) ini.writeString(section, key, u8(edit->text()));
      } else if (auto* memo = qobject_cast<QPlainTextEdit*>(w)) {
        if (rule->SauveMemo) {
          SaveStrings(ini, listSection, memoLines(memo->toPlainText()), 0);
        }
      } else if (auto* list = qobject_cast<QListWidget*>(w)) {
        if (rule->SauveListBox) {
          QStringList lines;
          for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
          const auto chosen = list->selectedItems();
          const int selected = chosen.isEmpty() ? -1 : list->row(chosen.first());
          SaveStrings(ini, listSection, lines, selected);
        }
      }
    });
  }
}

void TSvgEditIni::SaveStrings(platform::IniFile& ini, const QString& section, const QStringList& lines, int itemIndex) {
  const std::string s = u8(section);
  ini.eraseSection(s);
  for (int i = 0; i < lines.size(); ++i) ini.writeString(s, "L" + std::to_string(i), u8(lines[i]));
  ini.writeInteger(s, "ItemIndex", itemIndex);
}

int TSvgEditIni::LoadStrings(const platform::IniFile& ini, const QString& section, QStringList& lines) {
  const std::string s = u8(section);
  lines.clear();
  for (int i = 0; ini.valueExists(s, "L" + std::to_string(i)); ++i)
    lines << fromU8(ini.readString(s, "L" + std::to_string(i), ""));
  return ini.readInteger(s, "ItemIndex", 0);
}

bool TSvgEditIni::eventFilter(QObject* watched, QEvent* event) {
  if (watched == hookedForm_ && event->type() == QEvent::Close) {
    OwnerFormClose(static_cast<QCloseEvent*>(event));
    return true;
  }
  return QObject::eventFilter(watched, event);
}

void TSvgEditIni::OwnerFormClose(QCloseEvent* event) {
  // The window's own close handler first, then the save, whatever it decided.
  static_cast<QObject*>(hookedForm_.data())->event(event);
  Save();
}

}  // namespace backup
