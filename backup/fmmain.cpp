#include "backup/fmmain.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWindow>

#include "backup/components/liberer_memoire_processus.h"
#include "backup/components/svg_edit_ini.h"
#include "backup/app_windows.h"
#include "backup/form1.h"
#include "net/idle_pump.h"
#include "platform/core/clock.h"
#include "platform/core/format_settings.h"
#include "platform/ui/message_box.h"
#include "platform/core/program_folder.h"
#include "platform/ui/window_placement.h"
#include "ui_fmmain.h"

namespace backup {

namespace {
const QString exeName = QStringLiteral("PalvrenFtp");
}

TfmMain::TfmMain(QWidget* parent) : QMainWindow(parent), ui(std::make_unique<Ui::fmMain>()) {
  ui->setupUi(this);
  setFixedSize(547, 394);
  // Every start opens in the middle of the screen, whatever windows the window manager's own
  // placement would have avoided (the updater's, when it restarts the program).
  platform::centreOnOwner(this, nullptr);
  statusPanel_ = new QLabel(this);
  statusPanel_->setObjectName(QStringLiteral("StatusPanel0"));
  // Wide enough for the time of day, the panel's usual text.
  statusPanel_->setMinimumWidth(
      std::max(50, statusPanel_->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00")) + 8));
  ui->StatusBar1->addWidget(statusPanel_);
  ui->StatusBar1->setSizeGripEnabled(false);
  ui->SpeedButton2->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
  ui->bnStart->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
  ui->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_TitleBarMinButton));
  trayAvailable = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };

  Timer1 = new QTimer(this);
  Timer2 = new QTimer(this);
  Timer3 = new QTimer(this);
  Timer4 = new QTimer(this);
  Timer5 = new QTimer(this);
  Timer1->setInterval(1000);
  Timer2->setInterval(180000);
  Timer3->setInterval(1000);
  Timer4->setInterval(180000);
  Timer5->setInterval(100);
  connect(Timer1, &QTimer::timeout, this, &TfmMain::Timer1Timer);
  connect(Timer2, &QTimer::timeout, this, &TfmMain::Timer2Timer);
  connect(Timer3, &QTimer::timeout, this, &TfmMain::Timer3Timer);
  connect(Timer4, &QTimer::timeout, this, [this] {
    BusyScope busy(*this);
    Timer4Timer();
  });
  connect(Timer5, &QTimer::timeout, this, &TfmMain::Timer5Timer);

  connect(ui->SpeedButton2, &QToolButton::clicked, this, &TfmMain::SpeedButton2Click);
  connect(ui->bnStart, &QPushButton::clicked, this, &TfmMain::requestStart);
  connect(ui->Button2, &QPushButton::clicked, this, &TfmMain::Button2Click);
  connect(ui->BitBtn1, &QPushButton::clicked, this, &TfmMain::BitBtn1Click);
  connect(ui->Button1, &QPushButton::clicked, this, &TfmMain::Button1Click);
  connect(ui->Button5, &QPushButton::clicked, this, &TfmMain::Button5Click);
  connect(ui->Button7, &QPushButton::clicked, this, &TfmMain::Button7Click);
  connect(ui->Button11, &QPushButton::clicked, this, &TfmMain::Button11Click);
  connect(ui->Button12, &QPushButton::clicked, this, &TfmMain::Button12Click);
  // Enter starts a backup, as the window's default button.
  for (const auto key : {Qt::Key_Return, Qt::Key_Enter})
    connect(new QShortcut(QKeySequence(key), this), &QShortcut::activated, this, [this] {
      if (ui->bnStart->isEnabled()) ui->bnStart->click();
    });
  buildTray();

  SvgEditIni1 = TSvgEditIni::forWindow(this);
  // Network calls block this thread: between their waits (at most 50 ms) the window's
  // events go on, so it keeps painting and its timers keep firing.
  net::IdlePump::set([] { QCoreApplication::processEvents(); });

  FormCreate();
  startTimers();
}

TfmMain::~TfmMain() = default;

