#include "update/updater_form.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

#include "platform/ui/application.h"
#include "platform/core/program_folder.h"
#include "ui_updater_form.h"
#include "update/update_server.h"

namespace updater {

TForm1::TForm1(QWidget* parent) : QWidget(parent), ui(std::make_unique<Ui::UpdaterForm1>()) {
  ui->setupUi(this);
  setFixedSize(size());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
  ui->Image1->setPixmap(style()->standardIcon(QStyle::SP_BrowserReload).pixmap(32, 32));
  ui->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
  ui->BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));

  IdHTTP1.events.onWorkBegin = [this](net::WorkMode m, std::int64_t max) { IdHTTP1WorkBegin(m, max); };
  IdHTTP1.events.onWork = [this](net::WorkMode m, std::int64_t count) { IdHTTP1Work(m, count); };
  IdHTTP1.events.onWorkEnd = [this](net::WorkMode m) { IdHTTP1WorkEnd(m); };
  ZipArchiver1.Name = "ZipArchiver1";
  ZipArchiver1.ExtractCorruptedFiles = false;
  ZipArchiver1.SetCompressionLevel(zip::clFastest);
  ZipArchiver1.SetCompressionMode(1);
  ZipArchiver1.SetSpanningMode(zip::smNone);
  ZipArchiver1.SpanningOptions().AdvancedNaming = true;
  ZipArchiver1.SpanningOptions().VolumeSize = zip::vsAutoDetect;
  ZipArchiver1.Options().FlushBuffers = true;
  ZipArchiver1.Options().OEMFileNames = true;
  ZipArchiver1.SetInMemory(false);
  ZipArchiver1.Zip64Mode = zip::zmDisabled;
  // A download that lost its end (no end record) is refused, never rebuilt from what arrived.
  ZipArchiver1.SetAllowDamagedOpen(false);
  ZipArchiver1.OnFileProgress = [this](zip::TZABaseArchiver* sender, const std::string& name, double progress,
                                       zip::TZAProcessOperation operation, zip::TZAProgressPhase phase, bool& cancel) {
    ZipArchiver1FileProgress(sender, name, progress, operation, phase, cancel);
  };

  // Keeps the window painting while an HTTP call blocks its thread.
  IdAntiFreeze1 = std::make_unique<net::ScopedIdlePump>([] { QCoreApplication::processEvents(); });

  // Errors of the road go to the application's error box, never through Qt's signals.
  connect(ui->BitBtn1, &QPushButton::clicked, this, [this] { platform::deliverSafely([this] { BitBtn1Click(); }); });
  connect(ui->BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);

  FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::FormCreate() {
  ExeName = QStringLiteral("PalvrenFtp");
  ZipName = QStringLiteral("PalvrenFtp.zip");
  ZipPath = platform::programFolder() + ZipName;
  VersionUrl = versionUrl();
  DownloadUrl = downloadUrl(ZipName);
  ProductName = QFileInfo(ExeName).completeBaseName();
  setWindowTitle(QStringLiteral("Mise à jour ") + ProductName);
  ui->Label2->setText(ui->Label2->text() + ProductName);
  ui->BitBtn1->setToolTip(QStringLiteral("Recherchez maintenant une nouvelle version de ") + ProductName);
  ui->Label1->setText(QStringLiteral("Pour rechercher une nouvelle version de ") + ProductName +
                      QStringLiteral("\nVeuillez cliquer sur le bouton \"Mise à jour\"."));
}

void TForm1::BitBtn2Click() { close(); }

void TForm1::closeEvent(QCloseEvent* event) {
  closeAsked_ = true;
  if (installing_) {
    // Files are being replaced: the road finishes the installation, then closes the window.
    ui->Label1->setText(QStringLiteral("Installation de la mise à jour ") + ProductName +
                        QStringLiteral(" en cours.\nLa fenêtre se fermera à la fin de l'installation."));
    event->ignore();
    return;
  }
  // Every other close ("Quitter", the close box, the window manager, a terminate signal) ends the
  // program. During a transfer or the archive's test the road is still on the stack: the step ends
  // at once, and the road, seeing the close, tidies up and returns to the loop, which then ends.
  IdHTTP1.cancel();
  QWidget::closeEvent(event);
}

QString TForm1::exePath() const { return platform::programFolder() + ExeName; }

QString TForm1::missingExeText() const {
  return QStringLiteral("La mise à jour, ne trouve pas le fichier d'origine\n") + ExeName +
         QStringLiteral(" sur votre ordinateur.");
}

QString TForm1::noNewVersionText() const {
  return QStringLiteral("Aucune nouvelle version de ") + ProductName +
         QStringLiteral("\nn'est disponible sur internet.");
}

}  // namespace updater
