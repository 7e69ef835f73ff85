// Start-up step and daily schedule.
#include <QFileInfo>
#include <QTimer>

#include "backup/app_windows.h"
#include "backup/components/svg_edit_ini.h"
#include "backup/fmmain.h"
#include "backup/form1.h"
#include "platform/core/exceptions.h"
#include "platform/core/str_to_int.h"
#include "ui_fmmain.h"
#include "ui_form1.h"

namespace backup {

void TfmMain::Timer3Timer() {
  Timer3->stop();
  if (!Form1) return;
  Ui::Form1* f = Form1->ui.get();
  if (QFileInfo::exists(TSvgEditIni::fileName())) {
    Rduire1Click();
  } else {
    // First run: the order matters, the check boxes' handlers run as they change.
    f->passive_ftp->setChecked(false);
    f->anonyme_ftp->setChecked(false);
    f->utilisateur_vesk->clear();
    f->sauvegarde_auto->setChecked(true);
    f->heure_sauv->setValue(13);
    f->minutes_sauv->setValue(0);
    f->reconstruire_zip->setChecked(false);
    f->CheckBox_15->setChecked(true);
    f->rep_auto->setChecked(true);
    f->rep_principal->setText(QStringLiteral("sauvegarde"));
    f->SFTP_vesk->setChecked(false);
    f->SpinEdit_1->setValue(30);
    f->Edit_1->clear();
    f->recevoir_mail->setChecked(false);
    f->Sujet_tov->setText(QStringLiteral("Rapport de sauvegarde"));
    f->Port_tov->setText(QStringLiteral("25"));
  }
  try {
    Form1->setType_proxyItemIndex(platform::strToInt(f->proxy_type->text().toStdString()));
  } catch (const platform::Exception& e) {
    // A damaged proxy type is reported, selects no type, and must not keep the folder rows away.
    ApplicationEvents1Exception(QString::fromStdString(e.message()));
    Form1->setType_proxyItemIndex(-1);
  }
  Form1->rebuildFolderView();
}

void TfmMain::Timer1Timer() {
  setStatusPanelText(QString());
  if (!Form1 || !Form1->ui->sauvegarde_auto->isChecked()) return;
  const auto twoDigits = [](int n) { return QStringLiteral("%1").arg(n, 2, 10, QChar('0')); };
  const QString target = twoDigits(Form1->ui->heure_sauv->value()) + ':' + twoDigits(Form1->ui->minutes_sauv->value());
  const QDateTime t = now();
  setStatusPanelText(t.toString(QStringLiteral("HH:mm:ss")));
  if (t.toString(QStringLiteral("HH:mm")) != target) return;
  // One start per scheduled minute: a run that ends (or is refused) within the minute is not
  // started again at the next tick.
  const QDateTime minute(t.date(), QTime(t.time().hour(), t.time().minute()));
  if (minute == lastScheduledMinute_ || isBusy()) return;
  lastScheduledMinute_ = minute;
  ui->bnStart->setEnabled(true);
  requestStart();
}

}  // namespace backup