void TfmMain::buildTray() {
  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  Affiche1 = PopupMenu1->addAction(QStringLiteral("Afficher"), this, &TfmMain::Affiche1Click);
  Rduire1 = PopupMenu1->addAction(QStringLiteral("Réduire"), this, &TfmMain::Rduire1Click);
  PopupMenu1->addSeparator();
  Demarrer1 = PopupMenu1->addAction(QStringLiteral("Démarrer une sauvegarde"), this, &TfmMain::requestStart);
  PopupMenu1->addSeparator();
  N1 = PopupMenu1->addAction(QStringLiteral("Quitter"), this, &TfmMain::N1Click);
  RxTrayIcon1 = new QSystemTrayIcon(style()->standardIcon(QStyle::SP_DriveNetIcon), this);
  RxTrayIcon1->setToolTip(QStringLiteral("PalvrenFtp"));
  RxTrayIcon1->setContextMenu(PopupMenu1);
  connect(RxTrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) RxTrayIcon1Click();
  });
  // Shown from start to exit; a tray that appears later picks it up.
  RxTrayIcon1->show();
}

void TfmMain::startTimers() {
  Timer1->start();
  Timer2->start();
  Timer3->start();
}

QString TfmMain::statusPanelText() const { return statusPanel_->text(); }
void TfmMain::setStatusPanelText(const QString& text) { statusPanel_->setText(text); }

QString TfmMain::programFolder() const { return platform::programFolder(); }
QDateTime TfmMain::now() const { return platform::clock().now(); }
QString TfmMain::logStamp() const { return platform::dateTimeToStr(now()); }
void TfmMain::logMessage(const QString& message) { journal(logStamp() + QStringLiteral(" : ") + message); }

bool TfmMain::isBusy() const { return busyDepth_ > 0 || Timer4->isActive() || Timer5->isActive(); }

void TfmMain::requestStart() {
  // A second run over the same archive while one is under way would corrupt it.
  if (isBusy()) return;
  BusyScope busy(*this);
  emit runStarting();
  bnStartClick();
}

void TfmMain::FormCreate() {
  ZipFileName = programFolder() + QStringLiteral("palvrenftp.zip");
  SubjectSuffix.clear();
}

void TfmMain::SpeedButton2Click() {
  if (!Form1) return;
  Form1->show();
  Form1->raise();
  Form1->activateWindow();
}

void TfmMain::Affiche1Click() {
  if (!isVisible() && hiddenGeometry_.isValid()) {
    resize(hiddenGeometry_.size());
    move(hiddenGeometry_.topLeft());
    // A place the program asks for is kept by the window manager; move() alone asks nothing
    // when Qt believes the window is there already.
    if (QWindow* native = windowHandle()) native->setFramePosition(hiddenGeometry_.topLeft());
  }
  if (isMinimized()) showNormal();
  else show();
  Devant();
}

void TfmMain::Rduire1Click() {
  // Without a tray the window would become unreachable: minimise it instead.
  if (trayAvailable && trayAvailable()) {
    if (isVisible()) hiddenGeometry_ = QRect(pos(), size());
    hide();
  } else {
    showMinimized();
  }
  LibererMemoireProcessus(exeName);
}

void TfmMain::BitBtn1Click() {
  SvgEditIni1->Save();
  Rduire1Click();
}

void TfmMain::Devant() {
  raise();
  activateWindow();
}

void TfmMain::N1Click() { close(); }

void TfmMain::RxTrayIcon1Click() { Affiche1Click(); }

void TfmMain::closeEvent(QCloseEvent* event) { FormClose(event); }

void TfmMain::FormClose(QCloseEvent* event) {
  const platform::MessageRequest question{
      exeName,
      QStringLiteral(
          "Voulez-vous quitter PalvrenFtp \nSi vous quitter maintenant, les sauvegardes ne pourront plus s'effectuées"),
      platform::MsgButtons::YesNo, platform::MsgIcon::None};
  if (platform::messageBox(question, this) == platform::MsgAnswer::No) {
    event->ignore();
    BitBtn1Click();
    return;
  }
  event->accept();
  logMessage(QStringLiteral("Arrêt de PalvrenFtp"));
  emit closed();
}

void TfmMain::ApplicationEvents1Exception(const QString& message) {
  QString text = message;
  text.replace('\r', ' ');
  if (text.contains(QStringLiteral("Violation"))) return;
  logMessage(text);
}

void TfmMain::Timer2Timer() { LibererMemoireProcessus(exeName); }

}  // namespace backup
