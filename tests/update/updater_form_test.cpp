// The window as it opens.
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

#include "platform/core/program_folder.h"
#include "support/temp_dir.h"
#include "ui_updater_form.h"
#include "update/update_server.h"
#include "update/updater_form.h"

namespace {

TEST(UpdaterFormTest, CreationSetsTheNamesAddressesAndCaptions) {
  testsupport::TempDir dir;
  platform::setProgramFolder(QString::fromStdString(dir.str()));
  updater::TForm1 form;
  platform::setProgramFolder(QString());

  EXPECT_EQ(form.ZipPath.toStdString(), dir.str() + "/PalvrenFtp.zip");
  EXPECT_EQ(form.ProductName, QStringLiteral("PalvrenFtp"));
  EXPECT_EQ(form.VersionUrl, QStringLiteral("http://www.example.com/palvrenftp/update.html"));
  EXPECT_EQ(form.DownloadUrl, QStringLiteral("http://www.example.com/rv/PalvrenFtp.zip"));
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Mise à jour PalvrenFtp"));
  EXPECT_EQ(form.ui->Label2->text(), QStringLiteral("Mise à jour PalvrenFtp"));
  EXPECT_EQ(form.ui->BitBtn1->toolTip(), QStringLiteral("Recherchez maintenant une nouvelle version de PalvrenFtp"));
  EXPECT_EQ(form.ui->Label1->text(),
            QStringLiteral(
                "Pour rechercher une nouvelle version de PalvrenFtp\nVeuillez cliquer sur le bouton \"Mise à jour\"."));
  EXPECT_EQ(form.objectName(), QStringLiteral("Form1"));
  EXPECT_EQ(form.PageDate, 0.0);

  updater::setUpdateHost(QStringLiteral("127.0.0.1:8080"));
  updater::TForm1 local;
  updater::setUpdateHost(QString());
  EXPECT_EQ(local.VersionUrl, QStringLiteral("http://127.0.0.1:8080/palvrenftp/update.html"));
}

TEST(UpdaterFormTest, QuitterClosesTheWindow) {
  updater::TForm1 form;
  form.show();
  form.ui->BitBtn2->click();
  EXPECT_FALSE(form.isVisible());
}

}  // namespace
