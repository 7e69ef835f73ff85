#include "platform/ui/application.h"

#include <QCoreApplication>
#include <QFileSystemModel>
#include <QTranslator>
#include <gtest/gtest.h>

#include <vector>

#include "platform/core/exceptions.h"
#include "support/temp_dir.h"

namespace {

TEST(ExceptionRouting, EveryThrownErrorReachesTheHandlerAsItsMessage) {
  std::vector<std::string> seen;
  platform::setExceptionHandler([&](const std::string& m) { seen.push_back(m); });
  EXPECT_TRUE(platform::deliverSafely([] {}));
  EXPECT_FALSE(platform::deliverSafely([] { throw platform::EInOutError(5); }));
  EXPECT_FALSE(platform::deliverSafely([] { throw std::runtime_error("boom"); }));
  EXPECT_FALSE(platform::deliverSafely([] { throw 42; }));
  platform::setExceptionHandler(nullptr);
  EXPECT_EQ(seen, (std::vector<std::string>{"Erreur E/S 5", "boom", "Exception inconnue"}));
}

TEST(ExceptionRouting, AHandlerThatThrowsDoesNotLoopOrEscape) {
  int calls = 0;
  platform::setExceptionHandler([&](const std::string&) {
    ++calls;
    throw platform::EInOutError(13);
  });
  EXPECT_FALSE(platform::deliverSafely([] { throw std::runtime_error("x"); }));
  platform::setExceptionHandler(nullptr);
  EXPECT_EQ(calls, 1);
}

}  // namespace

namespace {

TEST(QtTranslations, QtsOwnDialogTextsComeOutFrenchAndAMissingFileIsNoError) {
  const auto lookIn = [] { return QCoreApplication::translate("QFileDialog", "Look in:"); };
  ASSERT_EQ(lookIn(), "Look in:");
  testsupport::TempDir empty;
  EXPECT_EQ(platform::installQtTranslations(QString::fromStdString(empty.str())), nullptr);
  EXPECT_EQ(lookIn(), "Look in:");

  QTranslator* french = platform::installQtTranslations();
  ASSERT_NE(french, nullptr) << "qtbase_fr.qm missing: the setup step installs it";
  EXPECT_EQ(lookIn(), "Voir dans :");
  EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Copy"), "Cop&ier");
  // The file system model's type names, filed under another context in the catalogue.
  EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "Folder", "All other platforms"), "Dossier");
  EXPECT_EQ(QCoreApplication::translate("QAbstractFileIconProvider", "%1 File", "%1 is a file name suffix, for example txt")
                .arg("log"),
            "Fichier log");
  testsupport::TempDir folder;
  std::filesystem::create_directory(folder / "journaux");
  QFileSystemModel model;
  const QModelIndex sub = model.index(QString::fromStdString((folder / "journaux").string()));
  ASSERT_TRUE(sub.isValid());
  EXPECT_EQ(model.type(sub), "Dossier");
  QCoreApplication::removeTranslator(french);
  delete french;
}

}  // namespace
