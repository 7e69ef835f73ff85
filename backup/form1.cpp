#include "backup/form1.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDir>
#include <QFileInfo>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>

#include "backup/app_windows.h"
#include "backup/components/svg_edit_ini.h"
#include "backup/file_dialogs.h"
#include "backup/fmmain.h"
#include "backup/form2.h"
#include "backup/split_field.h"
#include "platform/ui/application.h"
#include "platform/ui/message_box.h"
#include "platform/core/program_folder.h"
#include "platform/ui/shell_open.h"
#include "platform/ui/window_placement.h"
#include "platform/ui/menu_bar_keys.h"
#include "ui_form1.h"

namespace backup {

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::Form1>()) {
  ui->setupUi(this);
  ui->SpeedButton2->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  ui->ListView1->header()->setSectionResizeMode(0, QHeaderView::Stretch);

  typeProxy_ = new QButtonGroup(this);
  const QList<QRadioButton*> items{ui->TypeProxyItem0, ui->TypeProxyItem1, ui->TypeProxyItem2,
                                   ui->TypeProxyItem3, ui->TypeProxyItem4, ui->TypeProxyItem5};
  for (int i = 0; i < items.size(); ++i) typeProxy_->addButton(items[i], i);
  connect(typeProxy_, &QButtonGroup::idToggled, this, [this](int, bool checked) {
    if (checked) Type_proxyClick();
  });

  folderPicker = [this](const QString& title, QString& folder) {
    const QString chosen = chosenPath(*newFolderDialog(this, title, folder));
    if (chosen.isEmpty()) return false;
    folder = chosen;
    return true;
  };
  logFileChooser = [this](const QString& folder) {
    return chosenPath(*newLogFileDialog(this, folder, QStringLiteral("Fichiers journaux (*.log)")));
  };

  // Check boxes act on every change of state, also when code or the settings store sets them.
  connect(ui->anonyme_ftp, &QCheckBox::toggled, this, &TForm1::anonyme_ftpClick);
  connect(ui->sauvegarde_auto, &QCheckBox::toggled, this, &TForm1::sauvegarde_autoClick);
  connect(ui->rep_auto, &QCheckBox::toggled, this, &TForm1::sauvegarde_autoClick);
  connect(ui->SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);
  connect(ui->ListView1, &QTreeWidget::itemSelectionChanged, this, &TForm1::Repertoires_sauvClick);
  connect(ui->Repertoires_sauv, &QListWidget::itemClicked, this, &TForm1::Repertoires_sauvClick);
  connect(ui->Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
  connect(ui->Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
  connect(ui->Button6, &QPushButton::clicked, this, &TForm1::Button5Click);
  connect(ui->Button5, &QPushButton::clicked, this, &TForm1::Button5Click);
  connect(ui->Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
  connect(ui->Fermer1, &QAction::triggered, this, &TForm1::Button1Click);
  // An unreadable log's error goes to the application's error logging, not through Qt's signals.
  connect(ui->Ouvrirlesfichiersjournaux1, &QAction::triggered, this,
          [this] { platform::deliverSafely([this] { Ouvrirlesfichiersjournaux1Click(); }); });
  connect(ui->SiteWeb1, &QAction::triggered, this, &TForm1::SiteWeb1Click);
  connect(ui->Misejour1, &QAction::triggered, this, &TForm1::Misejour1Click);
  connect(ui->Apropos1, &QAction::triggered, this, &TForm1::Apropos1Click);
  // The wheel anywhere over the page scrolls the page: every control on it is watched, so that
  // the one under the pointer cannot change a setting behind the user's back.
  // No control takes the focus from the wheel (spin boxes do by default, before any filter sees
  // the event): the wheel reaches a control only once a click or Tab gave it the keyboard.
  ui->ScrollBox3->viewport()->installEventFilter(this);
  for (QWidget* w : ui->scrollContent->findChildren<QWidget*>()) {
    w->installEventFilter(this);
    if (w->focusPolicy() == Qt::WheelFocus) w->setFocusPolicy(Qt::StrongFocus);
  }

  // The menus from the keyboard too, captions unchanged.
  platform::openMenuBarFromKeyboard(this);
  SvgEditIni1 = TSvgEditIni::forWindow(this);
}

TForm1::~TForm1() = default;

int TForm1::Type_proxyItemIndex() const { return typeProxy_->checkedId(); }

void TForm1::setType_proxyItemIndex(int index) {
  const int count = static_cast<int>(typeProxy_->buttons().size());
  index = std::clamp(index, -1, count - 1);
  if (index < 0) {
    if (QAbstractButton* b = typeProxy_->checkedButton()) {
      typeProxy_->setExclusive(false);
      b->setChecked(false);
      typeProxy_->setExclusive(true);
    }
    return;
  }
  typeProxy_->button(index)->setChecked(true);
}

void TForm1::rebuildFolderView() {
  for (int i = 0; i < ui->Repertoires_sauv->count(); ++i) {
    const QString line = ui->Repertoires_sauv->item(i)->text();
    if (line.isEmpty()) continue;
    const QString l = line + '|';
    new QTreeWidgetItem(ui->ListView1, {SplitField(l, '|', 2), SplitField(l, '|', 3), SplitField(l, '|', 4)});
  }
}

int TForm1::lineOfRow(int row) const {
  if (row < 0) return -1;
  for (int i = 0; i < ui->Repertoires_sauv->count(); ++i) {
    if (ui->Repertoires_sauv->item(i)->text().isEmpty()) continue;
    if (row-- == 0) return i;
  }
  return -1;
}

void TForm1::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (fmMain) platform::centreOnOwner(this, fmMain);
  FormShow();
}

void TForm1::FormShow() { ui->ScrollBox3->setFocus(); }

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::Wheel || !watched->isWidgetType()) return QMainWindow::eventFilter(watched, event);
  // A control takes the wheel only while it has the keyboard focus, as on any desktop.
  const QWidget* focused = QApplication::focusWidget();
  const auto* target = static_cast<QWidget*>(watched);
  if (watched != ui->ScrollBox3->viewport() && focused && focused != ui->ScrollBox3 &&
      (focused == target || focused->isAncestorOf(target)))
    return false;
  const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
  if (delta < 0) ScrollBox3MouseWheelDown();
  else if (delta > 0) ScrollBox3MouseWheelUp();
  return true;
}

void TForm1::ScrollBox3MouseWheelDown() {
  QScrollBar* bar = ui->ScrollBox3->verticalScrollBar();
  bar->setValue(bar->value() + 10);
  ui->ScrollBox3->setFocus();
}

void TForm1::ScrollBox3MouseWheelUp() {
  QScrollBar* bar = ui->ScrollBox3->verticalScrollBar();
  bar->setValue(bar->value() - 10);
  ui->ScrollBox3->setFocus();
}

bool TForm1::SelectFolder(const QString& title, const QString&, QString& folder, bool, bool, bool) {
  // The root names no folder here ("rfNetwork"), so the picker starts from the whole system.
  QString chosen = QFileInfo(folder).isDir() ? folder : QString();
  if (!folderPicker || !folderPicker(title, chosen)) return false;
  while (chosen.size() > 1 && chosen.endsWith('/')) chosen.chop(1);
  folder = chosen;
  return true;
}

void TForm1::SpeedButton2Click() {
  QString folder = ui->Edit13->text();
  // A cancelled picker adds nothing: an entry with the initial (or an empty) folder would
  // back up a folder the user never chose.
  if (!SelectFolder(QStringLiteral("Choisissez le dossier source"), QStringLiteral("rfNetwork"), folder, false, false,
                    false))
    return;
  const QString sub = ui->CheckBox1->isChecked() ? QStringLiteral("oui") : QStringLiteral("non");
  ui->Repertoires_sauv->addItem(folder + '|' + ui->Edit1->text() + '|' + sub);
  new QTreeWidgetItem(ui->ListView1, {folder, ui->Edit1->text(), sub});
}

void TForm1::Repertoires_sauvClick() {
  const auto selected = ui->ListView1->selectedItems();
  if (selected.isEmpty()) {
    ui->Button2->setEnabled(false);
    return;
  }
  ui->Button2->setEnabled(true);
  ui->Edit13->setText(selected.first()->text(0));
}

void TForm1::Button2Click() {
  const auto selected = ui->ListView1->selectedItems();
  const int row = selected.isEmpty() ? -1 : ui->ListView1->indexOfTopLevelItem(selected.first());
  // Rows skip the list's empty lines, so the row number is mapped to its own line.
  DeleteAt(lineOfRow(row));
  if (row >= 0) delete ui->ListView1->takeTopLevelItem(row);
  ui->Button2->setEnabled(false);
}

void TForm1::DeleteAt(int n) {
  if (n < 0 || n >= ui->Repertoires_sauv->count()) return;
  delete ui->Repertoires_sauv->takeItem(n);
}

void TForm1::Type_proxyClick() { ui->proxy_type->setText(QString::number(Type_proxyItemIndex())); }

void TForm1::anonyme_ftpClick() {
  ui->utilisateur_vesk->setText(QStringLiteral("anonymous"));
  ui->passe_vesk->clear();
}

void TForm1::sauvegarde_autoClick() {
  if (!fmMain) return;
  if (ui->sauvegarde_auto->isChecked()) {
    fmMain->Timer1->start();
  } else {
    fmMain->Timer1->stop();
    fmMain->setStatusPanelText(QString());
  }
}

void TForm1::Button4Click() {
  if (!ui->SFTP_vesk->isChecked() && fmMain) fmMain->Button7Click();
}

void TForm1::Button5Click() {
  // A refused mail raises; it is logged by the application's handler here, inside the slot,
  // since no exception may cross Qt's signal delivery.
  if (fmMain) platform::deliverSafely([] { fmMain->Button11Click(); });
}

void TForm1::Button1Click() {
  close();
  ui->Button2->setEnabled(false);
  SvgEditIni1->Save();
}

void TForm1::Ouvrirlesfichiersjournaux1Click() {
  // The history window's own steps, with this window's dialog and its one filter.
  if (Form2) Form2->openChosenLogFile(logFileChooser);
}

void TForm1::SiteWeb1Click() { platform::shellOpen(webPage); }

void TForm1::Misejour1Click() { platform::shellOpen(platform::programFolder() + QStringLiteral("Update")); }

void TForm1::Apropos1Click() {
  platform::showMessage(QStringLiteral("Version PalvrenFtp : 1.1.2.5\nAuteur : l'équipe PalvrenFtp"), this);
}

}  // namespace backup
